#include "ThumbCtl.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// A cell is never smaller than 2000 twips (about 133 pixels at 96 dpi) either way.
int minCellPixels(const QWidget *w)
{
    return int(std::lround(2000.0 * w->logicalDpiX() / 1440.0));
}
int twips(const QWidget *w, int t)
{
    return int(std::lround(t * w->logicalDpiY() / 1440.0));
}
} // namespace

ThumbCtl::ThumbCtl(QWidget *parent) : QWidget(parent)
{
    m_cmd = new QPushButton(this);
    m_cmd->setObjectName(u"Cmd"_s);
    m_cmd->setFlat(true);
    m_cmd->setAutoFillBackground(true);
    m_cmd->setFocusPolicy(Qt::NoFocus);
    m_picture1 = new QLabel(m_cmd);
    m_picture1->setObjectName(u"Picture1"_s);
    m_picture1->setAlignment(Qt::AlignCenter);
    m_picture1->setAutoFillBackground(true);
    m_picture1->setBackgroundRole(QPalette::Base);
    m_picture1->setFocusPolicy(Qt::StrongFocus);
    m_text1 = new QLineEdit(m_cmd);
    m_text1->setObjectName(u"Text1"_s);
    m_text1->setReadOnly(true);
    m_text1->setAlignment(Qt::AlignCenter);
    m_text1->setFocusPolicy(Qt::NoFocus);
    m_text1->setFrame(false);
    connect(m_cmd, &QPushButton::clicked, this, &ThumbCtl::click);
    m_picture1->installEventFilter(this);
    m_text1->installEventFilter(this);
    Spento();
    const int m = minCellPixels(this);
    setMinimumSize(m, m);
    resize(m, m);
}

QColor ThumbCtl::selectedColor()
{
    return QColor(0xC0, 0xC0, 0xFF);
} // &HFFC0C0 is BGR
QColor ThumbCtl::unselectedColor()
{
    return QPalette().color(QPalette::Button);
}

void ThumbCtl::setFrameColor(const QColor &c)
{
    QPalette pal = m_cmd->palette();
    pal.setColor(QPalette::Button, c);
    pal.setColor(QPalette::Window, c);
    m_cmd->setPalette(pal);
}

void ThumbCtl::Acceso()
{
    m_selected = true;
    setFrameColor(selectedColor());
}

void ThumbCtl::Spento()
{
    m_selected = false;
    setFrameColor(unselectedColor());
}

void ThumbCtl::Text(const QString &sTesto)
{
    if (!sTesto.trimmed().isEmpty())
        m_text1->setText(sTesto);
}

QString ThumbCtl::caption() const
{
    return m_text1->text();
}

void ThumbCtl::NewPic(const QPixmap &pict)
{
    m_picture = pict;
    m_picture1->setPixmap(pict);
    if (!pict.isNull())
        m_picture1->resize(pict.size().boundedTo(QSize(m_widthLimit, m_heightLimit)));
    centrePicture();
}

void ThumbCtl::clearPicture()
{
    m_picture = QPixmap();
    m_picture1->clear();
    m_picture1->resize(m_widthLimit, m_heightLimit);
    centrePicture();
}

int ThumbCtl::MaxLato() const
{
    // From the size itself: a cell that was never shown has had no resize event yet.
    return std::max(int(std::lround(0.75 * width())), int(std::lround(0.75 * height())));
}

void ThumbCtl::click()
{
    if (m_guard && !m_guard())
        return;
    // The frame colour toggles; the strip then selects exactly this cell.
    if (m_selected)
        Spento();
    else
        Acceso();
    m_picture1->setFocus(Qt::MouseFocusReason);
    Q_EMIT Click();
}

void ThumbCtl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int m = minCellPixels(this);
    if (width() < m || height() < m) {
        resize(std::max(width(), m), std::max(height(), m));
        return;
    }
    const int one = std::max(1, twips(this, 10));
    m_cmd->setGeometry(one, one, width() - one, height() - one);
    const int textH = twips(this, 325);
    m_text1->setGeometry(twips(this, 150), m_cmd->height() - twips(this, 400),
                         m_cmd->width() - twips(this, 300), textH);
    m_heightLimit = int(std::lround(0.75 * height()));
    m_widthLimit = int(std::lround(0.75 * width()));
    if (m_picture.isNull())
        m_picture1->resize(m_widthLimit, m_heightLimit);
    else
        m_picture1->resize(m_picture.size().boundedTo(QSize(m_widthLimit, m_heightLimit)));
    centrePicture();
}

void ThumbCtl::centrePicture()
{
    m_picture1->move((m_cmd->width() - m_picture1->width()) / 2, (m_text1->y() - m_picture1->height()) / 2);
}

bool ThumbCtl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton &&
            static_cast<QWidget *>(watched)->rect().contains(me->position().toPoint())) {
            click();
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        return true;
    } else if (event->type() == QEvent::KeyRelease && watched == m_picture1) {
        auto *ke = static_cast<QKeyEvent *>(event);
        Q_EMIT KeyUp(ke->key(), int(ke->modifiers()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
