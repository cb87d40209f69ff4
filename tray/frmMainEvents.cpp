// The tray window's handlers of the link's events.
#include "CSystrayIcon.h"
#include "ConfigIni.h"
#include "LiveSettings.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "StringTable.h"
#include "frmMain.h"
#include "frmSendStatus.h"
#include "UpdateWatch.h"
#include "frmUpdateDownload.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace QuorinLive {

namespace {

constexpr int NewFaxMessage = 2093;
constexpr int SendPreparing = 2076;
constexpr int ServerUpdateAdvised = 2066;
constexpr int UpdateQuestion = 2067;
constexpr int TransmissionStates = 2000;

} // namespace

void frmMain::connectClientSock()
{
    QuorinSock *s = ClientSock;
    connect(s, &QuorinSock::Connected, this, &frmMain::ClientSock_Connected);
    connect(s, &QuorinSock::ServerNotAvailable, this, &frmMain::ClientSock_ServerNotAvailable);
    connect(s, &QuorinSock::ConnectionNotAvailable, this, &frmMain::ClientSock_ConnectionNotAvailable);
    connect(s, &QuorinSock::RxNewFax, this, &frmMain::ClientSock_RxNewFax);
    connect(s, &QuorinSock::RxNewFaxInDiffFolder, this, &frmMain::ClientSock_RxNewFaxInDiffFolder);
    connect(s, &QuorinSock::UpdateOcxNeed, this, &frmMain::ClientSock_UpdateOcxNeed);
    connect(s, &QuorinSock::ReceivingUpdate, this, &frmMain::ClientSock_ReceivingUpdate);
    connect(s, &QuorinSock::DownloadUpdComplete, this, &frmMain::ClientSock_DownloadUpdComplete);
    m_updateWatch = new UpdateWatch(s);
    connect(m_updateWatch, &UpdateWatch::NotReceived, this, &frmMain::updateNotReceived);
    connect(s, &QuorinSock::ProgressStatusStart, this, &frmMain::ClientSock_ProgressStatusStart);
    connect(s, &QuorinSock::ProgressStatusTX, this, &frmMain::ClientSock_ProgressStatusTX);
    connect(s, &QuorinSock::ProgressStatusEnd, this, &frmMain::ClientSock_ProgressStatusEnd);
    // A request that failed may be the first sign of a link that is gone.
    connect(s, &QuorinSock::Error, this, [this] { checkLink(); });
}

void frmMain::ClientSock_Connected(const QString &Server, int SockPort, bool IsForwarduser)
{
    // The version question is modal: asked once the link's event has returned.
    later([this, Server, SockPort, IsForwarduser] { loginAccepted(Server, SockPort, IsForwarduser); });
}

void frmMain::loginAccepted(const QString &Server, int SockPort, bool IsForwarduser)
{
    // A new login means a new link: a download the old one left unfinished is offered again.
    if (m_LanciaUpdate && !m_UpdateRX)
        m_LanciaUpdate = false;
    const QString own = ProgramVersion();
    const QString announced = ClientSock->QuorinLiveVersion();
    // Number by number (2.0.10 is newer than 2.0.9); a server that announced nothing gives no advice.
    const int cmp = announced.isEmpty() ? 0 : QuorinSock::compareVersions(own, announced);
    if (cmp < 0 || m_UpdateRequired) {
        if (Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), LoadResString(UpdateQuestion),
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
            m_LanciaUpdate = true;
            m_updateWatch->UpdateFiles();
        }
    } else if (cmp > 0) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), LoadResString(ServerUpdateAdvised));
    }
    if (m_LanciaUpdate)
        return; // the link stays up; the start waits for the download
    G.CurrentServer = Server;
    G.CurrentPort = SockPort;
    UserReceived = true;
    Connected = true;
    txtSockServer->setText(G.CurrentServer);
    txtSockPort->setText(QString::number(SockPort));
    txtUser->setText(ClientSock->UserName());
    ClientSock->SetActiveList(IsForwarduser ? Forwardlist : PersonalList, 0);
    tmrReconnect->stop();
    setPicture(0);
    showStatus(LoadResString(Text::ConnectedTo) + G.CurrentServer);
    if (m_newFaxUnseen) {
        // The link is back and the new faxes are still unseen: the blink comes back.
        showStatus(LoadResString(Text::NewFaxes));
        tmrIcon->start();
    }
    if (m_sysIcon && !m_sysIcon->Visible())
        m_sysIcon->ShowIcon();
    Q_EMIT startStateChanged();
}

void frmMain::ClientSock_ServerNotAvailable(const QString &Server, int)
{
    m_AbortCmd = true;
    Connected = false;
    if (!m_LanciaUpdate)
        tmrReconnect->start(); // tried again now and then
    tmrIcon->stop();
    setPicture(2);
    showStatus(LoadResString(Text::ServerPrefix) + Server.trimmed() + LoadResString(Text::NotAvailable));
    if (m_sysIcon)
        m_sysIcon->ShowIcon();
    Q_EMIT startStateChanged();
}

