#include "FormatCodecs.h"
#include "DamageProbes.h"
#include "ImgXPageSource.h"
#include "PsdCodec.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#ifdef QUORIN_HAVE_GRAPHICSMAGICK
#include <Magick++.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr double InchesPerMetre = 39.37007874015748;

QByteArray qtName(ImgFileType format)
{
    switch (format) {
    case imgJPG:
        return "jpeg";
    case imgPNG:
        return "png";
    case imgBMP:
        return "bmp";
    case imgGIF:
        return "gif";
    case imgWBMP:
        return "wbmp";
    case imgTGA:
        return "tga";
    default:
        return {};
    }
}

ImgFileType fromQtName(const QByteArray &name)
{
    const QByteArray n = name.toLower();
    if (n == "jpeg" || n == "jpg")
        return imgJPG;
    if (n == "png")
        return imgPNG;
    if (n == "bmp")
        return imgBMP;
    if (n == "gif")
        return imgGIF;
    if (n == "wbmp")
        return imgWBMP;
    if (n == "tga")
        return imgTGA;
    return imgUnknown;
}

bool qtReads(ImgFileType format)
{
    const QByteArray n = qtName(format);
    return !n.isEmpty() && QImageReader::supportedImageFormats().contains(n);
}

bool qtWrites(ImgFileType format)
{
    // GIF is read only here; TGA is written by GraphicsMagick (Qt cannot write it); WBMP by our own
    // writer (Qt's drops the zero groups of sizes that are multiples of 128).
    if (format == imgGIF || format == imgTGA || format == imgWBMP)
        return false;
    const QByteArray n = qtName(format);
    return !n.isEmpty() && QImageWriter::supportedImageFormats().contains(n);
}

#ifdef QUORIN_HAVE_GRAPHICSMAGICK
void initMagick()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        // Pictures larger than any page are refused by the reader itself, before it allocates.
        MagickLib::SetMagickResourceLimit(MagickLib::WidthResource, ImgXPageLimit::MaxSide);
        MagickLib::SetMagickResourceLimit(MagickLib::HeightResource, ImgXPageLimit::MaxSide);
        MagickLib::SetMagickResourceLimit(MagickLib::PixelsResource, ImgXPageLimit::MaxPixels);
    });
}

std::string magickName(ImgFileType format)
{
    switch (format) {
    case imgPCX:
        return "PCX";
    case imgPSD:
        return "PSD";
    case imgTGA:
        return "TGA";
    case imgWMF:
        return "WMF";
    case imgPNG:
        return "PNG";
    default:
        return {};
    }
}

bool magickCan(ImgFileType format, bool write)
{
    // What goes through GraphicsMagick: PCX, TGA (writing, and reading what Qt cannot) and WMF reading.
    // PSD has its own codec: the GraphicsMagick build here has no PSD coder.
    // PNG is written through it only when interlaced (Qt cannot).
    if (format != imgPCX && format != imgTGA && !(format == imgWMF && !write) && !(format == imgPNG && write))
        return false;
    initMagick();
    try {
        Magick::CoderInfo info(magickName(format));
        return write ? info.isWritable() : info.isReadable();
    } catch (const std::exception &) {
        return false;
    }
}
#else
bool magickCan(ImgFileType, bool)
{
    return false;
}
#endif

// Formats without a dependable signature, recognised by content where possible.
ImgFileType sniffOthers(const QString &fileName, const QByteArray &d)
{
    const auto u = [&](int i) { return i < d.size() ? uchar(d.at(i)) : 0; };
    if (d.startsWith("8BPS"))
        return imgPSD;
    if (d.size() >= 44 && u(0) == 1 && u(1) == 0 && u(2) == 0 && u(3) == 0 && d.mid(40, 4) == " EMF")
        return imgEMF;
    if (u(0) == 0xD7 && u(1) == 0xCD && u(2) == 0xC6 && u(3) == 0x9A)
        return imgWMF;
    const ImgFileType byName = ImgFileTypes::fromFileName(fileName);
    if (byName == imgWMF && (u(0) == 1 || u(0) == 2) && u(1) == 0 && u(2) == 9 && u(3) == 0)
        return imgWMF;
    if (d.size() >= 128 && u(0) == 0x0A && u(1) <= 5 && u(2) <= 1 &&
        (u(3) == 1 || u(3) == 2 || u(3) == 4 || u(3) == 8))
        return imgPCX;
    return imgUnknown;
}

