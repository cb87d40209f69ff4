#include "FrameCutter.h"

#include <algorithm>

namespace {
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
        const qsizetype end = m_buffer.indexOf(Terminator, from);
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

        const qsizetype q = frame.indexOf(QuerySeparator);
        const qsizetype a = frame.indexOf(AnswerSeparator);
        if (q < 0 && a < 0) {
            msg = {};
            return Result::Dropped;
        }
        if (q >= 0 && (a < 0 || q < a)) {
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
