// The main window's handlers of the server link's events. A handler that must ask or tell the user
// something does it after the link's event has returned (later()), so frames keep flowing meanwhile.
#include "frmMain.h"

#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "FormHelpers.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "StringTable.h"
#include "SystemUtils.h"
#include "clsLog.h"
#include "frmAbout2.h"
#include "frmSendStatus.h"
#include "frmSplash.h"
#include "UpdateWatch.h"
#include "frmUpdateDownload.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <utility>

using namespace Qt::StringLiterals;

void frmMain::connectClientSock()
{
    QuorinSock *s = ClientSock;
    connect(s, &QuorinSock::Error, this,
            [this](int n, const QString &d, int, const QString &src, const QString &, int, bool) {
                ClientSock_Error(n, d, src);
            });
    connect(s, &QuorinSock::Connected, this, &frmMain::ClientSock_Connected);
    connect(s, &QuorinSock::ReConnected, this, &frmMain::ClientSock_ReConnected);
    connect(s, &QuorinSock::ServerNotAvailable, this, &frmMain::ClientSock_ServerNotAvailable);
    connect(s, &QuorinSock::RxForwardList, this, [this] { ClientSock_ListAnswer(Forwardlist); });
    connect(s, &QuorinSock::RxPersonalList, this, [this] { ClientSock_ListAnswer(PersonalList); });
    connect(s, &QuorinSock::RxSentList, this, [this] { ClientSock_ListAnswer(SentList); });
    connect(s, &QuorinSock::RxDeletedList, this, [this] { ClientSock_ListAnswer(DeletedList); });
    connect(s, &QuorinSock::RxNewFax, this,
            [this](FaxItem *item, typeOfList list) { ClientSock_RxNewFax(item, int(list)); });
    connect(s, &QuorinSock::RxChildrenTree, this, &frmMain::ClientSock_RxChildrenTree);
    connect(s, &QuorinSock::RxNumFax, this, &frmMain::ClientSock_RxNumFax);
    connect(s, &QuorinSock::RxFaxOkKey, this, &frmMain::ClientSock_RxFaxOkKey);
    connect(s, &QuorinSock::RxFaxIncomplete, this, &frmMain::ClientSock_RxFaxIncomplete);
    connect(s, &QuorinSock::ConnectionNotAvailable, this, &frmMain::ClientSock_ConnectionNotAvailable);
    connect(s, &QuorinSock::LinkLost, this, &frmMain::ClientSock_LinkLost);
    connect(s, &QuorinSock::AddedNewFolder, this, &frmMain::ClientSock_AddedNewFolder);
    connect(s, &QuorinSock::RxPropertyFax, this, [this](typeOfList l) { ClientSock_RxPropertyFax(int(l)); });
    connect(s, &QuorinSock::RxReportFax, this, [this](typeOfList l) { ClientSock_RxReportFax(int(l)); });
    connect(s, &QuorinSock::RxFaxNotFound, this, &frmMain::ClientSock_RxFaxNotFound);
    connect(s, &QuorinSock::RxFrmForward, this, &frmMain::ClientSock_RxFrmForward);
    connect(s, &QuorinSock::MaxUsersLimit, this, &frmMain::ClientSock_MaxUsersLimit);
    connect(s, &QuorinSock::SentFax2Server, this, &frmMain::ClientSock_SentFax2Server);
    connect(s, &QuorinSock::UpdateOcxNeed, this, &frmMain::ClientSock_UpdateOcxNeed);
    connect(s, &QuorinSock::UpdateServerNeed, this, &frmMain::ClientSock_UpdateServerNeed);
    connect(s, &QuorinSock::ReceivingUpdate, this, &frmMain::ClientSock_ReceivingUpdate);
    connect(s, &QuorinSock::DownloadUpdComplete, this, &frmMain::ClientSock_DownloadUpdComplete);
    m_updateWatch = new UpdateWatch(s);
    connect(m_updateWatch, &UpdateWatch::NotReceived, this, &frmMain::updateNotReceived);
    connect(s, &QuorinSock::ProgressStatusTX, this, &frmMain::ClientSock_ProgressStatusTX);
    connect(s, &QuorinSock::ProgressStatusStart, this, &frmMain::ClientSock_ProgressStatusStart);
    connect(s, &QuorinSock::ProgressStatusEnd, this, &frmMain::ClientSock_ProgressStatusEnd);
    connect(s, &QuorinSock::RxPhoneBook, this, &frmMain::ClientSock_RxPhoneBook);

    // The link changes state without an event of its own (a cut, a reconnection under way): the status
    // bar follows it, so it never keeps a state the link has left.
    auto *follow = new QTimer(this);
    follow->setObjectName(u"tmrLinkState"_s);
    follow->setInterval(250);
    connect(follow, &QTimer::timeout, this, [this] {
        const QString text = linkStatusText();
        if (m_panels.size() > 1 && m_panels.at(1)->text() != text)
            setPanelText(2, text);
    });
    follow->start();
}