// Rows of an uncompressed BMP that its file holds whole: Qt's reader stops at the end of a file cut
// short and leaves the rows it did not read as the memory held them. -1 for a BMP it reads whole
// (or one compressed, which it clears first).
struct BmpRows
{
    int present = -1; // rows the file holds
    bool bottomUp = true;
};
BmpRows bmpRowsPresent(const QByteArray &data)
{
    BmpRows rows;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    if (data.size() < 26 || !data.startsWith("BM"))
        return rows;
    const quint32 offset = qFromLittleEndian<quint32>(p + 10), header = qFromLittleEndian<quint32>(p + 14);
    qint64 width = 0, height = 0, bits = 0, compression = 0;
    if (header == 12) {
        width = qFromLittleEndian<quint16>(p + 18);
        height = qFromLittleEndian<quint16>(p + 20);
        bits = qFromLittleEndian<quint16>(p + 24);
    } else if (header >= 40 && data.size() >= 34) {
        width = qFromLittleEndian<qint32>(p + 18);
        height = qFromLittleEndian<qint32>(p + 22);
        bits = qFromLittleEndian<quint16>(p + 28);
        compression = qFromLittleEndian<quint32>(p + 30);
    }
    // BI_RGB, BI_BITFIELDS and BI_ALPHABITFIELDS store rows as they are.
    if (width <= 0 || height == 0 || bits <= 0 || !(compression == 0 || compression == 3 || compression == 6))
        return rows;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    const qint64 available = std::max<qint64>(0, qint64(data.size()) - qint64(offset));
    rows.bottomUp = height > 0;
    if (available / rowBytes < std::abs(height))
        rows.present = int(available / rowBytes);
    return rows;
}

// The colour table of a BMP of 1, 4 or 8 bits a pixel with a header of 40 bytes or more: how many
// entries it holds. An index has 2^bits values, so a larger biClrUsed names entries no pixel can use;
// the table ends where the pixels begin, so what lies past bfOffBits is no colour. Indices past the
// table show black. entries is -1 for any other BMP.
struct BmpTable
{
    int entries = -1;
    quint32 claimed = 0; // biClrUsed as the file has it
};
BmpTable bmpTable(const QByteArray &data)
{
    BmpTable t;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    if (data.size() < 54 || !data.startsWith("BM"))
        return t;
    const quint32 offset = qFromLittleEndian<quint32>(p + 10), header = qFromLittleEndian<quint32>(p + 14);
    const int bits = qFromLittleEndian<quint16>(p + 28);
    if (header < 40 || header > quint32(data.size()) - 14 || !(bits == 1 || bits == 4 || bits == 8))
        return t;
    const quint32 at = 14 + header;
    t.claimed = qFromLittleEndian<quint32>(p + 46);
    quint32 entries = t.claimed == 0 || t.claimed > (1u << bits) ? 1u << bits : t.claimed;
    if (offset >= at)
        entries = std::min(entries, (offset - at) / 4);
    t.entries = int(entries);
    return t;
}

// The BMP as Qt's reader gets it: a biClrUsed of no more than the entries the table holds (at least
// one, as that reader wants), so it neither refuses a hostile count nor takes pixels for colours.
QByteArray bmpForQt(const QByteArray &data, const BmpTable &table)
{
    if (table.entries < 0 || table.claimed == quint32(std::max(table.entries, 1)))
        return data;
    QByteArray copy = data;
    qToLittleEndian<quint32>(quint32(std::max(table.entries, 1)), copy.data() + 46);
    return copy;
}

