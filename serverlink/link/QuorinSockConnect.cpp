// Connection, login, user rights and the connection watchdog.
#include "QuorinSock.h"

#include "ServerDiscovery.h"
#include "SocketAdapter.h"

#include <QTimer>

using namespace Qt::StringLiterals;

void QuorinSock::Connect(const QString &RemoteHost, int RemotePort, const QString &pUserName)
{
    if (RemotePort < 1 || RemotePort > 65535) {
        RaiseErrorEvent(ErrorCode::InvalidCall, ErrorCode::description(ErrorCode::InvalidCall), 0,
                        u"Connect : "_s + QString::number(RemotePort));
        return;
    }
    // Requests kept for a login on the link left now do not go to the next server.
    refuseHeldFrames();
    m_reconnecting = false;
    if (m_socket->State() == SocketAdapter::sckConnected)
        m_socket->Close();
    dropLink();
    m_linkUp = false;
    m_connectionWanted = true;
    // A new link starts a new login: an earlier acceptance does not count for this server.
    m_userReceived = false;
    // Frames of the old link are stale for the new server.
    m_cutter.clear();
    m_salvaged.clear();
    m_userName = pUserName.isEmpty() ? LinkUtils::GetUser() : pUserName;
    m_sockServer = RemoteHost;
    m_sockPort = RemotePort;
    m_socket->Connect(RemoteHost, RemotePort);
    if (m_showConnecting)
        m_showConnecting(m_sockServer);
    // Each Connect gets its own three attempts before the verdict.
    m_watchdogCount = 1;
    m_watchdog->stop();
    m_watchdog->start(m_timeCheckServer);
}

void QuorinSock::Connect(const QString &RemoteHost, const QString &RemotePort, const QString &pUserName)
{
    bool ok = false;
    const int port = RemotePort.trimmed().toInt(&ok);
    Connect(RemoteHost, ok ? port : 0, pUserName);
}

void QuorinSock::ReConnect()
{
    m_reconnecting = true;
    m_socket->Close();
    dropLink();
    m_linkUp = false;
    salvageFrames();
    m_socket->Connect(m_sockServer, m_sockPort);
}

void QuorinSock::SendUser(const QString &UserName)
{
    if (!guardUser(u"SendUser"_s, {{u"Utente"_s, UserName}}))
        return;
    SendMsg(typeAns, u"USER", UserName);
}

void QuorinSock::onSocketConnected()
{
    m_linkDropped = false;
    Q_EMIT SocketConnected();
    // The login goes first; what waits for it stays kept.
    const bool holding = std::exchange(m_holding, false);
    SendUser(m_userName);
    m_holding = holding;
    m_linkUp = true;
    m_connectionWanted = true;
}

void QuorinSock::onSocketError(int number, const QString &description)
{
    // The new login cannot come on this connection: what waited for it is refused (told first, as a
    // request that cannot be sent is).
    if (m_holding && m_socket->State() != SocketAdapter::sckConnected)
        refuseHeldFrames();
    // Reported as it comes; the watchdog goes on with its attempts.
    RaiseErrorEvent(number, description, 0, u"WinsockCtrl"_s);
}

void QuorinSock::VerificaUtente(const QString &Privilegi)
{
    const QStringList fields = Privilegi.split(u"<#>"_s);
    if (fields.size() < 5)
        return;
    if (fields[0].contains(Proto::TerminatorText) || fields[0].contains(Proto::QuerySeparatorText) ||
        fields[0].contains(Proto::AnswerSeparatorText)) {
        // A name no frame can carry back is not taken: the server's user queries are answered with the
        // name this end logged in with, and the host hears of the answer.
        raiseParseError({ErrorCode::InvalidCall, ErrorCode::description(ErrorCode::InvalidCall),
                         u"VerificaUtente - "_s + fields[0]});
    } else {
        m_userName = fields[0];
    }
    m_isForwardUser = Proto::TFToBool(QStringView(fields[1]));
    m_delShared = m_readShared = m_modifyShared = m_addShared = false;
    if (fields.size() < 10) {
        // The book rights are missing: they stay off and the host hears of it.
        const ParseError error{ErrorCode::OutOfRange, ErrorCode::description(ErrorCode::OutOfRange),
                               u"VerificaUtente - "_s + Privilegi + u" - 4"_s};
        raiseParseError(error);
        LinkUtils::ShowErrorMessage(error, u"VerificaUtente - "_s + Privilegi, this);
        return;
    }
    m_delShared = Proto::TFToBool(QStringView(fields[6]));
    m_readShared = Proto::TFToBool(QStringView(fields[7]));
    m_modifyShared = Proto::TFToBool(QStringView(fields[8]));
    m_addShared = Proto::TFToBool(QStringView(fields[9]));
}

void QuorinSock::completeLogin(const QByteArray &rights)
{
    VerificaUtente(Proto::text(rights));
    m_userReceived = true;
    Q_EMIT UserReceived();
    m_linkUp = true;
    hideConnecting();
    // What was given while the link logged in again goes now, in order, before the host hears of it.
    sendHeldFrames();
    if (m_reconnecting)
        Q_EMIT ReConnected(m_sockServer, m_sockPort, m_isForwardUser);
    else
        Q_EMIT Connected(m_sockServer, m_sockPort, m_isForwardUser);
    m_watchdog->stop();
}

void QuorinSock::refuseUser()
{
    refuseHeldFrames();
    hideConnecting();
    Q_EMIT MaxUsersLimit();
    m_watchdog->stop();
}

void QuorinSock::onWatchdogTick()
{
    if (m_watchdogCount < 3) {
        ++m_watchdogCount;
        if (m_socket->State() != SocketAdapter::sckConnected) {
            m_socket->Close();
            salvageFrames();
            m_socket->Connect(m_sockServer, m_sockPort);
        }
        return;
    }
    hideConnecting();
    if (!(m_linkUp && m_userReceived)) {
        m_watchdog->stop();
        Q_EMIT ServerNotAvailable(m_sockServer, m_sockPort);
    }
}

void QuorinSock::LaunchServerConf(int modal)
{
    if (!m_serverConf)
        return; // no settings dialog in this build
    QString server = m_sockServer;
    int port = m_sockPort;
    if (!m_serverConf(this, server, port, modal))
        return;
    if (server != m_sockServer || port != m_sockPort) {
        m_sockPort = port;
        m_sockServer = server;
        Connect(m_sockServer, m_sockPort, QString());
    }
}

bool QuorinSock::FindServer(const QString &pSockServer, int pSockPort)
{
    FindServerContext ctx;
    ctx.SockServer = m_sockServer;
    ctx.SockPort = m_sockPort;
    ctx.UserName = m_userName;
    ctx.TimeSearch = m_timeSearchServers;
    ctx.parent = parentWidget() ? window() : nullptr;
    const bool found = ::FindServer(ctx, pSockServer, pSockPort);
    m_sockServer = ctx.SockServer;
    m_sockPort = ctx.SockPort;
    return found;
}
