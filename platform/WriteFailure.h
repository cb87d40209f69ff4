#pragma once

#include <QString>

class QFileDevice;

// Why a file could not be written, in the user's words: the one place every writer of the suite (images,
// settings, logs, the address book, the spool, copies and downloads) takes its reasons from, so a full disk
// reads the same wherever it is met.
namespace WriteFailure {

// The reason, as a clause to follow "Impossibile scrivere ...: ": a full disk, a read-only disk or file,
// a folder that is missing or refuses new files, the file-size limit, a disk error. `err` is the system's
// error number right after the failure (0 when none was kept: the disk and the folder are looked at then);
// `needed` the bytes the file was to hold.
QString reason(const QString &path, int err, qint64 needed = 0);

// "Impossibile scrivere il file <path>: <reason>."
QString sentence(const QString &path, int err, qint64 needed = 0);
QString sentence(const QString &path, const QString &reason);

// Writes the whole file or leaves it as it was (QSaveFile); false with `why` set to the reason. The data
// is flushed before the commit: QSaveFile alone commits a small file whose bytes a full disk refused,
// leaving it empty. `inPlace`: write into the file itself when its folder takes no new files.
bool save(const QString &path, const QByteArray &bytes, QString *why, bool inPlace = false);

// QFile::copy that says why it failed (`why`: the sentence, or that the source is gone).
bool copy(const QString &source, const QString &target, QString *why);

// The error number of a failed QFile or QSaveFile: `saved` (errno taken right after the call) when it is
// one, else the one whose text the device reported (later calls may have changed errno meanwhile).
int errorOf(const QFileDevice &device, int saved);

} // namespace WriteFailure