quint32 crc32(const char *bytes, qsizetype size)
{
    quint32 c = 0xffffffffu;
    for (qsizetype i = 0; i < size; ++i) {
        c ^= uchar(bytes[i]);
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

// A palette PNG as Qt's reader gets it: a PLTE shorter than the bit depth can index is filled up with
// black, and *entries tells how many it had. Qt's reader gives an index past the table the colour of
// entry 0 (and a 1-bit picture white); here it is black, as in every palette picture.
QByteArray pngForQt(const QByteArray &data, int *entries)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    if (!data.startsWith("\x89PNG\r\n\x1a\n"))
        return data;
    int depth = 0;
    for (qint64 at = 8; at + 12 <= data.size();) {
        const qint64 length = qFromBigEndian<quint32>(p + at);
        if (length > data.size() - at - 12)
            break;
        const QByteArray type = data.mid(at + 4, 4);
        if (type == "IHDR" && length >= 13 && p[at + 8 + 9] == 3)
            depth = p[at + 8 + 8];
        if (type == "PLTE" && depth >= 1 && depth <= 8 && length % 3 == 0 && length > 0 &&
            length / 3 < (1 << depth)) {
            *entries = int(length / 3);
            QByteArray chunk = data.mid(at + 4, 4 + length);
            chunk.append(QByteArray(3 * (1 << depth) - length, '\0'));
            QByteArray out = data.left(at);
            uchar be[4];
            qToBigEndian<quint32>(quint32(chunk.size() - 4), be);
            out.append(reinterpret_cast<const char *>(be), 4).append(chunk);
            qToBigEndian<quint32>(crc32(chunk.constData(), chunk.size()), be);
            out.append(reinterpret_cast<const char *>(be), 4).append(data.mid(at + 12 + length));
            return out;
        }
        if (type == "IDAT" || type == "IEND")
            break;
        at += 12 + length;
    }
    return data;
}

// A GIF as Qt's reader gets it: its global and local colour tables filled up to 256 entries with black,
// so an index past a table is black (Qt's reader shows it white) as in every palette picture. A file
// whose blocks do not walk through is left as it is from there on.
QByteArray gifForQt(const QByteArray &data)
{
    if (data.size() < 13 || !(data.startsWith("GIF87a") || data.startsWith("GIF89a")))
        return data;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    QByteArray out;
    qint64 at = 0;
    // The table that follows the flags byte out[flags], if that says there is one, made 256 entries.
    const auto table = [&](qsizetype flags) {
        const uchar f = uchar(out.at(flags));
        if (!(f & 0x80))
            return true;
        const qint64 size = 3 * (qint64(2) << (f & 7));
        if (size > data.size() - at)
            return false;
        out[flags] = char(f | 7);
        out.append(data.mid(at, size)).append(QByteArray(3 * 256 - size, '\0'));
        at += size;
        return true;
    };
    const auto subBlocks = [&] {
        while (at < data.size()) {
            const int n = p[at];
            if (n + 1 > data.size() - at)
                return false;
            out.append(data.mid(at, n + 1));
            at += n + 1;
            if (n == 0)
                return true;
        }
        return false;
    };
    out = data.left(13);
    at = 13;
    bool whole = table(10);
    while (whole && at < data.size() && p[at] != 0x3b) {
        if (p[at] == 0x21 && at + 2 <= data.size()) {
            out.append(data.mid(at, 2));
            at += 2;
            whole = subBlocks();
        } else if (p[at] == 0x2c && at + 10 <= data.size()) {
            out.append(data.mid(at, 10));
            at += 10;
            whole = table(out.size() - 1) && at < data.size();
            if (whole) {
                out.append(data.at(at++)); // LZW code size
                whole = subBlocks();
            }
        } else {
            whole = false;
        }
    }
    return out + data.mid(at);
}

// The colour table of a palette picture as Qt read it, cut to the `entries` its file holds (none cut
// for -1); a 1-bit picture whose table holds fewer than two (Qt's reader makes the missing one white)
// gets black for them.
QImage withTable(QImage img, int entries)
{
    if (entries < 0 || !(img.format() == QImage::Format_Mono || img.format() == QImage::Format_Indexed8))
        return img;
    QList<QRgb> colours = img.colorTable();
    colours.resize(std::min<qsizetype>(colours.size(), entries));
    if (img.format() == QImage::Format_Mono)
        colours.resize(2, qRgb(0, 0, 0));
    img.setColorTable(colours);
    // Indices past the table get their black entries here, before any row is made white.
    return normalisedPageImage(img);
}

// Rows first..last of a picture made white (a palette picture gets a white entry if it has none).
QImage whitened(QImage img, int first, int last)
{
    if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_MonoLSB ||
        img.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = img.colorTable();
        qsizetype white = table.indexOf(qRgb(255, 255, 255));
        if (white < 0 && img.format() != QImage::Format_Indexed8) {
            img = img.convertToFormat(QImage::Format_Indexed8);
            table = img.colorTable();
        }
        if (white < 0 && table.size() < 256) {
            white = table.size();
            table.append(qRgb(255, 255, 255));
            img.setColorTable(table);
        }
        if (white >= 0) {
            const bool bits = img.depth() == 1;
            for (int y = first; y <= last; ++y)
                std::memset(img.scanLine(y), bits ? (white ? 0xff : 0) : int(white),
                            size_t(img.bytesPerLine()));
            return img;
        }
    }
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = first; y <= last; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        std::fill(line, line + img.width(), qRgb(255, 255, 255));
    }
    return img;
}

