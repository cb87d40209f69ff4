#include "ProbeServer.h"
#include "Prompt.h"
#include "ServerDiscovery.h"
#include "ServerSearch.h"
#include "TestHome.h"
#include "frmConnecting.h"
#include "frmSearchServers.h"
#include "frmServerConf.h"
#include "frmServersAvaliable.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Servers on several loopback addresses, all on one discovery port.
struct Servers
{
    std::vector<std::unique_ptr<ProbeServer>> list;
    qint32 linkPort = 0;

    bool start(const QList<std::tuple<QString, QByteArray, ProbeServer::Mode>> &specs)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            list.clear();
            ProbeServer probe(u"127.0.0.1"_s, {});
            if (!probe.listen(0))
                return false;
            const quint16 port = probe.port();
            if (port < 2)
                continue;
            bool ok = true;
            for (const auto &[address, name, mode] : specs) {
                list.push_back(std::make_unique<ProbeServer>(address, name, mode));
                ok = ok && list.back()->listen(port);
            }
            if (ok) {
                linkPort = port - 1;
                return true;
            }
        }
        return false;
    }
};

// Names that resolve here, without asking any name server.
void useResolverTable()
{
    Discovery::setResolver([](const QString &name, QObject *, std::function<void(bool)> done) {
        const QString lower = name.toLower();
        done(lower == u"localhost"_s || lower == u"faxhost.lan"_s);
    });
}

} // namespace

class tst_Discovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void parseArpTable();
    void candidatesFromEnvironment();
    void search_data();
    void search();
    void searchSendsUserName();
    void findServer_data();
    void findServer();
    void findServerManualSettings();
    void findServerNamedServer();
    void findServerListWindow();
    void settingsChecks_data();
    void settingsChecks();
    void settingsPortCheckedOnLeaving();
    void settingsApplyThenCancel();
    void settingsOpeningClearsOk();
    void settingsSearchButton();
    void connectingWindow();

private:
    QByteArray m_savedHosts;
    TestHome m_home;
};

void tst_Discovery::initTestCase()
{
    QVERIFY(m_home.setUp());
}

void tst_Discovery::init()
{
    m_savedHosts = qgetenv("QUORIN_DISCOVERY_HOSTS");
    Prompt::setAnswering(true);
    useResolverTable();
}

void tst_Discovery::cleanup()
{
    qputenv("QUORIN_DISCOVERY_HOSTS", m_savedHosts);
    Prompt::setAnswering(false);
}

void tst_Discovery::parseArpTable()
{
    const QByteArray table =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "127.0.0.5        0x1         0x2         00:11:22:33:44:55     *        eth0\n"
        "127.0.0.6        0x1         0x0         00:00:00:00:00:00     *        eth0\n"
        "127.0.0.7        0x1         0x6         00:11:22:33:44:66     *        eth1\n"
        "127.0.0.5        0x1         0x2         00:11:22:33:44:55     *        eth1\n"
        "garbage line\n";
    QCOMPARE(Discovery::parseArpTable(table), (QStringList{u"127.0.0.5"_s, u"127.0.0.7"_s}));
    QCOMPARE(Discovery::parseArpTable(QByteArray()), QStringList());
}

void tst_Discovery::candidatesFromEnvironment()
{
    qputenv("QUORIN_DISCOVERY_HOSTS", " 127.0.0.2, ,127.0.0.3,127.0.0.2 ");
    QCOMPARE(Discovery::candidates(), (QStringList{u"127.0.0.2"_s, u"127.0.0.3"_s}));
}

using Spec = std::tuple<QString, QByteArray, ProbeServer::Mode>;

