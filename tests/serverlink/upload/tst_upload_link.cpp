// Faxes, images and server search through the control, against the fake fax server.
#include "LinkRig.h"
#include "faxOut.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

namespace {

using Frame = FakeFaxServer::Frame;

QByteArray content(qsizetype n, char seed)
{
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char((i * 13 + seed) % 251);
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

// The frames from the first one with this keyword on.
QList<Frame> framesFrom(const QList<Frame> &frames, const QByteArray &keyword)
{
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (frames[i].keyword == keyword)
            return frames.mid(i);
    }
    return {};
}

// What the server rebuilds from the frames of one upload: the announced size and the bytes of each file.
struct Rebuilt
{
    QList<QByteArray> files;
    QList<qint64> sizes;
    QList<QByteArray> covers; // "1" or "" per file
    QByteArrayList keywords;  // the frame keywords other than "FILE"
};

Rebuilt rebuild(const QList<Frame> &frames)
{
    Rebuilt out;
    for (const Frame &f : frames) {
        if (f.keyword == "FILE") {
            const qsizetype first = f.data.indexOf("<#>");
            const qsizetype last = f.data.lastIndexOf("<#>");
            out.files.last() += f.data.mid(first + 3, last - first - 3);
            continue;
        }
        out.keywords << f.keyword;
        if (f.keyword == "STARTFILE") {
            out.files << QByteArray();
            out.sizes << f.data.split('<').value(1).mid(2).toLongLong();
            out.covers << (f.data.endsWith("<#>1") ? QByteArray("1") : QByteArray());
        }
    }
    return out;
}

} // namespace

class tst_UploadLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void faxReachesServer_data();
    void faxReachesServer();
    void savedAsReceived();
    void faxAcrossRelogin_data();
    void faxAcrossRelogin();
    void editedImageGoesBack();
    void updateFilesRequest();
    void linkDropDuringUpload_data();
    void linkDropDuringUpload();
    void findServerProbesFakeServer_data();
    void findServerProbesFakeServer();
    void serverSettingsReconnect();

private:
    TestHome m_home;
    QTemporaryDir *m_files = nullptr;
};

void tst_UploadLink::init()
{
    useTemporaryHome(m_home);
    m_files = new QTemporaryDir;
}

void tst_UploadLink::cleanup()
{
    delete m_files;
    Prompt::setAnswering(false);
}

void tst_UploadLink::faxReachesServer_data()
{
    addFragmentedRows();
}

void tst_UploadLink::faxReachesServer()
{
    QFETCH(bool, fragmented);
    LinkRig rig(fragmented);
    QVERIFY(rig.login());

    // Image bytes that hold every separator, across more than one chunk.
    QByteArray first = content(409600 * 2 + 17, 1);
    first.replace(409598, 3, "<\xA7>");
    first.replace(1000, 12, "<#><\xB6><\xA5><\xA7>");
    const QByteArray second = content(3000, 2);
    const QByteArray cover = content(700, 3);
    const QString a = writeFile(*m_files, u"a.tif"_s, first);
    const QString b = writeFile(*m_files, u"b.tif"_s, second);
    const QString c = writeFile(*m_files, u"cover.tif"_s, cover);

    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(a + u'+' + b);
    fax->setCoverPage(c);
    fax->setDestName(u"Rossi;Bianchi"_s);
    fax->setDestFax(u"0212345;0267890"_s);
    fax->setSubject(u"Preventivo è pronto"_s);
    const QString block = Proto::BuildFaxFields(*fax, Proto::FaxCodeSend);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    const QString key = rig.sock->SendNewFax(std::move(fax));
    QVERIFY(key.startsWith(u'#'));
    QVERIFY(TestWait::forSignal(sent));
    QCOMPARE(sent.at(0).at(0).toString(), key);
    QUORIN_TRY_VERIFY(rig.server.hasReceived(FakeFaxServer::answer(u"FINEFAX", key)));

    const QList<Frame> frames = framesFrom(rig.server.receivedFrames(), "NEWFAX");
    QCOMPARE(frames.first().data,
             FakeFaxServer::latin(QString(a + u'+' + b + u"<#>"_s + key + u"<#>"_s + block + u"<#>"_s + c)));
    const Rebuilt rebuilt = rebuild(frames);
    QCOMPARE(rebuilt.keywords, (QByteArrayList{"NEWFAX", "NOMSG", "STARTFILE", "ENDFILE", "STARTFILE",
                                               "ENDFILE", "STARTFILE", "ENDFILE", "FINEFAX"}));
    QCOMPARE(rebuilt.files, (QList<QByteArray>{first, second, cover}));
    QCOMPARE(rebuilt.sizes, (QList<qint64>{first.size(), second.size(), cover.size()}));
    QCOMPARE(rebuilt.covers, (QList<QByteArray>{"", "", "1"}));
    QCOMPARE(errors.count(), 0);
}

