// The thumbnail strip of Lumagrid: cells, layout, scrolling, the show/hide switch and the build.
#include "Lumagrid.h"

#include "LumagridDocument.h"
#include "PageView.h"
#include "ThumbBuilder.h"
#include "ThumbCtl.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>

using namespace Qt::StringLiterals;

ThumbCtl *Lumagrid::cell(int index)
{
    return index >= 0 && index < m_cells.size() ? m_cells.at(index) : nullptr;
}

void Lumagrid::ensureCells(int count)
{
    while (m_cells.size() < count) {
        const int index = int(m_cells.size());
        auto *c = new ThumbCtl(m_picInt);
        c->setObjectName(u"ThumbCtlX1_"_s + QString::number(index));
        c->resize(tw(1995), th(1995));
        if (index > 0) {
            const ThumbCtl *first = m_cells.first();
            const ThumbCtl *prev = m_cells.last();
            c->move(first->x(), prev->y() + first->height() + th(50));
        }
        c->setClickGuard([this] {
            if (m_thumbsLoading) {
                busyMessage();
                return false;
            }
            return true;
        });
        connect(c, &ThumbCtl::Click, this, [this, index] { onCellClick(index); });
        connect(c, &ThumbCtl::KeyUp, this, [this, index](int key, int) { onCellKeyUp(index, key); });
        c->hide();
        m_cells.append(c);
    }
    const ThumbCtl *last = m_cells.last();
    const int needed = last->y() + last->height() + th(3000);
    if (m_picInt->height() < needed)
        m_picInt->resize(m_picExt->width(), needed);
}

void Lumagrid::hideAllCells()
{
    for (ThumbCtl *c : std::as_const(m_cells))
        c->hide();
}

void Lumagrid::clearCellPictures()
{
    for (ThumbCtl *c : std::as_const(m_cells))
        c->clearPicture();
}

void Lumagrid::selectCell(int index)
{
    for (ThumbCtl *c : std::as_const(m_cells))
        c->Spento();
    if (ThumbCtl *c = cell(index))
        c->Acceso();
}

void Lumagrid::stripLayout()
{
    m_vScroll2->setValue(0);
    const int pages = m_doc->PagesNumber();
    int v = pages;
    for (int i = 0; i < pages && i < m_cells.size(); ++i) {
        if (!m_cells.at(i)->isVisibleTo(m_picInt)) {
            v = i;
            break;
        }
    }
    if (pages > m_cells.size() && v == pages)
        v = int(m_cells.size());
    if (v == 0)
        v = 1;
    const int s = m_picExt->height();
    m_thumbsPerView = v;
    for (int i = 0; i < v && i < m_cells.size(); ++i) {
        const ThumbCtl *c = m_cells.at(i);
        if (c->y() + c->height() > s) {
            m_thumbsPerView = i;
            break;
        }
    }
    const int p = m_thumbsPerView == 0 ? 1 : m_thumbsPerView;
    const int q = v > 0 ? std::min(v / p, v) : 0;
    const int r = v > 0 ? v % p : 0;
    if (m_thumbsPerView < v) {
        m_vScroll2->setVisible((r > 0 && q == 1) || q >= 2);
        m_vScroll2->setMaximum(r == 0 ? q - 1 : q);
    } else {
        m_thumbsPerView = 0;
        m_vScroll2->hide();
        m_vScroll2->setMaximum(0);
    }
}

void Lumagrid::onStripScroll(int value)
{
    // One step moves by a whole frame of cells.
    const ThumbCtl *c = cell(value * m_thumbsPerView);
    if (!c)
        return;
    m_picInt->move(0, -c->y());
}

void Lumagrid::onShowHide()
{
    if (m_thumbsLoading)
        stopBuild();
    m_thumbsVisible = !m_thumbsVisible;
    if (!m_thumbsVisible)
        hideAllCells();
    else
        m_timer1->start();
    layoutChildren();
}

void Lumagrid::onTimer1()
{
    m_timer1->stop();
    if (m_thumbsVisible)
        ThumbsGenerate();
    else
        thumbsFinished(true);
}

void Lumagrid::stopBuild()
{
    if (!m_thumbsLoading)
        return;
    m_stopThumbs = true;
    m_builder->stop();
    m_thumbsLoading = false;
    m_stopThumbs = false;
    m_stripReady = true;
    setBusy(false);
}

QVariant Lumagrid::ThumbsGenerate()
{
    ::ImgX &engine = m_doc->engine();
    if (engine.isEmpty() || (!m_doc->Scanned() && !LumagridDocument::FileExists(m_doc->FileName()))) {
        thumbsFinished(true); // nothing to build: the strip is as it was
        return {};
    }
    m_builder->stop();
    m_thumbsLoading = true;
    m_stopThumbs = false;
    setBusy(true, true);
    clearCellPictures();
    const int n = m_doc->PagesNumber();
    if (n < 1) {
        thumbsFinished(false);
        return {};
    }
    hideAllCells();
    m_builtCount = 0;
    ensureCells(1);
    const int side = m_cells.first()->MaxLato();
    m_builder->start(ThumbBuilder::snapshot(engine), QSize(side, side));
    return {};
}

void Lumagrid::thumbReady(int index, const QImage &thumb)
{
    if (index >= m_doc->PagesNumber())
        return;
    ensureCells(index + 1);
    ThumbCtl *c = m_cells.at(index);
    c->NewPic(QPixmap::fromImage(thumb));
    c->Text(u"PAGINA "_s + QString::number(index + 1));
    c->Spento();
    c->show();
    m_builtCount = std::max(m_builtCount, index + 1);
}

void Lumagrid::thumbsFinished(bool stopped)
{
    if (!stopped) {
        selectCell(m_doc->Page());
        m_thumbsLoading = false;
        m_stripReady = true;
        stripLayout();
        m_vScroll2->setValue(m_thumbsPerView > 0 ? m_doc->Page() / m_thumbsPerView : 0);
    }
    m_thumbsLoading = false;
    m_stopThumbs = false;
    m_stripReady = true;
    setBusy(false);
}

void Lumagrid::onCellClick(int index)
{
    if (m_thumbsLoading)
        return;
    selectCell(index);
    GoToPage(index, true);
}

void Lumagrid::onCellKeyUp(int, int qtKey)
{
    pageKey(KeyCodes::fromQt(qtKey));
}
