// Multi-page fax TIFF files: loading, saving back, damaged files.
#include "FaxFixtures.h"
#include "ImgX.h"
#include "ImgXSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>

using namespace Qt::StringLiterals;

class TstImgXTiff : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void explicitCompression_data();
    void explicitCompression();
    void greyAndColourPages_data();
    void greyAndColourPages();
    void pagesDecodeOnDemand();
    void saveOverItsOwnSource();
    void savesOnePageOnlyWhenAsked();
    void missingResolutionReads96();
    void centimetreResolution();
    void badFiles_data();
    void badFiles();
    void damagedLaterPageFailsSaveAndWritesNothing();
    void mutatedFilesNeverCrash_data();
    void mutatedFilesNeverCrash();
    void formatNothingWrites_data();
    void formatNothingWrites();
    void documentsAreIndependent();
    void tiffTags_data();
    void tiffTags();
    void shortStripIsWhiteAndNeverSaved();
    void loopingChainsOpenUpToTheLoop_data();
    void loopingChainsOpenUpToTheLoop();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QString m_ps;
};

// A G4 fax of `pages` pages written with plain libtiff, one strip a page; page p carries a bar of
// 10 + 7p rows and a diagonal pattern of its own, so no two pages are alike.
static bool writeG4(const QString &path, int pages, int width = 1728, int height = 400)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    QByteArray row((width + 7) / 8, '\0');
    bool ok = true;
    for (int p = 0; p < pages && ok; ++p) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 196.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(p), uint16_t(pages));
        for (int y = 0; y < height && ok; ++y) {
            for (int x = 0; x < row.size(); ++x)
                row[x] = char(y < 10 + 7 * p && x < row.size() / 2 ? 0xff
                              : (x + y / 3 + p) % 9 == 0           ? 0x3c
                                                                   : 0);
            ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok;
}

static QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

static bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void TstImgXTiff::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_dir.filePath(u"data"_s).toLocal8Bit());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
    if (!FaxFixtures::toolsAvailable())
        QSKIP("gs and tiffcp are needed for the fax fixtures");
    m_ps = path(u"three.ps"_s);
    QVERIFY(FaxFixtures::writePostScript(m_ps, 3));
    QVERIFY(FaxFixtures::ghostscript(u"tiffg3"_s, m_ps, path(u"gs-g3.tif"_s), u"204x98"_s));
    QVERIFY(FaxFixtures::ghostscript(u"tiffg32d"_s, m_ps, path(u"gs-g32d.tif"_s), u"204x196"_s));
    QVERIFY(FaxFixtures::ghostscript(u"tiffg4"_s, m_ps, path(u"gs-g4.tif"_s), u"204x196"_s));
    QVERIFY(FaxFixtures::ghostscript(u"tiffgray"_s, m_ps, path(u"gs-gray.tif"_s), u"100x100"_s));
    QVERIFY(FaxFixtures::ghostscript(u"tiff24nc"_s, m_ps, path(u"gs-rgb.tif"_s), u"72x72"_s));
    const QString src = path(u"gs-g4.tif"_s);
    QVERIFY(FaxFixtures::tiffcp(u"g3"_s, {path(u"gs-g3.tif"_s)}, path(u"cp-g3.tif"_s)));
    QVERIFY(FaxFixtures::tiffcp(u"g3:2d"_s, {src}, path(u"cp-g32d.tif"_s)));
    QVERIFY(FaxFixtures::tiffcp(u"g4"_s, {path(u"gs-g3.tif"_s)}, path(u"cp-g4.tif"_s)));
    QVERIFY(FaxFixtures::tiffcp(u"lzw"_s, {src}, path(u"cp-lzw.tif"_s)));
    QVERIFY(FaxFixtures::tiffcp(u"none"_s, {src}, path(u"cp-none.tif"_s)));
    // Fax servers often write reversed bit order and several strips per page.
    QVERIFY(FaxFixtures::tiffcp(u"g3"_s, {path(u"gs-g3.tif"_s)}, path(u"cp-g3-lsb.tif"_s),
                                {u"-f"_s, u"lsb2msb"_s}));
    QVERIFY(FaxFixtures::tiffcp(u"g4"_s, {src}, path(u"cp-g4-strips.tif"_s), {u"-r"_s, u"64"_s}));
    QVERIFY(FaxFixtures::tiffcp(u"g4"_s, {src}, path(u"cp-g4-tiles.tif"_s),
                                {u"-t"_s, u"-w"_s, u"256"_s, u"-l"_s, u"256"_s}));
}

