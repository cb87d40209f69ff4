// The folder tree: building it at login, the server's folders, and the click that asks a folder's list.
#include "frmMain.h"

#include "ErrorReporting.h"
#include "FolderDialogs.h"
#include "NodeItem.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "ThemeIcons.h"

#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

void frmMain::GenerateTreeStruct()
{
    m_currTreeID = 1;
    QTreeWidgetItem *start = m_tree.build(NomeUtente, IsForwarduser);
    m_answers.asked(AnswerQueue::Tree, QString());
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

QMenu *frmMain::treeMenuFor(QTreeWidgetItem *node)
{
    const QString key = FolderTree::key(node);
    if (!node || key == u"ROOT"_s)
        return nullptr;
    if (!mnuTree) {
        mnuTree = new QMenu(this);
        mnuTree->setObjectName(u"mnuTree"_s);
        const auto add = [this](const QString &name, const QString &text, void (frmMain::*command)()) {
            QAction *action = mnuTree->addAction(ThemeIcons::forMenuEntry(name), text);
            action->setObjectName(name);
            if (command)
                connect(action, &QAction::triggered, this, command);
        };
        add(u"mnuTreeNew"_s, u"Nuova Cartella"_s, &frmMain::mnuTreeNew);
        add(u"mnuTreeSvuotaCestino"_s, u"Svuota Cestino"_s, &frmMain::mnuTreeSvuotaCestino);
        add(u"mnuTreeName"_s, u"Rinomina"_s, &frmMain::mnuTreeName);
        add(u"mnuTreeRemove"_s, u"Elimina"_s, &frmMain::mnuTreeRemove);
        add(u"mnuProprietaCartella"_s, u"Propriet\u00e0"_s, &frmMain::mnuProprietaCartella);
    }
    const bool folder = key.startsWith(u'F');
    const bool trash = folder ? m_tree.isTrash(node) : key == u"P4"_s;
    const auto show = [this](const QString &name, bool visible) {
        if (QAction *a = mnuTree->findChild<QAction *>(name))
            a->setVisible(visible);
    };
    show(u"mnuTreeNew"_s, !trash);
    show(u"mnuTreeSvuotaCestino"_s, trash);
    show(u"mnuTreeName"_s, folder);
    show(u"mnuTreeRemove"_s, folder);
    show(u"mnuProprietaCartella"_s, folder);
    m_menuNode = node;
    return mnuTree;
}

QTreeWidgetItem *frmMain::menuNode() const
{
    // The commands act on the node the menu was opened on (the selected node when there is none).
    if (m_menuNode && m_tree.indexOf(m_menuNode) > 0)
        return m_menuNode;
    return TVNodi->currentItem();
}

void frmMain::mnuTreeNew()
{
    QTreeWidgetItem *node = menuNode();
    if (!node)
        return;
    QTreeWidgetItem *p3 = m_tree.node(u"P3"_s);
    const bool shared = IsForwarduser && p3 && m_tree.firstParent(node) == p3;
    frmNewFolder dialog(this);
    dialog.NameFolder.clear();
    dialog.bShared = shared;
    Prompt::exec(&dialog);
    if (!dialog.ok || dialog.NameFolder.isEmpty())
        return;
    m_newFolderParent = node;
    ClientSock->AddNewFolder(dialog.NameFolder, FolderTree::nodeId(FolderTree::key(node)), dialog.bShared);
}

void frmMain::mnuTreeName()
{
    QTreeWidgetItem *node = menuNode();
    if (!node || !FolderTree::key(node).startsWith(u'F'))
        return;
    bool ok = false;
    const QString name = Prompt::text(this, u"Quorin"_s, u"Nuovo nome cartella: "_s, node->text(0), &ok);
    if (!ok || name.isEmpty())
        return;
    // A separator in the name would make the server read another folder's id.
    if (const QString piece = FolderDialog::forbiddenPiece(name); !piece.isEmpty()) {
        FolderDialog::refuseName(this, piece);
        return;
    }
    node->setText(0, name);
    ClientSock->RenameFolder(name, QString::number(FolderTree::nodeId(FolderTree::key(node))));
    if (node == m_currentNode)
        m_testoNodo = name;
}

void frmMain::mnuTreeRemove()
{
    QTreeWidgetItem *node = menuNode();
    if (!node || !FolderTree::key(node).startsWith(u'F'))
        return;
    const auto answer =
        Prompt::message(this, QMessageBox::Question, u"Attenzione"_s,
                        u"Eliminare le cartella, le sottocartelle e tutti i fax all'interno?"_s,
                        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    const QString id = QString::number(FolderTree::nodeId(FolderTree::key(node)));
    if (m_tree.isTrash(node))
        ClientSock->DeleteFolder(id);
    else
        ClientSock->CancelFolder(id);
    if (m_menuNode == node || FolderTree::isChild(node, m_menuNode))
        m_menuNode = nullptr;
    if (m_newFolderParent == node || FolderTree::isChild(node, m_newFolderParent))
        m_newFolderParent = nullptr;
    QTreeWidgetItem *parent = node->parent();
    const bool shownGoes = m_currentNode == node || FolderTree::isChild(node, m_currentNode);
    if (shownGoes)
        m_currentNode = nullptr;
    m_tree.removeFolderNode(node);
    // The tree marks the folder on show: the parent, opened, when the folder on show went with it.
    if (shownGoes && parent)
        TVNodi_NodeClick(parent);
    else
        markShownFolder();
}

void frmMain::mnuTreeSvuotaCestino()
{
    QTreeWidgetItem *node = menuNode();
    if (!node || !m_tree.isTrash(node))
        return;
    // Only the trash's own list is emptied: when another list is on show, the trash node is opened
    // first and emptied once its list has come (ClientSock_ListAnswer).
    if (node == m_currentNode && ActiveList == DeletedList && ListFax->isEnabled()) {
        EliminaFaxDefinitivo(true);
        return;
    }
    m_svuotaPending = FolderTree::key(node);
    TVNodi->setCurrentItem(node);
    TVNodi_NodeClick(node);
}

void frmMain::mnuProprietaCartella()
{
    QTreeWidgetItem *node = menuNode();
    if (!node || !FolderTree::key(node).startsWith(u'F'))
        return;
    const QString name = node->text(0);
    const bool shared = node->data(0, FolderTree::SharedRole).toBool();
    frmPropFolder dialog(this);
    dialog.NameFolder = name;
    dialog.bShared = shared;
    Prompt::exec(&dialog);
    if (!dialog.ok || (dialog.NameFolder == name && dialog.bShared == shared))
        return;
    node->setText(0, dialog.NameFolder);
    FolderTree::setShared(node, dialog.bShared);
    if (node == m_currentNode)
        m_testoNodo = dialog.NameFolder;
    ClientSock->UpdateFolder(dialog.NameFolder, FolderTree::nodeId(FolderTree::key(node)), dialog.bShared);
}
