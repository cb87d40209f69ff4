#pragma once

#include "CollFaxesSelected.h"
#include "ContactsItem.h"
#include "FaxItem.h"
#include "FrameCutter.h"
#include "ItemFrmForward.h"
#include "LinkUtils.h"
#include "NodeItem.h"
#include "ParseError.h"
#include "Protocol.h"
#include "TextGuard.h"
#include "faxOut.h"

#include <QFile>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QSettings;
class QTimer;
class SocketAdapter;
class UploadDriver;
class collFaxOut;

// The server-link control: one TCP link to the fax server, the login, every request, and every server
// frame turned into typed objects and events. A host window places one instance and reacts to its
// signals. Everything runs on the host's thread and nothing here blocks; see docs/serverlink-control.md.
//
// Naming: members and signals carry the names the hosts are written against. The socket's connect event
// shares its name with the method Connect(), so the signal is SocketConnected(). Properties are a getter
// Name() and a setter setName(). Event arguments are passed by value: a handler cannot change the
// control's own fields through them.
class QuorinSock : public QWidget
{
    Q_OBJECT
public:
    explicit QuorinSock(QWidget *parent = nullptr);
    ~QuorinSock() override;

    // Version of this link library as it is compared with the server's ("major.minor.revision").
    static QString LibraryVersion();
    // Compares two version texts number by number ("1.2.10" > "1.2.9"; a missing part counts as 0).
    static int compareVersions(QStringView a, QStringView b);

    // --- 1 to 7: files, collections, user ---
    QString NameTempFile() const { return m_nameTempFile; }
    collNodeItem *CollItems() const { return m_collItems.get(); }
    CollFaxItem *FaxItems() const { return m_faxItems.get(); }
    CollFaxesSelected *FaxesSelected();
    bool IsForwarduser() const { return m_isForwardUser; }
    QString UserName() const { return m_userName; }
    void SetActiveList(typeOfList ActiveList, int CurrTreeID);

    // --- 8 to 13: link ---
    void SendUser(const QString &UserName);
    // Opens the link; the port may also be given as text. A port outside 1..65535 is refused with Error.
    void Connect(const QString &RemoteHost, int RemotePort, const QString &pUserName = {});
    void Connect(const QString &RemoteHost, const QString &RemotePort, const QString &pUserName = {});
    void ReConnect();
    int State() const;
    qintptr SocketHandle() const;
    void SendData(const QByteArray &Data);
    void SendData(const QString &Data);

    // --- 14 to 31: socket pass-through ---
    int RemotePort() const;
    void setRemotePort(int port);
    QString RemoteHostIP() const;
    QString RemoteHost() const;
    void setRemoteHost(const QString &host);
    int Protocol() const;
    void setProtocol(int protocol);
    void PeekData(QByteArray &vntData, int vntType = 8, qint64 maxLen = -1) const;
    int LocalPort() const;
    void setLocalPort(int port);
    QString LocalIP() const;
    QString LocalHostName() const;
    void Listen();
    void GetData(QByteArray &vntData, int vntType = 8, qint64 maxLen = -1);
    // Lets the link go at once (before a new Connect); the connection itself is ended in the background,
    // without a reset, waiting at most drainMs for the server's end. Faxes sent on it since the last
    // confirmed close are reported not delivered.
    void ConnectClose(int drainMs = 30000);
    // How the faxes of a closed link fared (FaxesSettled). Delivered: after our end of stream the server
    // ended its own, so it read every byte before it. AcknowledgedOnly: its TCP took every byte but the
    // server kept the link open past the bound. NotDelivered: reset, drop, or bytes never taken.
    enum DeliveryOutcome : int { Delivered = 0, AcknowledgedOnly = 1, NotDelivered = 2 };
    // Ends the link without dropping bytes and without a reset: everything queued is written, our end of
    // stream follows, and what the server still sends is read and dropped until it ends its side; then
    // FaxesSettled (for the faxes sent since the last confirmed close) and LinkClosed(delivered). Past
    // timeoutMs the link is let go: Error tells how many bytes the server never confirmed.
    void CloseLink(int timeoutMs = 30000);
    // The same, waiting here (bounded) for a program that is about to end; returns the outcome.
    // The control's destructor does this on its own for a link still open.
    DeliveryOutcome CloseLinkNow(int timeoutMs = 30000);
    // Requests given while the link logs in again, kept to go once that login is in (none otherwise).
    int HeldFrames() const { return int(m_held.size()); }
    // Faxes reported by SentFax2Server on this link and not yet settled by a close or a drop.
    QStringList UnsettledFaxes() const { return m_unsettled; }
    int BytesReceived() const;
    void Bind(int LocalPort = 0, const QString &LocalIP = {});
    void Accept(int requestID);

