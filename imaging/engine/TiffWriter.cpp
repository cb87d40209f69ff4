// Writing multi-page TIFF files.
#include "ImgXPageSource.h"
#include "TiffCodec.h"
#include "TiffStream.h"

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Scheme
{
    uint16_t compression = COMPRESSION_NONE;
    uint32_t t4Options = 0;
};

bool isCcitt(TIFCompression c)
{
    return c == TIFCompression::CcittG3 || c == TIFCompression::CcittG3_2D || c == TIFCompression::CcittG4;
}

Scheme schemeFor(const ImgXImage &page, TIFCompression wanted)
{
    switch (wanted) {
    case TIFCompression::None:
        return {COMPRESSION_NONE, 0};
    case TIFCompression::CcittG3:
        return {COMPRESSION_CCITTFAX3, 0};
    case TIFCompression::CcittG3_2D:
        return {COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING};
    case TIFCompression::CcittG4:
        return {COMPRESSION_CCITTFAX4, 0};
    case TIFCompression::Lzw:
        return {COMPRESSION_LZW, 0};
    case TIFCompression::PackBits:
        return {COMPRESSION_PACKBITS, 0};
    case TIFCompression::Deflate:
        return {COMPRESSION_ADOBE_DEFLATE, 0};
    case TIFCompression::Automatic:
        break;
    }
    if (!page.isBilevel())
        return {COMPRESSION_LZW, 0};
    // A fax page goes back to the server in the scheme it came in.
    switch (page.tiffCompression()) {
    case COMPRESSION_CCITTFAX3:
        return {COMPRESSION_CCITTFAX3,
                uint32_t(page.tiffT4Options()) & (GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS)};
    case COMPRESSION_CCITTRLE:
        return {COMPRESSION_CCITTFAX3, 0}; // RLE cannot be written; G3 1D is its nearest
    default:
        return {COMPRESSION_CCITTFAX4, 0};
    }
}

// Rows per strip: a fax page is one strip (as fax programs expect); others about 64 KB a strip.
uint32_t rowsPerStrip(uint16_t compression, qsizetype rowBytes, int height)
{
    if (compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4)
        return uint32_t(height);
    const qsizetype rows = std::max<qsizetype>(1, 65536 / std::max<qsizetype>(1, rowBytes));
    return uint32_t(std::min<qsizetype>(rows, height));
}

