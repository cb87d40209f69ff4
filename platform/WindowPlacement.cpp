#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace WindowPlacement {

QRect screenArea(QWidget *form)
{
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
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

} // namespace WindowPlacement
