// The fax list: columns, filling from the link's fax collection, sorting, caption, selection, read marks.
#include "frmMain.h"

#include "ErrorReporting.h"
#include "FaxItem.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "ListIcons.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "ServerDates.h"
#include "SystemUtils.h"
#include "clsLog.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QStyle>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

void frmMain::InitList(bool bCestino)
{
    m_ranked.reset();
    m_rows.clear();
    ListFax->clear();
    const QList<FaxListText::ColumnSpec> columns = FaxListText::Columns(ActiveList, bCestino);
    ListFax->setColumnCount(int(columns.size()));
    QStringList headers;
    for (const auto &c : columns)
        headers << c.header;
    ListFax->setHeaderLabels(headers);
    const double scale = columnScale(columns);
    for (int i = 0; i < columns.size(); ++i) {
        ListFax->setColumnHidden(i, columns.at(i).widthTwips == 0);
        if (columns.at(i).widthTwips > 0)
            ListFax->header()->resizeSection(i, qRound(toPixels(columns.at(i).widthTwips) * scale));
    }
    // The header keeps its pictures across lists: no arrow of the last list stays.
    for (int i = 0; i < ListFax->columnCount(); ++i)
        SetColumnHeaderImage(ListFax, i, 0, 0, 0);
}

double frmMain::columnScale(const QList<FaxListText::ColumnSpec> &columns) const
{
    // The widths in twips suit the design font. With the font in use, an unread (bold) row's number,
    // sender, date and pages must fit too: every width grows by the one factor that gives them room.
    QFont bold = ListFax->font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    const int margin = 2 * (ListFax->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListFax) + 1) + 4;
    const QString number = u"+39 02 55512345"_s;
    const QList<std::pair<int, QString>> samples = {
        {FaxListText::ColRemote, number},
        {FaxListText::ColFaxNumber, number},
        {FaxListText::ColDate, FormatShortDate(QDate(2028, 12, 28)) + u" 20:08"_s},
        {FaxListText::ColPages, u"200"_s},
    };
    double scale = 1.0;
    for (const auto &[column, text] : samples) {
        if (column >= columns.size() || columns.at(column).widthTwips <= 0)
            continue;
        const int design = toPixels(columns.at(column).widthTwips);
        scale = std::max(scale, double(fm.horizontalAdvance(text) + margin) / std::max(1, design));
    }
    return scale;
}

void frmMain::Ask4List(int ListType)
{
    ActiveList = ListType;
    // An image still on its way belongs to the list being left: it must not end this wait.
    m_lastAskedKey.clear();
    m_imageState = ImageState::None;
    lockControls();
    // Set before the request: a link that must log in again first asks it again once it has.
    m_listPending = true;
    m_answers.asked(AnswerQueue::List, QString::number(ListType) + u':' + QString::number(m_currTreeID));
    ClientSock->SetActiveList(typeOfList(ListType), m_currTreeID);
    InitList(ListType == DeletedList);
    // Until its answer the caption names the list asked, with no counts of the list it replaces.
    if (const auto caption = FaxListText::ListCaption(ActiveList, m_testoNodo, -1, 0))
        fraListFax->setTitle(*caption);
}

FaxListItem *frmMain::AddItem(const QString &Chiave, const QString &Icona)
{
    if (FaxListItem *existing = m_rows.value(Chiave, nullptr)) {
        // The key is already listed: that row is written again in place.
        AppLog().WriteLog(u"ERRORE ADDITEM"_s);
        existing->setIconName(Icona, ListIcons::faxIcon(Icona));
        return existing;
    }
    m_ranked.reset();
    auto *item = new FaxListItem;
    item->setIconName(Icona, ListIcons::faxIcon(Icona));
    m_rows.insert(Chiave, item);
    ListFax->addTopLevelItem(item);
    return item;
}

void frmMain::CaricaRiga(const FaxItem &fax)
{
    FaxListItem *item = AddItem(fax.IdFax(), fax.Icon());
    m_ranked.reset();
    item->fill(fax, ActiveList, ListIcons::faxIcon(fax.Icon()), fax.Icon());
    if (m_sorted)
        applySort();
}

