// Formats other than TIFF: Qt image I/O and GraphicsMagick, read and write.
#include "ImgX.h"
#include "ImgXRender.h"
#include "ImgXSupport.h"

#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <functional>

using namespace Qt::StringLiterals;

class TstImgXFormats : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void readsGif();
    void readsWmf();
    void wbmpKeepsBilevelPages();
    void detectsByContentNotName();
    void supportQueries_data();
    void supportQueries();
    void fileInfoOfOtherFormats();
    void damagedFiles_data();
    void damagedFiles();
    void everySaveAsEntryReadsBack_data();
    void everySaveAsEntryReadsBack();
    void wbmpSizeFields_data();
    void wbmpSizeFields();
    void paletteTransparency_data();
    void paletteTransparency();
    void writerOptions();
    void readsSixteenBitPhotoshop();
    void twoColourPalettesKeepTheirColours_data();
    void twoColourPalettesKeepTheirColours();
    void palettePicturesShowTheirColours_data();
    void palettePicturesShowTheirColours();

private:
    QTemporaryDir m_dir;
};

void TstImgXFormats::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
}

static QImage testPicture()
{
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 4, y * 5, (x + y) % 2 ? 255 : 0));
    return img;
}

void TstImgXFormats::roundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<bool>("keepsResolution");
    QTest::newRow("png") << int(imgPNG) << u"png"_s << true << true;
    QTest::newRow("bmp") << int(imgBMP) << u"bmp"_s << true << true;
    QTest::newRow("jpg") << int(imgJPG) << u"jpg"_s << false << true;
    QTest::newRow("pcx (GraphicsMagick)") << int(imgPCX) << u"pcx"_s << true << false;
    QTest::newRow("psd (GraphicsMagick)") << int(imgPSD) << u"psd"_s << true << false;
    QTest::newRow("tga (GraphicsMagick write, Qt read)") << int(imgTGA) << u"tga"_s << true << false;
}

void TstImgXFormats::roundTrip()
{
    QFETCH(int, format);
    QFETCH(QString, ext);
    QFETCH(bool, lossless);
    QFETCH(bool, keepsResolution);
    if (!ImgXSupport::canWrite(ImgFileType(format)))
        QSKIP("no writer for this format in this build");
    ImgX doc;
    QVERIFY(doc.importImage(testPicture(), 150, 150));
    const QString file = m_dir.filePath(u"pic."_s + ext);
    QVERIFY2(doc.exportFile(file, ImgFileType(format)), qPrintable(doc.lastError().description));
    QCOMPARE(ImgXSupport::detectFormat(file), ImgFileType(format));

    ImgX back;
    QVERIFY2(back.importFile(file), qPrintable(back.lastError().description));
    QCOMPARE(back.count(), 1);
    QCOMPARE(back.image().formatCode(), ImgFileType(format));
    QCOMPARE(back.image().sourceFileName(), file);
    QCOMPARE(back.image().size(), QSize(64, 48));
    if (keepsResolution)
        QCOMPARE(back.image().xResolution(), 150);
    const QImage got = back.image().image().convertToFormat(QImage::Format_RGB32);
    const QImage want = testPicture();
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            worst = std::max(
                {worst, qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))});
        }
    QVERIFY2(lossless ? worst == 0 : worst < 128, qPrintable(QString::number(worst)));
}

void TstImgXFormats::readsGif()
{
    // 2x1 GIF: a red and a blue pixel.
    const QByteArray gif = QByteArray::fromHex("474946383961"
                                               "02000100"
                                               "800000"
                                               "ff0000"
                                               "0000ff"
                                               "2c000000000200010000"
                                               "02"
                                               "02440a00"
                                               "3b");
    const QString file = m_dir.filePath(u"two.gif"_s);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(gif);
    f.close();
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().formatCode(), imgGIF);
    QCOMPARE(doc.image().size(), QSize(2, 1));
    const QImage img = doc.image().image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(img.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(img.pixel(1, 0), qRgb(0, 0, 255));
}

void TstImgXFormats::readsWmf()
{
    if (!ImgXSupport::canRead(imgWMF))
        QSKIP("no WMF reader in this GraphicsMagick build");
    // Placeable metafile, 100 x 50 units at 1440 a inch, one rectangle.
    const QByteArray wmf = QByteArray::fromHex(
        "d7cdc69a00000000000064003200a00500000000e7520100090000031d0000000000070000000000050000000b020000"
        "0000050000000c0232006400070000001b0428003c000a001400030000000000");
    const QString file = m_dir.filePath(u"logo.wmf"_s);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(wmf);
    f.close();
    QCOMPARE(ImgXSupport::detectFormat(file), imgWMF);
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().formatCode(), imgWMF);
    QVERIFY(!doc.image().isNull());
    // Nothing here writes WMF: saving back fails and leaves the file alone.
    QVERIFY(!doc.exportFile(file, imgWMF));
    QCOMPARE(doc.lastError().number, ImgXErrorCode::FormatNotWritable);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), wmf);
}

