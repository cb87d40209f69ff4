// Opening, decoding and writing a 200-page G4 fax, next to tiffcp doing the same work.
#include "FaxFixtures.h"
#include "ImgX.h"
#include "TiffStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Fixture
{
    QTemporaryDir dir;
    QString fax1, fax200;
    bool ok = false;

    Fixture()
    {
        const QString ps = dir.filePath(u"fax.ps"_s);
        fax200 = dir.filePath(u"fax200.tif"_s);
        fax1 = dir.filePath(u"fax1.tif"_s);
        ok = FaxFixtures::writePostScript(ps, 200) &&
             FaxFixtures::ghostscript(u"tiffg4"_s, ps, fax200, u"204x196"_s) &&
             QProcess::execute(u"tiffcp"_s, {u"-c"_s, u"g4"_s, fax200 + u",0"_s, fax1}) == 0;
        if (!ok)
            std::fprintf(stderr, "cannot make the fax fixtures (gs, tiffcp)\n");
    }
    QString file(int pages) const { return pages == 1 ? fax1 : fax200; }
    QString out(const QString &name) const { return dir.filePath(name); }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void runTiffcp(benchmark::State &state, const QString &compression)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    const QString out = f.out(u"tiffcp-"_s + compression + u".tif"_s);
    for (auto _ : state) {
        if (QProcess::execute(u"tiffcp"_s, {u"-c"_s, compression, f.fax200, out}) != 0)
            state.SkipWithError("tiffcp failed");
    }
}

// Mean milliseconds of a few tiffcp runs of the same file, for the ratio counters.
double tiffcpMs(const QString &compression)
{
    Fixture &f = fixture();
    const QString out = f.out(u"ratio-"_s + compression + u".tif"_s);
    QElapsedTimer t;
    t.start();
    constexpr int runs = 3;
    for (int i = 0; i < runs; ++i)
        QProcess::execute(u"tiffcp"_s, {u"-c"_s, compression, f.fax200, out});
    return t.nsecsElapsed() / 1e6 / runs;
}

// Adds "x_tiffcp": our mean time per iteration over tiffcp's on the same file.
void addRatio(benchmark::State &state, double ourMsTotal, const QString &compression)
{
    if (state.iterations() == 0)
        return;
    state.counters["x_tiffcp"] = (ourMsTotal / double(state.iterations())) / tiffcpMs(compression);
}

} // namespace

// Open a fax and decode its first page: the same for 1 and 200 pages.
static void BM_OpenFirstPage(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    const QString file = f.file(int(state.range(0)));
    for (auto _ : state) {
        ImgX doc;
        if (!doc.importFile(file))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(doc.page(0).image().constBits());
    }
}
BENCHMARK(BM_OpenFirstPage)->Arg(1)->Arg(200)->Unit(benchmark::kMillisecond);

// The reference for the above: the same open, plus what opening cost when every page's directory was
// read by libtiff to find the unreadable ones (each directory selected by its offset in the file's
// bytes and its size read, as that did).
static void BM_OpenFirstPageReadingEveryDirectory(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    const QString file = f.file(int(state.range(0)));
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return state.SkipWithError("cannot read the fixture");
    const QByteArray bytes = in.readAll();
    QList<toff_t> offsets;
    if (TIFF *tif = TIFFOpen(QFile::encodeName(file).constData(), "r")) {
        do
            offsets.append(TIFFCurrentDirOffset(tif));
        while (TIFFReadDirectory(tif));
        TIFFClose(tif);
    }
    for (auto _ : state) {
        ImgX doc;
        if (!doc.importFile(file))
            state.SkipWithError("import failed");
        std::unique_ptr<TiffStream> stream(TiffStream::openRead(bytes));
        for (toff_t off : offsets) {
            uint32_t w = 0, h = 0;
            if (TIFFSetSubDirectory(stream->tif(), off)) {
                TIFFGetField(stream->tif(), TIFFTAG_IMAGEWIDTH, &w);
                TIFFGetField(stream->tif(), TIFFTAG_IMAGELENGTH, &h);
            }
            benchmark::DoNotOptimize(w + h);
        }
        benchmark::DoNotOptimize(doc.page(0).image().constBits());
    }
}
BENCHMARK(BM_OpenFirstPageReadingEveryDirectory)->Arg(1)->Arg(200)->Unit(benchmark::kMillisecond);

static void BM_DecodeAllPages(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    QElapsedTimer t;
    t.start();
    for (auto _ : state) {
        ImgX doc;
        if (!doc.importFile(f.fax200))
            state.SkipWithError("import failed");
        for (int i = 0; i < doc.count(); ++i)
            benchmark::DoNotOptimize(doc.page(i).image().constBits());
    }
    addRatio(state, t.nsecsElapsed() / 1e6, u"none"_s);
}
BENCHMARK(BM_DecodeAllPages)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_TiffcpNone(benchmark::State &state)
{
    runTiffcp(state, u"none"_s);
}
BENCHMARK(BM_TiffcpNone)->Unit(benchmark::kMillisecond)->UseRealTime();

// Read, decode, encode as G4 and write: what tiffcp -c g4 does.
static void BM_WriteAllG4(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    const QString out = f.out(u"engine-g4.tif"_s);
    QElapsedTimer t;
    t.start();
    for (auto _ : state) {
        ImgX doc;
        doc.setTIFCompression(TIFCompression::CcittG4);
        if (!doc.importFile(f.fax200) || !doc.exportFile(out, imgTIF))
            state.SkipWithError("export failed");
    }
    addRatio(state, t.nsecsElapsed() / 1e6, u"g4"_s);
}
BENCHMARK(BM_WriteAllG4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Encoding and writing only (pages decoded beforehand).
static void BM_EncodeAllG4(benchmark::State &state)
{
    Fixture &f = fixture();
    if (!f.ok) {
        state.SkipWithError("no fixtures");
        return;
    }
    ImgX doc;
    doc.setTIFCompression(TIFCompression::CcittG4);
    if (!doc.importFile(f.fax200)) {
        state.SkipWithError("import failed");
        return;
    }
    for (int i = 0; i < doc.count(); ++i)
        doc.page(i).image();
    const QString out = f.out(u"engine-g4-only.tif"_s);
    for (auto _ : state) {
        if (!doc.exportFile(out, imgTIF))
            state.SkipWithError("export failed");
    }
}
BENCHMARK(BM_EncodeAllG4)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_TiffcpG4(benchmark::State &state)
{
    runTiffcp(state, u"g4"_s);
}
BENCHMARK(BM_TiffcpG4)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
