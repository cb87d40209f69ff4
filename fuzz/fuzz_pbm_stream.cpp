// Ghostscript's page stream as the print capture reads it from its pipe. Whatever the bytes and however
// the pipe cuts them, every page given is whole and of a size a page can be, and the pages and the verdict
// are the same as with the stream in one piece.
#include "FaxPageWriter.h"
#include "FuzzSupport.h"

namespace {

struct Outcome
{
    int pages = 0;
    qint64 bytes = 0;
    bool failed = false;
    bool pending = false;
};

Outcome read(QByteArrayView stream, qsizetype piece)
{
    PbmStream pbm;
    Outcome out;
    PbmStream::Page page;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        pbm.append(stream.sliced(at, qMin(piece, stream.size() - at)));
        while (pbm.next(page)) {
            Fuzz::check(page.width >= 1 && page.width <= PbmStream::MaxSide && page.height >= 1 &&
                            page.height <= PbmStream::MaxSide,
                        "a page of impossible size");
            Fuzz::check(page.bits.size() == qsizetype((page.width + 7) / 8) * page.height,
                        "a page whose rows are not whole");
            ++out.pages;
            out.bytes += page.bits.size();
        }
    }
    out.failed = !pbm.error().isEmpty();
    out.pending = pbm.pending();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const qsizetype piece = 1 + in.byte() % 64;
    const QByteArrayView stream = in.rest();
    const Outcome whole = read(stream, qMax<qsizetype>(1, stream.size()));
    const Outcome cut = read(stream, piece);
    Fuzz::check(whole.pages == cut.pages && whole.bytes == cut.bytes && whole.failed == cut.failed &&
                    whole.pending == cut.pending,
                "the pipe's cuts changed what was read");
    return 0;
}
