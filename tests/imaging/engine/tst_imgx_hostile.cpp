// Damaged and hostile files: every one opens to a clean document or fails with a clear error,
// without a crash, a hang or a huge allocation.
#include "ImgX.h"
#include "ImgXRender.h"
#include "ImgXSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QtEndian>

#include <tiffio.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

#if defined(__SANITIZE_ADDRESS__)
#define QUORIN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORIN_ASAN 1
#endif
#endif

namespace {

enum PageKind { G3Page, G4Page, GreyLzwPage, RgbLzwPage, Tiny1Bit };

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// A little-endian TIFF of the given pages written with plain libtiff.
bool writeTiff(const QString &path, const QList<PageKind> &pages, uint32_t rowsPerStrip = 16)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    for (int n = 0; n < pages.size(); ++n) {
        const PageKind kind = pages.at(n);
        const uint32_t w = kind == Tiny1Bit ? 1 : 96, h = kind == Tiny1Bit ? 1 : 64;
        const bool bilevel = kind == G3Page || kind == G4Page || kind == Tiny1Bit;
        const uint16_t spp = kind == RgbLzwPage ? 3 : 1;
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     bilevel    ? PHOTOMETRIC_MINISWHITE
                     : spp == 3 ? PHOTOMETRIC_RGB
                                : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION,
                     kind == G3Page   ? COMPRESSION_CCITTFAX3
                     : kind == G4Page ? COMPRESSION_CCITTFAX4
                     : bilevel        ? COMPRESSION_NONE
                                      : COMPRESSION_LZW);
        if (kind == G3Page)
            TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS);
        if (kind == GreyLzwPage || kind == RgbLzwPage)
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kind == Tiny1Bit ? 1 : rowsPerStrip);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 98.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(n), uint16_t(pages.size()));
        QByteArray row(TIFFScanlineSize(tif), '\0');
        for (uint32_t y = 0; y < h; ++y) {
            for (int x = 0; x < row.size(); ++x)
                row[x] = char(bilevel ? ((x + int(y) / 8) % 3 == 0 ? 0xF0 : 0x00) : (x * 7 + int(y) * 3));
            if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) {
                TIFFClose(tif);
                return false;
            }
        }
        if (!TIFFWriteDirectory(tif)) {
            TIFFClose(tif);
            return false;
        }
    }
    TIFFClose(tif);
    return true;
}

// Directory offsets of a classic little-endian TIFF.
QList<quint32> directories(const QByteArray &d)
{
    QList<quint32> out;
    const auto *p = reinterpret_cast<const uchar *>(d.constData());
    quint32 off = qFromLittleEndian<quint32>(p + 4);
    while (off != 0 && off + 2 <= quint32(d.size()) && out.size() < 100000 && !out.contains(off)) {
        out.append(off);
        const quint16 n = qFromLittleEndian<quint16>(p + off);
        off = qFromLittleEndian<quint32>(p + off + 2 + n * 12);
    }
    return out;
}

// Position of the entry of `tag` in directory `dir`, -1 when absent.
qsizetype entryOf(const QByteArray &d, int dir, quint16 tag)
{
    const quint32 off = directories(d).value(dir);
    const auto *p = reinterpret_cast<const uchar *>(d.constData());
    const quint16 n = qFromLittleEndian<quint16>(p + off);
    for (quint16 i = 0; i < n; ++i) {
        const qsizetype e = off + 2 + i * 12;
        if (qFromLittleEndian<quint16>(p + e) == tag)
            return e;
    }
    return -1;
}