void TstImgXFormats::wbmpKeepsBilevelPages()
{
    QImage mono(37, 11, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int i = 0; i < 11; ++i)
        mono.setPixel(i * 3, i, 1);
    ImgX doc;
    QVERIFY(doc.importImage(mono));
    const QString file = m_dir.filePath(u"page.wbmp"_s);
    QVERIFY2(doc.exportFile(file, imgWBMP), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY(back.importFile(file));
    QCOMPARE(back.image().formatCode(), imgWBMP);
    QVERIFY(back.image().isBilevel());
    QCOMPARE(back.image().image(), doc.image().image());
}

void TstImgXFormats::detectsByContentNotName()
{
    ImgX doc;
    QVERIFY(doc.importImage(testPicture()));
    const QString file = m_dir.filePath(u"really-a-png.jpg"_s);
    QVERIFY(doc.exportFile(file, imgPNG));
    ImgX back;
    QVERIFY(back.importFile(file));
    QCOMPARE(back.image().formatCode(), imgPNG);
    // A PNG saved back goes back as PNG, whatever the name says.
    QVERIFY(back.exportFile(file, back.image().formatCode()));
    QCOMPARE(ImgXSupport::detectFormat(file), imgPNG);
}

void TstImgXFormats::supportQueries_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("read");
    QTest::addColumn<bool>("write");
    QTest::newRow("tif") << int(imgTIF) << true << true;
    QTest::newRow("jpg") << int(imgJPG) << true << true;
    QTest::newRow("png") << int(imgPNG) << true << true;
    QTest::newRow("bmp") << int(imgBMP) << true << true;
    QTest::newRow("wbmp") << int(imgWBMP) << true << true;
    QTest::newRow("gif") << int(imgGIF) << true << false;
    QTest::newRow("tga") << int(imgTGA) << true << true;
    QTest::newRow("pcx") << int(imgPCX) << true << true;
    QTest::newRow("psd") << int(imgPSD) << true << true;
    QTest::newRow("emf") << int(imgEMF) << false << false;
    QTest::newRow("tla") << int(imgTLA) << false << false;
}

void TstImgXFormats::supportQueries()
{
    QFETCH(int, format);
    QFETCH(bool, read);
    QFETCH(bool, write);
    QCOMPARE(ImgXSupport::canRead(ImgFileType(format)), read);
    QCOMPARE(ImgXSupport::canWrite(ImgFileType(format)), write);
}

void TstImgXFormats::fileInfoOfOtherFormats()
{
    ImgX doc;
    QVERIFY(doc.importImage(testPicture(), 300, 300));
    const QString file = m_dir.filePath(u"info.png"_s);
    QVERIFY(doc.exportFile(file, imgPNG));
    const ImgXFileInfo info = ImgXSupport::fileInfo(file);
    QVERIFY(info.isValid());
    QCOMPARE(info.format, imgPNG);
    QCOMPARE(info.pageCount, 1);
    QCOMPARE(info.size, QSize(64, 48));
    QCOMPARE(info.xResolution, 300);
    QCOMPARE(info.tiffCompression, 0);
    // A TGA without the 2.0 footer: Qt refuses it, GraphicsMagick reads it, and the query tells no
    // error of the first attempt.
    if (ImgXSupport::canWrite(imgTGA)) {
        const QString tga = m_dir.filePath(u"old.tga"_s);
        QVERIFY(doc.exportFile(tga, imgTGA));
        QFile f(tga);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.resize(f.size() - 26));
        f.close();
        const ImgXFileInfo old = ImgXSupport::fileInfo(tga);
        QVERIFY2(old.isValid(), qPrintable(old.error.description));
        QCOMPARE(old.pageCount, 1);
        QCOMPARE(old.size, QSize(64, 48));
        QVERIFY(doc.importFile(tga));
    }
    QCOMPARE(ImgXSupport::pageCount(m_dir.filePath(u"missing.png"_s)), 0);
    QCOMPARE(ImgXSupport::fileInfo(m_dir.filePath(u"missing.png"_s)).error.number,
             ImgXErrorCode::FileNotFound);
}

void TstImgXFormats::damagedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("keep");
    QTest::newRow("png cut short") << u"cut.png"_s << int(imgPNG) << 60;
    QTest::newRow("psd cut short") << u"cut.psd"_s << int(imgPSD) << 200;
    QTest::newRow("psd header only") << u"head.psd"_s << int(imgPSD) << 26;
}

void TstImgXFormats::damagedFiles()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    QFETCH(int, keep);
    ImgX doc;
    QVERIFY(doc.importImage(testPicture()));
    const QString file = m_dir.filePath(name);
    QVERIFY(doc.exportFile(file, ImgFileType(format)));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(keep));
    f.close();
    ImgX back;
    QVERIFY(!back.importFile(file));
    QVERIFY2(ImgXErrorCode::isNotAnImage(back.lastError().number), qPrintable(back.lastError().description));
    QVERIFY(back.isEmpty());
}

