#include "FaxPageWriter.h"

#include "WriteFailure.h"

#include <QFile>

#include <cctype>
#include <cerrno>

#include <tiffio.h>

using namespace Qt::StringLiterals;

void PbmStream::append(QByteArrayView bytes)
{
    if (m_start > 0 && m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

bool PbmStream::next(Page &page)
{
    if (!m_error.isEmpty())
        return false;
    const char *data = m_buffer.constData() + m_start;
    const qsizetype size = m_buffer.size() - m_start;
    if (size < 2)
        return false;
    if (data[0] != 'P' || data[1] != '4') {
        m_error = u"Il convertitore non ha prodotto pagine leggibili."_s;
        return false;
    }
    // "P4", width and height, each after blanks (and comments), then one blank before the rows.
    qsizetype pos = 2;
    qint64 numbers[2] = {0, 0};
    for (qint64 &number : numbers) {
        for (;;) {
            if (pos >= size)
                return false;
            if (data[pos] == '#') {
                while (pos < size && data[pos] != '\n')
                    ++pos;
            } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
        const qsizetype digits = pos;
        while (pos < size && std::isdigit(static_cast<unsigned char>(data[pos])) && number <= MaxSide)
            number = number * 10 + (data[pos++] - '0');
        if (pos >= size)
            return false;
        if (pos == digits || number < 1 || number > MaxSide ||
            !std::isspace(static_cast<unsigned char>(data[pos]))) {
            m_error = u"Il convertitore ha prodotto una pagina non valida."_s;
            return false;
        }
    }
    ++pos; // the one blank after the height
    const qsizetype bytes = (numbers[0] + 7) / 8 * numbers[1];
    if (size - pos < bytes)
        return false;
    page.width = int(numbers[0]);
    page.height = int(numbers[1]);
    page.bits = QByteArray(data + pos, bytes);
    m_start += pos + bytes;
    if (m_start > (1 << 20) && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return true;
}

// The TIFF side, in the writer's thread.
class FaxPageWriter::Encoder : public QObject
{
public:
    ~Encoder() override { close(); }

    bool open(const QString &path)
    {
        TIFFSetWarningHandler(nullptr);
        m_path = path;
        errno = 0;
        m_tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
        if (!m_tif)
            m_error = WriteFailure::reason(path, errno);
        return m_tif;
    }

    void page(const PbmStream::Page &page)
    {
        if (!m_tif || !m_error.isEmpty())
            return;
        TIFFSetField(m_tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(m_tif, TIFFTAG_IMAGEWIDTH, quint32(page.width));
        TIFFSetField(m_tif, TIFFTAG_IMAGELENGTH, quint32(page.height));
        TIFFSetField(m_tif, TIFFTAG_BITSPERSAMPLE, quint16(1));
        TIFFSetField(m_tif, TIFFTAG_SAMPLESPERPIXEL, quint16(1));
        TIFFSetField(m_tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(m_tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(m_tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(m_tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(m_tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(m_tif, TIFFTAG_ROWSPERSTRIP, quint32(page.height));
        TIFFSetField(m_tif, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(m_tif, TIFFTAG_YRESOLUTION, 196.0f);
        TIFFSetField(m_tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(m_tif, TIFFTAG_PAGENUMBER, quint16(m_pages), quint16(0));
        TIFFSetField(m_tif, TIFFTAG_GROUP4OPTIONS, quint32(0));
        QByteArray rows = page.bits; // libtiff encodes in place
        errno = 0;
        if (TIFFWriteEncodedStrip(m_tif, 0, rows.data(), tmsize_t(rows.size())) < 0 ||
            !TIFFWriteDirectory(m_tif)) {
            m_error = WriteFailure::reason(m_path, errno, rows.size());
            return;
        }
        ++m_pages;
    }

    bool close()
    {
        if (!m_tif)
            return false;
        errno = 0;
        if (m_error.isEmpty() && !TIFFFlush(m_tif))
            m_error = WriteFailure::reason(m_path, errno);
        TIFFClose(m_tif);
        m_tif = nullptr;
        return m_error.isEmpty();
    }

    QString error() const { return m_error; }

private:
    TIFF *m_tif = nullptr;
    QString m_path;
    int m_pages = 0;
    QString m_error;
};

FaxPageWriter::FaxPageWriter(const QString &path, QObject *parent) : QObject(parent), m_path(path)
{
    m_encoder = new Encoder;
    m_encoder->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_encoder, &QObject::deleteLater);
    m_thread.setObjectName(u"FaxPageWriter"_s);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_encoder, [encoder = m_encoder, path] { encoder->open(path); }, Qt::QueuedConnection);
}

FaxPageWriter::~FaxPageWriter()
{
    m_thread.quit();
    m_thread.wait();
    if (!m_finished)
        QFile::remove(m_path);
}

void FaxPageWriter::addPage(const PbmStream::Page &page)
{
    QMetaObject::invokeMethod(
        m_encoder, [encoder = m_encoder, page] { encoder->page(page); }, Qt::QueuedConnection);
}

void FaxPageWriter::finish()
{
    QMetaObject::invokeMethod(
        m_encoder,
        [this, encoder = m_encoder] {
            const bool ok = encoder->close();
            const QString error = encoder->error();
            QMetaObject::invokeMethod(
                this,
                [this, ok, error] {
                    m_finished = true;
                    Q_EMIT Finished(ok, error);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}
