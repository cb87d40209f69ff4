#include "LoopbackLink.h"
#include "TestHome.h"
#include "UploadDriver.h"
#include "collFaxOut.h"
#include "faxOut.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Ans = QByteArrayLiteral("<\xB6>");
const QByteArray Term = QByteArrayLiteral("<\xA7>");
const QByteArray Sep = QByteArrayLiteral("<#>");

QByteArray frame(const QByteArray &keyword, const QByteArray &data)
{
    return keyword + Ans + data + Term;
}

QByteArray fields(const QList<QByteArray> &parts)
{
    return parts.join(Sep);
}

QByteArray latin(const QString &text)
{
    return text.toLatin1();
}

// Content of n bytes without any "<".
QByteArray plainContent(qsizetype n, char seed)
{
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char('a' + (i * 7 + seed) % 26);
    return out;
}

struct ServerFrame
{
    QByteArray keyword;
    QByteArray data;
};

// What the server makes of the stream: frames end at "<§>", the keyword ends at "<¶>".
QList<ServerFrame> serverFrames(const QByteArray &stream)
{
    QList<ServerFrame> out;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype end = stream.indexOf(Term, pos);
        if (end < 0)
            break;
        const QByteArray body = stream.mid(pos, end - pos);
        const qsizetype sep = body.indexOf(Ans);
        out.append({sep < 0 ? body : body.left(sep), sep < 0 ? QByteArray() : body.mid(sep + 3)});
        pos = end + 3;
    }
    return out;
}

// The bytes of a "FILE" frame's data: between the key's "<#>" and the one before the file name.
QByteArray fileBytes(const QByteArray &data)
{
    const qsizetype first = data.indexOf(Sep);
    const qsizetype last = data.lastIndexOf(Sep);
    return data.mid(first + 3, last - first - 3);
}

// Expected frames of one file of an upload, chunked at 409600 bytes.
QByteArray fileFrames(const QString &path, const QByteArray &content, const QByteArray &key, bool cover)
{
    QByteArray out = frame("STARTFILE", fields({latin(path), QByteArray::number(content.size()), key,
                                                cover ? QByteArray("1") : QByteArray()}));
    if (content.isEmpty())
        return out;
    for (qsizetype pos = 0; pos < content.size(); pos += 409600)
        out += frame("FILE", fields({key, content.mid(pos, 409600), latin(path)}));
    out += frame("ENDFILE", fields({QByteArray(), "0", key}));
    return out;
}

QByteArray md5(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5);
}

} // namespace

class tst_Upload : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void safeChunkLength_data();
    void safeChunkLength();
    void safeChunkLengthEveryOffset();
    void uploadSequence_data();
    void uploadSequence();
    void separatorsReachServerIntact_data();
    void separatorsReachServerIntact();
    void twoFaxesBackToBack();
    void newRxFaxCarriesCode4();
    void aggFax_data();
    void aggFax();
    void missingFileEndsFax_data();
    void missingFileEndsFax();
    void linkLossMidUpload();
    void refusedWithoutLink();
    void unsafeFieldRefused();

private:
    QString write(const QString &name, const QByteArray &content);
    void start();

    TestHome m_home;
    QTemporaryDir *m_dir = nullptr;
    LoopbackLink *m_link = nullptr;
    collFaxOut *m_queue = nullptr;
    UploadDriver *m_driver = nullptr;
    qint32 m_keyBase = 0;

    // Fax keys come from one process-wide counter: the n-th key handed out in this test.
    QByteArray key(int n) const { return '#' + QByteArray::number(m_keyBase + n); }
    QString keyText(int n) const { return QString::fromLatin1(key(n)); }
};

void tst_Upload::initTestCase()
{
    QVERIFY(m_home.setUp());
}

void tst_Upload::init()
{
    m_dir = new QTemporaryDir;
    m_link = new LoopbackLink;
    m_queue = new collFaxOut;
    {
        collFaxOut probe;
        probe.Add(std::make_unique<faxOut>());
        m_keyBase = probe.Last();
    }
    m_driver = new UploadDriver(*m_queue, m_link->writer());
    m_link->attach(m_driver);
}

void tst_Upload::cleanup()
{
    delete m_driver;
    delete m_link;
    delete m_queue;
    delete m_dir;
}

QString tst_Upload::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write fixture");
    return path;
}

void tst_Upload::start()
{
    QVERIFY(m_link->listen());
    m_link->connectClient();
    QUORIN_TRY_VERIFY(m_link->connected());
}

