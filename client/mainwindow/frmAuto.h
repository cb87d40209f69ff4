#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Regole...": print new faxes automatically, mail them to an address. Kept in "Darezi.ini" as "Auto"
// (two characters "1"/"0": print, mail) and "ToEmail", and in ConfigIni. Shown modal; returns nothing.
class frmAuto : public QDialog
{
    Q_OBJECT
public:
    explicit frmAuto(QWidget *parent = nullptr);

    void CaricaRegole();
    void SalvaRegole();
    void ApplicaRegole() { SalvaRegole(); }

    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QPushButton *cmdApply;
    QPushButton *cmdCancel;
    QPushButton *cmdOK;
    QGroupBox *frame1;
    QLineEdit *txtEmail;
    QCheckBox *ChkEmail;
    QCheckBox *ChkPrint;
    QLabel *Label1;
};
