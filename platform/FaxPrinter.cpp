#include "FaxPrinter.h"

#include "AppPaths.h"
#include "SystemUser.h"
#include "WriteFailure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <limits>

#include <signal.h>
#include <sys/types.h>

using namespace Qt::StringLiterals;

FaxPrinter::FaxPrinter(QObject *parent) : QObject(parent) {}

FaxPrinter::~FaxPrinter()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
    }
}

QString FaxPrinter::spoolRoot()
{
    const QString env = qEnvironmentVariable("QUORIN_SPOOL_DIR");
    return env.isEmpty() ? u"/var/spool/quorin"_s : env;
}

QString FaxPrinter::spoolDir()
{
    return spoolRoot() + u'/' + SystemUser::loginName();
}

namespace {

// A title past this length is told by its start and its end (where the file type is): the sentence after
// it must stay whole in the box.
constexpr qsizetype kTitleChars = 120;

QString toldTitle(const QString &title)
{
    if (title.size() <= kTitleChars)
        return title;
    qsizetype head = 80;
    qsizetype tail = kTitleChars - head - 1;
    if (title.at(head - 1).isHighSurrogate())
        --head;
    if (title.at(title.size() - tail).isLowSurrogate())
        --tail;
    return title.left(head) + u'\u2026' + title.right(tail);
}

} // namespace

QString FaxPrinter::takeCancelledNotice()
{
    QStringList lines;
    const QFileInfoList notes =
        QDir(spoolDir()).entryInfoList({noticeFilePrefix() + u'*'}, QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QFileInfo &note : notes) {
        QFile f(note.absoluteFilePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stamp = f.readLine(32).trimmed();
        QString title = QString::fromUtf8(f.read(1024)).trimmed();
        f.close();
        QFile::remove(note.absoluteFilePath());
        bool ok = false;
        const QDateTime printed = QDateTime::fromSecsSinceEpoch(stamp.toLongLong(&ok));
        if (title.isEmpty())
            title = u"senza titolo"_s;
        const QString when = ok ? u" stampato il %1 alle %2"_s.arg(printed.toString(u"dd/MM/yyyy"_s),
                                                                    printed.toString(u"HH:mm"_s))
                                : QString();
        lines.append(u"Il documento «%1»%2 non è diventato un fax: il sistema di stampa non è riuscito a leggerlo "
                     u"e ha annullato la stampa. Stamparlo di nuovo dal programma che lo ha aperto, o salvarlo "
                     u"come PDF e stampare quello."_s.arg(toldTitle(title), when));
    }
    return lines.join(u'\n');
}

int FaxPrinter::removeOrphanedConversions()
{
    const QString folder = AppPaths::tempDir();
    if (folder.isEmpty())
        return 0;
    int removed = 0;
    const QStringList files = QDir(folder).entryList({u"QVPRINT-*.tif"_s}, QDir::Files | QDir::Hidden);
    for (const QString &name : files) {
        bool ok = false;
        const qint64 pid = name.section(u'-', 1, 1).toLongLong(&ok);
        if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
            continue;
        // Only a process known to be gone: one that runs (or that this user may not signal) keeps its file.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        removed += QFile::remove(folder + name) ? 1 : 0;
    }
    return removed;
}

QString FaxPrinter::unitDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/systemd/user"_s;
}

QString FaxPrinter::pathUnitText(const QString &spoolFolder)
{
    return u"[Unit]\nDescription=Quorin fax printer: jobs waiting to be sent\n\n"
           u"[Path]\nDirectoryNotEmpty="_s +
           spoolFolder + u"\nUnit="_s + serviceUnitName() + u"\n\n[Install]\nWantedBy=default.target\n"_s;
}

QString FaxPrinter::serviceUnitText(const QString &commandLine)
{
    return u"[Unit]\nDescription=Quorin fax printer: send a printed document\n\n"
           u"[Service]\nType=simple\nExecStart="_s +
           commandLine + u"\n"_s;
}

