#include "StartupMain.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxPrinter.h"
#include "FormHelpers.h"
#include "LiveSettings.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SingleInstance.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "frmMain.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace QuorinLive {

namespace {

constexpr int UpdateFilesMissing = 2071;
constexpr int RestartProgramMissing = 2068;
constexpr int LiveUpdateImpossible = 2069;

} // namespace

StartupMain::StartupMain(QObject *parent) : QObject(parent) {}

StartupMain::~StartupMain()
{
    delete m_main.data();
}

void StartupMain::Main()
{
    LoadStatusTexts();
    m_instance = new SingleInstance(u"QuorinLive"_s, this);
    connect(m_instance, &SingleInstance::claimed, this, &StartupMain::afterClaim);
    connect(m_instance, &SingleInstance::alreadyRunning, this, [this] {
        Prompt::message(nullptr, QMessageBox::Warning, u"ATTENZIONE"_s, u"Programma già in esecuzione."_s);
        end(Outcome::Ended);
    });
    m_instance->claim();
}

void StartupMain::afterClaim()
{
    // Converted print jobs of send windows that were killed: nobody else removes them.
    FaxPrinter::removeOrphanedConversions();
    m_main = new frmMain;
    connect(m_main, &frmMain::startStateChanged, this, &StartupMain::check);
    connect(m_main, &frmMain::unloaded, this, [this] {
        if (m_waiting)
            end(Outcome::Ended);
        else if (!m_handingOver)
            Q_EMIT exitRequested();
    });
    LocateIniFile();
    QString message;
    while (!QuorinLive::ReadServerSettings(message)) {
        // The search works through the link, which loads the window: the icon shows from here on.
        m_main->Form_Load();
        if (!m_main->ClientSock->FindServer(G.CurrentServer, G.CurrentPort)) {
            unloadMain();
            return end(Outcome::Ended);
        }
        if (!m_main)
            return end(Outcome::Ended);
        const QString server = m_main->ClientSock->SockServer();
        const int port = m_main->ClientSock->SockPort();
        WriteServerSettings(server, port);
        if (!QuorinLive::ReadServerSettings(message)) {
            // Not stored (a read-only file): use the choice for this run instead of asking again.
            G.CurrentServer = server;
            G.CurrentPort = port;
            if (server.isEmpty() || port <= 0 || port > 65535)
                continue;
            break;
        }
    }
    ReadDisplaySettings();
    G.StatusText = LoadResString(Text::Connecting);
    m_main->Form_Load();
    // Printed documents the print system cancelled unread, told once the icon is there.
    if (const QString notice = FaxPrinter::takeCancelledNotice(); !notice.isEmpty())
        QTimer::singleShot(0, m_main, [notice] {
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), notice);
        });
    if (!G.CurrentServer.isEmpty() && G.CurrentPort != 0)
        m_main->ClientSock->Connect(G.CurrentServer, G.CurrentPort);
    m_waiting = true;
    check();
}

void StartupMain::check()
{
    if (!m_main)
        return;
    frmMain *w = m_main;
    if (!m_waiting) {
        // Resident: an update accepted after a later connect is handed over as well.
        if (m_done && !m_handingOver && w->LanciaUpdate() && w->UpdateRX())
            handOver();
        return;
    }
    if (!((w->Connected && w->UserReceived) || w->AbortCmd() || w->UpdateRX()))
        return;
    m_waiting = false;
    if (w->AbortCmd())
        return end(Outcome::Running); // resident; the icon already tells the server is unavailable
    if (!w->LanciaUpdate()) {
        w->showStatus(LoadResString(Text::ConnectedTo) + G.CurrentServer);
        return end(Outcome::Running);
    }
    handOver();
}

void StartupMain::handOver()
{
    frmMain *w = m_main;
    m_handingOver = true;
    Outcome outcome = Outcome::Ended;
    if (w->UpdateError()) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), LoadResString(UpdateFilesMissing));
    } else {
        const QString argument = AddBackslash(w->ClientSock->NameUpdateFolder()) + u"UPDATE.RIS"_s;
        if (StartProgram(u"QVDozeza.exe"_s, {argument})) {
            outcome = Outcome::Updating;
        } else if (Err().Number == ErrNumber::FileNotFound) {
            Err().Clear();
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                            LoadResString(RestartProgramMissing) + u"\n"_s +
                                LoadResString(LiveUpdateImpossible));
        } else {
            // Any other failure is told, and the program stays as it is.
            ShowErrorMessage();
            Err().Clear();
            m_handingOver = false;
            return end(Outcome::Running);
        }
    }
    unloadMain();
    if (m_done) {
        m_outcome = outcome;
        Q_EMIT exitRequested();
        return;
    }
    end(outcome);
}

void StartupMain::unloadMain()
{
    if (m_main) {
        frmMain *w = m_main;
        m_main = nullptr;
        // Ended here on purpose: the window's own unload must not end the program a second time.
        disconnect(w, nullptr, this, nullptr);
        w->Unload();
        delete w;
    }
}

void StartupMain::end(Outcome outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_waiting = false;
    m_outcome = outcome;
    Q_EMIT finished(outcome);
    if (outcome != Outcome::Running)
        Q_EMIT exitRequested();
}

} // namespace QuorinLive