quint32 get(const QByteArray &d, qsizetype at, int bytes)
{
    if (at < 0 || at + bytes > d.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(d.constData()) + at;
    return bytes == 2 ? qFromLittleEndian<quint16>(p) : qFromLittleEndian<quint32>(p);
}

void put16(QByteArray &d, qsizetype at, quint16 v)
{
    qToLittleEndian(v, d.data() + at);
}
void put32(QByteArray &d, qsizetype at, quint32 v)
{
    qToLittleEndian(v, d.data() + at);
}

// Gives `tag` of every directory one inline value of `type` (SHORT or LONG).
QByteArray withTag(QByteArray d, quint16 tag, quint16 type, quint32 value)
{
    for (int dir = 0; dir < directories(d).size(); ++dir) {
        const qsizetype e = entryOf(d, dir, tag);
        if (e < 0)
            continue;
        put16(d, e + 2, type);
        put32(d, e + 4, 1);
        put32(d, e + 8, 0);
        if (type == TIFF_SHORT)
            put16(d, e + 8, quint16(value));
        else
            put32(d, e + 8, value);
    }
    return d;
}

// Sets the X and Y resolution of every directory to num/den, stored as `type`.
QByteArray withResolution(QByteArray d, quint16 type, qint32 num, qint32 den)
{
    for (int dir = 0; dir < directories(d).size(); ++dir) {
        for (quint16 tag : {quint16(TIFFTAG_XRESOLUTION), quint16(TIFFTAG_YRESOLUTION)}) {
            const qsizetype e = entryOf(d, dir, tag);
            if (e < 0)
                continue;
            put16(d, e + 2, type);
            const quint32 at = qFromLittleEndian<quint32>(d.constData() + e + 8);
            put32(d, at, quint32(num));
            put32(d, at + 4, quint32(den));
        }
    }
    return d;
}

// Points the next-directory link of directory `from` at directory `to`.
QByteArray withLink(QByteArray d, int from, int to)
{
    const QList<quint32> dirs = directories(d);
    const quint32 off = dirs.at(from);
    const quint16 n = qFromLittleEndian<quint16>(d.constData() + off);
    put32(d, off + 2 + n * 12, dirs.at(to));
    return d;
}

// Strip offsets of every directory moved past the end of the file.
QByteArray withStripsPastEnd(QByteArray d)
{
    for (int dir = 0; dir < directories(d).size(); ++dir) {
        const qsizetype e = entryOf(d, dir, TIFFTAG_STRIPOFFSETS);
        if (e < 0)
            continue;
        const quint32 count = get(d, e + 4, 4);
        const quint32 size = get(d, e + 2, 2) == TIFF_SHORT ? 2 : 4;
        const qsizetype at = count * size <= 4 ? e + 8 : qsizetype(get(d, e + 8, 4));
        for (quint32 i = 0; i < count; ++i) {
            if (size == 2)
                put16(d, at + i * 2, 0xFFF0);
            else
                put32(d, at + i * 4, quint32(d.size()) + 1000 + i);
        }
    }
    return d;
}

// A hand-built chain of `pages` one-pixel pages sharing one byte of pixel data.
QByteArray chainOfTinyPages(int pages)
{
    constexpr int entries = 5, ifdSize = 2 + entries * 12 + 4;
    QByteArray d(8 + qsizetype(pages) * ifdSize + 1, '\0');
    d.replace(0, 4, QByteArray("II*\0", 4));
    put32(d, 4, 8);
    const quint32 pixel = quint32(d.size()) - 1;
    const quint16 tags[entries][3] = {{TIFFTAG_IMAGEWIDTH, TIFF_LONG, 1},
                                      {TIFFTAG_IMAGELENGTH, TIFF_LONG, 1},
                                      {TIFFTAG_PHOTOMETRIC, TIFF_SHORT, PHOTOMETRIC_MINISWHITE},
                                      {TIFFTAG_STRIPOFFSETS, TIFF_LONG, 0},
                                      {TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, 1}};
    for (int i = 0; i < pages; ++i) {
        const qsizetype at = 8 + qsizetype(i) * ifdSize;
        put16(d, at, entries);
        for (int e = 0; e < entries; ++e) {
            const qsizetype en = at + 2 + e * 12;
            put16(d, en, tags[e][0]);
            put16(d, en + 2, tags[e][1]);
            put32(d, en + 4, 1);
            put32(d, en + 8, tags[e][0] == TIFFTAG_STRIPOFFSETS ? pixel : tags[e][2]);
        }
        put32(d, at + 2 + entries * 12, i + 1 < pages ? quint32(at + ifdSize) : 0);
    }
    return d;
}

struct Mutant
{
    QString what;
    QByteArray data;
};

// Seeded damage of a valid file: bit flips, cuts at many points, runs of 0x00 and 0xFF.
QList<Mutant> mutants(const QByteArray &valid, quint32 seed)
{
    QList<Mutant> out;
    QRandomGenerator rng(seed);
    const int size = int(valid.size());
    for (int i = 0; i < 80; ++i) {
        QByteArray d = valid;
        const int flips = 1 + int(rng.bounded(8));
        for (int f = 0; f < flips; ++f) {
            const int at = int(rng.bounded(size));
            d[at] = char(d.at(at) ^ (1 << rng.bounded(8)));
        }
        out.append({u"flip %1"_s.arg(i), d});
    }
    for (int i = 0; i < 24; ++i) {
        const int at = i < 20 ? size * i / 20 : size - 1 - int(rng.bounded(std::min(size, 64)));
        out.append({u"cut at %1"_s.arg(at), valid.left(at)});
    }
    for (int i = 0; i < 24; ++i) {
        QByteArray d = valid;
        const int at = int(rng.bounded(size));
        const int len = std::min(size - at, 1 + int(rng.bounded(64)));
        d.replace(at, len, QByteArray(len, i % 2 ? '\xff' : '\0'));
        out.append({u"run of %1 at %2"_s.arg(i % 2 ? u"FF"_s : u"00"_s).arg(at), d});
    }
    return out;
}

// Seeded damage of TIFF tag entries: types, counts and values turned to extremes.
QList<Mutant> tagMutants(const QByteArray &valid, quint32 seed)
{
    QList<Mutant> out;
    QRandomGenerator rng(seed);
    const QList<quint32> dirs = directories(valid);
    const quint32 size = quint32(valid.size());
    const quint32 extremes[] = {0,          1,           2,           3,        0x7f, 0xffff,     0x10000,
                                0x7fffffff, 0x80000000u, 0xffffffffu, size - 1, size, size + 4096};
    for (int i = 0; i < 160; ++i) {
        QByteArray d = valid;
        const quint32 dir = dirs.at(qsizetype(rng.bounded(int(dirs.size()))));
        const quint16 n = qFromLittleEndian<quint16>(d.constData() + dir);
        const qsizetype e = dir + 2 + 12 * qsizetype(rng.bounded(int(n)));
        const int field = int(rng.bounded(3));
        const quint32 value =
            rng.bounded(4) == 0 ? rng.generate() : extremes[rng.bounded(int(std::size(extremes)))];
        if (field == 0)
            put16(d, e + 2, quint16(rng.bounded(20)));
        else
            put32(d, e + (field == 1 ? 4 : 8), value);
        out.append({u"tag %1 field %2 = %3"_s.arg(qFromLittleEndian<quint16>(d.constData() + e))
                        .arg(field)
                        .arg(value),
                    d});
    }
    return out;
}

QString extensionOf(ImgFileType format)
{
    return format == imgUnknown ? u"tif"_s : ImgFileTypes::extension(format);
}

QImage picture(bool alpha)
{
    QImage img(40, 30, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgba(x * 6, y * 8, (x ^ y) * 4, alpha ? 40 + x * 5 : 255));
    return img;
}

// A GIF of `img`'s colours (at most 100) whose LZW data holds literal codes only: eight bits each,
// a clear code every 100 pixels, so no code ever grows past 8 bits.
QByteArray literalGif(const QImage &img)
{
    QList<QRgb> table;
    QByteArray codes;
    const auto le16 = [](QByteArray &d, int v) { d.append(char(v & 0xff)).append(char(v >> 8)); };
    for (int y = 0, n = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x, ++n) {
            const QRgb c = img.pixel(x, y) | 0xff000000;
            if (!table.contains(c) && table.size() < 100)
                table.append(c);
            if (n % 100 == 0)
                codes.append(char(128)); // clear
            codes.append(char(std::max<qsizetype>(0, table.indexOf(c))));
        }
    }
    codes.append(char(129)); // end of information
    table.resize(128, 0xff000000);
    QByteArray d("GIF89a");
    le16(d, img.width());
    le16(d, img.height());
    d.append(char(0xF6)).append('\0').append('\0'); // global table of 128 entries
    for (const QRgb c : table)
        d.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    d.append(',');
    le16(d, 0);
    le16(d, 0);
    le16(d, img.width());
    le16(d, img.height());
    d.append('\0').append(char(7)); // minimum code size 7: codes of 8 bits
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        d.append(char(block.size())).append(block);
    }
    d.append('\0').append(';');
    return d;
}

// What a process makes of each file, page by page: size, format, damage and a digest of its pixels.
// Run under two malloc fill bytes, it differs wherever a decoder hands out memory it never wrote.
int printPageDigests(const QStringList &files)
{
    QTextStream out(stdout);
    for (const QString &file : files) {
        ImgX doc;
        if (!doc.importFileUndecoded(file)) {
            out << QFileInfo(file).fileName() << " refused\n";
            continue;
        }
        for (int i = 0; i < doc.count(); ++i) {
            const QImage &img = doc.page(i).image();
            out << QFileInfo(file).fileName() << ' ' << i << ' ';
            if (img.isNull()) {
                out << "undecodable\n";
                continue;
            }
            const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
            QCryptographicHash hash(QCryptographicHash::Sha1);
            for (int y = 0; y < argb.height(); ++y)
                hash.addData(QByteArrayView(argb.constScanLine(y), qsizetype(argb.width()) * 4));
            out << img.width() << 'x' << img.height() << ' ' << int(img.format()) << ' '
                << (doc.page(i).damage().isError() ? "damaged " : "whole ") << hash.result().toHex() << '\n';
        }
    }
    return 0;
}


