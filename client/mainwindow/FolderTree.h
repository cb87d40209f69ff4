#pragma once

#include <QHash>
#include <QList>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;
class collNodeItem;

// The folder tree of the main window over its tree widget: the top node "ROOT" (the user), the fixed
// list roots "P1" Personali, "P2" Spediti, "P3" Ricevuti (forward users only), "P4" Cestino, and the
// user's folders "F" + id. Nodes are kept in the order they were added, as the tree's node collection.
class FolderTree
{
public:
    explicit FolderTree(QTreeWidget *tree);

    // Empties the tree and adds the fixed nodes; returns the node the user starts on (P3 or P1).
    QTreeWidgetItem *build(const QString &userName, bool forwardUser);
    void clear();

    // Adds the server's folders under their parents. A folder whose parent is not in the tree (not yet,
    // because the server sent the child first, or not at all) is tried again after the others; those
    // left without parent are returned as "F<id>" keys and not added.
    QStringList addTreeFolders(const collNodeItem &folders);
    QTreeWidgetItem *addFolderNode(QTreeWidgetItem *parent, const QString &text, const QString &key,
                                   bool shared);
    // The folder's shared flag and its image ("SharedFolder" or the plain folder).
    static void setShared(QTreeWidgetItem *node, bool shared);
    // Removes the node and everything below it; its parent becomes the selected node.
    void removeFolderNode(QTreeWidgetItem *node);

    QTreeWidgetItem *node(const QString &key) const { return m_byKey.value(key, nullptr); }
    static QString key(const QTreeWidgetItem *node);
    // Position in the node collection, from 1; 0 for no node.
    int indexOf(const QTreeWidgetItem *node) const;
    int count() const { return int(m_order.size()); }
    QTreeWidgetItem *root() const { return node(QStringLiteral("ROOT")); }

    // The fixed root above a node (itself for a fixed root or the top node).
    QTreeWidgetItem *firstParent(QTreeWidgetItem *node) const;
    // True when ancestor lies above node.
    static bool isChild(const QTreeWidgetItem *ancestor, const QTreeWidgetItem *node);
    // True when the node lies in the trash.
    bool isTrash(QTreeWidgetItem *node) const;
    // List kind of the node (P1 1, P2 2, P3 0, P4 3, folders that of their root); -1 for the top node.
    int listKind(QTreeWidgetItem *node) const;

    // Numeric value of a key without its first letter ("F12" 12, "P3" 3, "ROOT" 0).
    static int nodeId(const QString &key);

    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int SharedRole = Qt::UserRole + 2;

private:
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, int image);
    void forget(QTreeWidgetItem *node);

    QTreeWidget *m_tree;
    QHash<QString, QTreeWidgetItem *> m_byKey;
    QList<QTreeWidgetItem *> m_order;
};
