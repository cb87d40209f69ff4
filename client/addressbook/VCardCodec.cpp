#include "VCardCodec.h"

#include "Cp1252.h"

#include <QHashFunctions>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <thread>

using namespace Qt::StringLiterals;

QString LocalContact::shownName() const
{
    if (!displayName.trimmed().isEmpty())
        return displayName;
    const QString joined = QString(firstName + u' ' + surname).trimmed();
    if (!joined.isEmpty())
        return joined;
    return company.isEmpty() ? email : company;
}

namespace VCard {
namespace {

// "\:" and "\"" (a backslash no version reads), the backslashes before them escaped or not.
const QRegularExpression &needlessEscape()
{
    static thread_local const QRegularExpression re(u"(?<!\\\\)((?:\\\\\\\\)*)\\\\([:\"])"_s);
    return re;
}

// Characters no line of a card may hold (a tab aside; a value writes a line break as "\n"): other
// programs refuse a card with them, so they are left out as a card is read.
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7F;
}

QString withoutControls(QString text)
{
    if (std::any_of(text.cbegin(), text.cend(), isControl))
        text.removeIf(isControl);
    return text;
}

// The content a comparison looks at, the uid only when the card had one as read.
quint64 contentDigest(const LocalContact &c, bool withUid)
{
    size_t seed = 0x51ed270b;
    seed = qHashMulti(seed, withUid ? c.uid : QString(), c.displayName, c.firstName, c.surname, c.company, c.email,
                      c.businessFax, c.homeFax, c.phone);
    seed = qHashRange(c.otherLines.cbegin(), c.otherLines.cend(), seed);
    for (auto it = c.kept.cbegin(); it != c.kept.cend(); ++it)
        seed = qHashMulti(seed, it.key(), it.value());
    return quint64(seed) | 1; // never 0, which means "not read"
}

struct Logical
{
    QString text;                 // unfolded
    QStringList raw;              // the physical lines it came as; empty when they cannot stand alone (a fold
                                  // inside a letter): the line is then written folded anew
    qsizetype begin = 0, end = 0; // its bytes in the file, line break included
    bool fallback = false;        // not UTF-8 and no charset named, or not the charset it names: read as
                                  // UTF-8 or Windows-1252
    QByteArray declared;          // the CHARSET it names when its bytes do not fit it
    bool namedCharset = false;    // read as the CHARSET it names, which is not UTF-8
    bool replaced = false;        // UTF-8 with stray bytes, each read as U+FFFD
    bool keptBlanks = false;      // unfolded the 2.1 way, the blank of each fold kept: a 3.0 reader would
                                  // drop it, so the line is folded anew when its card is written
};

// A parameter of the head names the encoding, bare or as ENCODING= (as parseLine reads it), not a text
// that holds the word.
// Calls `each` with every parameter of the head (what lies between ";" before `colon`), trimmed, until it
// returns true; true then.
template <typename Each> bool anyParameter(QByteArrayView head, Each each)
{
    qsizetype at = head.indexOf(';');
    while (at >= 0) {
        const qsizetype next = head.indexOf(';', at + 1);
        if (each(head.sliced(at + 1, (next < 0 ? head.size() : next) - at - 1).trimmed()))
            return true;
        at = next;
    }
    return false;
}

bool headNamesEncoding(QByteArrayView line, QByteArrayView encoding, bool bareOnly = false)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    return anyParameter(line.first(colon), [&](QByteArrayView p) {
        if (p.compare(encoding, Qt::CaseInsensitive) == 0)
            return true;
        return !bareOnly && p.size() == 9 + encoding.size() &&
               p.first(9).compare("ENCODING=", Qt::CaseInsensitive) == 0 &&
               p.sliced(9).compare(encoding, Qt::CaseInsensitive) == 0;
    });
}

bool isQuotedPrintableHead(QByteArrayView line)
{
    return headNamesEncoding(line, "QUOTED-PRINTABLE");
}

// The CHARSET= a property's head names, when it names one.
QByteArray charsetOf(QByteArrayView line)
{
    // Only a property's head names one: the value starts at the first ":" outside quotes, as parseLine
    // reads it.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            colon = i;
    }
    if (colon <= 0)
        return {};
    QByteArray charset;
    anyParameter(line.first(colon), [&](QByteArrayView p) {
        if (p.size() < 8 || p.first(8).compare("charset=", Qt::CaseInsensitive) != 0)
            return false;
        charset = p.sliced(8).toByteArray();
        return true;
    });
    return charset;
}

bool isCp1252Family(QByteArrayView name)
{
    const QByteArray n = name.toByteArray().toLower();
    return n == "windows-1252" || n == "cp1252" || n == "iso-8859-1" || n == "iso-8859-15" || n == "latin1";
}

// A name that the decoder reads as UTF-8 ("utf8", "UTF_8" and other spellings too): read and written as
// UTF-8, whatever the bytes, so a card reads back the same once written in UTF-8.
bool namesUtf8(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    const QStringDecoder decoder(name.toByteArray().constData());
    return decoder.isValid() && qstricmp(decoder.name(), "UTF-8") == 0;
}

enum class Codec { Utf8, Cp1252, Named };

// Plain ASCII fits any charset; other bytes only one Qt knows that reads them without error.
bool fitsCharset(const QByteArray &charset, QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; }))
        return true;
    QStringDecoder named(charset.constData(), QStringDecoder::Flag::Stateless);
    if (!named.isValid())
        return false;
    const QString text = named.decode(bytes);
    Q_UNUSED(text);
    return !named.hasError();
}

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; });
}

bool validUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    Q_UNUSED(text);
    return !utf8.hasError();
}