void TstImgXTiff::roundTrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("yRes");
    QTest::newRow("gs tiffg3 204x98") << u"gs-g3.tif"_s << COMPRESSION_CCITTFAX3 << 98;
    QTest::newRow("gs tiffg32d") << u"gs-g32d.tif"_s << COMPRESSION_CCITTFAX3 << 196;
    QTest::newRow("gs tiffg4") << u"gs-g4.tif"_s << COMPRESSION_CCITTFAX4 << 196;
    QTest::newRow("tiffcp g3") << u"cp-g3.tif"_s << COMPRESSION_CCITTFAX3 << 98;
    QTest::newRow("tiffcp g3:2d") << u"cp-g32d.tif"_s << COMPRESSION_CCITTFAX3 << 196;
    QTest::newRow("tiffcp g4") << u"cp-g4.tif"_s << COMPRESSION_CCITTFAX4 << 98;
    QTest::newRow("tiffcp g3 lsb2msb") << u"cp-g3-lsb.tif"_s << COMPRESSION_CCITTFAX3 << 98;
    QTest::newRow("tiffcp g4 64-row strips") << u"cp-g4-strips.tif"_s << COMPRESSION_CCITTFAX4 << 196;
    QTest::newRow("tiffcp g4 tiles") << u"cp-g4-tiles.tif"_s << COMPRESSION_CCITTFAX4 << 196;
    // A bilevel page that was not CCITT gets G4 on automatic compression.
    QTest::newRow("tiffcp lzw") << u"cp-lzw.tif"_s << COMPRESSION_CCITTFAX4 << 196;
}

void TstImgXTiff::roundTrip()
{
    QFETCH(QString, file);
    QFETCH(int, compression);
    QFETCH(int, yRes);
    const QString in = path(file);
    const FaxFixtures::PageTags srcTags = FaxFixtures::tags(in, 0);

    ImgX doc;
    QVERIFY2(doc.importFile(in), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), 3);
    QCOMPARE(doc.currentIndex(), 0);
    for (int i = 0; i < 3; ++i) {
        const ImgXImage &p = doc.page(i);
        QCOMPARE(p.width(), srcTags.width);
        QCOMPARE(p.height(), srcTags.height);
        QCOMPARE(p.xResolution(), 204);
        QCOMPARE(p.yResolution(), yRes);
        QCOMPARE(p.formatCode(), imgTIF);
        QCOMPARE(p.sourcePage(), i);
        QVERIFY(p.isBilevel());
        QCOMPARE(p.image().format(), QImage::Format_Mono);
        QCOMPARE(FaxFixtures::asGrey(p.image()), FaxFixtures::referencePage(in, i));
    }
    // Pages differ from one another (the fixture is not three copies of one page).
    QVERIFY(doc.page(0).image() != doc.page(1).image());

    const QString out = path(u"rt-"_s + file);
    QVERIFY2(doc.exportFile(out, imgTIF), qPrintable(doc.lastError().description));
    QCOMPARE(FaxFixtures::pageCount(out), 3);
    for (int i = 0; i < 3; ++i) {
        const FaxFixtures::PageTags t = FaxFixtures::tags(out, i);
        QCOMPARE(t.compression, compression);
        if (compression == COMPRESSION_CCITTFAX3)
            QCOMPARE(t.t4Options & GROUP3OPT_2DENCODING,
                     FaxFixtures::tags(in, i).t4Options & GROUP3OPT_2DENCODING);
        QCOMPARE(t.photometric, int(PHOTOMETRIC_MINISWHITE));
        QCOMPARE(t.subfileType, int(FILETYPE_PAGE));
        QCOMPARE(t.pageNumber, i);
        QCOMPARE(t.pageTotal, 3);
        QCOMPARE(qRound(t.xRes), 204);
        QCOMPARE(qRound(t.yRes), yRes);
        QCOMPARE(t.resUnit, int(RESUNIT_INCH));
        QCOMPARE(FaxFixtures::referencePage(out, i), FaxFixtures::referencePage(in, i));
    }
}

