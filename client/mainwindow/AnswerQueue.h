#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Requests of the main window whose answers are still to come, per kind, oldest first. The server
// answers on one link in the order it was asked, so an answer belongs to the oldest request still open
// of its kind, and only the answer to the newest one (nothing asked after it) is applied to what is
// on show. A link that ends takes its open requests with it (clear()).
class AnswerQueue
{
public:
    enum Kind { Image, List, Properties, Report, Forward, Tree };

    struct Answer
    {
        QString tag;  // what the request was for (a fax key, a list and folder)
        bool latest;  // no request of its kind was made after it
    };

    void asked(Kind kind, const QString &tag) { m_open[kind].append(tag); }
    // The oldest open request; none when nothing is open.
    std::optional<Answer> takeFirst(Kind kind);
    // The oldest open request that `belongs` says the answer is for; those before it were answered
    // already (their answers dropped on the way). None, and nothing taken, when none is.
    std::optional<Answer> takeFor(Kind kind, const std::function<bool(const QString &)> &belongs);
    bool isOpen(Kind kind) const { return !m_open.value(kind).isEmpty(); }
    qsizetype openCount(Kind kind) const { return m_open.value(kind).size(); }
    bool contains(Kind kind, const QString &tag) const { return m_open.value(kind).contains(tag); }
    void clear() { m_open.clear(); }

private:
    QHash<int, QStringList> m_open;
};
