#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString envPath(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString ensured(const QString &path)
{
    QDir().mkpath(path);
    return QDir::cleanPath(path);
}

// A folder only we can enter: created 0700, and refused when another user owns it or others may write.
bool privateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

namespace AppPaths {

QString programDir()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

QString settingsDir()
{
    return ensured(envPath("XDG_CONFIG_HOME", QDir::homePath() + u"/.config") + u"/quorin");
}

QString machineConfigDir()
{
    return envPath("QUORIN_SYSCONF_DIR", QStringLiteral("/etc/quorin"));
}

QString dataDir()
{
    return ensured(envPath("XDG_DATA_HOME", QDir::homePath() + u"/.local/share") + u"/quorin");
}

QString tempDir()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        const QString path = runtime + u"/quorin";
        if (privateFolder(path))
            return path + u'/';
    }
    const QString base = envPath("TMPDIR", QStringLiteral("/tmp"));
    const QString path = base + u"/quorin-" + QString::number(::getuid());
    return privateFolder(path) ? path + u'/' : QString();
}

} // namespace AppPaths