void frmMain::ClientSock_Error(int Number, const QString &Description, const QString &Source)
{
    AppLog().WriteLog(u"Errore ClientSock - "_s + QString::number(Number) + u" - "_s + Description +
                      u" - "_s + Source);
    SbloccaControlli();
    m_dragKeys.clear();
    ListFax->setDragEnabled(false); // until the next login
}

void frmMain::ClientSock_Connected(const QString &Server, int SockPort, bool forwardUser)
{
    // The version question is modal: asked once the link's event has returned.
    later([this, Server, SockPort, forwardUser] { loginAccepted(Server, SockPort, forwardUser); });
}

void frmMain::loginAccepted(const QString &Server, int SockPort, bool forwardUser)
{
    const QString own = ProgramVersion();
    const QString server = ClientSock->QuorinVersion();
    // Versions compare number by number (1.2.10 is newer than 1.2.9); a server that announced no
    // version gives nothing to compare.
    const int cmp = server.isEmpty() ? 0 : QuorinSock::compareVersions(own, server);
    if (cmp < 0 || m_bUpdateOcx) {
        const auto answer = Prompt::message(this, QMessageBox::Warning, ProgramTitle(), LoadResString(2067),
                                            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            m_LanciaUpdate = true;
            m_updateWatch->UpdateFiles();
        }
    } else if (cmp > 0) {
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(), LoadResString(2066));
    }
    if (m_LanciaUpdate)
        return; // the window stays hidden; the start-up routine waits for the download

    ConfigIni.Server = Server;
    ConfigIni.Port = SockPort;
    IsForwarduser = forwardUser;
    UserReceived = true;
    Connected = true;
    m_linkLost = m_lossTold = false;
    m_serverView.reset();
    m_answers.clear(); // a new login: nothing asked before it is coming
    WinsockStatus();
    WriteServerSettings(ConfigIni.Server, ConfigIni.Port);

    NomeUtente = ClientSock->UserName();
    AppLog().WriteLog(u"Genera struttura con User: "_s + NomeUtente);
    m_tree.clear();
    GenerateTreeStruct();
    ListFax->setDragEnabled(true); // rows drag to the tree again

    if (!isVisible()) {
        lower();
        show();
        m_shownOnce = true;
    }
    Init();
    StartMail();
    if (IsForwarduser)
        TVNodiInoltro();
    else
        TVNodiRicevuti();
    ListFax_Click();
    ResizeForm();
    FirstSelection(0);

    AppLog().WriteLog(u"Fine caricamento - UtenteInoltro: "_s + (IsForwarduser ? u"True"_s : u"False"_s));
    AppLog().WriteLine();
    AppLog().WriteLog(u"Connesso al server: "_s + ConfigIni.Server);
    AppLog().WriteLog(u"Utente: "_s + NomeUtente);
    Q_EMIT startStateChanged();
}

void frmMain::ClientSock_ReConnected(const QString &Server, int, bool forwardUser)
{
    ConfigIni.Server = Server;
    IsForwarduser = forwardUser;
    UserReceived = true;
    Connected = true;
    ListFax->setDragEnabled(true); // logged in again: rows drag to the tree again
    m_linkLost = m_lossTold = false;
    // What was given while the link logged in again has gone to the server, after this login.
    m_serverView.reset();
    WinsockStatus();
    Q_EMIT startStateChanged();
}

