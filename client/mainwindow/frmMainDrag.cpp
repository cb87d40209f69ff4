// Drag and drop on the folder tree: folders moved inside the tree, fax rows moved from the list into a
// folder or the trash, with the tree scrolling near its edges and closed folders opening under the pointer.
#include "frmMain.h"

#include "FaxListItem.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "clsLog.h"

#include <QCursor>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

void setHighlighted(QTreeWidgetItem *node, bool on)
{
    if (!node)
        return;
    if (on)
        node->setBackground(0, node->treeWidget()->palette().brush(QPalette::Highlight).color().lighter(160));
    else
        node->setBackground(0, QBrush());
}

} // namespace

void frmMain::markShownFolder()
{
    // Only a node still in the tree (a rebuilt tree has new ones).
    if (!m_currentNode || m_tree.indexOf(m_currentNode) <= 0)
        return;
    if (TVNodi->currentItem() != m_currentNode)
        TVNodi->setCurrentItem(m_currentNode);
    else if (!m_currentNode->isSelected())
        m_currentNode->setSelected(true);
}

void frmMain::dragEnded()
{
    // Dropped, refused or cancelled: no drop mark, no scrolling, the folder on show highlighted.
    TimerTV->stop();
    TimerOpenNode->stop();
    setDropHighlight(nullptr);
    m_dragNode = nullptr;
    markShownFolder();
}

void frmMain::setDropHighlight(QTreeWidgetItem *node)
{
    if (node == m_dropHighlight)
        return;
    setHighlighted(m_dropHighlight, false);
    m_dropHighlight = node;
    setHighlighted(m_dropHighlight, true);
}

void frmMain::autoScroll(int yTwips)
{
    if (yTwips < 0)
        return;
    m_lastDragY = yTwips;
    const int height = toTwips(TVNodi->viewport()->height());
    if (yTwips > 0 && yTwips < 100) {
        m_scrollDirection = -1;
        TimerTV->start();
    } else if (yTwips > height - 200 && yTwips < height) {
        m_scrollDirection = 1;
        TimerTV->start();
    } else {
        TimerTV->stop();
    }
}

void frmMain::TimerTV_Timer()
{
    setDropHighlight(TVNodi->itemAt(QPoint(toPixels(100), toPixels(m_lastDragY))));
    QScrollBar *bar = TVNodi->verticalScrollBar();
    bar->triggerAction(m_scrollDirection == 1 ? QAbstractSlider::SliderSingleStepAdd
                                              : QAbstractSlider::SliderSingleStepSub);
}

void frmMain::TimerOpenNode_Timer()
{
    TimerOpenNode->stop();
    if (m_dropHighlight)
        m_dropHighlight->setExpanded(true);
}

void frmMain::followCollapsed(QTreeWidgetItem *node)
{
    if (node && !node->isExpanded() && node->childCount() > 0)
        TimerOpenNode->start();
    else
        TimerOpenNode->stop();
}

bool frmMain::TVNodi_StartFolderDrag(QTreeWidgetItem *node)
{
    m_rightButton = false;
    m_dragNode = node;
    m_dragRoot = nullptr;
    if (!node)
        return false;
    m_dragRoot = m_tree.firstParent(node);
    // The top node and the fixed roots before the trash never move.
    if (m_tree.indexOf(node) < 5)
        m_dragNode = nullptr;
    return m_dragNode != nullptr;
}

bool frmMain::folderDropAllowed(QTreeWidgetItem *target) const
{
    if (!m_dragNode || !target || target == m_dragNode || FolderTree::isChild(m_dragNode, target))
        return false;
    QTreeWidgetItem *targetRoot = m_tree.firstParent(target);
    if (!targetRoot || !m_dragRoot)
        return m_dropAllowed;
    if (targetRoot == m_dragRoot)
        return FolderTree::key(target) != u"ROOT"_s;
    return targetRoot == m_tree.node(u"P4"_s);
}

bool frmMain::TVNodi_DragOver(QTreeWidgetItem *target, int yTwips)
{
    autoScroll(yTwips);
    if (target) {
        setDropHighlight(target);
        followCollapsed(target);
    }
    if (m_dragNode && target)
        m_dropAllowed = folderDropAllowed(target);
    return m_dropAllowed;
}

bool frmMain::TVNodi_DragDrop(QTreeWidgetItem *target)
{
    TimerTV->stop();
    bool moved = false;
    if (target && m_dragNode && target != m_dragNode && folderDropAllowed(target)) {
        QTreeWidgetItem *trash = m_tree.node(u"P4"_s);
        const bool goToDeleted = m_tree.firstParent(target) == trash;
        const bool wasInDeleted = m_tree.firstParent(m_dragNode) == trash;
        if (QTreeWidgetItem *parent = m_dragNode->parent()) {
            parent->removeChild(m_dragNode);
            target->addChild(m_dragNode);
        }
        ClientSock->MoveFolderToFolder(FolderTree::nodeId(FolderTree::key(m_dragNode)),
                                       FolderTree::nodeId(FolderTree::key(target)), goToDeleted,
                                       wasInDeleted);
        moved = true;
    }
    if (m_dragNode)
        m_dragNode->setSelected(false);
    setDropHighlight(nullptr);
    m_dragNode = nullptr;
    TimerOpenNode->stop();
    markShownFolder();
    return moved;
}

