#pragma once

#include <QFuture>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <utility>

#include <atomic>
#include <memory>

class ImgX;

// Renders the thumbnails of a document in a worker thread and hands them to the window's thread one
// by one, so the window stays responsive while a long fax is reduced page by page.
// The worker never touches the control's own document: start() takes a snapshot on the calling
// thread (pixels of pages already decoded or edited, file and page of the others) and the worker
// reads undecoded pages through an engine document of its own.
class ThumbBuilder : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        QImage pixels; // decoded page, or null: decode page filePage of file
        QString file;
        int filePage = 0;
        double xDpi = 96.0;
        double yDpi = 96.0;
        QSize size; // pixel size of the page
    };

    explicit ThumbBuilder(QObject *parent = nullptr);
    // Stops a running build and waits for the worker to let go.
    ~ThumbBuilder() override;

    static QList<Job> snapshot(const ImgX &doc);
    // Each thumbnail fits box with the page's true proportions.
    void start(const QList<Job> &jobs, QSize box);
    // Asks a running build to stop; nothing more of it is delivered.
    void stop();
    bool running() const { return m_running; }

    // Thumbnail of one job (runs on any thread).
    static QImage render(const Job &job, QSize box, ImgX *fileDoc, QString *openedFile);

Q_SIGNALS:
    void thumbReady(int index, const QImage &thumb);
    void finished(bool stopped);

private:
    void deliver(quint64 generation, int index, const QImage &thumb);
    void done(quint64 generation, bool stopped);
    void drain();

    // Thumbnails arrive from several workers at once: they are handed on in short slices of the
    // event loop, so the window never stalls behind a burst of them.
    QList<std::pair<int, QImage>> m_pending;
    bool m_drainQueued = false;
    bool m_finishPending = false;
    bool m_finishStopped = false;

    QList<QFuture<void>> m_futures; // workers told to stop may still be finishing a page
    std::shared_ptr<std::atomic_bool> m_stop;
    quint64 m_generation = 0;
    bool m_running = false;
};
