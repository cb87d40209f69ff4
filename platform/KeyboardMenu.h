#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QAbstractItemView;
class QWidget;

// Opens a widget's context menu from the keyboard, as every Linux desktop does: the Menu key and
// Shift+F10. The X11 platform also turns the Menu key into a context-menu event of its own; that echo
// of a key already handled opens nothing more.
class KeyboardMenu : public QObject
{
public:
    // `open` shows the menu for the widget's current item, at a point of the widget (global
    // coordinates); it is called on the key press.
    using Opener = std::function<void()>;
    static void attach(QWidget *widget, Opener open);
    // Where a keyboard menu opens over a view: at the current item's left, below its middle (global),
    // or the view's top-left corner when it has none.
    static QPoint itemPoint(const QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyboardMenu(QWidget *widget, Opener open);

    Opener m_open;
    bool m_echoDue = false;
};
