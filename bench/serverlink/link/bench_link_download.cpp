// A 64 MiB fax image from the fake fax server over loopback: through QuorinSock (frames cut, pieces
// written to TMPFAX.TIF as they come) and through a plain QTcpSocket copying the same bytes to a file.
// Prints MB/s for both and the peak resident memory, which stays far below the file size.
#include "FakeFaxServer.h"
#include "QuorinSock.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 ImageSize = 64LL * 1024 * 1024;
constexpr int PieceSize = 409600;

// 1 MiB of file-like bytes with no "<" (so no separator), plus room to slice a whole piece anywhere.
const QByteArray &pattern()
{
    static const QByteArray bytes = [] {
        QByteArray b(1024 * 1024 + PieceSize, Qt::Uninitialized);
        for (qsizetype i = 0; i < b.size(); ++i) {
            const char c = char((i * 131 + i / 977) % 251);
            b[i] = c == '<' ? '=' : c;
        }
        return b;
    }();
    return bytes;
}

QByteArray slice(qint64 offset, qint64 length)
{
    return pattern().mid(offset % (1024 * 1024), length);
}

long peakRssKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

bool runUntil(const std::function<bool()> &done, int ms = 120000)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

void BM_QuorinSockDownload(benchmark::State &state)
{
    FakeFaxServer server;
    server.setResponder([](FakeFaxServer &s, const FakeFaxServer::Frame &f) {
        if (f.keyword == "USER" && f.answer)
            s.sendNow(FakeFaxServer::answer(u"USER", u"bench<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"));
        else if (f.keyword == "FILE" && !f.answer)
            s.streamFile(ImageSize, slice, PieceSize, u"P1"_s);
    });
    if (!server.listen()) {
        state.SkipWithError("cannot listen on loopback");
        return;
    }
    QuorinSock sock;
    bool connected = false;
    QObject::connect(&sock, &QuorinSock::Connected, [&] { connected = true; });
    sock.Connect(u"127.0.0.1"_s, server.port(), u"bench"_s);
    if (!runUntil([&] { return connected; }, 10000)) {
        state.SkipWithError("no login");
        return;
    }
    int received = 0;
    QString file;
    QObject::connect(&sock, &QuorinSock::RxFaxOkKey, [&](const QString &name, const QString &) {
        file = name;
        ++received;
    });
    sock.SetActiveList(PersonalList, 1);
    for (auto _ : state) {
        const int before = received;
        sock.AskFax(u"P1"_s);
        if (!runUntil([&] { return received > before; })) {
            state.SkipWithError("download did not complete");
            return;
        }
    }
    if (QFile(file).size() != ImageSize)
        state.SkipWithError("wrong file size");
    state.SetBytesProcessed(state.iterations() * ImageSize);
    state.counters["MB/s"] =
        benchmark::Counter(double(state.iterations() * ImageSize) / 1e6, benchmark::Counter::kIsRate);
    state.counters["peak_rss_MiB"] = double(peakRssKiB()) / 1024.0;
}

// The same bytes over a plain socket, written to a file as they come: the ceiling for the link.
void BM_RawSocketCopy(benchmark::State &state)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        state.SkipWithError("cannot listen on loopback");
        return;
    }
    QTemporaryDir dir;
    for (auto _ : state) {
        qint64 sent = 0;
        QTcpSocket *peer = nullptr;
        auto pump = [&] {
            while (peer && sent < ImageSize && peer->bytesToWrite() < 4 * 1024 * 1024) {
                const qint64 n = qMin<qint64>(PieceSize, ImageSize - sent);
                peer->write(slice(sent, n));
                sent += n;
            }
        };
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::bytesWritten, pump);
            pump();
        });
        QFile out(dir.filePath(u"raw.bin"_s));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        qint64 got = 0;
        QTcpSocket client;
        QObject::connect(&client, &QTcpSocket::readyRead, [&] {
            const QByteArray bytes = client.readAll();
            out.write(bytes);
            got += bytes.size();
        });
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!runUntil([&] { return got >= ImageSize; })) {
            state.SkipWithError("copy did not complete");
            return;
        }
        out.close();
        server.disconnect();
        delete peer;
    }
    state.SetBytesProcessed(state.iterations() * ImageSize);
    state.counters["MB/s"] =
        benchmark::Counter(double(state.iterations() * ImageSize) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RawSocketCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_QuorinSockDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
