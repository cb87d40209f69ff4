#include "QuorinSock.h"

#include "SocketAdapter.h"
#include "UploadDriver.h"
#include "collFaxOut.h"
#include "frmConnecting.h"
#include "frmServerConf.h"

#include <QDateTime>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The control's visible size: 420 twips square at the screen's logical DPI.
int twipsToPixels(const QWidget *w)
{
    const qreal dpi = w->screen() ? w->screen()->logicalDotsPerInch() : 96.0;
    return qRound(420.0 * dpi / 1440.0);
}

} // namespace

QuorinSock::QuorinSock(QWidget *parent)
    : QWidget(parent), m_socket(new SocketAdapter(this)), m_sendQueue(std::make_unique<collFaxOut>()),
      m_watchdog(new QTimer(this)), m_stallTimer(new QTimer(this)), m_reloginBound(new QTimer(this))
{
    m_reloginBound->setSingleShot(true);
    connect(m_reloginBound, &QTimer::timeout, this, &QuorinSock::refuseHeldFrames);
    m_upload = new UploadDriver(
        *m_sendQueue, [this](const QByteArray &frame) { return sendFrame(frame); }, this);
    m_upload->setDeliveryProbe([this] {
        return UploadDriver::Delivery{m_socket->connectionId(), m_socket->bytesHanded(),
                                      m_socket->bytesAcknowledged(), m_socket->linkAlive(), m_holding};
    });
    m_upload->setQueueProbe([this] { return m_socket->bytesQueued(); });

    m_tempDir = LinkUtils::GetTempDir();
    m_nameTempFile = m_tempDir + u"TMPFAX.TIF"_s;
    m_nameQVfile = m_tempDir + u"QVFAX.TIF"_s;
    m_nameUpdateFolder = m_tempDir + u"UPDATE"_s;
    m_watchdog->setInterval(m_timeCheckServer);
    setFixedSize(twipsToPixels(this), twipsToPixels(this));

    connect(m_socket, &SocketAdapter::Connected, this, &QuorinSock::onSocketConnected);
    connect(m_socket, &SocketAdapter::DataArrival, this, &QuorinSock::onDataArrival);
    connect(m_socket, &SocketAdapter::Error, this, &QuorinSock::onSocketError);
    connect(m_socket, &SocketAdapter::SendProgress, this,
            [this](qint64 sent, qint64 remaining) { Q_EMIT SendProgress(int(sent), int(remaining)); });
    connect(m_socket, &SocketAdapter::ConnectionRequest, this, &QuorinSock::ConnectionRequest);
    // Each completed send runs the next step of the upload of outgoing faxes.
    connect(m_socket, &SocketAdapter::SendComplete, m_upload, &UploadDriver::sendComplete);
    connect(m_socket, &SocketAdapter::PeerClosed, this, &QuorinSock::onPeerClosed);
    connect(m_upload, &UploadDriver::SendComplete, this, &QuorinSock::SendComplete);
    connect(m_upload, &UploadDriver::SentFax2Server, this, [this](const QString &key) {
        m_unsettled.append(key);
        Q_EMIT SentFax2Server(key);
    });
    connect(m_upload, &UploadDriver::Error, this,
            [this](int number, const QString &description, const QString &source) {
                RaiseErrorEvent(number, description, 0, source);
            });
    connect(m_socket, &SocketAdapter::GracefulCloseDone, this, &QuorinSock::onGracefulClose);
    connect(m_watchdog, &QTimer::timeout, this, &QuorinSock::onWatchdogTick);
    connect(m_stallTimer, &QTimer::timeout, this, &QuorinSock::checkUploadStall);
    // The library's own connecting and settings windows, unless the host installs others.
    setConnectingWindow(
        [this](const QString &server) { frmConnecting::instance()->showFor(server, m_timeCheckServer); },
        [] { frmConnecting::hideInstance(); });
    setServerConfDialog([this](QWidget *, QString &server, int &port, int modal) {
        return runServerConf(server, port, modal, m_userName, m_timeSearchServers);
    });
}

QuorinSock::~QuorinSock()
{
    // A program ending right after its last request must not take unsent bytes with it.
    if (m_socket->isConnected() || m_socket->closingGracefully()) {
        m_socket->disconnect(this);
        m_upload->disconnect(this);
        // Ended without a reset on a thread of its own: the program's end waits for it (bounded).
        m_socket->closeInBackground(30000);
    }
    closeDownload();
    PurgePendingFiles();
}

