#include "SaneScanner.h"

#include <QMutex>
#include <QThread>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {
// SANE keeps global state: one job at a time in the whole process.
QMutex &saneLock()
{
    static QMutex m;
    return m;
}
QMutex &sourceLock()
{
    static QMutex m;
    return m;
}
QString &sourceName()
{
    static QString s;
    return s;
}

constexpr int kMaxFeederPages = 500;
constexpr qint64 kMaxPageBytes = qint64(512) * 1024 * 1024;

QString statusText(SANE_Status s)
{
    return QString::fromLocal8Bit(sane_strstatus(s));
}

// The session of one job: sane_init on entry, sane_exit on the way out.
struct SaneSession
{
    SANE_Status status;
    SaneSession()
    {
        SANE_Int version = 0;
        status = sane_init(&version, nullptr);
    }
    ~SaneSession()
    {
        if (status == SANE_STATUS_GOOD)
            sane_exit();
    }
};

// The value of a named option, as text ("" when the device has no such option).
QString optionText(SANE_Handle h, const char *name, double *number = nullptr)
{
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(h, i);
        if (!d)
            return QString();
        if (!d->name || std::strcmp(d->name, name) != 0 || !SANE_OPTION_IS_ACTIVE(d->cap))
            continue;
        QByteArray buffer(std::max<SANE_Int>(d->size, sizeof(SANE_Word)) + 1, '\0');
        if (sane_control_option(h, i, SANE_ACTION_GET_VALUE, buffer.data(), nullptr) != SANE_STATUS_GOOD)
            return QString();
        if (d->type == SANE_TYPE_STRING)
            return QString::fromLocal8Bit(buffer.constData());
        SANE_Word w = 0;
        std::memcpy(&w, buffer.constData(), sizeof w);
        const double v = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w);
        if (number)
            *number = v;
        return QString::number(v);
    }
}
} // namespace

SaneScanner::SaneScanner(QObject *parent) : QObject(parent)
{
    // A job ends for the owner when its last signal arrives, even though the worker may still be
    // leaving SANE: the next job waits for that, not the caller.
    connect(this, &SaneScanner::finished, this, [this] { m_running = false; });
    connect(this, &SaneScanner::devicesListed, this, [this] { m_running = false; });
}