void tst_Discovery::search_data()
{
    using M = ProbeServer::Mode;
    QTest::addColumn<QList<Spec>>("servers");
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nobody listening") << QList<Spec>{} << QStringList{u"127.0.0.2"_s} << QStringList{};
    QTest::newRow("no candidates") << QList<Spec>{} << QStringList{} << QStringList{};
    QTest::newRow("one server, name unknown here")
        << QList<Spec>{{u"127.0.0.2"_s, "FAXSRV", M::Answer}} << QStringList{u"127.0.0.2"_s}
        << QStringList{u"127.0.0.2"_s};
    QTest::newRow("one server, name resolves")
        << QList<Spec>{{u"127.0.0.2"_s, "faxhost.lan", M::Answer}} << QStringList{u"127.0.0.2"_s}
        << QStringList{u"faxhost.lan"_s};
    QTest::newRow("several servers and a silent one")
        << QList<Spec>{{u"127.0.0.2"_s, "FAXSRV", M::Answer},
                       {u"127.0.0.3"_s, "faxhost.lan", M::Answer},
                       {u"127.0.0.4"_s, "QUIET", M::Silent}}
        << QStringList{u"127.0.0.2"_s, u"127.0.0.3"_s, u"127.0.0.4"_s, u"127.0.0.5"_s}
        << QStringList{u"127.0.0.2"_s, u"faxhost.lan"_s};
    QTest::newRow("one server answering twice") << QList<Spec>{{u"127.0.0.2"_s, "FAXSRV", M::AnswerTwice}}
                                                << QStringList{u"127.0.0.2"_s} << QStringList{u"127.0.0.2"_s};
    QTest::newRow("one server reached through two candidates")
        << QList<Spec>{{u"127.0.0.2"_s, "faxhost.lan", M::Answer}, {u"127.0.0.3"_s, "FAXHOST.LAN", M::Answer}}
        << QStringList{u"127.0.0.2"_s, u"127.0.0.3"_s} << QStringList{u"faxhost.lan"_s};
    QTest::newRow("silent candidate")
        << QList<Spec>{{u"127.0.0.2"_s, "QUIET", M::Silent}} << QStringList{u"127.0.0.2"_s} << QStringList{};
    QTest::newRow("answer of another kind") << QList<Spec>{{u"127.0.0.2"_s, "FAXSRV", M::WrongKeyword}}
                                            << QStringList{u"127.0.0.2"_s} << QStringList{};
    QTest::newRow("empty name") << QList<Spec>{{u"127.0.0.2"_s, {}, M::EmptyName}}
                                << QStringList{u"127.0.0.2"_s} << QStringList{};
}

void tst_Discovery::search()
{
    QFETCH(QList<Spec>, servers);
    QFETCH(QStringList, candidates);
    QFETCH(QStringList, expected);
    Servers running;
    QVERIFY(running.start(servers));

    ServerSearch search;
    search.setLinkPort(running.linkPort);
    search.setTimeout(400);
    QSignalSpy finished(&search, &ServerSearch::finished);
    search.start(candidates);
    QUORIN_TRY_COMPARE(finished.count(), 1);
    QCOMPARE(search.answers(), expected);
    QCOMPARE(ServerSearch::lastAnswers(), expected);
    QCOMPARE(search.doneCount(), int(candidates.size()));
}

void tst_Discovery::searchSendsUserName()
{
    Servers running;
    QVERIFY(running.start({{u"127.0.0.2"_s, "FAXSRV", ProbeServer::Mode::Answer}}));
    ServerSearch search;
    search.setLinkPort(running.linkPort);
    search.setUserName(u"rossi"_s);
    QSignalSpy finished(&search, &ServerSearch::finished);
    search.start({u"127.0.0.2"_s});
    QUORIN_TRY_COMPARE(finished.count(), 1);
    QCOMPARE(running.list[0]->received(), QByteArray("CHECKSERVER<\xA5>rossi<\xA7>"));
}

void tst_Discovery::findServer_data()
{
    using M = ProbeServer::Mode;
    QTest::addColumn<QList<Spec>>("servers");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("question"); // empty: none asked

    QTest::newRow("one server") << QList<Spec>{{u"127.0.0.2"_s, "faxhost.lan", M::Answer}} << true
                                << u"faxhost.lan"_s << QString();
    QTest::newRow("no server, declined") << QList<Spec>{} << false << QString()
                                         << u"Nessun server attivo\nVuoi impostare i parametri manualmente"_s;
    QTest::newRow("silent server, declined")
        << QList<Spec>{{u"127.0.0.2"_s, "Q", M::Silent}} << false << QString()
        << u"Nessun server attivo\nVuoi impostare i parametri manualmente"_s;
}

