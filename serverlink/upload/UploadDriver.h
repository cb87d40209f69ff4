#pragma once

#include "Protocol.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class collFaxOut;
class faxOut;

namespace Upload {

// Largest piece of a file carried by one "FILE" frame.
inline constexpr qint64 ChunkSize = 409600;

// How many bytes of chunk may go into one "FILE" frame so that it holds none of "<§>", "<#>", "<¥>"
// or "<¶>" whole: a piece is cut right before the ">" of the first one, and the ">" opens the next
// piece. The file's bytes and their total stay as they are; only the number of frames grows.
// block: how many bytes the look takes at a time, 0 for the most this processor can (32, 16), 1 byte by byte.
qsizetype safeChunkLength(QByteArrayView chunk, int block = 0);
// The same length, with the bytes before it copied to out, which has room for the whole chunk.
qsizetype copyToCut(QByteArrayView chunk, char *out, int block = 0);

} // namespace Upload

// Hands new faxes to the server and uploads their files, one step per completed send. A step writes one
// frame, or for a chunk of a file the "FILE" frames that carry it (more than one where it holds a
// separator) in one write.
//
// The control gives it a writer that puts whole frames on the link (false when the link did not
// take it) and calls sendComplete() each time the socket has written everything handed to it, and
// linkLost() when the connection drops. The driver owns the upload state of the queued faxes.
// A step that has nothing to send goes on to the next at once, so the queue never stalls.
//
// The protocol has no acknowledgement, so a fax counts as sent when the server's TCP acknowledged every
// byte through its "FINEFAX": after that frame the driver watches the delivery probe (from a timer, the
// next fax goes on meanwhile) and raises SentFax2Server once the acknowledged count passes the frame's end
// on the same connection. A link lost before that raises Error with the fax's key instead. Without a
// probe (a writer with no socket behind it) the fax counts as sent when its last frame is written.
// A document that cannot be read ends its fax: Error naming the fax and the file, no "FINEFAX".
class UploadDriver : public QObject
{
    Q_OBJECT
public:
    using FrameWriter = std::function<bool(const QByteArray &frame)>;

    // What the link has delivered: bytes taken since it connected, of those acknowledged by the peer.
    struct Delivery
    {
        int link = 0; // changes with every connection
        qint64 handed = 0;
        qint64 acknowledged = 0;
        bool up = false;
        bool holding = false; // frames are kept for a new login: nothing written since is handed yet
    };
    using DeliveryProbe = std::function<Delivery()>;
    void setDeliveryProbe(DeliveryProbe probe) { m_probe = std::move(probe); }
    // Bytes the socket holds not yet written. With it, frames follow each other while fewer than
    // QueueHighWater bytes wait, so the socket never runs dry between two frames; without it, one frame
    // goes per completed send.
    using QueueProbe = std::function<qint64()>;
    void setQueueProbe(QueueProbe probe) { m_queued = std::move(probe); }

    static constexpr qint64 QueueHighWater = 2 * 1024 * 1024;

    UploadDriver(collFaxOut &queue, FrameWriter writer, QObject *parent = nullptr);
    ~UploadDriver() override;

    // "NEWFAX" (code 255) or "NEWRXFAX" (code 4): builds the field block, queues the fax and announces
    // it. Returns the queue key, or "-1" when the fax was not taken (nothing of it stays queued).
    QString handOver(std::unique_ptr<faxOut> fax, qint16 code);

    // "AGGFAX": queues fileName as the new image of the server's fax serverKey. Returns the queue key,
    // "-1" when not taken, "" when the file does not exist (nothing is sent then).
    QString sendUpdateFile(const QString &fileName, const QString &serverKey, const QString &listKeyword);

    // One upload step: the socket has sent everything it was given.
    void sendComplete();

    // The connection dropped: every fax announced on it leaves the queue and is reported through Error,
    // with the number and words given (by default: the link was cut).
    void linkLost();
    void linkLost(int number, const QString &description);

    // True while a fax is queued or waits for the server to acknowledge it.
    bool busy() const;
    // Faxes written whole and not yet acknowledged.
    int unconfirmed() const { return int(m_unconfirmed.size()); }
    // Checks the faxes waiting for acknowledgement now (the timer does it on its own).
    void checkDelivery();
    // The frames kept for a new login went out: faxes written whole meanwhile are measured on that link.
    void heldFramesHanded();

Q_SIGNALS:
    void SendComplete();
    void SentFax2Server(const QString &IdFaxSent);
    void Error(int number, const QString &description, const QString &source);

private:
    enum class Outcome { Sent, Idle, Again };

    Outcome step();
    Outcome startFile(faxOut &fax, const QString &name, bool isCover);
    Outcome sendChunk(faxOut &fax);
    bool write(QByteArrayView keyword, const QByteArray &data);
    // Takes the fax out of the queue and reports it; `what` names the file in hand (default: all files).
    void dropFax(faxOut &fax, int number, const QString &description, const QString &what);
    void closeFile();
    faxOut *sendingFax() const;
    void report(int number, const QString &description, const QString &source);
    void awaitDelivery(const QString &key, const QString &files);

    struct Unconfirmed
    {
        QString key;
        QString files;
        int link = 0;     // HeldLink: written while frames were kept, on no link yet
        qint64 mark = 0; // handed count right after its "FINEFAX"
    };

    static constexpr int HeldLink = -1;

    collFaxOut &m_queue;
    FrameWriter m_writer;
    QFile m_file;             // the one upload file, open from its "STARTFILE" to its last chunk
    QByteArray m_chunk;       // bytes read from the upload file
    QByteArray &frameBuffer(qsizetype size);
    static constexpr qsizetype MaxFrameBuffers = 8;
    QList<QByteArray> m_frameBuffers; // for "FILE" frames; the socket shares them until written
    bool m_inStep = false;
    bool m_again = false;
    bool m_linkLost = false; // the link dropped during a step
    int m_lossNumber = 0;    // why it was let go, when not cut (number and words of the reports)
    QString m_lossText;
    DeliveryProbe m_probe;
    QueueProbe m_queued;
    QList<Unconfirmed> m_unconfirmed;
    class QTimer *m_deliveryTimer = nullptr;
};
