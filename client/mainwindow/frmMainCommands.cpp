// Commands on the rows of the fax list: mouse, keys and context menus, trash, restore and delete,
// forwarding, the viewer, properties, report and mail.
#include "frmMain.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FRMSEND2.h"
#include "FaxItem.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "ListIcons.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SystemUtils.h"
#include "ThemeIcons.h"
#include "clsLog.h"
#include "frmInoltra.h"
#include "frmPrint2.h"
#include "frmPropFax.h"
#include "frmVisualizzatore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QSet>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

QString bareId(const QString &key)
{
    return QString::number(key.mid(1).toLongLong());
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Selection

void frmMain::DeselezionaTutti()
{
    if (!ListFax->selectedItems().isEmpty()) {
        ListFax->clearSelection();
        CollFaxesSelected *keys = ClientSock->FaxesSelected();
        for (int i = 0; i < ListFax->topLevelItemCount(); ++i)
            keys->RemoveKey(static_cast<FaxListItem *>(ListFax->topLevelItem(i))->key());
    }
    m_dragKeys.clear();
}

void frmMain::ListFax_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos)
{
    QTreeWidgetItem *hit = ListFax->itemAt(pos);
    m_hitItem = hit;
    if (!hit) {
        DeselezionaTutti();
        ListFax->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
        return;
    }
    if (ListFax->topLevelItemCount() == 0)
        return;
    if (button == Qt::LeftButton) {
        bApriFax = bFaxArrivato = bZuvUvucante = false;
        // The list changes its selection after the press: the keys are taken once it has.
        QTimer::singleShot(0, this, [this] { ChiaviSelezionate(); });
        return;
    }
    if (button != Qt::RightButton)
        return;
    if (modifiers & Qt::ControlModifier) {
        hit->setSelected(true);
        ListFax->setCurrentItem(hit, 0, QItemSelectionModel::NoUpdate);
        ChiaviSelezionate();
        ListFax_ItemClick();
        return;
    }
    if (!hit->isSelected()) {
        DeselezionaTutti();
        ListFax->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
    }
    hit->setSelected(true);
    ListFax->setCurrentItem(hit, 0, QItemSelectionModel::NoUpdate);
    ChiaviSelezionate();
    ListFax_ItemClick();
    if (QMenu *menu = listMenuFor(ActiveList))
        menu->popup(ListFax->viewport()->mapToGlobal(pos));
}

void frmMain::ListFax_DblClick()
{
    if (!m_hitItem)
        return;
    bApriFax = true;
    lockControls();
    if (PrevKey == m_imageKey && m_imageState == ImageState::Here) {
        // The image is in the preview already: the viewer opens with it.
        bApriFax = false;
        later([this] { ApriFax(); });
        return;
    }
    if (PrevKey == m_imageKey &&
        (m_imageState == ImageState::Missing || m_imageState == ImageState::Incomplete)) {
        // Its answer came already (the click before asked it): nothing to open, nothing asked twice.
        bApriFax = false;
        SbloccaControlli();
        return;
    }
    // On its way: the viewer opens when it comes.
    if (PrevKey != m_imageKey || m_imageState == ImageState::None) {
        askImage(PrevKey);
        AppLog().WriteLog(u"ClientSock.AskFax PrevKey - dblclick"_s);
    }
    if (!bVisualizza) {
        // The viewer opens when the image arrives (MostraAnteprima); a missing image unlocks.
        if (bZuvUvucante)
            SbloccaControlli();
    } else if (bFaxArrivato) {
        bApriFax = false;
        ApriFax();
    }
}

void frmMain::ListFax_KeyUp(int key)
{
    switch (key) {
    case Qt::Key_Delete:
        if (ActiveList == DeletedList)
            EliminaFaxDefinitivo(false);
        else
            CestinaFax();
        break;
    case Qt::Key_F5:
        AggiornaLista();
        break;
    default:
        break;
    }
}

