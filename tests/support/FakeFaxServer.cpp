#include "FakeFaxServer.h"

#include <algorithm>
#include <cerrno>

#include "Cp1252.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

const QByteArray FakeFaxServer::Terminator = QByteArrayLiteral("<\xA7>");
const QByteArray FakeFaxServer::FieldSep = QByteArrayLiteral("<#>");
const QByteArray FakeFaxServer::RecordSep = QByteArrayLiteral("<\xCC\xCC>");
const QByteArray FakeFaxServer::ListSep = QByteArrayLiteral("\xA6");

namespace {
const QByteArray AnswerSep = QByteArrayLiteral("<\xB6>");
const QByteArray QuerySep = QByteArrayLiteral("<\xA5>");
// Keep the socket's write buffer at about this much while streaming a large download.
constexpr qint64 StreamHighWater = 4 * 1024 * 1024;
} // namespace

QString FakeFaxServer::Frame::text() const
{
    return Cp1252::toUnicode(data);
}

QByteArray FakeFaxServer::latin(QStringView text)
{
    return Cp1252::fromUnicode(text);
}

QByteArray FakeFaxServer::rawAnswer(const QByteArray &keyword, const QByteArray &data)
{
    return keyword + AnswerSep + data + Terminator;
}

QByteArray FakeFaxServer::rawQuery(const QByteArray &keyword, const QByteArray &data)
{
    return keyword + QuerySep + data + Terminator;
}

QByteArray FakeFaxServer::answer(QStringView keyword, const QString &data)
{
    return rawAnswer(latin(keyword), latin(data));
}

QByteArray FakeFaxServer::query(QStringView keyword, const QString &data)
{
    return rawQuery(latin(keyword), latin(data));
}

FakeFaxServer::FakeFaxServer(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_probeServer(new QTcpServer(this)),
      m_fragmentTimer(new QTimer(this))
{
    m_fragmentTimer->setInterval(1);
    m_slowTimer = new QTimer(this);
    connect(m_slowTimer, &QTimer::timeout, this, &FakeFaxServer::slowReadTick);
    connect(m_fragmentTimer, &QTimer::timeout, this, &FakeFaxServer::pumpOutgoing);
    connect(m_server, &QTcpServer::newConnection, this, &FakeFaxServer::onNewConnection);
    connect(m_probeServer, &QTcpServer::newConnection, this, &FakeFaxServer::onProbeConnection);
}

FakeFaxServer::~FakeFaxServer()
{
    for (const int fd : std::as_const(m_heldOpen))
        ::close(fd);
}

bool FakeFaxServer::listen(quint16 port)
{
    const QHostAddress loopback(QHostAddress::LocalHost);
    if (port != 0) {
        if (!m_server->listen(loopback, port))
            return false;
        m_probeServer->listen(loopback, port + 1); // best effort
        return true;
    }
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (!m_server->listen(loopback, 0))
            return false;
        const quint16 chosen = m_server->serverPort();
        if (chosen < 65535 && m_probeServer->listen(loopback, chosen + 1))
            return true;
        m_server->close();
    }
    return m_server->listen(loopback, 0);
}

quint16 FakeFaxServer::port() const
{
    return m_server->serverPort();
}

void FakeFaxServer::setFragmented(bool on, int chunkBytes)
{
    m_fragmentSize = on ? qMax(1, chunkBytes) : 0;
}

void FakeFaxServer::send(const QByteArray &bytes)
{
    m_steps.append({StepKind::Send, bytes});
    advance();
}

void FakeFaxServer::expect(const QByteArray &bytes)
{
    m_steps.append({StepKind::Expect, bytes});
    advance();
}

void FakeFaxServer::pause()
{
    m_steps.append({StepKind::Pause, {}});
    advance();
}

void FakeFaxServer::closeConnection()
{
    m_steps.append({StepKind::Close, {}});
    advance();
}