void frmMain::ClientSock_ServerNotAvailable(const QString &, int SockPort)
{
    later([this, SockPort] {
        const QString text = u"Impossibile connettersi al server: "_s + ConfigIni.Server +
                             u"\nVuoi collegarti ad un altro server?"_s;
        const auto answer = Prompt::message(this, QMessageBox::Critical, u"Quorin"_s, text,
                                            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            setStartFlag(m_AbortCmd);
            return;
        }
        if (!ClientSock->FindServer(QString(), SockPort)) {
            setStartFlag(m_AbortCmd);
            return;
        }
        ConfigIni.Server = ClientSock->SockServer();
        ConfigIni.Port = ClientSock->SockPort();
        WriteServerSettings(ConfigIni.Server, ConfigIni.Port);
        if (!ConfigIni.Server.isEmpty() && ConfigIni.Port != 0)
            ClientSock->Connect(ConfigIni.Server, ConfigIni.Port);
    });
}

void frmMain::ClientSock_MaxUsersLimit()
{
    later([this] {
        Prompt::message(
            this, QMessageBox::Critical, ProgramTitle(),
            u"Impossibile aprire Quorin!\nRaggiunto massimo numero di utenti connessi al server.\n"_s);
        setStartFlag(m_AbortCmd);
    });
}

void frmMain::ClientSock_ConnectionNotAvailable(const QString &, int)
{
    ListFax->setDragEnabled(false); // until the next login
    // The link refused what it kept for its new login: nothing of it reached the server, so the tree and
    // the list show again what the server holds, and no answer asked is coming.
    endLinkWaits();
    showServerView();
    tellLinkLost();
}

void frmMain::ClientSock_LinkLost()
{
    // The server ended the link: nothing asked on it is coming.
    m_linkLost = true;
    ListFax->setDragEnabled(false); // until the next login
    const bool waiting = waitsForServer();
    endLinkWaits();
    keepServerView();
    if (waiting)
        tellLinkLost();
}

bool frmMain::waitsForServer() const
{
    return m_listPending || m_answers.isOpen(AnswerQueue::Image) || !ListFax->isEnabled() || !TVNodi->isEnabled();
}

struct frmMain::ServerView
{
    struct Folder
    {
        QString key, parent, text;
        bool shared = false;
    };
    QList<Folder> folders; // parents first
    QStringList expanded;
    QString node; // the node on show
    int activeList = 0;
    int currTreeID = 1;
    QString testoNodo, caption;
    int unread = 0;
    bool rootShown = false;
    std::vector<std::shared_ptr<FaxListItem>> rows;
    QString selected;
};

void frmMain::keepServerView()
{
    auto view = std::make_shared<ServerView>();
    for (QTreeWidgetItemIterator it(TVNodi); *it; ++it) {
        QTreeWidgetItem *node = *it;
        const QString key = FolderTree::key(node);
        if (node->isExpanded())
            view->expanded << key;
        if (key.startsWith(u'F') && node->parent())
            view->folders.append({key, FolderTree::key(node->parent()), node->text(0),
                                  node->data(0, FolderTree::SharedRole).toBool()});
    }
    view->node = m_currentNode && m_tree.indexOf(m_currentNode) > 0 ? FolderTree::key(m_currentNode) : QString();
    view->activeList = ActiveList;
    view->currTreeID = m_currTreeID;
    view->testoNodo = m_testoNodo;
    view->caption = fraListFax->title();
    view->unread = aggDaLeggere;
    view->rootShown = fraRoot->isVisible();
    view->selected = GetCurrentKey();
    for (int i = 0; i < ListFax->topLevelItemCount(); ++i) {
        if (QTreeWidgetItem *row = ListFax->topLevelItem(i); row->type() == FaxListItem::Type)
            view->rows.push_back(std::make_shared<FaxListItem>(*static_cast<FaxListItem *>(row)));
    }
    m_serverView = std::move(view);
}

