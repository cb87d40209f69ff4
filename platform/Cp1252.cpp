#include "Cp1252.h"

#include <QSet>

#include <array>

namespace {

// Unicode code points of bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(kHigh.size()); ++i) {
        if (kHigh[i] == c)
            return 0x80 + i;
    }
    return -1;
}

// Letters and signs with no decomposition that leads into the code page.
char16_t directFit(char32_t c)
{
    switch (c) {
    case 0x0110: return u'D'; // Đ
    case 0x0111: return u'd';
    case 0x0126: return u'H'; // Ħ
    case 0x0127: return u'h';
    case 0x0131: return u'i'; // ı
    case 0x0138: return u'k'; // ĸ
    case 0x0141: return u'L'; // Ł
    case 0x0142: return u'l';
    case 0x0166: return u'T'; // Ŧ
    case 0x0167: return u't';
    case 0x0180: return u'b';
    case 0x0181: return u'B';
    case 0x0189: return u'D';
    case 0x0191: return 0x0192; // Ƒ → ƒ
    case 0x0197: return u'I';
    case 0x019A: return u'l';
    case 0x01B5: return u'Z';
    case 0x01B6: return u'z';
    case 0x01E4: return u'G';
    case 0x01E5: return u'g';
    case 0x0250: return u'a';
    case 0x0261: return u'g';
    case 0x2010: case 0x2011: case 0x2012: case 0x2043: case 0x2212:
        return u'-';
    case 0x2015: return 0x2014; // ― → —
    case 0x2032: return u'\'';
    case 0x2033: return u'"';
    case 0x2035: return u'`';
    case 0x201B: return 0x2018;
    case 0x201F: return 0x201C;
    case 0x2044: return u'/';
    case 0x2215: return u'/';
    case 0x2216: return u'\\';
    case 0x2217: return u'*';
    case 0x2223: return u'|';
    case 0x2236: return u':';
    case 0x223C: return u'~';
    case 0x2264: return u'<';
    case 0x2265: return u'>';
    case 0x2219: return 0x00B7;
    case 0x22C5: return 0x00B7;
    case 0x2500: return u'-';
    case 0x2502: return u'|';
    case 0x250C: case 0x2510: case 0x2514: case 0x2518: case 0x253C: return u'+';
    case 0x3000: return u' ';
    default: break;
    }
    if ((c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F)
        return u' ';
    return 0;
}

// The nearest code-page text for one character outside the code page, or empty.
QString fitOf(char32_t c)
{
    if (const char16_t d = directFit(c); d != 0)
        return QString(QChar(d));
    const QString original = QString::fromUcs4(&c, 1);
    // Canonical first (ő → o + mark), then compatibility (ﬁ → fi, full-width Ａ → A); marks are dropped.
    for (const auto form : {QString::NormalizationForm_D, QString::NormalizationForm_KD}) {
        const QString decomposed = original.normalized(form);
        QString out;
        bool fits = true;
        for (const QChar ch : decomposed) {
            if (ch.category() == QChar::Mark_NonSpacing || ch.category() == QChar::Mark_Enclosing ||
                ch.category() == QChar::Mark_SpacingCombining)
                continue;
            if (byteFor(ch.unicode()) < 0) {
                const char16_t d = directFit(ch.unicode());
                if (d == 0) {
                    fits = false;
                    break;
                }
                out += QChar(d);
                continue;
            }
            out += ch;
        }
        if (fits && !out.isEmpty() && out != original)
            return out;
    }
    return {};
}

// The length of the whole, shortest-form UTF-8 sequence at `i` (1 to 4), 0 when none starts there.
int utf8SequenceAt(QByteArrayView b, qsizetype i)
{
    const uchar c = uchar(b[i]);
    if (c < 0x80)
        return 1;
    const int len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > b.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        if ((uchar(b[i + k]) & 0xC0) != 0x80)
            return 0;
    }
    const uchar d = uchar(b[i + 1]);
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) || (c == 0xF0 && d < 0x90) ||
        (c == 0xF4 && d >= 0x90))
        return 0;
    return len;
}

} // namespace

