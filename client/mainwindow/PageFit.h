#pragma once

#include <QObject>

class Lumagrid;

// Keeps the page of an image control fitted to the control: fits it when a page opens and again
// whenever the control changes size (also its first layout when shown), until the user zooms. The
// user's zoom is seen as the control's zoom differing from the one last fitted.
class PageFit : public QObject
{
    Q_OBJECT
public:
    explicit PageFit(Lumagrid *control);

    // A new page is on show: fit it and follow the size again.
    void restart();
    bool userZoomed() const { return m_userZoomed; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fit();

    Lumagrid *m_control;
    double m_fitted = -1; // zoom set by the last fit; < 0: none yet
    bool m_userZoomed = false;
    bool m_pending = false;
};
