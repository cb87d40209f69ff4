#include "Lumagrid.h"

#include <QMetaMethod>

#include "ImgMenu.h"
#include "LumagridDocument.h"
#include "PageView.h"
#include "Prompt.h"
#include "ThumbBuilder.h"
#include "ThumbCtl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPrinter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
constexpr int kThumbDelayMs = 100;
} // namespace

Lumagrid::Lumagrid(QWidget *parent) : QWidget(parent)
{
    m_doc = new LumagridDocument(this);
    buildChildren();
    connectView();

    // Initialisation: the viewer's save options and undo depth.
    m_values = {
        {u"BorderStyle"_s, 6},
        {u"WMFPlaceable"_s, false},
        {u"WMFForceDefaultDims"_s, true},
        {u"WMFDefaultWidth"_s, 640},
        {u"WMFDefaultHeight"_s, 480},
        {u"UpdateOnFileSave"_s, true},
        {u"SelectionLineThickness"_s, 1},
        {u"ScrollSmooth"_s, true},
        {u"ScaleWithDPI"_s, false},
        {u"PCDResolution"_s, 2},
        {u"MergeAlpha"_s, true},
        {u"MagnifierZoomRate"_s, 2},
        {u"MagnifierWidth"_s, 100},
        {u"MagnifierHeight"_s, 100},
        {u"JPGSmoothing"_s, 0},
        {u"JPGFormatTags"_s, true},
        {u"InternetOptionFlags"_s, 0x400000},
        {u"FireChangedEvent"_s, true},
        {u"EnableMouseToolCursors"_s, true},
        {u"DitherErrorMax"_s, 20},
        {u"AutoUpdate"_s, true},
        {u"CausesValidation"_s, true},
        {u"PNGGammaWrite"_s, 0.0},
        {u"PNGGammaRead"_s, 0.0},
        {u"Enabled"_s, false},
        {u"FontName"_s, QString()},
    };
    ImgXExportOptions &opt = m_doc->engine().exportOptions();
    opt.jpgQuality = 100;
    opt.jpgProgressive = false;
    opt.tifCompression = TIFCompression::Automatic;
    opt.bmpUseRleCompression = false;
    m_doc->engine().setUndoLevels(5);
    m_font = QWidget::font();

    m_stripReady = true;
    m_thumbsVisible = false;
    setCounter(u"0/0"_s);
    m_cells.first()->hide();
    setButtonsVisible(true);
    setAskResSaveAs(false);
    setMinimumSize(tw(5800), th(2850));
    resize(tw(10410), th(2850));
    layoutChildren();
}

Lumagrid::~Lumagrid()
{
    stopBuild();
    delete m_builder; // joins a build still running
    m_builder = nullptr;
}

int Lumagrid::tw(int twips) const
{
    return int(std::lround(twips * logicalDpiX() / 1440.0));
}
int Lumagrid::th(int twips) const
{
    return int(std::lround(twips * logicalDpiY() / 1440.0));
}

