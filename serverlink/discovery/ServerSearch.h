#pragma once

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Candidates for the server search: the list of QUORIN_DISCOVERY_HOSTS (comma-separated) when set,
// else the local host and the complete entries of the kernel's neighbour table.
namespace Discovery {

inline constexpr qint32 DefaultLinkPort = 9456;

// Addresses of the complete entries (flags other than 0x0) of a /proc/net/arp text, each once.
QStringList parseArpTable(QByteArrayView table);
QStringList candidates();

// Tells whether a server's self-reported name resolves; `done` may be called at once or later.
using Resolver = std::function<void(const QString &name, QObject *context, std::function<void(bool)> done)>;
// The resolver of every search (QHostInfo unless replaced; tests give their own table).
void setResolver(Resolver resolver);
Resolver resolver();

} // namespace Discovery

// Probes candidates for fax servers, all at once: a short-lived socket to each on the link port + 1
// sends the query "CHECKSERVER" with the user name and waits up to the search time for the answer
// "CHECKSERVER" with the server's name. That name is listed when it resolves, else the probed address.
// Each server counts once however often or through however many candidates it answers.
class ServerSearch : public QObject
{
    Q_OBJECT
public:
    explicit ServerSearch(QObject *parent = nullptr);
    ~ServerSearch() override;

    void setLinkPort(qint32 port) { m_port = port; }
    void setUserName(const QString &name) { m_userName = name; }
    void setTimeout(int ms) { m_timeout = ms < 1 ? 1500 : ms; }

    // Starts probing; finished() follows once every candidate answered, refused or timed out
    // (at once for an empty list).
    void start(const QStringList &candidates);
    bool isRunning() const { return m_running; }
    int total() const { return int(m_probes.size()); }
    int doneCount() const { return m_done; }

    // Servers that answered, in candidate order, each once.
    QStringList answers() const;

    // Answers of the last search that finished in this library (the server list shows them again).
    static QStringList lastAnswers();

Q_SIGNALS:
    void progress(int done, int total);
    void finished();

private:
    struct Probe;
    void onAnswer(Probe &probe, const QString &name);
    void finish(Probe &probe);

    std::vector<std::unique_ptr<Probe>> m_probes;
    QString m_userName;
    qint32 m_port = Discovery::DefaultLinkPort;
    int m_timeout = 1500;
    int m_done = 0;
    quint64 m_generation = 0;
    bool m_running = false;
};
