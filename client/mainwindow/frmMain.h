#pragma once

#include "AnswerQueue.h"
#include "FaxListText.h"
#include "FaxMail.h"
#include "FolderTree.h"
#include "MainLayout.h"
#include "PreviewControl.h"
#include "PrintChoice.h"
#include "ProgramInfo.h"
#include "Protocol.h"
#include "frmAbout2.h"
#include "frmSendStatus.h"
#include "frmSplash.h"
#include "frmUpdateDownload.h"

#include <QColor>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <bitset>
#include <functional>
#include <memory>

class CollFaxItem;
class FaxItem;
class FaxListItem;
class ListItemFrmForward;
class QGroupBox;
class QLabel;
class QMenu;
class QPrinter;
class QProgressBar;
class QStatusBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class UpdateWatch;
class PageFit;
class QuorinSock;
class SplitterStrip;
class collContactsItem;
class frmLogin;

// The fax client's main window: folder tree, fax list and preview, hosting the server link ClientSock
// and the preview LumagPreview. Made by the start-up routine and shown only once the server accepts
// the user. Server events are handled in frmMainEvents.cpp, the list in frmMainList.cpp, the tree in
// frmMainTree.cpp, the layout in frmMainLayout.cpp and the preview in frmMainPreview.cpp.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // --- public state ---
    int aggDaLeggere = 0;
    qint16 h = 0; // starting size, twips
    qint16 w = 0;
    QString CurrentKey;
    bool isMail = false;
    bool Connected = false;
    bool UserReceived = false;
    int ActiveList = NullList;
    bool RxRubrica = false;
    collContactsItem *CollItemRub = nullptr;

    bool AbortCmd() const { return m_AbortCmd; }
    bool LanciaUpdate() const { return m_LanciaUpdate; }
    bool UpdateRX() const { return m_UpdateRX; }
    bool UpdateError() const { return m_UpdateError; }

    // Program-wide values kept by the window.
    QString NomeUtente;
    bool IsForwarduser = false;
    bool bSalvataggioFax = false;

    // --- hosted controls ---
    QuorinSock *ClientSock = nullptr;
    PreviewControl *LumagPreview = nullptr;
    QTreeWidget *TVNodi = nullptr;
    QTreeWidget *ListFax = nullptr;
    QGroupBox *FraTv = nullptr;
    QGroupBox *fraListFax = nullptr;
    QGroupBox *fraPreview = nullptr;
    QWidget *fraRoot = nullptr;
    QLabel *picLogo = nullptr;
    QStatusBar *sbStatusBar = nullptr;
    QProgressBar *pbLoad = nullptr;
    QTimer *tmrRead = nullptr;
    QTimer *TimerTV = nullptr;
    SplitterStrip *imgSplitterX = nullptr, *imgSplitterY = nullptr;
    QWidget *picSplitterX = nullptr, *picSplitterY = nullptr;

    // --- public procedures ---
    void Init();
    void StartMail();
    void ListFax_Click();
    void InitList(bool bCestino);
    void Ask4List(int ListType);
    bool GetNuovi(CollFaxItem *Faxes, bool bNuova);
    FaxListItem *AddItem(const QString &Chiave, const QString &Icona);
    QString GetCurrentKey() const;
    void InizializzaLst();
    void ResizeForm();
    void SizeControlsX(int xTwips);
    void TVNodiRicevuti();
    void TVNodiInoltro();
    void GenerateTreeStruct();
    void FirstSelection(int x = 0);
    void WinsockStatus();
    QStringList CaricaDati(const FaxItem &fax) const;
    void DoReport(const FaxItem &fax);
    void PrintedMng();
    QString TrasformaSecInTime(qint32 secs) const;
    bool IsCartellaCestino(QTreeWidgetItem *node) const;
    FaxListItem *EsisteItem(const QString &key) const;

    // Read and printed marks of the selected rows.
    void ImpostaLetto(bool bRead);
    void ImpostaStampato(bool bPrinted);

    // --- state read by tests and the other windows ---
    FolderTree &tree() { return m_tree; }
    int CurrTreeID() const { return m_currTreeID; }
    QString TestoNodo() const { return m_testoNodo; }
    QString LastAskedKey() const { return m_lastAskedKey; }
    QString CurrentFaxFile() const { return m_currentFaxFile; }
    // A list or an image asked of the server is still to come, or the window is locked waiting for one.
    bool waitsForServer() const;
    double ProporzioneX() const { return m_propX; }
    double ProporzioneY() const { return m_propY; }
    int SortKey() const { return m_sortKey; }
    int SortOrder() const { return m_sortOrder; }
    bool Sorted() const { return m_sorted; }
    FaxListItem *row(const QString &key) const { return m_rows.value(key, nullptr); }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    frmSendStatus *sendStatusWindow() const { return m_sendStatus; }
    MainLayout::Panes panes() const { return m_panes; }
    // Twips and pixels of this window's screen.
    int toPixels(int twips) const;
    int toTwips(int pixels) const;
    // Drags of the splitters, in twips of the client area (what the mouse handlers call).
    void splitterXDown();
    void splitterXMove(int posTwips);
    void splitterXUp();
    void splitterYDown();
    void splitterYMove(int posTwips);
    void splitterYUp();

    // Folder menu of a tree node: the menu with the items the node allows (none for the top node), and
    // its commands, which act on that node.
    QMenu *treeMenuFor(QTreeWidgetItem *node);
    void mnuTreeNew();
    void mnuTreeName();
    void mnuTreeRemove();
    void mnuTreeSvuotaCestino();

    // Column header click (the column's index, 0-based as shown).
    void OrdinaColonna(int column);
    void AggiornaTitoloLista(int nDaLeggere);
    void SbloccaControlli();

    // --- list commands (frmMainCommands.cpp) ---
    // Trash, restore and delete for good the selected rows (all rows for EliminaFaxDefinitivo(true)).
    void CestinaFax();
    void RipristinaFax();
    void EliminaFaxDefinitivo(bool bAll);
    // The list's mouse press (position in the list's viewport), double-click and key release.
    void ListFax_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void ListFax_DblClick();
    void ListFax_KeyUp(int key);
    void AggiornaLista();
    // The context menu of a list kind, its items made visible and enabled for the current selection.
    QMenu *listMenuFor(int listKind);
    // The viewer on the selected fax's image (a user action or a deferred step, never inside an event).
    void ApriFax();
    void LanciaApriFax();
    // Forwarding: to users and groups of the server, or as a new fax through the send dialog.
    void mnuInoltraFax();
    void mnuInoltroExt();
    void InoltroEsterno(const QString &FileName);
    // Per-fax commands of the context menus.
    void mnuVisualizzaFax();
    void mnuProprieta();
    void mnuRep();
    void mnuMail();
    void SpedisciMail(const QString &key, const QString &fileName);
    FaxMail &mail() { return m_mail; }

    // --- menu bar commands (frmMainMenus.cpp) ---
    void mnuRubrica();
    void mnuSendFax();
    void mnuScan();
    void mnuToolsOptions();
    void mnuOpenRules();
    void mnuImportaRubrica();
    void mnuServerConf();
    void mnuLogin();
    void mnuInstallaPrinter();
    void mnuLiveUpdate();
    void mnuHelpContents();
    void mnuViewStatusBar();
    void mnuHelpAbout();
    void mnuProprietaCartella();
    // The help file opened by the help commands; empty: the program has none.
    QString HelpFile;

    // --- tree drag and drop (frmMainDrag.cpp) ---
    // A folder drag: pressed on dragNode (nothing starts from the top node and the first fixed roots),
    // over target, dropped on target. Over/drop answer whether the move is allowed / was made.
    bool TVNodi_StartFolderDrag(QTreeWidgetItem *node);
    bool TVNodi_DragOver(QTreeWidgetItem *target, int yTwips = -1);
    bool TVNodi_DragDrop(QTreeWidgetItem *target);
    // A drag of the selected fax rows over a node and its drop there.
    bool TVNodi_OLEDragOver(QTreeWidgetItem *target, int yTwips = -1);
    bool TVNodi_OLEDragDrop(QTreeWidgetItem *target);
    QTimer *TimerOpenNode = nullptr;
    bool dropAllowed() const { return m_dropAllowed; }

    // The new-fax icon of the notification area (frmMainTray.cpp).
    bool newFaxIconShown() const { return m_newFaxIcon; }
    void showNewFaxIcon();
    void removeNewFaxIcon();