void FakeFaxServer::sendFile(const QByteArray &content, const QString &updateName, const QString &key,
                             int pieceSize, qint64 announcedSize)
{
    const QByteArray name = latin(updateName);
    const qint64 size = qMax<qint64>(0, (announcedSize < 0 ? content.size() : announcedSize) - m_faults.announceFewer);
    QByteArray all = rawAnswer("STARTFILE", QByteArray::number(size) + FieldSep + name);
    const QByteArray pieceKeyword =
        updateName.isEmpty() ? QByteArrayLiteral("FILE") : QByteArrayLiteral("FILEUPD");
    for (qsizetype at = 0; at < content.size(); at += pieceSize)
        all += rawAnswer(pieceKeyword, content.mid(at, pieceSize));
    all += rawAnswer("ENDFILE", QByteArray::number(size) + FieldSep + name + FieldSep + latin(key));
    send(all);
}

void FakeFaxServer::release()
{
    m_paused = false;
    if (!m_steps.isEmpty() && m_steps.first().kind == StepKind::Pause)
        m_steps.removeFirst();
    advance();
}

QList<FakeFaxServer::Frame> FakeFaxServer::receivedFrames(const QByteArray &keyword) const
{
    QList<Frame> out;
    for (const Frame &f : m_frames) {
        if (f.keyword == keyword)
            out.append(f);
    }
    return out;
}

void FakeFaxServer::clearReceived()
{
    m_received.clear();
    m_parsedUpTo = 0;
    m_frames.clear();
}

bool FakeFaxServer::clientConnected() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void FakeFaxServer::dropClient()
{
    m_outgoing.clear();
    m_stream.active = false;
    if (m_client)
        m_client->abort();
}

void FakeFaxServer::stopListening()
{
    m_server->close();
    m_probeServer->close();
    dropClient();
}

void FakeFaxServer::resetClient()
{
    if (m_client && m_client->socketDescriptor() >= 0) {
        const linger hard{1, 0};
        ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    dropClient();
}

void FakeFaxServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        ++m_connections;
        m_framesThisLink = 0;
        // A frame the last link cut in the middle never ends: the new link's frames start afresh.
        m_received.truncate(m_parsedUpTo);
        m_pending.clear();
        m_outgoing.clear();
        m_closing = false;
        m_stream.active = false;
        m_readingStopped = false;
        if (m_faults.neverClose && socket->socketDescriptor() >= 0)
            m_heldOpen.append(::dup(int(socket->socketDescriptor())));
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        applyReadFaults(socket);
        connect(socket, &QTcpSocket::readyRead, this, &FakeFaxServer::onReadyRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &FakeFaxServer::pumpStream);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // A slow reader still holds what the peer sent before it closed.
            if (socket == m_client && m_faults.slowReadBytes > 0 && socket->bytesAvailable() > 0)
                ingest(socket->readAll());
            socket->deleteLater();
            Q_EMIT clientGone();
        });
        Q_EMIT clientArrived();
        advance();
    }
}

void FakeFaxServer::onReadyRead()
{
    if (!m_client || m_faults.slowReadBytes > 0 || m_readingStopped)
        return; // the slow reader takes its bytes from its timer
    ingest(m_client->readAll());
}

