// Upload of a 64 MiB document over loopback, beside a raw socket copy of the same file.
#include "LoopbackLink.h"
#include "UploadDriver.h"
#include "collFaxOut.h"
#include "faxOut.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr qint64 DocumentSize = 64 * 1024 * 1024;

const QString &document()
{
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("document.tif"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QRandomGenerator random(42);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qint64 written = 0; written < DocumentSize; written += block.size()) {
            random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            file.write(block);
        }
    }
    return path;
}

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

bool connectLink(LoopbackLink &link)
{
    if (!link.listen())
        return false;
    link.connectClient();
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (link.connected())
            wait.quit();
    });
    poll.start(1);
    wait.exec();
    return true;
}

void waitForBytes(LoopbackLink &link, qint64 bytes)
{
    if (link.receivedCount() >= bytes)
        return;
    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (link.receivedCount() >= bytes)
            wait.quit();
    });
    poll.start(1);
    wait.exec();
}

// The file read in 409600-byte pieces and written to the socket as it drains, up to 1 MiB queued.
void rawCopy(LoopbackLink &link, const QString &path)
{
    link.clearReceived();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray chunk;
    auto pump = [&] {
        while (link.client.bytesToWrite() < 1024 * 1024 && !file.atEnd()) {
            chunk = file.read(Upload::ChunkSize);
            link.client.write(chunk);
        }
    };
    QMetaObject::Connection c = QObject::connect(&link.client, &QTcpSocket::bytesWritten, pump);
    pump();
    waitForBytes(link, DocumentSize);
    QObject::disconnect(c);
}

void BM_RawSocketCopy(benchmark::State &state)
{
    const QString path = document();
    LoopbackLink link;
    link.keep = false;
    if (!connectLink(link)) {
        state.SkipWithError("no loopback");
        return;
    }
    for (auto _ : state)
        rawCopy(link, path);
    state.SetBytesProcessed(state.iterations() * DocumentSize);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

// The same file as a fax: NEWFAX, NOMSG, STARTFILE, FILE frames one per completed send, ENDFILE, FINEFAX,
// and SentFax2Server once the peer's TCP acknowledged the last byte (the control's delivery probe).
// fin_to_sent_ms: from FINEFAX handed to the socket to SentFax2Server.
void BM_UploadFax(benchmark::State &state)
{
    const QString path = document();
    LoopbackLink link;
    link.keep = false;
    if (!connectLink(link)) {
        state.SkipWithError("no loopback");
        return;
    }
    collFaxOut queue;
    QElapsedTimer clock;
    clock.start();
    qint64 finWritten = 0;
    double finToSentMs = 0;
    const UploadDriver::FrameWriter base = link.writer();
    UploadDriver driver(queue, [&](const QByteArray &frame) {
        const bool ok = base(frame);
        if (frame.startsWith("FINEFAX"))
            finWritten = clock.nsecsElapsed();
        return ok;
    });
    driver.setDeliveryProbe(link.probe());
    driver.setQueueProbe([&link] { return link.client.bytesToWrite(); });

    link.attach(&driver);
    // A raw copy after each upload, on a link of its own and outside the timing, so that the share of it
    // (x_raw) compares runs made under the same conditions: this machine's speed moves between runs.
    LoopbackLink rawLink;
    rawLink.keep = false;
    if (!connectLink(rawLink)) {
        state.SkipWithError("no loopback");
        return;
    }
    qint64 uploadNs = 0, rawNs = 0;
    for (auto _ : state) {
        const qint64 started = clock.nsecsElapsed();
        link.clearReceived();
        auto fax = std::make_unique<faxOut>();
        fax->setAllFaxFiles(path);
        QEventLoop wait;
        QObject::connect(&driver, &UploadDriver::SentFax2Server, &wait, [&] {
            finToSentMs += double(clock.nsecsElapsed() - finWritten) / 1e6;
            waitForBytes(link, DocumentSize);
            wait.quit();
        });
        driver.handOver(std::move(fax), Proto::FaxCodeSend);
        wait.exec();
        uploadNs += clock.nsecsElapsed() - started;
        state.PauseTiming();
        const qint64 rawStarted = clock.nsecsElapsed();
        rawCopy(rawLink, path);
        rawNs += clock.nsecsElapsed() - rawStarted;
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * DocumentSize);
    state.counters["peak_rss_MiB"] = peakRssMiB();
    state.counters["fin_to_sent_ms"] = finToSentMs / double(qMax<qint64>(1, state.iterations()));
    // Upload speed as a share of the raw copy's (goal: at least 0.8).
    if (uploadNs > 0)
        state.counters["x_raw"] = double(rawNs) / double(uploadNs);
}

} // namespace

BENCHMARK(BM_RawSocketCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UploadFax)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    document();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
