#include "PageView.h"

#include "DisplayScaler.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMinZoom = 0.01;
constexpr double kMaxZoom = 64.0;
// Above this many pixels the zoomed page is not kept whole; only the exposed part is drawn.
constexpr qint64 kMaxCachePixels = 4'000'000;
} // namespace

short KeyCodes::fromQt(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return short(key);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return short(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return short(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    default:
        return short(key & 0x7fff);
    }
}

short KeyCodes::shiftMask(Qt::KeyboardModifiers m)
{
    return short((m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
                 (m & Qt::AltModifier ? 4 : 0));
}

short KeyCodes::buttonMask(Qt::MouseButtons b)
{
    return short((b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
                 (b & Qt::MiddleButton ? 4 : 0));
}

PageView::PageView(QWidget *parent) : QAbstractScrollArea(parent)
{
    m_backColor = palette().color(QPalette::Dark);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves without a button count too (pixel read-out, a logo following the pointer).
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, &PageView::ScrollChanged);
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, &PageView::ScrollChanged);
}

QSize PageView::shownSize(const ImgXImage &page, double zoom)
{
    if (page.isNull())
        return {};
    const QSizeF s = page.mapping().viewSize(zoom);
    return QSize(std::max(1, int(std::lround(s.width()))), std::max(1, int(std::lround(s.height()))));
}

void PageView::setPage(const ImgXImage &page)
{
    m_page = page;
    m_image = page.isNull() ? QImage() : page.image();
    m_mapping = m_image.isNull() ? ImgXPageMapping() : page.mapping();
    invalidateCache();
    updateScrollRanges();
    viewport()->update();
}

void PageView::setOverlay(const QImage &picture, QPoint pos, bool framed)
{
    m_overlay = picture;
    m_overlayPos = pos;
    m_overlayFramed = framed;
    viewport()->update();
}

void PageView::moveOverlay(QPoint pos)
{
    m_overlayPos = pos;
    viewport()->update();
}

void PageView::clearOverlay()
{
    if (m_overlay.isNull())
        return;
    m_overlay = QImage();
    viewport()->update();
}

void PageView::clearPage()
{
    setPage(ImgXImage());
}

void PageView::invalidateCache()
{
    m_cache = QPixmap();
    m_cacheZoom = 0;
}

QSizeF PageView::contentSize() const
{
    if (m_image.isNull())
        return {};
    return shownSize(m_page, m_zoom) + QSizeF(2.0 * m_border, 2.0 * m_border);
}

void PageView::updateScrollRanges()
{
    const QSizeF c = contentSize();
    const QSize v = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(c.width())) - v.width()));
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(c.height())) - v.height()));
    horizontalScrollBar()->setPageStep(v.width());
    verticalScrollBar()->setPageStep(v.height());
    const int step = std::max(1, int(std::lround(m_smallChange * 20)));
    horizontalScrollBar()->setSingleStep(step);
    verticalScrollBar()->setSingleStep(step);
}

QRectF PageView::pageRect() const
{
    if (m_image.isNull())
        return {};
    const QSize s = shownSize(m_page, m_zoom);
    const QSize v = viewport()->size();
    const double w = s.width() + 2.0 * m_border, h = s.height() + 2.0 * m_border;
    double x = -horizontalScrollBar()->value(), y = -verticalScrollBar()->value();
    if (m_center && w < v.width())
        x = (v.width() - w) / 2.0;
    if (m_center && h < v.height())
        y = (v.height() - h) / 2.0;
    return QRectF(std::floor(x) + m_border, std::floor(y) + m_border, s.width(), s.height());
}

QPointF PageView::viewportToPixel(QPointF p) const
{
    const QRectF r = pageRect();
    return m_mapping.viewToPixel(p - r.topLeft(), m_zoom);
}

