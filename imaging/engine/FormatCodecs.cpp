#include "FormatCodecs.h"

namespace FormatCodecs {
ImgFileType detect(const QString &, const QByteArray &) { return imgUnknown; }
bool canRead(ImgFileType) { return false; }
bool canWrite(ImgFileType) { return false; }
bool read(const QString &, const QByteArray &, ImgFileType, ImgXImage *, ImgXError *) { return false; }
bool write(const ImgXImage &, ImgFileType, const ImgXExportOptions &, QByteArray *, ImgXError *) { return false; }
} // namespace FormatCodecs
