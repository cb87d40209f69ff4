#include "MainLayout.h"

namespace MainLayout {

double acceptProportion(double stored, double current)
{
    return stored >= 0.15 && stored <= 0.85 ? stored : current;
}

Panes layout(int W, int H, double propX, double propY, int statusBarHeight)
{
    Panes p;
    // The small epsilon keeps a proportion taken from a pixel position on that same position.
    const int treeWidth = int(W * propX + 1e-7);
    const int upperHeight = int(H * propY + 1e-7);
    p.fraTv = QRect(0, 0, treeWidth, upperHeight);
    p.fraListFax = QRect(treeWidth + SplitterTwips, 0, W - treeWidth, upperHeight);
    p.splitterY = QRect(SplitterTwips, upperHeight + 20, W - SplitterTwips, SplitterTwips);
    int previewHeight = H - upperHeight - SplitterTwips - statusBarHeight;
    p.fraPreview = QRect(0, p.splitterY.top() + 30, W, qMax(0, previewHeight));
    return p;
}

Inner inner(const Panes &p, int splitterXWidth)
{
    Inner in;
    in.tvNodi = QRect(60, 120, qMax(0, p.fraTv.width() - 120), qMax(0, p.fraTv.height() - 240));
    in.fraRoot = p.fraListFax;
    in.picLogo = QRect(120, 240, qMax(0, p.fraListFax.width() - 240), qMax(0, p.fraListFax.height() - 360));
    in.listFax = QRect(60, 180, qMax(0, p.fraListFax.width() - 180), qMax(0, p.fraListFax.height() - 240));
    in.splitterX = QRect(p.fraListFax.left() - 60, p.fraListFax.top() + 60, splitterXWidth,
                         qMax(0, p.fraListFax.height() - 60));
    in.lumag = QRect(60, 180, qMax(0, p.fraPreview.width() - 120), qMax(0, p.fraPreview.height() - 240));
    return in;
}

Panes moveSplitterX(const Panes &panes, int W, int x, int gap)
{
    Panes p = panes;
    const int rest = W - x;
    p.fraTv = QRect(0, 0, W - rest, panes.fraTv.height());
    p.fraListFax = QRect(x + gap, p.fraTv.top(), rest, p.fraTv.height());
    return p;
}

Panes moveSplitterY(const Panes &panes, int H, int y, int statusBarHeight, int gap)
{
    Panes p = panes;
    p.splitterY.moveTop(y);
    p.fraTv = QRect(panes.fraTv.left(), 0, panes.fraTv.width(), y);
    p.fraListFax = QRect(panes.fraListFax.left(), 0, panes.fraListFax.width(), y);
    p.fraPreview = QRect(panes.fraPreview.left(), y + gap, panes.fraPreview.width(),
                         qMax(0, H - y - gap - 60 - statusBarHeight));
    return p;
}

bool splitterXAllowed(double pos, int W)
{
    return pos >= 0.2 * W + 100 && pos <= 0.6 * W - 100;
}

bool splitterYAllowed(double pos, int H)
{
    return pos >= 0.2 * H + 200 && pos <= 0.7 * H - 200;
}

} // namespace MainLayout
