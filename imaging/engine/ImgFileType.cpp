#include "ImgFileType.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace ImgFileTypes {

QString extension(ImgFileType type)
{
    switch (type) {
    case imgJPG:
        return u"jpg"_s;
    case imgPNG:
        return u"png"_s;
    case imgTIF:
        return u"tif"_s;
    case imgPCX:
        return u"pcx"_s;
    case imgTGA:
        return u"tga"_s;
    case imgBMP:
        return u"bmp"_s;
    case imgWMF:
        return u"wmf"_s;
    case imgEMF:
        return u"emf"_s;
    case imgPSD:
        return u"psd"_s;
    case imgWBMP:
        return u"wbmp"_s;
    case imgGIF:
        return u"gif"_s;
    case imgTLA:
        return u"tla"_s;
    case imgUnknown:
        break;
    }
    return {};
}

QString name(ImgFileType type)
{
    return extension(type).toUpper();
}

ImgFileType fromFileName(const QString &fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == "tiff"_L1)
        return imgTIF;
    if (ext == "jpeg"_L1 || ext == "jpe"_L1 || ext == "jfif"_L1)
        return imgJPG;
    for (int t = imgJPG; t <= imgTLA; ++t) {
        if (ext == extension(ImgFileType(t)))
            return ImgFileType(t);
    }
    return imgUnknown;
}

bool isValid(int code)
{
    return code >= imgJPG && code <= imgTLA;
}

} // namespace ImgFileTypes
