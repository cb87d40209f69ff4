#include "FmPrinter.h"

#include "AppPaths.h"
#include "FaxPageWriter.h"
#include "FaxPrinter.h"
#include "SystemUser.h"
#include "WriteFailure.h"
#include "clsLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QStorageInfo>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <tiffio.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

FmPrinter::FmPrinter(QObject *parent) : QObject(parent) {}

FmPrinter::~FmPrinter()
{
    if (m_gs) {
        m_gs->disconnect(this);
        m_gs->kill();
        m_gs->waitForFinished(2000);
    }
    if (!m_targetFile.isEmpty())
        QFile::remove(m_targetFile); // a conversion cut short; the job itself stays in the spool
    dropClaim();
}

QString FmPrinter::spoolDir() const
{
    return m_spoolDir.isEmpty() ? FaxPrinter::spoolDir() : m_spoolDir;
}

void FmPrinter::setPrinterName(const QString &name)
{
    m_printerName = name;
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &FmPrinter::scan);
        // Until the spool folders exist nothing can be watched: look again now and then.
        m_poll = new QTimer(this);
        m_poll->setInterval(1000);
        connect(m_poll, &QTimer::timeout, this, [this] {
            if (m_watcher->directories().contains(spoolDir()))
                m_poll->stop();
            else
                setPrinterName(m_printerName);
        });
    }
    // A folder the printer cannot fill is told once, and looked at again quietly until it can.
    const QString problem = spoolProblem(spoolDir());
    if (!problem.isEmpty()) {
        if (std::exchange(m_toldProblem, problem) != problem)
            Q_EMIT CaptureFailed(problem);
        if (!m_poll->isActive())
            m_poll->start();
        return;
    }
    m_toldProblem.clear();
    // Until the backend has made the user's folder, the spool itself is watched.
    const QString root = QFileInfo(spoolDir()).absolutePath();
    if (QFileInfo(root).isDir() && !m_watcher->directories().contains(root))
        m_watcher->addPath(root);
    prepareConverter();
    scan();
    if (!m_watcher->directories().contains(spoolDir()) && !m_poll->isActive())
        m_poll->start();
}

CapturedDocument FmPrinter::Document() const
{
    return m_documents.isEmpty() ? CapturedDocument() : m_documents.last();
}

QStringList FmPrinter::capturedFiles() const
{
    QStringList files;
    for (const CapturedDocument &d : m_documents)
        files.append(d.FilePath);
    return files;
}

QString FmPrinter::spoolProblem(const QString &folder)
{
    // One sentence: the folder, what is wrong, what to do, and where the document waits meanwhile.
    const QString root = QFileInfo(folder).absolutePath();
    const QString held = u", poi riprendere il documento stampato, che resta trattenuto nella coda di stampa, con "
                         u"«lp -i NUMERO -H resume» (NUMERO è il lavoro che «lpstat -o» mostra)."_s;
    if (!QFileInfo(root).isDir())
        return u"La cartella di stampa %1 non esiste (la stampante fax non è installata del tutto): chiedere "
               u"all'amministratore di crearla (sudo install -d -m 0755 %1)"_s.arg(root) + held;
    struct stat st{};
    const QByteArray path = QFile::encodeName(folder);
    const bool made = ::lstat(path.constData(), &st) == 0;
    if (!made && errno != ENOENT)
        return u"La cartella di stampa %1 non si può raggiungere: chiedere all'amministratore di aprire a "
               u"tutti la cartella %2 (sudo chmod 0755 %2)"_s.arg(folder, root) + held;
    const QString mend = u": chiedere all'amministratore di renderla dell'utente %1 e solo sua (sudo chown %1 %2 "
                         u"&& sudo chmod 0700 %2)"_s.arg(SystemUser::loginName(), folder);
    if (made && !S_ISDIR(st.st_mode))
        return u"La cartella di stampa %1 non è una cartella"_s.arg(folder) + mend + held;
    if (made && st.st_uid != ::geteuid())
        return u"La cartella di stampa %1 appartiene a un altro utente"_s.arg(folder) + mend + held;
    if (made && ::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK | X_OK, AT_EACCESS) != 0)
        return u"La cartella di stampa %1 non consente di leggere e scrivere"_s.arg(folder) + mend + held;
    // Not made yet: the printer makes it on the disk of the spool.
    const QStorageInfo disk(made ? folder : root);
    if (disk.isValid() && disk.isReady() && disk.isReadOnly())
        return u"La cartella di stampa %1 non può ricevere documenti, il disco che la contiene è di sola "
               u"lettura: chiedere all'amministratore di renderlo scrivibile"_s.arg(folder) + held;
    if (disk.isValid() && disk.isReady() && disk.bytesAvailable() < 4096)
        return u"La cartella di stampa %1 non può ricevere documenti, il disco è pieno: liberare spazio"_s.arg(folder) +
               held;
    return {};
}

