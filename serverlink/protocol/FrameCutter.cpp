#include "FrameCutter.h"

#include <algorithm>
#include <cstring>

namespace {

// First "<" x ">" at or after `from` whose middle byte is one of `marks`: memchr runs at memory speed,
// where a general substring search would crawl through every byte of a large file piece.
qsizetype findMark(QByteArrayView text, qsizetype from, QByteArrayView marks, char *found = nullptr)
{
    const char *data = text.data();
    const qsizetype size = text.size();
    while (from + 2 < size) {
        const void *hit = std::memchr(data + from, '<', size_t(size - from - 2));
        if (!hit)
            return -1;
        const qsizetype at = static_cast<const char *>(hit) - data;
        if (data[at + 2] == '>' && marks.contains(data[at + 1])) {
            if (found)
                *found = data[at + 1];
            return at;
        }
        from = at + 1;
    }
    return -1;
}

// The front of the buffer is dropped once it is at least this big and no smaller than the live tail,
// so every byte is moved a bounded number of times.
constexpr qsizetype CompactThreshold = 64 * 1024;
} // namespace

void FrameCutter::append(QByteArrayView bytes)
{
    compact();
    m_buffer.append(bytes);
}

void FrameCutter::compact()
{
    if (m_pos == 0)
        return;
    if (m_pos == m_buffer.size()) {
        m_buffer.truncate(0);
        m_scanned = 0;
        m_pos = 0;
        return;
    }
    if (m_pos >= CompactThreshold && m_pos >= m_buffer.size() - m_pos) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
}

void FrameCutter::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
    m_skipping = false;
}

FrameCutter::Result FrameCutter::next(ServerMessage &msg)
{
    using Proto::AnswerSeparator;
    using Proto::QuerySeparator;
    using Proto::Terminator;

    for (;;) {
        // A terminator may straddle the end of what was scanned before: look back by its length - 1.
        const qsizetype from = m_pos + std::max<qsizetype>(0, m_scanned - (Terminator.size() - 1));
        const qsizetype end = findMark(m_buffer, from, Terminator.sliced(1, 1));
        if (end < 0) {
            m_scanned = m_buffer.size() - m_pos;
            if (m_skipping || m_scanned > m_maxFrame) {
                // Keep only what could begin the terminator; the rest of the oversized frame is lost.
                const qsizetype keep = std::min<qsizetype>(m_scanned, Terminator.size() - 1);
                m_pos = m_buffer.size() - keep;
                m_scanned = keep;
                if (!m_skipping) {
                    m_skipping = true;
                    msg = {};
                    return Result::Overflow;
                }
            }
            msg = {};
            return Result::NeedMore;
        }

        const QByteArrayView frame = QByteArrayView(m_buffer).sliced(m_pos, end - m_pos);
        m_pos = end + Terminator.size();
        m_scanned = 0;
        if (m_skipping) {
            // Tail of a frame already reported as too large.
            m_skipping = false;
            continue;
        }

        // Whichever separator comes first decides; the scan stops there, not at the end of the data.
        char mark = 0;
        const qsizetype first = findMark(frame, 0, "\xA5\xB6", &mark);
        if (first < 0) {
            msg = {};
            return Result::Dropped;
        }
        const qsizetype q = mark == QuerySeparator[1] ? first : -1;
        const qsizetype a = q < 0 ? first : -1;
        if (q >= 0) {
            const qsizetype dataStart = q + QuerySeparator.size();
            qsizetype dataEnd = frame.indexOf(QuerySeparator, dataStart);
            if (dataEnd < 0)
                dataEnd = frame.size();
            msg.keyword = frame.first(q).toByteArray();
            msg.data = frame.sliced(dataStart, dataEnd - dataStart).toByteArray();
            msg.type = typeQry;
        } else {
            msg.keyword = frame.first(a).toByteArray();
            msg.data = frame.sliced(a + AnswerSeparator.size()).toByteArray();
            msg.type = typeAns;
        }
        return Result::Frame;
    }
}

bool FrameCutter::NextMessage(QByteArray &keyword, QByteArray &data, int &type)
{
    ServerMessage msg;
    const bool ok = next(msg) == Result::Frame;
    keyword = msg.keyword;
    data = msg.data;
    type = msg.type;
    return ok;
}
