// The send window's handlers of the link's events, the version check and the progress display.
#include "frmPrint.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FmPrinter.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "SocketAdapter.h"
#include "StringTable.h"
#include "clsLog.h"
#include "frmSendStatus.h"
#include "UpdateWatch.h"
#include "frmUpdateDownload.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace Sendora;

namespace {

constexpr int ServerUpdateAdvised = 2066;
constexpr int UpdateOffered = 2067;
constexpr int DownloadingUpdate = 2070;
constexpr int PreparingFax = 2076;

} // namespace

void frmPrint::wireLink()
{
    QuorinSock *s = ClientSock;
    connect(s, &QuorinSock::Connected, this, &frmPrint::ClientSock_Connected);
    connect(s, &QuorinSock::ReConnected, this, &frmPrint::ClientSock_ReConnected);
    connect(s, &QuorinSock::ServerNotAvailable, this, &frmPrint::ClientSock_ServerNotAvailable);
    connect(s, &QuorinSock::ConnectionNotAvailable, this, &frmPrint::ClientSock_ConnectionNotAvailable);
    connect(s, &QuorinSock::MaxUsersLimit, this, &frmPrint::ClientSock_MaxUsersLimit);
    connect(s, &QuorinSock::UpdateOcxNeed, this, &frmPrint::ClientSock_UpdateOcxNeed);
    connect(s, &QuorinSock::UpdateServerNeed, this, &frmPrint::ClientSock_UpdateServerNeed);
    connect(s, &QuorinSock::ReceivingUpdate, this, &frmPrint::ClientSock_ReceivingUpdate);
    connect(s, &QuorinSock::DownloadUpdComplete, this, &frmPrint::ClientSock_DownloadUpdComplete);
    m_updateWatch = new UpdateWatch(s);
    connect(m_updateWatch, &UpdateWatch::NotReceived, this, &frmPrint::updateNotReceived);
    connect(s, &QuorinSock::ProgressStatusStart, this, &frmPrint::ClientSock_ProgressStatusStart);
    connect(s, &QuorinSock::ProgressStatusTX, this, &frmPrint::ClientSock_ProgressStatusTX);
    connect(s, &QuorinSock::ProgressStatusEnd, this, &frmPrint::ClientSock_ProgressStatusEnd);
    connect(s, &QuorinSock::SentFax2Server, this, &frmPrint::ClientSock_SentFax2Server);
    connect(s, &QuorinSock::FaxesSettled, this, &frmPrint::ClientSock_FaxesSettled);
    connect(s, &QuorinSock::RxPhoneBook, this, &frmPrint::ClientSock_RxPhoneBook);
    connect(s, &QuorinSock::LinkLost, this, &frmPrint::ClientSock_LinkLost);
    connect(s, &QuorinSock::Error, this,
            [this](int number, const QString &description, int, const QString &source, const QString &, int,
                   bool) { ClientSock_Error(number, description, source); });
}

bool frmPrint::sortsBefore(const QString &own, const QString &server)
{
    // Compared number by number: "3.1.12" is newer than "3.1.9".
    return QuorinSock::compareVersions(own, server) < 0;
}

void frmPrint::ClientSock_Connected(const QString &Server, int SockPort, bool)
{
    const QString own = ProgramVersion();
    const QString server = ClientSock->PrinterVersion();
    // Boxes wait for the user: they are shown after the link's event has returned, so the link keeps
    // receiving meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this, own, server, Server, SockPort] {
            const bool older = !server.isEmpty() && sortsBefore(own, server);
            if ((older || m_UpdateRequired) && G.HiddenMode) {
                // Nobody can answer the offer in a run without a window: the job goes with this version.
                const QString text =
                    u"Il server offre una versione più recente (%1): aggiornamento non eseguito, "
                    u"l'invio senza finestra prosegue con la versione %2."_s.arg(
                        older ? server : m_updateVersion, older ? own : QuorinSock::LibraryVersion());
                AppLog().WriteLog(text);
                Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), text);
            } else if (older || m_UpdateRequired) {
                if (Prompt::message(this, QMessageBox::Warning, ProgramTitle(), LoadResString(UpdateOffered),
                                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
                    m_LanciaUpdate = true;
                    m_updateWatch->UpdateFiles();
                }
            } else if (!server.isEmpty() && QuorinSock::compareVersions(own, server) > 0) {
                Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                                LoadResString(ServerUpdateAdvised));
            }
            if (!m_LanciaUpdate) {
                G.CurrentServer = Server;
                G.CurrentPort = SockPort;
                UserReceived = true;
                Connected = true;
                txtServer->setText(u"Connesso al Server: "_s + Server);
                WriteConfigKey(u"Server"_s, G.CurrentServer);
                WriteConfigKey(u"Port"_s, QString::number(G.CurrentPort));
                m_userName = ClientSock->UserName();
                AppLog().WriteLog(u"Fine caricamento"_s);
                AppLog().WriteLine();
                AppLog().WriteLog(u"Connesso al server: "_s + G.CurrentServer);
                AppLog().WriteLog(u"Utente: "_s + m_userName);
            }
            Q_EMIT startStateChanged();
        },
        Qt::QueuedConnection);
}

