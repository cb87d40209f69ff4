#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

// The one mapping between page pixels and physical size. Pages may have different horizontal and
// vertical resolutions (a 204x98 dpi fax page): its pixels are twice as tall as wide.
//
// View space is "square pixels at the horizontal resolution": at zoom 1 a page column is one view
// pixel and a page row is xres/yres view pixels, so a 1728x1100 page at 204x98 dpi shows as
// 1728x2290. Every place that shows, marks or prints a page goes through this class.
class ImgXPageMapping
{
public:
    ImgXPageMapping() = default;
    ImgXPageMapping(QSize pixels, double xDpi, double yDpi);

    QSize pixelSize() const { return m_pixels; }
    double xDpi() const { return m_xDpi; }
    double yDpi() const { return m_yDpi; }
    // View rows per page row (xres / yres); 1 for square pixels.
    double yStretch() const { return m_xDpi / m_yDpi; }

    // Size in inches and in millimetres.
    QSizeF physicalSizeInches() const;
    QSizeF physicalSizeMm() const;

    // View space (see above), scaled by zoom.
    QSizeF viewSize(double zoom = 1.0) const;
    QPointF pixelToView(QPointF pixel, double zoom = 1.0) const;
    QPointF viewToPixel(QPointF view, double zoom = 1.0) const;
    QRectF pixelToView(const QRectF &pixels, double zoom = 1.0) const;
    // The page pixels a view rectangle covers, clipped to the page (empty when outside).
    QRect viewToPixel(const QRectF &view, double zoom = 1.0) const;
    QTransform pixelToViewTransform(double zoom = 1.0) const;

    // True physical size on a device of the given resolution (a printer, a PDF writer).
    QSizeF deviceSize(double deviceDpiX, double deviceDpiY) const;
    QTransform pixelToDeviceTransform(double deviceDpiX, double deviceDpiY) const;

    // Largest rectangle of the page's true proportions that fits in box, centred in it.
    QRectF fitInto(const QRectF &box) const;

private:
    QSize m_pixels;
    double m_xDpi = 96.0;
    double m_yDpi = 96.0;
};
