#include "ImgXSupport.h"
#include "FormatCodecs.h"
#include "TiffCodec.h"

#include <QFile>

#include <algorithm>

namespace ImgXSupport {

static QByteArray readAll(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

ImgFileType detectFormat(const QString &fileName)
{
    const QByteArray data = readAll(fileName);
    if (data.isEmpty())
        return imgUnknown;
    if (TiffCodec::hasSignature(data))
        return imgTIF;
    return FormatCodecs::detect(fileName, data);
}

ImgXFileInfo fileInfo(const QString &fileName)
{
    ImgXFileInfo info;
    QFile f(fileName);
    if (!f.exists()) {
        info.error =
            ImgXError::make(ImgXErrorCode::FileNotFound, QStringLiteral("File not found: %1").arg(fileName));
        return info;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        info.error = ImgXError::make(ImgXErrorCode::ReadFailed, f.errorString());
        return info;
    }
    const QByteArray data = f.readAll();
    if (data.isEmpty()) {
        info.error =
            ImgXError::make(ImgXErrorCode::EmptyFile, QStringLiteral("The file %1 is empty").arg(fileName));
        return info;
    }
    if (TiffCodec::hasSignature(data)) {
        TiffCodec::info(data, &info);
        return info;
    }
    info.format = FormatCodecs::detect(fileName, data);
    if (info.format == imgUnknown) {
        info.error = ImgXError::make(ImgXErrorCode::NotAnImage,
                                     QStringLiteral("The file %1 is not a known image format").arg(fileName));
        return info;
    }
    ImgXImage page;
    if (!FormatCodecs::read(fileName, data, info.format, &page, &info.error))
        return info;
    info.pageCount = 1;
    info.size = page.size();
    info.xResolution = page.xResolution();
    info.yResolution = page.yResolution();
    info.bitsPerPixel = page.bitsPerPixel();
    return info;
}

int pageCount(const QString &fileName)
{
    return fileInfo(fileName).pageCount;
}

QVariant tiffTag(const QString &fileName, int page, int tag)
{
    return TiffCodec::tag(readAll(fileName), page, tag);
}

bool canRead(ImgFileType format)
{
    return format == imgTIF || FormatCodecs::canRead(format);
}

bool canWrite(ImgFileType format)
{
    return format == imgTIF || FormatCodecs::canWrite(format);
}

QColor colour(quint32 oleColour, int opacity)
{
    return QColor(int(oleColour & 0xff), int((oleColour >> 8) & 0xff), int((oleColour >> 16) & 0xff),
                  std::clamp(opacity, 0, 255));
}

quint32 oleColour(const QColor &c)
{
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

} // namespace ImgXSupport
