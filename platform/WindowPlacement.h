#pragma once

class QRect;
class QWidget;

// Placing top-level windows on their screen, at the size their layout gives them.
namespace WindowPlacement {

// The geometry of the window's screen (the primary one before it has one); empty without a screen.
QRect screenArea(QWidget *form);
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