void Lumagrid::buildChildren()
{
    m_txtPag = new QLineEdit(this);
    m_txtPag->setObjectName(u"txtPag"_s);
    m_txtPag->setReadOnly(true);
    m_txtPag->setAlignment(Qt::AlignCenter);
    QFont f(u"Verdana"_s);
    f.setPointSizeF(8.25);
    f.setBold(true);
    m_txtPag->setFont(f);
    m_txtPag->setFocusPolicy(Qt::NoFocus);

    m_picShowHide = new QWidget(this);
    m_picShowHide->setObjectName(u"PicShowHide"_s);
    m_thShowHide = new QScrollBar(Qt::Horizontal, m_picShowHide);
    m_thShowHide->setObjectName(u"ThShowHide"_s);
    // Any press on the switch shows or hides the strip; it then springs back to the middle, so it
    // always has a step to take either way.
    m_thShowHide->setRange(0, 2);
    m_thShowHide->setValue(1);
    m_thShowHide->setToolTip(u"Miniature"_s);
    connect(m_thShowHide, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == 1)
            return;
        const QSignalBlocker block(m_thShowHide);
        m_thShowHide->setValue(1);
        // One toggle per press: a held arrow repeats its step.
        if (m_switchPressed && m_switchUsed)
            return;
        m_switchUsed = true;
        onShowHide();
    });
    m_thShowHide->installEventFilter(this);

    m_menu = new ImgMenu(this);
    m_menu->setObjectName(u"ImgMenu1"_s);
    connect(m_menu, &ImgMenu::ButtonClick, this, &Lumagrid::onButtonClick);

    m_picExt = new QWidget(this);
    m_picExt->setObjectName(u"PicExt"_s);
    m_picExt->setAutoFillBackground(true);
    QPalette pal = m_picExt->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Mid)); // application workspace colour
    m_picExt->setPalette(pal);
    m_picInt = new QWidget(m_picExt);
    m_picInt->setObjectName(u"PicInt"_s);
    m_vScroll2 = new QScrollBar(Qt::Vertical, m_picExt);
    m_vScroll2->setObjectName(u"VScroll2"_s);
    m_vScroll2->setRange(0, 0);
    m_vScroll2->hide();
    connect(m_vScroll2, &QScrollBar::valueChanged, this, &Lumagrid::onStripScroll);
    m_picExt->hide();

    m_view = new PageView(this);
    m_view->setObjectName(u"ImgXCtrl"_s);
    m_view->installEventFilter(this); // Validate when the focus leaves it

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(u"Timer1"_s);
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(kThumbDelayMs);
    connect(m_timer1, &QTimer::timeout, this, &Lumagrid::onTimer1);

    m_builder = new ThumbBuilder;
    connect(m_builder, &ThumbBuilder::thumbReady, this, &Lumagrid::thumbReady);
    connect(m_builder, &ThumbBuilder::finished, this, &Lumagrid::thumbsFinished);

    ensureCells(1);
}

void Lumagrid::connectView()
{
    PageView *v = m_view;
    connect(v, &PageView::Click, this, &Lumagrid::Click);
    connect(v, &PageView::DblClick, this, [this] {
        if (!logoDoubleClick())
            Q_EMIT DblClick();
    });
    connect(v, &PageView::KeyDown, this, &Lumagrid::KeyDown);
    connect(v, &PageView::KeyPress, this, &Lumagrid::KeyPress);
    connect(v, &PageView::viewKeyUp, this, [this](short code, short shift) {
        pageKey(code);
        Q_EMIT KeyUp(&code, &shift);
    });
    // While a logo is placed the host is not told of the clicks and moves that place it.
    connect(v, &PageView::MouseDown, this, [this](short *button, short *shift, float *x, float *y) {
        if (!logoMouseDown(*x, *y))
            Q_EMIT MouseDown(button, shift, x, y);
    });
    connect(v, &PageView::MouseMove, this, [this](short *button, short *shift, float *x, float *y) {
        if (!logoMouseMove(*x, *y))
            Q_EMIT MouseMove(button, shift, x, y);
    });
    connect(v, &PageView::MouseUp, this, &Lumagrid::MouseUp);
    connect(v, &PageView::Selected, this, &Lumagrid::Selected);
    connect(v, &PageView::ScrollChanged, this, &Lumagrid::ScrollChanged);
    connect(v, &PageView::Scroll, this, &Lumagrid::Scroll);
    connect(v, &PageView::Resize, this, &Lumagrid::Resize);
    connect(v, &PageView::PanChanged, this, &Lumagrid::PanChanged);
    connect(v, &PageView::Pan, this, &Lumagrid::Pan);
    connect(v, &PageView::PaintBefore, this, &Lumagrid::PaintBefore);
    connect(v, &PageView::PaintAfter, this, &Lumagrid::PaintAfter);
    connect(v, &PageView::MouseWheelScroll, this, &Lumagrid::MouseWheelScroll);
    connect(v, &PageView::MouseMovePixel, this, &Lumagrid::MouseMovePixel);
    connect(v, &PageView::BeforeZoomChanged, this, [this](double *zoom) {
        // Smoothing suits reductions and moderate enlargements; big enlargements show the pixels.
        m_view->setAntialiasDisplay(*zoom <= 5.0);
        Q_EMIT BeforeZoomChanged(zoom);
    });
    connect(v, &PageView::BeforeMouseToolChange, this, [this](int *tool, bool *cancel) {
        QCursor cursor = m_view->viewport()->cursor();
        Q_EMIT BeforeMouseToolChange(tool, &cursor, cancel);
    });
    connect(v, &PageView::BeforeMouseToolRender, this, &Lumagrid::BeforeMouseToolRender);
    connect(v, &PageView::SelectChanged, this, &Lumagrid::SelectChanged);
    connect(v, &PageView::BeforeMouseToolDraw, this, [this](int *sx, int *sy, int *ex, int *ey, bool *cancel) {
        // A low-resolution fax page is marked by the control itself: the host is not asked.
        if (!m_doc->LowResFax())
            Q_EMIT BeforeMouseToolDraw(sx, sy, ex, ey, cancel);
    });
    connect(v, &PageView::toolRectangle, this, &Lumagrid::markRectangle);
    connect(&m_doc->engine(), &ImgX::CurrentImageChanged, this, &Lumagrid::CurrentImageChanged);
    // Loading and saving report progress to the host when it asked for it (FireProgressEvent).
    connect(&m_doc->engine(), &ImgX::Progress, this, [this](int percent, const QString &what, bool *cancel) {
        if (FireProgressEvent())
            Q_EMIT Progress(percent, what, cancel);
    });
    connect(m_doc, &LumagridDocument::Changed, this, &Lumagrid::Changed);
}

