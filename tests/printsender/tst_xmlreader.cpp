// The XML reader of job files and the fax a job element becomes.
#include "ErrorReporting.h"
#include "FaxJob.h"
#include "WriteFaults.h"
#include "XmlReader.h"
#include "faxOut.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Parsed
{
    bool ok = false;
    int number = 0;
    QString description;
    QStringList faxes; // each executed fax: its children "name=text" joined by "|"
};

Parsed parse(const QByteArray &xml, std::unique_ptr<clsXMLParser> *keep = nullptr)
{
    auto parser = std::make_unique<clsXMLParser>();
    Parsed p;
    parser->setFaxExecutor([&p](const clsXMLNode &fax) {
        QStringList parts;
        for (qsizetype i = 1; i <= fax.ChildrenCount(); ++i)
            parts << fax.enumChild(i)->Name() + u'=' + fax.enumChild(i)->Text();
        p.faxes << parts.join(u'|');
    });
    Err().Clear();
    p.ok = parser->ParseData(xml);
    p.number = Err().Number;
    p.description = Err().Description;
    if (keep)
        *keep = std::move(parser);
    return p;
}

QByteArray encoded(QStringConverter::Encoding encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

class TestXmlReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void goodJob()
    {
        std::unique_ptr<clsXMLParser> parser;
        const Parsed p = parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<!-- jobs -->\n"
                               "<jobs owner=\"acq\" Owner=\"x\">\n"
                               "  <fax><destfax>021</destfax><object>  Offerta  </object></fax>\n"
                               "  <!-- one --><!-- two -->\n"
                               "  <info a=\"1\"/>\n"
                               "  <group><fax><destfax>022</destfax></fax></group>\n"
                               "</jobs>\n",
                               &parser);
        QVERIFY2(p.ok, qPrintable(p.description));
        QCOMPARE(p.faxes, (QStringList{u"destfax=021|object=Offerta  "_s, u"destfax=022"_s}));
        const clsXMLNode *root = parser->ParentNode();
        QCOMPARE(root->Name(), u"jobs"_s);
        QCOMPARE(root->ChildrenCount(), 2); // "fax" elements are not kept
        // The same name in another case: one attribute, the first spelling, the last value.
        QCOMPARE(root->AttribCount(), 1);
        QCOMPARE(root->AttributeName(1), u"owner"_s);
        QCOMPARE(root->getAttribute(u"OWNER"_s), u"x"_s);
        QCOMPARE(root->enumChild(1)->getAttribute(u"a"_s), u"1"_s);
        QCOMPARE(root->enumChild(1)->Text(), QString());
        QCOMPARE(root->enumChild(2)->ChildrenCount(), 0);
        QVERIFY(!root->enumChild(3));
        QCOMPARE(parser->XMLNode()->Name(), u"xml"_s);
        QCOMPARE(parser->XMLNode()->getAttribute(u"version"_s), u"1.0"_s);
    }

    void rootNamedFaxIsNotSent()
    {
        const Parsed p = parse("<fax><fax><destfax>1</destfax></fax><FAX><destfax>2</destfax></FAX></fax>");
        QVERIFY(p.ok);
        QCOMPARE(p.faxes, QStringList{u"destfax=1"_s});
    }

    // Faxes whose end tag came before a fault are executed; the fault is reported with line and column.
    void malformed_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("faxes");
        QTest::newRow("empty") << QByteArray() << 42 << u"Expected: <"_s << 0;
        QTest::newRow("blanks") << QByteArray(" \r\n ") << 42 << u"Expected: <"_s << 0;
        QTest::newRow("text after child") << QByteArray("<a><b/>x</a>") << 42 << u"Expected: <"_s << 0;
        QTest::newRow("child after text") << QByteArray("<a>x<b/></a>") << 42 << u"Expected: /"_s << 0;
        QTest::newRow("mismatched end") << QByteArray("<jobs><fax><destfax>1</destfax></fax><x></y></jobs>")
                                        << 43 << u"Mismatched tag: 'x' at line 1"_s << 1;
        QTest::newRow("cut short") << QByteArray(
                                          "<jobs><fax><destfax>1</destfax></fax><fax><destfax>2</destfax>")
                                   << 42 << u"Expected: <"_s << 1;
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << 42
                                 << u"Expected: an element, not a DOCTYPE"_s << 0;
        QTest::newRow("comment inside text")
            << QByteArray("<a>x<!-- c --></a>") << 42 << u"Expected: /"_s << 0;
        QTest::newRow("end of file after text") << QByteArray("<a>text") << 42 << u"Expected: <"_s << 0;
        QTest::newRow("line counted")
            << QByteArray("<a>\n\n<b>\n</a>") << 43 << u"Mismatched tag: 'b' at line 4"_s << 0;
    }
    void malformed()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, number);
        QFETCH(QString, start);
        QFETCH(int, faxes);
        const Parsed p = parse(xml);
        QVERIFY(!p.ok);
        QCOMPARE(p.number, number);
        QVERIFY2(p.description.startsWith(start), qPrintable(p.description));
        QVERIFY(p.description.contains(u" at line "_s));
        QCOMPARE(Err().Source, u"XMLParser"_s);
        QCOMPARE(p.faxes.size(), faxes);
    }

    void deepAndHuge()
    {
        QByteArray deep;
        for (int i = 0; i < 100000; ++i)
            deep += "<a>";
        Parsed p = parse(deep);
        QVERIFY(!p.ok);
        QVERIFY2(p.description.contains(u"nested"_s), qPrintable(p.description));

        QTemporaryDir dir;
        QFile big(dir.filePath(u"big.xml"_s));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write("<a>");
        big.resize(clsXMLParser::MaxFileBytes + 10);
        big.close();
        clsXMLParser parser;
        Err().Clear();
        QVERIFY(!parser.Parse(big.fileName()));
        QCOMPARE(Err().Number, 42);

        // Many faxes in one file: each is executed and none is kept.
        QByteArray many = "<jobs>";
        for (int i = 0; i < 20000; ++i)
            many += "<fax><destfax>" + QByteArray::number(i) + "</destfax></fax>";
        many += "</jobs>";
        p = parse(many);
        QVERIFY(p.ok);
        QCOMPARE(p.faxes.size(), 20000);
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("utf-8 declared")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>Societ\xC3\xA0 \xE2\x82\xAC</a>");
        QTest::newRow("utf-8 with bom") << QByteArray("\xEF\xBB\xBF<a>Societ\xC3\xA0 \xE2\x82\xAC</a>");
        QTest::newRow("windows-1252 declared")
            << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>Societ\xE0 \x80</a>");
        QTest::newRow("ansi without declaration") << QByteArray("<a>Societ\xE0 \x80</a>");
        const QString text = u"<a>Società €</a>"_s;
        QTest::newRow("utf-16 with bom") << QByteArray("\xFF\xFE") + encoded(QStringConverter::Utf16LE, text);
        QTest::newRow("utf-16 be with bom")
            << QByteArray("\xFE\xFF") + encoded(QStringConverter::Utf16BE, text);
        QTest::newRow("utf-32 with bom")
            << QByteArray("\xFF\xFE\0\0", 4) + encoded(QStringConverter::Utf32LE, text);
        QTest::newRow("utf-32 be with bom")
            << QByteArray("\0\0\xFE\xFF", 4) + encoded(QStringConverter::Utf32BE, text);
        // Declared so, a file with UTF-8-looking pairs is still the Windows code page.
        QTest::newRow("windows-1252 declared, stray byte") << QByteArray(
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>Societ\xE0 \x80</a><!-- \xC3\xA9 -->");
    }
    // Bytes that break the file's encoding, and a NUL, are refused where they stand (their own line and
    // column), once the faxes before them were executed; nothing of them is guessed at.
    void encodingFaults_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("faxes");
        const QByteArray two =
            "<jobs>\r\n<fax><object>Caf\xC3\xA9</object></fax>\r\n<fax><object>Caff\xE8</object>"
            "</fax>\r\n</jobs>\r\n";
        const QStringList first{u"object=Café"_s};
        QTest::newRow("stray byte, not declared")
            << two << u"Expected: UTF-8 text, not the byte 0xE8 at line 3 [18]"_s << first;
        QTest::newRow("stray byte, declared")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<jobs>\n<fax><object>Cafe</object></fax>\n"
               "<fax><object>Caff\xE8</object></fax></jobs>"_ba
            << u"Expected: UTF-8 text, not the byte 0xE8 at line 4 [18]"_s << QStringList{u"object=Cafe"_s};
        QTest::newRow("stray byte after a BOM")
            << "\xEF\xBB\xBF<a>\nx\x80</a>"_ba << u"Expected: UTF-8 text, not the byte 0x80 at line 2 [2]"_s
            << QStringList();
        QTest::newRow("NUL in a text")
            << "<jobs><fax><object>a</object></fax>\n<fax><object>b\0c</object></fax></jobs>"_ba
            << u"Expected: a character, not NUL at line 2 [15]"_s << QStringList{u"object=a"_s};
        QTest::newRow("NUL in a name")
            << "<jo\0bs/>"_ba << u"Expected: a character, not NUL at line 1 [4]"_s << QStringList();
        QTest::newRow("utf-16 lone surrogate")
            << QByteArray("\xFE\xFF") + encoded(QStringConverter::Utf16BE, u"<a>\nx"_s) + "\xD8\x00\x00<"_ba
            << u"Expected: UTF-16 text, not the unit 0xD800 at line 2 [2]"_s << QStringList();
        QTest::newRow("utf-16 odd byte at the end")
            << QByteArray("\xFF\xFE") + encoded(QStringConverter::Utf16LE, u"<a>x</a"_s) + "\x3E"_ba
            << u"Expected: UTF-16 text, not a unit cut short at line 1 [8]"_s << QStringList();
        QTest::newRow("utf-32 past U+10FFFF")
            << QByteArray("\xFF\xFE\0\0", 4) + encoded(QStringConverter::Utf32LE, u"<a>"_s) +
                   QByteArray("\0\0\x11\0", 4)
            << u"Expected: UTF-32 text, not the unit 0x110000 at line 1 [4]"_s << QStringList();
    }
    void encodingFaults()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, description);
        QFETCH(QStringList, faxes);
        const Parsed p = parse(xml);
        QVERIFY(!p.ok);
        QCOMPARE(p.number, 42);
        QVERIFY2(p.description.startsWith(description), qPrintable(p.description));
        QCOMPARE(p.faxes, faxes);
    }
    void encodings()
    {
        QFETCH(QByteArray, xml);
        std::unique_ptr<clsXMLParser> parser;
        const Parsed p = parse(xml, &parser);
        QVERIFY2(p.ok, qPrintable(p.description));
        QCOMPARE(parser->ParentNode()->Text(), u"Società €"_s);
    }

    // The bytes decide the encoding; the prolog's encoding attribute is not used.
    void declaredEncodingIgnored()
    {
        std::unique_ptr<clsXMLParser> parser;
        const Parsed p =
            parse("<?xml version=\"1.0\" encoding=\"x-nothing\"?><a>Societ\xC3\xA0</a>", &parser);
        QVERIFY2(p.ok, qPrintable(p.description));
        QCOMPARE(parser->ParentNode()->Text(), u"Società"_s);
        QCOMPARE(parser->XMLNode()->getAttribute(u"encoding"_s), u"x-nothing"_s);
    }

    // What job files may hold: names of letters, digits and "`!@#$^_-:", blanks after "<" and "</", end
    // tags in another case, an upper-case prolog, comments where blanks may stand; values only in double
    // quotes right after "=". Entities: the five of XML and numeric references; anything else stays as
    // written.
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("text");
        QTest::newRow("end tag in another case") << QByteArray("<a>x</A>") << u"x"_s;
        QTest::newRow("blank after <")
            << QByteArray("<jobs>< fax><destfax>1</destfax></fax>< b>y</b></jobs>") << QString();
        QTest::newRow("blank after </") << QByteArray("<r><b>y</ b></ r>") << QString();
        QTest::newRow("upper-case prolog") << QByteArray("<?XML version=\"1.0\"?><a>x</a>") << u"x"_s;
        QTest::newRow("prolog ended by > alone") << QByteArray("<?xml version=\"1.0\"><a>x</a>") << u"x"_s;
        QTest::newRow("prolog without attributes, ended by >") << QByteArray("<?xml><a>x</a>") << u"x"_s;
        QTest::newRow("name characters") << QByteArray("<a-1:b_`!@#$^>x</A-1:B_`!@#$^>") << u"x"_s;
        QTest::newRow("blanks around text") << QByteArray("<a>\r\n  x y  </a>") << u"x y  "_s;
        QTest::newRow("comments before and between")
            << QByteArray("<!-- a --> <!-- b\r\n --><r><!-- c --><b/><!-- d --> <!-- e --><c/></r>")
            << QString();
        QTest::newRow("entities") << QByteArray("<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x42;</a>")
                                  << u"<>&\"'AB"_s;
        QTest::newRow("lone ampersand")
            << QByteArray("<a>Rossi & Figli &nope; &#xZZ; &</a>") << u"Rossi & Figli &nope; &#xZZ; &"_s;
        QTest::newRow("anything after the root") << QByteArray("<a>x</a> trailing <junk") << u"x"_s;
        QTest::newRow("empty element with attribute") << QByteArray("<a k=\"v\"/>") << QString();
    }
    void accepted()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, text);
        std::unique_ptr<clsXMLParser> parser;
        const Parsed p = parse(xml, &parser);
        QVERIFY2(p.ok, qPrintable(p.description));
        QCOMPARE(parser->ParentNode()->Text(), text);
        if (QByteArray(QTest::currentDataTag()) == "blank after <")
            QCOMPARE(p.faxes, QStringList{u"destfax=1"_s});
        if (QByteArray(QTest::currentDataTag()) == "empty element with attribute") {
            QCOMPARE(parser->ParentNode()->getAttribute(u"K"_s), u"v"_s);
            QCOMPARE(parser->ParentNode()->ChildrenCount(), 0);
        }
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("description");
        QTest::newRow("blank before the quote") << QByteArray("<a k= \"v\"/>") << u"Expected: \""_s;
        QTest::newRow("single quotes") << QByteArray("<a k='v'/>") << u"Expected: \""_s;
        QTest::newRow("prolog without attributes") << QByteArray("<?xml?><a/>") << u"Expected: ="_s;
        QTest::newRow("prolog of another name")
            << QByteArray("<?xsl version=\"1\"?><a/>") << u"Expected: xml"_s;
        QTest::newRow("cdata") << QByteArray("<a><![CDATA[x]]></a>") << u"Expected: "_s;
        QTest::newRow("line and column") << QByteArray("<jobs>\r\n  <fax>\r\n  </fox>\r\n</jobs>")
                                         << u"Mismatched tag: 'fax' at line 3 ["_s;
        QTest::newRow("lines of a Linux file")
            << QByteArray("<a>\n<b>\n<c k=v/>") << u"Expected: \" at line 3 ["_s;
    }
    void refused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, description);
        const Parsed p = parse(xml);
        QVERIFY(!p.ok);
        QVERIFY(p.number == 42 || p.number == 43);
        QVERIFY2(p.description.startsWith(description), qPrintable(p.description));
    }

    void saveRoundTrip()
    {
        std::unique_ptr<clsXMLParser> parser;
        QVERIFY(
            parse("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r k=\"a&amp;b\"><c>x &lt; y</c><d/></r>",
                  &parser)
                .ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.xml"_s);
        QVERIFY(parser->Save(path, true, 0));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r k=\"a&amp;b\">\r\n"
                                         "    <c>x &lt; y</c>\r\n    <d/>\r\n</r>\r\n"));
        clsXMLParser again;
        QVERIFY(again.Parse(path));
        QCOMPARE(again.ParentNode()->enumChild(1)->Text(), u"x < y"_s);

        // Tabs, line feeds and carriage returns given as references survive a save: written raw, a reader
        // would turn them into blanks (attributes) or line feeds.
        QVERIFY(parse("<r k=\"a&#9;b&#10;c&#13;d\"><c>e&#13;f\ng</c></r>", &parser).ok);
        QVERIFY(parser->Save(path, false, 0));
        QVERIFY(again.Parse(path));
        QCOMPARE(again.ParentNode()->getAttribute(u"k"_s), u"a\tb\nc\rd"_s);
        QCOMPARE(again.ParentNode()->enumChild(1)->Text(), u"e\rf\ng"_s);

        // Prologs that read without "?>" are written with it; one without attributes is left out, as
        // "<?xml?>" would not read.
        const std::pair<QByteArray, QByteArray> prologs[] = {
            {"<?xml><r/>", "<r/>"}, {"<?xml version=\"1.0\"><r/>", "<?xml version=\"1.0\"?><r/>"}};
        for (const auto &[in, written] : prologs) {
            QVERIFY(parse(in, &parser).ok);
            QVERIFY(parser->Save(path, false, 0));
            QFile saved(path);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), written);
            QVERIFY(again.Parse(path));
            QCOMPARE(again.ParentNode()->Name(), u"r"_s);
        }

        // A file that may not be written says why (error 75, the words of every writer).
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        {
            WriteFaults::ModesHold modes;
            Err().Clear();
            QVERIFY(!parser->Save(path, false, 0));
        }
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(Err().Number, 75);
        QCOMPARE(Err().Description, u"Impossibile scrivere il file %1: il file è di sola lettura."_s.arg(path));
        Err().Clear();
    }

    // The job element's children over the defaults of the send window.
    void jobFax_data()
    {
        QTest::addColumn<QByteArray>("children");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>(
            "fields"); // files, subject, dest, retries, delay, date, time, from, app
        const QStringList defaults = {QString(),       QString(),     QString(),     u"0"_s,      u"300"_s,
                                      u"05-03-2027"_s, u"09:05:00"_s, u"Acquisti"_s, u"Sendora"_s};
        QTest::newRow("no children: defaults only") << QByteArray() << QString() << defaults;
        QTest::newRow("all set")
            << QByteArray(
                   "<faxfilename>/d/a.tif+/d/b.tif</faxfilename><object>Ordine</object>"
                   "<destfax>021;022</destfax><retries>3</retries><delayretries>60</delayretries>"
                   "<senddate>2027-12-24</senddate><sendtime>18:30</sendtime><fromline>Vendite</fromline>"
                   "<appname>Gestionale</appname><DestFax>999</DestFax>")
            << QString()
            << QStringList{u"/d/a.tif+/d/b.tif"_s, u"Ordine"_s,   u"021;022"_s, u"3"_s,         u"60"_s,
                           u"24-12-2027"_s,        u"18:30:00"_s, u"Vendite"_s, u"Gestionale"_s};
        QTest::newRow("later element wins, blanks ignored")
            << QByteArray("<destfax>1</destfax><destfax>2</destfax><object>   </object>"
                          "<faxfilename>/a</faxfilename><faxfilename>/b</faxfilename>")
            << QString() << QStringList{u"/b"_s,         QString(),     u"2"_s,        u"0"_s,      u"300"_s,
                                        u"05-03-2027"_s, u"09:05:00"_s, u"Acquisti"_s, u"Sendora"_s};
        QTest::newRow("retries not a number")
            << QByteArray("<retries>tre</retries>") << u"retries"_s << QStringList();
        QTest::newRow("retries too large")
            << QByteArray("<retries>40000</retries>") << u"retries"_s << QStringList();
        QTest::newRow("bad date") << QByteArray("<senddate>31/31/2027</senddate>") << u"Data"_s
                                  << QStringList();
    }
    void jobFax()
    {
        QFETCH(QByteArray, children);
        QFETCH(QString, error);
        QFETCH(QStringList, fields);
        std::unique_ptr<clsXMLParser> parser;
        QVERIFY(parse("<r><job>" + children + "</job></r>", &parser).ok);
        Sendora::FaxJobDefaults d;
        d.SendRes = u"1"_s;
        d.DelayRetries = u"300"_s;
        d.SendDate = u"2027-03-05"_s;
        d.SendTime = u"9:05"_s;
        d.FromLine = u"Acquisti"_s;
        QString message;
        const std::unique_ptr<faxOut> fax =
            Sendora::FaxFromJob(*parser->ParentNode()->enumChild(1), d, message);
        if (!error.isEmpty()) {
            QVERIFY(!fax);
            QVERIFY2(message.contains(error), qPrintable(message));
            return;
        }
        QVERIFY(fax);
        const QStringList got = {fax->AllFaxFiles(),
                                 fax->Subject(),
                                 fax->DestFax(),
                                 QString::number(fax->Retries()),
                                 QString::number(fax->RetryDelay()),
                                 fax->SendDate(),
                                 fax->SendTime(),
                                 fax->FromLine(),
                                 fax->AppName()};
        QCOMPARE(got, fields);
        QCOMPARE(fax->SendRes(), u"1"_s);
        QCOMPARE(fax->Files().size(), fields.at(0).isEmpty() ? 0 : fields.at(0).count(u'+') + 1);
    }
};

QTEST_GUILESS_MAIN(TestXmlReader)
#include "tst_xmlreader.moc"
