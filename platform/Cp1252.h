#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1252, exactly as Windows maps it: every byte has one character and back, including the five
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) that map to the C1 controls of the same value. Text crosses between
// bytes on the wire and QString only here.
namespace Cp1252 {

QString toUnicode(const QByteArray &bytes);
QString toUnicode(const char *data, qsizetype size);

// Where the bytes stop being UTF-8: the offset of the first byte that is no part of a whole, shortest
// UTF-8 sequence, -1 when there is none. `letters` (when given) tells whether a sequence of more than one
// byte stands anywhere in them.
qsizetype firstNonUtf8(QByteArrayView bytes, bool *letters = nullptr);

// Text of a file written by hand or by other programs: UTF-8 when the bytes are UTF-8; Windows-1252 when
// they hold no UTF-8 letter at all (a file written on Windows); else UTF-8 with each stray byte read
// alone as its Windows-1252 letter, so one byte never turns the letters around it. `mixed` (when given)
// tells that last case.
QString fromUtf8OrCp1252(QByteArrayView bytes, bool *mixed = nullptr);

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
