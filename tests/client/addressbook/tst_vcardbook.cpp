#include "VCardBook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestVCardBook : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    }

    void roundTrip_data()
    {
        QTest::addColumn<LocalContact>("contact");
        LocalContact plain;
        plain.uid = u"u1"_s;
        plain.displayName = u"Mario Rossi"_s;
        plain.firstName = u"Mario"_s;
        plain.surname = u"Rossi"_s;
        plain.company = u"Rossi S.p.A."_s;
        plain.email = u"mario@rossi.it"_s;
        plain.businessFax = u"021234567"_s;
        plain.homeFax = u"0298765"_s;
        plain.phone = u"+39 02 555"_s;
        QTest::newRow("every field") << plain;

        LocalContact special = plain;
        special.displayName = u"Società Città; Niccolò, \\ più"_s;
        special.company = u"Caffè \"Ørsted\", Straße; 日本"_s;
        special.surname = u"D'Àngelo;Bis"_s;
        QTest::newRow("non-ASCII and separators") << special;

        LocalContact longName = plain;
        longName.displayName = QString(40, QChar(0x00E8)) + u" "_s + QString(50, u'x'); // folded lines
        longName.company = u"riga uno\nriga due"_s;
        QTest::newRow("long folded value and line break") << longName;

        LocalContact onlyFax;
        onlyFax.uid = u"u2"_s;
        onlyFax.displayName = u"Fax"_s;
        onlyFax.businessFax = u"06111"_s;
        QTest::newRow("sparse") << onlyFax;
    }
    void roundTrip()
    {
        QFETCH(LocalContact, contact);
        const QByteArray bytes = VCard::serialize({contact, contact});
        for (const QByteArray &line : bytes.split('\n'))
            QVERIFY2(line.size() <= 76, line.constData()); // 75 octets + CR
        QStringList problems;
        const QList<LocalContact> back = VCard::parse(bytes, &problems);
        QVERIFY(problems.isEmpty());
        QCOMPARE(back.size(), 2);
        QCOMPARE(back[0], contact);
        QCOMPARE(back[1], contact);
    }

    void readsOtherWriters_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("businessFax");
        QTest::addColumn<QString>("homeFax");
        QTest::addColumn<QString>("company");
        QTest::newRow("vCard 2.1 bare types, LF")
            << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:Bianchi;Anna\nFN:Anna Bianchi\nTEL;WORK;FAX:0611\n"
                          "TEL;HOME;FAX:0622\nORG:Alfa;Vendite\nEND:VCARD\n")
            << u"Anna Bianchi"_s << u"0611"_s << u"0622"_s << u"Alfa"_s;
        QTest::newRow("grouped, lower case, repeated TYPE")
            << QByteArray("begin:vcard\r\nversion:3.0\r\nitem1.fn:Gino\r\nitem2.tel;type=fax;type=home:07\r\n"
                          "TEL;TYPE=\"work,fax\":08\r\nend:vcard\r\n")
            << u"Gino"_s << u"08"_s << u"07"_s << QString();
        QTest::newRow("Windows-1252 bytes")
            << QByteArray("BEGIN:VCARD\r\nFN:Societ\xE0\r\nORG:Caff\xE8\r\nEND:VCARD\r\n") << u"Società"_s
            << QString() << QString() << u"Caffè"_s;
        QTest::newRow("folded with tab") << QByteArray("BEGIN:VCARD\r\nFN:Lun\r\n\tgo\r\nEND:VCARD\r\n")
                                         << u"Lungo"_s << QString() << QString() << QString();
    }
    void readsOtherWriters()
    {
        QFETCH(QByteArray, data);
        const QList<LocalContact> cards = VCard::parse(data);
        QCOMPARE(cards.size(), 1);
        QTEST(cards[0].displayName, "name");
        QTEST(cards[0].businessFax, "businessFax");
        QTEST(cards[0].homeFax, "homeFax");
        QTEST(cards[0].company, "company");
    }

    // Properties we do not edit survive a load and a save.
    void keepsUnknownProperties()
    {
        const QByteArray data =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nNOTE:una nota\\, lunga\r\n"
            "TEL;TYPE=CELL:333\r\nTEL;TYPE=WORK,VOICE:02\r\nX-CUSTOM;P=1:v\r\nEND:VCARD\r\n";
        const QList<LocalContact> cards = VCard::parse(data);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards[0].phone, u"333"_s);
        const QByteArray out = VCard::serialize(cards);
        QVERIFY(out.contains("NOTE:una nota\\, lunga\r\n"));
        QVERIFY(out.contains("TEL;TYPE=WORK,VOICE:02\r\n"));
        QVERIFY(out.contains("X-CUSTOM;P=1:v\r\n"));
    }

    // A damaged file: what can be read is read, the problems are named, and the first save keeps the
    // original beside the new file.
    void damagedFileKeepsOriginal()
    {
        LocalAddressBook book;
        const QByteArray damaged =
            "garbage before\r\nBEGIN:VCARD\r\nFN:Uno\r\nsenza due punti\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nFN:Due\r\n";
        {
            QFile f(book.path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(damaged);
        }
        QVERIFY(book.load());
        QCOMPARE(book.count(), 2);
        QCOMPARE(book.problems().size(), 3);
        QCOMPARE(book.contacts()[0].otherLines, QStringList{u"senza due punti"_s});
        LocalContact c;
        c.displayName = u"Tre"_s;
        book.add(c);
        QVERIFY(book.save());
        QFile bak(book.path() + u".bak"_s);
        QVERIFY(bak.open(QIODevice::ReadOnly));
        QCOMPARE(bak.readAll(), damaged);

        LocalAddressBook again;
        QVERIFY(again.load());
        QCOMPARE(again.problems().size(), 1); // the kept line, still not understood
        QCOMPARE(again.count(), 3);
        QVERIFY(!again.contacts()[2].uid.isEmpty());
        QVERIFY(again.remove(0));
        QVERIFY(!again.remove(5));
        QVERIFY(again.save());
        LocalAddressBook third;
        QVERIFY(third.load());
        QCOMPARE(third.contacts()[0].displayName, u"Due"_s);
    }

    void missingFileIsEmptyBook()
    {
        LocalAddressBook book(m_home.filePath(u"nothing.vcf"_s));
        QVERIFY(book.load());
        QCOMPARE(book.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestVCardBook)
#include "tst_vcardbook.moc"
