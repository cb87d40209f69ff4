#pragma once

#include <QString>

// Writes test fax images with libtiff: bilevel pages, CCITT Group 4 (or Group 3), with the given
// resolution. Page i carries a black bar whose height grows with i, so pages can be told apart;
// dense pages are covered with lines of text-like runs, as real faxes are.
namespace FaxFixture {
bool writeFax(const QString &path, int pages, int width = 1728, int height = 1100, int xDpi = 204,
              int yDpi = 98, int compression = 4 /* COMPRESSION_CCITTFAX4 */, bool dense = false);
// A fax whose page `badPage` holds no valid coding (zeros over its strip); the others are fine.
bool writeFaxWithBadPage(const QString &path, int pages, int badPage);
// A fax whose page `shortPage` keeps only the first `keep` bytes of its strip (a transfer cut inside it).
bool writeFaxWithShortPage(const QString &path, int pages, int shortPage, int keep);
// A fax whose page `lostPage` (0-based) has no height in its directory (tag 257 renamed to a private
// one): that page cannot be read, its data stays in the file.
bool writeFaxWithLostPage(const QString &path, int pages, int lostPage);
// A fax whose page chain links the page `from` back to the page `to` (0-based).
bool writeLoopingFax(const QString &path, int pages, int from, int to);
// A file that starts like a TIFF but is cut off.
bool writeDamaged(const QString &path);
} // namespace FaxFixture
