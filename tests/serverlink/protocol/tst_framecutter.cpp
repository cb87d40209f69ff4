#include "FrameCutter.h"
#include "Protocol.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray wire(const QString &text)
{
    return Proto::bytes(text);
}

// One line per call of next(): "F|keyword|data|type", "D" (dropped), "O" (overflow), "N" (need more).
QString describe(FrameCutter::Result r, const ServerMessage &m)
{
    switch (r) {
    case FrameCutter::Result::Frame:
        return u"F|"_s + Proto::text(m.keyword) + u'|' + Proto::text(m.data) + u'|' + QString::number(m.type);
    case FrameCutter::Result::Dropped:
        return u"D"_s;
    case FrameCutter::Result::Overflow:
        return u"O"_s;
    case FrameCutter::Result::NeedMore:
        break;
    }
    return u"N"_s;
}

// Drains the cutter until it needs more bytes; the final "N" is left out.
QStringList drain(FrameCutter &cutter)
{
    QStringList out;
    for (int guard = 0; guard < 100000; ++guard) {
        ServerMessage m;
        const auto r = cutter.next(m);
        if (r == FrameCutter::Result::NeedMore)
            return out;
        out.append(describe(r, m));
    }
    out.append(u"LOOP"_s);
    return out;
}

} // namespace

class tst_FrameCutter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildFrame_data();
    void buildFrame();
    void buildFrameRefusesTerminator_data();
    void buildFrameRefusesTerminator();
    void cut_data();
    void cut();
    void nextMessageShape();
    void splitAtEveryByte();
    void randomPieces();
    void binaryDataSurvives();
    void oversizedFrameIsSkipped();
    void hugeCompleteFrame();
    void records_data();
    void records();
    void recordReaderKeepsTail();
    void splitList_data();
    void splitList();
    void splitFieldsAtEveryLength();
    void truthSpellings_data();
    void truthSpellings();
};

void tst_FrameCutter::buildFrame_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("answer") << int(typeAns) << u"USER"_s << u"rossi"_s << QByteArray("USER<\xB6>rossi<\xA7>");
    QTest::newRow("query") << int(typeQry) << u"ASKRUBRICA"_s << QString()
                           << QByteArray("ASKRUBRICA<\xA5><\xA7>");
    QTest::newRow("no-type is a query")
        << int(typeNoMsg) << u"USER"_s << u"x"_s << QByteArray("USER<\xA5>x<\xA7>");
    QTest::newRow("windows-1252 text") << int(typeAns) << u"NEWFAX"_s << u"caffè €<#>1"_s
                                       << QByteArray("NEWFAX<\xB6>caff\xE8 \x80<#>1<\xA7>");
}

void tst_FrameCutter::buildFrame()
{
    QFETCH(int, type);
    QFETCH(QString, keyword);
    QFETCH(QString, data);
    QFETCH(QByteArray, expected);
    const auto frame = Proto::buildFrame(typeofMsg(type), keyword, data);
    QVERIFY(frame.has_value());
    QCOMPARE(*frame, expected);

    // And it comes back whole through the cutter.
    FrameCutter cutter;
    cutter.append(*frame);
    ServerMessage m;
    QCOMPARE(cutter.next(m), FrameCutter::Result::Frame);
    QCOMPARE(Proto::text(m.keyword), keyword);
    QCOMPARE(Proto::text(m.data), data);
    QCOMPARE(int(m.type), type == typeAns ? int(typeAns) : int(typeQry));
}

void tst_FrameCutter::buildFrameRefusesTerminator_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("terminator in data")
        << QByteArray("CESTINA") << QByteArray("PERSONALI<#>x<\xA7>INJECT<\xB6>y");
    QTest::newRow("terminator at end of data") << QByteArray("FILE") << QByteArray("#1<#>abc<\xA7>");
    QTest::newRow("terminator in keyword") << QByteArray("A<\xA7>B") << QByteArray();
    QTest::newRow("separator in keyword") << QByteArray("A<\xB6>B") << QByteArray("x");
}

void tst_FrameCutter::buildFrameRefusesTerminator()
{
    QFETCH(QByteArray, keyword);
    QFETCH(QByteArray, data);
    QVERIFY(!Proto::buildFrame(typeAns, QByteArrayView(keyword), QByteArrayView(data)).has_value());
    QVERIFY(!Proto::buildFrame(typeQry, Proto::text(keyword), Proto::text(data)).has_value());
}

