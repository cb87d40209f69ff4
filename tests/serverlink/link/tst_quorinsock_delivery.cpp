// "Sent" only when the server has it: uploads against a server that cuts the link after any frame, reads
// slowly, or loses a document; and a close that never drops queued bytes.
#include "LinkRig.h"
#include "faxOut.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray content(qsizetype n, char seed)
{
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char((i * 31 + seed) % 253);
    return out;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
    return path;
}

// Whether the bytes the server holds carry the whole upload of `key`: every file as announced, then FINEFAX.
bool serverHasWholeFax(const FakeFaxServer &server, const QString &key, const QList<QByteArray> &files)
{
    QList<QByteArray> got;
    bool finished = false;
    for (const FakeFaxServer::Frame &f : server.receivedFrames()) {
        if (f.keyword == "STARTFILE" && f.text().contains(key))
            got << QByteArray();
        else if (f.keyword == "FILE" && !got.isEmpty() && f.text().startsWith(key + u"<#>"_s)) {
            const qsizetype first = f.data.indexOf("<#>");
            const qsizetype last = f.data.lastIndexOf("<#>");
            got.last() += f.data.mid(first + 3, last - first - 3);
        } else if (f.keyword == "FINEFAX" && f.text() == key)
            finished = true;
    }
    return finished && got == files;
}

struct Upload
{
    QList<QByteArray> files; // two documents and the cover, in upload order
    std::unique_ptr<faxOut> fax;
};

Upload makeUpload(const QTemporaryDir &dir, qsizetype documentSize)
{
    Upload u;
    u.files = {content(documentSize, 1), content(documentSize / 2 + 5, 2), content(3000, 3)};
    const QString a = writeFile(dir, u"a.tif"_s, u.files[0]);
    const QString b = writeFile(dir, u"b.tif"_s, u.files[1]);
    const QString c = writeFile(dir, u"cover.tif"_s, u.files[2]);
    u.fax = std::make_unique<faxOut>();
    u.fax->setAllFaxFiles(a + u'+' + b);
    u.fax->setCoverPage(c);
    u.fax->setDestName(u"Rossi"_s);
    u.fax->setDestFax(u"0212345"_s);
    return u;
}

// Errors raised for this fax's key.
int errorsFor(const QSignalSpy &errors, const QString &key)
{
    int n = 0;
    for (const QList<QVariant> &e : errors) {
        if (e.at(3).toString().contains(key))
            ++n;
    }
    return n;
}

} // namespace

class tst_QuorinSockDelivery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void cutAfterEveryFrame_data();
    void cutAfterEveryFrame();
    void slowServerGetsEveryByteBeforeSent();
    void programEndingAfterSentLosesNothing();
    void deletedDocumentIsNeverSent();
    void closeLinkFlushesQueuedBytes();
    void closeLinkTimesOutWithError();
    void closeSettlesFaxes_data();
    void closeSettlesFaxes();

private:
    TestHome m_home;
    QTemporaryDir *m_files = nullptr;
};

void tst_QuorinSockDelivery::init()
{
    useTemporaryHome(m_home);
    m_files = new QTemporaryDir;
}

void tst_QuorinSockDelivery::cleanup()
{
    delete m_files;
    Prompt::setAnswering(false);
}

void tst_QuorinSockDelivery::cutAfterEveryFrame_data()
{
    QTest::addColumn<bool>("fragmented");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("slowBytes");
    // The upload: NEWFAX, NOMSG, then per file STARTFILE, its FILE frames, ENDFILE, and FINEFAX.
    // Documents of 600 000 and 300 005 bytes and a 3000-byte cover make 2 + 4 + 3 + 3 + 1 = 13 frames.
    const int frames = 13;
    for (int n = 1; n <= frames; ++n) {
        QTest::addRow("close after %d", n) << false << false << 0;
        QTest::addRow("reset after %d", n) << false << true << 0;
        QTest::addRow("fragmented slow close after %d", n) << true << false << 65536;
    }
}

