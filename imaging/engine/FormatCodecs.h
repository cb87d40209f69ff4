#pragma once

// Engine-internal: the formats other than TIFF, on Qt image I/O and GraphicsMagick.

#include "ImgX.h"

#include <QByteArray>
#include <QSize>

namespace FormatCodecs {
// Detects a format Qt or GraphicsMagick reads, by content (by extension for TGA, PCX, WMF).
ImgFileType detect(const QString &fileName, const QByteArray &data);
bool canRead(ImgFileType format);
bool canWrite(ImgFileType format);
bool read(const QString &fileName, const QByteArray &data, ImgFileType format, ImgXImage *page,
          ImgXError *error);
bool write(const ImgXImage &page, ImgFileType format, const ImgXExportOptions &options, QByteArray *out,
           ImgXError *error);
// The page size a reader of `format` finds in the header of `data` (nothing is decoded); an invalid
// size when no reader here takes the header.
QSize headerSize(const QByteArray &data, ImgFileType format);
} // namespace FormatCodecs
