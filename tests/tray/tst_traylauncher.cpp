// The tray launcher from its start to "Esci", against the fake fax server on loopback and a recording
// notification area.
#include "AppPaths.h"
#include "CSystrayIcon.h"
#include "ConfigIni.h"
#include "FakeFaxServer.h"
#include "FaxPrinter.h"
#include "LiveSettings.h"
#include "ProfileFile.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "RecordingShell.h"
#include "RecordingTray.h"
#include "SampleMailbox.h"
#include "SingleInstance.h"
#include "StartupMain.h"
#include "TestHome.h"
#include "UpdateWatch.h"
#include "frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWindow>

#ifdef QUORIN_HAVE_DBUS
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#endif

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;
using QuorinLive::frmMain;
using QuorinLive::StartupMain;

namespace {

const int LoginTimeout = TestWait::bound();

struct Server
{
    FakeFaxServer fake;
    SampleMailbox mailbox;
    QString rights = u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s; // after the user name
    // link library, client, sender, tray launcher, other
    QStringList versions = {QuorinSock::LibraryVersion(), u"1.0.0"_s, u"1.0.0"_s, u"1.0.0"_s, u"1.0.0"_s};
    std::function<bool(FakeFaxServer &, const F::Frame &)> extra; // true: frame handled

    explicit Server(quint16 port = 0)
    {
        mailbox.attach(&fake);
        const auto inner = fake.responder();
        fake.setResponder([this, inner](FakeFaxServer &s, const F::Frame &f) {
            if (extra && extra(s, f))
                return;
            if (f.keyword == "USER" && f.answer) {
                s.sendNow(F::answer(u"VERSIONI", versions.join(u"<#>"_s)));
                s.sendNow(F::answer(u"USER", QString(f.text() + rights)));
                return;
            }
            inner(s, f);
        });
        fake.listen(port);
    }
};

// Runs a helper program; its standard output, or nullopt when it failed.
std::optional<QString> runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(TestWait::bound()) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        p.kill();
        return std::nullopt;
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The windows of the X display shown under a name.
QStringList shownWindows(const QString &name)
{
    return runTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^"_s + name + u'$'})
        .value_or(QString())
        .split(u'\n', Qt::SkipEmptyParts);
}

QRect windowGeometry(const QString &window)
{
    QHash<QString, int> v;
    const QString out =
        runTool(u"xdotool"_s, {u"getwindowgeometry"_s, u"--shell"_s, window}).value_or(QString());
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts))
        v.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return QRect(v.value(u"X"_s), v.value(u"Y"_s), v.value(u"WIDTH"_s), v.value(u"HEIGHT"_s));
}

#ifdef QUORIN_HAVE_DBUS
// What a panel puts on the session bus for StatusNotifier items: a watcher with a host. It keeps the items
// that register.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    bool hostRegistered() const { return true; }
    QStringList registeredItems() const { return items; }
    int protocolVersion() const { return 0; }
    QStringList items;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service)
    {
        items << service;
        Q_EMIT StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString &) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
};

// The title of an item's tooltip, as the host reads it: (icon name, pixmaps, title, text).
QString itemToolTip(const QDBusConnection &bus, const QString &service)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, u"/StatusNotifierItem"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierItem"_s << u"ToolTip"_s;
    const QDBusMessage reply = bus.call(get, QDBus::Block, TestWait::bound());
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const auto tip = reply.arguments().first().value<QDBusVariant>().variant().value<QDBusArgument>();
    QString iconName, title, text;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int w = 0, h = 0;
        QByteArray pixels;
        tip.beginStructure();
        tip >> w >> h >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> text;
    tip.endStructure();
    return title;
}
#endif

} // namespace

class tst_TrayLauncher : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startWithSettings();
    void cancelledPrintTold_data();
    void cancelledPrintTold();
    void killedWindowsFilesRemoved();
    void noDisplay_data();
    void noDisplay();
    void serverNotAvailable();
    void searchCancelled();
    void searchFindsServer();
    void secondInstanceRefused();
    void versions_data();
    void versions();
    void update_data();
    void update();
    void newFax_data();
    void newFax();
    void launchStartsClient();
    void launchRaisesRunningClient();
    void menuAndOpen();
    void activationOnBothHosts_data();
    void activationOnBothHosts();
    void connectDialog_data();
    void connectDialog();
    void linkLost();
    void serverRestarts();
    void updateAfterLaterConnect();
    void progressWindow_data();
    void progressWindow();
    void trayRefusedIsToldOnce();
    void trayAreaAppearsLater();
    void panelStartsLater_data();
    void panelStartsLater();
    void exitRemovesIconAndWindows();

private:
    void writeIni(const QString &server, int port, const QString &extra = {});
    StartupMain *start();
    frmMain *startRunning(Server &server, const QString &extraIni = {});
    void writeScript(const QString &name, const QByteArray &body);
    QString writeClient();
    QStringList promptTexts() const;

    TestHome m_dir;
    std::unique_ptr<RecordingShell> m_shell;
    std::unique_ptr<RecordingTray> m_tray; // instead of m_shell where set
    std::unique_ptr<StartupMain> m_startup;
    // Of m_startup from before its Main(): what it tells inside the call counts.
    std::unique_ptr<QSignalSpy> m_finished;
    std::unique_ptr<QSignalSpy> m_exit;
    QString m_client; // the fax client's program name in the test's program folder
    // Stubs this run wrote: the X display's run of this program shares the folder.
    QStringList m_stubs;
};

void tst_TrayLauncher::initTestCase()
{
    QVERIFY(m_dir.setUp());
    m_dir.useOwnSysconf();
    QCoreApplication::setApplicationName(u"QuorinLive"_s);
    // A name of its own, so a fax client someone runs on this machine is never taken for ours.
    m_client = u"Qtst"_s + QString::number(QCoreApplication::applicationPid());
}

void tst_TrayLauncher::init()
{
    ConfigIni = ConfigIniRecord{};
    QuorinLive::G = QuorinLive::Values{};
    QFile::remove(AppPaths::settingsDir() + u"/Darezi.ini"_s);
    QCoreApplication::setApplicationVersion(u"1.0.0"_s);
    Prompt::setAnswering(true);
    Prompt::setDialogHandler({});
    m_shell = std::make_unique<RecordingShell>();
}

void tst_TrayLauncher::cleanup()
{
    m_startup.reset();
    m_tray.reset();
    m_shell.reset();
    for (const QString &stub : std::as_const(m_stubs))
        QFile::remove(stub);
    m_stubs.clear();
}

