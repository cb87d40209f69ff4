#pragma once

#include "FaxSending.h"
#include "Recipients.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class FmPrinter;
class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QuorinSock;
class UpdateWatch;
class collContactsItem;
class frmSendStatus;
class frmUpdateDownload;

// "Sendora": the send window of the print-to-fax sender. It hosts the link ClientSock and the print
// capture FmPrinter1, takes the printed document, and hands it over as a fax (SendFax) or as a received
// fax (frmMail). Its link handlers only set flags and labels; StartupMain watches the flags through
// startStateChanged. The window refuses to close while connected and a fax of this run is still pending.
class frmPrint : public QWidget
{
    Q_OBJECT
public:
    explicit frmPrint(QWidget *parent = nullptr); // Form_Initialize
    ~frmPrint() override;

    // A lost link is tried again this often; a connection whose login has not come after this many
    // tries is made anew.
    static constexpr int RelinkIntervalMs = 3000;
    static constexpr int RelinkLoginTicks = 5;

    // Public values, read by the start-up, the store dialog and the job road.
    QString FilenamePrint;
    bool Connected = false;
    bool UserReceived = false;
    qint16 FaxPages = 0;
    QString IdFaxSending;
    std::unique_ptr<collFaxSending> cFaxSending;
    bool RxRubrica = false;
    collContactsItem *CollItemRub = nullptr;

    QuorinSock *ClientSock = nullptr;
    FmPrinter *FmPrinter1 = nullptr;

    bool AbortCmd() const { return m_AbortCmd; }
    bool LanciaUpdate() const { return m_LanciaUpdate; }
    bool UpdateRX() const { return m_UpdateRX; }
    bool UpdateError() const { return m_UpdateError; }

    // Runs once, before the window is first shown; later calls do nothing.
    void Form_Load();
    bool isLoaded() const { return m_loaded; }

    // Hands a fax from the fields over to the link.
    void SendFax();
    // Runs a hand-over to the link (SendNewFax, SaveFaxToRX); a link found down meanwhile is told by the
    // caller (tellNotSent), not by the link's own box as well.
    QString handToLink(const std::function<QString()> &call);
    // A hand-over met a link that is down: nothing went, the printed document stays for later (a box over
    // owner, the send window when none). `storing`: the store dialog's "Salva", not "Spedisci".
    void tellNotSent(QWidget *owner = nullptr, bool storing = false);
    // Just before a hand-over of the printed document: a document an earlier run handed over unconfirmed
    // is sent again only when the user says so, and the spooled job is marked as handed over (false: nothing
    // is to go, the user was told).
    bool beforeHandOver(QWidget *owner, bool storing);
    // What a fax handed over unconfirmed may have become, and what sending (storing) it again risks.
    static QString mayBeFiledAlready(bool storing = false);
    // Adds a hand-over to the pending list; false (reported) when the link refused it or the key is taken.
    bool addPending(const QString &key, const QString &files, const QString &procName);
    // The fields a job file's faxes start from.
    QString dateText() const;
    QString timeText() const;
    bool hiResTicked() const;
    QString senderField(int index) const; // 0 name, 1 company, 2 voice, 3 fax
    QString serverStatusText() const;

    // Handlers, also reached through the window's controls.
    void cbSend_Click();
    void CbSaveRx_Click();
    void cmdRub_Click();
    void chbCoverPage_Click();
    void mnuToolsOptions_Click();
    void mnuServerConf_Click();
    void mnuLiveUpdate_Click();
    void FmPrinter1_PrintComplete();
    void applyPick(const PickedList &picked, bool localBook);
    // After the options were stored: sender fields, resolution and the store button follow the settings.
    void refreshFromSettings();

