#pragma once

#include "Prompt.h"

#include <QFile>
#include <QTemporaryDir>

// Points every per-user folder at a temporary one and answers every prompt.
struct CoreTestHome
{
    QTemporaryDir dir;

    void setUp()
    {
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("run")).toLocal8Bit());
        qputenv("TMPDIR", dir.path().toLocal8Bit());
        qputenv("QUORIN_SYSCONF_DIR", dir.filePath(QStringLiteral("etc")).toLocal8Bit());
        Prompt::setAnswering(true);
    }

    QString settings(const QString &name) const
    {
        return dir.filePath(QStringLiteral("config/quorin/") + name);
    }
};

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
