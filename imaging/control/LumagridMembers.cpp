// Lumagrid's members that hand the call to the page view or the engine document, and the values it
// keeps for the host.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "PageView.h"
#include "PlainToolTip.h"
#include "Prompt.h"

#include <QScrollBar>

using namespace Qt::StringLiterals;

::ImgX *Lumagrid::ImgX() const
{
    return &m_doc->engine();
}

void Lumagrid::setImgX(::ImgX *other)
{
    if (!other || other == &m_doc->engine())
        return;
    m_doc->engine().importDocument(*other);
    m_view->setPage(m_doc->engine().image());
    notify(u"ImgX"_s);
}

ImgXImage Lumagrid::Image() const
{
    return m_doc->engine().image();
}

void Lumagrid::setImage(const ImgXImage &image)
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty())
        engine.append(image);
    else
        engine.replacePage(engine.currentIndex(), image, ImgXNoUndo());
    m_view->setPage(engine.image());
}

QColor Lumagrid::BackColor() const
{
    return m_view->BackColor();
}
void Lumagrid::setBackColor(const QColor &colour)
{
    m_view->setBackColor(colour);
    notify(u"BackColor"_s);
}
double Lumagrid::Zoom() const
{
    return m_view->Zoom();
}
void Lumagrid::setZoom(double zoom)
{
    m_view->setZoom(zoom);
    notify(u"Zoom"_s);
}
int Lumagrid::ZoomVariation() const
{
    return m_view->ZoomVariation();
}
void Lumagrid::setZoomVariation(int percent)
{
    m_view->setZoomVariation(percent);
    notify(u"ZoomVariation"_s);
}
bool Lumagrid::AutoZoom() const
{
    return m_view->AutoZoom();
}
void Lumagrid::setAutoZoom(bool on)
{
    m_view->setAutoZoom(on);
    notify(u"AutoZoom"_s);
}
int Lumagrid::AutoZoomType() const
{
    return m_view->AutoZoomType();
}
void Lumagrid::setAutoZoomType(int type)
{
    m_view->setAutoZoomType(type);
    notify(u"AutoZoomType"_s);
}
bool Lumagrid::Center() const
{
    return m_view->Center();
}
void Lumagrid::setCenter(bool on)
{
    m_view->setCenter(on);
    notify(u"Center"_s);
}
int Lumagrid::ImageBorderThickness() const
{
    return m_view->ImageBorderThickness();
}
void Lumagrid::setImageBorderThickness(int px)
{
    m_view->setImageBorderThickness(px);
    notify(u"ImageBorderThickness"_s);
}
QColor Lumagrid::ImageBorderColor() const
{
    return m_view->ImageBorderColor();
}
void Lumagrid::setImageBorderColor(const QColor &colour)
{
    m_view->setImageBorderColor(colour);
    notify(u"ImageBorderColor"_s);
}
bool Lumagrid::AntialiasDisplay() const
{
    return m_view->AntialiasDisplay();
}
void Lumagrid::setAntialiasDisplay(bool on)
{
    m_view->setAntialiasDisplay(on);
    notify(u"AntialiasDisplay"_s);
}
int Lumagrid::MouseTool() const
{
    return m_view->MouseTool();
}
void Lumagrid::setMouseTool(int tool)
{
    m_view->setMouseTool(tool);
    notify(u"MouseTool"_s);
}
int Lumagrid::ScrollBars() const
{
    return m_view->ScrollBars();
}
void Lumagrid::setScrollBars(int which)
{
    m_view->setScrollBars(which);
    notify(u"ScrollBars"_s);
}
double Lumagrid::ScrollSmallChange() const
{
    return m_view->ScrollSmallChange();
}
void Lumagrid::setScrollSmallChange(double v)
{
    m_view->setScrollSmallChange(v);
    notify(u"ScrollSmallChange"_s);
}
int Lumagrid::ScrollLeft() const
{
    return m_view->ScrollLeft();
}
int Lumagrid::ScrollTop() const
{
    return m_view->ScrollTop();
}
bool Lumagrid::ScrollVisible(Qt::Orientation Orientation) const
{
    return m_view->ScrollVisible(Orientation);
}
int Lumagrid::ScaleWidth() const
{
    return m_view->viewport()->width();
}
int Lumagrid::ScaleHeight() const
{
    return m_view->viewport()->height();
}
bool Lumagrid::IsEmpty() const
{
    return m_doc->engine().isEmpty();
}

QString Lumagrid::Info() const
{
    const ImgXImage &page = m_doc->engine().image();
    if (page.isNull())
        return QString();
    return QString::number(page.width()) + u'x' + QString::number(page.height()) + u", "_s +
           QString::number(page.xResolution()) + u'x' + QString::number(page.yResolution()) + u" dpi, "_s +
           QString::number(page.bitsPerPixel()) + u" bit"_s;
}

int Lumagrid::MemoryUse() const
{
    qint64 bytes = 0;
    for (const ImgXImage &page : m_doc->engine().pages()) {
        if (page.isDecoded())
            bytes += page.image().sizeInBytes();
    }
    return int(std::min<qint64>(bytes / 1024, std::numeric_limits<int>::max()));
}

int Lumagrid::UndoLevels() const
{
    return m_doc->engine().undoLevels();
}
void Lumagrid::setUndoLevels(int levels)
{
    m_doc->engine().setUndoLevels(levels);
    notify(u"UndoLevels"_s);
}
int Lumagrid::Undos() const
{
    return m_doc->engine().undos();
}
int Lumagrid::Redos() const
{
    return m_doc->engine().redos();
}