// Bytes that are not UTF-8 but hold a whole UTF-8 letter beyond ASCII: UTF-8 with stray bytes, read as
// UTF-8 with only the stray bytes replaced (Windows-1252 text hardly ever holds such a pair).
bool utf8WithStrays(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 lead = quint8(bytes[i]);
        const int n = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
        if (n == 0 || lead >= 0xF5 || i + n > bytes.size())
            continue;
        if (validUtf8(bytes.sliced(i, n)))
            return true;
    }
    return false;
}

QString decodeWith(Codec codec, const QByteArray &charset, QByteArrayView bytes)
{
    if (codec == Codec::Cp1252)
        return Cp1252::toUnicode(bytes.toByteArray());
    if (codec == Codec::Named) {
        QStringDecoder named(charset.constData());
        if (named.isValid())
            return named.decode(bytes);
    }
    // A BOM inside the file is a character of its line: kept, so the line reads back the same.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return utf8.decode(bytes);
}

// "UTF-16LE" or "UTF-16BE" when the file is UTF-16 text (a byte-order mark, or the zero byte beside
// every ASCII letter of "BEGIN:VCARD"), else null.
const char *utf16Of(const QByteArray &data)
{
    if (data.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (data.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    if (data.size() < 4)
        return nullptr;
    const qsizetype probe = std::min<qsizetype>(data.size() & ~qsizetype(1), 4096);
    qsizetype evenZero = 0, oddZero = 0;
    for (qsizetype i = 0; i < probe; ++i)
        if (data[i] == '\0')
            ++(i % 2 ? oddZero : evenZero);
    if (oddZero > probe / 4 && evenZero == 0)
        return "UTF-16LE";
    if (evenZero > probe / 4 && oddZero == 0)
        return "UTF-16BE";
    return nullptr;
}

QByteArray utf16AsUtf8(const QByteArray &data, const char *name)
{
    const bool le = qstrcmp(name, "UTF-16LE") == 0;
    QStringDecoder decoder(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    const bool mark = data.startsWith(le ? "\xFF\xFE" : "\xFE\xFF");
    const QString text = decoder.decode(QByteArrayView(data).sliced(mark ? 2 : 0));
    return text.toUtf8();
}

// Where the line from `pos` ends: at a CR or an LF.
qsizetype lineEnd(const QByteArray &data, qsizetype pos)
{
    while (pos < data.size() && data[pos] != '\r' && data[pos] != '\n')
        ++pos;
    return pos;
}

// Past the line end at `end`: CRLF, LF, a lone CR, or CRs before an LF (a CRLF file converted once more)
// are each one line end.
qsizetype afterLineEnd(const QByteArray &data, qsizetype end)
{
    if (end >= data.size())
        return end;
    if (data[end] == '\n')
        return end + 1;
    qsizetype at = end;
    while (at < data.size() && data[at] == '\r')
        ++at;
    if (at < data.size() && data[at] == '\n')
        return at + 1;
    return end + 1; // a lone CR
}

// A head that says base64 in the 2.1 way (ENCODING=BASE64, a bare BASE64 or a bare B; not the 3.0
// ENCODING=b, whose value goes on only on indented lines).
bool isBase64Head(QByteArrayView line)
{
    return headNamesEncoding(line, "BASE64") || headNamesEncoding(line, "B", true);
}

// A quoted-printable line that ends in a soft break: "=" at its end, blanks after it ignored.
bool endsInSoftBreak(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t'))
        line.chop(1);
    return line.endsWith('=');
}

// The line less its soft break (the "=" and any blanks after it).
void chopSoftBreak(QByteArray &line)
{
    while (line.endsWith(' ') || line.endsWith('\t'))
        line.chop(1);
    line.chop(1);
}

// A line that holds base64 letters only (no ":", so never a property).
bool isBase64Text(QByteArrayView line)
{
    return !line.trimmed().isEmpty() && std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
               c == '/' || c == '=' || c == ' ' || c == '\t';
    });
}

enum class CardLine { Other, Begin, End, Version21 };

// What a line is to the reading of cards, as parse reads it (control bytes and byte-order marks left
// out, the group and parameters of the name ignored, blanks around the value), so that the folds of
// a card are read by its own version whatever the card before it was.
CardLine cardLine(QByteArrayView line)
{
    QByteArray cleaned;
    if (std::any_of(line.begin(), line.end(), [](char c) { return (quint8(c) < 0x20 && c != '\t') || c == 0x7F; })) {
        for (const char c : line)
            if (!((quint8(c) < 0x20 && c != '\t') || c == 0x7F))
                cleaned += c;
        line = cleaned;
    }
    line = line.trimmed();
    while (line.startsWith("\xEF\xBB\xBF"))
        line = line.sliced(3).trimmed();
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return CardLine::Other;
    QByteArrayView name = line.first(colon);
    if (const qsizetype semi = name.indexOf(';'); semi >= 0)
        name = name.first(semi);
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    name = name.trimmed();
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (name.compare("BEGIN", Qt::CaseInsensitive) == 0 && value.compare("VCARD", Qt::CaseInsensitive) == 0)
        return CardLine::Begin;
    if (name.compare("END", Qt::CaseInsensitive) == 0)
        return CardLine::End;
    if (name.compare("VERSION", Qt::CaseInsensitive) == 0 && value == "2.1")
        return CardLine::Version21;
    return CardLine::Other;
}

// Physical lines joined, at the byte level, where a line starts with a blank or a tab, and where a
// quoted-printable value ends with "=" (a soft line break). A blank-led line after an empty line
// continues nothing: it stands alone, so it can never glue itself to a property read before. Each
// logical line is then read as its CHARSET, else UTF-8, else Windows-1252: one card's bytes never
// decide how another card is read.
QList<Logical> unfold(const QByteArray &data)
{
    struct Bytes
    {
        QByteArray text;
        QList<QByteArray> raw; // the physical lines once it goes on over more than one, else empty
        qsizetype begin = 0, end = 0;
        bool keptBlanks = false;
        void goesOn(const QByteArray &piece)
        {
            if (raw.isEmpty())
                raw.append(text);
            raw.append(piece);
        }
    };
    QList<Bytes> lines;
    bool afterEmpty = true;
    bool softBreak = false;
    bool base64 = false; // a 2.1 base64 value goes on, indented or not, until a blank line or a property
    // In a 2.1 card a fold is a line break put before a blank: unfolding takes the break only, the
    // blank stays (in 3.0 and 4.0 the blank goes too).
    bool card21 = false;
    qsizetype pos = 0;
    while (pos < data.size()) {
        // A byte-order mark at the start of a line (exports joined into one file) is no part of it.
        if (QByteArrayView(data).sliced(pos).startsWith("\xEF\xBB\xBF"))
            pos += 3;
        const qsizetype begin = pos;
        const qsizetype end = lineEnd(data, pos);
        QByteArray line = data.mid(begin, end - begin);
        pos = afterLineEnd(data, end);
        const qsizetype next = pos;
        // A dangling soft break never swallows the end of the card.
        if (softBreak && line.trimmed().toUpper() == "END:VCARD")
            softBreak = false;
        if (softBreak && !lines.isEmpty()) {
            lines.last().goesOn(line);
            chopSoftBreak(lines.last().text);
            lines.last().text += line;
            lines.last().end = next;
            softBreak = endsInSoftBreak(line);
            continue;
        }
        if (line.isEmpty()) {
            afterEmpty = true;
            base64 = false;
            continue;
        }
        if (line.trimmed().isEmpty())
            base64 = false;
        if (!afterEmpty && !lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'))) {
            lines.last().goesOn(line);
            lines.last().text += card21 ? line : line.mid(1);
            lines.last().keptBlanks = lines.last().keptBlanks || card21;
            lines.last().end = next;
        } else if (base64 && !lines.isEmpty() && isBase64Text(line)) {
            lines.last().goesOn(line);
            lines.last().text += line;
            lines.last().end = next;
        } else {
            lines.append({line, {}, begin, next});
            base64 = isBase64Head(line);
            switch (cardLine(line)) {
            case CardLine::Begin:
            case CardLine::End:
                card21 = false;
                break;
            case CardLine::Version21:
                card21 = true;
                break;
            case CardLine::Other:
                break;
            }
        }
        afterEmpty = false;
        softBreak = endsInSoftBreak(line) && isQuotedPrintableHead(lines.last().text);
    }
    QList<Logical> out;
    out.reserve(lines.size());
    for (const Bytes &b : std::as_const(lines)) {
        Logical l;
        l.begin = b.begin;
        l.end = b.end;
        l.keptBlanks = b.keptBlanks;
        const QByteArray charset = charsetOf(b.text);
        const bool ascii = isAscii(b.text);
        Codec codec = Codec::Utf8;
        if (!charset.isEmpty() && !namesUtf8(charset) && isCp1252Family(charset)) {
            codec = Codec::Cp1252;
            l.namedCharset = true;
        } else if (!charset.isEmpty() && !namesUtf8(charset) && fitsCharset(charset, b.text)) {
            codec = Codec::Named;
            l.namedCharset = true;
        } else if (!ascii && !validUtf8(b.text) && utf8WithStrays(b.text)) {
            l.replaced = true;
        } else if (!ascii && !validUtf8(b.text)) {
            codec = Codec::Cp1252;
            l.fallback = true;
            l.declared = charset;
        } else if (!charset.isEmpty() && !namesUtf8(charset)) {
            l.fallback = true; // a charset we do not know, or bytes it has no letters for: read as UTF-8
            l.declared = charset;
        }
        l.text = withoutControls(ascii ? QString::fromLatin1(b.text) : decodeWith(codec, charset, b.text));
        if (b.raw.isEmpty() && (ascii || codec != Codec::Utf8 || !l.replaced)) { // the line as it came
            l.raw.append(l.text);
            out.append(l);
            continue;
        }
        bool whole = true;
        for (const QByteArray &piece : b.raw.isEmpty() ? QList<QByteArray>{b.text} : b.raw) {
            if (codec == Codec::Utf8 && !validUtf8(piece))
                whole = false;
            l.raw.append(withoutControls(decodeWith(codec, charset, piece)));
        }
        if (!whole)
            l.raw.clear();
        out.append(l);
    }
    return out;
}

// Splits at `sep` where it is not escaped by a backslash; pieces stay escaped.
QStringList splitEscaped(QStringView value, QChar sep)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            current += c;
            current += value[++i];
        } else if (c == sep) {
            parts.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.append(current);
    return parts;
}

