#include "ThumbBuilder.h"

#include "DisplayScaler.h"
#include "ImgX.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

// Pages are decoded (and widened to 32 bits to be scaled) within one budget for the whole process,
// in megabytes, so the strip's memory does not grow with the number of workers or of controls: the
// largest page the engine reads (~290 MB at 32 bits) is made alone, fax pages (~15 MB) many at once.
constexpr int BudgetMb = 320;

QSemaphore &decodeBudget()
{
    static QSemaphore budget(BudgetMb);
    return budget;
}

int costMb(const ThumbBuilder::Job &job)
{
    const qint64 bytes = qint64(std::max(1, job.size.width())) * std::max(1, job.size.height()) * 4;
    return int(std::clamp<qint64>((bytes + (1 << 20) - 1) >> 20, 1, BudgetMb));
}

} // namespace

ThumbBuilder::ThumbBuilder(QObject *parent) : QObject(parent) {}

ThumbBuilder::~ThumbBuilder()
{
    if (m_stop)
        m_stop->store(true);
    for (QFuture<void> &f : m_futures)
        f.waitForFinished();
}

QList<ThumbBuilder::Job> ThumbBuilder::snapshot(const ImgX &doc)
{
    QList<Job> jobs;
    jobs.reserve(doc.count());
    for (const ImgXImage &page : doc.pages()) {
        Job j;
        j.xDpi = page.xDpi();
        j.yDpi = page.yDpi();
        j.size = page.size();
        if (page.isDecoded() || page.sourceFileName().isEmpty()) {
            j.pixels = page.image();
        } else {
            j.file = page.sourceFileName();
            j.filePage = page.sourcePage();
        }
        jobs.append(j);
    }
    return jobs;
}

QImage ThumbBuilder::render(const Job &job, QSize box, ImgX *fileDoc, QString *openedFile)
{
    QImage pixels = job.pixels;
    if (pixels.isNull() && !job.file.isEmpty()) {
        if (*openedFile != job.file) {
            // No page kept decoded by the worker's document: each is decoded into a copy and let go.
            if (!fileDoc->importFileUndecoded(job.file))
                return {};
            *openedFile = job.file;
        }
        // The page that came from that place in the file: unreadable directories are left out, so a
        // page's index in the document can be lower than its place in the file.
        int index = std::min(job.filePage, fileDoc->count() - 1);
        while (index > 0 && fileDoc->page(index).sourcePage() > job.filePage)
            --index;
        if (fileDoc->page(index).sourcePage() != job.filePage)
            return {};
        // A private copy decodes on its own, so the worker's document keeps no decoded pages.
        ImgXImage page = fileDoc->page(index);
        page.setResolution(job.xDpi, job.yDpi);
        pixels = page.image();
    }
    if (pixels.isNull() || box.isEmpty())
        return {};
    const ImgXPageMapping mapping(pixels.size(), job.xDpi, job.yDpi);
    QSizeF shown = mapping.viewSize(1.0);
    // A very wide page still gets a thumbnail 1 % as high as wide.
    if (shown.height() < shown.width() * 0.01)
        shown.setHeight(shown.width() * 0.01);
    const double scale = std::min(box.width() / shown.width(), box.height() / shown.height());
    const QSize target(std::max(1, int(std::lround(shown.width() * scale))),
                       std::max(1, int(std::lround(shown.height() * scale))));
    return DisplayScaler::scaled(pixels, target, true);
}

void ThumbBuilder::start(const QList<Job> &jobs, QSize box)
{
    stop();
    m_pending.clear();
    m_finishPending = false;
    const quint64 generation = ++m_generation;
    m_stop = std::make_shared<std::atomic_bool>(false);
    m_running = true;
    auto stopFlag = m_stop;
    m_futures.removeIf([](const QFuture<void> &f) { return f.isFinished(); });
    // A few workers share the pages (page k, k + n, ...), each with a document of its own, so a long
    // fax's strip fills in order and in a fraction of the time; the last one to end reports.
    const int workers = int(std::clamp<qsizetype>(QThread::idealThreadCount() / 2, 1, std::min<qsizetype>(4, jobs.size())));
    auto remaining = std::make_shared<std::atomic_int>(workers);
    for (int w = 0; w < workers; ++w) {
        m_futures.append(QtConcurrent::run([this, jobs, box, stopFlag, generation, w, workers, remaining] {
            ImgX fileDoc;
            QString opened;
            for (qsizetype i = w; i < jobs.size(); i += workers) {
                if (stopFlag->load())
                    break;
                const int cost = costMb(jobs.at(i));
                bool granted = false;
                while (!(granted = decodeBudget().tryAcquire(cost, 50)) && !stopFlag->load()) {
                }
                if (!granted)
                    break;
                const QImage thumb = render(jobs.at(i), box, &fileDoc, &opened);
                decodeBudget().release(cost);
                if (stopFlag->load())
                    break;
                QMetaObject::invokeMethod(
                    this, [this, generation, i, thumb] { deliver(generation, int(i), thumb); },
                    Qt::QueuedConnection);
            }
            if (remaining->fetch_sub(1) == 1) {
                const bool stopped = stopFlag->load();
                QMetaObject::invokeMethod(
                    this, [this, generation, stopped] { done(generation, stopped); }, Qt::QueuedConnection);
            }
        }));
    }
}

void ThumbBuilder::stop()
{
    if (m_stop)
        m_stop->store(true);
    if (m_running) {
        m_running = false;
        ++m_generation; // anything still queued from that build is dropped
    }
    m_pending.clear();
    m_finishPending = false;
}

void ThumbBuilder::deliver(quint64 generation, int index, const QImage &thumb)
{
    if (generation != m_generation || !m_running)
        return;
    m_pending.append({index, thumb});
    if (!m_drainQueued) {
        m_drainQueued = true;
        QMetaObject::invokeMethod(this, &ThumbBuilder::drain, Qt::QueuedConnection);
    }
}

void ThumbBuilder::done(quint64 generation, bool stopped)
{
    if (generation != m_generation || !m_running)
        return;
    m_finishPending = true;
    m_finishStopped = stopped;
    if (!m_drainQueued) {
        m_drainQueued = true;
        QMetaObject::invokeMethod(this, &ThumbBuilder::drain, Qt::QueuedConnection);
    }
}

void ThumbBuilder::drain()
{
    m_drainQueued = false;
    // About a quarter of a frame per slice; the rest waits for the next turn of the event loop.
    constexpr qint64 sliceNs = 4'000'000;
    QElapsedTimer slice;
    slice.start();
    while (!m_pending.isEmpty() && m_running) {
        const auto [index, thumb] = m_pending.takeFirst();
        Q_EMIT thumbReady(index, thumb);
        if (slice.nsecsElapsed() > sliceNs)
            break;
    }
    if (!m_pending.isEmpty() && m_running) {
        m_drainQueued = true;
        QTimer::singleShot(0, this, &ThumbBuilder::drain);
        return;
    }
    if (m_finishPending && m_running) {
        m_finishPending = false;
        m_running = false;
        Q_EMIT finished(m_finishStopped);
    }
}
