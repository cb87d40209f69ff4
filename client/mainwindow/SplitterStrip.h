#pragma once

#include <QMouseEvent>
#include <QWidget>

// An invisible strip along a pane edge that the user drags to move a splitter. It reports the pointer's
// position in its parent's coordinates along its axis (x for the vertical splitter, y for the horizontal).
class SplitterStrip : public QWidget
{
    Q_OBJECT
public:
    // Qt::Horizontal: the strip moves sideways (the splitter between tree and list).
    SplitterStrip(Qt::Orientation moves, QWidget *parent) : QWidget(parent), m_moves(moves)
    {
        setCursor(moves == Qt::Horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }

Q_SIGNALS:
    void pressed();
    void moved(int parentPos);
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton) {
            m_down = true;
            Q_EMIT pressed();
        }
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!m_down)
            return;
        const QPoint p = mapToParent(event->position().toPoint());
        Q_EMIT moved(m_moves == Qt::Horizontal ? p.x() : p.y());
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton) {
            m_down = false;
            Q_EMIT released();
        }
    }

private:
    Qt::Orientation m_moves;
    bool m_down = false;
};
