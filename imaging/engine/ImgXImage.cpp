#include "ImgXImage.h"
#include "ImgXPageSource.h"

#include <algorithm>
#include <cmath>

ImgXError ImgXPageLimit::refused(qint64 width, qint64 height)
{
    if (width < 1 || height < 1)
        return ImgXError::make(
            ImgXErrorCode::CorruptImage,
            QStringLiteral("The picture of %1x%2 pixels has no pixels").arg(width).arg(height));
    return ImgXError::make(ImgXErrorCode::CorruptImage,
                           QStringLiteral("A page of %1x%2 pixels is larger than any scanner or fax makes")
                               .arg(width)
                               .arg(height));
}

ImgXImage::Data &ImgXPageSource::data(ImgXImage &page)
{
    page.detach();
    return *page.d;
}

const ImgXImage::Data &ImgXPageSource::data(const ImgXImage &page)
{
    return *page.d;
}

ImgXPixelFormat pixelFormatOf(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Invalid:
        return ImgXPixelFormat::Invalid;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return ImgXPixelFormat::Bilevel;
    case QImage::Format_Grayscale8:
        return ImgXPixelFormat::Grey8;
    case QImage::Format_Indexed8:
        return ImgXPixelFormat::Indexed8;
    case QImage::Format_RGB32:
        return ImgXPixelFormat::Rgb24;
    default:
        return image.hasAlphaChannel() ? ImgXPixelFormat::Argb32 : ImgXPixelFormat::Rgb24;
    }
}

static const QList<QRgb> &monoTable()
{
    static const QList<QRgb> t{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    return t;
}

QImage flattenedOnWhite(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image;
    const auto onWhite = [](QRgb c) {
        const int a = qAlpha(c), paper = 255 * (255 - a);
        return qRgb((qRed(c) * a + paper + 127) / 255, (qGreen(c) * a + paper + 127) / 255,
                    (qBlue(c) * a + paper + 127) / 255);
    };
    if (image.format() == QImage::Format_Indexed8) {
        // A palette page stays one: its transparent entries become their colour on white.
        QImage out = image.copy();
        QList<QRgb> table = out.colorTable();
        for (QRgb &c : table)
            c = onWhite(c);
        out.setColorTable(table);
        return out;
    }
    QImage out(image.size(), QImage::Format_RGB32);
    if (out.isNull())
        return {};
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        auto *o = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            o[x] = onWhite(in[x]);
    }
    return out;
}

