#include "TextValues.h"

#include "ParseError.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace TextValues {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Length of the number at the front of text (sign, digits, point, exponent); 0 when there is none.
qsizetype numberLength(QByteArrayView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        const qsizetype expStart = j;
        while (j < n && text[j] >= '0' && text[j] <= '9')
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// A sign and up to 18 digits, read without the general reader; false for anything else.
bool plainWhole(QByteArrayView text, qint64 &value)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text.front() == '-';
    if (!text.isEmpty() && (text.front() == '+' || negative))
        i = 1;
    const qsizetype digits = text.size() - i;
    if (digits < 1 || digits > 18)
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    value = negative ? -v : v;
    return true;
}

double toDouble(QByteArrayView number)
{
    const std::string s(number.data(), size_t(number.size()));
    return std::strtod(s.c_str(), nullptr);
}

} // namespace

bool isNumeric(QByteArrayView text)
{
    text = trimmed(text);
    return !text.isEmpty() && numberLength(text) == text.size();
}

bool toWhole64(QByteArrayView text, qint64 &value, int &error)
{
    text = trimmed(text);
    if (plainWhole(text, value))
        return true;
    if (text.isEmpty() || numberLength(text) != text.size()) {
        error = ErrorCode::TypeMismatch;
        return false;
    }
    // Plain integers are read exactly; anything else goes through double and rounds half to even.
    bool ok = false;
    const qint64 exact = text.toLongLong(&ok);
    if (ok) {
        value = exact;
        return true;
    }
    const double d = std::nearbyint(toDouble(text));
    if (!std::isfinite(d) || std::fabs(d) > 9.0e15) {
        error = ErrorCode::Overflow;
        return false;
    }
    value = qint64(d);
    return true;
}

bool toWhole(QByteArrayView text, qint32 &value, int &error)
{
    qint64 wide = 0;
    if (!toWhole64(text, wide, error))
        return false;
    if (wide < std::numeric_limits<qint32>::min() || wide > std::numeric_limits<qint32>::max()) {
        error = ErrorCode::Overflow;
        return false;
    }
    value = qint32(wide);
    return true;
}

qint64 leadingWhole(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    const qsizetype len = numberLength(text);
    if (len == 0)
        return 0;
    const double d = std::nearbyint(toDouble(text.first(len)));
    if (!std::isfinite(d))
        return 0;
    return qint64(std::clamp(d, -9.0e15, 9.0e15));
}

} // namespace TextValues
