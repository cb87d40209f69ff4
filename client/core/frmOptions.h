#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// "Opzioni": the fax client's own settings. Fills itself from ConfigIni when made; OK and Apply write
// "Darezi.ini" and ConfigIni and switch the log and the tray launcher's autostart at once. The host hears
// of the two values it keeps itself through AskResSaveAsApplied (its preview) and isMailApplied.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit frmOptions(QWidget *parent = nullptr);

    void LoadServerOptions();
    // False (nothing written, the user told) when a retry count is not a number.
    bool SaveServerOptions();

    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

Q_SIGNALS:
    void AskResSaveAsApplied(bool ask);
    void isMailApplied(bool on);

private:
    bool ApplyOptions() { return SaveServerOptions(); }
    bool checkNumber(QLineEdit *box, const QString &label);

    QGroupBox *fraSample1;
    QLineEdit *txtUserID, *txtCompany, *txtNumberFax, *txtTel, *txtRetries, *txtDelayRetries;
    QCheckBox *chkResolution, *chkMail, *ChkRubCond, *ChkAskRes, *ChkVisMess, *ChkLog, *ChkLive,
        *chkNoFormInvio, *chkTrayIconTX;
    QPushButton *cmdOK, *cmdCancel, *cmdApply;
};