void tst_TrayLauncher::writeIni(const QString &server, int port, const QString &extra)
{
    QFile file(AppPaths::settingsDir() + u"/Darezi.ini"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Config]\r\nServer=" + server.toUtf8() + "\r\nPort= " + QByteArray::number(port) + "\r\n" +
               extra.toUtf8());
}

StartupMain *tst_TrayLauncher::start()
{
    m_startup = std::make_unique<StartupMain>();
    m_finished = std::make_unique<QSignalSpy>(m_startup.get(), &StartupMain::finished);
    m_exit = std::make_unique<QSignalSpy>(m_startup.get(), &StartupMain::exitRequested);
    m_startup->Main();
    return m_startup.get();
}

frmMain *tst_TrayLauncher::startRunning(Server &server, const QString &extraIni)
{
    writeIni(u"127.0.0.1"_s, server.fake.port(), extraIni);
    StartupMain *s = start();
    if (!TestWait::forSignal(*m_finished))
        return nullptr;
    if (s->outcome() != StartupMain::Outcome::Running || !s->trayWindow())
        return nullptr;
    s->trayWindow()->setClientProgram(m_client);
    return s->trayWindow();
}

void tst_TrayLauncher::writeScript(const QString &name, const QByteArray &body)
{
    const QString path = AppPaths::programDir() + u"/"_s + name;
    if (!m_stubs.contains(path))
        m_stubs << path;
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body);
    script.close();
    QVERIFY(QFile::setPermissions(path,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

// The fax client as a stub that records where it was started; a test waits for the record, so no
// stub is still on its way when cleanup removes it.
QString tst_TrayLauncher::writeClient()
{
    const QString record = m_dir.filePath(u"client-started.txt"_s);
    QFile::remove(record);
    writeScript(m_client, "pwd > \"" + record.toLocal8Bit() + ".part\"\nmv \"" + record.toLocal8Bit() +
                              ".part\" \"" + record.toLocal8Bit() + "\"\n");
    return record;
}

QStringList tst_TrayLauncher::promptTexts() const
{
    QStringList out;
    for (const auto &r : Prompt::records())
        out << r.text;
    return out;
}

void tst_TrayLauncher::startWithSettings()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(w->Connected && w->UserReceived);
    QVERIFY(!w->isVisible());
    QVERIFY(m_shell->showsIcon(w->Picfax(0)));
    QCOMPARE(m_shell->tip(), u"Connesso al server: 127.0.0.1"_s);
    QCOMPARE(QuorinLive::G.StatusText, u"Connesso al server: 127.0.0.1"_s);
    // The first tip told that the link was on its way.
    QCOMPARE(m_shell->calls.first().message, TrayShell::NIM_ADD);
    QCOMPARE(m_shell->calls.first().tip, u"Connessione in corso..."_s);
    QCOMPARE(w->txtSockServer->text(), u"127.0.0.1"_s);
    QCOMPARE(w->txtSockPort->text(), QString::number(server.fake.port()));
    QCOMPARE(w->txtUser->text(), w->ClientSock->UserName());
    // A forward user watches the received faxes.
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("INOLTRO").isEmpty());
    QVERIFY(promptTexts().isEmpty());
}

// A printed document the print system cancelled unread (its backend left a note) is told at the start,
// named, with the time it was printed, and only once. The title is shown as it was given, in the real
// box: markup in it is text, not bold or line breaks.
void tst_TrayLauncher::cancelledPrintTold_data()
{
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QString>("told"); // the title as the box names it
    QTest::newRow("plain") << QByteArray("Bilancio.pdf") << u"Bilancio.pdf"_s;
    const QByteArray markup("Rotto <b>&amp; \"x\"<br><br><br><br><br><br><br><br>");
    QTest::newRow("markup") << markup << QString::fromUtf8(markup);
    // With no blank anywhere: it wraps inside the box, and one too long is told by its two ends.
    const QByteArray unbroken = QByteArray("Relazione_trimestrale_").repeated(7) + "definitiva.pdf";
    QTest::newRow("long, unbroken") << unbroken
                                    << QString::fromUtf8(unbroken.left(80) + "\u2026" + unbroken.right(39));
}

void tst_TrayLauncher::cancelledPrintTold()
{
    QFETCH(QByteArray, title);
    QFETCH(QString, told);
    QVERIFY(QDir().mkpath(FaxPrinter::spoolDir()));
    const QString note = FaxPrinter::spoolDir() + u"/.unreadable-9"_s;
    {
        QFile f(note);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(QDateTime(QDate(2027, 1, 31), QTime(17, 45)).toSecsSinceEpoch()) + "\n" +
                title + "\n");
    }
    Server server;
    Prompt::setAnswering(false);
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    bool fits = false; // the box keeps an ordinary width: nothing in it is wider than half the screen
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        if (auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_s)) {
            shown = label->text().remove(QChar(0x200B)); // the breaks a long run gets
            format = label->textFormat();
            fits = label->minimumSizeHint().width() <= box->screen()->size().width() / 2;
        }
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(20);
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!shown.isEmpty());
    poll.stop();
    Prompt::setAnswering(true);
    QVERIFY2(shown.startsWith(u"Il documento «"_s + told +
                              u"» stampato il 31/01/2027 alle 17:45 non è diventato un fax"_s),
             qPrintable(shown));
    QVERIFY2(shown.endsWith(u"o salvarlo come PDF e stampare quello."_s), qPrintable(shown));
    QVERIFY(fits);
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(!QFile::exists(note));
}

// A send window killed before its end leaves its converted print job in the private folder: the start
// removes it, and leaves the file of a window that still runs.
void tst_TrayLauncher::killedWindowsFilesRemoved()
{
    QProcess window;
    window.start(u"/bin/sleep"_s, {u"30"_s});
    QVERIFY(window.waitForStarted(TestWait::bound()));
    const QString folder = AppPaths::tempDir();
    const QString killed = folder + u"QVPRINT-%1-1700000000000-1.tif"_s.arg(window.processId());
    const QString running =
        folder + u"QVPRINT-%1-1700000000000-2.tif"_s.arg(QCoreApplication::applicationPid());
    for (const QString &name : {killed, running}) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("II*\0 pagina convertita", 23);
    }
    window.kill();
    QVERIFY(window.waitForFinished(TestWait::bound()));
    Server server;
    QVERIFY(startRunning(server));
    QVERIFY(!QFile::exists(killed));
    QVERIFY(QFile::exists(running));
    QFile::remove(running);
}

// Started with no display at all, the programs with windows say so in one sentence and end with their own
// code instead of the platform's abort.
void tst_TrayLauncher::noDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("QuorinLive") << QStringLiteral(QUORIN_LIVE);
    QTest::newRow("Quorin") << QStringLiteral(QUORIN_CLIENT);
}

