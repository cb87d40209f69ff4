// Layout of the main window: panes from two proportions, the two splitters, the stored placement.
#include "frmMain.h"

#include "ProgramInfo.h"
#include "SplitterStrip.h"
#include "WindowPlacement.h"
#include "frmAbout2.h"
#include "frmSendStatus.h"
#include "frmSplash.h"
#include "frmUpdateDownload.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTreeWidget>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// A number stored as text in the user's locale (older files may hold the C form).
bool readNumber(const QSettings &store, const QString &key, double &value)
{
    const QVariant stored = store.value(key);
    if (!stored.isValid())
        return false;
    const QString text = stored.toString().trimmed();
    bool ok = false;
    double v = QLocale().toDouble(text, &ok);
    if (!ok)
        v = QLocale::c().toDouble(text, &ok);
    if (ok)
        value = v;
    return ok;
}

} // namespace

void frmMain::loadPlacement()
{
    QSettings store(u"Quorin"_s, ProgramTitle());
    store.beginGroup(u"Settings"_s);
    double left = 1000, top = 1000, width = 6500, height = 6500;
    readNumber(store, u"MainLeft"_s, left);
    readNumber(store, u"MainTop"_s, top);
    readNumber(store, u"MainWidth"_s, width);
    readNumber(store, u"MainHeight"_s, height);
    // A placement saved on a larger screen (or on one that is gone) comes back inside this one.
    const QRect placed = WindowPlacement::fitOnScreen(
        QRect(toPixels(int(left)), toPixels(int(top)), toPixels(int(width)), toPixels(int(height))),
        minimumSize());
    move(placed.topLeft());
    resize(placed.size());
    WindowPlacement::keepOnScreen(this);
    // A maximised window comes back maximised, over its normal placement.
    if (store.value(u"MainMaximized"_s).toString() == u"1"_s)
        setWindowState(windowState() | Qt::WindowMaximized);
    // Missing proportions leave the ones in force at load.
    m_inTop = m_propY;
    m_inLeft = m_propX;
    readNumber(store, u"InTop"_s, m_inTop);
    readNumber(store, u"InLeft"_s, m_inLeft);
}

void frmMain::savePlacement()
{
    QSettings store(u"Quorin"_s, ProgramTitle());
    store.beginGroup(u"Settings"_s);
    const QLocale locale;
    // Maximised, the window keeps its normal placement (where it goes back to) and says it was
    // maximised, rather than storing the size of the screen.
    const bool maximized = isMaximized() || isFullScreen();
    QRect normal(pos(), size());
    if (maximized && normalGeometry().isValid())
        normal = normalGeometry().translated(pos() - geometry().topLeft());
    store.setValue(u"MainLeft"_s, QString::number(toTwips(normal.x())));
    store.setValue(u"MainTop"_s, QString::number(toTwips(normal.y())));
    store.setValue(u"MainWidth"_s, QString::number(toTwips(normal.width())));
    store.setValue(u"MainHeight"_s, QString::number(toTwips(normal.height())));
    store.setValue(u"MainMaximized"_s, maximized ? u"1"_s : u"0"_s);
    // The proportions in force, to two decimals: once written they come back the same, start after start.
    const auto twoDecimals = [&locale](double v) {
        return locale.toString(std::round(v * 100.0) / 100.0, 'g', 15);
    };
    store.setValue(u"InTop"_s, twoDecimals(m_propY));
    store.setValue(u"InLeft"_s, twoDecimals(m_propX));
    store.sync();
}

void frmMain::ResizeForm()
{
    if (isMinimized() || !m_client)
        return;
    m_propX = MainLayout::acceptProportion(m_inLeft, m_propX);
    m_propY = MainLayout::acceptProportion(m_inTop, m_propY);
    const int W = toTwips(m_client->width());
    const int H = toTwips(m_client->height());
    const int sb = sbStatusBar->isVisibleTo(this) ? toTwips(sbStatusBar->sizeHint().height()) : 0;
    m_panes = MainLayout::layout(W, H, m_propX, m_propY, sb);
    applyPanes();
}