void tst_QuorinSockDelivery::cutAfterEveryFrame()
{
    QFETCH(bool, fragmented);
    QFETCH(bool, reset);
    QFETCH(int, slowBytes);
    const int n = QString::fromLatin1(QTest::currentDataTag()).section(u' ', -1).toInt();
    LinkRig rig(fragmented);
    QVERIFY(rig.login());

    Upload up = makeUpload(*m_files, 600000);
    FakeFaxServer::Faults faults;
    faults.cutAfterFrames = n;
    faults.cutWithReset = reset;
    faults.slowReadBytes = slowBytes;
    faults.slowReadIntervalMs = 1;
    rig.server.setFaults(faults);

    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    const QString key = rig.sock->SendNewFax(std::move(up.fax));
    QVERIFY(key.startsWith(u'#'));

    // Exactly one outcome, and it comes.
    QUORIN_TRY_VERIFY(sent.count() + errorsFor(errors, key) >= 1);
    QTest::qWait(50); // a second outcome would show up now
    QCOMPARE(sent.count() + errorsFor(errors, key), 1);
    if (sent.count() == 1) {
        QCOMPARE(sent.at(0).at(0).toString(), key);
        QVERIFY2(serverHasWholeFax(rig.server, key, up.files), "sent, yet the server lacks bytes");
    }
    QVERIFY(rig.server.cutDone());
    QVERIFY(rig.server.errors().isEmpty());
}

void tst_QuorinSockDelivery::slowServerGetsEveryByteBeforeSent()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    Upload up = makeUpload(*m_files, 800000);
    FakeFaxServer::Faults faults;
    faults.slowReadBytes = 32768;
    faults.slowReadIntervalMs = 2;
    rig.server.setFaults(faults);

    qint64 heldAtSent = -1;
    connect(rig.sock.get(), &QuorinSock::SentFax2Server, &rig.server,
            [&] { heldAtSent = rig.server.received().size() + rig.server.unreadBytes(); });
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    const QString key = rig.sock->SendNewFax(std::move(up.fax));
    QVERIFY(TestWait::forSignal(sent));
    // Whatever the server's program had read by then, its end of the link held every byte.
    rig.server.clearFaults();
    QUORIN_TRY_VERIFY(serverHasWholeFax(rig.server, key, up.files));
    QCOMPARE(heldAtSent, rig.server.received().size());
}

void tst_QuorinSockDelivery::programEndingAfterSentLosesNothing()
{
    // Two faxes in a row to a slow server, the control destroyed right after the second "sent" (a hidden
    // run ends there): both arrive whole.
    LinkRig rig(false);
    QVERIFY(rig.login());
    Upload first = makeUpload(*m_files, 500000);
    QTemporaryDir other;
    Upload second = makeUpload(other, 400000);
    FakeFaxServer::Faults faults;
    faults.slowReadBytes = 65536;
    faults.slowReadIntervalMs = 1;
    rig.server.setFaults(faults);

    QStringList keys;
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    keys << rig.sock->SendNewFax(std::move(first.fax));
    keys << rig.sock->SendNewFax(std::move(second.fax));
    QUORIN_TRY_COMPARE(sent.count(), 2);
    rig.sock.reset();
    rig.server.clearFaults();
    QUORIN_TRY_VERIFY(serverHasWholeFax(rig.server, keys[0], first.files));
    QUORIN_TRY_VERIFY(serverHasWholeFax(rig.server, keys[1], second.files));
}

void tst_QuorinSockDelivery::deletedDocumentIsNeverSent()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    Upload up = makeUpload(*m_files, 1000);
    const QString gone = m_files->filePath(u"b.tif"_s);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    const QString key = rig.sock->SendNewFax(std::move(up.fax));
    QVERIFY(QFile::remove(gone)); // before its turn: the upload runs from the event loop
    QUORIN_TRY_COMPARE(errorsFor(errors, key), 1);
    QTest::qWait(100);
    QCOMPARE(sent.count(), 0);
    QCOMPARE(errors.at(0).at(0).toInt(), 53);
    QVERIFY(errors.at(0).at(3).toString().contains(gone));
    QVERIFY(rig.server.receivedFrames("FINEFAX").isEmpty());
}