void tst_TrayLauncher::noDisplay()
{
    QFETCH(QString, program);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    p.setProcessEnvironment(env);
    p.start(program, {});
    QVERIFY(p.waitForStarted(TestWait::bound()));
    QVERIFY(QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, TestWait::bound()));
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 5, err.constData());
    QVERIFY2(err.startsWith(QByteArray(QFileInfo(program).fileName().toUtf8() + ": nessun display raggiungibile")) &&
                 err.count('\n') == 1,
             err.constData());
}

void tst_TrayLauncher::serverNotAvailable()
{
    const RefusedPort refused;
    writeIni(u" 127.0.0.1 "_s, refused.port());
    StartupMain *s = start();
    QUORIN_TRY_VERIFY(s->trayWindow());
    s->trayWindow()->ClientSock->setTimeCheckServer(30);
    QVERIFY(TestWait::forSignal(*m_finished));
    // Resident, showing that the server is not there.
    QCOMPARE(s->outcome(), StartupMain::Outcome::Running);
    frmMain *w = s->trayWindow();
    QVERIFY(w && w->AbortCmd());
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
    QCOMPARE(m_shell->tip(), u"Server: 127.0.0.1 non disponibile."_s);
    // Asking for the client now tells the state without a host.
    w->setClientProgram(m_client);
    const QString started = writeClient();
    m_shell->click(515);
    QUORIN_TRY_VERIFY(QFile::exists(started));
    QUORIN_TRY_COMPARE(m_shell->tip(), u"Impossibile connettersi al server: "_s);
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
}

void tst_TrayLauncher::searchCancelled()
{
    // No settings: the search finds nothing on loopback and the user gives up.
    const QString path = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    QVERIFY(ProfileFile::writeString(path, u"Config"_s, u"Port"_s, u"abc"_s));
    QFile ini(path);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray before = ini.readAll();
    ini.close();
    Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Rejected); });
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QCOMPARE(m_exit->size(), 1);
    QVERIFY(!s->trayWindow());
    QVERIFY(!m_shell->shown); // the icon went with the window
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), before);
}

void tst_TrayLauncher::searchFindsServer()
{
    Server server;
    // No server name: the search looks on loopback for a server on the stored port.
    const QString path = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    QVERIFY(
        ProfileFile::writeString(path, u"Config"_s, u"Port"_s, u" "_s + QString::number(server.fake.port())));
    Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Accepted); });
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    if (server.fake.probeCount() == 0)
        QSKIP("the link's server search found nothing to probe");
    QCOMPARE(s->outcome(), StartupMain::Outcome::Running);
    QVERIFY(s->trayWindow()->Connected);
    QCOMPARE(ProfileFile::readString(path, u"Config"_s, u"Server"_s), u"127.0.0.1"_s);
    QFile ini(path);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains(QByteArray("Port= " + QByteArray::number(server.fake.port()))));
}

void tst_TrayLauncher::secondInstanceRefused()
{
    SingleInstance running(u"QuorinLive"_s);
    QSignalSpy claimed(&running, &SingleInstance::claimed);
    running.claim();
    QVERIFY(TestWait::forSignal(claimed));
    QSignalSpy raised(&running, &SingleInstance::raiseRequested);
    Server server;
    writeIni(u"127.0.0.1"_s, server.fake.port());
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QVERIFY(!s->trayWindow());
    const Prompt::Record r = Prompt::lastRecord();
    QCOMPARE(r.text, u"Programma già in esecuzione."_s);
    QCOMPARE(r.title, u"ATTENZIONE"_s);
    QCOMPARE(r.icon, QMessageBox::Warning);
    QVERIFY(m_shell->calls.isEmpty());
    QCOMPARE(server.fake.connectionCount(), 0);
    QUORIN_TRY_COMPARE(raised.size(), 1);
}

void tst_TrayLauncher::versions_data()
{
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("announced");
    QTest::addColumn<bool>("linkOutdated");
    QTest::addColumn<QString>("told");
    // Versions compare as numbers: 2.0.10 is the newer one.
    QTest::newRow("server newer") << u"2.0.9"_s << u"2.0.10"_s << false
                                  << u"Eseguire l'aggiornamento adesso?"_s;
    QTest::newRow("own newer") << u"2.0.10"_s << u"2.0.9"_s << false << u"aggiornamento del Server!"_s;
    QTest::newRow("equal") << u"2.0.9"_s << u"2.0.9"_s << false << QString();
    QTest::newRow("equal, link library out of date")
        << u"2.0.9"_s << u"2.0.9"_s << true << u"Eseguire l'aggiornamento adesso?"_s;
    QTest::newRow("nothing announced") << u"2.0.9"_s << QString() << false << QString();
}

void tst_TrayLauncher::versions()
{
    QFETCH(QString, own);
    QFETCH(QString, announced);
    QFETCH(bool, linkOutdated);
    QFETCH(QString, told);
    QCoreApplication::setApplicationVersion(own);
    Server server;
    server.versions[3] = announced;
    if (linkOutdated)
        server.versions[0] = u"999.0.0"_s;
    Prompt::setNextAnswer(QMessageBox::No); // an offered update is declined: the start goes on
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(!w->LanciaUpdate());
    QVERIFY(w->Connected);
    if (told.isEmpty()) {
        QVERIFY2(promptTexts().isEmpty(), qPrintable(promptTexts().join(u'|')));
    } else {
        QCOMPARE(promptTexts().size(), 1);
        QVERIFY2(promptTexts().first().endsWith(told), qPrintable(promptTexts().join(u'|')));
        QCOMPARE(Prompt::lastRecord().title, u"QuorinLive"_s);
    }
    QVERIFY(server.fake.receivedFrames("UPDATEFILES").isEmpty());
}

void tst_TrayLauncher::update_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the server has nothing to send
    QTest::addColumn<bool>("restartProgram");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("told");
    QTest::newRow("handed over") << QByteArray("[files]\r\nQuorinLive\r\n") << true
                                 << int(StartupMain::Outcome::Updating) << QString();
    QTest::newRow("nothing to download") << QByteArray() << true << int(StartupMain::Outcome::Ended)
                                         << u"Impossibile effettuare l'aggiornamento. File non trovati."_s;
    QTest::newRow("restart program missing")
        << QByteArray("abcd") << false << int(StartupMain::Outcome::Ended)
        << u"Attenzione!! File QVDozeza.exe non trovato. \nImpossibile eseguire LiveUpdate."_s;
    // "drop": the link ends before any file; the launcher stays, on a new login, with this version.
    QTest::newRow("link dropped before any file") << QByteArray("drop") << true
                                                  << int(StartupMain::Outcome::Running)
                                                  << UpdateWatch::notReceivedText();
}

