#pragma once

#include "ImgFileType.h"
#include "ImgXError.h"

#include <QColor>
#include <QSize>
#include <QString>
#include <QVariant>

// What the file query tells without decoding pixels.
struct ImgXFileInfo
{
    ImgFileType format = imgUnknown;
    int pageCount = 0;
    QSize size; // of the first page
    int xResolution = 96;
    int yResolution = 96;
    int bitsPerPixel = 0;
    int tiffCompression = 0; // Compression tag of the first page, 0 when not TIFF
    bool chainLoops = false; // a TIFF whose page chain links back: pageCount pages up to the link
    ImgXError error;         // set when the file is no readable image
    bool isValid() const { return !error.isError() && pageCount > 0; }
};

// Support queries of the engine: file facts, TIFF tags, what can be read and written, colours.
namespace ImgXSupport {
// Format by content (not by name, except for formats without a signature: TGA, PCX, WMF by extension).
ImgFileType detectFormat(const QString &fileName);
ImgXFileInfo fileInfo(const QString &fileName);
int pageCount(const QString &fileName); // 0 when unreadable
// A TIFF tag of page `page` (0-based): integers as qint64/uint, rationals as double, texts as QString,
// arrays as QVariantList. Invalid QVariant when the file, page or tag is missing.
QVariant tiffTag(const QString &fileName, int page, int tag);
bool canRead(ImgFileType format);
bool canWrite(ImgFileType format);
// An OLE colour (0x00BBGGRR) with an opacity 0..255.
QColor colour(quint32 oleColour, int opacity = 255);
quint32 oleColour(const QColor &colour);
} // namespace ImgXSupport