void frmMain::applyPanes()
{
    const auto px = [this](const QRect &r) {
        return QRect(toPixels(r.left()), toPixels(r.top()), toPixels(r.width()), toPixels(r.height()));
    };
    const auto titled = [this](QGroupBox *box, QRect r) {
        // Room for the frame's caption, as the style draws it (its label sits lower than a text line).
        // The list's frame gets its caption only once a list has come: its room is kept from the start.
        const QString text = box == fraListFax && box->title().isEmpty() ? u"X"_s : box->title();
        if (text.isEmpty())
            return r;
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = text;
        option.textAlignment = box->alignment();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        const int title = std::max(label.bottom() + 2, box->fontMetrics().height() + 2);
        if (r.top() < title)
            r.setTop(title);
        return r;
    };
    const MainLayout::Inner in = MainLayout::inner(m_panes);
    FraTv->setGeometry(px(m_panes.fraTv));
    fraListFax->setGeometry(px(m_panes.fraListFax));
    imgSplitterY->setGeometry(px(m_panes.splitterY));
    if (!m_dragY)
        picSplitterY->setGeometry(px(m_panes.splitterY));
    fraPreview->setGeometry(px(m_panes.fraPreview));
    TVNodi->setGeometry(titled(FraTv, px(in.tvNodi)));
    fraRoot->setGeometry(px(in.fraRoot));
    picLogo->setGeometry(px(in.picLogo));
    ListFax->setGeometry(titled(fraListFax, px(in.listFax)));
    imgSplitterX->setGeometry(px(in.splitterX));
    if (!m_dragX)
        picSplitterX->setGeometry(px(in.splitterX));
    LumagPreview->setGeometry(titled(fraPreview, px(in.lumag)));

    const int sbHeight = sbStatusBar->sizeHint().height();
    sbStatusBar->setGeometry(0, m_client->height() - sbHeight, m_client->width(), sbHeight);
    const QWidget *panel2 = sbStatusBar->findChild<QLabel *>(u"Panel2"_s);
    const int panel2Left = panel2 ? panel2->x() : m_client->width() / 2;
    pbLoad->setGeometry(toPixels(50), sbStatusBar->y() + toPixels(50) / 2,
                        qMax(0, panel2Left - toPixels(100)), qMax(4, sbHeight - toPixels(50)));
    imgSplitterX->raise();
    imgSplitterY->raise();
    picSplitterX->raise();
    picSplitterY->raise();
    pbLoad->raise();
}

void frmMain::SizeControlsX(int x)
{
    const int W = toTwips(m_client->width());
    m_panes = MainLayout::moveSplitterX(m_panes, W, x, m_spazioSplitter);
    picSplitterX->hide();
    applyPanes();
}

void frmMain::splitterXDown()
{
    picSplitterX->setGeometry(imgSplitterX->geometry());
    picSplitterX->show();
    picSplitterX->raise();
    m_dragX = true;
}

void frmMain::splitterXMove(int pos)
{
    if (!m_dragX)
        return;
    if (MainLayout::splitterXAllowed(pos, toTwips(m_client->width())))
        picSplitterX->move(toPixels(pos), picSplitterX->y());
}

void frmMain::splitterXUp()
{
    m_dragX = false;
    const int W = toTwips(m_client->width());
    SizeControlsX(toTwips(picSplitterX->x()));
    if (W > 0)
        m_propX = double(m_panes.fraTv.width()) / W;
    // The user's proportion holds from now on, also across a resize and a restart.
    m_inLeft = m_propX;
}

void frmMain::splitterYDown()
{
    picSplitterY->setGeometry(imgSplitterY->geometry());
    picSplitterY->show();
    picSplitterY->raise();
    m_dragY = true;
}

void frmMain::splitterYMove(int pos)
{
    if (!m_dragY)
        return;
    if (MainLayout::splitterYAllowed(pos, toTwips(m_client->height())))
        picSplitterY->move(picSplitterY->x(), toPixels(pos));
}

void frmMain::splitterYUp()
{
    m_dragY = false;
    const int H = toTwips(m_client->height());
    const int sb = sbStatusBar->isVisibleTo(this) ? toTwips(sbStatusBar->sizeHint().height()) : 0;
    m_panes = MainLayout::moveSplitterY(m_panes, H, toTwips(picSplitterY->y()), sb, m_spazioSplitter);
    picSplitterY->hide();
    applyPanes();
    if (H > 0)
        m_propY = double(m_panes.fraTv.height()) / H;
    m_inTop = m_propY;
}
