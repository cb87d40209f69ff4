// Effects and drawing on the current page.
#include "ImgX.h"
#include "ImgXPageSource.h"

#include <QPainter>
#include <QTransform>

#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace {


// Quarter turns of a 1-bit image, bit by bit, so the page stays 1-bit.
QImage rotateMono(const QImage &src, int quarterTurns)
{
    const int w = src.width(), h = src.height();
    if (quarterTurns == 2) {
        QImage dst(w, h, QImage::Format_Mono);
        dst.setColorTable(src.colorTable());
        dst.fill(0);
        for (int y = 0; y < h; ++y) {
            const uchar *s = src.constScanLine(y);
            uchar *d = dst.scanLine(h - 1 - y);
            for (int x = 0; x < w; ++x) {
                if (s[x >> 3] & (0x80 >> (x & 7))) {
                    const int dx = w - 1 - x;
                    d[dx >> 3] |= uchar(0x80 >> (dx & 7));
                }
            }
        }
        return dst;
    }
    QImage dst(h, w, QImage::Format_Mono);
    dst.setColorTable(src.colorTable());
    dst.fill(0);
    for (int y = 0; y < h; ++y) {
        const uchar *s = src.constScanLine(y);
        // 90 clockwise: (x, y) -> (h-1-y, x); 270: (x, y) -> (y, w-1-x)
        const int dx = quarterTurns == 1 ? h - 1 - y : y;
        const uchar bit = uchar(0x80 >> (dx & 7));
        const int byte = dx >> 3;
        for (int xb = 0; xb < (w + 7) / 8; ++xb) {
            const uchar v = s[xb];
            if (!v)
                continue;
            for (int b = 0; b < 8; ++b) {
                if (!(v & (0x80 >> b)))
                    continue;
                const int x = xb * 8 + b;
                if (x >= w)
                    break;
                const int dy = quarterTurns == 1 ? x : w - 1 - x;
                dst.scanLine(dy)[byte] |= bit;
            }
        }
    }
    return dst;
}

