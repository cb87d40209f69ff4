// Hidden job runs ("Sendora -N -H -F job.xml") as processes of the real program against the fake server:
// the exit code tells the truth (0 only when every fax arrived whole), nothing waits for a click, and the
// program never ends with bytes of a fax still unsent.
#include "AppPaths.h"
#include "FakeFaxServer.h"
#include "FaxTiffFixture.h"
#include "QuorinSock.h"
#include "SystemUser.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int ExitOk = 0, ExitNoServer = 1, ExitUsage = 2, ExitJobFile = 3, ExitUndelivered = 4,
              ExitNoDisplay = 5;

struct Result
{
    int code = -1;
    QByteArray err;
};

// A listening socket nobody ever accepts from: its backlog takes connections (up to `backlog`), or, filled
// first by connections of its own, takes none.
struct NeverAccepted
{
    int fd = -1;
    QList<int> fillers;
    quint16 port = 0;
    bool open(int backlog, bool fill)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return false;
        port = ntohs(a.sin_port);
        for (int i = 0; fill && i < backlog + 2; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            fillers << c;
        }
        // The fillers' handshakes complete (those the backlog takes) before the program comes.
        QThread::msleep(fill ? 200 : 0);
        return true;
    }
    ~NeverAccepted()
    {
        for (const int c : std::as_const(fillers))
            ::close(c);
        if (fd >= 0)
            ::close(fd);
    }
};

// The number in "(collegamenti riusciti: N)" of a start-up given up, -1 without one.
int connectionsTold(const QByteArray &err)
{
    const QByteArray mark = "collegamenti riusciti: ";
    const qsizetype at = err.indexOf(mark);
    if (at < 0)
        return -1;
    bool ok = false;
    const int n = err.mid(at + mark.size()).split(')').first().toInt(&ok);
    return ok ? n : -1;
}

} // namespace

