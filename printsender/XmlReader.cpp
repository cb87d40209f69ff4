#include "XmlReader.h"

#include "Cp1252.h"
#include "ErrorReporting.h"
#include "WriteFailure.h"

#include <QFile>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

const QString Source = u"XMLParser"_s;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Blanks a reader would trim or fold (line breaks, tabs, a space at either end) go out as character
// references, so a saved document reads back as it was.
QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\t' || c == u'\n' || c == u'\r' || (c == u' ' && (i == 0 || i == text.size() - 1))) {
            out += u"&#"_s + QString::number(c.unicode()) + u';';
            continue;
        }
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;"_s;
            break;
        case u'<':
            out += u"&lt;"_s;
            break;
        case u'>':
            out += u"&gt;"_s;
            break;
        case u'"':
            out += u"&quot;"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

// ---- clsXMLNode ----

QString clsXMLNode::getAttribute(const QString &attribName, const QString &defaultValue) const
{
    for (const auto &[name, value] : m_attributes) {
        if (name.compare(attribName, Qt::CaseInsensitive) == 0)
            return value;
    }
    return defaultValue;
}

void clsXMLNode::setAttribute(const QString &attribName, const QString &Value)
{
    for (auto &[name, value] : m_attributes) {
        if (name.compare(attribName, Qt::CaseInsensitive) == 0) {
            value = Value;
            return;
        }
    }
    m_attributes.append({attribName, Value});
}

QString clsXMLNode::AttributeName(qsizetype Index) const
{
    return Index >= 1 && Index <= m_attributes.size() ? m_attributes.at(Index - 1).first : QString();
}

QString clsXMLNode::AttributeValue(qsizetype Index) const
{
    return Index >= 1 && Index <= m_attributes.size() ? m_attributes.at(Index - 1).second : QString();
}

void clsXMLNode::addChild(std::unique_ptr<clsXMLNode> Child, const FaxExecutor &executor)
{
    if (!Child)
        return;
    if (executor && Child->Name() == u"fax") {
        executor(*Child);
        return;
    }
    m_children.append(std::shared_ptr<clsXMLNode>(std::move(Child)));
}

const clsXMLNode *clsXMLNode::enumChild(qsizetype Index) const
{
    return Index >= 1 && Index <= m_children.size() ? m_children.at(Index - 1).get() : nullptr;
}

// ---- clsXMLParser ----

namespace {

// The encoding the prolog names, lower case; empty without one.
QByteArray declaredEncoding(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(512).toLower();
    const qsizetype prolog = head.indexOf("<?xml");
    const qsizetype close = prolog < 0 ? -1 : head.indexOf('>', prolog);
    const qsizetype at = close < 0 ? -1 : head.indexOf("encoding=\"", prolog);
    if (at < 0 || at > close)
        return {};
    const qsizetype from = at + 10, to = head.indexOf('"', from);
    return to < 0 || to > close ? QByteArray() : head.mid(from, to - from);
}

// UTF-16 or UTF-32 after its byte-order mark: the characters up to the first unit that is none (a lone
// surrogate, a value past U+10FFFF, bytes left over at the end); `fault` names it.
QString decodeWide(QByteArrayView bytes, int unit, bool bigEndian, QString &fault)
{
    const auto at = [&](qsizetype i) -> quint32 {
        quint32 v = 0;
        for (int k = 0; k < unit; ++k)
            v |= quint32(uchar(bytes[i + (bigEndian ? unit - 1 - k : k)])) << (8 * k);
        return v;
    };
    const QString name = unit == 2 ? u"UTF-16"_s : u"UTF-32"_s;
    qsizetype i = 0;
    for (; i + unit <= bytes.size(); i += unit) {
        const quint32 v = at(i);
        const bool high = v >= 0xD800 && v <= 0xDBFF, low = v >= 0xDC00 && v <= 0xDFFF;
        if (unit == 2 && high && i + 4 <= bytes.size() && at(i + 2) >= 0xDC00 && at(i + 2) <= 0xDFFF) {
            i += 2;
            continue;
        }
        if (high || low || v > 0x10FFFF) {
            fault = name + u" text, not the unit 0x"_s + QString::number(v, 16).toUpper();
            break;
        }
    }
    if (fault.isEmpty() && i < bytes.size())
        fault = name + u" text, not a unit cut short"_s;
    const QStringConverter::Encoding e =
        unit == 2 ? (bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE)
                  : (bigEndian ? QStringConverter::Utf32BE : QStringConverter::Utf32LE);
    QStringDecoder decoder(e, QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes.first(i));
}

} // namespace