namespace Cp1252 {

QString toUnicode(const char *data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        dst[i] = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

qsizetype firstNonUtf8(QByteArrayView bytes, bool *letters)
{
    qsizetype first = -1;
    bool multi = false;
    for (qsizetype i = 0; i < bytes.size();) {
        const int len = utf8SequenceAt(bytes, i);
        if (len == 0) {
            if (first < 0)
                first = i;
            ++i;
            continue;
        }
        multi = multi || len > 1;
        i += len;
    }
    if (letters)
        *letters = multi;
    return first;
}

QString fromUtf8OrCp1252(QByteArrayView bytes, bool *mixed)
{
    if (mixed)
        *mixed = false;
    bool letters = false;
    if (firstNonUtf8(bytes, &letters) < 0)
        return QString::fromUtf8(bytes);
    if (!letters)
        return toUnicode(bytes.data(), bytes.size());
    if (mixed)
        *mixed = true;
    QString out;
    out.reserve(bytes.size());
    qsizetype run = 0; // where the UTF-8 in hand starts
    for (qsizetype i = 0; i < bytes.size();) {
        if (const int len = utf8SequenceAt(bytes, i); len > 0) {
            i += len;
            continue;
        }
        out += QString::fromUtf8(bytes.sliced(run, i - run));
        out += toUnicode(bytes.data() + i, 1);
        run = ++i;
    }
    return out + QString::fromUtf8(bytes.sliced(run));
}

QString toUnicode(const QByteArray &bytes)
{
    return toUnicode(bytes.constData(), bytes.size());
}

QByteArray fromUnicode(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *dst = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteFor(text[i].unicode());
        if (b < 0) {
            // Rare: the whole text takes the slow road through the best fit, composed first (as check()).
            const QString fitted = bestFit(text.toString().normalized(QString::NormalizationForm_C));
            QByteArray slow(fitted.size(), Qt::Uninitialized);
            for (qsizetype j = 0; j < fitted.size(); ++j) {
                const int fb = byteFor(fitted[j].unicode());
                slow[j] = char(fb < 0 ? '?' : fb);
            }
            return slow;
        }
        dst[i] = char(b);
    }
    return out;
}

QString bestFit(QStringView text, QString *unmapped)
{
    QString out;
    out.reserve(text.size());
    QSet<char32_t> seen;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (byteFor(ch.unicode()) >= 0) {
            out += ch;
            continue;
        }
        char32_t c = ch.unicode();
        qsizetype width = 1;
        if (ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(ch, text[i + 1]);
            width = 2;
        }
        const QString fit = fitOf(c);
        if (!fit.isEmpty()) {
            out += fit;
        } else {
            out += text.mid(i, width);
            if (unmapped && !seen.contains(c)) {
                seen.insert(c);
                *unmapped += text.mid(i, width);
            }
        }
        i += width - 1;
    }
    return out;
}

Check check(QStringView text)
{
    Check result;
    if (canEncode(text)) {
        result.wire = text.toString();
        return result;
    }
    // Composed first: "e" with a combining accent goes out as the code page's "é", not as "e?".
    const QString composed = text.toString().normalized(QString::NormalizationForm_C);
    result.wire = bestFit(composed, &result.refused);
    result.changed = result.wire != text;
    return result;
}

QString refusalMessage(QStringView field, QStringView refused)
{
    QString list;
    for (qsizetype i = 0; i < refused.size(); ++i) {
        const qsizetype width =
            refused[i].isHighSurrogate() && i + 1 < refused.size() && refused[i + 1].isLowSurrogate() ? 2 : 1;
        if (!list.isEmpty())
            list += u' ';
        list += refused.mid(i, width);
        i += width - 1;
    }
    return QStringLiteral("Il campo \u00AB%1\u00BB contiene caratteri che non si possono inviare al server: %2")
        .arg(field, list);
}

QString changeMessage(QStringView field, QStringView original, QStringView wire)
{
    return QStringLiteral("Il campo \u00AB%1\u00BB sar\u00E0 inviato come \u00AB%2\u00BB (era \u00AB%3\u00BB).")
        .arg(field, wire, original);
}

bool canEncode(QStringView text)
{
    for (QChar c : text) {
        if (byteFor(c.unicode()) < 0)
            return false;
    }
    return true;
}

} // namespace Cp1252
