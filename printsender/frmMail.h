#pragma once

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLineEdit;
class QPushButton;
class frmPrint;

// "Salva nei Ricevuti di Quorin": files the printed document on the server among the user's received
// faxes, with a sender, company, origin and subject. Each "&Salva" stores it once more.
class frmMail : public QDialog
{
    Q_OBJECT
public:
    explicit frmMail(frmPrint *parent);

    QPointer<frmPrint> fParent;
    QString FilenamePrint;
    qint16 FileNumPages = 0;

    void cmdSalva_Click();

    QLineEdit *tbFrom, *tbCompany, *tbSubj, *tbDate, *tbTime;
    QComboBox *CboStato;
    QPushButton *cmdSalva, *cbCancel;
};