clsXMLParser::Decoded clsXMLParser::decode(const QByteArray &bytes)
{
    Decoded d;
    const QByteArrayView view(bytes);
    // UTF-32 LE begins as UTF-16 LE does: it is looked for first.
    static const struct
    {
        const char *mark;
        int size, unit;
        bool bigEndian;
        const char16_t *name;
    } marks[] = {{"\x00\x00\xFE\xFF", 4, 4, true, u"UTF-32BE"},
                 {"\xFF\xFE\x00\x00", 4, 4, false, u"UTF-32LE"},
                 {"\xFE\xFF", 2, 2, true, u"UTF-16BE"},
                 {"\xFF\xFE", 2, 2, false, u"UTF-16LE"}};
    for (const auto &m : marks) {
        if (view.startsWith(QByteArrayView(m.mark, m.size))) {
            d.encoding = QString::fromUtf16(m.name);
            d.text = decodeWide(view.sliced(m.size), m.unit, m.bigEndian, d.fault);
            return d;
        }
    }
    const bool bom = view.startsWith("\xEF\xBB\xBF");
    const QByteArrayView body = bom ? view.sliced(3) : view;
    bool letters = false;
    const qsizetype bad = Cp1252::firstNonUtf8(body, &letters);
    const QByteArray declared = declaredEncoding(bytes);
    const bool declaredUtf8 = declared == "utf-8" || declared == "utf8";
    const bool declaredCp1252 = declared == "windows-1252" || declared == "cp1252" ||
                                declared == "iso-8859-1" || declared == "iso-8859-15" || declared == "latin1";
    // The bytes decide, not the prolog: UTF-8 when they are valid UTF-8, else the Windows code page job
    // files written by hand on Windows carry. A UTF-8 file (a mark, a declaration, letters of its own)
    // with a stray byte is read up to that byte: the byte is not guessed at.
    if (bad >= 0 && !bom && !declaredUtf8 && (!letters || declaredCp1252)) {
        d.encoding = u"windows-1252"_s;
        d.text = Cp1252::toUnicode(bytes);
        return d;
    }
    d.encoding = u"UTF-8"_s;
    d.text = QString::fromUtf8(bad >= 0 ? body.first(bad) : body);
    if (bad >= 0)
        d.fault = u"UTF-8 text, not the byte 0x"_s + QString::number(uchar(body[bad]), 16).toUpper();
    return d;
}

namespace {

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
           QStringView(u"`!@#$^_-:").contains(c);
}

// The five entities of XML and numeric references; anything else after "&" (a lone "&" above all) is kept
// as written.
QString decodeEntities(const QString &raw)
{
    if (!raw.contains(u'&'))
        return raw;
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        const qsizetype semi = c == u'&' ? raw.indexOf(u';', i + 1) : -1;
        if (semi < 0 || semi - i > 12) {
            out += c;
            continue;
        }
        const QStringView name = QStringView(raw).mid(i + 1, semi - i - 1);
        static const std::pair<const char16_t *, char16_t> named[] = {
            {u"lt", u'<'}, {u"gt", u'>'}, {u"amp", u'&'}, {u"quot", u'"'}, {u"apos", u'\''}};
        bool done = false;
        for (const auto &[text, ch] : named) {
            if (name == QStringView(text)) {
                out += QChar(ch);
                done = true;
                break;
            }
        }
        if (!done && name.size() > 1 && name.at(0) == u'#') {
            bool ok = false;
            const uint code = (name.at(1) == u'x' || name.at(1) == u'X') ? name.mid(2).toUInt(&ok, 16)
                                                                         : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
                const char32_t point = code;
                out += QString::fromUcs4(&point, 1);
                done = true;
            }
        }
        if (!done) {
            out += c;
            continue;
        }
        i = semi;
    }
    return out;
}

