#pragma once

#include <QString>
#include <QWidget>

class QToolBar;
class QAction;

// The command toolbar above the page view. It only reports which button was pressed; Lumagrid turns the
// key into an action.
class ImgMenu : public QWidget
{
    Q_OBJECT
public:
    explicit ImgMenu(QWidget *parent = nullptr);

    // Key of the button last pressed; empty until the first press.
    QString KeyButton() const { return m_keyButton; }

    QToolBar *toolBar() const { return m_toolBar; }
    QAction *action(const QString &key) const;
    // Keys of the buttons that carry a command, left to right.
    static QStringList commandKeys();

    // Presses the button of that key as a click would (unknown keys are ignored).
    void press(const QString &key);

    QSize sizeHint() const override;

Q_SIGNALS:
    void ButtonClick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolBar *m_toolBar = nullptr;
    QString m_keyButton;
};