QFileInfoList FmPrinter::waitingJobs(const QString &folder)
{
    // Hidden files are jobs the backend is still writing. Oldest first: CUPS numbers its jobs upwards,
    // the file time settles jobs from before a restart of CUPS.
    QFileInfoList jobs = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    auto jobNumber = [](const QFileInfo &f) {
        const QString name = f.fileName();
        return name.startsWith(u"job-"_s) ? name.section(u'-', 1, 1).toLongLong() : 0;
    };
    std::stable_sort(jobs.begin(), jobs.end(), [&](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = a.lastModified(), tb = b.lastModified();
        if (ta != tb)
            return ta < tb;
        const qint64 na = jobNumber(a), nb = jobNumber(b);
        return na != nb ? na < nb : a.fileName() < b.fileName();
    });
    return jobs;
}

void FmPrinter::scan()
{
    if (m_watcher && QFileInfo(spoolDir()).isDir() && !m_watcher->directories().contains(spoolDir()))
        m_watcher->addPath(spoolDir());
    if (m_gs && m_gs->state() != QProcess::NotRunning && !m_gsWaiting)
        return; // one job at a time; the rest is looked at when this one is done
    if (!m_rawFile.isEmpty() || !m_documents.isEmpty())
        return; // one document per run: later jobs wait in the spool for the next run
    const QFileInfoList jobs = waitingJobs(spoolDir());
    if (jobs.isEmpty()) {
        // The window waited for ended (sent, discarded) and took its job with it.
        if (std::exchange(m_toldClaimed, false))
            Q_EMIT NothingLeftToTake();
        return;
    }
    // The oldest job no other sender of this user has taken.
    QString job;
    QStringList refused; // jobs this user may not read: no other window holds them
    for (const QFileInfo &f : jobs) {
        if (claim(f.absoluteFilePath())) {
            job = f.absoluteFilePath();
            break;
        }
        if (m_claimErrno == EACCES || m_claimErrno == EPERM)
            refused << f.absoluteFilePath();
    }
    if (job.isEmpty() && refused.size() == jobs.size()) {
        const QString problem =
            u"Il documento stampato %1 non si può leggere, non è dell'utente %2: chiedere all'amministratore di "
            u"renderlo suo (sudo chown %2 %1)."_s.arg(refused.first(), SystemUser::loginName());
        if (std::exchange(m_toldProblem, problem) != problem)
            Q_EMIT CaptureFailed(problem);
        return; // looked at again when the folder changes
    }
    if (job.isEmpty()) {
        // Every waiting job is in another window; one it gives back (closed unsent) is taken then.
        if (!m_toldClaimed) {
            m_toldClaimed = true;
            Q_EMIT WaitingForOtherWindow();
        }
        if (!m_claimRetry) {
            m_claimRetry = true;
            QTimer::singleShot(1000, this, [this] {
                m_claimRetry = false;
                scan();
            });
        }
        return;
    }
    m_toldClaimed = false;
    const QString target = newTargetFile();
    if (target.isEmpty()) {
        dropClaim();
        return Q_EMIT CaptureFailed(u"Cartella temporanea non disponibile."_s);
    }
    // The job stays in the spool until it is handed to the server or the user discards it: a run that
    // ends before (no server, start-up given up) leaves it for the next one.
    m_rawFile = job;
    if (!convert(m_rawFile, target))
        conversionDone(Outcome::NoConverter, u"Ghostscript (gs) non trovato."_s);
}