void tst_QuorinSockDelivery::closeLinkFlushesQueuedBytes()
{
    // A big request queued on a slow server, then the link closed: every byte still arrives.
    LinkRig rig(false);
    QVERIFY(rig.login());
    FakeFaxServer::Faults faults;
    faults.slowReadBytes = 65536;
    faults.slowReadIntervalMs = 1;
    rig.server.setFaults(faults);
    const QString prev = QString(300000, u'k');
    rig.sock->SetActiveList(PersonalList, 1);
    for (int i = 0; i < 20; ++i)
        rig.sock->AskFax(prev + QString::number(i));
    QSignalSpy closed(rig.sock.get(), &QuorinSock::LinkClosed);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    rig.sock->CloseLink(20000);
    QVERIFY(TestWait::forSignal(closed));
    QCOMPARE(closed.at(0).at(0).toBool(), true);
    QCOMPARE(errors.count(), 0);
    QUORIN_TRY_COMPARE(rig.server.receivedFrames("FILE").size(), 20);
    QVERIFY(rig.server.receivedFrames("FILE").last().text().endsWith(u"19"_s));
}

void tst_QuorinSockDelivery::closeLinkTimesOutWithError()
{
    // A server that stops reading: the close gives up at its bound and says so.
    LinkRig rig(false);
    QVERIFY(rig.login());
    FakeFaxServer::Faults faults;
    faults.slowReadBytes = 1;
    faults.slowReadIntervalMs = 100000;
    rig.server.setFaults(faults);
    rig.sock->SetActiveList(PersonalList, 1);
    for (int i = 0; i < 40; ++i)
        rig.sock->AskFax(QString(200000, u'z'));
    QSignalSpy closed(rig.sock.get(), &QuorinSock::LinkClosed);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    rig.sock->CloseLink(300);
    QVERIFY(TestWait::forSignal(closed));
    QCOMPARE(closed.at(0).at(0).toBool(), false);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(3).toString(), u"CloseLink"_s);
    QVERIFY(errors.at(0).at(1).toString().contains(u"byte"_s));
}

// A fax the server's TCP took, then the link closed: delivered only when the server ended its side after
// our end of stream; a server that keeps the link open past the bound has it acknowledged only; a reset
// before (what the server had not read lost with it) leaves it not delivered.
void tst_QuorinSockDelivery::closeSettlesFaxes_data()
{
    QTest::addColumn<int>("server"); // 0 reads and closes, 1 never reads again, 2 resets after the fax
    QTest::addColumn<int>("outcome");
    QTest::newRow("server ends its side") << 0 << int(QuorinSock::Delivered);
    QTest::newRow("server keeps the link open") << 1 << int(QuorinSock::AcknowledgedOnly);
    QTest::newRow("server resets") << 2 << int(QuorinSock::NotDelivered);
}

void tst_QuorinSockDelivery::closeSettlesFaxes()
{
    QFETCH(int, server);
    QFETCH(int, outcome);
    LinkRig rig(false);
    QVERIFY(rig.login());
    Upload up = makeUpload(*m_files, 2000);
    FakeFaxServer::Faults faults;
    if (server == 2) {
        faults.cutAfterKeyword = "FINEFAX";
        faults.cutWithReset = true;
        faults.keepUnreadAtCut = false;
    }
    rig.server.setFaults(faults);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy settled(rig.sock.get(), &QuorinSock::FaxesSettled);
    QSignalSpy closed(rig.sock.get(), &QuorinSock::LinkClosed);
    const QString key = rig.sock->SendNewFax(std::move(up.fax));
    QVERIFY(TestWait::forSignal(sent));
    if (server == 1) {
        // From now on the server reads nothing: it never sees our end of stream.
        faults.slowReadBytes = 1;
        faults.slowReadIntervalMs = 1000000;
        rig.server.setFaults(faults);
        rig.sock->SetActiveList(PersonalList, 1); // its first byte fills the reader's buffer
    }
    if (server == 2)
        QUORIN_TRY_VERIFY(rig.server.cutDone());
    rig.sock->CloseLink(server == 1 ? 400 : 10000);
    QUORIN_TRY_COMPARE(closed.count(), 1);
    QCOMPARE(settled.count(), 1);
    QCOMPARE(settled.at(0).at(0).toStringList(), QStringList{key});
    QCOMPARE(settled.at(0).at(1).toInt(), outcome);
    QCOMPARE(closed.at(0).at(0).toBool(), outcome == QuorinSock::Delivered);
    QVERIFY(rig.sock->UnsettledFaxes().isEmpty());
}

QTEST_MAIN(tst_QuorinSockDelivery)
#include "tst_quorinsock_delivery.moc"
