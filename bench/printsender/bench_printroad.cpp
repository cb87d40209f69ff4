// The fax printer's road against Ghostscript alone, in the same run: "lp" of a 10-page PDF through a
// private CUPS scheduler (PPD filters, the backend, the user's spool) until the send window is ready with
// the document, beside Ghostscript making the same fax TIFF from the same PDF. Goal: at most 1.3 times
// Ghostscript alone ("x_gs" of the road). Needs root for the private scheduler; run by hand:
//   sudo build/bench/bench_printroad
#include "FaxPrinter.h"
#include "FmPrinter.h"
#include "PrivateCups.h"
#include "Prompt.h"
#include "SendoraConfig.h"
#include "StartupMain.h"
#include "frmPrint.h"

#include "BenchHome.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QTemporaryDir *g_dir = nullptr;
QString g_pdf;
double g_gsSeconds = 0;

bool makePdf(const QString &path, int pages)
{
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    QPainter p(&pdf);
    if (!p.isActive())
        return false;
    p.setFont(QFont(u"Sans"_s, 12));
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            pdf.newPage();
        for (int line = 0; line < 50; ++line)
            p.drawText(
                200, 300 + line * 180,
                u"Pagina %1, riga %2: offerta per la fornitura di materiale d'ufficio."_s.arg(page).arg(
                    line));
        p.drawRect(200, 9500, 4000, 2000);
    }
    return true;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void GhostscriptAlone(benchmark::State &state)
{
    const QString target = g_dir->filePath(u"gs.tif"_s);
    QElapsedTimer total;
    qint64 runs = 0;
    for (auto _ : state) {
        total.start();
        // The same conversion the capture runs, on the same file.
        QProcess gs;
        gs.start(u"gs"_s, {u"-q"_s, u"-dSAFER"_s, u"-dBATCH"_s, u"-dNOPAUSE"_s, u"-sDEVICE=tiffg4"_s,
                           u"-r204x196"_s, u"-g1728x2292"_s, u"-dFIXEDMEDIA"_s, u"-dPDFFitPage"_s,
                           u"-sOutputFile="_s + target, g_pdf});
        if (!gs.waitForFinished(120000) || gs.exitCode() != 0)
            return state.SkipWithError("gs failed");
        g_gsSeconds += total.nsecsElapsed() / 1e9;
        ++runs;
    }
    if (runs)
        g_gsSeconds /= double(runs);
}

void PrintToSendWindowReady(benchmark::State &state)
{
    if (::geteuid() != 0)
        return state.SkipWithError("needs root: it starts a private CUPS scheduler");
    // The spool root as the install makes it (root's, 0755); the backend makes the user's folder in it.
    const QString spool = g_dir->filePath(u"spool"_s);
    QDir().mkpath(spool);
    QFile::setPermissions(spool, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                     QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                     QFileDevice::ExeOther);
    qputenv("QUORIN_SPOOL_DIR", QFile::encodeName(spool));
    PrivateCups cups(g_dir->filePath(u"cups"_s), spool);
    if (!cups.start(QStringLiteral(QUORIN_BACKEND)))
        return state.SkipWithError("cupsd did not start");
    if (!cups.addQueue(FaxPrinter::lpadminArguments(u"QuorinPrinter"_s, QStringLiteral(QUORIN_PPD_FILE))))
        return state.SkipWithError("lpadmin failed");
    double seconds = 0, spooled = 0;
    qint64 runs = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        qint64 spooledAt = 0;
        auto w = std::make_unique<frmPrint>();
        if (PrivateCups::run(u"lp"_s, {u"-d"_s, u"QuorinPrinter"_s, g_pdf}, nullptr, cups.env()) != 0)
            return state.SkipWithError("lp failed");
        auto *send = w->findChild<QPushButton *>(u"cbSend"_s);
        const QString folder = FaxPrinter::spoolDir();
        if (!waitFor(
                [&] {
                    if (spooledAt == 0 && !QDir(folder).isEmpty(QDir::Files | QDir::NoDotAndDotDot))
                        spooledAt = t.nsecsElapsed();
                    return send->isEnabled();
                },
                120000))
            return state.SkipWithError(
                qPrintable(u"the send window never got the document: "_s + cups.log()));
        seconds += t.nsecsElapsed() / 1e9;
        spooled += spooledAt / 1e9;
        ++runs;
        state.PauseTiming();
        w->FmPrinter1->releaseJob();
        Sendora::G.HiddenMode = true; // nothing may hold the window
        w->close();
        Sendora::G.HiddenMode = false;
        w.reset();
        state.ResumeTiming();
    }
    if (runs && g_gsSeconds > 0)
        state.counters["x_gs"] = (seconds / double(runs)) / g_gsSeconds;
    // How much of it is CUPS: from "lp" to the job in the user's spool folder.
    if (runs)
        state.counters["spool_ms"] = spooled / double(runs) * 1000;
}

} // namespace

BENCHMARK(GhostscriptAlone)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(PrintToSendWindowReady)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    QFile::setPermissions(dir.path(),
                          QFile::permissions(dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    useBenchHome(dir);
    qputenv("PATH", qgetenv("PATH") + ":/usr/sbin:/sbin");
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Sendora"_s);
    Prompt::setAnswering(true);
    Sendora::LoadSendoraStrings();
    Sendora::LoadConfig();
    g_pdf = dir.filePath(u"ten-pages.pdf"_s);
    if (!makePdf(g_pdf, 10))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