void PageView::paintEvent(QPaintEvent *event)
{
    Q_EMIT PaintBefore();
    QPainter p(viewport());
    p.fillRect(event->rect(), m_backColor);
    if (!m_image.isNull()) {
        const QRectF r = pageRect();
        if (m_border > 0) {
            p.fillRect(r.adjusted(-m_border, -m_border, m_border, m_border), m_borderColor);
        }
        // Scaled at the screen's own pixel density, so a fax page stays sharp on a high-density screen.
        const qreal dpr = viewport()->devicePixelRatioF();
        const QSize s = (r.size() * dpr).toSize();
        if (qint64(s.width()) * s.height() <= kMaxCachePixels) {
            if (m_cache.isNull() || m_cacheZoom != m_zoom || m_cacheSmooth != m_smooth ||
                m_cache.size() != s) {
                m_cache = QPixmap::fromImage(DisplayScaler::scaled(m_image, s, m_smooth));
                m_cache.setDevicePixelRatio(dpr);
                m_cacheZoom = m_zoom;
                m_cacheSmooth = m_smooth;
            }
            p.drawPixmap(r.topLeft(), m_cache);
        } else {
            // Very large zoom: draw just the exposed part from the page pixels.
            const QRectF exposed = QRectF(event->rect()).intersected(r);
            const QRect src = m_mapping.viewToPixel(exposed.translated(-r.topLeft()), m_zoom);
            if (!src.isEmpty()) {
                const QRectF dst = m_mapping.pixelToView(QRectF(src), m_zoom).translated(r.topLeft());
                p.setRenderHint(QPainter::SmoothPixmapTransform, m_smooth);
                p.drawImage(dst, m_image, QRectF(src));
            }
        }
    }
    if (!m_overlay.isNull()) {
        p.drawImage(m_overlayPos, m_overlay);
        if (m_overlayFramed) {
            p.setPen(QPen(Qt::red, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(m_overlayPos - QPoint(4, 4), m_overlay.size() + QSize(8, 8)));
        }
    }
    p.end();
    Q_EMIT PaintAfter();
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_autoZoom && !m_image.isNull())
        ScaleImageToFit();
    updateScrollRanges();
    Q_EMIT Resize();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
    Q_EMIT Scroll();
}