    // --- 32 to 34: server ---
    bool FindServer(const QString &pSockServer = {}, int pSockPort = -1);
    int SockPort() const { return m_sockPort; }
    QString SockServer() const { return m_sockServer; }

    // --- 35 to 60: requests ---
    void ChildrenTree();
    void VerificaUtente(const QString &Privilegi);
    void AskFax(const QString &PrevKey);
    void DeleteFax(int CurrTreeID);
    void CancelFax(const QString &sCancelList);
    void DeleteFolder(const QString &sNodeKey);
    void CancelFolder(const QString &sNodeKey);
    void RenameFolder(const QString &sNewName, const QString &sNodeKey);
    void RestoreFax(int CurrTreeID, const QString &sRestoreList);
    void LaunchServerConf(int modal);
    void SendUpdateTmpFile(const QString &IdFax);
    QString SendUpdateFile(const QString &sFileName, const QString &KeyFax);
    void AddNewFolder(const QString &sNameFolder, int NodeKey, bool bShared);
    void UpdateFolder(const QString &sNameFolder, int NodeKey, bool bShared);
    void GetProperties(const QString &KeyFax);
    void GetPropertiesSelected();
    void GetReport(const QString &KeyFax);
    void GetReportSelected();
    void AskFormForward(const QString &KeyFax);
    void AskFormForwardSelected();
    void ForwardGroupsUsers(const QString &KeyFax, const ListItemFrmForward *UsersList,
                            const ListItemFrmForward *GroupsList);
    void ForwardGroupsUsersSelectedFaxes(const ListItemFrmForward *UsersList,
                                         const ListItemFrmForward *GroupsList);
    void SetReadSelected(bool bRead);
    void SetPrintedSelected(bool bRead);
    void MoveFolderToFolder(int StartFolderKey, int DestFolderKey, bool GoToDeletedFolder,
                            bool WasInDeletedFolder);
    void MoveSelectedToFolder(int CurrTreeID, int DestFolderKey, bool GoToDeletedFolder);
    QString SendNewFax(std::unique_ptr<faxOut> ObjFax);

    // An upload the server takes no byte of for this long (its TCP acknowledges nothing more) is given
    // up: the link is let go and its faxes are reported through Error 10060, source "SendFax : key : files",
    // "il server non riceve più dati ...". Default 60000 ms.
    static constexpr int DefaultUploadStallMs = 60000;
    int UploadStallBound() const { return m_uploadStallMs; }
    void setUploadStallBound(int ms);

