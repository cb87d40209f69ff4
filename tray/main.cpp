// The tray launcher QuorinLive.
#include "DisplayGuard.h"
#include "Prompt.h"
#include "StartupMain.h"

#include <QApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Its own code when no display can be reached (the other ends are 0).
    constexpr int ExitNoDisplay = 5;
    DisplayGuard::arm(
        "QuorinLive",
        "nessun display raggiungibile (DISPLAY o WAYLAND_DISPLAY non impostati o non raggiungibili): "
        "l'icona nell'area di notifica non può essere mostrata.",
        ExitNoDisplay);
    QApplication app(argc, argv);
    DisplayGuard::disarm();
    QApplication::setApplicationName(u"QuorinLive"_s);
    QApplication::setDesktopFileName(u"quorinlive"_s); // the menu entry: its icon on panels and docks
    QApplication::setOrganizationName(u"Quorin"_s);
    QApplication::setApplicationVersion(QStringLiteral(QUORIN_VERSION));
    // The program lives in the notification area: closing a window never ends it, only "Esci" does.
    QApplication::setQuitOnLastWindowClosed(false);
    Prompt::installItalianTranslation();

    QuorinLive::StartupMain startup;
    QObject::connect(
        &startup, &QuorinLive::StartupMain::exitRequested, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    // However the program ends, its icon leaves the notification area and its windows close.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &startup, [&startup] {
        if (QuorinLive::frmMain *w = startup.trayWindow())
            w->Unload();
    });
    QTimer::singleShot(0, &startup, &QuorinLive::StartupMain::Main);
    return app.exec();
}
