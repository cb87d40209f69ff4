#pragma once

// Engine-internal: how much of a picture its file really gives, for the formats whose readers (Qt's)
// fill what they could not read with made-up pixels and call the picture good.

#include <QByteArray>

namespace DamageProbes {

// The first frame of a GIF: where it lies on the screen and how many of its pixels its LZW data
// gives before the data ends, breaks off or holds a code no table has.
struct GifFrame
{
    bool found = false; // a frame's data was reached at all
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    qint64 pixels = 0; // pixels the codes give, in the order they are stored
    bool whole() const { return found && pixels >= qint64(width) * height; }
    // Whether frame row `row` (0 = its top row) is given whole.
    bool rowWhole(int row) const;
};
GifFrame gifFirstFrame(const QByteArray &data);

// A JPEG decoded by libjpeg without keeping its pixels. libjpeg only warns of corrupt or cut-short
// data and makes up the rest: `wholeRows` is the first output row not given whole (the height when
// all are; -1 when libjpeg cannot read the file at all). Some damage shows only at the end (codes that
// stay in step but run out early or late), and a progressive picture is read scan by scan before
// any row is made: then `damaged` is set with no row to tell.
struct JpegRows
{
    int wholeRows = -1;
    bool damaged = false;
};
JpegRows jpegRows(const QByteArray &data);

// Whether the run-length data of a PCX gives exactly its picture's bytes and ends where the file (or
// its closing 256-colour table) does. Every byte of it is a valid code, so damage shows only there:
// runs that cross the picture's end, or bytes left over.
bool pcxRunsWhole(const QByteArray &data);
// The same for a run-length TGA (types 9, 10, 11): its packets give exactly its pixels and end where
// its data does (at the extension area or footer of a TGA 2.0 file, else at the file's end).
bool tgaRunsWhole(const QByteArray &data);

} // namespace DamageProbes