void tst_Upload::safeChunkLength_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("length");
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("plain") << QByteArray("abcdef") << 6;
    QTest::newRow("field separator") << QByteArray("ab<#>cd") << 4;
    QTest::newRow("terminator") << QByteArray("ab<\xA7>cd") << 4;
    QTest::newRow("query separator") << QByteArray("<\xA5>") << 2;
    QTest::newRow("answer separator") << QByteArray("x<\xB6>") << 3;
    QTest::newRow("double open") << QByteArray("<<#>") << 3;
    QTest::newRow("separator cut at the end") << QByteArray("abc<#") << 5;
    QTest::newRow("piece after a cut") << QByteArray("><#>") << 3;
    QTest::newRow("record separator stays") << QByteArray("a<\xCC\xCC>b") << 6;
    QTest::newRow("fax field separator stays") << QByteArray("a<\xBF>b") << 5;
    QTest::newRow("other bracket") << QByteArray("<a><<>") << 6;
}

void tst_Upload::safeChunkLength()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, length);
    QCOMPARE(Upload::safeChunkLength(chunk), qsizetype(length));
}

// The look goes 32 or 16 bytes at a time (byte by byte without either): a mark at any offset, also across a
// block's edge or in the last bytes, is found where a byte-by-byte look finds it, and a lone '<' or '>' near
// one is no mark; the copying look copies every byte up to the cut.
void tst_Upload::safeChunkLengthEveryOffset()
{
    const QByteArray marks[] = {QByteArray("<#>"), QByteArray("<\xA7>"), QByteArray("<\xA5>"),
                                QByteArray("<\xB6>")};
    for (const int block : {1, 16, 32}) {
        for (int size = 3; size <= 70; ++size) {
            for (int at = 0; at + 3 <= size; ++at) {
                QByteArray chunk(size, 'x');
                chunk[qMax(0, at - 1)] = '<'; // a near miss before the mark
                chunk.replace(at, 3, marks[(size + at) % 4]);
                if (at + 4 < size)
                    chunk[at + 4] = '>';
                QCOMPARE(Upload::safeChunkLength(chunk, block), qsizetype(at + 2));
                QByteArray copy(size, '\0');
                QCOMPARE(Upload::copyToCut(chunk, copy.data(), block), qsizetype(at + 2));
                QCOMPARE(copy.left(at + 2), chunk.left(at + 2));
            }
            QByteArray decoys(size, '<');
            for (int i = 2; i < size; i += 3)
                decoys[i] = '>';
            QCOMPARE(Upload::safeChunkLength(decoys, block), qsizetype(size));
            QByteArray copy(size, '\0');
            QCOMPARE(Upload::copyToCut(decoys, copy.data(), block), qsizetype(size));
            QCOMPARE(copy, decoys);
        }
    }
}

void tst_Upload::uploadSequence_data()
{
    QTest::addColumn<QList<QByteArray>>("documents");
    QTest::addColumn<QByteArray>("cover"); // empty: none
    QTest::newRow("one document") << QList<QByteArray>{"hello fax"} << QByteArray();
    QTest::newRow("documents and cover page")
        << QList<QByteArray>{plainContent(409601, 1), plainContent(409600, 2)} << plainContent(1200, 3);
    QTest::newRow("zero-byte document")
        << QList<QByteArray>{QByteArray(), "after the empty one"} << QByteArray();
    QTest::newRow("only a cover page") << QList<QByteArray>{} << QByteArray("cover");
    QTest::newRow("nothing to upload") << QList<QByteArray>{} << QByteArray();
}

void tst_Upload::uploadSequence()
{
    QFETCH(QList<QByteArray>, documents);
    QFETCH(QByteArray, cover);
    start();

    QStringList paths;
    for (int i = 0; i < documents.size(); ++i)
        paths << write(u"doc%1.tif"_s.arg(i), documents[i]);
    const QString coverPath = cover.isEmpty() ? QString() : write(u"cover.tif"_s, cover);

    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(paths.join(u'+'));
    fax->setCoverPage(coverPath);
    fax->setDestFax(u"0123;0456"_s);
    fax->setSubject(u"Offerta"_s);
    const QString msgCampi = Proto::BuildFaxFields(*fax, Proto::FaxCodeSend);

    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);
    QSignalSpy errors(m_driver, &UploadDriver::Error);
    QCOMPARE(m_driver->handOver(std::move(fax), Proto::FaxCodeSend), keyText(1));
    QUORIN_TRY_COMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toString(), keyText(1));

    QByteArray expected =
        frame("NEWFAX", fields({latin(paths.join(u'+')), key(1), latin(msgCampi), latin(coverPath)}));
    expected += frame("NOMSG", QByteArray());
    for (int i = 0; i < documents.size(); ++i)
        expected += fileFrames(paths[i], documents[i], key(1), false);
    if (!cover.isEmpty())
        expected += fileFrames(coverPath, cover, key(1), true);
    expected += frame("FINEFAX", key(1));
    QUORIN_TRY_COMPARE(m_link->received().size(), expected.size());
    QCOMPARE(m_link->received(), expected);
    QCOMPARE(errors.count(), 0);
    QUORIN_TRY_VERIFY(!m_driver->busy());
}

