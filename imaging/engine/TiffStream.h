#pragma once

// Engine-internal: libtiff over bytes in memory, with errors caught per handle.

#include <QByteArray>
#include <QString>

#include <tiffio.h>

class TiffStream
{
public:
    // Reading: data must outlive the handle.
    static TiffStream *openRead(const QByteArray &data);
    // Writing into out (grown as needed).
    static TiffStream *openWrite(QByteArray *out);
    ~TiffStream();
    TiffStream(const TiffStream &) = delete;
    TiffStream &operator=(const TiffStream &) = delete;

    TIFF *tif() const { return m_tif; }
    // Closes the handle (flushing a file being written); false when libtiff reported an error.
    bool close();
    // First error libtiff reported since the last take; empty when none.
    QString takeError();
    bool hasError() const { return !m_error.isEmpty(); }
    // Whether a fax decoder ran out of data since the last take: libtiff only warns of that, fills the
    // row up with the colour it stopped in and calls the row good.
    bool takeDataEnded()
    {
        const bool ended = m_dataEnded;
        m_dataEnded = false;
        return ended;
    }
    // How often the handle's decoders met data they could not take: every error, and the warnings
    // of a read that goes on with made-up pixels (a fax row of the wrong length, a PackBits run
    // past its strip, libjpeg's corrupt or cut-short data). A read that raised it gave no whole rows.
    static int faults(TIFF *tif);

private:
    TiffStream() = default;
    static int onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap);
    static int onWarning(TIFF *, void *user, const char *module, const char *fmt, va_list ap);
    static tsize_t readProc(thandle_t h, tdata_t buf, tsize_t size);
    static tsize_t writeProc(thandle_t h, tdata_t buf, tsize_t size);
    static toff_t seekProc(thandle_t h, toff_t off, int whence);
    static int closeProc(thandle_t h);
    static toff_t sizeProc(thandle_t h);
    static int mapProc(thandle_t h, tdata_t *base, toff_t *size);
    static void unmapProc(thandle_t h, tdata_t base, toff_t size);
    bool open(const char *mode);

    TIFF *m_tif = nullptr;
    const QByteArray *m_in = nullptr;
    QByteArray *m_out = nullptr;
    quint64 m_pos = 0;
    QString m_error;
    bool m_dataEnded = false;
    int m_faults = 0;
};
