#include "PageFit.h"

#include "Lumagrid.h"

#include <QEvent>
#include <QTimer>

#include <cmath>

PageFit::PageFit(Lumagrid *control) : QObject(control), m_control(control)
{
    control->installEventFilter(this);
}

void PageFit::restart()
{
    m_userZoomed = false;
    m_fitted = -1;
    fit();
}

void PageFit::fit()
{
    m_pending = false;
    if (m_userZoomed || !m_control->isVisible())
        return;
    if (m_fitted >= 0 && std::abs(m_control->Zoom() - m_fitted) > 1e-9) {
        m_userZoomed = true;
        return;
    }
    m_control->ScaleImageToFit();
    m_fitted = m_control->Zoom();
}

bool PageFit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_control && (event->type() == QEvent::Resize || event->type() == QEvent::Show) &&
        !m_pending) {
        // The control's own parts take their new size first.
        m_pending = true;
        QTimer::singleShot(0, this, &PageFit::fit);
    }
    return QObject::eventFilter(watched, event);
}
