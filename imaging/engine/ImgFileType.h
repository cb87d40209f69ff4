#pragma once

#include <QString>

// Image file formats by their engine format code. The values are part of the control's public
// interface and are handed to the engine unchanged.
enum ImgFileType : int {
    imgUnknown = 0,
    imgJPG = 1,
    imgPNG = 2,
    imgTIF = 3,
    imgPCX = 4,
    imgTGA = 5,
    imgBMP = 6,
    imgWMF = 7,
    imgEMF = 8,
    imgPSD = 9,
    imgWBMP = 10,
    imgGIF = 11,
    imgTLA = 12,
};

namespace ImgFileTypes {
// Lower-case default extension without the dot ("tif", "wbmp"); empty for imgUnknown.
QString extension(ImgFileType type);
// Format from a file name's extension (case-insensitive; "tiff" and "jpeg" too); imgUnknown otherwise.
ImgFileType fromFileName(const QString &fileName);
// Upper-case short name used in messages ("TIF", "WBMP").
QString name(ImgFileType type);
bool isValid(int code);
} // namespace ImgFileTypes
