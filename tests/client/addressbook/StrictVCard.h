#pragma once

// A strict reader of what the codec writes: a 3.0 card as RFC 2426 has it, a 4.0 card as RFC 6350 has
// it. Nothing lenient: every fault found is named, so a test shows which line breaks which rule.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

namespace StrictVCard {

using namespace Qt::StringLiterals;

inline bool isName(const QString &s)
{
    static const QRegularExpression re(u"^[A-Za-z0-9-]+$"_s);
    return re.match(s).hasMatch();
}

// The faults of one or more cards; empty when a strict reader takes them all.
inline QStringList faults(const QByteArray &data)
{
    QStringList out;
    auto fault = [&out](int line, const QString &what) { out.append(u"line %1: %2"_s.arg(line).arg(what)); };
    if (data.isEmpty())
        return {u"no card"_s};
    if (!data.endsWith("\r\n"))
        out.append(u"the text does not end with CRLF"_s);
    // Physical lines: CRLF only, 75 octets at most, then unfolded (CRLF and one blank removed).
    const QList<QByteArray> physical = data.chopped(data.endsWith("\r\n") ? 2 : 0).split('\n');
    struct Line
    {
        QByteArray bytes;
        int number;
    };
    QList<Line> logical;
    for (qsizetype i = 0; i < physical.size(); ++i) {
        QByteArray p = physical[i];
        const int number = int(i) + 1;
        if (i + 1 < physical.size()) {
            if (!p.endsWith('\r'))
                fault(number, u"a bare LF"_s);
            else
                p.chop(1);
        }
        if (p.contains('\r'))
            fault(number, u"a bare CR"_s);
        if (p.size() > 75)
            fault(number, u"%1 octets, more than 75"_s.arg(p.size()));
        if (p.startsWith(' ') || p.startsWith('\t')) {
            if (logical.isEmpty())
                fault(number, u"a continuation with nothing to continue"_s);
            else
                logical.last().bytes += p.mid(1);
        } else {
            logical.append({p, number});
        }
    }
    QString version;
    int depth = 0;
    bool sawFn = false, sawN = false, sawVersion = false;
    int sinceBegin = 0;
    for (const Line &l : std::as_const(logical)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(l.bytes);
        if (utf8.hasError())
            fault(l.number, u"not UTF-8"_s);
        if (text.isEmpty()) {
            fault(l.number, u"an empty line"_s);
            continue;
        }
        // contentline = [group "."] name *(";" param) ":" value
        qsizetype colon = -1;
        bool quoted = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'"')
                quoted = !quoted;
            else if (text[i] == u':' && !quoted) {
                colon = i;
                break;
            }
        }
        if (colon <= 0) {
            fault(l.number, u"no name and \":\""_s);
            continue;
        }
        const QString head = text.left(colon);
        const QString value = text.mid(colon + 1);
        for (const QChar c : value)
            if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F)
                fault(l.number, u"a control character in the value"_s);
        QStringList params;
        {
            QString cur;
            bool q = false;
            for (const QChar c : head) {
                if (c == u'"')
                    q = !q;
                if (c == u';' && !q) {
                    params.append(cur);
                    cur.clear();
                } else {
                    cur += c;
                }
            }
            params.append(cur);
        }
        QString name = params.takeFirst();
        if (const qsizetype dot = name.indexOf(u'.'); dot >= 0) {
            if (!isName(name.left(dot)))
                fault(l.number, u"group \"%1\" is no name"_s.arg(name.left(dot)));
            name = name.mid(dot + 1);
        }
        if (!isName(name)) {
            fault(l.number, u"property \"%1\" is no name"_s.arg(name));
            continue;
        }
        name = name.toUpper();
        ++sinceBegin;
        if (name == u"BEGIN" && value.compare(u"VCARD", Qt::CaseInsensitive) == 0) {
            if (depth > 0)
                fault(l.number, u"BEGIN inside a card"_s);
            depth = 1;
            sawFn = sawN = sawVersion = false;
            version.clear();
            sinceBegin = 0;
            continue;
        }
        if (depth == 0) {
            fault(l.number, u"outside a card"_s);
            continue;
        }
        if (name == u"END") {
            if (!sawVersion)
                fault(l.number, u"no VERSION"_s);
            if (!sawFn)
                fault(l.number, u"no FN"_s);
            if (version == u"3.0" && !sawN)
                fault(l.number, u"no N in a 3.0 card"_s);
            depth = 0;
            continue;
        }
        if (name == u"VERSION") {
            sawVersion = true;
            version = value;
            if (value != u"3.0" && value != u"4.0")
                fault(l.number, u"VERSION %1"_s.arg(value));
            if (value == u"4.0" && sinceBegin != 1)
                fault(l.number, u"VERSION not right after BEGIN in a 4.0 card"_s);
            continue;
        }
        sawFn = sawFn || name == u"FN";
        sawN = sawN || name == u"N";
        bool base64 = false;
        for (const QString &param : std::as_const(params)) {
            const qsizetype eq = param.indexOf(u'=');
            if (eq <= 0) {
                fault(l.number, u"parameter \"%1\" without \"=\""_s.arg(param));
                continue;
            }
            const QString key = param.left(eq).toUpper();
            if (!isName(key))
                fault(l.number, u"parameter name \"%1\""_s.arg(key));
            if (key == u"CHARSET")
                fault(l.number, u"CHARSET"_s);
            if (key == u"ENCODING") {
                if (version == u"4.0")
                    fault(l.number, u"ENCODING in a 4.0 card"_s);
                else if (param.mid(eq + 1).compare(u"b", Qt::CaseInsensitive) != 0)
                    fault(l.number, u"ENCODING=%1"_s.arg(param.mid(eq + 1)));
                base64 = true;
            }
            if (key == u"VALUE") {
                static const QStringList values30{u"uri"_s, u"text"_s, u"date"_s, u"time"_s,
                                                  u"date-time"_s, u"integer"_s, u"boolean"_s,
                                                  u"float"_s, u"binary"_s, u"vcard"_s,
                                                  u"phone-number"_s, u"utc-offset"_s};
                static const QStringList values40{u"date-and-or-time"_s, u"timestamp"_s, u"language-tag"_s};
                const QString v = param.mid(eq + 1).toLower();
                if (!values30.contains(v) && !(version == u"4.0" && values40.contains(v)) && !v.startsWith(u"x-"_s))
                    fault(l.number, u"VALUE=%1"_s.arg(v));
            }
            // param-value = ptext / quoted-string, listed with ","
            bool inQuotes = false;
            for (const QChar c : param.mid(eq + 1)) {
                if (c == u'"')
                    inQuotes = !inQuotes;
                else if (c.unicode() < 0x20 || (!inQuotes && c == u':'))
                    fault(l.number, u"a parameter value with \"%1\""_s.arg(c));
            }
            if (inQuotes)
                fault(l.number, u"a quote left open"_s);
        }
        // Inline binary needs its encoding in 3.0; 4.0 has no inline binary, only URIs.
        static const QStringList binaries{u"PHOTO"_s, u"LOGO"_s, u"SOUND"_s};
        const bool uri = params.filter(QRegularExpression(u"^VALUE=uri$"_s, QRegularExpression::CaseInsensitiveOption))
                             .size() > 0;
        if (binaries.contains(name) && version != u"4.0" && !uri && !base64)
            fault(l.number, u"%1 without VALUE=uri or ENCODING=b"_s.arg(name));
        if (base64) {
            static const QRegularExpression b64(u"^[A-Za-z0-9+/]*={0,2}$"_s);
            if (!b64.match(value).hasMatch())
                fault(l.number, u"a base64 value with other letters"_s);
        }
        // Text values: a backslash escapes "\", ",", ";" or a line break, nothing else.
        static const QStringList texts{u"FN"_s, u"N"_s, u"NICKNAME"_s, u"ORG"_s, u"TITLE"_s, u"ROLE"_s,
                                       u"NOTE"_s, u"ADR"_s, u"LABEL"_s, u"CATEGORIES"_s, u"EMAIL"_s,
                                       u"SORT-STRING"_s, u"MAILER"_s, u"PRODID"_s};
        if (texts.contains(name)) {
            for (qsizetype i = 0; i < value.size(); ++i) {
                if (value[i] != u'\\')
                    continue;
                const QChar n = i + 1 < value.size() ? value[i + 1] : QChar();
                if (n != u'\\' && n != u',' && n != u';' && n != u'n' && n != u'N')
                    fault(l.number, u"\"\\%1\" in a text value"_s.arg(n));
                ++i;
            }
        }
    }
    if (depth != 0)
        out.append(u"a card without END"_s);
    return out;
}

} // namespace StrictVCard
