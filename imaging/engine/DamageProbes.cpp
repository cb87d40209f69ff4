#include "DamageProbes.h"

#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace DamageProbes {

bool GifFrame::rowWhole(int row) const
{
    if (!found || row < 0 || row >= height)
        return false;
    qint64 place = row; // where the row comes in the stored order
    if (interlaced) {
        // Passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
        const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
        place = 0;
        for (int pass = 0; pass < 4; ++pass) {
            if (row >= starts[pass] && (row - starts[pass]) % steps[pass] == 0) {
                place += (row - starts[pass]) / steps[pass];
                break;
            }
            place += (height - starts[pass] + steps[pass] - 1) / steps[pass];
        }
    }
    return (place + 1) * width <= pixels;
}

GifFrame gifFirstFrame(const QByteArray &data)
{
    GifFrame frame;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 13 || !(data.startsWith("GIF87a") || data.startsWith("GIF89a")))
        return frame;
    qint64 at = 13;
    if (p[10] & 0x80)
        at += 3 * (qint64(2) << (p[10] & 7));
    // Extensions up to the first frame.
    while (at < size && p[at] == 0x21) {
        at += 2;
        while (at < size && p[at] != 0)
            at += p[at] + 1;
        ++at;
    }
    if (at + 11 > size || p[at] != 0x2c)
        return frame;
    frame.left = qFromLittleEndian<quint16>(p + at + 1);
    frame.top = qFromLittleEndian<quint16>(p + at + 3);
    frame.width = qFromLittleEndian<quint16>(p + at + 5);
    frame.height = qFromLittleEndian<quint16>(p + at + 7);
    const uchar flags = p[at + 9];
    frame.interlaced = flags & 0x40;
    at += 10;
    if (flags & 0x80)
        at += 3 * (qint64(2) << (flags & 7));
    if (at >= size)
        return frame;
    const int minSize = p[at++];
    frame.found = true;
    if (minSize < 1 || minSize > 11)
        return frame;

    // The LZW codes, low bit first, across the sub-blocks; only the length of each string is kept.
    const int clear = 1 << minSize, end = clear + 1;
    std::vector<quint16> length(4096, 1);
    int codeSize = minSize + 1, next = clear + 2, prev = -1;
    quint32 bits = 0;
    int held = 0;
    qint64 blockLeft = 0;
    const qint64 total = qint64(frame.width) * frame.height;
    while (frame.pixels < total) {
        while (held < codeSize) {
            if (blockLeft == 0) {
                if (at >= size || p[at] == 0)
                    return frame; // the data ends before the frame does
                blockLeft = p[at++];
            }
            if (at >= size)
                return frame;
            bits |= quint32(p[at++]) << held;
            held += 8;
            --blockLeft;
        }
        const int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        held -= codeSize;
        if (code == clear) {
            codeSize = minSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == end)
            return frame;
        if (prev < 0) {
            if (code > clear)
                return frame; // a string before any string was made
            frame.pixels += 1;
            prev = code;
            continue;
        }
        if (code > next || (code == next && next >= 4096))
            return frame; // a code no table holds
        const int made = code == next ? length[size_t(prev)] + 1 : length[size_t(code)];
        if (next < 4096) {
            length[size_t(next)] = quint16(std::min(length[size_t(prev)] + 1, 65535));
            ++next;
            if (next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        frame.pixels += made;
        prev = code;
    }
    return frame;
}

bool pcxRunsWhole(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 128 || p[0] != 0x0a || p[2] != 1)
        return true; // not run-length coded: nothing to tell
    const qint64 rows = qint64(qFromLittleEndian<quint16>(p + 10)) - qFromLittleEndian<quint16>(p + 6) + 1;
    const qint64 expected = qint64(p[65]) * qFromLittleEndian<quint16>(p + 66) * rows;
    qint64 at = 128, got = 0;
    while (got < expected && at < size) {
        if (p[at] >= 0xc0) {
            got += p[at] & 0x3f;
            at += 2;
        } else {
            ++got;
            ++at;
        }
    }
    const qint64 left = size - at;
    return got == expected && (left == 0 || (left == 769 && p[at] == 0x0c));
}