void tst_Discovery::findServer()
{
    QFETCH(QList<Spec>, servers);
    QFETCH(bool, found);
    QFETCH(QString, server);
    QFETCH(QString, question);
    Servers running;
    QVERIFY(running.start(servers));
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.2,127.0.0.3");
    Prompt::setNextAnswer(QMessageBox::No);

    FindServerContext ctx;
    ctx.TimeSearch = 400;
    QCOMPARE(FindServer(ctx, QString(), running.linkPort), found);
    QCOMPARE(ctx.SockServer, server);
    QCOMPARE(ctx.SockPort, running.linkPort);
    const QList<Prompt::Record> records = Prompt::records();
    const auto questions = std::count_if(records.begin(), records.end(), [](const Prompt::Record &r) {
        return r.kind == Prompt::Kind::Message;
    });
    QCOMPARE(questions, question.isEmpty() ? 0 : 1);
    if (!question.isEmpty()) {
        QCOMPARE(Prompt::lastRecord().text, question);
        QCOMPARE(Prompt::lastRecord().title, u"Errore impostazioni"_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
    }
    for (const Prompt::Record &r : records)
        QVERIFY(r.text != u"frmServersAvaliable"_s);
}

void tst_Discovery::findServerManualSettings()
{
    Servers running;
    QVERIFY(running.start({{u"127.0.0.3"_s, "FAXSRV", ProbeServer::Mode::Answer}}));
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.2");
    Prompt::setNextAnswer(QMessageBox::Yes);
    Prompt::setDialogHandler([&](QDialog *dialog) {
        if (dialog->objectName() != u"frmServerConf"_s)
            return int(QDialog::Rejected);
        dialog->findChild<QLineEdit *>(u"txtSockServer"_s)->setText(u"127.0.0.3"_s);
        dialog->findChild<QLineEdit *>(u"txtSockPort"_s)->setText(QString::number(running.linkPort));
        dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return dialog->result();
    });

    FindServerContext ctx;
    ctx.TimeSearch = 400;
    QVERIFY(FindServer(ctx, QString(), running.linkPort));
    QCOMPARE(ctx.SockServer, u"127.0.0.3"_s); // the typed server, checked again; its name does not resolve
    QCOMPARE(ctx.SockPort, running.linkPort);
}

void tst_Discovery::findServerNamedServer()
{
    Servers running;
    QVERIFY(running.start({{u"127.0.0.2"_s, "localhost", ProbeServer::Mode::Answer}}));
    FindServerContext ctx;
    ctx.TimeSearch = 400;
    QVERIFY(FindServer(ctx, u"127.0.0.2"_s, running.linkPort));
    QCOMPARE(ctx.SockServer, u"localhost"_s);

    // A named server that does not answer: the question names it; declining keeps the values checked.
    Prompt::setNextAnswer(QMessageBox::No);
    QVERIFY(!FindServer(ctx, u"127.0.0.9"_s, running.linkPort));
    QCOMPARE(Prompt::lastRecord().text,
             u"Impossibile trovare il server: 127.0.0.9\nVuoi impostare i parametri manualmente"_s);
    QCOMPARE(ctx.SockServer, u"127.0.0.9"_s);
    QCOMPARE(ctx.SockPort, running.linkPort);
}

void tst_Discovery::findServerListWindow()
{
    using M = ProbeServer::Mode;
    Servers running;
    QVERIFY(
        running.start({{u"127.0.0.2"_s, "FAXSRV", M::Answer}, {u"127.0.0.3"_s, "faxhost.lan", M::Answer}}));
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.2,127.0.0.3");
    QStringList listed;
    Prompt::setDialogHandler([&](QDialog *dialog) {
        if (dialog->objectName() != u"frmServersAvaliable"_s)
            return int(QDialog::Rejected);
        auto *list = dialog->findChild<QListWidget *>(u"lstServers"_s);
        for (int i = 0; i < list->count(); ++i)
            listed << list->item(i)->text();
        list->setCurrentRow(1);
        dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return dialog->result();
    });
    FindServerContext ctx;
    ctx.TimeSearch = 400;
    QVERIFY(FindServer(ctx, QString(), running.linkPort));
    QCOMPARE(listed, (QStringList{u"127.0.0.2"_s, u"faxhost.lan"_s}));
    QCOMPARE(ctx.SockServer, u"faxhost.lan"_s);
}

void tst_Discovery::settingsChecks_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("storedServer");
    QTest::addColumn<int>("storedPort");
    QTest::addColumn<QString>("message");

    const QString numeric = u"Il valore deve essere di tipo numerico"_s;
    const QString range = u"Il valore deve essere compreso tra 1 e 65535"_s;
    const QString noName = u"Specificare un nome per il Server"_s;
    QTest::newRow("plain") << u"faxhost"_s << u"9456"_s << true << u"faxhost"_s << 9456 << QString();
    QTest::newRow("blank name") << u"   "_s << u"9456"_s << false << u"old"_s << 1 << noName;
    QTest::newRow("surrounding blanks kept")
        << u" faxhost "_s << u"9456"_s << true << u" faxhost "_s << 9456 << QString();
    QTest::newRow("decimal part dropped")
        << u"faxhost"_s << u"9457.8"_s << true << u"faxhost"_s << 9457 << QString();
    QTest::newRow("decimal comma") << u"faxhost"_s << u" 9457,2 "_s << true << u"faxhost"_s << 9457
                                   << QString();
    QTest::newRow("not a number") << u"faxhost"_s << u"94a"_s << false << u"old"_s << 1 << numeric;
    QTest::newRow("empty port") << u"faxhost"_s << QString() << false << u"old"_s << 1 << numeric;
    QTest::newRow("port 0") << u"faxhost"_s << u"0"_s << false << u"old"_s << 1 << range;
    QTest::newRow("negative port") << u"faxhost"_s << u"-5"_s << false << u"old"_s << 1 << range;
    QTest::newRow("port too big") << u"faxhost"_s << u"65536"_s << false << u"old"_s << 1 << range;
    QTest::newRow("huge number") << u"faxhost"_s << u"99999999999999999999"_s << false << u"old"_s << 1
                                 << range;
}

