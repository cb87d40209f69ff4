#include "ImgXPageMapping.h"
#include "ImgXImage.h"

#include <algorithm>
#include <cmath>

ImgXPageMapping::ImgXPageMapping(QSize pixels, double xDpi, double yDpi)
    : m_pixels(pixels), m_xDpi(ImgXResolution::orDefault(xDpi)), m_yDpi(ImgXResolution::orDefault(yDpi))
{}

QSizeF ImgXPageMapping::physicalSizeInches() const
{
    return {m_pixels.width() / m_xDpi, m_pixels.height() / m_yDpi};
}

QSizeF ImgXPageMapping::physicalSizeMm() const
{
    return physicalSizeInches() * 25.4;
}

QSizeF ImgXPageMapping::viewSize(double zoom) const
{
    return {m_pixels.width() * zoom, m_pixels.height() * yStretch() * zoom};
}

QPointF ImgXPageMapping::pixelToView(QPointF pixel, double zoom) const
{
    return {pixel.x() * zoom, pixel.y() * yStretch() * zoom};
}

QPointF ImgXPageMapping::viewToPixel(QPointF view, double zoom) const
{
    if (zoom <= 0)
        return {};
    return {view.x() / zoom, view.y() / (yStretch() * zoom)};
}

QRectF ImgXPageMapping::pixelToView(const QRectF &pixels, double zoom) const
{
    return {pixelToView(pixels.topLeft(), zoom), pixelToView(pixels.bottomRight(), zoom)};
}

QRect ImgXPageMapping::viewToPixel(const QRectF &view, double zoom) const
{
    const QRectF r = view.normalized();
    const QPointF a = viewToPixel(r.topLeft(), zoom);
    const QPointF b = viewToPixel(r.bottomRight(), zoom);
    const int left = int(std::floor(a.x()));
    const int top = int(std::floor(a.y()));
    const int right = int(std::ceil(b.x()));
    const int bottom = int(std::ceil(b.y()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(QRect(QPoint(0, 0), m_pixels));
}

QTransform ImgXPageMapping::pixelToViewTransform(double zoom) const
{
    return QTransform::fromScale(zoom, yStretch() * zoom);
}

QSizeF ImgXPageMapping::deviceSize(double deviceDpiX, double deviceDpiY) const
{
    const QSizeF in = physicalSizeInches();
    return {in.width() * deviceDpiX, in.height() * deviceDpiY};
}

QTransform ImgXPageMapping::pixelToDeviceTransform(double deviceDpiX, double deviceDpiY) const
{
    return QTransform::fromScale(deviceDpiX / m_xDpi, deviceDpiY / m_yDpi);
}

QRectF ImgXPageMapping::fitInto(const QRectF &box) const
{
    const QSizeF v = viewSize(1.0);
    if (v.isEmpty() || box.isEmpty())
        return {};
    const double s = std::min(box.width() / v.width(), box.height() / v.height());
    const QSizeF fitted = v * s;
    return {box.x() + (box.width() - fitted.width()) / 2, box.y() + (box.height() - fitted.height()) / 2,
            fitted.width(), fitted.height()};
}
