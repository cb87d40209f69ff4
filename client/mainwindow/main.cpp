// The fax client Quorin.
#include "DisplayGuard.h"
#include "Prompt.h"
#include "SingleInstance.h"
#include "StartupMain.h"
#include "frmMain.h"

#include <QApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Its own code when no display can be reached (the other ends are 0).
    constexpr int ExitNoDisplay = 5;
    DisplayGuard::arm(
        "Quorin",
        "nessun display raggiungibile (DISPLAY o WAYLAND_DISPLAY non impostati o non raggiungibili): "
        "la finestra non può essere aperta.",
        ExitNoDisplay);
    QApplication app(argc, argv);
    DisplayGuard::disarm();
    QApplication::setApplicationName(u"Quorin"_s);
    QApplication::setDesktopFileName(u"quorin"_s); // the menu entry: its icon on panels and docks
    QApplication::setOrganizationName(u"Quorin"_s);
    QApplication::setApplicationVersion(QStringLiteral(QUORIN_VERSION));
    // The program ends when the start is given up or when the main window closes, never because the
    // splash window was the last one on screen.
    QApplication::setQuitOnLastWindowClosed(false);
    Prompt::installItalianTranslation();

    StartupMain startup;
    QObject::connect(
        &startup, &StartupMain::finished, &app,
        [&startup](StartupMain::Outcome outcome) {
            if (outcome != StartupMain::Outcome::Running) {
                QCoreApplication::exit(0);
                return;
            }
            QObject::connect(startup.mainWindow(), &QObject::destroyed, qApp,
                             [] { QCoreApplication::exit(0); });
            // The tray launcher (or a second start) raises this window.
            auto *instance = new SingleInstance(u"Quorin"_s, qApp);
            instance->setWindow(startup.mainWindow());
            instance->serve();
        },
        Qt::QueuedConnection);
    QTimer::singleShot(0, &startup, &StartupMain::Main);
    return app.exec();
}
