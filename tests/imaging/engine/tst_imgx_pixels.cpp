// Exact pixels: every kind of TIFF page reads as stored and survives save and reopen bit for bit.
// Source files are written with plain libtiff (and re-encoded by tiffcp where it is installed);
// what we write is read back with plain libtiff too, so our reader cannot hide a writer fault.
#include "ImgX.h"
#include "ImgXSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace {

enum Kind {
    RgbaStraight,
    RgbaAssociated,
    GreyAlpha,
    Palette8,
    Palette8Alpha, // an unassociated alpha sample beside the index, as common tools write it
    Palette4,
    Grey8,
    Rgb,
    Bilevel,
    // the same pictures in other layouts: planes stored one after the other, 16-bit samples
    RgbaStraightPlanar,
    RgbaAssociatedPlanar,
    GreyAlphaPlanar,
    RgbaStraight16,
    RgbaAssociated16,
    GreyAlpha16Planar,
    Rgb16,
};

// The 8-bit contiguous kind a layout variant shows the picture of.
Kind base(Kind kind)
{
    switch (kind) {
    case RgbaStraightPlanar:
    case RgbaStraight16:
        return RgbaStraight;
    case RgbaAssociatedPlanar:
    case RgbaAssociated16:
        return RgbaAssociated;
    case GreyAlphaPlanar:
    case GreyAlpha16Planar:
        return GreyAlpha;
    case Rgb16:
        return Rgb;
    default:
        return kind;
    }
}
bool planar(Kind kind)
{
    return kind == RgbaStraightPlanar || kind == RgbaAssociatedPlanar || kind == GreyAlphaPlanar ||
           kind == GreyAlpha16Planar;
}
bool wide(Kind kind)
{
    return kind == RgbaStraight16 || kind == RgbaAssociated16 || kind == GreyAlpha16Planar || kind == Rgb16;
}
bool hasAlpha(Kind kind)
{
    const Kind b = base(kind);
    return b == RgbaStraight || b == RgbaAssociated || b == GreyAlpha || b == Palette8Alpha;
}

constexpr int W = 37, H = 11; // odd sizes: rows that do not end on a byte or word

// The straight (unassociated) ARGB a pixel of the test picture has.
QRgb expected(Kind variant, int x, int y)
{
    const Kind kind = base(variant);
    const int v = (x * 29 + y * 53) & 0xff;
    switch (kind) {
    case RgbaStraight:
    case RgbaAssociated:
        // transparent paper; a half-covered pixel (premultiplied files hold multiples of the alpha)
        if (x == 0)
            return kind == RgbaAssociated ? qRgba(0, 0, 0, 0) : qRgba(255, 255, 255, 0);
        if (x == 1)
            return kind == RgbaAssociated ? qRgba(200, 100, 50, 51) : qRgba(200, 100, 50, 128);
        return kind == RgbaAssociated ? qRgba(v, v / 2, v / 3, 255) : qRgba(v, 255 - v, (v * 7) & 0xff, (x * 40) & 0xff);
    case GreyAlpha:
        return x == 0 ? qRgba(255, 255, 255, 0) : qRgba(v, v, v, (y * 23) & 0xff);
    case Palette8:
        return qRgb(v, (v * 3) & 0xff, 255 - v);
    case Palette8Alpha:
        return qRgba(v, (v * 3) & 0xff, 255 - v, x == 0 ? 30 : (x * 40 + y) & 0xff);
    case Palette4:
        return qRgb((v & 15) * 17, 0, 255 - (v & 15) * 17);
    case Grey8:
        return qRgb(v, v, v);
    case Rgb:
        return qRgb(v, (v * 5) & 0xff, (x * 7) & 0xff);
    case Bilevel:
        return (x + y) % 3 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    default:
        break;
    }
    return 0;
}

// Samples of one pixel as a file of `kind` stores them (colours, then alpha), 16-bit where it is.
QList<uint32_t> samplesOf(Kind kind, QRgb c)
{
    const bool associated = base(kind) == RgbaAssociated;
    const int m = wide(kind) ? 65535 : 255;
    const uint32_t a = uint32_t(qAlpha(c) * (m / 255));
    // Premultiplied at the file's own precision, as a 16-bit writer would.
    const auto colour = [&](int v) {
        const uint32_t full = uint32_t(v * (m / 255));
        return associated ? (full * a + uint32_t(m) / 2) / uint32_t(m) : full;
    };
    if (base(kind) == GreyAlpha)
        return {colour(qRed(c)), a};
    QList<uint32_t> out{colour(qRed(c)), colour(qGreen(c)), colour(qBlue(c))};
    if (hasAlpha(kind))
        out.append(a);
    return out;
}