bool FmPrinter::claim(const QString &job)
{
    dropClaim();
    // An exclusive lock on the job file itself: it goes with the process, so a sender that died gives
    // its job back, and it needs no room on any disk.
    const QByteArray path = QFile::encodeName(job);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    m_claimErrno = fd < 0 ? errno : 0;
    if (fd < 0)
        return false;
    struct stat held{}, now{};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 || ::stat(path.constData(), &now) != 0 ||
        held.st_ino != now.st_ino || held.st_dev != now.st_dev) {
        ::close(fd); // taken, or released and deleted by its holder meanwhile
        return false;
    }
    m_claimFd = fd;
    return true;
}

void FmPrinter::dropClaim()
{
    if (m_claimFd >= 0)
        ::close(m_claimFd);
    m_claimFd = -1;
}

QString FmPrinter::newTargetFile()
{
    const QString temp = AppPaths::tempDir();
    if (temp.isEmpty())
        return {};
    // Unique among the senders of this user: two started at once meet in the same millisecond.
    return temp + u"QVPRINT-"_s + QString::number(QCoreApplication::applicationPid()) + u'-' +
           QString::number(QDateTime::currentMSecsSinceEpoch()) + u'-' + QString::number(++m_counter) +
           u".tif"_s;
}

QString FmPrinter::keptFolder()
{
    return AppPaths::dataDir() + u"/unreadable-prints"_s;
}

void FmPrinter::releaseJob()
{
    if (!m_jobFile.isEmpty())
        QFile::remove(m_jobFile);
    m_jobFile.clear();
    dropClaim();
}

