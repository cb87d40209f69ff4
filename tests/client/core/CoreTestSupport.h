#pragma once

#include "Prompt.h"
#include "TestHome.h"

#include <QFile>
#include <QTest>

// Points every per-user folder at a temporary one and answers every prompt.
struct CoreTestHome
{
    TestHome dir;

    void setUp()
    {
        QVERIFY(dir.setUp());
        dir.useOwnSysconf();
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