namespace {

// What ImageMagick (another decoder than ours) makes of a file: its size, and its pixels as 8-bit
// RGB when asked. False when ImageMagick is not installed.
bool otherDecoder(const QString &file, QSize *size, QImage *pixels = nullptr)
{
    const QString identify = QStandardPaths::findExecutable(u"identify"_s);
    if (identify.isEmpty())
        return false;
    QProcess p;
    p.start(identify, {u"-format"_s, u"%w %h\n"_s, file});
    p.waitForFinished(TestWait::bound());
    const QStringList wh = QString::fromLatin1(p.readAllStandardOutput()).split(u'\n').value(0).split(u' ');
    *size = wh.size() == 2 ? QSize(wh.at(0).toInt(), wh.at(1).toInt()) : QSize();
    if (pixels) {
        const QString convert = QStandardPaths::findExecutable(u"convert"_s);
        if (convert.isEmpty())
            return false;
        QProcess c;
        // ImageMagick leaves a bottom-up TGA as stored and only notes its orientation.
        c.start(convert, {file + u"[0]"_s, u"-auto-orient"_s, u"-depth"_s, u"8"_s, u"rgb:-"_s});
        c.waitForFinished(TestWait::bound());
        const QByteArray rgb = c.readAllStandardOutput();
        if (!size->isValid() || rgb.size() != qsizetype(size->width()) * size->height() * 3)
            return false;
        QImage img(*size, QImage::Format_RGB888);
        for (int y = 0; y < size->height(); ++y)
            memcpy(img.scanLine(y), rgb.constData() + qsizetype(y) * size->width() * 3,
                   size_t(size->width()) * 3);
        *pixels = img.convertToFormat(QImage::Format_RGB32);
    }
    return true;
}

// A fax-like bilevel page: lines of runs, a frame, a bar whose height tells the size apart.
QImage faxPage(QSize size)
{
    QImage img(size, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (x == 0 || y == size.height() - 1 || ((y / 7) % 3 == 0 && (x * 13 + y) % 29 < 11))
                img.setPixel(x, y, 1);
    return img;
}

int worstDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            worst = std::max(
                {worst, qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

const struct
{
    const char *name;
    ImgFileType format;
    const char *ext;
} kSaveAsEntries[] = {{"jpg", imgJPG, "jpg"}, {"tif", imgTIF, "tif"},   {"bmp", imgBMP, "bmp"},
                      {"png", imgPNG, "png"}, {"psd", imgPSD, "psd"},   {"pcx", imgPCX, "pcx"},
                      {"tga", imgTGA, "tga"}, {"wbmp", imgWBMP, "wbmp"}};

} // namespace

// Every entry of Save As, for every size class of page (fax widths that are multiples of 128
// among them), writes a file our engine reads back whole, and so does an independent decoder.
void TstImgXFormats::everySaveAsEntryReadsBack_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("colour");
    const struct
    {
        const char *name;
        QSize size;
        bool colour;
    } pages[] = {{"640x480 colour", {640, 480}, true},   {"640x480 fax", {640, 480}, false},
                 {"2048x2900 fax", {2048, 2900}, false}, {"1728x2176 fax", {1728, 2176}, false},
                 {"1x1 colour", {1, 1}, true},           {"1x1 fax", {1, 1}, false}};
    for (const auto &e : kSaveAsEntries)
        for (const auto &p : pages)
            QTest::addRow("%s %s", e.name, p.name)
                << int(e.format) << QString::fromLatin1(e.ext) << p.size << p.colour;
}

void TstImgXFormats::everySaveAsEntryReadsBack()
{
    QFETCH(int, format);
    QFETCH(QString, ext);
    QFETCH(QSize, size);
    QFETCH(bool, colour);
    if (!ImgXSupport::canWrite(ImgFileType(format)))
        QSKIP("no writer for this format in this build");
    QImage picture = colour ? testPicture().scaled(size) : faxPage(size);
    ImgX doc;
    QVERIFY(doc.importImage(picture, 204, 196));
    if (format == imgWBMP && colour) { // a bilevel format: the page as the engine makes it bilevel
        ImgX bilevel;
        QVERIFY(bilevel.importImage(picture) && bilevel.convertPixelFormat(ImgXPixelFormat::Bilevel));
        picture = bilevel.image().image();
    }
    const QString file = m_dir.filePath(u"entry."_s + ext);
    QVERIFY2(doc.exportFile(file, ImgFileType(format)), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY2(back.importFile(file), qPrintable(back.lastError().description));
    QCOMPARE(back.image().size(), size);
    // Bilevel formats threshold a colour page; JPEG is lossy: both only roughly.
    const bool exact = format != imgJPG;
    const int worst = worstDifference(back.image().image(), picture);
    QVERIFY2(exact ? worst == 0 : worst < 160, qPrintable(QString::number(worst)));

    QSize other;
    QImage otherPixels;
    const bool small = size.width() * size.height() <= 640 * 480;
    if (!otherDecoder(file, &other, small ? &otherPixels : nullptr))
        QSKIP("ImageMagick is not installed: no independent decoder");
    QCOMPARE(other, size);
    if (small) {
        const int otherWorst = worstDifference(otherPixels, picture);
        QVERIFY2(exact ? otherWorst == 0 : otherWorst < 160, qPrintable(QString::number(otherWorst)));
    }
}

// Sizes are multi-byte integers of 7-bit groups; a zero group inside one stays (640 is 85 00).
void TstImgXFormats::wbmpSizeFields_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("640x480") << QSize(640, 480) << QByteArray::fromHex("000085008360");
    QTest::newRow("2048x2900") << QSize(2048, 2900) << QByteArray::fromHex("000090009654");
    QTest::newRow("1728x2176") << QSize(1728, 2176) << QByteArray::fromHex("00008d409100");
    QTest::newRow("1x1") << QSize(1, 1) << QByteArray::fromHex("00000101");
    QTest::newRow("128x16384") << QSize(128, 16384) << QByteArray::fromHex("00008100818000");
}

void TstImgXFormats::wbmpSizeFields()
{
    QFETCH(QSize, size);
    QFETCH(QByteArray, header);
    ImgX doc;
    QVERIFY(doc.importImage(faxPage(size)));
    const QString file = m_dir.filePath(u"size.wbmp"_s);
    QVERIFY2(doc.exportFile(file, imgWBMP), qPrintable(doc.lastError().description));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.left(header.size()).toHex(' '), header.toHex(' '));
    QCOMPARE(bytes.size(), header.size() + qsizetype((size.width() + 7) / 8) * size.height());
}

// A palette entry that is transparent stays transparent where the format holds alpha (TIFF as RGBA,
// PNG with its palette) and is laid on white where it cannot (BMP, PCX, WBMP, JPEG).
void TstImgXFormats::paletteTransparency_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<bool>("keepsAlpha");
    for (const auto &e : kSaveAsEntries)
        QTest::addRow("%s", e.name) << int(e.format) << QString::fromLatin1(e.ext)
                                    << (e.format == imgTIF || e.format == imgPNG || e.format == imgPSD ||
                                        e.format == imgTGA);
}