// A fax sent after the server ended the link goes whole, once, after the new login; when the server is
// gone it is refused (not sent, the link lost) and nothing of it reaches a server.
void tst_UploadLink::faxAcrossRelogin_data()
{
    QTest::addColumn<bool>("back");
    QTest::addColumn<bool>("restarted");
    QTest::newRow("server up") << true << false;
    QTest::newRow("server restarted") << true << true;
    QTest::newRow("server gone") << false << false;
}

void tst_UploadLink::faxAcrossRelogin()
{
    QFETCH(bool, back);
    QFETCH(bool, restarted);
    LinkRig rig(false);
    QVERIFY(rig.login());
    rig.server.setResponder([](FakeFaxServer &s, const FakeFaxServer::Frame &f) {
        if (f.keyword == "USER" && f.answer)
            s.sendNow(FakeFaxServer::answer(u"USER", allRights()));
    });
    const QByteArray doc = content(5000, 5);
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(writeFile(*m_files, u"relogin.tif"_s, doc));
    fax->setDestFax(u"0212345"_s);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    QSignalSpy lost(rig.sock.get(), &QuorinSock::ConnectionNotAvailable);
    const quint16 port = rig.server.port();
    if (back && !restarted)
        rig.server.dropClient();
    else
        rig.server.stopListening();
    QUORIN_TRY_COMPARE(rig.sock->State(), 8);
    if (restarted)
        QVERIFY(rig.server.listen(port)); // back on the same port before the fax is given
    rig.server.clearReceived();
    const QString key = rig.sock->SendNewFax(std::move(fax));
    QVERIFY(key.startsWith(u'#'));
    if (!back) {
        QVERIFY(TestWait::forSignal(lost));
        QCOMPARE(lost.count(), 1);
        bool told = false;
        for (const auto &e : errors)
            told |= e.at(3).toString().startsWith(u"SendFax : "_s + key);
        QVERIFY(told);
        QTest::qWait(200);
        QCOMPARE(sent.count(), 0);
        QVERIFY(rig.server.receivedFrames("NEWFAX").isEmpty());
        return;
    }
    QVERIFY(TestWait::forSignal(sent));
    QCOMPARE(sent.at(0).at(0).toString(), key);
    QUORIN_TRY_VERIFY(rig.server.hasReceived(FakeFaxServer::answer(u"FINEFAX", key)));
    const QList<Frame> frames = rig.server.receivedFrames();
    QCOMPARE(frames.first().keyword, QByteArray("USER"));
    const Rebuilt rebuilt = rebuild(framesFrom(frames, "NEWFAX"));
    QCOMPARE(rebuilt.keywords, (QByteArrayList{"NEWFAX", "NOMSG", "STARTFILE", "ENDFILE", "FINEFAX"}));
    QCOMPARE(rebuilt.files, QList<QByteArray>{doc});
    QCOMPARE(lost.count(), 0);
}

void tst_UploadLink::savedAsReceived()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    const QString doc = writeFile(*m_files, u"print.tif"_s, content(5000, 4));
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(doc);
    fax->setRemoteID(u"0211111"_s);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    const QString key = rig.sock->SaveFaxToRX(std::move(fax));
    QVERIFY(TestWait::forSignal(sent));
    QVERIFY(rig.received(FakeFaxServer::answer(u"FINEFAX", key)));
    const QList<Frame> frames = framesFrom(rig.server.receivedFrames(), "NEWRXFAX");
    QVERIFY(!frames.isEmpty());
    QVERIFY(frames.first().data.contains("<\xBF>True<\xBF>"));
    QVERIFY(frames.first().data.contains("<\xBF>1<\xBF>1<\xBF>4<\xBF>True<\xBF>"));
    QCOMPARE(rebuild(frames).files, QList<QByteArray>{content(5000, 4)});
    QVERIFY(frames.first().data.contains(FakeFaxServer::latin(QString(u"<#>"_s + key + u"<#>"_s))));
}