void tst_Upload::separatorsReachServerIntact_data()
{
    QTest::addColumn<QByteArray>("content");
    // Every separator, at the start, back to back, nested, and straddling the 409600-byte boundary.
    QByteArray mixed = "<#>" + plainContent(100, 4) + "<\xA7><\xA5><\xB6><<#>>" + "<\xCC\xCC><\xBF>";
    mixed += plainContent(409599 - mixed.size(), 5);
    mixed += "<\xA7>"; // bytes 409599..409601
    mixed += plainContent(5000, 6) + "<#><#><#>" + "<\xB6>";
    QTest::newRow("mixed") << mixed;
    // Nothing but separators: every piece is tiny, and every byte is still read only once.
    QByteArray dense;
    for (int i = 0; i < 20000; ++i)
        dense += QByteArrayView(i % 4 == 0   ? "<\xA7>"
                                : i % 4 == 1 ? "<#>"
                                : i % 4 == 2 ? "<\xA5>"
                                             : "<\xB6>");
    QTest::newRow("only separators") << dense;
}

void tst_Upload::separatorsReachServerIntact()
{
    QFETCH(QByteArray, content);
    start();
    const QString path = write(u"separators.tif"_s, content);
    const QByteArray before = md5(path);

    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(path);
    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);
    m_driver->handOver(std::move(fax), Proto::FaxCodeSend);
    QUORIN_TRY_COMPARE(sent.count(), 1);
    QUORIN_TRY_VERIFY(m_link->received().endsWith(frame("FINEFAX", key(1))));

    const QList<ServerFrame> frames = serverFrames(m_link->received());
    QByteArray reassembled;
    int fileFramesSeen = 0;
    for (const ServerFrame &f : frames) {
        QVERIFY2(!f.keyword.isEmpty() && !f.keyword.contains('<'), f.keyword.left(40).constData());
        if (f.keyword == "STARTFILE")
            QCOMPARE(f.data.split('<').value(1),
                     QByteArray(QByteArray("#>") + QByteArray::number(content.size())));
        if (f.keyword != "FILE")
            continue;
        ++fileFramesSeen;
        const QByteArray piece = fileBytes(f.data);
        for (const QByteArray &mark :
             {QByteArray("<#>"), QByteArray("<\xA7>"), QByteArray("<\xA5>"), QByteArray("<\xB6>")})
            QVERIFY(!piece.contains(mark));
        QCOMPARE(f.data.count(Sep), 2);
        reassembled += piece;
    }
    QCOMPARE(reassembled, content);
    QVERIFY(fileFramesSeen > 2);
    QCOMPARE(frames.constLast().keyword, QByteArray("FINEFAX"));
    QCOMPARE(md5(path), before);
}

void tst_Upload::twoFaxesBackToBack()
{
    start();
    const QString a = write(u"a.tif"_s, "AAAA");
    const QString b = write(u"b.tif"_s, "BBBBBB");
    auto first = std::make_unique<faxOut>();
    first->setAllFaxFiles(a);
    auto second = std::make_unique<faxOut>();
    second->setAllFaxFiles(b);
    const QString msgA = Proto::BuildFaxFields(*first, Proto::FaxCodeSend);
    const QString msgB = Proto::BuildFaxFields(*second, Proto::FaxCodeSend);

    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);
    QCOMPARE(m_driver->handOver(std::move(first), Proto::FaxCodeSend), keyText(1));
    QCOMPARE(m_driver->handOver(std::move(second), Proto::FaxCodeSend), keyText(2));
    QUORIN_TRY_COMPARE(sent.count(), 2);
    QCOMPARE(sent.at(0).at(0).toString(), keyText(1));
    QCOMPARE(sent.at(1).at(0).toString(), keyText(2));

    QByteArray expected = frame("NEWFAX", fields({latin(a), key(1), latin(msgA), {}}));
    expected += frame("NEWFAX", fields({latin(b), key(2), latin(msgB), {}}));
    expected += frame("NOMSG", {}) + fileFrames(a, "AAAA", key(1), false) + frame("FINEFAX", key(1));
    expected += frame("NOMSG", {}) + fileFrames(b, "BBBBBB", key(2), false) + frame("FINEFAX", key(2));
    QUORIN_TRY_COMPARE(m_link->received(), expected);
}

