#include "SocketAdapter.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QSignalBlocker>
#include <QTimer>

#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
#include <linux/sockios.h>
#include <utility>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

using namespace Qt::StringLiterals;

namespace {

struct ErrorMapping
{
    int number;
    const char16_t *text;
};

ErrorMapping mapError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return {SocketAdapter::sckConnectionRefused, u"Connection is forcefully rejected"};
    case QAbstractSocket::RemoteHostClosedError:
        return {SocketAdapter::sckConnectionReset, u"Connection is reset by remote side"};
    case QAbstractSocket::HostNotFoundError:
        return {SocketAdapter::sckHostNotFound, u"Authoritative answer: Host not found"};
    case QAbstractSocket::SocketTimeoutError:
        return {SocketAdapter::sckTimedout, u"Attempt to connect timed out"};
    case QAbstractSocket::NetworkError:
        return {SocketAdapter::sckNetworkUnreachable, u"Network is unreachable"};
    case QAbstractSocket::AddressInUseError:
        return {SocketAdapter::sckAddressInUse, u"Address in use"};
    case QAbstractSocket::UnsupportedSocketOperationError:
        return {SocketAdapter::sckUnsupported, u"Protocol or connection type not supported"};
    default:
        return {SocketAdapter::sckBadState,
                u"Wrong protocol or connection state for the requested transaction or request"};
    }
}

} // namespace

// The end of one connection, on its own descriptor (the socket let it go): our end of stream, then read
// and drop until the peer's end of stream, a reset, or the deadline. Closing a descriptor while the peer
// may still send would answer it with a reset, and the peer's system may then throw away what it had
// taken for its program and not yet handed over.
struct DrainState
{
    int fd = -1;
    qint64 deadline = 0;
    bool finSent = false;
    bool peerDone = false;

    // Reads what there is; false after a reset or error.
    bool drainInput()
    {
        char sink[16384];
        for (;;) {
            const ssize_t got = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
            if (got > 0)
                continue;
            if (got == 0) {
                peerDone = true;
                return true;
            }
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    qint64 queued() const
    {
        int n = 0;
        return ::ioctl(fd, SIOCOUTQ, &n) == 0 ? n : -1;
    }
    // One look; the outcome once decided.
    std::optional<SocketAdapter::CloseOutcome> step()
    {
        if (!finSent) {
            // The peer's end of stream before ours: it stopped on its own, not after reading our end.
            if (!drainInput() || peerDone)
                return SocketAdapter::CloseLost;
            if (::shutdown(fd, SHUT_WR) != 0)
                return SocketAdapter::CloseLost;
            finSent = true;
        }
        if (!drainInput())
            return SocketAdapter::CloseLost;
        const qint64 q = queued();
        if (q < 0)
            return SocketAdapter::CloseLost;
        if (peerDone && q == 0)
            return SocketAdapter::CloseConfirmed;
        if (QDateTime::currentMSecsSinceEpoch() < deadline)
            return std::nullopt;
        // Past the bound: the peer's TCP took everything (our end of stream included) or it did not.
        return q == 0 ? SocketAdapter::CloseAcknowledged : SocketAdapter::CloseLost;
    }
    // Bytes of ours not acknowledged (the end-of-stream mark left out).
    qint64 unacknowledged() const { return qMax<qint64>(0, queued() - (finSent ? 1 : 0)); }
    // Nothing unread is left in our buffer when this runs: the close sends no reset.
    void release()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

// Ends the connections nobody waits for (a reconnect, a control going away) on a thread of its own, so
// the program goes on; at the program's end it finishes them, each within its own bound.
class DrainPool
{
public:
    static DrainPool &instance()
    {
        static DrainPool pool;
        return pool;
    }
    void add(DrainState state)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_states.push_back(state);
            if (!m_worker.joinable())
                m_worker = std::thread([this] { run(); });
        }
        m_wake.notify_one();
    }
    ~DrainPool()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_wake.notify_one();
        if (m_worker.joinable())
            m_worker.join();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_ending || !m_states.empty(); });
            if (m_states.empty())
                return; // ending, nothing left
            std::vector<DrainState> states = std::move(m_states);
            m_states.clear();
            lock.unlock();
            std::vector<pollfd> fds;
            while (!states.empty()) {
                for (auto it = states.begin(); it != states.end();) {
                    if (const auto outcome = it->step()) {
                        if (*outcome == SocketAdapter::CloseAcknowledged)
                            qWarning("SocketAdapter: the server kept a link open past the close's bound");
                        it->release();
                        it = states.erase(it);
                    } else {
                        ++it;
                    }
                }
                fds.clear();
                for (const DrainState &d : states)
                    fds.push_back({d.fd, POLLIN, 0});
                if (!fds.empty())
                    ::poll(fds.data(), fds.size(), 5);
                lock.lock();
                for (DrainState &d : m_states)
                    states.push_back(d);
                m_states.clear();
                lock.unlock();
            }
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<DrainState> m_states;
    std::thread m_worker;
    bool m_ending = false;
};