// One page of 96 x 64 in one strip, written with plain libtiff: bilevel for the CCITT schemes
// (2 = RLE, 3 = G3 1D, 302 = G3 2D, 4 = G4), grey for PackBits, none and LZW, RGB for JPEG, LZW
// (1005) and Deflate.
QByteArray onePageTiff(const QString &path, int scheme)
{
    const int compression = scheme == 302 ? 3 : scheme == 1005 ? 5 : scheme;
    const bool bilevel = compression >= 2 && compression <= 4;
    const bool rgb = compression == 7 || scheme == 1005 || compression == 8;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return {};
    const uint32_t w = 96, h = 64;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, rgb ? 3 : 1);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 bilevel ? PHOTOMETRIC_MINISWHITE : rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (scheme == 302)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    QByteArray row(TIFFScanlineSize(tif), '\0');
    for (uint32_t y = 0; y < h; ++y) {
        for (int x = 0; x < row.size(); ++x)
            row[x] = char(bilevel ? ((x * 7 + int(y) / 3) % 5 < 2 ? 0xC3 : 0x18)
                                  : ((x / 3 + int(y) / 5) % 2 ? 40 + x % 7 * 20 : 220 - int(y) % 9 * 10));
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) {
            TIFFClose(tif);
            return {};
        }
    }
    TIFFClose(tif);
    return readAll(path);
}

// A damaged copy of a valid file: cut at `percent` (for TIFF, whose writer puts the directory last,
// the strip is moved to the end first, so the cut falls inside it as in a file that lists its
// pages first), or, for percent 0, bytes no decoder takes put in the middle of the pixel data
// (seeded noise: codes past a table, a broken CRC or checksum; a JPEG gets a Huffman code of 16 one
// bits). Percent 100: as it is.
QByteArray damagedCopy(const QByteArray &valid, bool tiff, int percent)
{
    QByteArray d = valid;
    qsizetype from = 0, size = valid.size();
    qsizetype countAt = -1;
    if (tiff) {
        const qsizetype offsets = entryOf(d, 0, TIFFTAG_STRIPOFFSETS);
        countAt = entryOf(d, 0, TIFFTAG_STRIPBYTECOUNTS) + 8;
        from = get(d, offsets + 8, 4);
        size = get(d, countAt, 4);
    }
    if (percent == 100)
        return d;
    if (percent > 0) {
        if (!tiff)
            return valid.left(size * percent / 100);
        put32(d, entryOf(d, 0, TIFFTAG_STRIPOFFSETS) + 8, quint32(d.size()));
        return d + valid.mid(from, size * percent / 100);
    }
    QRandomGenerator noise(46);
    const qsizetype at = from + size / 2;
    // In JPEG data noise mostly decodes (Huffman codes fall back into step within a few blocks, and
    // nothing checks them): 16 one bits are a code no table holds.
    const bool jpeg = tiff ? get(d, entryOf(d, 0, TIFFTAG_COMPRESSION) + 8, 2) == COMPRESSION_JPEG
                           : valid.startsWith("\xff\xd8");
    for (qsizetype i = at; i < std::min(at + 24, from + size); ++i)
        d[i] = jpeg ? (i % 2 ? '\0' : '\xff') : char(noise.bounded(256));
    return d;
}

// Rows of `img` (RGB) as run-length files no writer here makes: a TGA of raw packets, and a PSD
// whose channels are PackBits literals.
QByteArray rleTga(const QImage &img)
{
    QByteArray d(18, '\0');
    d[2] = 10;
    qToLittleEndian<quint16>(quint16(img.width()), d.data() + 12);
    qToLittleEndian<quint16>(quint16(img.height()), d.data() + 14);
    d[16] = 24;
    d[17] = 0x20; // top row first
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); x += 128) {
            const int n = std::min(128, img.width() - x);
            d.append(char(n - 1));
            for (int i = 0; i < n; ++i) {
                const QRgb c = img.pixel(x + i, y);
                d.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
            }
        }
    }
    return d;
}

QByteArray rlePsd(const QImage &img)
{
    const auto be16 = [](QByteArray &d, int v) { d.append(char(v >> 8)).append(char(v & 0xff)); };
    const auto be32 = [&](QByteArray &d, quint32 v) {
        be16(d, int(v >> 16));
        be16(d, int(v & 0xffff));
    };
    QByteArray d("8BPS");
    be16(d, 1);
    d.append(QByteArray(6, '\0'));
    be16(d, 3);
    be32(d, quint32(img.height()));
    be32(d, quint32(img.width()));
    be16(d, 8);
    be16(d, 3);
    be32(d, 0); // colour mode data, resources, layers
    be32(d, 0);
    be32(d, 0);
    be16(d, 1);
    QByteArray rows;
    QList<int> counts;
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < img.height(); ++y) {
            const qsizetype before = rows.size();
            for (int x = 0; x < img.width(); x += 128) {
                const int n = std::min(128, img.width() - x);
                rows.append(char(n - 1));
                for (int i = 0; i < n; ++i) {
                    const QRgb px = img.pixel(x + i, y);
                    rows.append(char(c == 0 ? qRed(px) : c == 1 ? qGreen(px) : qBlue(px)));
                }
            }
            counts.append(int(rows.size() - before));
        }
    }
    for (const int n : counts)
        be16(d, n);
    return d + rows;
}

struct DamageCase
{
    QString name; // "format, damage"
    QString extension;
    QByteArray data;
};

// Every kind of file the engine reads, made here, and damaged four ways each.
QList<DamageCase> damageCases(const QString &dir)
{
    QList<QPair<QString, QByteArray>> valid; // name, bytes
    const QList<QPair<QString, int>> tiffs{{u"tiff rle"_s, 2},      {u"tiff g3"_s, 3},
                                           {u"tiff g3 2d"_s, 302},  {u"tiff g4"_s, 4},
                                           {u"tiff lzw grey"_s, 5}, {u"tiff lzw rgb"_s, 1005},
                                           {u"tiff jpeg"_s, 7},     {u"tiff deflate"_s, 8},
                                           {u"tiff packbits"_s, 32773}, {u"tiff none"_s, 1}};
    for (const auto &[name, scheme] : tiffs)
        valid.append({name, onePageTiff(dir + u"/valid.tif"_s, scheme)});
    QImage big(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixel(x, y, qRgb(x * 2, y * 3, (x / 10 + y / 10) % 2 ? 200 : 30));
    valid.append({u"gif"_s, literalGif(big.convertToFormat(QImage::Format_Indexed8))});
    QByteArray interlaced = valid.last().second;
    interlaced[13 + 3 * 128 + 9] = char(interlaced.at(13 + 3 * 128 + 9) | 0x40);
    valid.append({u"gif interlaced"_s, interlaced});
    valid.append({u"tga rle"_s, rleTga(big)});
    valid.append({u"psd rle"_s, rlePsd(big)});
    struct Other
    {
        QString name;
        ImgFileType format;
        QImage::Format pixels;
        bool option; // RLE for BMP, progressive for JPEG, interlaced for PNG
    };
    const QList<Other> others{{u"bmp 24"_s, imgBMP, QImage::Format_RGB32, false},
                              {u"bmp 8"_s, imgBMP, QImage::Format_Indexed8, false},
                              {u"bmp 1"_s, imgBMP, QImage::Format_Mono, false},
                              {u"bmp rle8"_s, imgBMP, QImage::Format_Indexed8, true},
                              {u"png"_s, imgPNG, QImage::Format_RGB32, false},
                              {u"png interlaced"_s, imgPNG, QImage::Format_RGB32, true},
                              {u"jpeg"_s, imgJPG, QImage::Format_RGB32, false},
                              {u"jpeg progressive"_s, imgJPG, QImage::Format_RGB32, true},
                              {u"pcx"_s, imgPCX, QImage::Format_RGB32, false},
                              {u"tga"_s, imgTGA, QImage::Format_RGB32, false},
                              {u"psd"_s, imgPSD, QImage::Format_RGB32, false},
                              {u"wbmp"_s, imgWBMP, QImage::Format_Mono, false}};
    for (const Other &o : others) {
        ImgX doc;
        const QString name = dir + u"/valid."_s + extensionOf(o.format);
        doc.exportOptions().bmpUseRleCompression = o.option;
        doc.exportOptions().jpgProgressive = o.option;
        doc.exportOptions().pngInterlaced = o.option;
        if (!ImgXSupport::canWrite(o.format) ||
            !doc.importImage(big.convertToFormat(o.pixels, Qt::ThresholdDither), 150, 150) ||
            !doc.exportFile(name, o.format))
            continue;
        valid.append({o.name, readAll(name)});
    }
    QList<DamageCase> out;
    for (const auto &[name, bytes] : valid) {
        const bool tiff = name.startsWith(u"tiff"_s);
        const QString extension = tiff ? u"tif"_s : name.section(u' ', 0, 0).replace(u"jpeg"_s, u"jpg"_s);
        for (const int percent : {100, 10, 50, 90, 0})
            out.append({u"%1, %2"_s.arg(name, percent == 100 ? u"whole"_s
                                              : percent     ? u"cut at %1 %"_s.arg(percent)
                                                            : u"bad code"_s),
                        extension, damagedCopy(bytes, tiff, percent)});
    }
    return out;
}

// What opening a file gives: "refused", "damaged" (a page does not decode, or decodes damaged) or
// "WHOLE" (every page clean).
QString opening(const QString &file, ImgX &doc)
{
    if (!doc.importFile(file))
        return u"refused"_s;
    for (const ImgXImage &page : doc.pages())
        if (page.image().isNull() || page.damage().isError())
            return u"damaged"_s;
    return u"WHOLE"_s;
}

// Writes the damaged files into dir (for a look with other tools, valgrind among them).
int writeDamageCases(const QString &dir)
{
    QDir().mkpath(dir);
    for (const DamageCase &c : damageCases(dir)) {
        QString name = c.name;
        name.replace(u", "_s, u"-"_s).replace(u' ', u'-').remove(u'%');
        writeAll(dir + u'/' + name + u'.' + c.extension, c.data);
    }
    return 0;
}
} // namespace