QImage normalisedPageImage(const QImage &source)
{
    if (source.isNull())
        return {};
    QImage img = source;
    switch (img.format()) {
    case QImage::Format_MonoLSB:
        img = img.convertToFormat(QImage::Format_Mono);
        [[fallthrough]];
    case QImage::Format_Mono: {
        QList<QRgb> table = img.colorTable();
        const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
        if (table.isEmpty()) { // pixels made here without a table: 1 is ink
            img.setColorTable(monoTable());
            return img;
        }
        if (table.size() == 1) { // index 1 is past the table: black, as for any palette page
            table.append(black);
            img.setColorTable(table);
        }
        if (table.size() == 2 && table.at(0) == black && table.at(1) == white) {
            // Bilevel pages always read index 0 as white: flip the bits when 0 is the dark colour.
            img.invertPixels();
            img.setColorTable(monoTable());
            return img;
        }
        if (table.size() == 2 && table.at(0) == white && table.at(1) == black)
            return img;
        // Two colours of its own (blue on green, a transparent one): a palette page keeps them.
        img = img.convertToFormat(QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        [[fallthrough]];
    }
    case QImage::Format_Indexed8: {
        // An index past the colour table (a damaged file) shows as opaque black, as Qt draws it: the
        // table is made to hold every index, so each writer keeps the colour that was shown.
        int used = 0;
        for (int y = 0; y < img.height() && used < 256; ++y) {
            const uchar *line = img.constScanLine(y);
            for (int x = 0; x < img.width(); ++x)
                used = std::max(used, line[x] + 1);
        }
        if (used > img.colorCount()) {
            QList<QRgb> table = img.colorTable();
            table.resize(used, qRgb(0, 0, 0));
            img.setColorTable(table);
        }
        return img;
    }
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return img;
    default:
        return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
}

QImage transientPixels(const ImgXImage &page, QImage *scratch, ImgXError *error)
{
    const ImgXImage::Data &d = ImgXPageSource::data(page);
    if (d.decoded || !d.source) {
        const QImage &img = page.image();
        if (img.isNull())
            *error = page.decodeError();
        else if (d.damage.isError())
            *error = d.damage;
        return error->isError() ? QImage() : img;
    }
    d.ensureHeader();
    QImage img = normalisedPageImage(d.source->decode(d.sourceIndex, error, scratch));
    if (!img.isNull() && error->isError()) { // damaged: back to the scratch buffer, not written
        if (scratch)
            *scratch = std::move(img);
        return {};
    }
    if (img.isNull() || img.size() != d.size) {
        if (!error->isError())
            *error =
                ImgXError::make(ImgXErrorCode::CorruptImage, QStringLiteral("The page cannot be decoded"));
        return {};
    }
    return img;
}

ImgXImage::ImgXImage() : d(std::make_shared<Data>()) {}

ImgXImage::ImgXImage(const QImage &image, double xDpi, double yDpi) : d(std::make_shared<Data>())
{
    d->xDpi = ImgXResolution::orDefault(xDpi);
    d->yDpi = ImgXResolution::orDefault(yDpi);
    setImage(image);
}

ImgXImage ImgXImage::blank(QSize size, ImgXPixelFormat format, double xDpi, double yDpi)
{
    if (size.isEmpty())
        return {};
    QImage img;
    switch (format) {
    case ImgXPixelFormat::Bilevel:
        img = QImage(size, QImage::Format_Mono);
        img.setColorTable(monoTable());
        img.fill(0);
        break;
    case ImgXPixelFormat::Grey8:
        img = QImage(size, QImage::Format_Grayscale8);
        img.fill(255);
        break;
    case ImgXPixelFormat::Indexed8:
        img = QImage(size, QImage::Format_Indexed8);
        img.setColorTable({qRgb(255, 255, 255)});
        img.fill(0);
        break;
    case ImgXPixelFormat::Argb32:
        img = QImage(size, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        break;
    case ImgXPixelFormat::Rgb24:
    case ImgXPixelFormat::Invalid:
        img = QImage(size, QImage::Format_RGB32);
        img.fill(Qt::white);
        break;
    }
    return ImgXImage(img, xDpi, yDpi);
}

ImgXImage::~ImgXImage() = default;
ImgXImage::ImgXImage(const ImgXImage &) = default;
ImgXImage &ImgXImage::operator=(const ImgXImage &) = default;
ImgXImage::ImgXImage(ImgXImage &&o) noexcept : d(std::move(o.d))
{
    o.d = std::make_shared<Data>();
}
ImgXImage &ImgXImage::operator=(ImgXImage &&o) noexcept
{
    std::swap(d, o.d);
    return *this;
}

void ImgXImage::detach()
{
    if (d.use_count() > 1)
        d = std::make_shared<Data>(*d);
}

bool ImgXImage::isNull() const
{
    d->ensureHeader();
    return d->size.isEmpty();
}

int ImgXImage::width() const
{
    d->ensureHeader();
    return d->size.width();
}

int ImgXImage::height() const
{
    d->ensureHeader();
    return d->size.height();
}

QSize ImgXImage::size() const
{
    d->ensureHeader();
    return d->size;
}

int ImgXImage::xResolution() const
{
    d->ensureHeader();
    return int(std::lround(d->xDpi));
}

int ImgXImage::yResolution() const
{
    d->ensureHeader();
    return int(std::lround(d->yDpi));
}

double ImgXImage::xDpi() const
{
    d->ensureHeader();
    return d->xDpi;
}

double ImgXImage::yDpi() const
{
    d->ensureHeader();
    return d->yDpi;
}

void ImgXImage::setResolution(double xDpi, double yDpi)
{
    d->ensureHeader();
    detach();
    if (ImgXResolution::known(xDpi))
        d->xDpi = xDpi;
    if (ImgXResolution::known(yDpi))
        d->yDpi = yDpi;
}

void ImgXImage::setXResolution(int dpi)
{
    setResolution(dpi, d->yDpi);
}

void ImgXImage::setYResolution(int dpi)
{
    setResolution(d->xDpi, dpi);
}

ImgXPixelFormat ImgXImage::pixelFormat() const
{
    d->ensureHeader();
    return d->format;
}

bool ImgXImage::hasAlpha() const
{
    d->ensureHeader();
    return d->alpha;
}

int ImgXImage::bitsPerPixel() const
{
    d->ensureHeader();
    switch (d->format) {
    case ImgXPixelFormat::Bilevel:
        return 1;
    case ImgXPixelFormat::Grey8:
    case ImgXPixelFormat::Indexed8:
        return 8;
    case ImgXPixelFormat::Rgb24:
        return 24;
    case ImgXPixelFormat::Argb32:
        return 32;
    case ImgXPixelFormat::Invalid:
        break;
    }
    return 0;
}

ImgFileType ImgXImage::formatCode() const
{
    return d->formatCode;
}

QString ImgXImage::sourceFileName() const
{
    return d->fileName;
}

int ImgXImage::sourcePage() const
{
    return d->page;
}

void ImgXImage::setSource(ImgFileType format, const QString &fileName, int page)
{
    detach();
    d->formatCode = format;
    d->fileName = fileName;
    d->page = page;
}

int ImgXImage::tiffCompression() const
{
    d->ensureHeader();
    return d->tiffCompression;
}

int ImgXImage::tiffT4Options() const
{
    d->ensureHeader();
    return d->t4Options;
}

const QImage &ImgXImage::image() const
{
    if (!d->decoded && d->source) {
        d->ensureHeader();
        ImgXError err;
        QImage img = normalisedPageImage(d->source->decode(d->sourceIndex, &err));
        d->decoded = true;
        if (img.isNull()) {
            d->error = err.isError() ? err
                                     : ImgXError::make(ImgXErrorCode::CorruptImage,
                                                       QStringLiteral("The page cannot be decoded"));
        } else if (img.size() != d->size) {
            d->error = ImgXError::make(ImgXErrorCode::CorruptImage,
                                       QStringLiteral("The page's pixels do not match its size"));
        } else {
            d->image = img;
            d->damage = err;
            d->format = pixelFormatOf(img);
            d->alpha = img.hasAlphaChannel();
            d->source.reset();
        }
    }
    return d->image;
}

bool ImgXImage::isDecoded() const
{
    return d->decoded || !d->source;
}

ImgXError ImgXImage::decodeError() const
{
    return d->error;
}

ImgXError ImgXImage::damage() const
{
    return d->damage;
}

void ImgXImage::setImage(const QImage &image)
{
    detach();
    d->image = normalisedPageImage(image);
    d->source.reset();
    d->headerPending = false;
    d->decoded = true;
    d->error = {};
    d->size = d->image.size();
    d->format = pixelFormatOf(d->image);
    d->alpha = d->image.hasAlphaChannel();
}

ImgXPageMapping ImgXImage::mapping() const
{
    d->ensureHeader();
    return ImgXPageMapping(d->size, d->xDpi, d->yDpi);
}
