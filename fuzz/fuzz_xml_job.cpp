// The XML job files the print path reads. A document that reads must save, and the saved file must read
// back into the same tree and prolog.
#include "FuzzSupport.h"
#include "XmlReader.h"

#include <QTemporaryDir>

namespace {

bool sameTree(const clsXMLNode *a, const clsXMLNode *b, QString *where)
{
    if (!a || !b)
        return a == b;
    if (a->Name() != b->Name() || a->Text() != b->Text() || a->AttribCount() != b->AttribCount() ||
        a->ChildrenCount() != b->ChildrenCount()) {
        *where = a->Name() + u" | "_s + a->Text() + u" <> "_s + b->Name() + u" | "_s + b->Text();
        return false;
    }
    for (qsizetype i = 1; i <= a->AttribCount(); ++i) {
        if (a->AttributeName(i) != b->AttributeName(i) || a->AttributeValue(i) != b->AttributeValue(i)) {
            *where = a->Name() + u" @"_s + a->AttributeName(i) + u"=["_s + a->AttributeValue(i) + u"] <> ["_s +
                     b->AttributeValue(i) + u"]"_s;
            return false;
        }
    }
    for (qsizetype i = 1; i <= a->ChildrenCount(); ++i) {
        if (!sameTree(a->enumChild(i), b->enumChild(i), where))
            return false;
    }
    return true;
}

// The prolog's attributes; the encoding's value is left out, a save writes UTF-8.
QStringList prologOf(const clsXMLParser &parser)
{
    QStringList out;
    if (const clsXMLNode *prolog = parser.XMLNode()) {
        for (qsizetype i = 1; i <= prolog->AttribCount(); ++i) {
            const bool encoding = prolog->AttributeName(i).compare(u"encoding"_s, Qt::CaseInsensitive) == 0;
            out << prolog->AttributeName(i) + u'=' + (encoding ? QString() : prolog->AttributeValue(i));
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    clsXMLParser first;
    if (!first.ParseData(bytes))
        return 0;
    Fuzz::check(first.ParentNode() != nullptr, "a document read without a root element");

    for (bool pretty : {false, true}) {
        const QString path = folder.filePath(QStringLiteral("job.xml"));
        Fuzz::check(first.Save(path, pretty, 0), "a document read but did not save");
        clsXMLParser second;
        Fuzz::check(second.Parse(path), "a saved document did not read back");
        QString where;
        Fuzz::check(sameTree(first.ParentNode(), second.ParentNode(), &where),
                    "a saved document read back different", where);
        Fuzz::check(prologOf(first) == prologOf(second), "a saved prolog read back different",
                    prologOf(first).join(u' ') + u" <> "_s + prologOf(second).join(u' '));
    }
    return 0;
}
