#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// Real fax images for tests and the sample mailbox: multi-page bilevel TIFF, CCITT G4, 1728 pixels wide,
// at 204x196 dpi (fine) or 204x98 dpi (normal), each page with a heading, a few lines of text and shapes.
namespace FaxTiffFixture {

// Writes the file; `lines` are printed under the heading on every page. False with nothing left behind
// when the file cannot be written.
bool write(const QString &path, int pages, bool fine, const QString &heading, const QStringList &lines = {});
// Writes the pages as bilevel CCITT G4 pages of one file, each at its image's resolution (204x196 dpi
// when it has none); colours become black and white. False with nothing left behind on failure.
bool writePages(const QString &path, const QList<QImage> &pages);

} // namespace FaxTiffFixture
