// Receive dispatcher: bytes from the socket into the frame cutter, each frame to its handler.
#include "QuorinSock.h"

#include "FaxRecords.h"
#include "SocketAdapter.h"
#include "WireNumbers.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

// Frames handled per pass before the rest is left to the next turn of the event loop, so that a long
// burst (a large download) leaves room for painting and timers.
constexpr int FramesPerPass = 64;

QList<QByteArrayView> fieldsOf(const QByteArray &data)
{
    return Proto::splitView(data, Proto::FieldSeparator);
}

} // namespace

void QuorinSock::onDataArrival()
{
    // Only move the bytes here: frames are handled from the event loop, never inside the socket's
    // readyRead chain, so a modal window opened by a host's handler does not stop the reading.
    takeBytes(m_socket->GetData());
}

void QuorinSock::takeBytes(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        m_cutter.append(bytes);
    if (m_cutter.pendingSize() > 0)
        queueDispatch();
}

void QuorinSock::queueDispatch()
{
    if (m_dispatchQueued)
        return;
    m_dispatchQueued = true;
    QMetaObject::invokeMethod(this, &QuorinSock::dispatchPending, Qt::QueuedConnection);
}

void QuorinSock::salvageFrames()
{
    for (;;) {
        ServerMessage msg;
        const FrameCutter::Result result = m_cutter.next(msg);
        if (result == FrameCutter::Result::NeedMore)
            break;
        if (result == FrameCutter::Result::Frame)
            m_salvaged.append(std::move(msg));
    }
    m_cutter.clear();
    if (!m_salvaged.isEmpty())
        queueDispatch();
}

void QuorinSock::dispatchPending()
{
    m_dispatchQueued = false;
    QPointer<QuorinSock> alive(this);
    for (int handled = 0; handled < FramesPerPass; ++handled) {
        ServerMessage msg;
        FrameCutter::Result result = FrameCutter::Result::Frame;
        if (!m_salvaged.isEmpty())
            msg = m_salvaged.takeFirst();
        else
            result = m_cutter.next(msg);
        if (result == FrameCutter::Result::NeedMore)
            return;
        if (result == FrameCutter::Result::Dropped)
            continue;
        if (result == FrameCutter::Result::Overflow) {
            RaiseErrorEvent(ErrorCode::FrameTooLarge, ErrorCode::description(ErrorCode::FrameTooLarge), 0,
                            u"DataArrival.NextMessage"_s);
            if (!alive)
                return;
            continue;
        }
        // The frame is already off the buffer: a nested pass (a handler's modal window) takes the next.
        if (msg.type == typeQry) {
            // The name the server gave at login goes back as it is: refusing it would leave the server waiting.
            if (msg.keyword == "USER")
                SendMsg(typeAns, u"USER", m_userName);
        } else {
            ParseError error;
            if (!handleAnswer(msg, error) && alive) {
                // The frame is lost; the frames after it are handled as usual.
                RaiseErrorEvent(error.number, error.description, 0, u"DataArrival."_s + error.source);
            }
        }
        if (!alive)
            return;
    }
    queueDispatch();
}