class TstImgXHostile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void damagedFiles_data();
    void damagedFiles();
    void hostileTiffTags_data();
    void hostileTiffTags();
    void hostileHeaders_data();
    void hostileHeaders();
    void picturesWithoutPixels_data();
    void picturesWithoutPixels();
    void thousandsOfTinyPages();
    void chainLongerThanThePageLimit();
    void regressionFiles_data();
    void regressionFiles();
    void tagQueriesOnHostileFiles();
    void unreadableLaterDirectories_data();
    void unreadableLaterDirectories();
    void laterDirectoryOnlyLibtiffRefuses();
    void damagedFilesDecodeAlikeWhateverTheMemory();
    void everyDecoderTellsDamage_data();
    void everyDecoderTellsDamage();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray validFile(ImgFileType format);
    // Opens, counts, decodes, thumbnails, turns and saves; fails the test only on a fault.
    void exercise(const QString &what, const QByteArray &data, ImgFileType format, int maxPages = 8);

    QTemporaryDir m_dir;
};

void TstImgXHostile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"config"_s).toLocal8Bit());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
#ifndef QUORIN_ASAN
    // An allocation of gigabytes fails here instead of going unnoticed on a big machine.
    const rlim_t cap = rlim_t(3) * 1024 * 1024 * 1024;
    rlimit lim{};
    if (getrlimit(RLIMIT_AS, &lim) == 0 && (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > cap)) {
        lim.rlim_cur = cap;
        QCOMPARE(setrlimit(RLIMIT_AS, &lim), 0);
    }
#endif
}

QByteArray TstImgXHostile::validFile(ImgFileType format)
{
    const QString name = path(u"valid.%1"_s.arg(extensionOf(format)));
    if (format == imgTIF) {
        if (!writeTiff(name, {G3Page, G4Page, GreyLzwPage, RgbLzwPage}))
            return {};
        return readAll(name);
    }
    ImgX doc;
    if (!doc.importImage(picture(format == imgPSD || format == imgPNG), 150, 150) ||
        !doc.exportFile(name, format))
        return {};
    return readAll(name);
}

void TstImgXHostile::exercise(const QString &what, const QByteArray &data, ImgFileType format, int maxPages)
{
    const QString in = path(u"case.%1"_s.arg(extensionOf(format)));
    const QString out = path(u"out.%1"_s.arg(extensionOf(format)));
    QVERIFY(writeAll(in, data));
    QFile::remove(out);

    // What the file query tells is a page that can be opened: at least 1x1 and within the page limit.
    const ImgXFileInfo info = ImgXSupport::fileInfo(in);
    if (info.isValid())
        QVERIFY2(ImgXPageLimit::fits(info.size.width(), info.size.height()),
                 qPrintable(u"%1: the query tells a page of %2x%3"_s.arg(what)
                                .arg(info.size.width())
                                .arg(info.size.height())));

    ImgX doc;
    if (!doc.importFile(in)) {
        QVERIFY2(doc.lastError().isError() && !doc.lastError().description.isEmpty(), qPrintable(what));
        QVERIFY2(doc.isEmpty(), qPrintable(what));
        return;
    }
    QVERIFY2(doc.count() > 0, qPrintable(what));
    // Every page opened has a size: a directory without one is no page.
    for (const ImgXImage &page : doc.pages())
        QVERIFY2(page.width() >= 1 && page.height() >= 1,
                 qPrintable(u"%1: a page of %2x%3"_s.arg(what).arg(page.width()).arg(page.height())));
    QCOMPARE(ImgXSupport::pageCount(in), doc.count());
    const int pages = std::min(doc.count(), maxPages);
    for (int i = 0; i < pages; ++i) {
        const ImgXImage &page = doc.page(i);
        if (page.image().isNull()) {
            QVERIFY2(page.decodeError().isError() && !page.decodeError().description.isEmpty(),
                     qPrintable(u"%1, page %2"_s.arg(what).arg(i)));
            continue;
        }
        QVERIFY2(!ImgXRender::thumbnail(page, QSize(64, 64)).isNull(),
                 qPrintable(u"%1, page %2"_s.arg(what).arg(i)));
        // Every pixel of a palette page has a colour in its table, so each writer keeps what is shown.
        const QImage &pixels = page.image();
        if (pixels.format() == QImage::Format_Indexed8) {
            int used = 0;
            for (int y = 0; y < pixels.height(); ++y)
                for (int x = 0; x < pixels.width(); ++x)
                    used = std::max(used, pixels.constScanLine(y)[x] + 1);
            QVERIFY2(used <= pixels.colorCount(), qPrintable(u"%1, page %2: index %3 of %4 colours"_s.arg(what)
                                                                 .arg(i)
                                                                 .arg(used - 1)
                                                                 .arg(pixels.colorCount())));
        }
    }
    if (doc.rotate(90, Qt::white, ImgXNoUndo()))
        QVERIFY2(!doc.image().isNull(), qPrintable(what));
    else
        QVERIFY2(doc.lastError().isError(), qPrintable(what));
    if (doc.count() <= maxPages) {
        if (doc.exportFile(out, format))
            QVERIFY2(ImgXSupport::pageCount(out) > 0, qPrintable(what));
        else
            QVERIFY2(doc.lastError().isError() && !QFile::exists(out), qPrintable(what));
    }
}

