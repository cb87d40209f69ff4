#pragma once

// Engine-internal: TIFF on libtiff, from and to memory.

#include "ImgX.h"
#include "ImgXSupport.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace TiffCodec {
bool hasSignature(const QByteArray &head);
// Opens the file's bytes; pages decode on demand. onlyPage < 0: every page, else that page only.
// Directories that cannot be read (or give no size) are left out; *unreadable tells which (0-based).
// A chain that links back to a directory already read ends there: *loops is set.
bool readPages(const QString &fileName, const QByteArray &data, int onlyPage, QList<ImgXImage> *pages,
               ImgXError *error, QList<int> *unreadable = nullptr, bool *loops = nullptr);
bool info(const QByteArray &data, ImgXFileInfo *info);
QVariant tag(const QByteArray &data, int page, int tag);
// Encodes pages as one TIFF file into *out. `pageDone(done, total)` is told after each page; when it
// returns false the write stops (Cancelled) and *out is emptied.
bool write(const QList<ImgXImage> &pages, TIFCompression compression, QByteArray *out, ImgXError *error,
           const std::function<bool(int, int)> &pageDone = {});
} // namespace TiffCodec