void tst_Upload::newRxFaxCarriesCode4()
{
    start();
    const QString doc = write(u"rx.tif"_s, "RX");
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(doc);
    fax->setUser(7);
    fax->setAppName(u"Sendora"_s);
    fax->setSentDate(u"09-12-2026"_s);
    fax->setSentTime(u"10:11:12"_s);
    fax->setTotalPages(2);
    fax->setRemoteID(u"REMOTE"_s);
    fax->setStatusFax(u"OK"_s);
    fax->setRead(true);
    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);
    QCOMPARE(m_driver->handOver(std::move(fax), Proto::FaxCodeReceived), keyText(1));
    QUORIN_TRY_COMPARE(sent.count(), 1);

    const QByteArray f = "<\xBF>";
    const QByteArray block = "7" + f + "Sendora" + f + latin(doc) + f + f + "0" + f + "0" + f + f + f + f +
                             f + f + f + f + f + f + f + f + f + "False" + f + "1" + f + "1" + f + "4" + f +
                             "True" + f + "09-12-2026" + f + "10:11:12" + f + "2" + f + "REMOTE" + f + "OK" +
                             f + "V";
    const QByteArray expected = frame("NEWRXFAX", fields({latin(doc), key(1), block, {}})) +
                                frame("NOMSG", {}) + fileFrames(doc, "RX", key(1), false) +
                                frame("FINEFAX", key(1));
    QUORIN_TRY_COMPARE(m_link->received(), expected);
}

void tst_Upload::aggFax_data()
{
    QTest::addColumn<QString>("listKeyword");
    QTest::newRow("after a list request") << u"SPEDITI"_s;
    QTest::newRow("before any list request") << QString();
}

void tst_Upload::aggFax()
{
    QFETCH(QString, listKeyword);
    start();
    const QString image = write(u"TMPFAX.TIF"_s, plainContent(500000, 7));
    const QString path = QFileInfo(image).absoluteFilePath();
    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);

    QCOMPARE(m_driver->sendUpdateFile(m_dir->filePath(u"missing.tif"_s), u"P42"_s, listKeyword), QString());
    QCOMPARE(m_driver->sendUpdateFile(image, u"P42"_s, listKeyword), keyText(1));
    QUORIN_TRY_COMPARE(sent.count(), 1);

    const QByteArray expected =
        frame("AGGFAX", fields({latin(path), key(1), {}, "P42", latin(listKeyword)})) + frame("NOMSG", {}) +
        fileFrames(path, plainContent(500000, 7), key(1), false) + frame("FINEFAX", key(1));
    QUORIN_TRY_COMPARE(m_link->received().size(), expected.size());
    QCOMPARE(m_link->received(), expected);
}

void tst_Upload::missingFileEndsFax_data()
{
    QTest::addColumn<int>("missingIndex");
    QTest::newRow("first document") << 0;
    QTest::newRow("middle document") << 1;
    QTest::newRow("last document") << 2;
}