void TstImgXFormats::paletteTransparency()
{
    QFETCH(int, format);
    QFETCH(QString, ext);
    QFETCH(bool, keepsAlpha);
    if (!ImgXSupport::canWrite(ImgFileType(format)))
        QSKIP("no writer for this format in this build");
    // Left half a transparent yellow entry, right half opaque dark blue.
    QImage indexed(16, 8, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(255, 255, 0, 0), qRgb(0, 0, 96)});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            indexed.setPixel(x, y, x < 8 ? 0 : 1);
    const QString src = m_dir.filePath(u"palette-trns.png"_s);
    QVERIFY(QImageWriter(src, "png").write(indexed));
    QFile f(src);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray png = f.readAll();
    QVERIFY(png.contains("PLTE") && png.contains("tRNS"));
    f.close();

    ImgX doc;
    QVERIFY(doc.importFile(src));
    const QString out = m_dir.filePath(u"palette-out."_s + ext);
    QVERIFY2(doc.exportFile(out, ImgFileType(format)), qPrintable(doc.lastError().description));
    ImgX back;
    QVERIFY2(back.importFile(out), qPrintable(back.lastError().description));
    const QImage got = back.image().image().convertToFormat(QImage::Format_ARGB32);
    const QRgb hidden = got.pixel(2, 2), ink = got.pixel(12, 2);
    if (keepsAlpha) {
        QCOMPARE(qAlpha(hidden), 0);
    } else {
        QCOMPARE(qAlpha(hidden), 255);
        QVERIFY2(qRed(hidden) > 240 && qGreen(hidden) > 240 && qBlue(hidden) > 240,
                 qPrintable(QString::number(hidden, 16)));
    }
    QCOMPARE(qAlpha(ink), 255);
    QVERIFY2(qBlue(ink) < 128 && qRed(ink) < 40, qPrintable(QString::number(ink, 16)));
    if (format != imgPSD)
        return;

    // Files we wrote before, with the alpha as a fourth merged channel and no layers, still read.
    QByteArray old("8BPS\0\1\0\0\0\0\0\0\0\4\0\0\0\1\0\0\0\2\0\x08\0\3\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 40);
    old += QByteArray::fromHex("ff00"
                               "ff00"
                               "00ff"
                               "1eff"); // planes R, G, B, A of two pixels
    const QString oldFile = m_dir.filePath(u"old-alpha.psd"_s);
    QFile o(oldFile);
    QVERIFY(o.open(QIODevice::WriteOnly) && o.write(old) == old.size());
    o.close();
    ImgX oldDoc;
    QVERIFY2(oldDoc.importFile(oldFile), qPrintable(oldDoc.lastError().description));
    QCOMPARE(oldDoc.image().image().pixel(0, 0), qRgba(255, 255, 0, 30));
    QCOMPARE(oldDoc.image().image().pixel(1, 0), qRgba(0, 0, 255, 255));

    // Other readers take the transparency too (the Debian GraphicsMagick has no PSD coder: ImageMagick
    // is the other reader here). The merged image is the file's first picture.
    const QString convert = QStandardPaths::findExecutable(u"convert"_s);
    if (convert.isEmpty())
        QSKIP("ImageMagick is not installed: no independent decoder");
    QProcess c;
    c.start(convert, {out + u"[0]"_s, u"-depth"_s, u"8"_s, u"rgba:-"_s});
    QVERIFY(c.waitForFinished(TestWait::bound()));
    const QByteArray rgba = c.readAllStandardOutput();
    QCOMPARE(rgba.size(), qsizetype(16 * 8 * 4));
    const auto at = [&](int x, int y) {
        return reinterpret_cast<const uchar *>(rgba.constData()) + (y * 16 + x) * 4;
    };
    QCOMPARE(int(at(2, 2)[3]), 0);
    QCOMPARE(int(at(12, 2)[3]), 255);
    QVERIFY2(at(12, 2)[2] < 128 && at(12, 2)[0] < 40, rgba.toHex().constData());
}

