#pragma once

// Private folders, settings and a logged-in link for the compose and address-book window tests.
#include "ConfigIni.h"
#include "LinkRig.h"

#include <QAbstractButton>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

inline void resetConfig(const QTemporaryDir &home)
{
    ConfigIni = ConfigIniRecord();
    ConfigIni.IniPath = home.filePath(u"Darezi.ini"_s);
    QFile::remove(ConfigIni.IniPath);
    ConfigIni.Name = u"Ufficio Acquisti"_s;
    ConfigIni.Company = u"Alfa S.r.l."_s;
    ConfigIni.Voice = u"0211"_s;
    ConfigIni.Fax = u"0222"_s;
    ConfigIni.Retries = 3;
    ConfigIni.DelayRetries = 60;
    ConfigIni.Resolution = 1;
    ConfigIni.FieldRubrica = 2;
    Prompt::clearRecords();
}

inline QString writeFile(const QTemporaryDir &home, const QString &name, const QByteArray &bytes)
{
    const QString path = home.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

template <typename T> T *child(QWidget *form, const QString &name)
{
    T *w = form->findChild<T *>(name);
    if (!w)
        qFatal("no child %s", qPrintable(name));
    return w;
}

inline void setText(QWidget *form, const QString &name, const QString &text)
{
    child<QLineEdit>(form, name)->setText(text);
}

inline void click(QWidget *form, const QString &name)
{
    child<QAbstractButton>(form, name)->click();
}

inline QStringList promptTexts()
{
    QStringList texts;
    for (const Prompt::Record &r : Prompt::records())
        texts.append(r.text);
    return texts;
}