QStringList FaxPrinter::lpadminArguments(const QString &name, const QString &ppd)
{
    return {u"-p"_s,
            name,
            u"-E"_s,
            u"-v"_s,
            u"quorin:/"_s,
            u"-P"_s,
            ppd,
            u"-D"_s,
            u"Quorin fax printer"_s,
            u"-o"_s,
            u"printer-is-shared=false"_s,
            u"-o"_s,
            u"fit-to-page-default=true"_s};
}

QStringList FaxPrinter::fitArguments(const QString &name)
{
    return {u"-p"_s, name, u"-o"_s, u"fit-to-page-default=true"_s};
}

bool FaxPrinter::fitsPages(const QString &lpoptionsOutput)
{
    const QStringList words = lpoptionsOutput.split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    return words.contains(u"fit-to-page=true"_s) || words.contains(u"fit-to-page"_s);
}

namespace {

QString firstExisting(const QStringList &candidates)
{
    for (const QString &path : candidates) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString quoted(const QString &text)
{
    return text.contains(u' ') ? u"\""_s + text + u"\""_s : text;
}

} // namespace

QString FaxPrinter::backendPath()
{
    const QString env = qEnvironmentVariable("QUORIN_CUPS_SERVERBIN");
    QStringList folders;
    if (!env.isEmpty())
        folders = {env};
    else
        folders = {u"/usr/lib/cups"_s, u"/usr/libexec/cups"_s, u"/usr/local/lib/cups"_s};
    for (const QString &folder : folders) {
        const QString path = folder + u"/backend/quorin"_s;
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

QString FaxPrinter::expectedBackendPath()
{
    const QString env = qEnvironmentVariable("QUORIN_CUPS_SERVERBIN");
    return (env.isEmpty() ? u"/usr/lib/cups"_s : env) + u"/backend/quorin"_s;
}

QString FaxPrinter::ppdPath(const QString &programDir)
{
    const QString env = qEnvironmentVariable("QUORIN_PPD");
    if (!env.isEmpty())
        return env;
    return firstExisting({programDir + u"/../share/quorin/QuorinFax.ppd"_s,
                          u"/usr/local/share/quorin/QuorinFax.ppd"_s, u"/usr/share/quorin/QuorinFax.ppd"_s});
}

QString FaxPrinter::backendRepairCommand(const QString &programDir)
{
    const QString built = programDir + u"/quorin-backend"_s;
    if (!QFileInfo(built).isFile())
        return u"sudo scripts/install"_s;
    return u"sudo install -o root -g root -m 0700 "_s + quoted(QDir::cleanPath(built)) + u' ' +
           expectedBackendPath() + u"\nsudo install -d -o root -g root -m 0755 "_s + spoolRoot();
}

QString FaxPrinter::queueCommand(const QString &ppd) const
{
    QStringList words;
    for (const QString &a : lpadminArguments(m_name, ppd))
        words.append(a.contains(u' ') ? u"\""_s + a + u"\""_s : a);
    // Two lines joined by the shell, so that the window showing it stays narrower than the screen.
    const qsizetype options = words.indexOf(u"-D"_s);
    if (options > 0)
        words[options - 1] += u" \\\n   "_s;
    return u"sudo lpadmin "_s + words.join(u' ');
}

QString FaxPrinter::fitCommand() const
{
    return u"sudo lpadmin "_s + fitArguments(quoted(m_name)).join(u' ');
}

QString FaxPrinter::findTool(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(name, {u"/usr/local/sbin"_s, u"/usr/sbin"_s, u"/sbin"_s});
}

void FaxPrinter::checkInstalled()
{
    runSteps({{u"lpstat"_s, {u"-p"_s, m_name}}}, [this](bool ok) { Q_EMIT installedChecked(ok); });
}

void FaxPrinter::install(const QString &commandLine, const QString &ppd, bool queueExists)
{
    m_lastError.clear();
    m_watcherError.clear();
    m_fitError.clear();
    m_queueFailed = false;
    if (!writeUnits(commandLine)) {
        Q_EMIT installFinished(false);
        return;
    }
    // The user's watcher is set up every time: a second user of the desktop, or an install that stopped
    // half way, gets one although the queue is there already. Without a systemd user session the queue
    // still works: the sender is started by hand.
    const auto watcher = [this](bool ok, const QString &error) {
        if (!ok && m_watcherError.isEmpty())
            m_watcherError = error;
    };
    QList<Step> steps = {
        {u"systemctl"_s, {u"--user"_s, u"daemon-reload"_s}, true, watcher},
        {u"systemctl"_s, {u"--user"_s, u"enable"_s, u"--now"_s, pathUnitName()}, true, watcher}};
    if (!queueExists) {
        steps.prepend({u"lpadmin"_s, lpadminArguments(m_name, ppd)});
    } else {
        // A queue made before the fit default gets it, when this user may change it.
        steps.prepend({u"lpoptions"_s, {u"-p"_s, m_name}, true, [this](bool ok, const QString &output) {
                           if (ok && fitsPages(output))
                               return;
                           m_steps.prepend({u"lpadmin"_s, fitArguments(m_name), true,
                                            [this](bool fitted, const QString &error) {
                                                if (!fitted)
                                                    m_fitError = error;
                                            }});
                       }});
    }
    runSteps(steps, [this](bool ok) { Q_EMIT installFinished(ok); });
}

bool FaxPrinter::writeUnits(const QString &commandLine)
{
    const QString dir = unitDir();
    errno = 0;
    if (!QDir().mkpath(dir)) {
        m_lastError = u"Impossibile creare la cartella %1: %2."_s.arg(dir, WriteFailure::reason(dir, errno));
        return false;
    }
    const QList<std::pair<QString, QString>> units = {{pathUnitName(), pathUnitText(spoolDir())},
                                                      {serviceUnitName(), serviceUnitText(commandLine)}};
    for (const auto &[name, text] : units) {
        const QString file = dir + u'/' + name;
        QString why;
        if (!WriteFailure::save(file, text.toUtf8(), &why)) {
            m_lastError = WriteFailure::sentence(file, why);
            return false;
        }
    }
    return true;
}

void FaxPrinter::runSteps(QList<Step> steps, std::function<void(bool)> done)
{
    if (m_running) {
        done(false);
        return;
    }
    m_steps = std::move(steps);
    m_done = std::move(done);
    m_running = true;
    runNext();
}

void FaxPrinter::runNext()
{
    auto finish = [this](bool ok) {
        m_running = false;
        auto done = std::move(m_done);
        m_done = nullptr;
        if (done)
            done(ok);
    };
    if (m_steps.isEmpty())
        return finish(true);
    const Step step = m_steps.takeFirst();
    // A failed step: an optional one is noted and the next runs; any other ends the run.
    auto failed = [this, step, finish](const QString &error) {
        if (step.optional) {
            if (step.then)
                step.then(false, error);
            return runNext();
        }
        m_lastError = error;
        m_queueFailed = step.program == u"lpadmin"_s; // the administrator's command still applies
        finish(false);
    };
    const QString program = findTool(step.program);
    if (program.isEmpty())
        return failed(step.program + u" not found"_s);
    if (!m_process) {
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::MergedChannels);
    }
    m_process->disconnect(this);
    connect(m_process, &QProcess::finished, this,
            [this, step, failed](int code, QProcess::ExitStatus status) {
                // CUPS's notice that PPD drivers are deprecated comes with every queue made from a PPD (the
                // README says so): it is not what went wrong.
                QStringList lines = QString::fromLocal8Bit(m_process->readAll()).split(u'\n');
                lines.removeIf([](const QString &l) {
                    return l.contains(u"drivers are deprecated"_s, Qt::CaseInsensitive);
                });
                const QString output = lines.join(u'\n').trimmed();
                // The tools mostly name themselves.
                if (status != QProcess::NormalExit || code != 0)
                    return failed(output.startsWith(step.program + u':') ? output
                                                                         : step.program + u": "_s + output);
                if (step.then)
                    step.then(true, output);
                runNext();
            });
    connect(m_process, &QProcess::errorOccurred, this, [this, step, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed(step.program + u": "_s + m_process->errorString());
    });
    m_process->start(program, step.arguments);
}
