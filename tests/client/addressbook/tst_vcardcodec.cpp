#include "StrictVCard.h"
#include "VCardCodec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The cards as if the user had edited each: written in our own form, not as their original bytes.
QList<LocalContact> edited(QList<LocalContact> cards)
{
    for (LocalContact &c : cards)
        c.original.clear();
    return cards;
}

} // namespace

class TestVCardCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

        LocalContact uri = onlyFax; // a backslash and a line break inside a tel: URI are escaped
        uri.businessFax = u"+39\\02\n5"_s;
        uri.kept.insert(u"TEL.fax.uri"_s, u"+39\\02\n5;ext=1"_s);
        QTest::newRow("tel: URI with backslash, line feed and parameter") << uri;
    }
    void roundTrip()
    {
        QFETCH(LocalContact, contact);
        const QByteArray bytes = VCard::serialize({contact, contact});
        const QStringList faults = StrictVCard::faults(bytes);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n') + u'\n' + QString::fromUtf8(bytes)));
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
        // Line ends of any system: none leaves a line break in a value.
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Sergio Bruni Sr.\r\nTEL;TYPE=WORK,FAX:0900\r\n"
                                "TEL;TYPE=HOME,FAX:0901\r\nORG:Bruni\r\n  Srl\r\nEND:VCARD\r\n";
        for (const char *end : {"\r\r\n", "\r", "\n", "\r\r\r\n"})
            QTest::newRow(QByteArray("line ends ").append(QByteArray(end).toPercentEncoding()).constData())
                << QByteArray(card).replace("\r\n", end) << u"Sergio Bruni Sr."_s << u"0900"_s << u"0901"_s
                << u"Bruni Srl"_s;
        // 2.1 base64 not indented, up to a blank line: no line of it is read as a property.
        QTest::newRow("2.1 photo without indentation")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Lia\r\nPHOTO;ENCODING=BASE64;JPEG:/9j/4AAQ\r\n"
                          "SkZJRgAB\r\nAQEASABI\r\n\r\nTEL;FAX:0800\r\nTEL;HOME;FAX:0801\r\nORG:Rosa\r\nEND:VCARD\r\n")
            << u"Lia"_s << u"0800"_s << u"0801"_s << u"Rosa"_s;
    }
    void readsOtherWriters()
    {
        QFETCH(QByteArray, data);
        QStringList problems;
        const QList<LocalContact> cards = VCard::parse(data, &problems);
        QCOMPARE(cards.size(), 1);
        QVERIFY2(!problems.join(u'\n').contains(u"riga non valida"_s), qPrintable(problems.join(u'\n')));
        // Edited, the card reads back the same, with no line break gained.
        const QList<LocalContact> back = VCard::parse(VCard::serialize(edited(cards)));
        QCOMPARE(back.value(0).displayName, cards[0].displayName);
        QCOMPARE(back.value(0).otherLines, cards[0].otherLines);
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
        QVERIFY(out.contains("TEL;TYPE=CELL:333\r\n")); // a mobile stays a mobile
        QVERIFY(out.contains("NOTE:una nota\\, lunga\r\n"));
        QVERIFY(out.contains("TEL;TYPE=WORK,VOICE:02\r\n"));
        QVERIFY(out.contains("X-CUSTOM;P=1:v\r\n"));
    }

    // A 2.1 card, edited, is written as 3.0 that a strict reader takes, every value as other programs
    // read it: each form that 2.1 allows and 3.0 spells otherwise.
    void edited21IsStrict30_data()
    {
        QTest::addColumn<QByteArray>("lines"); // after VERSION:2.1, N and FN
        QTest::addColumn<QByteArray>("written"); // lines the edited card holds
        QTest::addColumn<QString>("warned");    // a problem named, or none
        QTest::newRow("bare B") << QByteArray("PHOTO;JPEG;B:QUJD") << QByteArray("\r\nPHOTO;TYPE=JPEG;ENCODING=b:QUJD\r\n")
                                << QString();
        QTest::newRow("bare BASE64, not indented")
            << QByteArray("LOGO;GIF;BASE64:\r\nR0lG\r\nODlh\r\n") << QByteArray("\r\nLOGO;TYPE=GIF;ENCODING=b:R0lGODlh\r\n")
            << QString();
        QTest::newRow("ENCODING=BASE64, indented")
            << QByteArray("KEY;X509;ENCODING=BASE64:\r\n    QUJD\r\n    REVG\r\n")
            << QByteArray("\r\nKEY;TYPE=X509;ENCODING=b:QUJDREVG\r\n") << QString();
        QTest::newRow("quoted-printable in a charset")
            << QByteArray("NOTE;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:caff=E8, s=EC")
            << QByteArray("\r\nNOTE:caffè\\, sì\r\n") << QString();
        QTest::newRow("soft breaks, blanks after one")
            << QByteArray("NOTE;QUOTED-PRINTABLE:uno=20=\r\ndue= \r\ntre") << QByteArray("\r\nNOTE:uno duetre\r\n")
            << QString();
        QTest::newRow("stray byte after good letters, quoted-printable")
            << QByteArray("ORG;ENCODING=QUOTED-PRINTABLE:AB=C3=91=C3=91=80;xy=C3=91=80z")
            << QByteArray("\r\nORG:ABÑÑ\uFFFD;xyÑ\uFFFDz\r\n") << u"sostituiti"_s;
        QTest::newRow("stray byte, 8bit")
            << QByteArray("TITLE;ENCODING=8BIT:caf\xC3\xA9\x80!") << QByteArray("\r\nTITLE:café\uFFFD!\r\n")
            << u"sostituiti"_s;
        QTest::newRow("7BIT, bare HOME, WORK, PREF, VOICE")
            << QByteArray("TITLE;ENCODING=7BIT:Capo\r\nTEL;HOME;PREF;VOICE:0633\r\nADR;WORK;PREF:;;Via Po 1;Torino")
            << QByteArray("\r\nTITLE:Capo\r\nTEL;TYPE=HOME,PREF,VOICE:0633\r\nADR;TYPE=WORK,PREF:;;Via Po 1;Torino\r\n")
            << QString();
        QTest::newRow("bare FAX, INTERNET") << QByteArray("TEL;FAX:0611\r\nEMAIL;INTERNET;PREF:a@b.it")
                                            << QByteArray("\r\nEMAIL;TYPE=INTERNET,PREF:a@b.it\r\nTEL;TYPE=FAX:0611\r\n")
                                            << QString();
        QTest::newRow("VALUE=URL, CONTENT-ID, INLINE")
            << QByteArray("PHOTO;VALUE=URL;TYPE=JPEG:http://example.org/a.jpg\r\nSOUND;VALUE=CONTENT-ID:<v@host>\r\n"
                          "NOTE;VALUE=INLINE:n")
            << QByteArray("\r\nPHOTO;VALUE=uri;TYPE=JPEG:http://example.org/a.jpg\r\nSOUND;VALUE=uri:cid:v@host\r\n"
                          "NOTE:n\r\n")
            << QString();
        QTest::newRow("AGENT with its own card")
            << QByteArray("AGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nFN:Segretaria\r\nTEL;WORK:02,1\r\nEND:VCARD\r\n"
                          "TITLE:Capo")
            << QByteArray("\r\nAGENT:BEGIN:VCARD\\nVERSION:2.1\\nFN:Segretaria\\nTEL\\;WORK:02\\,1\\nEND:VCARD\\n\r\n"
                          "TITLE:Capo\r\n")
            << QString();
        QTest::newRow("2.1 fold keeps its blank") << QByteArray("NOTE:una nota\r\n lunga\r\nX-NOTA:uno\r\n due")
                                                  << QByteArray("\r\nNOTE:una nota lunga\r\nX-NOTA:uno due\r\n")
                                                  << QString();
        QTest::newRow("control characters") << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:a=07b=1Bc\r\nX-A:d\x07" "e")
                                            << QByteArray("\r\nNOTE:abc\r\nX-A:de\r\n") << QString();
    }
    void edited21IsStrict30()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QByteArray, written);
        QFETCH(QString, warned);
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Neri;Ada\r\nFN:Ada Neri\r\n" + lines + "\r\nEND:VCARD\r\n";
        QStringList problems;
        const QList<LocalContact> cards = VCard::parse(card, &problems);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(VCard::serialize(cards), card); // untouched: as it came
        const QByteArray out = VCard::serialize(edited(cards));
        const QStringList faults = StrictVCard::faults(out);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n') + u'\n' + QString::fromUtf8(out)));
        for (const QByteArray &line : written.split('\n'))
            if (!line.trimmed().isEmpty())
                QVERIFY2(out.contains(QByteArray("\r\n").append(line.trimmed()).append("\r\n")),
                         QByteArray(line).append('\n').append(out).constData());
        QCOMPARE(problems.join(u'\n').contains(warned), true);
        QCOMPARE(problems.isEmpty(), warned.isEmpty());
        QCOMPARE(VCard::parse(out), cards); // and read back the same
    }

    // Files as the usual address-book programs write them: read, written, read again, every field equal;
    // a second write gives the same bytes; what we read is what the card says.
    void corpusRoundTrip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cards");
        QTest::addColumn<int>("problems");
        QTest::addColumn<QStringList>("expect"); // "card|field|value"
        QTest::newRow("Evolution 3.0") << u"evolution-3.0.vcf"_s << 2 << 0
                                      << QStringList{u"0|businessFax|+39 051 7654321"_s, u"0|phone|+39 333 1234567"_s,
                                                     u"0|company|Ferrari Trasporti S.r.l."_s,
                                                     u"0|email|giulia@ferrari-trasporti.it"_s,
                                                     u"1|homeFax|0048 42 1234567"_s, u"1|name|Łódź Sp. z o.o."_s};
        QTest::newRow("KAddressBook 3.0, LF, groups") << u"kaddressbook-3.0.vcf"_s << 2 << 0
                                                      << QStringList{u"0|businessFax|+49 30 9876543"_s,
                                                                     u"0|phone|+49 30 9876500"_s,
                                                                     u"0|surname|Müller"_s, u"1|name|山田 太郎"_s,
                                                                     u"1|businessFax|+81 3 12345678"_s};
        QTest::newRow("GNOME Contacts 4.0, tel: numbers")
            << u"gnome-contacts-4.0.vcf"_s << 1 << 0
            << QStringList{u"0|businessFax|+39025550101"_s, u"0|homeFax|+39025550199"_s, u"0|phone|+393475550123"_s};
        QTest::newRow("phone export 2.1, quoted-printable")
            << u"phone-export-2.1.vcf"_s << 1 << 0
            << QStringList{u"0|name|Niccolò Città"_s, u"0|surname|Città"_s, u"0|firstName|Niccolò"_s,
                           u"0|company|Caffè Sport"_s, u"0|businessFax|0612345678"_s, u"0|homeFax|0698765"_s,
                           u"0|phone|3471234567"_s, u"0|email|niccolo@example.it"_s};
        QTest::newRow("hand edited, Windows-1252, stray indented line")
            << u"hand-edited-cp1252.vcf"_s << 3 << 2
            << QStringList{u"0|businessFax|0212345"_s, u"0|phone|0299999"_s, u"0|company|Caffè & C."_s,
                           u"2|businessFax|012"_s};
        // Each card read on its own: one Windows-1252 card (named), a fold between the two bytes of "à",
        // a 2.1 card in its own charset, cards without UID or N.
        QTest::newRow("mixed encodings")
            << u"mixed-encodings.vcf"_s << 5 << 1
            << QStringList{u"0|name|Jürgen Müller"_s,       u"1|name|Bea Verdi"_s,
                           u"1|businessFax|011 123457"_s,   u"2|name|Françoise Dupré"_s,
                           u"2|company|Société Générale"_s, u"3|name|Ana Città"_s,
                           u"4|name|Renè Cortès"_s,         u"4|surname|Cortès"_s};
        QTest::newRow("Thunderbird 3.0") << u"thunderbird-3.0.vcf"_s << 1 << 0
                                        << QStringList{u"0|businessFax|0811234567"_s, u"0|phone|0811234500"_s,
                                                       u"0|surname|De Luca"_s};
    }
    void corpusRoundTrip()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, expect);
        QFile f(QStringLiteral(VCARD_CORPUS) + u'/' + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        QStringList problems;
        QByteArray trailing;
        const QList<LocalContact> first = VCard::parse(original, &problems, &trailing);
        QTEST(int(first.size()), "cards");
        QTEST(int(problems.size()), "problems");
        for (const QString &e : expect) {
            const QStringList p = e.split(u'|');
            const LocalContact &c = first.value(p[0].toInt());
            const QString field = p[1];
            const QString value = field == u"name"          ? c.shownName()
                                  : field == u"businessFax" ? c.businessFax
                                  : field == u"homeFax"     ? c.homeFax
                                  : field == u"phone"       ? c.phone
                                  : field == u"company"     ? c.company
                                  : field == u"email"       ? c.email
                                  : field == u"surname"     ? c.surname
                                                            : c.firstName;
            QVERIFY2(value == p[2], qPrintable(e + u" read as "_s + value));
        }
        // Cards nobody touched go back byte for byte, and so does the text around them (a card read as
        // Windows-1252 too).
        QCOMPARE(VCard::serialize(first, trailing), original);
        const QByteArray written = VCard::serialize(edited(first));
        const QStringList faults = StrictVCard::faults(written);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        const QList<LocalContact> again = VCard::parse(written);
        QCOMPARE(again, first);
        QCOMPARE(VCard::serialize(edited(again)), written);
        // Properties we do not edit go back with their own parameters and text.
        const QString text = QString::fromUtf8(written);
        for (const LocalContact &c : first)
            for (const QString &line : c.otherLines)
                QVERIFY2(text.contains(line), qPrintable(line));
    }

    // Details the corpus shows in passing, checked on their own.
    void corpusDetails()
    {
        auto read = [](const QString &file) {
            QFile f(QStringLiteral(VCARD_CORPUS) + u'/' + file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        // Every TEL keeps its types; a 4.0 number goes back as a tel: URI, as it came.
        const QByteArray evo = VCard::serialize(edited(VCard::parse(read(u"evolution-3.0.vcf"_s))));
        QVERIFY(evo.contains("TEL;TYPE=CELL;X-EVOLUTION-UI-SLOT=2:+39 333 1234567\r\n"));
        QVERIFY(evo.contains("TEL;TYPE=HOME;X-EVOLUTION-UI-SLOT=3:051 112233\r\n"));
        QVERIFY(evo.contains("N:Ferrari;Giulia;Maria;Dott.;\r\n"));
        QVERIFY(evo.contains("ORG:Ferrari Trasporti S.r.l.;Amministrazione;Contabilit"));
        QVERIFY(evo.contains("PHOTO;ENCODING=b;TYPE=image/png:iVBOR"));
        QList<LocalContact> gnome = edited(VCard::parse(read(u"gnome-contacts-4.0.vcf"_s)));
        QByteArray out = VCard::serialize(gnome);
        QVERIFY(out.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
        QVERIFY(out.contains("TEL;VALUE=uri;TYPE=\"work,fax\":tel:+39-02-555-0101\r\n"));
        QVERIFY(out.contains("TEL;VALUE=uri;TYPE=cell:tel:+39-347-555-0123;ext=12\r\n"));
        gnome[0].businessFax = u"0299"_s; // edited: the new number, still a URI
        out = VCard::serialize(gnome);
        QVERIFY(out.contains("TEL;VALUE=uri;TYPE=\"work,fax\":tel:0299\r\n"));
        QCOMPARE(VCard::parse(out).value(0).businessFax, u"0299"_s);
        // A line break inside a tel: URI goes back as "\n", as a line break in any value does; a bare CR
        // in the file is a line end, never part of the value.
        LocalContact uriBreak = VCard::parse("BEGIN:VCARD\nTEL:tel:1\nEND:VCARD\n").value(0);
        uriBreak.original.clear();
        uriBreak.phone = u"\n1"_s;
        out = VCard::serialize({uriBreak});
        QVERIFY2(out.contains("\r\nTEL:tel:\\n1\r\n"), out.constData());
        QCOMPARE(VCard::parse(out).value(0).phone, u"\n1"_s);
        QCOMPARE(VCard::parse("BEGIN:VCARD\nTEL:tel:\r1").value(0).phone, QString());

        // The 2.1 soft line break is one line, read without a warning; decoded values go back as 3.0 text.
        QStringList problems;
        const QList<LocalContact> phone = VCard::parse(read(u"phone-export-2.1.vcf"_s), &problems);
        QVERIFY(problems.isEmpty());
        const QByteArray written = VCard::serialize(edited(phone));
        QVERIFY(written.contains("FN:Niccolò Città\r\n"));
        QVERIFY(written.contains("TEL;TYPE=CELL:3471234567\r\n"));
        QVERIFY(written.contains("NOTE:Prima riga\\nseconda riga con una parola lunga che va a capo dopo il"));
        QVERIFY(written.contains("PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD/2wBDAP///////////"));
        QVERIFY(!written.contains("QUOTED-PRINTABLE") && !written.contains("CHARSET"));
        // A charset the bytes do not fit is named, as a card without one is.
        problems.clear();
        QCOMPARE(VCard::parse("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=UTF-8:Ren\xE8\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Bo\r\nNOTE;CHARSET=UTF-8;QUOTED-PRINTABLE:=E8\r\n"
                              "END:VCARD\r\n",
                              &problems)
                     .value(0)
                     .displayName,
                 u"Renè"_s);
        QCOMPARE(problems.size(), 2);
        QVERIFY2(problems[0].contains(u"«Renè»"_s) && problems[0].contains(u"(UTF-8)"_s), qPrintable(problems[0]));
        QVERIFY2(problems[1].contains(u"«Bo»"_s), qPrintable(problems[1]));
        // Another spelling of UTF-8 is UTF-8: a card read with the fallback reads back the same once written
        // in UTF-8, a line it could not read too (the value of a property of ours, so the card stays valid).
        problems.clear();
        const QList<LocalContact> odd = VCard::parse(
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Bo\r\n;X-A;CHARSET=UTF$8:Ren\xE8\r\nX-B;CHARSET=utf8:\xC3\xA8\r\n"
            "END:VCARD\r\n",
            &problems);
        QCOMPARE(problems.size(), 2); // the line it could not read, and the fallback
        const QByteArray oddOut = VCard::serialize(edited(odd));
        QVERIFY2(oddOut.contains("\r\nX-QUORIN-RIGA:\\;X-A\\;CHARSET=UTF$8:Ren\xC3\xA8\r\nX-B:\xC3\xA8\r\n"),
                 oddOut.constData());
        QCOMPARE(VCard::parse(oddOut), odd);

        // A stray indented line after an empty one never glues itself to the fax number.
        const QList<LocalContact> hand = VCard::parse(read(u"hand-edited-cp1252.vcf"_s));
        const QList<LocalContact> reread = VCard::parse(VCard::serialize(edited(hand)));
        QCOMPARE(reread[0].businessFax, u"0212345"_s);
        QCOMPARE(reread[0].otherLines.value(0), u"X-QUORIN-RIGA:nota scritta a mano"_s);
    }

    // Files cut anywhere (a copy interrupted, a card half written): read without harm, and what we write
    // from them reads back the same.
    // A large book is read in two halves at once: the same cards, problems on their own lines, every card
    // written back byte for byte, the cut never inside a card or between a card and its leading text.
    void largeBook()
    {
        QByteArray unit;
        for (const QString &name : QDir(QStringLiteral(VCARD_CORPUS)).entryList({u"*.vcf"_s})) {
            QFile f(QStringLiteral(VCARD_CORPUS) + u'/' + name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            if (!bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF"))
                unit += bytes.endsWith('\n') ? bytes : bytes + "\r\n";
        }
        unit += "\r\nnota fuori\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ultima\r\nsenza due punti\r\nEND:VCARD\r\n";
        QByteArray big;
        int copies = 0;
        while (big.size() < 1024 * 1024) {
            big += unit;
            ++copies;
        }
        QStringList unitProblems, problems;
        QByteArray unitTrailing, trailing;
        const QList<LocalContact> one = VCard::parse(unit, &unitProblems, &unitTrailing);
        const QList<LocalContact> all = VCard::parse(big, &problems, &trailing);
        QCOMPARE(all.size(), one.size() * copies);
        QCOMPARE(problems.size(), unitProblems.size() * copies);
        QCOMPARE(VCard::serialize(all, trailing), big);
        const int unitLines = int(unit.count('\n'));
        static const QRegularExpression lineNumber(u"^Riga (\\d+):"_s);
        for (qsizetype i = 0; i < problems.size(); ++i) {
            const auto m = lineNumber.match(problems[i]), u = lineNumber.match(unitProblems[i % unitProblems.size()]);
            QCOMPARE(m.hasMatch(), u.hasMatch());
            if (m.hasMatch())
                QCOMPARE(m.captured(1).toInt(), u.captured(1).toInt() + int(i / unitProblems.size()) * unitLines);
        }
        for (qsizetype i = 0; i < all.size(); ++i)
            QCOMPARE(all[i], one[i % one.size()]);
    }

    void truncatedFiles()
    {
        const QStringList files = QDir(QStringLiteral(VCARD_CORPUS)).entryList({u"*.vcf"_s});
        QVERIFY(!files.isEmpty());
        for (const QString &name : files) {
            QFile f(QStringLiteral(VCARD_CORPUS) + u'/' + name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray all = f.readAll();
            all += "BEGIN:VCARD\r\nORG;TYPE=x:\r\nEMAIL;TYPE=y:\r\nTEL;TYPE=fax:\r\nEND:VCARD\r\n"; // empty values
            for (qsizetype cut = 0; cut <= all.size(); cut += 3) {
                const QList<LocalContact> first = VCard::parse(all.left(cut));
                const QByteArray written = VCard::serialize(first);
                const QList<LocalContact> again = VCard::parse(written);
                QVERIFY2(again == first, qPrintable(u"%1 cut at %2"_s.arg(name).arg(cut)));
                QCOMPARE(VCard::serialize(again), written);
            }
        }
    }

    // A 2.1 card cut inside a quoted-printable letter: its text as far as it goes, no mojibake.
    void truncatedQuotedPrintable()
    {
        const QByteArray card = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Kurt\r\n"
                                "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Kommentar =C3=84=C3=84=C3=84";
        for (qsizetype cut : {0, 1, 2, 3, 4}) {
            QStringList problems;
            const QList<LocalContact> cards = VCard::parse(card.chopped(cut), &problems);
            QCOMPARE(cards.size(), 1);
            const QByteArray written = VCard::serialize(edited(cards));
            const qsizetype at = written.indexOf("NOTE:");
            QVERIFY2(at >= 0, written.constData());
            const QString note = QString::fromUtf8(written.mid(at, written.indexOf("\r\n", at) - at));
            QVERIFY2(note.startsWith(u"NOTE:Kommentar ÄÄ"_s) && !note.contains(u"Ã"_s), qPrintable(note));
            QVERIFY2(!problems.join(u'\n').contains(u"Windows-1252"_s), qPrintable(problems.join(u'\n')));
        }
    }
};

QTEST_GUILESS_MAIN(TestVCardCodec)
#include "tst_vcardcodec.moc"