// The close of the connection in hand, in the event loop; its verdict goes back to the adapter.
class LinkDrain : public QObject
{
public:
    using Done = std::function<void(SocketAdapter::CloseOutcome, qint64 unacknowledged)>;
    LinkDrain(int fd, qint64 deadline, Done done, QObject *parent) : QObject(parent), m_done(std::move(done))
    {
        m_state.fd = fd;
        m_state.deadline = deadline;
    }
    ~LinkDrain() override { m_state.release(); }
    void start()
    {
        m_timer = new QTimer(this);
        m_timer->setInterval(5);
        connect(m_timer, &QTimer::timeout, this, &LinkDrain::step);
        m_timer->start();
        step();
    }
    // Waits here until the close is decided.
    void runNow()
    {
        while (!m_finished) {
            step();
            if (m_finished)
                break;
            pollfd p{m_state.fd, POLLIN, 0};
            ::poll(&p, 1, 5);
        }
    }
    // Nobody waits for the verdict any more: the close goes on in the pool.
    void handToPool()
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_timer)
            m_timer->stop();
        DrainPool::instance().add(std::exchange(m_state, DrainState{}));
    }

private:
    void step()
    {
        if (m_finished)
            return;
        const auto outcome = m_state.step();
        if (!outcome)
            return;
        m_finished = true;
        if (m_timer)
            m_timer->stop();
        const qint64 left = m_state.unacknowledged();
        m_state.release();
        if (m_done)
            m_done(*outcome, *outcome == SocketAdapter::CloseConfirmed ? 0 : left);
    }

    DrainState m_state;
    Done m_done;
    QTimer *m_timer = nullptr;
    bool m_finished = false;
};

SocketAdapter::SocketAdapter(QObject *parent) : QObject(parent)
{
    attach(new QTcpSocket(this));
}

SocketAdapter::~SocketAdapter()
{
    if (LinkDrain *drain = std::exchange(m_drain, nullptr)) {
        drain->handToPool();
        delete drain;
    }
    releaseWatch();
}

void SocketAdapter::closeInBackground(int flushMs)
{
    if (m_graceTimer || m_drain) {
        Close();
        return;
    }
    const QDeadlineTimer deadline(qMax(0, flushMs));
    while (m_socket->bytesToWrite() > 0 && !deadline.hasExpired() && isConnected()) {
        if (!m_socket->waitForBytesWritten(int(qMin<qint64>(deadline.remainingTime(), 100))))
            if (m_socket->error() != QAbstractSocket::SocketTimeoutError)
                break;
    }
    releaseConnection();
}

void SocketAdapter::releaseConnection(int drainMs)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_socket->abort();
        return;
    }
    // Ours written as far as the system takes it now; then the descriptor is ended in the background.
    m_socket->flush();
    sampleDelivery();
    const qintptr fd = m_socket->socketDescriptor();
    const int own = fd >= 0 ? ::fcntl(int(fd), F_DUPFD_CLOEXEC, 0) : -1;
    {
        const QSignalBlocker quiet(m_socket);
        m_socket->abort();
    }
    releaseWatch();
    if (own < 0)
        return;
    DrainState state;
    state.fd = own;
    state.deadline = QDateTime::currentMSecsSinceEpoch() + qMax(0, drainMs);
    DrainPool::instance().add(state);
}

void SocketAdapter::watch()
{
    releaseWatch();
    const qintptr fd = m_socket->socketDescriptor();
    if (fd >= 0)
        m_watchFd = ::fcntl(int(fd), F_DUPFD_CLOEXEC, 0);
}

void SocketAdapter::releaseWatch()
{
    if (m_watchFd >= 0)
        ::close(m_watchFd);
    m_watchFd = -1;
}

