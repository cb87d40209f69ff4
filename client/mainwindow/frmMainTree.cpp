// The folder tree: building it at login, the server's folders, and the click that asks a folder's list.
#include "frmMain.h"

#include "ErrorReporting.h"
#include "NodeItem.h"
#include "QuorinSock.h"

#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

void frmMain::GenerateTreeStruct()
{
    m_currTreeID = 1;
    QTreeWidgetItem *start = m_tree.build(NomeUtente, IsForwarduser);
    ClientSock->ChildrenTree();
    TVNodi->setCurrentItem(start);
}

void frmMain::TVNodiRicevuti()
{
    if (QTreeWidgetItem *node = m_tree.node(u"P1"_s)) {
        TVNodi->setCurrentItem(node);
        TVNodi_NodeClick(node);
    }
}

void frmMain::TVNodiInoltro()
{
    if (QTreeWidgetItem *node = m_tree.node(u"P3"_s)) {
        TVNodi->setCurrentItem(node);
        TVNodi_NodeClick(node);
    }
}

void frmMain::TVNodi_NodeClick(QTreeWidgetItem *node)
{
    m_currentNode = TVNodi->currentItem();
    if (!node || m_rightButton)
        return;
    const QString key = FolderTree::key(node);
    m_currTreeID = FolderTree::nodeId(key);
    int kind = m_tree.listKind(node);
    if (kind == Forwardlist && !IsForwarduser)
        kind = -1;
    if (kind < 0) {
        // The user's own node: the logo panel covers the list.
        fraRoot->show();
        fraRoot->raise();
        return;
    }
    // The caption names the folder shown; the list roots need no name beside the list's own.
    m_testoNodo = key.startsWith(u'F') ? node->text(0) : QString();
    fraRoot->hide();
    Ask4List(kind);
}

void frmMain::AddTreeFolders(const collNodeItem &folders)
{
    if (folders.Count() <= 0)
        return;
    const QStringList orphans = m_tree.addTreeFolders(folders);
    if (!orphans.isEmpty()) {
        const QString text = u"Cartelle senza cartella superiore: "_s + orphans.join(u", "_s);
        later([text] { ShowErrorMessage(ErrNumber::InvalidArgument, text, u"frmMain.AddTreeFolders"_s); });
    }
}

bool frmMain::IsCartellaCestino(QTreeWidgetItem *node) const
{
    return m_tree.isTrash(node);
}
