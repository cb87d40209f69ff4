#include "UpdateWatch.h"

#include "QuorinSock.h"
#include "SocketAdapter.h"

using namespace Qt::StringLiterals;

UpdateWatch::UpdateWatch(QuorinSock *sock) : QObject(sock), m_sock(sock)
{
    connect(sock, &QuorinSock::DownloadUpdComplete, this, [this] { m_waiting = false; });
    connect(sock, &QuorinSock::ReceivingUpdate, this, [this](int total, int) {
        if (total == 0)
            m_waiting = false;
    });
    // Any of these may be the end of the link the files were to come on.
    connect(sock, &QuorinSock::LinkLost, this, &UpdateWatch::linkEvent);
    connect(sock, &QuorinSock::ConnectionNotAvailable, this, &UpdateWatch::linkEvent);
    connect(sock, &QuorinSock::ServerNotAvailable, this, &UpdateWatch::linkEvent);
    connect(sock, &QuorinSock::Error, this, &UpdateWatch::linkEvent);
}

void UpdateWatch::UpdateFiles()
{
    m_waiting = true;
    m_sock->UpdateFiles();
    linkEvent(); // a request that could not go out
}

QString UpdateWatch::notReceivedText()
{
    return u"Aggiornamento non ricevuto: il collegamento col server si è interrotto prima dell'arrivo dei "
           u"file. Il programma prosegue con la versione in uso."_s;
}

void UpdateWatch::linkEvent()
{
    if (!m_waiting || !m_sock || m_sock->State() == SocketAdapter::sckConnected)
        return;
    m_waiting = false;
    QMetaObject::invokeMethod(this, &UpdateWatch::NotReceived, Qt::QueuedConnection);
}