void frmMain::AggiornaLista()
{
    QTreeWidgetItem *current = ListFax->currentItem();
    if (current && current->isSelected()) {
        // The row comes back selected when the list answers (ClientSock_ListAnswer).
        m_reselectKey = static_cast<FaxListItem *>(current)->key();
        Ask4List(ActiveList);
    }
    PrevKey = u"0"_s;
    if (ListFax->topLevelItemCount() > 0) {
        ListFax->clearSelection();
        QTreeWidgetItem *first = ListFax->topLevelItem(0);
        ListFax->setCurrentItem(first);
        first->setSelected(true);
        ListFax_ItemClick(); // asks the row's image once
    }
}

// ---------------------------------------------------------------------------------------------------
// Context menus

void frmMain::buildListMenus()
{
    struct Entry
    {
        const char16_t *name;
        const char16_t *text;
        void (frmMain::*command)();
    };
    const auto make = [this](int kind, const QString &menuName, const QList<Entry> &entries) {
        auto *menu = new QMenu(this);
        menu->setObjectName(menuName);
        for (const Entry &e : entries) {
            QAction *a = nullptr;
            if (!e.text) {
                a = menu->addSeparator();
            } else {
                a = menu->addAction(ThemeIcons::forMenuEntry(QString::fromUtf16(e.name)), QString::fromUtf16(e.text));
                if (e.command)
                    connect(a, &QAction::triggered, this, e.command);
            }
            a->setObjectName(QString::fromUtf16(e.name));
        }
        m_listMenus.insert(kind, menu);
        return menu;
    };
    QMenu *inoltro = make(Forwardlist, u"mnuLstInoltro"_s,
                          {{u"mnuinoltrafax", u"Inoltra agli altri utenti", &frmMain::mnuInoltraFax},
                           {u"mnuInoltroExt", u"Inoltro via Fax", &frmMain::mnuInoltroExt},
                           {u"mnuMailI", u"Inoltra via E-Mail", &frmMain::mnuMail},
                           {u"mnuSepI1", nullptr, nullptr},
                           {u"mnuVisualizzaIFax", u"Visualizza Fax", &frmMain::mnuVisualizzaFax},
                           {u"mnuPropriet\u00e0IFax", u"Propriet\u00e0 Fax", &frmMain::mnuProprieta},
                           {u"mnuSepI2", nullptr, nullptr},
                           {u"mnuSetNotReadI", u"Segna come da leggere", nullptr},
                           {u"mnuSetNotPrintedI", u"Segna come da stampare", nullptr},
                           {u"mnuSepI3", nullptr, nullptr},
                           {u"mnuEliminaFaxI", u"Elimina Fax", &frmMain::CestinaFax}});
    QMenu *ricevuti = make(PersonalList, u"mnuLstRicevuti"_s,
                           {{u"mnuinoltrafax2", u"Inoltra agli altri utenti", &frmMain::mnuInoltraFax},
                            {u"mnuInoltroExt2", u"Inoltro via Fax", &frmMain::mnuInoltroExt},
                            {u"mnuMailR", u"Inoltra via E-Mail", &frmMain::mnuMail},
                            {u"mnuSepR1", nullptr, nullptr},
                            {u"mnuVisualizzaRFax", u"Visualizza Fax", &frmMain::mnuVisualizzaFax},
                            {u"mnuPropriet\u00e0RFax", u"Propriet\u00e0", &frmMain::mnuProprieta},
                            {u"mnuSepR2", nullptr, nullptr},
                            {u"mnuSetNotRead", u"Segna come da leggere", nullptr},
                            {u"mnuSetNotPrintedR", u"Segna come da stampare", nullptr},
                            {u"mnuSepR3", nullptr, nullptr},
                            {u"mnuEliminaFaxR", u"Elimina Fax", &frmMain::CestinaFax}});
    make(SentList, u"mnulstSpediti"_s,
         {{u"mnuInoltroExtS", u"Inoltro via Fax", &frmMain::mnuInoltroExt},
          {u"mnuMail", u"Inoltra via E-Mail", &frmMain::mnuMail},
          {u"mnuRep", u"Rapporto di trasmissione", &frmMain::mnuRep},
          {u"mnuSep3", nullptr, nullptr},
          {u"mnuVisualizzaFax", u"Visualizza Fax", &frmMain::mnuVisualizzaFax},
          {u"mnuPropriet\u00e0", u"Propriet\u00e0", &frmMain::mnuProprieta},
          {u"mnuSepS2", nullptr, nullptr},
          {u"mnuEliminaFax", u"Elimina Fax", &frmMain::CestinaFax}});
    QMenu *cestino = make(DeletedList, u"mnuLstCestino"_s,
                          {{u"mnuEliminaCest", u"Elimina Selezione", nullptr},
                           {u"mnuCestinoRipristina", u"Ripristina", &frmMain::RipristinaFax},
                           {u"mnuSepC1", nullptr, nullptr},
                           {u"mnuEliminaCestAll", u"Elimina Tutti", nullptr}});
    const auto action = [](QMenu *menu, const QString &name) { return menu->findChild<QAction *>(name); };
    for (QMenu *menu : {inoltro, ricevuti}) {
        for (const QString &name : {u"mnuSetNotReadI"_s, u"mnuSetNotRead"_s}) {
            if (QAction *a = action(menu, name))
                connect(a, &QAction::triggered, this, [this] { ImpostaLetto(false); });
        }
        for (const QString &name : {u"mnuSetNotPrintedI"_s, u"mnuSetNotPrintedR"_s}) {
            if (QAction *a = action(menu, name))
                connect(a, &QAction::triggered, this, [this] { ImpostaStampato(false); });
        }
    }
    connect(action(cestino, u"mnuEliminaCest"_s), &QAction::triggered, this,
            [this] { EliminaFaxDefinitivo(false); });
    connect(action(cestino, u"mnuEliminaCestAll"_s), &QAction::triggered, this,
            [this] { EliminaFaxDefinitivo(true); });
    // Hidden until the user's rights and the mail say otherwise.
    for (const QString &name : {u"mnuinoltrafax"_s, u"mnuMailI"_s})
        action(inoltro, name)->setVisible(false);
    for (const QString &name : {u"mnuinoltrafax2"_s, u"mnuMailR"_s})
        action(ricevuti, name)->setVisible(false);
}