void frmMain::showServerView()
{
    if (!m_serverView)
        return;
    const ServerView &view = *m_serverView;
    // Put back as it was: nothing here asks the server anything.
    m_currentNode = m_menuNode = m_newFolderParent = m_dragNode = m_dragRoot = m_dropHighlight = nullptr;
    m_hitItem = nullptr;
    m_tree.build(NomeUtente, IsForwarduser);
    for (const ServerView::Folder &f : view.folders)
        m_tree.addFolderNode(m_tree.node(f.parent), f.text, f.key, f.shared);
    for (const QString &key : view.expanded) {
        if (QTreeWidgetItem *node = m_tree.node(key))
            node->setExpanded(true);
    }
    ActiveList = view.activeList;
    m_currTreeID = view.currTreeID;
    m_testoNodo = view.testoNodo;
    m_currentNode = m_tree.node(view.node);
    if (m_currentNode)
        TVNodi->setCurrentItem(m_currentNode);
    InitList(ActiveList == DeletedList);
    QList<QTreeWidgetItem *> rows;
    for (const auto &row : view.rows) {
        auto *copy = new FaxListItem(*row);
        m_rows.insert(copy->key(), copy);
        rows << copy;
    }
    ListFax->addTopLevelItems(rows);
    InizializzaLst();
    aggDaLeggere = view.unread;
    fraListFax->setTitle(view.caption);
    fraRoot->setVisible(view.rootShown);
    fraListFax->setVisible(!view.rootShown);
    if (FaxListItem *row = m_rows.value(view.selected, nullptr)) {
        ListFax->setCurrentItem(row);
        row->setSelected(true);
        CurrentKey = view.selected;
    }
    SbloccaControlli();
}

void frmMain::endLinkWaits()
{
    m_answers.clear();
    bApriFax = false;
    if (m_imageState == ImageState::Asked)
        m_imageState = ImageState::None; // asked again by the next click
    if (std::exchange(m_listPending, false)) {
        // The list never came: it shows nothing, its caption says so, and no fax of another list stays
        // in the preview.
        m_reselectKey.clear();
        m_svuotaPending.clear();
        aggDaLeggere = 0;
        AggiornaTitoloLista(0);
        emptyPreview();
        fraRoot->hide();
        fraListFax->show();
    }
    m_forwardKey.clear();
    SbloccaControlli();
}

void frmMain::tellLinkLost()
{
    if (std::exchange(m_lossTold, true))
        return; // once until the next login
    later([this] {
        Prompt::message(this, QMessageBox::Critical, u"Attenzione"_s,
                        u"Comunicazione col server non disponibile.\nPrego verificare."_s);
    });
}

void frmMain::ClientSock_ListAnswer(int listKind)
{
    // The link raises only the answers of its active list; those of other lists asked before it were
    // dropped on the way. The answer of a list asked before the last one is not shown.
    const auto answer = m_answers.takeFor(
        AnswerQueue::List, [listKind](const QString &tag) { return tag.section(u':', 0, 0).toInt() == listKind; });
    if (!answer || !answer->latest) {
        AppLog().WriteLog(u"Lista non più richiesta: "_s + (answer ? answer->tag : QString::number(listKind)));
        return;
    }
    if (ActiveList != listKind)
        return;
    m_listPending = false;
    GetNuovi(ClientSock->FaxItems(), true);
    // A refresh (F5) selects again the row that was selected.
    const QString again = std::exchange(m_reselectKey, QString());
    if (FaxListItem *row = again.isEmpty() ? nullptr : m_rows.value(again, nullptr)) {
        ListFax->clearSelection();
        ListFax->setCurrentItem(row);
        row->setSelected(true);
        ListFax_ItemClick();
    }
    // "Svuota Cestino" on a trash node that was not on show: its list is here now.
    if (!m_svuotaPending.isEmpty()) {
        const QString node = std::exchange(m_svuotaPending, QString());
        if (listKind == DeletedList && m_currentNode && FolderTree::key(m_currentNode) == node)
            later([this] { EliminaFaxDefinitivo(true); });
    }
}

void frmMain::ClientSock_RxNewFax(FaxItem *NewFaxItem, int pActiveList)
{
    if (!NewFaxItem || pActiveList != ActiveList)
        return;
    // Only a list root shows the faxes that arrive; a folder keeps what it was given.
    QTreeWidgetItem *node = TVNodi->currentItem();
    if (node && FolderTree::key(node).startsWith(u'F'))
        return;
    CaricaRiga(*NewFaxItem);
    bool notify = true;
    if (IsSettingOn(ConfigIni.Live)) {
        if (IsProcessRunning(u"QUORINLIVE"_s))
            notify = false; // the tray launcher tells the user
        else
            notify = ActiveList == 0 || ActiveList == 1;
    }
    if (notify)
        showNewFaxIcon();
    if (notify && ConfigIni.VisualizzaMsgFaxRx)
        later(
            [this] { Prompt::message(this, QMessageBox::Information, ProgramTitle(), LoadResString(2093)); });
    ++aggDaLeggere;
    AggiornaTitoloLista(aggDaLeggere);
}

