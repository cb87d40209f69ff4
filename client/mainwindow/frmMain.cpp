#include "frmMain.h"
#ifdef QUORIN_HAVE_LUMAGRID
#include "LumagridPropertyBag.h"
#endif

#include "AppPaths.h"
#include "ConfigIni.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "FaxSendWatch.h"
#include "FormHelpers.h"
#include "KeyboardMenu.h"
#include "ListIcons.h"
#include "PageFit.h"
#include "PlainToolTip.h"
#include "ProgramInfo.h"
#include "QuorinSock.h"
#include "SplitterStrip.h"
#include "clsLog.h"
#include "frmAbout2.h"
#include "frmSendStatus.h"
#include "frmSplash.h"
#include "frmUpdateDownload.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProgressBar>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

// Rows as high as a row with its picture, whatever the row measured holds: with uniform row heights
// the first row's height is every row's, and a first row without a picture would cut the others'.
class FaxRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.features |= QStyleOptionViewItem::HasDecoration;
        if (const auto *view = qobject_cast<const QAbstractItemView *>(opt.widget);
            view && view->iconSize().isValid())
            opt.decorationSize = view->iconSize();
        else
            opt.decorationSize = QSize(16, 16);
        // Bold and plain rows alike.
        opt.font.setBold(true);
        opt.fontMetrics = QFontMetrics(opt.font);
        const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        const QSize full = style->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), opt.widget);
        size.setHeight(std::max(size.height(), full.height()));
        return size;
    }
};

// The folder tree and the list, telling when a drag started on them has ended (dropped, refused or
// cancelled).
class DragEndTree : public QTreeWidget
{
public:
    using QTreeWidget::QTreeWidget;
    std::function<void()> dragEnded;

protected:
    void startDrag(Qt::DropActions supportedActions) override
    {
        QTreeWidget::startDrag(supportedActions);
        if (dragEnded)
            dragEnded();
    }
};

// The main window sees every key release of its controls first (some controls take every key,
// the preview among them): Escape ends a wait wherever the focus is.
class EscapeWatch : public QObject
{
public:
    EscapeWatch(frmMain *window, std::function<void()> onEscape)
        : QObject(window), m_window(window), m_onEscape(std::move(onEscape))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyRelease && watched->isWidgetType() &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
            static_cast<QWidget *>(watched)->window() == m_window)
            m_onEscape();
        return false;
    }

private:
    frmMain *m_window;
    std::function<void()> m_onEscape;
};

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent), m_tree(nullptr)
{
    setObjectName(u"frmMain"_s);
    // Form_Initialize
    bVisualizza = bApriFax = bFaxArrivato = bZuvUvucante = false;
    PrevKey = u"0"_s;
    Connected = false;
    UserReceived = false;
    AppLog().WriteLog(u"FrmMain - Fine Initialize"_s);

    buildControls();
    m_tree = FolderTree(TVNodi);
    buildMenus();
    connectClientSock();
    Form_Load();
    const QString help = AppPaths::programDir() + u"/Quorin.html"_s;
    if (QFileInfo(help).isFile())
        HelpFile = help;
}

frmMain::~frmMain()
{
    removeNewFaxIcon();
}