// The reader: one character at a time, with the line and column counters of its error texts.
class Reader
{
public:
    Reader(const QString &text, const QString &fault, qint64 total,
           const std::function<void(qint64, qint64)> &progress, const clsXMLNode::FaxExecutor &executor)
        : m_text(text), m_fault(fault), m_total(total), m_progress(progress), m_executor(executor)
    {}

    struct Failure
    {
    };

    std::unique_ptr<clsXMLNode> document(std::unique_ptr<clsXMLNode> &prolog)
    {
        next();
        skipBlanks();
        skipComment();
        expect(u'<');
        if (m_cur == u'?') {
            expect(u'?');
            if (readName().compare(u"xml"_s, Qt::CaseInsensitive) != 0)
                fail(clsXMLParser::ErrExpected, u"xml"_s);
            m_prologSeen = true;
            prolog = std::make_unique<clsXMLNode>();
            prolog->setName(u"xml"_s);
            readAttributes(*prolog);
            next();
            skipBlanks();
            skipComment();
            expect(u'<');
        }
        const QString name = readName();
        // A DOCTYPE could declare entities; job files never need one.
        if (name.compare(u"!DOCTYPE"_s, Qt::CaseInsensitive) == 0)
            fail(clsXMLParser::ErrExpected, u"an element, not a DOCTYPE"_s);
        std::unique_ptr<clsXMLNode> root = element(name, 1);
        m_afterRoot = true;
        skipBlanks(); // what follows the document element is not read
        return root;
    }

