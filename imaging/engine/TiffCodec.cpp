#include "TiffCodec.h"
#include "ImgXPageSource.h"
#include "TiffStream.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxPages = 65535;

// Offsets of every directory, walked straight from the bytes: cheap, so opening a long fax does
// not depend on parsing each page's tags. Stops at a loop, an offset outside the file or more than
// MaxPages pages and then sets *broken (a truncated or damaged file).
QList<quint64> directoryOffsets(const QByteArray &data, bool *broken = nullptr)
{
    bool dummy = false;
    bool &bad = broken ? *broken : dummy;
    bad = false;
    QList<quint64> offs;
    if (data.size() < 8)
        return offs;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const quint64 size = quint64(data.size());
    const bool le = p[0] == 'I';
    auto u16 = [&](quint64 o) {
        return le ? qFromLittleEndian<quint16>(p + o) : qFromBigEndian<quint16>(p + o);
    };
    auto u32 = [&](quint64 o) {
        return le ? qFromLittleEndian<quint32>(p + o) : qFromBigEndian<quint32>(p + o);
    };
    auto u64 = [&](quint64 o) {
        return le ? qFromLittleEndian<quint64>(p + o) : qFromBigEndian<quint64>(p + o);
    };
    const bool big = u16(2) == 43;
    if (big && size < 16)
        return offs;
    quint64 off = big ? u64(8) : u32(4);
    std::unordered_set<quint64> seen;
    // Every bound is checked as "room left after off", so offsets near 2^64 cannot wrap around.
    auto fits = [&](quint64 at, quint64 bytes) { return at <= size && size - at >= bytes; };
    while (off != 0 && offs.size() < MaxPages) {
        bad = true;
        if (!seen.insert(off).second)
            break;
        if (big) {
            if (!fits(off, 8))
                break;
            const quint64 n = u64(off);
            if (n > 0xffff || !fits(off + 8, n * 20 + 8))
                break;
            bad = false;
            offs.append(off);
            off = u64(off + 8 + n * 20);
        } else {
            if (!fits(off, 2))
                break;
            const quint64 n = u16(off);
            if (!fits(off + 2, n * 12 + 4))
                break;
            bad = false;
            offs.append(off);
            off = u32(off + 2 + n * 12);
        }
    }
    if (off != 0 && offs.size() >= MaxPages)
        bad = true; // more pages than we take: refused rather than cut short
    return offs;
}

// The stored field type of `tag` in the directory at `dirOff`: 0 when the tag is absent, -1 when
// its type is none TIFF knows (libtiff keeps such a field with the raw number as its type).
int entryType(const QByteArray &data, quint64 dirOff, int tag)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const quint64 size = quint64(data.size());
    if (size < 8)
        return 0;
    const bool le = p[0] == 'I';
    auto u16 = [&](quint64 o) {
        return le ? qFromLittleEndian<quint16>(p + o) : qFromBigEndian<quint16>(p + o);
    };
    auto u64 = [&](quint64 o) {
        return le ? qFromLittleEndian<quint64>(p + o) : qFromBigEndian<quint64>(p + o);
    };
    const bool big = u16(2) == 43;
    const quint64 head = big ? 8 : 2, entry = big ? 20 : 12;
    if (dirOff > size || size - dirOff < head)
        return 0;
    const quint64 n = big ? u64(dirOff) : u16(dirOff);
    if (n > 0xffff || size - dirOff - head < n * entry)
        return 0;
    for (quint64 i = 0; i < n; ++i) {
        const quint64 e = dirOff + head + i * entry;
        if (u16(e) == tag) {
            const int type = u16(e + 2);
            return type >= TIFF_BYTE && type <= TIFF_IFD8 ? type : -1;
        }
    }
    return 0;
}

double resolutionDpi(TIFF *tif, ttag_t tag, uint16_t unit)
{
    float v = 0;
    if (!TIFFGetField(tif, tag, &v) || !std::isfinite(v) || v <= 0)
        return 96.0;
    double dpi = unit == RESUNIT_CENTIMETER ? v * 2.54 : v;
    if (dpi < 1 || dpi > 100000)
        return 96.0;
    return dpi;
}

struct PageFacts
{
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE, extraCount = 0;
    uint32_t t4 = 0;
    double xDpi = 96, yDpi = 96;
    bool tiled = false;
    bool alpha = false;
    bool associated = false; // colours stored premultiplied by alpha

