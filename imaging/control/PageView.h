#pragma once

#include "ImgXImage.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPixmap>

class QRubberBand;

// The page view: one page of the document, zoomed, fitted and centred, with the mouse tools, the
// wheel and the keys. Pages whose two resolutions differ are shown in their true proportions.
// Zoom 1 shows one page column per screen pixel; rows are stretched by xres/yres.
class PageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // Mouse tools, by the values the toolbar sets.
    enum Tool { ToolNone = 0, ToolPan = 2, ToolZoomArea = 3, ToolZoomIn = 5, ToolZoomOut = 6, ToolDraw = 9 };
    // Fit rules.
    enum FitType { FitBest = 1, FitWidth = 2, FitHeight = 3 };

    explicit PageView(QWidget *parent = nullptr);

    void setPage(const ImgXImage &page);
    void clearPage();
    bool hasPage() const { return !m_image.isNull(); }
    const ImgXImage &page() const { return m_page; }

    double Zoom() const { return m_zoom; }
    void setZoom(double zoom);
    bool AutoZoom() const { return m_autoZoom; }
    void setAutoZoom(bool on);
    int AutoZoomType() const { return m_fitType; }
    void setAutoZoomType(int type);
    void ScaleImageToFit();
    int ZoomVariation() const { return m_zoomVariation; }
    void setZoomVariation(int percent) { m_zoomVariation = percent; }

    bool Center() const { return m_center; }
    void setCenter(bool on);
    QColor BackColor() const { return m_backColor; }
    void setBackColor(const QColor &c);
    int ImageBorderThickness() const { return m_border; }
    void setImageBorderThickness(int px);
    QColor ImageBorderColor() const { return m_borderColor; }
    void setImageBorderColor(const QColor &c);
    bool AntialiasDisplay() const { return m_smooth; }
    void setAntialiasDisplay(bool on);

    int MouseTool() const { return m_tool; }
    void setMouseTool(int tool);

    int ScrollBars() const { return m_scrollBars; }
    void setScrollBars(int which); // 0 none, 1 horizontal, 2 vertical, 3 both
    int ScrollLeft() const;
    int ScrollTop() const;
    void setScrollLeft(int v);
    void setScrollTop(int v);
    double ScrollSmallChange() const { return m_smallChange; }
    void setScrollSmallChange(double v);
    bool ScrollVisible(Qt::Orientation o) const;

    // Where the page is drawn, in viewport pixels.
    QRectF pageRect() const;
    // Viewport point to page pixel (may lie outside the page).
    QPointF viewportToPixel(QPointF p) const;

    // A picture floating over the view at pos (viewport pixels), with a red frame 4 pixels out when
    // framed: the logo being placed, or its preview. The page itself is not changed.
    void setOverlay(const QImage &picture, QPoint pos, bool framed);
    void moveOverlay(QPoint pos);
    void clearOverlay();
    bool hasOverlay() const { return !m_overlay.isNull(); }
    QSize overlaySize() const { return m_overlay.size(); }
    QPoint overlayPos() const { return m_overlayPos; }
    bool overlayFramed() const { return m_overlayFramed; }

    // The pixels as drawn (for the thumbnails and tests): the page at its true proportions.
    static QSize shownSize(const ImgXImage &page, double zoom);

Q_SIGNALS:
    void Click();
    void DblClick();
    void KeyDown(short *KeyCode, short *Shift);
    void KeyPress(short *KeyAscii);
    void viewKeyUp(short KeyCode, short Shift);
    void MouseDown(short *Button, short *Shift, float *X, float *Y);
    void MouseMove(short *Button, short *Shift, float *X, float *Y);
    void MouseUp(short *Button, short *Shift, float *X, float *Y);
    void Selected(int Left, int Top, int Width, int Height);
    // The rectangle being dragged covers other page pixels than at the last move.
    void SelectChanged(int Left, int Top, int Width, int Height);
    void ScrollChanged();
    void Scroll();
    void Resize();
    void PanChanged();
    void Pan();
    void PaintBefore();
    void PaintAfter();
    void MouseWheelScroll(int ScrollValue, int Keys);
    void MouseMovePixel(int Button, int Shift, int PixelX, int PixelY);
    void BeforeZoomChanged(double *Zoom);
    void BeforeMouseToolChange(int *NewMouseTool, bool *Cancel);
    void BeforeMouseToolRender(int *StartPointX, int *StartPointY, int *EndPointX, int *EndPointY,
                               bool *Cancel);
    void BeforeMouseToolDraw(int *StartPointX, int *StartPointY, int *EndPointX, int *EndPointY,
                             bool *Cancel);
    // The draw tool marked a rectangle of page pixels (after BeforeMouseToolDraw, unless cancelled).
    void toolRectangle(const QRect &pixels);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    QSizeF contentSize() const;
    void updateScrollRanges();
    void applyZoom(double zoom, QPointF anchorViewport);
    void invalidateCache();
    void updateCursor();

    ImgXImage m_page;
    QImage m_image;
    ImgXPageMapping m_mapping;
    double m_zoom = 1.0;
    bool m_autoZoom = false;
    int m_fitType = FitBest;
    int m_zoomVariation = 10;
    bool m_center = true;
    QColor m_backColor;
    int m_border = 0;
    QColor m_borderColor = Qt::black;
    bool m_smooth = true;
    int m_tool = ToolNone;
    int m_scrollBars = 3;
    double m_smallChange = 1.0;

    int m_wheelRest = 0; // wheel angle not yet a whole line
    QImage m_overlay;
    QPoint m_overlayPos;
    bool m_overlayFramed = false;

    QPixmap m_cache;
    double m_cacheZoom = 0;
    bool m_cacheSmooth = false;

    QPoint m_pressPos;
    QPoint m_panStart;
    bool m_dragging = false;
    QRubberBand *m_band = nullptr;
    QRect m_lastSelection; // page pixels of the band at its last move
};

// Windows key codes and shift mask for a Qt key event, as the control's key events carry them.
namespace KeyCodes {
short fromQt(int qtKey);
short shiftMask(Qt::KeyboardModifiers m);
short buttonMask(Qt::MouseButtons b);
} // namespace KeyCodes
