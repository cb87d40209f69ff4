#include "StartupMain.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "clsLog.h"
#include "frmAbout2.h"
#include "frmMain.h"
#include "frmSendStatus.h"
#include "frmSplash.h"
#include "frmUpdateDownload.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWindow>

using namespace Qt::StringLiterals;

StartupMain::StartupMain(QObject *parent) : QObject(parent) {}

StartupMain::~StartupMain()
{
    // Closing runs the window's own unload (placement, log) before it goes.
    if (m_main) {
        frmMain *w = m_main;
        m_main = nullptr;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->close();
        delete w;
    }
}

void StartupMain::Main()
{
    // Every window of the program carries its icon, the link's own windows and the boxes included.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(ProgramIcon());
    m_main = new frmMain;
    m_main->setAttribute(Qt::WA_DeleteOnClose);
    m_splash = new frmSplash(m_main);
    m_splash->show();
    m_main->installEventFilter(this);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    LocateIniFile();
    QString message;
    bool ok = ReadServerSettings(message);
    AppLog().WriteLog(u"Fine Lettura Variabili"_s);
    bool found = true;
    while (!ok) {
        if (!m_main->ClientSock->FindServer(ConfigIni.Server, ConfigIni.Port)) {
            found = false;
            break;
        }
        AppLog().WriteLog(u"Dopo FindServer"_s);
        ConfigIni.Server = m_main->ClientSock->SockServer();
        ConfigIni.Port = m_main->ClientSock->SockPort();
        WriteServerSettings(ConfigIni.Server, ConfigIni.Port);
        AppLog().WriteLog(u"Dopo scrittura variabili server"_s);
        ok = ReadServerSettings(message);
        if (!m_main)
            return end(Outcome::Ended);
    }
    if (!found) {
        // No server: the program ends quietly.
        unloadMain();
        return end(Outcome::Ended);
    }
    AppLog().WriteLog(u"Dopo test ServerTrovato"_s);
    LoadConfig();
    m_main->LumagPreview->setAskResSaveAs(ConfigIni.ChiediRisoluzione);
    if (!ConfigIni.Server.isEmpty() && ConfigIni.Port != 0) {
        AppLog().WriteLog(u"Prima Connect"_s);
        m_main->ClientSock->Connect(ConfigIni.Server, ConfigIni.Port);
        AppLog().WriteLog(u"Dopo Connect"_s);
    }
    AppLog().WriteLog(u"Connessione al server: "_s + ConfigIni.Server);
    // The wait: the main window's handlers set the flags; each change is looked at here.
    m_waiting = true;
    connect(m_main, &frmMain::startStateChanged, this, &StartupMain::check);
    connect(m_main, &QObject::destroyed, this, [this] {
        if (m_waiting)
            end(Outcome::Ended);
    });
    check();
}

void StartupMain::check()
{
    if (!m_waiting || !m_main)
        return;
    frmMain *w = m_main;
    if (!((w->Connected && w->UserReceived) || w->AbortCmd() || w->UpdateRX()))
        return;
    m_waiting = false;
    if (w->AbortCmd()) {
        unloadMain();
        return end(Outcome::Ended);
    }
    if (!w->LanciaUpdate())
        return end(Outcome::Running);
    if (w->UpdateError()) {
        Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(), LoadResString(2071));
        unloadMain();
        return end(Outcome::Ended);
    }
    const QString argument = AddBackslash(w->ClientSock->NameUpdateFolder()) + u"UPDATE.RIS"_s;
    if (!StartProgram(u"QVDozeza.exe"_s, {argument})) {
        if (Err().Number == ErrNumber::FileNotFound) {
            Err().Clear();
            Prompt::message(nullptr, QMessageBox::Warning, ProgramTitle(),
                            LoadResString(2068) + u"\n"_s + LoadResString(2069));
        } else {
            AppLog().WriteLog(u"Errore in Sub main: "_s + QString::number(Err().Number) + u" - "_s +
                              Err().Description);
            ShowErrorMessage();
        }
        // Whatever went wrong, the start is over: no hidden window stays behind.
        unloadMain();
        return end(Outcome::Ended);
    }
    unloadMain();
    end(Outcome::Updating);
}

bool StartupMain::eventFilter(QObject *watched, QEvent *event)
{
    // A fast login maps the main window while the splash shows: the splash goes back on top, on the
    // show and on each exposure (a window manager maps the window later than the show).
    const bool splashUp = m_splash && m_splash->isVisible() && m_main;
    if (splashUp && watched == m_main && event->type() == QEvent::Show) {
        if (QWindow *handle = m_main->windowHandle())
            handle->installEventFilter(this);
        m_splash->raise();
    } else if (splashUp && watched == m_main->windowHandle() && event->type() == QEvent::Expose) {
        m_splash->raise();
    }
    return QObject::eventFilter(watched, event);
}

void StartupMain::unloadMain()
{
    if (m_main) {
        frmMain *w = m_main;
        m_main = nullptr;
        w->close();
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
}