struct Property
{
    QString name;      // upper case, group dropped
    QStringList types; // lower case: TYPE= values and bare 2.1 parameters
    QString rawValue;  // still escaped
    QString head;      // group, name and parameters in 3.0 form: bare 2.1 types as one TYPE=, base64 as
                       // ENCODING=b, without quoted-printable, 7bit/8bit and charset
    QString charset;   // CHARSET= of a 2.1 value
    bool quotedPrintable = false;
    bool otherEncoding = false; // base64 and the like: not a text we can edit
    bool base64 = false;
    bool contentId = false;     // a 2.1 VALUE=CONTENT-ID: written as a cid: URI
    bool headChanged = false;   // the head differs from what came
    bool ok = false;
};

Property parseLine(const QString &line)
{
    Property p;
    // The value starts at the first ":" outside a quoted parameter value.
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon < 0)
        return p;
    const QStringList head = line.left(colon).split(u';');
    // Leading blanks are no part of the name: written back, they would make the line a continuation. Nor
    // is a byte-order mark, which is dropped at the start of a line.
    QString first = head.first().trimmed();
    while (first.startsWith(QChar(0xFEFF)))
        first = first.mid(1).trimmed();
    QStringList keptHead{first};
    QString name = first;
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.mid(dot + 1);
    p.name = name.trimmed().toUpper();
    QStringList bareTypes;
    qsizetype bareAt = -1;
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QString param = head[i].trimmed();
        const qsizetype eq = param.indexOf(u'=');
        const QStringView paramView(param);
        const QStringView keyView = eq < 0 ? paramView : paramView.first(eq);
        const QStringView valueView = eq < 0 ? QStringView() : paramView.sliced(eq + 1);
        // Compared without regard to case, as the lower-case texts they stand for.
        struct Folded
        {
            QStringView v;
            bool operator==(const char16_t *s) const { return v.compare(QStringView(s), Qt::CaseInsensitive) == 0; }
            bool operator!=(const char16_t *s) const { return !(*this == s); }
        };
        const Folded key{keyView}, pval{valueView};
        if (param.compare(u"quoted-printable", Qt::CaseInsensitive) == 0 ||
            (key == u"encoding" && pval == u"quoted-printable")) {
            p.quotedPrintable = true;
            p.headChanged = true;
            continue;
        }
        if (key == u"charset") {
            p.charset = param.mid(eq + 1);
            p.headChanged = true;
            continue;
        }
        if (param.isEmpty() || (key == u"encoding" && (pval == u"8bit" || pval == u"7bit"))) {
            p.headChanged = true; // nothing a 3.0 reader needs
            continue;
        }
        if (param.compare(u"base64", Qt::CaseInsensitive) == 0 || param.compare(u"b", Qt::CaseInsensitive) == 0 ||
            (key == u"encoding" && pval == u"base64")) {
            p.otherEncoding = p.base64 = true;
            p.headChanged = true;
            keptHead.append(u"ENCODING=b"_s);
            continue;
        }
        if (key == u"encoding") {
            p.otherEncoding = true;
            p.base64 = pval == u"b";
        }
        // 2.1 value kinds: a URL is a 3.0 uri, a content id a cid: uri, inline the default.
        if (key == u"value" && (pval == u"url" || pval == u"content-id" || pval == u"cid")) {
            p.contentId = pval != u"url";
            p.headChanged = true;
            keptHead.append(u"VALUE=uri"_s);
            continue;
        }
        if (key == u"value" && pval == u"inline") {
            p.headChanged = true;
            continue;
        }
        const bool word = !param.isEmpty() && std::all_of(param.cbegin(), param.cend(), [](QChar c) {
            return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
        });
        if (eq < 0 && word) { // a bare 2.1 type: written as TYPE=
            p.types.append(param.toLower());
            if (bareAt < 0) {
                bareAt = keptHead.size();
                keptHead.append(QString());
            }
            bareTypes.append(param);
            p.headChanged = true;
            continue;
        }
        keptHead.append(head[i]);
        if (eq < 0) {
            p.types.append(param.toLower());
        } else if (param.left(eq).compare(u"TYPE", Qt::CaseInsensitive) == 0) {
            QString v = param.mid(eq + 1);
            v.remove(u'"');
            for (const QString &t : v.split(u','))
                p.types.append(t.trimmed().toLower());
        } else {
            p.types.append(param.toLower()); // "encoding=...", "charset=...": kept for the checks below
        }
    }
    if (bareAt >= 0)
        keptHead[bareAt] = u"TYPE="_s + bareTypes.join(u',');
    p.rawValue = line.mid(colon + 1);
    p.head = keptHead.size() == 1 ? keptHead.first() : keptHead.join(u';');
    p.ok = !p.name.isEmpty();
    return p;
}