QString QuorinSock::LibraryVersion()
{
    return u"1.0.0"_s;
}

int QuorinSock::compareVersions(QStringView a, QStringView b)
{
    const auto pa = a.split(u'.');
    const auto pb = b.split(u'.');
    for (qsizetype i = 0; i < qMax(pa.size(), pb.size()); ++i) {
        const QStringView x = i < pa.size() ? pa[i].trimmed() : QStringView(u"0");
        const QStringView y = i < pb.size() ? pb[i].trimmed() : QStringView(u"0");
        bool okx = false, oky = false;
        const qulonglong nx = x.toULongLong(&okx);
        const qulonglong ny = y.toULongLong(&oky);
        if (okx && oky) {
            if (nx != ny)
                return nx < ny ? -1 : 1;
            continue;
        }
        // A part that is not a number ("1.2b") compares as text.
        const int c = x.compare(y);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

CollFaxesSelected *QuorinSock::FaxesSelected()
{
    if (!m_faxesSelected)
        m_faxesSelected = std::make_unique<CollFaxesSelected>();
    return m_faxesSelected.get();
}

void QuorinSock::SetActiveList(typeOfList ActiveList, int CurrTreeID)
{
    m_activeList = ActiveList;
    m_folderId = CurrTreeID;
    switch (ActiveList) {
    case Forwardlist:
        m_activeKeyword = u"INOLTRO"_s;
        break;
    case PersonalList:
        m_activeKeyword = u"PERSONALI"_s;
        break;
    case SentList:
        m_activeKeyword = u"SPEDITI"_s;
        break;
    case DeletedList:
        m_activeKeyword = u"CANCELLATI"_s;
        break;
    default:
        break;
    }
    // With no list chosen yet there is nothing to ask again: a frame without keyword is not sent.
    if (m_activeKeyword.isEmpty())
        return;
    SendMsg(typeQry, m_activeKeyword, QString::number(CurrTreeID));
}

void QuorinSock::setTimeSearchServersAvailable(int ms)
{
    m_timeSearchServers = ms < 1 ? 1500 : ms;
}

void QuorinSock::setTimeCheckServer(int ms)
{
    m_timeCheckServer = ms < 1 ? 3000 : ms;
    m_watchdog->setInterval(m_timeCheckServer);
}

bool QuorinSock::SendMsg(typeofMsg type, QStringView keyword, const QString &data)
{
    return SendMsg(type, QByteArrayView(Proto::bytes(keyword)), QByteArrayView(Proto::bytes(data)));
}

bool QuorinSock::SendMsg(typeofMsg type, QByteArrayView keyword, QByteArrayView data)
{
    const std::optional<QByteArray> frame = Proto::buildFrame(type, keyword, data);
    if (!frame) {
        // Text holding the terminator would cut the frame and smuggle the rest in as frames of their own.
        RaiseErrorEvent(ErrorCode::InvalidCall, ErrorCode::description(ErrorCode::InvalidCall), 0,
                        u"SendMsg : "_s + Proto::text(keyword));
        return false;
    }
    return sendFrame(*frame);
}

bool QuorinSock::sendFrame(const QByteArray &frame)
{
    if (m_holding) {
        m_held.append(frame);
        return true;
    }
    int err = m_socket->SendData(frame);
    if (err == SocketAdapter::sckBadState && m_userReceived) {
        // Logged in before: the request waits for the new login instead of being lost with this one.
        beginRelogin();
        m_held.append(frame);
        return true;
    }
    if (err == SocketAdapter::sckBadState) {
        // One reconnect and one resend; the connect is asynchronous, so the resend normally fails too
        // and the login that follows ends in ReConnected.
        ReConnect();
        err = m_socket->SendData(frame);
        if (err == SocketAdapter::sckBadState && m_connectionWanted) {
            const QString server = m_sockServer;
            const int port = m_sockPort;
            m_linkUp = false;
            m_connectionWanted = false;
            Q_EMIT ConnectionNotAvailable(server, port);
        }
    }
    return err == 0;
}

void QuorinSock::RaiseErrorEvent(int Number, const QString &Description, int Scode, const QString &Source)
{
    Q_EMIT Error(Number, Description, Scode, Source, QString(), 0, false);
}

bool QuorinSock::guardUser(const QString &request, std::initializer_list<Proto::TextField> fields)
{
    for (const Proto::TextField &f : fields) {
        const Proto::TextVerdict v = Proto::checkUserText(f.label, f.text);
        if (!v.ok()) {
            RaiseErrorEvent(ErrorCode::InvalidCall, v.problem, 0, request + u" : "_s + f.label);
            return false;
        }
    }
    return true;
}

bool QuorinSock::guardParts(const QString &request, QStringView separator,
                            std::initializer_list<Proto::TextField> parts)
{
    for (const Proto::TextField &f : parts) {
        const Proto::TextVerdict v = Proto::checkPart(f.label, f.text, separator);
        if (!v.ok()) {
            RaiseErrorEvent(ErrorCode::InvalidCall, v.problem, 0, request + u" : "_s + f.label);
            return false;
        }
    }
    return true;
}

QString QuorinSock::TextProblem(const QString &label, const QString &text)
{
    return Proto::checkUserText(label, text).problem;
}

QString QuorinSock::TextChange(const QString &label, const QString &text)
{
    const Proto::TextVerdict v = Proto::checkUserText(label, text);
    return v.ok() ? v.change : QString();
}

QString QuorinSock::FaxProblem(const faxOut &fax)
{
    return Proto::checkFax(fax).problem;
}

void QuorinSock::raiseParseError(const ParseError &error)
{
    RaiseErrorEvent(error.number, error.description, 0, error.source);
}

ErrorSink QuorinSock::errorSink()
{
    return [this](const ParseError &e) { raiseParseError(e); };
}

void QuorinSock::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int side = twipsToPixels(this);
    if (width() != side || height() != side)
        resize(side, side);
}

void QuorinSock::PurgePendingFiles()
{
    m_pendingDeletions.purge(m_nameTempFile);
}

// --- socket pass-through ---

int QuorinSock::State() const
{
    return m_socket->State();
}

qintptr QuorinSock::SocketHandle() const
{
    return m_socket->SocketHandle();
}

void QuorinSock::SendData(const QByteArray &Data)
{
    m_socket->SendData(Data);
}

void QuorinSock::SendData(const QString &Data)
{
    m_socket->SendData(Proto::bytes(Data));
}

int QuorinSock::RemotePort() const
{
    return m_socket->RemotePort();
}

void QuorinSock::setRemotePort(int port)
{
    m_socket->setRemotePort(port);
}

QString QuorinSock::RemoteHostIP() const
{
    return m_socket->RemoteHostIP();
}

QString QuorinSock::RemoteHost() const
{
    return m_socket->RemoteHost();
}

void QuorinSock::setRemoteHost(const QString &host)
{
    m_socket->setRemoteHost(host);
}

int QuorinSock::Protocol() const
{
    return m_socket->Protocol();
}

void QuorinSock::setProtocol(int protocol)
{
    m_socket->setProtocol(protocol);
}

void QuorinSock::PeekData(QByteArray &vntData, int, qint64 maxLen) const
{
    vntData = m_socket->PeekData(maxLen);
}

int QuorinSock::LocalPort() const
{
    return m_socket->LocalPort();
}

void QuorinSock::setLocalPort(int port)
{
    m_socket->setLocalPort(port);
}

QString QuorinSock::LocalIP() const
{
    return m_socket->LocalIP();
}

QString QuorinSock::LocalHostName() const
{
    return m_socket->LocalHostName();
}

void QuorinSock::Listen()
{
    m_socket->Listen();
}

void QuorinSock::GetData(QByteArray &vntData, int, qint64 maxLen)
{
    vntData = m_socket->GetData(maxLen);
}

void QuorinSock::beginRelogin()
{
    m_holding = true;
    m_listBeforeHold = {m_activeList, m_folderId, m_activeKeyword};
    // Bounded as a connection is: three checks of the watchdog's period.
    m_reloginBound->start(3 * m_timeCheckServer);
    m_reconnecting = true;
    // The link was let go when the server ended it; a second drop would take the fax now being
    // announced with it.
    if (!m_linkDropped)
        dropLink();
    m_socket->Close();
    m_linkUp = false;
    salvageFrames();
    m_socket->Connect(m_sockServer, m_sockPort);
}

void QuorinSock::sendHeldFrames()
{
    if (!m_holding)
        return;
    m_holding = false;
    m_reloginBound->stop();
    const QList<QByteArray> frames = std::exchange(m_held, {});
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (m_holding) {
            // The link went again while they went out: the rest waits for the next login.
            m_held.append(frames.mid(i));
            return;
        }
        if (m_socket->SendData(frames.at(i)) == SocketAdapter::sckBadState && m_userReceived) {
            beginRelogin();
            m_held.append(frames.mid(i));
            return;
        }
    }
    m_upload->heldFramesHanded();
}

