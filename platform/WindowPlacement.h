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

} // namespace WindowPlacement