void frmPrint::ClientSock_ReConnected(const QString &Server, int, bool)
{
    m_relink->stop();
    txtServer->setText(u"Connesso al Server: "_s + Server);
    Connected = true;
    Q_EMIT startStateChanged();
    if (std::exchange(m_sendAgain, false))
        QMetaObject::invokeMethod(this, [this] { SendFax(); }, Qt::QueuedConnection);
}

void frmPrint::ClientSock_ServerNotAvailable(const QString &, int SockPort)
{
    // A run without a window asks nothing: its start-up decides when to give up (StartupMain).
    if (G.HiddenMode)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, SockPort] {
            const QString question = u"Impossibile connettersi al server: "_s + G.CurrentServer + u"\r"_s +
                                     u"Vuoi collegarti ad un altro server?"_s;
            if (Prompt::message(this, QMessageBox::Critical, u"Quorin"_s, question,
                                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
                m_AbortCmd = true;
                Q_EMIT startStateChanged();
                return;
            }
            if (!ClientSock->FindServer(QString(), SockPort)) {
                m_AbortCmd = true;
                Q_EMIT startStateChanged();
                return;
            }
            G.CurrentServer = ClientSock->SockServer();
            const int port = ClientSock->SockPort();
            WriteConfigKey(u"Server"_s, G.CurrentServer);
            WriteConfigKey(u"Port"_s, QString::number(port));
            if (!G.CurrentServer.isEmpty() && port != 0) {
                ClientSock->ConnectClose();
                ClientSock->Connect(G.CurrentServer, port);
            }
        },
        Qt::QueuedConnection);
}

void frmPrint::giveUp(const QString &reason)
{
    if (m_AbortCmd)
        return;
    AppLog().WriteLog(reason);
    Prompt::message(nullptr, QMessageBox::Critical, ProgramTitle(), reason);
    m_AbortCmd = true;
    Q_EMIT startStateChanged();
}

void frmPrint::ClientSock_ConnectionNotAvailable(const QString &, int)
{
    Connected = false;
    Q_EMIT startStateChanged();
    Q_EMIT pendingChanged();
    if (!G.HiddenMode && m_shown)
        linkDown();
    // A hand-over that met it says so itself, with what became of the fax.
    if (m_inSendFax)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            Prompt::message(this, QMessageBox::Critical, u"Attenzione"_s,
                            u"Comunicazione col server non disponibile.\r\nPrego verificare."_s);
        },
        Qt::QueuedConnection);
}

void frmPrint::ClientSock_LinkLost()
{
    // A run without a window settles its faxes itself; the close that confirms them is no loss.
    if (G.HiddenMode || m_confirming || !m_shown || !Connected)
        return;
    Connected = false;
    AppLog().WriteLog(u"Collegamento col server interrotto"_s);
    linkDown();
    Q_EMIT pendingChanged();
}

void frmPrint::linkDown()
{
    txtServer->setText(u"Collegamento col server interrotto: nuovo tentativo di collegamento in corso..."_s);
    txtServer->setCursorPosition(0);
    m_relinkTicks = 0;
    if (!m_relink->isActive()) {
        m_relink->start();
        // The first attempt at once (a server restarting is often back already), from the event loop.
        QMetaObject::invokeMethod(this, &frmPrint::relink, Qt::QueuedConnection);
    }
}