bool frmMain::GetNuovi(CollFaxItem *Faxes, bool bNuova)
{
    if (bNuova) {
        LumagPreview->Pulizia();
        fraListFax->hide();
        ListFax->setEnabled(false);
    }
    const qsizetype n = Faxes ? Faxes->Count() : 0;
    const bool progress = n > 100;
    if (progress) {
        pbLoad->setVisible(sbStatusBar->isVisibleTo(this));
        pbLoad->setValue(pbLoad->minimum());
        pbLoad->setMaximum(int((n + 1) * 2));
    }
    int unread = 0;
    bool added = false;
    // Sorting stays off while rows come in; new rows go into the list in one step.
    const bool wasSorted = m_sorted;
    m_sorted = false;
    QList<QTreeWidgetItem *> fresh;
    fresh.reserve(n);
    m_rows.reserve(m_rows.size() + n);
    FaxListText::RowTextCache texts(ActiveList);
    int value = pbLoad->minimum();
    if (Faxes) {
        int i = 0;
        for (const FaxItem &fax : *Faxes) {
            value += 2;
            if (progress && (++i & 1023) == 0)
                pbLoad->setValue(value);
            FaxListItem *&item = m_rows[fax.IdFax()];
            if (item) {
                AppLog().WriteLog(u"ERRORE ADDITEM"_s);
            } else {
                item = new FaxListItem;
                fresh.append(item);
            }
            const QString icon = fax.Icon();
            item->fill(fax, texts, ActiveList, ListIcons::faxIcon(icon), icon);
            added = true;
            if (!fax.Read())
                ++unread;
        }
    }
    // A new list is shown newest first: its rows go in already in that order (a stable sort, as the list's
    // own), so that the list's sort finds nothing to move.
    if (bNuova && ListFax->columnCount() >= 8)
        FaxListItem::sortByDateKey(fresh, Qt::DescendingOrder);
    ListFax->addTopLevelItems(fresh);
    m_ranked.reset();
    m_sorted = wasSorted;
    aggDaLeggere = unread;
    // A new list is sorted while it is still hidden: shown, it is laid out once, not again for the
    // header's arrow.
    if (bNuova)
        InizializzaLst();
    if (progress) {
        pbLoad->setValue(pbLoad->maximum());
        pbLoad->hide();
    }
    AggiornaTitoloLista(unread);
    fraRoot->hide();
    fraListFax->show();
    ListFax->setEnabled(true);
    if (bNuova) {
        // A refresh selects again the row it kept (the list answer does so): only that row's image is
        // asked, not the first row's before it.
        if (m_reselectKey.isEmpty() || !m_rows.contains(m_reselectKey))
            FirstSelection(0);
        if (ListFax->topLevelItemCount() == 0)
            emptyPreview();
    } else {
        ListFax->setFocus();
    }
    unsetCursor();
    TVNodi->setEnabled(true);
    // Unread faxes in the received lists put up the new-fax icon.
    if (unread > 0 && (ActiveList == 0 || ActiveList == 1))
        showNewFaxIcon();
    return added;
}

QString frmMain::GetCurrentKey() const
{
    QTreeWidgetItem *item = ListFax->currentItem();
    if (item && item->isSelected() && item->type() == FaxListItem::Type)
        return static_cast<FaxListItem *>(item)->key();
    return {};
}

FaxListItem *frmMain::EsisteItem(const QString &key) const
{
    return m_rows.value(key, nullptr);
}

void frmMain::applySort()
{
    const int column = FaxListItem::sortColumnFor(m_sortKey);
    if (column >= 0 && column < 9 && !m_ranked[size_t(column)]) {
        FaxListItem::rankColumn(ListFax, column);
        m_ranked[size_t(column)] = true;
    }
    FaxListItem::setSortColumn(column);
    const Qt::SortOrder order = m_sortOrder == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    // Rows already in this order (a new list comes in newest first) stay as they are: only the header
    // is told, as the sort tells it, and the view is not laid out again for nothing.
    if (FaxListItem::inOrder(ListFax, order))
        ListFax->header()->setSortIndicator(m_sortKey, order);
    else
        ListFax->sortItems(m_sortKey, order);
}

void frmMain::InizializzaLst()
{
    m_sorted = false;
    if (ListFax->columnCount() >= 8)
        m_sortKey = FaxListText::ColDateOrder;
    m_sortOrder = 1;
    m_sorted = true;
    applySort();
    ShowSortArrow(ListFax, FaxListText::ColDate, m_sortOrder, FaxListText::ColDate);
}

void frmMain::OrdinaColonna(int column)
{
    m_sorted = false;
    if (m_sortKey == FaxListText::ColDateOrder)
        m_sortKey = FaxListText::ColDate;
    if (m_sortKey == column)
        m_sortOrder = m_sortOrder == 0 ? 1 : 0;
    const bool dateColumn = ListFax->headerItem()->text(column) == u"Data e Ora"_s;
    if (!dateColumn) {
        m_sortKey = column;
        ShowSortArrow(ListFax, m_sortKey, m_sortOrder, m_sortKey);
    } else {
        m_sortKey = FaxListText::ColDateOrder;
        ShowSortArrow(ListFax, FaxListText::ColDate, m_sortOrder, FaxListText::ColDate);
    }
    m_sorted = true;
    applySort();
}

void frmMain::AggiornaTitoloLista(int nDaLeggere)
{
    const auto caption =
        FaxListText::ListCaption(ActiveList, m_testoNodo, ListFax->topLevelItemCount(), nDaLeggere);
    if (caption)
        fraListFax->setTitle(*caption);
}

