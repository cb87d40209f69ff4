#include "SocketAdapter.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
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

SocketAdapter::SocketAdapter(QObject *parent) : QObject(parent)
{
    attach(new QTcpSocket(this));
}

SocketAdapter::~SocketAdapter()
{
    releaseWatch();
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
        if (state == QAbstractSocket::UnconnectedState)
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
    // Aborting raises the socket's disconnect: the flags are reset after it.
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
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

void SocketAdapter::Close()
{
    if (m_graceTimer)
        finishGrace(false);
    if (m_server)
        m_server->close();
    m_socket->abort();
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
    if (m_graceTimer)
        return;
    if (!isConnected()) {
        const qint64 left = qMax<qint64>(0, m_handed - bytesAcknowledged());
        m_socket->abort();
        Q_EMIT GracefulCloseDone(left == 0, left);
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
    if (isConnected()) {
        // Whatever the peer still sends is read, so the close never turns into a reset.
        if (m_socket->bytesAvailable() > 0)
            m_socket->readAll();
        if (m_socket->bytesToWrite() == 0 && !m_finSent) {
            ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
            m_finSent = true;
        }
    }
    const qint64 pending = unacknowledgedNow();
    if (pending == 0) {
        sampleDelivery();
        finishGrace(true);
        return;
    }
    if (pending < 0) {
        // The peer closed and the descriptor is gone: the last reading decides.
        finishGrace(m_handed - m_lastAcked <= 0);
        return;
    }
    sampleDelivery();
    if (QDateTime::currentMSecsSinceEpoch() >= m_graceDeadline)
        finishGrace(false);
}

void SocketAdapter::finishGrace(bool complete)
{
    QTimer *timer = std::exchange(m_graceTimer, nullptr);
    if (timer)
        timer->deleteLater();
    const qint64 left = complete ? 0 : qMax<qint64>(0, m_handed - m_lastAcked);
    if (m_socket->bytesAvailable() > 0)
        m_socket->readAll();
    m_socket->abort();
    m_errored = false;
    m_peerClosed = false;
    Q_EMIT GracefulCloseDone(complete, left);
}

bool SocketAdapter::closeGracefullyNow(int timeoutMs)
{
    if (m_graceTimer) {
        m_graceTimer->deleteLater();
        m_graceTimer = nullptr;
    }
    if (!isConnected()) {
        const bool complete = m_handed - bytesAcknowledged() <= 0;
        m_socket->abort();
        return complete;
    }
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    while (m_socket->bytesToWrite() > 0 && !deadline.hasExpired() && isConnected()) {
        if (!m_socket->waitForBytesWritten(int(qMin<qint64>(deadline.remainingTime(), 100))))
            if (m_socket->error() != QAbstractSocket::SocketTimeoutError)
                break;
    }
    bool complete = false;
    const qintptr fd = m_socket->socketDescriptor();
    if (isConnected() && fd >= 0 && m_socket->bytesToWrite() == 0) {
        ::shutdown(int(fd), SHUT_WR);
        m_finSent = true;
        char sink[16384];
        bool peerDone = false;
        for (;;) {
            int queued = 0;
            if (::ioctl(int(fd), SIOCOUTQ, &queued) != 0)
                break;
            if (queued == 0) {
                complete = true;
                break;
            }
            if (deadline.hasExpired())
                break;
            if (peerDone) {
                ::poll(nullptr, 0, 5);
                continue;
            }
            pollfd p{int(fd), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            const ssize_t got = ::recv(int(fd), sink, sizeof sink, MSG_DONTWAIT);
            if (got == 0)
                peerDone = true; // the peer ended its side; its acknowledgements may still come
            else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                break; // reset: what is unacknowledged stays so
        }
    }
    if (complete)
        m_lastAcked = m_handed;
    else
        sampleDelivery();
    m_socket->abort();
    m_errored = false;
    m_peerClosed = false;
    return complete;
}