void SocketAdapter::attach(QTcpSocket *socket)
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_socket = socket;
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_errored = false;
        m_peerClosed = false;
        beginConnection();
        Q_EMIT Connected();
    });
    // The socket closes its descriptor on its own when the peer ends the link; a duplicate keeps the send
    // queue readable until the last reading is taken here.
    connect(socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ClosingState || state == QAbstractSocket::UnconnectedState)
            sampleDelivery();
        if (state == QAbstractSocket::UnconnectedState && !m_drain)
            releaseWatch();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] { Q_EMIT DataArrival(m_socket->bytesAvailable()); });
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketAdapter::onBytesWritten);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketAdapter::onError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        m_peerClosed = true;
        // Bytes that came with the close are still buffered: let the reader have them.
        if (m_socket->bytesAvailable() > 0)
            Q_EMIT DataArrival(m_socket->bytesAvailable());
        Q_EMIT PeerClosed();
    });
}

int SocketAdapter::State() const
{
    if (m_server && m_server->isListening())
        return sckListening;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
        return sckResolvingHost;
    case QAbstractSocket::ConnectingState:
        return sckConnecting;
    case QAbstractSocket::ConnectedState:
        return sckConnected;
    case QAbstractSocket::ClosingState:
        return sckClosing;
    case QAbstractSocket::BoundState:
        return sckOpen;
    case QAbstractSocket::ListeningState:
        return sckListening;
    case QAbstractSocket::UnconnectedState:
    default:
        if (m_errored)
            return sckError;
        if (m_peerClosed)
            return sckClosing;
        return sckClosed;
    }
}

qintptr SocketAdapter::SocketHandle() const
{
    return m_socket->socketDescriptor();
}

void SocketAdapter::Connect(const QString &host, int port)
{
    if (!host.isEmpty())
        m_remoteHost = host;
    if (port != 0)
        m_remotePort = port;
    // A connection still open is ended in the background; the flags are reset after it.
    if (m_graceTimer || m_drain)
        Close();
    else if (m_socket->state() != QAbstractSocket::UnconnectedState)
        releaseConnection();
    m_errored = false;
    m_peerClosed = false;
    m_sentInBatch = 0;
    if (m_remotePort < 1 || m_remotePort > 65535) {
        m_errored = true;
        m_lastError = sckInvalidArg;
        Q_EMIT Error(sckInvalidArg, u"Invalid argument"_s);
        return;
    }
    if (m_localPort > 0 || !m_localIP.isEmpty())
        m_socket->bind(m_localIP.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(m_localIP),
                       quint16(m_localPort));
    m_socket->connectToHost(m_remoteHost, quint16(m_remotePort));
}

void SocketAdapter::Close(int drainMs)
{
    if (m_graceTimer) {
        m_graceTimer->deleteLater();
        m_graceTimer = nullptr;
    }
    if (LinkDrain *drain = std::exchange(m_drain, nullptr)) {
        // Its end goes on in the background; nobody waits for its verdict any more.
        drain->handToPool();
        drain->deleteLater();
        releaseWatch();
    }
    if (m_server)
        m_server->close();
    releaseConnection(drainMs);
    m_errored = false;
    m_peerClosed = false;
    m_sentInBatch = 0;
}

int SocketAdapter::SendData(const QByteArray &bytes)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_lastError = sckBadState;
        return sckBadState;
    }
    if (m_graceTimer) {
        m_lastError = sckBadState; // the stream is being ended
        return sckBadState;
    }
    if (m_socket->write(bytes) != bytes.size()) {
        m_lastError = sckBadState;
        return sckBadState;
    }
    m_handed += bytes.size();
    m_lastError = 0;
    return 0;
}

void SocketAdapter::onBytesWritten(qint64 bytes)
{
    m_written += bytes;
    m_sentInBatch += bytes;
    const qint64 remaining = m_socket->bytesToWrite();
    Q_EMIT SendProgress(m_sentInBatch, remaining);
    if (remaining == 0) {
        m_sentInBatch = 0;
        Q_EMIT SendComplete();
    }
}

void SocketAdapter::onError()
{
    sampleDelivery();
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The peer closed: the control's view of that is the closing state, not an error.
        m_peerClosed = true;
        return;
    }
    const ErrorMapping mapped = mapError(error);
    m_errored = true;
    m_lastError = mapped.number;
    Q_EMIT Error(mapped.number, QString::fromUtf16(mapped.text));
}