bool frmMain::faxDropAllowed(QTreeWidgetItem *target) const
{
    if (!target)
        return false;
    const QString key = FolderTree::key(target);
    if (key == u"ROOT"_s || FolderTree::nodeId(key) == m_currTreeID)
        return false;
    QTreeWidgetItem *targetRoot = m_tree.firstParent(target);
    QTreeWidgetItem *listRoot = nullptr;
    switch (ActiveList) {
    case Forwardlist:
        listRoot = m_tree.node(u"P3"_s);
        break;
    case PersonalList:
        listRoot = m_tree.node(u"P1"_s);
        break;
    case SentList:
        listRoot = m_tree.node(u"P2"_s);
        break;
    default:
        break;
    }
    return (ActiveList != DeletedList && listRoot && targetRoot == listRoot) ||
           (targetRoot && targetRoot == m_tree.node(u"P4"_s));
}

bool frmMain::TVNodi_OLEDragOver(QTreeWidgetItem *target, int yTwips)
{
    autoScroll(yTwips);
    setDropHighlight(target);
    if (!target)
        return m_dropAllowed;
    followCollapsed(target);
    m_dropAllowed = faxDropAllowed(target);
    return m_dropAllowed;
}

bool frmMain::TVNodi_OLEDragDrop(QTreeWidgetItem *target)
{
    AppLog().WriteLog(u"Prima: iElems = UBound(DragKey)"_s);
    const qsizetype iElems = m_dragKeys.size();
    AppLog().WriteLog(u"Dopo: iElems = UBound(DragKey)"_s);
    bool moved = false;
    if (iElems >= 1 && target) {
        if (!faxDropAllowed(target)) {
            Prompt::message(this, QMessageBox::NoIcon, ProgramTitle(),
                            u"Attenzione!! Impossibile spostare il fax nella cartella selezionata."_s);
        } else {
            const int destination = FolderTree::nodeId(FolderTree::key(target));
            const bool goToDeleted = m_tree.firstParent(target) == m_tree.node(u"P4"_s);
            // Only the rows the server is told about leave the list.
            const bool anySelected = !ListFax->selectedItems().isEmpty();
            const QStringList keys = ChiaviSelezionate();
            if (anySelected) {
                ClientSock->MoveSelectedToFolder(m_currTreeID, destination, goToDeleted);
                const QSet<QString> moving(keys.cbegin(), keys.cend());
                int lastIdx = 0;
                removeRows([&moving](FaxListItem *item, int) { return moving.contains(item->key()); }, QString(),
                           ListFax->topLevelItemCount(), nullptr, &lastIdx);
                AggiornaTitoloLista(aggDaLeggere);
                // The previewed fax may have gone: nothing stays shown until the next row's image comes.
                emptyPreview();
                if (ListFax->topLevelItemCount() > 0)
                    selectRowAfterRemoval(std::min(lastIdx, ListFax->topLevelItemCount()));
                moved = true;
            }
        }
    }
    TimerTV->stop();
    TimerOpenNode->stop();
    setDropHighlight(nullptr);
    m_dragNode = nullptr;
    m_dragKeys.clear();
    ListFax_ItemClick();
    ChiaviSelezionate();
    ListFax->viewport()->update();
    markShownFolder();
    return moved;
}

bool frmMain::treeDragEvent(QEvent *event)
{
    auto *drag = static_cast<QDropEvent *>(event);
    const bool fromList = drag->source() == ListFax;
    const bool fromTree = drag->source() == TVNodi && m_dragNode;
    if (!fromList && !fromTree) {
        event->ignore();
        return true;
    }
    const QPoint pos = drag->position().toPoint();
    QTreeWidgetItem *target = TVNodi->itemAt(pos);
    const int y = toTwips(pos.y());
    switch (event->type()) {
    case QEvent::DragEnter:
        if (fromList)
            ChiaviSelezionate(); // the rows dragged
        [[fallthrough]];
    case QEvent::DragMove: {
        const bool allowed = fromList ? TVNodi_OLEDragOver(target, y) : TVNodi_DragOver(target, y);
        // The enter is always taken: a folder drag starts over its own node, where it cannot drop, and
        // a refused enter would end the drag's moves over the tree. The moves show whether a drop is
        // allowed where the pointer is. Fax rows refused over a node still get their drop, which says
        // why, with the pointer showing the refusal (no action).
        if (allowed || event->type() == QEvent::DragEnter) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else if (fromList && target) {
            drag->setDropAction(Qt::IgnoreAction);
            drag->accept();
            // The platform shows an accepted move's pointer; the refusal's takes its place once it has.
            QTimer::singleShot(0, this, [this] {
                QCursor *shown = QGuiApplication::overrideCursor();
                if (!m_dropAllowed && shown && shown->shape() == Qt::DragCopyCursor)
                    QGuiApplication::changeOverrideCursor(QCursor(Qt::ForbiddenCursor));
            });
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop:
        // The rows and nodes are moved here; the views must not move or remove anything themselves.
        drag->setDropAction(fromList && !m_dropAllowed ? Qt::IgnoreAction : Qt::CopyAction);
        drag->accept();
        if (fromList) {
            // The drag's own loop is still running: the move (and its message) follows it.
            const QString key = FolderTree::key(target);
            later([this, key] { TVNodi_OLEDragDrop(m_tree.node(key)); });
        } else
            TVNodi_DragDrop(target);
        return true;
    default:
        return false;
    }
}