QMenu *frmMain::listMenuFor(int listKind)
{
    if (m_listMenus.isEmpty())
        buildListMenus();
    QMenu *menu = m_listMenus.value(listKind, nullptr);
    if (!menu)
        return nullptr;
    const auto show = [menu](const QString &name, bool visible) {
        if (QAction *a = menu->findChild<QAction *>(name))
            a->setVisible(visible);
    };
    switch (listKind) {
    case Forwardlist:
        show(u"mnuinoltrafax"_s, IsForwarduser);
        show(u"mnuMailI"_s, isMail);
        break;
    case PersonalList:
        show(u"mnuinoltrafax2"_s, IsForwarduser);
        show(u"mnuMailR"_s, isMail);
        break;
    case SentList:
        show(u"mnuMail"_s, isMail);
        show(u"mnuSep3"_s, isMail);
        break;
    default:
        break;
    }
    return menu;
}

void frmMain::enableSingleItems(bool single)
{
    if (m_listMenus.isEmpty())
        buildListMenus();
    static const QHash<int, QStringList> items = {
        {Forwardlist,
         {u"mnuPropriet\u00e0IFax"_s, u"mnuinoltrafax"_s, u"mnuInoltroExt"_s, u"mnuVisualizzaIFax"_s,
          u"mnuMailI"_s}},
        {PersonalList,
         {u"mnuPropriet\u00e0RFax"_s, u"mnuInoltroExt2"_s, u"mnuinoltrafax2"_s, u"mnuMailR"_s,
          u"mnuVisualizzaRFax"_s}},
        {SentList, {u"mnuPropriet\u00e0"_s, u"mnuMail"_s, u"mnuRep"_s, u"mnuVisualizzaFax"_s}},
        {DeletedList, {u"mnuCestinoRipristina"_s}},
    };
    QMenu *menu = m_listMenus.value(ActiveList, nullptr);
    if (!menu)
        return;
    for (const QString &name : items.value(ActiveList)) {
        if (QAction *a = menu->findChild<QAction *>(name))
            a->setEnabled(single);
    }
}