void frmMain::FirstSelection(int)
{
    if (ListFax->topLevelItemCount() == 0) {
        CurrentKey.clear();
        return;
    }
    ListFax->clearSelection();
    QTreeWidgetItem *first = ListFax->topLevelItem(0);
    ListFax->setCurrentItem(first);
    first->setSelected(true);
    CurrentKey = static_cast<FaxListItem *>(first)->key();
    if (CollFaxItem *faxes = ClientSock->FaxItems()) {
        if (FaxItem *fax = faxes->Item(CurrentKey))
            fax->setSelected(true);
    }
    if (ListFax->isVisible())
        ListFax_Click();
}

void frmMain::ListFax_Click()
{
    QString key = u"0"_s;
    QTreeWidgetItem *item = ListFax->currentItem();
    if (ListFax->topLevelItemCount() > 0 && item && item->isSelected())
        key = static_cast<FaxListItem *>(item)->key();
    if (key == u"0"_s) {
        bVisualizza = false;
    } else if (key == m_imageKey && m_imageState != ImageState::None &&
               m_imageState != ImageState::Incomplete) {
        // Its image is on show, on its way or known missing: not asked again.
        PrevKey = key;
    } else {
        PrevKey = key;
        // Emptied whole (no page, no thumbnails, "0/0") until the asked image comes.
        emptyPreview();
        askImage(PrevKey);
        AppLog().WriteLog(u"ClientSock.AskFax PrevKey - click"_s);
        bFaxArrivato = false;
        bZuvUvucante = false;
    }
    // The fax counts as read only once it has stayed selected for the timer's time.
    tmrRead->start();
    if (ListFax->isVisible() && ListFax->isEnabled())
        ListFax->setFocus();
}

void frmMain::ListFax_ItemClick()
{
    const QList<QTreeWidgetItem *> selected = ListFax->selectedItems();
    enableSingleItems(selected.size() == 1);
    if (selected.size() == 1) {
        CurrentKey = GetCurrentKey();
        ListFax_Click();
    }
}

QStringList frmMain::ChiaviSelezionate()
{
    CollFaxesSelected *keys = ClientSock->FaxesSelected();
    keys->RemoveAll();
    QStringList selected;
    // In list order, as shown.
    for (int i = 0; i < ListFax->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ListFax->topLevelItem(i);
        if (item->isSelected())
            selected << static_cast<FaxListItem *>(item)->key();
    }
    if (selected.isEmpty())
        return m_dragKeys;
    m_dragKeys = selected;
    for (const QString &key : std::as_const(selected))
        keys->Add(key);
    return selected;
}

void frmMain::tmrRead_Timer()
{
    tmrRead->stop();
    if (ListFax->selectedItems().size() == 1 && (ActiveList == 0 || ActiveList == 1))
        ImpostaLetto(true);
}

void frmMain::ImpostaLetto(bool bRead)
{
    const QStringList keys = ChiaviSelezionate();
    ClientSock->SetReadSelected(bRead);
    tmrRead->stop();
    int delta = 0;
    for (const QString &key : keys) {
        FaxListItem *item = m_rows.value(key, nullptr);
        if (!item)
            continue;
        if (item->isBold() && aggDaLeggere != 0 && bRead)
            --delta;
        if (!item->isBold() && aggDaLeggere != 0 && !bRead)
            ++delta;
        item->setBold(!bRead);
        removeNewFaxIcon();
    }
    aggDaLeggere += delta;
    AggiornaTitoloLista(aggDaLeggere);
}

void frmMain::ImpostaStampato(bool bPrinted)
{
    const QStringList keys = ChiaviSelezionate();
    ClientSock->SetPrintedSelected(bPrinted);
    tmrRead->stop();
    for (const QString &key : keys) {
        FaxListItem *item = m_rows.value(key, nullptr);
        if (item && item->iconName().endsWith(u"pr"_s) && !bPrinted) {
            const QString name = item->iconName().chopped(2);
            item->setIconName(name, ListIcons::faxIcon(name));
        }
    }
}

void frmMain::PrintedMng()
{
    QTreeWidgetItem *current = ListFax->currentItem();
    if (!current || !current->isSelected()) {
        ShowErrorMessage(ErrNumber::InvalidArgument, u"Nessun fax selezionato"_s, u"frmMain.PrintedMng"_s);
        return;
    }
    auto *item = static_cast<FaxListItem *>(current);
    const QString icon = item->iconName();
    if (!icon.isEmpty() && !icon.endsWith(u"pr"_s)) {
        item->setIconName(icon + u"pr"_s, ListIcons::faxIcon(icon + u"pr"_s));
        if (ActiveList == 0 || ActiveList == 1)
            ImpostaStampato(true);
    }
}

QStringList frmMain::CaricaDati(const FaxItem &fax) const
{
    return FaxListText::CaricaDati(fax);
}

QString frmMain::TrasformaSecInTime(qint32 secs) const
{
    return FaxListText::TrasformaSecInTime(secs);
}
