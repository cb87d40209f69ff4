#include "StartupMain.h"

#include "CommandLine.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxPrinter.h"
#include "FmPrinter.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "SocketAdapter.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "clsLog.h"
#include "frmInst.h"
#include "frmPrint.h"
#include "frmStatoInvio.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Sendora {

namespace {

// What the program's own end takes after its link's close, kept out of the start-up's budget.
int endMargin(const RunBounds &bounds)
{
    return bounds.startMs / 15;
}

} // namespace

void LoadSendoraStrings()
{
    StringTable::addStrings({{2006, u"In attesa di risposta"_s}});
}

StartupMain::StartupMain(QObject *parent) : QObject(parent) {}

StartupMain::~StartupMain()
{
    delete m_job;
    delete m_main.data();
    delete m_installer.data();
}

void StartupMain::Main(const QStringList &arguments)
{
    m_clock.start();
    LoadSendoraStrings();
    ConfigIniPath();
    const CommandLine line = CommandLine::parse(CommandLine::join(arguments));
    G.InstallMode = line.InstallMode;
    G.HiddenMode = line.HiddenMode;
    G.XmlJobFile =
        line.XmlJobFile.isEmpty() || m_jobFileByBytes.isEmpty() ? line.XmlJobFile : m_jobFileByBytes;
    if (!G.InstallMode && G.HiddenMode) {
        // Checked before the server is looked for: a run that cannot send anything ends at once.
        if (const int code = XmlJobRun::checkJobFile(G.XmlJobFile); code != ExitOk)
            return end(code);
    }
    if (G.InstallMode) {
        m_installer = new frmInst;
        connect(m_installer, &frmInst::unloaded, this, [this] { end(0); });
        m_installer->show();
        return;
    }
    sendRoad();
}

void StartupMain::sendRoad()
{
    Sendora::LoadConfig();
    if (const int n = FaxPrinter::removeOrphanedConversions(); n > 0)
        AppLog().WriteLog(u"File di conversione di finestre terminate rimossi: "_s + QString::number(n));
    if (!G.HiddenMode) {
        // Printed documents the print system cancelled unread are told here; a start for nothing else ends.
        if (const QString notice = FaxPrinter::takeCancelledNotice(); !notice.isEmpty()) {
            AppLog().WriteLog(notice);
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), notice);
            if (FmPrinter::waitingJobs(FaxPrinter::spoolDir()).isEmpty())
                return end(ExitOk);
        }
    }
    m_main = new frmPrint;
    connect(m_main, &frmPrint::startStateChanged, this, &StartupMain::check);
    connect(m_main, &frmPrint::unloaded, this, [this] {
        if (m_ended)
            return;
        if (m_job)
            return end(m_job->exitCode());
        if (!G.HiddenMode)
            return end(ExitOk);
        // A hidden run whose window went before its job was read sent nothing.
        const bool loggedIn = m_main && m_main->Connected && m_main->UserReceived;
        tellHidden(u"L'invio senza finestra si è chiuso prima di leggere il lavoro: nessun fax inviato."_s);
        end(loggedIn ? ExitUndelivered : ExitNoServer);
    });
    QString message;
    bool valid = ReadServerSettings(message);
    G.CurrentServer = ConfigIni.Server;
    G.CurrentPort = ConfigIni.Port;
    AppLog().WriteLog(u"Fine Lettura Variabili"_s);
    while (!valid) {
        m_main->Form_Load();
        if (!m_main->ClientSock->FindServer(G.CurrentServer, G.CurrentPort) || !m_main) {
            tellHidden(u"Nessun server impostato o trovato: invio annullato."_s);
            unloadMain();
            return end(ExitNoServer);
        }
        G.CurrentServer = m_main->ClientSock->SockServer();
        G.CurrentPort = m_main->ClientSock->SockPort();
        WriteConfigKey(u"Server"_s, G.CurrentServer);
        WriteConfigKey(u"Port"_s, QString::number(G.CurrentPort));
        valid = ReadServerSettings(message);
        if (!valid && !G.CurrentServer.isEmpty() && G.CurrentPort > 0) {
            // Not stored (a read-only file): the choice holds for this run instead of asking again.
            break;
        }
        if (valid) {
            G.CurrentServer = ConfigIni.Server;
            G.CurrentPort = ConfigIni.Port;
        }
    }
    m_main->Form_Load();
    m_main->ClientSock->setUploadStallBound(runBounds().stallMs);
    if (G.HiddenMode)
        boundHiddenStart();
    if (!G.CurrentServer.isEmpty() && G.CurrentPort != 0) {
        m_main->ClientSock->Connect(G.CurrentServer, G.CurrentPort);
        AppLog().WriteLog(u"Connessione al server: "_s + G.CurrentServer);
    }
    m_waiting = true;
    check();
}

