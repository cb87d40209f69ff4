#include "XmlReader.h"

#include "Cp1252.h"
#include "ErrorReporting.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString Source = u"XMLParser"_s;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

QString trimLeadingBlanks(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    return text.mid(i);
}

bool onlyBlanks(QStringView text)
{
    for (QChar c : text) {
        if (!isBlank(c))
            return false;
    }
    return true;
}

// A reader turns a raw carriage return into a line feed, and in an attribute also a tab or line feed into a
// blank: those go out as character references so the document reads back as it was.
QString escaped(const QString &text, bool attribute = false)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\r':
            out += u"&#13;"_s;
            break;
        case u'\n':
        case u'\t':
            if (attribute)
                out += c == u'\n' ? u"&#10;"_s : u"&#9;"_s;
            else
                out += c;
            break;
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

struct OpenElement
{
    std::unique_ptr<clsXMLNode> node;
    QString text;
    bool hasChildren = false;
};

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

bool clsXMLParser::decode(const QByteArray &bytes, QString &text, QString &encodingName)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encodingName = u"UTF-8"_s;
        text = QString::fromUtf8(bytes.mid(3));
        return true;
    }
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto decoder = QStringDecoder(QStringDecoder::Utf16, QStringDecoder::Flag::ConvertInitialBom);
        encodingName = u"UTF-16"_s;
        text = decoder.decode(bytes);
        return !decoder.hasError();
    }
    // The prolog is plain ASCII in every encoding this reader takes.
    static const QRegularExpression declared(uR"(^\s*<\?xml[^>]*\bencoding\s*=\s*["']([^"']*)["'])"_s);
    const QRegularExpressionMatch m = declared.match(QString::fromLatin1(bytes.left(256)));
    const QString name = m.hasMatch() ? m.captured(1).trimmed() : QString();
    const QString upper = name.toUpper();
    if (upper == u"WINDOWS-1252" || upper == u"CP1252" || upper == u"ISO-8859-1" || upper == u"LATIN1" ||
        upper == u"ISO-8859-15" || upper == u"US-ASCII" || upper == u"ASCII") {
        encodingName = name;
        text = Cp1252::toUnicode(bytes);
        return true;
    }
    if (name.isEmpty() || upper == u"UTF-8" || upper == u"UTF8") {
        auto decoder = QStringDecoder(QStringDecoder::Utf8);
        text = decoder.decode(bytes);
        if (!decoder.hasError()) {
            encodingName = u"UTF-8"_s;
            return true;
        }
        if (!name.isEmpty())
            return false;
        // Job files written by hand on Windows often carry no declaration and ANSI bytes.
        encodingName = u"windows-1252"_s;
        text = Cp1252::toUnicode(bytes);
        return true;
    }
    auto decoder = QStringDecoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return false;
    text = decoder.decode(bytes);
    encodingName = name;
    return !decoder.hasError();
}

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
    auto raise = [](int number, const QString &what, qint64 line, qint64 column) {
        const QString where =
            u" at line "_s + QString::number(line) + u" ["_s + QString::number(column) + u"]"_s;
        if (number == ErrMismatched)
            Err().Raise(number, Source, u"Mismatched tag: '"_s + what + u"'"_s + where);
        else
            Err().Raise(number, Source, u"Expected: "_s + what + where);
        return false;
    };
    if (total > MaxFileBytes)
        return raise(ErrExpected, u"a file of at most "_s + QString::number(MaxFileBytes) + u" bytes"_s, 1,
                     0);

    QString text, encoding;
    if (!decode(bytes, text, encoding))
        return raise(ErrExpected, u"text in a known encoding"_s, 1, 0);
    if (onlyBlanks(text))
        return raise(ErrExpected, u"<"_s, 1, text.size());

    // Given as text, the reader takes it as it is and ignores the prolog's encoding.
    QXmlStreamReader reader(text);
    std::vector<OpenElement> stack;
    auto progress = [&] {
        if (m_progress && !text.isEmpty())
            m_progress(qMin<qint64>(total, reader.characterOffset() * total / text.size()), total);
    };

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        const qint64 line = reader.lineNumber(), column = reader.columnNumber();
        switch (token) {
        case QXmlStreamReader::StartDocument:
            if (!reader.documentVersion().isEmpty()) {
                m_prolog = std::make_unique<clsXMLNode>();
                m_prolog->setName(u"xml"_s);
                m_prolog->setAttribute(u"version"_s, reader.documentVersion().toString());
                if (!reader.documentEncoding().isEmpty())
                    m_prolog->setAttribute(u"encoding"_s, reader.documentEncoding().toString());
                if (reader.isStandaloneDocument())
                    m_prolog->setAttribute(u"standalone"_s, u"yes"_s);
            }
            break;
        case QXmlStreamReader::DTD:
            // Entity declarations are a door to unbounded expansion; job files never need them.
            return raise(ErrExpected, u"an element, not a DOCTYPE"_s, line, column);
        case QXmlStreamReader::StartElement: {
            if (stack.size() >= size_t(MaxDepth))
                return raise(ErrExpected, u"at most "_s + QString::number(MaxDepth) + u" nested elements"_s,
                             line, column);
            if (!stack.empty()) {
                OpenElement &parent = stack.back();
                if (!parent.hasChildren && !onlyBlanks(parent.text))
                    return raise(ErrExpected, u"/"_s, line, column);
                parent.hasChildren = true;
            }
            OpenElement open;
            open.node = std::make_unique<clsXMLNode>();
            open.node->setName(reader.qualifiedName().toString());
            for (const QXmlStreamAttribute &a : reader.attributes())
                open.node->setAttribute(a.qualifiedName().toString(), a.value().toString());
            stack.push_back(std::move(open));
            break;
        }
        case QXmlStreamReader::Characters:
            if (!stack.empty()) {
                OpenElement &top = stack.back();
                if (top.hasChildren) {
                    if (!onlyBlanks(reader.text()))
                        return raise(ErrExpected, u"<"_s, line, column);
                } else {
                    top.text += reader.text();
                }
            }
            break;
        case QXmlStreamReader::EndElement: {
            OpenElement done = std::move(stack.back());
            stack.pop_back();
            if (!done.hasChildren)
                done.node->setText(trimLeadingBlanks(done.text));
            if (stack.empty())
                m_parent = std::move(done.node);
            else
                stack.back().node->addChild(std::move(done.node), m_executor);
            progress();
            break;
        }
        case QXmlStreamReader::EntityReference:
            return raise(ErrExpected, u"a known entity"_s, line, column);
        default:
            break; // comments, processing instructions, the end of the document
        }
        if (stack.empty() && m_parent)
            break; // what follows the document element is not read
    }
    if (reader.hasError() && !(stack.empty() && m_parent)) {
        const qint64 line = reader.lineNumber(), column = reader.columnNumber();
        if (!stack.empty()) {
            // An end tag naming another element: the text just read ends in "</name".
            const qsizetype at = text.lastIndexOf(u"</"_s, qMax<qsizetype>(0, reader.characterOffset() - 1));
            if (at >= 0 && reader.characterOffset() - at <= 1024) {
                qsizetype e = at + 2;
                while (e < text.size() && !isBlank(text.at(e)) && text.at(e) != u'>')
                    ++e;
                const QString endName = text.mid(at + 2, e - at - 2);
                if (!endName.isEmpty() && endName != stack.back().node->Name() &&
                    reader.error() == QXmlStreamReader::NotWellFormedError)
                    return raise(ErrMismatched, stack.back().node->Name(), line, qMax<qint64>(0, column - 2));
            }
            if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return raise(ErrExpected, u"</"_s + stack.back().node->Name() + u">"_s, line, column);
        }
        return raise(ErrExpected, u"well-formed XML ("_s + reader.errorString() + u")"_s, line, column);
    }
    if (!m_parent)
        return raise(ErrExpected, u"<"_s, reader.lineNumber(), reader.columnNumber());
    if (m_progress)
        m_progress(total, total);
    return true;
}

bool clsXMLParser::Save(const QString &FileName, bool PrettyPrint, int IdentType) const
{
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Err().Raise(75, Source, file.errorString());
        return false;
    }
    const QString lineEnd = PrettyPrint ? u"\r\n"_s : QString();
    QString out;
    auto attributes = [](const clsXMLNode &node, bool prolog) {
        QString s;
        for (qsizetype i = 1; i <= node.AttribCount(); ++i) {
            // The file is written as UTF-8 whatever the document was read from.
            const bool encoding =
                prolog && node.AttributeName(i).compare(u"encoding"_s, Qt::CaseInsensitive) == 0;
            s += u' ' + node.AttributeName(i) + u"=\""_s +
                 (encoding ? u"UTF-8"_s : escaped(node.AttributeValue(i), true)) + u'"';
        }
        return s;
    };
    if (m_prolog)
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
    return file.write(out.toUtf8()) >= 0 && file.flush();
}
