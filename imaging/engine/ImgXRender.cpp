#include "ImgXRender.h"
#include "ImgX.h"

#include <QPagedPaintDevice>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace ImgXRender {

void drawPage(QPainter &painter, const ImgXImage &page, const QRectF &target, bool smooth)
{
    const QImage &img = page.image();
    if (img.isNull() || target.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    // A 1-bit page reduced with plain sampling loses thin strokes; go through grey for smoothing.
    const bool reduce = target.width() < img.width() || target.height() < img.height();
    if (smooth && reduce && img.format() == QImage::Format_Mono)
        painter.drawImage(target, img.convertToFormat(QImage::Format_Grayscale8));
    else
        painter.drawImage(target, img);
    painter.restore();
}

QImage thumbnail(const ImgXImage &page, QSize box)
{
    const QImage &img = page.image();
    if (img.isNull() || box.isEmpty())
        return {};
    const QRectF fit = page.mapping().fitInto(QRectF(QPointF(0, 0), QSizeF(box)));
    const QSize size(std::max(1, qRound(fit.width())), std::max(1, qRound(fit.height())));
    // A bilevel page is smoothed in grey; a palette page keeps its colours.
    QImage src =
        img.format() == QImage::Format_Mono ? img.convertToFormat(QImage::Format_Grayscale8)
        : img.format() == QImage::Format_Indexed8
            ? img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32)
            : img;
    return src.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

ImgXError printPages(QPagedPaintDevice &device, const ImgX &doc, const QList<int> &pages, double marginMm)
{
    if (pages.isEmpty())
        return ImgXError::make(ImgXErrorCode::PrintFailed, u"No pages to print"_s);
    for (int index : pages) {
        if (!doc.hasPage(index))
            return ImgXError::make(ImgXErrorCode::PrintFailed, u"No page %1"_s.arg(index + 1));
    }
    device.setPageMargins(QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        return ImgXError::make(ImgXErrorCode::PrintFailed, u"The printer cannot start the job"_s);
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage()) {
            painter.end();
            return ImgXError::make(ImgXErrorCode::PrintFailed, u"The printer refused a new page"_s);
        }
        const ImgXImage &page = doc.page(pages.at(i));
        if (page.image().isNull()) {
            painter.end();
            return ImgXError::make(
                ImgXErrorCode::PrintFailed,
                u"Page %1 cannot be printed: %2"_s.arg(pages.at(i) + 1).arg(page.decodeError().description));
        }
        // Painter coordinates start at the printable area; print at true size, reduced to fit.
        const QRectF area(0, 0, device.width(), device.height());
        QSizeF size = page.mapping().deviceSize(dpiX, dpiY);
        if (size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        drawPage(painter, page, QRectF(area.topLeft(), size), true);
    }
    if (!painter.end())
        return ImgXError::make(ImgXErrorCode::PrintFailed, u"The print job failed"_s);
    return {};
}

} // namespace ImgXRender