void FakeFaxServer::ingest(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_received += bytes;
    m_pending += bytes;

    // Cut complete frames for the record and the responder.
    QList<Frame> fresh;
    for (;;) {
        const qsizetype end = m_received.indexOf(Terminator, m_parsedUpTo);
        if (end < 0)
            break;
        const QByteArray raw = m_received.mid(m_parsedUpTo, end - m_parsedUpTo);
        m_parsedUpTo = end + Terminator.size();
        Frame f;
        qsizetype q = raw.indexOf(QuerySep);
        qsizetype a = raw.indexOf(AnswerSep);
        if (q >= 0 && (a < 0 || q < a)) {
            f.keyword = raw.left(q);
            f.data = raw.mid(q + QuerySep.size());
            f.answer = false;
        } else if (a >= 0) {
            f.keyword = raw.left(a);
            f.data = raw.mid(a + AnswerSep.size());
        } else {
            f.keyword = raw;
        }
        m_frames.append(f);
        fresh.append(f);
        ++m_framesSinceFaults;
        ++m_framesThisLink;
        if (!m_faults.noticeAfter.isEmpty() && f.keyword == m_faults.noticeAfter && m_client)
            m_client->write(answer(u"FAXPROGR", u"REMOTE<#>9600<#>1<#>1<#>100<#>0<#>Ufficio<#>021<#>0<#>3<#>"_s +
                                                   QString::number(m_frames.size())));
    }
    // Every frame read is told, those read together with the one a cut follows included: the record and
    // the log never differ. Only the answers stop at a cut.
    const auto tell = [this, &fresh] {
        for (const Frame &f : std::as_const(fresh))
            Q_EMIT frameReceived(f);
    };
    if (m_faults.cutEveryLogin && m_framesThisLink >= 1 && m_client) {
        tell();
        const Faults kept = m_faults;
        m_faults.keepUnreadAtCut = false;
        cutNow();
        m_faults = kept;
        m_cutDone = false;
        return;
    }
    if (m_faults.silentLogin)
        return tell();
    const bool keywordCut = !m_faults.cutAfterKeyword.isEmpty() && !m_cutDone &&
                            std::any_of(fresh.cbegin(), fresh.cend(),
                                        [this](const Frame &f) { return f.keyword == m_faults.cutAfterKeyword; });
    if (keywordCut || (m_faults.cutAfterFrames > 0 && !m_cutDone && m_framesSinceFaults >= m_faults.cutAfterFrames)) {
        tell();
        cutNow();
        return;
    }
    advance();
    for (const Frame &f : std::as_const(fresh)) {
        Q_EMIT frameReceived(f);
        if (m_steps.isEmpty() && m_responder)
            m_responder(*this, f);
    }
    if (m_faults.stopReading && m_steps.isEmpty() && m_client && !m_readingStopped) {
        // The socket keeps no more than a byte of its own: the rest stays in the system's buffers.
        m_readingStopped = true;
        m_client->setReadBufferSize(1);
    }
}

void FakeFaxServer::advance()
{
    while (!m_steps.isEmpty() && m_client) {
        Step &step = m_steps.first();
        switch (step.kind) {
        case StepKind::Send:
            write(step.bytes);
            break;
        case StepKind::Expect: {
            if (m_pending.size() < step.bytes.size()) {
                // A mismatch already visible in the first bytes is reported at once.
                if (!step.bytes.startsWith(m_pending)) {
                    m_errors.append(
                        u"expected %1, received %2"_s.arg(QString::fromLatin1(step.bytes.toHex(' ')),
                                                          QString::fromLatin1(m_pending.toHex(' '))));
                    m_pending.clear();
                    break;
                }
                return;
            }
            const QByteArray got = m_pending.left(step.bytes.size());
            m_pending.remove(0, step.bytes.size());
            if (got != step.bytes) {
                m_errors.append(u"expected %1, received %2"_s.arg(QString::fromLatin1(step.bytes.toHex(' ')),
                                                                  QString::fromLatin1(got.toHex(' '))));
            }
            break;
        }
        case StepKind::Pause:
            m_paused = true;
            return;
        case StepKind::Close:
            if (!m_outgoing.isEmpty() || m_client->bytesToWrite() > 0) {
                m_closing = true;
                if (m_fragmentSize == 0)
                    m_client->flush();
                QTimer::singleShot(1, this, &FakeFaxServer::advance);
                return;
            }
            m_closing = false;
            m_steps.removeFirst();
            m_client->disconnectFromHost();
            continue;
        }
        m_steps.removeFirst();
    }
}

void FakeFaxServer::sendNow(const QByteArray &bytes)
{
    write(bytes);
}

void FakeFaxServer::write(const QByteArray &bytes)
{
    if (!m_client)
        return;
    if (m_fragmentSize == 0) {
        m_client->write(bytes);
        return;
    }
    m_outgoing += bytes;
    if (!m_fragmentTimer->isActive())
        m_fragmentTimer->start();
}

