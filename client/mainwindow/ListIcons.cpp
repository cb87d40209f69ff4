#include "ListIcons.h"

#include "ProgramInfo.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace ListIcons {

namespace {

// A sheet of paper (the fax), tinted by who it belongs to; "pr" adds a printer corner.
QPixmap faxPixmap(const QColor &tint, bool printed, bool forwarded, bool group)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 9, 12));
    p.setPen(tint);
    for (int y = 4; y <= 10; y += 2)
        p.drawLine(5, y, 11, y);
    if (group) {
        p.setBrush(tint);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(0, 9, 5, 5));
        p.drawEllipse(QRectF(3, 10, 5, 5));
    } else if (!forwarded) {
        p.setBrush(tint);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(0.5, 9.5, 6, 6));
    }
    if (forwarded) {
        QPainterPath arrow;
        arrow.moveTo(0, 12);
        arrow.lineTo(5, 12);
        arrow.lineTo(5, 9.5);
        arrow.lineTo(8.5, 13);
        arrow.lineTo(5, 16);
        arrow.lineTo(5, 14);
        arrow.lineTo(0, 14);
        arrow.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(tint);
        p.drawPath(arrow);
    }
    if (printed) {
        p.setPen(QColor(40, 40, 40));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(10.5, 10.5, 5, 4));
    }
    return pm;
}

QPixmap treePixmap(int index)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const auto folder = [&](const QColor &c) {
        p.setPen(c.darker(150));
        p.setBrush(c);
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
    };
    switch (index) {
    case 1: // user
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 90, 170));
        p.drawEllipse(QRectF(5, 1, 6, 6));
        p.drawRoundedRect(QRectF(2, 8, 12, 7), 3, 3);
        break;
    case 2:
        folder(QColor(250, 210, 90));
        break;
    case 3:
        folder(QColor(130, 200, 120));
        break;
    case 4:
        folder(QColor(120, 170, 230));
        break;
    case 5: // trash
        p.setPen(QColor(70, 70, 70));
        p.setBrush(QColor(190, 190, 190));
        p.drawRect(QRectF(3.5, 4.5, 9, 10));
        p.drawLine(2, 3, 14, 3);
        p.drawLine(6, 1, 10, 1);
        break;
    case 6:
        folder(QColor(240, 220, 150));
        break;
    case 7:
        folder(QColor(240, 220, 150));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 90, 170));
        p.drawEllipse(QRectF(8, 8, 7, 7));
        break;
    default:
        break;
    }
    return pm;
}

} // namespace

QIcon faxIcon(const QString &name)
{
    static QHash<QString, QIcon> cache;
    const auto it = cache.constFind(name);
    if (it != cache.constEnd())
        return it.value();
    const bool printed = name.endsWith(u"pr"_s);
    const QString base = printed ? name.chopped(2) : name;
    QIcon icon;
    if (base == u"user"_s)
        icon = QIcon(faxPixmap(QColor(40, 90, 170), printed, false, false));
    else if (base == u"group"_s)
        icon = QIcon(faxPixmap(QColor(170, 90, 40), printed, false, true));
    else if (base == u"inoltrato"_s)
        icon = QIcon(faxPixmap(QColor(40, 150, 60), printed, true, false));
    else if (base == u"inoltra"_s)
        icon = QIcon(faxPixmap(QColor(200, 60, 60), printed, true, false));
    cache.insert(name, icon);
    return icon;
}

QIcon treeIcon(int index)
{
    static QHash<int, QIcon> cache;
    if (!cache.contains(index))
        cache.insert(index, QIcon(treePixmap(index)));
    return cache.value(index);
}

QPixmap logo(int width, int height)
{
    return ProgramLogo(width, height);
}

} // namespace ListIcons