void TstImgXHostile::damagedFiles_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("tiff g3 g4 lzw") << int(imgTIF) << 11u;
    QTest::newRow("png") << int(imgPNG) << 12u;
    QTest::newRow("jpg") << int(imgJPG) << 13u;
    QTest::newRow("bmp") << int(imgBMP) << 14u;
    QTest::newRow("pcx") << int(imgPCX) << 15u;
    QTest::newRow("psd") << int(imgPSD) << 16u;
    QTest::newRow("tga") << int(imgTGA) << 17u;
}

void TstImgXHostile::damagedFiles()
{
    QFETCH(int, format);
    QFETCH(quint32, seed);
    const QByteArray valid = validFile(ImgFileType(format));
    QVERIFY(!valid.isEmpty());
    exercise(u"valid"_s, valid, ImgFileType(format));
    QList<Mutant> cases = mutants(valid, seed);
    if (format == imgTIF)
        cases += tagMutants(valid, seed);
    for (const Mutant &m : cases) {
        exercise(m.what, m.data, ImgFileType(format));
        if (QTest::currentTestFailed())
            return;
    }
}

void TstImgXHostile::hostileTiffTags_data()
{
    QTest::addColumn<QByteArray>("data");
    QVERIFY(writeTiff(path(u"tags.tif"_s), {G4Page, G3Page, GreyLzwPage, RgbLzwPage}));
    const QByteArray v = readAll(path(u"tags.tif"_s));
    QVERIFY(directories(v).size() == 4);
    QTest::newRow("width 0") << withTag(v, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 0);
    QTest::newRow("height 0") << withTag(v, TIFFTAG_IMAGELENGTH, TIFF_LONG, 0);
    QTest::newRow("width 2^31") << withTag(v, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 0x80000000u);
    QTest::newRow("height 2^31") << withTag(v, TIFFTAG_IMAGELENGTH, TIFF_LONG, 0x80000000u);
    QTest::newRow("both 65535") << withTag(withTag(v, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 65535),
                                           TIFFTAG_IMAGELENGTH, TIFF_LONG, 65535);
    QTest::newRow("width 65535") << withTag(v, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 65535);
    QTest::newRow("height 65535") << withTag(v, TIFFTAG_IMAGELENGTH, TIFF_LONG, 65535);
    // One strip for the whole page, so libtiff accepts the directory and the size alone decides.
    QVERIFY(writeTiff(path(u"one.tif"_s), {G4Page}, 64));
    const QByteArray one = readAll(path(u"one.tif"_s));
    QTest::newRow("g4 page of 65535x65535 in one strip") << withTag(
        withTag(withTag(one, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 65535), TIFFTAG_IMAGELENGTH, TIFF_LONG, 65535),
        TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 65535);
    QTest::newRow("g4 page of 60000x30000 in one strip") << withTag(
        withTag(withTag(one, TIFFTAG_IMAGEWIDTH, TIFF_LONG, 60000), TIFFTAG_IMAGELENGTH, TIFF_LONG, 30000),
        TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 30000);
    QTest::newRow("rows per strip 0") << withTag(v, TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 0);
    for (quint32 bps : {0u, 3u, 16u, 64u})
        QTest::addRow("bits per sample %u", bps) << withTag(v, TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, bps);
    QTest::newRow("samples per pixel 0") << withTag(v, TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 0);
    QTest::newRow("samples per pixel 200") << withTag(v, TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 200);
    QTest::newRow("photometric 99") << withTag(v, TIFFTAG_PHOTOMETRIC, TIFF_SHORT, 99);
    QTest::newRow("compression 12345") << withTag(v, TIFFTAG_COMPRESSION, TIFF_SHORT, 12345);
    QTest::newRow("strips past the end") << withStripsPastEnd(v);
    QTest::newRow("strip byte counts huge") << withTag(v, TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, 0xFFFFFF00u);
    QTest::newRow("resolution zero") << withResolution(v, TIFF_RATIONAL, 0, 1);
    QTest::newRow("resolution over zero") << withResolution(v, TIFF_RATIONAL, 200, 0);
    QTest::newRow("resolution negative") << withResolution(v, TIFF_SRATIONAL, -204, 1);
    QTest::newRow("chain loops to the first page") << withLink(v, 3, 0);
    QTest::newRow("chain loops on itself") << withLink(v, 1, 1);
    QByteArray first = v;
    put32(first, 4, quint32(v.size()) + 8);
    QTest::newRow("first directory past the end") << first;
    QByteArray entries = v;
    put16(entries, directories(v).at(0), 0xFFFF);
    QTest::newRow("directory with 65535 entries") << entries;
}

void TstImgXHostile::hostileTiffTags()
{
    QFETCH(QByteArray, data);
    exercise(QString::fromLatin1(QTest::currentDataTag()), data, imgTIF);
}

// Headers that claim huge pictures over a few bytes of data.
void TstImgXHostile::hostileHeaders_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("data");

    auto psd = [](quint16 channels, quint32 w, quint32 h, quint16 depth, quint16 mode, quint16 compression,
                  quint32 resources) {
        QByteArray d("8BPS");
        auto be16 = [&d](quint16 v) { d.append(char(v >> 8)).append(char(v)); };
        auto be32 = [&](quint32 v) { be16(quint16(v >> 16)), be16(quint16(v)); };
        be16(1);
        d.append(6, '\0');
        be16(channels);
        be32(h);
        be32(w);
        be16(depth);
        be16(mode);
        be32(0);
        be32(resources);
        if (resources) {
            d.append("8BIM");
            be16(0x03ED);
            return d; // the resource block runs past the end of the file
        }
        be32(0);
        be16(compression);
        d.append(64, '\x01');
        return d;
    };
    QTest::newRow("psd rgb 30000x30000 raw") << int(imgPSD) << psd(3, 30000, 30000, 8, 3, 0, 0);
    QTest::newRow("psd rgba 30000x30000 rle") << int(imgPSD) << psd(4, 30000, 30000, 8, 3, 1, 0);
    QTest::newRow("psd grey 16000x16000 rle") << int(imgPSD) << psd(1, 16000, 16000, 8, 1, 1, 0);
    QTest::newRow("psd grey 2^31 wide") << int(imgPSD) << psd(1, 0x80000000u, 10, 8, 1, 0, 0);
    QTest::newRow("psd resources past the end") << int(imgPSD) << psd(3, 10, 10, 8, 3, 0, 0x7fffffff);

    auto pcx = [](quint16 xmax, quint16 ymax, quint8 bits, quint8 planes) {
        QByteArray d(128, '\0');
        d[0] = 0x0A;
        d[1] = 5;
        d[2] = 1;
        d[3] = char(bits);
        qToLittleEndian<quint16>(xmax, d.data() + 8);
        qToLittleEndian<quint16>(ymax, d.data() + 10);
        qToLittleEndian<quint16>(300, d.data() + 12);
        qToLittleEndian<quint16>(300, d.data() + 14);
        d[65] = char(planes);
        qToLittleEndian<quint16>(quint16(((xmax + 1) * bits + 15) / 16 * 2), d.data() + 66);
        d.append(256, '\xC1');
        return d;
    };
    QTest::newRow("pcx 65535x65535 rgb") << int(imgPCX) << pcx(65534, 65534, 8, 3);
    QTest::newRow("pcx 65535x65535 bilevel") << int(imgPCX) << pcx(65534, 65534, 1, 1);
    QTest::newRow("pcx 65535x1") << int(imgPCX) << pcx(65534, 0, 8, 1);

    auto tga = [](quint16 w, quint16 h, quint8 type, quint8 bits) {
        QByteArray d(18, '\0');
        d[2] = char(type);
        qToLittleEndian<quint16>(w, d.data() + 12);
        qToLittleEndian<quint16>(h, d.data() + 14);
        d[16] = char(bits);
        d.append(256, '\x7f');
        return d;
    };
    QTest::newRow("tga 65535x65535 rgb") << int(imgTGA) << tga(65535, 65535, 2, 24);
    QTest::newRow("tga 65535x65535 rle") << int(imgTGA) << tga(65535, 65535, 10, 32);
    QTest::newRow("tga 0x0") << int(imgTGA) << tga(0, 0, 2, 24);

    QByteArray bmp = validFile(imgBMP);
    QVERIFY(!bmp.isEmpty());
    qToLittleEndian<qint32>(1 << 30, bmp.data() + 18);
    qToLittleEndian<qint32>(-(1 << 30), bmp.data() + 22);
    QTest::newRow("bmp 2^30 square") << int(imgBMP) << bmp;
}

