#pragma once

#include <QImage>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;

// Scanning over SANE. Every SANE call runs in a worker thread (one job at a time per process);
// results come back as signals on the owner's thread. One acquisition scans one page, or every
// page of a document feeder.
class SaneScanner : public QObject
{
    Q_OBJECT
public:
    explicit SaneScanner(QObject *parent = nullptr);
    // Stops a running job and waits for the worker to leave SANE.
    ~SaneScanner() override;

    // True from a job's start until its last signal has reached this object.
    bool busy() const;
    // Lists the devices: devicesListed.
    void listDevices();
    // Opens device (the first one found when empty) and acquires: opened or unreachable, then
    // pageAcquired per page, then finished.
    void acquire(const QString &device);
    void cancel();

    // The source chosen by the user, shared by every control in the process ("" = the first one).
    static QString currentSource();
    static void setCurrentSource(const QString &device);

    // One page of SANE frame data as a picture (1-bit gray becomes a 1-bit page, black = 1).
    // Null for a layout it cannot take. Exposed for tests.
    static QImage frameToImage(const QByteArray &data, int format, int depth, int bytesPerLine,
                               int pixelsPerLine, int lines);

Q_SIGNALS:
    void devicesListed(const QStringList &devices, const QString &error);
    void opened(const QString &device);
    void unreachable(const QString &device, const QString &reason);
    void pageAcquired(const QImage &page, double xDpi, double yDpi);
    void finished(const QString &error);

private:
    void start(std::function<void()> job);
    void runList();
    void runAcquire(QString device);

    QThread *m_thread = nullptr;
    bool m_running = false; // owner's thread only
    std::shared_ptr<std::atomic_bool> m_cancel;
};