void TstImgXTiff::explicitCompression_data()
{
    QTest::addColumn<int>("wanted");
    QTest::addColumn<int>("tag");
    QTest::newRow("none") << int(TIFCompression::None) << COMPRESSION_NONE;
    QTest::newRow("g3 1d") << int(TIFCompression::CcittG3) << COMPRESSION_CCITTFAX3;
    QTest::newRow("g3 2d") << int(TIFCompression::CcittG3_2D) << COMPRESSION_CCITTFAX3;
    QTest::newRow("g4") << int(TIFCompression::CcittG4) << COMPRESSION_CCITTFAX4;
    QTest::newRow("lzw") << int(TIFCompression::Lzw) << COMPRESSION_LZW;
    QTest::newRow("packbits") << int(TIFCompression::PackBits) << COMPRESSION_PACKBITS;
    QTest::newRow("deflate") << int(TIFCompression::Deflate) << COMPRESSION_ADOBE_DEFLATE;
}

void TstImgXTiff::explicitCompression()
{
    QFETCH(int, wanted);
    QFETCH(int, tag);
    ImgX doc;
    QVERIFY(doc.importFile(path(u"gs-g4.tif"_s)));
    doc.setTIFCompression(TIFCompression(wanted));
    const QString out = path(u"explicit-%1.tif"_s.arg(wanted));
    QVERIFY2(doc.exportFile(out, imgTIF), qPrintable(doc.lastError().description));
    QCOMPARE(FaxFixtures::pageCount(out), 3);
    QCOMPARE(FaxFixtures::tags(out, 2).compression, tag);
    QCOMPARE(FaxFixtures::tags(out, 2).bitsPerSample, 1);
    if (wanted == int(TIFCompression::CcittG3_2D))
        QVERIFY(FaxFixtures::tags(out, 0).t4Options & GROUP3OPT_2DENCODING);

    ImgX back;
    QVERIFY(back.importFile(out));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(back.page(i).image(), doc.page(i).image());
}

void TstImgXTiff::greyAndColourPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("spp");
    QTest::newRow("grey") << u"gs-gray.tif"_s << 1;
    QTest::newRow("rgb") << u"gs-rgb.tif"_s << 3;
}

void TstImgXTiff::greyAndColourPages()
{
    QFETCH(QString, file);
    QFETCH(int, spp);
    ImgX doc;
    QVERIFY(doc.importFile(path(file)));
    QCOMPARE(doc.count(), 3);
    QVERIFY(!doc.page(1).isBilevel());
    const QString out = path(u"auto-"_s + file);
    QVERIFY(doc.exportFile(out, imgTIF));
    for (int i = 0; i < 3; ++i) {
        const FaxFixtures::PageTags t = FaxFixtures::tags(out, i);
        QCOMPARE(t.compression, int(COMPRESSION_LZW));
        QCOMPARE(t.samplesPerPixel, spp);
        QCOMPARE(t.bitsPerSample, 8);
        QCOMPARE(FaxFixtures::referencePage(out, i), FaxFixtures::referencePage(path(file), i));
    }
}

void TstImgXTiff::pagesDecodeOnDemand()
{
    ImgX doc;
    QVERIFY(doc.importFile(path(u"gs-g4.tif"_s)));
    QVERIFY(doc.page(0).isDecoded());
    QVERIFY(!doc.page(2).isDecoded());
    // Size and resolution come from the directory without decoding.
    QCOMPARE(doc.page(2).width(), 1728);
    QCOMPARE(doc.page(2).yResolution(), 196);
    QCOMPARE(doc.page(2).tiffCompression(), int(COMPRESSION_CCITTFAX4));
    QVERIFY(!doc.page(2).isDecoded());
    QVERIFY(!doc.page(2).image().isNull());
    QVERIFY(doc.page(2).isDecoded());
    // A 1-bit A4 fax page stays small in memory.
    QVERIFY(doc.page(2).image().sizeInBytes() < 600 * 1024);
}