void QuorinSock::refuseHeldFrames()
{
    if (!m_holding)
        return;
    m_holding = false;
    m_reloginBound->stop();
    m_held.clear();
    // Nothing of them reached the server: the list it knows is the one chosen before.
    m_activeList = m_listBeforeHold.list;
    m_folderId = m_listBeforeHold.folder;
    m_activeKeyword = m_listBeforeHold.keyword;
    // A fax announced meanwhile never went: it is reported as not sent.
    m_upload->linkLost();
    // A login that comes after this would be news to nobody.
    m_socket->Close();
    m_linkUp = false;
    m_connectionWanted = false;
    Q_EMIT ConnectionNotAvailable(m_sockServer, m_sockPort);
}

void QuorinSock::dropLink()
{
    m_linkDropped = true;
    m_upload->linkLost();
    settleFaxes(NotDelivered);
    // A download the link cut in the middle leaves no partial file; the host hears of an image as
    // incomplete, as of any other.
    dropUnfinished(true);
}

void QuorinSock::onPeerClosed()
{
    // Only the end of a link in use is news: our own closes and a login never finished are not.
    const bool inUse = m_linkUp && m_userReceived && m_connectionWanted && !m_socket->closingGracefully();
    dropLink();
    if (m_holding) {
        // Ended again before the new login: what was kept for it does not go.
        refuseHeldFrames();
        return;
    }
    if (!inUse)
        return;
    m_linkUp = false;
    reportLinkLost();
}