QByteArray foldLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    int limit = 75;
    while (bytes.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (quint8(bytes[cut]) & 0xC0) == 0x80) // never inside a UTF-8 sequence
            --cut;
        out += bytes.mid(start, cut - start) + "\r\n ";
        start = cut;
        limit = 74; // the leading blank counts
    }
    out += bytes.mid(start) + "\r\n";
    return out;
}

} // namespace

namespace {

// A text as a value: a backslash and a line break of any kind escaped, "," and ";" too when `separators`,
// no control character.
QString escaped(const QString &value, bool separators)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' || (separators && (c == u',' || c == u';'))) {
            out += u'\\';
            out += c;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            out += u"\\n"_s;
        } else if (!isControl(c)) { // no value may hold one
            out += c;
        }
    }
    return out;
}

} // namespace

QString escapeValue(const QString &value)
{
    return escaped(value, true);
}

QString unescapeValue(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            out += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// The value of a 2.1 quoted-printable property, in its charset (UTF-8 when none is named); bytes that do
// not fit it are read as UTF-8, else Windows-1252, and `fits` is then set false. UTF-8 with stray bytes
// keeps every letter, each stray byte read as U+FFFD (`replaced` set).
QString decodeQuotedPrintable(const QString &value, const QString &charset, bool *fits = nullptr,
                              bool *replaced = nullptr)
{
    if (fits)
        *fits = true;
    if (replaced)
        *replaced = false;
    const QByteArray in = value.toLatin1();
    QByteArray bytes;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int code = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                bytes += char(code);
                i += 2;
                continue;
            }
        }
        if (in[i] == '=' && i >= in.size() - 2)
            break; // a soft break, or an escape cut short, left at the end
        bytes += in[i];
    }
    if (!charset.isEmpty() && !namesUtf8(charset.toLatin1())) {
        if (charset.compare(u"windows-1252", Qt::CaseInsensitive) == 0 ||
            charset.compare(u"iso-8859-1", Qt::CaseInsensitive) == 0 ||
            charset.compare(u"iso-8859-15", Qt::CaseInsensitive) == 0)
            return Cp1252::toUnicode(bytes);
        if (fitsCharset(charset.toLatin1(), bytes)) {
            QStringDecoder named(charset.toLatin1().constData());
            if (named.isValid())
                return named.decode(bytes);
        }
        if (fits)
            *fits = false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // A value cut inside its last letter (a truncated card) is UTF-8 as far as it goes: the bytes after
    // the last lead byte are fewer than its letter needs.
    for (qsizetype cut = 1; cut <= 3 && cut < bytes.size(); ++cut) {
        const quint8 lead = quint8(bytes[bytes.size() - cut]);
        if ((lead & 0xC0) != 0x80) {
            const int needs = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (lead >= 0xC0 && cut < needs && validUtf8(QByteArrayView(bytes).chopped(cut)))
                return QString::fromUtf8(QByteArrayView(bytes).chopped(cut));
            break;
        }
    }
    if (utf8WithStrays(bytes)) {
        if (replaced)
            *replaced = true;
        return QString::fromUtf8(bytes); // each stray byte one U+FFFD
    }
    if (fits)
        *fits = false;
    return Cp1252::toUnicode(bytes);
}

