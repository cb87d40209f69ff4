#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QProgressBar;
class ServerSearch;

// The search window: probes the candidates (or the one server given) and closes itself when every
// candidate has answered or had its time. Shown modal through Prompt; the answers stay readable after.
class frmSearchServers : public QDialog
{
    Q_OBJECT
public:
    explicit frmSearchServers(QWidget *parent = nullptr);
    ~frmSearchServers() override;

    qint32 PortConnection = 0;
    QString UserName;
    QString ServerConnection; // the server to check; empty for every candidate
    int TimeSearch = 1500;    // milliseconds a candidate is given

    // Starts the search (on its own or when shown, whichever comes first).
    void startSearch();
    bool searchDone() const { return m_done; }
    QStringList answers() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onFinished();

    QProgressBar *m_bar = nullptr;
    ServerSearch *m_search = nullptr;
    bool m_started = false;
    bool m_done = false;
};

// Runs one search window over the candidates (server empty) or over one server, modal, and gives
// back the servers that answered.
QStringList runServerSearch(QWidget *parent, const QString &server, qint32 port, const QString &userName,
                            int timeSearch);