    bool isOneBit() const
    {
        return bps == 1 && spp == 1 &&
               (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    }
    // Read straight into a 1-bit image (strips); tiled 1-bit pages go through the RGBA reader.
    bool isBilevel() const { return isOneBit() && !tiled; }
    bool isGrey8() const
    {
        return bps == 8 && spp == 1 && !tiled &&
               (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    }
    // Palette pages of up to 8 bits stay palette pages (index for index).
    bool isPalette() const
    {
        return photometric == PHOTOMETRIC_PALETTE && spp == 1 && planar == PLANARCONFIG_CONTIG &&
               (bps == 1 || bps == 2 || bps == 4 || bps == 8);
    }
    // 8-bit pages with one alpha sample, read as stored: the RGBA reader would premultiply them.
    bool isStraightAlpha8() const
    {
        if (!alpha || bps != 8 || planar != PLANARCONFIG_CONTIG || extraCount != 1)
            return false;
        if (photometric == PHOTOMETRIC_RGB)
            return spp == 4;
        return spp == 2 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    }
};

PageFacts readFacts(TIFF *tif)
{
    PageFacts f;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.spp);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric))
        f.photometric = f.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
    if (f.compression == COMPRESSION_CCITTFAX3)
        TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &f.t4);
    uint16_t *extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &f.extraCount, &extra) && f.extraCount > 0 && extra) {
        f.alpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
        f.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    f.tiled = TIFFIsTiled(tif);
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    f.xDpi = resolutionDpi(tif, TIFFTAG_XRESOLUTION, unit);
    f.yDpi = resolutionDpi(tif, TIFFTAG_YRESOLUTION, unit);
    return f;
}

ImgXPixelFormat formatOf(const PageFacts &f)
{
    if (f.isOneBit())
        return ImgXPixelFormat::Bilevel;
    if (f.isGrey8())
        return ImgXPixelFormat::Grey8;
    if (f.isPalette())
        return ImgXPixelFormat::Indexed8;
    return f.alpha ? ImgXPixelFormat::Argb32 : ImgXPixelFormat::Rgb24;
}

ImgXError corrupt(const QString &why)
{
    return ImgXError::make(ImgXErrorCode::CorruptImage, u"Damaged TIFF data: %1"_s.arg(why));
}

class TiffPageSource : public ImgXPageSource
{
public:
    TiffPageSource(const QByteArray &data, QList<quint64> offsets)
        : m_data(data), m_offsets(std::move(offsets)), m_stream(TiffStream::openRead(m_data))
    {}

    bool isOpen() const { return m_stream->tif(); }
    QString openError() { return m_stream->takeError(); }
    int count() const { return int(m_offsets.size()); }

    bool select(int index)
    {
        if (index < 0 || index >= m_offsets.size() || !m_stream->tif())
            return false;
        if (m_selected == index)
            return true;
        m_selected = -1;
        if (!TIFFSetSubDirectory(m_stream->tif(), m_offsets.at(index)))
            return false;
        m_selected = index;
        return true;
    }

    void readHeader(int index, ImgXImage::Data &d) override
    {
        if (!select(index)) {
            m_stream->takeError();
            return;
        }
        fill(readFacts(m_stream->tif()), d);
    }

    static void fill(const PageFacts &f, ImgXImage::Data &d)
    {
        d.size = QSize(int(std::min<uint32_t>(f.width, INT_MAX)), int(std::min<uint32_t>(f.height, INT_MAX)));
        d.xDpi = f.xDpi;
        d.yDpi = f.yDpi;
        d.format = formatOf(f);
        d.alpha = f.alpha;
        d.tiffCompression = f.compression;
        d.t4Options = int(f.t4);
    }

