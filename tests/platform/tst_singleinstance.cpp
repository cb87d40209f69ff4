// One instance per user, and raising the running instance's window.
#include "SingleInstance.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

class tst_SingleInstance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void secondInstanceRaisesFirst();
    void leftoverSocketFileIsNoInstance();
    void raiseWithoutInstance();
    void instanceGoneFreesTheName();
    void foreignRequestIgnored();
    void servingLeavesLaterInstancesAlone();

private:
    TestHome m_dir;
};

void tst_SingleInstance::initTestCase()
{
    QVERIFY(m_dir.setUp());
}

void tst_SingleInstance::secondInstanceRaisesFirst()
{
    QWidget window;
    window.showMinimized();
    SingleInstance first(u"ProgA"_s);
    first.setWindow(&window);
    QSignalSpy firstClaimed(&first, &SingleInstance::claimed);
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);
    first.claim();
    QVERIFY(TestWait::forSignal(firstClaimed));
    QVERIFY(first.isClaimed());
    // The socket sits in the private folder, named after program and user.
    const QString path = SingleInstance::socketPath(u"ProgA"_s);
    QVERIFY(path.startsWith(m_dir.filePath(u"run"_s)));
    QVERIFY(QFileInfo(path).fileName().startsWith(u"ProgA-"_s));

    SingleInstance second(u"ProgA"_s);
    QSignalSpy secondRunning(&second, &SingleInstance::alreadyRunning);
    QSignalSpy secondClaimed(&second, &SingleInstance::claimed);
    second.claim();
    QVERIFY(TestWait::forSignal(secondRunning));
    QVERIFY(secondClaimed.isEmpty());
    QVERIFY(!second.isClaimed());
    QUORIN_TRY_COMPARE(raised.size(), 1);
    QVERIFY(!window.isMinimized());
    QVERIFY(window.isVisible());

    // Another program's name is free.
    SingleInstance other(u"ProgB"_s);
    QSignalSpy otherClaimed(&other, &SingleInstance::claimed);
    other.claim();
    QVERIFY(TestWait::forSignal(otherClaimed));
}

void tst_SingleInstance::leftoverSocketFileIsNoInstance()
{
    // A crashed instance leaves its socket file behind.
    const QString path = SingleInstance::socketPath(u"ProgC"_s);
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstance instance(u"ProgC"_s);
    QSignalSpy claimed(&instance, &SingleInstance::claimed);
    instance.claim();
    QVERIFY(TestWait::forSignal(claimed));
    bool delivered = false, answered = false;
    SingleInstance::requestRaise(u"ProgC"_s, this, [&](bool ok) {
        delivered = ok;
        answered = true;
    });
    QVERIFY(!answered); // never inside the call
    QUORIN_TRY_VERIFY(answered);
    QVERIFY(delivered);
}

void tst_SingleInstance::raiseWithoutInstance()
{
    bool answered = false, delivered = true;
    SingleInstance::requestRaise(u"Nobody"_s, this, [&](bool ok) {
        delivered = ok;
        answered = true;
    });
    QUORIN_TRY_VERIFY(answered);
    QVERIFY(!delivered);
}

void tst_SingleInstance::instanceGoneFreesTheName()
{
    {
        SingleInstance first(u"ProgD"_s);
        QSignalSpy claimed(&first, &SingleInstance::claimed);
        first.claim();
        QVERIFY(TestWait::forSignal(claimed));
    }
    SingleInstance next(u"ProgD"_s);
    QSignalSpy claimed(&next, &SingleInstance::claimed);
    next.claim();
    QVERIFY(TestWait::forSignal(claimed));
}

void tst_SingleInstance::foreignRequestIgnored()
{
    QWidget window;
    window.showMinimized();
    SingleInstance instance(u"ProgE"_s);
    instance.setWindow(&window);
    QSignalSpy claimed(&instance, &SingleInstance::claimed);
    instance.claim();
    QVERIFY(TestWait::forSignal(claimed));
    QSignalSpy raised(&instance, &SingleInstance::raiseRequested);
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::socketPath(u"ProgE"_s));
    QVERIFY(socket.waitForConnected(TestWait::bound()));
    socket.write(QByteArray(200, 'x'));
    QVERIFY(socket.waitForBytesWritten(TestWait::bound()));
    QUORIN_TRY_VERIFY(socket.state() == QLocalSocket::UnconnectedState);
    QVERIFY(raised.isEmpty());
    QVERIFY(window.isMinimized());
}

void tst_SingleInstance::servingLeavesLaterInstancesAlone()
{
    QWidget window;
    window.showMinimized();
    SingleInstance first(u"ProgF"_s);
    first.setWindow(&window);
    QVERIFY(first.serve());
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);
    SingleInstance second(u"ProgF"_s);
    QSignalSpy running(&second, &SingleInstance::alreadyRunning);
    QVERIFY(!second.serve());
    // Others still reach the first one, and only they do.
    bool answered = false;
    SingleInstance::requestRaise(u"ProgF"_s, this, [&](bool ok) { answered = ok; });
    QUORIN_TRY_VERIFY(answered);
    QUORIN_TRY_COMPARE(raised.size(), 1);
    QVERIFY(running.isEmpty());
    QVERIFY(!window.isMinimized());
}

QTEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