void tst_Discovery::settingsChecks()
{
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(bool, ok);
    QFETCH(QString, storedServer);
    QFETCH(int, storedPort);
    QFETCH(QString, message);

    frmServerConf conf;
    conf.m_sockServer = u"old"_s;
    conf.m_sockPort = 1;
    conf.Load();
    conf.findChild<QLineEdit *>(u"txtSockServer"_s)->setText(server);
    conf.findChild<QLineEdit *>(u"txtSockPort"_s)->setText(port);
    conf.findChild<QPushButton *>(u"cmdOK"_s)->click();
    QCOMPARE(conf.Ok, ok);
    QCOMPARE(conf.m_sockServer, storedServer);
    QCOMPARE(conf.m_sockPort, storedPort);
    QCOMPARE(conf.result(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (message.isEmpty()) {
        QVERIFY(Prompt::records().isEmpty());
    } else {
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().text, message);
        if (message.startsWith(u"Specificare"_s)) {
            QCOMPARE(Prompt::lastRecord().title, u"Attenzione"_s);
            QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        } else {
            QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        }
    }
}

void tst_Discovery::settingsPortCheckedOnLeaving()
{
    frmServerConf conf;
    conf.m_sockServer = u"faxhost"_s;
    conf.m_sockPort = 9456;
    conf.Load();
    conf.show();
    QApplication::setActiveWindow(&conf);
    QVERIFY(QTest::qWaitForWindowActive(&conf, TestWait::bound()));
    auto *port = conf.findChild<QLineEdit *>(u"txtSockPort"_s);
    auto *server = conf.findChild<QLineEdit *>(u"txtSockServer"_s);
    port->setFocus();
    QUORIN_TRY_VERIFY(port->hasFocus());
    port->setText(u"porta"_s);
    server->setFocus();
    QUORIN_TRY_COMPARE(Prompt::records().size(), 1);
    QCOMPARE(Prompt::lastRecord().text, u"Il valore deve essere di tipo numerico"_s);
    QUORIN_TRY_VERIFY(port->hasFocus());
    conf.hide();
}

void tst_Discovery::settingsApplyThenCancel()
{
    frmServerConf conf;
    conf.m_sockServer = u"old"_s;
    conf.m_sockPort = 9456;
    conf.Load();
    auto *apply = conf.findChild<QPushButton *>(u"cmdApply"_s);
    QVERIFY(!apply->isEnabled());
    QTest::keyClicks(conf.findChild<QLineEdit *>(u"txtSockServer"_s), u"new"_s);
    QVERIFY(apply->isEnabled());
    apply->click();
    QVERIFY(!apply->isEnabled());
    QCOMPARE(Prompt::lastRecord().text, u"E' necessario riavviare per collegarsi al nuovo server."_s);
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Information);
    conf.findChild<QPushButton *>(u"cmdCancel"_s)->click();
    QVERIFY(conf.Ok);
    QCOMPARE(conf.m_sockServer, u"oldnew"_s);
    QCOMPARE(conf.m_sockPort, 9456);
}

