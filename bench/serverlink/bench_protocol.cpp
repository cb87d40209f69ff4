#include "FaxRecords.h"
#include "FrameCutter.h"
#include "Protocol.h"

#include <benchmark/benchmark.h>

namespace {

// A receive stream of mixed frames (notices, list answers, file chunks) of about `size` bytes.
QByteArray mixedStream(qsizetype size)
{
    static const qsizetype dataSizes[] = {0, 40, 300, 4096, 65536, 409600, 12, 2048};
    QByteArray stream;
    stream.reserve(size + 409600 + 64);
    for (int i = 0; stream.size() < size; ++i) {
        const qsizetype n = dataSizes[i % std::size(dataSizes)];
        QByteArray data(n, char('a' + i % 26));
        stream += i % 5 == 0 ? QByteArray("FILE<\xB6>") : QByteArray("RXFAX<\xB6>");
        stream += data;
        stream += "<\xA7>";
        if (i % 7 == 0)
            stream += "STATUS<\xA5><\xA7>";
    }
    return stream;
}

void BM_CutFrames(benchmark::State &state)
{
    const QByteArray stream = mixedStream(state.range(0) * 1024 * 1024);
    constexpr qsizetype piece = 1460;
    qint64 frames = 0;
    for (auto _ : state) {
        FrameCutter cutter;
        ServerMessage msg;
        for (qsizetype pos = 0; pos < stream.size(); pos += piece) {
            cutter.append(QByteArrayView(stream).sliced(pos, std::min(piece, stream.size() - pos)));
            while (cutter.next(msg) == FrameCutter::Result::Frame)
                ++frames;
        }
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
    state.counters["MiB/s"] = benchmark::Counter(double(stream.size()) / (1024.0 * 1024.0),
                                                 benchmark::Counter::kIsIterationInvariantRate);
    state.counters["frames"] = double(frames) / double(state.iterations());
}
BENCHMARK(BM_CutFrames)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

QByteArray faxList(int records)
{
    QByteArray data = QByteArray::number(records) + "<\xCC\xCC>";
    for (int i = 0; i < records; ++i) {
        data += "\xA6P" + QByteArray::number(i) +
                "\xA6"
                "1\xA6"
                "4\xA6REMOTE ID\xA6"
                "ACME S.p.A.\xA6"
                "0212345678\xA6" +
                QByteArray::number(9000000 + i) +
                "\xA6"
                "3\xA6Offerta n. " +
                QByteArray::number(i) +
                "\xA6V\xA6"
                "2\xA6"
                "1\xA6"
                "0<\xCC\xCC>";
    }
    return data;
}

void BM_ParseFaxList(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QByteArray data = faxList(records);
    for (auto _ : state) {
        auto items = Proto::CaricaCollFaxItem(data, SentList, {});
        if (items->Count() != records)
            state.SkipWithError("records lost");
        benchmark::DoNotOptimize(items);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(records), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseFaxList)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same, with releasing the previous list left out of the timing.
void BM_ParseFaxListNoRelease(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QByteArray data = faxList(records);
    for (auto _ : state) {
        auto items = Proto::CaricaCollFaxItem(data, SentList, {});
        benchmark::DoNotOptimize(items);
        state.PauseTiming();
        items.reset();
        state.ResumeTiming();
    }
    state.counters["records/s"] =
        benchmark::Counter(double(records), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseFaxListNoRelease)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
