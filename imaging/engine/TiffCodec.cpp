#include "TiffCodec.h"
#include "ImgXPageSource.h"
#include "TiffStream.h"

#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_set>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxPages = 65535;

// Numbers of a TIFF file read straight from its bytes, in the file's byte order. Callers check
// the offsets against size first.
struct TiffBytes
{
    explicit TiffBytes(const QByteArray &data)
        : p(reinterpret_cast<const uchar *>(data.constData())), size(quint64(data.size())),
          le(size > 0 && p[0] == 'I')
    {
    }
    quint16 u16(quint64 o) const { return le ? qFromLittleEndian<quint16>(p + o) : qFromBigEndian<quint16>(p + o); }
    quint32 u32(quint64 o) const { return le ? qFromLittleEndian<quint32>(p + o) : qFromBigEndian<quint32>(p + o); }
    quint64 u64(quint64 o) const { return le ? qFromLittleEndian<quint64>(p + o) : qFromBigEndian<quint64>(p + o); }
    const uchar *p;
    quint64 size;
    bool le;
};

// Offsets of every directory, walked straight from the bytes: cheap, so opening a long fax does
// not depend on parsing each page's tags. Stops at an offset outside the file or more than MaxPages
// pages and then sets *broken (a truncated or damaged file). A link back to a directory already
// read ends the chain there and sets *loops: every page before it is whole, nothing is left unread.
QList<quint64> directoryOffsets(const QByteArray &data, bool *broken = nullptr, bool *loops = nullptr)
{
    bool dummy = false, dummyLoop = false;
    bool &bad = broken ? *broken : dummy;
    bool &looped = loops ? *loops : dummyLoop;
    bad = false;
    looped = false;
    QList<quint64> offs;
    if (data.size() < 8)
        return offs;
    const quint64 size = quint64(data.size());
    const TiffBytes b(data);
    const bool big = b.u16(2) == 43;
    if (big && size < 16)
        return offs;
    quint64 off = big ? b.u64(8) : b.u32(4);
    std::unordered_set<quint64> seen;
    // Every bound is checked as "room left after off", so offsets near 2^64 cannot wrap around.
    auto fits = [&](quint64 at, quint64 bytes) { return at <= size && size - at >= bytes; };
    while (off != 0 && offs.size() < MaxPages) {
        if (!seen.insert(off).second) {
            looped = true;
            return offs;
        }
        bad = true;
        if (big) {
            if (!fits(off, 8))
                break;
            const quint64 n = b.u64(off);
            if (n > 0xffff || !fits(off + 8, n * 20 + 8))
                break;
            bad = false;
            offs.append(off);
            off = b.u64(off + 8 + n * 20);
        } else {
            if (!fits(off, 2))
                break;
            const quint64 n = b.u16(off);
            if (!fits(off + 2, n * 12 + 4))
                break;
            bad = false;
            offs.append(off);
            off = b.u32(off + 2 + n * 12);
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
    const quint64 size = quint64(data.size());
    if (size < 8)
        return 0;
    const TiffBytes b(data);
    const bool big = b.u16(2) == 43;
    const quint64 head = big ? 8 : 2, entry = big ? 20 : 12;
    if (dirOff > size || size - dirOff < head)
        return 0;
    const quint64 n = big ? b.u64(dirOff) : b.u16(dirOff);
    if (n > 0xffff || size - dirOff - head < n * entry)
        return 0;
    for (quint64 i = 0; i < n; ++i) {
        const quint64 e = dirOff + head + i * entry;
        if (b.u16(e) == tag) {
            const int type = b.u16(e + 2);
            return type >= TIFF_BYTE && type <= TIFF_IFD8 ? type : -1;
        }
    }
    return 0;
}

// What the directory at dirOff says of itself, read from its entries alone (no libtiff directory
// read, which costs a long fax more than its first page): Page with its size when it plainly holds
// one; NotPage with what it gives (0 for a missing side) when it has no size or one beyond the page
// limit; Ask when anything is unusual (a side stored oddly or twice, no strip or tile offsets), so
// that libtiff decides.
enum class Quick { Page, NotPage, Ask };
Quick quickCheck(const QByteArray &data, quint64 dirOff, uint32_t *width, uint32_t *height)
{
    *width = *height = 0;
    const quint64 size = quint64(data.size());
    if (size < 8)
        return Quick::Ask;
    const TiffBytes b(data);
    const bool big = b.u16(2) == 43;
    const quint64 head = big ? 8 : 2, entry = big ? 20 : 12;
    if (dirOff > size || size - dirOff < head)
        return Quick::Ask;
    const quint64 n = big ? b.u64(dirOff) : b.u16(dirOff);
    if (n > 0xffff || size - dirOff - head < n * entry)
        return Quick::Ask;
    int seenWidth = 0, seenHeight = 0, offsets = 0;
    bool plain = true;
    for (quint64 i = 0; i < n; ++i) {
        const quint64 e = dirOff + head + i * entry;
        const int tag = b.u16(e);
        if (tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS)
            ++offsets;
        if (tag != TIFFTAG_IMAGEWIDTH && tag != TIFFTAG_IMAGELENGTH)
            continue;
        const int type = b.u16(e + 2);
        const quint64 count = big ? b.u64(e + 4) : b.u32(e + 4);
        const quint64 value = e + (big ? 12 : 8);
        uint32_t v = 0;
        if (count == 1 && type == TIFF_SHORT)
            v = b.u16(value);
        else if (count == 1 && type == TIFF_LONG)
            v = b.u32(value);
        else if (count == 1 && type == TIFF_LONG8 && big && b.u64(value) <= UINT32_MAX)
            v = uint32_t(b.u64(value));
        else
            plain = false;
        *(tag == TIFFTAG_IMAGEWIDTH ? width : height) = v;
        ++(tag == TIFFTAG_IMAGEWIDTH ? seenWidth : seenHeight);
    }
    if (!plain || seenWidth > 1 || seenHeight > 1)
        return Quick::Ask;
    // libtiff reads no directory without a height; one without a width has no size either.
    if (seenHeight == 0 || seenWidth == 0 || !ImgXPageLimit::fits(*width, *height))
        return Quick::NotPage;
    return offsets == 1 ? Quick::Page : Quick::Ask;
}

double resolutionDpi(TIFF *tif, ttag_t tag, uint16_t unit)
{
    float v = 0;
    if (!TIFFGetField(tif, tag, &v) || !std::isfinite(v))
        return ImgXResolution::Default;
    return ImgXResolution::orDefault(unit == RESUNIT_CENTIMETER ? v * 2.54 : double(v));
}

struct PageFacts
{
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE, extraCount = 0, inkSet = INKSET_CMYK;
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
    // Read straight into a 1-bit image row by row (strips); tiled 1-bit pages tile by tile.
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
    // 8-bit palette pages with an alpha sample (what common tools write for a palette image with
    // transparency): colours from the map, alpha as stored. The RGBA reader drops the alpha.
    bool isPaletteAlpha() const
    {
        return photometric == PHOTOMETRIC_PALETTE && alpha && bps == 8 && spp >= 2;
    }
    // Grey, RGB or CMYK pages of 8 or 16 bits (any planar layout, alpha or not) read as stored; the
    // RGBA reader premultiplies alpha and takes 16-bit samples its own way.
    bool isDirect() const
    {
        if (bps != 8 && bps != 16)
            return false;
        if (photometric == PHOTOMETRIC_RGB)
            return spp >= 3 + (alpha ? 1 : 0) && (bps == 16 || alpha || planar == PLANARCONFIG_SEPARATE);
        if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE)
            return spp >= 1 + (alpha ? 1 : 0) && (bps == 16 || alpha || planar == PLANARCONFIG_SEPARATE);
        // CMYK of 8 or 16 bits: the RGBA reader takes 8-bit contiguous pages only.
        return photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK && spp >= 4 + (alpha ? 1 : 0);
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
    if (f.photometric == PHOTOMETRIC_SEPARATED)
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &f.inkSet);
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

// A directory is a page when it gives a size of at least 1x1, no larger than any page read here.
// A Deflate strip or tile whose stream does not run to its end with the right checksum: libtiff's
// decoder stops once it has the bytes it wants, so noise that still decodes goes unseen there.
// True for any other scheme.
bool deflateWhole(TIFF *tif, uint32_t strile)
{
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_DEFLATE)
        return true;
    const uint64_t bytes = TIFFGetStrileByteCount(tif, strile);
    if (bytes == 0 || bytes > (uint64_t(256) << 20))
        return false;
    QByteArray raw(qsizetype(bytes), Qt::Uninitialized);
    const tmsize_t got = TIFFIsTiled(tif) ? TIFFReadRawTile(tif, strile, raw.data(), tmsize_t(bytes))
                                          : TIFFReadRawStrip(tif, strile, raw.data(), tmsize_t(bytes));
    if (got <= 0)
        return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef *>(raw.data());
    z.avail_in = uInt(got);
    unsigned char sink[16384];
    int state = Z_OK;
    while (state == Z_OK) { // Z_BUF_ERROR: the input ran out before the stream's end
        z.next_out = sink;
        z.avail_out = sizeof sink;
        state = inflate(&z, Z_NO_FLUSH);
    }
    inflateEnd(&z);
    return state == Z_STREAM_END;
}

bool isPage(const PageFacts &f)
{
    return ImgXPageLimit::fits(f.width, f.height);
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

    // The facts of page index; no size when its directory cannot be read.
    PageFacts facts(int index)
    {
        if (!select(index)) {
            m_stream->takeError();
            return {};
        }
        return readFacts(m_stream->tif());
    }

    // A page the quick check took keeps its size when libtiff cannot read the directory after all
    // (or reads no page in it); its decoding then fails with the reason.
    void readHeader(int index, ImgXImage::Data &d) override
    {
        if (!select(index)) {
            m_stream->takeError();
            return;
        }
        const PageFacts f = readFacts(m_stream->tif());
        if (isPage(f))
            fill(f, d);
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
        if (!isPage(f)) {
            *error = ImgXPageLimit::refused(f.width, f.height);
            return {};
        }
        QString damage;
        QImage img = f.isBilevel()   ? decodeRows(*m_stream, f, QImage::Format_Mono, reuse, &damage)
                     : f.isGrey8()   ? decodeRows(*m_stream, f, QImage::Format_Grayscale8, reuse, &damage)
                     : f.isOneBit()  ? decodeTiledBilevel(tif, f)
                     : f.isPalette() ? decodePalette(tif, f)
                     : f.isPaletteAlpha() ? decodePaletteAlpha(tif, f)
                     : f.isDirect()       ? decodeDirect(tif, f)
                                          : decodeRgba(tif, f);
        const QString why = m_stream->takeError();
        if (img.isNull()) {
            *error = corrupt(why.isEmpty() ? u"cannot decode the page"_s : why);
            return {};
        }
        if (!damage.isEmpty()) // the page with its unreadable rows white, and why
            *error = corrupt(why.isEmpty() ? damage : u"%1 (%2)"_s.arg(damage, why));
        return img;
    }

private:
    // Row by row: libtiff's fax decoders tell a strip that ends early only by a warning for the row
    // where the data runs out, and call the strip good (a whole-strip read leaves the rest of the
    // buffer as it was). The buffer, perhaps another page's, is cleared to paper first; a row that
    // cannot be decoded whole stays paper with the rest of its strip and *damage says so. A page of
    // which no row decodes is no page.
    static QImage decodeRows(TiffStream &stream, const PageFacts &f, QImage::Format format, QImage *reuse,
                             QString *damage)
    {
        TIFF *tif = stream.tif();
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
        // Bilevel pages keep index 0 = white; grey pages keep 0 = black.
        const bool invert = format == QImage::Format_Mono ? f.photometric == PHOTOMETRIC_MINISBLACK
                                                          : f.photometric == PHOTOMETRIC_MINISWHITE;
        const uchar paper = (format == QImage::Format_Mono) == invert ? 0xff : 0x00;
        std::memset(img.bits(), paper, size_t(img.sizeInBytes()));
        // A Group 3 row without 2D coding stands alone (the decoder finds the next one by its EOL);
        // in the other schemes the rows after a bad one are read against it: guesses.
        const bool rowsStandAlone = f.compression == COMPRESSION_CCITTFAX3 && !(f.t4 & GROUP3OPT_2DENCODING);
        uint32_t missing = 0, firstMissing = 0;
        for (uint32_t y = 0; y < f.height;) {
            uchar *line = img.scanLine(int(y));
            stream.takeDataEnded();
            const int faults = TiffStream::faults(tif);
            const bool stripWhole = y % rowsPerStrip != 0 || deflateWhole(tif, TIFFComputeStrip(tif, y, 0));
            if (stripWhole && TIFFReadScanline(tif, line, y, 0) >= 0 && !stream.takeDataEnded() &&
                TiffStream::faults(tif) == faults) {
                ++y;
                continue;
            }
            const uint32_t next =
                rowsStandAlone
                    ? y + 1
                    : uint32_t(std::min<quint64>((quint64(y) / rowsPerStrip + 1) * rowsPerStrip, f.height));
            std::memset(line, paper, size_t(bpl)); // what the decoder put in before it stopped
            if (missing == 0)
                firstMissing = y;
            missing += next - y;
            y = next;
        }
        if (missing == f.height)
            return {};
        if (missing > 0)
            *damage = u"%1 of the page's %2 rows cannot be read (the first is row %3): they are left white"_s
                          .arg(missing)
                          .arg(f.height)
                          .arg(firstMissing + 1);
        if (invert)
            img.invertPixels();
        return img;
    }

    // Rows as stored, strips or tiles, one plane at a time (plane 0 of a contiguous page holds every
    // sample). Rows are asked for in ascending order: each strip or band of tiles is decoded once per
    // plane and kept until a row beyond it is asked for.
    class RowReader
    {
    public:
        // Buffers are cleared to `fill` before every read: a decoder that stops early (the fax
        // schemes call such a strip or tile good) leaves that, never an earlier strip's rows.
        RowReader(TIFF *tif, const PageFacts &f, char fill = 0) : m_tif(tif), m_f(f), m_fill(fill)
        {
            m_scan = TIFFScanlineSize(tif);
            const int planes = f.planar == PLANARCONFIG_SEPARATE ? f.spp : 1;
            m_planes.resize(planes);
            if (f.tiled) {
                TIFFGetField(tif, TIFFTAG_TILEWIDTH, &m_tw);
                TIFFGetField(tif, TIFFTAG_TILELENGTH, &m_th);
                m_tileRow = TIFFTileRowSize(tif);
                m_tileSize = TIFFTileSize(tif);
                const quint64 bitsPerPixel = quint64(f.bps) * (planes > 1 ? 1 : f.spp);
                m_bitsPerPixel = bitsPerPixel;
                m_ok = m_scan > 0 && m_tw > 0 && m_th > 0 && m_tw <= 65536 && m_th <= 65536 &&
                       m_tileRow > 0 && m_tileSize > 0 && (quint64(m_tw) * bitsPerPixel) % 8 == 0 &&
                       quint64(m_tileRow) * 8 == quint64(m_tw) * bitsPerPixel &&
                       quint64(std::min(m_th, f.height)) * quint64(m_scan) * quint64(planes) <=
                           (quint64(256) << 20);
                m_rows = m_th;
            } else {
                m_rows = f.height;
                TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &m_rows);
                m_rows = std::clamp<uint32_t>(m_rows, 1, f.height);
                m_ok =
                    m_scan > 0 && quint64(m_rows) * quint64(m_scan) * quint64(planes) <= (quint64(256) << 20);
            }
        }

        bool ok() const { return m_ok; }
        int planes() const { return int(m_planes.size()); }

        // Row y of plane p, or null on a read error.
        const uchar *row(uint32_t y, int p)
        {
            if (!m_ok || y >= m_f.height || p < 0 || p >= planes())
                return nullptr;
            Plane &plane = m_planes[p];
            const uint32_t first = y / m_rows * m_rows;
            if (plane.first != first) {
                plane.first = UINT32_MAX;
                const uint32_t rows = std::min(m_rows, m_f.height - first);
                plane.rows.resize(qsizetype(rows) * m_scan);
                plane.rows.fill(m_fill);
                if (!(m_f.tiled ? readBand(first, rows, p, plane.rows)
                                : readStrip(first, rows, p, plane.rows)))
                    return (m_ok = false), nullptr;
                plane.first = first;
            }
            return reinterpret_cast<const uchar *>(plane.rows.constData()) + qsizetype(y - first) * m_scan;
        }

    private:
        struct Plane
        {
            uint32_t first = UINT32_MAX;
            QByteArray rows;
        };

        bool readStrip(uint32_t first, uint32_t rows, int p, QByteArray &into)
        {
            const uint32_t strip = TIFFComputeStrip(m_tif, first, uint16_t(p));
            const tmsize_t want = tmsize_t(rows) * m_scan;
            const int faults = TiffStream::faults(m_tif);
            // Fewer bytes than the rows asked for is a strip libtiff sees otherwise: no page; so is
            // one its decoder filled up with made-up pixels.
            return strip < TIFFNumberOfStrips(m_tif) &&
                   TIFFReadEncodedStrip(m_tif, strip, into.data(), want) == want &&
                   TiffStream::faults(m_tif) == faults && deflateWhole(m_tif, strip);
        }

        // The tiles of one band laid side by side.
        bool readBand(uint32_t y0, uint32_t rows, int p, QByteArray &into)
        {
            m_tile.resize(m_tileSize);
            for (uint32_t x0 = 0; x0 < m_f.width; x0 += m_tw) {
                m_tile.fill(m_fill);
                const int faults = TiffStream::faults(m_tif);
                if (TIFFReadTile(m_tif, m_tile.data(), x0, y0, 0, uint16_t(p)) != m_tileSize ||
                    TiffStream::faults(m_tif) != faults ||
                    !deflateWhole(m_tif, TIFFComputeTile(m_tif, x0, y0, 0, uint16_t(p))))
                    return false;
                const quint64 at = quint64(x0) * m_bitsPerPixel / 8;
                const quint64 bytes = std::min<quint64>(quint64(m_tileRow), quint64(m_scan) - at);
                for (uint32_t r = 0; r < rows; ++r)
                    memcpy(into.data() + qsizetype(r) * m_scan + qsizetype(at),
                           m_tile.constData() + qsizetype(r) * m_tileRow, size_t(bytes));
            }
            return true;
        }

        TIFF *m_tif;
        const PageFacts &m_f;
        tmsize_t m_scan = 0, m_tileRow = 0, m_tileSize = 0;
        uint32_t m_tw = 0, m_th = 0, m_rows = 1;
        quint64 m_bitsPerPixel = 0;
        bool m_ok = false;
        char m_fill = 0;
        std::vector<Plane> m_planes;
        QByteArray m_tile;
    };

    // Rows as stored (strips or tiles, contiguous samples), handed to `take(row, bytes)` one by one.
    template <typename Take> static bool forEachRow(TIFF *tif, const PageFacts &f, Take take)
    {
        RowReader reader(tif, f);
        for (uint32_t y = 0; y < f.height; ++y) {
            const uchar *src = reader.row(y, 0);
            if (!src)
                return false;
            take(y, src);
        }
        return true;
    }

    // A tiled 1-bit page, tiles cleared to paper before each read. A tile layout the row reader does
    // not take goes through libtiff's RGBA reader.
    static QImage decodeTiledBilevel(TIFF *tif, const PageFacts &f)
    {
        const bool blackIsZero = f.photometric == PHOTOMETRIC_MINISBLACK;
        RowReader reader(tif, f, blackIsZero ? char(0xff) : char(0));
        if (!reader.ok())
            return decodeRgba(tif, f);
        QImage img(int(f.width), int(f.height), QImage::Format_Mono);
        if (img.isNull())
            return {};
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        const size_t bytes = (size_t(f.width) + 7) / 8;
        for (uint32_t y = 0; y < f.height; ++y) {
            const uchar *src = reader.row(y, 0);
            if (!src)
                return {};
            memcpy(img.scanLine(int(y)), src, bytes);
        }
        if (blackIsZero)
            img.invertPixels();
        return img;
    }

    // The page's colour map; empty when it has none.
    static QList<QRgb> colourMap(TIFF *tif, int bps)
    {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return {};
        const int colours = 1 << bps;
        // Some writers store 8-bit values in the 16-bit map: take them as they are then.
        bool eightBit = true;
        for (int i = 0; i < colours; ++i)
            eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const int shift = eightBit ? 0 : 8;
        QList<QRgb> table(colours);
        for (int i = 0; i < colours; ++i)
            table[i] = qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift);
        return table;
    }

    static QImage decodePalette(TIFF *tif, const PageFacts &f)
    {
        const QList<QRgb> table = colourMap(tif, f.bps);
        if (table.isEmpty())
            return {};
        const int colours = int(table.size());
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

    // Index and alpha samples (contiguous or planar) into ARGB: the map's colours, the alpha as stored
    // (a map entry is shared by pixels of any alpha, so there is nothing to unmultiply).
    static QImage decodePaletteAlpha(TIFF *tif, const PageFacts &f)
    {
        const QList<QRgb> table = colourMap(tif, f.bps);
        if (table.isEmpty())
            return {};
        QImage img(int(f.width), int(f.height), QImage::Format_ARGB32);
        if (img.isNull())
            return {};
        RowReader reader(tif, f);
        if (!reader.ok())
            return {};
        const bool planar = reader.planes() > 1;
        const int perPixel = planar ? 1 : f.spp;
        for (uint32_t y = 0; y < f.height; ++y) {
            const uchar *index = reader.row(y, 0);
            const uchar *alpha = planar ? reader.row(y, 1) : index;
            if (!index || !alpha)
                return {};
            const int at = planar ? 0 : 1;
            auto *dst = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
            for (uint32_t x = 0; x < f.width; ++x) {
                const QRgb c = table.at(index[qsizetype(x) * perPixel]);
                dst[x] = qRgba(qRed(c), qGreen(c), qBlue(c), alpha[qsizetype(x) * perPixel + at]);
            }
        }
        return img;
    }

    // Grey, RGB or CMYK of 8 or 16 bits, contiguous or planar, strips or tiles, with or without alpha:
    // read as stored (16-bit samples rounded to 8 bits), associated alpha unmultiplied at full
    // precision. libtiff's RGBA reader would premultiply, losing the colour of faint pixels.
    static QImage decodeDirect(TIFF *tif, const PageFacts &f)
    {
        QImage img(int(f.width), int(f.height), f.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (img.isNull())
            return {};
        RowReader reader(tif, f);
        if (!reader.ok())
            return {};
        const bool rgb = f.photometric == PHOTOMETRIC_RGB, cmyk = f.photometric == PHOTOMETRIC_SEPARATED;
        const int colours = cmyk ? 4 : rgb ? 3 : 1, alphaAt = colours;
        const bool planar = reader.planes() > 1, wide = f.bps == 16;
        const int perPixel = planar ? 1 : f.spp;
        const uint32_t maxValue = wide ? 65535 : 255;
        std::vector<const uchar *> rows(size_t(colours + 1));
        for (uint32_t y = 0; y < f.height; ++y) {
            for (int c = 0; c <= colours; ++c) {
                if (c == alphaAt && !f.alpha)
                    break;
                rows[size_t(c)] = reader.row(y, planar ? c : 0);
                if (!rows[size_t(c)])
                    return {};
            }
            // Sample c of pixel x, full width.
            const auto sample = [&](int c, uint32_t x) -> uint32_t {
                const qsizetype i = qsizetype(x) * perPixel + (planar ? 0 : c);
                const uchar *r = rows[size_t(c)];
                return wide ? reinterpret_cast<const uint16_t *>(r)[i] : r[i];
            };
            const auto to8 = [&](uint32_t v) { return int(wide ? (v + 128) / 257 : v); };
            auto *dst = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
            for (uint32_t x = 0; x < f.width; ++x) {
                uint32_t v[4];
                for (int c = 0; c < colours; ++c)
                    v[c] = sample(c, x);
                if (cmyk) { // inks on white paper, without a colour profile
                    const uint32_t paper = maxValue - v[3];
                    for (int c = 0; c < 3; ++c)
                        v[c] = ((maxValue - v[c]) * paper + maxValue / 2) / maxValue;
                } else if (!rgb) {
                    if (f.photometric == PHOTOMETRIC_MINISWHITE)
                        v[0] = maxValue - v[0];
                    v[1] = v[2] = v[0];
                }
                const uint32_t a = f.alpha ? sample(alphaAt, x) : maxValue;
                if (f.associated && a > 0 && a < maxValue) {
                    for (int c = 0; c < 3; ++c)
                        v[c] = (std::min(v[c], a) * maxValue + a / 2) / a;
                } else if (f.associated && a == 0) {
                    v[0] = v[1] = v[2] = 0;
                }
                dst[x] = qRgba(to8(v[0]), to8(v[1]), to8(v[2]), to8(a));
            }
        }
        return img;
    }

    static QImage decodeRgba(TIFF *tif, const PageFacts &f)
    {
        QImage img(int(f.width), int(f.height), QImage::Format_RGBA8888);
        if (img.isNull() || img.bytesPerLine() != qsizetype(f.width) * 4)
            return {};
        // White where the reader writes nothing; a strip or tile it cannot read refuses the page
        // (going on, it would show what its buffer held from the strip before).
        img.fill(Qt::white);
        auto *raster = reinterpret_cast<uint32_t *>(img.bits());
        const uint32_t striles = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        for (uint32_t i = 0; i < striles; ++i)
            if (!deflateWhole(tif, i))
                return {};
        const int faults = TiffStream::faults(tif);
        if (!TIFFReadRGBAImageOriented(tif, f.width, f.height, raster, ORIENTATION_TOPLEFT, 1) ||
            TiffStream::faults(tif) != faults)
            return {};
        // libtiff packs R in the low byte: on little-endian memory that is RGBA8888 already.
        if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
            for (quint64 i = 0, n = quint64(f.width) * f.height; i < n; ++i)
                raster[i] = qbswap(raster[i]);
        }
        if (f.isOneBit()) // a tiled bilevel page stays 1-bit
            return img.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        // Converted in place where Qt can: a large page is not held twice.
        if (!f.alpha)
            return std::move(img).convertToFormat(QImage::Format_RGB32);
        // The RGBA reader hands out colour pages premultiplied by alpha (it multiplies unassociated
        // alpha itself; grey pages it passes as stored): pages are kept straight.
        if (f.photometric != PHOTOMETRIC_MINISBLACK && f.photometric != PHOTOMETRIC_MINISWHITE ? true
                                                                                                : f.associated)
            img.reinterpretAsFormat(QImage::Format_RGBA8888_Premultiplied);
        return std::move(img).convertToFormat(QImage::Format_ARGB32);
    }

    QByteArray m_data;
    QList<quint64> m_offsets;
    std::unique_ptr<TiffStream> m_stream;
    int m_selected = -1; // no directory is read on opening
};

