#pragma once

#include <QString>

// Profile files ("key=value" lines under "[section]" headers) read and written the way Windows does it:
// section and key names compare case-insensitively, values are trimmed, a missing key gives the default.
// A write changes one line and keeps every other line, blank and comment byte for byte, creating the file
// and the section when needed, so programs that share one file never lose each other's keys.
// Lines are read as UTF-8, each line falling back to Windows-1252 when it is not valid UTF-8; written lines
// are UTF-8. Every call goes to the file: nothing is cached.
namespace ProfileFile {

// The value of key in section, trimmed; defaultValue when the file, the section or the key is missing or the
// file cannot be read. A value may hold "=": only the first "=" of a line splits key and value.
// One pair of matching quotes around the value is dropped, as Windows does.
QString readString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue = {});

// The value as an integer: optional sign, then leading decimal digits ("12abc" gives 12, "abc" gives 0);
// defaultValue when the key is missing or empty.
int readInt(const QString &path, const QString &section, const QString &key, int defaultValue = 0);

// True when the section holds the key.
bool hasKey(const QString &path, const QString &section, const QString &key);

// Writes "key=value" (value as given: a leading blank stays). Replaces the key's line, or adds it at the end
// of the section, or adds the section at the end of the file. False when the file cannot be read or written,
// or when another writer holds the file's lock for more than a few seconds (then nothing is written).
bool writeString(const QString &path, const QString &section, const QString &key, const QString &value);

// Why the last writeString or removeKey of this thread failed, in the user's words (WriteFailure's
// reasons, or the lock held by another program); empty after a success.
QString lastWriteFailure();

// True when another living writer holds the file's lock now (a write would wait and then fail).
bool lockedByOther(const QString &path);

// Removes the key's line; true when the file is as wanted afterwards (also when the key was missing).
bool removeKey(const QString &path, const QString &section, const QString &key);

} // namespace ProfileFile
