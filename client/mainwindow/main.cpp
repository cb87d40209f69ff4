// The fax client Quorin.
#include "Prompt.h"
#include "SingleInstance.h"
#include "StartupMain.h"
#include "frmMain.h"

#include <QApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
