// Downloads of fax images and update files, against scripts and against the sample mailbox.
#include "LinkRig.h"
#include "WriteFaults.h"

#include <memory>
#include "SampleMailbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using F = FakeFaxServer;

// File content that never holds the frame terminator.
QByteArray content(int size, char seed = 'a')
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + (i * 7) % 23);
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestQuorinSockDownload : public QObject
{
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { useTemporaryHome(m_home); }

    void faxImage_data()
    {
        QTest::addColumn<bool>("fragmented");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("announced");
        QTest::addColumn<bool>("complete");
        for (bool fragmented : {false, true}) {
            const char *f = fragmented ? " fragmented" : "";
            QTest::addRow("complete%s", f) << fragmented << 1000 << 1000 << true;
            QTest::addRow("one byte short%s", f) << fragmented << 1000 << 1001 << false;
            QTest::addRow("one byte long%s", f) << fragmented << 1001 << 1000 << false;
            QTest::addRow("empty%s", f) << fragmented << 0 << 0 << false;
        }
    }
    void faxImage()
    {
        QFETCH(bool, fragmented);
        QFETCH(int, size);
        QFETCH(int, announced);
        QFETCH(bool, complete);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        rig.sock->SetActiveList(PersonalList, 1);
        rig.sock->AskFax(u"P101"_s);
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(u"FILE", u"PERSONALI<#>P101")));

        QSignalSpy ok(rig.sock.get(), &QuorinSock::RxFaxOk);
        QSignalSpy okKey(rig.sock.get(), &QuorinSock::RxFaxOkKey);
        QSignalSpy incomplete(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        const QByteArray bytes = content(size);
        rig.server.sendFile(bytes, {}, u"P101"_s, 400, announced);
        QUORIN_TRY_COMPARE(ok.count() + incomplete.count(), 1);
        QCOMPARE(okKey.count(), ok.count());
        if (complete) {
            const QString file = ok.first().first().toString();
            QCOMPARE(file, rig.sock->NameTempFile());
            QCOMPARE(okKey.first(), (QList<QVariant>{file, u"P101"_s}));
            QCOMPARE(readAll(file), bytes);
        } else {
            // A partial image is never left for the preview to show.
            QVERIFY(!QFile::exists(rig.sock->NameTempFile()));
        }
    }

    // The link cut in the middle of an image (50000 of 100000 bytes, then a reset or a close): no partial
    // file stays, and the host hears of the image as incomplete.
    void downloadCutInTheMiddle_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("reset") << true;
        QTest::newRow("orderly close") << false;
    }
    void downloadCutInTheMiddle()
    {
        QFETCH(bool, reset);
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy incomplete(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        QSignalSpy ok(rig.sock.get(), &QuorinSock::RxFaxOk);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        QByteArray frames = F::answer(u"STARTFILE", u"100000<#>");
        const QByteArray bytes = content(50000);
        for (qsizetype at = 0; at < bytes.size(); at += 1000)
            frames += F::rawAnswer("FILE", bytes.mid(at, 1000));
        rig.server.send(frames + F::answer(u"NUMFAX", u"\u00A61"));
        QVERIFY(TestWait::forSignal(nums)); // every piece is in
        const QString partial = rig.sock->NameTempFile();
        QVERIFY(QFile::exists(partial));
        if (reset)
            rig.server.resetClient();
        else
            rig.server.dropClient();
        QUORIN_TRY_COMPARE(incomplete.count(), 1);
        QVERIFY(!QFile::exists(partial));
        QCOMPARE(ok.count(), 0);
        QVERIFY(QDir(QFileInfo(partial).absolutePath()).entryList({u"TMPFAX*"_s}, QDir::Files).isEmpty());
    }

    // A fax image that does not fit on the disk stops with an Error that says why (a full disk where the
    // test may mount a small one over the link's folder, else the file-size limit); nothing half-written
    // stays, and the host is told the image is incomplete.
    void downloadThatDoesNotFit()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        const QString folder = QFileInfo(rig.sock->NameTempFile()).absolutePath();
        WriteFaults::SmallDisk disk(folder);
        std::unique_ptr<WriteFaults::FileSizeLimit> limit;
        if (!disk.mounted())
            limit = std::make_unique<WriteFaults::FileSizeLimit>(20000);
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy incomplete(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        const QByteArray bytes = content(100000);
        QByteArray frames = F::answer(u"STARTFILE", u"100000<#>");
        for (qsizetype at = 0; at < bytes.size(); at += 10000)
            frames += F::rawAnswer("FILE", bytes.mid(at, 10000));
        rig.server.send(frames + F::answer(u"ENDFILE", u"100000<#>"));
        QUORIN_TRY_VERIFY(errors.count() >= 1);
        limit.reset();
        const QString told = errors.first().at(1).toString();
        QVERIFY2(told.startsWith(u"Impossibile scrivere il file "_s + rig.sock->NameTempFile() + u": "_s) &&
                     told.contains(disk.mounted() ? u"il disco è pieno"_s : u"supererebbe la dimensione massima"_s),
                 qPrintable(told));
        QUORIN_TRY_COMPARE(incomplete.count(), 1);
        QVERIFY(!QFile::exists(rig.sock->NameTempFile()));
    }

    void faxNotFound_data() { addFragmentedRows(); }
    void faxNotFound()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QFile old(rig.sock->NameTempFile());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old image");
        old.close();
        QSignalSpy missing(rig.sock.get(), &QuorinSock::RxFaxNotFound);
        rig.server.send(F::answer(u"NOFILE", u"345"));
        QVERIFY(TestWait::forSignal(missing));
        QCOMPARE(missing.first().first().toInt(), 345);
        QVERIFY(!QFile::exists(rig.sock->NameTempFile()));
    }

    // A real multi-page fax image from the sample mailbox arrives byte for byte.
    void sampleMailboxImage_data() { addFragmentedRows(); }
    void sampleMailboxImage()
    {
        QFETCH(bool, fragmented);
        SampleMailbox mailbox;
        QVERIFY(mailbox.isValid());
        LinkRig rig(false);
        rig.server.setFragmented(fragmented, 97); // a real image is several kilobytes
        mailbox.attach(&rig.server);
        QVERIFY(rig.server.listen());
        QSignalSpy connected(rig.sock.get(), &QuorinSock::Connected);
        QSignalSpy list(rig.sock.get(), &QuorinSock::RxPersonalList);
        QSignalSpy okKey(rig.sock.get(), &QuorinSock::RxFaxOkKey);
        rig.sock->Connect(u"127.0.0.1"_s, rig.server.port(), u"mario"_s);
        QVERIFY(TestWait::forSignal(connected));
        rig.sock->SetActiveList(PersonalList, 1);
        QVERIFY(TestWait::forSignal(list));
        QVERIFY(rig.sock->FaxItems()->Count() >= 2);
        const QString key = rig.sock->FaxItems()->Item(1)->IdFax();
        rig.sock->AskFax(key);
        QVERIFY(TestWait::forSignal(okKey));
        QCOMPARE(okKey.first().at(1).toString(), key);
        const SampleMailbox::Fax fax = mailbox.faxes().first();
        QCOMPARE(fax.id, key);
        const QByteArray got = readAll(okKey.first().at(0).toString());
        QVERIFY(got.startsWith("II*"));
        QCOMPARE(got, readAll(fax.image));
    }

    void updateFiles_data() { addFragmentedRows(); }
    void updateFiles()
    {
        QFETCH(bool, fragmented);
        LinkRig rig(fragmented);
        QVERIFY(rig.login());
        QSignalSpy progress(rig.sock.get(), &QuorinSock::ReceivingUpdate);
        QSignalSpy done(rig.sock.get(), &QuorinSock::DownloadUpdComplete);
        rig.sock->UpdateFiles();
        QUORIN_TRY_VERIFY(rig.server.hasReceived(F::query(u"UPDATEFILES")));
        const QByteArray a = content(3000, 'b');
        const QByteArray b = content(2000, 'c');
        rig.server.send(F::answer(u"TBUPDATE", u"5000"));
        rig.server.sendFile(a, u"Quorin"_s, {}, 1024);
        rig.server.sendFile(b, u"UPDATE.RIS"_s, {}, 1024);
        rig.server.send(F::answer(u"FINEUPD"));
        QVERIFY(TestWait::forSignal(done));
        QCOMPARE(progress.count(), 3);
        QCOMPARE(progress.at(0), (QList<QVariant>{5000, 0}));
        QCOMPARE(progress.at(1), (QList<QVariant>{5000, 3000}));
        QCOMPARE(progress.at(2), (QList<QVariant>{5000, 5000}));
        const QDir folder(rig.sock->NameUpdateFolder());
        QCOMPARE(readAll(folder.filePath(u"Quorin"_s)), a);
        QCOMPARE(readAll(folder.filePath(u"UPDATE.RIS"_s)), b);
    }

    // Names from the server never lead outside the update folder.
    void unsafeUpdateNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << u"../evil"_s;
        QTest::newRow("absolute") << u"/tmp/evil"_s;
        QTest::newRow("sub folder") << u"sub/evil"_s;
        QTest::newRow("backslash") << u"..\\evil"_s;
        QTest::newRow("dot dot") << u".."_s;
        QTest::newRow("blanks") << u"   "_s;
    }
    void unsafeUpdateNames()
    {
        QFETCH(QString, name);
        LinkRig rig(false);
        QVERIFY(rig.login());
        QVERIFY(QDir(rig.sock->NameUpdateFolder()).removeRecursively());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy progress(rig.sock.get(), &QuorinSock::ReceivingUpdate);
        QSignalSpy done(rig.sock.get(), &QuorinSock::DownloadUpdComplete);
        const QString outside = QFileInfo(rig.sock->NameUpdateFolder()).absolutePath();
        rig.server.send(F::answer(u"TBUPDATE", u"20"));
        rig.server.sendFile(content(10), name, {}, 4);
        rig.server.sendFile(content(10), u"good.bin"_s, {}, 4);
        rig.server.send(F::answer(u"FINEUPD"));
        QVERIFY(TestWait::forSignal(done));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().at(3).toString().startsWith(u"DataArrival.STARTFILE"_s));
        // The refused name is named, not a generic "invalid argument".
        QVERIFY2(errors.first().at(1).toString().contains(u"\u00AB"_s + name + u"\u00BB"_s),
                 qPrintable(errors.first().at(1).toString()));
        QCOMPARE(progress.count(), 2); // the announcement and the good file
        QVERIFY(!QFile::exists(outside + u"/evil"_s));
        QCOMPARE(QDir(rig.sock->NameUpdateFolder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"good.bin"_s});
    }

    void shortUpdateFile()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy progress(rig.sock.get(), &QuorinSock::ReceivingUpdate);
        QSignalSpy done(rig.sock.get(), &QuorinSock::DownloadUpdComplete);
        rig.server.send(F::answer(u"TBUPDATE", u"100"));
        rig.server.sendFile(content(90), u"Sendora"_s, {}, 40, 100);
        rig.server.send(F::answer(u"FINEUPD"));
        QVERIFY(TestWait::forSignal(done));
        QCOMPARE(progress.count(), 1);
        QCOMPARE(errors.count(), 1);
        QVERIFY(!QFile::exists(QDir(rig.sock->NameUpdateFolder()).filePath(u"Sendora"_s)));
    }

    // A start that cannot be read drops the pieces; the host hears of it and asks again.
    void unreadableStart()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy incomplete(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        QSignalSpy ok(rig.sock.get(), &QuorinSock::RxFaxOk);
        rig.server.send(F::answer(u"STARTFILE", u"mille<#>") + F::rawAnswer("FILE", content(10)) +
                        F::answer(u"ENDFILE", u"10<#><#>P1"));
        QVERIFY(TestWait::forSignal(incomplete));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(ok.count(), 0);
    }

    // A server that sends past the size it announced (or announces more than any fax): the download stops
    // with Error, nothing is left behind, and the link goes on (the next image arrives whole).
    void downloadPastItsBounds_data()
    {
        QTest::addColumn<qint64>("announced");
        QTest::addColumn<qint64>("sent");
        QTest::addColumn<QString>("told");
        QTest::newRow("past the announced size") << qint64(4096) << qint64(8 << 20) << QString();
        QTest::newRow("announced past the limit") << (qint64(600) << 20) << qint64(4096) << u"oltre il limite"_s;
        QTest::newRow("a negative size") << qint64(-5) << qint64(4096)
                                         << u"Il server annuncia un file di -5 byte: dimensione non valida."_s;
    }
    void downloadPastItsBounds()
    {
        QFETCH(qint64, announced);
        QFETCH(qint64, sent);
        QFETCH(QString, told);
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy incomplete(rig.sock.get(), &QuorinSock::RxFaxIncomplete);
        QSignalSpy ok(rig.sock.get(), &QuorinSock::RxFaxOk);
        FakeFaxServer::Faults faults;
        faults.announceFewer = sent - announced;
        rig.server.setFaults(faults);
        if (announced < 0) // the fake announces no size below 0 by itself
            rig.server.send(F::rawAnswer("STARTFILE", QByteArray::number(announced) + "<#>") +
                            F::rawAnswer("FILE", QByteArray(sent, 'a')) +
                            F::rawAnswer("ENDFILE", QByteArray::number(announced) + "<#><#>P7"));
        else
            rig.server.streamFile(sent, [](qint64 offset, qint64 length) { return QByteArray(length, char('a' + offset % 7)); },
                                  65536, u"P7"_s);
        QUORIN_TRY_COMPARE(incomplete.count(), 1);
        QCOMPARE(ok.count(), 0);
        QCOMPARE(errors.count(), 1);
        QVERIFY2(errors.first().at(1).toString().contains(told), qPrintable(errors.first().at(1).toString()));
        QVERIFY(!QFile::exists(rig.sock->NameTempFile()));
        rig.server.clearFaults();
        const QByteArray bytes = content(3000);
        rig.server.sendFile(bytes, {}, u"P8"_s);
        QUORIN_TRY_COMPARE(ok.count(), 1);
        QCOMPARE(readAll(rig.sock->NameTempFile()), bytes);
        QCOMPARE(errors.count(), 1);
    }

    // Pieces with no download in hand are reported, and never touch a file finished before them (a fuzz
    // finding: they counted as going past that file's size, which deleted it).
    void pieceWithoutFile()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        QSignalSpy errors(rig.sock.get(), &QuorinSock::Error);
        QSignalSpy nums(rig.sock.get(), &QuorinSock::RxNumFax);
        QSignalSpy ok(rig.sock.get(), &QuorinSock::RxFaxOk);
        rig.server.send(F::answer(u"FINEUPD") + F::rawAnswer("FILE", "stray") +
                        F::answer(u"NUMFAX", u"\u00A62"));
        QVERIFY(TestWait::forSignal(nums));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(3).toString(), u"DataArrival.FILE"_s);

        const QByteArray image = content(500);
        const QByteArray update = content(300, 'k');
        rig.server.sendFile(image, {}, u"P3"_s);
        rig.server.send(F::rawAnswer("FILE", "stray") + F::rawAnswer("FILEUPD", "stray"));
        rig.server.sendFile(update, u"Sendora"_s);
        rig.server.send(F::rawAnswer("FILEUPD", "stray") + F::rawAnswer("FILE", {}) +
                        F::answer(u"NUMFAX", u"\u00A63"));
        QVERIFY(TestWait::forSignal(nums, 2));
        QCOMPARE(ok.count(), 1);
        QCOMPARE(readAll(rig.sock->NameTempFile()), image);
        QCOMPARE(readAll(QDir(rig.sock->NameUpdateFolder()).filePath(u"Sendora"_s)), update);
        QCOMPARE(errors.count(), 4); // each stray piece with data
        for (const QList<QVariant> &e : std::as_const(errors))
            QVERIFY(e.at(3).toString().startsWith(u"DataArrival.FILE"_s));
    }
};

QTEST_MAIN(TestQuorinSockDownload)
#include "tst_quorinsock_download.moc"
