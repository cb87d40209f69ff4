#include "WireNumbers.h"

#include <QByteArray>

#include <cmath>
#include <limits>

namespace Wire {

namespace {

bool rounded(double value, double low, double high, int &out)
{
    if (!std::isfinite(value))
        return false;
    const double r = std::nearbyint(value); // the default rounding mode: half to even
    if (r < low || r > high)
        return false;
    out = int(r);
    return true;
}

int whole(QByteArrayView text, bool *ok, double low, double high)
{
    bool parsed = false;
    const double value = text.trimmed().toByteArray().toDouble(&parsed);
    int out = 0;
    const bool good = parsed && rounded(value, low, high, out);
    if (ok)
        *ok = good;
    return good ? out : 0;
}

double leading(QByteArrayView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
    }
    bool ok = false;
    const double value = text.sliced(start, i - start).toByteArray().toDouble(&ok);
    return ok ? value : 0.0;
}

} // namespace

int toLong(QByteArrayView text, bool *ok)
{
    return whole(text, ok, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

int toInteger(QByteArrayView text, bool *ok)
{
    return whole(text, ok, -32768, 32767);
}

int leadingLong(QByteArrayView text)
{
    int out = 0;
    return rounded(leading(text), std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), out) ? out
                                                                                                         : 0;
}

int leadingInteger(QByteArrayView text)
{
    int out = 0;
    return rounded(leading(text), -32768, 32767, out) ? out : 0;
}

} // namespace Wire