SaneScanner::~SaneScanner()
{
    cancel();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool SaneScanner::busy() const
{
    return m_running;
}

QString SaneScanner::currentSource()
{
    QMutexLocker lock(&sourceLock());
    return sourceName();
}

void SaneScanner::setCurrentSource(const QString &device)
{
    QMutexLocker lock(&sourceLock());
    sourceName() = device;
}

void SaneScanner::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

void SaneScanner::start(std::function<void()> job)
{
    if (m_thread) {
        m_thread->wait(); // already finished: busy() was checked by the caller
        delete m_thread;
    }
    m_running = true;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_thread = QThread::create(std::move(job));
    m_thread->setObjectName(u"SaneScanner"_s);
    m_thread->start();
}

void SaneScanner::listDevices()
{
    if (busy())
        return;
    start([this] { runList(); });
}

void SaneScanner::acquire(const QString &device)
{
    if (busy())
        return;
    start([this, device] { runAcquire(device); });
}

void SaneScanner::runList()
{
    QMutexLocker lock(&saneLock());
    SaneSession session;
    if (session.status != SANE_STATUS_GOOD) {
        Q_EMIT devicesListed({}, statusText(session.status));
        return;
    }
    const SANE_Device **list = nullptr;
    const SANE_Status s = sane_get_devices(&list, SANE_FALSE);
    QStringList names;
    for (int i = 0; s == SANE_STATUS_GOOD && list && list[i]; ++i)
        names << QString::fromLocal8Bit(list[i]->name);
    Q_EMIT devicesListed(names, s == SANE_STATUS_GOOD ? QString() : statusText(s));
}

void SaneScanner::runAcquire(QString device)
{
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancel;
    QMutexLocker lock(&saneLock());
    SaneSession session;
    if (session.status != SANE_STATUS_GOOD) {
        Q_EMIT unreachable(device, statusText(session.status));
        Q_EMIT finished(QString());
        return;
    }
    if (device.isEmpty()) {
        const SANE_Device **list = nullptr;
        if (sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD && list && list[0])
            device = QString::fromLocal8Bit(list[0]->name);
    }
    SANE_Handle h = nullptr;
    const SANE_Status os =
        device.isEmpty() ? SANE_STATUS_INVAL : sane_open(device.toLocal8Bit().constData(), &h);
    if (os != SANE_STATUS_GOOD) {
        Q_EMIT unreachable(device, statusText(os));
        Q_EMIT finished(QString());
        return;
    }
    Q_EMIT opened(device);
    double dpi = 0;
    optionText(h, SANE_NAME_SCAN_RESOLUTION, &dpi);
    if (dpi <= 0)
        dpi = 96;
    const QString source = optionText(h, SANE_NAME_SCAN_SOURCE).toLower();
    const bool feeder = source.contains(u"feeder"_s) || source.contains(u"adf"_s);
    QString error;
    for (int page = 0; page < (feeder ? kMaxFeederPages : 1) && !*cancelled; ++page) {
        SANE_Status s = sane_start(h);
        if (s == SANE_STATUS_NO_DOCS && page > 0)
            break;
        if (s != SANE_STATUS_GOOD) {
            error = statusText(s);
            break;
        }
        SANE_Parameters p{};
        if (sane_get_parameters(h, &p) != SANE_STATUS_GOOD || p.bytes_per_line <= 0) {
            error = u"The scanner gave no page size"_s;
            break;
        }
        QByteArray data;
        if (p.lines > 0)
            data.reserve(qint64(p.lines) * p.bytes_per_line);
        QByteArray chunk(64 * 1024, '\0');
        for (;;) {
            if (*cancelled) {
                s = SANE_STATUS_CANCELLED;
                break;
            }
            SANE_Int got = 0;
            s = sane_read(h, reinterpret_cast<SANE_Byte *>(chunk.data()), SANE_Int(chunk.size()), &got);
            if (s != SANE_STATUS_GOOD)
                break;
            data.append(chunk.constData(), got);
            if (data.size() > kMaxPageBytes) {
                s = SANE_STATUS_NO_MEM;
                break;
            }
        }
        if (s != SANE_STATUS_EOF) {
            if (s != SANE_STATUS_CANCELLED)
                error = statusText(s);
            break;
        }
        const int lines = p.lines > 0 ? p.lines : int(data.size() / p.bytes_per_line);
        const QImage img = frameToImage(data, p.format, p.depth, p.bytes_per_line, p.pixels_per_line, lines);
        if (img.isNull()) {
            error = u"The scanner sent a page layout that cannot be read"_s;
            break;
        }
        Q_EMIT pageAcquired(img, dpi, dpi);
    }
    sane_cancel(h);
    sane_close(h);
    Q_EMIT finished(error);
}

QImage SaneScanner::frameToImage(const QByteArray &data, int format, int depth, int bytesPerLine,
                                 int pixelsPerLine, int lines)
{
    if (pixelsPerLine <= 0 || lines <= 0 || bytesPerLine <= 0 || qint64(bytesPerLine) * lines > data.size())
        return {};
    const auto *src = reinterpret_cast<const uchar *>(data.constData());
    if (format == SANE_FRAME_GRAY && depth == 1) {
        if (bytesPerLine * 8 < pixelsPerLine)
            return {};
        QImage img(pixelsPerLine, lines, QImage::Format_Mono);
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // SANE: a set bit is black
        for (int y = 0; y < lines; ++y)
            std::memcpy(img.scanLine(y), src + qint64(y) * bytesPerLine, size_t((pixelsPerLine + 7) / 8));
        return img;
    }
    const int channels = format == SANE_FRAME_RGB ? 3 : format == SANE_FRAME_GRAY ? 1 : 0;
    const int bytes = depth == 8 ? 1 : depth == 16 ? 2 : 0;
    if (!channels || !bytes || bytesPerLine < pixelsPerLine * channels * bytes)
        return {};
    QImage img(pixelsPerLine, lines, channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    for (int y = 0; y < lines; ++y) {
        const uchar *in = src + qint64(y) * bytesPerLine;
        uchar *out = img.scanLine(y);
        if (bytes == 1) {
            std::memcpy(out, in, size_t(pixelsPerLine) * channels);
        } else {
            // 16-bit samples in the host's byte order: keep the high byte.
            const auto *in16 = reinterpret_cast<const quint16 *>(in);
            for (int i = 0; i < pixelsPerLine * channels; ++i)
                out[i] = uchar(in16[i] >> 8);
        }
    }
    return img;
}
