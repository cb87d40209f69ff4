// Connection, login, rights, watchdog, lost link and the receive loop of the control.
#include "LinkRig.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpSocket>
#include <QTimer>

class TestQuorinSockConnect : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }

    void freshControl()
    {
        QuorinSock sock;
        QCOMPARE(sock.TimeCheckServer(), 3000);
        QCOMPARE(sock.TimeSearchServersAvailable(), 1500);
        QCOMPARE(sock.QuorinVersion(), QString());
        QVERIFY(!sock.CollItems());
        QVERIFY(!sock.FaxItems());
        QCOMPARE(sock.FaxesSelected(), sock.FaxesSelected());
        QCOMPARE(sock.SockPort(), 9456);
        QCOMPARE(sock.State(), 0);
        QVERIFY(sock.NameTempFile().endsWith(u"/TMPFAX.TIF"_s));
        QVERIFY(sock.NameQVfile().endsWith(u"/QVFAX.TIF"_s));
        QVERIFY(sock.NameUpdateFolder().endsWith(u"/UPDATE"_s));
        QVERIFY(sock.NameTempFile().startsWith(m_home.path()));
    }

    void timerPeriods_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("check");
        QTest::addColumn<int>("search");
        QTest::newRow("zero") << 0 << 3000 << 1500;
        QTest::newRow("negative") << -5 << 3000 << 1500;
        QTest::newRow("one") << 1 << 1 << 1;
        QTest::newRow("large") << 60000 << 60000 << 60000;
    }
    void timerPeriods()
    {
        QFETCH(int, value);
        QuorinSock sock;
        sock.setTimeCheckServer(value);
        sock.setTimeSearchServersAvailable(value);
        QTEST(sock.TimeCheckServer(), "check");
        QTEST(sock.TimeSearchServersAvailable(), "search");
    }

    void versions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("equal") << u"1.2.9"_s << u"1.2.9"_s << 0;
        QTest::newRow("two digits newer") << u"1.2.10"_s << u"1.2.9"_s << 1;
        QTest::newRow("older minor") << u"1.9.0"_s << u"1.12.0"_s << -1;
        QTest::newRow("missing part") << u"1.2"_s << u"1.2.0"_s << 0;
        QTest::newRow("longer newer") << u"1.2.0.1"_s << u"1.2"_s << 1;
    }
    void versions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(QuorinSock::compareVersions(a, b), order);
        QCOMPARE(QuorinSock::compareVersions(b, a), -order);
    }

    void login_data() { addFragmentedRows(); }
    void login()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QStringList order;
        QObject::connect(rig.sock.get(), &QuorinSock::SocketConnected, [&] { order << u"Connect"_s; });
        QObject::connect(rig.sock.get(), &QuorinSock::UserReceived, [&] { order << u"UserReceived"_s; });
        QObject::connect(rig.sock.get(), &QuorinSock::Connected,
                         [&](const QString &server, int port, bool fwd) {
                             order << u"Connected %1 %2 %3"_s.arg(server).arg(port).arg(fwd);
                         });
        QSignalSpy ocx(rig.sock.get(), &QuorinSock::UpdateOcxNeed);
        QSignalSpy srv(rig.sock.get(), &QuorinSock::UpdateServerNeed);
        QVERIFY(rig.login(u"mario.rossi<#>T<#>T<#>F<#>T<#><#>F<#>T<#>F<#>T"_s));
        QCOMPARE(order, QStringList({u"Connect"_s, u"UserReceived"_s,
                                     u"Connected 127.0.0.1 %1 1"_s.arg(rig.server.port())}));
        QCOMPARE(rig.sock->UserName(), u"mario.rossi"_s);
        QVERIFY(rig.sock->IsForwarduser());
        QVERIFY(!rig.sock->DelSharedContacts());
        QVERIFY(rig.sock->ReadSharedContacts());
        QVERIFY(!rig.sock->ModifySharedContacts());
        QVERIFY(rig.sock->AddSharedContacts());
        QCOMPARE(rig.sock->QuorinVersion(), u"2.1.0"_s);
        QCOMPARE(rig.sock->PrinterVersion(), u"2.2.0"_s);
        QCOMPARE(rig.sock->QuorinLiveVersion(), u"2.3.0"_s);
        QCOMPARE(rig.sock->DarnelleVersion(), u"0.9"_s);
        QCOMPARE(rig.sock->State(), 7);
        QCOMPARE(ocx.count() + srv.count(), 0);
    }

    void rights_data()
    {
        QTest::addColumn<QString>("rights");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("errors");
        for (const char *mode : {"", " fragmented"}) {
            QTest::addRow("ten fields%s", mode)
                << u"anna<#>F<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s << u"anna"_s << false << true << 0;
            QTest::addRow("four fields keep everything%s", mode)
                << u"anna<#>T<#>T<#>T"_s << u"mario"_s << false << false << 0;
            QTest::addRow("seven fields: book rights off%s", mode)
                << u"anna<#>T<#>T<#>T<#>T<#><#>T"_s << u"anna"_s << true << false << 1;
        }
    }
    void rights()
    {
        QFETCH(QString, rights);
        LinkRig rig(QByteArray(QTest::currentDataTag()).endsWith("fragmented"));
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QVERIFY(rig.login(rights));
        QTEST(rig.sock->UserName(), "user");
        QTEST(rig.sock->IsForwarduser(), "forward");
        QTEST(rig.sock->ReadSharedContacts(), "read");
        QTEST(int(errors.count()), "errors");
    }

    void versionAnnouncement_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("ocx");
        QTest::addColumn<int>("serverNeed");
        QTest::newRow("same") << u"1.0.0"_s << 0 << 0;
        QTest::newRow("newer by a two-digit part") << u"1.0.10"_s << 1 << 0;
        QTest::newRow("older") << u"0.9.12"_s << 0 << 1;
    }
    void versionAnnouncement()
    {
        QFETCH(QString, server);
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy ocx(rig.sock.get(), &QuorinSock::UpdateOcxNeed);
        QSignalSpy need(rig.sock.get(), &QuorinSock::UpdateServerNeed);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.server.send(FakeFaxServer::answer(u"VERSIONI", server + u"<#>a<#>b<#>c<#>d"_s));
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A63"));
        QVERIFY(TestWait::forSignal(nums));
        QTEST(int(ocx.count()), "ocx");
        QTEST(int(need.count()), "serverNeed");
        if (ocx.count())
            QCOMPARE(ocx.first().first().toString(), server);
    }

    void maxUsers_data() { addFragmentedRows(); }
    void maxUsers()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.server.listen());
        bool hidden = false;
        rig.sock->setConnectingWindow([](const QString &) {}, [&] { hidden = true; });
        rig.server.expect(FakeFaxServer::answer(u"USER", u"mario"));
        rig.server.send(FakeFaxServer::answer(u"MAXUSERS"));
        QSignalSpy refused(rig.sock.get(), &QuorinSock::MaxUsersLimit);
        QSignalSpy connected(rig.sock.get(), &QuorinSock::Connected);
        rig.sock->Connect(u"127.0.0.1"_s, rig.server.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(refused));
        QVERIFY(hidden);
        QCOMPARE(connected.count(), 0);
    }

    // A server that takes the connection but never answers the login.
    void silentServer()
    {
        LinkRig rig(false);
        QVERIFY(rig.server.listen());
        rig.sock->setTimeCheckServer(40);
        QSignalSpy gone(rig.sock.get(), &QuorinSock::ServerNotAvailable);
        rig.sock->Connect(u"127.0.0.1"_s, rig.server.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(gone));
        QCOMPARE(gone.count(), 1);
        QCOMPARE(gone.first().at(0).toString(), u"127.0.0.1"_s);
        QCOMPARE(gone.first().at(1).toInt(), int(rig.server.port()));
        QCOMPARE(rig.server.connectionCount(), 1); // connected all along: no new attempt
        QVERIFY(rig.server.hasReceived(FakeFaxServer::answer(u"USER", u"mario")));
    }

    // An earlier login does not vouch for the next server: one that never answers is reported.
    void silentSecondServer()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        FakeFaxServer silent;
        QVERIFY(silent.listen());
        rig.sock->setTimeCheckServer(40);
        QSignalSpy gone(rig.sock.get(), &QuorinSock::ServerNotAvailable);
        rig.sock->Connect(u"127.0.0.1"_s, silent.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(gone));
        QCOMPARE(gone.first().at(1).toInt(), int(silent.port()));
    }

    // Every Connect gets three attempts, not only the first of the control's life.
    void refusedServerEachConnect()
    {
        quint16 port = 0;
        {
            FakeFaxServer closed;
            QVERIFY(closed.listen());
            port = closed.port();
        }
        QuorinSock sock;
        sock.setTimeCheckServer(40);
        QSignalSpy gone(&sock, &QuorinSock::ServerNotAvailable);
        QSignalSpy errors(&sock, &QuorinSock::Error);
        for (int round = 1; round <= 2; ++round) {
            errors.clear();
            sock.Connect(u"127.0.0.1"_s, port, u"mario"_s);
            QUORIN_TRY_COMPARE(gone.count(), round);
            QCOMPARE(errors.count(), 3);
            QCOMPARE(errors.first().at(0).toInt(), 10061);
        }
    }

    void invalidPort_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("above range") << 65536;
    }
    void invalidPort()
    {
        QFETCH(int, port);
        QuorinSock sock;
        sock.setTimeCheckServer(20);
        QSignalSpy errors(&sock, &QuorinSock::Error);
        QSignalSpy gone(&sock, &QuorinSock::ServerNotAvailable);
        sock.Connect(u"127.0.0.1"_s, port, u"mario"_s);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(sock.State(), 0);
        QTest::qWait(200);
        QCOMPARE(gone.count(), 0);
        sock.Connect(u"127.0.0.1"_s, u"not a port"_s, u"mario"_s);
        QCOMPARE(errors.count(), 2);
    }

    // The server drops the link; the requests given next wait for the new login the first of them
    // starts and go once, in order, after it. When that login does not come (the server is silent or
    // gone), they are all refused with one ConnectionNotAvailable.
    void lostLink_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<QString>("server");
        for (const bool fragmented : {false, true}) {
            const char *how = fragmented ? "fragmented" : "whole";
            QTest::addRow("back, %s", how) << fragmented << u"back"_s;
            QTest::addRow("silent at login, %s", how) << fragmented << u"silent"_s;
            QTest::addRow("gone, %s", how) << fragmented << u"gone"_s;
        }
    }
    void lostLink()
    {
        QFETCH(bool, fragmented);
        QFETCH(QString, server);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.sock->setTimeCheckServer(100);
        rig.sock->SetActiveList(SentList, 2);
        rig.server.setResponder([server](FakeFaxServer &s, const FakeFaxServer::Frame &f) {
            if (f.keyword == "USER" && f.answer && server == u"back"_s)
                s.sendNow(FakeFaxServer::answer(u"USER", allRights()));
        });
        QSignalSpy lost(rig.sock.get(), &QuorinSock::ConnectionNotAvailable);
        QSignalSpy again(rig.sock.get(), &QuorinSock::ReConnected);
        QSignalSpy ended(rig.sock.get(), &QuorinSock::LinkLost);
        if (server == u"gone"_s)
            rig.server.stopListening();
        else
            rig.server.dropClient();
        QUORIN_TRY_COMPARE(rig.sock->State(), 8);
        // The host hears that the link it was logged in on has ended, once.
        QUORIN_TRY_COMPARE(ended.count(), 1);
        QCOMPARE(ended.first().at(1).toInt(), rig.sock->SockPort());
        rig.server.clearReceived();
        rig.sock->SetActiveList(PersonalList, 1);
        rig.sock->RenameFolder(u"Clienti"_s, u"5"_s);
        QCOMPARE(rig.sock->HeldFrames(), 2);
        QCOMPARE(lost.count(), 0);
        if (server != u"back"_s) {
            QVERIFY(TestWait::forSignal(lost));
            QCOMPARE(lost.count(), 1);
            QCOMPARE(rig.sock->HeldFrames(), 0);
            QTest::qWait(300);
            QCOMPARE(lost.count(), 1);
            QCOMPARE(again.count(), 0);
            // Nothing of them reached the server: at most the login nobody answered.
            const auto frames = rig.server.receivedFrames();
            QVERIFY(frames.size() <= 1);
            QVERIFY(frames.isEmpty() || frames.first().keyword == "USER");
            return;
        }
        QVERIFY(TestWait::forSignal(again));
        QCOMPARE(rig.server.connectionCount(), 2);
        QCOMPARE(lost.count(), 0);
        QUORIN_TRY_COMPARE(rig.server.receivedFrames().size(), 3);
        const auto frames = rig.server.receivedFrames();
        QCOMPARE(frames.at(0).keyword, QByteArray("USER"));
        QCOMPARE(frames.at(1).keyword, QByteArray("PERSONALI"));
        QCOMPARE(frames.at(1).text(), u"1"_s);
        QCOMPARE(frames.at(2).keyword, QByteArray("RENAMEFOLDER"));
        QCOMPARE(rig.sock->HeldFrames(), 0);
        // A link this end closes is no news.
        rig.sock->ConnectClose(2000);
        QTest::qWait(200);
        QCOMPARE(ended.count(), 1);
    }

    // The frames that came before the server's end are handled before the end is told.
    void linkLostAfterItsFrames_data() { addFragmentedRows(); }
    void linkLostAfterItsFrames()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QStringList order;
        connect(rig.sock.get(), &QuorinSock::RxNumFax, rig.sock.get(),
                [&order](int n) { order << u"NUMFAX %1"_s.arg(n); });
        connect(rig.sock.get(), &QuorinSock::LinkLost, rig.sock.get(), [&order] { order << u"lost"_s; });
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A67"));
        rig.server.closeConnection();
        QUORIN_TRY_COMPARE(order, (QStringList{u"NUMFAX 7"_s, u"lost"_s}));
    }

    void serverAsksUser_data() { addFragmentedRows(); }
    void serverAsksUser()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        rig.server.send(FakeFaxServer::query(u"STATUS", u"x"));
        rig.server.send(FakeFaxServer::query(u"USER"));
        QUORIN_TRY_VERIFY(rig.server.hasReceived(FakeFaxServer::answer(u"USER", u"mario")));
        QCOMPARE(rig.server.receivedFrames().size(), 1);
    }

    // A name in the login answer that no frame can carry back (it holds a separator) is reported and not
    // taken: the server's user query still gets the name this end logged in with.
    void serverGivesUnsendableName_data() { addFragmentedRows(); }
    void serverGivesUnsendableName()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QVERIFY(rig.login(allRights(u"m<\u00B6>o"_s)));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().at(3).toString().startsWith(u"VerificaUtente"_s));
        QVERIFY(rig.sock->IsForwarduser()); // the rights are taken all the same
        rig.server.clearReceived();
        rig.server.send(FakeFaxServer::query(u"USER"));
        QUORIN_TRY_VERIFY(rig.server.hasReceived(FakeFaxServer::answer(u"USER", u"mario")));
    }

    // Frames that came right before the server closed are still handled.
    void framesBeforeClose_data() { addFragmentedRows(); }
    void framesBeforeClose()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A64"));
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A65"));
        rig.server.closeConnection();
        QUORIN_TRY_COMPARE(nums.count(), 2);
        QCOMPARE(nums.at(1).first().toInt(), 5);
    }

    // A reconnect of the same link keeps the whole frames already received and handles them.
    void reconnectKeepsReceivedFrames()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QList<int> seen;
        QObject::connect(rig.sock.get(), &QuorinSock::RxNumFax, [&](int n) {
            seen << n;
            if (n == 1)
                rig.sock->ReConnect(); // as a failed send does, with frame 2 still in the buffer
        });
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A61") +
                        FakeFaxServer::answer(u"NUMFAX", u"\u00A62") +
                        FakeFaxServer::rawAnswer("NUMFAX", "\xA6"));
        QUORIN_TRY_COMPARE(seen, (QList<int>{1, 2}));
    }

    // A frame that fails is reported and lost; the frames after it are handled.
    void failingFrame_data() { addFragmentedRows(); }
    void failingFrame()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        rig.server.send(
            FakeFaxServer::answer(u"NUMFAX", u"\u00A6tre") + FakeFaxServer::answer(u"NUMFAX", u"\u00A67") +
            FakeFaxServer::answer(u"FAXPROGR", u"id<#>9600<#>1<#>2<#>50<#>3<#>d<#>n<#>x<#>3<#>#1") +
            FakeFaxServer::answer(u"NUMFAX", u"\u00A68"));
        QUORIN_TRY_COMPARE(nums.count(), 2);
        QCOMPARE(nums.at(0).first().toInt(), 7);
        QCOMPARE(nums.at(1).first().toInt(), 8);
        QCOMPARE(errors.count(), 2);
        QCOMPARE(errors.at(0).at(3).toString(), u"DataArrival.NUMFAX"_s);
        QCOMPARE(errors.at(1).at(3).toString(), u"DataArrival.FAXPROGR"_s);
    }

    // Garbled server data of every kind: errors are reported, nothing crashes, the link goes on.
    void garbledFrames()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(SentList, 2);
        const char *keywords[] = {
            "VERSIONI",     "USER",      "SPEDITI",   "FRM_INOLTRO_USR", "FRM_INOLTRO_GRP", "NUMFAX",
            "FILE",         "FILEUPD",   "STARTFILE", "ENDFILE",         "FINEUPD",         "NOFILE",
            "CHILDRENTREE", "NEWFOLDER", "GETINFO",   "GETREPORT",       "RXFAX",           "FAXCOMPLETE",
            "TBUPDATE",     "FAXPROGR",  "RUBRICA",   "MAXUSERS"};
        const QByteArray pieces[] = {"<#>", "<\xCC\xCC>", "\xA6",        "12",     "-3",
                                     "x",   "..",         "/",           "D5",     "V",
                                     "",    "1e9",        "99999999999", "<\xB6>", "<\xA5>"};
        QRandomGenerator random(20261209);
        QByteArray burst;
        for (int i = 0; i < 400; ++i) {
            QByteArray data;
            const int parts = random.bounded(30);
            for (int p = 0; p < parts; ++p)
                data += pieces[random.bounded(int(std::size(pieces)))];
            burst += FakeFaxServer::rawAnswer(keywords[random.bounded(int(std::size(keywords)))], data);
        }
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        rig.server.send(burst + FakeFaxServer::answer(u"NUMFAX", u"\u00A6424242"));
        QUORIN_TRY_VERIFY(!nums.isEmpty() && nums.last().first().toInt() == 424242);
        QCOMPARE(rig.sock->State(), 7);
        // Nothing climbed out of the update folder.
        QVERIFY(!QFile::exists(QFileInfo(rig.sock->NameUpdateFolder()).absolutePath() + u"/x"_s));
    }

    // A host handler that runs a modal loop keeps receiving: the next frame arrives inside it.
    void modalHandlerKeepsReceiving()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A61"));
        rig.server.pause();
        rig.server.send(FakeFaxServer::answer(u"NUMFAX", u"\u00A62"));
        QList<int> seen;
        bool secondInsideFirst = false;
        QObject::connect(rig.sock.get(), &QuorinSock::RxNumFax, [&](int n) {
            seen << n;
            if (n != 1)
                return;
            QEventLoop modal;
            QObject::connect(rig.sock.get(), &QuorinSock::RxNumFax, &modal, [&](int m) {
                if (m == 2) {
                    secondInsideFirst = true;
                    modal.quit();
                }
            });
            QTimer::singleShot(TestWait::bound(), &modal, &QEventLoop::quit);
            rig.server.release();
            modal.exec();
        });
        QUORIN_TRY_COMPARE(seen.size(), 2);
        QVERIFY(secondInsideFirst);
    }

    // The fake server answers the discovery probe on its port + 1, whole frames or split.
    void discoveryProbe()
    {
        FakeFaxServer server;
        server.setServerName(u"FAXSRV"_s);
        QVERIFY(server.listen());
        QTcpSocket probe;
        QByteArray got;
        QObject::connect(&probe, &QTcpSocket::readyRead, [&] { got += probe.readAll(); });
        probe.connectToHost(QHostAddress::LocalHost, server.port() + 1);
        QUORIN_TRY_COMPARE(probe.state(), QAbstractSocket::ConnectedState);
        const QByteArray ask = FakeFaxServer::query(u"CHECKSERVER", u"mario");
        probe.write(ask.left(5));
        QUORIN_TRY_COMPARE(probe.bytesToWrite(), 0);
        probe.write(ask.mid(5));
        QUORIN_TRY_COMPARE(got, FakeFaxServer::answer(u"CHECKSERVER", u"FAXSRV"));
        QCOMPARE(server.probeCount(), 1);
    }

    // The socket pass-through: listen, take a connection request, send raw bytes.
    void listenAndAccept()
    {
        QuorinSock sock;
        sock.Bind(0, u"127.0.0.1"_s);
        sock.Listen();
        QCOMPARE(sock.State(), 2);
        QVERIFY(sock.LocalPort() > 0);
        QSignalSpy request(&sock, &QuorinSock::ConnectionRequest);
        QTcpSocket peer;
        QByteArray got;
        QObject::connect(&peer, &QTcpSocket::readyRead, [&] { got += peer.readAll(); });
        peer.connectToHost(QHostAddress::LocalHost, quint16(sock.LocalPort()));
        QVERIFY(TestWait::forSignal(request));
        sock.Accept(request.first().first().toInt());
        QCOMPARE(sock.State(), 7);
        sock.SendData(QByteArrayLiteral("raw\x80"));
        QUORIN_TRY_COMPARE(got, QByteArrayLiteral("raw\x80"));
        sock.ConnectClose();
        QCOMPARE(sock.State(), 0);
    }

    void properties()
    {
        QSettings bag(m_home.filePath(u"bag.ini"_s), QSettings::IniFormat);
        {
            QuorinSock sock;
            sock.setRemoteHost(u"fax.example"_s);
            sock.setRemotePort(9456);
            sock.WriteProperties(bag);
        }
        QVERIFY(bag.contains(u"RemoteHost"_s));
        QVERIFY(!bag.contains(u"Protocol"_s)); // default values are not stored
        QuorinSock again;
        again.ReadProperties(bag);
        QCOMPARE(again.RemoteHost(), u"fax.example"_s);
        QCOMPARE(again.RemotePort(), 9456);
    }

    void serverSettingsReconnect_data()
    {
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("connections");
        QTest::newRow("changed") << true << true << 2;
        QTest::newRow("unchanged") << true << false << 1;
        QTest::newRow("cancelled") << false << true << 1;
    }
    void serverSettingsReconnect()
    {
        QFETCH(bool, confirmed);
        QFETCH(bool, changed);
        LinkRig rig(false);
        QVERIFY(rig.login());
        FakeFaxServer other;
        QVERIFY(other.listen());
        rig.sock->setServerConfDialog([&](QWidget *, QString &server, int &port, int) {
            if (changed)
                port = other.port();
            Q_UNUSED(server);
            return confirmed;
        });
        rig.sock->LaunchServerConf(1);
        QFETCH(int, connections);
        QUORIN_TRY_COMPARE(rig.server.connectionCount() + other.connectionCount(), connections);
    }
};

QTEST_MAIN(TestQuorinSockConnect)
#include "tst_quorinsock_connect.moc"