// A decoded 2.1 value as a 3.0 value: escaped, the ";" between the parts of a structured property kept
// (a 2.1 "\;" is a ";" inside a part).
QString escapeDecoded(const QString &name, const QString &text)
{
    static const QStringList structured{u"N"_s, u"ADR"_s, u"ORG"_s, u"GEO"_s};
    if (!structured.contains(name))
        return escapeValue(text);
    QStringList parts = splitEscaped(text, u';');
    for (QString &part : parts)
        part = escapeValue(part.replace(u"\\;"_s, u";"_s));
    return parts.join(u';');
}

// The unescaped text of a property we edit.
QString textOf(const Property &p)
{
    if (p.quotedPrintable)
        return decodeQuotedPrintable(p.rawValue, p.charset); // 2.1 values carry no backslash escapes
    return unescapeValue(p.rawValue);
}

// "tel:+39-02-123;ext=4" -> "+39021234": a number as a fax number field holds it.
QString numberOfUri(const QString &uri)
{
    QString n = uri.mid(4);
    if (const qsizetype semi = n.indexOf(u';'); semi >= 0)
        n.truncate(semi);
    n.remove(u'-');
    n.remove(u'.');
    n.remove(u'(');
    n.remove(u')');
    n.remove(u' ');
    return n;
}

// A tel: URI as a value: its ";" and "," stay as they are, a backslash and a line break of any kind are
// escaped as in any value (written raw, the backslash would be read as an escape and the break would end
// the line).
QString escapeUri(const QString &uri)
{
    return escaped(uri, false);
}

const QString FaxHead = u"TEL;TYPE=WORK,FAX"_s;
const QString HomeFaxHead = u"TEL;TYPE=HOME,FAX"_s;
const QString PhoneHead = u"TEL;TYPE=WORK,VOICE"_s;
const QString EmailHead = u"EMAIL;TYPE=INTERNET"_s;
const QString KeptLineHead = u"X-QUORIN-RIGA"_s; // a line of the file that was no property

} // namespace

