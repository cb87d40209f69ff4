#pragma once

#include "UploadDriver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <linux/sockios.h>
#include <sys/ioctl.h>

// A client socket wired to an UploadDriver the way the control wires it (frame writer, send-complete,
// link loss), and the server end on loopback that keeps (or only counts) every byte it receives.
class LoopbackLink : public QObject
{
public:
    explicit LoopbackLink(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_peer = m_server.nextPendingConnection();
            // Read in pieces of one reused buffer: a reader that took everything waiting at once would
            // allocate (and fault in) tens of megabytes whenever it fell behind, and measure that.
            m_peer->setReadBufferSize(ReadPiece);
            connect(m_peer, &QTcpSocket::readyRead, this, [this] {
                m_piece.resize(ReadPiece);
                qint64 got = 0;
                while ((got = m_peer->read(m_piece.data(), m_piece.size())) > 0) {
                    m_count += got;
                    if (keep)
                        m_received.append(m_piece.constData(), got);
                }
            });
        });
        connect(&client, &QTcpSocket::bytesWritten, this, [this] {
            if (client.bytesToWrite() == 0 && m_driver && forwardCompletion)
                m_driver->sendComplete();
        });
        connect(&client, &QTcpSocket::disconnected, this, [this] {
            if (m_driver)
                m_driver->linkLost();
        });
    }

    ~LoopbackLink() override
    {
        // The members go before the client socket, whose close would still call back.
        client.disconnect(this);
        client.abort();
    }

    bool listen(const QHostAddress &address = QHostAddress(QStringLiteral("127.0.0.1")))
    {
        return m_server.listen(address, 0);
    }

    void connectClient() { client.connectToHost(m_server.serverAddress(), m_server.serverPort()); }
    bool connected() const { return client.state() == QAbstractSocket::ConnectedState && m_peer; }

    UploadDriver::FrameWriter writer()
    {
        return [this](const QByteArray &frame) {
            if (client.state() != QAbstractSocket::ConnectedState)
                return false;
            if (client.write(frame) != frame.size())
                return false;
            m_handed += frame.size();
            return true;
        };
    }

    void attach(UploadDriver *driver) { m_driver = driver; }

    // Delivery readings of the client socket as the control takes them (its kernel send queue).
    UploadDriver::DeliveryProbe probe()
    {
        return [this] {
            const qintptr fd = client.socketDescriptor();
            int queued = 0;
            if (fd >= 0 && ::ioctl(int(fd), SIOCOUTQ, &queued) == 0)
                m_acked = m_handed - client.bytesToWrite() - queued;
            return UploadDriver::Delivery{1, m_handed, m_acked,
                                          client.state() == QAbstractSocket::ConnectedState};
        };
    }

    // The server end drops the connection at once.
    void dropFromServer()
    {
        if (m_peer)
            m_peer->abort();
    }

    QByteArray received() const { return m_received; }
    qint64 receivedCount() const { return m_count; }
    void clearReceived()
    {
        m_received.clear();
        m_count = 0;
    }

    QTcpSocket client;
    bool keep = true;              // keep the bytes (tests) or only count them (benchmark)
    bool forwardCompletion = true; // tell the driver of each completed send

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_peer;
    QPointer<UploadDriver> m_driver;
    static constexpr qint64 ReadPiece = 1024 * 1024;
    QByteArray m_piece;
    QByteArray m_received;
    qint64 m_count = 0;
    qint64 m_handed = 0;
    qint64 m_acked = 0;
};