// The layout variants: written sample by sample, planes one after the other where planar.
bool writeVariant(const QString &path, Kind kind)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    const bool grey = base(kind) == GreyAlpha;
    const uint16_t spp = uint16_t((grey ? 1 : 3) + (hasAlpha(kind) ? 1 : 0));
    const uint16_t bps = wide(kind) ? 16 : 8;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(W));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(H));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, planar(kind) ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(4));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (hasAlpha(kind)) {
        const uint16_t extra = base(kind) == RgbaAssociated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    const int planes = planar(kind) ? spp : 1, perPixel = planar(kind) ? 1 : spp;
    QByteArray row(TIFFScanlineSize(tif), '\0');
    bool ok = true;
    for (int p = 0; p < planes && ok; ++p)
        for (int y = 0; y < H && ok; ++y) {
            for (int x = 0; x < W; ++x) {
                const QList<uint32_t> v = samplesOf(kind, expected(kind, x, y));
                for (int s = 0; s < perPixel; ++s) {
                    const uint32_t sample = v.at(planes > 1 ? p : s);
                    const qsizetype i = qsizetype(x) * perPixel + s;
                    if (bps == 16)
                        reinterpret_cast<uint16_t *>(row.data())[i] = uint16_t(sample);
                    else
                        row[i] = char(sample);
                }
            }
            ok = TIFFWriteScanline(tif, row.data(), uint32_t(y), uint16_t(p)) >= 0;
        }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

bool writeSource(const QString &path, Kind kind)
{
    if (base(kind) != kind)
        return writeVariant(path, kind);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    uint16_t spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISBLACK;
    switch (kind) {
    case RgbaStraight:
    case RgbaAssociated:
        spp = 4, photometric = PHOTOMETRIC_RGB;
        break;
    case GreyAlpha:
        spp = 2;
        break;
    case Palette8:
        photometric = PHOTOMETRIC_PALETTE;
        break;
    case Palette8Alpha:
        spp = 2, photometric = PHOTOMETRIC_PALETTE;
        break;
    case Palette4:
        bps = 4, photometric = PHOTOMETRIC_PALETTE;
        break;
    case Grey8:
        break;
    case Rgb:
        spp = 3, photometric = PHOTOMETRIC_RGB;
        break;
    case Bilevel:
        bps = 1, photometric = PHOTOMETRIC_MINISWHITE;
        break;
    default:
        break;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(W));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(H));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(4));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (hasAlpha(kind)) {
        const uint16_t extra = kind == RgbaAssociated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> r(1 << bps), g(1 << bps), b(1 << bps);
        for (int i = 0; i < int(r.size()); ++i) {
            // index i holds the colour of picture value i (see expected())
            int rr, gg, bb;
            if (kind == Palette8 || kind == Palette8Alpha)
                rr = i, gg = (i * 3) & 0xff, bb = 255 - i;
            else
                rr = i * 17, gg = 0, bb = 255 - i * 17;
            r[i] = uint16_t(rr * 257), g[i] = uint16_t(gg * 257), b[i] = uint16_t(bb * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    QByteArray row(TIFFScanlineSize(tif), '\0');
    for (int y = 0; y < H; ++y) {
        row.fill('\0');
        auto *p = reinterpret_cast<uchar *>(row.data());
        for (int x = 0; x < W; ++x) {
            const QRgb c = expected(kind, x, y);
            const int v = (x * 29 + y * 53) & 0xff;
            switch (kind) {
            case RgbaStraight:
                p[4 * x] = uchar(qRed(c)), p[4 * x + 1] = uchar(qGreen(c)), p[4 * x + 2] = uchar(qBlue(c));
                p[4 * x + 3] = uchar(qAlpha(c));
                break;
            case RgbaAssociated: {
                const QRgb pm = qPremultiply(c);
                p[4 * x] = uchar(qRed(pm)), p[4 * x + 1] = uchar(qGreen(pm)), p[4 * x + 2] = uchar(qBlue(pm));
                p[4 * x + 3] = uchar(qAlpha(pm));
                break;
            }
            case GreyAlpha:
                p[2 * x] = uchar(qRed(c)), p[2 * x + 1] = uchar(qAlpha(c));
                break;
            case Palette8:
                p[x] = uchar(v);
                break;
            case Palette8Alpha:
                p[2 * x] = uchar(v), p[2 * x + 1] = uchar(qAlpha(c));
                break;
            case Palette4:
                p[x / 2] |= uchar((v & 15) << (x % 2 ? 0 : 4));
                break;
            case Grey8:
                p[x] = uchar(v);
                break;
            case Rgb:
                p[3 * x] = uchar(qRed(c)), p[3 * x + 1] = uchar(qGreen(c)), p[3 * x + 2] = uchar(qBlue(c));
                break;
            case Bilevel:
                if (qRed(c) == 0)
                    p[x / 8] |= uchar(0x80 >> (x % 8));
                break;
            default:
                break;
            }
        }
        if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) {
            TIFFClose(tif);
            return false;
        }
    }
    const bool ok = TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

// Every pixel of page 0 of `file`, straight ARGB, read with libtiff's RGBA reader (which hands
// colour pages out premultiplied: only opaque pages compare exactly that way).
QImage libtiffPixels(const QString &file, bool *ok)
{
    *ok = false;
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "r");
    if (!tif)
        return {};
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    QImage img(int(w), int(h), QImage::Format_RGBA8888);
    *ok = TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t *>(img.bits()), ORIENTATION_TOPLEFT, 0);
    TIFFClose(tif);
    return img.convertToFormat(QImage::Format_ARGB32);
}