void frmMain::buildControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(u"ClientArea"_s);
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    FraTv = new QGroupBox(m_client);
    FraTv->setObjectName(u"FraTv"_s);
    auto *tree = new DragEndTree(FraTv);
    // A folder drag pressed its node into the selection; a refused drop leaves its target marked.
    tree->dragEnded = [this] { dragEnded(); };
    TVNodi = tree;
    TVNodi->setObjectName(u"TVNodi"_s);
    TVNodi->setHeaderHidden(true);
    TVNodi->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TVNodi->setContextMenuPolicy(Qt::PreventContextMenu);
    // Deep folders keep their whole names: wider than the pane, the tree scrolls sideways.
    TVNodi->header()->setStretchLastSection(false);
    TVNodi->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    TVNodi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    TVNodi->installEventFilter(this);
    TVNodi->viewport()->installEventFilter(this);
    // The folder's menu from the keyboard, for the folder the tree is on.
    KeyboardMenu::attach(TVNodi, [this] {
        if (!TVNodi->isEnabled())
            return;
        if (QTreeWidgetItem *node = TVNodi->currentItem())
            TVNodi->scrollToItem(node);
        if (QMenu *menu = treeMenuFor(TVNodi->currentItem()))
            menu->popup(KeyboardMenu::itemPoint(TVNodi));
    });

    fraListFax = new QGroupBox(m_client);
    fraListFax->setObjectName(u"fraListFax"_s);
    auto *list = new DragEndTree(fraListFax);
    list->dragEnded = [this] { dragEnded(); };
    ListFax = list;
    ListFax->setObjectName(u"ListFax"_s);
    ListFax->setRootIsDecorated(false);
    ListFax->setUniformRowHeights(true);
    ListFax->setItemDelegate(new FaxRowDelegate(ListFax));
    ListFax->setAllColumnsShowFocus(true);
    ListFax->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListFax->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListFax->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListFax->setSortingEnabled(false);
    ListFax->header()->setSectionsClickable(true);
    ListFax->header()->setSortIndicatorShown(false);
    ListFax->header()->setStretchLastSection(false);
    ListFax->installEventFilter(this);
    // The row's menu from the keyboard: as the right button on the current row.
    KeyboardMenu::attach(ListFax, [this] {
        QTreeWidgetItem *row = ListFax->currentItem();
        if (!row || !ListFax->isEnabled())
            return;
        ListFax->scrollToItem(row);
        const QRect r = ListFax->visualItemRect(row);
        ListFax_MouseDown(Qt::RightButton, Qt::NoModifier, QPoint(r.left() + 8, r.center().y()));
    });

    fraRoot = new QWidget(m_client);
    fraRoot->setObjectName(u"fraRoot"_s);
    fraRoot->setAutoFillBackground(true);
    fraRoot->hide();
    picLogo = new QLabel(fraRoot);
    picLogo->setObjectName(u"picLogo"_s);
    picLogo->setAlignment(Qt::AlignCenter);
    // Drawn at the size it is shown at (applyPanes), never a small picture stretched.
    picLogo->installEventFilter(this);

    fraPreview = new QGroupBox(m_client);
    fraPreview->setObjectName(u"fraPreview"_s);
    LumagPreview = new PreviewControl(fraPreview);
    LumagPreview->setObjectName(u"LumagPreview"_s);
#ifdef QUORIN_HAVE_LUMAGRID
    {
        LumagridDefaultsBag stored; // the form's settings of the control
        LumagPreview->ReadProperties(stored);
    }
#endif
    m_previewFit = new PageFit(LumagPreview);
    m_previewBack = LumagPreview->BackColor();

    imgSplitterX = new SplitterStrip(Qt::Horizontal, m_client);
    imgSplitterX->setObjectName(u"imgSplitterX"_s);
    imgSplitterY = new SplitterStrip(Qt::Vertical, m_client);
    imgSplitterY->setObjectName(u"imgSplitterY"_s);
    for (QWidget **bar : {&picSplitterX, &picSplitterY}) {
        *bar = new QWidget(m_client);
        (*bar)->setAutoFillBackground(true);
        QPalette pal = (*bar)->palette();
        pal.setColor(QPalette::Window, QColor(128, 128, 128));
        (*bar)->setPalette(pal);
        (*bar)->hide();
    }
    picSplitterX->setObjectName(u"picSplitterX"_s);
    picSplitterY->setObjectName(u"picSplitterY"_s);
    connect(imgSplitterX, &SplitterStrip::pressed, this, &frmMain::splitterXDown);
    connect(imgSplitterX, &SplitterStrip::moved, this, [this](int px) { splitterXMove(toTwips(px)); });
    connect(imgSplitterX, &SplitterStrip::released, this, &frmMain::splitterXUp);
    connect(imgSplitterY, &SplitterStrip::pressed, this, &frmMain::splitterYDown);
    connect(imgSplitterY, &SplitterStrip::moved, this, [this](int px) { splitterYMove(toTwips(px)); });
    connect(imgSplitterY, &SplitterStrip::released, this, &frmMain::splitterYUp);

    // The status bar sits inside the client area, as the layout counts it.
    sbStatusBar = new QStatusBar(m_client);
    sbStatusBar->setObjectName(u"sbStatusBar"_s);
    sbStatusBar->setSizeGripEnabled(false);
    for (int i = 1; i <= 3; ++i) {
        auto *panel = new QLabel(sbStatusBar);
        panel->setObjectName(u"Panel"_s + QString::number(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        m_panels.append(panel);
        sbStatusBar->addPermanentWidget(panel, i == 1 ? 3 : (i == 2 ? 2 : 1));
    }
    pbLoad = new QProgressBar(m_client);
    pbLoad->setObjectName(u"pbLoad"_s);
    pbLoad->setTextVisible(false);
    pbLoad->hide();

    ClientSock = new QuorinSock(m_client);
    ClientSock->setObjectName(u"ClientSock"_s);
    ClientSock->hide();

    tmrRead = new QTimer(this);
    tmrRead->setObjectName(u"tmrRead"_s);
    tmrRead->setInterval(2000);
    tmrRead->setSingleShot(true);
    connect(tmrRead, &QTimer::timeout, this, &frmMain::tmrRead_Timer);
    TimerTV = new QTimer(this);
    TimerTV->setObjectName(u"TimerTV"_s);
    connect(TimerTV, &QTimer::timeout, this, &frmMain::TimerTV_Timer);
    TimerOpenNode = new QTimer(this);
    TimerOpenNode->setObjectName(u"TimerOpenNode"_s);
    TimerOpenNode->setInterval(1000);
    connect(TimerOpenNode, &QTimer::timeout, this, &frmMain::TimerOpenNode_Timer);

    // Fax rows drag onto the tree; folders drag inside it. The drops are handled in the event filter.
    ListFax->setDragEnabled(true);
    ListFax->setDragDropMode(QAbstractItemView::DragOnly);
    ListFax->setDefaultDropAction(Qt::CopyAction);
    ListFax->viewport()->installEventFilter(this);
    TVNodi->setDragEnabled(true);
    TVNodi->setAcceptDrops(true);
    TVNodi->viewport()->setAcceptDrops(true);
    TVNodi->setDragDropMode(QAbstractItemView::DragDrop);
    TVNodi->setDefaultDropAction(Qt::CopyAction);
    TVNodi->setDropIndicatorShown(false);

    // A double-click on the list's or the preview's frame lays the panes out again.
    fraListFax->installEventFilter(this);
    fraPreview->installEventFilter(this);
    connect(ListFax->header(), &QHeaderView::sectionClicked, this, &frmMain::OrdinaColonna);
    connect(ListFax, &QTreeWidget::itemClicked, this, [this] { ListFax_ItemClick(); });
    connect(ListFax, &QTreeWidget::itemDoubleClicked, this, [this] { ListFax_DblClick(); });
    connect(TVNodi, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        if (!m_rightButton)
            TVNodi_NodeClick(item);
    });
    connect(LumagPreview, &PreviewControl::AfterPrint, this, &frmMain::LumagPreview_AfterPrint);
    connect(LumagPreview, &PreviewControl::AfterSave, this, &frmMain::LumagPreview_AfterSave);
    qApp->installEventFilter(new EscapeWatch(this, [this] { endWait(); }));
}