namespace {

// The cards of `data`, whose first line is line `firstLine` of the file.
QList<LocalContact> parseText(const QByteArray &data, int firstLine, QStringList *problems, QByteArray *trailing)
{
    QList<LocalContact> cards;
    auto problem = [&](const QString &text) {
        if (problems)
            problems->append(text);
    };
    const QList<Logical> lines = unfold(data);
    bool inCard = false;
    LocalContact card;
    qsizetype cardBegin = 0;
    qsizetype keptFrom = 0; // text from here on that no card took
    bool cardFallback = false;
    bool cardReplaced = false; // stray bytes in UTF-8 text, read as U+FFFD
    bool card21 = false; // the card says VERSION:2.1
    QByteArray cardDeclared;
    // The line of the file where a byte offset lies.
    qsizetype countedTo = 0;
    int countedLines = firstLine;
    auto lineAt = [&](qsizetype offset) {
        for (qsizetype at = lineEnd(data, countedTo); at < offset; at = lineEnd(data, countedTo)) {
            countedTo = afterLineEnd(data, at);
            ++countedLines;
        }
        return countedLines;
    };
    auto finish = [&] {
        for (QString *field : {&card.displayName, &card.firstName, &card.surname, &card.company, &card.email,
                               &card.businessFax, &card.homeFax, &card.phone})
            *field = withoutControls(field->normalized(QString::NormalizationForm_C));
        if (card.displayName.trimmed().isEmpty())
            card.displayName = card.shownName(); // what we write as FN
        if (cardFallback && cardDeclared.isEmpty())
            problem(u"Scheda «%1»: non è UTF-8, letta come Windows-1252"_s.arg(card.shownName()));
        else if (cardFallback)
            problem(u"Scheda «%1»: il testo non è nella codifica che dichiara (%2), letto come UTF-8 o "
                    u"Windows-1252"_s.arg(card.shownName(), QString::fromLatin1(cardDeclared)));
        if (cardReplaced)
            problem(u"Scheda «%1»: byte non validi in UTF-8, sostituiti da «\uFFFD»; il resto del testo è "
                    u"conservato"_s.arg(card.shownName()));
        cards.append(card);
    };
    // A kept line never starts with a blank: written first on its own line it would continue the line
    // before it.
    // Nor does it hold an empty line: read back, the line after it would stand on its own.
    auto keepRaw = [&](const Logical &l, const Property *p = nullptr) {
        QStringList parts;
        // A 2.1 head or value goes in 3.0 form (what the card is written as when edited): its text in
        // UTF-8, escaped, folded anew. Kept as it came when that form would not read back the same.
        // So does a 2.1 text value (its "," and "\" escaped as 3.0 wants them), a ":" or a quote escaped
        // where nothing needs it ("http\://", read as ":" by every reader), and a line longer than a line
        // may be.
        static const QStringList texts{u"NOTE"_s,  u"TITLE"_s, u"ROLE"_s, u"LABEL"_s, u"ADR"_s,
                                       u"NICKNAME"_s, u"FN"_s, u"N"_s,    u"ORG"_s,   u"SORT-STRING"_s};
        const bool text21 = p && card21 && !p->quotedPrintable && !p->otherEncoding && texts.contains(p->name);
        const bool colon =
            p && !p->otherEncoding && (p->rawValue.contains(u"\\:"_s) || p->rawValue.contains(u"\\\""_s));
        const bool longLine = std::any_of(l.raw.cbegin(), l.raw.cend(),
                                          [](const QString &part) { return part.toUtf8().size() > 75; });
        const bool folded21 = l.keptBlanks; // a 3.0 reader would drop the blank of each fold
        if (p && p->ok && (p->headChanged || p->quotedPrintable || text21 || colon || longLine || folded21) &&
            !p->head.startsWith(QChar(0xFEFF))) {
            QString value = p->rawValue;
            if (p->quotedPrintable)
                value = escapeDecoded(p->name, decodeQuotedPrintable(p->rawValue, p->charset));
            else if (p->base64)
                value.removeIf([](QChar c) { return c.isSpace(); });
            else if (text21)
                value = escapeDecoded(p->name, value);
            if (p->contentId && !value.startsWith(u"cid:"_s, Qt::CaseInsensitive)) {
                value = value.trimmed();
                if (value.startsWith(u'<') && value.endsWith(u'>'))
                    value = value.mid(1, value.size() - 2);
                value.prepend(u"cid:"_s);
            }
            if (!p->base64)
                value = withoutControls(value);
            if (!p->otherEncoding)
                if (value.contains(u"\\:"_s) || value.contains(u"\\\""_s))
                    value.replace(needlessEscape(), u"\\1\\2"_s);
            const Property back = parseLine(p->head + u':' + value);
            if (back.ok && !back.headChanged && !back.quotedPrintable && back.head == p->head &&
                back.rawValue == value) {
                QByteArray folded = foldLine(p->head + u':' + value);
                folded.chop(2);
                card.otherLines.append(QString::fromUtf8(folded));
                return;
            }
        }
        if (l.namedCharset && l.text.indexOf(u':') > 0) { // written in UTF-8 when its card is: it says so
            static thread_local const QRegularExpression charsetParam(u"(;\\s*CHARSET=)[^;:]*"_s,
                                                         QRegularExpression::CaseInsensitiveOption);
            const qsizetype colon = l.text.indexOf(u':');
            QString head = l.text.left(colon);
            head.replace(charsetParam, u"\\1UTF-8"_s);
            QByteArray folded = foldLine(head + l.text.mid(colon));
            folded.chop(2);
            card.otherLines.append(QString::fromUtf8(folded).trimmed());
            return;
        }
        if (l.raw.isEmpty()) { // folded inside a letter: folded anew, between letters
            QByteArray folded = foldLine(l.text);
            folded.chop(2);
            QString line = QString::fromUtf8(folded).trimmed();
            while (line.startsWith(QChar(0xFEFF)) || line.startsWith(u' ') || line.startsWith(u'\t'))
                line.remove(0, 1);
            if (!line.trimmed().isEmpty())
                card.otherLines.append(line);
            return;
        }
        for (const QString &part : l.raw) {
            if (parts.isEmpty() || !part.isEmpty())
                parts.append(part);
        }
        QString raw = parts.join(u"\r\n"_s);
        // A first line of blanks alone goes too, with its break; so does a byte-order mark, which would be
        // dropped at the start of a line.
        while (!raw.isEmpty() && (raw[0] == u' ' || raw[0] == u'\t' || raw[0] == u'\r' || raw[0] == u'\n' ||
                                  raw[0] == QChar(0xFEFF)))
            raw.remove(0, 1);
        if (!raw.trimmed().isEmpty()) // a mark alone: nothing to keep
            card.otherLines.append(raw);
    };
    auto keepHead = [&](const QString &key, const QString &head, const QString &usual) {
        if (head != usual)
            card.kept.insert(key, head);
    };
    // A 2.1 AGENT without a value is followed by its own card: that card's lines become its 3.0 value, one
    // text with "\n" between the lines.
    int agentDepth = 0;
    bool agentPending = false;
    Logical agentLine;
    Property agentProperty;
    QString agentText;
    auto agentDone = [&] {
        QByteArray folded = foldLine(agentProperty.head + u':' + escapeValue(agentText));
        folded.chop(2);
        card.otherLines.append(QString::fromUtf8(folded));
        agentText.clear();
        agentDepth = 0;
    };
    for (const Logical &logical : lines) {
        const QString &line = logical.text;
        if (line.trimmed().isEmpty())
            continue;
        const Property p = parseLine(line);
        const bool begins =
            p.ok && p.name == u"BEGIN" && p.rawValue.trimmed().compare(u"VCARD", Qt::CaseInsensitive) == 0;
        if (inCard && (agentDepth > 0 || (agentPending && begins))) {
            agentPending = false;
            agentDepth += begins ? 1 : (p.ok && p.name == u"END") ? -1 : 0;
            agentText += line.trimmed() + u'\n';
            if (agentDepth == 0)
                agentDone();
            continue;
        }
        if (agentPending) {
            agentPending = false;
            keepRaw(agentLine, &agentProperty);
        }
        if (begins) {
            if (inCard) {
                problem(u"Riga %1: scheda senza END:VCARD"_s.arg(lineAt(logical.begin)));
                finish();
                keptFrom = logical.begin;
            }
            card = LocalContact();
            card.leading = data.mid(keptFrom, logical.begin - keptFrom);
            cardBegin = logical.begin;
            cardFallback = false;
            cardReplaced = false;
            card21 = false;
            cardDeclared.clear();
            inCard = true;
            continue;
        }
        if (!inCard) {
            problem(u"Riga %1: testo fuori da una scheda, conservato com'è"_s.arg(lineAt(logical.begin)));
            continue;
        }
        if (logical.fallback && !cardFallback)
            cardDeclared = logical.declared;
        cardFallback = cardFallback || logical.fallback;
        cardReplaced = cardReplaced || logical.replaced;
        if (p.quotedPrintable && !cardFallback) {
            bool fits = true, replaced = false;
            decodeQuotedPrintable(p.rawValue, p.charset, &fits, &replaced);
            cardReplaced = cardReplaced || replaced;
            if (!fits) {
                cardFallback = true;
                cardDeclared = p.charset.toLatin1();
            }
        }
        if (p.ok && p.name == u"END") {
            QByteArray bytes = data.mid(cardBegin, logical.end - cardBegin);
            if (!bytes.endsWith('\n') && !bytes.endsWith('\r'))
                bytes += "\r\n";
            // A BEGIN led by blanks would continue the line written before it: such a card is written
            // in our own form.
            if (!bytes.startsWith(' ') && !bytes.startsWith('\t'))
                card.original = bytes;
            finish();
            if (!cards.last().original.isEmpty())
                cards.last().readDigest = contentDigest(cards.last(), !cards.last().uid.isEmpty());
            inCard = false;
            keptFrom = logical.end;
            continue;
        }
        if (!p.ok) {
            problem(u"Riga %1: riga non valida, conservata nella sua scheda"_s.arg(lineAt(logical.begin)));
            // Kept as the value of a property of ours: as it stands, no reader would take the card.
            QString text = logical.text.trimmed();
            while (text.startsWith(QChar(0xFEFF)))
                text = text.mid(1).trimmed();
            if (!text.isEmpty()) {
                QByteArray folded = foldLine(KeptLineHead + u':' + escapeValue(text));
                folded.chop(2);
                card.otherLines.append(QString::fromUtf8(folded));
            }
            continue;
        }
        if (p.name == u"VERSION") {
            card21 = p.rawValue.trimmed() == u"2.1";
            if (p.rawValue.trimmed() == u"4.0")
                card.kept.insert(u"VERSION"_s, u"4.0"_s);
            continue;
        }
        if (p.name == u"AGENT" && p.rawValue.trimmed().isEmpty()) {
            agentPending = true;
            agentLine = logical;
            agentProperty = p;
        } else if (p.otherEncoding) {
            keepRaw(logical, &p);
        } else if (p.name == u"UID" && card.uid.isEmpty()) {
            card.uid = textOf(p);
        } else if (p.name == u"FN" && card.displayName.trimmed().isEmpty()) { // a blank FN gives way
            card.displayName = textOf(p);
            keepHead(u"FN"_s, p.head, u"FN"_s);
        } else if (p.name == u"N" && card.surname.isEmpty() &&
                   card.firstName.isEmpty()) {
            QStringList parts = splitEscaped(p.quotedPrintable ? decodeQuotedPrintable(p.rawValue, p.charset)
                                                               : p.rawValue,
                                             u';');
            card.surname = unescapeValue(parts.value(0));
            card.firstName = unescapeValue(parts.value(1));
            QString rest = parts.mid(2).join(u';');
            if (p.quotedPrintable) // 2.1 text: escaped as 3.0 text is
                rest = escapeDecoded(p.name, rest);
            if (!QString(rest).remove(u';').isEmpty())
                card.kept.insert(u"N.rest"_s, rest);
            keepHead(u"N"_s, p.head, u"N"_s);
        } else if ((p.name == u"EMAIL" || p.name == u"ORG") && textOf(p).isEmpty()) {
            keepRaw(logical, &p); // nothing to edit: written back as it came
        } else if (p.name == u"ORG" && card.company.isEmpty()) {
            const QStringList units = splitEscaped(
                p.quotedPrintable ? decodeQuotedPrintable(p.rawValue, p.charset) : p.rawValue, u';');
            card.company = unescapeValue(units.value(0));
            if (units.size() > 1)
                card.kept.insert(u"ORG.rest"_s, p.quotedPrintable ? escapeDecoded(p.name, units.mid(1).join(u';'))
                                                                  : units.mid(1).join(u';'));
            keepHead(u"ORG"_s, p.head, u"ORG"_s);
        } else if (p.name == u"EMAIL" && card.email.isEmpty()) {
            card.email = textOf(p);
            keepHead(u"EMAIL"_s, p.head, EmailHead);
        } else if (p.name == u"TEL") {
            const bool fax = p.types.contains(u"fax"_s);
            const bool home = p.types.contains(u"home"_s);
            const QString key = fax ? (home ? u"TEL.homefax"_s : u"TEL.fax"_s) : u"TEL.phone"_s;
            QString *slot = fax ? (home ? &card.homeFax : &card.businessFax) : &card.phone;
            const QString value = textOf(p);
            const bool uri = value.startsWith(u"tel:", Qt::CaseInsensitive);
            const QString number = uri ? numberOfUri(value) : value;
            if (!slot->isEmpty() || number.isEmpty()) { // a second number, or none: kept as it came
                keepRaw(logical, &p);
                continue;
            }
            if (uri)
                card.kept.insert(key + u".uri"_s, value.mid(4));
            *slot = number;
            keepHead(key, p.head, fax ? (home ? HomeFaxHead : FaxHead) : PhoneHead);
        } else {
            keepRaw(logical, &p);
        }
    }
    if (inCard) {
        if (agentPending)
            keepRaw(agentLine, &agentProperty);
        else if (agentDepth > 0)
            agentDone();
        problem(u"Scheda senza END:VCARD alla fine del file"_s);
        finish();
        keptFrom = data.size();
    }
    if (trailing)
        *trailing = data.mid(keptFrom);
    return cards;
}

// Where a large text may be cut in two that read as the whole does: the start of a "BEGIN:VCARD" line
// right after an "END:VCARD" line (a card ends there and the next starts, with nothing between), at or
// after `from`; -1 when there is none.
qsizetype cardBoundary(const QByteArray &data, qsizetype from)
{
    for (qsizetype at = data.indexOf("BEGIN:VCARD", from); at > 0; at = data.indexOf("BEGIN:VCARD", at + 1)) {
        if (data[at - 1] != '\n' && data[at - 1] != '\r')
            continue;
        qsizetype end = at - 1;
        while (end > 0 && (data[end - 1] == '\n' || data[end - 1] == '\r'))
            --end;
        if (at - end > 2 || (at - end == 2 && !(data[end] == '\r' && data[end + 1] == '\n')))
            continue; // an empty line between: text that belongs to the next card
        qsizetype begin = end;
        while (begin > 0 && data[begin - 1] != '\n' && data[begin - 1] != '\r')
            --begin;
        if (QByteArrayView(data).sliced(begin, end - begin).compare("END:VCARD", Qt::CaseInsensitive) == 0)
            return at;
    }
    return -1;
}

// Lines before `pos`, as parseText counts them.
int linesBefore(const QByteArray &data, qsizetype pos)
{
    int lines = 0;
    for (qsizetype at = lineEnd(data, 0); at < pos; at = lineEnd(data, at)) {
        at = afterLineEnd(data, at);
        ++lines;
    }
    return lines;
}

} // namespace