// The pages among directories first..last. A directory libtiff cannot read, one without a size or one
// larger than any page read here is no page: it is left out and counted, never shown as a page of no
// size or one that no decoder takes. Only the first page and the directories the quick check cannot
// judge are read by libtiff, so opening a long fax costs no more than its first page.
struct PageScan
{
    QList<int> indices;     // directories that are pages
    QList<QSize> sizes;     // their sizes, from libtiff or the quick check
    QList<bool> checked;    // read by libtiff already (the first page always)
    QList<PageFacts> facts; // libtiff's facts of the checked ones
    QList<int> skipped; // directories that are no page
    ImgXError oversized; // the first directory beyond the page limit
};

PageScan scanPages(const QByteArray &data, const QList<quint64> &offsets, TiffPageSource &source, int first,
                   int last)
{
    PageScan scan;
    int i = first;
    auto notPage = [&scan, &i](uint32_t w, uint32_t h) {
        if (w > 0 && h > 0 && !scan.oversized.isError())
            scan.oversized = ImgXPageLimit::refused(w, h);
        scan.skipped.append(i);
    };
    for (; i <= last; ++i) {
        uint32_t w = 0, h = 0;
        const Quick quick = quickCheck(data, offsets.at(i), &w, &h);
        if (quick == Quick::NotPage) {
            notPage(w, h);
            continue;
        }
        const bool needed = scan.indices.isEmpty() || quick == Quick::Ask;
        PageFacts f;
        if (needed) {
            f = source.facts(i);
            if (!isPage(f)) {
                notPage(f.width, f.height);
                continue;
            }
            w = f.width;
            h = f.height;
        }
        scan.indices.append(i);
        scan.facts.append(f);
        scan.sizes.append(QSize(int(w), int(h)));
        scan.checked.append(needed);
    }
    return scan;
}

} // namespace