void frmPrint::relink()
{
    if (Connected) {
        m_relink->stop();
        return;
    }
    const int state = ClientSock->State();
    // An attempt under way is left to finish; a connection whose login does not come is tried again later.
    if (state == SocketAdapter::sckConnecting || state == SocketAdapter::sckResolvingHost)
        return;
    if (state == SocketAdapter::sckConnected && ++m_relinkTicks % RelinkLoginTicks != 0)
        return;
    ClientSock->ReConnect();
}

void frmPrint::setHandOverEnabled(bool on)
{
    const bool document = !FilenamePrint.isEmpty();
    cbSend->setEnabled(on && document);
    CbSaveRx->setEnabled(on && document);
}

void frmPrint::ClientSock_MaxUsersLimit()
{
    // The server took this login already (its faxes may be filed): a later refusal opens nothing anew.
    if (Connected && UserReceived) {
        AppLog().WriteLog(u"Il server ha segnalato il massimo numero di utenti dopo l'accesso: ignorato"_s);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            Prompt::message(this, QMessageBox::Critical, ProgramTitle(),
                            u"Impossibile aprire QuorinPrinter!\r\n"
                            u"Raggiunto massimo numero di utenti connessi al server.\r\n"_s);
            m_AbortCmd = true;
            Q_EMIT startStateChanged();
        },
        Qt::QueuedConnection);
}

void frmPrint::ClientSock_UpdateOcxNeed(const QString &version)
{
    m_UpdateRequired = true;
    m_updateVersion = version;
}

void frmPrint::ClientSock_UpdateServerNeed()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            QApplication::beep();
            Prompt::message(this, QMessageBox::Warning, ProgramTitle(), LoadResString(ServerUpdateAdvised));
        },
        Qt::QueuedConnection);
}

void frmPrint::ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived)
{
    if (TotBytesToReceive == 0) {
        m_UpdateError = true;
        m_UpdateRX = true;
        Q_EMIT startStateChanged();
        return;
    }
    if (!m_updateWindow) {
        m_updateWindow = new frmUpdateDownload(this);
        m_updateWindow->setWindowFlag(Qt::Window);
        m_updateWindow->setWindowTitle(ProgramTitle());
        m_updateWindow->LblDwn->setText(LoadResString(DownloadingUpdate));
    }
    m_updateWindow->pbDownLoad->setMaximum(TotBytesToReceive);
    m_updateWindow->pbDownLoad->setValue(TotBytesReceived > 0 ? TotBytesReceived
                                                              : m_updateWindow->pbDownLoad->minimum());
    m_updateWindow->show();
}

void frmPrint::ClientSock_DownloadUpdComplete()
{
    if (m_updateWindow)
        m_updateWindow->hide();
    m_UpdateRX = true;
    Q_EMIT startStateChanged();
}

void frmPrint::updateNotReceived()
{
    if (!m_LanciaUpdate || m_UpdateRX)
        return;
    // Nothing to hand over: the window goes on with this version, on a new login.
    m_LanciaUpdate = false;
    if (m_updateWindow)
        m_updateWindow->hide();
    Prompt::message(this, QMessageBox::Warning, ProgramTitle(), UpdateWatch::notReceivedText());
    if (!G.CurrentServer.isEmpty() && G.CurrentPort > 0)
        ClientSock->Connect(G.CurrentServer, G.CurrentPort);
}

void frmPrint::ClientSock_ProgressStatusStart(const QString &)
{
    if (IsSettingOn(ConfigIni.NoFormInvio))
        return;
    if (!StatusWindow && !IsFormLoaded(u"frmSendStatus"_s)) {
        StatusWindow = new frmSendStatus;
        StatusWindow->setObjectName(u"frmSendStatus"_s);
        StatusWindow->setAttribute(Qt::WA_DeleteOnClose);
        StatusWindow->lblStatus->setText(LoadResString(PreparingFax));
        StatusWindow->show();
    }
}