// PNGInterlaced writes an interlaced PNG, BMPUseRLECompression an RLE BMP of a page of at most 256
// colours (BMP has no RLE for true colour: such a page stays uncompressed); both read back exactly.
void TstImgXFormats::writerOptions()
{
    if (!ImgXSupport::canWrite(imgPCX))
        QSKIP("GraphicsMagick is not in this build");
    const auto bytesOf = [](const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto le32 = [](const QByteArray &b, int at) {
        return b.size() < at + 4 ? -1
                                 : int(uchar(b[at]) | uchar(b[at + 1]) << 8 | uchar(b[at + 2]) << 16 |
                                       uchar(b[at + 3]) << 24);
    };
    for (const bool fax : {true, false}) {
        const QImage picture = fax ? faxPage(QSize(200, 120)) : testPicture().scaled(200, 120);
        ImgX doc;
        QVERIFY(doc.importImage(picture, 200, 200));
        const QString plainPng = m_dir.filePath(u"plain.png"_s),
                      interlaced = m_dir.filePath(u"interlaced.png"_s);
        QVERIFY(doc.exportFile(plainPng, imgPNG));
        doc.exportOptions().pngInterlaced = true;
        QVERIFY2(doc.exportFile(interlaced, imgPNG), qPrintable(doc.lastError().description));
        QCOMPARE(int(uchar(bytesOf(plainPng).at(28))), 0); // IHDR interlace method
        QCOMPARE(int(uchar(bytesOf(interlaced).at(28))), 1);

        const QString plainBmp = m_dir.filePath(u"plain.bmp"_s), rle = m_dir.filePath(u"rle.bmp"_s);
        QVERIFY(doc.exportFile(plainBmp, imgBMP));
        doc.exportOptions().bmpUseRleCompression = true;
        QVERIFY2(doc.exportFile(rle, imgBMP), qPrintable(doc.lastError().description));
        QCOMPARE(le32(bytesOf(plainBmp), 30), 0);      // BI_RGB
        QCOMPARE(le32(bytesOf(rle), 30), fax ? 1 : 0); // BI_RLE8 for a page of few colours

        for (const QString &file : {interlaced, rle}) {
            ImgX back;
            QVERIFY2(back.importFile(file), qPrintable(back.lastError().description));
            QCOMPARE(back.image().xResolution(), 200);
            QCOMPARE(worstDifference(back.image().image(), picture), 0);
            QSize other;
            if (otherDecoder(file, &other))
                QCOMPARE(other, QSize(200, 120));
        }
    }
}

// A 16-bit RGB Photoshop file (what ImageMagick writes by default): samples rounded to 8 bits.
void TstImgXFormats::readsSixteenBitPhotoshop()
{
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\1\0\0\0\2\0\x10\0\3\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 40);
    // Raw planes R, G, B of two pixels, big-endian.
    psd += QByteArray::fromHex("ffff0080"
                               "7f80fe7f"
                               "0000ffff");
    const QString file = m_dir.filePath(u"deep.psd"_s);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(psd);
    f.close();
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().size(), QSize(2, 1));
    QCOMPARE(doc.image().xResolution(), 72); // no resolution resource: Photoshop's default
    const QImage img = doc.image().image();
    QCOMPARE(img.pixel(0, 0), qRgb(255, 127, 0));
    QCOMPARE(img.pixel(1, 0), qRgb(0, 254, 255));
}

// A 1-bit BMP (written byte by byte) of 24x6 pixels with the two colours `zero` and `one`: a
// checkerboard of 3-pixel squares.
static QByteArray oneBitBmp(QRgb zero, QRgb one)
{
    QByteArray d;
    const auto le = [&d](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            d.append(char((v >> (8 * i)) & 0xff));
    };
    const int w = 24, h = 6, stride = 4;
    d.append("BM");
    le(14 + 40 + 8 + stride * h, 4);
    le(0, 4);
    le(14 + 40 + 8, 4);
    le(40, 4);
    le(w, 4);
    le(h, 4);
    le(1, 2);
    le(1, 2);
    le(0, 4);
    le(stride * h, 4);
    le(5906, 4);
    le(5906, 4);
    le(2, 4);
    le(0, 4);
    for (const QRgb c : {zero, one})
        d.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    for (int y = h - 1; y >= 0; --y) { // bottom-up
        for (int b = 0; b < stride; ++b) {
            uchar bits = 0;
            for (int k = 0; k < 8; ++k) {
                const int x = b * 8 + k;
                if (x < w && (x / 3 + y / 3) % 2)
                    bits |= uchar(0x80 >> k);
            }
            d.append(char(bits));
        }
    }
    return d;
}

void TstImgXFormats::twoColourPalettesKeepTheirColours_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<uint>("zero");
    QTest::addColumn<uint>("one");
    QTest::addColumn<bool>("bilevel");
    const QRgb blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0), red = qRgb(204, 0, 0);
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    QTest::newRow("bmp blue and green") << u"bmp"_s << uint(blue) << uint(green) << false;
    QTest::newRow("png blue and green") << u"png"_s << uint(blue) << uint(green) << false;
    QTest::newRow("png red on white") << u"png"_s << uint(white) << uint(red) << false;
    // Black and white stay a bilevel page, whichever index is black.
    QTest::newRow("bmp black on white") << u"bmp"_s << uint(white) << uint(black) << true;
    QTest::newRow("png white on black") << u"png"_s << uint(black) << uint(white) << true;
}

// Saves doc in every format that can hold colour (BMP also run-length coded) as stem.EXT and hands each
// picture read back to same, named by its format.
static void sameAfterEverySave(ImgX &doc, const QString &stem,
                               const std::function<void(const QImage &, const QString &)> &same)
{
    for (const ImgFileType format : {imgBMP, imgPNG, imgTIF, imgPSD, imgTGA, imgPCX}) {
        if (!ImgXSupport::canWrite(format))
            continue;
        for (const bool rle : {false, true}) {
            if (rle && format != imgBMP)
                continue;
            doc.exportOptions().bmpUseRleCompression = rle;
            const QString out = stem + u'.' + ImgFileTypes::extension(format);
            QVERIFY2(doc.exportFile(out, format), qPrintable(doc.lastError().description));
            ImgX back;
            QVERIFY(back.importFile(out));
            same(back.image().image(), ImgFileTypes::extension(format) + (rle ? u" rle"_s : QString()));
            if (QTest::currentTestFailed())
                return;
        }
    }
}

