#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QPointer>

#include <utility>

class QCheckBox;
class QLineEdit;
class QPushButton;
class frmPrint;

// The options dialog of the print-to-fax sender (objectName "frmOptions"): the fax client's frame with
// the sender's own load and store; only the keys the user changed are written. Any edit enables
// "&Applica"; OK stores and closes.
class SendoraOptions : public QDialog
{
    Q_OBJECT
public:
    explicit SendoraOptions(frmPrint *sendWindow, QWidget *parent = nullptr);

    void LoadServerOptions();
    // False (the user told why) when the settings file could not be written; the dialog keeps the values.
    bool SaveServerOptions();

    QLineEdit *txtUserID, *txtCompany, *txtNumberFax, *txtTel, *txtRetries, *txtDelayRetries;
    QCheckBox *chkResolution, *chkMail, *ChkSaveRx, *ChkRubCond, *ChkLog, *chkNoFormInvio, *chkTrayIconTX,
        *ChkLive;
    QPushButton *cmdOK, *cmdCancel, *cmdApply;

private:
    // Each key of the file with the value the boxes stand for now.
    QList<std::pair<QString, QString>> fileValues() const;

    QPointer<frmPrint> m_sendWindow;
    QHash<QString, QString> m_shown; // what the boxes stood for when filled or last stored
};
