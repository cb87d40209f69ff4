#include "VCardBook.h"

#include "AppPaths.h"
#include "Cp1252.h"
#include "WriteFailure.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QLockFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <optional>

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
};

// A parameter of the head names the encoding, bare or as ENCODING= (as parseLine reads it), not a text
// that holds the word.
bool headNamesEncoding(QByteArrayView line, QByteArrayView encoding)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QList<QByteArray> params = line.first(colon).toByteArray().split(';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray p = params[i].trimmed().toUpper();
        if (p == encoding || (p.startsWith("ENCODING=") && p.sliced(9) == encoding))
            return true;
    }
    return false;
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
    const QList<QByteArray> params = line.first(colon).toByteArray().split(';');
    for (qsizetype i = 1; i < params.size(); ++i) {
        const QByteArray param = params[i].trimmed();
        if (param.toLower().startsWith("charset="))
            return param.mid(8);
    }
    return {};
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

bool validUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    Q_UNUSED(text);
    return !utf8.hasError();
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

// A head that says base64 in the 2.1 way (ENCODING=BASE64 or a bare BASE64).
bool isBase64Head(QByteArrayView line)
{
    return headNamesEncoding(line, "BASE64");
}

// A line that holds base64 letters only (no ":", so never a property).
bool isBase64Text(QByteArrayView line)
{
    return !line.trimmed().isEmpty() && std::all_of(line.begin(), line.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
               c == '/' || c == '=' || c == ' ' || c == '\t';
    });
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
        QList<QByteArray> raw;
        qsizetype begin = 0, end = 0;
    };
    QList<Bytes> lines;
    bool afterEmpty = true;
    bool softBreak = false;
    bool base64 = false; // a 2.1 base64 value goes on, indented or not, until a blank line or a property
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
            lines.last().text.chop(1);
            lines.last().text += line;
            lines.last().raw.append(line);
            lines.last().end = next;
            softBreak = line.endsWith('=');
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
            lines.last().text += line.mid(1);
            lines.last().raw.append(line);
            lines.last().end = next;
        } else if (base64 && !lines.isEmpty() && isBase64Text(line)) {
            lines.last().text += line;
            lines.last().raw.append(line);
            lines.last().end = next;
        } else {
            lines.append({line, {line}, begin, next});
            base64 = isBase64Head(line);
        }
        afterEmpty = false;
        softBreak = line.endsWith('=') && isQuotedPrintableHead(lines.last().text);
    }
    QList<Logical> out;
    out.reserve(lines.size());
    for (const Bytes &b : std::as_const(lines)) {
        Logical l;
        l.begin = b.begin;
        l.end = b.end;
        const QByteArray charset = charsetOf(b.text);
        Codec codec = Codec::Utf8;
        if (!charset.isEmpty() && !namesUtf8(charset) && isCp1252Family(charset)) {
            codec = Codec::Cp1252;
            l.namedCharset = true;
        } else if (!charset.isEmpty() && !namesUtf8(charset) && fitsCharset(charset, b.text)) {
            codec = Codec::Named;
            l.namedCharset = true;
        } else if (!validUtf8(b.text)) {
            codec = Codec::Cp1252;
            l.fallback = true;
            l.declared = charset;
        } else if (!charset.isEmpty() && !namesUtf8(charset)) {
            l.fallback = true; // a charset we do not know, or bytes it has no letters for: read as UTF-8
            l.declared = charset;
        }
        l.text = decodeWith(codec, charset, b.text);
        bool whole = true;
        for (const QByteArray &piece : b.raw) {
            if (codec == Codec::Utf8 && !validUtf8(piece))
                whole = false;
            l.raw.append(decodeWith(codec, charset, piece));
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
        const QString key = (eq < 0 ? param : param.left(eq)).toLower();
        const QString pval = eq < 0 ? QString() : param.mid(eq + 1).toLower();
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
        if (param.compare(u"base64", Qt::CaseInsensitive) == 0 || (key == u"encoding" && pval == u"base64")) {
            p.otherEncoding = p.base64 = true;
            p.headChanged = true;
            keptHead.append(u"ENCODING=b"_s);
            continue;
        }
        if (key == u"encoding") {
            p.otherEncoding = true;
            p.base64 = pval == u"b";
        }
        static const QRegularExpression word(u"^[A-Za-z0-9-]+$"_s);
        if (eq < 0 && word.match(param).hasMatch()) { // a bare 2.1 type: written as TYPE=
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
    p.head = keptHead.join(u';');
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

QString escapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\r') {
            if (i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
            out += u"\\n"_s;
        } else if (c == u'\n') {
            out += u"\\n"_s;
        } else {
            out += c;
        }
    }
    return out;
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
// not fit it are read as UTF-8, else Windows-1252, and `fits` is then set false.
QString decodeQuotedPrintable(const QString &value, const QString &charset, bool *fits = nullptr)
{
    if (fits)
        *fits = true;
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
    // A value cut inside its last letter (a truncated card) is UTF-8 as far as it goes.
    for (qsizetype cut = 1; cut <= 3 && cut < bytes.size(); ++cut) {
        if ((quint8(bytes[bytes.size() - cut]) & 0xC0) != 0x80) {
            if (quint8(bytes[bytes.size() - cut]) >= 0xC0 && validUtf8(QByteArrayView(bytes).chopped(cut)))
                return QString::fromUtf8(QByteArrayView(bytes).chopped(cut));
            break;
        }
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
    QString out;
    out.reserve(uri.size());
    for (qsizetype i = 0; i < uri.size(); ++i) {
        const QChar c = uri[i];
        if (c == u'\\') {
            out += u"\\\\"_s;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < uri.size() && uri[i + 1] == u'\n')
                ++i;
            out += u"\\n"_s;
        } else {
            out += c;
        }
    }
    return out;
}

const QString FaxHead = u"TEL;TYPE=WORK,FAX"_s;
const QString HomeFaxHead = u"TEL;TYPE=HOME,FAX"_s;
const QString PhoneHead = u"TEL;TYPE=WORK,VOICE"_s;
const QString EmailHead = u"EMAIL;TYPE=INTERNET"_s;

} // namespace

QList<LocalContact> parse(const QByteArray &input, QStringList *problems, QByteArray *trailing)
{
    QList<LocalContact> cards;
    auto problem = [&](const QString &text) {
        if (problems)
            problems->append(text);
    };
    // A UTF-16 file is read as its UTF-8 text: its cards are written in UTF-8 from then on.
    QByteArray data = input;
    if (const char *name = utf16Of(input)) {
        data = utf16AsUtf8(input, name);
        problem(u"Il file è in %1: viene letto, e il primo salvataggio lo scrive in UTF-8."_s.arg(
            QLatin1StringView(name)));
    }
    const QList<Logical> lines = unfold(data);
    bool inCard = false;
    LocalContact card;
    qsizetype cardBegin = 0;
    qsizetype keptFrom = 0; // text from here on that no card took
    bool cardFallback = false;
    bool card21 = false; // the card says VERSION:2.1
    QByteArray cardDeclared;
    // The line of the file where a byte offset lies.
    qsizetype countedTo = 0;
    int countedLines = 1;
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
            *field = field->normalized(QString::NormalizationForm_C);
        if (card.displayName.trimmed().isEmpty())
            card.displayName = card.shownName(); // what we write as FN
        if (cardFallback && cardDeclared.isEmpty())
            problem(u"Scheda «%1»: non è UTF-8, letta come Windows-1252"_s.arg(card.shownName()));
        else if (cardFallback)
            problem(u"Scheda «%1»: il testo non è nella codifica che dichiara (%2), letto come UTF-8 o "
                    u"Windows-1252"_s.arg(card.shownName(), QString::fromLatin1(cardDeclared)));
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
        if (p && p->ok && (p->headChanged || p->quotedPrintable || text21 || colon || longLine) &&
            !p->head.startsWith(QChar(0xFEFF))) {
            QString value = p->rawValue;
            if (p->quotedPrintable)
                value = escapeDecoded(p->name, decodeQuotedPrintable(p->rawValue, p->charset));
            else if (p->base64)
                value.remove(QRegularExpression(u"\\s"_s));
            else if (text21)
                value = escapeDecoded(p->name, value);
            if (!p->otherEncoding)
                value.replace(QRegularExpression(u"(?<!\\\\)((?:\\\\\\\\)*)\\\\([:\"])"_s), u"\\1\\2"_s);
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
            static const QRegularExpression charsetParam(u"(;\\s*CHARSET=)[^;:]*"_s,
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
    for (const Logical &logical : lines) {
        const QString &line = logical.text;
        if (line.trimmed().isEmpty())
            continue;
        const Property p = parseLine(line);
        if (p.ok && p.name == u"BEGIN" && p.rawValue.trimmed().compare(u"VCARD", Qt::CaseInsensitive) == 0) {
            if (inCard) {
                problem(u"Riga %1: scheda senza END:VCARD"_s.arg(lineAt(logical.begin)));
                finish();
                keptFrom = logical.begin;
            }
            card = LocalContact();
            card.leading = data.mid(keptFrom, logical.begin - keptFrom);
            cardBegin = logical.begin;
            cardFallback = false;
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
        if (p.quotedPrintable && !cardFallback) {
            bool fits = true;
            decodeQuotedPrintable(p.rawValue, p.charset, &fits);
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
            inCard = false;
            keptFrom = logical.end;
            continue;
        }
        if (!p.ok) {
            problem(u"Riga %1: riga non valida, conservata nella sua scheda"_s.arg(lineAt(logical.begin)));
            keepRaw(logical);
            continue;
        }
        if (p.name == u"VERSION") {
            card21 = p.rawValue.trimmed() == u"2.1";
            if (p.rawValue.trimmed() == u"4.0")
                card.kept.insert(u"VERSION"_s, u"4.0"_s);
            continue;
        }
        if (p.otherEncoding) {
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
        problem(u"Scheda senza END:VCARD alla fine del file"_s);
        finish();
        keptFrom = data.size();
    }
    if (trailing)
        *trailing = data.mid(keptFrom);
    return cards;
}

bool untouched(const LocalContact &c)
{
    if (c.original.isEmpty())
        return false;
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

QString LocalAddressBook::defaultPath()
{
    return AppPaths::dataDir() + u"/addressbook.vcf"_s;
}

LocalAddressBook &LocalAddressBook::shared(const QString &path)
{
    static QHash<QString, LocalAddressBook *> books;
    const QString key = QFileInfo(path).absoluteFilePath();
    LocalAddressBook *&book = books[key];
    if (!book)
        book = new LocalAddressBook(key, qApp); // lives as long as the program
    return *book;
}

LocalAddressBook::LocalAddressBook(const QString &path, QObject *parent) : QObject(parent), m_path(path) {}

LocalAddressBook::~LocalAddressBook() = default;

bool LocalAddressBook::readFile(QByteArray *data, bool *exists, QString *error) const
{
    QFile file(m_path);
    *exists = file.exists();
    data->clear();
    if (!*exists)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(m_path);
        if (error)
            *error = u"Impossibile leggere la rubrica %1: %2."_s.arg(
                m_path, info.isDir()         ? u"al suo posto c'è una cartella"_s
                        : !info.isReadable() ? u"mancano i permessi per leggerla"_s
                                             : u"errore del sistema (%1)"_s.arg(file.errorString()));
        return false;
    }
    *data = file.readAll();
    return true;
}

namespace {

// Cards from other programs may have no UID; ours is derived from the card, so the same card keeps the
// same uid at every read and a change of ours finds it again after the file was read anew.
void giveUids(QList<LocalContact> &contacts)
{
    QHash<QString, int> seen;
    for (LocalContact &c : contacts) {
        if (!c.uid.isEmpty())
            continue;
        LocalContact alone = c;
        alone.leading.clear(); // text around the card is no part of it
        const QByteArray digest =
            QCryptographicHash::hash(VCard::serialize({alone}), QCryptographicHash::Sha1).toHex().left(20);
        const QString base = u"quorin-"_s + QString::fromLatin1(digest);
        const int n = seen[base]++;
        c.uid = n == 0 ? base : base + u'-' + QString::number(n);
    }
}

// The digest of a card's bytes, as its key carries it when other cards share its UID.
QString cardDigest(const LocalContact &c)
{
    LocalContact alone = c;
    alone.leading.clear();
    const QByteArray bytes = c.original.isEmpty() ? VCard::serialize({alone}) : c.original;
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// Each card's key: its UID where no other card has it; where cards share one, the UID with a digest of
// the card's bytes (and its place among cards of the same bytes), so the same card keeps its key at
// every read and no two cards have the same.
void giveKeys(QList<LocalContact> &contacts)
{
    giveUids(contacts);
    QHash<QString, int> holders;
    for (const LocalContact &c : std::as_const(contacts))
        ++holders[c.uid];
    QHash<QString, int> seen;
    for (LocalContact &c : contacts) {
        if (holders.value(c.uid) == 1) {
            c.key = c.uid;
            continue;
        }
        const QString base = c.uid + u'\n' + cardDigest(c);
        const int n = seen[base]++;
        c.key = n == 0 ? base : base + u'\n' + QString::number(n);
    }
}

} // namespace

void LocalAddressBook::takeContent(const QByteArray &data, bool exists)
{
    m_problems.clear();
    m_contacts = VCard::parse(data, &m_problems, &m_trailing);
    giveKeys(m_contacts);
    m_keepOriginal = !m_problems.isEmpty();
    m_lastBytes = data;
    m_lastExists = exists;
    m_readOnce = true;
    m_open = true;
}

void LocalAddressBook::watch()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        const auto seen = [this] {
            refresh();
            watch(); // an atomic replace drops the old file from the watch
        };
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, seen);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, seen);
        m_watcher->addPath(QFileInfo(m_path).absolutePath());
    }
    if (QFile::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
}

bool LocalAddressBook::load(QString *error)
{
    QByteArray data;
    bool exists = false;
    if (!readFile(&data, &exists, error)) {
        m_contacts.clear();
        m_problems.clear();
        m_trailing.clear();
        m_keepOriginal = true;
        m_open = false;
        m_readOnce = false;
        Q_EMIT changed();
        return false;
    }
    takeContent(data, exists);
    watch();
    Q_EMIT changed();
    return true;
}

bool LocalAddressBook::refresh(QString *error)
{
    if (!m_readOnce)
        return load(error);
    QByteArray data;
    bool exists = false;
    if (!readFile(&data, &exists, error)) {
        m_open = false;
        Q_EMIT changed();
        return false;
    }
    if (m_open && exists == m_lastExists && data == m_lastBytes)
        return true;
    takeContent(data, exists);
    Q_EMIT changed();
    return true;
}

namespace {

// Holds the book's lock file while a change is read, applied and written.
class BookLock
{
public:
    explicit BookLock(const QString &path) : m_lock(path + u".lock"_s) { m_lock.setStaleLockTime(30000); }
    bool acquire(QString *error)
    {
        errno = 0;
        if (m_lock.tryLock(5000))
            return true;
        const int err = errno;
        if (!error)
            return false;
        if (m_lock.error() == QLockFile::LockFailedError)
            *error = u"La rubrica %1 è in uso da un altro programma: riprovare tra poco."_s.arg(m_lock.fileName());
        else // the lock file beside the book cannot be made: the folder cannot be written
            *error = u"Impossibile scrivere nella cartella della rubrica (%1): %2. La rubrica non è stata "
                     u"cambiata."_s.arg(QFileInfo(m_lock.fileName()).absolutePath(),
                                        WriteFailure::reason(m_lock.fileName(), err, 512));
        return false;
    }

private:
    QLockFile m_lock;
};

} // namespace

bool LocalAddressBook::writeLocked(QString *error)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QByteArray bytes = VCard::serialize(m_contacts, m_trailing);
    QByteArray trailing;
    QList<LocalContact> written = VCard::parse(bytes, nullptr, &trailing);
    // A file read with problems (cards read as Windows-1252 among them), or a write that would hold fewer
    // cards than meant, keeps the file as it was before the write.
    const bool keep = m_keepOriginal || written.size() < m_contacts.size();
    if (keep && QFile::exists(m_path) && !(m_lastExists && bytes == m_lastBytes)) {
        const QString backup = m_path + u".bak"_s;
        QFile::remove(backup);
        QFile from(m_path);
        errno = 0;
        if (!from.copy(backup)) {
            const int err = errno;
            if (error)
                *error = u"Impossibile conservare una copia della rubrica in %1: %2."_s.arg(
                    backup, WriteFailure::reason(backup, err, from.size()));
            return false;
        }
    }
    const QFileInfo existing(m_path);
    QString why;
    if (existing.exists() && !existing.isWritable())
        why = WriteFailure::reason(m_path, EACCES);
    if (!why.isEmpty() || !WriteFailure::save(m_path, bytes, &why)) {
        if (error)
            *error = u"Impossibile scrivere la rubrica %1: %2. La rubrica non è stata cambiata."_s.arg(m_path, why);
        return false;
    }
    m_keepOriginal = false;
    // What we wrote is what the cards now came as: an edited card is untouched until edited again.
    m_contacts = written;
    m_trailing = trailing;
    giveKeys(m_contacts);
    m_lastBytes = bytes;
    m_lastExists = true;
    m_readOnce = true;
    m_open = true;
    watch();
    return true;
}

bool LocalAddressBook::save(QString *error)
{
    BookLock lock(m_path);
    if (!lock.acquire(error))
        return false;
    QByteArray data;
    bool exists = false;
    if (m_readOnce && readFile(&data, &exists, nullptr) && (exists != m_lastExists || data != m_lastBytes)) {
        if (error)
            *error = u"La rubrica %1 è stata cambiata da un altro programma: riaprirla."_s.arg(m_path);
        return false;
    }
    return writeLocked(error);
}

bool LocalAddressBook::commit(const std::function<bool(QList<LocalContact> &)> &change, QString *error)
{
    BookLock lock(m_path);
    if (!lock.acquire(error))
        return false;
    // What the file holds now is what the change applies to.
    QByteArray data;
    bool exists = false;
    if (!readFile(&data, &exists, error)) {
        m_open = false;
        return false;
    }
    const bool fresh = !m_readOnce || exists != m_lastExists || data != m_lastBytes;
    if (fresh)
        takeContent(data, exists);
    const QList<LocalContact> before = m_contacts;
    const QByteArray trailingBefore = m_trailing;
    if (!change(m_contacts)) { // given up before writing: nothing changes
        m_contacts = before;
        m_trailing = trailingBefore;
        if (fresh)
            Q_EMIT changed();
        return false;
    }
    const bool written = writeLocked(error);
    if (!written) { // the file still holds what it held
        m_contacts = before;
        m_trailing = trailingBefore;
    }
    if (fresh || written)
        Q_EMIT changed();
    return written;
}

QString LocalAddressBook::addContact(LocalContact contact, QString *error)
{
    if (contact.uid.isEmpty())
        contact.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString uid = contact.uid;
    return commit(
               [&](QList<LocalContact> &list) {
                   list.append(contact);
                   return true;
               },
               error)
               ? uid
               : QString();
}

namespace {

struct Field
{
    QString label;
    QString LocalContact::*member;
};

const Field EditedFields[] = {
    {u"Nome visualizzato"_s, &LocalContact::displayName},
    {u"Nome"_s, &LocalContact::firstName},
    {u"Cognome"_s, &LocalContact::surname},
    {u"Società"_s, &LocalContact::company},
    {u"Email"_s, &LocalContact::email},
    {u"Fax ufficio"_s, &LocalContact::businessFax},
    {u"Fax casa"_s, &LocalContact::homeFax},
    {u"Telefono"_s, &LocalContact::phone},
};

// The card as the contact's original bytes give it (what the editing started from).
std::optional<LocalContact> baseOf(const LocalContact &contact, bool *hadUid)
{
    if (contact.original.isEmpty())
        return std::nullopt;
    const QList<LocalContact> read = VCard::parse(contact.original);
    if (read.size() != 1)
        return std::nullopt;
    LocalContact base = read.first();
    *hadUid = !base.uid.isEmpty();
    if (base.uid.isEmpty())
        base.uid = contact.uid;
    base.original = contact.original;
    return base;
}

} // namespace

bool LocalAddressBook::updateContact(LocalContact contact, QString *error, const Chooser &keepMine,
                                     const CardMatcher &sameCard, QString *writtenKey)
{
    bool hadUid = true;
    const std::optional<LocalContact> base = baseOf(contact, &hadUid);
    // The UID was on this card only when it was read: it still tells the card while no other has it.
    const bool ownUid = contact.key.isEmpty() || contact.key == contact.uid;
    QHash<QString, bool> answers;     // label and their value -> keep ours
    QHash<QString, bool> sameAnswers; // key of a card the file holds -> it is the one edited
    // The card the file holds now: by key, else by a UID no other card has, else by its bytes; a card
    // without UID, or with a UID others share, then by the fields the user did not change. Null when none
    // is it; `cardAsks` gets the cards to ask about.
    const auto find = [&](QList<LocalContact> &list,
                          QList<const LocalContact *> &cardAsks) -> LocalContact * {
        if (!contact.key.isEmpty())
            for (LocalContact &c : list)
                if (c.key == contact.key)
                    return &c;
        if (ownUid) {
            LocalContact *only = nullptr;
            int holders = 0;
            for (LocalContact &c : list)
                if (c.uid == contact.uid && ++holders == 1)
                    only = &c;
            if (holders == 1)
                return only;
        }
        if (!base)
            return nullptr;
        for (LocalContact &c : list)
            if (c.original == contact.original)
                return &c;
        // The cards it may have become: those without UID, or those with its UID.
        const auto inPool = [&](const LocalContact &c) {
            bool cHadUid = true;
            return baseOf(c, &cHadUid) && (hadUid ? cHadUid && c.uid == contact.uid : !cHadUid);
        };
        struct Candidate
        {
            LocalContact *card;
            int agree, differ;
            bool name;
        };
        QList<Candidate> candidates;
        for (LocalContact &c : list) {
            if (!inPool(c))
                continue;
            Candidate k{&c, 0, 0, false};
            for (const Field &f : EditedFields) {
                const QString &was = (*base).*f.member;
                if (was.isEmpty() || contact.*f.member != was)
                    continue; // only what the user left as it was tells the card
                if (c.*f.member == was) {
                    ++k.agree;
                    k.name = k.name || f.member == &LocalContact::displayName;
                } else {
                    ++k.differ;
                }
            }
            for (const QString &line : base->otherLines)
                ++(c.otherLines.contains(line) ? k.agree : k.differ);
            if (k.agree > 0)
                candidates.append(k);
        }
        if (candidates.isEmpty() && sameCard) {
            // Nothing the user left as it was is found: a card that still shares any value of the card
            // as it was (or its UID) may be it, changed on every field the user did not touch. Asked,
            // never taken silently, never silently doubled.
            for (LocalContact &c : list) {
                if (!inPool(c))
                    continue;
                bool shares = hadUid;
                for (const Field &f : EditedFields) {
                    const QString &was = (*base).*f.member;
                    shares = shares || (!was.isEmpty() && c.*f.member == was);
                }
                for (const QString &line : base->otherLines)
                    shares = shares || c.otherLines.contains(line);
                if (shares && !sameAnswers.contains(c.key))
                    cardAsks.append(&c);
                else if (shares && sameAnswers.value(c.key) && cardAsks.isEmpty())
                    return &c;
            }
            return nullptr;
        }
        if (candidates.isEmpty())
            return nullptr;
        // The only card that shares anything, and shares its name or everything: surely it. So is the only
        // one that shares its name and everything (cards of one UID often share a surname).
        if (candidates.size() == 1 && (candidates[0].name || candidates[0].differ == 0))
            return candidates[0].card;
        const auto sure = [](const Candidate &k) { return k.name && k.differ == 0; };
        if (std::count_if(candidates.cbegin(), candidates.cend(), sure) == 1)
            return std::find_if(candidates.cbegin(), candidates.cend(), sure)->card;
        std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
            return a.agree - a.differ > b.agree - b.differ;
        });
        if (!sameCard)
            return candidates[0].card;
        for (const Candidate &k : std::as_const(candidates)) {
            if (!sameAnswers.contains(k.card->key))
                cardAsks.append(k.card);
            else if (sameAnswers.value(k.card->key) && cardAsks.isEmpty())
                return k.card;
        }
        return nullptr;
    };
    const auto summary = [](const LocalContact &c) {
        QStringList parts;
        for (const QString &v : {c.businessFax, c.homeFax, c.email, c.phone, c.company})
            if (!v.isEmpty())
                parts.append(v);
        return parts.isEmpty() ? c.shownName() : c.shownName() + u" ("_s + parts.join(u", "_s) + u')';
    };
    for (int round = 0; round < 8; ++round) {
        QList<std::pair<const Field *, QString>> asks;
        QList<std::pair<QString, QString>> cardAsks; // key and summary of each card to ask about
        qsizetype at = -1;                           // where the card written stands in the list
        const bool written = commit(
            [&](QList<LocalContact> &list) {
                QList<const LocalContact *> unsure;
                LocalContact *theirs = find(list, unsure);
                if (!theirs && !unsure.isEmpty()) {
                    for (const LocalContact *c : std::as_const(unsure))
                        cardAsks.append({c->key, summary(*c)});
                    return false; // asked outside the lock, then tried again on what the file holds then
                }
                if (!theirs) { // deleted elsewhere meanwhile: the edit is not thrown away
                    LocalContact added = contact;
                    added.leading.clear();
                    list.append(added);
                    at = list.size() - 1;
                    return true;
                }
                at = theirs - list.data();
                if (!base) {
                    const QByteArray leading = theirs->leading;
                    *theirs = contact;
                    theirs->leading = leading;
                    return true;
                }
                // What this dialog changed goes in; what only someone else changed stays.
                LocalContact merged = *theirs;
                for (const Field &f : EditedFields) {
                    const QString &mine = contact.*f.member;
                    const QString &was = (*base).*f.member;
                    const QString &now = theirs->*f.member;
                    if (mine == was || now == mine)
                        continue;
                    if (now == was) {
                        merged.*f.member = mine;
                        continue;
                    }
                    const QString key = f.label + u'\n' + now;
                    if (!answers.contains(key)) {
                        asks.append({&f, now});
                        continue;
                    }
                    if (answers.value(key))
                        merged.*f.member = mine;
                }
                if (!asks.isEmpty())
                    return false;
                *theirs = merged;
                return true;
            },
            error);
        if (asks.isEmpty() && cardAsks.isEmpty()) {
            if (written && writtenKey && at >= 0 && at < m_contacts.size())
                *writtenKey = m_contacts[at].key;
            return written;
        }
        for (const auto &[key, theirs] : std::as_const(cardAsks)) {
            const bool same = sameCard(theirs, summary(*base));
            sameAnswers.insert(key, same);
            if (same)
                break;
        }
        for (const auto &[f, now] : std::as_const(asks))
            answers.insert(f->label + u'\n' + now,
                           keepMine ? keepMine(f->label, now, contact.*f->member) : true);
    }
    if (error)
        *error = u"La rubrica %1 continua a cambiare: riprovare."_s.arg(m_path);
    return false;
}