void frmPrint::ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                           int Percent, int status, const QString &destination,
                                           const QString &FaxNumber, int RetryCount, int RetryMax,
                                           const QString &)
{
    if (!StatusWindow || IsSettingOn(ConfigIni.NoFormInvio))
        return;
    StatusWindow->lblRemoteID->setText(RemoteID);
    StatusWindow->lblSpeed->setText(QString::number(Speed));
    StatusWindow->lblPage->setText(QString::number(CurrPage) + u" / "_s + QString::number(TotPages));
    StatusWindow->lblPercent->setText(QString::number(Percent) + u" %"_s);
    if (!StringTable::contains(2000 + status)) {
        // An unknown status leaves the labels already set; the rest is not shown.
        Err().Raise(ErrNumber::InvalidArgument, u"ProgressStatusTX"_s,
                    u"Stato di trasmissione sconosciuto: "_s + QString::number(status));
        ReportError(u"ClientSock_ProgressStatusTX"_s);
        Err().Clear();
        return;
    }
    StatusWindow->lblStatus->setText(StringTable::text(2000 + status));
    StatusWindow->lblDestination->setText(destination);
    StatusWindow->lblFaxNumber->setText(FaxNumber);
    StatusWindow->lblNumTentativo->setText(QString::number(RetryCount + 1) + u" di "_s +
                                           QString::number(RetryMax + 1));
}

void frmPrint::ClientSock_ProgressStatusEnd(const QString &)
{
    if (StatusWindow) {
        StatusWindow->close();
        StatusWindow = nullptr;
    }
}

void frmPrint::ClientSock_SentFax2Server(const QString &IdFaxSent)
{
    clsFaxSending *entry = cFaxSending ? cFaxSending->item(IdFaxSent) : nullptr;
    if (!entry) {
        Err().Raise(ErrNumber::InvalidArgument, u"collFaxSending"_s,
                    u"Fax non presente nell'elenco degli invii: "_s + IdFaxSent);
        ReportError(u"ClientSock_SentFax2Server"_s);
        Err().Clear();
        return;
    }
    entry->setFailed(false);
    if (G.HiddenMode) {
        // The job run closes the link at its end; that close decides whether these count as delivered.
        entry->setSent(true);
        Q_EMIT pendingChanged();
        return;
    }
    // The server's TCP took every byte. Whether the server read them only its end of the link tells:
    // once nothing else is on its way the link is closed, and the close settles the faxes.
    entry->setAcknowledged(true);
    bool waiting = false;
    for (const auto &e : *cFaxSending)
        waiting = waiting || (e->Pending() && !e->Acknowledged());
    if (!waiting && !m_confirming) {
        m_confirming = true;
        // A press now would go to a link being closed: the buttons wait for the server's answer.
        setHandOverEnabled(false);
        txtStatus->setText(u"Conferma della ricezione dal server..."_s);
        ClientSock->CloseLink(runBounds().closeMs);
    }
}