void frmMain::ClientSock_RxChildrenTree()
{
    // The tree is asked folder by folder at login, and a folder with nothing under it gets no event:
    // its answers are taken while that login's request is open, never those of a link that ended.
    if (!m_answers.isOpen(AnswerQueue::Tree))
        return;
    if (collNodeItem *folders = ClientSock->CollItems())
        AddTreeFolders(*folders);
}

void frmMain::ClientSock_RxNumFax(int)
{
    // The count goes before its list: it empties the list only when that list is the last one asked.
    if (m_answers.openCount(AnswerQueue::List) != 1)
        return;
    m_ranked.reset();
    m_rows.clear();
    ListFax->clear();
    // Captioned once emptied: it never counts rows that are gone.
    AggiornaTitoloLista(-1);
    emptyPreview();
}

void frmMain::ClientSock_RxFaxOkKey(const QString &FileName, const QString &KeyFax)
{
    AppLog().WriteLog(u"RxFaxOkKey "_s + KeyFax);
    if (m_answers.contains(AnswerQueue::Image, KeyFax))
        takeImageAnswer(KeyFax);
    if (KeyFax != m_lastAskedKey) {
        AppLog().WriteLog(u"RxFaxOkKey - NON MI INTERESSA"_s);
        return;
    }
    m_currentFaxFile = keepReceivedImage(FileName, KeyFax);
    MostraAnteprima(m_currentFaxFile, m_lastAskedKey);
    AppLog().WriteLog(u"RxFaxOkKey fine "_s + KeyFax);
}

void frmMain::ClientSock_RxFaxIncomplete()
{
    // The answer of a row no longer asked leaves the row asked last, its viewer and its wait alone.
    const QString key = takeImageAnswer();
    if (key.isEmpty() || key != m_lastAskedKey) {
        AppLog().WriteLog(u"RxFaxIncomplete - NON MI INTERESSA "_s + key);
        return;
    }
    LumagPreview->Pulizia();
    LumagPreview->Refresh();
    LumagPreview->setBackColor(palette().color(QPalette::Inactive, QPalette::Mid));
    setPanelText(1, u"Immagine incompleta : riprovare"_s);
    // A viewer waiting for this image does not open; the window is usable again, and a click asks the
    // row again.
    bApriFax = false;
    bFaxArrivato = false;
    if (key == m_imageKey)
        m_imageState = ImageState::Incomplete;
    SbloccaControlli();
}

void frmMain::ClientSock_RxFaxNotFound(int KeyFax)
{
    const QString key = takeImageAnswer(QString::number(KeyFax));
    if (key.isEmpty() || key != m_lastAskedKey) {
        AppLog().WriteLog(u"RxFaxNotFound - NON MI INTERESSA "_s + key);
        return;
    }
    LumagPreview->Pulizia();
    LumagPreview->Refresh();
    LumagPreview->setBackColor(QColor(128, 255, 255));
    setPanelText(1, u"File mancante"_s);
    bVisualizza = false;
    bZuvUvucante = true;
    if (m_imageState == ImageState::Asked)
        m_imageState = ImageState::Missing;
    SbloccaControlli();
}

void frmMain::ClientSock_AddedNewFolder(const QString &FolderName, int NodeKey, bool SharedFolder)
{
    QTreeWidgetItem *selected = TVNodi->currentItem();
    // The folder goes where it was asked for, also when another node was selected meanwhile.
    QTreeWidgetItem *parent = m_newFolderParent ? m_newFolderParent : selected;
    m_newFolderParent = nullptr;
    m_tree.addFolderNode(parent, FolderName, u"F"_s + QString::number(NodeKey), SharedFolder);
    if (selected)
        TVNodi->setCurrentItem(selected);
    markShownFolder();
}

void frmMain::ClientSock_RxReportFax(int)
{
    const auto answer = m_answers.takeFirst(AnswerQueue::Report);
    if (!answer || !answer->latest)
        return;
    CollFaxItem *faxes = ClientSock->FaxItems();
    if (!faxes || faxes->Count() < 1)
        return;
    const FaxItem fax = *faxes->Item(1);
    later([this, fax] { DoReport(fax); });
}

