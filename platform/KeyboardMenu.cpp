#include "KeyboardMenu.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>

#include <utility>

void KeyboardMenu::attach(QWidget *widget, Opener open)
{
    if (widget)
        new KeyboardMenu(widget, std::move(open));
}

KeyboardMenu::KeyboardMenu(QWidget *widget, Opener open) : QObject(widget), m_open(std::move(open))
{
    widget->installEventFilter(this);
}

QPoint KeyboardMenu::itemPoint(const QAbstractItemView *view)
{
    const QRect item = view->visualRect(view->currentIndex());
    const QPoint local = item.isValid() ? QPoint(item.left() + 8, item.center().y() + item.height() / 4)
                                        : QPoint(0, 0);
    return view->viewport()->mapToGlobal(local);
}

bool KeyboardMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool menuKey = key->key() == Qt::Key_Menu && mods == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && mods == Qt::ShiftModifier;
        if (!menuKey && !shiftF10) {
            m_echoDue = false;
            return QObject::eventFilter(watched, event);
        }
        if (!key->isAutoRepeat()) {
            m_echoDue = menuKey;
            m_open();
        }
        return true;
    }
    if (event->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Menu) {
        m_echoDue = false;
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        // The platform's own event for the Menu key just handled; any other opens the menu.
        if (!std::exchange(m_echoDue, false))
            m_open();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
