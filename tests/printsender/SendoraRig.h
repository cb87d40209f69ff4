#pragma once

// A send window of the print-to-fax sender logged in to the fake fax server, with private folders.
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FakeFaxServer.h"
#include "FaxTiffFixture.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SendoraConfig.h"
#include "StartupMain.h"
#include "SystemUser.h"
#include "TestHome.h"
#include "clsLog.h"
#include "frmPrint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

inline const QString FieldSep = u"<¿>"_s;

inline void usePrivateFolders(TestHome &home)
{
    QVERIFY(home.setUp(TestHome::Layout::ByVariable));
    // As an installed printer leaves it: the spool, without the user's folder (made with the first job).
    QVERIFY(QDir().mkpath(home.filePath(u"spool"_s)));
    qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(home.filePath(u"spool"_s)));
    Prompt::setAnswering(true);
    QCoreApplication::setApplicationName(u"Sendora"_s);
    QCoreApplication::setApplicationVersion(u"2.2.0"_s);
    Sendora::LoadSendoraStrings();
}

// Settings file and program-wide values as a fresh start finds them.
inline void resetSendora(const QByteArray &ini = {})
{
    Sendora::G = Sendora::Globals();
    ConfigIni = ConfigIniRecord();
    QFile f(Sendora::ConfigIniPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(ini);
    f.close();
    Sendora::LoadConfig();
    AppLog().setLogActive(false);
    Prompt::clearRecords();
    Err().Clear();
}

// The login a server gives: versions (the printer's as given), then the user with every right.
inline void scriptLogin(FakeFaxServer &server, const QString &user, const QString &printerVersion)
{
    server.expect(FakeFaxServer::answer(u"USER", user));
    server.send(FakeFaxServer::answer(u"VERSIONI", QuorinSock::LibraryVersion() + u"<#>3.0.0<#>"_s +
                                                       printerVersion + u"<#>1.0.0<#>0.9"_s));
    server.send(FakeFaxServer::answer(u"USER", user + u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s));
}

// A print job dropped into the user's spool folder, as the backend leaves it.
inline QString spoolJob(const QTemporaryDir &home, const QString &name, int pages)
{
    const QString dir = home.filePath(u"spool/"_s) + SystemUser::loginName();
    QDir().mkpath(dir);
    const QString temp = home.filePath(name);
    if (!FaxTiffFixture::write(temp, pages, true, u"Stampa"_s))
        return {};
    const QString target = dir + u'/' + name;
    return QFile::rename(temp, target) ? target : QString();
}

// The spooled job as it stands now: its own name, the name it was given when handed over to the server,
// or empty when it is gone.
inline QString spooledNow(const QString &spooled)
{
    if (QFile::exists(spooled))
        return spooled;
    const QFileInfo job(spooled);
    const QStringList marked =
        QDir(job.absolutePath()).entryList({job.fileName() + u".handed-*"_s}, QDir::Files);
    return marked.isEmpty() ? QString() : job.absolutePath() + u'/' + marked.first();
}

inline QStringList promptTexts()
{
    QStringList texts;
    for (const Prompt::Record &r : Prompt::records())
        texts.append(r.text);
    return texts;
}

// The field block of a fax the sender hands over.
inline QString faxBlock(const QStringList &head, const QString &cover, const QString &code,
                        const QStringList &received = {QString(), QString(), u"0"_s, QString(), QString(),
                                                       u"F"_s})
{
    return (head + QStringList{cover, u"False"_s, u"1"_s, u"1"_s, code, u"True"_s} + received).join(FieldSep);
}