    QImage decode(int index, ImgXError *error, QImage *reuse) override
    {
        m_stream->takeError();
        if (!select(index)) {
            *error = corrupt(m_stream->takeError());
            return {};
        }
        TIFF *tif = m_stream->tif();
        const PageFacts f = readFacts(tif);
        if (!ImgXPageLimit::fits(f.width, f.height)) {
            *error = ImgXError::make(ImgXErrorCode::CorruptImage,
                                     u"A page of %1x%2 pixels is larger than any scanner or fax makes"_s
                                         .arg(f.width)
                                         .arg(f.height));
            return {};
        }
        QImage img = f.isBilevel()          ? decodeRows(tif, f, QImage::Format_Mono, reuse)
                     : f.isGrey8()          ? decodeRows(tif, f, QImage::Format_Grayscale8, reuse)
                     : f.isPalette()        ? decodePalette(tif, f)
                     : f.isStraightAlpha8() ? decodeAlpha8(tif, f)
                                            : decodeRgba(tif, f);
        const QString why = m_stream->takeError();
        if (img.isNull()) {
            *error = corrupt(why.isEmpty() ? u"cannot decode the page"_s : why);
            return {};
        }
        return img;
    }

private:
    static QImage decodeRows(TIFF *tif, const PageFacts &f, QImage::Format format, QImage *reuse)
    {
        QImage img;
        if (reuse && reuse->format() == format && reuse->size() == QSize(int(f.width), int(f.height)) &&
            reuse->isDetached())
            img = std::move(*reuse);
        else
            img = QImage(int(f.width), int(f.height), format);
        if (img.isNull())
            return {};
        if (format == QImage::Format_Mono)
            img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        const tmsize_t scan = TIFFScanlineSize(tif);
        uint32_t rowsPerStrip = f.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, f.height);
        const qsizetype bpl = img.bytesPerLine();
        if (scan <= 0 || scan > bpl)
            return {};
        const uint32_t strips = TIFFNumberOfStrips(tif);
        QByteArray temp;
        for (uint32_t s = 0; s < strips; ++s) {
            const uint32_t row = s * rowsPerStrip;
            if (row >= f.height)
                break;
            const uint32_t rows = std::min(rowsPerStrip, f.height - row);
            const tmsize_t want = tmsize_t(rows) * scan;
            if (bpl == scan) {
                if (TIFFReadEncodedStrip(tif, s, img.scanLine(int(row)), want) < 0)
                    return {};
            } else {
                temp.resize(want);
                if (TIFFReadEncodedStrip(tif, s, temp.data(), want) < 0)
                    return {};
                for (uint32_t r = 0; r < rows; ++r)
                    memcpy(img.scanLine(int(row + r)), temp.constData() + qsizetype(r) * scan, size_t(scan));
            }
        }
        // Bilevel pages keep index 0 = white; grey pages keep 0 = black.
        const bool invert = format == QImage::Format_Mono ? f.photometric == PHOTOMETRIC_MINISBLACK
                                                          : f.photometric == PHOTOMETRIC_MINISWHITE;
        if (invert)
            img.invertPixels();
        return img;
    }

    // Rows as stored (strips or tiles), handed to `take(row, bytes)` one by one. False on a read error.
    template <typename Take>
    static bool forEachRow(TIFF *tif, const PageFacts &f, Take take)
    {
        const tmsize_t scan = TIFFScanlineSize(tif);
        if (scan <= 0)
            return false;
        if (f.tiled)
            return forEachTiledRow(tif, f, scan, take);
        uint32_t rowsPerStrip = f.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, f.height);
        QByteArray strip;
        const uint32_t strips = TIFFNumberOfStrips(tif);
        for (uint32_t s = 0; s < strips; ++s) {
            const uint32_t row = s * rowsPerStrip;
            if (row >= f.height)
                break;
            const uint32_t rows = std::min(rowsPerStrip, f.height - row);
            strip.resize(tmsize_t(rows) * scan);
            if (TIFFReadEncodedStrip(tif, s, strip.data(), strip.size()) < 0)
                return false;
            for (uint32_t r = 0; r < rows; ++r)
                take(row + r, reinterpret_cast<const uchar *>(strip.constData()) + qsizetype(r) * scan);
        }
        return true;
    }

    // Tiles of one band of rows laid side by side, then the band's rows handed out.
    template <typename Take>
    static bool forEachTiledRow(TIFF *tif, const PageFacts &f, tmsize_t scan, Take take)
    {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        const tmsize_t tileRow = TIFFTileRowSize(tif), tileSize = TIFFTileSize(tif);
        const quint64 bitsPerPixel = quint64(f.bps) * f.spp;
        if (tw == 0 || th == 0 || tw > 65536 || th > 65536 || tileRow <= 0 || tileSize <= 0 ||
            (quint64(tw) * bitsPerPixel) % 8 != 0 || quint64(tileRow) * 8 != quint64(tw) * bitsPerPixel)
            return false;
        const uint32_t bandRows = std::min(th, f.height);
        if (quint64(bandRows) * quint64(scan) > (quint64(256) << 20))
            return false;
        QByteArray band(qsizetype(bandRows) * scan, '\0'), tile(tileSize, '\0');
        for (uint32_t y0 = 0; y0 < f.height; y0 += th) {
            const uint32_t rows = std::min(th, f.height - y0);
            for (uint32_t x0 = 0; x0 < f.width; x0 += tw) {
                if (TIFFReadTile(tif, tile.data(), x0, y0, 0, 0) < 0)
                    return false;
                const quint64 at = quint64(x0) * bitsPerPixel / 8;
                const quint64 bytes = std::min<quint64>(quint64(tileRow), quint64(scan) - at);
                for (uint32_t r = 0; r < rows; ++r)
                    memcpy(band.data() + qsizetype(r) * scan + qsizetype(at),
                           tile.constData() + qsizetype(r) * tileRow, size_t(bytes));
            }
            for (uint32_t r = 0; r < rows; ++r)
                take(y0 + r, reinterpret_cast<const uchar *>(band.constData()) + qsizetype(r) * scan);
        }
        return true;
    }

    static QImage decodePalette(TIFF *tif, const PageFacts &f)
    {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return {};
        const int colours = 1 << f.bps;
        // Some writers store 8-bit values in the 16-bit map: take them as they are then.
        bool eightBit = true;
        for (int i = 0; i < colours; ++i)
            eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const int shift = eightBit ? 0 : 8;
        QList<QRgb> table(colours);
        for (int i = 0; i < colours; ++i)
            table[i] = qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift);
        QImage img(int(f.width), int(f.height), QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(table);
        const int bps = f.bps, perByte = 8 / bps, mask = colours - 1;
        const bool ok = forEachRow(tif, f, [&](uint32_t y, const uchar *src) {
            uchar *dst = img.scanLine(int(y));
            for (uint32_t x = 0; x < f.width; ++x) {
                const int shiftIn = (perByte - 1 - int(x % perByte)) * bps;
                dst[x] = uchar((src[x / perByte] >> shiftIn) & mask);
            }
        });
        return ok ? img : QImage();
    }

    static QImage decodeAlpha8(TIFF *tif, const PageFacts &f)
    {
        QImage img(int(f.width), int(f.height), QImage::Format_ARGB32);
        if (img.isNull())
            return {};
        const bool rgb = f.photometric == PHOTOMETRIC_RGB;
        const bool invert = f.photometric == PHOTOMETRIC_MINISWHITE;
        const bool ok = forEachRow(tif, f, [&](uint32_t y, const uchar *src) {
            auto *dst = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
            for (uint32_t x = 0; x < f.width; ++x) {
                int r, g, b, a;
                if (rgb) {
                    r = src[4 * x], g = src[4 * x + 1], b = src[4 * x + 2], a = src[4 * x + 3];
                } else {
                    r = g = b = invert ? 255 - src[2 * x] : src[2 * x];
                    a = src[2 * x + 1];
                }
                dst[x] = f.associated ? qUnpremultiply(qRgba(std::min(r, a), std::min(g, a), std::min(b, a), a))
                                      : qRgba(r, g, b, a);
            }
        });
        return ok ? img : QImage();
    }

    static QImage decodeRgba(TIFF *tif, const PageFacts &f)
    {
        QImage img(int(f.width), int(f.height), QImage::Format_RGBA8888);
        if (img.isNull() || img.bytesPerLine() != qsizetype(f.width) * 4)
            return {};
        auto *raster = reinterpret_cast<uint32_t *>(img.bits());
        if (!TIFFReadRGBAImageOriented(tif, f.width, f.height, raster, ORIENTATION_TOPLEFT, 0))
            return {};
        // libtiff packs R in the low byte: on little-endian memory that is RGBA8888 already.
        if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
            for (quint64 i = 0, n = quint64(f.width) * f.height; i < n; ++i)
                raster[i] = qbswap(raster[i]);
        }
        if (f.isOneBit()) // a tiled bilevel page stays 1-bit
            return img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        if (!f.alpha)
            return img.convertToFormat(QImage::Format_RGB32);
        // The RGBA reader hands out colour pages premultiplied by alpha (it multiplies unassociated
        // alpha itself; grey pages it passes as stored): pages are kept straight.
        if (f.photometric != PHOTOMETRIC_MINISBLACK && f.photometric != PHOTOMETRIC_MINISWHITE ? true
                                                                                                : f.associated)
            img.reinterpretAsFormat(QImage::Format_RGBA8888_Premultiplied);
        return img.convertToFormat(QImage::Format_ARGB32);
    }

    QByteArray m_data;
    QList<quint64> m_offsets;
    std::unique_ptr<TiffStream> m_stream;
    int m_selected = 0;
};

} // namespace

