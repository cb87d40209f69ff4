#include "ServerSearch.h"

#include "FrameCutter.h"
#include "Protocol.h"

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QStringList &lastSearchAnswers()
{
    static QStringList answers;
    return answers;
}

Discovery::Resolver &currentResolver()
{
    static Discovery::Resolver resolver;
    return resolver;
}

// Names of the hosts file: where a name is looked up when the search is held to its own list.
bool inHostsFile(const QString &name)
{
    QFile hosts(u"/etc/hosts"_s);
    if (!hosts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = name.toLatin1().toLower();
    while (!hosts.atEnd()) {
        QByteArray line = hosts.readLine();
        line.truncate(line.indexOf('#') < 0 ? line.size() : line.indexOf('#'));
        const QList<QByteArray> fields = line.simplified().toLower().split(' ');
        if (fields.size() > 1 && fields.indexOf(wanted, 1) > 0)
            return true;
    }
    return false;
}

void resolveWithHostInfo(const QString &name, QObject *context, std::function<void(bool)> done)
{
    if (!QHostAddress(name).isNull()) {
        done(true);
        return;
    }
    // With a candidate list of its own (tests, demos) the search asks no name server either.
    if (!qgetenv("QUORIN_DISCOVERY_HOSTS").isNull()) {
        done(inHostsFile(name));
        return;
    }
    QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo &info) {
        done(info.error() == QHostInfo::NoError && !info.addresses().isEmpty());
    });
}

} // namespace

QStringList Discovery::parseArpTable(QByteArrayView table)
{
    QStringList hosts;
    const QList<QByteArrayView> lines = Proto::splitView(table, '\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> columns = lines[i].toByteArray().simplified().split(' ');
        if (columns.size() < 3)
            continue;
        bool ok = false;
        const uint flags = columns[2].toUInt(&ok, 16);
        const QHostAddress address(QString::fromLatin1(columns[0]));
        if (!ok || flags == 0 || address.isNull())
            continue;
        const QString host = address.toString();
        if (!hosts.contains(host))
            hosts.append(host);
    }
    return hosts;
}

QStringList Discovery::candidates()
{
    const QByteArray list = qgetenv("QUORIN_DISCOVERY_HOSTS");
    QStringList hosts;
    if (!list.isNull()) {
        for (const QByteArray &piece : list.split(',')) {
            const QString host = QString::fromLocal8Bit(piece).trimmed();
            if (!host.isEmpty() && !hosts.contains(host))
                hosts.append(host);
        }
        return hosts;
    }
    hosts.append(u"127.0.0.1"_s);
    QFile arp(u"/proc/net/arp"_s);
    if (arp.open(QIODevice::ReadOnly)) {
        for (const QString &host : parseArpTable(arp.readAll())) {
            if (!hosts.contains(host))
                hosts.append(host);
        }
    }
    return hosts;
}

void Discovery::setResolver(Resolver resolver)
{
    currentResolver() = std::move(resolver);
}

Discovery::Resolver Discovery::resolver()
{
    return currentResolver() ? currentResolver() : Resolver(resolveWithHostInfo);
}

struct ServerSearch::Probe
{
    QString candidate;
    QTcpSocket socket;
    QTimer timer;
    FrameCutter buffer;
    QString name;  // the name the server answered with
    QString entry; // what the list shows: the name when it resolves, else the candidate
    bool answered = false;
    bool done = false;
};

ServerSearch::ServerSearch(QObject *parent) : QObject(parent) {}

ServerSearch::~ServerSearch() = default;

void ServerSearch::start(const QStringList &candidates)
{
    ++m_generation; // answers still being resolved belong to the old probes
    m_probes.clear();
    m_done = 0;
    m_running = true;
    // A user name that would cut the frame is left out rather than sent.
    const QByteArray query =
        Proto::buildFrame(typeQry, u"CHECKSERVER", m_userName)
            .value_or(QByteArray("CHECKSERVER") + Proto::QuerySeparator + Proto::Terminator);
    for (const QString &candidate : candidates) {
        auto probe = std::make_unique<Probe>();
        probe->candidate = candidate;
        Probe *p = probe.get();
        p->timer.setSingleShot(true);
        p->timer.setInterval(m_timeout);
        connect(&p->timer, &QTimer::timeout, this, [this, p] { finish(*p); });
        connect(&p->socket, &QTcpSocket::connected, this, [p, query] { p->socket.write(query); });
        connect(&p->socket, &QTcpSocket::errorOccurred, this, [this, p] {
            // Refused, unreachable or closed: nothing more will come from it.
            if (!p->answered)
                finish(*p);
        });
        connect(&p->socket, &QTcpSocket::readyRead, this, [this, p] {
            p->buffer.append(p->socket.readAll());
            ServerMessage msg;
            for (;;) {
                const FrameCutter::Result result = p->buffer.next(msg);
                if (result == FrameCutter::Result::NeedMore || p->answered)
                    break;
                if (result == FrameCutter::Result::Frame && msg.type == typeAns &&
                    msg.keyword == "CHECKSERVER" && !msg.data.isEmpty()) {
                    onAnswer(*p, Proto::text(msg.data));
                    break;
                }
            }
        });
        m_probes.push_back(std::move(probe));
    }
    if (m_probes.empty()) {
        m_running = false;
        lastSearchAnswers().clear();
        Q_EMIT finished();
        return;
    }
    const bool portValid = m_port >= 0 && m_port < 65535;
    for (const auto &probe : m_probes) {
        probe->timer.start();
        if (portValid)
            probe->socket.connectToHost(probe->candidate, quint16(m_port + 1));
        else
            QTimer::singleShot(0, &probe->timer, [this, p = probe.get()] { finish(*p); });
    }
}

void ServerSearch::onAnswer(Probe &probe, const QString &name)
{
    probe.answered = true;
    probe.name = name;
    probe.socket.abort();
    QPointer<ServerSearch> self(this);
    Probe *p = &probe;
    const quint64 generation = m_generation;
    Discovery::resolver()(name, this, [self, p, generation](bool resolves) {
        if (!self || self->m_generation != generation || p->done)
            return;
        p->entry = resolves ? p->name : p->candidate;
        self->finish(*p);
    });
}

void ServerSearch::finish(Probe &probe)
{
    if (probe.done)
        return;
    // An answer still being resolved when the time is up keeps the probed address.
    if (probe.answered && probe.entry.isEmpty())
        probe.entry = probe.candidate;
    probe.done = true;
    probe.timer.stop();
    probe.socket.abort();
    ++m_done;
    Q_EMIT progress(m_done, total());
    if (m_done == total() && m_running) {
        m_running = false;
        lastSearchAnswers() = answers();
        Q_EMIT finished();
    }
}

QStringList ServerSearch::answers() const
{
    QStringList out;
    for (const auto &probe : m_probes) {
        if (!probe->done || probe->entry.isEmpty())
            continue;
        if (!out.contains(probe->entry, Qt::CaseInsensitive))
            out.append(probe->entry);
    }
    return out;
}

QStringList ServerSearch::lastAnswers()
{
    return lastSearchAnswers();
}
