#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A server's discovery port on one loopback address: answers each "CHECKSERVER" probe as told.
class ProbeServer : public QObject
{
public:
    enum class Mode { Answer, AnswerTwice, Silent, WrongKeyword, EmptyName };

    ProbeServer(const QString &address, const QByteArray &name, Mode mode = Mode::Answer)
        : m_name(name), m_mode(mode), m_address(address)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                m_sockets.append(socket);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
            }
        });
    }

    bool listen(quint16 port) { return m_server.listen(QHostAddress(m_address), port); }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray received() const { return m_received; }

    static QByteArray answer(const QByteArray &keyword, const QByteArray &data)
    {
        return keyword + "<\xB6>" + data + "<\xA7>";
    }

private:
    void onData(QTcpSocket *socket)
    {
        m_received += socket->readAll();
        if (!m_received.contains("<\xA7>"))
            return;
        switch (m_mode) {
        case Mode::Answer:
            socket->write(answer("CHECKSERVER", m_name));
            break;
        case Mode::AnswerTwice:
            socket->write(answer("CHECKSERVER", m_name) + answer("CHECKSERVER", m_name));
            break;
        case Mode::Silent:
            break;
        case Mode::WrongKeyword:
            socket->write(answer("NOMSG", {}) + answer("STATUS", m_name));
            break;
        case Mode::EmptyName:
            socket->write(answer("CHECKSERVER", {}));
            break;
        }
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    QByteArray m_received;
    QByteArray m_name;
    Mode m_mode;
    QString m_address;
};