// Nearest-neighbour resize of a 1-bit image that stays 1-bit.
QImage resizeMono(const QImage &src, int w, int h)
{
    QImage dst(w, h, QImage::Format_Mono);
    dst.setColorTable(src.colorTable());
    dst.fill(0);
    std::vector<int> xs(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        xs[size_t(x)] = std::min(src.width() - 1, int(qint64(x) * src.width() / w));
    for (int y = 0; y < h; ++y) {
        const int sy = std::min(src.height() - 1, int(qint64(y) * src.height() / h));
        const uchar *s = src.constScanLine(sy);
        uchar *d = dst.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int sx = xs[size_t(x)];
            if (s[sx >> 3] & (0x80 >> (sx & 7)))
                d[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    return dst;
}

QImage scaledPage(const QImage &src, int width, int height, int mode)
{
    if (src.format() == QImage::Format_Mono && mode != ImgXResize::Thumbnail)
        return resizeMono(src, width, height);
    if (mode == ImgXResize::Nearest)
        return src.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QImage s = src;
    if (s.format() == QImage::Format_Mono)
        s = s.convertToFormat(QImage::Format_Grayscale8);
    else if (s.format() == QImage::Format_Indexed8)
        s = s.convertToFormat(s.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    return s.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage toColour(const QImage &img)
{
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

} // namespace

bool ImgX::requireCurrent(ImgXImage **out)
{
    if (!hasPage(m_current))
        return fail(ImgXErrorCode::NoImage, u"There is no image"_s);
    ImgXImage &p = m_pages[m_current];
    if (p.image().isNull()) {
        m_error = p.decodeError();
        return false;
    }
    *out = &p;
    return true;
}

bool ImgX::rotate(double angle, const QColor &background, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    if (!std::isfinite(angle))
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid angle"_s);
    double a = std::fmod(angle, 360.0);
    if (a < 0)
        a += 360.0;
    const QImage &src = p->image();
    QImage out;
    const bool quarter = std::fabs(a - std::round(a / 90.0) * 90.0) < 1e-9;
    const int turns = quarter ? int(std::lround(a / 90.0)) % 4 : -1;
    if (turns == 0)
        return ok(); // nothing to turn
    if (quarter && src.format() == QImage::Format_Mono) {
        out = rotateMono(src, turns);
    } else if (quarter) {
        out = src.transformed(QTransform().rotate(turns * 90.0));
    } else {
        QImage c = toColour(src);
        const QRect bounds = QTransform().rotate(a).mapRect(c.rect());
        if (!ImgXPageLimit::fits(bounds.width(), bounds.height()))
            return fail(ImgXErrorCode::InvalidArgument, u"The turned page would be too large"_s);
        out = QImage(bounds.size(), c.format());
        out.fill(background);
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(out.width() / 2.0, out.height() / 2.0);
        painter.rotate(a);
        painter.drawImage(QPointF(-c.width() / 2.0, -c.height() / 2.0), c);
    }
    if (out.isNull())
        return fail(ImgXErrorCode::NoImage, u"Out of memory while turning the page"_s);
    record(undoText, u"Rotate"_s);
    p->setImage(out);
    finishEdit();
    return ok();
}

bool ImgX::resize(int width, int height, int mode, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    const ImgXPageMapping m = p->mapping();
    const QSizeF phys = m.viewSize(1.0); // square-pixel proportions
    if (width <= 0 && height <= 0)
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid size"_s);
    // A 0 side keeps the page's true proportions (rows scaled back to the page's own resolution).
    if (height <= 0)
        height = std::max(1, int(std::lround(width * phys.height() / phys.width() / m.yStretch())));
    if (width <= 0)
        width = std::max(1, int(std::lround(height * m.yStretch() * phys.width() / phys.height())));
    if (!ImgXPageLimit::fits(width, height))
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid size %1x%2"_s.arg(width).arg(height));
    const QImage &src = p->image();
    if (src.size() == QSize(width, height))
        return ok();
    const QImage out = scaledPage(src, width, height, mode);
    if (out.isNull())
        return fail(ImgXErrorCode::NoImage, u"Out of memory while resizing the page"_s);
    record(undoText, u"Resize"_s);
    p->setImage(out);
    finishEdit();
    return ok();
}

bool ImgX::convertPixelFormat(ImgXPixelFormat format, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    if (p->pixelFormat() == format)
        return ok();
    const QImage &src = p->image();
    QImage out;
    switch (format) {
    case ImgXPixelFormat::Bilevel:
        out = flattenedOnWhite(src).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        break;
    case ImgXPixelFormat::Grey8:
        out = flattenedOnWhite(src).convertToFormat(QImage::Format_Grayscale8);
        break;
    case ImgXPixelFormat::Indexed8:
        out = src.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
        break;
    case ImgXPixelFormat::Rgb24:
        out = src.convertToFormat(QImage::Format_RGB32);
        break;
    case ImgXPixelFormat::Argb32:
        out = src.convertToFormat(QImage::Format_ARGB32);
        break;
    case ImgXPixelFormat::Invalid:
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid pixel format"_s);
    }
    if (out.isNull())
        return fail(ImgXErrorCode::NoImage, u"Out of memory while converting the page"_s);
    record(undoText, u"Convert"_s);
    p->setImage(out);
    finishEdit();
    return ok();
}

bool ImgX::setResolution(int xDpi, int yDpi, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    if (!ImgXResolution::known(xDpi) || !ImgXResolution::known(yDpi))
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid resolution %1x%2"_s.arg(xDpi).arg(yDpi));
    record(undoText, u"Resolution"_s);
    p->setResolution(xDpi, yDpi);
    finishEdit();
    return ok();
}

bool ImgX::changeResolution(int xDpi, int yDpi, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    if (!ImgXResolution::known(xDpi) || !ImgXResolution::known(yDpi) || p->xResolution() <= 0 ||
        p->yResolution() <= 0)
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid resolution %1x%2"_s.arg(xDpi).arg(yDpi));
    const int w = int(std::floor(double(xDpi) * p->width() / p->xResolution()));
    const int h = int(std::floor(double(yDpi) * p->height() / p->yResolution()));
    if (!ImgXPageLimit::fits(w, h))
        return fail(ImgXErrorCode::InvalidArgument, u"Invalid size %1x%2"_s.arg(w).arg(h));
    const QImage out = scaledPage(p->image(), w, h, ImgXResize::Page);
    if (out.isNull())
        return fail(ImgXErrorCode::NoImage, u"Out of memory while resampling the page"_s);
    // One level for both: undo gives back the old pixels with the old resolution.
    record(undoText, u"Resolution"_s);
    p->setImage(out);
    p->setResolution(xDpi, yDpi);
    finishEdit();
    return ok();
}

bool ImgX::fillRect(const QRect &pixels, const QColor &colour, int opacity, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    const QRect r = pixels.normalized().intersected(QRect(QPoint(0, 0), p->size()));
    if (r.isEmpty() || opacity <= 0)
        return ok();
    opacity = std::min(opacity, 255);
    QImage img = p->image();
    const bool black = colour.red() == 0 && colour.green() == 0 && colour.blue() == 0;
    const bool white = colour.red() == 255 && colour.green() == 255 && colour.blue() == 255;
    if (img.format() == QImage::Format_Mono && opacity == 255 && (black || white)) {
        // A bit fill: the page stays 1-bit (index 1 is black).
        for (int y = r.top(); y <= r.bottom(); ++y) {
            uchar *line = img.scanLine(y);
            for (int x = r.left(); x <= r.right(); ++x) {
                const uchar bit = uchar(0x80 >> (x & 7));
                if (black)
                    line[x >> 3] |= bit;
                else
                    line[x >> 3] &= uchar(~bit);
            }
        }
    } else {
        if (img.format() == QImage::Format_Mono || img.format() == QImage::Format_Indexed8 ||
            (img.format() == QImage::Format_Grayscale8 &&
             colour != QColor::fromRgb(qGray(colour.rgb()), qGray(colour.rgb()), qGray(colour.rgb()))))
            img = toColour(img);
        QColor c = colour;
        c.setAlpha(opacity);
        QPainter painter(&img);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.fillRect(r, c);
    }
    record(undoText, u"Draw"_s);
    p->setImage(img);
    finishEdit();
    return ok();
}

bool ImgX::drawImage(const QImage &picture, QPoint pos, int opacity, bool useAlpha, const QString &undoText)
{
    ImgXImage *p = nullptr;
    if (!requireCurrent(&p))
        return false;
    if (picture.isNull())
        return fail(ImgXErrorCode::InvalidArgument, u"No picture to draw"_s);
    if (opacity <= 0 || !QRect(pos, picture.size()).intersects(QRect(QPoint(0, 0), p->size())))
        return ok();
    QImage img = toColour(p->image());
    const QImage pic = useAlpha ? picture.convertToFormat(QImage::Format_ARGB32)
                                : picture.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&img);
    painter.setOpacity(std::min(opacity, 255) / 255.0);
    painter.drawImage(pos, pic);
    painter.end();
    record(undoText, u"Draw Image"_s);
    p->setImage(img);
    finishEdit();
    return ok();
}
