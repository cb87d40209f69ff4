#include "ImgMenu.h"

#include "ThemeIcons.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace {

struct Button
{
    const char16_t *key;
    const char16_t *tip;
};

// Left to right; an empty tooltip marks a separator.
constexpr Button kButtons[] = {
    {u"Save", u"Salva"},
    {u"SaveAs", u"Salva con nome..."},
    {u"SetPrinter", u"Impostazioni stampante"},
    {u"Print", u"Stampa"},
    {u"Undo", u"Annulla"},
    {u"Redo", u"Ripeti"},
    {u"", u""},
    {u"Pan", u"Pan"},
    {u"ZoomIn", u"Zoom avanti"},
    {u"ZoomOut", u"Zoom indietro"},
    {u"ZoomArea", u"Zoom su area"},
    {u"BestFit", u"Best fit"},
    {u"FitH", u"Adatta in altezza"},
    {u"FitW", u"Adatta in larghezza"},
    {u"Resolution", u"Imposta Risoluzione"},
    {u"Sep2", u""},
    {u"90SX", u"Ruota 90° a sinistra"},
    {u"90DX", u"Ruota 90° a destra"},
    {u"Flip", u"Capovolgi"},
    {u"FlipAll", u"Capovolgi Tutto"},
    {u"Sep3", u""},
    {u"Evidenzia", u"Evidenzia area"},
    {u"BlackRec", u"Rettangolo nero"},
    {u"WhiteRec", u"Rettangolo bianco"},
    {u"AddLogo", u"Inserimento logo"},
    {u"Sep4", u""},
    {u"PrevPage", u"Pagina Precedente"},
    {u"NextPage", u"Pagina Successiva"},
    {u"FirstPage", u"Prima Pagina"},
    {u"LastPage", u"Ultima Pagina"},
};

QIcon standardIcon(QStyle::StandardPixmap sp)
{
    return QApplication::style()->standardIcon(sp);
}

// A small drawn glyph for the commands the style has no icon for.
QIcon glyphIcon(const QString &glyph)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    QFont f = p.font();
    f.setPixelSize(glyph.size() > 1 ? 9 : 13);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, glyph);
    return QIcon(pm);
}

QIcon iconFor(const QString &key)
{
    if (QIcon themed = ThemeIcons::forToolbarKey(key); !themed.isNull())
        return themed;
    if (key == u"Save"_s)
        return standardIcon(QStyle::SP_DialogSaveButton);
    if (key == u"FirstPage"_s)
        return standardIcon(QStyle::SP_MediaSkipBackward);
    if (key == u"LastPage"_s)
        return standardIcon(QStyle::SP_MediaSkipForward);
    if (key == u"PrevPage"_s)
        return standardIcon(QStyle::SP_ArrowBack);
    if (key == u"NextPage"_s)
        return standardIcon(QStyle::SP_ArrowForward);
    static const QHash<QString, QString> glyphs = {
        {u"SaveAs"_s, u"S…"_s},      {u"SetPrinter"_s, u"P⚙"_s}, {u"Print"_s, u"P"_s},
        {u"Undo"_s, u"↶"_s},         {u"Redo"_s, u"↷"_s},        {u"Pan"_s, u"✥"_s},
        {u"ZoomIn"_s, u"+"_s},       {u"ZoomOut"_s, u"−"_s},     {u"ZoomArea"_s, u"⬚"_s},
        {u"BestFit"_s, u"▣"_s},      {u"FitH"_s, u"↕"_s},        {u"FitW"_s, u"↔"_s},
        {u"Resolution"_s, u"dpi"_s}, {u"90SX"_s, u"⟲"_s},        {u"90DX"_s, u"⟳"_s},
        {u"Flip"_s, u"⇅"_s},         {u"FlipAll"_s, u"⇅⇅"_s},    {u"Evidenzia"_s, u"H"_s},
        {u"BlackRec"_s, u"■"_s},     {u"WhiteRec"_s, u"□"_s},    {u"AddLogo"_s, u"L"_s},
    };
    return glyphIcon(glyphs.value(key, key.left(1)));
}

} // namespace

ImgMenu::ImgMenu(QWidget *parent) : QWidget(parent)
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(u"Toolbar1"_s);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    for (const Button &b : kButtons) {
        const QString key = QString::fromUtf16(b.key);
        const QString tip = QString::fromUtf16(b.tip);
        if (tip.isEmpty()) {
            QAction *sep = m_toolBar->addSeparator();
            sep->setObjectName(key);
            continue;
        }
        QAction *a = m_toolBar->addAction(iconFor(key), tip);
        a->setObjectName(key);
        a->setToolTip(tip);
        a->setData(key);
        connect(a, &QAction::triggered, this, [this, key] { press(key); });
    }
}

QAction *ImgMenu::action(const QString &key) const
{
    const auto actions = m_toolBar->actions();
    for (QAction *a : actions) {
        if (!a->isSeparator() && a->data().toString() == key)
            return a;
    }
    return nullptr;
}

QStringList ImgMenu::commandKeys()
{
    QStringList keys;
    for (const Button &b : kButtons) {
        if (b.tip[0] != u'\0')
            keys << QString::fromUtf16(b.key);
    }
    return keys;
}

void ImgMenu::press(const QString &key)
{
    m_keyButton = key;
    Q_EMIT ButtonClick();
}

QSize ImgMenu::sizeHint() const
{
    return m_toolBar->sizeHint();
}

void ImgMenu::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The control is as high as its toolbar.
    m_toolBar->setGeometry(0, 0, width(), m_toolBar->sizeHint().height());
    if (height() != m_toolBar->height())
        setFixedHeight(m_toolBar->height());
}