    // Link handlers.
    void ClientSock_Connected(const QString &Server, int SockPort, bool IsForwarduser);
    void ClientSock_ReConnected(const QString &Server, int SockPort, bool IsForwarduser);
    void ClientSock_ServerNotAvailable(const QString &Server, int SockPort);
    void ClientSock_ConnectionNotAvailable(const QString &Server, int SockPort);
    void ClientSock_MaxUsersLimit();
    void ClientSock_UpdateOcxNeed(const QString &version);
    void ClientSock_UpdateServerNeed();
    void ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived);
    void ClientSock_DownloadUpdComplete();
    void updateNotReceived();
    void ClientSock_ProgressStatusStart(const QString &IdFax);
    void ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                     int Percent, int status, const QString &destination,
                                     const QString &FaxNumber, int RetryCount, int RetryMax,
                                     const QString &IdFax);
    void ClientSock_ProgressStatusEnd(const QString &IdFax);
    void ClientSock_SentFax2Server(const QString &IdFaxSent);
    void ClientSock_FaxesSettled(const QStringList &IdFaxes, int Outcome);
    // A run without a window ends its start-up: the reason goes to standard error and the log.
    void giveUp(const QString &reason);
    // Says why the fax did not arrive, logs in again and offers to send the same fields again; for a
    // document handed over to be stored (`stored`) it says how to store it again instead.
    void offerSendAgain(const QString &why, bool stored = false);
    // The server ended the link while the window was up: said in the status line, the link sought again.
    void ClientSock_LinkLost();
    void ClientSock_RxPhoneBook(collContactsItem *ContactsList);
    void ClientSock_Error(int Number, const QString &Description, const QString &Source);

Q_SIGNALS:
    // Connected, UserReceived, AbortCmd, LanciaUpdate or UpdateRX changed.
    void startStateChanged();
    // An entry of cFaxSending was confirmed or given up.
    void pendingChanged();
    // The window closed for good.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildForm();
    void wireLink();
    bool queryUnload();
    void deleteCapturedFiles();
    // The spooled job behind the document: released when delivered or discarded, else kept.
    void settleSpooledJob();
    static bool sortsBefore(const QString &own, const QString &server);
    // The link is down: the status line says so and a new link is tried until one logs in.
    void linkDown();
    void relink();
    // Both hand-over buttons wait while the server confirms what it read (the link is being closed).
    void setHandOverEnabled(bool on);

    bool m_AbortCmd = false, m_LanciaUpdate = false, m_UpdateRX = false, m_UpdateError = false;
    bool m_UpdateRequired = false;
    QString m_updateVersion; // the link's version the server offers
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_shown = false;
    bool m_sendTried = false; // the captured document was handed to the link at least once
    QDateTime m_handedBefore; // an earlier run handed the document over and never saw it confirmed
    QString handedBeforeText() const; // "il 11/12/2026 alle 02:19"
    bool m_confirming = false; // the link is being closed to learn whether the server read the faxes
    bool m_sendAgain = false;  // send the fax again once the link is back
    bool m_inSendFax = false;  // SendFax is handing a fax to the link: it tells the outcome itself
    QTimer *m_relink = nullptr;
    int m_relinkTicks = 0;
    bool m_PickedFromBook = false;
    PickedList m_PickedList;
    QString m_userName;
    QPointer<frmSendStatus> StatusWindow;
    QPointer<frmUpdateDownload> m_updateWindow;
    UpdateWatch *m_updateWatch = nullptr;

public:
    QLineEdit *tbSubj, *tbDate, *tbTime, *tbTo, *tbCompany, *tbFaxNumber;
    QLineEdit *tbFrom, *tbSendCompany, *tbSendVoiceNumber, *tbSendFaxNumber, *tbCover, *tbBanner;
    QLineEdit *txtServer, *txtStatus;
    QPlainTextEdit *tbNote;
    QCheckBox *chbCoverPage, *chHiRes;
    QComboBox *cmbQueue, *cmbPort;
    QPushButton *cmdRub, *cbSend, *CbSaveRx, *cbCancel;
    QMenu *mnuTools;
    QAction *mnuToolsOptions, *mnuServerConf, *mnuToolsBar0, *mnuLiveUpdate;
};