void tst_FrameCutter::cut_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QString>("left");

    QTest::newRow("answer then partial query")
        << u"A<¶>1<§>B<¥>2"_s << QStringList{u"F|A|1|2"_s} << u"B<¥>2"_s;
    QTest::newRow("piece without separator, then answer")
        << u"junk<§>A<¶>x<§>"_s << QStringList{u"D"_s, u"F|A|x|2"_s} << QString();
    QTest::newRow("answer keeps further answer separators")
        << u"A<¶>x<¶>y<§>"_s << QStringList{u"F|A|x<¶>y|2"_s} << QString();
    QTest::newRow("query data ends at second query separator")
        << u"Q<¥>x<¥>y<§>"_s << QStringList{u"F|Q|x|1"_s} << QString();
    QTest::newRow("query ending at its separator") << u"Q<¥><§>"_s << QStringList{u"F|Q||1"_s} << QString();
    QTest::newRow("answer whose data holds the query separator")
        << u"RUBRICA<¶>a<¥>b<§>"_s << QStringList{u"F|RUBRICA|a<¥>b|2"_s} << QString();
    QTest::newRow("query whose data holds the answer separator")
        << u"Q<¥>a<¶>b<§>"_s << QStringList{u"F|Q|a<¶>b|1"_s} << QString();
    QTest::newRow("empty buffer") << QString() << QStringList{} << QString();
    QTest::newRow("lone terminator") << u"<§>"_s << QStringList{u"D"_s} << QString();
    QTest::newRow("empty keyword") << u"<¶>x<§>"_s << QStringList{u"F||x|2"_s} << QString();
    QTest::newRow("no terminator") << u"A<¶>data"_s << QStringList{} << u"A<¶>data"_s;
    QTest::newRow("half a terminator") << u"A<¶>data<"_s << QStringList{} << u"A<¶>data<"_s;
    QTest::newRow("several frames") << u"NOMSG<¶><§>USER<¥><§>NUMFAX<¶>x¦3<§>STA"_s
                                    << QStringList{u"F|NOMSG||2"_s, u"F|USER||1"_s, u"F|NUMFAX|x¦3|2"_s}
                                    << u"STA"_s;
}

void tst_FrameCutter::cut()
{
    QFETCH(QString, input);
    QFETCH(QStringList, results);
    QFETCH(QString, left);

    FrameCutter cutter;
    cutter.append(wire(input));
    QCOMPARE(drain(cutter), results);
    QCOMPARE(Proto::text(cutter.pending()), left);
    // Asking again changes nothing.
    ServerMessage m;
    QCOMPARE(cutter.next(m), FrameCutter::Result::NeedMore);
    QCOMPARE(Proto::text(cutter.pending()), left);
}

void tst_FrameCutter::nextMessageShape()
{
    FrameCutter cutter;
    cutter.append(wire(u"junk<§>A<¶>x<§>B<¥>y"_s));
    QByteArray keyword, data;
    int type = -1;
    QVERIFY(!cutter.NextMessage(keyword, data, type));
    QCOMPARE(type, 0);
    QVERIFY(keyword.isEmpty() && data.isEmpty());
    QVERIFY(cutter.NextMessage(keyword, data, type));
    QCOMPARE(keyword, QByteArray("A"));
    QCOMPARE(data, QByteArray("x"));
    QCOMPARE(type, 2);
    QVERIFY(!cutter.NextMessage(keyword, data, type));
    QCOMPARE(cutter.pending(), QByteArrayView(wire(u"B<¥>y"_s)));
}

// A stream cut at any byte gives the same frames as the whole stream.
void tst_FrameCutter::splitAtEveryByte()
{
    const QByteArray stream = wire(u"USER<¶>T¦F¦T¦T¦V¦1¦1¦1¦1<§>garbage<§>FILE<¶>#1<#><<§<¥><#>f<§>"
                                   u"CHILDRENTREE<¥>1<§>RUBRICA<¶>a¦b<ÌÌ><§>"_s);
    FrameCutter whole;
    whole.append(stream);
    const QStringList expected = drain(whole);
    QCOMPARE(expected.size(), 5);

    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        FrameCutter cutter;
        cutter.append(QByteArrayView(stream).first(cut));
        QStringList got = drain(cutter);
        cutter.append(QByteArrayView(stream).sliced(cut));
        got += drain(cutter);
        QVERIFY2(got == expected, qPrintable(u"cut at %1"_s.arg(cut)));
        QCOMPARE(cutter.pendingSize(), 0);
    }

    FrameCutter bytewise;
    QStringList got;
    for (char c : stream) {
        bytewise.append(QByteArrayView(&c, 1));
        got += drain(bytewise);
    }
    QCOMPARE(got, expected);
}

