#include "ImgXRender.h"
#include "ImgX.h"

#include <QPagedPaintDevice>
#include <QPainter>

namespace ImgXRender {
void drawPage(QPainter &, const ImgXImage &, const QRectF &, bool) {}
QImage thumbnail(const ImgXImage &, QSize) { return {}; }
ImgXError printPages(QPagedPaintDevice &, const ImgX &, const QList<int> &, double) { return {}; }
} // namespace ImgXRender
