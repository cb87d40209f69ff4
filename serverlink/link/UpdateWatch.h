#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QuorinSock;

// The update download a host asked for, followed to its end: NotReceived when the link ends before the
// server has ended the download (DownloadUpdComplete, or ReceivingUpdate with nothing to send). The host
// then says so (notReceivedText) and goes on with the version it runs.
class UpdateWatch : public QObject
{
    Q_OBJECT
public:
    explicit UpdateWatch(QuorinSock *sock);

    // Asks the server for the update files (QuorinSock::UpdateFiles) and follows the download.
    void UpdateFiles();
    bool waiting() const { return m_waiting; }

    static QString notReceivedText();

Q_SIGNALS:
    // Raised once per UpdateFiles, after the link's own event has returned.
    void NotReceived();

private:
    void linkEvent();

    QPointer<QuorinSock> m_sock;
    bool m_waiting = false;
};
