// The control's document state without a window.
#include "FaxFixtures.h"
#include "LumagridDocument.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>

using namespace Qt::StringLiterals;

class TstLumagridDocument : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void openThreePages();
    void goToPage_data();
    void goToPage();
    void missingFileKeepsCounts();
    void notAnImageIsSilent();
    void lowResFax();
    void scannedPages();
    void puliziaKeepsNameAndCounts();
    void saveWritesEveryPage();
    void saveScannedPagesToScanName();
    void saveWithoutSourceNeedsSaveAs();
    void changesClearSaved();
    void fileName_data();
    void fileName();
    void fileExists_data();
    void fileExists();

private:
    QString path(const QString &n) const { return m_dir.filePath(n); }
    QTemporaryDir m_dir;
};

void TstLumagridDocument::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
    if (!FaxFixtures::toolsAvailable())
        QSKIP("gs and tiffcp are needed for the fax fixtures");
    QVERIFY(FaxFixtures::writePostScript(path(u"three.ps"_s), 3));
    QVERIFY(FaxFixtures::ghostscript(u"tiffg3"_s, path(u"three.ps"_s), path(u"low.tif"_s), u"204x98"_s));
    QVERIFY(FaxFixtures::ghostscript(u"tiffg4"_s, path(u"three.ps"_s), path(u"fine.tif"_s), u"204x196"_s));
    QImage jpg(40, 30, QImage::Format_RGB32);
    jpg.fill(Qt::darkCyan);
    QVERIFY(jpg.save(path(u"colour.jpg"_s), "JPEG"));
    QFile text(path(u"note.txt"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not an image\n");
}

void TstLumagridDocument::openThreePages()
{
    LumagridDocument doc;
    QCOMPARE(doc.counterText(), u"0/0"_s);
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QCOMPARE(doc.counterText(), u"1/3"_s);
    QCOMPARE(doc.Page(), 0);
    QCOMPARE(doc.PagesNumber(), 3);
    QCOMPARE(doc.lNumPage(), 3);
    QCOMPARE(doc.FileExt(), u"TIF"_s);
    QVERIFY(!doc.Saved());
    QVERIFY(!doc.Scanned());
}

void TstLumagridDocument::goToPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("current");
    QTest::newRow("first") << 0 << true << u"1/3"_s << 0;
    QTest::newRow("last") << 2 << true << u"3/3"_s << 2;
    QTest::newRow("page count means last") << 3 << true << u"3/3"_s << 2;
    QTest::newRow("beyond: unchanged") << 7 << false << u"2/3"_s << 1;
    QTest::newRow("negative: unchanged") << -1 << false << u"2/3"_s << 1;
}

void TstLumagridDocument::goToPage()
{
    QFETCH(int, page);
    QFETCH(bool, shown);
    QFETCH(QString, counter);
    QFETCH(int, current);
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(doc.goToPage(1));
    QCOMPARE(doc.goToPage(page), shown);
    QCOMPARE(doc.counterText(), counter);
    QCOMPARE(doc.Page(), current);
    QCOMPARE(doc.engine().currentIndex(), current);
}

void TstLumagridDocument::missingFileKeepsCounts()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(doc.goToPage(2));
    QCOMPARE(doc.openSource(path(u"nowhere.tif"_s)), LumagridDocument::OpenResult::Missing);
    QCOMPARE(doc.counterText(), u"0/0"_s);
    QCOMPARE(doc.lNumPage(), 3);
    QCOMPARE(doc.Page(), 2);
    QCOMPARE(doc.FileName(), path(u"nowhere.tif"_s));
    QVERIFY(doc.engine().isEmpty());
}

void TstLumagridDocument::notAnImageIsSilent()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"note.txt"_s)), LumagridDocument::OpenResult::NotAnImage);
    QVERIFY(!doc.lastError().isError());
    QCOMPARE(doc.counterText(), u"0/0"_s);
    QVERIFY(doc.engine().isEmpty());
}

void TstLumagridDocument::lowResFax()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"low.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(doc.LowResFax());
    QCOMPARE(doc.openSource(path(u"colour.jpg"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(!doc.LowResFax());
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(!doc.LowResFax());
}

void TstLumagridDocument::scannedPages()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    doc.openSource(QString()); // a scan starts from an empty control
    QImage scan(100, 140, QImage::Format_RGB32);
    scan.fill(Qt::white);
    doc.addScannedPage(ImgXImage(scan, 200, 200));
    doc.addScannedPage(ImgXImage(scan, 200, 200));
    QVERIFY(doc.Scanned());
    QCOMPARE(doc.ScannedCount(), 2);
    QCOMPARE(doc.PagesNumber(), 2);
    QCOMPARE(doc.lNumPage(), 3);
    QCOMPARE(doc.Page(), 1);
    QCOMPARE(doc.counterText(), u"2/2"_s);
    QCOMPARE(doc.engine().count(), 2);
    QCOMPARE(doc.engine().undos(), 0);
    QVERIFY(doc.goToPage(2));
    QCOMPARE(doc.counterText(), u"2/2"_s);
    // Opening a file leaves the scanned state.
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(!doc.Scanned());
    QCOMPARE(doc.PagesNumber(), 3);
}

void TstLumagridDocument::puliziaKeepsNameAndCounts()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    QVERIFY(doc.goToPage(1));
    doc.markSaved();
    doc.pulizia();
    QCOMPARE(doc.FileName(), path(u"fine.tif"_s));
    QCOMPARE(doc.lNumPage(), 3);
    QCOMPARE(doc.Page(), 1);
    QVERIFY(!doc.Saved());
    QVERIFY(doc.engine().isEmpty());
}

