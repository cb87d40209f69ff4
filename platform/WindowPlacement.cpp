#include "WindowPlacement.h"

#include "Prompt.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace WindowPlacement {

namespace {

// What a window does as it shows (the size is its layout's by then; the display maps it after).
class ShowPlacement : public QObject
{
public:
    explicit ShowPlacement(QWidget *form) : QObject(form) { form->installEventFilter(this); }
    static ShowPlacement *of(QWidget *form)
    {
        static constexpr char key[] = "quorinShowPlacement";
        if (auto *placement = static_cast<ShowPlacement *>(form->property(key).value<QObject *>()))
            return placement;
        auto *placement = new ShowPlacement(form);
        form->setProperty(key, QVariant::fromValue<QObject *>(placement));
        return placement;
    }
    bool centre = false;
    bool fixed = false;
    bool fit = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto *form = static_cast<QWidget *>(watched);
        // A window manager frames the window only once it is mapped: with its frame known, the window
        // is centred again, once.
        if (m_recentre && event->type() == QEvent::Move && form->frameGeometry() != form->geometry()) {
            m_recentre = false;
            centerOnScreen(form);
            return false;
        }
        if (m_refit && event->type() == QEvent::Move && form->frameGeometry() != form->geometry()) {
            m_refit = false;
            fitFrame(form);
            return false;
        }
        if (event->type() != QEvent::Show || event->spontaneous())
            return false;
        m_recentre = centre && form->frameGeometry() == form->geometry();
        // Framing follows the mapping at once; a move long after it is the user's and stays.
        if (m_recentre)
            QTimer::singleShot(2000, this, [this] { m_recentre = false; });
        if (centre)
            centerOnScreen(form);
        if (fit) {
            m_refit = form->frameGeometry() == form->geometry();
            if (m_refit)
                QTimer::singleShot(2000, this, [this] { m_refit = false; });
            fitFrame(form);
        }
        if (fixed) {
            // Once its own show has filled it in: the size it then needs is the one it keeps.
            QTimer::singleShot(0, form, [form] {
                if (QLayout *layout = form->layout())
                    layout->activate();
                form->setFixedSize(form->size().expandedTo(form->minimumSizeHint()));
            });
        }
        return false;
    }

private:
    // The frame is part of what must fit: the window's inner size gives way for it.
    static void fitFrame(QWidget *form)
    {
        if (form->isMaximized() || form->isFullScreen())
            return;
        const QRect frame = form->frameGeometry();
        const QSize extra = frame.size() - form->size();
        const QRect fitted = fitOnScreen(frame, form->minimumSize() + extra);
        if (fitted == frame)
            return;
        form->move(fitted.topLeft());
        form->resize(fitted.size() - extra);
    }

    bool m_recentre = false;
    bool m_refit = false;
};

} // namespace

QRect screenArea(QWidget *form)
{
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

QRect fitOnScreen(const QRect &wanted, const QSize &minimum)
{
    const QScreen *screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return wanted;
    const QRect area = screen->availableGeometry();
    const QSize size = wanted.size().boundedTo(area.size()).expandedTo(minimum);
    const int x = std::max(area.left(), std::min(wanted.x(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(wanted.y(), area.bottom() + 1 - size.height()));
    return QRect(QPoint(x, y), size);
}

void layOutFirst(QWidget *form)
{
    if (form->isVisible())
        return;
    if (QLayout *layout = form->layout())
        layout->activate();
    if (!form->testAttribute(Qt::WA_Resized))
        form->adjustSize();
}

void centerOnScreen(QWidget *form)
{
    if (!form)
        return;
    const QRect area = screenArea(form);
    if (area.isEmpty())
        return;
    layOutFirst(form);
    const QSize size = form->frameGeometry().size();
    form->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void centerWhenShown(QWidget *form)
{
    if (form)
        ShowPlacement::of(form)->centre = true;
}

void keepOnScreen(QWidget *form)
{
    if (form)
        ShowPlacement::of(form)->fit = true;
}

void fixSize(QWidget *form)
{
    if (!form)
        return;
    Prompt::fixedWindowHints(form);
    ShowPlacement::of(form)->fixed = true;
}

} // namespace WindowPlacement
