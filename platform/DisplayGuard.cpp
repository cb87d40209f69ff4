#include "DisplayGuard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace DisplayGuard {

namespace {

struct Held
{
    QtMsgType type;
    QByteArray category, file, function;
    int line;
    QString message;
};

struct State
{
    QtMessageHandler previous = nullptr;
    QByteArray program, sentence;
    int exitCode = 1;
    bool armed = false;
    QList<Held> held;
};

State &state()
{
    static State s;
    return s;
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    State &s = state();
    if (type == QtFatalMsg) {
        // Only a failing platform gets here while armed: nothing else runs yet.
        std::fprintf(stderr, "%s: %s\n", s.program.constData(), s.sentence.constData());
        std::fflush(stderr);
        std::_Exit(s.exitCode);
    }
    s.held.append({type, QByteArray(context.category), QByteArray(context.file), QByteArray(context.function),
                   context.line, message});
}

} // namespace

void arm(const char *program, const char *sentence, int exitCode)
{
    State &s = state();
    s.program = program;
    s.sentence = sentence;
    s.exitCode = exitCode;
    s.armed = true;
    s.previous = qInstallMessageHandler(handler);
}

void disarm()
{
    State &s = state();
    if (!s.armed)
        return;
    s.armed = false;
    qInstallMessageHandler(s.previous);
    const QList<Held> held = std::exchange(s.held, {});
    for (const Held &h : held) {
        const QMessageLogContext context(h.file.isEmpty() ? nullptr : h.file.constData(), h.line,
                                         h.function.isEmpty() ? nullptr : h.function.constData(),
                                         h.category.isEmpty() ? nullptr : h.category.constData());
        qt_message_output(h.type, context, h.message);
    }
}

} // namespace DisplayGuard