void tst_Discovery::settingsOpeningClearsOk()
{
    frmServerConf *conf = frmServerConf::instance();
    QCOMPARE(frmServerConf::instance(), conf);
    conf->m_sockServer = u"faxhost"_s;
    conf->m_sockPort = 9456;
    conf->Load();
    conf->findChild<QPushButton *>(u"cmdOK"_s)->click();
    QVERIFY(conf->Ok);
    conf->Load();
    QVERIFY(!conf->Ok);
    QCOMPARE(conf->findChild<QLineEdit *>(u"txtSockServer"_s)->text(), u"faxhost"_s);
}

void tst_Discovery::settingsSearchButton()
{
    Servers running;
    QVERIFY(running.start({{u"127.0.0.2"_s, "faxhost.lan", ProbeServer::Mode::Answer}}));
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.2");
    frmServerConf conf;
    conf.m_sockServer = u"old"_s;
    conf.m_sockPort = running.linkPort;
    conf.TimeSearch = 400;
    conf.Load();
    Prompt::setDialogHandler([](QDialog *dialog) {
        if (dialog->objectName() != u"frmServersAvaliable"_s)
            return int(QDialog::Rejected);
        dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return dialog->result();
    });
    conf.findChild<QPushButton *>(u"cmdSelectServer"_s)->click();
    QCOMPARE(conf.findChild<QLineEdit *>(u"txtSockServer"_s)->text(), u"faxhost.lan"_s);
    QVERIFY(conf.findChild<QPushButton *>(u"cmdApply"_s)->isEnabled());
}

void tst_Discovery::connectingWindow()
{
    frmConnecting window;
    window.Load(3000);
    QCOMPARE(window.TimeConnecting, 9000);
    QCOMPARE(window.findChild<QTimer *>(u"tmrConnecting"_s)->interval(), 167);
    QCOMPARE(window.findChild<QProgressBar *>(u"pbarConnecting"_s)->maximum(), 54);
    window.showFor(u"faxhost"_s, 3000);
    QVERIFY(window.isVisible());
    QVERIFY(window.findChild<QTimer *>(u"tmrConnecting"_s)->isActive());
    window.stopAndHide();
    QVERIFY(!window.isVisible());
    QVERIFY(!window.findChild<QTimer *>(u"tmrConnecting"_s)->isActive());
}

QTEST_MAIN(tst_Discovery)
#include "tst_discovery.moc"
