#pragma once

// A control and a fake fax server for one test: private folders, a script, a login.
#include "FakeFaxServer.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "TestHome.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// Rights of a user with every right: name, forward, send, forward, book, (unused), delete, read, modify, add.
inline QString allRights(const QString &user = u"mario"_s)
{
    return user + u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s;
}

// Every test points the user folders at a temporary folder, so nothing touches the real home folder.
inline void useTemporaryHome(TestHome &home)
{
    QVERIFY(home.setUp(TestHome::Layout::ByVariable));
    Prompt::setAnswering(true);
}

struct LinkRig
{
    FakeFaxServer server;
    std::unique_ptr<QuorinSock> sock = std::make_unique<QuorinSock>();

    explicit LinkRig(bool fragmented)
    {
        server.setFragmented(fragmented);
        sock->setTimeCheckServer(5000);
    }

    // Connects as `user`; the server checks the login frame, announces versions and answers with `rights`.
    bool login(const QString &rights = allRights(), const QString &user = u"mario"_s)
    {
        if (!server.listen())
            return false;
        server.expect(FakeFaxServer::answer(u"USER", user));
        server.send(FakeFaxServer::answer(u"VERSIONI", u"1.0.0<#>2.1.0<#>2.2.0<#>2.3.0<#>0.9"));
        server.send(FakeFaxServer::answer(u"USER", rights));
        QSignalSpy connected(sock.get(), &QuorinSock::Connected);
        sock->Connect(u"127.0.0.1"_s, server.port(), user);
        return TestWait::forSignal(connected) && server.errors().isEmpty();
    }

    // Waits (event loop running) until the server has received these exact frame bytes.
    bool received(const QByteArray &frame, int ms = TestWait::bound())
    {
        return QTest::qWaitFor([&] { return server.hasReceived(frame); }, ms);
    }
};

inline void addFragmentedRows()
{
    QTest::addColumn<bool>("fragmented");
    QTest::newRow("whole") << false;
    QTest::newRow("fragmented") << true;
}
