// The frame cutter fed the server's raw bytes: cutting must not depend on how the bytes were split
// into reads, and a frame built from a keyword and data must cut back into the same keyword and data.
#include "FrameCutter.h"
#include "FuzzSupport.h"

#include <QList>

namespace {

struct Cut
{
    FrameCutter::Result result;
    ServerMessage msg;
};

QList<Cut> drain(FrameCutter &cutter)
{
    QList<Cut> cuts;
    for (;;) {
        Cut cut{FrameCutter::Result::NeedMore, {}};
        cut.result = cutter.next(cut.msg);
        if (cut.result == FrameCutter::Result::NeedMore)
            return cuts;
        cuts.append(cut);
    }
}

bool same(const QList<Cut> &a, const QList<Cut> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].result != b[i].result || a[i].msg.keyword != b[i].msg.keyword || a[i].msg.data != b[i].msg.data ||
            a[i].msg.type != b[i].msg.type)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const int chunk = 1 + in.byte() % 17;
    const QByteArrayView bytes = in.rest();

    FrameCutter whole;
    whole.append(bytes);
    const QList<Cut> wholeCuts = drain(whole);

    FrameCutter pieces;
    QList<Cut> pieceCuts;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        pieces.append(bytes.sliced(at, qMin<qsizetype>(chunk, bytes.size() - at)));
        pieceCuts += drain(pieces);
    }
    Fuzz::check(same(wholeCuts, pieceCuts), "frames depend on how the bytes were split");
    Fuzz::check(whole.pendingSize() == pieces.pendingSize(), "pending tails differ");

    // A small frame limit: oversized frames are skipped, never cut into pieces that pass as frames.
    FrameCutter small;
    small.setMaxFrameSize(16);
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        small.append(bytes.sliced(at, qMin<qsizetype>(chunk, bytes.size() - at)));
        drain(small);
    }

    // Round trip: the payload split at its first NUL into keyword and data.
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArrayView keyword = nul < 0 ? bytes : bytes.first(nul);
    const QByteArrayView payload = nul < 0 ? QByteArrayView() : bytes.sliced(nul + 1);
    for (typeofMsg type : {typeAns, typeQry}) {
        const std::optional<QByteArray> frame = Proto::buildFrame(type, keyword, payload);
        if (!frame)
            continue;
        if (type == typeQry && payload.contains(Proto::QuerySeparator))
            continue; // a query's data ends at its next separator by design
        FrameCutter cutter;
        cutter.append(*frame);
        ServerMessage msg;
        const FrameCutter::Result result = cutter.next(msg);
        Fuzz::check(result == FrameCutter::Result::Frame, "a built frame was not cut");
        Fuzz::check(msg.keyword == keyword && msg.data == payload && msg.type == type,
                    "a built frame came back changed",
                    QString::fromLatin1(msg.keyword.toHex() + " / " + msg.data.toHex()));
        Fuzz::check(cutter.pendingSize() == 0, "bytes left after a built frame");
    }
    return 0;
}
