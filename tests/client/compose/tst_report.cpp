#include "ConfigIni.h"
#include "Prompt.h"
#include "frmPrint2.h"

#include <QFile>
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
