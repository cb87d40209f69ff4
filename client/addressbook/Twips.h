#pragma once

#include <QWidget>

// Form positions and sizes are given in twips: 1440 to the inch, at the screen's logical DPI.
inline int twipsX(const QWidget *w, int twips)
{
    return qRound(twips * w->logicalDpiX() / 1440.0);
}
inline int twipsY(const QWidget *w, int twips)
{
    return qRound(twips * w->logicalDpiY() / 1440.0);
}