void TstImgXTiff::saveOverItsOwnSource()
{
    const QString file = path(u"own.tif"_s);
    QVERIFY(QFile::copy(path(u"gs-g3.tif"_s), file));
    ImgX doc;
    QVERIFY(doc.importFile(file));
    QVERIFY(!doc.page(1).isDecoded());
    QVERIFY(doc.exportFile(file, imgTIF));
    QCOMPARE(FaxFixtures::pageCount(file), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(FaxFixtures::referencePage(file, i), FaxFixtures::referencePage(path(u"gs-g3.tif"_s), i));
}

void TstImgXTiff::savesOnePageOnlyWhenAsked()
{
    ImgX doc;
    QVERIFY(doc.importFile(path(u"gs-g4.tif"_s), 1));
    QCOMPARE(doc.currentIndex(), 1);
    QVERIFY(doc.exportFile(path(u"all.tif"_s), imgTIF));
    QCOMPARE(FaxFixtures::pageCount(path(u"all.tif"_s)), 3);
    QVERIFY(doc.exportFile(path(u"one.tif"_s), imgTIF, 2));
    QCOMPARE(FaxFixtures::pageCount(path(u"one.tif"_s)), 1);
    QCOMPARE(FaxFixtures::referencePage(path(u"one.tif"_s), 0),
             FaxFixtures::referencePage(path(u"gs-g4.tif"_s), 2));

    ImgX single;
    QVERIFY(single.importPage(path(u"gs-g4.tif"_s), 2));
    QCOMPARE(single.count(), 1);
    QCOMPARE(single.page(0).image(), doc.page(2).image());
    QVERIFY(!single.importPage(path(u"gs-g4.tif"_s), 3));
    QCOMPARE(single.count(), 1);
}

static QString writeTinyTiff(const QString &file, bool withResolution, int unit, float xRes, float yRes)
{
    TIFF *t = TIFFOpen(QFile::encodeName(file).constData(), "w");
    if (!t)
        return {};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
    if (withResolution) {
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, unit);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, xRes);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, yRes);
    }
    // MinIsBlack: 0xFF bits are white. Row 0 all white, rows 1..3 black left half.
    unsigned char rows[4][2] = {{0xff, 0xff}, {0x00, 0xff}, {0x00, 0xff}, {0x00, 0xff}};
    TIFFWriteEncodedStrip(t, 0, rows, sizeof rows);
    TIFFClose(t);
    return file;
}

void TstImgXTiff::missingResolutionReads96()
{
    const QString file = writeTinyTiff(path(u"nores.tif"_s), false, 0, 0, 0);
    ImgX doc;
    QVERIFY(doc.importFile(file));
    QCOMPARE(doc.image().xResolution(), 96);
    QCOMPARE(doc.image().yResolution(), 96);
    // MinIsBlack input is kept with index 0 white: row 0 white, left half of row 1 black.
    QCOMPARE(doc.image().image().pixelIndex(3, 0), 0);
    QCOMPARE(doc.image().image().pixelIndex(3, 1), 1);
    QCOMPARE(doc.image().image().pixelIndex(12, 1), 0);
}

void TstImgXTiff::centimetreResolution()
{
    const QString file = writeTinyTiff(path(u"cm.tif"_s), true, RESUNIT_CENTIMETER, 80.0f, 38.5f);
    ImgX doc;
    QVERIFY(doc.importFile(file));
    QCOMPARE(doc.image().xResolution(), 203);
    QCOMPARE(doc.image().yResolution(), 98);
}

void TstImgXTiff::badFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray g4;
    {
        QFile f(path(u"gs-g4.tif"_s));
        if (f.open(QIODevice::ReadOnly))
            g4 = f.readAll();
    }
    QByteArray loop("II*\0\x08\0\0\0", 8);
    loop += QByteArray("\x01\0", 2) + QByteArray("\0\x01\x04\0\x01\0\0\0\x10\0\0\0", 12) +
            QByteArray("\x08\0\0\0", 4);
    QByteArray badIfd("II*\0\xff\xff\xff\x7f", 8);
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("text file") << QByteArray("Questo non e' un fax.\nRiga due.\n");
    QTest::newRow("tiff header only") << QByteArray("II*\0", 4);
    QTest::newRow("first IFD outside the file") << badIfd;
    QTest::newRow("IFD loop, no image data") << loop;
    QTest::newRow("truncated in first page") << g4.left(400);
    QTest::newRow("truncated after first page") << g4.left(g4.size() * 2 / 3);
    QTest::newRow("random bytes after signature") << QByteArray("MM\0*") + QByteArray(300, '\x5a');
}

