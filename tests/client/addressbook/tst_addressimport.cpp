#include "AddressImport.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace AddressImport;

namespace {

// A record with the given 1-based fields set, `count` fields long, joined by sep.
QByteArray line(int count, const QMap<int, QByteArray> &fields, char sep = ';')
{
    QByteArrayList parts;
    for (int n = 1; n <= count; ++n)
        parts.append(fields.value(n));
    return parts.join(sep);
}

QStringList blanksWith(const QMap<int, QString> &values)
{
    QStringList v(ColumnCount, u" "_s);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        v[it.key()] = it.value();
    return v;
}

} // namespace

class TestAddressImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void split_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("plain") << u"a;b;c"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("empty fields keep their place") << u"a;;c"_s << QStringList{u"a"_s, u""_s, u"c"_s};
        QTest::newRow("leading separator") << u";b"_s << QStringList{u""_s, u"b"_s};
        QTest::newRow("trailing separator adds nothing") << u"a;b;"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("quoted separator")
            << u"\"Via Roma; 12\";x"_s << QStringList{u"Via Roma; 12"_s, u"x"_s};
        QTest::newRow("doubled quotes")
            << u"\"il \"\"Capo\"\"\";x"_s << QStringList{u"il \"Capo\""_s, u"x"_s};
        QTest::newRow("quote inside a value is a character")
            << u"O\"Neil;x"_s << QStringList{u"O\"Neil"_s, u"x"_s};
        QTest::newRow("empty quoted last field") << u"a;\"\""_s << QStringList{u"a"_s, u""_s};
    }
    void split()
    {
        QFETCH(QString, record);
        QTEST(splitRecord(record, u';'), "fields");
    }

    void layouts_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<QStringList>>("rows");

        const QByteArray header4 = "Nome;Cognome;Nome visualizzato;Indirizzo\r\n";
        QTest::newRow("Outlook Express, short line")
            << int(Layout::OutlookExpress) << header4 + "Mario;Rossi;Mario Rossi;mario@rossi.it\r\n"
            << QList<QStringList>{
                   blanksWith({{Nome, u"Mario"_s}, {Cognome, u"Rossi"_s}, {Email, u"mario@rossi.it"_s}})};
        QTest::newRow("Outlook Express, empty surname keeps columns")
            << int(Layout::OutlookExpress) << header4 + "Mario;;Mario Rossi;mario@rossi.it\r\n"
            << QList<QStringList>{
                   blanksWith({{Nome, u"Mario"_s}, {Cognome, QString()}, {Email, u"mario@rossi.it"_s}})};
        QTest::newRow("Outlook Express, city from field 6, phone 15 and second phone 9")
            << int(Layout::OutlookExpress)
            << header4 +
                   line(19, {{1, "A"}, {6, "Roma"}, {9, "0611"}, {15, "0622"}, {16, "0633"}, {17, "Beta"}}) +
                   "\n"
            << QList<QStringList>{blanksWith({{Nome, u"A"_s},
                                              {Cognome, QString()},
                                              {Localita, u"Roma"_s},
                                              {Telefono, u"0622"_s},
                                              {Telefono2, u"0611"_s},
                                              {Fax, u"0633"_s},
                                              {Azienda, u"Beta"_s}})};
        QTest::newRow("Outlook Express, phone from 9 only once")
            << int(Layout::OutlookExpress) << header4 + line(19, {{1, "A"}, {2, "B"}, {9, "0611"}}) + "\n"
            << QList<QStringList>{blanksWith({{Nome, u"A"_s}, {Cognome, u"B"_s}, {Telefono, u"0611"_s}})};
        QTest::newRow("Thunderbird, comma, province from 15, quoted street")
            << int(Layout::MozillaThunderbird)
            << QByteArray("First Name,Last Name,Display Name\n") +
                   line(36,
                        {{1, "Anna"},
                         {2, "Verdi"},
                         {5, "a@v.it"},
                         {8, "0299"},
                         {11, "0288"},
                         {9, "0277"},
                         {12, "\"Via Po, 3\""},
                         {15, "MI"},
                         {16, "20100"},
                         {20, "Milano"},
                         {26, "\"Gamma, srl\""}},
                        ',') +
                   "\n"
            << QList<QStringList>{blanksWith({{Nome, u"Anna"_s},
                                              {Cognome, u"Verdi"_s},
                                              {Via, u"Via Po, 3"_s},
                                              {Cap, u"20100"_s},
                                              {Localita, u"Milano"_s},
                                              {Provincia, u"MI"_s},
                                              {Telefono, u"0299"_s},
                                              {Telefono2, u"0288"_s},
                                              {Fax, u"0277"_s},
                                              {Azienda, u"Gamma, srl"_s},
                                              {Email, u"a@v.it"_s}})};
        QTest::newRow("Microsoft Outlook, business fields before home ones")
            << int(Layout::MicrosoftOutlook)
            << QByteArray("Nome;Cognome\n") +
                   line(20, {{1, "L"},
                             {2, "M"},
                             {4, "l@m.it"},
                             {5, "casa"},
                             {12, "ufficio"},
                             {7, "00100"},
                             {10, "0610"},
                             {17, "0617"},
                             {11, "0611"},
                             {19, "Delta"}}) +
                   "\n"
            << QList<QStringList>{blanksWith({{Nome, u"L"_s},
                                              {Cognome, u"M"_s},
                                              {Via, u"ufficio"_s},
                                              {Cap, u"00100"_s},
                                              {Telefono, u"0617"_s},
                                              {Telefono2, u"0610"_s},
                                              {Fax, u"0611"_s},
                                              {Azienda, u"Delta"_s},
                                              {Email, u"l@m.it"_s}})};
        QTest::newRow("short line after a long one takes nothing from it")
            << int(Layout::OutlookExpress) << header4 + line(19, {{1, "A"}, {17, "Beta"}}) + "\n\n" + "C;D\n"
            << QList<QStringList>{blanksWith({{Nome, u"A"_s}, {Cognome, QString()}, {Azienda, u"Beta"_s}}),
                                  blanksWith({{Nome, u"C"_s}, {Cognome, u"D"_s}})};
        QTest::newRow("quoted note over two lines")
            << int(Layout::OutlookExpress) << header4 + "\"Ma\r\nrio\";Rossi;x;m@r.it\r\nB;C\r\n"
            << QList<QStringList>{
                   blanksWith({{Nome, u"Ma\nrio"_s}, {Cognome, u"Rossi"_s}, {Email, u"m@r.it"_s}}),
                   blanksWith({{Nome, u"B"_s}, {Cognome, u"C"_s}})};
        QTest::newRow("Windows-1252 export")
            << int(Layout::OutlookExpress) << header4 + "Nicol\xF2;Citt\xE0\r\n"
            << QList<QStringList>{blanksWith({{Nome, u"Nicolò"_s}, {Cognome, u"Città"_s}})};
    }
    void layouts()
    {
        QFETCH(int, layout);
        QFETCH(QByteArray, data);
        const Result r = parse(data, Layout(layout));
        QVERIFY(!r.fileRefused);
        QCOMPARE(r.errors, QStringList());
        QList<QStringList> rows;
        for (const Row &row : r.rows)
            rows.append(row.values);
        QTEST(rows, "rows");
    }

    // A line with too many fields is named and skipped; the lines after it are still read.
    void malformedLines()
    {
        const QByteArray data = "a;b\n" + line(20, {{1, "X"}, {20, "Y"}}) + "\nC;D\n";
        const Result r = parse(data, Layout::OutlookExpress);
        QVERIFY(!r.fileRefused);
        QCOMPARE(r.rows.size(), 1);
        QCOMPARE(r.rows[0].values[Nome], u"C"_s);
        QCOMPARE(r.rows[0].line, 3);
        QCOMPARE(r.errors.size(), 1);
        QVERIFY(r.errors[0].startsWith(u"Riga 2:"_s));
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("empty first line") << QByteArray("\na;b\n");
        QTest::newRow("no separator") << QByteArray("Nome Cognome\nMario Rossi\n");
    }
    void refusedFiles()
    {
        QFETCH(QByteArray, data);
        const Result r = parse(data, Layout::MozillaThunderbird);
        QVERIFY(r.fileRefused);
        QVERIFY(r.rows.isEmpty());
        QCOMPARE(r.errors.size(), 1);
    }

    // A file that cannot be opened: the reason in Italian, not the system's English text.
    void unopenableFileSaysWhy()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const auto &[path, why] : {std::pair{dir.filePath(u"manca.csv"_s), u"il file non esiste"_s},
                                        std::pair{dir.path(), u"è una cartella"_s}}) {
            const Result r = readFile(path, Layout::MicrosoftOutlook);
            QVERIFY(r.fileRefused);
            QCOMPARE(r.errors.value(0), u"Impossibile aprire il file %1: %2."_s.arg(path, why));
        }
    }

    // The encodings address-book programs write: every one gives the same rows, and says which it was.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("encoding");
        const QString text = u"Nome;Cognome\r\nNiccolò;Città\r\nAnna;Ørsted\r\n"_s;
        QStringEncoder le(QStringEncoder::Utf16LE), be(QStringEncoder::Utf16BE);
        QTest::newRow("UTF-8") << text.toUtf8() << u"UTF-8"_s;
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF" + text.toUtf8()) << u"UTF-8"_s;
        QTest::newRow("UTF-16 LE with BOM") << QByteArray("\xFF\xFE" + QByteArray(le.encode(text))) << u"UTF-16LE"_s;
        QTest::newRow("UTF-16 BE with BOM") << QByteArray("\xFE\xFF" + QByteArray(be.encode(text))) << u"UTF-16BE"_s;
        QTest::newRow("UTF-16 LE without BOM") << QByteArray(QStringEncoder(QStringEncoder::Utf16LE).encode(text))
                                              << u"UTF-16LE"_s;
        QTest::newRow("Windows-1252") << QByteArray("Nome;Cognome\r\nNiccol\xF2;Citt\xE0\r\nAnna;\xD8rsted\r\n")
                                      << u"Windows-1252"_s;
        // One stray byte turns no other letter: only it is read as Windows-1252.
        QTest::newRow("UTF-8 with a stray byte")
            << QByteArray("Nome;Cognome\r\nNiccol\xC3\xB2;Citt\xE0\r\nAnna;\xC3\x98rsted\r\n") << u"UTF-8"_s;
    }
    void encodings()
    {
        QFETCH(QByteArray, data);
        const Result r = parse(data, Layout::OutlookExpress);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(u'\n')));
        QTEST(r.encoding, "encoding");
        QCOMPARE(r.rows.size(), 2);
        QCOMPARE(r.rows[0].values[Nome], u"Niccolò"_s);
        QCOMPARE(r.rows[0].values[Cognome], u"Città"_s);
        QCOMPARE(r.rows[1].values[Cognome], u"Ørsted"_s);
        for (const Row &row : r.rows)
            for (const QString &v : row.values)
                QVERIFY(!v.contains(QChar(0)));
    }

    // A quote opened and never closed refuses its own line, named; the lines after it are read.
    void unclosedQuote()
    {
        const Result r = parse("Nome;Cognome\nMario;Rossi\n\"Anna;Bianchi\nLuca;Verdi\nGino;Neri\n",
                               Layout::OutlookExpress);
        QVERIFY(!r.fileRefused);
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].startsWith(u"Riga 3:"_s), qPrintable(r.errors[0]));
        QCOMPARE(r.rows.size(), 3);
        QCOMPARE(r.rows[1].values[Nome], u"Luca"_s);
        QCOMPARE(r.rows[1].line, 4);
        QCOMPARE(r.rows[2].values[Cognome], u"Neri"_s);
    }

    // Files that give no contact say why, once.
    void nothingToImport_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("says");
        QTest::newRow("header only") << QByteArray("Nome;Cognome;Email\r\n") << int(Layout::OutlookExpress)
                                     << u"solo la riga di intestazione"_s;
        QByteArray wide = "First Name,Middle Name,Last Name";
        for (int i = 4; i <= 92; ++i)
            wide += ",Colonna " + QByteArray::number(i);
        wide += "\r\n";
        for (int row = 0; row < 5; ++row)
            wide += "Mario,,Rossi" + QByteArray(89, ',') + "\r\n";
        QTest::newRow("modern Outlook export, 92 columns")
            << wide << int(Layout::MicrosoftOutlook)
            << u"Il file (92 colonne) non è in nessuno dei formati della lista"_s;
        QTest::newRow("Thunderbird export read as Outlook Express")
            << QByteArray("First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,a,b,c,d,e,f,"
                          "g,h,i,j,k,l,m,n,o,p\r\nA,B\r\n")
            << int(Layout::OutlookExpress) << u"Mozilla Thunderbird (22 colonne)"_s;
        QTest::newRow("UTF-16 with stray zero bytes") << QByteArray("N\0o\0;\0\0\0\0", 10)
                                                      << int(Layout::OutlookExpress) << u"caratteri nulli"_s;
    }
    void nothingToImport()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, layout);
        QFETCH(QString, says);
        const Result r = parse(data, Layout(layout));
        QVERIFY(r.fileRefused);
        QVERIFY(r.rows.isEmpty());
        QCOMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].contains(says), qPrintable(r.errors[0]));
    }

    // Today's exports of four programs, each in the encodings they are found in: the layouts we read
    // give their contacts; one that is not ours (Google) or not the chosen one is refused once, named.
    void exportsOfToday_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("refusal");   // empty: read
        QTest::addColumn<QStringList>("first"); // Nome, Cognome, Telefono, Fax, Azienda, E-mail
        const QString tb36 =
            u"First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Work Phone,Home Phone,"
            u"Fax Number,Pager Number,Mobile Number,Home Address,Home Address 2,Home City,Home State,Home "
            u"ZipCode,"
            u"Home Country,Work Address,Work Address 2,Work City,Work State,Work ZipCode,Work Country,Job "
            u"Title,"
            u"Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth Month,Birth Day,Custom 1,Custom "
            u"2,"
            u"Custom 3,Custom 4,Notes,\r\n"
            u"Łucja,Müller,Łucja Müller,,lucja@example.pl,,022 111,,022 999,,,,,,,,,Via Roma "
            u"1,,Milano,MI,20100,,"
            u",,Città S.p.A.,,,,,,,,,,,\r\n"_s;
        const QString tb37 = u"First Name,Last Name,Display Name,Nickname,Primary Email,Secondary "
                             u"Email,Screen Name,Work Phone,"
                             u"Home Phone,Fax Number,Pager Number,Mobile Number,Home Address,Home Address "
                             u"2,Home City,Home State,"
                             u"Home ZipCode,Home Country,Work Address,Work Address 2,Work City,Work "
                             u"State,Work ZipCode,Work Country,"
                             u"Job Title,Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth "
                             u"Month,Birth Day,Custom 1,"
                             u"Custom 2,Custom 3,Custom 4,Notes,\r\n"
                             u"Łucja,Müller,Łucja Müller,,lucja@example.pl,,lucja.m,022 111,,022 "
                             u"999,,,,,,,,,Via Roma 1,,Milano,MI,"
                             u"20100,,,,Città S.p.A.,,,,,,,,,,,\r\n"_s;
        const QString outlook =
            u"First Name,Last Name,Name,E-mail Address,Home Street,Home City,Home Postal Code,Home State,"
            u"Home Country,Home Phone,Home Fax,Business Street,Business City,Business Postal Code,Business "
            u"State,"
            u"Business Country,Business Phone,Business Fax,Company,Job Title\r\n"
            u"Łucja,Müller,Łucja Müller,lucja@example.pl,,,,,,,,Via Roma 1,Milano,20100,MI,,022 111,022 999,"
            u"Città S.p.A.,\r\n"_s;
        const QString google =
            u"First Name,Middle Name,Last Name,Phonetic First Name,Phonetic Middle Name,Phonetic Last Name,"
            u"Name Prefix,Name Suffix,Nickname,File As,Organization Name,Organization Title,Organization "
            u"Department,"
            u"Birthday,Notes,Photo,Labels,E-mail 1 - Label,E-mail 1 - Value,Phone 1 - Label,Phone 1 - "
            u"Value\r\n"
            u"Łucja,,Müller,,,,,,,,Città S.p.A.,,,,,,* myContacts,* Work,lucja@example.pl,Work Fax,022 999\r\n"_s;
        // Outlook's 20 fields with "Middle Name" (or its Italian name) in the third column.
        QString middle = outlook;
        middle.replace(u"First Name,Last Name,Name,"_s, u"First Name,Last Name,Middle Name,"_s);
        middle.replace(u"Łucja,Müller,Łucja Müller,"_s, u"Łucja,Müller,Maria,"_s);
        const QString secondo = QString(middle).replace(u"Middle Name"_s, u"Secondo nome"_s);
        const QStringList lucja{u"Łucja"_s,   u"Müller"_s,       u"022 111"_s,
                                u"022 999"_s, u"Città S.p.A."_s, u"lucja@example.pl"_s};
        const int tb = int(Layout::MozillaThunderbird), ol = int(Layout::MicrosoftOutlook);
        QTest::newRow("Thunderbird, 36 columns") << tb36 << tb << QString() << lucja;
        QTest::newRow("Thunderbird, 37 columns with Screen Name") << tb37 << tb << QString() << lucja;
        QTest::newRow("Outlook") << outlook << ol << QString() << lucja;
        QTest::newRow("Outlook with Middle Name") << middle << ol << QString() << lucja;
        QTest::newRow("Outlook with Secondo nome") << secondo << ol << QString() << lucja;
        const QString none = u"non è in nessuno dei formati della lista"_s;
        QTest::newRow("Google as Thunderbird") << google << tb << none << QStringList();
        QTest::newRow("Google as Outlook") << google << ol << none << QStringList();
        QTest::newRow("Thunderbird 37 as Outlook")
            << tb37 << ol << u"sembra un'esportazione di Mozilla Thunderbird (37 colonne)"_s << QStringList();
        QTest::newRow("Outlook as Thunderbird")
            << outlook << tb << u"sembra un'esportazione di Microsoft Outlook (20 colonne)"_s << QStringList();
        QTest::newRow("Outlook with Secondo nome as Thunderbird")
            << secondo << tb << u"sembra un'esportazione di Microsoft Outlook (20 colonne)"_s << QStringList();
        // Thunderbird's names in an order of their own (a re-sorted or hand-made export, semicolons): read
        // by the names, never by position into other fields; under the other layouts refused, naming it.
        const QString sorted = u"Display Name;First Name;Last Name;Primary Email;Organization;Fax Number;"
                               u"Work Phone;Work Address;Work City;Work State;Work ZipCode;Extra\r\n"
                               u"Łucja Müller;Łucja;Müller;lucja@example.pl;Città S.p.A.;022 999;022 111;"
                               u"Via Roma 1;Milano;MI;20100;x\r\n"_s;
        const QString sortedSeems = u"sembra un'esportazione di Mozilla Thunderbird (12 colonne)"_s;
        QTest::newRow("Thunderbird names sorted otherwise") << sorted << tb << QString() << lucja;
        QTest::newRow("Thunderbird names sorted otherwise as Outlook") << sorted << ol << sortedSeems << QStringList();
        QTest::newRow("Thunderbird names sorted otherwise as Outlook Express")
            << sorted << int(Layout::OutlookExpress) << sortedSeems << QStringList();
    }
    void exportsOfToday()
    {
        QFETCH(QString, text);
        QFETCH(int, layout);
        QFETCH(QString, refusal);
        QFETCH(QStringList, first);
        const QString cp1252 = QString(text).replace(u"Ł"_s, u"L"_s); // Windows-1252 has no "Ł"
        const QList<std::pair<const char *, QByteArray>> files = {
            {"UTF-8", text.toUtf8()},
            {"UTF-8 with BOM", "\xEF\xBB\xBF" + text.toUtf8()},
            {"UTF-16 LE", "\xFF\xFE" + QByteArray(QStringEncoder(QStringEncoder::Utf16LE).encode(text))},
            {"UTF-16 BE", QByteArray(QStringEncoder(QStringEncoder::Utf16BE).encode(text))},
            {"Windows-1252", QByteArray(QStringEncoder(QStringEncoder::Latin1).encode(cp1252))},
        };
        for (const auto &[encoding, data] : files) {
            const Result r = parse(data, Layout(layout));
            const bool latin = QByteArrayView(encoding) == "Windows-1252";
            if (!refusal.isEmpty()) {
                QVERIFY(r.fileRefused);
                QCOMPARE(r.errors.size(), 1);
                QVERIFY2(r.errors[0].contains(refusal) && r.errors[0].contains(layoutNames().value(layout)),
                         qPrintable(r.errors[0]));
                // Only layouts of the list are named.
                static const QRegularExpression named(u"(?:\"([^\"]+)\"|esportazione di ([^(]+) \\()"_s);
                for (auto m = named.globalMatch(r.errors[0]); m.hasNext();) {
                    const QRegularExpressionMatch found = m.next();
                    const QString name = found.captured(1).isEmpty() ? found.captured(2) : found.captured(1);
                    QVERIFY2(layoutNames().contains(name), qPrintable(r.errors[0]));
                }
                continue;
            }
            QVERIFY2(r.errors.isEmpty(), qPrintable(QString::fromLatin1(encoding) + r.errors.join(u'\n')));
            QCOMPARE(r.rows.size(), 1);
            const QStringList v = r.rows[0].values;
            QCOMPARE(v[Nome], latin ? QString(first[0]).replace(u"Ł"_s, u"L"_s) : first[0]);
            QCOMPARE(v[Cognome], first[1]);
            QCOMPARE(v[Telefono], first[2]);
            QCOMPARE(v[Fax], first[3]);
            QCOMPARE(v[Azienda], first[4]);
            QCOMPARE(v[Email], first[5]);
            if (layout == int(Layout::MozillaThunderbird)) {
                QCOMPARE(v[Via], u"Via Roma 1"_s);
                QCOMPARE(v[Localita], u"Milano"_s);
                QCOMPARE(v[Provincia], u"MI"_s);
                QCOMPARE(v[Cap], u"20100"_s);
            }
        }
    }

    void layoutNamesInOrder()
    {
        QCOMPARE(layoutNames().size(), 3);
        QCOMPARE(layoutFromName(u"Mozilla Thunderbird"_s), Layout::MozillaThunderbird);
        QVERIFY(!layoutFromName(u"Eudora"_s));
    }
};

QTEST_GUILESS_MAIN(TestAddressImport)
#include "tst_addressimport.moc"