// An RLE8 or RLE4 BMP, read here: Qt's reader leaves what the codes skip (a delta, a row ended
// early) and what a file cut short does not reach as the memory held them. Those pixels are white
// here (an entry added to the palette); a stream that ends before its end-of-bitmap code makes the
// picture damaged. False with *error for a header this does not take.
bool readBmpRle(const QByteArray &data, QImage *out, ImgXError *damage)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 54 || qFromLittleEndian<quint32>(p + 14) < 40)
        return false;
    const quint32 offset = qFromLittleEndian<quint32>(p + 10), header = qFromLittleEndian<quint32>(p + 14);
    const qint32 width = qFromLittleEndian<qint32>(p + 18), height = qFromLittleEndian<qint32>(p + 22);
    const int bits = qFromLittleEndian<quint16>(p + 28);
    const quint32 compression = qFromLittleEndian<quint32>(p + 30);
    if (!((compression == 1 && bits == 8) || (compression == 2 && bits == 4)) || height <= 0 ||
        !ImgXPageLimit::fits(width, height) || header > size - 14)
        return false;
    const int colours = bmpTable(data).entries;
    QList<QRgb> table;
    for (int i = 0; i < colours && 14 + header + 4 * quint64(i) + 4 <= quint64(size); ++i) {
        const uchar *c = p + 14 + header + 4 * i;
        table.append(qRgb(c[2], c[1], c[0]));
    }
    QImage img(width, height, QImage::Format_Indexed8);
    QByteArray written(qsizetype(width) * height, '\0');
    if (img.isNull() || written.isNull())
        return false;
    img.fill(0);
    img.setDotsPerMeterX(qFromLittleEndian<qint32>(p + 38));
    img.setDotsPerMeterY(qFromLittleEndian<qint32>(p + 42));
    qint64 at = offset;
    int x = 0, y = 0, used = 0; // y counts rows from the bottom
    int strayRow = -1; // the first row a code runs past (an RLE4 row of odd width may pad one pixel)
    const int rowEnd = width + (bits == 4 ? width % 2 : 0);
    const auto put = [&](int index) {
        if (x >= rowEnd && strayRow < 0)
            strayRow = y;
        if (x < width && y < height) {
            img.scanLine(height - 1 - y)[x] = uchar(index);
            written[qsizetype(height - 1 - y) * width + x] = 1;
            used = std::max(used, index + 1);
        }
        ++x;
    };
    bool ended = false;
    while (!ended && y < height && at + 2 <= size) {
        const int count = p[at], value = p[at + 1];
        at += 2;
        if (count > 0) { // a run: one index, or two alternating for RLE4
            for (int i = 0; i < count; ++i)
                put(bits == 8 ? value : (i % 2 ? value & 0x0f : value >> 4));
        } else if (value == 0) { // end of the row
            x = 0;
            ++y;
        } else if (value == 1) {
            ended = true;
        } else if (value == 2) { // delta: the pixels jumped over stay white
            if (at + 2 > size)
                break;
            x += p[at];
            y += p[at + 1];
            at += 2;
            if ((x > width || y > height) && strayRow < 0)
                strayRow = y - p[at - 1];
        } else { // `value` indices as they are, padded to a whole word
            const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
            if (at + bytes > size)
                break;
            for (int i = 0; i < value; ++i)
                put(bits == 8 ? p[at + i] : (i % 2 ? p[at + i / 2] & 0x0f : p[at + i / 2] >> 4));
            at += (bytes + 1) / 2 * 2;
        }
    }
    if (!ended && y < height)
        *damage =
            ImgXError::make(ImgXErrorCode::CorruptImage,
                            u"The file is cut short: the picture's rows from row %1 on are left white"_s.arg(
                                height - std::min(y, height - 1)));
    // Codes that run out of their row are damage: the rows from there on are no longer the file's.
    if (strayRow >= 0 && strayRow < height) {
        for (qsizetype i = 0; i < qsizetype(height - strayRow) * width; ++i)
            written[i] = 0;
        *damage = ImgXError::make(
            ImgXErrorCode::CorruptImage,
            u"The picture's codes run past the end of a row: its top %1 rows are left white"_s.arg(height - strayRow));
    }
    // An index past the table shows black, as Qt draws it; pixels no code reached are white.
    table.resize(std::max<qsizetype>(table.size(), used), qRgb(0, 0, 0));
    img.setColorTable(table);
    if (written.contains('\0')) {
        qsizetype paper = table.indexOf(qRgb(255, 255, 255));
        if (paper < 0 && table.size() < 256) {
            paper = table.size();
            table.append(qRgb(255, 255, 255));
            img.setColorTable(table);
        }
        if (paper < 0) // a full table without white
            img = img.convertToFormat(QImage::Format_RGB32);
        for (int row = 0; row < height; ++row) {
            for (int col = 0; col < width; ++col) {
                if (written.at(qsizetype(row) * width + col))
                    continue;
                if (paper < 0)
                    reinterpret_cast<QRgb *>(img.scanLine(row))[col] = qRgb(255, 255, 255);
                else
                    img.scanLine(row)[col] = uchar(paper);
            }
        }
    }
    *out = img;
    return true;
}

// The rows of a BMP cut short that Qt's reader never wrote, set to index or colour 0 before any of
// its pixels is looked at (they are made white once the table is settled).
QImage withRowsMissingCleared(QImage img, const QByteArray &data, ImgFileType format)
{
    const BmpRows rows = format == imgBMP ? bmpRowsPresent(data) : BmpRows();
    if (img.isNull() || rows.present < 0)
        return img;
    const int h = img.height(), missing = h - std::min(rows.present, h);
    for (int i = 0; i < missing; ++i)
        std::memset(img.scanLine(rows.bottomUp ? i : h - 1 - i), 0, size_t(img.bytesPerLine()));
    return img;
}