void tst_TrayLauncher::update()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, restartProgram);
    QFETCH(int, outcome);
    QFETCH(QString, told);
    const QString record = m_dir.filePath(u"restart-args.txt"_s);
    QFile::remove(record);
    if (restartProgram)
        writeScript(u"QVDozeza"_s, "printf '%s\\n' \"$@\" > \"" + record.toLocal8Bit() + ".part\"\nmv \"" +
                                       record.toLocal8Bit() + ".part\" \"" + record.toLocal8Bit() + "\"\n");
    Server server;
    server.versions[3] = u"1.0.1"_s;
    if (!content.isEmpty()) {
        server.extra = [content](FakeFaxServer &s, const F::Frame &f) {
            if (f.keyword != "UPDATEFILES")
                return false;
            if (content == "drop") {
                s.dropClient();
                return true;
            }
            s.sendNow(F::answer(u"TBUPDATE", QString::number(content.size())));
            s.sendFile(content, u"UPDATE.RIS"_s);
            s.send(F::answer(u"FINEUPD"));
            return true;
        };
    }
    writeIni(u"127.0.0.1"_s, server.fake.port());
    Prompt::setNextAnswer(QMessageBox::Yes);
    Prompt::setNextAnswer(QMessageBox::Ok);
    Prompt::setNextAnswer(QMessageBox::No); // offered again at the next login
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(int(s->outcome()), outcome);
    if (outcome == int(StartupMain::Outcome::Running)) {
        QVERIFY(s->trayWindow() && s->trayWindow()->Connected);
        QCOMPARE(server.fake.connectionCount(), 2);
        QCOMPARE(promptTexts().value(1), told);
        QVERIFY(!QFile::exists(record));
        return;
    }
    QCOMPARE(m_exit->size(), 1);
    QVERIFY(!s->trayWindow());
    QVERIFY(!m_shell->shown);
    if (!told.isEmpty()) {
        QCOMPARE(Prompt::lastRecord().text, told);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        QVERIFY(!QFile::exists(record));
        return;
    }
    QUORIN_TRY_VERIFY(QFile::exists(record));
    QFile args(record);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLocal8Bit(args.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1); // one argument
    QVERIFY2(lines[0].endsWith(u"/UPDATE/UPDATE.RIS"_s), qPrintable(lines[0]));
    QFile ris(lines[0]);
    QVERIFY(ris.open(QIODevice::ReadOnly));
    QCOMPARE(ris.readAll(), content);
}

void tst_TrayLauncher::newFax_data()
{
    QTest::addColumn<bool>("forwardUser");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("notices");
    QTest::addColumn<bool>("blinks");
    QTest::addColumn<bool>("message");
    QTest::newRow("received, notices on") << true << u"RXFAX"_s << true << true << true;
    QTest::newRow("received, notices off") << true << u"RXFAX"_s << false << true << false;
    QTest::newRow("personal list watched") << false << u"RXFAXP"_s << true << true << true;
    QTest::newRow("another list: no box") << false << u"RXFAX"_s << true << true << false;
    QTest::newRow("sent list") << true << u"FAXCOMPLETE"_s << true << false << false;
}

void tst_TrayLauncher::newFax()
{
    QFETCH(bool, forwardUser);
    QFETCH(QString, keyword);
    QFETCH(bool, notices);
    QFETCH(bool, blinks);
    QFETCH(bool, message);
    Server server;
    if (!forwardUser)
        server.rights = u"<#>F<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s;
    frmMain *w = startRunning(server, notices ? u"VisualizzaMsgFaxRx=y\r\n"_s : QString());
    QVERIFY(w);
    auto *timer = w->findChild<QTimer *>(u"tmrIcon"_s);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1500);
    QVERIFY(!timer->isActive());
    timer->setInterval(5);
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames(forwardUser ? "INOLTRO" : "PERSONALI").isEmpty());
    QSignalSpy any(w->ClientSock, &QuorinSock::RxNewFax);
    QSignalSpy other(w->ClientSock, &QuorinSock::RxNewFaxInDiffFolder);
    QStringList rec = {u"R999"_s,   u"1"_s,       u"4"_s, u"+39 06 1234"_s, u"Nuova Srl"_s,
                       u"061234"_s, u"9000000"_s, u"2"_s, u"Ordine"_s,      u"F"_s};
    if (keyword == u"FAXCOMPLETE"_s)
        rec << u"2"_s << u"0"_s << u"1"_s; // a sent-list record carries the retries too
    server.fake.sendNow(F::answer(keyword, u"\u00a6"_s + rec.join(u'\u00a6')));
    QUORIN_TRY_VERIFY(any.size() + other.size() > 0);
    if (!blinks) {
        QVERIFY(!timer->isActive());
        QCOMPARE(m_shell->tip(), u"Connesso al server: 127.0.0.1"_s);
        return;
    }
    QVERIFY(timer->isActive());
    QCOMPARE(m_shell->tip(), u"Ricevuti nuovi fax"_s);
    // The icon alternates between the two pictures.
    QUORIN_TRY_VERIFY(m_shell->showsIcon(w->Picfax(1)));
    QUORIN_TRY_VERIFY(m_shell->showsIcon(w->Picfax(0)));
    QUORIN_TRY_VERIFY(m_shell->showsIcon(w->Picfax(1)));
    if (message)
        QUORIN_TRY_COMPARE(promptTexts(), QStringList{u"Hai ricevuto un nuovo fax!"_s});
    else
        QVERIFY(promptTexts().isEmpty());
    // A double click ends the blink and brings back the connected picture.
    const QString started = writeClient();
    m_shell->click(515);
    QUORIN_TRY_VERIFY(QFile::exists(started));
    QUORIN_TRY_VERIFY(!timer->isActive());
    QVERIFY(m_shell->showsIcon(w->Picfax(0)));
    QCOMPARE(m_shell->tip(), u"Connesso al server: 127.0.0.1"_s);
}

void tst_TrayLauncher::launchStartsClient()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // Not there yet: the user is told.
    w->findChild<QAction *>(u"mnulauch"_s)->trigger();
    QCOMPARE(promptTexts(),
             QStringList{u"Attenzione!! File Quorin.exe non trovato.\nImpossibile lanciare programma."_s});
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    // Installed: it is started from the program folder.
    const QString record = writeClient();
    m_shell->click(515);
    QUORIN_TRY_VERIFY(QFile::exists(record));
    QCOMPARE(promptTexts().size(), 1);
}