void TstImgXTiff::badFiles()
{
    QFETCH(QByteArray, content);
    const QString file = path(u"bad.tif"_s);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    ImgX doc;
    QVERIFY(doc.importFile(path(u"gs-g4.tif"_s)));
    QVERIFY(!doc.importFile(file));
    QVERIFY2(ImgXErrorCode::isNotAnImage(doc.lastError().number), qPrintable(doc.lastError().description));
    QVERIFY(!doc.lastError().description.isEmpty());
    // The failed load changed nothing.
    QCOMPARE(doc.count(), 3);
}

// Points every strip of page `page` far outside the file (classic little-endian TIFF).
static bool breakStrips(QByteArray &data, quint64 ifd)
{
    auto u16 = [&](quint64 o) { return quint16(uchar(data[o]) | uchar(data[o + 1]) << 8); };
    auto u32 = [&](quint64 o) {
        return quint32(uchar(data[o]) | uchar(data[o + 1]) << 8 | uchar(data[o + 2]) << 16 |
                       quint32(uchar(data[o + 3])) << 24);
    };
    auto put32 = [&](quint64 o, quint32 v) {
        for (int i = 0; i < 4; ++i)
            data[qsizetype(o) + i] = char((v >> (8 * i)) & 0xff);
    };
    const int n = u16(ifd);
    for (int e = 0; e < n; ++e) {
        const quint64 entry = ifd + 2 + quint64(e) * 12;
        if (u16(entry) != TIFFTAG_STRIPOFFSETS)
            continue;
        const quint32 count = u32(entry + 4);
        if (u16(entry + 2) != TIFF_LONG)
            return false;
        if (count == 1) {
            put32(entry + 8, 0x7ffffff0);
        } else {
            const quint32 at = u32(entry + 8);
            for (quint32 i = 0; i < count; ++i)
                put32(at + 4 * i, 0x7ffffff0);
        }
        return true;
    }
    return false;
}

void TstImgXTiff::damagedLaterPageFailsSaveAndWritesNothing()
{
    // Every directory readable, but page 3's data lies outside the file.
    const QString src = path(u"cp-none.tif"_s);
    TIFF *tif = TIFFOpen(QFile::encodeName(src).constData(), "r");
    QVERIFY(tif);
    QVERIFY(TIFFSetDirectory(tif, 2));
    const quint64 ifd = TIFFCurrentDirOffset(tif);
    QVERIFY(!TIFFIsBigEndian(tif));
    TIFFClose(tif);
    QFile f(src);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray data = f.readAll();
    QVERIFY(breakStrips(data, ifd));
    const QString file = path(u"broken-page3.tif"_s);
    {
        QFile o(file);
        QVERIFY(o.open(QIODevice::WriteOnly | QIODevice::Truncate));
        o.write(data);
    }
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), 3);
    QVERIFY(doc.page(2).image().isNull());
    QCOMPARE(doc.page(2).decodeError().number, ImgXErrorCode::CorruptImage);
    QVERIFY(doc.setCurrentIndex(2));
    QVERIFY(!doc.rotate(90));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::CorruptImage);
    const QString out = path(u"never.tif"_s);
    QVERIFY(!doc.exportFile(out, imgTIF));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::CorruptImage);
    QVERIFY(!QFile::exists(out));
}

void TstImgXTiff::mutatedFilesNeverCrash_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("g3") << u"gs-g3.tif"_s;
    QTest::newRow("g4") << u"gs-g4.tif"_s;
    QTest::newRow("lzw") << u"cp-lzw.tif"_s;
    QTest::newRow("rgb") << u"gs-rgb.tif"_s;
}

