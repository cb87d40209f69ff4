#pragma once

#include <QRect>

// Geometry of the main window's panes, in twips of its client area (no widgets here).
// The tree sits upper left, the list upper right, the preview across the width below them.
namespace MainLayout {

inline constexpr int MinWindowTwips = 5000;
inline constexpr int SplitterTwips = 60;

struct Panes
{
    QRect fraTv, fraListFax, splitterY, fraPreview;
};

struct Inner
{
    // tvNodi in fraTv, picLogo in fraRoot, listFax in fraListFax and lumag in fraPreview: frame coordinates.
    QRect tvNodi, fraRoot, picLogo, listFax, splitterX, lumag;
};

// A stored proportion counts only from 0.15 to 0.85; otherwise the one in force stays.
double acceptProportion(double stored, double current);

// Full layout from the proportions (propX: tree width / width, propY: upper panes / height).
// statusBarHeight is 0 when the status bar is hidden.
Panes layout(int scaleWidth, int scaleHeight, double propX, double propY, int statusBarHeight);

// Controls inside and against the frames.
Inner inner(const Panes &panes, int splitterXWidth = SplitterTwips);

// The vertical splitter put at x / the horizontal one at y (upper panes from the top).
Panes moveSplitterX(const Panes &panes, int scaleWidth, int x, int gap = SplitterTwips);
Panes moveSplitterY(const Panes &panes, int scaleHeight, int y, int statusBarHeight, int gap = SplitterTwips);

// Where a dragged splitter may go.
bool splitterXAllowed(double pos, int scaleWidth);
bool splitterYAllowed(double pos, int scaleHeight);

} // namespace MainLayout
