// Scanning into the Lumagrid control through SANE's "test" backend.
#include "ControlTest.h"
#include "FaxFixture.h"
#include "ImgXSupport.h"
#include "LumagridDocument.h"
#include "SaneScanner.h"
#include "ThumbCtl.h"

#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QSignalSpy>

#include <sane/sane.h>

using namespace Qt::StringLiterals;
using ControlTest::makeControl;

class TestLumagridScan : public QObject
{
    Q_OBJECT

private:
    TestHome m_dir;
    QString m_three;
    QString m_skip; // why the backend cannot be used here, empty when it can

    QString path(const QString &name) const { return m_dir.filePath(name); }

    static bool scan(Lumagrid &c, const QString &name = QString())
    {
        QSignalSpy done(&c, &Lumagrid::scanFinished);
        c.Scan(name);
        return TestWait::forSignal(done) && done.at(0).at(0).toBool();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ControlTest::isolate(m_dir);
        m_three = path(u"three.tif"_s);
        QVERIFY(FaxFixture::writeFax(m_three, 3));
        // SANE reads its configuration from our own folder: only the test backend, two devices
        // giving black 1-bit pages of 80 x 100 mm at 100 dpi.
        const QString conf = path(u"sane"_s);
        QVERIFY(QDir().mkpath(conf));
        QFile dll(conf + u"/dll.conf"_s);
        QVERIFY(dll.open(QIODevice::WriteOnly));
        dll.write("test\n");
        dll.close();
        QFile test(conf + u"/test.conf"_s);
        QVERIFY(test.open(QIODevice::WriteOnly));
        test.write("number_of_devices 2\nmode Gray\ndepth 1\nresolution 100.0\ntest-picture \"Solid black\"\n"
                   "tl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n");
        test.close();
        qputenv("SANE_CONFIG_DIR", conf.toLocal8Bit());

        SaneScanner probe;
        QSignalSpy listed(&probe, &SaneScanner::devicesListed);
        probe.listDevices();
        QVERIFY(TestWait::forSignal(listed));
        const QStringList devices = listed.at(0).at(0).toStringList();
        if (!devices.contains(u"test:0"_s))
            m_skip = u"SANE's test backend is not available here (devices: %1; %2)"_s.arg(
                devices.join(u", "_s), listed.at(0).at(1).toString());
    }

    void init()
    {
        Prompt::clearRecords();
        if (!m_skip.isEmpty() && !QByteArray(QTest::currentTestFunction()).startsWith("frame"))
            QSKIP(qPrintable(m_skip));
        SaneScanner::setCurrentSource(QString());
    }

    void cleanup() { Prompt::setDialogHandler({}); }