void TstLumagridDocument::saveWritesEveryPage()
{
    const QString file = path(u"edit.tif"_s);
    QFile::remove(file);
    QVERIFY(QFile::copy(path(u"low.tif"_s), file));
    LumagridDocument doc;
    QCOMPARE(doc.openSource(file), LumagridDocument::OpenResult::Opened);
    QVERIFY(doc.goToPage(1));
    QVERIFY(doc.engine().fillRect(QRect(0, 0, 50, 50), Qt::black, 255));
    QVERIFY(!doc.Saved());
    QCOMPARE(doc.save(), LumagridDocument::SaveResult::Saved);
    QVERIFY(doc.Saved());
    // Every page is still there, the edit is on page 2, and the fax stays Group 3 at 204x98.
    QCOMPARE(FaxFixtures::pageCount(file), 3);
    for (int i = 0; i < 3; ++i) {
        const FaxFixtures::PageTags t = FaxFixtures::tags(file, i);
        QCOMPARE(t.compression, int(COMPRESSION_CCITTFAX3));
        QCOMPARE(qRound(t.yRes), 98);
        QCOMPARE(qRound(t.xRes), 204);
    }
    QCOMPARE(FaxFixtures::referencePage(file, 0), FaxFixtures::referencePage(path(u"low.tif"_s), 0));
    QCOMPARE(qGray(FaxFixtures::referencePage(file, 1).pixel(10, 10)), 0);
    QCOMPARE(FaxFixtures::referencePage(file, 2), FaxFixtures::referencePage(path(u"low.tif"_s), 2));
}

void TstLumagridDocument::saveScannedPagesToScanName()
{
    LumagridDocument doc;
    doc.openSource(QString());
    QImage scan(64, 80, QImage::Format_Mono);
    scan.fill(0);
    for (int i = 0; i < 3; ++i)
        doc.addScannedPage(ImgXImage(scan, 200, 100));
    doc.setScanSaveName(path(u"scan.tif"_s));
    QCOMPARE(doc.save(), LumagridDocument::SaveResult::Saved);
    QCOMPARE(FaxFixtures::pageCount(path(u"scan.tif"_s)), 3);
    QCOMPARE(FaxFixtures::tags(path(u"scan.tif"_s), 2).compression, int(COMPRESSION_CCITTFAX4));
    QCOMPARE(qRound(FaxFixtures::tags(path(u"scan.tif"_s), 2).yRes), 100);
}

void TstLumagridDocument::saveWithoutSourceNeedsSaveAs()
{
    LumagridDocument doc;
    doc.openSource(QString());
    doc.addScannedPage(ImgXImage(QImage(10, 10, QImage::Format_RGB32)));
    // Scanned but no scan name: the first page has no source either.
    QCOMPARE(doc.save(), LumagridDocument::SaveResult::NeedsSaveAs);
    QVERIFY(!doc.Saved());
}

void TstLumagridDocument::changesClearSaved()
{
    LumagridDocument doc;
    QCOMPARE(doc.openSource(path(u"fine.tif"_s)), LumagridDocument::OpenResult::Opened);
    doc.markSaved();
    QSignalSpy changed(&doc, &LumagridDocument::Changed);
    QVERIFY(doc.engine().rotate(180));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!doc.Saved());
}

void TstLumagridDocument::fileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("ext");
    QTest::newRow("tif") << u"/tmp/fax.tif"_s << true << u"TIF"_s;
    QTest::newRow("gif lower") << u"a.gif"_s << true << u"GIF"_s;
    QTest::newRow("three chars") << u"abc"_s << true << u"ABC"_s;
    QTest::newRow("two chars keeps old ext") << u"ab"_s << false << u"PNG"_s;
}

void TstLumagridDocument::fileName()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    QFETCH(QString, ext);
    LumagridDocument doc;
    QVERIFY(doc.setFileName(u"x.png"_s));
    QCOMPARE(doc.setFileName(name), accepted);
    QCOMPARE(doc.FileName(), name);
    QCOMPARE(doc.FileExt(), ext);
}

void TstLumagridDocument::fileExists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("exists");
    QTest::newRow("file") << path(u"fine.tif"_s) << true;
    QTest::newRow("quoted, spaces") << u"  \""_s + path(u"fine.tif"_s) + u"\" "_s << true;
    QTest::newRow("folder") << m_dir.path() << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("missing") << path(u"nope.tif"_s) << false;
}

void TstLumagridDocument::fileExists()
{
    QFETCH(QString, path);
    QFETCH(bool, exists);
    QCOMPARE(LumagridDocument::FileExists(path), exists);
}

QTEST_GUILESS_MAIN(TstLumagridDocument)
#include "tst_lumagriddocument.moc"
