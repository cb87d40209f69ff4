#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>

// Raw PBM ("P4") pages as Ghostscript writes them to a pipe, cut out of the stream as it arrives.
class PbmStream
{
public:
    struct Page
    {
        int width = 0;
        int height = 0;
        QByteArray bits; // rows of (width + 7) / 8 bytes, 1 = black
    };

    // Largest side taken; a fax page is 1728 dots across and a few thousand lines long.
    static constexpr int MaxSide = 20000;

    void append(QByteArrayView bytes);
    // The next whole page; false when more bytes are needed or the stream is not PBM (error() says).
    bool next(Page &page);
    const QString &error() const { return m_error; }
    // Bytes of a page not yet whole.
    bool pending() const { return m_buffer.size() > m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // where the next page starts in m_buffer
    QString m_error;
};

// Writes bilevel pages into a multi-page G4 fax TIFF at 204 x 196 dpi on a thread of its own, in the
// order they are given, so the encoding runs beside whatever makes the pages.
class FaxPageWriter : public QObject
{
    Q_OBJECT
public:
    explicit FaxPageWriter(const QString &path, QObject *parent = nullptr);
    ~FaxPageWriter() override; // waits for the page in hand; a file not finished is removed

    void addPage(const PbmStream::Page &page);
    // Closes the file once every page is written; Finished follows.
    void finish();

Q_SIGNALS:
    void Finished(bool ok, const QString &error);

private:
    class Encoder;
    QThread m_thread;
    Encoder *m_encoder = nullptr; // lives in m_thread
    QString m_path;
    bool m_finished = false;
};