void tst_TrayLauncher::launchRaisesRunningClient()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // A running fax client: a process of that name, listening for "raise".
    const QString exe = AppPaths::programDir() + u"/"_s + m_client;
    QFile::remove(exe);
    m_stubs << exe;
    QVERIFY(QFile::copy(u"/bin/sleep"_s, exe));
    QVERIFY(
        QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcess client;
    client.start(exe, {u"60"_s});
    QVERIFY(client.waitForStarted(TestWait::bound()));
    QVERIFY(QuorinLive::IsClientRunning(m_client));
    QVERIFY(!QuorinLive::IsClientRunning(m_client.left(m_client.size() - 1))); // whole names only
    QLocalServer listener;
    QLocalServer::removeServer(SingleInstance::socketPath(m_client));
    QVERIFY(listener.listen(SingleInstance::socketPath(m_client)));
    QSignalSpy arrived(&listener, &QLocalServer::newConnection);
    w->findChild<QAction *>(u"mnulauch"_s)->trigger();
    QVERIFY(TestWait::forSignal(arrived));
    QLocalSocket *peer = listener.nextPendingConnection();
    QUORIN_TRY_VERIFY(peer->canReadLine());
    QCOMPARE(peer->readLine(), QByteArray("raise\n"));
    QVERIFY(promptTexts().isEmpty());
    client.kill();
    client.waitForFinished();
}

void tst_TrayLauncher::menuAndOpen()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    auto *menu = w->findChild<QMenu *>(u"mnuMain"_s);
    QVERIFY(menu);
    QStringList items;
    for (QAction *a : menu->actions())
        items << (a->isSeparator() ? u"-"_s : a->text());
    QCOMPARE(items, (QStringList{u"Lancia Quorin"_s, u"Apri"_s, u"-"_s, u"Esci"_s}));
    m_shell->click(517);
    QUORIN_TRY_VERIFY(menu->isVisible());
    menu->hide();
    // "Apri" shows the connect dialog with the server in use.
    w->txtSockServer->clear();
    w->findChild<QAction *>(u"mnuApri"_s)->trigger();
    QVERIFY(w->isVisible());
    QVERIFY(!w->isMinimized());
    QCOMPARE(w->txtSockServer->text(), u"127.0.0.1"_s);
    QCOMPARE(w->txtSockPort->text(), QString::number(server.fake.port()));
    // "Chiudi" hides it; a minimised window hides itself; the icon stays.
    w->findChild<QPushButton *>(u"cmdCancel"_s)->click();
    QVERIFY(!w->isVisible());
    // The close box hides it too; the program goes on.
    w->findChild<QAction *>(u"mnuApri"_s)->trigger();
    QVERIFY(w->isVisible() && w->windowHandle());
    w->windowHandle()->close();
    QUORIN_TRY_VERIFY(!w->isVisible());
    QVERIFY(!w->isUnloaded());
    QVERIFY(m_shell->shown);
    w->findChild<QAction *>(u"mnuApri"_s)->trigger();
    w->setWindowState(Qt::WindowMinimized);
    QUORIN_TRY_VERIFY(!w->isVisible());
    QVERIFY(m_shell->shown);
    QVERIFY(!w->isUnloaded());
}

void tst_TrayLauncher::activationOnBothHosts_data()
{
    QTest::addColumn<bool>("statusNotifier");
    QTest::newRow("xembed tray") << false;
    QTest::newRow("statusnotifier host") << true;
}

void tst_TrayLauncher::activationOnBothHosts()
{
    QFETCH(bool, statusNotifier);
    m_tray = std::make_unique<RecordingTray>(statusNotifier ? DesktopTrayShell::Host::StatusNotifier
                                                            : DesktopTrayShell::Host::XEmbed);
    const QString record = writeClient();
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QCOMPARE(m_tray->shown.size(), 1);
    QCOMPARE(m_tray->shownTip(m_tray->shown.first()), u"Connesso al server: 127.0.0.1"_s);
    // A tip carrying a name from outside shows it as it is on both kinds of host.
    const QString named = u"Server: <b>Rotto & \"x\"<br> <img src=\"x.png\"> non disponibile."_s;
    w->showStatus(named);
    QCOMPARE(m_tray->shownTip(m_tray->shown.first()), named);
    auto *menu = w->findChild<QMenu *>(u"mnuMain"_s);
    QVERIFY(menu);

    // The right button opens the menu on both kinds of host.
    m_tray->activate(QSystemTrayIcon::Context);
    QUORIN_TRY_VERIFY(menu->isVisible());
    menu->hide();
    QVERIFY(!QFile::exists(record));

    // A left click: the double-click command where the host has no double click, nothing on XEmbed.
    m_tray->activate(QSystemTrayIcon::Trigger);
    if (!statusNotifier) {
        QTest::qWait(500);
        QVERIFY(!QFile::exists(record));
        m_tray->activate(QSystemTrayIcon::DoubleClick);
    }
    QUORIN_TRY_VERIFY(QFile::exists(record));
    QVERIFY(promptTexts().isEmpty());
}

void tst_TrayLauncher::connectDialog_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("error"); // empty: the window hides
    QTest::addColumn<bool>("reconnects");
    QTest::newRow("same server, another user") << u"127.0.0.1"_s << u"*"_s << QString() << true;
    QTest::newRow("port not a number") << u"127.0.0.1"_s << u"abc"_s << u"Numero: 13"_s << false;
    QTest::newRow("port too large") << u"127.0.0.1"_s << u"70000"_s << u"Numero: 6"_s << false;
    QTest::newRow("no server") << QString() << u"9456"_s << QString() << false;
    QTest::newRow("port 0") << u"127.0.0.1"_s << u"0"_s << QString() << false;
}

