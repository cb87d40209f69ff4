// The fax printer end to end: a private CUPS scheduler on a loopback port with the backend and the PPD,
// an ordinary user printing a PDF, a text file and a PNG with "lp" under umask 077, and that user's send
// window capturing each job and uploading it to the fake fax server.
//
// Run as root (CI): the test starts cupsd, makes the user, prints as that user and runs its own
// "userSendsEachJob" as that user. Without root, or without CUPS, it skips with the reason.
#include "FaxPrinter.h"
#include "FmPrinter.h"
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
#include <QTcpServer>

#include <csignal>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString RoadUser = u"quorinroad"_s;
const QStringList Documents = {u"offerta.pdf"_s, u"nota.txt"_s, u"schema.png"_s};

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

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
    QProcess m_cupsd;
    int m_port = 0;
    bool m_madeUser = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;

    static bool userSide() { return qEnvironmentVariableIsSet("QUORIN_ROAD_USER_SIDE"); }

    static int run(const QString &program, const QStringList &args, QByteArray *output = nullptr,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   int timeout = 60000)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForStarted() || !p.waitForFinished(timeout)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (output)
            *output = p.readAll();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QProcessEnvironment cupsEnv() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"CUPS_SERVER"_s, u"127.0.0.1:"_s + QString::number(m_port));
        return env;
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
    bool startCupsd()
    {
        const QString root = m_cupsRoot;
        for (const QString &d : {u"conf/ppd"_s, u"conf/ssl"_s, u"bin/backend"_s, u"requests"_s, u"cache"_s,
                                 u"state"_s, u"tmp"_s, u"log"_s})
            if (!QDir().mkpath(root + u'/' + d))
                return false;
        // CUPS's own filters, the private backend folder with the fax backend as it is installed.
        for (const QString &d : {u"filter"_s, u"daemon"_s, u"cgi-bin"_s, u"notifier"_s, u"monitor"_s})
            QFile::link(u"/usr/lib/cups/"_s + d, root + u"/bin/"_s + d);
        const QString backend = root + u"/bin/backend/quorin"_s;
        if (!QFile::copy(QStringLiteral(QUORIN_BACKEND), backend) ||
            ::chmod(QFile::encodeName(backend).constData(), 0700) != 0)
            return false;
        ::chmod(QFile::encodeName(root + u"/tmp"_s).constData(), 01777);
        const QByteArray r = QFile::encodeName(root);
        const QByteArray files = "User lp\nGroup lp\nSystemGroup root\nServerRoot " + r +
                                 "/conf\nServerBin " + r + "/bin\nRequestRoot " + r + "/requests\nCacheDir " +
                                 r + "/cache\nStateDir " + r + "/state\nTempDir " + r + "/tmp\nAccessLog " +
                                 r + "/log/access_log\nErrorLog " + r + "/log/error_log\nPageLog " + r +
                                 "/log/page_log\nDataDir /usr/share/cups\nFileDevice No\n"
                                 "SetEnv QUORIN_SPOOL_DIR " +
                                 QFile::encodeName(m_spool) + "\n";
        const QByteArray conf =
            "Listen 127.0.0.1:" + QByteArray::number(m_port) +
            "\nLogLevel info\nWebInterface No\nBrowsing No\nBrowseLocalProtocols none\n"
            "<Location />\n  Order allow,deny\n  Allow 127.0.0.1\n</Location>\n"
            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        if (!writeFile(root + u"/conf/cups-files.conf"_s, files) ||
            !writeFile(root + u"/conf/cupsd.conf"_s, conf))
            return false;
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        // The scheduler goes with the test, also when the test is killed.
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStandardPaths::findExecutable(u"cupsd"_s), {u"-f"_s, u"-c"_s, root + u"/conf/cupsd.conf"_s, u"-s"_s,
                                   root + u"/conf/cups-files.conf"_s});
        if (!m_cupsd.waitForStarted())
            return false;
        return QTest::qWaitFor(
                   [this] {
                       return m_cupsd.state() != QProcess::Running ||
                              run(u"lpstat"_s, {u"-r"_s}, nullptr, cupsEnv(), 5000) == 0;
                   },
                   20000) &&
               m_cupsd.state() == QProcess::Running;
    }
    QString cupsLog() const
    {
        QFile f(m_cupsRoot + u"/log/error_log"_s);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(4000)) : QString();
    }
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
        QVERIFY(QDir().mkpath(m_userDir));
        QCOMPARE(::chown(QFile::encodeName(m_userDir).constData(), m_uid, m_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_userDir).constData(), 0700), 0);
        m_port = freePort();
        QVERIFY(m_port > 0);
        QVERIFY2(startCupsd(), qPrintable(QString::fromLocal8Bit(m_cupsd.readAll()) + cupsLog()));
        QByteArray out;
        // The scheduler may answer before it takes printers: a few tries.
        int code = -1;
        for (int i = 0; i < 10 && code != 0; ++i) {
            if (i > 0)
                QTest::qWait(500);
            code = run(u"lpadmin"_s,
                       FaxPrinter::lpadminArguments(u"QuorinPrinter"_s, QStringLiteral(QUORIN_PPD_FILE)),
                       &out, cupsEnv());
        }
        QVERIFY2(code == 0, out.constData());
    }
    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished();
            }
        }
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
            QCOMPARE(asUser(u"exec lp -h 127.0.0.1:"_s + QString::number(m_port) + u" -d QuorinPrinter '"_s +
                                m_userDir + u'/' + name + u'\'',
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
