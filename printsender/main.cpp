// The print-to-fax sender Sendora.
#include "CommandLine.h"
#include "DisplayGuard.h"
#include "Prompt.h"
#include "StartupMain.h"
#include "clsLog.h"
#include "frmStatoInvio.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <fcntl.h>

using namespace Qt::StringLiterals;

namespace {

// The job file as the bytes the system gave. A name that has no faithful text in the locale's encoding
// (a Latin-1 "è" under UTF-8) is opened here and read through its descriptor; empty when not needed.
QString jobFileByBytes(int argc, char *argv[])
{
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw.append(QString::fromLatin1(argv[i])); // one character per byte: nothing lost
    const QByteArray name =
        Sendora::CommandLine::parse(Sendora::CommandLine::join(raw)).XmlJobFile.toLatin1();
    if (name.isEmpty() || QFile::encodeName(QFile::decodeName(name)) == name)
        return {};
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? QString() : u"/proc/self/fd/"_s + QString::number(fd);
}

// A hidden run's standard error carries the program's own sentences only: what Qt and the libraries say
// goes to the log.
void messageToLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "Sendora: errore interno, il programma si ferma (%s).\n", qPrintable(message));
        std::abort();
    }
    static bool inside = false; // the log's own file operations may speak too
    if (std::exchange(inside, true))
        return;
    AppLog().WriteLog(u"Qt: "_s + message);
    inside = false;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw.append(QString::fromLocal8Bit(argv[i]));
    const Sendora::CommandLine early = Sendora::CommandLine::parse(Sendora::CommandLine::join(raw));
    // A hidden run started without a desktop (a scheduled job, a server's integration) needs no screen.
    if (!early.InstallMode && early.HiddenMode && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A window with no display to go to is said in one sentence, for what was started.
    DisplayGuard::arm("Sendora",
                      early.InstallMode
                          ? "nessun display raggiungibile (DISPLAY o WAYLAND_DISPLAY non impostati o non "
                            "raggiungibili): l'installazione della stampante fax non può essere aperta; "
                            "avviare Sendora dal desktop."
                          : "nessun display raggiungibile (DISPLAY o WAYLAND_DISPLAY non impostati o non "
                            "raggiungibili): la finestra di invio non può essere aperta; i documenti "
                            "stampati restano in coda.",
                      Sendora::ExitNoDisplay);
    QApplication app(argc, argv);
    DisplayGuard::disarm();
    if (!early.InstallMode && early.HiddenMode)
        qInstallMessageHandler(messageToLog);
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
    // A hidden run is unattended: no message box waits for a click. What the boxes would have said goes
    // to standard error (and the log), the exit code says how the run ended.
    const Sendora::CommandLine line = Sendora::CommandLine::parse(Sendora::CommandLine::join(arguments));
    const bool unattended = !line.InstallMode && line.HiddenMode;
    if (unattended)
        Prompt::setAnswering(true);
    if (unattended)
        startup.setJobFileByBytes(jobFileByBytes(argc, argv));
    QTimer::singleShot(0, &startup, [&startup, arguments] { startup.Main(arguments); });
    const int code = app.exec();
    if (unattended) {
        for (const Prompt::Record &r : Prompt::records())
            std::fprintf(stderr, "Sendora: %s\n", qPrintable(QString(r.text).replace(u"\r\n"_s, u" "_s)));
    }
    return code;
}
