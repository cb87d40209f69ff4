#include "PsdCodec.h"

#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {


class Reader
{
public:
    explicit Reader(const QByteArray &d) : m_d(d) {}
    bool ok() const { return m_ok; }
    qint64 pos() const { return m_pos; }
    bool seek(qint64 p)
    {
        if (p < 0 || p > m_d.size())
            return m_ok = false;
        m_pos = p;
        return true;
    }
    bool skip(qint64 n) { return seek(m_pos + n); }
    quint32 u32() { return take<quint32>(); }
    quint16 u16() { return take<quint16>(); }
    const uchar *bytes(qint64 n)
    {
        if (n < 0 || m_pos + n > m_d.size()) {
            m_ok = false;
            return nullptr;
        }
        const uchar *p = reinterpret_cast<const uchar *>(m_d.constData()) + m_pos;
        m_pos += n;
        return p;
    }

private:
    template <typename T> T take()
    {
        const uchar *p = bytes(sizeof(T));
        return p ? qFromBigEndian<T>(p) : T(0);
    }
    const QByteArray &m_d;
    qint64 m_pos = 0;
    bool m_ok = true;
};

// PackBits rows: unpacks exactly `want` bytes from src (n bytes); false when the data is short.
bool unpackBits(const uchar *src, qint64 n, uchar *dst, qint64 want)
{
    qint64 i = 0, o = 0;
    while (o < want && i < n) {
        const int c = qint8(src[i++]);
        if (c >= 0) {
            const qint64 len = c + 1;
            if (i + len > n || o + len > want)
                return false;
            memcpy(dst + o, src + i, size_t(len));
            i += len;
            o += len;
        } else if (c != -128) {
            const qint64 len = 1 - c;
            if (i >= n || o + len > want)
                return false;
            memset(dst + o, src[i++], size_t(len));
            o += len;
        }
    }
    return o == want;
}

ImgXError damaged(const QString &why)
{
    return ImgXError::make(ImgXErrorCode::CorruptImage, u"Damaged Photoshop file: %1"_s.arg(why));
}

} // namespace