// ---- layout -------------------------------------------------------------------------------------

void Lumagrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void Lumagrid::layoutChildren()
{
    const int W = std::max(width(), tw(5800));
    const int H = std::max(height(), th(2850));
    // The counter holds three-digit page counts ("200/200") in its font; the toolbar moves right if need be.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_txtPag);
    const int pagW =
        std::max(tw(735), m_txtPag->fontMetrics().horizontalAdvance(u"000/000"_s) + 2 * frame + 6);
    m_txtPag->setGeometry(tw(240), 0, pagW, th(355));
    m_picShowHide->setGeometry(0, 0, tw(240), th(360));
    const int switchW = tw(375);
    m_menu->setVisible(m_buttonsVisible);
    const int menuLeft = std::max(tw(960), tw(240) + pagW - tw(15));
    m_menu->setGeometry(menuLeft, -th(15), W - menuLeft, m_menu->sizeHint().height());
    const int h = std::max(m_menu->y() + m_menu->height(), th(360));
    m_picExt->setVisible(m_thumbsVisible);
    if (m_thumbsVisible) {
        const int extH = std::max(H - h - th(20), th(2400));
        m_picExt->setGeometry(tw(10), h + th(10), tw(2350), extH);
        m_vScroll2->setGeometry(tw(2040), 0, tw(255), extH);
        m_picInt->resize(tw(2055), std::max(m_picInt->height(), extH));
        m_view->setGeometry(m_picExt->width() + tw(100), h + th(10), W - m_picExt->width() - tw(160), extH);
        m_thShowHide->setGeometry(0, 0, switchW, th(300));
        if (m_stripReady)
            stripLayout();
    } else {
        m_view->setGeometry(tw(10), h + th(10), W - tw(20), H - h - th(20));
        m_thShowHide->setGeometry(-(switchW / 2), 0, switchW, th(300));
    }
}

void Lumagrid::setCounter(const QString &text)
{
    m_txtPag->setText(text);
}
QString Lumagrid::counterText() const
{
    return m_txtPag->text();
}

// ---- properties ----------------------------------------------------------------------------------

QString Lumagrid::FileName() const
{
    return m_doc->FileName();
}

bool Lumagrid::setFileName(const QString &name)
{
    if (m_doc->setFileName(name))
        return true;
    m_lastError = ImgXError::make(ImgXErrorCode::InvalidArgument, u"Invalid procedure call or argument"_s);
    return false;
}

int Lumagrid::PagesNumber() const
{
    return m_doc->PagesNumber();
}
int Lumagrid::Page() const
{
    return m_doc->Page();
}
int Lumagrid::lNumPage() const
{
    return m_doc->lNumPage();
}
bool Lumagrid::Saved() const
{
    return m_doc->Saved();
}

void Lumagrid::setThumbsVisible(bool visible)
{
    m_thumbsVisible = visible;
    layoutChildren();
}

void Lumagrid::setWorkType(WorkingType type)
{
    m_workType = type;
    notify(u"WorkType"_s);
    layoutChildren();
}

void Lumagrid::setButtonsVisible(bool visible)
{
    m_buttonsVisible = visible;
    m_menu->setVisible(visible);
    notify(u"ButtonsVisible"_s);
}