void QuorinSock::reportLinkLost()
{
    // The frames that came before the end are handled first: a list that arrived whole is not lost.
    if (m_dispatchQueued) {
        QMetaObject::invokeMethod(this, &QuorinSock::reportLinkLost, Qt::QueuedConnection);
        return;
    }
    if (m_linkUp || m_holding)
        return; // logged in again meanwhile, or logging in again for a request
    Q_EMIT LinkLost(m_sockServer, m_sockPort);
}

void QuorinSock::settleFaxes(DeliveryOutcome outcome)
{
    if (m_unsettled.isEmpty())
        return;
    const QStringList keys = std::exchange(m_unsettled, {});
    Q_EMIT FaxesSettled(keys, outcome);
}

void QuorinSock::setUploadStallBound(int ms)
{
    m_uploadStallMs = ms < 1 ? DefaultUploadStallMs : ms;
}

void QuorinSock::watchUpload()
{
    if (m_stallTimer->isActive())
        return;
    m_stallLink = -1;
    m_stallTimer->start(qBound(10, m_uploadStallMs / 20, 1000));
}

void QuorinSock::checkUploadStall()
{
    if (!m_upload->busy()) {
        m_stallTimer->stop();
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 acked = m_socket->bytesAcknowledged();
    // Only a link that is up, with bytes of ours the server has not taken, can stall; its own close is
    // bounded on its own.
    const bool waiting = m_socket->isConnected() && !m_socket->closingGracefully() &&
                         m_socket->bytesHanded() > acked;
    if (!waiting || m_socket->connectionId() != m_stallLink || acked != m_stallAcked) {
        m_stallLink = m_socket->connectionId();
        m_stallAcked = acked;
        m_stallSince = now;
        return;
    }
    if (now - m_stallSince < m_uploadStallMs)
        return;
    // The server reads nothing any more: the link is let go (its end is not waited for long, nobody on
    // the other side reads it) and every fax on it is reported with the reason.
    m_stallTimer->stop();
    m_stallLink = -1;
    const QString why = u"il server non riceve più dati: nessun byte accettato da %1 s."_s.arg(m_uploadStallMs / 1000.0);
    m_socket->Close(2000);
    m_upload->linkLost(SocketAdapter::sckTimedout, why);
    settleFaxes(NotDelivered);
    m_linkUp = false;
    m_cutter.clear();
    m_salvaged.clear();
    dropUnfinished(true);
}

void QuorinSock::ConnectClose(int drainMs)
{
    refuseHeldFrames();
    m_socket->Close(drainMs);
    QPointer<QuorinSock> alive(this);
    dropLink();
    if (!alive)
        return;
    m_linkUp = false;
    m_connectionWanted = false;
    m_cutter.clear();
    m_salvaged.clear();
}

void QuorinSock::CloseLink(int timeoutMs)
{
    m_closeBoundMs = timeoutMs;
    m_watchdog->stop();
    m_connectionWanted = false;
    m_socket->closeGracefully(timeoutMs);
}

QuorinSock::DeliveryOutcome QuorinSock::CloseLinkNow(int timeoutMs)
{
    m_closeBoundMs = timeoutMs;
    m_watchdog->stop();
    m_connectionWanted = false;
    // The adapter reports the end through GracefulCloseDone, handled here before it returns.
    return DeliveryOutcome(m_socket->closeGracefullyNow(timeoutMs));
}

void QuorinSock::onGracefulClose(int outcome, qint64 unacknowledged)
{
    finishClose(DeliveryOutcome(outcome), unacknowledged);
}

void QuorinSock::finishClose(DeliveryOutcome outcome, qint64 unacknowledged)
{
    if (outcome == NotDelivered && unacknowledged > 0)
        reportUnconfirmedClose(unacknowledged);
    else if (outcome == AcknowledgedOnly)
        RaiseErrorEvent(SocketAdapter::sckTimedout,
                        u"Chiusura del collegamento: il sistema del server ha accettato tutti i dati, ma il server "
                        u"non ha chiuso il collegamento entro %1 s; consegna dei fax non confermata."_s.arg(
                            m_closeBoundMs / 1000.0),
                        0, u"CloseLink"_s);
    // Faxes the last reading shows acknowledged are reported sent first, then settled with the close.
    m_upload->linkLost();
    settleFaxes(outcome);
    m_linkUp = false;
    m_cutter.clear();
    m_salvaged.clear();
    QPointer<QuorinSock> alive(this);
    dropUnfinished(true);
    if (!alive)
        return;
    Q_EMIT LinkClosed(outcome == Delivered);
}

void QuorinSock::reportUnconfirmedClose(qint64 unacknowledged)
{
    RaiseErrorEvent(SocketAdapter::sckTimedout,
                    u"Chiusura del collegamento: %1 byte non confermati dal server."_s.arg(unacknowledged), 0,
                    u"CloseLink"_s);
}

int QuorinSock::BytesReceived() const
{
    return int(qMin<qint64>(m_socket->BytesReceived(), std::numeric_limits<int>::max()));
}

void QuorinSock::Bind(int LocalPort, const QString &LocalIP)
{
    m_socket->Bind(LocalPort, LocalIP);
}

void QuorinSock::Accept(int requestID)
{
    m_socket->Accept(requestID);
}

void QuorinSock::ReadProperties(const QSettings &bag)
{
    bool ok = false;
    const int remotePort = bag.value(u"RemotePort"_s, 0).toInt(&ok);
    if (ok)
        m_socket->setRemotePort(remotePort);
    m_socket->setRemoteHost(bag.value(u"RemoteHost"_s, QString()).toString());
    const int protocol = bag.value(u"Protocol"_s, 0).toInt(&ok);
    if (ok)
        m_socket->setProtocol(protocol);
    const int localPort = bag.value(u"LocalPort"_s, 0).toInt(&ok);
    if (ok)
        m_socket->setLocalPort(localPort);
}

void QuorinSock::WriteProperties(QSettings &bag) const
{
    auto put = [&bag](const QString &key, const QVariant &value, const QVariant &fallback) {
        if (value == fallback)
            bag.remove(key);
        else
            bag.setValue(key, value);
    };
    put(u"RemotePort"_s, m_socket->RemotePort(), 0);
    put(u"RemoteHost"_s, m_socket->RemoteHost(), QString());
    put(u"Protocol"_s, m_socket->Protocol(), 0);
    // The port asked for, never the passing port of a live connection (binding to it later would fail).
    put(u"LocalPort"_s, m_socket->configuredLocalPort(), 0);
}

void QuorinSock::setConnectingWindow(std::function<void(const QString &)> show, std::function<void()> hide)
{
    m_showConnecting = std::move(show);
    m_hideConnecting = std::move(hide);
}

void QuorinSock::hideConnecting()
{
    if (m_hideConnecting)
        m_hideConnecting();
}