void tst_UploadLink::editedImageGoesBack()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    rig.sock->SetActiveList(SentList, 2);
    QFile image(rig.sock->NameTempFile());
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write(content(1234, 5));
    image.close();

    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    rig.sock->SendUpdateTmpFile(u"S77"_s);
    QVERIFY(TestWait::forSignal(sent));
    const QString key = sent.at(0).at(0).toString();
    QVERIFY(rig.received(FakeFaxServer::answer(u"FINEFAX", key)));
    const QList<Frame> frames = framesFrom(rig.server.receivedFrames(), "AGGFAX");
    QCOMPARE(frames.first().data, FakeFaxServer::latin(QString(rig.sock->NameTempFile() + u"<#>"_s + key +
                                                               u"<#><#>S77<#>SPEDITI"_s)));
    QCOMPARE(rebuild(frames).files, QList<QByteArray>{content(1234, 5)});
    QCOMPARE(rig.sock->SendUpdateFile(m_files->filePath(u"none.tif"_s), u"S1"_s), QString());
}

void tst_UploadLink::updateFilesRequest()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    rig.sock->UpdateFiles();
    QVERIFY(rig.received(FakeFaxServer::query(u"UPDATEFILES")));
}

void tst_UploadLink::linkDropDuringUpload_data()
{
    QTest::addColumn<bool>("stopReading");
    QTest::newRow("link cut") << false;
    // The server keeps the link and reads nothing more: after the stall bound the link is let go, the fax
    // reported not sent with the reason, never as a cut link.
    QTest::newRow("server stops reading") << true;
}

void tst_UploadLink::linkDropDuringUpload()
{
    QFETCH(bool, stopReading);
    LinkRig rig(false);
    QVERIFY(rig.login());
    // Far more than the loopback buffers hold, so the drop finds the upload under way.
    const QByteArray big = content(24 * 1024 * 1024, 6);
    const QString path = writeFile(*m_files, u"big.tif"_s, big);
    if (stopReading) {
        FakeFaxServer::Faults faults;
        faults.stopReading = true;
        rig.server.setFaults(faults);
        rig.sock->setUploadStallBound(500);
    } else {
        connect(&rig.server, &FakeFaxServer::frameReceived, this, [&](const Frame &f) {
            if (f.keyword == "FILE")
                rig.server.dropClient();
        });
    }
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(path);
    QSignalSpy sent(rig.sock.get(), &QuorinSock::SentFax2Server);
    QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
    const QString key = rig.sock->SendNewFax(std::move(fax));
    QUORIN_TRY_VERIFY(std::any_of(errors.cbegin(), errors.cend(), [&](const QList<QVariant> &e) {
        return e.at(3).toString().contains(key);
    }));
    QCOMPARE(sent.count(), 0);
    if (stopReading) {
        const auto told = std::find_if(errors.cbegin(), errors.cend(), [&](const QList<QVariant> &e) {
            return e.at(3).toString() == u"SendFax : "_s + key + u" : "_s + path;
        });
        QVERIFY(told != errors.cend());
        QCOMPARE(told->at(0).toInt(), 10060);
        QCOMPARE(told->at(1).toString(), u"il server non riceve più dati: nessun byte accettato da 0.5 s."_s);
        QVERIFY(rig.sock->State() != 7);
        QVERIFY(!rig.server.hasReceived(FakeFaxServer::answer(u"FINEFAX", key)));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), big);
}

void tst_UploadLink::findServerProbesFakeServer_data()
{
    QTest::addColumn<QString>("serverName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("name known here") << u"localhost"_s << u"localhost"_s;
    QTest::newRow("name unknown here") << u"FAXSERVER-UNKNOWN"_s << u"127.0.0.1"_s;
}

void tst_UploadLink::findServerProbesFakeServer()
{
    QFETCH(QString, serverName);
    QFETCH(QString, expected);
    FakeFaxServer server;
    server.setServerName(serverName);
    QVERIFY(server.listen());
    QuorinSock sock;
    sock.setTimeSearchServersAvailable(2000);
    QVERIFY(sock.FindServer(QString(), server.port()));
    QCOMPARE(sock.SockServer(), expected);
    QCOMPARE(sock.SockPort(), int(server.port()));
    QUORIN_TRY_COMPARE(server.probeCount(), 1);
}

void tst_UploadLink::serverSettingsReconnect()
{
    LinkRig rig(false);
    QVERIFY(rig.login());
    Prompt::setDialogHandler([](QDialog *dialog) {
        if (dialog->objectName() != u"frmServerConf"_s)
            return int(QDialog::Rejected);
        dialog->findChild<QLineEdit *>(u"txtSockPort"_s)->setText(u"9999"_s);
        dialog->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return dialog->result();
    });
    rig.sock->LaunchServerConf(1);
    QCOMPARE(rig.sock->SockPort(), 9999);
    QCOMPARE(rig.sock->SockServer(), u"127.0.0.1"_s);
}

QTEST_MAIN(tst_UploadLink)
#include "tst_upload_link.moc"