qint64 SocketAdapter::BytesReceived() const
{
    return m_socket->bytesAvailable();
}

QByteArray SocketAdapter::GetData(qint64 maxLen)
{
    return maxLen < 0 ? m_socket->readAll() : m_socket->read(maxLen);
}

QByteArray SocketAdapter::PeekData(qint64 maxLen) const
{
    return m_socket->peek(maxLen < 0 ? m_socket->bytesAvailable() : maxLen);
}

QString SocketAdapter::RemoteHostIP() const
{
    return m_socket->peerAddress().isNull() ? QString() : m_socket->peerAddress().toString();
}

int SocketAdapter::LocalPort() const
{
    if (m_server && m_server->isListening())
        return m_server->serverPort();
    return m_socket->localPort() != 0 ? m_socket->localPort() : m_localPort;
}

QString SocketAdapter::LocalIP() const
{
    if (!m_socket->localAddress().isNull())
        return m_socket->localAddress().toString();
    return QHostAddress(QHostAddress::LocalHost).toString();
}

QString SocketAdapter::LocalHostName() const
{
    return QHostInfo::localHostName();
}

bool SocketAdapter::Bind(int localPort, const QString &localIP)
{
    m_localPort = localPort;
    m_localIP = localIP;
    return true;
}

bool SocketAdapter::Listen()
{
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection()) {
                const int id = m_nextRequest++;
                m_requests.insert(id, s);
                Q_EMIT ConnectionRequest(id);
            }
        });
    }
    const QHostAddress address =
        m_localIP.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(m_localIP);
    if (!m_server->listen(address, quint16(m_localPort))) {
        m_errored = true;
        m_lastError = sckAddressInUse;
        Q_EMIT Error(sckAddressInUse, u"Address in use"_s);
        return false;
    }
    return true;
}

void SocketAdapter::Accept(int requestID)
{
    QPointer<QTcpSocket> s = m_requests.take(requestID);
    if (!s) {
        m_lastError = sckBadState;
        Q_EMIT Error(sckBadState,
                     u"Wrong protocol or connection state for the requested transaction or request"_s);
        return;
    }
    if (m_server)
        m_server->close();
    m_errored = false;
    m_peerClosed = false;
    attach(s);
    beginConnection();
    if (s->bytesAvailable() > 0)
        Q_EMIT DataArrival(s->bytesAvailable());
}

// --- delivery ---

void SocketAdapter::beginConnection()
{
    ++m_connectionId;
    m_handed = 0;
    m_written = 0;
    m_lastAcked = 0;
    m_finSent = false;
    watch();
}