// The raw samples of row y of page 0 of `file` as libtiff decodes them, with the page's layout.
struct RawPage
{
    uint16_t spp = 0, bps = 0, photometric = 0, extra = 0;
    QList<QByteArray> rows;
};

RawPage rawPage(const QString &file)
{
    RawPage r;
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "r");
    if (!tif)
        return r;
    uint32_t h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &r.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &r.bps);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
    uint16_t n = 0, *types = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &n, &types) && n > 0)
        r.extra = types[0];
    for (uint32_t y = 0; y < h; ++y) {
        QByteArray row(TIFFScanlineSize(tif), '\0');
        if (TIFFReadScanline(tif, row.data(), y, 0) < 0)
            break;
        r.rows.append(row);
    }
    TIFFClose(tif);
    return r;
}

QString diffAt(const QImage &got, Kind kind)
{
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const QRgb g = got.pixel(x, y), e = expected(kind, x, y);
            if (g != e)
                return u"(%1,%2): got %3 expected %4"_s.arg(x).arg(y).arg(g, 8, 16).arg(e, 8, 16);
        }
    return {};
}

} // namespace

class TstImgXPixels : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void roundTrips_data();
    void roundTrips();
    void transparentPaperStaysWhite();
    void writtenAlphaIsStraight();
    void cmykPages_data();
    void cmykPages();

private:
    QTemporaryDir m_dir;
};

void TstImgXPixels::roundTrips_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("tiffcp"); // compression tiffcp re-encodes the source with, or none
    QTest::addColumn<int>("format");
    const struct
    {
        const char *name;
        Kind kind;
        ImgXPixelFormat format;
    } kinds[] = {{"rgba straight", RgbaStraight, ImgXPixelFormat::Argb32},
                 {"rgba associated", RgbaAssociated, ImgXPixelFormat::Argb32},
                 {"grey with alpha", GreyAlpha, ImgXPixelFormat::Argb32},
                 {"palette 8", Palette8, ImgXPixelFormat::Indexed8},
                 {"palette 8 with alpha", Palette8Alpha, ImgXPixelFormat::Argb32},
                 {"palette 4", Palette4, ImgXPixelFormat::Indexed8},
                 {"grey 8", Grey8, ImgXPixelFormat::Grey8},
                 {"rgb", Rgb, ImgXPixelFormat::Rgb24},
                 {"bilevel", Bilevel, ImgXPixelFormat::Bilevel},
                 {"rgba straight planar", RgbaStraightPlanar, ImgXPixelFormat::Argb32},
                 {"rgba associated planar", RgbaAssociatedPlanar, ImgXPixelFormat::Argb32},
                 {"grey with alpha planar", GreyAlphaPlanar, ImgXPixelFormat::Argb32},
                 {"rgba straight 16-bit", RgbaStraight16, ImgXPixelFormat::Argb32},
                 {"rgba associated 16-bit", RgbaAssociated16, ImgXPixelFormat::Argb32},
                 {"grey with alpha 16-bit planar", GreyAlpha16Planar, ImgXPixelFormat::Argb32},
                 {"rgb 16-bit", Rgb16, ImgXPixelFormat::Rgb24}};
    for (const auto &k : kinds) {
        QTest::addRow("%s", k.name) << int(k.kind) << QString() << int(k.format);
        QTest::addRow("%s, tiffcp lzw", k.name) << int(k.kind) << u"lzw"_s << int(k.format);
        // tiffcp's own tiling of 16-bit planes mixes up the samples (ImageMagick reads its output as
        // we do): that layout is covered by our reader alone.
        if (k.kind != Bilevel && k.kind != Palette4 && k.kind != Palette8 && k.kind != GreyAlpha16Planar)
            QTest::addRow("%s, tiffcp tiled zip", k.name) << int(k.kind) << u"zip"_s << int(k.format);
    }
}

