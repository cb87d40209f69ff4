#include "Cp1252.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_Cp1252 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyByteRoundTrips();
    void knownCharacters_data();
    void knownCharacters();
    void unencodable();
    void bestFit_data();
    void bestFit();
    void refusedCharacters_data();
    void refusedCharacters();
    void messagesNameFieldAndCharacters();
};

void tst_Cp1252::everyByteRoundTrips()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = Cp1252::toUnicode(all);
    QCOMPARE(text.size(), 256);
    QVERIFY(Cp1252::canEncode(text));
    QCOMPARE(Cp1252::fromUnicode(text), all);
    // Each byte alone too: no byte depends on its neighbours.
    for (int i = 0; i < 256; ++i) {
        const QByteArray one(1, char(i));
        QCOMPARE(Cp1252::fromUnicode(Cp1252::toUnicode(one)), one);
    }
}

void tst_Cp1252::knownCharacters_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("unicode");
    QTest::newRow("euro") << 0x80 << 0x20AC;
    QTest::newRow("unassigned 81") << 0x81 << 0x81;
    QTest::newRow("unassigned 8D") << 0x8D << 0x8D;
    QTest::newRow("unassigned 8F") << 0x8F << 0x8F;
    QTest::newRow("unassigned 90") << 0x90 << 0x90;
    QTest::newRow("unassigned 9D") << 0x9D << 0x9D;
    QTest::newRow("trade mark") << 0x99 << 0x2122;
    QTest::newRow("query separator yen") << 0xA5 << 0xA5;
    QTest::newRow("list separator broken bar") << 0xA6 << 0xA6;
    QTest::newRow("terminator section") << 0xA7 << 0xA7;
    QTest::newRow("answer separator pilcrow") << 0xB6 << 0xB6;
    QTest::newRow("record separator I grave") << 0xCC << 0xCC;
    QTest::newRow("e grave") << 0xE8 << 0xE8;
}

void tst_Cp1252::knownCharacters()
{
    QFETCH(int, byte);
    QFETCH(int, unicode);
    const QString text = Cp1252::toUnicode(QByteArray(1, char(byte)));
    QCOMPARE(text.size(), 1);
    QCOMPARE(int(text.at(0).unicode()), unicode);
    QCOMPARE(Cp1252::fromUnicode(text), QByteArray(1, char(byte)));
}

void tst_Cp1252::unencodable()
{
    const QString text = u"a\u4E2Db"_s;
    QVERIFY(!Cp1252::canEncode(text));
    QCOMPARE(Cp1252::fromUnicode(text), QByteArray("a?b"));
}

void tst_Cp1252::bestFit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("Polish city keeps what the code page has") << u"Ufficio \u0141\u00F3d\u017A"_s
                                                              << QByteArray("Ufficio L\xF3" "dz");
    QTest::newRow("Hungarian double acute") << u"Erd\u0151s \u0170r"_s << QByteArray("Erdos Ur");
    QTest::newRow("Czech carons outside the page") << u"\u010Cap\u011Bk"_s << QByteArray("Capek");
    QTest::newRow("carons inside the page stay") << u"\u0160\u017E"_s << QByteArray("\x8A\x9E");
    QTest::newRow("dotless i and stroke d") << u"\u0131\u0111"_s << QByteArray("id");
    QTest::newRow("ligature") << u"\uFB01le"_s << QByteArray("file");
    QTest::newRow("full-width letters") << u"\uFF21\uFF42"_s << QByteArray("Ab");
    QTest::newRow("minus and typographic spaces") << u"1\u2212\u20032"_s << QByteArray("1- 2");
    QTest::newRow("Romanian comma below") << u"\u0219\u021B"_s << QByteArray("st");
    // Composed first: a combining accent becomes the code page's own letter, not a dropped mark.
    QTest::newRow("combining accent composed") << u"Jose\u0301 Nu\u0301n\u0303ez"_s
                                               << QByteArray("Jos\xE9 N\xFA\xF1" "ez");
    // Letters that fit to the pieces of a separator: the wire holds the separator (the guards look there).
    QTest::newRow("fits to a separator") << u"\u2264#\u2265 \uFF1C\u00BF\uFF1E"_s << QByteArray("<#> <\xBF>");
}

void tst_Cp1252::bestFit()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    const Cp1252::Check c = Cp1252::check(text);
    QVERIFY(c.ok());
    QCOMPARE(c.changed, Cp1252::toUnicode(wire) != text);
    QCOMPARE(Cp1252::fromUnicode(text), wire);
    QCOMPARE(Cp1252::fromUnicode(c.wire), wire);
    QVERIFY(!wire.contains('?'));
}

void tst_Cp1252::refusedCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refused");
    QTest::newRow("CJK, once each") << u"\u6771\u4EAC \u6771"_s << u"\u6771\u4EAC"_s;
    QTest::newRow("emoji is one character") << u"ok \U0001F600!"_s << u"\U0001F600"_s;
    QTest::newRow("fitted and refused together") << u"\u0141\u00F3d\u017A \u0416"_s << u"\u0416"_s;
}

void tst_Cp1252::refusedCharacters()
{
    QFETCH(QString, text);
    QFETCH(QString, refused);
    const Cp1252::Check c = Cp1252::check(text);
    QVERIFY(!c.ok());
    QCOMPARE(c.refused, refused);
}

void tst_Cp1252::messagesNameFieldAndCharacters()
{
    const QString refusal = Cp1252::refusalMessage(u"Oggetto", u"\u6771\U0001F600");
    QVERIFY(refusal.contains(u"Oggetto"_s));
    QVERIFY(refusal.contains(u"\u6771 \U0001F600"_s)); // the pair stays whole
    const QString change = Cp1252::changeMessage(u"Nome", u"\u0141\u00F3d\u017A", u"L\u00F3dz");
    QVERIFY(change.contains(u"Nome"_s));
    QVERIFY(change.contains(u"L\u00F3dz"_s));
    QVERIFY(Cp1252::check(u"Perch\u00E9 \u20AC").ok());
    QVERIFY(!Cp1252::check(u"Perch\u00E9 \u20AC").changed);
}

QTEST_GUILESS_MAIN(tst_Cp1252)
#include "tst_cp1252.moc"
