// The fax printer end to end: a private CUPS scheduler on a loopback port with the backend and the PPD,
// an ordinary user printing a PDF, a text file and a PNG with "lp" under umask 077, and that user's send
// window capturing each job and uploading it to the fake fax server.
//
// Run as root (CI): the test starts cupsd, makes the user, prints as that user and runs its own
// "userSendsEachJob" as that user. Without root, or without CUPS, it skips with the reason.
#include "FaxPrinter.h"
#include "FaxTiffFixture.h"
#include "FmPrinter.h"
#include "ImgMenu.h"
#include "Lumagrid.h"
#include "PrivateCups.h"
#include "SendoraRig.h"
#include "frmInst.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolBar>

#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

namespace {

// The test user is this run's own ("quorinroad" and the process id), so that two runs at once on one
// machine never share or delete each other's user.
const QString RoadUserPrefix = u"quorinroad"_s;
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

// Where the ink lies on the first page of a fax TIFF: the first and last rows and columns holding a
// black dot (-1 when the page is blank), and the page's size.
struct Ink
{
    int top = -1, left = -1, width = 0;
    int bottom = -1, right = -1, height = 0;
};

Ink inkOf(const QString &path)
{
    Ink ink;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return ink;
    quint32 width = 0, height = 0;
    quint16 photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    ink.width = int(width);
    ink.height = int(height);
    QByteArray row(TIFFScanlineSize(tif), '\0');
    for (quint32 y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, row.data(), y) < 0)
            break;
        const auto black = [&](quint32 x) {
            return bool((uchar(row.at(x / 8)) >> (7 - x % 8)) & 1) == (photometric == PHOTOMETRIC_MINISWHITE);
        };
        for (quint32 x = 0; x < width; ++x) {
            if (black(x)) {
                if (ink.top < 0)
                    ink.top = int(y);
                ink.bottom = int(y);
                if (ink.left < 0 || int(x) < ink.left)
                    ink.left = int(x);
                break;
            }
        }
        for (quint32 x = width; x-- > 0;) {
            if (black(x)) {
                ink.right = std::max(ink.right, int(x));
                break;
            }
        }
    }
    TIFFClose(tif);
    return ink;
}

} // namespace

class TestPrintRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir m_base;
    QString m_cupsRoot, m_spool, m_userDir, m_user;
    std::unique_ptr<PrivateCups> m_cups;
    bool m_madeUser = false;
    QString m_mounted; // the small tmpfs of fullPrivateFolder while it is mounted
    uid_t m_uid = 0;
    gid_t m_gid = 0;

    static bool userSide() { return qEnvironmentVariableIsSet("QUORIN_ROAD_USER_SIDE"); }

    static int run(const QString &program, const QStringList &args, QByteArray *output = nullptr,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   int timeout = TestWait::bound())
    {
        return PrivateCups::run(program, args, output, env, timeout);
    }
    QProcessEnvironment cupsEnv() const
    {
        return m_cups ? m_cups->env() : QProcessEnvironment::systemEnvironment();
    }
    // As the user, under the closed umask CUPS itself and careful users have.
    int asUser(const QString &command, QByteArray *output = nullptr, const QStringList &extraEnv = {},
               int timeout = TestWait::bound())
    {
        QStringList args = {u"-u"_s, m_user, u"--"_s, u"env"_s};
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
        return QDir(m_spool + u'/' + m_user).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // Prints a document of the user's as the user (umask 077), waiting until it is in the spool.
    void printAsUser(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_userDir + u'/' + name;
        QVERIFY(writeFile(path, bytes));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), m_uid, m_gid), 0);
        const qsizetype before = spooled().size();
        QByteArray out;
        QCOMPARE(asUser(u"exec lp -h 127.0.0.1:"_s + QString::number(m_cups->port()) +
                            u" -d QuorinPrinter '"_s + path + u'\'',
                        &out),
                 0);
        QUORIN_TRY_VERIFY2(spooled().size() == before + 1, qPrintable(cupsLog()));
    }
    // Test users of runs that ended without removing theirs (killed at a timeout): their process is
    // gone, or is no longer this program. A user named with this process's id can only be such a leftover.
    static void removeLeftoverUsers()
    {
        QStringList stale;
        ::setpwent();
        while (const passwd *pw = ::getpwent()) {
            const QString name = QString::fromLocal8Bit(pw->pw_name);
            if (!name.startsWith(RoadUserPrefix))
                continue;
            bool isNumber = false;
            const qint64 pid = name.mid(RoadUserPrefix.size()).toLongLong(&isNumber);
            if (!name.mid(RoadUserPrefix.size()).isEmpty() && !isNumber)
                continue;
            QFile comm(u"/proc/"_s + QString::number(pid) + u"/comm"_s);
            const bool alive = isNumber && pid != ::getpid() && comm.open(QIODevice::ReadOnly) &&
                               comm.readAll().trimmed() == "tst_printroad";
            if (!alive)
                stale.append(name);
        }
        ::endpwent();
        for (const QString &name : stale)
            run(u"userdel"_s, {name});
    }

    // Runs one user-side test function of this program as the user.
    void runUserSide(const QString &function, const QStringList &extraEnv = {})
    {
        const QString copy = m_userDir + u"/tst_printroad"_s;
        if (!QFile::exists(copy)) {
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
            QCOMPARE(::chown(QFile::encodeName(copy).constData(), m_uid, m_gid), 0);
            QCOMPARE(::chmod(QFile::encodeName(copy).constData(), 0700), 0);
        }
        QByteArray out;
        // Without a terminal, as a desktop session runs it: nothing can stop to ask for a password.
        const int code = asUser(u"exec setsid -w '"_s + copy + u"' "_s + function, &out,
                                QStringList{u"QUORIN_ROAD_USER_SIDE=1"_s, u"HOME="_s + m_userDir,
                                            u"TMPDIR="_s + m_userDir, u"QUORIN_SPOOL_DIR="_s + m_spool,
                                            u"QT_QPA_PLATFORM=offscreen"_s,
                                            u"QUORIN_DISCOVERY_HOSTS=127.0.0.1"_s} +
                                    extraEnv,
                                240000);
        QVERIFY2(code == 0, out.constData());
        QVERIFY2(out.contains(QByteArray("PASS   : TestPrintRoad::" + function.toLatin1() + "()")),
                 out.constData());
    }
    // User side: the send window of a start with the printer's "-N", against a server that takes the login.
    static frmPrint *startSendWindow(FakeFaxServer &server, Sendora::StartupMain &startup)
    {
        if (!server.listen())
            return nullptr;
        scriptLogin(server, SystemUser::loginName(), u"2.2.0"_s);
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(server.port()) + "\r\n");
        startup.Main({u"-N"_s});
        return startup.sendWindow();
    }
    // User side: private folders, the scheduler's spool.
    void userSetUp(TestHome &home)
    {
        const QByteArray spool = qgetenv("QUORIN_SPOOL_DIR"); // the scheduler's spool, not the home's
        usePrivateFolders(home);
        qputenv("QUORIN_SPOOL_DIR", spool);
    }

    // The user side: one send window per job, as the user's watcher starts one per job.
    void sendOneJob(int index, bool textJob = false)
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
        QUORIN_TRY_VERIFY2(w->isVisible() && w->Connected,
                           qPrintable(w->txtServer->text() + u' ' + server.errors().join(u' ') + u' ' +
                                      promptTexts().join(u' ')));
        auto *send = w->findChild<QPushButton *>(u"cbSend"_s);
        QUORIN_TRY_VERIFY(send->isEnabled());
        const QString document = w->FilenamePrint;
        const QString job = w->FmPrinter1->jobFile();
        QVERIFY(QFile::exists(job));
        QFile tiff(document);
        QVERIFY(tiff.open(QIODevice::ReadOnly));
        const QByteArray made = tiff.readAll();
        QVERIFY(FmPrinter::isTiff(document));
        QVERIFY(FmPrinter::tiffPageCount(document) >= 1);
        const Ink ink = inkOf(document);
        QCOMPARE(ink.width, 1728);
        if (textJob) {
            // The receiving machine prints its header along the top edge: the text starts below the
            // printer's margin (10 mm = 77 lines at 196 per inch; 5 mm = 40 dots at 204 per inch).
            QVERIFY2(ink.top >= 70, qPrintable(QString::number(ink.top)));
            QVERIFY2(ink.left >= 35, qPrintable(QString::number(ink.left)));
        }
        auto *number = w->findChild<QLineEdit *>(u"tbFaxNumber"_s);
        QTest::mouseClick(number, Qt::LeftButton);
        QTest::keyClicks(number, u"0212345"_s + QString::number(index));
        QTest::mouseClick(send, Qt::LeftButton);
        QUORIN_TRY_VERIFY(server.receivedFrames("FINEFAX").size() == 1);
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
        QUORIN_TRY_VERIFY(!QFile::exists(job));
        QUORIN_TRY_VERIFY(w->close());
        QUORIN_TRY_COMPARE(exit.count(), 1);
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
        QVERIFY(QDir().mkpath(m_userDir));
        removeLeftoverUsers();
        m_user = RoadUserPrefix + QString::number(::getpid());
        {
            QByteArray out;
            if (run(u"useradd"_s, {u"-M"_s, u"-d"_s, m_userDir, u"-s"_s, u"/bin/sh"_s, m_user}, &out) != 0)
                QSKIP(qPrintable(u"cannot make the test user: "_s + QString::fromLocal8Bit(out)));
            m_madeUser = true;
        }
        const passwd *pw = ::getpwnam(qPrintable(m_user));
        QVERIFY(pw);
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
        {
            QByteArray out;
            if (run(u"runuser"_s, {u"-u"_s, m_user, u"--"_s, u"true"_s}, &out) != 0)
                QSKIP(qPrintable(u"cannot run programs as the test user: "_s + QString::fromLocal8Bit(out)));
        }
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
        if (!m_mounted.isEmpty())
            ::umount2(QFile::encodeName(m_mounted).constData(), MNT_DETACH);
        m_cups.reset(); // stops the scheduler
        if (m_madeUser)
            run(u"userdel"_s, {m_user});
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
            QUORIN_TRY_VERIFY2(spooled().size() == expected, qPrintable(cupsLog()));
        }
        QCOMPARE(modeOf(m_spool).mode, 0755);
        QCOMPARE(modeOf(m_spool + u'/' + m_user).mode, 0700);
        QCOMPARE(modeOf(m_spool + u'/' + m_user).uid, m_uid);
        for (const QString &job : spooled()) {
            const Mode m = modeOf(m_spool + u'/' + m_user + u'/' + job);
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

    // Root side: the user's private folder is full when a text job comes. The job stays in the spool, the
    // user is told the disk is full and where; the next start, with room again, sends it.
    void fullPrivateFolder()
    {
        if (userSide())
            QSKIP("root side");
        const QString runtime = m_base.filePath(u"runtime"_s);
        QVERIFY(QDir().mkpath(runtime));
        if (::mount("tmpfs", QFile::encodeName(runtime).constData(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            QSKIP("no small tmpfs can be mounted here");
        m_mounted = runtime;
        QCOMPARE(::chown(QFile::encodeName(runtime).constData(), m_uid, m_gid), 0);
        printAsUser(u"lettera.txt"_s, "Lettera per il fax\nriga due\n");
        runUserSide(u"userMeetsAFullDisk"_s, {u"QUORIN_ROAD_RUNTIME="_s + runtime});
        ::umount2(QFile::encodeName(runtime).constData(), MNT_DETACH);
        m_mounted.clear();
        QCOMPARE(spooled(), QStringList());
    }

    // Root side: the user's spool folder belongs to another user. The printer holds the job in CUPS (the
    // queue goes on), the send window says in one sentence which folder and what to do, without writing
    // the watcher's refusal every second; mended and resumed as told, the job reaches the folder.
    void spoolFolderOfAnotherUser()
    {
        if (userSide())
            QSKIP("root side");
        const QString folder = m_spool + u'/' + m_user;
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), 0, 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        const QString server = u"127.0.0.1:"_s + QString::number(m_cups->port());
        const auto mend = qScopeGuard([&] {
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), m_uid, m_gid), 0);
            run(u"cancel"_s, {u"-h"_s, server, u"-a"_s, u"QuorinPrinter"_s}, nullptr, cupsEnv());
        });
        const QString path = m_userDir + u"/trattenuto.txt"_s;
        QVERIFY(writeFile(path, "Documento trattenuto\n"));
        QCOMPARE(::chown(QFile::encodeName(path).constData(), m_uid, m_gid), 0);
        QByteArray out;
        QCOMPARE(asUser(u"exec lp -h "_s + server + u" -d QuorinPrinter '"_s + path + u'\'', &out), 0);
        QString job;
        QUORIN_TRY_VERIFY2((run(u"lpstat"_s, {u"-h"_s, server, u"-l"_s, u"-o"_s, u"QuorinPrinter"_s}, &out, cupsEnv()),
                            job = QString::fromLatin1(out).section(u' ', 0, 0),
                            out.contains("job-hold-until-specified")),
                           out.constData());
        runUserSide(u"userMeetsAForeignSpool"_s);
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), m_uid, m_gid), 0);
        QCOMPARE(run(u"lp"_s, {u"-h"_s, server, u"-i"_s, job, u"-H"_s, u"resume"_s}, &out, cupsEnv()), 0);
        QUORIN_TRY_VERIFY2(spooled().size() == 1, qPrintable(spooled().join(u' ') + u'\n' + cupsLog()));
        for (const QString &f : spooled())
            QVERIFY(QFile::remove(folder + u'/' + f));
    }

    // Root side: the print dialog of the image control, on a machine whose default printer is the fax
    // printer. "Stampa su file (PDF)" with a name, Enter; "Stampa" again and Enter: the dialog is still on
    // the file, so the second print is a PDF too and nothing reaches the fax queue.
    void printDialogKeepsTheChoice()
    {
        if (userSide())
            QSKIP("root side");
        QByteArray out;
        QCOMPARE(run(u"lpadmin"_s, {u"-d"_s, u"QuorinPrinter"_s}, &out, cupsEnv()), 0);
        qputenv("CUPS_SERVER", QFile::encodeName(u"127.0.0.1:"_s + QString::number(m_cups->port())));
        const QString fax = m_base.filePath(u"tre.tif"_s);
        QVERIFY(FaxTiffFixture::write(fax, 3, true, u"Tre pagine"_s));
        const QString pdf = m_base.filePath(u"copia.pdf"_s);
        Lumagrid c;
        c.resize(800, 600);
        c.show();
        QVERIFY(c.OpenSource(fax));
        const int jobsBefore = spooled().size();
        QByteArray queuedBefore;
        QCOMPARE(run(u"lpstat"_s, {u"-o"_s, u"QuorinPrinter"_s}, &queuedBefore, cupsEnv()), 0);
        QStringList shownOn;
        Prompt::setAnswering(true);
        Prompt::setDialogHandler([&](QDialog *d) {
            auto *dialog = qobject_cast<QPrintDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            dialog->show();
            auto *printers = dialog->findChild<QComboBox *>(u"printers"_s);
            auto *file = dialog->findChild<QLineEdit *>(u"filename"_s);
            if (!printers || !file)
                return int(QDialog::Rejected);
            shownOn << printers->currentText();
            if (shownOn.size() == 1) {
                // Chosen as a person does: the list opened from the keyboard, the last entry, a name typed.
                printers->setFocus();
                QTest::keyClick(printers, Qt::Key_End);
                file->setFocus();
                file->selectAll();
                QTest::keyClicks(file, pdf);
            } else if (file->text() != pdf) {
                shownOn.last() += u" / "_s + file->text();
            }
            QTest::keyClick(dialog, Qt::Key_Return);
            return dialog->result();
        });
        const auto clear = qScopeGuard([] { Prompt::setDialogHandler({}); });
        QWidget *print = c.toolbar()->toolBar()->widgetForAction(c.toolbar()->action(u"Print"_s));
        QVERIFY(print);
        for (int i = 0; i < 2; ++i) {
            QFile::remove(pdf);
            QTest::mouseClick(print, Qt::LeftButton);
            QUORIN_TRY_VERIFY(QFileInfo(pdf).size() > 0);
        }
        QCOMPARE(shownOn.size(), 2);
        QCOMPARE(shownOn.first(), u"QuorinPrinter"_s);
        QVERIFY2(shownOn.last() != u"QuorinPrinter"_s && !shownOn.last().contains(u" / "_s), qPrintable(shownOn.last()));
        QCOMPARE(spooled().size(), jobsBefore);
        QByteArray queued;
        QCOMPARE(run(u"lpstat"_s, {u"-o"_s, u"QuorinPrinter"_s}, &queued, cupsEnv()), 0);
        QCOMPARE(queued, queuedBefore);
    }

    // Root side: one job, two send windows of the user started at once.
    void twoWindowsOneJob()
    {
        if (userSide())
            QSKIP("root side");
        printAsUser(u"promemoria.txt"_s, "Promemoria\n");
        runUserSide(u"userOpensTwoWindows"_s);
        QCOMPARE(spooled(), QStringList());
    }

    // Root side: a scheduler that lets nobody create queues, and an ordinary user's PATH without the
    // administrator's folders: the wizard finds lpadmin anyway and shows the commands to run with sudo.
    void wizardWithoutRights()
    {
        if (userSide())
            QSKIP("root side");
        PrivateCups closed(m_base.filePath(u"cups-closed"_s), m_spool, true);
        QVERIFY2(closed.start(QStringLiteral(QUORIN_BACKEND)), qPrintable(closed.output() + closed.log()));
        runUserSide(u"userInstallsWithoutRights"_s,
                    {u"PATH=/usr/bin:/bin"_s, u"CUPS_SERVER=127.0.0.1:"_s + QString::number(closed.port()),
                     u"QUORIN_CUPS_SERVERBIN="_s + m_base.filePath(u"cups-closed/bin"_s),
                     u"QUORIN_PPD="_s + QStringLiteral(QUORIN_PPD_FILE)});
    }

    // Root side: a PDF and a PostScript page inked to their very edge, printed with lp: the queue fits each
    // page into its printable area, so on the fax page the ink keeps 10 mm from the top and the bottom and
    // 5 mm from the sides, clear of the receiving machine's header line.
    void fullBleedInsideMargins()
    {
        if (userSide())
            QSKIP("root side");
        QByteArray pdf;
        {
            QBuffer buffer(&pdf);
            QVERIFY(buffer.open(QIODevice::WriteOnly));
            QPdfWriter writer(&buffer);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            writer.setResolution(72);
            QPainter p(&writer);
            const int w = writer.width(), h = writer.height();
            for (const QRect &edge :
                 {QRect(0, 0, w, 12), QRect(0, h - 12, w, 12), QRect(0, 0, 12, h), QRect(w - 12, 0, 12, h)})
                p.fillRect(edge, Qt::black);
        }
        const QByteArray ps = "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 595 842\n%%Pages: 1\n%%EndComments\n"
                              "%%Page: 1 1\n<< /PageSize [595 842] >> setpagedevice\n0 setgray\n"
                              "0 0 595 12 rectfill 0 830 595 12 rectfill 0 0 12 842 rectfill "
                              "583 0 12 842 rectfill\nshowpage\n%%EOF\n";
        printAsUser(u"manifesto.pdf"_s, pdf);
        printAsUser(u"manifesto.ps"_s, ps);
        const QString measured = m_userDir + u"/ink.txt"_s;
        runUserSide(u"userSeesTheMargins"_s, {u"QUORIN_ROAD_INK="_s + measured});
        QFile ink(measured);
        if (ink.open(QIODevice::ReadOnly))
            qInfo().noquote() << QString::fromUtf8(ink.readAll()).trimmed();
        QCOMPARE(spooled(), QStringList());
    }

    // User side of fullBleedInsideMargins: each job's fax page, as the send window makes it.
    void userSeesTheMargins()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by fullBleedInsideMargins");
        TestHome home;
        userSetUp(home);
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=9\r\n");
        QFile report(qEnvironmentVariable("QUORIN_ROAD_INK"));
        QVERIFY(report.open(QIODevice::WriteOnly));
        // 10 mm at 196 lines per inch, 5 mm at 204 dots per inch.
        const int rows = qRound(10 / 25.4 * 196), columns = qRound(5 / 25.4 * 204);
        for (const QString &document : {u"PDF"_s, u"PostScript"_s}) {
            QCOMPARE(FmPrinter::waitingJobs(FaxPrinter::spoolDir()).size(), document == u"PDF"_s ? 2 : 1);
            frmPrint w;
            QUORIN_TRY_COMPARE(w.FmPrinter1->DocumentCount(), 1);
            const Ink ink = inkOf(w.FmPrinter1->Document().FilePath);
            const QString said = u"%1: first ink row %2, column %3; last row %4 of %5, column %6 of %7"_s.arg(
                document, QString::number(ink.top), QString::number(ink.left), QString::number(ink.bottom),
                QString::number(ink.height), QString::number(ink.right), QString::number(ink.width));
            report.write(said.toUtf8() + '\n');
            report.flush();
            QCOMPARE(ink.width, 1728);
            QVERIFY2(ink.top >= rows && ink.bottom >= 0 && ink.bottom < ink.height - rows, qPrintable(said));
            QVERIFY2(ink.left >= columns && ink.right < ink.width - columns, qPrintable(said));
            // The frame is there, only shrunk: near the margins, not lost.
            QVERIFY2(ink.top < 2 * rows && ink.left < 3 * columns, qPrintable(said));
            w.FmPrinter1->releaseJob();
            for (const QString &f : w.FmPrinter1->capturedFiles())
                QFile::remove(f);
        }
        QVERIFY(FmPrinter::waitingJobs(FaxPrinter::spoolDir()).isEmpty());
    }

    // User side of fullPrivateFolder.
    void userMeetsAFullDisk()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by fullPrivateFolder");
        TestHome home;
        userSetUp(home);
        const QString runtime = qEnvironmentVariable("QUORIN_ROAD_RUNTIME");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const QString folder = runtime + u"/quorin"_s;
        QVERIFY(QDir().mkpath(folder));
        const QFileInfoList jobs = FmPrinter::waitingJobs(FaxPrinter::spoolDir());
        QCOMPARE(jobs.size(), 1);
        const QString job = jobs.first().absoluteFilePath();
        {
            // Every byte taken.
            QFile filler(runtime + u"/filler"_s);
            QVERIFY(filler.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
        }
        {
            FakeFaxServer server;
            Sendora::StartupMain startup;
            frmPrint *w = startSendWindow(server, startup);
            QVERIFY(w);
            QUORIN_TRY_VERIFY(w->txtStatus->text().contains(u": il disco è pieno"_s));
            QVERIFY2(w->txtStatus->text().contains(folder), qPrintable(w->txtStatus->text()));
            QUORIN_TRY_VERIFY(promptTexts().join(u'\n').contains(u"Impossibile scrivere il fax nella cartella "_s));
            QVERIFY(!w->findChild<QPushButton *>(u"cbSend"_s)->isEnabled());
            // Not unreadable: still in the spool, nothing set aside.
            QVERIFY(QFile::exists(job));
            QVERIFY(!QFileInfo::exists(FmPrinter::keptFolder()));
            QUORIN_TRY_VERIFY(w->close());
            QVERIFY(QFile::exists(job));
        }
        QVERIFY(QFile::remove(runtime + u"/filler"_s));
        // The next start takes it and sends it; its text stands below the top margin.
        sendOneJob(7, true);
    }

    // User side of spoolFolderOfAnotherUser.
    void userMeetsAForeignSpool()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by spoolFolderOfAnotherUser");
        TestHome home;
        userSetUp(home);
        FakeFaxServer server;
        Sendora::StartupMain startup;
        frmPrint *w = startSendWindow(server, startup);
        QVERIFY(w);
        const QString said = u"La cartella di stampa "_s + FaxPrinter::spoolDir() +
                             u" appartiene a un altro utente: chiedere all'amministratore"_s;
        QUORIN_TRY_VERIFY2(w->txtStatus->text().startsWith(said), qPrintable(w->txtStatus->text()));
        QUORIN_TRY_COMPARE(promptTexts().size(), 1);
        QVERIFY(promptTexts().first().startsWith(said));
        QVERIFY2(w->txtStatus->text().endsWith(u"«lp -i NUMERO -H resume» (NUMERO è il lavoro che «lpstat -o» mostra)."_s),
                 qPrintable(w->txtStatus->text()));
        QTest::qWait(2500); // the folder looked at again: told once
        QCOMPARE(promptTexts().size(), 1);
        QVERIFY(!w->findChild<QPushButton *>(u"cbSend"_s)->isEnabled());
        QUORIN_TRY_VERIFY(w->close());
    }

    // User side of twoWindowsOneJob.
    void userOpensTwoWindows()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by twoWindowsOneJob");
        TestHome home;
        userSetUp(home);
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=9\r\n");
        const QFileInfoList jobs = FmPrinter::waitingJobs(FaxPrinter::spoolDir());
        QCOMPARE(jobs.size(), 1);
        auto first = std::make_unique<frmPrint>();
        auto second = std::make_unique<frmPrint>();
        const auto captured = [](const std::unique_ptr<frmPrint> &w) { return w->FmPrinter1->DocumentCount(); };
        QUORIN_TRY_VERIFY(captured(first) + captured(second) == 1);
        frmPrint *owner = captured(first) ? first.get() : second.get();
        frmPrint *other = owner == first.get() ? second.get() : first.get();
        QUORIN_TRY_VERIFY(other->txtStatus->text().contains(u"già aperto"_s));
        QTest::qWait(1500); // the other window looks again now and then: still nothing for it
        QCOMPARE(other->FmPrinter1->DocumentCount(), 0);
        QCOMPARE(owner->FmPrinter1->jobFile(), jobs.first().absoluteFilePath());
        const QString ownerTiff = owner->FmPrinter1->Document().FilePath;
        // The owner goes without sending (never shown: the job stays); the other one takes it then, into
        // a fax file of its own.
        if (owner == first.get())
            first.reset();
        else
            second.reset();
        QUORIN_TRY_COMPARE(other->FmPrinter1->DocumentCount(), 1);
        QVERIFY(other->FmPrinter1->Document().FilePath != ownerTiff);
        QCOMPARE(other->FmPrinter1->jobFile(), jobs.first().absoluteFilePath());
        other->FmPrinter1->releaseJob();
        QVERIFY(FmPrinter::waitingJobs(FaxPrinter::spoolDir()).isEmpty());
        for (const QString &f : other->FmPrinter1->capturedFiles())
            QFile::remove(f);
    }

    // User side of wizardWithoutRights.
    void userInstallsWithoutRights()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by wizardWithoutRights");
        TestHome home;
        userSetUp(home);
        QVERIFY(QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty()); // not on this PATH
        frmInst wizard;
        wizard.show();
        QTest::mouseClick(wizard.findChild<QPushButton *>(u"cbNext"_s), Qt::LeftButton);
        QUORIN_TRY_VERIFY(wizard.resultPage() && wizard.resultPage()->isVisible());
        const QString shown = wizard.resultPage()->findChild<QLabel *>(u"txtRisultato"_s)->text();
        QVERIFY2(!shown.contains(u"not found"_s), qPrintable(shown));
        QVERIFY2(shown.contains(u"lpadmin: "_s) && shown.contains(u"Unauthorized"_s),
                 qPrintable(shown)); // the scheduler's own refusal
        QVERIFY2(shown.contains(u"sudo lpadmin -p QuorinPrinter -E -v quorin:/ -P "_s +
                                QStringLiteral(QUORIN_PPD_FILE)),
                 qPrintable(shown));
    }

    // User side: three runs, one job each, oldest first.
    void userSendsEachJob()
    {
        if (!userSide())
            QSKIP("runs as the printing user, started by userSendsThem");
        TestHome home;
        userSetUp(home);
        QStringList order;
        for (const QFileInfo &f : FmPrinter::waitingJobs(FaxPrinter::spoolDir()))
            order.append(f.fileName());
        QCOMPARE(order.size(), 3);
        for (int i = 0; i < 3; ++i) {
            sendOneJob(i, i == 1); // the second is the text file
            if (QTest::currentTestFailed())
                return;
            QVERIFY(!QFile::exists(FaxPrinter::spoolDir() + u'/' + order.at(i))); // oldest went first
        }
    }
};

QTEST_MAIN(TestPrintRoad)
#include "tst_printroad.moc"
