#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// One element of an XML document: name, text (for elements without child elements), attributes and
// children. Attribute and child indices run from 1; an index outside 1..n gives an empty result.
class clsXMLNode
{
public:
    // Runs a "fax" element instead of keeping it in the tree.
    using FaxExecutor = std::function<void(const clsXMLNode &fax)>;

    QString Name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString Text() const { return m_text; }
    void setText(const QString &v) { m_text = v; }

    // Attribute names compare without regard to case; the first spelling is kept.
    QString getAttribute(const QString &attribName, const QString &defaultValue = {}) const;
    void setAttribute(const QString &attribName, const QString &Value);
    qsizetype AttribCount() const { return m_attributes.size(); }
    QString AttributeName(qsizetype Index) const;
    QString AttributeValue(qsizetype Index) const;

    qsizetype ChildrenCount() const { return m_children.size(); }
    // Appends the child; a child named exactly "fax" goes to the executor (when one is given) and is not
    // kept.
    void addChild(std::unique_ptr<clsXMLNode> Child, const FaxExecutor &executor = {});
    const clsXMLNode *enumChild(qsizetype Index) const;

private:
    QString m_name;
    QString m_text;
    QList<std::pair<QString, QString>> m_attributes;
    QList<std::shared_ptr<clsXMLNode>> m_children;
};

// Reads a small XML document into a clsXMLNode tree, and writes one back.
// Accepted: well-formed XML (elements, attributes, text, comments, CDATA, entity references of XML
// itself, an optional prolog). An element holds either text or child elements. A DOCTYPE is refused,
// and so are files above MaxFileBytes, elements nested deeper than MaxDepth, a NUL character and bytes
// that break the file's encoding (named with their line, once the faxes before them were executed).
// Errors leave Err() set (source "XMLParser"): 42 "Expected: ... at line L [C]",
// 43 "Mismatched tag: 'name' at line L [C]".
class clsXMLParser
{
public:
    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;
    static constexpr int MaxDepth = 256;
    static constexpr int ErrExpected = 42;
    static constexpr int ErrMismatched = 43;

    // False on any error (reported in Err()); "fax" elements completed before it stay executed.
    bool Parse(const QString &FileName);
    bool ParseData(const QByteArray &bytes);
    // Writes the prolog (when one with attributes was read) and the tree. False when the file cannot be written.
    bool Save(const QString &FileName, bool PrettyPrint = false, int IdentType = 0) const;

    clsXMLNode *ParentNode() const { return m_parent.get(); }
    void setParentNode(std::unique_ptr<clsXMLNode> node) { m_parent = std::move(node); }
    // The prolog as a node named "xml" with its attributes; nullptr when the document had none.
    clsXMLNode *XMLNode() const { return m_prolog.get(); }

    void setFaxExecutor(clsXMLNode::FaxExecutor executor) { m_executor = std::move(executor); }
    // Called as the reading goes on, with the bytes read so far and the file's size.
    void setProgress(std::function<void(qint64 done, qint64 total)> progress)
    {
        m_progress = std::move(progress);
    }

    // The document's characters. A byte-order mark decides (UTF-8, UTF-16 or UTF-32, either order);
    // without one the bytes are UTF-8 when they are, Windows-1252 when they hold no UTF-8 letter at all
    // (a job written by hand on Windows, or declared so in the prolog). Bytes that break the encoding so
    // found are not guessed at: `text` holds what comes before them and `fault` says what they are.
    struct Decoded
    {
        QString text;
        QString encoding;
        QString fault; // empty when the whole file was read
    };
    static Decoded decode(const QByteArray &bytes);

private:
    std::unique_ptr<clsXMLNode> m_parent;
    std::unique_ptr<clsXMLNode> m_prolog;
    clsXMLNode::FaxExecutor m_executor;
    std::function<void(qint64, qint64)> m_progress;
};
