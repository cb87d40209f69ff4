#pragma once

#include <QByteArrayView>

// Numbers in server data, read the way the link has always read them.
namespace Wire {

// The whole text as a number (blanks around allowed, a decimal part rounded half to even), within
// 32 bits (toLong) or 16 bits (toInteger). ok false, result 0, otherwise.
int toLong(QByteArrayView text, bool *ok);
int toInteger(QByteArrayView text, bool *ok);

// The number at the start of the text after blanks, as far as it reads as one ("12kbps" gives 12),
// rounded half to even; 0 when there is none or it does not fit.
int leadingLong(QByteArrayView text);
int leadingInteger(QByteArrayView text);

} // namespace Wire
