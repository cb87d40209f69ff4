#include "FaxFixture.h"
#include "FaxFixtures.h"

#include <QByteArray>
#include <QFile>

#include <tiffio.h>

#include <functional>
#include <vector>

bool FaxFixture::writeFax(const QString &path, int pages, int width, int height, int xDpi, int yDpi,
                          int compression, bool dense)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    const int stride = (width + 7) / 8;
    std::vector<unsigned char> row(stride);
    for (int p = 0; p < pages; ++p) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(xDpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(yDpi));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, p, pages);
        if (compression == COMPRESSION_CCITTFAX3)
            TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, 0);
        const int barRows = 10 + 20 * p;
        for (int y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            if (y < barRows) {
                // A bar across the left half (1 = black with min-is-white).
                for (int x = 0; x < width / 2; ++x)
                    row[x / 8] |= 0x80 >> (x % 8);
            } else if (dense && (y / 12) % 2 == 1) {
                // Lines of "words": runs of black and white of varying length, like typed text.
                unsigned seed = unsigned(y * 7919 + p * 104729);
                for (int x = 100; x < width - 100;) {
                    seed = seed * 1103515245u + 12345u;
                    const int run = 1 + int((seed >> 16) % 9);
                    if ((seed >> 8) & 1) {
                        for (int k = x; k < x + run && k < width; ++k)
                            row[k / 8] |= 0x80 >> (k % 8);
                    }
                    x += run;
                }
            } else if (y % 40 == 0) {
                for (int b = 0; b < stride; ++b)
                    row[b] = (b / 2) % 2 ? 0xFF : 0x00; // a dashed line
            }
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

bool FaxFixture::writeDamaged(const QString &path)
{
    const QString whole = path + QStringLiteral(".whole.tif");
    if (!writeFax(whole, 1))
        return false;
    QFile in(whole);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = in.readAll();
    in.close();
    QFile::remove(whole);
    // Keep the header, spoil everything after it.
    bytes.truncate(64);
    bytes.append(QByteArray(200, '\xFF'));
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

bool FaxFixture::writeFaxWithBadPage(const QString &path, int pages, int badPage)
{
    if (!writeFax(path, pages, 1728, 1100, 204, 98, 4, true))
        return false;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return false;
    uint64_t *offsets = nullptr, *counts = nullptr;
    const bool found = TIFFSetDirectory(tif, tdir_t(badPage)) &&
                       TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets) &&
                       TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    const qint64 offset = found ? qint64(offsets[0]) : 0, count = found ? qint64(counts[0]) : 0;
    TIFFClose(tif);
    if (!found)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset))
        return false;
    return f.write(QByteArray(int(count), '\0')) == count;
}

static bool rewrite(const QString &path, const std::function<bool(QByteArray &)> &change)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray d = f.readAll();
    return d.startsWith("II") && change(d) && f.seek(0) && f.write(d) == d.size();
}

bool FaxFixture::writeFaxWithShortPage(const QString &path, int pages, int shortPage, int keep)
{
    return writeFax(path, pages, 1728, 1100, 204, 98, 4, true) && rewrite(path, [&](QByteArray &d) {
               return FaxFixtures::setDirectoryEntry(d, shortPage, TIFFTAG_STRIPBYTECOUNTS, quint32(keep));
           });
}

bool FaxFixture::writeFaxWithLostPage(const QString &path, int pages, int lostPage)
{
    return writeFax(path, pages) && rewrite(path, [&](QByteArray &d) {
               const quint32 dir = FaxFixtures::directoryOffsets(d).value(lostPage);
               const auto u16 = [&](qint64 at) { return quint16(uchar(d[at]) | uchar(d[at + 1]) << 8); };
               for (int i = 0; dir && i < u16(dir); ++i)
                   if (u16(dir + 2 + i * 12) == 257) {
                       d[dir + 2 + i * 12 + 1] = char(0xFD);
                       return true;
                   }
               return false;
           });
}

bool FaxFixture::writeLoopingFax(const QString &path, int pages, int from, int to)
{
    return writeFax(path, pages) &&
           rewrite(path, [&](QByteArray &d) { return FaxFixtures::linkDirectory(d, from, to); });
}
