#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class LinkDrain;
class QTcpServer;
class QTcpSocket;

// The link's TCP socket as the control sees it: a QTcpSocket behind the state codes, error numbers and
// events of the socket control the link was written against.
// - State(): 0 closed, 1 open, 2 listening, 3 connection pending, 4 resolving host, 5 host resolved,
//   6 connecting, 7 connected, 8 closing (the peer closed; Close() ends it), 9 error (until the next
//   Close() or Connect()).
// - SendData() refuses with 40006 unless connected; bytes are queued and go out from the event loop.
// - SendComplete: raised when bytes were written and nothing is left to write.
// - Delivery: bytesHanded() counts what the link took since it connected, bytesAcknowledged() how much of
//   that the peer's TCP has acknowledged (what is neither in our buffer nor in the kernel's send queue).
// No close ever resets the link: Close() and a new Connect() end a connection still open in the background
// (end of stream, then read until the peer's end of stream or a bound), never with an abort.
// Nothing here blocks or spins the event loop, except closeGracefullyNow() and closeInBackground(), meant
// for the end of a program.
class SocketAdapter : public QObject
{
    Q_OBJECT
public:
    enum StateCode : int {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };
    // Error numbers of the socket control.
    static constexpr int sckBadState = 40006; // not in a state that allows the request
    static constexpr int sckInvalidArg = 40020;
    static constexpr int sckConnectionRefused = 10061;
    static constexpr int sckTimedout = 10060;
    static constexpr int sckConnectionReset = 10054;
    static constexpr int sckHostNotFound = 11001;
    static constexpr int sckNetworkUnreachable = 10051;
    static constexpr int sckAddressInUse = 10048;
    static constexpr int sckUnsupported = 10043;

    explicit SocketAdapter(QObject *parent = nullptr);
    ~SocketAdapter() override;

    int State() const;
    qintptr SocketHandle() const;

    // Starts an asynchronous connect; an empty host or a port of 0 takes RemoteHost / RemotePort.
    void Connect(const QString &host = {}, int port = 0);
    // drainMs bounds the background end of a connection still open (see DrainTimeoutMs).
    void Close(int drainMs = DrainTimeoutMs);
    // 0 when the bytes were queued; sckBadState when not connected.
    int SendData(const QByteArray &bytes);
    qint64 BytesReceived() const;
    QByteArray GetData(qint64 maxLen = -1);
    QByteArray PeekData(qint64 maxLen = -1) const;

    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    int RemotePort() const { return m_remotePort; }
    void setRemotePort(int port) { m_remotePort = port; }
    QString RemoteHostIP() const;
    int LocalPort() const;
    void setLocalPort(int port) { m_localPort = port; }
    // The local port the host asked for (0: any), not the one a connection happens to use.
    int configuredLocalPort() const { return m_localPort; }
    QString LocalIP() const;
    QString LocalHostName() const;
    int Protocol() const { return m_protocol; } // 0 TCP; UDP (1) is kept but not supported
    void setProtocol(int protocol) { m_protocol = protocol; }

    // Listening side, kept for the pass-through members.
    bool Bind(int localPort = 0, const QString &localIP = {});
    bool Listen();
    void Accept(int requestID);

    // Last error as the socket control reports it.
    int lastError() const { return m_lastError; }

    // Delivery accounting of the current (or last) connection; see the class comment.
    int connectionId() const { return m_connectionId; }
    qint64 bytesHanded() const { return m_handed; }
    qint64 bytesQueued() const; // taken and not yet written to the system
    qint64 bytesAcknowledged() const;
    bool isConnected() const;

    // How a graceful close ended. Confirmed: after our end of stream the peer ended its own, so it read
    // every byte we sent. Acknowledged: the peer's TCP took every byte but the peer kept the link open
    // past the bound. Lost: a reset, a drop, the peer's end of stream before ours, or bytes never taken.
    enum CloseOutcome : int { CloseConfirmed = 0, CloseAcknowledged = 1, CloseLost = 2 };

    // Ends the connection without dropping bytes and without a reset: writes what is buffered, sends the
    // end of the stream, reads (and drops) what the peer still sends until the peer ends its side or
    // timeoutMs passed, and only then lets the socket go. Raises GracefulCloseDone(outcome, unacknowledged).
    void closeGracefully(int timeoutMs = 30000);
    // The same, waiting here (bounded) instead of in the event loop: for a program that is ending.
    CloseOutcome closeGracefullyNow(int timeoutMs = 30000);
    bool closingGracefully() const { return m_graceTimer != nullptr || m_drain != nullptr; }
    // The connection is up, or being ended gracefully (its bytes may still be acknowledged).
    bool linkAlive() const { return isConnected() || m_drain != nullptr; }
    // Bound of the background close Close() and Connect() give a connection still open.
    static constexpr int DrainTimeoutMs = 30000;
    // Writes what the socket still holds (waiting here up to flushMs), then lets the connection go: its
    // end runs on a thread of its own, which the program's end waits for within the same bound.
    void closeInBackground(int flushMs = 30000);

Q_SIGNALS:
    void Connected();
    void DataArrival(qint64 bytesTotal);
    void Error(int number, const QString &description);
    void SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void SendComplete();
    void ConnectionRequest(int requestID);
    void PeerClosed();
    void GracefulCloseDone(int outcome, qint64 unacknowledged);

private:
    void attach(QTcpSocket *socket);
    void onError();
    void onBytesWritten(qint64 bytes);
    // Bytes neither acknowledged nor written yet, read now; -1 without a socket descriptor.
    qint64 unacknowledgedNow() const;
    qint64 kernelUnacknowledged() const; // the system's send queue; -1 without a descriptor
    void sampleDelivery() const; // keeps the last reading for when the descriptor is gone
    void graceTick();
    void beginConnection(); // a new link: delivery counted from zero, its descriptor watched
    void watch();        // duplicates the connection's descriptor for the delivery readings
    void releaseWatch(); // lets the connection go
    void finishGrace(CloseOutcome outcome);
    void startDrain();
    // Lets a connection still open go without a reset: its descriptor is ended in the background.
    void releaseConnection(int drainMs = DrainTimeoutMs);

    QTcpSocket *m_socket = nullptr;
    QTcpServer *m_server = nullptr;
    QHash<int, QPointer<QTcpSocket>> m_requests;
    QString m_remoteHost;
    int m_remotePort = 0;
    int m_localPort = 0;
    QString m_localIP;
    int m_protocol = 0;
    int m_lastError = 0;
    qint64 m_sentInBatch = 0;
    bool m_errored = false;
    bool m_peerClosed = false;
    int m_nextRequest = 1;

    int m_connectionId = 0;
    qint64 m_handed = 0;
    qint64 m_written = 0; // of which the socket wrote to the system
    mutable qint64 m_lastAcked = 0;
    class QTimer *m_graceTimer = nullptr;
    qint64 m_graceDeadline = 0;
    bool m_finSent = false;
    int m_watchFd = -1;
    LinkDrain *m_drain = nullptr;   // the graceful close of the current connection
};
