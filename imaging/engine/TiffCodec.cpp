#include "TiffCodec.h"

namespace TiffCodec {
bool hasSignature(const QByteArray &) { return false; }
bool readPages(const QString &, const QByteArray &, int, QList<ImgXImage> *, ImgXError *) { return false; }
bool info(const QByteArray &, ImgXFileInfo *) { return false; }
QVariant tag(const QByteArray &, int, int) { return {}; }
bool write(const QList<ImgXImage> &, TIFCompression, QByteArray *, ImgXError *) { return false; }
} // namespace TiffCodec