// Damaged bytes anywhere (headers, directories, data): a result or a clear error, never a crash.
void TstImgXTiff::mutatedFilesNeverCrash()
{
    QFETCH(QString, file);
    QFile f(path(file));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray original = f.readAll();
    quint32 seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    const QString damaged = path(u"mutated.tif"_s);
    for (int round = 0; round < 40; ++round) {
        QByteArray data = original;
        const int changes = 1 + int(next() % 8);
        for (int c = 0; c < changes; ++c) {
            // Half the hits go to the first 2 KB, where the header and first directory live.
            const qsizetype at =
                (next() & 1) ? qsizetype(next() % 2048) : qsizetype(next() % quint32(data.size()));
            data[std::min(at, data.size() - 1)] = char(next() & 0xff);
        }
        if (round % 5 == 4)
            data.truncate(qsizetype(next() % quint32(data.size())));
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(data);
        out.close();
        ImgX doc;
        if (!doc.importFile(damaged)) {
            QVERIFY(doc.lastError().isError());
            continue;
        }
        for (int i = 0; i < doc.count(); ++i) {
            const ImgXImage &p = doc.page(i);
            QVERIFY(!p.image().isNull() || p.decodeError().isError());
        }
        const bool saved = doc.exportFile(path(u"mutated-out.tif"_s), imgTIF);
        QVERIFY(saved || doc.lastError().isError());
    }
}

void TstImgXTiff::formatNothingWrites_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("code");
    QTest::newRow("tla") << int(imgTLA) << ImgXErrorCode::FormatNotWritable;
    QTest::newRow("gif") << int(imgGIF) << ImgXErrorCode::FormatNotWritable;
    QTest::newRow("emf") << int(imgEMF) << ImgXErrorCode::FormatNotWritable;
    QTest::newRow("wmf") << int(imgWMF) << ImgXErrorCode::FormatNotWritable;
    QTest::newRow("code 0") << 0 << ImgXErrorCode::InvalidArgument;
    QTest::newRow("code 13") << 13 << ImgXErrorCode::InvalidArgument;
}

void TstImgXTiff::formatNothingWrites()
{
    QFETCH(int, format);
    QFETCH(int, code);
    ImgX doc;
    QVERIFY(doc.importFile(path(u"gs-g4.tif"_s)));
    const QString fresh = path(u"nothing.out"_s);
    QVERIFY(!doc.exportFile(fresh, ImgFileType(format)));
    QCOMPARE(doc.lastError().number, code);
    QVERIFY(!QFile::exists(fresh));
    // An existing file is left as it was.
    const QString existing = path(u"existing.out"_s);
    {
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("keep me");
    }
    QVERIFY(!doc.exportFile(existing, ImgFileType(format)));
    QFile f(existing);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void TstImgXTiff::documentsAreIndependent()
{
    ImgX a, b;
    QVERIFY(a.importFile(path(u"gs-g3.tif"_s)));
    QVERIFY(b.importFile(path(u"gs-g4.tif"_s)));
    a.setTIFCompression(TIFCompression::Lzw);
    a.setUndoLevels(1);
    QCOMPARE(b.tifCompression(), TIFCompression::Automatic);
    QCOMPARE(b.undoLevels(), 5);
    QVERIFY(a.rotate(180));
    QCOMPARE(a.undos(), 1);
    QCOMPARE(b.undos(), 0);
    QVERIFY(b.exportFile(path(u"b.tif"_s), imgTIF));
    QCOMPARE(FaxFixtures::tags(path(u"b.tif"_s), 0).compression, int(COMPRESSION_CCITTFAX4));
}

void TstImgXTiff::tiffTags_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("compression") << 0 << int(TIFFTAG_COMPRESSION) << QVariant(uint(COMPRESSION_CCITTFAX3));
    QTest::newRow("width, page 3") << 2 << int(TIFFTAG_IMAGEWIDTH) << QVariant(1728u);
    QTest::newRow("y resolution") << 1 << int(TIFFTAG_YRESOLUTION) << QVariant(98.0);
    QTest::newRow("photometric") << 0 << int(TIFFTAG_PHOTOMETRIC) << QVariant(uint(PHOTOMETRIC_MINISWHITE));
    QTest::newRow("no such page") << 3 << int(TIFFTAG_COMPRESSION) << QVariant();
    QTest::newRow("tag not set") << 0 << int(TIFFTAG_ARTIST) << QVariant();
}