void tst_Upload::missingFileEndsFax()
{
    QFETCH(int, missingIndex);
    start();
    QStringList paths;
    QList<QByteArray> contents{"one", "two", "three"};
    for (int i = 0; i < 3; ++i)
        paths << (i == missingIndex ? m_dir->filePath(u"gone.tif"_s)
                                    : write(u"d%1.tif"_s.arg(i), contents[i]));
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(paths.join(u'+'));
    QSignalSpy sent(m_driver, &UploadDriver::SentFax2Server);
    QSignalSpy errors(m_driver, &UploadDriver::Error);
    m_driver->handOver(std::move(fax), Proto::FaxCodeSend);
    // A second fax behind it still goes out whole.
    const QString next = write(u"next.tif"_s, "next");
    auto second = std::make_unique<faxOut>();
    second->setAllFaxFiles(next);
    m_driver->handOver(std::move(second), Proto::FaxCodeSend);

    // The fax without its document is not finished: one Error naming it and the file, never "sent".
    QUORIN_TRY_COMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toString(), QString::fromLatin1(key(2)));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toInt(), 53);
    QVERIFY(errors.at(0).at(2).toString().contains(u"gone.tif"_s));
    QVERIFY(errors.at(0).at(2).toString().contains(QString::fromLatin1(key(1))));

    QByteArray head = frame("NOMSG", {});
    for (int i = 0; i < missingIndex; ++i)
        head += fileFrames(paths[i], contents[i], key(1), false);
    QUORIN_TRY_VERIFY(m_link->received().contains(head));
    QVERIFY(!m_link->received().contains(frame("FINEFAX", key(1))));
    QUORIN_TRY_VERIFY(m_link->received().endsWith(frame("FINEFAX", key(2))));
    QVERIFY(!m_driver->busy());
}

void tst_Upload::linkLossMidUpload()
{
    start();
    const QByteArray content = plainContent(8 * 409600, 8);
    const QString path = write(u"big.tif"_s, content);
    const QByteArray before = md5(path);
    const QDateTime modified = QFileInfo(path).lastModified();

    // Hold the upload after its second chunk, so the link drops with the fax half sent.
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(path);
    int fileFramesWritten = 0;
    auto writer = m_link->writer();
    delete m_driver;
    m_driver = new UploadDriver(*m_queue, [&](const QByteArray &f) {
        if (f.startsWith("FILE<") && ++fileFramesWritten == 2)
            m_link->forwardCompletion = false;
        return writer(f);
    });
    m_link->attach(m_driver);
    QSignalSpy sent2(m_driver, &UploadDriver::SentFax2Server);
    QSignalSpy errors2(m_driver, &UploadDriver::Error);
    m_driver->handOver(std::move(fax), Proto::FaxCodeSend);
    QUORIN_TRY_COMPARE(fileFramesWritten, 2);
    QUORIN_TRY_COMPARE(m_link->received().count("<\xA7>FILE<\xB6>"), 2);

    m_link->dropFromServer();
    QUORIN_TRY_COMPARE(errors2.count(), 1);
    QVERIFY(errors2.at(0).at(2).toString().contains(keyText(1)));
    QVERIFY(!m_driver->busy());
    m_link->forwardCompletion = true;
    m_driver->sendComplete(); // a late completion finds nothing to send
    QCOMPARE(sent2.count(), 0);
    QCOMPARE(md5(path), before);
    QCOMPARE(QFileInfo(path).lastModified(), modified);

    // A fax handed over on the next connection goes out whole.
    m_link->clearReceived();
    m_link->connectClient();
    QUORIN_TRY_VERIFY(m_link->connected());
    const QString small = write(u"small.tif"_s, "SMALL");
    auto next = std::make_unique<faxOut>();
    next->setAllFaxFiles(small);
    QCOMPARE(m_driver->handOver(std::move(next), Proto::FaxCodeSend), keyText(2));
    QUORIN_TRY_COMPARE(sent2.count(), 1);
    QCOMPARE(sent2.at(0).at(0).toString(), keyText(2));
    const QByteArray tail = fileFrames(small, "SMALL", key(2), false) + frame("FINEFAX", key(2));
    QUORIN_TRY_VERIFY(m_link->received().endsWith(tail));
    QCOMPARE(errors2.count(), 1);
}

void tst_Upload::refusedWithoutLink()
{
    const QString doc = write(u"a.tif"_s, "A");
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(doc);
    QSignalSpy errors(m_driver, &UploadDriver::Error);
    QCOMPARE(m_driver->handOver(std::move(fax), Proto::FaxCodeSend), u"-1"_s);
    QCOMPARE(errors.count(), 1);
    QVERIFY(!m_driver->busy());
}

void tst_Upload::unsafeFieldRefused()
{
    start();
    auto fax = std::make_unique<faxOut>();
    fax->setSubject(u"prezzi<#>sconti"_s);
    QSignalSpy errors(m_driver, &UploadDriver::Error);
    QCOMPARE(m_driver->handOver(std::move(fax), Proto::FaxCodeSend), u"-1"_s);
    QCOMPARE(errors.count(), 1);
    QVERIFY(!m_driver->busy());
    QCOMPARE(m_link->client.bytesToWrite(), 0);
}

QTEST_GUILESS_MAIN(tst_Upload)
#include "tst_upload.moc"
