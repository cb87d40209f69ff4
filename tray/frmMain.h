#pragma once

#include "FaxItem.h"
#include "Protocol.h"
#include "frmSendStatus.h"
#include "frmUpdateDownload.h"

#include <QIcon>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <functional>

class CSystrayIcon;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QuorinSock;
class UpdateWatch;

namespace QuorinLive {

// The tray launcher's window. The user normally never sees it: it hosts the link ClientSock, owns the
// notification-area icon, and turns icon clicks and link events into icon pictures, tips, the popup menu,
// the connect dialog (shown by "Apri") and the start or raising of the fax client.
// Closing it from its title bar only hides it; "Esci" unloads it (unloaded()), which ends the program.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    QuorinSock *ClientSock;
    QTimer *tmrIcon;
    // The link's health: tmrLink looks at the socket every second while connected; tmrReconnect tries the
    // server again (every 30 s) while the link is down.
    QTimer *tmrLink, *tmrReconnect;
    QGroupBox *fraTCP;
    QLabel *Label1, *Label2, *Label3;
    QLineEdit *txtUser, *txtSockServer, *txtSockPort;
    QPushButton *cmdSelectServer, *cmdConnetti, *cmdCancel;
    QMenu *mnuMain;
    QAction *mnulauch, *mnuApri, *mnuseparator, *mnuExit;

    bool Connected = false;
    bool UserReceived = false;
    bool AbortCmd() const { return m_AbortCmd; }
    bool LanciaUpdate() const { return m_LanciaUpdate; }
    bool UpdateRX() const { return m_UpdateRX; }
    bool UpdateError() const { return m_UpdateError; }

    // The window's load: puts the icon in the notification area. Runs once; later calls do nothing.
    void Form_Load();
    bool isLoaded() const { return m_loaded; }
    bool isUnloaded() const { return m_unloaded; }
    // Unloads the window for good (the program's own close, not the user's close box).
    void Unload();

    void showStatus(const QString &p_status);
    void SysIcon_NIError(int ErrorNumber);
    // Stops the blink, shows the connection state, and raises the fax client or starts it.
    void LaunchQuorin();

    // Pictures: 0 connected, 1 second picture of the blink, 2 not connected.
    QIcon Picfax(int index) const;
    CSystrayIcon *SysIcon() const { return m_sysIcon; }
    int BlinkPhase() const { return m_blinkPhase; }

    // Name of the fax client's program in the program folder ("Quorin").
    QString clientProgram() const { return m_clientProgram; }
    void setClientProgram(const QString &name) { m_clientProgram = name; }

    frmSendStatus *sendStatusWindow() const { return m_sendStatus; }
    frmUpdateDownload *updateDownloadWindow() const { return m_updateDownload; }

Q_SIGNALS:
    // One of Connected, UserReceived, AbortCmd or UpdateRX changed.
    void startStateChanged();
    // The window was unloaded: the program ends.
    void unloaded();

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildForm();
    void connectClientSock();
    void later(std::function<void()> fn);
    void setPicture(int index);
    void queryUnload();
    void iconNotification(int message, QPoint pos);

    void mnuApri_Click();
    void mnuExit_Click();
    void cmdConnetti_Click();
    void tmrIcon_Timer();
    // The link went away under a connected window: not-connected picture and tip, retries start.
    void checkLink();
    void linkLost();
    // One quiet attempt (no connecting window) at the server in use, unless connected or updating.
    void reconnect();

    // Link events (frmMainEvents.cpp)
    void ClientSock_Connected(const QString &Server, int SockPort, bool IsForwarduser);
    void loginAccepted(const QString &Server, int SockPort, bool IsForwarduser);
    void ClientSock_ServerNotAvailable(const QString &Server, int SockPort);
    void ClientSock_ConnectionNotAvailable(const QString &Server, int SockPort);
    void ClientSock_RxNewFax(FaxItem *NewFaxItem, typeOfList pActiveList);
    void ClientSock_RxNewFaxInDiffFolder(FaxItem *NewFaxItem, typeOfList pList);
    void newFaxArrived(bool message);
    void ClientSock_UpdateOcxNeed(const QString &version);
    void ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived);
    void ClientSock_DownloadUpdComplete();
    void updateNotReceived();
    void ClientSock_ProgressStatusStart(const QString &IdFax);
    void ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                     int Percent, int status, const QString &destination,
                                     const QString &FaxNumber, int RetryCount, int RetryMax,
                                     const QString &IdFax);
    void ClientSock_ProgressStatusEnd(const QString &IdFax);
    bool sendStatusHidden() const;

    CSystrayIcon *m_sysIcon = nullptr;
    QIcon m_pictures[3];
    QLabel *m_picfax[3] = {};
    QPointer<frmSendStatus> m_sendStatus;
    QPointer<frmUpdateDownload> m_updateDownload;
    UpdateWatch *m_updateWatch = nullptr;
    QString m_clientProgram;
    QSet<int> m_reportedIconErrors;
    int m_blinkPhase = 0;
    bool m_AbortCmd = false;
    bool m_LanciaUpdate = false;
    bool m_UpdateRX = false;
    bool m_UpdateError = false;
    bool m_UpdateRequired = false;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool m_unloading = false;
    bool m_newFaxBoxOpen = false;
    bool m_newFaxUnseen = false; // signalled new faxes the user has not yet opened the client for
};

} // namespace QuorinLive
