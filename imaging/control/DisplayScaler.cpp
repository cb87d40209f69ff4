#include "DisplayScaler.h"

#include <bit>
#include <vector>

namespace {

// Area average of a 1-bit image into grey, stored as RGB32: the form a pixmap takes as it is. Each destination pixel counts the ink bits of the source
// box it covers: each source byte is split once into the runs of bits that fall in one destination column,
// and each run is counted with popcount. Paper bytes are skipped, whichever index the paper has.
QImage averageMono(const QImage &src, QSize target)
{
    const int sw = src.width(), sh = src.height();
    const int tw = target.width(), th = target.height();
    QImage dst(target, QImage::Format_RGB32);
    const bool lsb = src.format() == QImage::Format_MonoLSB;
    const QList<QRgb> table = src.colorTable();
    const int g0 = table.size() > 0 ? qGray(table.at(0)) : 255;
    const int g1 = table.size() > 1 ? qGray(table.at(1)) : 0;
    // Ink is the darker index; a page whose paper is index 1 is counted on inverted bytes.
    const bool inkIsZero = g0 < g1;
    const int ink = inkIsZero ? g0 : g1, paper = inkIsZero ? g1 : g0;

    struct Run
    {
        int column;
        unsigned mask; // bits of the byte (most significant first) in that column
    };
    const int bytes = (sw + 7) / 8;
    std::vector<Run> runs;
    runs.reserve(size_t(bytes) * 2);
    std::vector<int> firstRun(size_t(bytes) + 1);
    std::vector<int> colWidth(tw, 0);
    for (int b = 0; b < bytes; ++b) {
        firstRun[b] = int(runs.size());
        for (int i = 0; i < 8 && b * 8 + i < sw; ++i) {
            const int column = int(qint64(b * 8 + i) * tw / sw);
            ++colWidth[column];
            if (int(runs.size()) > firstRun[b] && runs.back().column == column)
                runs.back().mask |= 0x80u >> i;
            else
                runs.push_back({column, 0x80u >> i});
        }
    }
    firstRun[bytes] = int(runs.size());

    std::vector<quint32> ones(tw);
    int sy = 0;
    for (int ty = 0; ty < th; ++ty) {
        const int syEnd = std::max(sy + 1, int(qint64(ty + 1) * sh / th));
        std::fill(ones.begin(), ones.end(), 0u);
        for (int y = sy; y < syEnd && y < sh; ++y) {
            const uchar *line = src.constScanLine(y);
            for (int b = 0; b < bytes; ++b) {
                unsigned v = line[b];
                if (inkIsZero)
                    v = ~v & 0xFFu;
                if (!v)
                    continue;
                if (lsb)
                    v = unsigned((v * 0x0202020202ULL & 0x010884422010ULL) % 1023); // bit reverse
                for (int r = firstRun[b]; r < firstRun[b + 1]; ++r)
                    ones[runs[r].column] += std::popcount(v & runs[r].mask);
            }
        }
        const int rows = std::max(1, std::min(syEnd, sh) - sy);
        auto *out = reinterpret_cast<QRgb *>(dst.scanLine(ty));
        for (int tx = 0; tx < tw; ++tx) {
            const quint32 n = quint32(std::max(1, colWidth[tx])) * quint32(rows);
            const quint32 k = std::min(ones[tx], n);
            const int grey = int((k * quint32(ink) + (n - k) * quint32(paper)) / n);
            out[tx] = qRgb(grey, grey, grey);
        }
        sy = std::min(syEnd, sh);
    }
    return dst;
}

} // namespace

QImage DisplayScaler::scaled(const QImage &src, QSize target, bool smooth)
{
    if (src.isNull() || target.isEmpty())
        return {};
    const bool mono = src.format() == QImage::Format_Mono || src.format() == QImage::Format_MonoLSB;
    if (mono && smooth && target.width() <= src.width() && target.height() <= src.height())
        return averageMono(src, target);
    if (mono && !smooth)
        return src.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (mono) {
        // Enlarging: sample first, then soften a little.
        return src.convertToFormat(QImage::Format_Grayscale8)
            .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return src.scaled(target, Qt::IgnoreAspectRatio,
                      smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
}