QList<LocalContact> parse(const QByteArray &input, QStringList *problems, QByteArray *trailing)
{
    QStringList told;
    // A UTF-16 file is read as its UTF-8 text: its cards are written in UTF-8 from then on.
    QByteArray data = input;
    if (const char *name = utf16Of(input)) {
        data = utf16AsUtf8(input, name);
        told.append(u"Il file è in %1: viene letto, e il primo salvataggio lo scrive in UTF-8."_s.arg(
            QLatin1StringView(name)));
    }
    // Cards are read each on its own, so a large book is read in two halves at once, cut between two
    // cards.
    const qsizetype cut = data.size() >= 512 * 1024 ? cardBoundary(data, data.size() / 2) : -1;
    if (cut < 0) {
        QList<LocalContact> cards = parseText(data, 1, &told, trailing);
        if (problems)
            *problems += told;
        return cards;
    }
    const QByteArray first = data.first(cut), second = data.sliced(cut);
    QStringList toldFirst, toldSecond;
    QList<LocalContact> cards;
    std::thread half([&] { cards = parseText(first, 1, &toldFirst, nullptr); });
    QList<LocalContact> rest = parseText(second, 1 + linesBefore(data, cut), &toldSecond, trailing);
    half.join();
    cards += std::move(rest);
    if (problems)
        *problems += told + toldFirst + toldSecond;
    return cards;
}