void StartupMain::boundHiddenStart()
{
    const RunBounds bounds = runBounds();
    QuorinSock *link = m_main->ClientSock;
    link->setTimeCheckServer(bounds.watchdogMs);
    QPointer<frmPrint> window = m_main;
    auto loggedIn = [window] { return window && window->Connected && window->UserReceived; };
    auto giveUp = [this, window, loggedIn](const QString &why) {
        if (m_waiting && window && !loggedIn() && !window->AbortCmd())
            window->giveUp(why + u" (collegamenti riusciti: %1): invio annullato."_s.arg(m_connectionsMade));
    };
    const QString server = G.CurrentServer + u':' + QString::number(G.CurrentPort);
    // Whatever the server does, the start-up is given up in time for its link's close and the program's
    // own end to fit the budget.
    const qint64 left = bounds.startMs - bounds.loginCloseMs - endMargin(bounds) - m_clock.elapsed();
    QTimer::singleShot(int(qMax<qint64>(0, left)), this, [this, giveUp, bounds] {
        giveUp(u"Nessun server ha completato l'accesso in %1 s; l'avvio si chiude entro %2 s"_s
                   .arg(QString::number(m_clock.elapsed() / 1000.0, 'f', 0))
                   .arg(bounds.startMs / 1000.0));
    });
    // The login answer is waited for from the first connection the server took.
    auto *loginTimer = new QTimer(this);
    loginTimer->setSingleShot(true);
    loginTimer->setInterval(bounds.loginMs);
    connect(loginTimer, &QTimer::timeout, this, [giveUp, bounds, server] {
        giveUp(u"Il server %1 non ha risposto all'accesso entro %2 s"_s.arg(server).arg(bounds.loginMs / 1000.0));
    });
    connect(link, &QuorinSock::SocketConnected, this, [this, loginTimer] {
        ++m_connectionsMade;
        if (!loginTimer->isActive() && m_connectionsMade == 1)
            loginTimer->start();
    });
    // The link's attempts are over. A connection still up waits for its login answer (the timer above);
    // otherwise the start-up ends here, saying what the attempts met.
    auto *loginWait = new QTimer(this);
    loginWait->setInterval(qMax(10, bounds.watchdogMs / 10));
    auto verdict = [this, link, loginWait, giveUp, server, loggedIn] {
        if (!m_waiting || loggedIn()) {
            loginWait->stop();
            return;
        }
        if (link->State() == SocketAdapter::sckConnected)
            return;
        loginWait->stop();
        giveUp(m_connectionsMade == 0
                   ? u"Impossibile connettersi al server %1: nessun collegamento riuscito in 3 tentativi"_s.arg(server)
                   : u"Il server %1 ha chiuso il collegamento senza completare l'accesso"_s.arg(server));
    };
    connect(loginWait, &QTimer::timeout, this, verdict);
    connect(link, &QuorinSock::ServerNotAvailable, this, [verdict, loginWait] {
        loginWait->start();
        verdict();
    });
}

void StartupMain::check()
{
    if (!m_waiting || !m_main)
        return;
    frmPrint *w = m_main;
    if (!((w->Connected && w->UserReceived) || w->AbortCmd() || w->UpdateRX()))
        return;
    m_waiting = false;
    if (w->AbortCmd()) {
        if (G.HiddenMode) {
            // Nothing of a fax went over this link: its end gets what is left of the start-up's budget.
            const RunBounds bounds = runBounds();
            const qint64 left = bounds.startMs - endMargin(bounds) - m_clock.elapsed();
            w->ClientSock->ConnectClose(int(qBound<qint64>(0, left, qint64(bounds.loginCloseMs))));
        }
        unloadMain();
        return end(ExitNoServer);
    }
    // A hidden run never takes an update (the offer was answered No): it goes on to its job.
    if (w->LanciaUpdate() && !G.HiddenMode)
        return handOver();
    if (G.HiddenMode) {
        m_job = new XmlJobRun(w);
        connect(m_job, &XmlJobRun::finished, this, [this] {
            if (!m_ended)
                end(m_job->exitCode());
        });
        m_job->SendFromXmlFile(G.XmlJobFile);
        return;
    }
    w->show();
}

void StartupMain::handOver()
{
    frmPrint *w = m_main;
    if (w->UpdateError()) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), LoadResString(2071));
    } else {
        const QString argument = AddBackslash(w->ClientSock->NameUpdateFolder()) + u"UPDATE.RIS"_s;
        if (!StartProgram(u"QVDozeza.exe"_s, {argument})) {
            if (Err().Number == ErrNumber::FileNotFound)
                Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                                LoadResString(2068) + u"\r\n"_s + LoadResString(2069));
            else
                ReportError(u"Main"_s);
            Err().Clear();
        }
    }
    unloadMain();
    end(0);
}

void StartupMain::tellHidden(const QString &text)
{
    // A run without a window says why it ends through its standard error (and the log).
    if (!G.HiddenMode)
        return;
    AppLog().WriteLog(text);
    Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), text);
}

void StartupMain::unloadMain()
{
    if (!m_main)
        return;
    frmPrint *w = m_main;
    m_main = nullptr;
    disconnect(w, nullptr, this, nullptr);
    w->close();
    w->deleteLater();
}

void StartupMain::end(int code)
{
    if (m_ended)
        return;
    m_ended = true;
    m_waiting = false;
    m_exitCode = code;
    // The program never ends while bytes of a fax are still on their way to the server.
    QAbstractSocket *socket =
        m_main && m_main->ClientSock ? m_main->ClientSock->findChild<QAbstractSocket *>() : nullptr;
    if (!socket || socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() == 0) {
        Q_EMIT exitRequested();
        return;
    }
    AppLog().WriteLog(u"Attesa invio dati al server: "_s + QString::number(socket->bytesToWrite()) +
                      u" byte"_s);
    auto *poll = new QTimer(this);
    auto *clock = new QElapsedTimer;
    clock->start();
    connect(poll, &QTimer::timeout, this, [this, poll, clock, link = QPointer<QAbstractSocket>(socket)] {
        const bool open = link && link->state() == QAbstractSocket::ConnectedState;
        const bool drained = open && link->bytesToWrite() == 0;
        if (open && !drained && clock->elapsed() < DrainTimeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (!drained) {
            const QString why = u"Collegamento chiuso prima della fine dell'invio: fax non consegnato"_s;
            AppLog().WriteLog(why);
            if (m_exitCode == ExitOk) {
                m_exitCode = ExitUndelivered;
                tellHidden(why + u'.');
            }
        }
        Q_EMIT exitRequested();
    });
    poll->start(50);
}

} // namespace Sendora
