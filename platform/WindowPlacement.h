#pragma once

class QRect;
class QSize;
class QWidget;

// Placing top-level windows on their screen, at the size their layout gives them.
namespace WindowPlacement {

// The geometry of the window's screen (the primary one before it has one); empty without a screen.
QRect screenArea(QWidget *form);
// A saved geometry (frame position, inner size) brought onto the available area (without panels and
// docks) of the screen it is on, the primary one when it is on none: no larger than that area and moved
// inside it, never below `minimum`.
QRect fitOnScreen(const QRect &wanted, const QSize &minimum);
// Each time the window is shown (and once more when the window manager has framed it), the window with
// its frame is brought inside the available area as fitOnScreen does.
void keepOnScreen(QWidget *form);
// A window not yet shown takes the size its layout gives it, unless it was given a size of its own.
void layOutFirst(QWidget *form);
// Lays the window out first, then centres it on its screen.
void centerOnScreen(QWidget *form);
// Centres the window on its screen each time it is shown, at the size it is shown at (its layout may
// change that size up to the moment it shows).
void centerWhenShown(QWidget *form);
// The window keeps the size it is first shown at (minimum = maximum) and offers no maximise: title and
// close button only. Call before it is shown.
void fixSize(QWidget *form);

} // namespace WindowPlacement
