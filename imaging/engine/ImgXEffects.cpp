// Effects and drawing on the current page.
#include "ImgX.h"

bool ImgX::rotate(double, const QColor &, const QString &) { return false; }
bool ImgX::resize(int, int, int, const QString &) { return false; }
bool ImgX::convertPixelFormat(ImgXPixelFormat, const QString &) { return false; }
bool ImgX::setResolution(int, int, const QString &) { return false; }
bool ImgX::changeResolution(int, int, const QString &) { return false; }
bool ImgX::fillRect(const QRect &, const QColor &, int, const QString &) { return false; }
bool ImgX::drawImage(const QImage &, QPoint, int, bool, const QString &) { return false; }
bool ImgX::requireCurrent(ImgXImage **) { return false; }
