#pragma once

#include <QByteArrayView>

// Number reading for server records, with the rules the server's data was written for:
// isNumeric accepts blanks around, a sign, digits with one decimal point and an exponent;
// toWhole rounds half to even into 32 bits.
namespace TextValues {

bool isNumeric(QByteArrayView text);

// Strict conversion. False with the error number (13 not a number, 6 out of range).
bool toWhole(QByteArrayView text, qint32 &value, int &error);
bool toWhole64(QByteArrayView text, qint64 &value, int &error);

// The leading number of the text (0 when there is none), rounded half to even.
qint64 leadingWhole(QByteArrayView text);

} // namespace TextValues