bool writePage(TIFF *tif, const ImgXImage &page, QImage img, int index, int count, TIFCompression wanted)
{
    Scheme scheme = schemeFor(page, wanted);
    if (isCcitt(wanted) && img.format() != QImage::Format_Mono) {
        // Fax compression asked for a grey or colour page: it becomes a bilevel page.
        img = normalisedPageImage(flattenedOnWhite(img).convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
    }
    // A palette with transparent entries has no place in a TIFF colour map: the page goes out as
    // RGB with unassociated alpha, so the transparency is kept rather than shown in its hidden colour.
    if (img.format() == QImage::Format_Indexed8 && img.hasAlphaChannel())
        img = img.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width();
    const int h = img.height();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE));
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(index), uint16_t(count));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(page.xDpi()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(page.yDpi()));

    int bytesPerPixel = 0; // 0: bilevel
    switch (img.format()) {
    case QImage::Format_Mono:
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISWHITE));
        TIFFSetField(tif, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB));
        break;
    case QImage::Format_Grayscale8:
        bytesPerPixel = 1;
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
        break;
    case QImage::Format_Indexed8: {
        bytesPerPixel = 1;
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
        std::vector<uint16_t> r(256), g(256), b(256);
        const QList<QRgb> table = img.colorTable();
        for (int i = 0; i < 256 && i < table.size(); ++i) {
            r[i] = uint16_t(qRed(table[i]) * 257);
            g[i] = uint16_t(qGreen(table[i]) * 257);
            b[i] = uint16_t(qBlue(table[i]) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        break;
    }
    default: {
        const bool alpha = img.hasAlphaChannel();
        img = img.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        bytesPerPixel = alpha ? 4 : 3;
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(bytesPerPixel));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
        if (alpha) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
        }
        break;
    }
    }
    if (bytesPerPixel > 0 &&
        (scheme.compression == COMPRESSION_CCITTFAX3 || scheme.compression == COMPRESSION_CCITTFAX4))
        scheme = {COMPRESSION_LZW, 0};
    TIFFSetField(tif, TIFFTAG_COMPRESSION, scheme.compression);
    if (scheme.compression == COMPRESSION_CCITTFAX3)
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, scheme.t4Options);
    const bool predictor = bytesPerPixel > 0 && img.format() != QImage::Format_Indexed8 &&
                           (scheme.compression == COMPRESSION_LZW ||
                                                 scheme.compression == COMPRESSION_ADOBE_DEFLATE);
    if (predictor)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));

    const qsizetype rowBytes = bytesPerPixel == 0 ? (w + 7) / 8 : qsizetype(w) * bytesPerPixel;
    if (TIFFScanlineSize(tif) != rowBytes)
        return false;
    const uint32_t rps = rowsPerStrip(scheme.compression, rowBytes, h);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
    // libtiff's own output buffer is a whole strip by default (a whole fax page): a smaller one is
    // flushed more often but stays in the cache and off the page-fault path.
    TIFFWriteBufferSetup(tif, nullptr, 64 * 1024);

    // Encoders with a predictor change the buffer in place: they get a copy. The bilevel schemes only
    // read it, so a 1-bit page whose rows are packed like the file's goes straight from the image.
    const bool direct = !predictor && img.bytesPerLine() == rowBytes;
    QByteArray strip;
    for (uint32_t row = 0, s = 0; row < uint32_t(h); row += rps, ++s) {
        const uint32_t rows = std::min<uint32_t>(rps, uint32_t(h) - row);
        const tmsize_t size = tmsize_t(rows) * rowBytes;
        void *data = nullptr;
        if (direct) {
            data = const_cast<uchar *>(img.constScanLine(int(row)));
        } else {
            strip.resize(size);
            for (uint32_t r = 0; r < rows; ++r)
                memcpy(strip.data() + qsizetype(r) * rowBytes, img.constScanLine(int(row + r)),
                       size_t(rowBytes));
            data = strip.data();
        }
        if (TIFFWriteEncodedStrip(tif, s, data, size) < 0)
            return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

} // namespace

namespace TiffCodec {

bool write(const QList<ImgXImage> &pages, TIFCompression compression, QByteArray *out, ImgXError *error,
           const std::function<bool(int, int)> &pageDone)
{
    std::unique_ptr<TiffStream> s(TiffStream::openWrite(out));
    if (!s->tif()) {
        *error = ImgXError::make(ImgXErrorCode::WriteFailed,
                                 u"Cannot start a TIFF file: %1"_s.arg(s->takeError()));
        return false;
    }
    // Pages not decoded yet are decoded one at a time into one scratch buffer and not kept: saving a
    // long fax needs the memory of one page, and a damaged page fails the save before anything is
    // written to disk (the caller writes the buffer only when this succeeds).
    QImage scratch;
    for (int i = 0; i < pages.size(); ++i) {
        ImgXError pageError;
        QImage img = transientPixels(pages.at(i), &scratch, &pageError);
        if (img.isNull()) {
            *error = pageError;
            error->description = u"Page %1 is damaged and the file is left as it was: %2"_s.arg(i + 1).arg(
                pageError.description);
            out->clear();
            return false;
        }
        const bool ok = writePage(s->tif(), pages.at(i), img, i, int(pages.size()), compression);
        if (!pages.at(i).isDecoded())
            scratch = std::move(img); // back to the scratch buffer for the next page
        if (!ok) {
            const QString why = s->takeError();
            *error = ImgXError::make(
                ImgXErrorCode::WriteFailed,
                u"Cannot encode page %1: %2"_s.arg(i + 1).arg(why.isEmpty() ? u"libtiff error"_s : why));
            out->clear();
            return false;
        }
        if (pageDone && !pageDone(i + 1, int(pages.size()))) {
            *error = ImgXError::make(ImgXErrorCode::Cancelled, u"Saving was cancelled"_s);
            out->clear();
            return false;
        }
    }
    if (!s->close()) {
        *error = ImgXError::make(ImgXErrorCode::WriteFailed,
                                 u"Cannot finish the TIFF file: %1"_s.arg(s->takeError()));
        out->clear();
        return false;
    }
    return true;
}

} // namespace TiffCodec
