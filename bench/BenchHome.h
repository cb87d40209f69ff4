#pragma once

// A benchmark's own settings, data, runtime and temporary folders inside dir, and discovery kept on
// loopback, so a run never reads or writes the user's own.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

inline void useBenchHome(const QTemporaryDir &dir)
{
    for (const char *name : {"config/quorin", "data", "run", "tmp"})
        QDir(dir.path()).mkpath(QString::fromLatin1(name));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("run")).toLocal8Bit());
    qputenv("TMPDIR", dir.filePath(QStringLiteral("tmp")).toLocal8Bit());
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