void FakeFaxServer::pumpOutgoing()
{
    if (!m_client || m_outgoing.isEmpty()) {
        m_fragmentTimer->stop();
        pumpStream();
        return;
    }
    m_client->write(m_outgoing.left(m_fragmentSize));
    m_client->flush();
    m_outgoing.remove(0, qMin<qsizetype>(m_fragmentSize, m_outgoing.size()));
}

void FakeFaxServer::streamFile(qint64 size, Source source, int pieceSize, const QString &key)
{
    m_stream = {};
    m_stream.size = size;
    m_stream.pieceSize = qMax(1, pieceSize);
    m_stream.key = latin(key);
    m_stream.source = std::move(source);
    m_stream.active = true;
    write(rawAnswer("STARTFILE", QByteArray::number(qMax<qint64>(0, size - m_faults.announceFewer)) + FieldSep));
    pumpStream();
}

void FakeFaxServer::pumpStream()
{
    if (!m_stream.active || !m_client)
        return;
    auto buffered = [this] { return m_client->bytesToWrite() + m_outgoing.size(); };
    while (m_stream.active && buffered() < StreamHighWater) {
        if (m_stream.offset >= m_stream.size) {
            m_stream.active = false;
            write(rawAnswer("ENDFILE", QByteArray::number(qMax<qint64>(0, m_stream.size - m_faults.announceFewer)) +
                                           FieldSep + FieldSep + m_stream.key));
            return;
        }
        const qint64 length = qMin<qint64>(m_stream.pieceSize, m_stream.size - m_stream.offset);
        write(rawAnswer("FILE", m_stream.source(m_stream.offset, length)));
        m_stream.offset += length;
        if (m_fragmentSize > 0)
            return; // the fragment timer calls back when the queue is empty
    }
}

void FakeFaxServer::onProbeConnection()
{
    while (QTcpSocket *socket = m_probeServer->nextPendingConnection()) {
        // The buffer lives as long as the readyRead connection, whichever of socket and server goes first.
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            qsizetype end;
            while ((end = buffer->indexOf(Terminator)) >= 0) {
                const QByteArray raw = buffer->left(end);
                buffer->remove(0, end + Terminator.size());
                if (raw.startsWith(QByteArray(QByteArrayLiteral("CHECKSERVER") + QuerySep))) {
                    ++m_probes;
                    socket->write(answer(u"CHECKSERVER", m_serverName));
                }
            }
        });
    }
}

// --- fault modes ---

void FakeFaxServer::setFaults(const Faults &faults)
{
    m_faults = faults;
    m_framesSinceFaults = 0;
    m_cutDone = false;
    if (m_client && m_faults.neverClose && m_client->socketDescriptor() >= 0)
        m_heldOpen.append(::dup(int(m_client->socketDescriptor())));
    if (m_client)
        applyReadFaults(m_client);
    const bool resumed = std::exchange(m_readingStopped, m_readingStopped && m_faults.stopReading) &&
                         !m_readingStopped;
    if (m_faults.slowReadBytes <= 0 && m_client && (resumed || m_client->bytesAvailable() > 0))
        QTimer::singleShot(0, this, &FakeFaxServer::onReadyRead);
}

void FakeFaxServer::applyReadFaults(QTcpSocket *socket)
{
    if (m_faults.slowReadBytes > 0) {
        socket->setReadBufferSize(m_faults.slowReadBytes);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, qMax(65536, m_faults.slowReadBytes));
        m_slowTimer->start(qMax(0, m_faults.slowReadIntervalMs));
    } else {
        socket->setReadBufferSize(0);
        m_slowTimer->stop();
    }
}