void TstImgXPixels::roundTrips()
{
    QFETCH(int, kind);
    QFETCH(QString, tiffcp);
    QFETCH(int, format);
    const Kind k = Kind(kind);
    QString src = m_dir.filePath(u"src.tif"_s);
    QVERIFY(writeSource(src, k));
    if (!tiffcp.isEmpty()) {
        if (QStandardPaths::findExecutable(u"tiffcp"_s).isEmpty())
            QSKIP("tiffcp is not installed");
        const QString re = m_dir.filePath(u"recoded.tif"_s);
        QStringList args{u"-c"_s, tiffcp};
        if (tiffcp == u"zip"_s)
            args << u"-t"_s << u"-w"_s << u"16"_s << u"-l"_s << u"16"_s;
        QCOMPARE(QProcess::execute(u"tiffcp"_s, args << src << re), 0);
        src = re;
    }

    ImgX doc;
    QVERIFY2(doc.importFile(src), qPrintable(doc.lastError().description));
    QImage first = doc.image().image();
    // Tiled pages go through the general reader: the layout may widen, the pixels may not change.
    if (tiffcp != u"zip"_s)
        QCOMPARE(int(doc.image().pixelFormat()), format);
    QString diff = diffAt(first, k);
    QVERIFY2(diff.isEmpty(), qPrintable(u"read: "_s + diff));

    // Three saves and reopens: a fault that darkens or shifts pixels shows by the second at latest.
    for (int round = 0; round < 3; ++round) {
        const QString out = m_dir.filePath(u"round%1.tif"_s.arg(round));
        QVERIFY2(doc.exportFile(out, imgTIF), qPrintable(doc.lastError().description));
        ImgX again;
        QVERIFY(again.importFile(out));
        QCOMPARE(int(again.image().pixelFormat()), int(doc.image().pixelFormat()));
        diff = diffAt(again.image().image(), k);
        QVERIFY2(diff.isEmpty(), qPrintable(u"round %1: %2"_s.arg(round).arg(diff)));
        if (!hasAlpha(k)) {
            bool ok = false;
            const QImage byLibtiff = libtiffPixels(out, &ok);
            QVERIFY(ok);
            diff = diffAt(byLibtiff, k);
            QVERIFY2(diff.isEmpty(), qPrintable(u"libtiff reads round %1: %2"_s.arg(round).arg(diff)));
        }
        QVERIFY(doc.importFile(out));
    }
}

void TstImgXPixels::transparentPaperStaysWhite()
{
    // A logo-like page: transparent white paper with one opaque black square.
    QImage page(64, 32, QImage::Format_ARGB32);
    page.fill(qRgba(255, 255, 255, 0));
    for (int y = 8; y < 16; ++y)
        for (int x = 8; x < 16; ++x)
            page.setPixel(x, y, qRgba(0, 0, 0, 255));
    ImgX doc;
    QVERIFY(doc.importImage(page, 200, 200));
    const QString out = m_dir.filePath(u"paper.tif"_s);
    for (int round = 0; round < 2; ++round) {
        QVERIFY(doc.exportFile(out, imgTIF));
        QVERIFY(doc.importFile(out));
    }
    QCOMPARE(doc.image().image().pixel(0, 0), qRgba(255, 255, 255, 0));
    // Made ready for faxing: paper stays white, the square stays black.
    QVERIFY(doc.convertPixelFormat(ImgXPixelFormat::Bilevel));
    const QImage mono = doc.image().image();
    QCOMPARE(mono.pixelIndex(0, 0), 0);
    QCOMPARE(mono.pixelIndex(63, 31), 0);
    QCOMPARE(mono.pixelIndex(10, 10), 1);
    // The same through the fax compression of the writer, straight from the colour page.
    QVERIFY(doc.undo());
    doc.exportOptions().tifCompression = TIFCompression::CcittG4;
    const QString fax = m_dir.filePath(u"paper-g4.tif"_s);
    QVERIFY(doc.exportFile(fax, imgTIF));
    ImgX sent;
    QVERIFY(sent.importFile(fax));
    QVERIFY(sent.image().isBilevel());
    QCOMPARE(sent.image().image().pixelIndex(0, 0), 0);
    QCOMPARE(sent.image().image().pixelIndex(10, 10), 1);
}