    // --- 62 to 81: timers, versions, updates, address book ---
    int TimeSearchServersAvailable() const { return m_timeSearchServers; }
    void setTimeSearchServersAvailable(int ms);
    int TimeCheckServer() const { return m_timeCheckServer; }
    void setTimeCheckServer(int ms);
    QString QuorinVersion() const { return m_quorinVersion; }
    QString PrinterVersion() const { return m_printerVersion; }
    QString NameUpdateFolder() const { return m_nameUpdateFolder; }
    void UpdateFiles();
    QString QuorinLiveVersion() const { return m_quorinLiveVersion; }
    QString DarnelleVersion() const { return m_darnelleVersion; }
    QString SaveFaxToRX(std::unique_ptr<faxOut> ObjFax);
    void AskPhoneBook();
    int SendNewContact(const QString &FirstName, const QString &Surname, const QString &Address,
                       const QString &ZipCode, const QString &City, const QString &Provincia,
                       const QString &TelePhone, const QString &TelePhone2, const QString &FaxNumber,
                       const QString &Company, const QString &email, bool IsPublic);
    int UpdateContact(const QString &FirstName, const QString &Surname, const QString &Address,
                      const QString &ZipCode, const QString &City, const QString &Provincia,
                      const QString &TelePhone, const QString &TelePhone2, const QString &FaxNumber,
                      const QString &Company, const QString &email, bool IsPublic, int KeyContact);
    int DeleteContact(int KeyContact);
    bool DelSharedContacts() const { return m_delShared; }
    bool ReadSharedContacts() const { return m_readShared; }
    bool ModifySharedContacts() const { return m_modifyShared; }
    bool AddSharedContacts() const { return m_addShared; }
    QString NameQVfile() const { return m_nameQVfile; }

    // --- host services ---
    // Forms check user text with these before they send: the message that refuses a field (separators,
    // characters Windows-1252 cannot hold), empty when it can go; and the warning for what the nearest
    // Windows-1252 letters will change, empty when nothing changes. The requests check the same again.
    static QString TextProblem(const QString &label, const QString &text);
    static QString TextChange(const QString &label, const QString &text);
    // The refusal SendNewFax / SaveFaxToRX would give this fax (empty when it can go): forms and runners
    // ask it before handing a fax over.
    static QString FaxProblem(const faxOut &fax);

    // The address book of the last "RUBRICA" answer (or the one SendNewContact started); null before.
    collContactsItem *Contacts() const { return m_contacts.get(); }
    // Persisted socket properties ("RemotePort", "RemoteHost", "Protocol", "LocalPort") in the host's
    // settings group; a value equal to its default is not stored.
    void ReadProperties(const QSettings &bag);
    void WriteProperties(QSettings &bag) const;
    // Deletes the temporary files that resisted deletion, then the received image.
    void PurgePendingFiles();

