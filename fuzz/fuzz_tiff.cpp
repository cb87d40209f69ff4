// TIFF files opened by the viewer. A page that decodes must write in every compression that fits it and
// read back with the same pixels.
#include "FuzzSupport.h"
#include "TiffCodec.h"

#include <QGuiApplication>
#include <QImage>

namespace {

// Pixels compared in one format. Premultiplied: the colour under a transparent pixel carries nothing,
// and a page read through premultiplied colours keeps exactly these values.
QImage comparable(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The first pixel that differs, for the failure message.
QString firstDifference(const QImage &a, const QImage &b)
{
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return u"(%1,%2) %3 -> %4"_s.arg(x).arg(y).arg(a.pixel(x, y), 8, 16).arg(b.pixel(x, y), 8, 16);
        }
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::application<QGuiApplication>();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ImgXFileInfo info;
    TiffCodec::info(bytes, &info);
    (void)TiffCodec::tag(bytes, 0, 256);

    QList<ImgXImage> pages;
    ImgXError error;
    QList<int> unreadable;
    if (!TiffCodec::readPages(QStringLiteral("fuzz.tif"), bytes, -1, &pages, &error, &unreadable)) {
        Fuzz::check(pages.isEmpty(), "a refused file left pages behind");
        return 0;
    }
    // Directories that cannot be read are left out and counted; every page that is kept has a size,
    // and the page count query counts the same pages.
    Fuzz::check(!pages.isEmpty(), "an opened file has no pages");
    for (const ImgXImage &page : pages)
        Fuzz::check(page.width() >= 1 && page.height() >= 1, "a page has a size below 1",
                    u"%1x%2"_s.arg(page.width()).arg(page.height()));
    Fuzz::check(info.pageCount == pages.size(), "the page count differs from the pages opened",
                u"%1 counted, %2 opened"_s.arg(info.pageCount).arg(pages.size()));
    for (const ImgXImage &page : pages) {
        const QImage &pixels = page.image();
        if (pixels.isNull() || qint64(pixels.width()) * pixels.height() > 1 << 20)
            continue;
        if (page.damage().isError()) { // shown with white rows, never written so
            QByteArray out;
            ImgXError writeError;
            Fuzz::check(!TiffCodec::write({page}, TIFCompression::None, &out, &writeError) && out.isEmpty(),
                        "a damaged page was written", page.damage().description);
            continue;
        }
        QList<TIFCompression> modes = {TIFCompression::None, TIFCompression::Lzw, TIFCompression::PackBits,
                                       TIFCompression::Deflate};
        if (page.isBilevel())
            modes += {TIFCompression::CcittG3, TIFCompression::CcittG3_2D, TIFCompression::CcittG4};
        for (TIFCompression mode : modes) {
            QByteArray out;
            ImgXError writeError;
            Fuzz::check(TiffCodec::write({page}, mode, &out, &writeError), "a decoded page did not write",
                        writeError.description);
            QList<ImgXImage> back;
            ImgXError readError;
            Fuzz::check(TiffCodec::readPages(QStringLiteral("back.tif"), out, -1, &back, &readError) &&
                            back.size() == 1,
                        "a written page did not read back", readError.description);
            Fuzz::check(back[0].size() == page.size(), "a page changed size through a write");
            const QImage before = comparable(pixels), after = comparable(back[0].image());
            Fuzz::check(after == before, "a page changed pixels through a write",
                        u"compression %1, pixel format %2: "_s.arg(int(mode)).arg(int(page.pixelFormat())) +
                            firstDifference(before, after));
        }
    }
    return 0;
}
