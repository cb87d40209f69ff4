#include "frmImage.h"

#include "Lumagrid.h"
#include "PageView.h"
#include "Prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

frmImage::frmImage(Lumagrid *owner) : QDialog(owner), m_owner(owner)
{
    setObjectName(u"frmImage"_s);
    setWindowTitle(u"Immagine"_s);
    setModal(true);

    auto *label1 = new QLabel(u"Selezioanre immagine da inserire"_s, this);
    label1->setObjectName(u"Label1"_s);
    m_txtFile = new QLineEdit(this);
    m_txtFile->setObjectName(u"txtFile"_s);
    m_txtFile->setReadOnly(true);
    auto *cmdBrowse = new QPushButton(u"..."_s, this);
    cmdBrowse->setObjectName(u"cmdBrowse"_s);
    m_thumb = new PageView(this);
    m_thumb->setObjectName(u"ImgXThumb"_s);
    m_thumb->setAutoZoom(true);
    m_thumb->setMinimumSize(200, 150);
    auto *label = new QLabel(u"Opacity:"_s, this);
    label->setObjectName(u"Label"_s);
    m_txtOpacity = new QLineEdit(u"255"_s, this);
    m_txtOpacity->setObjectName(u"txtOpacity"_s);
    auto *lblX = new QLabel(u"X:"_s, this);
    lblX->setObjectName(u"lblX"_s);
    m_txtX = new QLineEdit(u"0"_s, this);
    m_txtX->setObjectName(u"txtX"_s);
    auto *lblY = new QLabel(u"Y:"_s, this);
    lblY->setObjectName(u"lblY"_s);
    m_txtY = new QLineEdit(u"0"_s, this);
    m_txtY->setObjectName(u"txtY"_s);
    m_chkAlpha = new QCheckBox(u"Overlay with Alpha"_s, this);
    m_chkAlpha->setObjectName(u"chkAlpha"_s);
    auto *preview = new QPushButton(u"Anteprima"_s, this);
    preview->setObjectName(u"Preview"_s);
    auto *cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    auto *cmdCancel = new QPushButton(u"Annulla"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);

    connect(cmdBrowse, &QPushButton::clicked, this, &frmImage::cmdBrowse_Click);
    connect(preview, &QPushButton::clicked, this, &frmImage::Draw);
    connect(cmdOK, &QPushButton::clicked, this, &frmImage::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *grid = new QGridLayout(this);
    grid->addWidget(label1, 0, 0, 1, 4);
    grid->addWidget(m_txtFile, 1, 0, 1, 3);
    grid->addWidget(cmdBrowse, 1, 3);
    grid->addWidget(m_thumb, 2, 0, 1, 4);
    grid->addWidget(label, 3, 0);
    grid->addWidget(m_txtOpacity, 3, 1);
    grid->addWidget(m_chkAlpha, 3, 2, 1, 2);
    grid->addWidget(lblX, 4, 0);
    grid->addWidget(m_txtX, 4, 1);
    grid->addWidget(lblY, 4, 2);
    grid->addWidget(m_txtY, 4, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(preview);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 5, 0, 1, 4);
}

frmImage::~frmImage()
{
    m_owner->logoPreview(QImage(), QPoint(), false);
}

int frmImage::number(const QLineEdit *box) const
{
    bool ok = false;
    const int v = box->text().trimmed().toInt(&ok);
    return ok ? v : 0;
}

void frmImage::cmdBrowse_Click()
{
    static const QStringList patterns = {u"*.jpg"_s,  u"*.bmp"_s, u"*.png"_s, u"*.gif"_s,
                                         u"*.psd"_s,  u"*.tif"_s, u"*.pcx"_s, u"*.tga"_s,
                                         u"*.wbmp"_s, u"*.wmf"_s, u"*.emf"_s};
    const QStringList filters = {
        u"Tutti i formati supportati ("_s + patterns.join(u' ') + u')',
        u"Joint Photographic Experts Group  <JPG> (*.jpg)"_s,
        u"Windows Bitmap  <BMP> (*.bmp)"_s,
        u"Portable Network Graphics  <PNG> (*.png)"_s,
        u"Graphics Interchange Format  <GIF> (*.gif)"_s,
        u"Photoshop  <PSD> (*.psd)"_s,
        u"Tagged Image File  <TIF> (*.tif)"_s,
        u"ZSoft PaintBrush  <PCX> (*.pcx)"_s,
        u"Truevision Targa  <TGA> (*.tga)"_s,
        u"Wireless Bitmap  <WBMP> (*.wbmp)"_s,
        u"Windows Meta File  <WMF> (*.wmf)"_s,
        u"Windows Enhanced Meta File <EMF> (*.emf)"_s,
    };
    const QString name = Prompt::openFileName(this, u"Immagine"_s, QString(), filters.join(u";;"_s));
    if (name.isEmpty())
        return;
    if (!m_logo.importFile(name, 0)) {
        m_owner->ShowError(m_logo.lastError());
        return;
    }
    m_thumb->setPage(m_logo.image());
    m_thumb->ScaleImageToFit();
    m_txtFile->setText(name);
}

void frmImage::Draw()
{
    const QImage &logo = m_logo.image().image();
    if (logo.isNull())
        return;
    m_owner->logoPreview(logo, QPoint(number(m_txtX), number(m_txtY)), m_chkAlpha->isChecked());
}

void frmImage::cmdOK_Click()
{
    const QImage &logo = m_logo.image().image();
    if (logo.isNull()) {
        QApplication::beep();
        return;
    }
    Prompt::information(this, QString(),
                        u"Trascinare il logo nella posizione desiderata e fare doppio click."_s);
    int opacity = number(m_txtOpacity);
    if (opacity > 255) {
        m_txtOpacity->setText(u"255"_s);
        opacity = 255;
    }
    opacity = std::max(0, opacity);
    if (logo.hasAlphaChannel() && m_chkAlpha->isChecked())
        m_owner->stampLogo(logo, QPoint(number(m_txtX), number(m_txtY)), opacity, true);
    else
        m_owner->startPlacingLogo(logo, opacity, m_chkAlpha->isChecked());
    accept();
}