void Lumagrid::setAskResSaveAs(bool ask)
{
    m_askResSaveAs = ask;
    notify(u"AskResSaveAs"_s);
}

void Lumagrid::setValue(const QString &name, const QVariant &v)
{
    m_values.insert(name, v);
    notify(name);
}

// ---- document ------------------------------------------------------------------------------------

// The host window's pointer: an hourglass while the control works, the busy arrow while the strip
// fills in behind a window that stays usable.
void Lumagrid::setBusy(bool busy, bool background)
{
    QWidget *host = window();
    if (busy)
        host->setCursor(background ? Qt::BusyCursor : Qt::WaitCursor);
    else
        host->unsetCursor();
}

void Lumagrid::ShowError(const ImgXError &error)
{
    setBusy(false);
    QApplication::beep();
    const QString text = u"Si è verificato il seguente errore:"_s + u"\n\n"_s + error.description +
                         u"\n\n"_s + u"Numero: "_s + QString::number(error.number) + u"\n"_s +
                         u"Sorgente: "_s + error.source;
    Prompt::critical(this, QString(), text);
}

void Lumagrid::ClearEngine()
{
    m_doc->clearEngine();
    m_view->clearPage();
}

bool Lumagrid::OpenSource(const QString &sFileName, bool bShowError)
{
    abandonScan();
    cancelLogo();
    stopBuild();
    m_timer1->stop();
    m_lastError = {};
    m_view->clearPage();
    const LumagridDocument::OpenResult r = m_doc->openSource(sFileName);
    switch (r) {
    case LumagridDocument::OpenResult::Opened: {
        // Each loaded page is handed to the host; a Cancel abandons the whole document.
        if (isSignalConnected(QMetaMethod::fromSignal(&Lumagrid::LoadedImage))) {
            ::ImgX &engine = m_doc->engine();
            for (int i = 0; i < engine.count(); ++i) {
                ImgXImage page = engine.page(i);
                bool cancel = false;
                Q_EMIT LoadedImage(i, &page, &cancel);
                if (cancel) {
                    Pulizia();
                    hideAllCells();
                    stripLayout();
                    setCounter(u"0/0"_s);
                    m_lastError = ImgXError::make(ImgXErrorCode::Cancelled, u"Loading was cancelled"_s);
                    return false;
                }
            }
        }
        setBusy(true);
        m_stripReady = false;
        const bool shown = LoadPage();
        if (m_thumbsVisible && shown) {
            m_thumbsLoading = true;
            m_timer1->start(kThumbDelayMs);
        } else {
            m_stripReady = true;
        }
        setBusy(false);
        // Pages whose directory is damaged were left out: the user hears how many before working on
        // (and perhaps saving) what is left.
        if (const int lost = m_doc->engine().unreadablePages(); shown && lost > 0)
            Prompt::warning(
                this, u"Attenzione"_s,
                lost == 1 ? u"1 pagina del file non è leggibile e non viene mostrata."_s
                          : u"%1 pagine del file non sono leggibili e non vengono mostrate."_s.arg(lost));
        // A page chain that comes back to a page already read: every page before it is whole.
        if (const int pages = m_doc->engine().count(); shown && m_doc->engine().chainLoops())
            Prompt::warning(this, u"Attenzione"_s,
                            u"L'elenco delle pagine del file torna su una pagina già letta: il file viene "
                            u"mostrato fino a quel punto (%1)."_s.arg(
                                pages == 1 ? u"1 pagina"_s : u"%1 pagine"_s.arg(pages)));
        if (shown)
            tellDamage();
        return shown;
    }
    case LumagridDocument::OpenResult::Missing:
        hideAllCells();
        stripLayout();
        setCounter(u"0/0"_s);
        if (bShowError)
            Prompt::critical(this, u"Attenzione"_s, u"File non trovato!"_s);
        return false;
    case LumagridDocument::OpenResult::NotAnImage:
        // Not an image: reset quietly.
        hideAllCells();
        stripLayout();
        setCounter(u"0/0"_s);
        return false;
    case LumagridDocument::OpenResult::Failed:
        m_lastError = m_doc->lastError();
        hideAllCells();
        stripLayout();
        setCounter(u"0/0"_s);
        if (m_lastError.number != ImgXErrorCode::Cancelled) // the host cancelled it: nothing to tell
            ShowError(m_lastError);
        return false;
    }
    return false;
}