    [[noreturn]] void fail(int number, const QString &what, qint64 columnShift = 0)
    {
        const QString where = u" at line "_s + QString::number(m_line) + u" ["_s +
                              QString::number(qMax<qint64>(0, m_column + columnShift)) + u"]"_s;
        if (number == clsXMLParser::ErrMismatched)
            Err().Raise(number, Source, u"Mismatched tag: '"_s + what + u"'"_s + where);
        else
            Err().Raise(number, Source, u"Expected: "_s + what + where);
        throw Failure();
    }

private:
    // A fault of the text itself, named by the line and column it stands at (every line end counted).
    [[noreturn]] void failAtText(const QString &what)
    {
        const QStringView before = QStringView(m_text).first(m_pos);
        qint64 line = 1;
        qsizetype lineStart = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            if (before[i] == u'\r' || (before[i] == u'\n' && (i == 0 || before[i - 1] != u'\r'))) {
                ++line;
                lineStart = i + 1;
            } else if (before[i] == u'\n') {
                lineStart = i + 1;
            }
        }
        m_line = line;
        m_column = before.size() - lineStart + 1;
        fail(clsXMLParser::ErrExpected, what);
    }
    void next()
    {
        if (m_pos >= m_text.size()) {
            // The bytes after the text read so far are not text of the file's encoding.
            if (!m_fault.isEmpty() && !m_afterRoot)
                failAtText(m_fault);
            m_eof = true;
            m_cur = QChar(0xFFFF);
            return;
        }
        m_cur = m_text.at(m_pos++);
        if (m_cur.isNull() && !m_afterRoot) {
            --m_pos;
            failAtText(u"a character, not NUL"_s);
        }
        ++m_column;
        if (m_progress && (m_pos & 0xFFF) == 0)
            m_progress(m_text.isEmpty() ? 0 : qint64(double(m_pos) * double(m_total) / double(m_text.size())),
                       m_total);
    }
    // A line ends at CR, or at a LF that does not follow a CR (files written on Linux).
    void countLine(QChar c)
    {
        if (c == u'\r' || (c == u'\n' && m_pos >= 2 && m_text.at(m_pos - 2) != u'\r')) {
            ++m_line;
            m_column = 0;
        }
    }
    void skipBlanks()
    {
        while (!m_eof && isBlank(m_cur)) {
            countLine(m_cur);
            next();
        }
    }
    void expect(QChar c)
    {
        if (m_eof || m_cur != c)
            fail(clsXMLParser::ErrExpected, QString(c));
        next();
    }
    QString readName()
    {
        QString name;
        while (!m_eof && isNameChar(m_cur)) {
            name += m_cur;
            next();
        }
        skipBlanks();
        return name;
    }
    QString readUntil(QChar c)
    {
        if (m_eof)
            return {};
        const qsizetype from = m_pos - 1;
        while (!m_eof && m_cur != c)
            next();
        return m_eof ? m_text.mid(from) : m_text.mid(from, m_pos - 1 - from);
    }
    void skipComment()
    {
        while (!m_eof && m_cur == u'<') {
            const qsizetype back = m_pos;
            if (m_text.mid(m_pos, 3) != u"!--"_s) {
                // The look-ahead counts in the column; the reader goes back to the character after "<".
                m_column += qMin<qsizetype>(3, m_text.size() - m_pos);
                m_pos = back;
                skipBlanks();
                return;
            }
            next();
            next();
            next();
            next();
            // Up to and including "-->"; a comment that never ends runs to the end of the file.
            while (!m_eof && !(m_cur == u'-' && m_text.mid(m_pos, 2) == u"->"_s)) {
                countLine(m_cur);
                next();
            }
            if (!m_eof) {
                next();
                next();
                next();
            }
            skipBlanks();
        }
    }
    void readAttributes(clsXMLNode &node)
    {
        while (!m_eof && m_cur != u'>' && m_cur != u'/') {
            skipBlanks();
            const QString name = readName();
            expect(u'=');
            expect(u'"');
            const QString value = readUntil(u'"');
            node.setAttribute(name, decodeEntities(value));
            expect(u'"');
            skipBlanks();
            if (m_cur == u'?' && m_prologSeen)
                expect(u'?');
        }
    }
    std::unique_ptr<clsXMLNode> element(const QString &name, int depth)
    {
        if (depth > clsXMLParser::MaxDepth)
            fail(clsXMLParser::ErrExpected,
                 u"at most "_s + QString::number(clsXMLParser::MaxDepth) + u" nested elements"_s);
        auto node = std::make_unique<clsXMLNode>();
        node->setName(name);
        skipBlanks();
        readAttributes(*node);
        if (m_cur != u'>') {
            expect(u'/');
            expect(u'>');
            skipBlanks();
            return node;
        }
        expect(u'>');
        skipBlanks();
        skipComment();
        if (m_eof || m_cur != u'<') {
            node->setText(decodeEntities(readUntil(u'<')));
            endTag(name);
        } else {
            bool closed = false;
            while (!m_eof) {
                expect(u'<');
                skipBlanks();
                if (m_cur == u'/') {
                    expect(u'/');
                    skipBlanks();
                    if (readName().compare(name, Qt::CaseInsensitive) != 0)
                        fail(clsXMLParser::ErrMismatched, name, -2);
                    expect(u'>');
                    closed = true;
                    break;
                }
                const QString childName = readName();
                node->addChild(element(childName, depth + 1), m_executor);
                skipBlanks();
                skipComment();
            }
            if (!closed)
                endTag(name);
        }
        skipBlanks();
        return node;
    }
    void endTag(const QString &name)
    {
        expect(u'<');
        expect(u'/');
        skipBlanks(); // "</ name>" is an end tag too
        if (readName().compare(name, Qt::CaseInsensitive) != 0)
            fail(clsXMLParser::ErrMismatched, name, -2);
        expect(u'>');
    }

    const QString &m_text;
    const QString &m_fault;
    const qint64 m_total;
    const std::function<void(qint64, qint64)> &m_progress;
    const clsXMLNode::FaxExecutor &m_executor;
    qsizetype m_pos = 0; // index of the next character
    QChar m_cur;
    bool m_eof = false;
    bool m_prologSeen = false;
    bool m_afterRoot = false; // past the document element: nothing more is read
    qint64 m_line = 1;
    qint64 m_column = 0;
};

} // namespace

