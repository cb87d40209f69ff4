// The CUPS backend run directly, with the arguments and environment CUPS gives it.
#include "FaxPrinter.h"
#include "SystemUser.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestBackend : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_spool;

    struct Run
    {
        int code = -1;
        QByteArray out, err;
    };
    Run run(const QStringList &args, const QByteArray &input = {}, bool closedUmask = false)
    {
        QProcess p;
        if (closedUmask) // as CUPS starts its backends
            p.setChildProcessModifier([] { ::umask(077); });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QUORIN_SPOOL_DIR"_s, m_spool);
        env.insert(u"DEVICE_URI"_s, u"quorin:/"_s);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUORIN_BACKEND), args);
        p.waitForStarted(TestWait::bound());
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(TestWait::bound());
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    QFileInfoList jobs(const QString &user) const
    {
        return QDir(m_spool + u'/' + user).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init()
    {
        m_spool = m_dir.filePath(u"spool-"_s + QString::fromLatin1(QTest::currentTestFunction()) +
                                 QString::fromLatin1(QTest::currentDataTag()));
    }

    void discoveryLine()
    {
        const Run r = run({});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("direct quorin:/ \"Quorin Fax Printer\" \"Quorin Fax Printer\"\n"));
        QVERIFY(!QFileInfo::exists(m_spool));
    }

    void jobCopied_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::newRow("standard input") << false;
        QTest::newRow("file argument") << true;
    }
    void jobCopied()
    {
        QFETCH(bool, fromFile);
        const QString user = SystemUser::loginName();
        QByteArray data = "%!PS-Adobe-3.0\n";
        data += QByteArray(300000, 'x'); // more than one read
        QStringList args = {u"42"_s, user, u"Offerta.pdf"_s, u"1"_s, u"media=a4"_s};
        QByteArray input = data;
        if (fromFile) {
            QFile f(m_dir.filePath(u"job.ps"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(data);
            f.close();
            args << f.fileName();
            input.clear();
        }
        const Run r = run(args, input);
        QCOMPARE(r.code, 0);
        const QFileInfoList files = jobs(user);
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().fileName().startsWith(u"job-42-"_s));
        QVERIFY(files.first().fileName().endsWith(u".prn"_s));
        QFile f(files.first().absoluteFilePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), data);
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(f.fileName()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(::stat(QFile::encodeName(m_spool + u'/' + user).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QVERIFY(QDir(m_spool).entryList(QDir::Files | QDir::Hidden).isEmpty()); // no partial file left
        // The installer's watcher looks at the same folder.
        qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(m_spool));
        QCOMPARE(FaxPrinter::spoolDir(), m_spool + u'/' + user);
    }

    // CUPS runs backends under umask 077: the spool root must still be open to every user's session (it
    // is watched for the user's folder to appear), the user's folder closed to the others; a root folder
    // left closed by an older backend is opened again.
    void modesUnderClosedUmask()
    {
        const QString user = SystemUser::loginName();
        QCOMPARE(run({u"3"_s, user, u"t"_s, u"1"_s, QString()}, "first", true).code, 0);
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(m_spool).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0755);
        QCOMPARE(::stat(QFile::encodeName(m_spool + u'/' + user).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QVERIFY(::chmod(QFile::encodeName(m_spool).constData(), 0700) == 0);
        QCOMPARE(run({u"4"_s, user, u"t"_s, u"1"_s, QString()}, "second", true).code, 0);
        QCOMPARE(::stat(QFile::encodeName(m_spool).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0755);
        QCOMPARE(jobs(user).size(), 2);
    }

    void ownedByTheJobsUser()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a job to another user");
        const passwd *pw = ::getpwnam("nobody");
        if (!pw)
            QSKIP("no user nobody");
        const uid_t uid = pw->pw_uid;
        QCOMPARE(run({u"7"_s, u"nobody"_s, u"t"_s, u"1"_s, QString()}, "data").code, 0);
        const QFileInfoList files = jobs(u"nobody"_s);
        QCOMPARE(files.size(), 1);
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(files.first().absoluteFilePath()).constData(), &st), 0);
        QCOMPARE(st.st_uid, uid);
        QCOMPARE(::stat(QFile::encodeName(m_spool + u"/nobody"_s).constData(), &st), 0);
        QCOMPARE(st.st_uid, uid);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        const QString user = SystemUser::loginName();
        QTest::newRow("too few arguments") << QStringList{u"1"_s, user} << 1;
        QTest::newRow("too many arguments")
            << QStringList{u"1"_s, user, u"t"_s, u"1"_s, u""_s, u"f"_s, u"x"_s} << 1;
        QTest::newRow("unknown user")
            << QStringList{u"1"_s, u"no-such-user-q"_s, u"t"_s, u"1"_s, QString()} << 5;
        QTest::newRow("user with a path") << QStringList{u"1"_s, u"../etc"_s, u"t"_s, u"1"_s, QString()} << 5;
        QTest::newRow("job id not a number")
            << QStringList{u"1/../x"_s, user, u"t"_s, u"1"_s, QString()} << 5;
        QTest::newRow("missing job file")
            << QStringList{u"1"_s, user, u"t"_s, u"1"_s, QString(), u"/nonexistent/job.ps"_s} << 1;
        // A filter before the backend failed: nothing to spool, no empty document for the sender, and the
        // job is cancelled rather than printed again.
        QTest::newRow("empty job") << QStringList{u"1"_s, user, u"Preventivo\nrotto.pdf"_s, u"1"_s, QString()} << 5;
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        const Run r = run(args, QByteArray(QTest::currentDataTag()) == "empty job" ? QByteArray() : "data");
        QCOMPARE(r.code, code);
        QVERIFY(r.err.startsWith("ERROR: ") || r.err.startsWith("Usage: "));
        QVERIFY(QDir(m_spool).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        if (QByteArray(QTest::currentDataTag()) != "empty job") {
            QVERIFY(jobs(SystemUser::loginName()).isEmpty());
            return;
        }
        // The cancelled job leaves the user a note (hidden: no job for the capture), which the next start
        // of the sender or the tray launcher reads, tells and removes.
        const QFileInfoList notes = jobs(SystemUser::loginName());
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes.first().fileName(), u".unreadable-1"_s);
        QCOMPARE(notes.first().permissions() & 0x0077, QFileDevice::Permissions());
        qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(m_spool));
        const QString told = FaxPrinter::takeCancelledNotice();
        qunsetenv("QUORIN_SPOOL_DIR");
        const QDateTime now = QDateTime::currentDateTime();
        QVERIFY2(told.startsWith(u"Il documento «Preventivo rotto.pdf» stampato il "_s + now.toString(u"dd/MM/yyyy"_s) +
                                 u" alle "_s),
                 qPrintable(told));
        QVERIFY(told.contains(u"non è diventato un fax: il sistema di stampa non è riuscito a leggerlo"_s));
        QVERIFY(jobs(SystemUser::loginName()).isEmpty());
    }

    // A job cancelled while it is being copied leaves nothing behind, neither in the user's folder nor
    // beside.
    void cancelledJob()
    {
        const QString user = SystemUser::loginName();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QUORIN_SPOOL_DIR"_s, m_spool);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUORIN_BACKEND), {u"8"_s, user, u"t"_s, u"1"_s, QString()});
        QVERIFY(p.waitForStarted(TestWait::bound()));
        p.write(QByteArray(100000, 'x'));
        QUORIN_TRY_VERIFY(!QDir(m_spool).entryList(QDir::Files | QDir::Hidden).isEmpty()); // the partial copy
        QVERIFY(jobs(user).isEmpty()); // never in the user's folder while partial
        p.terminate();
        QVERIFY(p.waitForFinished(TestWait::bound()));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QDir(m_spool).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(jobs(user).isEmpty());
    }

    // A user folder replaced by a link elsewhere is not followed.
    void linkedFolderRefused()
    {
        const QString user = SystemUser::loginName();
        QDir().mkpath(m_spool);
        const QString elsewhere = m_dir.filePath(u"elsewhere"_s);
        QDir().mkpath(elsewhere);
        QVERIFY(QFile::link(elsewhere, m_spool + u'/' + user));
        // Held in CUPS for when the folder is mended; the queue goes on for the others.
        QCOMPARE(run({u"3"_s, user, u"t"_s, u"1"_s, QString()}, "data").code, 3);
        QVERIFY(QDir(elsewhere).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackend)
#include "tst_backend.moc"