void tst_TrayLauncher::connectDialog()
{
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(QString, error);
    QFETCH(bool, reconnects);
    Server fax;
    frmMain *w = startRunning(fax);
    QVERIFY(w);
    const QString ini = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    w->findChild<QAction *>(u"mnuApri"_s)->trigger();
    w->txtSockServer->setText(server);
    w->txtSockPort->setText(port == u"*"_s ? QString::number(fax.fake.port()) : port);
    w->txtUser->setText(u"mario"_s);
    const int connections = fax.fake.connectionCount();
    QSignalSpy connected(w->ClientSock, &QuorinSock::Connected);
    w->findChild<QPushButton *>(u"cmdConnetti"_s)->click();
    if (!error.isEmpty()) {
        QVERIFY(w->isVisible());
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY2(Prompt::lastRecord().text.contains(error), qPrintable(Prompt::lastRecord().text));
        QVERIFY(w->Connected); // the link was left alone
        return;
    }
    QVERIFY(!w->isVisible());
    if (reconnects) {
        QVERIFY(TestWait::forSignal(connected));
        QCOMPARE(fax.fake.connectionCount(), connections + 1);
        QUORIN_TRY_COMPARE(w->ClientSock->UserName(), u"mario"_s);
        QUORIN_TRY_VERIFY(w->Connected);
        QCOMPARE(w->txtUser->text(), u"mario"_s);
    } else {
        QVERIFY(w->Connected);
        QCOMPARE(fax.fake.connectionCount(), connections);
    }
    // The stored settings never change here.
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void tst_TrayLauncher::linkLost()
{
    auto server = std::make_unique<Server>();
    frmMain *w = startRunning(*server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!server->fake.receivedFrames("INOLTRO").isEmpty());
    server.reset(); // the server goes away
    QUORIN_TRY_VERIFY(w->ClientSock->State() != 7);
    QSignalSpy lost(w->ClientSock, &QuorinSock::ConnectionNotAvailable);
    w->ClientSock->SetActiveList(PersonalList, 0); // the next request cannot be sent
    QVERIFY(TestWait::forSignal(lost));
    QUORIN_TRY_COMPARE(promptTexts(), QStringList{u"Non è possibile connettersi al server: 127.0.0.1"_s});
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
    QCOMPARE(m_shell->tip(), u"Impossibile connettersi al server: 127.0.0.1"_s);
    QCOMPARE(QuorinLive::G.StatusText, u"Connesso al server: 127.0.0.1"_s); // only the tip changed
    // The fax client asked for now: the icon tells the link is down, not that it is up.
    const QString started = writeClient();
    m_shell->click(515);
    QUORIN_TRY_VERIFY(QFile::exists(started));
    QUORIN_TRY_COMPARE(m_shell->tip(), u"Impossibile connettersi al server: "_s);
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
}

void tst_TrayLauncher::serverRestarts()
{
    // The server stops while the launcher sits in the tray, and comes back on the same port.
    auto server = std::make_unique<Server>();
    frmMain *w = startRunning(*server);
    QVERIFY(w);
    const quint16 port = server->fake.port();
    auto *retry = w->findChild<QTimer *>(u"tmrReconnect"_s);
    QVERIFY(retry);
    QCOMPARE(retry->interval(), 30000);
    QUORIN_TRY_VERIFY(!server->fake.receivedFrames("INOLTRO").isEmpty());
    QCOMPARE(m_shell->tip(), u"Connesso al server: 127.0.0.1"_s);

    // Stopped: no request needed for the launcher to notice.
    server.reset();
    QUORIN_TRY_VERIFY(!w->Connected);
    QCOMPARE(m_shell->tip(), u"Impossibile connettersi al server: 127.0.0.1"_s);
    QCOMPARE(QuorinLive::G.StatusText, m_shell->tip());
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
    QVERIFY(retry->isActive());
    QVERIFY(promptTexts().isEmpty());

    // Restarted: opening the window tries at once, without waiting for the next retry.
    retry->setInterval(3600000);
    retry->start();
    server = std::make_unique<Server>(port);
    QCOMPARE(server->fake.port(), port);
    w->mnuApri->trigger();
    QUORIN_TRY_VERIFY(w->Connected);
    QCOMPARE(m_shell->tip(), u"Connesso al server: 127.0.0.1"_s);
    QVERIFY(m_shell->showsIcon(w->Picfax(0)));
    QVERIFY(!retry->isActive());
    w->hide();

    // Stopped and restarted again: the retries alone bring the link back, and new faxes are signalled.
    server.reset();
    QUORIN_TRY_VERIFY(!w->Connected);
    retry->setInterval(200);
    retry->start();
    QTest::qWait(600); // a few retries against the stopped server
    QVERIFY(!w->Connected);
    server = std::make_unique<Server>(port);
    QUORIN_TRY_VERIFY(w->Connected);
    QUORIN_TRY_VERIFY(!server->fake.receivedFrames("INOLTRO").isEmpty());
    auto *blink = w->findChild<QTimer *>(u"tmrIcon"_s);
    QVERIFY(!blink->isActive());
    QSignalSpy newFax(w->ClientSock, &QuorinSock::RxNewFax);
    const QStringList rec = {u"R998"_s,   u"1"_s,       u"4"_s, u"+39 06 1234"_s, u"Nuova Srl"_s,
                             u"061234"_s, u"9000000"_s, u"2"_s, u"Ordine"_s,      u"F"_s};
    server->fake.sendNow(F::answer(u"RXFAX", u"\u00a6"_s + rec.join(u'\u00a6')));
    QUORIN_TRY_COMPARE(newFax.size(), 1);
    QVERIFY(blink->isActive());
    QCOMPARE(m_shell->tip(), u"Ricevuti nuovi fax"_s);

    // Dropped while blinking: the not-connected picture wins and stays; the blink comes back with the link,
    // the new fax still unseen.
    blink->setInterval(5);
    QUORIN_TRY_VERIFY(m_shell->showsIcon(w->Picfax(1)));
    retry->setInterval(3600000);
    server.reset();
    QUORIN_TRY_VERIFY(!w->Connected);
    QVERIFY(!blink->isActive());
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
    QCOMPARE(m_shell->tip(), u"Impossibile connettersi al server: 127.0.0.1"_s);
    QTest::qWait(100); // many blink periods
    QVERIFY(m_shell->showsIcon(w->Picfax(2)));
    server = std::make_unique<Server>(port);
    w->mnuApri->trigger();
    QUORIN_TRY_VERIFY(w->Connected);
    w->hide();
    QVERIFY(blink->isActive());
    QCOMPARE(m_shell->tip(), u"Ricevuti nuovi fax"_s);
    QUORIN_TRY_VERIFY(m_shell->showsIcon(w->Picfax(1)));
    // Seen (the fax client asked for): a later drop and return bring no blink back.
    const QString started = writeClient();
    m_shell->click(515);
    QUORIN_TRY_VERIFY(QFile::exists(started));
    QUORIN_TRY_VERIFY(!blink->isActive());
    server.reset();
    QUORIN_TRY_VERIFY(!w->Connected);
    server = std::make_unique<Server>(port);
    w->mnuApri->trigger();
    QUORIN_TRY_VERIFY(w->Connected);
    w->hide();
    QVERIFY(!blink->isActive());
    QVERIFY(m_shell->showsIcon(w->Picfax(0)));
}

void tst_TrayLauncher::updateAfterLaterConnect()
{
    // Up to date at the start; a newer version is announced when the user connects again.
    const QString record = m_dir.filePath(u"restart-later.txt"_s);
    writeScript(u"QVDozeza"_s, "printf '%s\\n' \"$@\" > \"" + record.toLocal8Bit() + ".part\"\nmv \"" +
                                   record.toLocal8Bit() + ".part\" \"" + record.toLocal8Bit() + "\"\n");
    Server server;
    const QByteArray content = "[files]\r\n";
    server.extra = [content](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "UPDATEFILES")
            return false;
        s.sendNow(F::answer(u"TBUPDATE", QString::number(content.size())));
        s.sendFile(content, u"UPDATE.RIS"_s);
        s.send(F::answer(u"FINEUPD"));
        return true;
    };
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(promptTexts().isEmpty());
    server.versions[3] = u"1.0.1"_s;
    Prompt::setNextAnswer(QMessageBox::Yes);
    QSignalSpy exit(m_startup.get(), &StartupMain::exitRequested);
    w->findChild<QAction *>(u"mnuApri"_s)->trigger();
    w->findChild<QPushButton *>(u"cmdConnetti"_s)->click();
    QVERIFY(TestWait::forSignal(exit));
    QCOMPARE(m_startup->outcome(), StartupMain::Outcome::Updating);
    QVERIFY(!m_startup->trayWindow());
    QVERIFY(!m_shell->shown);
    QUORIN_TRY_VERIFY(QFile::exists(record));
}