void frmMain::ClientSock_ConnectionNotAvailable(const QString &Server, int)
{
    Connected = false;
    if (!m_LanciaUpdate)
        tmrReconnect->start();
    later([Server] {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                        u"Non è possibile connettersi al server: "_s + Server);
    });
    tmrIcon->stop();
    setPicture(2);
    // The tip only: the status text stays what it was.
    if (m_sysIcon) {
        m_sysIcon->setTipText(LoadResString(Text::CannotConnect) + Server);
        m_sysIcon->ShowIcon();
    }
}

void frmMain::ClientSock_RxNewFax(FaxItem *, typeOfList pActiveList)
{
    if (pActiveList == SentList || pActiveList == NullList)
        return;
    newFaxArrived(G.ShowNewFaxMessage);
}

void frmMain::ClientSock_RxNewFaxInDiffFolder(FaxItem *, typeOfList pList)
{
    if (pList == SentList || pList == NullList)
        return;
    newFaxArrived(false);
}

void frmMain::newFaxArrived(bool message)
{
    // A burst of faxes gives one box, not a pile of them.
    if (message && !m_newFaxBoxOpen) {
        m_newFaxBoxOpen = true;
        later([this] {
            Prompt::message(nullptr, QMessageBox::Information, ProgramTitle(), LoadResString(NewFaxMessage));
            m_newFaxBoxOpen = false;
        });
    }
    m_newFaxUnseen = true;
    showStatus(LoadResString(Text::NewFaxes));
    if (Connected)
        tmrIcon->start();
}

void frmMain::ClientSock_UpdateOcxNeed(const QString &)
{
    m_UpdateRequired = true;
}

void frmMain::ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived)
{
    if (TotBytesToReceive == 0) {
        m_UpdateError = true;
        m_UpdateRX = true;
        Q_EMIT startStateChanged();
        return;
    }
    if (!m_updateDownload) {
        m_updateDownload = new frmUpdateDownload;
        m_updateDownload->pbDownLoad->setMinimum(0);
    }
    m_updateDownload->pbDownLoad->setMaximum(TotBytesToReceive);
    m_updateDownload->pbDownLoad->setValue(qBound(0, TotBytesReceived, TotBytesToReceive));
    m_updateDownload->show();
}

void frmMain::ClientSock_DownloadUpdComplete()
{
    delete m_updateDownload.data();
    m_UpdateRX = true;
    Q_EMIT startStateChanged();
}

void frmMain::updateNotReceived()
{
    if (!m_LanciaUpdate || m_UpdateRX)
        return;
    // Nothing to hand over: the launcher stays with this version and connects again.
    m_LanciaUpdate = false;
    delete m_updateDownload.data();
    Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), UpdateWatch::notReceivedText());
    reconnect();
}

bool frmMain::sendStatusHidden() const
{
    return IsSettingOn(G.SendStatusHidden);
}

void frmMain::ClientSock_ProgressStatusStart(const QString &)
{
    if (sendStatusHidden() || (m_sendStatus && m_sendStatus->isVisible()))
        return;
    // A window the user closed is on its way out: a new one takes its place.
    m_sendStatus = new frmSendStatus;
    m_sendStatus->lblStatus->setText(LoadResString(SendPreparing));
    m_sendStatus->show();
}

void frmMain::ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                          int Percent, int status, const QString &destination,
                                          const QString &FaxNumber, int RetryCount, int RetryMax,
                                          const QString &)
{
    if (!m_sendStatus || !m_sendStatus->isVisible() || sendStatusHidden())
        return;
    m_sendStatus->lblRemoteID->setText(RemoteID);
    m_sendStatus->lblSpeed->setText(QString::number(Speed));
    m_sendStatus->lblPage->setText(QString::number(CurrPage) + u" / "_s + QString::number(TotPages));
    m_sendStatus->lblPercent->setText(QString::number(Percent) + u" %"_s);
    // A state the table lacks shows its number: progress never raises an error box.
    const int id = TransmissionStates + status;
    m_sendStatus->lblStatus->setText(StringTable::contains(id) ? LoadResString(id) : QString::number(status));
    m_sendStatus->lblDestination->setText(destination);
    m_sendStatus->lblFaxNumber->setText(FaxNumber);
    m_sendStatus->lblNumTentativo->setText(QString::number(qint64(RetryCount) + 1) + u" di "_s +
                                           QString::number(qint64(RetryMax) + 1));
}

void frmMain::ClientSock_ProgressStatusEnd(const QString &)
{
    if (m_sendStatus) {
        m_sendStatus->close();
        m_sendStatus = nullptr;
    }
}

} // namespace QuorinLive