void PageView::setZoom(double zoom)
{
    applyZoom(zoom, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
}

void PageView::applyZoom(double zoom, QPointF anchor)
{
    if (!std::isfinite(zoom) || zoom <= 0)
        return;
    double z = std::clamp(zoom, kMinZoom, kMaxZoom);
    Q_EMIT BeforeZoomChanged(&z);
    if (!std::isfinite(z) || z <= 0)
        return;
    z = std::clamp(z, kMinZoom, kMaxZoom);
    // Keep the page point under the anchor where it is.
    const QPointF pixel = m_image.isNull() ? QPointF() : viewportToPixel(anchor);
    m_zoom = z;
    invalidateCache();
    updateScrollRanges();
    if (!m_image.isNull()) {
        const QPointF view = m_mapping.pixelToView(pixel, m_zoom) + QPointF(m_border, m_border);
        horizontalScrollBar()->setValue(int(std::lround(view.x() - anchor.x())));
        verticalScrollBar()->setValue(int(std::lround(view.y() - anchor.y())));
    }
    viewport()->update();
}

void PageView::setAutoZoom(bool on)
{
    m_autoZoom = on;
    if (on && !m_image.isNull())
        ScaleImageToFit();
}

void PageView::setAutoZoomType(int type)
{
    if (type >= FitBest && type <= FitHeight)
        m_fitType = type;
}

void PageView::ScaleImageToFit()
{
    if (m_image.isNull())
        return;
    const QSizeF page = m_mapping.viewSize(1.0);
    if (page.isEmpty())
        return;
    // The room the page may take: the viewport without scroll bars, less the border.
    const QSize full = maximumViewportSize();
    const int sbw = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const double bw = 2.0 * m_border;
    double w = full.width() - bw, h = full.height() - bw;
    double z = 1.0;
    switch (m_fitType) {
    case FitWidth:
        z = w / page.width();
        if (page.height() * z + bw > full.height() && (m_scrollBars & 2))
            z = (w - sbw) / page.width();
        break;
    case FitHeight:
        z = h / page.height();
        if (page.width() * z + bw > full.width() && (m_scrollBars & 1))
            z = (h - sbw) / page.height();
        break;
    default:
        z = std::min(w / page.width(), h / page.height());
        break;
    }
    if (z > 0) {
        applyZoom(z, QPointF());
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
}

void PageView::setCenter(bool on)
{
    m_center = on;
    viewport()->update();
}

void PageView::setBackColor(const QColor &c)
{
    m_backColor = c;
    viewport()->update();
}

void PageView::setImageBorderThickness(int px)
{
    m_border = std::clamp(px, 0, 1000);
    updateScrollRanges();
    viewport()->update();
}

void PageView::setImageBorderColor(const QColor &c)
{
    m_borderColor = c;
    viewport()->update();
}

void PageView::setAntialiasDisplay(bool on)
{
    if (m_smooth == on)
        return;
    m_smooth = on;
    viewport()->update();
}

void PageView::setMouseTool(int tool)
{
    int t = tool;
    bool cancel = false;
    Q_EMIT BeforeMouseToolChange(&t, &cancel);
    if (cancel)
        return;
    m_tool = t;
    updateCursor();
}

void PageView::updateCursor()
{
    switch (m_tool) {
    case ToolPan:
        viewport()->setCursor(Qt::OpenHandCursor);
        break;
    case ToolZoomArea:
    case ToolDraw:
        viewport()->setCursor(Qt::CrossCursor);
        break;
    case ToolZoomIn:
    case ToolZoomOut:
        viewport()->setCursor(Qt::PointingHandCursor);
        break;
    default:
        viewport()->unsetCursor();
        break;
    }
}

void PageView::setScrollBars(int which)
{
    m_scrollBars = which & 3;
    setHorizontalScrollBarPolicy(m_scrollBars & 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(m_scrollBars & 2 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

int PageView::ScrollLeft() const
{
    return horizontalScrollBar()->value();
}
int PageView::ScrollTop() const
{
    return verticalScrollBar()->value();
}
void PageView::setScrollLeft(int v)
{
    horizontalScrollBar()->setValue(v);
}
void PageView::setScrollTop(int v)
{
    verticalScrollBar()->setValue(v);
}

void PageView::setScrollSmallChange(double v)
{
    if (v > 0 && std::isfinite(v)) {
        m_smallChange = v;
        updateScrollRanges();
    }
}

bool PageView::ScrollVisible(Qt::Orientation o) const
{
    const QScrollBar *bar = o == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    return bar->maximum() > 0 && (m_scrollBars & (o == Qt::Horizontal ? 1 : 2));
}

void PageView::mousePressEvent(QMouseEvent *event)
{
    short button = KeyCodes::buttonMask(event->button());
    short shift = KeyCodes::shiftMask(event->modifiers());
    float x = float(event->position().x()), y = float(event->position().y());
    Q_EMIT MouseDown(&button, &shift, &x, &y);
    m_pressPos = event->position().toPoint();
    m_dragging = event->button() == Qt::LeftButton;
    if (!m_dragging || m_image.isNull())
        return;
    if (m_tool == ToolPan) {
        m_panStart = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        viewport()->setCursor(Qt::ClosedHandCursor);
    } else if (m_tool == ToolZoomArea || m_tool == ToolDraw) {
        if (!m_band)
            m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
        m_band->setGeometry(QRect(m_pressPos, QSize()));
        m_band->show();
        m_lastSelection = QRect();
    }
}

void PageView::mouseMoveEvent(QMouseEvent *event)
{
    short button = KeyCodes::buttonMask(event->buttons());
    short shift = KeyCodes::shiftMask(event->modifiers());
    float x = float(event->position().x()), y = float(event->position().y());
    Q_EMIT MouseMove(&button, &shift, &x, &y);
    if (!m_image.isNull()) {
        const QPointF px = viewportToPixel(event->position());
        Q_EMIT MouseMovePixel(button, shift, int(std::floor(px.x())), int(std::floor(px.y())));
    }
    if (!m_dragging)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_tool == ToolPan) {
        const QPoint d = pos - m_pressPos;
        horizontalScrollBar()->setValue(m_panStart.x() - d.x());
        verticalScrollBar()->setValue(m_panStart.y() - d.y());
        Q_EMIT Pan();
    } else if (m_band && m_band->isVisible()) {
        const QRect band = QRect(m_pressPos, pos).normalized();
        const QRect px = m_mapping.viewToPixel(QRectF(band).translated(-pageRect().topLeft()), m_zoom);
        int sx = px.left(), sy = px.top(), ex = px.right() + 1, ey = px.bottom() + 1;
        bool cancel = false;
        Q_EMIT BeforeMouseToolRender(&sx, &sy, &ex, &ey, &cancel);
        if (cancel) {
            m_band->hide();
            m_dragging = false;
            return;
        }
        m_band->setGeometry(band);
        if (px != m_lastSelection && !px.isEmpty()) {
            m_lastSelection = px;
            Q_EMIT SelectChanged(px.x(), px.y(), px.width(), px.height());
        }
    }
}

void PageView::mouseReleaseEvent(QMouseEvent *event)
{
    short button = KeyCodes::buttonMask(event->button());
    short shift = KeyCodes::shiftMask(event->modifiers());
    float x = float(event->position().x()), y = float(event->position().y());
    const bool wasDragging = m_dragging;
    m_dragging = false;
    Q_EMIT MouseUp(&button, &shift, &x, &y);
    if (event->button() != Qt::LeftButton || m_image.isNull() || !wasDragging)
        return;
    const QPoint pos = event->position().toPoint();
    const bool moved = (pos - m_pressPos).manhattanLength() > 3;
    const double factor = 1.0 + std::max(1, m_zoomVariation) / 100.0;
    switch (m_tool) {
    case ToolPan:
        updateCursor();
        Q_EMIT PanChanged();
        break;
    case ToolZoomIn:
        applyZoom(m_zoom * factor, event->position());
        break;
    case ToolZoomOut:
        applyZoom(m_zoom / factor, event->position());
        break;
    case ToolZoomArea:
    case ToolDraw: {
        const QRect area = m_band ? m_band->geometry() : QRect();
        if (m_band)
            m_band->hide();
        if (!moved || area.width() < 4 || area.height() < 4)
            break;
        const QRect px = m_mapping.viewToPixel(QRectF(area).translated(-pageRect().topLeft()), m_zoom);
        if (m_tool == ToolDraw) {
            if (px.isEmpty())
                break;
            Q_EMIT Selected(px.x(), px.y(), px.width(), px.height());
            // Points in page pixels, the end one past the last pixel marked; the host may move them.
            int sx = px.left(), sy = px.top(), ex = px.right() + 1, ey = px.bottom() + 1;
            bool cancel = false;
            Q_EMIT BeforeMouseToolDraw(&sx, &sy, &ex, &ey, &cancel);
            if (!cancel) {
                const QRect marked = QRect(QPoint(std::min(sx, ex), std::min(sy, ey)),
                                           QPoint(std::max(sx, ex) - 1, std::max(sy, ey) - 1));
                if (marked.isValid())
                    Q_EMIT toolRectangle(marked);
            }
            break;
        }
        // Zoom so the dragged area fills the view, its centre in the middle.
        const QPointF centrePx = viewportToPixel(QRectF(area).center());
        const QSize v = viewport()->size();
        const double z =
            m_zoom * std::min(double(v.width()) / area.width(), double(v.height()) / area.height());
        applyZoom(z, QPointF());
        const QPointF view = m_mapping.pixelToView(centrePx, m_zoom) + QPointF(m_border, m_border);
        horizontalScrollBar()->setValue(int(std::lround(view.x() - v.width() / 2.0)));
        verticalScrollBar()->setValue(int(std::lround(view.y() - v.height() / 2.0)));
        break;
    }
    default:
        break;
    }
    if (!moved)
        Q_EMIT Click();
}

void PageView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT DblClick();
}

void PageView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    // Three lines per wheel notch, as the host knows the wheel; fine-grained wheels add up.
    m_wheelRest += delta;
    const int lines = m_wheelRest * 3 / 120;
    m_wheelRest -= lines * 40;
    Q_EMIT MouseWheelScroll(lines, int(KeyCodes::shiftMask(event->modifiers())));
    if (m_tool >= ToolZoomArea && m_tool <= ToolZoomOut) {
        // With a zoom tool the wheel zooms: 10 % per notch, about the pointer.
        if (lines != 0 && !m_image.isNull()) {
            const double z = m_zoom * (lines / 3.0 * 0.1 + 1.0);
            applyZoom(z < kMinZoom ? kMinZoom : std::min(z, 1000.0), event->position());
        }
        event->accept();
        return;
    }
    if ((event->modifiers() & Qt::ControlModifier) && delta != 0 && !m_image.isNull()) {
        // Control + wheel zooms about the pointer.
        const double factor = 1.0 + std::max(1, m_zoomVariation) / 100.0;
        applyZoom(delta > 0 ? m_zoom * factor : m_zoom / factor, event->position());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void PageView::keyPressEvent(QKeyEvent *event)
{
    short code = KeyCodes::fromQt(event->key());
    short shift = KeyCodes::shiftMask(event->modifiers());
    Q_EMIT KeyDown(&code, &shift);
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() < 256) {
        short ascii = short(text.at(0).unicode());
        Q_EMIT KeyPress(&ascii);
    }
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Page keys turn pages (on release); they do not scroll.
        event->accept();
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void PageView::keyReleaseEvent(QKeyEvent *event)
{
    Q_EMIT viewKeyUp(KeyCodes::fromQt(event->key()), KeyCodes::shiftMask(event->modifiers()));
    event->accept();
}
