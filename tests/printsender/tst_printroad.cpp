// The fax printer end to end: a private CUPS scheduler on a loopback port with the backend and the PPD,
// an ordinary user printing a PDF, a text file and a PNG with "lp" under umask 077, and that user's send
// window capturing each job and uploading it to the fake fax server.
//
// Run as root (CI): the test starts cupsd, makes the user, prints as that user and runs its own
// "userSendsEachJob" as that user. Without root, or without CUPS, it skips with the reason.
#include "FaxPrinter.h"
#include "FmPrinter.h"
#include "PrivateCups.h"
#include "SendoraRig.h"

#include <QImage>
#include <QLineEdit>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString RoadUser = u"quorinroad"_s;
const QStringList Documents = {u"offerta.pdf"_s, u"nota.txt"_s, u"schema.png"_s};

struct Mode
{
    int mode = -1;
    uid_t uid = 0;
};

Mode modeOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {int(st.st_mode & 07777), st.st_uid};
}

} // namespace

class TestPrintRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    QString m_cupsRoot, m_spool, m_userDir;
    std::unique_ptr<PrivateCups> m_cups;
    bool m_madeUser = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;

    static bool userSide() { return qEnvironmentVariableIsSet("QUORIN_ROAD_USER_SIDE"); }

    static int run(const QString &program, const QStringList &args, QByteArray *output = nullptr,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   int timeout = 60000)
    {
        return PrivateCups::run(program, args, output, env, timeout);
    }
    QProcessEnvironment cupsEnv() const
    {
        return m_cups ? m_cups->env() : QProcessEnvironment::systemEnvironment();
    }
    // As the user, under the closed umask CUPS itself and careful users have.
    int asUser(const QString &command, QByteArray *output = nullptr, const QStringList &extraEnv = {},
               int timeout = 60000)
    {
        QStringList args = {u"-u"_s, RoadUser, u"--"_s, u"env"_s};
        args += extraEnv;
        args += {u"sh"_s, u"-c"_s, u"umask 077; "_s + command};
        return run(u"runuser"_s, args, output, cupsEnv(), timeout);
    }
    bool writeFile(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
    }
    QString cupsLog() const { return m_cups ? m_cups->log() : QString(); }
    QStringList spooled() const
    {
        return QDir(m_spool + u'/' + RoadUser).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // The user side: one send window per job, as the user's watcher starts one per job.
    void sendOneJob(int index)
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        scriptLogin(server, SystemUser::loginName(), u"2.2.0"_s);
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(server.port()) +
                     "\r\nName=Ufficio\r\nRetries=1\r\nDelayRetries=5\r\n");
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        frmPrint *w = startup.sendWindow();
        QVERIFY(w);
        QTRY_VERIFY2_WITH_TIMEOUT(w->isVisible() && w->Connected,
                                  qPrintable(w->txtServer->text() + u' ' + server.errors().join(u' ') + u' ' +
                                             promptTexts().join(u' ')),
                                  20000);
        auto *send = w->findChild<QPushButton *>(u"cbSend"_s);
        QTRY_VERIFY_WITH_TIMEOUT(send->isEnabled(), 60000);
        const QString document = w->FilenamePrint;
        const QString job = w->FmPrinter1->jobFile();
        QVERIFY(QFile::exists(job));
        QFile tiff(document);
        QVERIFY(tiff.open(QIODevice::ReadOnly));
        const QByteArray made = tiff.readAll();
        QVERIFY(FmPrinter::isTiff(document));
        QVERIFY(FmPrinter::tiffPageCount(document) >= 1);
        auto *number = w->findChild<QLineEdit *>(u"tbFaxNumber"_s);
        QTest::mouseClick(number, Qt::LeftButton);
        QTest::keyClicks(number, u"0212345"_s + QString::number(index));
        QTest::mouseClick(send, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(server.receivedFrames("FINEFAX").size() == 1, 30000);
        // The upload is the fax file made from the print job, byte for byte.
        const QString key = w->IdFaxSending;
        const QByteArray head = key.toLatin1() + "<#>", tail = "<#>" + FakeFaxServer::latin(document);
        QByteArray uploaded;
        for (const FakeFaxServer::Frame &frame : server.receivedFrames("FILE")) {
            QVERIFY(frame.data.startsWith(head) && frame.data.endsWith(tail));
            uploaded += frame.data.mid(head.size(), frame.data.size() - head.size() - tail.size());
        }
        QCOMPARE(uploaded, made);
        QVERIFY(
            server.receivedFrames("NEWFAX").first().text().contains(u"0212345"_s + QString::number(index)));
        // Delivered: the job leaves the spool.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(job), 10000);
        QTRY_VERIFY(w->close());
        QTRY_COMPARE(exit.count(), 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (userSide())
            return;
        if (::geteuid() != 0)
            QSKIP("the print road needs root: it starts a private CUPS scheduler and makes a test user");
        // The administrator's tools live in sbin, which a plain PATH may lack.
        qputenv("PATH", qgetenv("PATH") + ":/usr/sbin:/sbin");
        for (const char *tool : {"cupsd", "lp", "lpadmin", "lpstat", "runuser", "useradd", "userdel", "gs"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(u"the print road needs "_s + QString::fromLatin1(tool)));
        if (!QFileInfo(u"/usr/lib/cups/filter/texttopdf"_s).exists())
            QSKIP("the print road needs the CUPS filters (cups-filters)");
        QVERIFY(m_base.isValid());
        QVERIFY(QFile::setPermissions(m_base.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                         QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                                         QFileDevice::ExeGroup));
        m_cupsRoot = m_base.filePath(u"cups"_s);
        m_spool = m_base.filePath(u"spool"_s); // made by the backend
        m_userDir = m_base.filePath(u"user"_s);
        if (!::getpwnam(qPrintable(RoadUser))) {
            QByteArray out;
            if (run(u"useradd"_s, {u"-M"_s, u"-d"_s, m_userDir, u"-s"_s, u"/bin/sh"_s, RoadUser}, &out) != 0)
                QSKIP(qPrintable(u"cannot make the test user: "_s + QString::fromLocal8Bit(out)));
            m_madeUser = true;
        }
        const passwd *pw = ::getpwnam(qPrintable(RoadUser));
        QVERIFY(pw);
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
        {
            QByteArray out;
            if (run(u"runuser"_s, {u"-u"_s, RoadUser, u"--"_s, u"true"_s}, &out) != 0)
                QSKIP(qPrintable(u"cannot run programs as the test user: "_s + QString::fromLocal8Bit(out)));
        }
        QVERIFY(QDir().mkpath(m_userDir));
        QCOMPARE(::chown(QFile::encodeName(m_userDir).constData(), m_uid, m_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_userDir).constData(), 0700), 0);
        m_cups = std::make_unique<PrivateCups>(m_cupsRoot, m_spool);
        QVERIFY2(m_cups->start(QStringLiteral(QUORIN_BACKEND)), qPrintable(m_cups->output() + cupsLog()));
        QByteArray out;
        QVERIFY2(m_cups->addQueue(
                     FaxPrinter::lpadminArguments(u"QuorinPrinter"_s, QStringLiteral(QUORIN_PPD_FILE)), &out),
                 out.constData());
    }
    void cleanupTestCase()
    {
        m_cups.reset(); // stops the scheduler
        if (m_madeUser)
            run(u"userdel"_s, {RoadUser});
    }

    // Root side: the three documents printed by the user end in the user's spool folder, its own and
    // closed to others, under a spool root every session can watch.
    void printsLandInTheSpool()
    {
        if (userSide())
            QSKIP("root side");
        // Documents of the user, readable only by the user.
        QByteArray out;
        {
            QPdfWriter pdf(m_base.filePath(u"offerta.pdf"_s));
            pdf.setPageSize(QPageSize(QPageSize::A4));
            QPainter p(&pdf);
            p.setFont(QFont(u"Sans"_s, 24));
            p.drawText(QRect(0, 0, 4000, 1000), u"Offerta 2027"_s);
            pdf.newPage();
            p.drawText(QRect(0, 0, 4000, 1000), u"Pagina due"_s);
        }
        QVERIFY(writeFile(m_base.filePath(u"nota.txt"_s), "Nota per il fax\nseconda riga\n"));
        QImage png(400, 200, QImage::Format_RGB32);
        png.fill(Qt::white);
        {
            QPainter p(&png);
            p.fillRect(40, 40, 120, 120, Qt::black);
        }
        QVERIFY(png.save(m_base.filePath(u"schema.png"_s)));
        for (const QString &name : Documents) {
            const QString target = m_userDir + u'/' + name;
            QVERIFY(QFile::rename(m_base.filePath(name), target));
            QCOMPARE(::chown(QFile::encodeName(target).constData(), m_uid, m_gid), 0);
            QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0600), 0);
        }
        int expected = 0;
        for (const QString &name : Documents) {
            QCOMPARE(asUser(u"exec lp -h 127.0.0.1:"_s + QString::number(m_cups->port()) +
                                u" -d QuorinPrinter '"_s + m_userDir + u'/' + name + u'\'',
                            &out),
                     0);
            QVERIFY2(!out.contains("deprecated"), out.constData());
            ++expected;
            QTRY_VERIFY2_WITH_TIMEOUT(spooled().size() == expected, qPrintable(cupsLog()), 60000);
        }
        QCOMPARE(modeOf(m_spool).mode, 0755);
        QCOMPARE(modeOf(m_spool + u'/' + RoadUser).mode, 0700);
        QCOMPARE(modeOf(m_spool + u'/' + RoadUser).uid, m_uid);
        for (const QString &job : spooled()) {
            const Mode m = modeOf(m_spool + u'/' + RoadUser + u'/' + job);
            QCOMPARE(m.mode, 0600);
            QCOMPARE(m.uid, m_uid);
            QVERIFY(job.startsWith(u"job-"_s) && job.endsWith(u".prn"_s));
        }
    }

    // Root side: the user's send windows take the jobs oldest first and upload each (the user side below,
    // run as the user, checks the server's bytes).
    void userSendsThem()
    {
        if (userSide())
            QSKIP("root side");
        QCOMPARE(spooled().size(), 3);
        // The test program as the user can run it (the build tree may be closed to others).
        const QString copy = m_userDir + u"/tst_printroad"_s;
        QFile::remove(copy);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QCOMPARE(::chown(QFile::encodeName(copy).constData(), m_uid, m_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(copy).constData(), 0700), 0);
        QByteArray out;
        const int code = asUser(u"exec '"_s + copy + u"' userSendsEachJob"_s, &out,
                                {u"QUORIN_ROAD_USER_SIDE=1"_s, u"HOME="_s + m_userDir,
                                 u"TMPDIR="_s + m_userDir, u"QUORIN_SPOOL_DIR="_s + m_spool,
                                 u"QT_QPA_PLATFORM=offscreen"_s, u"QUORIN_DISCOVERY_HOSTS=127.0.0.1"_s},
                                240000);
        QVERIFY2(code == 0, out.constData());
        QVERIFY(out.contains("PASS   : TestPrintRoad::userSendsEachJob()"));
        QCOMPARE(spooled(), QStringList());
    }

    // User side: three runs, one job each, oldest first.
    void userSendsEachJob()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by userSendsThem");
        const QByteArray spool = qgetenv("QUORIN_SPOOL_DIR"); // the scheduler's spool, not the home's
        TestHome home;
        usePrivateFolders(home);
        qputenv("QUORIN_SPOOL_DIR", spool);
        QStringList order;
        for (const QFileInfo &f : FmPrinter::waitingJobs(FaxPrinter::spoolDir()))
            order.append(f.fileName());
        QCOMPARE(order.size(), 3);
        for (int i = 0; i < 3; ++i) {
            sendOneJob(i);
            if (QTest::currentTestFailed())
                return;
            QVERIFY(!QFile::exists(FaxPrinter::spoolDir() + u'/' + order.at(i))); // oldest went first
        }
    }
};

QTEST_MAIN(TestPrintRoad)
#include "tst_printroad.moc"
