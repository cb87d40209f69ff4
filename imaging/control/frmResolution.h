#pragma once

#include <QDialog>

class QLineEdit;

// The page resolution dialog: new horizontal and vertical resolutions in dots per inch. ok() is
// true only after a valid OK; the dialog then hides and its boxes stay readable.
class frmResolution : public QDialog
{
    Q_OBJECT
public:
    explicit frmResolution(QWidget *parent = nullptr);

    bool ok() const { return m_ok; }
    void setValues(int xDpi, int yDpi);
    // The whole-number value of the leading digits of a box (0 when it has none).
    int xDpi() const;
    int yDpi() const;
    static int leadingNumber(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdOK_Click();
    void cmdCancel_Click();

    QLineEdit *m_txtXdpi = nullptr;
    QLineEdit *m_txtYdpi = nullptr;
    bool m_ok = false;
};