void TstImgXTiff::tiffTags()
{
    QFETCH(int, page);
    QFETCH(int, tag);
    QFETCH(QVariant, value);
    const QVariant got = ImgXSupport::tiffTag(path(u"gs-g3.tif"_s), page, tag);
    QCOMPARE(got.isValid(), value.isValid());
    if (value.isValid())
        QCOMPARE(got.toDouble(), value.toDouble());
    // Arrays and texts come back whole.
    const QVariantList offsets =
        ImgXSupport::tiffTag(path(u"cp-g4-strips.tif"_s), 0, TIFFTAG_STRIPOFFSETS).toList();
    QVERIFY(offsets.size() > 1);
    QVERIFY(offsets.at(0).toULongLong() > 0);
    QVERIFY(ImgXSupport::tiffTag(path(u"gs-g3.tif"_s), 0, TIFFTAG_SOFTWARE)
                .toString()
                .contains(u"Ghostscript"_s));
    const QVariantList pageNumber =
        ImgXSupport::tiffTag(path(u"rt-gs-g3.tif"_s), 2, TIFFTAG_PAGENUMBER).toList();
    QCOMPARE(pageNumber, (QVariantList{2u, 3u}));
}

// Page 9 of 17 lost most of its data in transfer (its strip is 5 bytes): it shows what the file
// gives and white below, says it is damaged, and no save writes it over; the page before it is
// never written in its place, whether the pages were decoded already or are decoded while saving.
void TstImgXTiff::shortStripIsWhiteAndNeverSaved()
{
    const QString whole = path(u"seventeen.tif"_s), file = path(u"seventeen-short.tif"_s);
    QVERIFY(writeG4(whole, 17));
    QByteArray bytes = fileBytes(whole);
    ImgX intact, doc;
    QVERIFY(intact.importFile(whole));
    // Five bytes hold no whole row: that page cannot be shown at all, and no save writes over it.
    QVERIFY(FaxFixtures::setDirectoryEntry(bytes, 8, TIFFTAG_STRIPBYTECOUNTS, 5));
    QVERIFY(putFile(file, bytes));
    QVERIFY(doc.importFile(file));
    QVERIFY(doc.page(8).image().isNull() || doc.page(8).damage().isError());
    QVERIFY(!doc.exportFile(file, imgTIF));
    QVERIFY2(doc.lastError().description.startsWith(u"Page 9 is damaged"_s),
             qPrintable(doc.lastError().description));
    QCOMPARE(fileBytes(file), bytes);
    // A third of the strip: its first rows, then white.
    TIFF *tif = TIFFOpen(QFile::encodeName(whole).constData(), "r");
    QVERIFY(tif && TIFFSetDirectory(tif, 8));
    const quint32 third = quint32(TIFFGetStrileByteCount(tif, 0) / 3);
    TIFFClose(tif);
    QVERIFY(FaxFixtures::setDirectoryEntry(bytes, 8, TIFFTAG_STRIPBYTECOUNTS, third));
    QVERIFY(putFile(file, bytes));
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), 17);
    for (int i = 0; i < 17; ++i) {
        if (i != 8) {
            QCOMPARE(doc.page(i).image(), intact.page(i).image());
            QVERIFY(!doc.page(i).damage().isError());
        }
    }
    const QImage shown = doc.page(8).image(), before = doc.page(7).image(), own = intact.page(8).image();
    QCOMPARE(shown.size(), own.size());
    QCOMPARE(shown.format(), QImage::Format_Mono);
    QCOMPARE(doc.page(8).damage().number, ImgXErrorCode::CorruptImage);
    QVERIFY2(doc.page(8).damage().description.contains(u"rows"_s),
             qPrintable(doc.page(8).damage().description));
    // Every row is the page's own or white; the rows the 5 bytes cannot hold are white.
    const QByteArray white(shown.width() / 8, '\0');
    int whiteRows = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const QByteArray row(reinterpret_cast<const char *>(shown.constScanLine(y)), shown.width() / 8);
        const QByteArray mine(reinterpret_cast<const char *>(own.constScanLine(y)), own.width() / 8);
        QVERIFY2(row == mine || row == white, qPrintable(u"row %1"_s.arg(y)));
        whiteRows += row == white && row != mine;
    }
    QVERIFY2(whiteRows > 100 && whiteRows < 400, qPrintable(QString::number(whiteRows)));
    QVERIFY(shown != before);
    // Opened again in the same process (into memory the first document's pages held): the same pixels.
    {
        ImgX again;
        QVERIFY(again.importFile(file));
        for (int i = 6; i < 10; ++i)
            QCOMPARE(again.page(i).image(), doc.page(i).image());
    }

    // An edit of page 1, then Save over the file: refused, naming the page, the file as it was.
    QVERIFY(doc.setCurrentIndex(0));
    QVERIFY(doc.rotate(90));
    QVERIFY(!doc.exportFile(file, imgTIF));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::CorruptImage);
    QVERIFY2(doc.lastError().description.startsWith(u"Page 9 is damaged"_s),
             qPrintable(doc.lastError().description));
    QCOMPARE(fileBytes(file), bytes);
    // The same with every page still undecoded (one scratch buffer reused page after page), with the
    // damaged page edited itself, and for one page written alone in another format.
    ImgX lazy;
    QVERIFY(lazy.importFileUndecoded(file));
    QVERIFY(!lazy.exportFile(file, imgTIF));
    QVERIFY(lazy.lastError().description.startsWith(u"Page 9 is damaged"_s));
    QCOMPARE(fileBytes(file), bytes);
    QVERIFY(doc.setCurrentIndex(8));
    QVERIFY(doc.rotate(180));
    QVERIFY(!doc.exportFile(path(u"never.tif"_s), imgTIF));
    QVERIFY(!doc.exportFile(path(u"never.png"_s), imgPNG, 8));
    QVERIFY(doc.lastError().description.startsWith(u"Page 9 is damaged"_s));
    QVERIFY(!QFile::exists(path(u"never.tif"_s)) && !QFile::exists(path(u"never.png"_s)));
    // Without that page the rest saves, each page from its own data.
    QVERIFY(doc.removePage(8));
    const QString rest = path(u"sixteen.tif"_s);
    QVERIFY2(doc.exportFile(rest, imgTIF), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY(back.importFile(rest));
    QCOMPARE(back.count(), 16);
    for (int i = 1; i < 16; ++i)
        QCOMPARE(back.page(i).image(), intact.page(i < 8 ? i : i + 1).image());
}