    // Hooks for the windows of server discovery and settings, which live apart from the link.
    // The connecting window: shown by Connect with the server name, hidden when the login ends.
    void setConnectingWindow(std::function<void(const QString &server)> show, std::function<void()> hide);
    // The server-settings dialog: edits server and port; true when the user confirmed.
    using ServerConfDialog = std::function<bool(QWidget *parent, QString &server, int &port, int modal)>;
    void setServerConfDialog(ServerConfDialog dialog) { m_serverConf = std::move(dialog); }

Q_SIGNALS:
    // The 38 events, in the order of the event interface.
    void SendProgress(int bytesSent, int bytesRemaining);
    void SendComplete();
    void DataArrival(int bytesTotal); // declared for hosts, never raised
    void ConnectionRequest(int requestID);
    void Error(int Number, const QString &Description, int Scode, const QString &Source,
               const QString &HelpFile, int HelpContext, bool CancelDisplay);
    void SocketConnected(); // the event "Connect": the socket is connected, the login starts
    void Connected(const QString &Server, int SockPort, bool IsForwarduser);
    void ReConnected(const QString &Server, int SockPort, bool IsForwarduser);
    void ServerNotAvailable(const QString &Server, int SockPort);
    void ChangedServer(const QString &Server, int SockPort); // declared for hosts, never raised
    void RxForwardList();
    void RxPersonalList();
    void RxSentList();
    void RxDeletedList();
    void RxNewFax(FaxItem *NewFaxItem, typeOfList pActiveList);
    void RxNewFaxInDiffFolder(FaxItem *NewFaxItem, typeOfList pList);
    void RxChildrenTree();
    void RxNumFax(int numfax);
    void RxFaxOk(const QString &FileName);
    void RxFaxOkKey(const QString &FileName, const QString &KeyFax);
    void RxFaxIncomplete();
    void ConnectionNotAvailable(const QString &Server, int SockPort);
    void AddedNewFolder(const QString &FolderName, int NodeKey, bool SharedFolder);
    void RxPropertyFax(typeOfList pActiveList);
    void RxReportFax(typeOfList pActiveList);
    void RxFaxNotFound(int KeyFax);
    void RxFrmForward(ListItemFrmForward *UsersList, ListItemFrmForward *GroupsList);
    void UserReceived();
    void MaxUsersLimit();
    void SentFax2Server(const QString &IdFaxSent);
    void UpdateOcxNeed(const QString &version);
    void UpdateServerNeed();
    void ReceivingUpdate(int TotBytesToReceive, int TotBytesReceived);
    void DownloadUpdComplete();
    void ProgressStatusTX(const QString &RemoteID, int Speed, int CurrPage, int TotPages, int Percent,
                          int status, const QString &destination, const QString &FaxNumber, int RetryCount,
                          int RetryMax, const QString &IdFax);
    void ProgressStatusStart(const QString &IdFax);
    void ProgressStatusEnd(const QString &IdFax);
    void RxPhoneBook(collContactsItem *ContactsList);
    // The graceful close of CloseLink ended; complete when the server acknowledged every byte.
    void LinkClosed(bool complete);
    // The server ended the link the user was logged in on (raised after the frames that came before its
    // end). Nothing more comes on it; the next request logs in again and goes once that login is in.
    void LinkLost(const QString &Server, int SockPort);
    // Raised when a link ends (CloseLink, CloseLinkNow, a drop, a reconnect) for the faxes SentFax2Server
    // reported on it since the last confirmed close, with a DeliveryOutcome. Hosts that end after sending
    // count a fax as delivered only on Delivered; hosts that stay connected can keep to SentFax2Server.
    void FaxesSettled(const QStringList &IdFaxes, int Outcome);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Writer: false when the frame was not handed to the socket.
    bool SendMsg(typeofMsg type, QStringView keyword, const QString &data);
    bool SendMsg(typeofMsg type, QByteArrayView keyword, QByteArrayView data);
    bool sendFrame(const QByteArray &frame);
    // A request that meets a lost link after a login: the link logs in again and keeps the frames given
    // to it meanwhile; the login sends them in order, a login that does not come refuses them all.
    void beginRelogin();
    void sendHeldFrames();
    void refuseHeldFrames();
    void dropLink(); // the connection in hand is gone: uploads announced on it are lost
    void onPeerClosed();
    void reportLinkLost();
    void watchUpload(); // starts the look for an upload that stopped moving
    void checkUploadStall();
    void onGracefulClose(int outcome, qint64 unacknowledged);
    void settleFaxes(DeliveryOutcome outcome);
    void finishClose(DeliveryOutcome outcome, qint64 unacknowledged);
    void reportUnconfirmedClose(qint64 unacknowledged);
    void RaiseErrorEvent(int Number, const QString &Description, int Scode, const QString &Source);
    // False, with Error naming the request and the field, when user text cannot go out as it stands.
    bool guardUser(const QString &request, std::initializer_list<Proto::TextField> fields);
    // The same for keys and lists the link joins with `separator`.
    bool guardParts(const QString &request, QStringView separator, std::initializer_list<Proto::TextField> parts);
    bool guardIds(const QString &request, const ListItemFrmForward *UsersList, const ListItemFrmForward *GroupsList);
    void raiseParseError(const ParseError &error);
    ErrorSink errorSink();

    // Link (QuorinSockConnect.cpp)
    void onSocketConnected();
    void onSocketError(int number, const QString &description);
    void onWatchdogTick();
    void completeLogin(const QByteArray &rights);
    void refuseUser();
    void hideConnecting();

