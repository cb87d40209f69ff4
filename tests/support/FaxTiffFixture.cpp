#include "FaxTiffFixture.h"

#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <tiffio.h>

using namespace Qt::StringLiterals;

namespace FaxTiffFixture {

namespace {

constexpr int Width = 1728;

QImage drawPage(int page, int pages, bool fine, const QString &heading, const QStringList &lines)
{
    const int height = fine ? 2200 : 1100;
    QImage image(Width, height, QImage::Format_Mono);
    // Index 0 white, 1 black: the bits then read as fax data with 1 = black.
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);

    QPainter p(&image);
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(Qt::NoBrush);
    // Fax pages are squashed vertically at 98 dpi; draw in a 204x196 frame and scale.
    p.scale(1.0, fine ? 1.0 : 0.5);
    p.drawRect(60, 60, Width - 120, 2200 - 120);
    QFont big(u"DejaVu Sans"_s);
    big.setPixelSize(72);
    big.setBold(true);
    p.setFont(big);
    p.drawText(QRect(100, 100, Width - 200, 120), Qt::AlignLeft | Qt::AlignVCenter, heading);
    QFont body(u"DejaVu Sans"_s);
    body.setPixelSize(40);
    p.setFont(body);
    int y = 300;
    for (const QString &line : lines) {
        p.drawText(QRect(100, y, Width - 200, 60), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += 70;
    }
    p.drawText(QRect(100, 2200 - 200, Width - 200, 60), Qt::AlignRight | Qt::AlignVCenter,
               u"Pagina %1 di %2"_s.arg(page).arg(pages));
    p.setBrush(Qt::black);
    p.drawEllipse(QPoint(300 + 150 * page, 1200), 90, 90);
    p.setBrush(Qt::NoBrush);
    p.drawLine(100, 1500, Width - 100, 1700);
    p.drawRoundedRect(900, 1000, 600, 300, 40, 40);
    p.end();
    return image;
}

} // namespace

bool write(const QString &path, int pages, bool fine, const QString &heading, const QStringList &lines)
{
    QList<QImage> images;
    for (int page = 1; page <= pages; ++page) {
        QImage image = drawPage(page, pages, fine, heading, lines);
        image.setDotsPerMeterX(qRound(204 / 0.0254));
        image.setDotsPerMeterY(qRound((fine ? 196 : 98) / 0.0254));
        images.append(image);
    }
    return writePages(path, images);
}

bool writePages(const QString &path, const QList<QImage> &pages)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    bool ok = !pages.isEmpty();
    const auto dpi = [](int dotsPerMeter, float fallback) {
        return dotsPerMeter > 0 ? float(qRound(dotsPerMeter * 0.0254)) : fallback;
    };
    for (qsizetype page = 0; page < pages.size() && ok; ++page) {
        const QImage &source = pages[page];
        // Index 0 white, 1 black: the bits then read as fax data with 1 = black.
        QImage image = source.format() == QImage::Format_Mono && source.colorTable().size() == 2 &&
                               source.colorTable()[0] == qRgb(255, 255, 255)
                           ? source
                           : source.convertToFormat(QImage::Format_Mono,
                                                    QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)},
                                                    Qt::ThresholdDither);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(image.height()));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpi(source.dotsPerMeterX(), 204.0f));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpi(source.dotsPerMeterY(), 196.0f));
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(page), uint16_t(pages.size()));
        for (int row = 0; row < image.height() && ok; ++row) {
            ok = TIFFWriteScanline(tif, const_cast<uchar *>(image.constScanLine(row)), uint32_t(row), 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    if (!ok)
        QFile::remove(path);
    return ok;
}

} // namespace FaxTiffFixture