bool QuorinSock::handleAnswer(const ServerMessage &msg, ParseError &error)
{
    const QByteArray &kw = msg.keyword;
    const QByteArray &data = msg.data;
    auto fail = [&error](int number, const QString &source) {
        error = {number, ErrorCode::description(number), source};
        return false;
    };

    if (kw == "NOMSG")
        return true;
    if (kw == "VERSIONI")
        return handleVersions(data, error);
    if (kw == "USER") {
        completeLogin(data);
        return true;
    }
    if (kw == "STATUS")
        return true;

    struct ListAnswer
    {
        const char *plain;
        const char *inc;
        typeOfList list;
        void (QuorinSock::*event)();
    };
    static const ListAnswer lists[] = {
        {"INOLTRO", "INOLTRO_INC", Forwardlist, &QuorinSock::RxForwardList},
        {"PERSONALI", "PERSONALI_INC", PersonalList, &QuorinSock::RxPersonalList},
        {"SPEDITI", "SPEDITI_INC", SentList, &QuorinSock::RxSentList},
        {"CANCELLATI", "CANCELLATI_INC", DeletedList, &QuorinSock::RxDeletedList},
    };
    for (const ListAnswer &l : lists) {
        if (kw == l.plain || kw == l.inc) {
            if (m_activeList == l.list) {
                m_faxItems =
                    Proto::CaricaCollFaxItem(data, l.list == SentList ? SentList : NullList, errorSink());
                Q_EMIT(this->*l.event)();
            }
            return true;
        }
    }

    if (kw == "FRM_INOLTRO_USR") {
        auto users = Proto::parseFrmForward(data, true, errorSink());
        // Groups sent earlier wait here for their users frame, however the bytes were split.
        std::unique_ptr<ListItemFrmForward> groups = std::move(m_forwardGroups);
        m_forwardUsersShown = users ? std::move(users) : std::make_unique<ListItemFrmForward>();
        m_forwardGroupsShown = groups ? std::move(groups) : std::make_unique<ListItemFrmForward>();
        Q_EMIT RxFrmForward(m_forwardUsersShown.get(), m_forwardGroupsShown.get());
        return true;
    }
    if (kw == "FRM_INOLTRO_GRP") {
        m_forwardGroups = Proto::parseFrmForward(data, false, errorSink());
        return true;
    }
    if (kw == "NUMFAX") {
        const QList<QByteArray> fields = Proto::SplitList(QByteArrayView(data));
        if (fields.size() < 2)
            return fail(ErrorCode::OutOfRange, u"NUMFAX"_s);
        bool ok = false;
        const int count = Wire::toLong(fields[1], &ok);
        if (!ok)
            return fail(ErrorCode::TypeMismatch, u"NUMFAX"_s);
        Q_EMIT RxNumFax(count);
        return true;
    }
    if (kw == "FILE")
        return filePiece(data, false, error);
    if (kw == "FILEUPD")
        return filePiece(data, true, error);
    if (kw == "STARTFILE" || kw == "FINEUPD" || kw == "NOFILE") {
        // A new download, the end of the updates or a missing image while a download is still open.
        QPointer<QuorinSock> alive(this);
        if (dropUnfinished(kw == "FINEUPD") && !alive)
            return true;
    }
    if (kw == "STARTFILE")
        return startFile(data, error);
    if (kw == "ENDFILE")
        return endFile(data, error);
    if (kw == "FINEUPD") {
        closeDownload();
        Q_EMIT DownloadUpdComplete();
        return true;
    }
    if (kw == "NOFILE")
        return noFile(data, error);
    if (kw == "CHILDRENTREE") {
        m_collItems = Proto::ChildrenRs(
            data, [this](const ParseError &e) { LinkUtils::ShowErrorMessage(e, u"ChildrenRs"_s, this); });
        if (!data.isEmpty())
            Q_EMIT RxChildrenTree();
        return true;
    }
    if (kw == "NEWFOLDER")
        return handleNewFolder(data, error);
    if (kw == "GETINFO" || kw == "GETREPORT") {
        if (data.isEmpty())
            return true;
        Proto::FaxDataResult result = Proto::CaricaDatiFax(data, m_activeKeyword, errorSink());
        m_faxItems = std::move(result.items);
        if (result.ok) {
            if (kw == "GETREPORT")
                Q_EMIT RxReportFax(result.listKind);
            else
                Q_EMIT RxPropertyFax(result.listKind);
        }
        return true;
    }
    if (kw == "RXFAX" || kw == "RXFAXP" || kw == "FAXSENDING" || kw == "FAXCOMPLETE" || kw == "FAXFAILED" ||
        kw == "FAXPENDING")
        return handleNewFaxNotice(kw, data);
    if (kw == "ELIMINAVIETATO")
        return true;
    if (kw == "MAXUSERS") {
        refuseUser();
        return true;
    }
    if (kw == "VER_OK" || kw == "VER_UPCLIENT" || kw == "VER_UPSERVER")
        return true;
    if (kw == "TBUPDATE") {
        bool ok = false;
        const int total = Wire::toLong(data, &ok);
        if (!ok)
            return fail(ErrorCode::TypeMismatch, u"TBUPDATE"_s);
        m_updateTotal = total;
        m_updateReceived = 0;
        Q_EMIT ReceivingUpdate(total, 0);
        return true;
    }
    if (kw == "FAXPROGRSTART") {
        Q_EMIT ProgressStatusStart(Proto::text(data));
        return true;
    }
    if (kw == "FAXPROGR")
        return handleProgress(data, error);
    if (kw == "FAXPROGREND") {
        Q_EMIT ProgressStatusEnd(Proto::text(data));
        return true;
    }
    if (kw == "RUBRICA") {
        const Proto::BookRights rights{m_modifyShared, m_addShared, m_delShared, m_readShared};
        m_contacts = Proto::parsePhoneBook(data, rights, errorSink());
        Q_EMIT RxPhoneBook(m_contacts.get());
        return true;
    }
    return true; // a keyword this link does not know is ignored
}

