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

QTEST_GUILESS_MAIN(tst_Cp1252)
#include "tst_cp1252.moc"