void frmMain::ClientSock_SentFax2Server(const QString &)
{
    // The answer to a save from the preview or viewer tells nothing to the user; the next one does.
    if (std::exchange(bSalvataggioFax, false))
        return;
    later([this] {
        MsgBoxEx(this, LoadResString(2092), QMessageBox::Information, QMessageBox::Ok, ProgramTitle());
    });
}

void frmMain::ClientSock_UpdateOcxNeed(const QString &)
{
    m_bUpdateOcx = true;
}

void frmMain::ClientSock_UpdateServerNeed()
{
    later([this] {
        QApplication::beep();
        Prompt::message(this, QMessageBox::Warning, ProgramTitle(), LoadResString(2066));
    });
}

void frmMain::ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived)
{
    if (TotBytesToReceive == 0) {
        m_UpdateError = true;
        setStartFlag(m_UpdateRX);
        return;
    }
    if (!m_updateDownload)
        m_updateDownload = new frmUpdateDownload(this);
    m_updateDownload->pbDownLoad->setMaximum(TotBytesToReceive);
    m_updateDownload->pbDownLoad->setValue(TotBytesReceived == 0 ? m_updateDownload->pbDownLoad->minimum()
                                                                 : TotBytesReceived);
    m_updateDownload->show();
}

void frmMain::ClientSock_DownloadUpdComplete()
{
    if (m_updateDownload)
        m_updateDownload->hide();
    setStartFlag(m_UpdateRX);
}

void frmMain::updateNotReceived()
{
    if (!m_LanciaUpdate || m_UpdateRX)
        return;
    // No update to hand over: the start goes on with this version, on a new login (which may offer the
    // update again).
    m_LanciaUpdate = false;
    if (m_updateDownload)
        m_updateDownload->hide();
    Prompt::message(this, QMessageBox::Warning, ProgramTitle(), UpdateWatch::notReceivedText());
    if (!ConfigIni.Server.isEmpty() && ConfigIni.Port != 0)
        ClientSock->Connect(ConfigIni.Server, ConfigIni.Port);
}

void frmMain::ClientSock_ProgressStatusStart(const QString &)
{
    if (IsSettingOn(ConfigIni.NoFormInvio) || (m_sendStatus && m_sendStatus->isVisible()))
        return;
    // A window closed by the user is on its way out: a new one takes its place.
    m_sendStatus = new frmSendStatus;
    m_sendStatus->lblStatus->setText(LoadResString(2076));
    m_sendStatus->show();
}

void frmMain::ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                          int Percent, int status, const QString &destination,
                                          const QString &FaxNumber, int RetryCount, int RetryMax,
                                          const QString &IdFax)
{
    // A state the table lacks shows its number: progress never raises an error box.
    const QString statusText = FaxListText::TransmissionStatus(status);
    if (m_sendStatus && m_sendStatus->isVisible() && !IsSettingOn(ConfigIni.NoFormInvio)) {
        m_sendStatus->lblRemoteID->setText(RemoteID);
        m_sendStatus->lblSpeed->setText(QString::number(Speed));
        m_sendStatus->lblPage->setText(QString::number(CurrPage) + u" / "_s + QString::number(TotPages));
        m_sendStatus->lblPercent->setText(QString::number(Percent) + u" %"_s);
        m_sendStatus->lblStatus->setText(statusText);
        m_sendStatus->lblDestination->setText(destination);
        m_sendStatus->lblFaxNumber->setText(FaxNumber);
        m_sendStatus->lblNumTentativo->setText(QString::number(qint64(RetryCount) + 1) + u" di "_s +
                                               QString::number(qint64(RetryMax) + 1));
    }
    if (ActiveList == SentList) {
        // A fax not listed here (a folder of the sent list on show) has no row to update.
        if (FaxListItem *item = m_rows.value(IdFax, nullptr)) {
            m_ranked.reset();
            if (status == 14)
                item->setColumnText(FaxListText::ColStatus, LoadResString(2014) + u" Pagina "_s +
                                                                QString::number(CurrPage) + u" di "_s +
                                                                QString::number(TotPages));
            else
                item->setColumnText(FaxListText::ColStatus, statusText);
        }
    }
}

void frmMain::ClientSock_ProgressStatusEnd(const QString &)
{
    if (m_sendStatus) {
        m_sendStatus->close();
        m_sendStatus = nullptr;
    }
}

void frmMain::ClientSock_RxPhoneBook(collContactsItem *ContactsList)
{
    CollItemRub = ContactsList;
    RxRubrica = true;
}