void TstImgXHostile::hostileHeaders()
{
    QFETCH(int, format);
    QFETCH(QByteArray, data);
    exercise(QString::fromLatin1(QTest::currentDataTag()), data, ImgFileType(format));
}

// A picture of no size is refused as one without pixels, not as one too large for any scanner.
void TstImgXHostile::picturesWithoutPixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");
    // WBMP: type 0, fixed header 0, width and height as 7-bit groups.
    QTest::newRow("wbmp 0x0") << u"empty.wbmp"_s << QByteArray("\0\0\0\0", 4);
    QTest::newRow("wbmp 0x5") << u"thin.wbmp"_s << QByteArray("\0\0\0\x05", 4);
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\0\0\0\0\0\0\x08\0\3\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 40);
    QTest::newRow("psd 0x0") << u"empty.psd"_s << psd;
}

void TstImgXHostile::picturesWithoutPixels()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    const QString file = path(name);
    QVERIFY(writeAll(file, data));
    ImgX doc;
    QVERIFY(!doc.importFile(file));
    QVERIFY(ImgXErrorCode::isNotAnImage(doc.lastError().number));
    QVERIFY2(doc.lastError().description.contains(u"no pixels"_s), qPrintable(doc.lastError().description));
    QCOMPARE(ImgXSupport::pageCount(file), 0);
}

// A long chain of one-pixel pages opens with every page and decodes without delay.
void TstImgXHostile::thousandsOfTinyPages()
{
    const QString name = path(u"many.tif"_s);
    QVERIFY(writeTiff(name, QList<PageKind>(3000, Tiny1Bit)));
    const QByteArray data = readAll(name);
    ImgX doc;
    QVERIFY(doc.importFile(name));
    QCOMPARE(doc.count(), 3000);
    for (int i = 0; i < doc.count(); ++i)
        QVERIFY(!doc.page(i).image().isNull());
    QCOMPARE(ImgXSupport::pageCount(name), 3000);

    // Damage in the middle of the chain: all or nothing.
    exercise(u"many, loop"_s, withLink(data, 2999, 1500), imgTIF, 3000);
    exercise(u"many, cut"_s, data.left(directories(data).at(2000) + 4), imgTIF, 3000);
}

// More pages than the reader takes: refused as a whole, never cut down to the first ones.
void TstImgXHostile::chainLongerThanThePageLimit()
{
    const QString name = path(u"endless.tif"_s);
    QVERIFY(writeAll(name, chainOfTinyPages(70000)));
    ImgX doc;
    if (doc.importFile(name)) {
        QCOMPARE(doc.count(), 70000);
    } else {
        QCOMPARE(doc.lastError().number, qint32(ImgXErrorCode::CorruptImage));
        QVERIFY(doc.isEmpty());
    }
    const int counted = ImgXSupport::pageCount(name);
    QVERIFY2(counted == 0 || counted == 70000, qPrintable(QString::number(counted)));

    QVERIFY(writeAll(name, chainOfTinyPages(1200)));
    QVERIFY(doc.importFile(name));
    QCOMPARE(doc.count(), 1200);
    QVERIFY(!doc.page(1199).image().isNull());
}

// Inputs that once crashed, read out of bounds or allocated far too much (tests/imaging/data).
void TstImgXHostile::regressionFiles_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(QStringLiteral(QUORIN_IMAGING_DATA));
    const QStringList files =
        dir.entryList({u"*.tif"_s, u"*.bmp"_s, u"*.gif"_s, u"*.jpg"_s, u"*.pcx"_s, u"*.tga"_s}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 4);
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void TstImgXHostile::regressionFiles()
{
    QFETCH(QString, file);
    const QByteArray data = readAll(file);
    QVERIFY(!data.isEmpty());
    for (int tag : {256, 257, 258, 259, 262, 273, 279, 305, 65000, 65001})
        ImgXSupport::tiffTag(file, 0, tag);
    exercise(QFileInfo(file).fileName(), data, ImgFileTypes::fromFileName(file));
    // Files once opened as whole clean pages: refused, or a page damaged.
    const QString name = QFileInfo(file).fileName();
    if (name.startsWith(u"bad-code-"_s) || name.startsWith(u"cut-short-"_s)) {
        ImgX doc;
        QVERIFY2(opening(file, doc) != u"WHOLE"_s, qPrintable(name));
    }
}

void TstImgXHostile::tagQueriesOnHostileFiles()
{
    const QDir dir(QStringLiteral(QUORIN_IMAGING_DATA));
    // A private text tag is read as the text it holds.
    QCOMPARE(ImgXSupport::tiffTag(dir.filePath(u"private-ascii-tag.tif"_s), 0, 65000).toString(), u"hello"_s);
    // A tag of a type TIFF does not know is no value, and the page still opens.
    const QString unknown = dir.filePath(u"unknown-field-type.tif"_s);
    QVERIFY(!ImgXSupport::tiffTag(unknown, 0, 65001).isValid());
    QCOMPARE(ImgXSupport::tiffTag(unknown, 0, TIFFTAG_IMAGEWIDTH).toUInt(), 1u);
    ImgX doc;
    QVERIFY(doc.importFile(unknown));
    QVERIFY(!doc.image().image().isNull());
    // A directory offset near 2^64 is a damaged file, not a read past the end.
    const QString far = dir.filePath(u"bigtiff-directory-near-2e64.tif"_s);
    QVERIFY(!doc.importFile(far));
    QCOMPARE(doc.lastError().number, qint32(ImgXErrorCode::CorruptImage));
    QCOMPARE(ImgXSupport::pageCount(far), 0);
    // A page larger than any scanner makes is refused with a clear word before anything is allocated.
    QVERIFY(!doc.importFile(dir.filePath(u"page-beyond-any-scanner.tif"_s)));
    QVERIFY2(doc.lastError().description.contains(u"larger than any scanner"_s),
             qPrintable(doc.lastError().description));
}