namespace PsdCodec {

bool hasSignature(const QByteArray &data)
{
    return data.startsWith("8BPS");
}

bool read(const QByteArray &data, ImgXImage *page, ImgXError *error)
{
    Reader r(data);
    r.skip(4);
    const quint16 version = r.u16();
    r.skip(6);
    const quint16 channels = r.u16();
    const quint32 height = r.u32();
    const quint32 width = r.u32();
    const quint16 depth = r.u16();
    const quint16 mode = r.u16();
    if (!r.ok() || version != 1 || channels == 0 || channels > 56 || width > 30000 || height > 30000) {
        *error = damaged(u"bad header"_s);
        return false;
    }
    if (width == 0 || height == 0) {
        *error = ImgXPageLimit::refused(width, height);
        return false;
    }
    const bool supported = (mode == 0 && depth == 1) ||
                           (depth == 8 && (mode == 1 || mode == 2 || mode == 3)) ||
                           (depth == 16 && (mode == 1 || mode == 3));
    if (!supported) {
        *error =
            ImgXError::make(ImgXErrorCode::FormatNotReadable,
                            u"Photoshop colour mode %1 at %2 bits is not supported"_s.arg(mode).arg(depth));
        return false;
    }
    const quint32 paletteLen = r.u32();
    const uchar *palette = r.bytes(paletteLen);
    // Photoshop's 72 dpi when the file has no (or an unknown) resolution: some writers store 1/65536.
    double xDpi = ImgXResolution::PsdDefault, yDpi = ImgXResolution::PsdDefault;
    const quint32 resLen = r.u32();
    const qint64 resEnd = r.pos() + resLen;
    while (r.ok() && r.pos() + 12 <= resEnd) {
        if (r.u32() != 0x3842494d) // "8BIM"
            break;
        const quint16 id = r.u16();
        const uchar *nameLen = r.bytes(1);
        if (!nameLen)
            break;
        r.skip((*nameLen + 2) / 2 * 2 - 1);
        const quint32 len = r.u32();
        const qint64 next = r.pos() + len + (len & 1);
        if (id == 0x03ED && len >= 16) {
            xDpi = ImgXResolution::orDefault(r.u32() / 65536.0, ImgXResolution::PsdDefault);
            r.skip(4);
            yDpi = ImgXResolution::orDefault(r.u32() / 65536.0, ImgXResolution::PsdDefault);
        }
        r.seek(next);
    }
    r.seek(resEnd);
    r.skip(r.u32()); // layers: only the merged image is read
    const quint16 compression = r.u16();
    if (!r.ok() || compression > 1) {
        *error = damaged(u"unsupported compression %1"_s.arg(compression));
        return false;
    }
    qint64 rowBytes = depth == 1 ? (width + 7) / 8 : qint64(width) * (depth / 8);
    const int used = mode == 3 ? std::min<int>(channels, 4) : 1;
    if (!ImgXPageLimit::fits(qint64(width), qint64(height))) {
        *error = damaged(u"picture of %1x%2 pixels is too large"_s.arg(width).arg(height));
        return false;
    }
    // Nothing is allocated for data the file cannot hold.
    const qint64 left = data.size() - r.pos();
    if ((compression == 0 && left < rowBytes * height * used) ||
        (compression == 1 && left < qint64(channels) * height * 2 + rowBytes * height * used / 64)) {
        *error = damaged(u"image data cut short"_s);
        return false;
    }
    std::vector<QByteArray> planes(size_t(used), QByteArray(rowBytes * height, '\0'));
    if (compression == 0) {
        for (int c = 0; c < used; ++c) {
            const uchar *p = r.bytes(rowBytes * height);
            if (!p) {
                *error = damaged(u"image data cut short"_s);
                return false;
            }
            memcpy(planes[size_t(c)].data(), p, size_t(rowBytes * height));
        }
    } else {
        std::vector<quint16> counts(size_t(channels) * height);
        for (auto &c : counts)
            c = r.u16();
        for (int c = 0; c < used && r.ok(); ++c) {
            for (quint32 y = 0; y < height; ++y) {
                const quint16 n = counts[size_t(c) * height + y];
                const uchar *p = r.bytes(n);
                if (!p ||
                    !unpackBits(p, n, reinterpret_cast<uchar *>(planes[size_t(c)].data()) + y * rowBytes,
                                rowBytes)) {
                    *error = damaged(u"image data cut short"_s);
                    return false;
                }
            }
        }
    }
    if (depth == 16) {
        // Big-endian 16-bit samples rounded to 8 bits.
        for (QByteArray &plane : planes) {
            QByteArray narrow(qsizetype(width) * height, Qt::Uninitialized);
            const auto *wide = reinterpret_cast<const uchar *>(plane.constData());
            for (qsizetype i = 0; i < narrow.size(); ++i)
                narrow[i] = char(((wide[2 * i] << 8 | wide[2 * i + 1]) + 128) / 257);
            plane = narrow;
        }
        rowBytes = width;
    }
    QImage img;
    if (mode == 0) {
        img = QImage(int(width), int(height), QImage::Format_Mono);
        img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // Photoshop bitmaps: 1 = black
        for (quint32 y = 0; y < height; ++y)
            memcpy(img.scanLine(int(y)), planes[0].constData() + y * rowBytes, size_t(rowBytes));
    } else if (mode == 1) {
        img = QImage(int(width), int(height), QImage::Format_Grayscale8);
        for (quint32 y = 0; y < height; ++y)
            memcpy(img.scanLine(int(y)), planes[0].constData() + y * rowBytes, size_t(rowBytes));
    } else if (mode == 2) {
        if (!palette || paletteLen < 768) {
            *error = damaged(u"no colour table"_s);
            return false;
        }
        img = QImage(int(width), int(height), QImage::Format_Indexed8);
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(palette[i], palette[256 + i], palette[512 + i]);
        img.setColorTable(table);
        for (quint32 y = 0; y < height; ++y)
            memcpy(img.scanLine(int(y)), planes[0].constData() + y * rowBytes, size_t(rowBytes));
    } else {
        const bool alpha = used == 4;
        img = QImage(int(width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        const int have = std::min<int>(used, 3);
        for (quint32 y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(int(y)));
            for (quint32 x = 0; x < width; ++x) {
                const qint64 i = y * rowBytes + x;
                const int rr = uchar(planes[0][i]);
                const int gg = have > 1 ? uchar(planes[1][i]) : rr;
                const int bb = have > 2 ? uchar(planes[2][i]) : rr;
                line[x] = qRgba(rr, gg, bb, alpha ? uchar(planes[3][i]) : 255);
            }
        }
    }
    if (img.isNull()) {
        *error = damaged(u"out of memory"_s);
        return false;
    }
    *page = ImgXImage(img, xDpi > 0 ? xDpi : 96, yDpi > 0 ? yDpi : 96);
    return true;
}

bool write(const ImgXImage &page, QByteArray *out)
{
    const bool alpha = page.hasAlpha();
    const QImage img = page.image().convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (img.isNull())
        return false;
    const quint16 channels = alpha ? 4 : 3;
    const int w = img.width(), h = img.height();
    auto be16 = [out](quint16 v) { out->append(char(v >> 8)).append(char(v & 0xff)); };
    auto be32 = [&](quint32 v) { be16(quint16(v >> 16)), be16(quint16(v & 0xffff)); };
    out->clear();
    out->reserve(qsizetype(w) * h * channels * (alpha ? 2 : 1) + 256);
    out->append("8BPS");
    be16(1);
    out->append(6, '\0');
    be16(channels);
    be32(quint32(h));
    be32(quint32(w));
    be16(8);
    be16(3);  // RGB
    be32(0);  // no colour table
    be32(28); // one resource: resolution
    out->append("8BIM");
    be16(0x03ED);
    be16(0); // empty name, padded
    be32(16);
    be32(quint32(std::lround(page.xDpi() * 65536)));
    be16(1);
    be16(1);
    be32(quint32(std::lround(page.yDpi() * 65536)));
    be16(1);
    be16(1);
    // Channel c of the page, raw: 0 red, 1 green, 2 blue, 3 alpha.
    const auto appendChannel = [&](int c) {
        for (int y = 0; y < h; ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                const QRgb p = line[x];
                out->append(char(c == 0 ? qRed(p) : c == 1 ? qGreen(p) : c == 2 ? qBlue(p) : qAlpha(p)));
            }
        }
    };
    if (!alpha) {
        be32(0); // no layers
    } else {
        // Readers take the merged image's fourth channel as transparency only when the layer count is
        // negative, which needs a layer: the page once more as one layer with a transparency channel.
        const quint32 plane = quint32(w) * quint32(h);
        const quint32 name = 4; // empty Pascal name padded to 4 bytes
        const quint32 record = 16 + 2 + 4 * 6 + 4 + 4 + 4 + 4 + (4 + 4 + name);
        const quint32 layerData = 4 * (2 + plane);
        quint32 info = 2 + record + layerData;
        const bool pad = info % 2;
        info += pad;
        be32(4 + info + 4); // layer and mask section: layer info, empty global mask
        be32(info);
        be16(quint16(-1)); // one layer; the merged alpha is transparency
        be32(0);           // top, left, bottom, right
        be32(0);
        be32(quint32(h));
        be32(quint32(w));
        be16(4);
        static constexpr qint16 ids[4] = {-1, 0, 1, 2}; // transparency, red, green, blue
        for (qint16 id : ids) {
            be16(quint16(id));
            be32(2 + plane);
        }
        out->append("8BIMnorm");
        out->append(char(255)); // opacity
        out->append(char(0));   // clipping: base
        out->append(char(0));   // flags
        out->append(char(0));   // filler
        be32(4 + 4 + name);
        be32(0); // no layer mask
        be32(0); // no blending ranges
        be32(0); // empty name, padded
        for (qint16 id : ids) {
            be16(0); // raw
            appendChannel(id < 0 ? 3 : id);
        }
        if (pad)
            out->append('\0');
        be32(0); // no global layer mask
    }
    be16(0); // raw
    for (int c = 0; c < channels; ++c)
        appendChannel(c);
    return true;
}

} // namespace PsdCodec
