// The marking tools of Lumagrid: highlight, black-out and white-out rectangles.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "PageView.h"

using namespace Qt::StringLiterals;

// Fill colour, opacity and modes of one tool, then the rectangle tool. The settings stay until a
// tool or the logo stamp sets them again.
void Lumagrid::markingTool(const QString &key)
{
    ImgXDrawSettings &draw = m_doc->engine().drawSettings();
    if (key == u"Evidenzia"_s) {
        draw.opacity = 75;
        draw.fillColor = QColor(255, 255, 0);
    } else if (key == u"BlackRec"_s) {
        draw.opacity = 255;
        draw.fillColor = QColor(0, 0, 0);
    } else {
        draw.opacity = 255;
        draw.fillColor = QColor(255, 255, 255);
    }
    draw.renderMode = 6;
    draw.drawMode = 6;
    m_view->setMouseTool(PageView::ToolDraw);
}

// The rectangle the user dragged, in page pixels. The view maps through the page's own
// resolutions, so a low-resolution fax page is marked where the user saw the rectangle, once.
void Lumagrid::markRectangle(const QRect &pixels)
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty())
        return;
    const ImgXDrawSettings &draw = engine.drawSettings();
    if (!engine.fillRect(pixels, draw.fillColor, draw.opacity, QString())) {
        m_lastError = engine.lastError();
        ShowError(m_lastError);
        return;
    }
    m_view->setPage(engine.image());
}