// A directory that cannot be read (a required tag lost) is no page: the file opens with the others,
// says how many were left out, and counts the same pages in the page count query.
void TstImgXHostile::unreadableLaterDirectories_data()
{
    QTest::addColumn<QList<int>>("damaged"); // directories whose ImageLength is lost or made too tall
    QTest::addColumn<quint32>("height");      // 0: the tag is renamed away
    QTest::addColumn<int>("pages");
    QTest::newRow("last") << QList<int>{3} << 0u << 3;
    QTest::newRow("second") << QList<int>{1} << 0u << 3;
    QTest::newRow("two of four") << QList<int>{1, 2} << 0u << 2;
    QTest::newRow("first") << QList<int>{0} << 0u << 3;
    QTest::newRow("all") << QList<int>{0, 1, 2, 3} << 0u << 0;
    // A page taller than any page read here is no page either, never one that cannot be shown.
    QTest::newRow("second taller than any page") << QList<int>{1} << 65528u << 3;
    QTest::newRow("first and last of 4 billion rows") << QList<int>{0, 3} << 0xFFFFFFFFu << 2;
    QTest::newRow("all taller than any page") << QList<int>{0, 1, 2, 3} << 30000u << 0;
}

void TstImgXHostile::unreadableLaterDirectories()
{
    QFETCH(QList<int>, damaged);
    QFETCH(quint32, height);
    QFETCH(int, pages);
    QByteArray data = validFile(imgTIF);
    QVERIFY(!data.isEmpty());
    for (int dir : damaged) {
        const qsizetype e = entryOf(data, dir, TIFFTAG_IMAGELENGTH);
        QVERIFY(e > 0);
        if (height == 0) {
            put16(data, e, 65000); // a private tag now: the directory has no height
        } else {
            put16(data, e + 2, TIFF_LONG);
            put32(data, e + 4, 1);
            put32(data, e + 8, height);
        }
    }
    const QString file = path(u"lost-pages.tif"_s);
    QVERIFY(writeAll(file, data));
    ImgX doc;
    if (pages == 0) {
        QVERIFY(!doc.importFile(file));
        QVERIFY(ImgXErrorCode::isNotAnImage(doc.lastError().number));
        QCOMPARE(ImgXSupport::pageCount(file), 0);
        if (height > 0)
            QVERIFY2(doc.lastError().description.contains(u"larger than any scanner"_s),
                     qPrintable(doc.lastError().description));
        return;
    }
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), pages);
    QCOMPARE(doc.leftOutPages(), damaged);
    QCOMPARE(ImgXSupport::pageCount(file), pages);
    // Written over, the file would lose them: it stays as it was, also when reached by another name.
    QVERIFY(!doc.exportFile(file, imgTIF));
    QCOMPARE(doc.lastError().number, qint32(ImgXErrorCode::PagesLeftOut));
    QVERIFY(!doc.exportFile(QFileInfo(file).dir().filePath(u"../%1/lost-pages.tif"_s.arg(QFileInfo(file).dir().dirName())), imgTIF));
    QCOMPARE(readAll(file), data);
    for (const ImgXImage &page : doc.pages()) {
        QVERIFY(page.width() >= 1 && page.height() >= 1);
        QVERIFY(!page.image().isNull());
    }
    // What is saved is what was shown: the readable pages, whole.
    const QString out = path(u"kept-pages.tif"_s);
    QVERIFY(doc.exportFile(out, imgTIF));
    ImgX back;
    QVERIFY(back.importFile(out));
    QCOMPARE(back.count(), pages);
    QCOMPARE(back.unreadablePages(), 0);
    exercise(u"lost pages"_s, data, imgTIF);
}

// Opening reads a later directory only when its page is needed. One whose entries look whole but that
// libtiff refuses (a palette page without its colour map) is a page of the size it gives that fails
// to decode, with the reason; the file opens, the other pages show, and a save writes nothing.
void TstImgXHostile::laterDirectoryOnlyLibtiffRefuses()
{
    QByteArray data = validFile(imgTIF);
    QVERIFY(!data.isEmpty());
    const qsizetype e = entryOf(data, 1, TIFFTAG_PHOTOMETRIC);
    QVERIFY(e > 0);
    put16(data, e + 8, PHOTOMETRIC_PALETTE);
    const QString file = path(u"no-colour-map.tif"_s);
    QVERIFY(writeAll(file, data));
    ImgX doc;
    QVERIFY2(doc.importFile(file), qPrintable(doc.lastError().description));
    QCOMPARE(doc.count(), 4);
    QCOMPARE(ImgXSupport::pageCount(file), 4);
    QCOMPARE(doc.page(1).size(), QSize(96, 64));
    QVERIFY(doc.page(1).image().isNull());
    QVERIFY(ImgXErrorCode::isNotAnImage(doc.page(1).decodeError().number));
    QVERIFY(!doc.page(1).decodeError().description.isEmpty());
    for (int i : {0, 2, 3})
        QVERIFY(!doc.page(i).image().isNull());
    const QString out = path(u"no-colour-map-saved.tif"_s);
    QVERIFY(!doc.exportFile(out, imgTIF));
    QVERIFY(!QFile::exists(out));
    exercise(u"no colour map"_s, data, imgTIF);
}