namespace {

// A card leaves the list; the text before it that was no card stays where it was.
void dropCard(QList<LocalContact> &list, qsizetype index, QByteArray &trailing)
{
    const QByteArray leading = list[index].leading;
    list.removeAt(index);
    if (index < list.size())
        list[index].leading.prepend(leading);
    else
        trailing.prepend(leading);
}

} // namespace

bool LocalAddressBook::removeContact(QString key, QString *error)
{
    // A card sharing its UID is keyed by its UID and the digest of its bytes: when the other cards of that
    // UID come or go elsewhere its key changes, and the digest still finds it while it is unchanged. A card
    // of that UID with other bytes than any known may be the chosen one changed elsewhere: it stays.
    const QString uid = key.section(u'\n', 0, 0);
    const QString digest = key.section(u'\n', 1, 1);
    // The other cards of that UID as this book last read them: one still so is not the chosen card.
    QStringList others;
    if (indexOfKey(key) >= 0) {
        for (const LocalContact &c : std::as_const(m_contacts)) {
            if (c.uid == uid && c.key != key)
                others.append(cardDigest(c));
        }
    }
    bool changed = false;
    const bool written = commit(
        [&](QList<LocalContact> &list) {
            qsizetype at = -1;
            for (qsizetype i = 0; i < list.size() && at < 0; ++i) {
                if (list[i].key == key)
                    at = i;
            }
            for (qsizetype i = 0; i < list.size() && at < 0 && !digest.isEmpty(); ++i) {
                if (list[i].uid == uid && cardDigest(list[i]) == digest)
                    at = i;
            }
            if (at >= 0) {
                dropCard(list, at, m_trailing);
                return true;
            }
            changed = std::any_of(list.cbegin(), list.cend(), [&](const LocalContact &c) {
                return c.uid == uid && !others.contains(cardDigest(c));
            });
            return false; // removed elsewhere already: nothing to write
        },
        error);
    if (written)
        return true;
    if (changed && error && error->isEmpty())
        *error = u"Il contatto è stato modificato altrove nel frattempo e non è stato cancellato: "
                 u"controllare e riprovare."_s;
    return !changed && (!error || error->isEmpty()) && indexOfKey(key) < 0;
}

int LocalAddressBook::add(LocalContact contact)
{
    if (contact.uid.isEmpty())
        contact.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_contacts.append(contact);
    giveKeys(m_contacts);
    return int(m_contacts.size()) - 1;
}

bool LocalAddressBook::update(int index, const LocalContact &contact)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    LocalContact c = contact;
    if (c.uid.isEmpty())
        c.uid = m_contacts[index].uid;
    c.leading = m_contacts[index].leading;
    m_contacts[index] = c;
    giveKeys(m_contacts);
    return true;
}

bool LocalAddressBook::remove(int index)
{
    if (index < 0 || index >= m_contacts.size())
        return false;
    dropCard(m_contacts, index, m_trailing);
    return true;
}

int LocalAddressBook::indexOfUid(const QString &uid) const
{
    for (int i = 0; i < m_contacts.size(); ++i)
        if (m_contacts[i].uid == uid)
            return i;
    return -1;
}

int LocalAddressBook::indexOfKey(const QString &key) const
{
    for (int i = 0; i < m_contacts.size(); ++i)
        if (m_contacts[i].key == key)
            return i;
    return -1;
}