bool QuorinSock::handleVersions(const QByteArray &data, ParseError &error)
{
    const QList<QByteArrayView> fields = fieldsOf(data);
    const QString server = Proto::text(fields.value(0));
    const int order = compareVersions(LibraryVersion(), server);
    if (order < 0)
        Q_EMIT UpdateOcxNeed(server);
    else if (order > 0)
        Q_EMIT UpdateServerNeed();
    QString *targets[] = {&m_quorinVersion, &m_printerVersion, &m_quorinLiveVersion, &m_darnelleVersion};
    for (int i = 0; i < 4; ++i) {
        if (i + 1 >= fields.size()) {
            error = {ErrorCode::OutOfRange, ErrorCode::description(ErrorCode::OutOfRange), u"VERSIONI"_s};
            return false;
        }
        *targets[i] = Proto::text(fields[i + 1]);
    }
    return true;
}

bool QuorinSock::handleNewFaxNotice(const QByteArray &keyword, const QByteArray &data)
{
    typeOfList list = SentList;
    if (keyword == "RXFAX")
        list = Forwardlist;
    else if (keyword == "RXFAXP")
        list = PersonalList;
    const bool active = m_activeList == list;

    std::unique_ptr<FaxItem> item =
        Proto::CreaFaxItem(QByteArrayView(data).sliced(qMin<qsizetype>(1, data.size())), list, errorSink());
    if (!item)
        return true; // the record failed and Error told so: no blank item, no event
    // Before the first list there is no collection yet: the notice starts one, so the host can read it.
    if (!m_faxItems)
        m_faxItems = std::make_unique<CollFaxItem>();
    if (list == SentList)
        m_faxItems->Remove(item->IdFax());
    FaxItem *added = item.get();
    if (!m_faxItems->Add(std::move(item)))
        return true;
    if (active)
        Q_EMIT RxNewFax(added, m_activeList);
    else if (list == Forwardlist || list == SentList)
        Q_EMIT RxNewFaxInDiffFolder(added, list);
    return true;
}

bool QuorinSock::handleProgress(const QByteArray &data, ParseError &error)
{
    if (data.isEmpty())
        return true;
    const QList<QByteArrayView> f = fieldsOf(data);
    if (f.size() < 11) {
        error = {ErrorCode::OutOfRange, ErrorCode::description(ErrorCode::OutOfRange), u"FAXPROGR"_s};
        return false;
    }
    bool okCount = false, okMax = false;
    const int retryCount = Wire::toInteger(f[8], &okCount);
    const int retryMax = Wire::toInteger(f[9], &okMax);
    if (!okCount || !okMax) {
        error = {ErrorCode::TypeMismatch, ErrorCode::description(ErrorCode::TypeMismatch), u"FAXPROGR"_s};
        return false;
    }
    Q_EMIT ProgressStatusTX(Proto::text(f[0]), Wire::leadingLong(f[1]), Wire::leadingInteger(f[2]),
                            Wire::leadingInteger(f[3]), Wire::leadingInteger(f[4]),
                            Wire::leadingInteger(f[5]), Proto::text(f[6]), Proto::text(f[7]), retryCount,
                            retryMax, Proto::text(f[10]));
    return true;
}

bool QuorinSock::handleNewFolder(const QByteArray &data, ParseError &error)
{
    if (data.isEmpty())
        return true;
    const QList<QByteArrayView> f = fieldsOf(data);
    if (f.size() < 4) {
        // The folder may exist on the server now; the host must hear that its answer was lost.
        error = {ErrorCode::OutOfRange, ErrorCode::description(ErrorCode::OutOfRange),
                 u"NEWFOLDER : "_s + Proto::text(data)};
        return false;
    }
    if (f[0].isEmpty() || f[1].isEmpty() || f[3].isEmpty())
        return true;
    Q_EMIT AddedNewFolder(Proto::text(f[0]), Wire::leadingLong(f[3]), Proto::TFToBool(f[2]));
    return true;
}