// ---------------------------------------------------------------------------------------------------
// Trash, restore, delete for good

int frmMain::removeRows(const RowTest &qualifies, const QString &progress, int total, QStringList *ids,
                        int *lastIdx)
{
    // One pass over the rows; the rows that stay go back into the list in one step, in their order.
    const int rows = ListFax->topLevelItemCount();
    std::vector<char> goes(size_t(rows), 0);
    int k = 0;
    for (int i = 0; i < rows; ++i) {
        auto *item = static_cast<FaxListItem *>(ListFax->topLevelItem(i));
        // position: where the row stands once the rows before it that go have gone (1-based)
        if (qualifies(item, i - k + 1)) {
            goes[size_t(i)] = 1;
            ++k;
            *lastIdx = i - k + 2;
        }
    }
    if (k == 0)
        return 0;
    if (!progress.isEmpty())
        setPanelText(1, progress + QString::number(k) + u" di "_s + QString::number(total) + u")"_s);
    const QList<QTreeWidgetItem *> all = ListFax->invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem *> kept;
    kept.reserve(all.size() - k);
    QSet<QString> goneKeys;
    goneKeys.reserve(k);
    int unreadGone = 0;
    for (int i = 0; i < all.size(); ++i) {
        auto *item = static_cast<FaxListItem *>(all.at(i));
        if (!goes[size_t(i)]) {
            kept.append(item);
            continue;
        }
        const QString key = item->key();
        if (ids)
            ids->append(bareId(key));
        if (item->isBold())
            ++unreadGone;
        goneKeys.insert(key);
        m_rows.remove(key);
        if (m_hitItem == item)
            m_hitItem = nullptr;
        delete item;
    }
    ListFax->addTopLevelItems(kept);
    if (CollFaxItem *faxes = ClientSock->FaxItems())
        faxes->removeIf([&goneKeys](const FaxItem &fax) { return goneKeys.contains(fax.IdFax()); });
    m_ranked.reset();
    // Unread faxes that left the list leave the caption's count too.
    aggDaLeggere = std::max(0, aggDaLeggere - unreadGone);
    return k;
}

void frmMain::selectRowAfterRemoval(int lastIdx)
{
    const int count = ListFax->topLevelItemCount();
    if (count == 0)
        return;
    QTreeWidgetItem *row = lastIdx >= 1 && lastIdx <= count ? ListFax->topLevelItem(lastIdx - 1)
                                                            : ListFax->topLevelItem(count - 1);
    ListFax->clearSelection();
    ListFax->setCurrentItem(row);
    row->setSelected(true);
    if (CollFaxItem *faxes = ClientSock->FaxItems()) {
        if (FaxItem *fax = faxes->Item(static_cast<FaxListItem *>(row)->key()))
            fax->setSelected(true);
    }
    ListFax_ItemClick();
    ChiaviSelezionate();
    ListFax->viewport()->update();
}

