#pragma once

// How a test waits for something to happen: until it has happened, with a bound that only ends a hang.
// The bound is generous (a minute for what normally takes milliseconds) and multiplied by the environment
// variable QUORIN_TEST_WAIT_SCALE (the sanitizer stage of scripts/test sets 3), so a slow or busy machine
// is never a failure. Included into every test program (quorin_add_test).
//
//   QUORIN_TRY_VERIFY(expr), QUORIN_TRY_VERIFY2(expr, message), QUORIN_TRY_COMPARE(actual, expected)
//       QTRY_* with the bound above; Qt's own QTRY_* do not compile in tests.
//   TestWait::forSignal(spy, n)  until the spy holds n signals, those it caught before the call included.
//   TestWait::bound()          the bound in milliseconds, for QTest::qWaitFor, waitForFinished...
//   TestWait::bound(base)      a step that normally takes seconds: its own base, scaled the same way.
// QSignalSpy::wait does not compile in tests: it sees only a signal that comes while it waits, so one sent
// by the call before it (or by another thread just before the wait) leaves it waiting for one more.
// A wait that is meant to time out (nothing may happen within a quiet period) is QTest::qWait with a short
// literal, then a look at the spy's count.

#include <QDeadlineTimer>
#include <QtGlobal>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <limits>

namespace TestWait {

// QUORIN_TEST_WAIT_SCALE: a number of at least 1; 1 when unset or unreadable.
inline double scale()
{
    static const double value = [] {
        bool ok = false;
        const double v = qEnvironmentVariable("QUORIN_TEST_WAIT_SCALE").toDouble(&ok);
        return ok && v >= 1 ? v : 1.0;
    }();
    return value;
}

// Milliseconds a wait may last before it counts as a hang.
inline int bound(int baseMs = 60000)
{
    return int(qMin(baseMs * scale(), double(std::numeric_limits<int>::max())));
}

// The event loop of QUORIN_TRY_*: runs events in steps until the bound has passed.
class Until
{
public:
    Until() : m_deadline(bound(), Qt::PreciseTimer) {}
    bool step()
    {
        if (m_deadline.hasExpired() || (QTest::runningTest() && QTest::currentTestFailed()))
            return false;
        QTest::qWait(m_first ? 0 : int(qMin<qint64>(50, qMax<qint64>(1, m_deadline.remainingTime()))));
        m_first = false;
        return true;
    }

private:
    QDeadlineTimer m_deadline;
    bool m_first = true;
};

// Runs events until `spy` holds `count` signals in all; true at once when it already does, false after
// the bound. Short slices of QSignalSpy::wait: it wakes at a signal, and one of another thread that lands
// between the count and the start of a slice is seen at the end of that slice.
inline bool forSignal(QSignalSpy &spy, int count = 1)
{
    const QDeadlineTimer deadline(bound(), Qt::PreciseTimer);
    while (spy.count() < count) {
        if (deadline.hasExpired() || (QTest::runningTest() && QTest::currentTestFailed()))
            return false;
        spy.wait(int(qMin<qint64>(50, qMax<qint64>(1, deadline.remainingTime()))));
    }
    return true;
}

template <typename...> inline constexpr bool dependentFalse = false;

// What the tests know as QSignalSpy: Qt's, without wait().
class SignalSpy : public QSignalSpy
{
public:
    using QSignalSpy::QSignalSpy;
    template <typename... Args> bool wait(Args &&...)
    {
        static_assert(dependentFalse<Args...>,
                      "wait with TestWait::forSignal(spy, count) (tests/support/TestWait.h)");
        return false;
    }
};

} // namespace TestWait

#define QSignalSpy TestWait::SignalSpy

#define QUORIN_TRY_LOOP_IMPL(cond)                                                                         \
    for (TestWait::Until quorin_try_until; !(cond) && quorin_try_until.step();) {                         \
    }

#define QUORIN_TRY_VERIFY(expr)                                                                            \
    do {                                                                                                   \
        QUORIN_TRY_LOOP_IMPL(expr)                                                                         \
        QVERIFY(expr);                                                                                     \
    } while (false)

#define QUORIN_TRY_VERIFY2(expr, message)                                                                  \
    do {                                                                                                   \
        QUORIN_TRY_LOOP_IMPL(expr)                                                                         \
        QVERIFY2(expr, message);                                                                           \
    } while (false)

#define QUORIN_TRY_COMPARE(actual, expected)                                                               \
    do {                                                                                                   \
        QUORIN_TRY_LOOP_IMPL((actual) == (expected))                                                       \
        QCOMPARE(actual, expected);                                                                        \
    } while (false)

// Qt's own, with their 5 s default or a bound of the test's choosing, judge the machine's speed.
#define QUORIN_TRY_USE_OURS static_assert(false, "wait with QUORIN_TRY_* (tests/support/TestWait.h)")
#undef QTRY_VERIFY
#undef QTRY_VERIFY2
#undef QTRY_COMPARE
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY2_WITH_TIMEOUT
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE_EQ
#undef QTRY_COMPARE_NE
#undef QTRY_COMPARE_LT
#undef QTRY_COMPARE_LE
#undef QTRY_COMPARE_GT
#undef QTRY_COMPARE_GE
#undef QTRY_COMPARE_EQ_WITH_TIMEOUT
#undef QTRY_COMPARE_NE_WITH_TIMEOUT
#undef QTRY_COMPARE_LT_WITH_TIMEOUT
#undef QTRY_COMPARE_LE_WITH_TIMEOUT
#undef QTRY_COMPARE_GT_WITH_TIMEOUT
#undef QTRY_COMPARE_GE_WITH_TIMEOUT
#define QTRY_VERIFY(...) QUORIN_TRY_USE_OURS
#define QTRY_VERIFY2(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE(...) QUORIN_TRY_USE_OURS
#define QTRY_VERIFY_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_VERIFY2_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_EQ(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_NE(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_LT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_LE(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_GT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_GE(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_EQ_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_NE_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_LT_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_LE_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_GT_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
#define QTRY_COMPARE_GE_WITH_TIMEOUT(...) QUORIN_TRY_USE_OURS
