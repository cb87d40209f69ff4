// Opening a long fax in the control, and the window's responsiveness while its strip fills in.
#include "FaxFixture.h"
#include "ImgMenu.h"
#include "Lumagrid.h"
#include "PageView.h"
#include "Prompt.h"
#include "ThumbCtl.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

QTemporaryDir *g_dir = nullptr;

QString faxOf(int pages)
{
    const QString path = g_dir->filePath(QStringLiteral("fax%1.tif").arg(pages));
    if (!QFile::exists(path))
        FaxFixture::writeFax(path, pages, 1728, 2200, 204, 196, 4, true);
    return path;
}

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// OpenSource until page 1 is painted; the strip build is owed but starts only after its timer.
void BM_OpenAndShowFirstPage(benchmark::State &state)
{
    const QString file = faxOf(int(state.range(0)));
    Lumagrid control;
    control.resize(1000, 700);
    control.setThumbsVisible(true);
    control.show();
    for (auto _ : state) {
        benchmark::DoNotOptimize(control.OpenSource(file));
        control.pageView()->viewport()->repaint();
    }
    state.counters["pages"] = double(control.PagesNumber());
}
BENCHMARK(BM_OpenAndShowFirstPage)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond);

// The whole strip of a 200-page fax, while a 1 ms timer measures how long the event loop stalls from the
// moment OpenSource returns (the first paint of the page included).
void BM_StripBuildStall(benchmark::State &state)
{
    const QString file = faxOf(200);
    double worstStall = 0, rssAfter = 0, buildMs = 0;
    const double rssBefore = rssMb();
    for (auto _ : state) {
        Lumagrid control;
        control.resize(1000, 700);
        control.setThumbsVisible(true);
        control.show();
        // The window's own first paint (frame, toolbar, empty strip) is over before the document opens,
        // as in the hosts, where the control is on screen before a fax is picked.
        if (!QTest::qWaitForWindowExposed(&control))
            return state.SkipWithError("the window was never shown");
        QApplication::processEvents();
        QElapsedTimer clock, build;
        QTimer tick;
        tick.setInterval(1);
        qint64 last = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worstStall = std::max(worstStall, double(now - last));
            last = now;
        });
        build.start();
        control.OpenSource(file);
        clock.start();
        tick.start();
        while (control.ThumbsLoading() || !control.thumbCells().value(199)) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            if (build.elapsed() > 60000)
                break;
        }
        buildMs = double(build.elapsed());
        rssAfter = rssMb();
        control.GoToPage(150); // paging still works with every thumbnail made
    }
    state.counters["max_stall_ms"] = worstStall;
    state.counters["build_ms"] = buildMs;
    state.counters["rss_mb"] = rssAfter;
    std::printf("strip of 200 pages: built in %.0f ms, longest event-loop stall %.0f ms, memory %.0f MB "
                "(%.0f MB before)\n",
                buildMs, worstStall, rssAfter, rssBefore);
}
BENCHMARK(BM_StripBuildStall)->Iterations(1)->Unit(benchmark::kMillisecond);

// A small file of large pages: 12 RGB pages of 8000 x 9000 (each inside the page limit), Deflate of
// zeros, about 2.5 MB.
QString largePages()
{
    const QString path = g_dir->filePath(QStringLiteral("large-pages.tif"));
    if (QFile::exists(path))
        return path;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return {};
    constexpr uint32_t w = 8000, h = 9000, rows = 64;
    const QByteArray zeros(qsizetype(w) * 3 * rows, '\0');
    bool ok = true;
    for (int page = 0; page < 12 && ok; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        for (uint32_t s = 0; s * rows < h && ok; ++s) {
            const tmsize_t bytes = tmsize_t(std::min(rows, h - s * rows)) * w * 3;
            ok = TIFFWriteEncodedStrip(tif, s, const_cast<char *>(zeros.constData()), bytes) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ok ? path : QString();
}

// Run as a child process (--strip-of FILE): the control opens the file and builds its whole strip,
// as a user opening it would; the parent reads the child's peak memory.
int stripChild(const QString &file)
{
    Lumagrid control;
    control.resize(1000, 700);
    control.setThumbsVisible(true);
    control.show();
    QElapsedTimer build;
    build.start();
    if (!control.OpenSource(file))
        return 2;
    const int last = control.PagesNumber() - 1;
    while (control.ThumbsLoading() || !control.thumbCells().value(last) ||
           !control.thumbCells().value(last)->isVisible()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (build.elapsed() > 600000)
            return 3;
    }
    std::printf("strip built in %lld ms\n", build.elapsed());
    return 0;
}

// The whole strip of the file of large pages: the process's peak memory (the child's maximum resident
// set), which must not grow with the number of cores.
void BM_StripPeakMemoryLargePages(benchmark::State &state)
{
    const QString file = largePages();
    if (file.isEmpty())
        return state.SkipWithError("cannot write the file of large pages");
    double peakMb = 0;
    for (auto _ : state) {
        const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray path = QFile::encodeName(file);
        char *argv[] = {const_cast<char *>(self.constData()), const_cast<char *>("--strip-of"),
                        const_cast<char *>(path.constData()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, self.constData(), nullptr, nullptr, argv, environ) != 0)
            return state.SkipWithError("cannot start the child");
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return state.SkipWithError("the strip was not built");
        peakMb = double(usage.ru_maxrss) / 1024.0;
    }
    state.counters["peak_mb"] = peakMb;
    state.counters["file_mb"] = double(QFileInfo(file).size()) / (1 << 20);
    std::printf("strip of 12 pages of 8000x9000 (%.1f MB file) on %d cores: peak %.0f MB\n",
                double(QFileInfo(file).size()) / (1 << 20), QThread::idealThreadCount(), peakMb);
}
BENCHMARK(BM_StripPeakMemoryLargePages)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The resolution command on a 20-page fine fax (204 x 196 to 204 x 98 and back): every page resampled.
void BM_ResolutionAllPages(benchmark::State &state)
{
    const QString file = faxOf(20);
    Lumagrid control;
    control.resize(1000, 700);
    control.show();
    control.OpenSource(file);
    Prompt::setAnswering(true);
    int y = 98;
    Prompt::setDialogHandler([&y](QDialog *d) {
        d->findChild<QLineEdit *>(QStringLiteral("txtYdpi"))->setText(QString::number(y));
        d->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        return d->result();
    });
    for (auto _ : state) {
        control.toolbar()->action(QStringLiteral("Resolution"))->trigger();
        y = y == 98 ? 196 : 98;
    }
    Prompt::setDialogHandler({});
    state.counters["pages"] = double(control.PagesNumber());
}
BENCHMARK(BM_ResolutionAllPages)->Iterations(4)->Unit(benchmark::kMillisecond);

// Save of a 20-page fax after a turn of one page: every page written back as G4.
void BM_SaveAllPages(benchmark::State &state)
{
    const QString file = g_dir->filePath(QStringLiteral("save20.tif"));
    QFile::remove(file);
    QFile::copy(faxOf(20), file);
    Lumagrid control;
    control.resize(1000, 700);
    control.show();
    control.OpenSource(file);
    control.toolbar()->action(QStringLiteral("Flip"))->trigger();
    for (auto _ : state)
        benchmark::DoNotOptimize(control.Save());
}
BENCHMARK(BM_SaveAllPages)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--strip-of") == 0)
        return stripChild(QFile::decodeName(argv[2]));
    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