class TestHiddenRuns : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QByteArray m_display; // the X display the window road runs on (xvfb-run), empty for the rest
    QString m_small, m_large, m_other, m_mid, m_cover, m_five, m_eight;

    void configure(quint16 port)
    {
        const QString dir = m_home.filePath(u"XDG_CONFIG_HOME/quorin"_s);
        QDir().mkpath(dir);
        QFile f(dir + u"/Darezi.ini"_s);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Config]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(port) + "\r\nName=Ufficio\r\n");
    }
    // pauseFirst: the answer waits for release().
    // The server's answer to the login: its versions, then the user's rights.
    // linkVersion and senderVersion: what the server announces for the link and for this program.
    static QList<QByteArray> loginAnswer(const QString &linkVersion = QuorinSock::LibraryVersion(),
                                         const QString &senderVersion = QStringLiteral(QUORIN_VERSION))
    {
        return {FakeFaxServer::answer(u"VERSIONI",
                                      linkVersion + u"<#>3.0.0<#>"_s + senderVersion + u"<#>1.0.0<#>0.9"_s),
                FakeFaxServer::answer(u"USER",
                                      SystemUser::loginName() + u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s)};
    }
    static void login(FakeFaxServer &server, bool pauseFirst = false,
                      const QList<QByteArray> &answer = loginAnswer())
    {
        server.expect(FakeFaxServer::answer(u"USER", SystemUser::loginName()));
        if (pauseFirst)
            server.pause();
        for (const QByteArray &frame : answer)
            server.send(frame);
    }
    // The lines of standard error that say more than the closing count of faxes not delivered.
    static QList<QByteArray> reasons(const QByteArray &err)
    {
        QList<QByteArray> lines;
        for (const QByteArray &line : err.split('\n')) {
            if (!line.trimmed().isEmpty() && !line.startsWith("Sendora: Fax non consegnati al server:") &&
                !line.startsWith("Sendora: Fax con consegna non confermata"))
                lines.append(line);
        }
        return lines;
    }
    // xdotool and import on the window road's display (this process itself runs without one).
    static std::optional<QString> tool(const QString &program, const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLocal8Bit(qgetenv("QUORIN_ROAD_DISPLAY")));
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(TestWait::bound()) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    static QStringList windowsNamed(const QString &pattern)
    {
        return tool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, pattern})
            .value_or(QString())
            .split(u'\n', Qt::SkipEmptyParts);
    }
    // Keys as a person types them, into the window that has the focus.
    static void keys(const QStringList &keys)
    {
        QVERIFY(tool(u"xdotool"_s, QStringList{u"key"_s, u"--delay"_s, u"60"_s} + keys));
        QTest::qWait(150);
    }
    // The send window of `Sendora -N` on the X display, logged in and holding the printed job.
    void startWindow(QProcess &window)
    {
        QFile::remove(m_home.filePath(u"XDG_CONFIG_HOME/quorin/QuorinLog.txt"_s));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLocal8Bit(m_display));
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        window.setProcessEnvironment(env);
        window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Xvfb now and then turns a connection away ("nessun display raggiungibile", code 5): started again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            window.start(QStringLiteral(QUORIN_SENDORA), {u"-N"_s});
            QVERIFY(window.waitForStarted(TestWait::bound()));
            const bool settled = QTest::qWaitFor(
                [&window] {
                    return window.state() == QProcess::NotRunning || windowsNamed(u"^Sendora$"_s).size() == 1;
                },
                TestWait::bound());
            if (!settled || window.state() != QProcess::NotRunning || window.exitCode() != ExitNoDisplay)
                break;
        }
        // Shown once logged in; the job's fax file is there once it is captured.
        if (!QTest::qWaitFor([] { return windowsNamed(u"^Sendora$"_s).size() == 1; }, TestWait::bound())) {
            keepShot(u"no-window"_s);
            QFile log(m_home.filePath(u"XDG_CONFIG_HOME/quorin/QuorinLog.txt"_s));
            log.open(QIODevice::ReadOnly);
            QFAIL(qPrintable(
                u"the send window did not show (running: %1, windows: %2)\n"_s.arg(window.state())
                    .arg(tool(u"xdotool"_s, {u"search"_s, u"--name"_s, u"."_s}).value_or(QString())) +
                QString::fromUtf8(log.readAll())));
        }
        const QString converted = AppPaths::tempDir() + u"QVPRINT-%1-"_s.arg(window.processId());
        QUORIN_TRY_VERIFY(
            !QDir(AppPaths::tempDir()).entryList({QFileInfo(converted).fileName() + u'*'}).isEmpty());
        QVERIFY(tool(u"xdotool"_s, {u"windowfocus"_s, u"--sync"_s, windowsNamed(u"^Sendora$"_s).first()}));
        QTest::qWait(300);
    }
    // Types a fax number and presses "Spedisci" (the number field is the third of the window).
    static void pressSend()
    {
        keys({u"Tab"_s, u"Tab"_s});
        QVERIFY(tool(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"60"_s, u"021234"_s}));
        // Alt+S is also "Strumenti": the first press puts the focus on "Spedisci", the space presses it.
        keys({u"alt+s"_s, u"space"_s});
        keepShot(u"pressed"_s);
    }
    // With QUORIN_ROAD_SHOTS set, the screen as it is goes into that folder.
    static void keepShot(const QString &name)
    {
        const QString folder = qEnvironmentVariable("QUORIN_ROAD_SHOTS");
        if (!folder.isEmpty())
            tool(u"import"_s, {u"-window"_s, u"root"_s, folder + u'/' + name + u".png"_s});
    }
    // Standard error holds the program's own lines only: nothing of Qt or of the link's internals.
    static bool ownLinesOnly(const QByteArray &err)
    {
        for (const QByteArray &line : err.split('\n')) {
            if (!line.isEmpty() && !line.startsWith("Sendora: "))
                return false;
        }
        return true;
    }
    QString job(const QList<QString> &documents, const QByteArray &tail = "</jobs>\n",
                const QString &cover = {})
    {
        QByteArray xml = "<?xml version=\"1.0\"?>\n<jobs>\n";
        int n = 0;
        for (const QString &doc : documents)
            xml += "<fax><faxfilename>" + doc.toUtf8() + "</faxfilename><destfax>02" +
                   QByteArray::number(++n) + "</destfax>" +
                   (cover.isEmpty() ? QByteArray() : "<coverpage>" + cover.toUtf8() + "</coverpage>") + "</fax>\n";
        xml += tail;
        const QString path = m_home.filePath(u"job.xml"_s);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(xml);
        return path;
    }
    // Runs the program while this process's event loop keeps serving the fake server.
    Result run(const QStringList &args, int timeout = TestWait::bound(), int timeDivisor = 0)
    {
        QProcess p;
        if (timeDivisor > 1) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QUORIN_TEST_TIME_DIVISOR"_s, QString::number(timeDivisor));
            p.setProcessEnvironment(env);
        }
        p.start(QStringLiteral(QUORIN_SENDORA), args);
        if (!p.waitForStarted(TestWait::bound()))
            return {};
        if (!QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, timeout)) {
            p.kill();
            p.waitForFinished();
            return {-2, p.readAllStandardError()};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
    }
    // The bytes of one document as the server received them ("FILE": key, piece, file name).
    static QByteArray uploaded(const FakeFaxServer &server, const QString &document)
    {
        const QByteArray tail = "<#>" + FakeFaxServer::latin(document);
        QByteArray bytes;
        for (const FakeFaxServer::Frame &frame : server.receivedFrames("FILE")) {
            if (!frame.data.endsWith(tail))
                continue;
            const qsizetype start = frame.data.indexOf("<#>") + 3;
            bytes += frame.data.mid(start, frame.data.size() - start - tail.size());
        }
        return bytes;
    }
    static QByteArray contentOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Every document of the job filed whole, each in a fax of its own (its cover too when given).
    static bool filedWhole(const FakeFaxServer &server, const QStringList &documents, const QString &cover = {})
    {
        const QList<FakeFaxServer::FiledFax> filed = server.filedFaxes();
        for (const QString &doc : documents) {
            bool found = false;
            for (const FakeFaxServer::FiledFax &fax : filed) {
                if (fax.documents.value(FakeFaxServer::latin(doc)) == contentOf(doc) &&
                    (cover.isEmpty() || fax.documents.value(FakeFaxServer::latin(cover)) == contentOf(cover)))
                    found = true;
            }
            if (!found)
                return false;
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.setUp(TestHome::Layout::ByVariable));
        qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(m_home.filePath(u"spool"_s)));
        m_display = qgetenv("DISPLAY");
        qputenv("QUORIN_ROAD_DISPLAY", m_display);
        // No screen at all: a hidden run finds its own way.
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        m_small = m_home.filePath(u"small.tif"_s);
        m_large = m_home.filePath(u"large.tif"_s);
        m_other = m_home.filePath(u"other.tif"_s);
        m_mid = m_home.filePath(u"mid.tif"_s);
        m_cover = m_home.filePath(u"cover.txt"_s);
        m_five = m_home.filePath(u"five.tif"_s);
        m_eight = m_home.filePath(u"eight.tif"_s);
        QFile five(m_five), eight(m_eight);
        QVERIFY(five.open(QIODevice::WriteOnly) && eight.open(QIODevice::WriteOnly));
        five.write(QByteArray(5 * 1024, 'f'));
        QByteArray eightBytes(8 << 20, '\0');
        for (qsizetype j = 0; j < eightBytes.size(); j += 4)
            *reinterpret_cast<quint32 *>(eightBytes.data() + j) = QRandomGenerator::global()->generate();
        eight.write(eightBytes);
        QFile mid(m_mid), cover(m_cover);
        QVERIFY(mid.open(QIODevice::WriteOnly) && cover.open(QIODevice::WriteOnly));
        QByteArray midBytes(660 * 1024, '\0');
        for (qsizetype j = 0; j < midBytes.size(); ++j)
            midBytes[j] = char(QRandomGenerator::global()->bounded(256));
        mid.write(midBytes);
        cover.write("Copertina: Ufficio Acquisti");
        QFile small(m_small), large(m_large), other(m_other);
        QVERIFY(small.open(QIODevice::WriteOnly) && other.open(QIODevice::WriteOnly) &&
                large.open(QIODevice::WriteOnly));
        small.write("II*\0 small document", 20);
        other.write(QByteArray(300000, 'o'));
        // Large enough that the kernel's socket buffers cannot hold it: the sender must wait for the server.
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < 24; ++i) {
            for (qsizetype j = 0; j < block.size(); j += 4)
                *reinterpret_cast<quint32 *>(block.data() + j) = QRandomGenerator::global()->generate();
            large.write(block);
        }
    }

    // Usage and job-file errors end at once, before any server is contacted, with their own codes.
    void refusedBeforeConnecting_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("-H without a file") << QStringList{u"-N"_s, u"-H"_s} << ExitUsage
                                           << QByteArray("Parametro *Nome File XML* non presente.");
        QTest::newRow("missing job file") << QStringList{u"-N"_s, u"-H"_s, u"-F"_s, u"/nonexistent/job.xml"_s}
                                          << ExitJobFile << QByteArray("/nonexistent/job.xml non trovato.");
    }
    void refusedBeforeConnecting()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        const Result r = run(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(server.connectionCount(), 0);
    }

    // Every fax delivered, through a server that stalls while reading: exit 0 only once every byte of both
    // faxes arrived.
    void allDeliveredToSlowServer()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        bool stalled = false;
        connect(&server, &FakeFaxServer::frameReceived, this, [&stalled](const FakeFaxServer::Frame &f) {
            if (stalled || f.keyword != "FILE")
                return;
            stalled = true;
            // The server reads nothing for a while: the sender's bytes pile up on its side.
            QThread::msleep(2500);
        });
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_large, m_other})});
        QVERIFY2(r.code == ExitOk && ownLinesOnly(r.err), r.err.constData());
        QVERIFY(stalled);
        // Nothing was left behind in the program: what the system still holds for the link arrives.
        QUORIN_TRY_COMPARE(server.receivedFrames("FINEFAX").size(), 2);
        QVERIFY(uploaded(server, m_large) == contentOf(m_large));
        QVERIFY(uploaded(server, m_other) == contentOf(m_other));
    }

    // A fax whose document cannot be read is not sent empty: reported, counted, the others go.
    void unreadableDocument()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        const QString missing = m_home.filePath(u"gone.tif"_s);
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small, missing})});
        QCOMPARE(r.code, ExitUndelivered);
        QVERIFY2(r.err.contains(missing.toUtf8()), r.err.constData());
        const QList<FakeFaxServer::Frame> faxes = server.receivedFrames("NEWFAX");
        QCOMPARE(faxes.size(), 1);
        QVERIFY(faxes.first().text().startsWith(m_small + u"<#>"_s));
        QCOMPARE(uploaded(server, m_small), contentOf(m_small));

        // A cover page that is not there ends its fax when its turn to go comes: told, never waited for.
        const QString noCover = m_home.filePath(u"no-cover.txt"_s);
        login(server);
        const Result c = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small}, "</jobs>\n", noCover)});
        QCOMPARE(c.code, ExitUndelivered);
        QVERIFY2(c.err.contains(noCover.toUtf8()), c.err.constData());
    }

    // A fault in the job file: the faxes before it are delivered, the run says the file was bad.
    void malformedJob()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small}, "<fax><destfax>1</destfax></fox>")});
        QCOMPARE(r.code, ExitJobFile);
        QVERIFY2(r.err.contains("Mismatched tag"), r.err.constData());
        QCOMPARE(server.receivedFrames("FINEFAX").size(), 1);
    }

    // The link cut in the middle of an upload: that fax is not delivered.
    void linkCutDuringUpload()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        connect(&server, &FakeFaxServer::frameReceived, this, [&server](const FakeFaxServer::Frame &f) {
            if (f.keyword == "FILE")
                QTimer::singleShot(0, &server, &FakeFaxServer::dropClient);
        });
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_large})});
        QVERIFY2(r.code == ExitUndelivered, r.err.constData());
        QVERIFY(server.receivedFrames("FINEFAX").isEmpty());
    }

    // A server that reads slowly and writes a progress notice after each fax, so its notices go out while
    // the sender closes: the close never turns into a reset, and exit 0 means all three faxes were filed.
    void slowReaderWithNotices()
    {
        // The last two faxes are small: when the sender has its last byte acknowledged and closes, the server
        // still has the end of the first one and both of them to read, and writes its notices meanwhile.
        const QStringList docs{m_other, m_small, m_cover};
        for (int round = 0; round < 20; ++round) {
            FakeFaxServer server;
            QVERIFY(server.listen());
            configure(server.port());
            login(server);
            FakeFaxServer::Faults faults;
            faults.slowReadBytes = 4096;
            faults.slowReadIntervalMs = 5;
            faults.noticeAfter = "FINEFAX";
            server.setFaults(faults);
            const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job(docs)});
            QVERIFY2(r.code == ExitOk, qPrintable(u"round %1: %2"_s.arg(round).arg(QString::fromUtf8(r.err))));
            QVERIFY2(filedWhole(server, docs), qPrintable(u"round %1"_s.arg(round)));
            QCOMPARE(server.filedFaxes().size(), 3);
            QCOMPARE(server.resetsSeen(), 0);
        }
    }

    // The link cut right after each frame in turn, with a close and with a reset, and what the server had
    // not read lost with it or read first (frames read together with the one the cut follows are read too):
    // exit 0 only when the server filed every fax whole, never a 0 for a lost fax. The server's log (every
    // frame it tells) is its record, a cut's frames included.
    void cutAfterEveryFrame_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<bool>("withCover");
        QTest::addColumn<bool>("reset");
        QTest::addColumn<bool>("keepUnread");
        for (const bool reset : {false, true}) {
            const char *how = reset ? "reset" : "close";
            QTest::addRow("small with cover, %s", how) << m_small << true << reset << false;
            QTest::addRow("large, %s", how) << m_mid << false << reset << false;
            QTest::addRow("small, %s, unread read first", how) << m_small << false << reset << true;
            QTest::addRow("large, %s, unread read first", how) << m_mid << false << reset << true;
        }
    }
    void cutAfterEveryFrame()
    {
        QFETCH(QString, document);
        QFETCH(bool, withCover);
        QFETCH(bool, reset);
        QFETCH(bool, keepUnread);
        const QString cover = withCover ? m_cover : QString();
        int frames = 0;
        {
            // How many frames the whole run takes.
            FakeFaxServer server;
            QVERIFY(server.listen());
            configure(server.port());
            login(server);
            const Result r =
                run({u"-N"_s, u"-H"_s, u"-F"_s, job({document}, "</jobs>\n", cover)}, TestWait::bound(), 10);
            QVERIFY2(r.code == ExitOk, r.err.constData());
            QVERIFY(filedWhole(server, {document}, cover));
            frames = int(server.receivedFrames().size());
        }
        QVERIFY(frames >= 6);
        int delivered = 0;
        for (int cut = 1; cut <= frames; ++cut) {
            FakeFaxServer server;
            QVERIFY(server.listen());
            configure(server.port());
            login(server);
            QList<FakeFaxServer::Frame> told;
            connect(&server, &FakeFaxServer::frameReceived, this,
                    [&told](const FakeFaxServer::Frame &f) { told.append(f); });
            FakeFaxServer::Faults faults;
            faults.cutAfterFrames = cut;
            faults.cutWithReset = reset;
            faults.keepUnreadAtCut = keepUnread;
            server.setFaults(faults);
            const Result r =
                run({u"-N"_s, u"-H"_s, u"-F"_s, job({document}, "</jobs>\n", cover)}, TestWait::bound(), 10);
            QVERIFY2(r.code == ExitOk || r.code == ExitUndelivered,
                     qPrintable(u"cut %1: %2 %3"_s.arg(cut).arg(r.code).arg(QString::fromUtf8(r.err))));
            QVERIFY2(server.cutDone(), qPrintable(u"cut %1"_s.arg(cut)));
            QVERIFY2(told == server.receivedFrames(),
                     qPrintable(u"cut %1: %2 frames told, %3 read"_s.arg(cut).arg(told.size()).arg(
                         server.receivedFrames().size())));
            if (r.code == ExitOk) {
                ++delivered;
                QVERIFY2(filedWhole(server, {document}, cover), qPrintable(u"cut after frame %1"_s.arg(cut)));
            } else {
                QVERIFY2(r.err.contains("non consegnati") || r.err.contains("non essere arrivati"), r.err.constData());
                // Not only how many: why.
                QVERIFY2(!reasons(r.err).isEmpty(),
                         qPrintable(u"cut %1: %2"_s.arg(cut).arg(QString::fromUtf8(r.err))));
            }
        }
        // A cut at the login is followed by a second connection that delivers.
        QVERIFY(delivered >= 1);
    }

    // Whatever the server does at the start-up (takes the connection and never answers the login, cuts every
    // connection at its login, leaves it in a backlog it never accepts from, or has its backlog full), the run
    // never asks and never loops: code 1, why, and the connections really made. (Bounds halved; the real
    // ones are measured by hand: docs/printsender.md.)
    void loginNeverCompletes_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<int>("connections"); // -1: between 1 and what the server counted
        QTest::newRow("login never answered") << u"silent"_s << QByteArray("non ha risposto all'accesso entro 10 s")
                                              << 1;
        QTest::newRow("cut at every login") << u"cut"_s
                                            << QByteArray("ha chiuso il collegamento senza completare l'accesso")
                                            << -1;
        QTest::newRow("backlog never accepted") << u"backlog"_s
                                                << QByteArray("non ha risposto all'accesso entro 10 s") << 1;
        QTest::newRow("backlog full") << u"full"_s
                                      << QByteArray("nessun collegamento riuscito in 3 tentativi") << 0;
    }
    void loginNeverCompletes()
    {
        QFETCH(QString, server);
        QFETCH(QByteArray, words);
        QFETCH(int, connections);
        FakeFaxServer fake;
        NeverAccepted raw;
        if (server == u"silent"_s || server == u"cut"_s) {
            QVERIFY(fake.listen());
            configure(fake.port());
            FakeFaxServer::Faults faults;
            faults.silentLogin = server == u"silent"_s;
            faults.cutEveryLogin = server == u"cut"_s;
            fake.setFaults(faults);
        } else {
            QVERIFY(raw.open(server == u"full"_s ? 0 : 8, server == u"full"_s));
            configure(raw.port);
        }
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})}, TestWait::bound(), 2);
        QVERIFY2(r.code == ExitNoServer, r.err.constData());
        QVERIFY2(r.err.contains(words), r.err.constData());
        QVERIFY2(!r.err.contains("dopo 3 tentativi"), r.err.constData());
        const int told = connectionsTold(r.err);
        if (connections >= 0) {
            QVERIFY2(told == connections, r.err.constData());
        } else {
            QVERIFY2(told >= 1 && told <= fake.connectionCount(), r.err.constData());
            QVERIFY(fake.connectionCount() <= 3);
        }
        QVERIFY(fake.receivedFrames("NEWFAX").isEmpty());
    }

    // A server that answers every login and at once ends its side of the link (its end of stream right
    // behind the answer): nothing is delivered and the run never says it was (code 4), whether the end is
    // seen before the job's fax is handed to the link or after.
    void loginAnsweredThenLinkEnded()
    {
        const QByteArray answer = loginAnswer().join();
        for (int round = 0; round < 6; ++round) {
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost));
            configure(server.serverPort());
            QByteArray received;
            connect(&server, &QTcpServer::newConnection, this, [&server, &received, answer] {
                QTcpSocket *c = server.nextPendingConnection();
                connect(c, &QTcpSocket::readyRead, c, [c, &received, answer] {
                    const QByteArray got = c->readAll();
                    received += got;
                    if (!got.startsWith("USER"))
                        return;
                    QTimer::singleShot(300, c, [c, answer] {
                        c->write(answer);
                        c->flush();
                        ::shutdown(int(c->socketDescriptor()), SHUT_WR);
                        QTimer::singleShot(200, c, [c] { c->abort(); });
                    });
                });
            });
            const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})}, TestWait::bound(), 10);
            QVERIFY2(r.code == ExitUndelivered,
                     qPrintable(u"round %1: %2 %3"_s.arg(round).arg(r.code).arg(QString::fromUtf8(r.err))));
            QVERIFY2(r.err.contains("non è stato consegnato") || r.err.contains("non consegnat"),
                     r.err.constData());
            // The lost link is named in every run, not only the count of faxes.
            QVERIFY2(!reasons(r.err).isEmpty() && r.err.contains("ollegamento"), r.err.constData());
            QVERIFY(!received.contains("FINEFAX"));
        }
    }

    // A server that answers the login after 15 s is waited for (the login answer has 20 s): the job goes.
    // (Bounds and the delay halved.)
    void loginAnsweredLate()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server, true);
        bool timed = false;
        connect(&server, &FakeFaxServer::frameReceived, this, [&server, &timed](const FakeFaxServer::Frame &f) {
            if (f.keyword == "USER" && !std::exchange(timed, true))
                QTimer::singleShot(15000 / 2, &server, &FakeFaxServer::release);
        });
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})}, TestWait::bound(90000), 2);
        QVERIFY2(r.code == ExitOk, r.err.constData());
        QVERIFY(filedWhole(server, {m_small}));
        QCOMPARE(server.connectionCount(), 1);
    }

    // A server that answers the login, then reads nothing more. A fax its system's buffers hold whole (5 KB) is
    // not confirmed, and said so; one they cannot hold (8 MB) stops moving and is given up after the stall
    // bound with the true reason. Neither is told as a cut link, nor as received. (Bounds divided by 10.)
    void serverStopsReading_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<QByteArray>("summary");
        QTest::newRow("5 KB") << m_five << QByteArray("Consegna non confermata: il sistema del server ha accettato")
                              << QByteArray("Fax con consegna non confermata dal server: 1 di 1.");
        QTest::newRow("8 MB") << m_eight
                              << QByteArray("non consegnato al server: il server non riceve più dati: nessun byte "
                                            "accettato da 6 s.")
                              << QByteArray("Fax non consegnati al server: 1 di 1.");
    }
    void serverStopsReading()
    {
        QFETCH(QString, document);
        QFETCH(QByteArray, words);
        QFETCH(QByteArray, summary);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        FakeFaxServer::Faults faults;
        faults.stopReading = true;
        server.setFaults(faults);
        login(server);
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({document})}, TestWait::bound(90000), 10);
        QVERIFY2(r.code == ExitUndelivered, r.err.constData());
        QVERIFY2(r.err.contains(words) && r.err.contains(summary), r.err.constData());
        QVERIFY2(!r.err.contains("interrott") && !r.err.contains("ricevut"), r.err.constData());
        QVERIFY(server.receivedFrames("FINEFAX").isEmpty());
    }

    // A server that reads and files the fax but never ends the link: "not confirmed", never "interrupted", and
    // the words say the fax may already be filed. (Bounds divided by 10.)
    void filedButLinkKeptOpen()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        FakeFaxServer::Faults faults;
        faults.neverClose = true;
        server.setFaults(faults);
        login(server);
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})}, TestWait::bound(), 10);
        QVERIFY2(r.code == ExitUndelivered, r.err.constData());
        QVERIFY2(r.err.contains("Consegna non confermata") && r.err.contains("entro 3 s") &&
                     r.err.contains("potrebbero essere già stati archiviati") &&
                     r.err.contains("Fax con consegna non confermata dal server: 1 di 1.") &&
                     !r.err.contains("non consegnati"),
                 r.err.constData());
        QVERIFY2(!r.err.contains("interrott") && !r.err.contains("ricevut") && ownLinesOnly(r.err),
                 r.err.constData());
        QVERIFY(filedWhole(server, {m_small}));
    }

    // A server that says it has too many users once the job's faxes are filed refuses nothing of this run.
    void maxUsersAfterFiling()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        connect(&server, &FakeFaxServer::frameReceived, this, [&server](const FakeFaxServer::Frame &f) {
            if (f.keyword == "FINEFAX")
                server.sendNow(FakeFaxServer::answer(u"MAXUSERS"));
        });
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small, m_other})});
        QVERIFY2(r.code == ExitOk && !r.err.contains("Impossibile aprire") && ownLinesOnly(r.err),
                 r.err.constData());
        QVERIFY(filedWhole(server, {m_small, m_other}));
    }

    // A fax field whose text the best fit would turn into a separator is refused before anything is sent,
    // naming the field; the other fax of the job goes.
    void separatorMadeByTheBestFit()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        const QString path = m_home.filePath(u"fit.xml"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("<?xml version=\"1.0\"?>\n<jobs>\n<fax><faxfilename>" + m_small.toUtf8() +
                 "</faxfilename><destfax>021</destfax><object>Oggetto\u2264#\u2265/etc/passwd</object></fax>\n"
                 "<fax><faxfilename>" + m_other.toUtf8() +
                 "</faxfilename><destfax>022</destfax><object>Jose\u0301</object></fax>\n</jobs>\n"));
        f.close();
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, path});
        QVERIFY2(r.code == ExitUndelivered, r.err.constData());
        QVERIFY2(r.err.contains("campo «oggetto»"), r.err.constData()); // what the field is, not its label
        const QList<FakeFaxServer::Frame> faxes = server.receivedFrames("NEWFAX");
        QCOMPARE(faxes.size(), 1);
        QVERIFY(faxes.first().text().contains(u"<\u00BF>Jos\u00E9<\u00BF>"_s));
    }

    // A server announcing a newer link or a newer sender: nobody can answer the update offer in a run without
    // a window. It is answered No (said on standard error), the job goes, and the exit code tells the
    // delivery: 0 only with the fax filed, 4 when the server never confirmed it.
    void newerServerVersion_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("confirms");
        QTest::addColumn<int>("code");
        const QString link = QuorinSock::LibraryVersion(), sender = QStringLiteral(QUORIN_VERSION);
        QTest::newRow("link 1.0.1") << u"1.0.1"_s << sender << true << ExitOk;
        QTest::newRow("sender 1.0.1") << link << u"1.0.1"_s << true << ExitOk;
        QTest::newRow("both 9.9.9") << u"9.9.9"_s << u"9.9.9"_s << true << ExitOk;
        QTest::newRow("sender 9.9.9, never confirmed") << link << u"9.9.9"_s << false << ExitUndelivered;
    }
    void newerServerVersion()
    {
        QFETCH(QString, link);
        QFETCH(QString, sender);
        QFETCH(bool, confirms);
        QFETCH(int, code);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        FakeFaxServer::Faults faults;
        faults.neverClose = !confirms;
        server.setFaults(faults);
        login(server, false, loginAnswer(link, sender));
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})}, TestWait::bound(), 10);
        QVERIFY2(r.code == code, r.err.constData());
        QVERIFY2(r.err.contains("Il server offre una versione più recente (9.9.9)") ||
                     r.err.contains("(1.0.1)"),
                 r.err.constData());
        QVERIFY2(!r.err.contains("aggiornamento. File non trovati"), r.err.constData());
        QVERIFY(server.receivedFrames("UPDATEFILES").isEmpty());
        QCOMPARE(server.receivedFrames("NEWFAX").size(), 1);
        if (code == ExitOk)
            QVERIFY(filedWhole(server, {m_small}));
    }

    // A job file that holds no fax ends with code 3 and says so; a job file whose name is not text in the
    // locale's encoding (a Latin-1 "è" under UTF-8) is opened by its bytes and sent. A job is read as it
    // is written: UTF-16 and UTF-32 by their mark, and a stray byte or a NUL in the second fax is refused
    // with its line, the first fax's letters going as they stand ("subjects": what the server received).
    void jobFileEndings_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("latinName");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<QStringList>("subjects");
        QTest::newRow("no fax") << QByteArray("<?xml version=\"1.0\"?>\n<jobs><job/></jobs>\n") << false
                                << ExitJobFile << QByteArray("Nessun fax nel file") << QStringList();
        QTest::newRow("Latin-1 name") << QByteArray() << true << ExitOk << QByteArray() << QStringList();
        const auto twoFaxes = [this](const QByteArray &second) -> QByteArray {
            const QByteArray fax =
                "<fax><faxfilename>" + m_small.toUtf8() + "</faxfilename><destfax>021</destfax>";
            return "<?xml version=\"1.0\"?>\n<jobs>\n" + fax + "<object>Caf\xC3\xA9</object></fax>\n" + fax +
                   "<object>" + second + "</object></fax>\n</jobs>\n";
        };
        const QStringList first{u"Café"_s};
        QTest::newRow("stray byte in the second fax")
            << twoFaxes("Caff\xE8") << false << ExitJobFile
            << QByteArray("UTF-8 text, not the byte 0xE8 at line 4") << first;
        QTest::newRow("NUL in the second fax") << twoFaxes("Caff\0e"_ba) << false << ExitJobFile
                                               << QByteArray("a character, not NUL at line 4") << first;
        const QString wide = QString::fromUtf8(twoFaxes("Caff\xC3\xA8"));
        QStringEncoder be(QStringEncoder::Utf16BE), le32(QStringEncoder::Utf32LE);
        QTest::newRow("UTF-16 BE") << "\xFE\xFF"_ba + QByteArray(be.encode(wide)) << false << ExitOk
                                   << QByteArray() << QStringList{u"Café"_s, u"Caffè"_s};
        QTest::newRow("UTF-32") << "\xFF\xFE\0\0"_ba + QByteArray(le32.encode(wide)) << false << ExitOk
                                << QByteArray() << QStringList{u"Café"_s, u"Caffè"_s};
    }
    void jobFileEndings()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, latinName);
        QFETCH(int, code);
        QFETCH(QByteArray, words);
        QFETCH(QStringList, subjects);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        QByteArray content = xml;
        if (content.isEmpty()) {
            QFile f(job({m_small}));
            QVERIFY(f.open(QIODevice::ReadOnly));
            content = f.readAll();
        }
        // Written by its bytes: no text names it.
        const QByteArray name =
            QFile::encodeName(m_home.filePath(u"lavoro"_s)) + (latinName ? "\xE8" : "") + ".xml";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
        // Through a shell, so the program gets the name's bytes as they are (each written as an octal
        // escape).
        QString escaped;
        for (const char c : name)
            escaped += u"\\%1"_s.arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        QProcess p;
        p.start(u"/bin/sh"_s, {u"-c"_s, u"exec \"$0\" -N -H -F \"$(printf \"$1\")\""_s,
                               QStringLiteral(QUORIN_SENDORA), escaped});
        QVERIFY(p.waitForStarted(TestWait::bound()));
        QVERIFY(QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, TestWait::bound()));
        ::unlink(name.constData());
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == code, err.constData());
        QVERIFY2(err.contains(words), err.constData());
        if (code == ExitOk)
            QVERIFY(filedWhole(server, {m_small}));
        if (!subjects.isEmpty()) {
            const QList<FakeFaxServer::Frame> faxes = server.receivedFrames("NEWFAX");
            QCOMPARE(faxes.size(), subjects.size());
            for (qsizetype i = 0; i < faxes.size(); ++i)
                QVERIFY2(faxes[i].text().contains(u"<\u00BF>"_s + subjects[i] + u"<\u00BF>"_s),
                         qPrintable(faxes[i].text()));
        }
    }

    // A start that needs a window and finds no display says so in one sentence, with its own code, and the
    // printed document waiting in the spool stays (the hidden runs here all run without a display).
    void noDisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("what");
        QTest::newRow("send window") << QStringList{u"-N"_s}
                                     << QByteArray("la finestra di invio non può essere aperta");
        QTest::newRow("printer installer")
            << QStringList{} << QByteArray("l'installazione della stampante fax non può essere aperta");
    }
    void noDisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, what);
        const QString spool = m_home.filePath(u"spool/"_s) + SystemUser::loginName();
        QVERIFY(QDir().mkpath(spool));
        QFile waiting(spool + u"/d00042-001"_s);
        QVERIFY(waiting.open(QIODevice::WriteOnly | QIODevice::Truncate));
        waiting.write("%PDF-1.4 stampato");
        waiting.close();
        const Result r = run(args);
        QVERIFY2(r.code == ExitNoDisplay, r.err.constData());
        QVERIFY2(r.err.startsWith("Sendora: nessun display raggiungibile") && r.err.count('\n') == 1 &&
                     r.err.contains(what) && (args.isEmpty() != r.err.contains("documenti stampati")),
                 r.err.constData());
        QVERIFY(QFile::exists(waiting.fileName()));
        QVERIFY(waiting.remove());
    }

    // A send window killed before its end leaves its converted print job in the private folder: the next
    // start removes it, and leaves the file of a window that still runs.
    void killedWindowFileRemoved()
    {
        const RefusedPort refused;
        configure(refused.port());
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        window.setProcessEnvironment(env);
        window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.start(QStringLiteral(QUORIN_SENDORA), {u"-N"_s});
        QVERIFY(window.waitForStarted(TestWait::bound()));
        const QString folder = AppPaths::tempDir();
        QVERIFY(!folder.isEmpty());
        const QString killed = folder + u"QVPRINT-%1-1700000000000-1.tif"_s.arg(window.processId());
        const QString running =
            folder + u"QVPRINT-%1-1700000000000-1.tif"_s.arg(QCoreApplication::applicationPid());
        for (const QString &name : {killed, running}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("II*\0 pagina convertita", 23);
        }
        window.kill();
        QVERIFY(window.waitForFinished(TestWait::bound()));

        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        login(server);
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})});
        QVERIFY2(r.code == ExitOk, r.err.constData());
        QVERIFY(!QFile::exists(killed));
        QVERIFY(QFile::exists(running));
        QFile::remove(running);
    }

    // A send window killed (SIGKILL) at any moment after its first frame leaves the printed job marked as
    // handed over: the next window says so and asks, and sends nothing unless told. "No" leaves the server
    // with what it had; "Sì" sends it again and releases the job. A window killed before "Spedisci" leaves
    // an unmarked job, which the next window sends without asking.
    void windowKilledWhileHandingOver_data()
    {
        QTest::addColumn<QByteArray>("killAt"); // the frame the server had just read, or nothing: before
        QTest::addColumn<bool>("neverClose");
        QTest::addColumn<bool>("stopFirst"); // frozen first, the server's close then comes to a frozen window
        QTest::newRow("before the first frame") << QByteArray() << false << false;
        QTest::newRow("at the first frame") << QByteArray("NEWFAX") << false << false;
        QTest::newRow("mid-upload") << QByteArray("FILE") << false << false;
        QTest::newRow("while the server is asked to confirm") << QByteArray("FINEFAX") << true << false;
        QTest::newRow("after the server's close, before the release")
            << QByteArray("FINEFAX") << false << true;
    }
    void windowKilledWhileHandingOver()
    {
        QFETCH(QByteArray, killAt);
        QFETCH(bool, neverClose);
        QFETCH(bool, stopFirst);
        if (m_display.isEmpty())
            QSKIP("needs an X display: run under xvfb-run (ctest: tst_hiddenruns_window)");
        const QString folder = m_home.filePath(u"spool/"_s) + SystemUser::loginName();
        QVERIFY(QDir().mkpath(folder));
        for (const QString &left : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(folder + u'/' + left);
        const QString written = m_home.filePath(u"printed.tif"_s);
        QVERIFY(FaxTiffFixture::write(written, 3, true, u"Preventivo"_s));
        QVERIFY(QFile::rename(written, folder + u"/job-7-1.prn"_s));
        const QString dir = m_home.filePath(u"XDG_CONFIG_HOME/quorin"_s);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server.port());
        {
            QFile ini(dir + u"/Darezi.ini"_s);
            QVERIFY(ini.open(QIODevice::Append));
            ini.write("Log=Y\r\n");
        }
        QFile::remove(dir + u"/QuorinLog.txt"_s);
        FakeFaxServer::Faults faults;
        faults.neverClose = neverClose;
        server.setFaults(faults);
        login(server);

        QProcess first;
        startWindow(first);
        if (QTest::currentTestFailed())
            return;
        bool markedFirst = false, killed = false;
        connect(&server, &FakeFaxServer::frameReceived, this, [&](const FakeFaxServer::Frame &f) {
            if (killed || f.keyword != killAt)
                return;
            // The mark is on the disk before the first frame left the window.
            markedFirst = QDir(folder).entryList({u"job-7-1.prn.handed-*"_s}, QDir::Files).size() == 1;
            killed = true;
            // Frozen at once; the rest is done outside the server's own handler.
            if (!neverClose && first.processId() > 0)
                ::kill(pid_t(first.processId()), stopFirst ? SIGSTOP : SIGKILL);
        });
        if (!killAt.isEmpty()) {
            pressSend();
            QUORIN_TRY_VERIFY(killed);
            QVERIFY(markedFirst);
            if (neverClose) {
                QTest::qWait(500); // "Conferma della ricezione dal server..." is showing
                keepShot(u"confirming"_s);
            } else if (stopFirst) {
                server.dropClient(); // the server's close reaches a window that cannot take it in
            }
        }
        if (first.state() != QProcess::NotRunning)
            first.kill(); // SIGKILL
        QUORIN_TRY_VERIFY(first.state() == QProcess::NotRunning);
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        const int filedBefore = int(server.filedFaxes().size());
        const QStringList jobs = QDir(folder).entryList(QDir::Files);
        QCOMPARE(jobs.size(), 1);
        QCOMPARE(jobs.first().startsWith(u"job-7-1.prn.handed-"_s), !killAt.isEmpty());

        server.clearFaults();
        login(server);
        QProcess second;
        startWindow(second);
        if (QTest::currentTestFailed())
            return;
        pressSend();
        const auto log = [&dir] {
            QFile f(dir + u"/QuorinLog.txt"_s);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        if (!killAt.isEmpty()) {
            // The question, over the window; nothing goes until it is answered.
            QUORIN_TRY_VERIFY(windowsNamed(u"^Sendora$"_s).size() == 2);
            keepShot(u"asked-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
            QVERIFY2(
                log().contains(u"già stato consegnato al server il"_s) &&
                    log().contains(u"Il fax potrebbe essere già stato archiviato dal server: inviandolo di "
                                   u"nuovo potrebbe arrivare due volte."_s),
                qPrintable(log()));
            keys({u"Return"_s}); // the default: No
            QUORIN_TRY_VERIFY(windowsNamed(u"^Sendora$"_s).size() == 1);
            QVERIFY(log().contains(u"Risposta: non consegnarlo di nuovo"_s));
            QTest::qWait(500);
            QCOMPARE(int(server.filedFaxes().size()), filedBefore);
            QVERIFY(QFileInfo::exists(folder + u'/' + jobs.first()));
            keys({u"space"_s}); // the focus came back to "Spedisci"
            QUORIN_TRY_VERIFY(windowsNamed(u"^Sendora$"_s).size() == 2);
            keys({u"alt+s"_s}); // "Sì"
        }
        QUORIN_TRY_COMPARE(int(server.filedFaxes().size()), filedBefore + 1);
        // Delivered: the job is done with, and the window says so.
        QUORIN_TRY_VERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
        QUORIN_TRY_VERIFY(windowsNamed(u"^Sendora$"_s).size() == 2);
        keys({u"Return"_s});
        second.terminate();
        if (!second.waitForFinished(TestWait::bound()))
            second.kill();
    }

    // No server answers and none is found: the start-up is given up without a window.
    void noServer()
    {
        const RefusedPort refused;
        QVERIFY(refused.port() != 0);
        configure(refused.port());
        const Result r = run({u"-N"_s, u"-H"_s, u"-F"_s, job({m_small})});
        QVERIFY2(r.code == ExitNoServer, r.err.constData());
        QVERIFY2(r.err.contains("nessun collegamento riuscito in 3 tentativi (collegamenti riusciti: 0)"),
                 r.err.constData());
    }
};

QTEST_MAIN(TestHiddenRuns)
#include "tst_hiddenruns.moc"
