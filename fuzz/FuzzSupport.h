#pragma once

// Shared pieces of the libFuzzer harnesses: the application object, a cursor over the input and a
// failure that libFuzzer records as a crash with the input that caused it.
#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QByteArrayView>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace Fuzz {

// Creates the application object once (offscreen, loopback-only discovery) so Qt classes that want one work.
// It is never destroyed: tearing a QApplication down among the exit handlers crashes inside Qt, and a
// pointer held by a static is not a leak.
template <typename App> App &application()
{
    static App *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
        qputenv("QT_LOGGING_RULES", "*.debug=false;qt.qpa.*=false");
        static int argc = 1;
        static char name[] = "fuzz";
        static char *argv[] = {name, nullptr};
        return new App(argc, argv);
    }();
    return *app;
}

// A round trip or invariant that did not hold: printed and aborted, so the input is kept as a crash.
[[noreturn]] inline void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

inline void check(bool ok, const char *what, const QString &detail = {})
{
    if (!ok)
        fail(what, detail);
}

// Runs the event loop until `done` holds; false when `ms` passed first.
inline bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the event loop until nothing happened in it for `quietMs` (at most `boundMs`): what a step left
// behind (a write's completion, a queued dispatch) runs within that step, not at the start of the next
// input, where it would count as that input's coverage.
inline void settle(int quietMs = 10, int boundMs = 2000)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    QElapsedTimer bound, quiet;
    bound.start();
    quiet.start();
    while (quiet.elapsed() < quietMs && bound.elapsed() < boundMs) {
        if (dispatcher && dispatcher->processEvents(QEventLoop::AllEvents))
            quiet.restart();
        else
            QThread::msleep(1);
    }
}

// Reads the fuzzer's bytes front to back: small choices first, the rest as payload.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(reinterpret_cast<const char *>(data)), m_size(size) {}

    uint8_t byte()
    {
        if (m_pos >= m_size)
            return 0;
        return uint8_t(m_data[m_pos++]);
    }
    QByteArrayView rest() const { return QByteArrayView(m_data + m_pos, qsizetype(m_size - m_pos)); }
    QByteArrayView all() const { return QByteArrayView(m_data, qsizetype(m_size)); }

private:
    const char *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace Fuzz