    void frameToImage_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("bytesPerLine");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QRgb>("first"); // colour of pixel (0, 0); 0 = no picture
        QTest::newRow("1-bit set bit is black")
            << int(SANE_FRAME_GRAY) << 1 << QByteArray("\x80\x00", 2) << 1 << 8 << 2 << qRgb(0, 0, 0);
        QTest::newRow("1-bit clear bit is white")
            << int(SANE_FRAME_GRAY) << 1 << QByteArray("\x7f\x00", 2) << 1 << 8 << 2 << qRgb(255, 255, 255);
        QTest::newRow("8-bit grey") << int(SANE_FRAME_GRAY) << 8 << QByteArray("\x40\x41\x42\x43", 4) << 2
                                    << 2 << 2 << qRgb(0x40, 0x40, 0x40);
        QTest::newRow("8-bit colour") << int(SANE_FRAME_RGB) << 8 << QByteArray("\x10\x20\x30", 3) << 3 << 1
                                      << 1 << qRgb(0x10, 0x20, 0x30);
        QTest::newRow("short data") << int(SANE_FRAME_GRAY) << 8 << QByteArray("\x40", 1) << 2 << 2 << 2
                                    << QRgb(0);
        QTest::newRow("line too short")
            << int(SANE_FRAME_RGB) << 8 << QByteArray(4, '\0') << 2 << 1 << 2 << QRgb(0);
        QTest::newRow("three-pass frame")
            << int(SANE_FRAME_RED) << 8 << QByteArray(4, '\0') << 2 << 2 << 2 << QRgb(0);
    }

    void frameToImage()
    {
        QFETCH(int, format);
        QFETCH(int, depth);
        QFETCH(QByteArray, data);
        QFETCH(int, bytesPerLine);
        QFETCH(int, pixels);
        QFETCH(int, lines);
        QFETCH(QRgb, first);
        const QImage img = SaneScanner::frameToImage(data, format, depth, bytesPerLine, pixels, lines);
        QCOMPARE(img.isNull(), first == 0);
        if (first)
            QCOMPARE(img.pixel(0, 0) & 0xffffff, first & 0xffffff);
    }

    void selectScannerSource()
    {
        auto c = makeControl();
        Prompt::setDialogHandler([](QDialog *d) {
            auto *list = d->findChild<QListWidget *>(u"lstSources"_s);
            if (!list || list->count() != 2)
                return int(QDialog::Rejected);
            list->setCurrentRow(1);
            return int(QDialog::Accepted);
        });
        c->SelectScannerSource();
        QCOMPARE(SaneScanner::currentSource(), u"test:1"_s);
    }

    // Pages accumulate across scans; the document was emptied at the first; Save writes them all.
    void scansAccumulateAndSave()
    {
        auto c = makeControl(true);
        QVERIFY(c->OpenSource(m_three));
        QUORIN_TRY_VERIFY(!c->ThumbsLoading());
        const QString target = path(u"scan.tif"_s);
        QVERIFY(scan(*c, target));
        QCOMPARE(c->PagesNumber(), 1);
        QCOMPARE(c->FileName(), QString());
        QCOMPARE(c->lNumPage(), 3);
        QCOMPARE(c->counterText(), u"1/1"_s);
        QVERIFY(scan(*c, target));
        QVERIFY(scan(*c, target));
        QCOMPARE(c->PagesNumber(), 3);
        QCOMPARE(c->Page(), 2);
        QCOMPARE(c->counterText(), u"3/3"_s);
        QUORIN_TRY_VERIFY(!c->ThumbsLoading());
        int shown = 0;
        for (ThumbCtl *cell : c->thumbCells())
            shown += cell->isVisible() ? 1 : 0;
        QCOMPARE(shown, 3);
        const ImgXImage page = c->Image();
        QVERIFY(page.isBilevel());
        QCOMPARE(page.xResolution(), 100);
        QVERIFY(qAbs(page.width() - 315) <= 2); // 80 mm at 100 dpi
        QCOMPARE(page.image().pixel(10, 10) & 0xffffff, 0u);
        QVERIFY(c->Save());
        QCOMPARE(ImgXSupport::pageCount(target), 3);
        QVERIFY(Prompt::records().isEmpty());
    }

    void scanWithoutNameForgetsTheSaveName()
    {
        auto c = makeControl();
        QVERIFY(scan(*c, path(u"first.tif"_s)));
        QCOMPARE(c->document()->ScanSaveName(), path(u"first.tif"_s));
        QVERIFY(scan(*c));
        QCOMPARE(c->document()->ScanSaveName(), QString());
        QCOMPARE(c->PagesNumber(), 2);
    }

    void unreachableScannerKeepsTheDocument()
    {
        auto c = makeControl();
        QVERIFY(c->OpenSource(m_three));
        SaneScanner::setCurrentSource(u" test:99 "_s);
        scan(*c, path(u"never.tif"_s));
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().title, u"Attenzione"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Lo scanner test:99 risulta NON raggiungibile."_s);
        QCOMPARE(c->PagesNumber(), 3);
        QCOMPARE(c->FileName(), m_three);
        QVERIFY(!c->document()->Scanned());
    }
    // A file opened while a scan runs stays the document: the scan's pages are dropped.
    void openingAFileEndsTheScan()
    {
        auto c = makeControl();
        QSignalSpy done(c.get(), &Lumagrid::scanFinished);
        c->Scan(path(u"dropped.tif"_s));
        QVERIFY(c->OpenSource(m_three));
        QVERIFY(TestWait::forSignal(done));
        QCOMPARE(c->PagesNumber(), 3);
        QVERIFY(!c->document()->Scanned());
        QCOMPARE(c->FileName(), m_three);
        QCOMPARE(c->ImgX()->count(), 3);
    }
};

QTEST_MAIN(TestLumagridScan)
#include "tst_lumagrid_scan.moc"
