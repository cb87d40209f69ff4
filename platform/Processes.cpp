#include "Processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace Processes {

QList<Entry> list()
{
    QList<Entry> out;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList names = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const uid_t self = ::geteuid();
    for (const QString &name : names) {
        bool ok = false;
        const qint64 pid = name.toLongLong(&ok);
        if (!ok)
            continue;
        // The folder belongs to the process's effective user.
        struct stat st{};
        if (::stat(QFile::encodeName(proc.filePath(name)).constData(), &st) != 0 || st.st_uid != self)
            continue;
        Entry e;
        e.pid = pid;
        QFile comm(proc.filePath(name) + u"/comm");
        if (comm.open(QIODevice::ReadOnly))
            e.comm = QString::fromLocal8Bit(comm.readAll()).trimmed();
        char target[PATH_MAX];
        const QByteArray link = QFile::encodeName(proc.filePath(name) + u"/exe");
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0) {
            QString exe = QFile::decodeName(QByteArray(target, n));
            if (exe.endsWith(u" (deleted)"))
                exe.chop(10);
            e.exeName = QFileInfo(exe).fileName();
        }
        if (e.comm.isEmpty() && e.exeName.isEmpty())
            continue; // gone while we looked
        out.append(e);
    }
    return out;
}

bool isRunning(const QString &prefix)
{
    const QList<Entry> all = list();
    for (const Entry &e : all) {
        if ((!e.exeName.isEmpty() && e.exeName.startsWith(prefix, Qt::CaseInsensitive)) ||
            e.comm.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace Processes