// A 1-bit picture keeps its own two colours on screen and in every format that can hold colour;
// black-and-white pictures stay bilevel.
void TstImgXFormats::twoColourPalettesKeepTheirColours()
{
    QFETCH(QString, kind);
    QFETCH(uint, zero);
    QFETCH(uint, one);
    QFETCH(bool, bilevel);
    const QString file = m_dir.filePath(u"two-colours."_s + kind);
    const QByteArray bmp = oneBitBmp(zero, one);
    if (kind == u"bmp"_s) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bmp);
    } else {
        const QImage mono = QImage::fromData(bmp, "BMP");
        QCOMPARE(mono.format(), QImage::Format_Mono);
        QVERIFY(mono.save(file, "PNG"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(26);
        QCOMPARE(int(head.at(24)), 1); // a 1-bit PNG
        if (!bilevel)
            QCOMPARE(int(head.at(25)), 3); // with a palette
    }
    const auto expected = [&](int x, int y) { return (x / 3 + y / 3) % 2 ? QRgb(one) : QRgb(zero); };
    const auto sameColours = [&](const QImage &img, const QString &what) {
        QCOMPARE(img.size(), QSize(24, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 24; ++x)
                QVERIFY2(img.pixel(x, y) == expected(x, y),
                         qPrintable(
                             u"%1: pixel %2,%3 is %4"_s.arg(what).arg(x).arg(y).arg(img.pixel(x, y), 8, 16)));
    };
    ImgX doc;
    QVERIFY(doc.importFile(file));
    QCOMPARE(doc.image().pixelFormat(), bilevel ? ImgXPixelFormat::Bilevel : ImgXPixelFormat::Indexed8);
    sameColours(doc.image().image(), u"shown"_s);
    if (QTest::currentTestFailed())
        return;
    if (bilevel)
        QCOMPARE(doc.image().image().colorTable(), (QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)}));
    sameAfterEverySave(doc, m_dir.filePath(u"two-colours-out"_s), sameColours);
    if (QTest::currentTestFailed())
        return;
    // A fax page stays the bilevel page it was.
    const QString fax = m_dir.filePath(u"two-colours-out.tif"_s);
    QVERIFY(doc.exportFile(fax, imgTIF));
    QCOMPARE(ImgXSupport::fileInfo(fax).bitsPerPixel, bilevel ? 1 : 8);
}

// A palette picture written byte by byte, pixel (x, y) holding index (x + 2y) % indices, with the
// entries of `table`. A BMP of `bits` 1, 4 or 8, `compression` 0 (none), 1 (RLE8) or 2 (RLE4) and a
// biClrUsed of `claimed` (RLE rows alternate between runs of one pixel and absolute stretches); a PNG
// of `bits`; a GIF (codes of 8 bits) with a global table, or with a local one for `local`. A BMP of
// no compression loses the last `cutRows` rows its file stores.
struct PaletteBmp
{
    int bits = 1;
    int compression = 0;
    QList<QRgb> table;
    quint32 claimed = 0;
    int indices = 2;
    bool topDown = false;
    QString kind = QStringLiteral("bmp");
    bool local = false;
    int cutRows = 0;
};
Q_DECLARE_METATYPE(PaletteBmp)

static constexpr int PaletteBmpWidth = 13, PaletteBmpHeight = 5;

static int paletteBmpIndex(const PaletteBmp &b, int x, int y)
{
    return (x + 2 * y) % b.indices;
}

static QByteArray paletteBmp(const PaletteBmp &b)
{
    const int w = PaletteBmpWidth, h = PaletteBmpHeight;
    QByteArray pixels;
    for (int r = 0; r < h; ++r) {
        const int y = b.topDown ? r : h - 1 - r;
        const auto index = [&](int x) { return paletteBmpIndex(b, x, y); };
        if (b.compression == 0) {
            QByteArray line((w * b.bits + 31) / 32 * 4, '\0');
            const int perByte = 8 / b.bits;
            for (int x = 0; x < w; ++x)
                line[x / perByte] =
                    char(line[x / perByte] | index(x) << (perByte - 1 - x % perByte) * b.bits);
            pixels += line;
            continue;
        }
        const bool rle8 = b.compression == 1;
        if (r % 2 == 0) {
            for (int x = 0; x < w; ++x)
                pixels.append(char(1)).append(char(rle8 ? index(x) : index(x) << 4));
        } else {
            QByteArray stretch;
            for (int x = 0; x < w; x += rle8 ? 1 : 2)
                stretch.append(char(rle8 ? index(x) : index(x) << 4 | (x + 1 < w ? index(x + 1) : 0)));
            if (stretch.size() % 2)
                stretch.append('\0');
            pixels.append(char(0)).append(char(w)).append(stretch);
        }
        pixels.append(char(0)).append(char(0));
    }
    if (b.compression)
        pixels.append(char(0)).append(char(1));
    QByteArray d;
    const auto le = [&d](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            d.append(char((v >> (8 * i)) & 0xff));
    };
    const quint32 offset = 14 + 40 + 4 * quint32(b.table.size());
    d.append("BM");
    le(offset + quint32(pixels.size()), 4);
    le(0, 4);
    le(offset, 4);
    le(40, 4);
    le(w, 4);
    le(quint32(b.topDown ? -h : h), 4);
    le(1, 2);
    le(quint32(b.bits), 2);
    le(quint32(b.compression), 4);
    le(quint32(pixels.size()), 4);
    le(3780, 4);
    le(3780, 4);
    le(b.claimed, 4);
    le(0, 4);
    for (const QRgb c : b.table)
        d.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    return d + pixels;
}

