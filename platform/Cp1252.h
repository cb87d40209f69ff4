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

// Characters with no Windows-1252 byte are written as their nearest Windows-1252 letter (bestFit);
// what has none becomes '?'. Text the user typed goes through check() first, so that never happens
// silently.
QByteArray fromUnicode(QStringView text);

// True when every character of text has a Windows-1252 byte.
bool canEncode(QStringView text);

// The text with every character outside the code page replaced by its nearest Windows-1252 letter or
// sign (Ł→L, ź→z, ő→o, ﬁ→fi, a typographic space→space, − → -), as the Windows best-fit conversion does.
// Characters with no such fit (CJK, emoji, most symbols) are left in place and, when `unmapped` is given,
// listed there once each, in order.
QString bestFit(QStringView text, QString *unmapped = nullptr);

// What becomes of a user's text on the wire.
struct Check
{
    QString wire;     // the text as it will be sent (composed, then best-fit applied)
    QString refused;  // characters that cannot be sent at all, once each
    bool changed = false; // the best fit changed something
    bool ok() const { return refused.isEmpty(); }
};
Check check(QStringView text);

// Messages for a field of a form or request ("Oggetto", "Nome", ...), shown as they stand.
QString refusalMessage(QStringView field, QStringView refused);
QString changeMessage(QStringView field, QStringView original, QStringView wire);

} // namespace Cp1252
