// Logo stamping in Lumagrid: the logo dialog, the floating logo that the user drags into place,
// and the stamp into the page.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "PageView.h"
#include "Prompt.h"
#include "frmImage.h"

#include <cmath>

using namespace Qt::StringLiterals;

void Lumagrid::addLogo()
{
    frmImage dialog(this);
    Prompt::exec(&dialog);
}

void Lumagrid::logoPreview(const QImage &logo, QPoint pagePixel, bool useAlpha)
{
    if (m_placingLogo)
        return;
    if (logo.isNull() || !m_view->hasPage()) {
        m_view->clearOverlay();
        return;
    }
    const QRectF page = m_view->pageRect();
    const QPoint at =
        (page.topLeft() + m_view->page().mapping().pixelToView(QPointF(pagePixel), Zoom())).toPoint();
    m_view->setOverlay(viewLogo(logo, useAlpha), at, false);
}

// The logo as it shows on the view: one logo pixel per page column, square.
QImage Lumagrid::viewLogo(const QImage &logo, bool useAlpha) const
{
    const double z = m_view->Zoom();
    const QSize size(std::max(1, int(std::lround(logo.width() * z))),
                     std::max(1, int(std::lround(logo.height() * z))));
    QImage shown = logo.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!useAlpha && shown.hasAlphaChannel())
        shown = shown.convertToFormat(QImage::Format_RGB32);
    return shown;
}

void Lumagrid::startPlacingLogo(const QImage &logo, int opacity, bool useAlpha)
{
    if (!m_view->hasPage())
        return;
    m_doc->engine().drawSettings().opacity = opacity;
    m_logoStamp = logo;
    m_logoAlpha = useAlpha;
    m_placingLogo = true;
    m_draggingLogo = false;
    m_savedMouseTool = m_view->MouseTool();
    m_view->setMouseTool(PageView::ToolNone);
    // The logo floats where the last one was left; the first time at the top-left corner of the
    // page part in sight.
    if (!m_logoPlaced) {
        const QPoint corner = m_view->pageRect().topLeft().toPoint();
        m_logoPos = QPoint(std::max(0, corner.x()), std::max(0, corner.y()));
        m_logoPlaced = true;
    }
    m_view->setOverlay(viewLogo(logo, useAlpha), m_logoPos, true);
}

// Another document ends the placing: nothing is stamped.
void Lumagrid::cancelLogo()
{
    if (!m_placingLogo)
        return;
    m_placingLogo = false;
    m_draggingLogo = false;
    m_logoStamp = QImage();
    m_view->clearOverlay();
    m_view->setMouseTool(m_savedMouseTool);
}

bool Lumagrid::logoMouseDown(float x, float y)
{
    if (!m_placingLogo)
        return false;
    const QRect r(m_logoPos, m_view->overlaySize());
    if (!m_draggingLogo && x > r.left() && x < r.left() + r.width() && y > r.top() &&
        y < r.top() + r.height()) {
        m_grab = QPoint(int(std::nearbyint(x - m_logoPos.x())), int(std::nearbyint(y - m_logoPos.y())));
        m_draggingLogo = true;
    }
    return true;
}

bool Lumagrid::logoMouseMove(float x, float y)
{
    if (!m_draggingLogo)
        return false;
    // Follows the pointer with or without a button held, until the double-click.
    m_logoPos = QPoint(int(std::nearbyint(x - m_grab.x())), int(std::nearbyint(y - m_grab.y())));
    m_view->moveOverlay(m_logoPos);
    return true;
}

bool Lumagrid::logoDoubleClick()
{
    if (!m_placingLogo)
        return false;
    m_placingLogo = false;
    m_draggingLogo = false;
    m_view->clearOverlay();
    m_view->setMouseTool(m_savedMouseTool);
    // The stamp point in page pixels of the square-pixelled page.
    const QPointF offset = QPointF(m_logoPos) - m_view->pageRect().topLeft();
    const double z = m_view->Zoom();
    const QPoint at(int(std::floor(offset.x() / z)), int(std::floor(offset.y() / z)));
    stampLogo(m_logoStamp, at, m_doc->engine().drawSettings().opacity, m_logoAlpha);
    m_logoStamp = QImage();
    return true;
}

// The page is made square-pixelled first (its rows follow its columns' resolution), so the logo
// keeps its proportions; the whole stamp is one undo level.
void Lumagrid::stampLogo(const QImage &logo, QPoint pagePixel, int opacity, bool useAlpha)
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty() || logo.isNull())
        return;
    m_doc->engine().drawSettings().opacity = opacity;
    ::ImgX::Step step(engine);
    engine.undoAddLevel(u"Insert Logo"_s);
    const ImgXImage &page = engine.image();
    bool ok = true;
    if (page.xResolution() != page.yResolution())
        ok = engine.changeResolution(page.xResolution(), page.xResolution(), ImgXNoUndo());
    if (ok)
        ok = engine.drawImage(logo, pagePixel, opacity, useAlpha, ImgXNoUndo());
    m_view->setPage(engine.image());
    if (!ok) {
        m_lastError = engine.lastError();
        ShowError(m_lastError);
    }
}