bool untouched(const LocalContact &c)
{
    if (c.original.isEmpty())
        return false;
    // Read from these bytes: unchanged while the content gives the digest it had (with its uid, or without
    // one for a card that had none, whose uid was given afterwards).
    if (c.readDigest != 0)
        return contentDigest(c, true) == c.readDigest || contentDigest(c, false) == c.readDigest;
    const QList<LocalContact> read = parse(c.original);
    if (read.size() != 1)
        return false;
    LocalContact asRead = read.first();
    if (asRead.uid.isEmpty())
        asRead.uid = c.uid; // the uid we made up for a card without one is never written
    return asRead == c;
}

QByteArray serialize(const QList<LocalContact> &contacts, const QByteArray &trailing)
{
    QByteArray out;
    for (const LocalContact &c : contacts) {
        out += c.leading;
        if (untouched(c)) {
            out += c.original;
            continue;
        }
        const auto head = [&c](const QString &key, const QString &usual) { return c.kept.value(key, usual); };
        const auto tel = [&](const QString &key, const QString &usual, const QString &number) {
            QString value = escapeValue(number);
            // A number that came as a URI goes back as one; the URI as it came when the number is unchanged.
            if (c.kept.contains(key + u".uri"_s)) {
                const QString uri = c.kept.value(key + u".uri"_s);
                value = u"tel:"_s + escapeUri(numberOfUri(u"tel:"_s + uri) == number ? uri : number);
            }
            out += foldLine(head(key, usual) + u':' + value);
        };
        out += "BEGIN:VCARD\r\nVERSION:" + c.kept.value(u"VERSION"_s, u"3.0"_s).toLatin1() + "\r\n";
        if (!c.uid.isEmpty())
            out += foldLine(u"UID:"_s + escapeValue(c.uid));
        out += foldLine(head(u"FN"_s, u"FN"_s) + u':' + escapeValue(c.shownName()));
        const QString nRest = c.kept.contains(u"N.rest"_s) ? c.kept.value(u"N.rest"_s) : u";;"_s;
        out += foldLine(head(u"N"_s, u"N"_s) + u':' + escapeValue(c.surname) + u';' + escapeValue(c.firstName) +
                        u';' + nRest);
        if (!c.company.isEmpty() || c.kept.contains(u"ORG.rest"_s)) {
            QString org = escapeValue(c.company);
            if (c.kept.contains(u"ORG.rest"_s))
                org += u';' + c.kept.value(u"ORG.rest"_s);
            out += foldLine(head(u"ORG"_s, u"ORG"_s) + u':' + org);
        }
        if (!c.email.isEmpty())
            out += foldLine(head(u"EMAIL"_s, EmailHead) + u':' + escapeValue(c.email));
        if (!c.businessFax.isEmpty())
            tel(u"TEL.fax"_s, FaxHead, c.businessFax);
        if (!c.homeFax.isEmpty())
            tel(u"TEL.homefax"_s, HomeFaxHead, c.homeFax);
        if (!c.phone.isEmpty())
            tel(u"TEL.phone"_s, PhoneHead, c.phone);
        for (const QString &line : c.otherLines) // as they came, with their own folding
            out += line.toUtf8() + "\r\n";
        out += "END:VCARD\r\n";
    }
    return out + trailing;
}

} // namespace VCard
