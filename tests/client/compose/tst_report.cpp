#include "ConfigIni.h"
#include "Prompt.h"
#include "frmPrint2.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

int pdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(u"/Type\\s*/Page(?!s)"_s);
    return int(QString::fromLatin1(f.readAll()).count(page));
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        Prompt::setAnswering(true);
        ConfigIni.Company = u"Alfa S.r.l."_s;
        ConfigIni.Fax = u"0222"_s;
        ConfigIni.Voice = u"0211"_s;
    }

    void pages_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("pages");
        QTest::newRow("the five rows of a sent fax") << 5 << u"OK"_s << 1;
        QTest::newRow("long values wrap in their column")
            << 5
            << QString(u"parola "_s.repeated(60) + u"unaparolamoltolungasenzaspazichenonstanellacolonna"_s)
            << 1;
        QTest::newRow("rows past the bottom go on new pages") << 80 << u"riga"_s << 3;
        QTest::newRow("empty values still make rows") << 5 << QString() << 1;
    }
    void pages()
    {
        QFETCH(int, rows);
        QFETCH(QString, value);
        const QString pdf = m_home.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".pdf"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        frmPrint2 report;
        report.valTitles = {QString()};
        report.values = {QString()};
        for (int i = 1; i <= rows; ++i) {
            report.valTitles.append(u"Titolo %1"_s.arg(i));
            report.values.append(value);
        }
        QVERIFY(report.AutoStampa(&printer));
        QTEST(pdfPages(pdf), "pages");
    }

    // Labels and values print black; only the rules between rows are grey. The PDF goes through
    // Ghostscript to an image: every pixel that is neither white nor the rules' grey is black-ish.
    void textIsBlack()
    {
        if (QStandardPaths::findExecutable(u"gs"_s).isEmpty())
            QSKIP("Ghostscript is not installed");
        const QString pdf = m_home.filePath(u"colour.pdf"_s);
        const QString png = m_home.filePath(u"colour.png"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        frmPrint2 report;
        report.valTitles = {QString(), u"Data e Ora"_s, u"Destinatario"_s, u"Durata"_s, u"Pagine Inviate"_s,
                            u"Esito"_s};
        report.values = {QString(), u"01/02/2026 10:00"_s, u"MMMMMMMM"_s, u"00:42"_s, u"3"_s, u"OK"_s};
        QVERIFY(report.AutoStampa(&printer));
        QProcess gs;
        gs.start(u"gs"_s, {u"-q"_s, u"-dSAFER"_s, u"-dBATCH"_s, u"-dNOPAUSE"_s, u"-sDEVICE=png16m"_s,
                           u"-r100"_s, u"-dTextAlphaBits=1"_s, u"-dGraphicsAlphaBits=1"_s,
                           u"-sOutputFile="_s + png, pdf});
        QVERIFY(gs.waitForFinished(TestWait::bound()));
        QCOMPARE(gs.exitCode(), 0);
        QImage image(png);
        QVERIFY(!image.isNull());
        // A rule is a row of the image that is mostly grey; grey anywhere else is text in the wrong colour.
        int black = 0, ruleRows = 0, greyText = 0, other = 0;
        for (int y = 0; y < image.height(); ++y) {
            int grey = 0;
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() > 245 && c.green() > 245 && c.blue() > 245)
                    continue;
                if (c.red() < 60 && c.green() < 60 && c.blue() < 60)
                    ++black;
                else if (qAbs(c.red() - 0xBE) < 12 && qAbs(c.green() - 0xBE) < 12 && qAbs(c.blue() - 0xBE) < 12)
                    ++grey;
                else
                    ++other;
            }
            if (grey > image.width() / 3)
                ++ruleRows;
            else
                greyText += grey;
        }
        QVERIFY(ruleRows >= 5);
        QVERIFY(black > 1000);
        QCOMPARE(greyText, 0);
        QCOMPARE(other, 0);
    }

    // Every recipient of a long list reaches the paper: the ";"-joined numbers wrap inside the value
    // column and go on to further lines and pages. Ghostscript reads the PDF's text back.
    void everyRecipientPrinted_data()
    {
        QTest::addColumn<int>("recipients");
        QTest::newRow("one") << 1;
        QTest::newRow("six") << 6;
        QTest::newRow("twenty") << 20;
        QTest::newRow("four hundred") << 400;
    }
    void everyRecipientPrinted()
    {
        if (QStandardPaths::findExecutable(u"gs"_s).isEmpty())
            QSKIP("Ghostscript is not installed");
        QFETCH(int, recipients);
        const QString pdf = m_home.filePath(u"recipients%1.pdf"_s.arg(recipients));
        const QString txt = m_home.filePath(u"recipients%1.txt"_s.arg(recipients));
        QStringList numbers, names;
        for (int i = 0; i < recipients; ++i) {
            numbers.append(u"0266"_s + QString::number(1000 + i * 7));
            names.append(u"Rossi%1x"_s.arg(i));
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        frmPrint2 report;
        report.valTitles = {QString(),   u"Data e Ora"_s,     u"Destinatario"_s,
                            u"Durata"_s, u"Pagine Inviate"_s, u"Esito"_s};
        report.values = {QString(),
                         u"01/02/2026 10:00"_s,
                         numbers.join(u';') + u" ["_s + names.join(u';') + u']',
                         u"00:42"_s,
                         u"3"_s,
                         u"OK"_s};
        QVERIFY(report.AutoStampa(&printer));
        QProcess gs;
        gs.start(u"gs"_s, {u"-q"_s, u"-dSAFER"_s, u"-dBATCH"_s, u"-dNOPAUSE"_s, u"-sDEVICE=txtwrite"_s,
                           u"-sOutputFile="_s + txt, pdf});
        QVERIFY(gs.waitForFinished(TestWait::bound()));
        QCOMPARE(gs.exitCode(), 0);
        QFile file(txt);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const QString &n : std::as_const(numbers))
            QVERIFY2(text.contains(n), qPrintable(n));
        for (const QString &n : std::as_const(names))
            QVERIFY2(text.contains(n), qPrintable(n));
        QVERIFY(text.contains(u"Esito"_s));
        if (recipients >= 400)
            QVERIFY(pdfPages(pdf) >= 2);
    }

    void unusablePrinterIsReported()
    {
        frmPrint2 report;
        Prompt::clearRecords();
        QVERIFY(!report.AutoStampa(nullptr));
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
