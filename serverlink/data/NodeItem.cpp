#include "NodeItem.h"

#include "Protocol.h"
#include "TextValues.h"

#include <limits>

using namespace Qt::StringLiterals;

NodeItem *collNodeItem::Add(int Parent, int Children, const QString &Description, bool IsShared,
                            const QString &sKey)
{
    auto node = std::make_unique<NodeItem>();
    node->setParent(Parent);
    node->setChildren(Children);
    node->setDescription(Description);
    node->setIsShared(IsShared);
    NodeItem *raw = node.get();
    return Collection<NodeItem>::Add(std::move(node), sKey) ? raw : nullptr;
}

namespace Proto {

std::unique_ptr<collNodeItem> ChildrenRs(QByteArrayView data, const ErrorSink &onError)
{
    auto tree = std::make_unique<collNodeItem>();
    const QList<QByteArrayView> pieces = splitView(data, FieldSeparator);
    if (pieces.size() <= 2)
        return tree;
    for (qsizetype i = 0; i < pieces.size(); i += 4) {
        if (i + 3 >= pieces.size()) {
            reportError(onError, ErrorCode::OutOfRange, u"ChildrenRs"_s);
            break;
        }
        const qint64 parent = TextValues::leadingWhole(pieces[i]);
        if (parent < std::numeric_limits<qint32>::min() || parent > std::numeric_limits<qint32>::max()) {
            reportError(onError, ErrorCode::Overflow, u"ChildrenRs"_s);
            break;
        }
        qint32 second = 0;
        int error = 0;
        if (!TextValues::toWhole(pieces[i + 1], second, error)) {
            reportError(onError, error, u"ChildrenRs"_s);
            break;
        }
        tree->Add(int(parent), second, Proto::text(pieces[i + 2]), VToBool(pieces[i + 3]));
    }
    return tree;
}

} // namespace Proto
