#include "SocketAdapter.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>

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

SocketAdapter::~SocketAdapter() = default;

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
        Q_EMIT Connected();
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
    if (m_socket->write(bytes) != bytes.size()) {
        m_lastError = sckBadState;
        return sckBadState;
    }
    m_lastError = 0;
    return 0;
}

void SocketAdapter::onBytesWritten(qint64 bytes)
{
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
    if (s->bytesAvailable() > 0)
        Q_EMIT DataArrival(s->bytesAvailable());
}