void frmMain::CestinaFax()
{
    const int n = int(ListFax->selectedItems().size());
    if (n == 0 || ListFax->topLevelItemCount() == 0)
        return;
    if (Prompt::message(this, QMessageBox::Question, u"Elimina Fax"_s,
                        u"Sicuro di voler eliminare i fax selezionati?"_s,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString kept = panelText(1);
    setPanelText(1, u"Cancellazione in corso..."_s);
    setCursor(Qt::WaitCursor);
    QStringList ids;
    int lastIdx = 0;
    const int gone = removeRows([](FaxListItem *item, int) { return item->isSelected(); },
                                u"Cancellazione in corso... ("_s, n, &ids, &lastIdx);
    setPanelText(1, kept);
    unsetCursor();
    emptyPreview();
    if (gone > 0) {
        ClientSock->CancelFax(u"("_s + ids.join(u',') + u")"_s);
        AggiornaTitoloLista(aggDaLeggere);
    }
    if (ListFax->topLevelItemCount() > 0)
        selectRowAfterRemoval(lastIdx);
}

void frmMain::RipristinaFax()
{
    if (ListFax->topLevelItemCount() == 0)
        return;
    if (Prompt::message(this, QMessageBox::Question, u"Elimina Fax"_s,
                        u"Sicuro di voler ripristinare i fax selezionati?"_s,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString kept = panelText(1);
    setPanelText(1, u"Ripristino in corso..."_s);
    setCursor(Qt::WaitCursor);
    const int n = int(ListFax->selectedItems().size());
    QStringList ids;
    int lastIdx = 0;
    const int gone = removeRows([](FaxListItem *item, int) { return item->isSelected(); },
                                u"Ripristino in corso... ("_s, n, &ids, &lastIdx);
    setPanelText(1, kept);
    unsetCursor();
    emptyPreview();
    if (gone > 0) {
        ClientSock->RestoreFax(m_currTreeID, u"("_s + ids.join(u',') + u")"_s);
        AggiornaTitoloLista(aggDaLeggere);
    }
}

void frmMain::EliminaFaxDefinitivo(bool bAll)
{
    // Nothing to delete: no question.
    if (ListFax->topLevelItemCount() == 0 || (!bAll && ListFax->selectedItems().isEmpty()))
        return;
    const QString text = bAll ? u"Sicuro di voler eliminare DEFINITIVAMENTE tutti i fax?"_s
                              : u"Sicuro di voler eliminare DEFINITIVAMENTE i fax selezionati?"_s;
    if (Prompt::message(this, QMessageBox::Question, u"Elimina Fax"_s, text,
                        QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const QString kept = panelText(1);
    setCursor(Qt::WaitCursor);
    CollFaxesSelected *keys = ClientSock->FaxesSelected();
    keys->RemoveAll();
    const int n = bAll ? ListFax->topLevelItemCount() : int(ListFax->selectedItems().size());
    bool inUse = false;
    int candidates = 0;
    int lastIdx = 0;
    const auto candidate = [bAll](FaxListItem *item) { return bAll || item->isSelected(); };
    // Faxes other users hold stay; lastIdx follows every candidate, kept or not.
    const int gone = removeRows(
        [&](FaxListItem *item, int position) {
            if (!candidate(item))
                return false;
            ++candidates;
            if (item->iconName() != u"empty"_s) {
                inUse = true;
                lastIdx = position;
                return false;
            }
            keys->Add(item->key());
            return true;
        },
        u"Cancellazione in corso... ("_s, n, nullptr, &lastIdx);
    if (gone > 0) {
        ClientSock->DeleteFax(m_currTreeID);
        AggiornaTitoloLista(aggDaLeggere);
    }
    if (inUse)
        Prompt::message(
            this, QMessageBox::Information, ProgramTitle(),
            u"Attenzione!! Alcuni fax sono utilizzati da altri utenti, impossibile eliminarli!"_s);
    if (candidates > 0 && ListFax->topLevelItemCount() > 0)
        selectRowAfterRemoval(lastIdx);
    unsetCursor();
    emptyPreview();
    setPanelText(1, kept);
}

// ---------------------------------------------------------------------------------------------------
// Viewer

void frmMain::mnuVisualizzaFax()
{
    bVisualizza = true;
    LanciaApriFax();
}

void frmMain::LanciaApriFax()
{
    if (m_hitItem && bVisualizza) {
        lockControls();
        ApriFax();
    }
}

void frmMain::ApriFax()
{
    const QString key = GetCurrentKey().isEmpty() ? m_lastAskedKey : GetCurrentKey();
    const QString file = m_currentFaxFile;
    if (file.trimmed().isEmpty() || !QFileInfo(file).isFile()) {
        // The image has not come (or went): say so rather than doing nothing.
        Prompt::message(this, QMessageBox::Warning, u"Visualizzatore"_s,
                        u"File "_s + file.trimmed() + u" non presente."_s);
        SbloccaControlli();
        ListFax->setFocus();
        return;
    }
    lockControls();
    const ViewerOutcome r = ShowFaxViewer(
        this, ClientSock, file, key, ActiveList >= 0 && ActiveList <= 2,
        [this](const QString &printedKey) {
            // The viewer printed its fax: the mark goes to that fax's row when it is still selected.
            if (GetCurrentKey() == printedKey)
                PrintedMng();
        },
        [this] { bSalvataggioFax = true; });
    if (!r.shown)
        AppLog().WriteLog(u"errore aprendo file "_s + file);
    SbloccaControlli();
    if (r.bInoltro && !key.isEmpty()) {
        m_forwardKey = key;
        lockControls();
        m_answers.asked(AnswerQueue::Forward, key);
        ClientSock->AskFormForward(key);
    }
    if (r.bElimina)
        CestinaFax();
}

// ---------------------------------------------------------------------------------------------------
// Forwarding

void frmMain::mnuInoltraFax()
{
    if (CurrentKey.isEmpty())
        return;
    lockControls();
    m_forwardKey = CurrentKey;
    m_answers.asked(AnswerQueue::Forward, CurrentKey);
    ClientSock->AskFormForward(CurrentKey);
}

void frmMain::ClientSock_RxFrmForward(ListItemFrmForward *UsersList, ListItemFrmForward *GroupsList)
{
    // The lists name no fax: they answer the oldest forward asked, and only the last one asked opens
    // the dialog (its wait goes on).
    const auto asked = m_answers.takeFirst(AnswerQueue::Forward);
    if (!asked || !asked->latest)
        return;
    const int answer = ++m_forwardAnswers;
    later([this, UsersList, GroupsList, answer] {
        // A later answer replaced these lists; its own step shows them.
        if (answer != m_forwardAnswers) {
            return;
        }
        forwardChosen(GetCurrentKey(), UsersList, GroupsList);
    });
}

void frmMain::forwardChosen(const QString &key, ListItemFrmForward *users, ListItemFrmForward *groups)
{
    // The lists answer the fax asked for; a selection changed meanwhile forwards nothing.
    if (key.isEmpty() || (!m_forwardKey.isEmpty() && key != m_forwardKey) || !users || !groups) {
        SbloccaControlli();
        return;
    }
    frmInoltra dialog(this);
    dialog.fMain = this;
    dialog.chiave = key;
    dialog.Gruppi = groups;
    dialog.Utenti = users;
    Prompt::exec(&dialog);
    if (dialog.ok) {
        FaxListItem *row = m_rows.value(key, nullptr);
        if (ActiveList == Forwardlist && row) {
            const QString icon = row->iconName().endsWith(u"pr"_s) ? u"inoltratopr"_s : u"inoltrato"_s;
            row->setIconName(icon, ListIcons::faxIcon(icon));
        }
        ClientSock->ForwardGroupsUsers(key, users, groups);
        if (isMail && row) {
            QStringList cells{row->text(0)};
            for (int c = 1; c < ListFax->columnCount(); ++c)
                cells << row->text(c);
            const QString text = FaxListText::ComposeFaxMailText(ActiveList, cells);
            m_mail.SendForwardMails(dialog.sUsersMails, dialog.sUsersMails_Attach, text, m_currentFaxFile);
        }
    }
    m_forwardKey.clear();
    SbloccaControlli();
}

void frmMain::mnuInoltroExt()
{
    QTreeWidgetItem *current = ListFax->currentItem();
    if (current && current->isSelected())
        InoltroEsterno(m_currentFaxFile);
}

void frmMain::InoltroEsterno(const QString &FileName)
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        Prompt::message(this, QMessageBox::Warning, u"Attenzione"_s, u"File non trovato"_s);
        return;
    }
    // The preview's copy is replaced by the next image shown: the send dialog gets a file of its own.
    QString file = FileName;
    const QString dir = GetTempDir();
    if (!dir.isEmpty() && FileName.startsWith(dir + u"QVPREVIEW"_s)) {
        const QString copy = dir + u"QVINOLTRO"_s + QString::number(++m_forwardCopies) + u".TIF"_s;
        QFile::remove(copy);
        if (QFile::copy(FileName, copy))
            file = copy;
    }
    FRMSEND2 *send = FRMSEND2::defaultInstance(this);
    send->setClientSock(ClientSock);
    send->setfMain(this);
    send->setItemOpen(file);
    send->show();
    send->raise();
}

// ---------------------------------------------------------------------------------------------------
// Properties, report, mail

void frmMain::mnuProprieta()
{
    if (CurrentKey.isEmpty())
        return;
    m_answers.asked(AnswerQueue::Properties, QString::number(ActiveList) + u':' + CurrentKey);
    ClientSock->GetProperties(CurrentKey);
}

void frmMain::ClientSock_RxPropertyFax(int)
{
    // The answer is read against the list on show when it comes: the list it was asked in tells.
    const auto answer = m_answers.takeFirst(AnswerQueue::Properties);
    if (!answer || !answer->latest)
        return;
    const int pActiveList = answer->tag.section(u':', 0, 0).toInt();
    if (pActiveList != ActiveList)
        return;
    CollFaxItem *faxes = ClientSock->FaxItems();
    if (!faxes || faxes->Count() < 1)
        return;
    // Modeless: shown from inside the event without a nested loop.
    auto *dialog = new frmPropFax(this);
    dialog->p_Activelist = pActiveList;
    dialog->p_itemfax = *faxes->Item(1);
    dialog->show();
}

void frmMain::mnuRep()
{
    if (CurrentKey.isEmpty())
        return;
    m_answers.asked(AnswerQueue::Report, CurrentKey);
    ClientSock->GetReport(CurrentKey);
}

void frmMain::DoReport(const FaxItem &fax)
{
    if (!m_reportPrinter)
        m_reportPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(m_reportPrinter.get(), this);
    dialog.setObjectName(u"dlgCommonDialog"_s);
    dialog.setWindowTitle(u"Stampa"_s);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    m_reportChoice.restore(dialog);
    if (Prompt::exec(&dialog) != QDialog::Accepted)
        return; // cancelled: nothing printed, nothing said
    m_reportChoice.keep(dialog);
    frmPrint2 report;
    report.values = CaricaDati(fax);
    report.valTitles = FaxListText::ReportTitles();
    report.AutoStampa(m_reportPrinter.get());
}

void frmMain::mnuMail()
{
    SpedisciMail(CurrentKey, QString());
}

void frmMain::SpedisciMail(const QString &key, const QString &fileName)
{
    QString text;
    if (key != u"-1"_s) {
        if (FaxListItem *row = m_rows.value(key, nullptr)) {
            QStringList cells{row->text(0)};
            for (int c = 1; c < ListFax->columnCount(); ++c)
                cells << row->text(c);
            text = FaxListText::ComposeFaxMailText(ActiveList, cells);
        }
    }
    m_mail.SpedisciMail(key, fileName, key == u"-1"_s ? QString() : m_currentFaxFile, text);
}