namespace TiffCodec {

bool hasSignature(const QByteArray &head)
{
    return head.startsWith(QByteArrayView("II*\0", 4)) || head.startsWith(QByteArrayView("MM\0*", 4)) ||
           head.startsWith(QByteArrayView("II+\0", 4)) || head.startsWith(QByteArrayView("MM\0+", 4));
}

bool readPages(const QString &fileName, const QByteArray &data, int onlyPage, QList<ImgXImage> *pages,
               ImgXError *error)
{
    bool broken = false;
    QList<quint64> offsets = directoryOffsets(data, &broken);
    if (broken) {
        // Showing the pages before the damage would let a save drop the rest without a word.
        *error = corrupt(offsets.isEmpty()
                             ? u"no readable page directory"_s
                             : u"the file is cut short or damaged after page %1"_s.arg(offsets.size()));
        return false;
    }
    auto source = std::make_shared<TiffPageSource>(data, offsets);
    if (!source->isOpen()) {
        *error = corrupt(source->openError());
        return false;
    }
    if (offsets.isEmpty()) {
        *error = corrupt(u"no pages"_s);
        return false;
    }
    if (onlyPage >= offsets.size()) {
        *error = ImgXError::make(ImgXErrorCode::InvalidArgument,
                                 u"The file %1 has no page %2"_s.arg(fileName).arg(onlyPage + 1));
        return false;
    }
    const int first = onlyPage < 0 ? 0 : onlyPage;
    const int last = onlyPage < 0 ? int(offsets.size()) - 1 : onlyPage;
    for (int i = first; i <= last; ++i) {
        ImgXImage page;
        ImgXImage::Data &d = ImgXPageSource::data(page);
        d.source = source;
        d.sourceIndex = i;
        d.headerPending = true;
        d.formatCode = imgTIF;
        d.fileName = fileName;
        d.page = i;
        pages->append(page);
    }
    // The first page's facts are needed at once (and prove the file is a TIFF libtiff accepts).
    ImgXImage::Data &d0 = ImgXPageSource::data((*pages)[0]);
    d0.ensureHeader();
    if (d0.size.isEmpty()) {
        pages->clear();
        *error = corrupt(u"the first page has no size"_s);
        return false;
    }
    return true;
}

bool info(const QByteArray &data, ImgXFileInfo *info)
{
    bool broken = false;
    const QList<quint64> offsets = directoryOffsets(data, &broken);
    std::unique_ptr<TiffStream> s(TiffStream::openRead(data));
    if (!s->tif() || offsets.isEmpty() || broken) { // the same files importFile refuses
        info->error = corrupt(s->takeError());
        return false;
    }
    const PageFacts f = readFacts(s->tif());
    info->format = imgTIF;
    info->pageCount = int(offsets.size());
    info->size = QSize(int(f.width), int(f.height));
    info->xResolution = int(std::lround(f.xDpi));
    info->yResolution = int(std::lround(f.yDpi));
    info->bitsPerPixel = int(std::min<quint64>(quint64(f.bps) * f.spp, INT_MAX)); // hostile tags may claim any
    info->tiffCompression = f.compression;
    return true;
}

// One stored value of a tag, read by its libtiff storage size.
static QVariant tagValue(const void *values, int index, int size, bool real)
{
    switch (size) {
    case 1:
        return uint(static_cast<const uint8_t *>(values)[index]);
    case 2:
        return uint(static_cast<const uint16_t *>(values)[index]);
    case 4:
        if (real)
            return double(static_cast<const float *>(values)[index]);
        return uint(static_cast<const uint32_t *>(values)[index]);
    case 8:
        if (real)
            return static_cast<const double *>(values)[index];
        return qulonglong(static_cast<const uint64_t *>(values)[index]);
    default:
        return {};
    }
}

QVariant tag(const QByteArray &data, int page, int tagNumber)
{
    const QList<quint64> offsets = directoryOffsets(data);
    if (page < 0 || page >= offsets.size())
        return {};
    std::unique_ptr<TiffStream> s(TiffStream::openRead(data));
    TIFF *tif = s->tif();
    if (!tif || !TIFFSetSubDirectory(tif, offsets.at(page)))
        return {};
    if (tagNumber == TIFFTAG_STRIPOFFSETS || tagNumber == TIFFTAG_STRIPBYTECOUNTS ||
        tagNumber == TIFFTAG_TILEOFFSETS || tagNumber == TIFFTAG_TILEBYTECOUNTS) {
        const bool tiles = tagNumber == TIFFTAG_TILEOFFSETS || tagNumber == TIFFTAG_TILEBYTECOUNTS;
        if (tiles != bool(TIFFIsTiled(tif)))
            return {};
        const bool offsets = tagNumber == TIFFTAG_STRIPOFFSETS || tagNumber == TIFFTAG_TILEOFFSETS;
        QVariantList list;
        const uint32_t n = tiles ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        for (uint32_t i = 0; i < n; ++i)
            list.append(qulonglong(offsets ? TIFFGetStrileOffset(tif, i) : TIFFGetStrileByteCount(tif, i)));
        return list;
    }
    // Only a tag stored with a known type is asked for: libtiff keeps an unknown one with the raw
    // number as its type, which no code here may take for a TIFFDataType.
    if (entryType(data, offsets.at(page), tagNumber) <= 0)
        return {};
    const TIFFField *fip = TIFFFieldWithTag(tif, ttag_t(tagNumber));
    if (!fip)
        return {};
    const int type = int(TIFFFieldDataType(fip));
    if (type < TIFF_BYTE || type > TIFF_IFD8)
        return {};
    const int size = TIFFFieldSetGetSize(fip);
    const bool real =
        type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT || type == TIFF_DOUBLE;
    const int readCount = TIFFFieldReadCount(fip);
    // Fields that pass a count (private tags among them) take the count first, texts included:
    // asking for such a text with one pointer lets libtiff write through an argument never passed.
    if (TIFFFieldPassCount(fip)) {
        void *values = nullptr;
        uint32_t n = 0;
        const int countSize = TIFFFieldSetGetCountSize(fip);
        if (countSize == 4) {
            if (!TIFFGetField(tif, ttag_t(tagNumber), &n, &values))
                return {};
        } else if (countSize == 2) {
            uint16_t n16 = 0;
            if (!TIFFGetField(tif, ttag_t(tagNumber), &n16, &values))
                return {};
            n = n16;
        } else {
            return {};
        }
        if (type == TIFF_ASCII) {
            const char *v = static_cast<const char *>(values);
            return v ? QVariant(QString::fromLatin1(v, qsizetype(qstrnlen(v, n)))) : QVariant();
        }
        QVariantList list;
        for (uint32_t i = 0; values && i < n; ++i)
            list.append(tagValue(values, int(i), size, real));
        return list;
    }
    if (type == TIFF_ASCII) {
        const char *v = nullptr;
        return TIFFGetField(tif, ttag_t(tagNumber), &v) && v ? QVariant(QString::fromLatin1(v)) : QVariant();
    }
    if (readCount == 2 && type == TIFF_SHORT) { // PageNumber and its kind: two values by address
        uint16_t a = 0, b = 0;
        if (!TIFFGetField(tif, ttag_t(tagNumber), &a, &b))
            return {};
        return QVariantList{uint(a), uint(b)};
    }
    if (readCount > 2) { // fixed arrays (ReferenceBlackWhite): handed out as a pointer
        void *values = nullptr;
        if (!TIFFGetField(tif, ttag_t(tagNumber), &values) || !values)
            return {};
        QVariantList list;
        for (int i = 0; i < readCount; ++i)
            list.append(tagValue(values, i, size, real));
        return list;
    }
    if (readCount != 1)
        return {};
    // Scalars: read into storage of the tag's own size.
    alignas(8) unsigned char value[8] = {};
    if (!TIFFGetField(tif, ttag_t(tagNumber), value))
        return {};
    return tagValue(value, 0, size, real);
}

} // namespace TiffCodec
