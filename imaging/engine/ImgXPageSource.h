#pragma once

// Engine-internal: how a page is kept and decoded on demand. Not for the control.

#include "ImgXImage.h"

// Decodes pages of one loaded file. Holds the file's bytes, so the file on disk may change or be
// overwritten while pages are still undecoded.
class ImgXPageSource
{
public:
    virtual ~ImgXPageSource() = default;
    // Decodes page `index` into a normalised QImage (Mono with index 0 white, Grayscale8, Indexed8,
    // RGB32 or ARGB32). A null image with *error set on failure; an image with *error set is a
    // damaged page, its unreadable rows white. A detached *reuse of the right size and format is
    // decoded into instead of a new buffer (cleared first).
    virtual QImage decode(int index, ImgXError *error, QImage *reuse = nullptr) = 0;
    // Fills size, resolutions, pixel format and TIFF facts of page `index` without decoding it.
    virtual void readHeader(int index, ImgXImage::Data &data) = 0;

    static ImgXImage::Data &data(ImgXImage &page);
    static const ImgXImage::Data &data(const ImgXImage &page);
};

struct ImgXImage::Data
{
    void ensureHeader() const
    {
        if (headerPending && source) {
            headerPending = false;
            source->readHeader(sourceIndex, const_cast<Data &>(*this));
        }
    }

    mutable QImage image;
    mutable bool decoded = false;
    mutable ImgXError error;
    mutable ImgXError damage;               // decoded with unreadable rows left white: kept through edits
    std::shared_ptr<ImgXPageSource> source; // set while the page is not decoded yet
    int sourceIndex = 0;
    mutable bool headerPending = false; // size and resolution not read from the file yet

    QSize size;
    double xDpi = 96.0;
    double yDpi = 96.0;
    ImgXPixelFormat format = ImgXPixelFormat::Invalid;
    bool alpha = false;

    ImgFileType formatCode = imgUnknown;
    QString fileName;
    int page = -1;
    int tiffCompression = 0;
    int t4Options = 0;
};

// The page's pixels without keeping them in the page when they still had to be decoded (writing a
// long document page by page); scratch is reused between calls. Null with *error on failure, and
// for a damaged page: no writer replaces what the file held with white rows.
QImage transientPixels(const ImgXImage &page, QImage *scratch, ImgXError *error);

// A page with alpha laid on white paper (RGB32); other pages as they are. Transparent parts of a
// page are paper: they must not turn black when the page loses its alpha (fax, JPEG, grey).
QImage flattenedOnWhite(const QImage &image);

// Normalises a decoded picture to one of the page formats (see ImgXPixelFormat).
QImage normalisedPageImage(const QImage &image);
ImgXPixelFormat pixelFormatOf(const QImage &image);
