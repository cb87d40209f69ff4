#pragma once

#include "ImgX.h"

#include <QDialog>

class Lumagrid;
class PageView;
class QCheckBox;
class QLineEdit;

// The logo dialog: picks an image file, shows it, and takes the opacity, the position in page pixels
// and whether the logo's own alpha is used. OK stamps a logo with alpha at once, or hands the logo
// to the control to be placed by hand.
class frmImage : public QDialog
{
    Q_OBJECT
public:
    explicit frmImage(Lumagrid *owner);
    ~frmImage() override;

    // The on-screen preview of the logo at the position typed (the page itself is not changed).
    void Draw();

private:
    void cmdBrowse_Click();
    void cmdOK_Click();
    int number(const QLineEdit *box) const;

    Lumagrid *m_owner;
    ImgX m_logo;
    QLineEdit *m_txtFile = nullptr;
    QLineEdit *m_txtOpacity = nullptr;
    QLineEdit *m_txtX = nullptr;
    QLineEdit *m_txtY = nullptr;
    QCheckBox *m_chkAlpha = nullptr;
    PageView *m_thumb = nullptr;
};
