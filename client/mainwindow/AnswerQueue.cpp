#include "AnswerQueue.h"

std::optional<AnswerQueue::Answer> AnswerQueue::takeFirst(Kind kind)
{
    QStringList &open = m_open[kind];
    if (open.isEmpty())
        return std::nullopt;
    const QString tag = open.takeFirst();
    return Answer{tag, open.isEmpty()};
}

std::optional<AnswerQueue::Answer> AnswerQueue::takeFor(Kind kind,
                                                        const std::function<bool(const QString &)> &belongs)
{
    QStringList &open = m_open[kind];
    for (qsizetype i = 0; i < open.size(); ++i) {
        if (!belongs(open.at(i)))
            continue;
        const QString tag = open.at(i);
        open.remove(0, i + 1);
        return Answer{tag, open.isEmpty()};
    }
    return std::nullopt;
}