void tst_TrayLauncher::progressWindow_data()
{
    QTest::addColumn<QString>("hidden");
    QTest::newRow("shown") << QString();
    QTest::newRow("NoFormInvio=s") << u"s"_s;
}

void tst_TrayLauncher::progressWindow()
{
    QFETCH(QString, hidden);
    Server server;
    frmMain *w = startRunning(server, u"NoFormInvio="_s + hidden + u"\r\n"_s);
    QVERIFY(w);
    QSignalSpy start(w->ClientSock, &QuorinSock::ProgressStatusStart);
    QSignalSpy end(w->ClientSock, &QuorinSock::ProgressStatusEnd);
    server.fake.sendNow(F::answer(u"FAXPROGRSTART", u"#7"_s));
    QVERIFY(TestWait::forSignal(start));
    if (!hidden.isEmpty()) {
        QVERIFY(!w->sendStatusWindow());
        return;
    }
    frmSendStatus *status = w->sendStatusWindow();
    QVERIFY(status && status->isVisible());
    QCOMPARE(status->lblStatus->text(), u"Preparazione invio Fax."_s);
    server.fake.sendNow(
        F::answer(u"FAXPROGR", u"REMOTO<#>9600<#>2<#>5<#>40<#>14<#>Rossi<#>0101<#>1<#>2<#>#7"_s));
    QUORIN_TRY_COMPARE(status->lblPercent->text(), u"40 %"_s);
    QCOMPARE(status->lblPage->text(), u"2 / 5"_s);
    QCOMPARE(status->lblNumTentativo->text(), u"2 di 3"_s);
    QCOMPARE(status->lblStatus->text(), u"In fase di spedizione"_s);
    // A state the string table lacks shows its number, without a box.
    server.fake.sendNow(
        F::answer(u"FAXPROGR", u"REMOTO<#>9600<#>3<#>5<#>60<#>3<#>Rossi<#>0101<#>1<#>2<#>#7"_s));
    QUORIN_TRY_COMPARE(status->lblPercent->text(), u"60 %"_s);
    QCOMPARE(status->lblStatus->text(), u"3"_s);
    QVERIFY(promptTexts().isEmpty());
    server.fake.sendNow(F::answer(u"FAXPROGREND", u"#7"_s));
    QUORIN_TRY_VERIFY(!w->sendStatusWindow());
}

void tst_TrayLauncher::trayRefusedIsToldOnce()
{
    Server server;
    m_shell->failCode = 1008;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(!m_shell->shown);
    auto *timer = w->findChild<QTimer *>(u"tmrIcon"_s);
    timer->setInterval(5);
    timer->start(); // each tick tries to add the icon again
    const qsizetype calls = m_shell->calls.size();
    QUORIN_TRY_VERIFY(m_shell->calls.size() > calls + 5);
    QUORIN_TRY_COMPARE(promptTexts(),
                       QStringList{u"There was an error when trying to use the systray. #ERR=1008"_s});
    const qsizetype later = m_shell->calls.size();
    QUORIN_TRY_VERIFY(m_shell->calls.size() > later + 5);
    QCOMPARE(promptTexts().size(), 1);
    timer->stop();
}

// Started before the panel: the refusal is told once and the icon goes up as soon as a notification area
// is there, showing the link as it stands then.
void tst_TrayLauncher::trayAreaAppearsLater()
{
    m_shell.reset();
    m_tray = std::make_unique<RecordingTray>(DesktopTrayShell::Host::XEmbed);
    m_tray->hasArea = false;
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_COMPARE(promptTexts(),
                       QStringList{u"There was an error when trying to use the systray. #ERR=1008"_s});
    QVERIFY(m_tray->shown.isEmpty());
    m_tray->hasArea = true;
    QUORIN_TRY_COMPARE(m_tray->shown.size(), 1);
    QSystemTrayIcon *icon = m_tray->shown.first();
    QCOMPARE(m_tray->shownTip(icon), u"Connesso al server: 127.0.0.1"_s);
    QCOMPARE(icon->icon().cacheKey(), w->Picfax(0).cacheKey());
    QVERIFY(w->SysIcon()->Visible());
    // It is the icon of a working program: its menu reaches "Esci".
    m_tray->activate(QSystemTrayIcon::Context);
    QUORIN_TRY_VERIFY(w->mnuMain->isVisible());
    w->mnuMain->hide();
    QCOMPARE(promptTexts().size(), 1);
}

// The real program started before the panel, on an X display (tst_traylauncher_x11): the refusal is told
// in one box, and the icon comes the moment a panel is there, whether it comes while the box is still
// open or well after the start (the box answered, the link up), through XEmbed (tint2) or a StatusNotifier
// host on a private session bus. Without a panel the program stays with the one box.
void tst_TrayLauncher::panelStartsLater_data()
{
    QTest::addColumn<QString>("area"); // "xembed", "statusnotifier", or none
    QTest::addColumn<bool>("afterLogin");
    QTest::newRow("XEmbed panel while the box shows") << u"xembed"_s << false;
    QTest::newRow("XEmbed panel well after the start") << u"xembed"_s << true;
    QTest::newRow("StatusNotifier host while the box shows") << u"statusnotifier"_s << false;
    QTest::newRow("StatusNotifier host well after the start") << u"statusnotifier"_s << true;
    QTest::newRow("no panel ever") << QString() << true;
}

void tst_TrayLauncher::panelStartsLater()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("a road on the X display: tst_traylauncher_x11");
    QFETCH(QString, area);
    QFETCH(bool, afterLogin);
    for (const QString &tool :
         {u"xdotool"_s, u"xwininfo"_s, u"xprop"_s, u"import"_s, u"tint2"_s, u"dbus-daemon"_s})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                 qPrintable(tool + u" missing: scripts/setup"_s));