bool tgaRunsWhole(const QByteArray &data)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    const qint64 size = data.size();
    if (size < 18 || p[2] < 9 || p[2] > 11)
        return true;
    qint64 end = size;
    if (size >= 18 + 26 && data.endsWith(QByteArrayView("TRUEVISION-XFILE.\0", 18))) {
        end = size - 26;
        for (const qint64 area : {qint64(qFromLittleEndian<quint32>(p + size - 26)),
                                  qint64(qFromLittleEndian<quint32>(p + size - 22))})
            if (area > 0 && area < end)
                end = area;
    }
    const qint64 pixels = qint64(qFromLittleEndian<quint16>(p + 12)) * qFromLittleEndian<quint16>(p + 14);
    const qint64 bytes = (p[16] + 7) / 8;
    qint64 at = 18 + p[0] + (p[1] ? qFromLittleEndian<quint16>(p + 5) * qint64((p[7] + 7) / 8) : 0);
    qint64 got = 0;
    while (got < pixels && at < end) {
        const int n = (p[at] & 0x7f) + 1;
        at += 1 + (p[at] & 0x80 ? bytes : n * bytes);
        got += n;
    }
    return got == pixels && at == end;
}

namespace {

struct JpegProbe
{
    jpeg_error_mgr manager;
    jmp_buf jump;
    j_decompress_ptr info = nullptr;
    bool warned = false;
    JDIMENSION firstBad = 0;
};

void probeExit(j_common_ptr c)
{
    longjmp(static_cast<JpegProbe *>(c->client_data)->jump, 1);
}

void probeMessage(j_common_ptr c, int level)
{
    auto *probe = static_cast<JpegProbe *>(c->client_data);
    if (level < 0 && !probe->warned) {
        probe->warned = true;
        probe->firstBad = probe->info->output_scanline;
    }
}

void probeSilent(j_common_ptr) {}

} // namespace

JpegRows jpegRows(const QByteArray &data)
{
    jpeg_decompress_struct info{};
    JpegProbe probe;
    info.err = jpeg_std_error(&probe.manager);
    probe.manager.error_exit = probeExit;
    probe.manager.emit_message = probeMessage;
    probe.manager.output_message = probeSilent;
    info.client_data = &probe;
    probe.info = &info;
    std::vector<JSAMPLE> row;
    volatile int whole = -1;
    volatile bool damaged = false;
    if (setjmp(probe.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                     static_cast<unsigned long>(data.size()));
        jpeg_read_header(&info, TRUE);
        // An eighth of the size: every code is still decoded, little is made of it. Without fancy
        // upsampling no row is read ahead, so a warning comes while the rows before it are out.
        const JDIMENSION fullHeight = info.image_height;
        info.scale_num = 1;
        info.scale_denom = 8;
        info.do_fancy_upsampling = FALSE;
        info.dct_method = JDCT_IFAST;
        jpeg_start_decompress(&info);
        const bool rowsKnown = !jpeg_has_multiple_scans(&info) && !probe.warned;
        row.resize(size_t(info.output_width) * size_t(info.output_components));
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {row.data()};
            if (jpeg_read_scanlines(&info, rows, 1) != 1)
                break;
        }
        const bool inRows = probe.warned && info.output_scanline > probe.firstBad;
        jpeg_finish_decompress(&info); // codes left over before the end marker warn here
        whole = int(fullHeight);
        damaged = probe.warned;
        if (inRows && rowsKnown) {
            // Back to the start of the block row before, to be sure of the row the damage is in.
            const qint64 band = 8 * qint64(std::max(1, info.max_v_samp_factor));
            const qint64 bad =
                qint64(probe.firstBad) * fullHeight / std::max<JDIMENSION>(1, info.output_height);
            whole = int(std::max<qint64>(0, bad / band * band - band));
        }
    }
    jpeg_destroy_decompress(&info);
    return {whole, damaged};
}

} // namespace DamageProbes
