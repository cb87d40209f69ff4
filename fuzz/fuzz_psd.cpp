// Photoshop files opened by the viewer. A page that reads must write and read back with the same pixels.
#include "FuzzSupport.h"
#include "PsdCodec.h"

#include <QGuiApplication>
#include <QImage>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::application<QGuiApplication>();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)PsdCodec::hasSignature(bytes);
    ImgXImage page;
    ImgXError error;
    if (!PsdCodec::read(bytes, &page, &error))
        return 0;
    const QImage &pixels = page.image();
    if (pixels.isNull())
        return 0;
    QByteArray out;
    Fuzz::check(PsdCodec::write(page, &out), "a page that read did not write");
    ImgXImage back;
    ImgXError backError;
    Fuzz::check(PsdCodec::read(out, &back, &backError), "a written file did not read back", backError.description);
    Fuzz::check(back.image().convertToFormat(QImage::Format_ARGB32) == pixels.convertToFormat(QImage::Format_ARGB32),
                "a page changed pixels through a write");
    return 0;
}
