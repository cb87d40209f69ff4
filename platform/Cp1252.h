#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Windows-1252, exactly as Windows maps it: every byte has one character and back, including the five
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) that map to the C1 controls of the same value. Text crosses between
// bytes on the wire and QString only here.
namespace Cp1252 {

QString toUnicode(const QByteArray &bytes);
QString toUnicode(const char *data, qsizetype size);

// Characters with no Windows-1252 byte become '?', as the Windows conversion does.
QByteArray fromUnicode(QStringView text);

// True when every character of text has a Windows-1252 byte.
bool canEncode(QStringView text);

} // namespace Cp1252
