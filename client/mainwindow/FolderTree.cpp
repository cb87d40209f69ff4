#include "FolderTree.h"

#include "ListIcons.h"
#include "NodeItem.h"

#include <QTreeWidget>

using namespace Qt::StringLiterals;

FolderTree::FolderTree(QTreeWidget *tree) : m_tree(tree) {}

void FolderTree::clear()
{
    m_tree->clear();
    m_byKey.clear();
    m_order.clear();
}

QTreeWidgetItem *FolderTree::addNode(QTreeWidgetItem *parent, const QString &key, const QString &text,
                                     int image)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, KeyRole, key);
    item->setData(0, SharedRole, image == 7);
    item->setIcon(0, ListIcons::treeIcon(image));
    if (parent)
        parent->addChild(item);
    else
        m_tree->addTopLevelItem(item);
    m_byKey.insert(key, item);
    m_order.append(item);
    return item;
}

QTreeWidgetItem *FolderTree::build(const QString &userName, bool forwardUser)
{
    clear();
    m_tree->setIndentation(19);
    m_tree->setRootIsDecorated(true);
    m_tree->setHeaderHidden(true);
    QTreeWidgetItem *root = addNode(nullptr, u"ROOT"_s, userName, 1);
    addNode(root, u"P1"_s, u"Personali"_s, 2);
    addNode(root, u"P2"_s, u"Spediti"_s, 4);
    if (forwardUser)
        addNode(root, u"P3"_s, u"Ricevuti"_s, 3);
    addNode(root, u"P4"_s, u"Cestino"_s, 5);
    root->setExpanded(true);
    return node(forwardUser ? u"P3"_s : u"P1"_s);
}

QStringList FolderTree::addTreeFolders(const collNodeItem &folders)
{
    QList<const NodeItem *> pending;
    for (const NodeItem &folder : folders)
        pending.append(&folder);
    // Parents normally come first; a child sent before its parent waits for a later pass.
    bool progress = true;
    while (!pending.isEmpty() && progress) {
        progress = false;
        QList<const NodeItem *> later;
        for (const NodeItem *folder : std::as_const(pending)) {
            const QString parentKey =
                (folder->Parent() >= 5 ? u"F"_s : u"P"_s) + QString::number(folder->Parent());
            QTreeWidgetItem *parent = node(parentKey);
            if (!parent) {
                later.append(folder);
                continue;
            }
            addFolderNode(parent, folder->Description(), u"F"_s + QString::number(folder->Children()),
                          folder->IsShared());
            progress = true;
        }
        pending = later;
    }
    QStringList orphans;
    for (const NodeItem *folder : std::as_const(pending))
        orphans.append(u"F"_s + QString::number(folder->Children()));
    return orphans;
}

QTreeWidgetItem *FolderTree::addFolderNode(QTreeWidgetItem *parent, const QString &text, const QString &key,
                                           bool shared)
{
    if (!parent)
        return nullptr;
    // A key already in the tree (the same folder reported twice) keeps its one node, renamed.
    if (QTreeWidgetItem *existing = node(key)) {
        existing->setText(0, text);
        return existing;
    }
    return addNode(parent, key, text, shared ? 7 : 6);
}

void FolderTree::forget(QTreeWidgetItem *item)
{
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
    m_byKey.remove(key(item));
    m_order.removeOne(item);
}

void FolderTree::removeFolderNode(QTreeWidgetItem *item)
{
    if (!item)
        return;
    forget(item);
    QTreeWidgetItem *parent = item->parent();
    if (parent)
        m_tree->setCurrentItem(parent);
    delete item;
}

QString FolderTree::key(const QTreeWidgetItem *item)
{
    return item ? item->data(0, KeyRole).toString() : QString();
}

int FolderTree::indexOf(const QTreeWidgetItem *item) const
{
    return item ? int(m_order.indexOf(const_cast<QTreeWidgetItem *>(item))) + 1 : 0;
}

QTreeWidgetItem *FolderTree::firstParent(QTreeWidgetItem *item) const
{
    if (!item)
        return nullptr;
    while (item->parent() && item->parent()->parent())
        item = item->parent();
    return item;
}

bool FolderTree::isChild(const QTreeWidgetItem *ancestor, const QTreeWidgetItem *item)
{
    if (!ancestor || !item)
        return false;
    for (const QTreeWidgetItem *p = item->parent(); p; p = p->parent()) {
        if (key(p) == key(ancestor))
            return true;
    }
    return false;
}

bool FolderTree::isTrash(QTreeWidgetItem *item) const
{
    QTreeWidgetItem *top = firstParent(item);
    return top && key(top) == u"P4"_s;
}

int FolderTree::listKind(QTreeWidgetItem *item) const
{
    const QString k = key(firstParent(item));
    if (k == u"P1"_s)
        return 1;
    if (k == u"P2"_s)
        return 2;
    if (k == u"P3"_s)
        return 0;
    if (k == u"P4"_s)
        return 3;
    return -1;
}

int FolderTree::nodeId(const QString &key)
{
    return key.mid(1).toInt();
}

void FolderTree::setShared(QTreeWidgetItem *node, bool shared)
{
    if (!node)
        return;
    node->setData(0, SharedRole, shared);
    node->setIcon(0, ListIcons::treeIcon(shared ? 7 : 6));
}