void tst_FrameCutter::randomPieces()
{
    QByteArray stream;
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray data = QByteArray::number(i).repeated(i % 97);
        stream += "K" + QByteArray::number(i % 7) + (i % 3 ? "<\xB6>" : "<\xA5>") + data + "<\xA7>";
        expected << u"F|K%1|%2|%3"_s.arg(i % 7).arg(QString::fromLatin1(data)).arg(i % 3 ? 2 : 1);
    }
    QRandomGenerator rng(1460);
    FrameCutter cutter;
    QStringList got;
    for (qsizetype pos = 0; pos < stream.size();) {
        const qsizetype n = std::min<qsizetype>(stream.size() - pos, 1 + rng.bounded(3000));
        cutter.append(QByteArrayView(stream).sliced(pos, n));
        pos += n;
        got += drain(cutter);
    }
    QCOMPARE(got, expected);
    QCOMPARE(cutter.pendingSize(), 0);
}

void tst_FrameCutter::binaryDataSurvives()
{
    // Every byte value except the terminator sequence travels as it is.
    QByteArray data;
    for (int i = 0; i < 256; ++i)
        data.append(char(i));
    data += QByteArray("<\xA5><\xB6>\xA7<\xA7 <#>");
    FrameCutter cutter;
    cutter.append("FILE<\xB6>");
    cutter.append(data);
    cutter.append("<\xA7>NOMSG<\xB6><\xA7>");
    ServerMessage m;
    QCOMPARE(cutter.next(m), FrameCutter::Result::Frame);
    QCOMPARE(m.keyword, QByteArray("FILE"));
    QCOMPARE(m.data, data);
    QCOMPARE(cutter.next(m), FrameCutter::Result::Frame);
    QCOMPARE(m.keyword, QByteArray("NOMSG"));
}

void tst_FrameCutter::oversizedFrameIsSkipped()
{
    FrameCutter cutter;
    cutter.setMaxFrameSize(1000);
    cutter.append("A<\xB6>");
    QStringList got;
    for (int i = 0; i < 500; ++i) {
        cutter.append(QByteArray(7, 'x'));
        got += drain(cutter);
        QVERIFY(cutter.pendingSize() <= 1000 + 7);
    }
    QCOMPARE(got, QStringList{u"O"_s});
    // The terminator of the oversized frame arrives split; the next frame is intact.
    cutter.append("xx<");
    QCOMPARE(drain(cutter), QStringList{});
    cutter.append("\xA7>B<\xB6>ok<\xA7>C<\xA5>");
    QCOMPARE(drain(cutter), QStringList{u"F|B|ok|2"_s});
    QCOMPARE(cutter.pending(), QByteArrayView("C<\xA5>"));
}

void tst_FrameCutter::hugeCompleteFrame()
{
    const QByteArray data(20 * 1024 * 1024, 'z');
    FrameCutter cutter;
    cutter.append("FILE<\xB6>");
    for (qsizetype pos = 0; pos < data.size(); pos += 1460)
        cutter.append(QByteArrayView(data).sliced(pos, std::min<qsizetype>(1460, data.size() - pos)));
    cutter.append("<\xA7>");
    ServerMessage m;
    QCOMPARE(cutter.next(m), FrameCutter::Result::Frame);
    QCOMPARE(m.data.size(), data.size());
    QVERIFY(m.data == data);
    QCOMPARE(cutter.pendingSize(), 0);
}

void tst_FrameCutter::records_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("left");
    QTest::newRow("two closed records") << u"r1<ÌÌ>r2<ÌÌ>"_s << QStringList{u"r1"_s, u"r2"_s} << QString();
    QTest::newRow("second not closed") << u"r1<ÌÌ>r2"_s << QStringList{u"r1"_s} << u"r2"_s;
    QTest::newRow("empty records") << u"<ÌÌ><ÌÌ>"_s << QStringList{QString(), QString()} << QString();
    QTest::newRow("no separator") << u"abc"_s << QStringList{} << u"abc"_s;
    QTest::newRow("single Ì is no separator") << u"a<Ì>b<ÌÌ>"_s << QStringList{u"a<Ì>b"_s} << QString();
}

void tst_FrameCutter::records()
{
    QFETCH(QString, text);
    QFETCH(QStringList, records);
    QFETCH(QString, left);

    QByteArray bytes = wire(text);
    QByteArray record;
    QStringList got;
    while (Proto::NextRecord(bytes, record))
        got << Proto::text(record);
    QCOMPARE(got, records);
    QCOMPARE(Proto::text(bytes), left);

    QString str = text, rec;
    got.clear();
    while (Proto::NextRecord(str, rec))
        got << rec;
    QCOMPARE(got, records);
    QCOMPARE(str, left);

    const QByteArray again = wire(text);
    Proto::RecordReader reader(again);
    QByteArrayView view;
    got.clear();
    while (reader.next(view))
        got << Proto::text(view);
    QCOMPARE(got, records);
    QCOMPARE(Proto::text(reader.rest()), left);
}