void TstImgXTiff::loopingChainsOpenUpToTheLoop_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("last page to itself") << 3 << 2 << 2;
    QTest::newRow("last page to the first") << 3 << 2 << 0;
    QTest::newRow("first page to itself") << 3 << 0 << 0;
    QTest::newRow("page 150 back to page 10") << 200 << 149 << 9;
}

// A chain that comes back to a directory already read ends there: the pages before open, the
// engine says the chain loops, the file query counts as other readers do, and Save writes them.
void TstImgXTiff::loopingChainsOpenUpToTheLoop()
{
    QFETCH(int, pages);
    QFETCH(int, from);
    QFETCH(int, to);
    const QString whole = path(u"chain.tif"_s), file = path(u"loop.tif"_s);
    QVERIFY(writeG4(whole, pages, 64, 24));
    QByteArray bytes = fileBytes(whole);
    QVERIFY(FaxFixtures::linkDirectory(bytes, from, to));
    QVERIFY(putFile(file, bytes));
    const int expected = from + 1;
    ImgX doc, intact;
    QVERIFY(intact.importFile(whole));
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), expected);
    QVERIFY(doc.chainLoops());
    QVERIFY(!intact.chainLoops());
    QCOMPARE(ImgXSupport::pageCount(file), expected);
    QVERIFY(ImgXSupport::fileInfo(file).chainLoops);
    const QString tiffinfo = QStandardPaths::findExecutable(u"tiffinfo"_s);
    if (!tiffinfo.isEmpty()) { // libtiff's own tool lists the same directories
        QProcess p;
        p.start(tiffinfo, {file});
        QVERIFY(p.waitForFinished(TestWait::bound()));
        QCOMPARE(int(p.readAllStandardOutput().count("TIFF Directory at offset")), expected);
    }
    const QString out = path(u"unlooped.tif"_s);
    QVERIFY2(doc.exportFile(out, imgTIF), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY(back.importFile(out));
    QCOMPARE(back.count(), expected);
    QVERIFY(!back.chainLoops());
    for (int i = 0; i < expected; i += std::max(1, expected / 7))
        QCOMPARE(back.page(i).image(), intact.page(i).image());
}

QTEST_GUILESS_MAIN(TstImgXTiff)
#include "tst_imgx_tiff.moc"