Q_SIGNALS:
    // Connected, UserReceived, AbortCmd or UpdateRX changed: the start-up routine looks again.
    void startStateChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class frmMainTest;
    void buildControls();
    void buildMenus();
    void connectClientSock();
    void Form_Load();
    void setStartFlag(bool &flag);
    void lockControls();
    // Escape: the wait for an image ends; an image that still comes is only previewed.
    void endWait();
    // The tree marks the folder whose list is shown (after drags and folder commands).
    void markShownFolder();
    // A drag from the tree or the list has ended, dropped or not.
    void dragEnded();
    // The preview shows nothing: no page, no thumbnails, "0/0".
    void emptyPreview();
    // Runs fn once the current event has returned: modal boxes never run inside the link's events.
    void later(std::function<void()> fn);

    // server events (frmMainEvents.cpp)
    void ClientSock_Error(int Number, const QString &Description, const QString &Source);
    void ClientSock_Connected(const QString &Server, int SockPort, bool forwardUser);
    void ClientSock_ReConnected(const QString &Server, int SockPort, bool forwardUser);
    void ClientSock_ServerNotAvailable(const QString &Server, int SockPort);
    void ClientSock_ListAnswer(int listKind);
    void ClientSock_RxNewFax(FaxItem *NewFaxItem, int pActiveList);
    void ClientSock_RxChildrenTree();
    void ClientSock_RxNumFax(int numfax);
    void ClientSock_RxFaxOkKey(const QString &FileName, const QString &KeyFax);
    void ClientSock_RxFaxIncomplete();
    void ClientSock_ConnectionNotAvailable(const QString &Server, int SockPort);
    void ClientSock_LinkLost();
    void ClientSock_AddedNewFolder(const QString &FolderName, int NodeKey, bool SharedFolder);
    void ClientSock_RxPropertyFax(int pActiveList);
    void ClientSock_RxReportFax(int pActiveList);
    void ClientSock_RxFaxNotFound(int KeyFax);
    void ClientSock_RxFrmForward(ListItemFrmForward *UsersList, ListItemFrmForward *GroupsList);
    void ClientSock_MaxUsersLimit();
    void ClientSock_SentFax2Server(const QString &IdFaxSent);
    void ClientSock_UpdateOcxNeed(const QString &version);
    void ClientSock_UpdateServerNeed();
    void ClientSock_ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived);
    void ClientSock_DownloadUpdComplete();
    void updateNotReceived();
    void ClientSock_ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages,
                                     int Percent, int status, const QString &destination,
                                     const QString &FaxNumber, int RetryCount, int RetryMax,
                                     const QString &IdFax);
    void ClientSock_ProgressStatusStart(const QString &IdFax);
    void ClientSock_ProgressStatusEnd(const QString &IdFax);
    void ClientSock_RxPhoneBook(collContactsItem *ContactsList);
    void loginAccepted(const QString &Server, int SockPort, bool forwardUser);

    // list (frmMainList.cpp)
    void CaricaRiga(const FaxItem &fax);
    // Factor on the columns' design widths that lets the list's texts fit in the font in use.
    double columnScale(const QList<FaxListText::ColumnSpec> &columns) const;
    void applySort();
    void tmrRead_Timer();
    void ListFax_ItemClick();
    QStringList ChiaviSelezionate();
    void DeselezionaTutti();
    // The rows whose keys are given leave the list (and the link's fax items); progress in panel 1.
    // qualifies(row, position): position is where the row stands once the rows before it that go have gone.
    using RowTest = std::function<bool(FaxListItem *, int)>;
    int removeRows(const RowTest &qualifies, const QString &progress, int total, QStringList *ids, int *lastIdx);
    void selectRowAfterRemoval(int lastIdx);
    void buildListMenus();
    void enableSingleItems(bool single);
    void openFaxViewer();
    void forwardChosen(const QString &key, ListItemFrmForward *users, ListItemFrmForward *groups);
    void autoScroll(int yTwips);
    void setDropHighlight(QTreeWidgetItem *node);
    void followCollapsed(QTreeWidgetItem *node);
    bool folderDropAllowed(QTreeWidgetItem *target) const;
    bool faxDropAllowed(QTreeWidgetItem *target) const;
    bool treeDragEvent(QEvent *event);
    void TimerTV_Timer();
    void TimerOpenNode_Timer();
    void showNewFaxNotice();

    // tree (frmMainTree.cpp)
    void TVNodi_NodeClick(QTreeWidgetItem *node);
    void AddTreeFolders(const collNodeItem &folders);
    QTreeWidgetItem *menuNode() const;

    // layout (frmMainLayout.cpp)
    void applyPanes();
    void loadPlacement();
    void savePlacement();

    // preview (frmMainPreview.cpp)
    void MostraAnteprima(const QString &FileName, const QString &key);
    QString keepReceivedImage(const QString &FileName, const QString &key);
    // The copies made for the preview and for forwarding, removed when the program closes.
    static void removeImageCopies();
    void LumagPreview_AfterPrint();
    void LumagPreview_AfterSave();

    bool m_AbortCmd = false;
    bool m_LanciaUpdate = false;
    bool m_UpdateRX = false;
    bool m_UpdateError = false;
    bool m_bUpdateOcx = false;
    bool bVisualizza = false, bApriFax = false, bFaxArrivato = false, bZuvUvucante = false;

    FolderTree m_tree;
    int m_currTreeID = 1;
    QString m_testoNodo;
    QTreeWidgetItem *m_currentNode = nullptr;
    QTreeWidgetItem *m_menuNode = nullptr;        // node the folder menu was opened on
    QTreeWidgetItem *m_newFolderParent = nullptr; // where the folder the server confirms goes
    QMenu *mnuTree = nullptr;
    bool m_rightButton = false;

    QString PrevKey = QStringLiteral("0");
    QString m_lastAskedKey;
    // The row whose image is on show or on its way, and which: a row is asked for once. Incomplete: its
    // answer came short; a click asks it again, a double click does not.
    enum class ImageState { None, Asked, Here, Missing, Incomplete };
    QString m_imageKey;
    ImageState m_imageState = ImageState::None;
    void askImage(const QString &key);
    // Requests whose answers are on their way (images, lists, properties, report, forward lists,
    // tree): an answer acts only when it answers the last request of its kind.
    AnswerQueue m_answers;
    // The key an image answer belongs to (empty: none): the one it names, else the oldest asked, since
    // an incomplete or missing image names no fax (or only its number).
    QString takeImageAnswer(const QString &key = {});
    QColor m_previewBack; // the preview's own background, back once an image shows whole
    void imageShownWhole();
    // Waits on the link: a list asked and not here yet; the loss told once per login.
    bool m_listPending = false;
    bool m_lossTold = false;
    bool m_linkLost = false; // the server ended the link; it is not closing, it is closed
    void endLinkWaits();
    // Tree and list as the server last held them, kept when the link ends: what is given after it waits
    // for the link's new login, and when the link refuses it the window shows this again.
    struct ServerView;
    std::shared_ptr<ServerView> m_serverView;
    void keepServerView();
    void showServerView();
    QString linkStatusText(bool *closeLink = nullptr) const;
    void tellLinkLost();
    QString m_currentFaxFile;
    QStringList m_dragKeys;

    QHash<QString, FaxListItem *> m_rows;
    bool m_sorted = false;
    std::bitset<9> m_ranked; // columns whose sort ranks are up to date
    int m_sortKey = 8;
    int m_sortOrder = 1;

    double m_propX = 0.3, m_propY = 0.6;
    double m_inLeft = 0.3, m_inTop = 0.6;
    int m_spazioSplitter = 60;
    bool m_dragX = false, m_dragY = false;
    MainLayout::Panes m_panes;
    QWidget *m_client = nullptr;
    QList<QLabel *> m_panels;
    bool m_shownOnce = false;
    bool m_closing = false;

    QHash<int, QMenu *> m_listMenus;
    QString m_reselectKey; // row to select again when the refreshed list arrives
    QString m_forwardKey;  // fax whose forward lists were asked
    int m_forwardAnswers = 0;
    int m_forwardCopies = 0;
    QString m_svuotaPending; // trash node whose list is emptied once it is on show
    std::unique_ptr<QPrinter> m_reportPrinter;
    PrintChoice m_reportChoice; // what the last report print dialog was left on
    QTreeWidgetItem *m_hitItem = nullptr;
    QAction *m_statusBarAction = nullptr;
    FaxMail m_mail{this};
    frmLogin *m_login = nullptr;
    QTreeWidgetItem *m_dragNode = nullptr;
    QTreeWidgetItem *m_dragRoot = nullptr;
    QTreeWidgetItem *m_dropHighlight = nullptr;
    bool m_dropAllowed = false;
    int m_lastDragY = 0; // twips
    int m_scrollDirection = 1;

    QPointer<frmSendStatus> m_sendStatus;
    QPointer<frmUpdateDownload> m_updateDownload;
    UpdateWatch *m_updateWatch = nullptr;
    int m_imageCounter = 0;
    bool m_newFaxIcon = false;
    bool m_newFaxIconWanted = false;
    PageFit *m_previewFit = nullptr;
};
