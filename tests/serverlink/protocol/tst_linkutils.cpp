#include "LinkUtils.h"
#include "Prompt.h"
#include "TestHome.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_LinkUtils : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void fileNameAndPath_data();
    void fileNameAndPath();
    void pathWithoutFolderShowsErrorBox();
    void existence();
    void joinPathFindsFreeName();
    void killFile();
    void pendingDeletions();
    void errorBoxText();
    void noBoxForErrorZero();
    void tempDirIsPrivate();

private:
    TestHome m_home;
    QString touch(const QString &name)
    {
        const QString path = m_home.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return path;
    }
};

void tst_LinkUtils::initTestCase()
{
    QVERIFY(m_home.setUp());
    Prompt::setAnswering(true);
}

void tst_LinkUtils::init()
{
    Prompt::clearRecords();
}

void tst_LinkUtils::fileNameAndPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << u"/tmp/q/TMPFAX.TIF"_s << u"TMPFAX.TIF"_s << u"/tmp/q"_s;
    QTest::newRow("url") << u"file:///srv/fax/a.tif"_s << u"a.tif"_s << u"file:///srv/fax"_s;
    QTest::newRow("ending in slash") << u"/tmp/q/"_s << QString() << u"/tmp/q"_s;
    QTest::newRow("root file") << u"/a"_s << u"a"_s << QString();
}

void tst_LinkUtils::fileNameAndPath()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QCOMPARE(LinkUtils::GetFileName(path), name);
    QCOMPARE(LinkUtils::GetPath(path), folder);
    QVERIFY(Prompt::records().isEmpty());
}

void tst_LinkUtils::pathWithoutFolderShowsErrorBox()
{
    QCOMPARE(LinkUtils::GetFileName(u"TMPFAX.TIF"_s), u"TMPFAX.TIF"_s);
    QCOMPARE(LinkUtils::GetPath(u"TMPFAX.TIF"_s), QString());
    QCOMPARE(Prompt::records().size(), 1);
    const Prompt::Record r = Prompt::lastRecord();
    QCOMPARE(r.icon, QMessageBox::Critical);
    QVERIFY(r.text.contains(u"Procedure: GetPath"_s));
    QVERIFY(r.text.contains(u"Numero: 5"_s));
}

void tst_LinkUtils::existence()
{
    const QString file = touch(u"exists.tif"_s);
    const QString hidden = touch(u".hidden"_s);
    QVERIFY(LinkUtils::FileExists(file));
    QVERIFY(!LinkUtils::FileExists(hidden));
    QVERIFY(!LinkUtils::FileExists(m_home.path()));
    QVERIFY(!LinkUtils::FileExists(QString()));
    QVERIFY(!LinkUtils::FileExists(m_home.filePath(u"missing"_s)));
    QVERIFY(LinkUtils::DirExists(m_home.path()));
    QVERIFY(LinkUtils::DirExists(file));
    QVERIFY(!LinkUtils::DirExists(m_home.filePath(u"missing"_s)));
    const QString update = m_home.filePath(u"UPDATE"_s);
    QVERIFY(LinkUtils::CreateDir(update) != 0);
    QVERIFY(LinkUtils::DirExists(update));
    QCOMPARE(LinkUtils::CreateDir(update), 0);
    QCOMPARE(LinkUtils::AddBS(update), update + u'/');
    QCOMPARE(LinkUtils::AddBS(update + u'/'), update + u'/');
}

void tst_LinkUtils::joinPathFindsFreeName()
{
    QTemporaryDir dir;
    QCOMPARE(LinkUtils::JoinPath(u"TMPFAX.TIF"_s, u"  "_s + dir.path() + u"  "_s),
             dir.filePath(u"TMPFAX.TIF"_s));
    for (const QString &n : {u"TMPFAX.TIF"_s, u"1_TMPFAX.TIF"_s}) {
        QFile f(dir.filePath(n));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(LinkUtils::JoinPath(u"TMPFAX.TIF"_s, dir.path() + u'/'), dir.filePath(u"2_TMPFAX.TIF"_s));
    QCOMPARE(LinkUtils::JoinPath(QString(), dir.path()), QString());
}

void tst_LinkUtils::killFile()
{
    const QString file = touch(u"kill.tif"_s);
    QCOMPARE(LinkUtils::KillFile(file), qint16(-1));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(LinkUtils::KillFile(file), qint16(2));
    QCOMPARE(LinkUtils::KillFile(m_home.path()), qint16(0));
}

void tst_LinkUtils::pendingDeletions()
{
    const QString a = touch(u"a.tif"_s);
    const QString image = touch(u"TMPFAX.TIF"_s);
    QTemporaryDir locked;
    const QString stuck = locked.filePath(u"stuck.tif"_s);
    {
        QFile f(stuck);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    LinkUtils::PendingDeletions pending;
    pending.add(a);
    pending.add(stuck);
    pending.add(a);
    pending.add(m_home.filePath(u"gone.tif"_s));
    QCOMPARE(pending.files().size(), 3);
    pending.purge(image);
    QVERIFY(!QFile::exists(a));
    QVERIFY(!QFile::exists(image));
    if (QFile::exists(stuck)) // root may delete it anyway
        QCOMPARE(pending.files(), QStringList{stuck});
    QFile::setPermissions(locked.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    pending.purge();
    QVERIFY(pending.files().isEmpty());
}

void tst_LinkUtils::errorBoxText()
{
    const QString text =
        LinkUtils::errorMessageText(5, u"Chiamata non valida."_s, u"QuorinSockX"_s, u"ChildrenRs"_s);
    QCOMPARE(text.split(u'\n'),
             (QStringList{u"Si è verificato il seguente errore:"_s, QString(), u"Chiamata non valida."_s,
                          QString(), u"Numero: 5"_s, u"Sorgente: QuorinSockX"_s, u"Procedure: ChildrenRs"_s,
                          QString()}));
    LinkUtils::ShowErrorMessage(ParseError{9, u"Indice"_s, u"ChildrenRs"_s}, u"ChildrenRs"_s);
    QCOMPARE(Prompt::records().size(), 1);
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
    QCOMPARE(Prompt::lastRecord().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(Prompt::lastRecord().text.startsWith(u"Si è verificato il seguente errore:\n\nIndice\n"_s));
}

void tst_LinkUtils::noBoxForErrorZero()
{
    LinkUtils::ShowErrorMessage(ParseError{}, u"X"_s);
    QVERIFY(Prompt::records().isEmpty());
}

void tst_LinkUtils::tempDirIsPrivate()
{
    const QString temp = LinkUtils::GetTempDir();
    QVERIFY(!temp.isEmpty());
    QVERIFY(temp.endsWith(u'/'));
    QVERIFY(temp.startsWith(m_home.path()));
    QVERIFY(!LinkUtils::GetUser().isEmpty());
}

QTEST_MAIN(tst_LinkUtils)
#include "tst_linkutils.moc"
