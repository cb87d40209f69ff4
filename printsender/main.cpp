// The print-to-fax sender Sendora.
#include "Prompt.h"
#include "StartupMain.h"

#include <QApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Sendora"_s);
    QApplication::setDesktopFileName(u"sendora"_s); // the menu entry: its icon on panels and docks
    QApplication::setOrganizationName(u"Quorin"_s);
    QApplication::setApplicationVersion(QStringLiteral(QUORIN_VERSION));
    // The start-up ends the program: windows come and go before the send window shows.
    QApplication::setQuitOnLastWindowClosed(false);
    Prompt::installItalianTranslation();

    Sendora::StartupMain startup;
    QObject::connect(
        &startup, &Sendora::StartupMain::exitRequested, &app,
        [&startup] { QCoreApplication::exit(startup.exitCode()); }, Qt::QueuedConnection);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QTimer::singleShot(0, &startup, [&startup, arguments] { startup.Main(arguments); });
    return app.exec();
}
