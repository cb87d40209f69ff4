#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// A fax server for tests, on 127.0.0.1 only. It plays a script against the first client that connects:
// frames it sends, bytes it expects (compared byte for byte), pauses until the test releases it, and a
// close. Every byte the client sends is kept and cut into frames, so a test can also just look at what
// went over the wire. After the script (or without one) a responder may answer each frame as it comes.
// In fragmented mode everything it sends goes out a few bytes at a time.
// It also answers the discovery probe "CHECKSERVER" on its port + 1.
class FakeFaxServer : public QObject
{
    Q_OBJECT
public:
    struct Frame
    {
        QByteArray keyword;
        QByteArray data;
        bool answer = true;   // "<¶>" when true, "<¥>" when false
        QString text() const; // data through Windows-1252
        bool operator==(const Frame &) const = default;
    };

    // Frame bytes: keyword, "<¶>" (answer) or "<¥>" (query), data, "<§>"; text through Windows-1252.
    static QByteArray answer(QStringView keyword, const QString &data);
    static QByteArray query(QStringView keyword, const QString &data);
    static QByteArray answer(QStringView keyword, QStringView data = {})
    {
        return answer(keyword, data.toString());
    }
    static QByteArray query(QStringView keyword, QStringView data = {})
    {
        return query(keyword, data.toString());
    }
    static QByteArray rawAnswer(const QByteArray &keyword, const QByteArray &data);
    static QByteArray rawQuery(const QByteArray &keyword, const QByteArray &data);
    static QByteArray latin(QStringView text); // Windows-1252 bytes of a text

    // Separators as bytes, for building data by hand.
    static const QByteArray Terminator; // "<§>"
    static const QByteArray FieldSep;   // "<#>"
    static const QByteArray RecordSep;  // "<ÌÌ>"
    static const QByteArray ListSep;    // "¦"

    explicit FakeFaxServer(QObject *parent = nullptr);
    ~FakeFaxServer() override;

    // Listens on 127.0.0.1 (port 0: any free port, chosen so that port + 1 is free for discovery too).
    bool listen(quint16 port = 0);
    quint16 port() const;
    void setServerName(const QString &name) { m_serverName = name; }
    QString serverName() const { return m_serverName; }

    void setFragmented(bool on, int chunkBytes = 3);
    bool fragmented() const { return m_fragmentSize > 0; }

    // --- script steps, played in order against the connected client ---
    void send(const QByteArray &bytes);
    void expect(const QByteArray &bytes);
    void pause(); // waits for release()
    void closeConnection();
    // A whole download: "STARTFILE" (size, update name), "FILE"/"FILEUPD" pieces, "ENDFILE" (name, key).
    void sendFile(const QByteArray &content, const QString &updateName = {}, const QString &key = {},
                  int pieceSize = 400, qint64 announcedSize = -1);
    void release();
    bool scriptDone() const { return m_steps.isEmpty(); }

    // --- responder: called for each frame received once the script has run out ---
    using Responder = std::function<void(FakeFaxServer &, const Frame &)>;
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    Responder responder() const { return m_responder; }
    void sendNow(const QByteArray &bytes); // to the current client, honouring fragmented mode

    // Streams a download of `size` bytes made by `source` (offset, length) in "FILE" frames of
    // `pieceSize`, writing more only as the socket drains, so large files never sit in memory.
    using Source = std::function<QByteArray(qint64 offset, qint64 length)>;
    void streamFile(qint64 size, Source source, int pieceSize, const QString &key);

    // --- what the client did ---
    QByteArray received() const { return m_received; }
    QList<Frame> receivedFrames() const { return m_frames; }
    QList<Frame> receivedFrames(const QByteArray &keyword) const;
    bool hasReceived(const QByteArray &frameBytes) const { return m_received.contains(frameBytes); }
    void clearReceived();
    QStringList errors() const { return m_errors; }
    int connectionCount() const { return m_connections; }
    int probeCount() const { return m_probes; }
    bool clientConnected() const;
    void dropClient(); // closes the connection at once
    // Stops listening and drops the client, as a server that stopped; listen(port) starts it again.
    void stopListening();
    void resetClient(); // ends the connection with a reset