void frmPrint::ClientSock_FaxesSettled(const QStringList &IdFaxes, int Outcome)
{
    if (!cFaxSending)
        return;
    const bool delivered = Outcome == QuorinSock::Delivered;
    const QString document = FmPrinter1->Document().FilePath;
    bool documentDelivered = false, anyLost = false, allStored = true;
    for (const QString &key : IdFaxes) {
        clsFaxSending *entry = cFaxSending->item(key);
        if (!entry)
            continue;
        entry->setAcknowledged(false);
        entry->setSent(delivered);
        entry->setFailed(!delivered);
        anyLost = anyLost || !delivered;
        allStored = allStored && entry->Stored();
        if (delivered && !document.isEmpty() && entry->StrFiles().split(u'+').contains(document))
            documentDelivered = true;
    }
    const bool unconfirmed = Outcome == QuorinSock::AcknowledgedOnly;
    if (!delivered)
        AppLog().WriteLog((unconfirmed ? u"Consegna non confermata: il sistema del server ha accettato tutti i dati, "
                                         u"ma il server non ha chiuso il collegamento: "_s
                                       : u"Collegamento interrotto prima della conferma: fax forse non arrivati: "_s) +
                          IdFaxes.join(u", "_s));
    // The server holds the printed document now: its spooled job is done with.
    if (documentDelivered)
        FmPrinter1->releaseJob();
    Q_EMIT pendingChanged();
    if (G.HiddenMode)
        return;
    const bool wasConfirming = std::exchange(m_confirming, false);
    if (wasConfirming)
        setHandOverEnabled(true);
    txtStatus->clear();
    if (!delivered) {
        if (anyLost && unconfirmed)
            offerSendAgain(
                u"Consegna non confermata: il sistema del server ha accettato tutti i dati del %1, ma il "
                u"server non ha chiuso il collegamento entro %2 s, quindi non ha confermato di averlo "
                u"letto.\r\n"_s.arg(allStored ? u"documento"_s : u"fax"_s)
                        .arg(runBounds().closeMs / 1000.0) +
                    mayBeFiledAlready(allStored),
                allStored);
        else if (anyLost)
            offerSendAgain(u"Il collegamento col server si è interrotto prima che il server confermasse la "
                           u"ricezione: "_s +
                               (allStored ? u"il documento potrebbe non essere stato salvato nei Ricevuti."_s
                                          : u"il fax potrebbe non essere arrivato."_s),
                           allStored);
        return;
    }
    if (wasConfirming) {
        // The window goes on with a fresh link for what the user does next.
        Connected = false;
        txtServer->setText(u"Nuovo collegamento al server in corso..."_s);
        m_relinkTicks = 0;
        m_relink->start();
        QMetaObject::invokeMethod(this, [this] { ClientSock->ReConnect(); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            MsgBoxEx(this, u"Il Fax è stato inoltrato al server."_s, QMessageBox::Information, QMessageBox::Ok,
                     ProgramTitle());
        },
        Qt::QueuedConnection);
}

void frmPrint::ClientSock_RxPhoneBook(collContactsItem *ContactsList)
{
    RxRubrica = true;
    CollItemRub = ContactsList;
}

void frmPrint::ClientSock_Error(int Number, const QString &Description, const QString &Source)
{
    AppLog().WriteLog(u"Errore "_s + QString::number(Number) + u" - "_s + Description + u" - "_s + Source);
    // The link gave up a fax ("SendFax : key : files"): no confirmation will come for it.
    static const QString prefix = u"SendFax : "_s;
    constexpr int ServerNotReading = 10060; // the link let go an upload the server took nothing of
    constexpr int FileNotFound = 53;        // a document or cover page gone before its upload
    if (!Source.startsWith(prefix) ||
        (Number != 40006 && Number != 75 && Number != FileNotFound && Number != ServerNotReading) || !cFaxSending)
        return;
    const QString key = Source.mid(prefix.size()).section(u" : "_s, 0, 0);
    // A file that cannot be read is named, as the link names it.
    const QString told = Number == FileNotFound || Number == 75
                             ? Description + u" ("_s + Source.mid(prefix.size()).section(u" : "_s, 1) + u')'
                             : Description;
    clsFaxSending *entry = cFaxSending->item(key);
    if (entry && !entry->Sent()) {
        entry->setFailed(true);
        if (G.HiddenMode)
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                            u"Fax "_s + key + u" non consegnato al server: "_s + told);
        Q_EMIT pendingChanged();
        if (G.HiddenMode)
            return;
        const bool stored = entry->Stored();
        const QString what = stored ? u"Il documento"_s : u"Il fax"_s;
        if (Number == ServerNotReading)
            offerSendAgain(what + u" non è arrivato al server: "_s + Description, stored);
        else if (Number == 40006)
            offerSendAgain(u"Il collegamento col server si è interrotto durante l'invio: "_s +
                               what.toLower() + u" non è arrivato al server."_s,
                           stored);
        else
            QMetaObject::invokeMethod(
                this,
                [this, told, stored] {
                    Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                                    (stored ? u"Il documento non è stato salvato nei Ricevuti: "_s
                                            : u"Il fax non è stato inviato: "_s) +
                                        told);
                },
                Qt::QueuedConnection);
    }
}

void frmPrint::offerSendAgain(const QString &why, bool stored)
{
    // The link is gone or was ended: the window logs in again for what comes next (from the event loop,
    // not inside the socket's own signal).
    if (Connected || !m_relink->isActive()) {
        Connected = false;
        linkDown();
    }
    if (stored) {
        // Sending it would make a fax of it: it is stored again from the store dialog, with its own fields.
        QMetaObject::invokeMethod(
            this,
            [this, why] {
                Prompt::message(this, QMessageBox::Warning, ProgramTitle(),
                                why + u"\r\nPer salvarlo di nuovo: «Salva nei Ricevuti», poi «Salva»."_s);
            },
            Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, why] {
            if (Prompt::message(this, QMessageBox::Warning, ProgramTitle(), why + u"\r\nInviarlo di nuovo?"_s,
                                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
                return;
            if (Connected)
                SendFax();
            else
                m_sendAgain = true;
        },
        Qt::QueuedConnection);
}