#ifndef QUORIN_HAVE_DBUS
    if (area == u"statusnotifier"_s)
        QSKIP("Qt without D-Bus: no StatusNotifier host to play");
#endif
    Server server;
    writeIni(u"127.0.0.1"_s, server.fake.port());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    QProcess bus, panel, live;
    const auto stop = qScopeGuard([&] {
        for (QProcess *p : {&live, &panel, &bus}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished();
        }
    });
    QString address;
    if (area == u"statusnotifier"_s) {
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY(bus.waitForStarted(TestWait::bound()));
        QUORIN_TRY_VERIFY(bus.canReadLine());
        address = QString::fromUtf8(bus.readLine()).trimmed();
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
    }
    live.setProcessEnvironment(env);
    live.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    live.start(QStringLiteral(QUORIN_LIVE), {});
    QVERIFY(live.waitForStarted(TestWait::bound()));

    QString box;
    QUORIN_TRY_VERIFY(!(box = shownWindows(u"QuorinLive"_s).value(0)).isEmpty());
    const auto answerBox = [&] {
        const QRect r = windowGeometry(box);
        QVERIFY(runTool(u"xdotool"_s, {u"mousemove"_s, QString::number(r.right() - 50),
                                       QString::number(r.bottom() - 22), u"click"_s, u"1"_s}));
        QUORIN_TRY_VERIFY(!shownWindows(u"QuorinLive"_s).contains(box));
    };
    if (afterLogin) {
        answerBox();
        QUORIN_TRY_VERIFY(!server.fake.receivedFrames("INOLTRO").isEmpty());
        QTest::qWait(2 * DesktopTrayShell::AreaWatchMs + 500); // the program looks a few times in vain
    }
    QVERIFY(live.state() == QProcess::Running);

    if (area == u"xembed"_s) {
        // Without a window manager tint2 waits ~15 s for the desktop count one would set.
        QVERIFY(runTool(u"xprop"_s, {u"-root"_s, u"-f"_s, u"_NET_NUMBER_OF_DESKTOPS"_s, u"32c"_s, u"-set"_s,
                                     u"_NET_NUMBER_OF_DESKTOPS"_s, u"1"_s}));
        QVERIFY(runTool(u"xprop"_s, {u"-root"_s, u"-f"_s, u"_NET_CURRENT_DESKTOP"_s, u"32c"_s, u"-set"_s,
                                     u"_NET_CURRENT_DESKTOP"_s, u"0"_s}));
        const QString rc = m_dir.filePath(u"tint2rc"_s);
        QFile f(rc);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("panel_items = S\npanel_size = 100% 36\npanel_position = bottom left horizontal\n"
                "background_color = #3c3c3c 100\npanel_background_id = 1\nsystray_background_id = 1\n"
                "systray_padding = 6 4 6\nsystray_icon_size = 24\n");
        f.close();
        panel.start(u"tint2"_s, {u"-c"_s, rc});
        QVERIFY(panel.waitForStarted(TestWait::bound()));
        // The icon is docked into the panel and painted there.
        QString icon;
        QUORIN_TRY_VERIFY([&] {
            const QString bars =
                runTool(u"xdotool"_s, {u"search"_s, u"--classname"_s, u"tint2"_s}).value_or(QString());
            for (const QString &bar : bars.split(u'\n', Qt::SkipEmptyParts)) {
                const QString tree = runTool(u"xwininfo"_s, {u"-tree"_s, u"-id"_s, bar}).value_or(QString());
                for (const QString &line : tree.split(u'\n')) {
                    if (line.contains(u"(\"QuorinLive\" \"QuorinLive\")"_s))
                        icon = line.trimmed().section(u' ', 0, 0);
                }
            }
            return !icon.isEmpty();
        }());
        const QString shot = m_dir.filePath(u"panel.png"_s);
        QUORIN_TRY_VERIFY([&] {
            const QRect r = windowGeometry(icon);
            QFile::remove(shot);
            if (r.isEmpty() || !runTool(u"import"_s, {u"-window"_s, u"root"_s, shot}))
                return false;
            const QImage image = QImage(shot).copy(r);
            int drawn = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    drawn += (image.pixel(x, y) & 0xffffff) != 0x3c3c3c ? 1 : 0;
            return drawn > 40;
        }());
    }
#ifdef QUORIN_HAVE_DBUS
    FakeWatcher watcher;
    const QString busName = u"panel"_s;
    const auto leave = qScopeGuard([&] { QDBusConnection::disconnectFromBus(busName); });
    if (area == u"statusnotifier"_s) {
        QDBusConnection host = QDBusConnection::connectToBus(address, busName);
        QVERIFY(host.isConnected());
        QVERIFY(
            host.registerObject(u"/StatusNotifierWatcher"_s, &watcher, QDBusConnection::ExportAllContents));
        QVERIFY(host.registerService(u"org.kde.StatusNotifierWatcher"_s));
        // The item registers, and its tip follows the link.
        QUORIN_TRY_COMPARE(watcher.items.size(), 1);
        QUORIN_TRY_COMPARE(itemToolTip(host, watcher.items.first()), u"Connesso al server: 127.0.0.1"_s);
    }
#endif
    if (area.isEmpty()) {
        QTest::qWait(2 * DesktopTrayShell::AreaWatchMs + 500);
        QVERIFY(shownWindows(u"QuorinLive"_s).isEmpty()); // told once: no second box
    }
    if (!afterLogin)
        answerBox();
    QVERIFY(live.state() == QProcess::Running);
}

void tst_TrayLauncher::exitRemovesIconAndWindows()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    server.fake.sendNow(F::answer(u"FAXPROGRSTART", u"#7"_s));
    QUORIN_TRY_VERIFY(w->sendStatusWindow());
    QPointer<frmSendStatus> status = w->sendStatusWindow();
    w->findChild<QAction *>(u"mnuApri"_s)->trigger(); // also with the window on screen
    QSignalSpy unloaded(w, &frmMain::unloaded);
    QSignalSpy exit(m_startup.get(), &StartupMain::exitRequested);
    w->findChild<QAction *>(u"mnuExit"_s)->trigger();
    QVERIFY(!w->isVisible());
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(m_shell->calls.last().message, TrayShell::NIM_DELETE);
    QVERIFY(!m_shell->shown);
    QVERIFY(!status);
    QCOMPARE(exit.size(), 1);
}

QTEST_MAIN(tst_TrayLauncher)
#include "tst_traylauncher.moc"
