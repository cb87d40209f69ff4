#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// One cell of the thumbnail strip: a frame button whose colour marks the selection, the page picture
// and its caption.
class ThumbCtl : public QWidget
{
    Q_OBJECT
public:
    explicit ThumbCtl(QWidget *parent = nullptr);

    void Acceso(); // selected colour
    void Spento(); // not-selected colour
    bool isSelected() const { return m_selected; }
    // Sets the caption unless the text is blank.
    void Text(const QString &sTesto);
    QString caption() const;
    void NewPic(const QPixmap &pict);
    QPixmap picture() const { return m_picture; }
    void clearPicture();
    // The larger of the two picture limits, in pixels.
    int MaxLato() const;

    // The cell asks its owner whether a click may go through (a build is running when it may not).
    using ClickGuard = std::function<bool()>;
    void setClickGuard(ClickGuard guard) { m_guard = std::move(guard); }

    // What a click on the frame, the picture or the caption does.
    void click();

    static QColor selectedColor();
    static QColor unselectedColor();

Q_SIGNALS:
    void Click();
    void KeyUp(int KeyCode, int Shift);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setFrameColor(const QColor &c);
    void centrePicture();

    QPushButton *m_cmd = nullptr;
    QLabel *m_picture1 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QPixmap m_picture;
    bool m_selected = false;
    int m_heightLimit = 0;
    int m_widthLimit = 0;
    ClickGuard m_guard;
};