bool clsXMLParser::Parse(const QString &FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Err().Raise(ErrNumber::FileNotFound, Source, u"Impossibile aprire il file "_s + FileName);
        return false;
    }
    if (file.size() > MaxFileBytes) {
        Err().Raise(ErrExpected, Source,
                    u"Expected: a file of at most "_s + QString::number(MaxFileBytes) +
                        u" bytes at line 1 [0]"_s);
        return false;
    }
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        Err().Raise(75, Source, file.errorString());
        return false;
    }
    return ParseData(bytes);
}

bool clsXMLParser::ParseData(const QByteArray &bytes)
{
    m_parent.reset();
    m_prolog.reset();
    const qint64 total = bytes.size();
    if (total > MaxFileBytes) {
        Err().Raise(ErrExpected, Source,
                    u"Expected: a file of at most "_s + QString::number(MaxFileBytes) +
                        u" bytes at line 1 [0]"_s);
        return false;
    }
    const Decoded decoded = decode(bytes);
    Reader reader(decoded.text, decoded.fault, total, m_progress, m_executor);
    try {
        m_parent = reader.document(m_prolog);
    } catch (const Reader::Failure &) {
        return false;
    }
    if (m_progress)
        m_progress(total, total);
    return true;
}

bool clsXMLParser::Save(const QString &FileName, bool PrettyPrint, int IdentType) const
{
    const QString lineEnd = PrettyPrint ? u"\r\n"_s : QString();
    QString out;
    auto attributes = [](const clsXMLNode &node, bool prolog) {
        QString s;
        for (qsizetype i = 1; i <= node.AttribCount(); ++i) {
            // The file is written as UTF-8 whatever the document was read from.
            const bool encoding =
                prolog && node.AttributeName(i).compare(u"encoding"_s, Qt::CaseInsensitive) == 0;
            s += u' ' + node.AttributeName(i) + u"=\""_s +
                 (encoding ? u"UTF-8"_s : escaped(node.AttributeValue(i))) + u'"';
        }
        return s;
    };
    // A prolog without attributes ("<?xml>" reads) says nothing, and written as "<?xml?>" it would not
    // read back: it is left out.
    if (m_prolog && m_prolog->AttribCount() > 0)
        out += u"<?xml"_s + attributes(*m_prolog, true) + u"?>"_s + lineEnd;
    std::function<void(const clsXMLNode &, int)> write = [&](const clsXMLNode &node, int depth) {
        const QString indent = PrettyPrint ? QString(depth, IdentType == 0 ? u' ' : u'\t') : QString();
        out += indent + u'<' + node.Name() + attributes(node, false);
        if (node.ChildrenCount() == 0) {
            if (node.Text().isEmpty())
                out += u"/>"_s;
            else
                out += u'>' + escaped(node.Text()) + u"</"_s + node.Name() + u'>';
        } else {
            out += u'>' + lineEnd;
            for (qsizetype i = 1; i <= node.ChildrenCount(); ++i)
                write(*node.enumChild(i), depth + (IdentType == 0 ? 4 : 1));
            out += indent + u"</"_s + node.Name() + u'>';
        }
        out += lineEnd;
    };
    if (m_parent)
        write(*m_parent, 0);
    // All or nothing: a disk that fills up leaves the old file as it was.
    QString why;
    if (WriteFailure::save(FileName, out.toUtf8(), &why))
        return true;
    Err().Raise(75, Source, WriteFailure::sentence(FileName, why));
    return false;
}