    // --- fault modes: a server that misbehaves the way real ones do ---
    // Set after the login to aim at one exchange; they hold for later connections too, until cleared.
    struct Faults
    {
        // Ends the link right after the client's frame number N (counted from setFaults, 1 = the first
        // frame after it); 0: never. What already reached this end's socket is kept (received()) before
        // the cut: that is exactly what this end's TCP acknowledged.
        int cutAfterFrames = 0;
        bool cutWithReset = false; // abort (the client sees a reset) instead of an orderly close
        QByteArray cutAfterKeyword; // ends the link right after the first frame of this keyword
        // Slow reader: at most slowReadBytes every slowReadIntervalMs, with small socket buffers, so the
        // client's bytes back up on its side; 0 reads everything as it comes.
        int slowReadBytes = 0;
        int slowReadIntervalMs = 5;
        // At a cut, what this end's system holds and was not read yet is lost (as with a real server's
        // close: the system answers it with a reset); when true it is read and kept first.
        bool keepUnreadAtCut = true;
        // After each frame of this keyword is read, a progress notice ("FAXPROGR") is written to the
        // client: with a slow reader the notices go out while the client is closing.
        QByteArray noticeAfter;
        // Every connection is cut right after its first frame (the login).
        bool cutEveryLogin = false;
        // Nothing the client sends is answered (scripts and responder wait), frames are only recorded.
        bool silentLogin = false;
        // Downloads announce this many bytes fewer than they send ("STARTFILE" and "ENDFILE").
        qint64 announceFewer = 0;
        // Once the script has played out (the login answered), nothing more is read: what the client
        // sends piles up in this end's system until its buffers are full.
        bool stopReading = false;
        // This end never ends a link: it reads the client's end of stream and stays open (until the
        // server object goes).
        bool neverClose = false;
    };
    void setFaults(const Faults &faults);
    Faults faults() const { return m_faults; }
    void clearFaults() { setFaults({}); }
    bool cutDone() const { return m_cutDone; }
    // Faxes this server filed: "NEWFAX"/"NEWRXFAX" announcements whose every "STARTFILE" document arrived
    // with its announced size and whose "FINEFAX" was read, as "key" -> documents' bytes by file name.
    struct FiledFax
    {
        QByteArray announcement; // the data of "NEWFAX"/"NEWRXFAX"
        QMap<QByteArray, QByteArray> documents;
    };
    QList<FiledFax> filedFaxes() const;
    // Resets from the client the slow reader met (it then loses what it had not read).
    int resetsSeen() const { return m_resetsSeen; }
    // Bytes that reached this end and were not read yet (socket and kernel buffers).
    qint64 unreadBytes() const;

Q_SIGNALS:
    void clientArrived();
    void frameReceived(const FakeFaxServer::Frame &frame);
    void clientGone();
    // This end cut the link (a fault mode) after `frames` frames in all; `unreadDropped`: bytes that had
    // reached this end unread and went with the cut.
    void linkCut(int frames, bool reset, qint64 unreadDropped);

private:
    enum class StepKind { Send, Expect, Pause, Close };
    struct Step
    {
        StepKind kind;
        QByteArray bytes;
    };

    void onNewConnection();
    void onReadyRead();
    void ingest(const QByteArray &bytes);
    void slowReadTick();
    void applyReadFaults(QTcpSocket *socket);
    void cutNow();
    void onProbeConnection();
    void advance();
    void write(const QByteArray &bytes);
    void pumpOutgoing();
    void pumpStream();

    QTcpServer *m_server = nullptr;
    QTcpServer *m_probeServer = nullptr;
    QPointer<QTcpSocket> m_client;
    QTimer *m_fragmentTimer = nullptr;
    QList<Step> m_steps;
    QByteArray m_pending;  // received and not yet matched by an expect step
    QByteArray m_received; // everything received on the current and earlier connections
    qsizetype m_parsedUpTo = 0;
    QList<Frame> m_frames;
    QByteArray m_outgoing; // fragmented mode: waiting to be written
    QStringList m_errors;
    Responder m_responder;
    QString m_serverName = QStringLiteral("FAXSERVER");
    int m_fragmentSize = 0;
    int m_connections = 0;
    int m_probes = 0;
    bool m_paused = false;
    bool m_closing = false;

    Faults m_faults;
    QTimer *m_slowTimer = nullptr;
    int m_framesSinceFaults = 0;
    int m_framesThisLink = 0;
    int m_resetsSeen = 0;
    bool m_cutDone = false;
    bool m_readingStopped = false;
    QList<int> m_heldOpen; // descriptors kept so that a link is never ended from this side

    // streamed download in progress
    struct Stream
    {
        qint64 size = 0;
        qint64 offset = 0;
        int pieceSize = 0;
        QByteArray key;
        Source source;
        bool active = false;
    } m_stream;
};

// A loopback port bound and never listened on, held while the object lives: every connection to it is
// refused, and no other server of this run or of another one can be given it meanwhile (a port found
// free and let go can be).
class RefusedPort
{
public:
    RefusedPort();
    ~RefusedPort();
    RefusedPort(const RefusedPort &) = delete;
    RefusedPort &operator=(const RefusedPort &) = delete;
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};