void tst_FrameCutter::recordReaderKeepsTail()
{
    const QByteArray data = wire(u"0<ÌÌ>tail"_s);
    Proto::RecordReader reader(data);
    QByteArrayView r;
    QVERIFY(reader.next(r));
    QVERIFY(!reader.next(r));
    QVERIFY(!reader.next(r));
    QCOMPARE(reader.rest(), QByteArrayView("tail"));
}

void tst_FrameCutter::splitList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("three") << u"a¦b¦c"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("leading and trailing") << u"¦a¦"_s << QStringList{QString(), u"a"_s, QString()};
    QTest::newRow("empty") << QString() << QStringList{QString()};
    QTest::newRow("other bytes untouched") << u"<#>|!"_s << QStringList{u"<#>|!"_s};
}

void tst_FrameCutter::splitList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(Proto::SplitList(text), fields);
    QStringList fromBytes;
    for (const QByteArray &f : Proto::SplitList(QByteArrayView(wire(text))))
        fromBytes << Proto::text(f);
    QCOMPARE(fromBytes, fields);
}

// The record splitters agree with the plain split wherever the separators fall (inside and across the
// 16- and 32-byte steps, at the end), and the bounded one stops at its count.
void tst_FrameCutter::splitFieldsAtEveryLength()
{
    for (int length = 0; length <= 80; ++length) {
        for (int step = 1; step <= 9; ++step) {
            QByteArray text(length, 'x');
            for (int i = step - 1; i < length; i += step)
                text[i] = '\xA6';
            for (int i = 0; i < length; ++i)
                if (text[i] == 'x')
                    text[i] = char('a' + i % 26);
            const QList<QByteArrayView> expected = Proto::splitView(text, '\xA6');
            const Proto::FieldViews all = Proto::splitFields(text, '\xA6');
            QCOMPARE(QList<QByteArrayView>(all.begin(), all.end()), expected);
            for (const qsizetype max : {1, 2, 13, 40}) {
                QByteArrayView fields[40];
                const qsizetype count = Proto::splitFields(text, '\xA6', fields, max);
                QCOMPARE(count, std::min(max, expected.size()));
                for (qsizetype i = 0; i < count; ++i)
                    QVERIFY2(
                        fields[i] == expected[i] && fields[i].data() == expected[i].data(),
                        qPrintable(
                            u"length %1, step %2, max %3, field %4"_s.arg(length).arg(step).arg(max).arg(i)));
            }
        }
    }
}

void tst_FrameCutter::truthSpellings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tf");
    QTest::addColumn<bool>("v");
    QTest::addColumn<bool>("trueFalse");
    QTest::newRow("T") << u"T"_s << true << false << false;
    QTest::newRow("t") << u"t"_s << false << false << false;
    QTest::newRow("V") << u"V"_s << false << true << false;
    QTest::newRow("v") << u"v"_s << false << false << false;
    QTest::newRow("True") << u"True"_s << false << false << true;
    QTest::newRow("true") << u"true"_s << false << false << false;
    QTest::newRow("TRUE") << u"TRUE"_s << false << false << false;
    QTest::newRow("F") << u"F"_s << false << false << false;
    QTest::newRow("empty") << QString() << false << false << false;
    QTest::newRow("T with blank") << u"T "_s << false << false << false;
}

void tst_FrameCutter::truthSpellings()
{
    QFETCH(QString, text);
    QFETCH(bool, tf);
    QFETCH(bool, v);
    QFETCH(bool, trueFalse);
    QCOMPARE(Proto::TFToBool(text), tf);
    QCOMPARE(Proto::TFToBool(QByteArrayView(wire(text))), tf);
    QCOMPARE(Proto::VToBool(text), v);
    QCOMPARE(Proto::TrueFalseToBool(text), trueFalse);
    QCOMPARE(Proto::TrueFalseToBool(QByteArrayView(wire(text))), trueFalse);

    QCOMPARE(Proto::BoolToTF(true), u"T"_s);
    QCOMPARE(Proto::BoolToTF(false), u"F"_s);
    QCOMPARE(Proto::BoolToVF(true), u"V"_s);
    QCOMPARE(Proto::BoolToTrueFalse(false), u"False"_s);
}

QTEST_GUILESS_MAIN(tst_FrameCutter)
#include "tst_framecutter.moc"