    // Receive side (QuorinSockReceive.cpp, QuorinSockFiles.cpp)
    void onDataArrival();
    void takeBytes(QByteArrayView bytes); // server bytes into the cutter, a pass queued
    // The download fuzzer hands server bytes to takeBytes with no socket in between, so each run
    // goes the same way on any machine.
    friend struct QuorinSockFeed;
    void dispatchPending();
    void queueDispatch();
    // Before a reconnect to the same server: keep the whole frames received, drop a partial tail.
    void salvageFrames();
    // False when the frame failed; the error went to Error with `source`.
    bool handleAnswer(const ServerMessage &msg, ParseError &error);
    bool handleVersions(const QByteArray &data, ParseError &error);
    bool handleNewFaxNotice(const QByteArray &keyword, const QByteArray &data);
    bool handleProgress(const QByteArray &data, ParseError &error);
    bool handleNewFolder(const QByteArray &data, ParseError &error);
    bool startFile(const QByteArray &data, ParseError &error);
    bool filePiece(const QByteArray &data, bool update, ParseError &error);
    bool endFile(const QByteArray &data, ParseError &error);
    bool noFile(const QByteArray &data, ParseError &error);
    void closeDownload();
    void stopDownload();
    bool dropUnfinished(bool reportImage);
    void discardTempFile();
    QString keyList();
    QString activeKeyword() const { return m_activeKeyword; }

    SocketAdapter *m_socket = nullptr;
    QStringList m_unsettled;
    std::unique_ptr<collFaxOut> m_sendQueue;
    UploadDriver *m_upload = nullptr;
    QTimer *m_watchdog = nullptr;
    QTimer *m_stallTimer = nullptr;
    int m_uploadStallMs = DefaultUploadStallMs;
    int m_stallLink = -1;      // connection and acknowledged count of the last progress seen
    qint64 m_stallAcked = -1;
    qint64 m_stallSince = 0;   // when it was seen (ms since the epoch)
    int m_closeBoundMs = 30000; // of the graceful close under way
    FrameCutter m_cutter;
    QList<ServerMessage> m_salvaged; // whole frames of a link that is being replaced, still to handle
    QList<QByteArray> m_held;        // frames given while the link logs in again
    bool m_holding = false;
    bool m_linkDropped = false; // what went on the link in hand has been let go (dropLink)
    QTimer *m_reloginBound = nullptr;
    struct ListChoice
    {
        typeOfList list;
        int folder;
        QString keyword;
    } m_listBeforeHold{NullList, 0, {}}; // the list the server knows of while frames are held
    bool m_dispatchQueued = false;

    // link state
    QString m_sockServer;
    int m_sockPort = 9456;
    QString m_userName;
    bool m_linkUp = false;
    bool m_userReceived = false;
    bool m_connectionWanted = false;
    bool m_reconnecting = false;
    qint16 m_watchdogCount = 0;
    int m_timeCheckServer = 3000;
    int m_timeSearchServers = 1500;
    bool m_isForwardUser = false;
    bool m_delShared = false, m_readShared = false, m_modifyShared = false, m_addShared = false;

    // lists and collections
    typeOfList m_activeList = NullList;
    int m_folderId = 0;
    QString m_activeKeyword;
    std::unique_ptr<collNodeItem> m_collItems;
    std::unique_ptr<CollFaxItem> m_faxItems;
    std::unique_ptr<CollFaxesSelected> m_faxesSelected;
    std::unique_ptr<ListItemFrmForward> m_forwardGroups; // kept until the users frame takes them
    std::unique_ptr<ListItemFrmForward> m_forwardUsersShown, m_forwardGroupsShown;
    std::unique_ptr<collContactsItem> m_contacts;
    QString m_quorinVersion, m_printerVersion, m_quorinLiveVersion, m_darnelleVersion;

    // downloads
    QString m_tempDir;
    QString m_nameTempFile, m_nameQVfile, m_nameUpdateFolder;
    QFile m_download;
    bool m_downloadRefused = false; // a file refused at its start: its pieces are dropped
    bool m_downloadIsUpdate = false;
    qint64 m_expectedSize = 0;
    qint64 m_receivedSize = 0;
    QString m_currentUpdateFile;
    qint64 m_updateTotal = 0;
    qint64 m_updateReceived = 0;
    LinkUtils::PendingDeletions m_pendingDeletions;

    std::function<void(const QString &)> m_showConnecting;
    std::function<void()> m_hideConnecting;
    ServerConfDialog m_serverConf;
};
