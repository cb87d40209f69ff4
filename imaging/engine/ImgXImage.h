#pragma once

#include "ImgFileType.h"
#include "ImgXError.h"
#include "ImgXPageMapping.h"

#include <QImage>
#include <QString>

#include <memory>

class ImgXPageSource;

// Pixel formats of a page. The values are the engine's codes (5 = 32-bit with alpha is the one the
// control names).
enum class ImgXPixelFormat : int {
    Invalid = 0,
    Bilevel = 1, // 1 bit per pixel: QImage::Format_Mono, colour index 0 white, 1 black
    Indexed8 = 2,
    Grey8 = 3,
    Rgb24 = 4,  // QImage::Format_RGB32
    Argb32 = 5, // QImage::Format_ARGB32
};

// Compression of a TIFF page as stored in its Compression tag (259).
namespace TiffCompressionTag {
constexpr int None = 1;
constexpr int CcittRle = 2;
constexpr int CcittG3 = 3;
constexpr int CcittG4 = 4;
constexpr int Lzw = 5;
constexpr int Jpeg = 7;
constexpr int PackBits = 32773;
constexpr int Deflate = 8;
constexpr int AdobeDeflate = 32946;
} // namespace TiffCompressionTag

// The largest page any reader here decodes (and any edit makes): A3 at 600 dpi with room to spare.
// No fax machine or document scanner makes a larger page; a file that claims one is refused before
// anything is allocated, so a small hostile file cannot take more than ~300 MB at 32 bits a pixel.
namespace ImgXPageLimit {
constexpr qint64 MaxSide = 20000;
constexpr qint64 MaxPixels = 72'000'000;
constexpr bool fits(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= MaxSide && height <= MaxSide && width * height <= MaxPixels;
}
// The error for a page of that size that does not fit: one of no pixels (0x0) or one too large.
ImgXError refused(qint64 width, qint64 height);
} // namespace ImgXPageLimit

// Resolutions a page can have. A value outside 1..10000 dpi (0, 1/65536 dpi as some writers store
// "none", or a number no device makes) is unknown and replaced by the format's default, so no page
// ever has a resolution anything could divide by zero with.
namespace ImgXResolution {
constexpr double Min = 1;
constexpr double Max = 10000;
constexpr double Default = 96;    // engine default: TIFF and the Qt / GraphicsMagick formats
constexpr double PsdDefault = 72; // Photoshop's own
constexpr bool known(double dpi)
{
    return dpi >= Min && dpi <= Max; // false for NaN as well
}
constexpr double orDefault(double dpi, double fallback = Default)
{
    return known(dpi) ? dpi : fallback;
}
} // namespace ImgXResolution

// One page of a document: a value type (copies are cheap, pixel data is shared until changed).
// Pages of a TIFF file are decoded on first use of image(); until then width, height and the
// resolutions come from the file's directory. Bilevel pages stay 1 bit per pixel.
class ImgXImage
{
public:
    ImgXImage();
    // A page made from pixels (a scan, a picture, a new blank page). A null image gives a null page.
    // Format_Mono/MonoLSB images become Bilevel pages with index 0 white.
    explicit ImgXImage(const QImage &image, double xDpi = 96.0, double yDpi = 96.0);
    // A blank page: white (or transparent for Argb32).
    static ImgXImage blank(QSize size, ImgXPixelFormat format, double xDpi = 96.0, double yDpi = 96.0);
    ~ImgXImage();
    ImgXImage(const ImgXImage &);
    ImgXImage &operator=(const ImgXImage &);
    ImgXImage(ImgXImage &&) noexcept;
    ImgXImage &operator=(ImgXImage &&) noexcept;

    bool isNull() const;
    int width() const;
    int height() const;
    QSize size() const;

    // Resolution in dots per inch, as whole numbers (a page without resolution reads 96); always
    // within ImgXResolution::Min..Max. setResolution ignores a value outside that range.
    int xResolution() const;
    int yResolution() const;
    double xDpi() const;
    double yDpi() const;
    void setResolution(double xDpi, double yDpi);
    void setXResolution(int dpi);
    void setYResolution(int dpi);

    ImgXPixelFormat pixelFormat() const;
    bool isBilevel() const { return pixelFormat() == ImgXPixelFormat::Bilevel; }
    bool hasAlpha() const;
    int bitsPerPixel() const;

    // Where the page came from: format code, file and 0-based page in it (imgUnknown / empty / -1
    // for a page made in memory). Save writes back to this name in this format.
    ImgFileType formatCode() const;
    QString sourceFileName() const;
    int sourcePage() const;
    void setSource(ImgFileType format, const QString &fileName, int page);

    // TIFF Compression tag (259) of the source page, 0 when the page does not come from a TIFF.
    int tiffCompression() const;
    // TIFF T4Options (292) of a Group 3 source page (bit 0 set: 2D coding), 0 otherwise.
    int tiffT4Options() const;

    // Decoded pixels. Decodes on first call; a page that cannot be decoded returns a null QImage
    // and decodeError() tells why.
    const QImage &image() const;
    bool isDecoded() const;
    ImgXError decodeError() const;
    // Set when the page decoded with rows its file does not give whole (shown white): why. It stays
    // with the page through edits; writers refuse such a page rather than save the white rows.
    ImgXError damage() const;

    // Replace the pixels, keeping resolution and source. Mono images are normalised (index 0 white).
    void setImage(const QImage &image);

    ImgXPageMapping mapping() const;

    struct Data; // engine-internal (ImgXPageSource.h)

private:
    friend class ImgXPageSource;
    std::shared_ptr<Data> d;
    void detach();
};
