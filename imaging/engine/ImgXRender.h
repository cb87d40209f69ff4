#pragma once

#include "ImgXError.h"
#include "ImgXImage.h"

#include <QList>
#include <QRectF>
#include <QString>

class ImgX;
class QPainter;
class QPagedPaintDevice;

// Showing and printing pages in their true proportions (see ImgXPageMapping).
namespace ImgXRender {
// Paints the page into target (device coordinates of the painter), stretched to fill it. Callers
// compute target from page.mapping(). smooth: bilinear filtering (display smoothing).
void drawPage(QPainter &painter, const ImgXImage &page, const QRectF &target, bool smooth = true);
// A smooth picture of the page fitted in box with its true proportions (thumbnails).
QImage thumbnail(const ImgXImage &page, QSize box);
// Prints pages (0-based indexes of doc) on device, one page each, at their physical size (reduced to
// fit the printable area inside margins, never enlarged). Errors carry ImgXErrorCode::PrintFailed.
ImgXError printPages(QPagedPaintDevice &device, const ImgX &doc, const QList<int> &pages,
                     double marginMm = 10.0);
} // namespace ImgXRender