// Qt's GIF and JPEG readers make up what their file does not give (a GIF cut short, a JPEG whose
// data is cut or corrupt) and call the picture good: those rows are made white here and the picture
// damaged. False, with *damage telling why, when no row of it is given.
bool madeUpRowsWhite(const QByteArray &data, ImgFileType format, QImage *img, ImgXError *damage)
{
    const int h = img->height();
    if (format == imgGIF) {
        const DamageProbes::GifFrame frame = DamageProbes::gifFirstFrame(data);
        if (!frame.found || frame.whole())
            return true;
        int lost = 0, first = -1;
        for (int row = 0; row < frame.height; ++row) {
            const int y = frame.top + row;
            if (frame.rowWhole(row) || y >= h)
                continue;
            *img = whitened(*img, y, y);
            first = first < 0 ? y : first;
            ++lost;
        }
        *damage = ImgXError::make(
            ImgXErrorCode::CorruptImage,
            lost == std::min(frame.height, h - frame.top)
                ? u"the picture's data is cut short or damaged before its first row"_s
                : u"The picture's data is cut short or damaged: %1 of its %2 rows (the first is row %3) are left white"_s
                      .arg(lost)
                      .arg(frame.height)
                      .arg(first + 1));
        return lost < std::min(frame.height, h - frame.top) || lost == 0;
    }
    const DamageProbes::JpegRows rows = DamageProbes::jpegRows(data);
    const int whole = rows.wholeRows;
    if (!rows.damaged || whole < 0)
        return true;
    if (whole >= h) { // no row to tell: each holds what was read of it, made up or not
        *damage = ImgXError::make(ImgXErrorCode::CorruptImage,
                                  u"The picture's data is cut short or damaged (where, its file does not tell)"_s);
        return true;
    }
    if (whole == 0) {
        *damage = ImgXError::make(ImgXErrorCode::CorruptImage,
                                  u"the picture's data is cut short or damaged before its first row"_s);
        return false;
    }
    *img = whitened(*img, whole, h - 1);
    *damage = ImgXError::make(
        ImgXErrorCode::CorruptImage,
        u"The picture's data is cut short or damaged: %1 of its %2 rows (the first is row %3) are left white"_s
            .arg(h - whole)
            .arg(h)
            .arg(whole + 1));
    return true;
}

bool readQt(const QString &fileName, const QByteArray &data, ImgFileType format, ImgXImage *page,
            ImgXError *error)
{
    // Palette tables Qt's reader would cut or fill its own way go to it whole; `entries` are the file's.
    int entries = -1;
    QByteArray forQt = data;
    if (format == imgBMP) {
        const BmpTable bmp = bmpTable(data);
        entries = bmp.entries;
        forQt = bmpForQt(data, bmp);
    } else if (format == imgPNG) {
        forQt = pngForQt(data, &entries);
    } else if (format == imgGIF) {
        forQt = gifForQt(data);
    }
    QBuffer buffer;
    buffer.setData(forQt);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtName(format));
    // The size the header claims is checked before any pixel is allocated.
    const QSize claimed = reader.size();
    if (claimed.isValid() && !ImgXPageLimit::fits(claimed.width(), claimed.height())) {
        *error = ImgXPageLimit::refused(claimed.width(), claimed.height());
        return false;
    }
    ImgXError damage;
    QImage img;
    if (format != imgBMP || !readBmpRle(data, &img, &damage))
        img = withTable(withRowsMissingCleared(reader.read(), data, format), entries);
    if (img.isNull()) {
        *error = ImgXError::make(ImgXErrorCode::CorruptImage,
                                 u"Cannot read %1: %2"_s.arg(fileName, reader.errorString()));
        return false;
    }
    // And the picture made: a GIF's header gives its first frame, the picture is its whole screen.
    if (!ImgXPageLimit::fits(img.width(), img.height())) {
        *error = ImgXPageLimit::refused(img.width(), img.height());
        return false;
    }
    const double xDpi = ImgXResolution::orDefault(std::round(img.dotsPerMeterX() / InchesPerMetre));
    const double yDpi = ImgXResolution::orDefault(std::round(img.dotsPerMeterY() / InchesPerMetre));
    if (const BmpRows rows = format == imgBMP ? bmpRowsPresent(data) : BmpRows(); rows.present >= 0) {
        const int h = img.height(), missing = h - std::min(rows.present, h);
        if (missing == h) {
            *error = ImgXError::make(
                ImgXErrorCode::CorruptImage,
                u"Cannot read %1: the file is cut short before its first row"_s.arg(fileName));
            return false;
        }
        img = rows.bottomUp ? whitened(img, 0, missing - 1) : whitened(img, h - missing, h - 1);
        damage = ImgXError::make(
            ImgXErrorCode::CorruptImage,
            u"The file is cut short: %1 of the picture's %2 rows are missing and are left white"_s
                .arg(missing)
                .arg(h));
    }
    if ((format == imgGIF || format == imgJPG) && !madeUpRowsWhite(data, format, &img, &damage)) {
        *error = ImgXError::make(ImgXErrorCode::CorruptImage,
                                 u"Cannot read %1: %2"_s.arg(fileName, damage.description));
        return false;
    }
    *page = ImgXImage(img, xDpi, yDpi);
    ImgXPageSource::data(*page).damage = damage;
    return true;
}

