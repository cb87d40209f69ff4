#pragma once

#include <QDialog>
#include <QHash>
#include <QList>

#include <utility>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// "Opzioni": the fax client's own settings. Fills itself from ConfigIni when made; OK and Apply write
// to "Darezi.ini" the keys the user changed, update ConfigIni and switch the log and the tray launcher's
// autostart at once. The host hears of the two values it keeps itself through AskResSaveAsApplied (its
// preview) and isMailApplied.
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
    // Each key of the file with the value the boxes stand for now.
    QList<std::pair<QString, QString>> fileValues() const;

    QHash<QString, QString> m_shown; // what the boxes stood for when filled or last stored

    QGroupBox *fraSample1;
    QLineEdit *txtUserID, *txtCompany, *txtNumberFax, *txtTel, *txtRetries, *txtDelayRetries;
    QCheckBox *chkResolution, *chkMail, *ChkRubCond, *ChkAskRes, *ChkVisMess, *ChkLog, *ChkLive,
        *chkNoFormInvio, *chkTrayIconTX;
    QPushButton *cmdOK, *cmdCancel, *cmdApply;
};
