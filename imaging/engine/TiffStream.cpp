#include "TiffStream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {
// Largest single allocation libtiff may make for one file (guards against hostile headers).
constexpr tmsize_t MaxSingleAlloc = tmsize_t(512) * 1024 * 1024;
} // namespace

TiffStream *TiffStream::openRead(const QByteArray &data)
{
    auto *s = new TiffStream;
    s->m_in = &data;
    if (!s->open("rm")) {
        // Keep the handle-less stream so the caller can read the error.
        return s;
    }
    return s;
}

TiffStream *TiffStream::openWrite(QByteArray *out)
{
    auto *s = new TiffStream;
    s->m_out = out;
    out->clear();
    s->open("w");
    return s;
}

bool TiffStream::open(const char *mode)
{
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &TiffStream::onError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &TiffStream::onWarning, this);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MaxSingleAlloc);
    // libtiff's own "m" flag means "do not map": reading maps our buffer, so drop it here. Only the
    // header is read on opening ("h"): every directory, the first too, is chosen by offset later, so
    // a damaged first directory costs that page, not the file.
    const char *m = std::strcmp(mode, "rm") == 0 ? "rh" : mode;
    m_tif = TIFFClientOpenExt("memory", m, this, &readProc, &writeProc, &seekProc, &closeProc, &sizeProc,
                              &mapProc, &unmapProc, opts);
    TIFFOpenOptionsFree(opts);
    if (!m_tif && m_error.isEmpty())
        m_error = QStringLiteral("not a TIFF file");
    return m_tif != nullptr;
}

TiffStream::~TiffStream()
{
    if (m_tif)
        TIFFClose(m_tif);
}

bool TiffStream::close()
{
    if (m_tif) {
        TIFFClose(m_tif);
        m_tif = nullptr;
    }
    return m_error.isEmpty();
}

QString TiffStream::takeError()
{
    QString e = m_error;
    m_error.clear();
    return e;
}

int TiffStream::faults(TIFF *tif)
{
    const auto *s = tif ? static_cast<const TiffStream *>(TIFFClientdata(tif)) : nullptr;
    return s ? s->m_faults : 0;
}

int TiffStream::onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    auto *s = static_cast<TiffStream *>(user);
    if (s)
        ++s->m_faults;
    if (s && s->m_error.isEmpty()) {
        char buf[512];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        s->m_error = module
                         ? QString::fromLocal8Bit(module) + QStringLiteral(": ") + QString::fromLocal8Bit(buf)
                         : QString::fromLocal8Bit(buf);
    }
    return 1; // handled: nothing goes to stderr
}

int TiffStream::onWarning(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    // Unknown tags and the like are no reason to refuse a page; damaged pixel data is.
    auto *s = static_cast<TiffStream *>(user);
    if (!s || !fmt)
        return 1;
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (std::strncmp(buf, "Premature EOF", 13) == 0)
        s->m_dataEnded = true;
    if (s->m_dataEnded || std::strstr(buf, "Premature EOL") || std::strstr(buf, "Line length mismatch") ||
        std::strncmp(buf, "Discarding", 10) == 0 || (module && std::strcmp(module, "JPEGLib") == 0))
        ++s->m_faults;
    return 1;
}

tsize_t TiffStream::readProc(thandle_t h, tdata_t buf, tsize_t size)
{
    auto *s = static_cast<TiffStream *>(h);
    const QByteArray *src = s->m_in ? s->m_in : s->m_out;
    if (size <= 0 || s->m_pos >= quint64(src->size()))
        return 0;
    const quint64 n = std::min<quint64>(quint64(size), quint64(src->size()) - s->m_pos);
    std::memcpy(buf, src->constData() + s->m_pos, n);
    s->m_pos += n;
    return tsize_t(n);
}

tsize_t TiffStream::writeProc(thandle_t h, tdata_t buf, tsize_t size)
{
    auto *s = static_cast<TiffStream *>(h);
    if (!s->m_out || size < 0)
        return -1;
    const quint64 end = s->m_pos + quint64(size);
    if (end > quint64(std::numeric_limits<qsizetype>::max() / 2))
        return -1;
    if (end > quint64(s->m_out->size())) {
        const qsizetype old = s->m_out->size();
        s->m_out->resize(qsizetype(end));
        if (s->m_pos > quint64(old))
            std::memset(s->m_out->data() + old, 0, size_t(s->m_pos - quint64(old)));
    }
    std::memcpy(s->m_out->data() + s->m_pos, buf, size_t(size));
    s->m_pos = end;
    return size;
}

toff_t TiffStream::seekProc(thandle_t h, toff_t off, int whence)
{
    auto *s = static_cast<TiffStream *>(h);
    const quint64 size = quint64((s->m_in ? s->m_in : s->m_out)->size());
    quint64 base = 0;
    if (whence == SEEK_CUR)
        base = s->m_pos;
    else if (whence == SEEK_END)
        base = size;
    const quint64 target = base + off;
    if (target > (quint64(1) << 40))
        return toff_t(-1);
    s->m_pos = target;
    return s->m_pos;
}

int TiffStream::closeProc(thandle_t)
{
    return 0;
}

toff_t TiffStream::sizeProc(thandle_t h)
{
    auto *s = static_cast<TiffStream *>(h);
    return toff_t((s->m_in ? s->m_in : s->m_out)->size());
}

int TiffStream::mapProc(thandle_t h, tdata_t *base, toff_t *size)
{
    auto *s = static_cast<TiffStream *>(h);
    if (!s->m_in)
        return 0;
    *base = const_cast<char *>(s->m_in->constData());
    *size = toff_t(s->m_in->size());
    return 1;
}

void TiffStream::unmapProc(thandle_t, tdata_t, toff_t) {}