#ifdef QUORIN_HAVE_GRAPHICSMAGICK
bool readMagick(const QString &fileName, const QByteArray &data, ImgFileType format, ImgXImage *page,
                ImgXError *error)
{
    initMagick();
    try {
        Magick::Blob blob(data.constData(), size_t(data.size()));
        Magick::Image im;
        im.magick(magickName(format));
        im.read(blob);
        const unsigned w = im.columns(), h = im.rows();
        if (!ImgXPageLimit::fits(qint64(w), qint64(h))) {
            *error = ImgXPageLimit::refused(w, h);
            return false;
        }
        QImage img(int(w), int(h), QImage::Format_RGBA8888);
        if (img.isNull() || img.bytesPerLine() != qsizetype(w) * 4)
            throw std::runtime_error("out of memory");
        im.write(0, 0, w, h, "RGBA", Magick::CharPixel, img.bits());
        double xr = im.xResolution(), yr = im.yResolution();
        if (im.resolutionUnits() == Magick::PixelsPerCentimeterResolution) {
            xr *= 2.54;
            yr *= 2.54;
        }
        img = img.convertToFormat(im.matte() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        *page = ImgXImage(img, ImgXResolution::orDefault(std::round(xr)),
                          ImgXResolution::orDefault(std::round(yr)));
        if ((format == imgPCX && !DamageProbes::pcxRunsWhole(data)) ||
            (format == imgTGA && !DamageProbes::tgaRunsWhole(data)))
            ImgXPageSource::data(*page).damage = ImgXError::make(
                ImgXErrorCode::CorruptImage,
                u"The picture's data is damaged: its runs do not give its rows (where, its file does not tell)"_s);
        return true;
    } catch (const std::exception &e) {
        *error = ImgXError::make(ImgXErrorCode::CorruptImage,
                                 u"Cannot read %1: %2"_s.arg(fileName, QString::fromLocal8Bit(e.what())));
        return false;
    }
}

bool writeMagick(const ImgXImage &page, ImgFileType format, const ImgXExportOptions &options, QByteArray *out,
                 ImgXError *error)
{
    initMagick();
    try {
        // PCX holds no alpha here: transparent parts go on white paper.
        const QImage source =
            format == imgTGA || format == imgPNG ? page.image() : flattenedOnWhite(page.image());
        const bool alpha = source.hasAlphaChannel();
        const QImage img = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        // Rows of a QImage are padded; GraphicsMagick wants them packed.
        const int bpp = alpha ? 4 : 3;
        QByteArray packed(qsizetype(img.width()) * img.height() * bpp, Qt::Uninitialized);
        for (int y = 0; y < img.height(); ++y)
            memcpy(packed.data() + qsizetype(y) * img.width() * bpp, img.constScanLine(y),
                   size_t(img.width()) * bpp);
        Magick::Image im(unsigned(img.width()), unsigned(img.height()), alpha ? "RGBA" : "RGB",
                         Magick::CharPixel, packed.constData());
        if (format == imgTGA)
            im.compressType(Magick::NoCompression);
        if (format == imgPNG && options.pngInterlaced)
            im.interlaceType(Magick::LineInterlace); // Adam7
        im.resolutionUnits(Magick::PixelsPerInchResolution);
        im.density(Magick::Geometry(unsigned(page.xResolution()), unsigned(page.yResolution())));
        Magick::Blob blob;
        im.write(&blob, magickName(format));
        *out = QByteArray(static_cast<const char *>(blob.data()), qsizetype(blob.length()));
        if (format == imgTGA && !out->isEmpty()) {
            // A TGA 2.0 footer (no extension area): readers that insist on 2.0, Qt's among them, take it.
            out->append(QByteArray(8, '\0'));
            out->append("TRUEVISION-XFILE.", 17);
            out->append('\0');
        }
        return !out->isEmpty();
    } catch (const std::exception &e) {
        *error = ImgXError::make(ImgXErrorCode::WriteFailed, QString::fromLocal8Bit(e.what()));
        return false;
    }
}
#endif

bool writeQt(const ImgXImage &page, ImgFileType format, const ImgXExportOptions &options, QByteArray *out,
             ImgXError *error)
{
    QImage img = page.image();
    if (format == imgJPG && img.format() == QImage::Format_Mono)
        img = img.convertToFormat(QImage::Format_Grayscale8);
    // JPEG and BMP hold no alpha here: transparent parts go on white paper, not in their hidden colour.
    if ((format == imgJPG || format == imgBMP) && img.hasAlphaChannel())
        img = flattenedOnWhite(img);
    img.setDotsPerMeterX(int(std::lround(page.xDpi() * InchesPerMetre)));
    img.setDotsPerMeterY(int(std::lround(page.yDpi() * InchesPerMetre)));
    QBuffer buffer(out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, qtName(format));
    if (format == imgJPG) {
        writer.setQuality(std::clamp(options.jpgQuality, 0, 100));
        writer.setProgressiveScanWrite(options.jpgProgressive);
    }
    if (!writer.write(img)) {
        *error = ImgXError::make(ImgXErrorCode::WriteFailed, writer.errorString());
        return false;
    }
    return true;
}

// The page as at most 256 palette entries and one index a pixel; false for a page of more colours.
bool asPalette(const QImage &page, QImage *out)
{
    const QImage img = flattenedOnWhite(page);
    if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_Indexed8 ||
        img.format() == QImage::Format_Grayscale8) {
        *out = img.convertToFormat(QImage::Format_Indexed8);
        return !out->isNull();
    }
    const QImage rgb = img.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> index;
    QList<QRgb> table;
    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    if (indexed.isNull())
        return false;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *o = indexed.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            auto it = index.constFind(in[x]);
            if (it == index.constEnd()) {
                if (table.size() == 256)
                    return false;
                it = index.insert(in[x], int(table.size()));
                table.append(in[x]);
            }
            o[x] = uchar(*it);
        }
    }
    indexed.setColorTable(table);
    *out = indexed;
    return true;
}