// Every decoder on damaged input (strips and tiles cut short, pictures cut off) gives the same pixels
// whatever the memory it gets held before: decoded in two processes under different malloc fill
// bytes, every page is alike. A page that differs shows memory no decoder wrote.
void TstImgXHostile::damagedFilesDecodeAlikeWhateverTheMemory()
{
    QStringList files;
    const auto keep = [&](const QString &name, const QByteArray &data) {
        QVERIFY(!data.isEmpty());
        QVERIFY(writeAll(path(name), data));
        files << path(name);
    };
    // Fax pages: 17 G4 pages, page 9 with a third of its strip, another with 5 bytes of it; G3,
    // LZW grey and colour pages likewise.
    const QString fax = path(u"fax17.tif"_s);
    QVERIFY(writeTiff(fax, QList<PageKind>(17, G4Page), 64));
    QByteArray d = readAll(fax);
    const qsizetype count = entryOf(d, 8, TIFFTAG_STRIPBYTECOUNTS) + 8;
    put32(d, count, get(d, count, 4) / 3);
    keep(u"g4-short-strip.tif"_s, d);
    put32(d, count, 5);
    keep(u"g4-five-bytes.tif"_s, d);
    for (const PageKind kind : {G3Page, GreyLzwPage, RgbLzwPage}) {
        QVERIFY(writeTiff(fax, {kind, kind}, 64));
        d = readAll(fax);
        const qsizetype at = entryOf(d, 1, TIFFTAG_STRIPBYTECOUNTS) + 8;
        put32(d, at, get(d, at, 4) / 3);
        keep(u"short-strip-%1.tif"_s.arg(int(kind)), d);
    }
    // A tiled G4 page whose second tile is cut to 3 bytes.
    {
        TIFF *tif = TIFFOpen(QFile::encodeName(fax).constData(), "w");
        QVERIFY(tif);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 64);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 48);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 32);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        QByteArray tile(TIFFTileSize(tif), '\0');
        for (int t = 0; t < 6; ++t) {
            for (int i = 0; i < tile.size(); ++i)
                tile[i] = char((i + t) % 5 == 0 ? 0xf0 : 0);
            QVERIFY(TIFFWriteEncodedTile(tif, uint32_t(t), tile.data(), tile.size()) >= 0);
        }
        TIFFClose(tif);
        d = readAll(fax);
        const qsizetype counts = entryOf(d, 0, TIFFTAG_TILEBYTECOUNTS);
        QVERIFY(counts > 0);
        put32(d, get(d, counts + 8, 4) + 4, 3);
        keep(u"g4-short-tile.tif"_s, d);
    }
    // Every other format, its file cut off at two places.
    QImage big(120, 90, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y)
        for (int x = 0; x < big.width(); ++x)
            big.setPixel(x, y, qRgb(x * 2, y * 2, (x / 8 + y / 8) % 2 ? 200 : 30));
    QList<QPair<QString, QByteArray>> pictures{
        {u"gif"_s, literalGif(big.convertToFormat(QImage::Format_Indexed8))}};
    for (const ImgFileType format : {imgBMP, imgPNG, imgJPG, imgPSD, imgTGA, imgPCX, imgWBMP}) {
        ImgX doc;
        QVERIFY(doc.importImage(big, 150, 150));
        const QString name = path(u"whole.%1"_s.arg(extensionOf(format)));
        if (!ImgXSupport::canWrite(format) || !doc.exportFile(name, format))
            continue;
        pictures.append({extensionOf(format), readAll(name)});
    }
    // BMP of 1 and 8 bits a pixel, plain and RLE, and a top-down one.
    for (const QImage::Format kind : {QImage::Format_Mono, QImage::Format_Indexed8}) {
        for (const bool rle : {false, true}) {
            ImgX doc;
            QVERIFY(doc.importImage(big.convertToFormat(kind, Qt::ThresholdDither), 150, 150));
            doc.exportOptions().bmpUseRleCompression = rle;
            QVERIFY(doc.exportFile(path(u"whole-few.bmp"_s), imgBMP));
            pictures.append({u"bmp"_s, readAll(path(u"whole-few.bmp"_s))});
        }
    }
    QByteArray topDown = pictures.at(1).second; // the 24-bit BMP, its rows stored top row first
    put32(topDown, 22, quint32(-qint32(get(topDown, 22, 4))));
    pictures.append({u"bmp"_s, topDown});
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const QByteArray &whole = pictures.at(i).second;
        for (const int percent : {45, 80})
            keep(u"cut-%1-%2.%3"_s.arg(i).arg(percent).arg(pictures.at(i).first),
                 whole.left(whole.size() * percent / 100));
    }

    QStringList runs;
    for (const char *fill : {"85", "170"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"MALLOC_PERTURB_"_s, QString::fromLatin1(fill));
        env.insert(u"MALLOC_MMAP_THRESHOLD_"_s, u"16777216"_s); // large buffers from the heap, filled too
        env.insert(u"ASAN_OPTIONS"_s,
                   env.value(u"ASAN_OPTIONS"_s) + u":malloc_fill_byte=%1:max_malloc_fill_size=16777216"_s.arg(
                                                      QString::fromLatin1(fill)));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList{u"--page-digests"_s} + files);
        QVERIFY(child.waitForFinished(TestWait::bound()));
        QCOMPARE(child.exitCode(), 0);
        runs << QString::fromLatin1(child.readAllStandardOutput());
    }
    QVERIFY(runs.at(0).count(u'\n') >= files.size());
    const QStringList first = runs.at(0).split(u'\n'), second = runs.at(1).split(u'\n');
    QCOMPARE(first.size(), second.size());
    QStringList unlike;
    for (qsizetype i = 0; i < first.size(); ++i)
        if (first.at(i) != second.at(i))
            unlike << first.at(i) + u" / "_s + second.at(i).section(u' ', -1);
    QVERIFY2(unlike.isEmpty(), qPrintable(unlike.join(u'\n')));
    // The short fax page opens, damaged, with its neighbours whole.
    const auto line = [&](const QString &start) { return first.filter(start).value(0); };
    QVERIFY2(line(u"g4-short-strip.tif 8 "_s).contains(u" damaged "_s), qPrintable(runs.at(0)));
    QVERIFY(line(u"g4-short-strip.tif 7 "_s).contains(u" whole "_s));
}

// Every format the engine reads, cut short at 10, 50 and 90 % of its data and with codes no decoder
// takes in it: the file is refused, or a page opens damaged (told, and refused by every writer);
// never a whole clean page. Bytes that hold plain pixels (no codes) can only be cut.
void TstImgXHostile::everyDecoderTellsDamage_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("extension");
    for (const DamageCase &c : damageCases(m_dir.path()))
        QTest::newRow(qPrintable(c.name)) << c.data << c.extension;
}

void TstImgXHostile::everyDecoderTellsDamage()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, extension);
    const QString row = QString::fromLatin1(QTest::currentDataTag());
    const bool plain = row.contains(u"tiff none"_s) || row.startsWith(u"bmp 24"_s) || row.startsWith(u"bmp 8"_s) ||
                       row.startsWith(u"bmp 1"_s) || row.startsWith(u"tga,"_s) || row.startsWith(u"psd,"_s) ||
                       row.startsWith(u"wbmp"_s);
    if (plain && row.endsWith(u"bad code"_s))
        QSKIP("plain pixels: every byte is a pixel, none is a code");
    QVERIFY(!data.isEmpty());
    const QString file = path(u"damaged."_s + extension);
    QVERIFY(writeAll(file, data));
    ImgX doc;
    const QString result = opening(file, doc);
    if (result == u"refused"_s)
        QVERIFY(!doc.lastError().description.isEmpty());
    const QString out = path(u"written."_s + extension);
    for (const ImgFileType format : {imgTIF, ImgFileTypes::fromFileName(file)}) {
        if (result == u"damaged"_s && ImgXSupport::canWrite(format)) {
            QVERIFY(!doc.exportFile(out, format));
            QVERIFY(!QFile::exists(out));
        }
    }
    qInfo("%s -> %s", qPrintable(row), qPrintable(result));
    if (row.endsWith(u"whole"_s))
        QCOMPARE(result, u"WHOLE"_s);
    else
        QVERIFY2(result != u"WHOLE"_s, "a damaged file opened as a whole clean page");
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--page-digests") == 0) {
        QGuiApplication app(argc, argv);
        return printPageDigests(QCoreApplication::arguments().mid(2));
    }
    if (argc > 2 && qstrcmp(argv[1], "--damaged-files") == 0) {
        QGuiApplication app(argc, argv);
        return writeDamageCases(QString::fromLocal8Bit(argv[2]));
    }
    QGuiApplication app(argc, argv);
    TstImgXHostile tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_imgx_hostile.moc"