namespace TiffCodec {

bool hasSignature(const QByteArray &head)
{
    return head.startsWith(QByteArrayView("II*\0", 4)) || head.startsWith(QByteArrayView("MM\0*", 4)) ||
           head.startsWith(QByteArrayView("II+\0", 4)) || head.startsWith(QByteArrayView("MM\0+", 4));
}

bool readPages(const QString &fileName, const QByteArray &data, int onlyPage, QList<ImgXImage> *pages,
               ImgXError *error, QList<int> *unreadable, bool *loops)
{
    if (unreadable)
        unreadable->clear();
    bool broken = false, looped = false;
    QList<quint64> offsets = directoryOffsets(data, &broken, &looped);
    if (loops)
        *loops = looped;
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
    const PageScan scan = scanPages(data, offsets, *source, first, last);
    if (unreadable)
        *unreadable = scan.skipped;
    if (scan.indices.isEmpty()) {
        *error = scan.oversized.isError()
                     ? scan.oversized
                     : corrupt(onlyPage < 0 ? u"no page can be read"_s
                                            : u"page %1 cannot be read"_s.arg(onlyPage + 1));
        return false;
    }
    pages->reserve(scan.indices.size());
    for (qsizetype k = 0; k < scan.indices.size(); ++k) {
        const int i = scan.indices.at(k);
        ImgXImage page;
        ImgXImage::Data &d = ImgXPageSource::data(page);
        d.source = source;
        d.sourceIndex = i;
        d.formatCode = imgTIF;
        d.fileName = fileName;
        d.page = i;
        if (scan.checked.at(k)) {
            TiffPageSource::fill(scan.facts.at(k), d);
        } else {
            // The rest of the facts come from libtiff when first asked for.
            d.size = scan.sizes.at(k);
            d.headerPending = true;
        }
        pages->append(page);
    }
    return true;
}

bool info(const QByteArray &data, ImgXFileInfo *info)
{
    bool broken = false, looped = false;
    const QList<quint64> offsets = directoryOffsets(data, &broken, &looped);
    TiffPageSource source(data, offsets);
    if (!source.isOpen() || offsets.isEmpty() || broken) { // the same files importFile refuses
        info->error = corrupt(source.openError());
        return false;
    }
    // Pages are counted as importFile counts them.
    const PageScan scan = scanPages(data, offsets, source, 0, int(offsets.size()) - 1);
    if (scan.indices.isEmpty()) {
        info->error = scan.oversized.isError() ? scan.oversized : corrupt(u"no page can be read"_s);
        return false;
    }
    const PageFacts &f = scan.facts.first();
    info->format = imgTIF;
    info->pageCount = int(scan.indices.size());
    info->size = QSize(int(std::min<uint32_t>(f.width, INT_MAX)), int(std::min<uint32_t>(f.height, INT_MAX)));
    info->xResolution = int(std::lround(f.xDpi));
    info->yResolution = int(std::lround(f.yDpi));
    info->bitsPerPixel = int(std::min<quint64>(quint64(f.bps) * f.spp, INT_MAX)); // hostile tags may claim any
    info->tiffCompression = f.compression;
    info->chainLoops = looped;
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
