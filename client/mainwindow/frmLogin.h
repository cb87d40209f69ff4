#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// "Accesso": the user name to sign in again under. The password is masked and goes nowhere (the server
// knows no passwords). OK and Annulla only hide the window, so one instance keeps the typed name for the
// next showing; the caller reads LoginSucceeded and txtUserName afterwards.
class frmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit frmLogin(QWidget *parent = nullptr);

    bool LoginSucceeded = false;
    QLineEdit *txtUserName;
    QLineEdit *txtPassword;

    void cmdOK_Click();
    void cmdCancel_Click();
    // Escape and the window's close button count as Annulla.
    void reject() override;

private:
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};