void Lumagrid::Undo()
{
    undoRedo(true);
}

void Lumagrid::Redo()
{
    undoRedo(false);
}

QString Lumagrid::UndoText(int *UndoItem) const
{
    return m_doc->engine().undoText(UndoItem ? *UndoItem : 0);
}
QString Lumagrid::RedoText(int *UndoItem) const
{
    return m_doc->engine().redoText(UndoItem ? *UndoItem : 0);
}
void Lumagrid::UndoAddLevel(const QString &UndoText)
{
    m_doc->engine().undoAddLevel(UndoText);
}
void Lumagrid::ScaleImageToFit()
{
    m_view->ScaleImageToFit();
}

void Lumagrid::Refresh()
{
    m_view->setPage(m_doc->engine().image());
    m_view->viewport()->repaint();
}

void Lumagrid::Update()
{
    m_view->viewport()->update();
}

bool Lumagrid::SelectionVisible() const
{
    return false;
}
// Our view shows a selection only while it is dragged; a host's move is told as a changed selection.
void Lumagrid::SelectionMove(int Left, int Top, int Width, int Height)
{
    Q_EMIT SelectChanged(Left, Top, Width, Height);
}

int Lumagrid::TIFCompression() const
{
    return int(m_doc->engine().tifCompression());
}
void Lumagrid::setTIFCompression(int c)
{
    if (c < 0 || c > int(TIFCompression::Deflate))
        return;
    m_doc->engine().setTIFCompression(::TIFCompression(c));
    notify(u"TIFCompression"_s);
}
int Lumagrid::JPGQuality() const
{
    return m_doc->engine().exportOptions().jpgQuality;
}
void Lumagrid::setJPGQuality(int q)
{
    m_doc->engine().exportOptions().jpgQuality = std::clamp(q, 1, 100);
    notify(u"JPGQuality"_s);
}
bool Lumagrid::JPGProgressive() const
{
    return m_doc->engine().exportOptions().jpgProgressive;
}
void Lumagrid::setJPGProgressive(bool on)
{
    m_doc->engine().exportOptions().jpgProgressive = on;
    notify(u"JPGProgressive"_s);
}
bool Lumagrid::PNGInterlaced() const
{
    return m_doc->engine().exportOptions().pngInterlaced;
}
void Lumagrid::setPNGInterlaced(bool on)
{
    m_doc->engine().exportOptions().pngInterlaced = on;
    notify(u"PNGInterlaced"_s);
}
bool Lumagrid::BMPUseRLECompression() const
{
    return m_doc->engine().exportOptions().bmpUseRleCompression;
}
void Lumagrid::setBMPUseRLECompression(bool on)
{
    m_doc->engine().exportOptions().bmpUseRleCompression = on;
    notify(u"BMPUseRLECompression"_s);
}

void Lumagrid::setAutoSize(bool)
{
    notify(u"AutoSize"_s);
}

QPixmap Lumagrid::Picture() const
{
    const ImgXImage &page = m_doc->engine().image();
    return page.isNull() ? QPixmap()
                         : QPixmap::fromImage(m_doc->engine().exportPicture(m_doc->engine().currentIndex()));
}

void Lumagrid::setPicture(const QPixmap &picture)
{
    ::ImgX &engine = m_doc->engine();
    if (picture.isNull())
        engine.clear();
    else
        engine.importImage(picture.toImage());
    m_view->setPage(engine.image());
    notify(u"Picture"_s);
}

void Lumagrid::setMouseIcon(const QPixmap &icon)
{
    m_mouseIcon = icon;
    notify(u"MouseIcon"_s);
}

int Lumagrid::MousePointer() const
{
    return m_mousePointer;
}
void Lumagrid::setMousePointer(int pointer)
{
    m_mousePointer = pointer;
    if (pointer == 11)
        m_view->viewport()->setCursor(Qt::WaitCursor);
    else if (pointer == 99 && !m_mouseIcon.isNull())
        m_view->viewport()->setCursor(QCursor(m_mouseIcon));
    else if (pointer == 0)
        m_view->setMouseTool(m_view->MouseTool()); // the tool's own cursor
    notify(u"MousePointer"_s);
}

QString Lumagrid::ToolTipText() const
{
    return m_toolTipText;
}
void Lumagrid::setToolTipText(const QString &text)
{
    m_toolTipText = text;
    m_view->setToolTip(plainToolTip(text));
    notify(u"ToolTipText"_s);
}

void Lumagrid::letFont(const QFont &font)
{
    m_font = font;
    notify(u"Font"_s);
}
void Lumagrid::letPalette(const QPixmap &palette)
{
    m_palette = palette;
    notify(u"Palette"_s);
}
void Lumagrid::setMaskPicture(const QPixmap &picture)
{
    m_maskPicture = picture;
    notify(u"MaskPicture"_s);
}
void Lumagrid::setHyperLink(QObject *o)
{
    m_hyperLink = o;
    notify(u"HyperLink"_s);
}
void Lumagrid::setDataMembers(QObject *o)
{
    m_dataMembers = o;
    notify(u"DataMembers"_s);
}
void Lumagrid::setControls(QObject *o)
{
    m_controls = o;
    notify(u"Controls"_s);
}

void Lumagrid::ShowAboutDialog()
{
    Prompt::information(this, QString(), u"Lumagrid - visualizzatore ed editor di immagini fax"_s);
}
