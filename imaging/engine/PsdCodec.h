#pragma once

// Engine-internal: Photoshop files (the merged image only), since the GraphicsMagick build here has
// no PSD coder. Reads 1-bit, grey, indexed and RGB(A) 8-bit files, raw or RLE; writes RGB(A) raw.

#include "ImgXError.h"
#include "ImgXImage.h"

#include <QByteArray>

namespace PsdCodec {
bool hasSignature(const QByteArray &data);
bool read(const QByteArray &data, ImgXImage *page, ImgXError *error);
bool write(const ImgXImage &page, QByteArray *out);
} // namespace PsdCodec
