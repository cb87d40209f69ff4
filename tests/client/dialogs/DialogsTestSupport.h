#pragma once

// Private folders, answered prompts and small file helpers for the tests of the client's windows.
#include "ConfigIni.h"
#include "Prompt.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

struct DialogsTestHome
{
    TestHome dir;

    void setUp()
    {
        QVERIFY(dir.setUp(TestHome::Layout::ByVariable));
        dir.useOwnSysconf();
        Prompt::setAnswering(true);
    }

    // A fresh "Darezi.ini" with these bytes, made the settings file of ConfigIni.
    void writeIni(const QByteArray &bytes)
    {
        ConfigIni = ConfigIniRecord{};
        const QString path = LocateIniFile();
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
};

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// With QUORIN_SCREENSHOT_DIR set, a picture of the window goes there as <name>.png.
inline void screenshot(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("QUORIN_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        window->grab().save(QDir(dir).filePath(name + u".png"_s));
}

// The text of every message box shown since the last clear.
inline QStringList promptTexts()
{
    QStringList texts;
    const QList<Prompt::Record> records = Prompt::records();
    for (const Prompt::Record &r : records) {
        if (r.kind == Prompt::Kind::Message)
            texts << r.text;
    }
    return texts;
}