// One row as RLE8: runs of one index as (count, index), stretches of different indices of three or
// more in absolute mode (0, count, indices, padded to a word), then the end of the line.
void rle8Row(const uchar *row, int width, QByteArray *out)
{
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && run < 255 && row[x + run] == row[x])
            ++run;
        if (run >= 2) {
            out->append(char(run)).append(char(row[x]));
            x += run;
            continue;
        }
        // A stretch without repeats, up to the next pair of equal indices.
        int n = 1;
        while (x + n < width && n < 255 && !(x + n + 1 < width && row[x + n] == row[x + n + 1]))
            ++n;
        if (n < 3) {
            for (int i = 0; i < n; ++i)
                out->append(char(1)).append(char(row[x + i]));
        } else {
            out->append(char(0)).append(char(n)).append(reinterpret_cast<const char *>(row + x), n);
            if (n & 1)
                out->append(char(0));
        }
        x += n;
    }
    out->append(char(0)).append(char(0));
}

// BMP with RLE8 compression (bottom-up, as RLE requires), for a page of at most 256 colours.
bool writeBmpRle(const ImgXImage &page, QImage palettePage, QByteArray *out)
{
    const QList<QRgb> table = palettePage.colorTable();
    QByteArray bits;
    for (int y = palettePage.height() - 1; y >= 0; --y)
        rle8Row(palettePage.constScanLine(y), palettePage.width(), &bits);
    bits.append(char(0)).append(char(1)); // end of bitmap
    const quint32 offset = 14 + 40 + quint32(table.size()) * 4;
    const auto le16 = [out](quint32 v) { out->append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    const auto le32 = [&](quint32 v) { le16(v & 0xffff), le16(v >> 16); };
    out->clear();
    out->append("BM", 2);
    le32(offset + quint32(bits.size()));
    le32(0);
    le32(offset);
    le32(40);
    le32(quint32(palettePage.width()));
    le32(quint32(palettePage.height()));
    le16(1);
    le16(8);
    le32(1); // BI_RLE8
    le32(quint32(bits.size()));
    le32(quint32(std::lround(page.xDpi() * InchesPerMetre)));
    le32(quint32(std::lround(page.yDpi() * InchesPerMetre)));
    le32(quint32(table.size()));
    le32(0);
    for (const QRgb c : table)
        out->append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    out->append(bits);
    return true;
}

// WBMP type 0: a multi-byte integer type and header, width, height, then rows of bits (1 = white),
// each row padded to a whole byte. A multi-byte integer is its 7-bit groups, most significant first,
// every group but the last with the top bit set; zero groups inside are kept (640 = 0x85 0x00).
QByteArray wbmpInteger(quint32 value)
{
    QByteArray out(1, char(value & 0x7f));
    for (value >>= 7; value; value >>= 7)
        out.prepend(char(0x80 | (value & 0x7f)));
    return out;
}

bool writeWbmp(const ImgXImage &page, QByteArray *out, ImgXError *error)
{
    QImage img = page.image();
    if (img.format() != QImage::Format_Mono)
        img = normalisedPageImage(
            flattenedOnWhite(img).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
    if (img.isNull()) {
        *error = ImgXError::make(ImgXErrorCode::WriteFailed, u"Out of memory while writing WBMP"_s);
        return false;
    }
    const int w = img.width(), h = img.height(), rowBytes = (w + 7) / 8;
    out->clear();
    out->reserve(qsizetype(rowBytes) * h + 12);
    out->append('\0').append('\0').append(wbmpInteger(quint32(w))).append(wbmpInteger(quint32(h)));
    // Index 1 of a bilevel page is black, a set WBMP bit is white; padding bits stay white.
    const uchar lastMask = uchar(0xff << ((8 - w % 8) % 8));
    for (int y = 0; y < h; ++y) {
        const uchar *line = img.constScanLine(y);
        for (int i = 0; i < rowBytes; ++i) {
            uchar b = uchar(~line[i]);
            if (i == rowBytes - 1)
                b |= uchar(~lastMask);
            out->append(char(b));
        }
    }
    return true;
}

} // namespace

namespace FormatCodecs {

ImgFileType detect(const QString &fileName, const QByteArray &data)
{
    const ImgFileType other = sniffOthers(fileName, data);
    if (other != imgUnknown)
        return other;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray name = QImageReader::imageFormat(&buffer);
    ImgFileType t = fromQtName(name);
    if (t != imgUnknown)
        return t;
    // TGA has no signature: trust the name when the header is a plausible one.
    if (ImgFileTypes::fromFileName(fileName) == imgTGA && data.size() >= 18) {
        const auto u = [&](int i) { return uchar(data.at(i)); };
        const bool type = u(2) == 1 || u(2) == 2 || u(2) == 3 || u(2) == 9 || u(2) == 10 || u(2) == 11;
        const bool bits = u(16) == 8 || u(16) == 15 || u(16) == 16 || u(16) == 24 || u(16) == 32;
        if (type && bits && u(1) <= 1 && (u(12) | u(13)) && (u(14) | u(15)))
            return imgTGA;
    }
    return imgUnknown;
}

bool canRead(ImgFileType format)
{
    return format == imgPSD || qtReads(format) || magickCan(format, false);
}

bool canWrite(ImgFileType format)
{
    return format == imgPSD || format == imgWBMP || qtWrites(format) || magickCan(format, true);
}

bool read(const QString &fileName, const QByteArray &data, ImgFileType format, ImgXImage *page,
          ImgXError *error)
{
    bool ok = false;
    if (format == imgPSD) {
        ok = PsdCodec::read(data, page, error);
    } else if (qtReads(format)) {
        ok = readQt(fileName, data, format, page, error);
#ifdef QUORIN_HAVE_GRAPHICSMAGICK
        // Qt reads TGA 2.0 only; older TGA files go through GraphicsMagick, and a file it reads
        // carries no error of the first attempt.
        if (!ok && format == imgTGA && magickCan(format, false)) {
            ImgXError second;
            ok = readMagick(fileName, data, format, page, &second);
            *error = ok ? ImgXError() : second;
        }
#endif
    }
#ifdef QUORIN_HAVE_GRAPHICSMAGICK
    else if (magickCan(format, false)) {
        ok = readMagick(fileName, data, format, page, error);
    }
#endif
    else {
        *error = ImgXError::make(ImgXErrorCode::FormatNotReadable,
                                 u"The %1 format cannot be read"_s.arg(ImgFileTypes::name(format)));
        return false;
    }
    if (ok)
        page->setSource(format, fileName, 0);
    return ok;
}

bool write(const ImgXImage &page, ImgFileType format, const ImgXExportOptions &options, QByteArray *out,
           ImgXError *error)
{
    if (format == imgPSD)
        return PsdCodec::write(page, out);
    if (format == imgWBMP)
        return writeWbmp(page, out, error);
    // RLE in BMP holds palette pages only (RLE8): a page of more than 256 colours stays uncompressed
    // rather than lose colours.
    QImage palettePage;
    if (format == imgBMP && options.bmpUseRleCompression && asPalette(page.image(), &palettePage))
        return writeBmpRle(page, palettePage, out);
#ifdef QUORIN_HAVE_GRAPHICSMAGICK
    // Interlaced PNG: Qt cannot write it, GraphicsMagick does.
    if (format == imgPNG && options.pngInterlaced && magickCan(format, true))
        return writeMagick(page, format, options, out, error);
#endif
    if (qtWrites(format))
        return writeQt(page, format, options, out, error);
#ifdef QUORIN_HAVE_GRAPHICSMAGICK
    if (magickCan(format, true))
        return writeMagick(page, format, options, out, error);
#endif
    *error = ImgXError::make(ImgXErrorCode::FormatNotWritable,
                             u"The %1 format cannot be written"_s.arg(ImgFileTypes::name(format)));
    return false;
}

QSize headerSize(const QByteArray &data, ImgFileType format)
{
    if (format == imgPSD) {
        if (data.size() < 26 || !data.startsWith("8BPS"))
            return {};
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        return {int(qFromBigEndian<quint32>(p + 18)), int(qFromBigEndian<quint32>(p + 14))};
    }
    if (format == imgPCX) {
        // ZSoft header: window xmin, ymin, xmax, ymax (little-endian) after the four leading bytes.
        if (data.size() < 128 || uchar(data.at(0)) != 0x0A)
            return {};
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        return {qFromLittleEndian<quint16>(p + 8) - qFromLittleEndian<quint16>(p + 4) + 1,
                qFromLittleEndian<quint16>(p + 10) - qFromLittleEndian<quint16>(p + 6) + 1};
    }
    if (!qtReads(format))
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtName(format));
    return reader.canRead() ? reader.size() : QSize();
}

} // namespace FormatCodecs
