// The capture side of the fax printer: jobs taken from the spool folder and made into fax TIFFs.
#include "FaxTiffFixture.h"
#include "FmPrinter.h"
#include "TestHome.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray TwoPages = "%!PS-Adobe-3.0\n"
                            "/Helvetica findfont 24 scalefont setfont\n"
                            "72 700 moveto (Pagina uno) show showpage\n"
                            "72 700 moveto (Pagina due) show showpage\n";

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QString m_spool;

    void drop(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_spool + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.setUp()); }
    void init()
    {
        m_spool =
            m_home.filePath(u"spool-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') +
                            QString::fromLatin1(QTest::currentTestFunction()));
        QDir().mkpath(m_spool);
    }

    void convert_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("pages");
        QTest::newRow("postscript") << TwoPages << 2;
        QTest::newRow("tiff as it is") << QByteArray() << 3;
    }
    void convert()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, pages);
        if (job.isEmpty()) {
            const QString tif = m_home.filePath(u"three.tif"_s);
            QVERIFY(FaxTiffFixture::write(tif, 3, true, u"Tre"_s));
            QFile f(tif);
            QVERIFY(f.open(QIODevice::ReadOnly));
            job = f.readAll();
        }
        drop(u"job-9-1.prn"_s, job);
        drop(u".job-10-5.part"_s, "still being written");
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(done.wait(30000));
        QVERIFY(failed.isEmpty());
        QCOMPARE(printer.DocumentCount(), 1);
        const CapturedDocument doc = printer.Document();
        QCOMPARE(doc.Pages, pages);
        QVERIFY(FmPrinter::isTiff(doc.FilePath));
        QCOMPARE(int(QFile::permissions(doc.FilePath) & 0x0077), 0);   // private to the user
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList()); // taken out of the spool
        QVERIFY(QFile::exists(m_spool + u"/.job-10-5.part"_s));        // a job still written is left
        TIFF *tif = TIFFOpen(QFile::encodeName(doc.FilePath).constData(), "r");
        QVERIFY(tif);
        float x = 0, y = 0;
        quint32 width = 0;
        quint16 compression = 0;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFClose(tif);
        QCOMPARE(qRound(x), 204);
        QCOMPARE(qRound(y), 196);
        QCOMPARE(width, quint32(1728));
        QCOMPARE(compression, quint16(COMPRESSION_CCITTFAX4));

        // A second job printed while the window is open waits for the next run.
        drop(u"job-11-2.prn"_s, TwoPages);
        QVERIFY(!done.wait(1500));
        QCOMPARE(printer.DocumentCount(), 1);
        QVERIFY(QFile::exists(m_spool + u"/job-11-2.prn"_s));
        FmPrinter next;
        next.setSpoolDir(m_spool);
        QSignalSpy nextDone(&next, &FmPrinter::PrintComplete);
        next.setPrinterName(u"QuorinPrinter"_s);
        QVERIFY(nextDone.wait(30000));
        QCOMPARE(next.Document().Pages, 2);
    }

    // A job nothing can read is reported and removed, so the watcher does not start again for it; the next
    // job is taken.
    void unreadableJob()
    {
        drop(u"job-1-1.prn"_s, "\x01\x02 not a document");
        QFile newest(m_spool + u"/job-1-1.prn"_s); // taken first
        QVERIFY(newest.open(QIODevice::ReadWrite));
        QVERIFY(
            newest.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        newest.close();
        drop(u"job-0-1.prn"_s, TwoPages);
        FmPrinter printer;
        printer.setSpoolDir(m_spool);
        QSignalSpy failed(&printer, &FmPrinter::CaptureFailed);
        printer.setPrinterName(u"QuorinPrinter"_s);
        QSignalSpy done(&printer, &FmPrinter::PrintComplete);
        QVERIFY(failed.wait(30000));
        QVERIFY(done.wait(30000));
        QCOMPARE(printer.DocumentCount(), 1);
        QCOMPARE(QDir(m_spool).entryList(QDir::Files), QStringList());
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