void TstImgXPixels::writtenAlphaIsStraight()
{
    // What other programs read: the file says unassociated alpha and holds the colours unmultiplied.
    const QString src = m_dir.filePath(u"alpha-src.tif"_s);
    QVERIFY(writeSource(src, RgbaStraight));
    ImgX doc;
    QVERIFY(doc.importFile(src));
    const QString out = m_dir.filePath(u"alpha-out.tif"_s);
    QVERIFY(doc.exportFile(out, imgTIF));
    const RawPage raw = rawPage(out);
    QCOMPARE(raw.spp, uint16_t(4));
    QCOMPARE(raw.extra, uint16_t(EXTRASAMPLE_UNASSALPHA));
    QCOMPARE(raw.rows.size(), H);
    const auto *p = reinterpret_cast<const uchar *>(raw.rows.at(3).constData());
    QCOMPARE(int(p[0]), 255); // transparent paper keeps its white
    QCOMPARE(int(p[3]), 0);
    QCOMPARE(int(p[4]), 200);
    QCOMPARE(int(p[5]), 100);
    QCOMPARE(int(p[6]), 50);
    QCOMPARE(int(p[7]), 128);
}

// CMYK pages of 8 and 16 bits, contiguous or planar: inks laid on white paper without a profile
// (red = (1 - C)(1 - K), as libtiff's and ImageMagick's plain conversions do).
void TstImgXPixels::cmykPages_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("separate");
    QTest::newRow("8-bit") << 8 << false;
    QTest::newRow("8-bit planar") << 8 << true;
    QTest::newRow("16-bit") << 16 << false;
    QTest::newRow("16-bit planar") << 16 << true;
}

void TstImgXPixels::cmykPages()
{
    QFETCH(int, bits);
    QFETCH(bool, separate);
    const QString file = m_dir.filePath(u"cmyk.tif"_s);
    TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "w");
    QVERIFY(tif);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(W));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(H));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(4));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(4));
    // Ink i of pixel (x, y), 8-bit; 16-bit files hold it times 257.
    const auto ink = [](int i, int x, int y) { return (x * 37 + y * 11 + i * 64) & 0xff; };
    const int planes = separate ? 4 : 1, per = separate ? 1 : 4;
    QByteArray row(TIFFScanlineSize(tif), '\0');
    for (int p = 0; p < planes; ++p)
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x)
                for (int s = 0; s < per; ++s) {
                    const int v = ink(separate ? p : s, x, y);
                    if (bits == 16)
                        reinterpret_cast<uint16_t *>(row.data())[x * per + s] = uint16_t(v * 257);
                    else
                        row[x * per + s] = char(v);
                }
            QVERIFY(TIFFWriteScanline(tif, row.data(), uint32_t(y), uint16_t(p)) >= 0);
        }
    QVERIFY(TIFFWriteDirectory(tif));
    TIFFClose(tif);

    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    const QImage img = doc.image().image();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int k = ink(3, x, y);
            const auto on = [&](int i) {
                const int m = bits == 16 ? 65535 : 255, f = bits == 16 ? 257 : 1;
                const int v = int((qint64(m - ink(i, x, y) * f) * (m - k * f) + m / 2) / m);
                return bits == 16 ? (v + 128) / 257 : v;
            };
            QCOMPARE(img.pixel(x, y), qRgb(on(0), on(1), on(2)));
        }
}

QTEST_MAIN(TstImgXPixels)
#include "tst_imgx_pixels.moc"