static quint32 pngCrc(const QByteArray &bytes)
{
    quint32 c = 0xffffffffu;
    for (const char b : bytes) {
        c ^= uchar(b);
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

static QByteArray palettePng(const PaletteBmp &b)
{
    const auto be32 = [](QByteArray &d, quint32 v) {
        for (int i = 3; i >= 0; --i)
            d.append(char((v >> (8 * i)) & 0xff));
    };
    QByteArray d("\x89PNG\r\n\x1a\n");
    const auto chunk = [&](const char *type, const QByteArray &data) {
        be32(d, quint32(data.size()));
        const QByteArray body = QByteArray(type) + data;
        d.append(body);
        be32(d, pngCrc(body));
    };
    QByteArray header;
    be32(header, PaletteBmpWidth);
    be32(header, PaletteBmpHeight);
    header.append(char(b.bits)).append(char(3)).append(3, '\0');
    chunk("IHDR", header);
    QByteArray plte;
    for (const QRgb c : b.table)
        plte.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    chunk("PLTE", plte);
    QByteArray raw;
    const int perByte = 8 / b.bits;
    for (int y = 0; y < PaletteBmpHeight; ++y) {
        QByteArray line((PaletteBmpWidth * b.bits + 7) / 8, '\0');
        for (int x = 0; x < PaletteBmpWidth; ++x)
            line[x / perByte] =
                char(line[x / perByte] | paletteBmpIndex(b, x, y) << (perByte - 1 - x % perByte) * b.bits);
        raw.append('\0').append(line);
    }
    chunk("IDAT", qCompress(raw).mid(4)); // a zlib stream without Qt's length in front
    chunk("IEND", {});
    return d;
}

static QByteArray paletteGif(const PaletteBmp &b)
{
    const auto le16 = [](QByteArray &d, int v) { d.append(char(v & 0xff)).append(char(v >> 8)); };
    QByteArray table;
    for (const QRgb c : b.table)
        table.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    const char flags = char(0x80 | (std::countr_zero(unsigned(b.table.size())) - 1)); // 2^(n+1) entries
    QByteArray d("GIF89a");
    le16(d, PaletteBmpWidth);
    le16(d, PaletteBmpHeight);
    d.append(b.local ? '\0' : flags).append('\0').append('\0');
    if (!b.local)
        d.append(table);
    d.append(',');
    for (const int v : {0, 0, PaletteBmpWidth, PaletteBmpHeight})
        le16(d, v);
    d.append(b.local ? flags : '\0');
    if (b.local)
        d.append(table);
    QByteArray codes;
    for (int y = 0, n = 0; y < PaletteBmpHeight; ++y) {
        for (int x = 0; x < PaletteBmpWidth; ++x, ++n) {
            if (n % 100 == 0)
                codes.append(char(128)); // clear
            codes.append(char(paletteBmpIndex(b, x, y)));
        }
    }
    codes.append(char(129)); // end of information
    d.append(char(7)).append(char(codes.size())).append(codes).append('\0').append(';');
    return d;
}

void TstImgXFormats::palettePicturesShowTheirColours_data()
{
    QTest::addColumn<PaletteBmp>("bmp");
    QTest::addColumn<int>("entries"); // of the table, as read
    const QRgb red = qRgb(220, 0, 0), blue = qRgb(0, 0, 230), green = qRgb(0, 160, 0);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    QList<QRgb> sixteen, full;
    for (int i = 0; i < 256; ++i)
        (i < 16 ? sixteen : full).append(qRgb(i * 15 % 256, 255 - i, i * 7 % 256));
    full = sixteen + full;
    QTest::newRow("1-bit red and blue") << PaletteBmp{1, 0, {red, blue}, 2, 2} << 2;
    QTest::newRow("1-bit red and blue, count 0") << PaletteBmp{1, 0, {red, blue}, 0, 2} << 2;
    // One entry: index 1 is past the table and black, not the white Qt's reader gives it.
    QTest::newRow("1-bit table of red") << PaletteBmp{1, 0, {red}, 1, 2} << 1;
    QTest::newRow("1-bit table of white") << PaletteBmp{1, 0, {white}, 1, 2} << 1;
    QTest::newRow("1-bit table of black") << PaletteBmp{1, 0, {black}, 1, 2} << 1;
    QTest::newRow("1-bit top-down") << PaletteBmp{1, 0, {green, red}, 2, 2, true} << 2;
    QTest::newRow("4-bit table of 3") << PaletteBmp{4, 0, {red, green, blue}, 3, 16} << 3;
    QTest::newRow("4-bit top-down table of 3") << PaletteBmp{4, 0, {red, green, blue}, 3, 16, true} << 3;
    QTest::newRow("8-bit table of 2") << PaletteBmp{8, 0, {red, blue}, 2, 7} << 2;
    QTest::newRow("8-bit top-down table of 5") << PaletteBmp{8, 0, sixteen.mid(0, 5), 5, 9, true} << 5;
    QTest::newRow("rle4 table of 3") << PaletteBmp{4, 2, {red, green, blue}, 3, 16} << 3;
    QTest::newRow("rle8 table of 2") << PaletteBmp{8, 1, {red, blue}, 2, 7} << 2;
    // A count beyond 2^bits: the table holds 2^bits entries, what follows is pixels.
    QTest::newRow("1-bit count 300") << PaletteBmp{1, 0, {red, blue}, 300, 2} << 2;
    QTest::newRow("1-bit count 3") << PaletteBmp{1, 0, {red, blue}, 3, 2} << 2;
    QTest::newRow("4-bit count 17") << PaletteBmp{4, 0, sixteen, 17, 16} << 16;
    QTest::newRow("8-bit count 1000") << PaletteBmp{8, 0, full, 1000, 256} << 256;
    QTest::newRow("8-bit count 0xffffffff") << PaletteBmp{8, 0, full, 0xffffffffu, 256} << 256;
    QTest::newRow("rle4 count 70000") << PaletteBmp{4, 2, sixteen, 70000, 16} << 16;
    QTest::newRow("rle8 count 257") << PaletteBmp{8, 1, full, 257, 256} << 256;
    // A count the space before the pixels cannot hold: the bytes past the table are no colours.
    QTest::newRow("8-bit count 200, table of 4") << PaletteBmp{8, 0, sixteen.mid(0, 4), 200, 6} << 4;
    QTest::newRow("rle8 count 0, table of 4") << PaletteBmp{8, 1, sixteen.mid(0, 4), 0, 6} << 4;
    QTest::newRow("1-bit no table") << PaletteBmp{1, 0, {}, 0, 2} << 0;
    // Rows a file cut short does not hold are white, the page damaged; the rows it holds keep their colours.
    const QString bmpKind = u"bmp"_s;
    QTest::newRow("1-bit table of red, cut") << PaletteBmp{1, 0, {red}, 1, 2, false, bmpKind, false, 2} << 1;
    QTest::newRow("1-bit red and blue, cut")
        << PaletteBmp{1, 0, {red, blue}, 2, 2, false, bmpKind, false, 1} << 2;
    QTest::newRow("4-bit top-down table of 3, cut")
        << PaletteBmp{4, 0, {red, green, blue}, 3, 16, true, bmpKind, false, 2} << 3;
    QTest::newRow("8-bit count 1000, cut")
        << PaletteBmp{8, 0, full, 1000, 256, false, bmpKind, false, 3} << 256;
    // PNG and GIF: Qt's readers give an index past the table entry 0's colour or white.
    const QString png = u"png"_s, gif = u"gif"_s;
    QTest::newRow("png 1-bit table of red") << PaletteBmp{1, 0, {red}, 0, 2, false, png} << 1;
    QTest::newRow("png 4-bit table of 3") << PaletteBmp{4, 0, {red, green, blue}, 0, 16, false, png} << 3;
    QTest::newRow("png 8-bit table of 2") << PaletteBmp{8, 0, {red, blue}, 0, 7, false, png} << 2;
    QTest::newRow("png 8-bit whole table") << PaletteBmp{8, 0, full, 0, 256, false, png} << 256;
    QTest::newRow("gif table of 2") << PaletteBmp{8, 0, {red, blue}, 0, 5, false, gif} << 2;
    QTest::newRow("gif local table of 4")
        << PaletteBmp{8, 0, {red, blue, green, white}, 0, 9, false, gif, true} << 4;
}

// A palette picture shows the colours of its table, black for an index past it, whatever its header
// claims; every writer that holds colour keeps them.
void TstImgXFormats::palettePicturesShowTheirColours()
{
    QFETCH(PaletteBmp, bmp);
    QFETCH(int, entries);
    const QString file = m_dir.filePath(u"palette."_s + bmp.kind);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray d = bmp.kind == u"png"_s   ? palettePng(bmp)
                             : bmp.kind == u"gif"_s ? paletteGif(bmp)
                                                    : paletteBmp(bmp);
        f.write(d.left(d.size() - bmp.cutRows * ((PaletteBmpWidth * bmp.bits + 31) / 32 * 4)));
    }
    const auto expected = [&](int x, int y) {
        if (bmp.topDown ? y >= PaletteBmpHeight - bmp.cutRows : y < bmp.cutRows)
            return qRgb(255, 255, 255); // a row the file does not hold
        const int i = paletteBmpIndex(bmp, x, y);
        return i < entries ? bmp.table.at(i) : qRgb(0, 0, 0);
    };
    const auto sameColours = [&](const QImage &img, const QString &what) {
        QCOMPARE(img.size(), QSize(PaletteBmpWidth, PaletteBmpHeight));
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                QVERIFY2(img.pixel(x, y) == expected(x, y),
                         qPrintable(u"%1: pixel %2,%3 is %4, not %5"_s.arg(what)
                                        .arg(x)
                                        .arg(y)
                                        .arg(img.pixel(x, y), 8, 16)
                                        .arg(expected(x, y), 8, 16)));
    };
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.image().damage().isError(), bmp.cutRows > 0);
    sameColours(doc.image().image(), u"shown"_s);
    if (QTest::currentTestFailed() || bmp.cutRows > 0)
        return;
    sameColours(ImgXRender::thumbnail(doc.image(), QSize(PaletteBmpWidth, PaletteBmpHeight)), u"thumbnail"_s);
    if (QTest::currentTestFailed())
        return;
    sameAfterEverySave(doc, m_dir.filePath(u"palette-out"_s), sameColours);
}

QTEST_GUILESS_MAIN(TstImgXFormats)
#include "tst_imgx_formats.moc"