qint64 SocketAdapter::kernelUnacknowledged() const
{
    if (m_watchFd < 0)
        return -1;
    int queued = 0;
    // Linux: bytes in the send queue the peer has not acknowledged (sent or not).
    if (::ioctl(m_watchFd, SIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

qint64 SocketAdapter::unacknowledgedNow() const
{
    const qint64 queued = kernelUnacknowledged();
    return queued < 0 ? -1 : (m_handed - m_written) + queued;
}

void SocketAdapter::sampleDelivery() const
{
    // Counted from what reached the system, never from our own buffer: a buffer dropped with the
    // connection must not count as delivered.
    qint64 queued = kernelUnacknowledged();
    if (queued > 0 && m_finSent)
        --queued; // the end of the stream takes one place in the queue and is no byte of ours
    if (queued >= 0)
        m_lastAcked = qMax<qint64>(m_lastAcked, qBound<qint64>(0, m_written - queued, m_handed));
}

qint64 SocketAdapter::bytesAcknowledged() const
{
    sampleDelivery();
    return m_lastAcked;
}

qint64 SocketAdapter::bytesQueued() const
{
    return m_socket->bytesToWrite();
}

bool SocketAdapter::isConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void SocketAdapter::closeGracefully(int timeoutMs)
{
    if (closingGracefully())
        return;
    if (!isConnected()) {
        const qint64 left = qMax<qint64>(0, m_handed - bytesAcknowledged());
        m_socket->abort();
        // The peer ended first (or there was no link): nothing is confirmed.
        Q_EMIT GracefulCloseDone(m_handed == 0 ? CloseConfirmed : CloseLost, left);
        return;
    }
    m_finSent = false;
    m_graceDeadline = QDateTime::currentMSecsSinceEpoch() + qMax(0, timeoutMs);
    m_graceTimer = new QTimer(this);
    m_graceTimer->setInterval(2);
    connect(m_graceTimer, &QTimer::timeout, this, &SocketAdapter::graceTick);
    m_graceTimer->start();
    graceTick();
}

void SocketAdapter::graceTick()
{
    if (!m_graceTimer)
        return;
    if (!isConnected()) {
        // The peer ended (or reset) the link before our end of stream.
        sampleDelivery();
        finishGrace(CloseLost);
        return;
    }
    if (m_socket->bytesAvailable() > 0)
        m_socket->readAll();
    if (m_socket->bytesToWrite() == 0 || QDateTime::currentMSecsSinceEpoch() >= m_graceDeadline) {
        m_graceTimer->deleteLater();
        m_graceTimer = nullptr;
        startDrain();
        if (m_drain)
            m_drain->start();
    }
}

void SocketAdapter::startDrain()
{
    sampleDelivery();
    const qintptr fd = m_socket->socketDescriptor();
    const int own = fd >= 0 ? ::fcntl(int(fd), F_DUPFD_CLOEXEC, 0) : -1;
    if (own < 0) {
        finishGrace(CloseLost);
        return;
    }
    const qint64 unwritten = m_socket->bytesToWrite();
    m_drain = new LinkDrain(
        own, qMax(m_graceDeadline, QDateTime::currentMSecsSinceEpoch()),
        [this, unwritten](CloseOutcome outcome, qint64 queued) {
            // Bytes still in the socket's own buffer never reached the system.
            if (unwritten > 0 && outcome != CloseLost)
                outcome = CloseLost;
            const qint64 reached = m_written;
            if (outcome == CloseConfirmed && unwritten == 0)
                m_lastAcked = m_handed;
            else
                m_lastAcked = qMax<qint64>(m_lastAcked, qBound<qint64>(0, reached - queued, m_handed));
            finishGrace(outcome);
        },
        this);
    m_finSent = true;
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
}

void SocketAdapter::finishGrace(CloseOutcome outcome)
{
    if (QTimer *timer = std::exchange(m_graceTimer, nullptr))
        timer->deleteLater();
    if (LinkDrain *drain = std::exchange(m_drain, nullptr))
        drain->deleteLater();
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        const QSignalBlocker quiet(m_socket);
        m_socket->abort();
    }
    releaseWatch();
    const qint64 left = outcome == CloseConfirmed ? 0 : qMax<qint64>(0, m_handed - m_lastAcked);
    if (outcome == CloseAcknowledged)
        qWarning("SocketAdapter: the server kept the link open past the close's bound");
    m_errored = false;
    m_peerClosed = false;
    Q_EMIT GracefulCloseDone(outcome, left);
}

SocketAdapter::CloseOutcome SocketAdapter::closeGracefullyNow(int timeoutMs)
{
    CloseOutcome result = CloseLost;
    auto capture = connect(this, &SocketAdapter::GracefulCloseDone, this,
                           [&result](int outcome, qint64) { result = CloseOutcome(outcome); });
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    if (m_graceTimer) {
        m_graceTimer->deleteLater();
        m_graceTimer = nullptr;
    }
    if (!m_drain) {
        if (!isConnected()) {
            disconnect(capture);
            const qint64 left = qMax<qint64>(0, m_handed - bytesAcknowledged());
            const CloseOutcome outcome = m_handed == 0 ? CloseConfirmed : CloseLost;
            m_socket->abort();
            releaseWatch();
            Q_EMIT GracefulCloseDone(outcome, left);
            return outcome;
        }
        while (m_socket->bytesToWrite() > 0 && !deadline.hasExpired() && isConnected()) {
            if (!m_socket->waitForBytesWritten(int(qMin<qint64>(deadline.remainingTime(), 100))))
                if (m_socket->error() != QAbstractSocket::SocketTimeoutError)
                    break;
        }
        if (!isConnected()) {
            disconnect(capture);
            sampleDelivery();
            m_socket->abort();
            releaseWatch();
            Q_EMIT GracefulCloseDone(CloseLost, qMax<qint64>(0, m_handed - m_lastAcked));
            return CloseLost;
        }
        m_graceDeadline = QDateTime::currentMSecsSinceEpoch() + deadline.remainingTime();
        startDrain();
    }
    if (m_drain)
        m_drain->runNow();
    disconnect(capture);
    return result;
}
