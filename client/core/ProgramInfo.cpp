#include "ProgramInfo.h"

#include "ThemeIcons.h"

#include <QCoreApplication>
#include <QPainter>
#include <QStringList>

using namespace Qt::StringLiterals;

QString ProgramTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? u"Quorin"_s : name;
}

QString ProgramVersion()
{
    const QStringList parts = QCoreApplication::applicationVersion().split(u'.');
    QStringList out;
    for (int i = 0; i < 3; ++i)
        out << (i < parts.size() && !parts.at(i).isEmpty() ? parts.at(i) : u"0"_s);
    return out.join(u'.');
}

QPixmap ProgramLogo(int width, int height)
{
    QPixmap pm(qMax(1, width), qMax(1, height));
    pm.fill(QColor(7, 12, 212));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(qMax(8, height / 3));
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, u"QUORIN"_s);
    return pm;
}

QIcon ProgramIcon()
{
    if (QIcon own = ThemeIcons::program(QCoreApplication::applicationName()); !own.isNull())
        return own;
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(7, 12, 212));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 6, 14, 20));
    p.setPen(QColor(7, 12, 212));
    for (int y = 11; y <= 21; y += 4)
        p.drawLine(12, y, 20, y);
    return QIcon(pm);
}