void frmMain::Form_Load()
{
    LocalizeForm(this);
    setWindowIcon(ProgramIcon());
    setWindowTitle(ProgramTitle());
    if (h < 5000)
        h = 6600;
    if (w < 5000)
        w = 8200;
    m_propX = 0.3;
    m_propY = 0.6;
    resize(toPixels(w), toPixels(h));
    setMinimumSize(toPixels(MainLayout::MinWindowTwips), toPixels(MainLayout::MinWindowTwips));
    AppLog().WriteLog(u"FrmMain - Inizio Load"_s);
    loadPlacement();
    LumagPreview->setAutoZoomType(3);
    AppLog().WriteLog(u"FrmMain - Fine Load"_s);
    TimerTV->stop();
    TimerTV->setInterval(200);
    InitList(false);
    ResizeForm();
}

void frmMain::Init()
{
    InitList(false);
    setPanelText(3, NomeUtente);
    m_spazioSplitter = 60;
}

void frmMain::StartMail()
{
    isMail = m_mail.StartMail();
}

void frmMain::later(std::function<void()> fn)
{
    QTimer::singleShot(0, this, std::move(fn));
}

void frmMain::setStartFlag(bool &flag)
{
    flag = true;
    Q_EMIT startStateChanged();
}

QString frmMain::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->text() : QString();
}

void frmMain::setPanelText(int panel, const QString &text)
{
    if (panel >= 1 && panel <= m_panels.size())
        m_panels.at(panel - 1)->setText(text);
}

int frmMain::toPixels(int twips) const
{
    return qRound(twips * logicalDpiX() / 1440.0);
}

int frmMain::toTwips(int pixels) const
{
    return qRound(pixels * 1440.0 / logicalDpiX());
}

void frmMain::lockControls()
{
    setCursor(Qt::WaitCursor);
    TVNodi->setEnabled(false);
    ListFax->setEnabled(false);
}

void frmMain::endWait()
{
    // An image still on its way is shown in the preview when it comes, never opened in the viewer; a
    // click on its row asks for it again.
    bApriFax = false;
    if (m_imageState == ImageState::Asked)
        m_imageState = ImageState::None;
    SbloccaControlli();
}

void frmMain::SbloccaControlli()
{
    ListFax->setEnabled(true);
    TVNodi->setEnabled(true);
    unsetCursor();
    WinsockStatus();
}

QString frmMain::linkStatusText(bool *closeLink) const
{
    const int state = ClientSock->State();
    // A link the server ended is closed, not closing: it stays so until the next login.
    if (m_linkLost && state == 8)
        return FaxListText::WinsockStatusText(0, QString());
    return FaxListText::WinsockStatusText(state, ClientSock->SockServer(), closeLink);
}