void FakeFaxServer::slowReadTick()
{
    if (!m_client || m_faults.slowReadBytes <= 0)
        return;
    // A reset from the client: like a real server's system, what was taken and not yet read is lost.
    const qintptr fd = m_client->socketDescriptor();
    int err = 0;
    socklen_t len = sizeof err;
    if (fd >= 0 && ::getsockopt(int(fd), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == ECONNRESET) {
        ++m_resetsSeen;
        m_client->abort();
        return;
    }
    ingest(m_client->read(m_faults.slowReadBytes));
}

qint64 FakeFaxServer::unreadBytes() const
{
    if (!m_client)
        return 0;
    int queued = 0;
    const qintptr fd = m_client->socketDescriptor();
    if (fd >= 0)
        ::ioctl(int(fd), FIONREAD, &queued);
    return m_client->bytesAvailable() + queued;
}

void FakeFaxServer::cutNow()
{
    m_cutDone = true;
    QTcpSocket *socket = m_client;
    if (!socket)
        return;
    // Keep what this end's TCP already took (it was acknowledged), then end the link.
    QByteArray rest = socket->readAll();
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0 && m_faults.keepUnreadAtCut) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(int(fd), buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0)
                break;
            rest.append(buffer, got);
        }
    }
    m_slowTimer->stop();
    const Faults kept = m_faults;
    m_faults.cutAfterFrames = 0; // the rest is only recorded
    ingest(rest);
    m_faults = kept;
    // Nothing more goes out, answers to the rest included.
    m_outgoing.clear();
    m_stream.active = false;
    int dropped = 0; // what the close throws away unread (more may still be on its way)
    if (fd >= 0)
        ::ioctl(int(fd), FIONREAD, &dropped);
    if (kept.cutWithReset) {
        if (fd >= 0) {
            const linger hard{1, 0}; // close with a reset
            ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        socket->abort();
    } else {
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->abort(); // nothing more is read: an orderly close here means the FIN is out
    }
    Q_EMIT linkCut(int(m_frames.size()), kept.cutWithReset, dropped);
}

QList<FakeFaxServer::FiledFax> FakeFaxServer::filedFaxes() const
{
    // Followed per fax key: announcements may all come first, the uploads after them.
    struct Upload
    {
        FiledFax fax;
        QByteArray document;
        qint64 announced = -1;
        QByteArray body;
        bool whole = true;
    };
    QMap<QByteArray, Upload> uploads;
    QList<FiledFax> filed;
    auto field = [](const QByteArray &data, int n) {
        QByteArray rest = data;
        for (int i = 0; i < n; ++i) {
            const qsizetype at = rest.indexOf(FieldSep);
            if (at < 0)
                return QByteArray();
            rest = rest.mid(at + FieldSep.size());
        }
        const qsizetype end = rest.indexOf(FieldSep);
        return end < 0 ? rest : rest.left(end);
    };
    for (const Frame &f : m_frames) {
        if (f.keyword == "NEWFAX" || f.keyword == "NEWRXFAX") {
            uploads.insert(field(f.data, 1), Upload{{f.data, {}}, {}, -1, {}, true});
        } else if (f.keyword == "STARTFILE") {
            auto it = uploads.find(field(f.data, 2));
            if (it == uploads.end())
                continue;
            it->document = field(f.data, 0);
            it->announced = field(f.data, 1).toLongLong();
            it->body.clear();
            if (it->announced == 0)
                it->fax.documents.insert(it->document, {});
        } else if (f.keyword == "FILE") {
            const qsizetype start = f.data.indexOf(FieldSep);
            const qsizetype end = f.data.lastIndexOf(FieldSep);
            auto it = uploads.find(f.data.left(start));
            if (it == uploads.end() || start < 0 || end <= start)
                continue;
            it->body += f.data.mid(start + FieldSep.size(), end - start - FieldSep.size());
        } else if (f.keyword == "ENDFILE") {
            auto it = uploads.find(field(f.data, 2));
            if (it == uploads.end())
                continue;
            if (it->body.size() != it->announced)
                it->whole = false;
            it->fax.documents.insert(it->document, it->body);
        } else if (f.keyword == "FINEFAX") {
            const auto it = uploads.find(f.data);
            if (it != uploads.end() && it->whole)
                filed.append(it->fax);
            uploads.remove(f.data);
        }
    }
    return filed;
}

RefusedPort::RefusedPort()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

RefusedPort::~RefusedPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
