#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Makes fax TIFF files for tests and benchmarks with Ghostscript and libtiff's tools, and reads
// them back with plain libtiff for comparison.
namespace FaxFixtures {
// A PostScript file of `pages` pages, each page different (its number and a bar at its own height).
bool writePostScript(const QString &path, int pages);
// Ghostscript device ("tiffg3", "tiffg32d", "tiffg4", "tifflzw", "tiffgray", "tiff24nc") at dpi.
bool ghostscript(const QString &device, const QString &ps, const QString &out,
                 const QString &dpi = QStringLiteral("204x196"));
// tiffcp with its -c argument ("g3", "g3:2d", "g4", "lzw", "none", "packbits", "zip").
// extra: further tiffcp options ("-f", "lsb2msb", "-r", "64", ...).
bool tiffcp(const QString &compression, const QStringList &inputs, const QString &out,
            const QStringList &extra = {});
bool toolsAvailable();

// Plain libtiff facts of page `page`.
struct PageTags
{
    int width = 0, height = 0;
    int compression = 0, photometric = -1, t4Options = 0, subfileType = -1;
    int pageNumber = -1, pageTotal = -1;
    double xRes = 0, yRes = 0;
    int resUnit = 0;
    int bitsPerSample = 0, samplesPerPixel = 0;
};
int pageCount(const QString &tiff);
PageTags tags(const QString &tiff, int page);
// Page pixels as seen by libtiff's RGBA reader, reduced to grey (independent of the engine).
QImage referencePage(const QString &tiff, int page);
// The engine's pixels as grey for comparison.
QImage asGrey(const QImage &image);

// Byte edits of a classic little-endian TIFF, to make damaged files.
// Directory offsets in chain order, up to a link already seen.
QList<quint32> directoryOffsets(const QByteArray &tiff);
// Sets the one-value entry `tag` of directory `dir` (a LONG or SHORT kept in the entry itself).
bool setDirectoryEntry(QByteArray &tiff, int dir, quint16 tag, quint32 value);
// Points the link after directory `from` at directory `to`.
bool linkDirectory(QByteArray &tiff, int from, int to);
} // namespace FaxFixtures
