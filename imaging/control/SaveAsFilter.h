#pragma once

#include "ImgFileType.h"

#include <QString>
#include <QStringList>

// The Save As dialog's ten entries (1-based), their default extensions and format codes.
namespace SaveAsFilter {
// The filter as description|pattern pairs, exactly as the dialog offers it.
QString text();
// The same entries as name filters of a file dialog ("[JPG]  (...) (*.jpg)").
QStringList nameFilters();
// Default extension of entry index ("" for an index outside 1..10); format gets the entry's format
// code and is left as it is for an unknown index.
QString FormatFromFilter(int index, qint32 *format);
// The entry that offers format code `format`; 0 for a code no entry writes (GIF, TLA, unknown).
int entryForFormat(qint32 format);
} // namespace SaveAsFilter
