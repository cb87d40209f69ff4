#include "StartupMain.h"

#include "CommandLine.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "clsLog.h"
#include "frmInst.h"
#include "frmPrint.h"
#include "frmStatoInvio.h"

using namespace Qt::StringLiterals;

namespace Sendora {

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
    LoadSendoraStrings();
    ConfigIniPath();
    const CommandLine line = CommandLine::parse(CommandLine::join(arguments));
    G.InstallMode = line.InstallMode;
    G.HiddenMode = line.HiddenMode;
    G.XmlJobFile = line.XmlJobFile;
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
    m_main = new frmPrint;
    connect(m_main, &frmPrint::startStateChanged, this, &StartupMain::check);
    connect(m_main, &frmPrint::unloaded, this, [this] {
        if (!m_ended)
            end(m_job && m_job->failed() > 0 ? 1 : 0);
    });
    QString message;
    bool valid = ReadServerSettings(message);
    G.CurrentServer = ConfigIni.Server;
    G.CurrentPort = ConfigIni.Port;
    AppLog().WriteLog(u"Fine Lettura Variabili"_s);
    while (!valid) {
        m_main->Form_Load();
        if (!m_main->ClientSock->FindServer(G.CurrentServer, G.CurrentPort)) {
            unloadMain();
            return end(0);
        }
        if (!m_main)
            return end(0);
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
    if (!G.CurrentServer.isEmpty() && G.CurrentPort != 0) {
        m_main->ClientSock->Connect(G.CurrentServer, G.CurrentPort);
        AppLog().WriteLog(u"Connessione al server: "_s + G.CurrentServer);
    }
    m_waiting = true;
    check();
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
        unloadMain();
        return end(1);
    }
    if (w->LanciaUpdate())
        return handOver();
    if (G.HiddenMode) {
        m_job = new XmlJobRun(w);
        connect(m_job, &XmlJobRun::finished, this, [this] {
            if (!m_ended)
                end(m_job->failed() > 0 ? 1 : 0);
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
    Q_EMIT exitRequested();
}

} // namespace Sendora
