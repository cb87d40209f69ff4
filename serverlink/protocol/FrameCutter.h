#pragma once

#include "Protocol.h"

#include <QByteArray>
#include <QByteArrayView>

// One frame cut from the receive buffer.
struct ServerMessage
{
    QByteArray keyword;
    QByteArray data;
    typeofMsg type = typeNoMsg;
};

// Receive buffer of the link: bytes in, complete frames out, the partial tail kept.
// Linear in the bytes received: cut frames are skipped by an offset and the buffer is compacted
// only when the dead front outgrows the live tail.
class FrameCutter
{
public:
    enum class Result {
        NeedMore, // no terminator yet: nothing changed
        Frame,    // msg holds the frame
        Dropped,  // a terminated piece without separator was removed and lost
        Overflow, // the pending frame outgrew maxFrameSize(): it is being skipped up to its terminator
    };

    static constexpr qsizetype DefaultMaxFrameSize = 64 * 1024 * 1024;

    void append(QByteArrayView bytes);

    // Cuts the first complete frame. The separator is whichever of "<¥>" and "<¶>" comes first:
    // a query's data ends at a second "<¥>", an answer's data runs to the terminator.
    Result next(ServerMessage &msg);

    // The routine's own shape: true with a frame; false when there is none yet (buffer unchanged)
    // or when the piece cut had no separator (removed, lost). Use next() to tell the two apart.
    bool NextMessage(QByteArray &keyword, QByteArray &data, int &type);

    // Bytes received and not yet cut.
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_pos); }
    qsizetype pendingSize() const { return m_buffer.size() - m_pos; }
    void clear();

    qsizetype maxFrameSize() const { return m_maxFrame; }
    void setMaxFrameSize(qsizetype bytes) { m_maxFrame = bytes; }

private:
    void compact();

    QByteArray m_buffer;
    qsizetype m_pos = 0;     // start of the first uncut byte
    qsizetype m_scanned = 0; // bytes after m_pos already known to hold no terminator
    bool m_skipping = false; // discarding an oversized frame up to its terminator
    qsizetype m_maxFrame = DefaultMaxFrameSize;
};
