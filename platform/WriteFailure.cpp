#include "WriteFailure.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString Unknown = u"errore del sistema"_s;

constexpr int Known[] = {ENOSPC, EDQUOT, EROFS, EFBIG, EACCES, EPERM, ENOENT, ENOTDIR, EIO, EISDIR, ETXTBSY};

// Tries what the writer tried, with this process's rights: false only for a refusal.
bool opensForWriting(const QString &file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0 || (errno != EACCES && errno != EPERM && errno != EROFS);
}

bool takesNewFiles(const QString &folder)
{
    QByteArray probe = QFile::encodeName(folder + u"/.quorin-probe-XXXXXX"_s);
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return errno != EACCES && errno != EPERM && errno != EROFS;
    ::close(fd);
    ::unlink(probe.constData());
    return true;
}

} // namespace

namespace WriteFailure {

QString reason(const QString &path, int err, qint64 needed)
{
    if (err != 0 && std::find(std::begin(Known), std::end(Known), err) == std::end(Known)) {
        // A number we have no words for: what the disk and the folder show, else the number.
        const QString seen = reason(path, 0, needed);
        return seen == Unknown ? u"errore del sistema n. %1"_s.arg(err) : seen;
    }
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (err == ENOENT || err == ENOTDIR || !QFileInfo(folder).isDir())
        return u"la cartella %1 non esiste (crearla o sceglierne un'altra)"_s.arg(QDir::toNativeSeparators(folder));
    const QStorageInfo disk(folder);
    const bool known = disk.isValid() && disk.isReady();
    if (err == ENOSPC || err == EDQUOT || (err == 0 && known && disk.bytesAvailable() < needed + 4096))
        return u"il disco è pieno (liberare spazio e riprovare)"_s;
    if (err == EROFS || (known && disk.isReadOnly()))
        return u"il disco che la contiene è di sola lettura"_s;
    rlimit size{};
    const bool overLimit = err == 0 && needed > 0 && ::getrlimit(RLIMIT_FSIZE, &size) == 0 &&
                           size.rlim_cur != RLIM_INFINITY && rlim_t(needed) > size.rlim_cur;
    if (err == EFBIG || overLimit)
        return u"il file supererebbe la dimensione massima che il sistema concede"_s;
    if (err == EISDIR || file.isDir())
        return u"al suo posto c'è una cartella"_s;
    if (err == 0 || err == EACCES || err == EPERM) {
        if (file.exists() && !opensForWriting(path))
            return u"il file è di sola lettura"_s;
        if (!takesNewFiles(folder))
            return u"la cartella %1 non consente di scrivere"_s.arg(QDir::toNativeSeparators(folder));
    }
    if (err == EACCES || err == EPERM)
        return u"mancano i permessi per scriverlo"_s;
    if (err == ETXTBSY)
        return u"il file è in uso da un programma"_s;
    if (err == EIO)
        return u"errore di scrittura sul disco"_s;
    return Unknown;
}

QString sentence(const QString &path, int err, qint64 needed)
{
    return sentence(path, reason(path, err, needed));
}

QString sentence(const QString &path, const QString &reason)
{
    return u"Impossibile scrivere il file %1: %2."_s.arg(QDir::toNativeSeparators(path), reason);
}

bool save(const QString &path, const QByteArray &bytes, QString *why, bool inPlace)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(inPlace);
    errno = 0;
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit())
        return true;
    const int err = errorOf(file, errno);
    file.cancelWriting();
    if (why)
        *why = reason(path, err, bytes.size());
    return false;
}

bool copy(const QString &source, const QString &target, QString *why)
{
    QFile from(source);
    errno = 0;
    if (from.copy(target))
        return true;
    const int err = errorOf(from, errno);
    if (why)
        *why = from.exists() ? sentence(target, err, from.size())
                             : u"Impossibile leggere il file %1: non esiste più."_s.arg(QDir::toNativeSeparators(source));
    return false;
}

int errorOf(const QFileDevice &device, int saved)
{
    for (const int e : Known)
        if (saved == e)
            return saved;
    const QString said = device.errorString();
    for (const int e : Known)
        if (said.contains(QString::fromLocal8Bit(std::strerror(e))))
            return e;
    return saved;
}

} // namespace WriteFailure