// Shows the document's current page as loaded: fitted, smoothed, scrolled to the top.
bool Lumagrid::LoadPage()
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty() || engine.image().isNull()) {
        setCounter(u"0/0"_s);
        return false;
    }
    showCurrentPage();
    if (m_view->page().image().isNull()) {
        // The first page does not decode: nothing to show.
        m_view->clearPage();
        hideAllCells();
        stripLayout();
        setCounter(u"0/0"_s);
        return false;
    }
    setCounter(m_doc->counterText());
    return true;
}

void Lumagrid::showCurrentPage()
{
    const ImgXImage &page = m_doc->engine().image();
    m_view->setPage(page);
    m_view->setScrollLeft(0);
    m_view->setScrollTop(0);
    m_view->ScaleImageToFit();
    m_view->setAntialiasDisplay(true);
    m_view->setScrollTop(0);
}

QVariant Lumagrid::Pulizia()
{
    abandonScan();
    cancelLogo();
    clearCellPictures();
    ClearEngine();
    m_doc->pulizia();
    return {};
}

void Lumagrid::GoToPage(int PageNumber, bool SkipThumb)
{
    if (!m_doc->Scanned() && m_doc->FileName().isEmpty())
        return;
    const bool has = m_doc->goToPage(PageNumber);
    setCounter(m_doc->counterText());
    const int current = m_doc->Page();
    if (!SkipThumb && m_thumbsVisible && !m_thumbsLoading && current >= 0 && current < m_cells.size() &&
        m_cells.at(current)->isVisible()) {
        selectCell(current);
    }
    m_vScroll2->setValue(m_thumbsPerView > 0 ? current / m_thumbsPerView : 0);
    if (!has)
        return;
    showCurrentPage();
    const ImgXImage &page = m_doc->engine().image();
    if (!page.isNull() && !m_view->hasPage()) {
        // A damaged page of an otherwise readable file: say so; the other pages stay usable.
        m_lastError = page.decodeError();
        ShowError(m_lastError);
    } else {
        tellDamage();
    }
}

// The page shown decoded with rows its file does not give: they are white, and the user hears it.
void Lumagrid::tellDamage()
{
    const ImgXError damage = m_doc->engine().image().damage();
    if (!damage.isError() || !m_view->hasPage())
        return;
    Prompt::warning(this, u"Attenzione"_s,
                    u"La pagina %1 è danneggiata: le righe che non si possono leggere sono mostrate in "
                    u"bianco.\n\n%2"_s.arg(m_doc->engine().currentIndex() + 1)
                        .arg(damage.description));
}

// Page keys: Left, Down and Page Down go on; Right, Up and Page Up go back (as the strip's cells).
void Lumagrid::pageKey(short keyCode)
{
    const int current = m_doc->Page();
    switch (keyCode) {
    case 33:
    case 38:
    case 39:
        if (current > 0)
            GoToPage(current - 1, false);
        break;
    case 34:
    case 37:
    case 40:
        if (current < m_doc->PagesNumber())
            GoToPage(current + 1, false);
        break;
    default:
        break;
    }
}

bool Lumagrid::eventFilter(QObject *watched, QEvent *event)
{
    // Focus leaving the page view for another control of the window: the host may validate and keep
    // it (Cancel) when the view causes validation.
    if (watched == m_view && event->type() == QEvent::FocusOut && CausesValidation()) {
        const Qt::FocusReason why = static_cast<QFocusEvent *>(event)->reason();
        if (why == Qt::TabFocusReason || why == Qt::BacktabFocusReason || why == Qt::MouseFocusReason ||
            why == Qt::OtherFocusReason) {
            bool cancel = false;
            Q_EMIT Validate(&cancel);
            if (cancel)
                QTimer::singleShot(0, m_view, [view = m_view] { view->setFocus(Qt::OtherFocusReason); });
        }
    }
    if (watched == m_thShowHide) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_switchPressed = true;
            m_switchUsed = false;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_switchPressed = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Lumagrid::busyMessage()
{
    QApplication::beep();
    Prompt::warning(this, QString(), u"Caricamento immagini in corso. Attendere."_s);
}