void frmMain::WinsockStatus()
{
    bool close = false;
    const QString text = linkStatusText(&close);
    if (close)
        ClientSock->ConnectClose();
    setPanelText(2, text);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // A fax still uploading would be cut off with the program: asked first, reported as not sent.
    if (FaxSendWatch *watch = FaxSendWatch::of(ClientSock);
        watch && !watch->confirmClose(this, nullptr, FaxSendWatch::Closing::Program)) {
        event->ignore();
        return;
    }
    m_closing = true;
    // Every other window of the program goes with the main window.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window != this && window->isWindow() && !window->isHidden())
            window->close();
    }
    if (m_sendStatus)
        m_sendStatus->close();
    if (m_shownOnce && !isMinimized())
        savePlacement();
    m_mail.SignOff();
    removeNewFaxIcon();
    AppLog().setSupressErrors(true);
    AppLog().CloseLog();
    LumagPreview->Pulizia();
    removeImageCopies();
    event->accept();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
}

void frmMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        ResizeForm();
}

void frmMain::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        endWait();
    QMainWindow::keyReleaseEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize) {
        ResizeForm();
        return false;
    }
    if (watched == picLogo && event->type() == QEvent::Resize) {
        const qreal ratio = picLogo->devicePixelRatioF();
        const QSize size = picLogo->size() * ratio;
        if (!size.isEmpty()) {
            QPixmap logo = ListIcons::logo(size.width(), size.height());
            logo.setDevicePixelRatio(ratio);
            picLogo->setPixmap(logo);
        }
        return false;
    }
    if ((watched == fraListFax || watched == fraPreview) && event->type() == QEvent::MouseButtonDblClick) {
        ResizeForm();
        return false;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Escape is seen by the window's own watch before any control (EscapeWatch).
        if (key->key() == Qt::Key_Escape)
            return false;
        // Moving through the tree with the keys opens the folder reached, as a click does.
        if (TVNodi && watched == TVNodi && !key->isAutoRepeat()) {
            switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Home:
            case Qt::Key_End:
                if (TVNodi->currentItem() && TVNodi->currentItem() != m_currentNode)
                    TVNodi_NodeClick(TVNodi->currentItem());
                break;
            default:
                break;
            }
        }
        if (ListFax && watched == ListFax && !key->isAutoRepeat()) {
            switch (key->key()) {
            case Qt::Key_Delete:
            case Qt::Key_F5:
                ListFax_KeyUp(key->key());
                break;
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Home:
            case Qt::Key_End:
                // As a click: the key, the menu items and the image follow the selection.
                ListFax_ItemClick();
                ListFax->setFocus();
                break;
            default:
                break;
            }
        }
    }
    if (ListFax && watched == ListFax->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        ListFax_MouseDown(mouse->button(), mouse->modifiers(), mouse->position().toPoint());
        // The right button selects and shows the menu itself.
        if (mouse->button() == Qt::RightButton)
            return true;
    }
    if (TVNodi && watched == TVNodi->viewport()) {
        // Short names still take the pane's whole width (the selection spans it); long ones widen it.
        if (event->type() == QEvent::Resize)
            TVNodi->header()->setMinimumSectionSize(TVNodi->viewport()->width());
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return treeDragEvent(event);
        case QEvent::DragLeave:
            TimerTV->stop();
            TimerOpenNode->stop();
            setDropHighlight(nullptr);
            return true;
        default:
            break;
        }
        if (event->type() == QEvent::ToolTip) {
            // A name the pane cuts shows whole beside the pointer.
            auto *help = static_cast<QHelpEvent *>(event);
            const QModelIndex index = TVNodi->indexAt(help->pos());
            const QRect cell = TVNodi->visualRect(index);
            const int right = cell.left() + TVNodi->sizeHintForIndex(index).width();
            if (index.isValid() && (cell.left() < 0 || right > TVNodi->viewport()->width()))
                QToolTip::showText(help->globalPos(), plainToolTip(index.data().toString()),
                                   TVNodi->viewport(), cell);
            else
                QToolTip::hideText();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            m_rightButton = mouse->button() == Qt::RightButton;
            if (!m_rightButton)
                TVNodi_StartFolderDrag(TVNodi->itemAt(mouse->position().toPoint()));
            // A click anywhere on the tree asks the next fax image again.
            PrevKey = u"0"_s;
            // The right button opens the folder menu; it does not select the node.
            if (m_rightButton)
                return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            TimerTV->stop();
            m_dragNode = nullptr;
            if (mouse->button() == Qt::RightButton) {
                QTreeWidgetItem *node = TVNodi->itemAt(mouse->position().toPoint());
                if (QMenu *menu = treeMenuFor(node))
                    menu->popup(mouse->globalPosition().toPoint());
                m_rightButton = false;
                return true;
            }
            QTimer::singleShot(0, this, [this] {
                m_rightButton = false;
                // Pressed on one node and released on another: no click, so no other list; the
                // selection the mouse dragged along goes back to the folder on show.
                markShownFolder();
            });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