bool FmPrinter::markHandedOver(QString *error)
{
    if (m_jobFile.isEmpty())
        return true;
    const QFileInfo job(m_jobFile);
    QString base = job.fileName();
    if (const qsizetype at = base.lastIndexOf(HandedSuffix); at > 0)
        base.truncate(at);
    const QString marked =
        job.absolutePath() + u'/' + base + HandedSuffix + QString::number(QDateTime::currentSecsSinceEpoch());
    // The claim's lock stays with the file: a rename keeps its inode.
    if (marked != m_jobFile &&
        ::rename(QFile::encodeName(m_jobFile).constData(), QFile::encodeName(marked).constData()) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_jobFile = marked;
    // On the disk before the first frame goes out: a power cut after it must not bring the old name back.
    const int dir =
        ::open(QFile::encodeName(job.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = dir >= 0 && ::fsync(dir) == 0;
    const int failure = errno;
    if (dir >= 0)
        ::close(dir);
    if (!synced && error)
        *error = QString::fromLocal8Bit(std::strerror(failure));
    return synced;
}

QDateTime FmPrinter::handedOverAt(const QString &jobFile)
{
    const QString name = QFileInfo(jobFile).fileName();
    const qsizetype at = name.lastIndexOf(HandedSuffix);
    bool ok = false;
    const qint64 secs = at > 0 ? QStringView(name).sliced(at + HandedSuffix.size()).toLongLong(&ok) : 0;
    return ok && secs > 0 ? QDateTime::fromSecsSinceEpoch(secs) : QDateTime();
}

bool FmPrinter::isTiff(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(4);
    return head == QByteArray("II*\0", 4) || head == QByteArray("MM\0*", 4);
}

int FmPrinter::tiffPageCount(const QString &path)
{
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return 0;
    const int pages = int(TIFFNumberOfDirectories(tif));
    TIFFClose(tif);
    return pages;
}

QStringList FmPrinter::ghostscriptArguments()
{
    // A4 at fax resolution (1728 dots across, the fax line; 196 lines per inch) as raw bilevel pages on
    // standard output, one after the other; Ghostscript's own messages go to standard error.
    return {u"-q"_s,          u"-dSAFER"_s,         u"-dBATCH"_s,         u"-dNOPAUSE"_s,
            u"-sDEVICE=pbmraw"_s, u"-r204x196"_s,   u"-g1728x2292"_s,     u"-dFIXEDMEDIA"_s,
            u"-dPDFFitPage"_s, u"-sOutputFile=-"_s, u"-sstdout=%stderr"_s};
}

void FmPrinter::ensureProcess()
{
    if (m_gs)
        return;
    m_gs = new QProcess(this);
    connect(m_gs, &QProcess::readyReadStandardOutput, this, &FmPrinter::takePages);
    connect(m_gs, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (m_gsWaiting) {
            // The waiting Ghostscript ended before it was given a job: jobs start their own.
            m_gsWaiting = false;
            return;
        }
        renderingDone(status == QProcess::NormalExit && code == 0);
    });
    connect(m_gs, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (m_gsWaiting) {
            m_gsWaiting = false;
            return;
        }
        m_writer.reset();
        conversionDone(Outcome::NoConverter, m_gs->errorString());
    });
}

void FmPrinter::prepareConverter()
{
    // Ghostscript's own start-up is most of the time a short job takes: it is started while the spool
    // is watched and waits on its input for the name of the job, which may read nothing but this folder.
    if (m_gsWaiting || !m_rawFile.isEmpty() || !m_documents.isEmpty())
        return;
    if (m_gs && m_gs->state() != QProcess::NotRunning)
        return;
    const QString gs = QStandardPaths::findExecutable(u"gs"_s);
    if (gs.isEmpty())
        return;
    ensureProcess();
    m_gsWaiting = true;
    m_gs->start(gs, ghostscriptArguments()
                        << u"--permit-file-read="_s + QDir(spoolDir()).absolutePath() + u'/' << u"-"_s);
}

void FmPrinter::stopWaitingConverter()
{
    if (!m_gsWaiting)
        return;
    m_gsWaiting = false;
    m_gs->disconnect(this);
    m_gs->kill();
    m_gs->waitForFinished(2000);
    m_gs->deleteLater();
    m_gs = nullptr;
}

bool FmPrinter::convert(const QString &source, const QString &target)
{
    m_gsWords.clear();
    if (isTiff(source)) {
        stopWaitingConverter(); // one document per run: it would not be needed
        m_targetFile = target;
        QFile::remove(target);
        QFile from(source);
        errno = 0;
        const bool ok = from.copy(target);
        const QString why = ok ? QString() : WriteFailure::reason(target, WriteFailure::errorOf(from, errno), from.size());
        QMetaObject::invokeMethod(
            this, [this, ok, why] { conversionDone(ok ? Outcome::Done : Outcome::CannotWrite, why); },
            Qt::QueuedConnection);
        return true;
    }
    const bool warm = m_gsWaiting && m_gs->state() != QProcess::NotRunning &&
                      QFileInfo(source).absolutePath() == QDir(spoolDir()).absolutePath();
    const QString gs = warm ? QString() : QStandardPaths::findExecutable(u"gs"_s);
    if (!warm && gs.isEmpty())
        return false;
    // The pages are encoded as they come, beside Ghostscript drawing the next ones.
    m_targetFile = target;
    m_pages = PbmStream();
    QFile::remove(target);
    m_writer = std::make_unique<FaxPageWriter>(target);
    connect(m_writer.get(), &FaxPageWriter::Finished, this, [this](bool ok, const QString &error) {
        FaxPageWriter *writer = m_writer.release(); // the sender of this signal: it goes later
        writer->setParent(this);
        writer->deleteLater();
        // The writer fails only at writing our own file.
        conversionDone(ok ? Outcome::Done : Outcome::CannotWrite, error);
    });
    if (warm) {
        // The waiting Ghostscript runs the job (a hex string: any bytes of the name are safe) and ends.
        m_gsWaiting = false;
        m_gs->write("<" + QFile::encodeName(source).toHex() + "> run\n");
        m_gs->closeWriteChannel();
        return true;
    }
    stopWaitingConverter(); // it may read only the spool folder
    ensureProcess();
    m_gs->start(gs, ghostscriptArguments() << source);
    return true;
}

void FmPrinter::takePages()
{
    const QByteArray bytes = m_gs->readAllStandardOutput();
    if (!m_writer || m_gsWaiting)
        return;
    m_pages.append(bytes);
    PbmStream::Page page;
    while (m_pages.next(page))
        m_writer->addPage(page);
    if (!m_pages.error().isEmpty())
        m_gs->kill();
}

QString FmPrinter::firstErrorLine(const QString &output)
{
    QString first;
    for (const QString &raw : output.split(u'\n')) {
        QString line = raw.trimmed();
        while (line.startsWith(u'*'))
            line = line.mid(1).trimmed(); // "   **** Error: ..."
        if (line.isEmpty())
            continue;
        if (first.isEmpty())
            first = line;
        if (line.contains(u"error"_s, Qt::CaseInsensitive)) {
            first = line;
            break;
        }
    }
    // The document's own bytes may stand in the line: nothing unprintable, nothing endless.
    for (QChar &c : first) {
        if (!c.isPrint())
            c = u'?';
    }
    return first.size() > 160 ? first.left(160) + u'…' : first;
}

void FmPrinter::renderingDone(bool ok)
{
    takePages();
    if (!m_writer)
        return;
    QString problem = m_pages.error();
    // The whole of Ghostscript's words go to the log; the user is given its first error line.
    const QString output = QString::fromLocal8Bit(m_gs->readAllStandardError()).trimmed();
    if (!output.isEmpty())
        AppLog().WriteLog(u"Ghostscript, documento "_s + m_rawFile + u":\n"_s + output);
    const QString first = firstErrorLine(output);
    m_gsWords = first.isEmpty() ? QString() : u"Ghostscript: «"_s + first + u"»"_s;
    if (problem.isEmpty() && !ok)
        problem = first.isEmpty() ? u"Ghostscript non ha convertito il documento."_s : m_gsWords;
    if (problem.isEmpty() && m_pages.pending())
        problem = u"Il convertitore si è fermato a metà pagina."_s;
    if (!problem.isEmpty()) {
        m_writer.reset();
        conversionDone(Outcome::Unreadable, problem);
        return;
    }
    m_writer->finish(); // conversionDone follows once the last page is written
}

void FmPrinter::conversionDone(Outcome outcome, const QString &message)
{
    const QString job = m_rawFile;
    m_rawFile.clear();
    const int pages = outcome == Outcome::Done ? tiffPageCount(m_targetFile) : 0;
    if (outcome == Outcome::Done && pages >= 1) {
        QFile::setPermissions(m_targetFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_documents.append({m_targetFile, pages});
        m_jobFile = job;
        m_targetFile.clear();
        Q_EMIT PrintComplete();
        return;
    }
    const QString folder = QDir::toNativeSeparators(QFileInfo(m_targetFile).absolutePath());
    QFile::remove(m_targetFile);
    m_targetFile.clear();
    if (outcome == Outcome::CannotWrite || outcome == Outcome::NoConverter) {
        // Nothing wrong with the document: it stays in the spool and the next start takes it again.
        // Not now: it would fail the same way.
        dropClaim();
        const QString stays = u" Il documento stampato resta in coda e sarà ripreso al prossimo avvio."_s;
        const QString text = outcome == Outcome::CannotWrite
                                 ? u"Impossibile scrivere il fax nella cartella %1: %2."_s.arg(folder, message)
                                 : QString(u"Conversione del documento stampato non riuscita. "_s + message);
        Q_EMIT CaptureFailed(text + stays);
        return;
    }
    // Ghostscript refused the document (or it has no page): it leaves the spool (or the watcher would
    // start the sender for it again and again) for a folder the message names.
    QString cause = message;
    if (cause.endsWith(u'.'))
        cause.chop(1);
    // No page at all: what Ghostscript said of it, when it said anything.
    if (outcome == Outcome::Done && !m_gsWords.isEmpty())
        cause = m_gsWords;
    const QString reason = outcome == Outcome::Done && cause.isEmpty() ? u"non ha pagine"_s
                                                                       : u"non si può leggere ("_s + cause + u")"_s;
    QString where;
    if (!job.isEmpty() && QFileInfo::exists(job)) {
        const QString kept = keptFolder();
        const QString target = kept + u'/' + QFileInfo(job).fileName();
        QString why;
        if (QDir().mkpath(kept) && (QFile::rename(job, target) || (WriteFailure::copy(job, target, &why) && QFile::remove(job))))
            where = u", è conservato in "_s + target;
        else
            where = u", resta in "_s + job + u" ("_s + (why.isEmpty() ? WriteFailure::reason(target, 0) : why.chopped(1)) + u')';
    }
    dropClaim();
    // One sentence: what, Ghostscript's first error line, where the document is.
    Q_EMIT CaptureFailed(u"Il documento stampato "_s + reason + u" e non è stato convertito in fax"_s + where +
                         u"."_s);
    // The next job, if any: this one could not be used.
    if (QFileInfo::exists(job))
        return; // still in the spool: taking it again would loop
    QMetaObject::invokeMethod(this, &FmPrinter::scan, Qt::QueuedConnection);
}
