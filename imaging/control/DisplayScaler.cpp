#include "DisplayScaler.h"

#include <bit>
#include <vector>

namespace {

// Area average of a 1-bit image into Grayscale8. Each destination pixel counts the set bits of the
// source box it covers; whole bytes that fall in one column are counted with popcount.
QImage averageMono(const QImage &src, QSize target)
{
    const int sw = src.width(), sh = src.height();
    const int tw = target.width(), th = target.height();
    QImage dst(target, QImage::Format_Grayscale8);
    const bool lsb = src.format() == QImage::Format_MonoLSB;
    const QList<QRgb> table = src.colorTable();
    const int g0 = table.size() > 0 ? qGray(table.at(0)) : 255;
    const int g1 = table.size() > 1 ? qGray(table.at(1)) : 0;

    // Destination column of each source column, and of each whole byte (-1 when a byte straddles two).
    std::vector<int> colOf(sw);
    for (int x = 0; x < sw; ++x)
        colOf[x] = int(qint64(x) * tw / sw);
    const int bytes = (sw + 7) / 8;
    std::vector<int> byteCol(bytes, -1);
    for (int b = 0; b < bytes; ++b) {
        const int x0 = b * 8, x1 = std::min(sw, x0 + 8) - 1;
        if (x1 - x0 == 7 && colOf[x0] == colOf[x1])
            byteCol[b] = colOf[x0];
    }
    std::vector<int> colWidth(tw, 0);
    for (int x = 0; x < sw; ++x)
        ++colWidth[colOf[x]];

    std::vector<quint32> ones(tw);
    int sy = 0;
    for (int ty = 0; ty < th; ++ty) {
        const int syEnd = std::max(sy + 1, int(qint64(ty + 1) * sh / th));
        std::fill(ones.begin(), ones.end(), 0u);
        for (int y = sy; y < syEnd && y < sh; ++y) {
            const uchar *line = src.constScanLine(y);
            for (int b = 0; b < bytes; ++b) {
                uchar v = line[b];
                if (!v)
                    continue;
                if (lsb)
                    v = uchar((v * 0x0202020202ULL & 0x010884422010ULL) % 1023); // bit reverse
                if (byteCol[b] >= 0) {
                    ones[byteCol[b]] += std::popcount(unsigned(v));
                    continue;
                }
                const int x0 = b * 8;
                for (int i = 0; i < 8 && x0 + i < sw; ++i) {
                    if (v & (0x80 >> i))
                        ++ones[colOf[x0 + i]];
                }
            }
        }
        const int rows = std::max(1, std::min(syEnd, sh) - sy);
        uchar *out = dst.scanLine(ty);
        for (int tx = 0; tx < tw; ++tx) {
            const quint32 n = quint32(std::max(1, colWidth[tx])) * quint32(rows);
            const quint32 k = std::min(ones[tx], n);
            out[tx] = uchar((k * quint32(g1) + (n - k) * quint32(g0)) / n);
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
