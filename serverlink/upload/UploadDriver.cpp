#include "UploadDriver.h"

#include "LinkUtils.h"
#include "collFaxOut.h"
#include "faxOut.h"

#include <QFileInfo>
#include <QTimer>

#include <bit>
#include <limits>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Error numbers as the runtime gives them.
constexpr int ErrFileNotFound = 53;
constexpr int ErrFileAccess = 75;
constexpr int ErrInvalidCall = 5;
constexpr int ErrLinkState = 40006; // the socket is not in a state to send

const QByteArray KwNewFax = QByteArrayLiteral("NEWFAX");
const QByteArray KwNewRxFax = QByteArrayLiteral("NEWRXFAX");
const QByteArray KwAggFax = QByteArrayLiteral("AGGFAX");
const QByteArray KwNoMsg = QByteArrayLiteral("NOMSG");
const QByteArray KwStartFile = QByteArrayLiteral("STARTFILE");
const QByteArray KwEndFile = QByteArrayLiteral("ENDFILE");
const QByteArray KwFineFax = QByteArrayLiteral("FINEFAX");

bool isSeparatorMark(char c)
{
    return c == '\xA7' || c == '#' || c == '\xA5' || c == '\xB6';
}

// Looks for a '<' with a separator mark and a '>' after it, a block at a time: file data holds a '<' with a
// '>' two bytes on about once in 64 KiB, so the middle byte is looked at only for those rare pairs. With
// Copy, each block is also stored to `out` as it is looked at (blocks past the cut included: the caller
// leaves room for the whole source). The block loops return the cut length, or minus the position where
// the byte-by-byte look takes over.
template <bool Copy>
qsizetype cutInBlock(const unsigned char *data, qsizetype at, quint64 hits, qsizetype stored, unsigned char *out)
{
    for (; hits; hits &= hits - 1) {
        const qsizetype cut = at + std::countr_zero(hits) + 2;
        if (isSeparatorMark(char(data[cut - 1]))) {
            if constexpr (Copy) {
                for (qsizetype i = stored; i < cut; ++i) // the mark's middle byte in the next block
                    out[i] = data[i];
            }
            return cut;
        }
    }
    return 0;
}

#if defined(__x86_64__)
template <bool Copy>
qsizetype scanNarrow(const unsigned char *data, qsizetype size, unsigned char *out)
{
    const __m128i open = _mm_set1_epi8('<'), close = _mm_set1_epi8('>');
    qsizetype pos = 0;
    for (; pos + 18 <= size; pos += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + pos));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + pos + 2));
        if constexpr (Copy)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + pos), a);
        const auto hits = unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, open), _mm_cmpeq_epi8(c, close))));
        if (hits) {
            if (const qsizetype cut = cutInBlock<Copy>(data, pos, hits, pos + 16, out))
                return cut;
        }
    }
    return -pos;
}

template <bool Copy>
__attribute__((target("avx2"))) qsizetype scanWide(const unsigned char *data, qsizetype size, unsigned char *out)
{
    const __m256i open = _mm256_set1_epi8('<'), close = _mm256_set1_epi8('>');
    qsizetype pos = 0;
    for (; pos + 34 <= size; pos += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + pos));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + pos + 2));
        if constexpr (Copy)
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + pos), a);
        const auto hits = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, open), _mm256_cmpeq_epi8(c, close))));
        if (hits) {
            if (const qsizetype cut = cutInBlock<Copy>(data, pos, hits, pos + 32, out))
                return cut;
        }
    }
    return -pos;
}
#endif

template <bool Copy>
qsizetype scanBytes(const unsigned char *data, qsizetype size, unsigned char *out, int block)
{
    qsizetype pos = 0;
#if defined(__x86_64__)
    static const int widest = __builtin_cpu_supports("avx2") ? 32 : 16;
    block = block <= 0 ? widest : qMin(block, widest);
    const qsizetype found = block >= 32   ? scanWide<Copy>(data, size, out)
                            : block >= 16 ? scanNarrow<Copy>(data, size, out)
                                          : 0;
    if (found > 0)
        return found;
    pos = -found;
#else
    Q_UNUSED(block);
#endif
    for (; pos < size; ++pos) {
        if (pos + 2 < size && data[pos] == '<' && data[pos + 2] == '>' && isSeparatorMark(char(data[pos + 1]))) {
            if constexpr (Copy) {
                out[pos] = data[pos];
                out[pos + 1] = data[pos + 1];
            }
            return pos + 2;
        }
        if constexpr (Copy)
            out[pos] = data[pos];
    }
    return size;
}

QByteArray joinFields(std::initializer_list<QByteArrayView> fields)
{
    QByteArray out;
    bool first = true;
    for (QByteArrayView field : fields) {
        if (!first)
            out += Proto::FieldSeparator;
        out += field;
        first = false;
    }
    return out;
}

} // namespace

qsizetype Upload::safeChunkLength(QByteArrayView chunk, int block)
{
    return scanBytes<false>(reinterpret_cast<const unsigned char *>(chunk.data()), chunk.size(), nullptr,
                            block);
}

qsizetype Upload::copyToCut(QByteArrayView chunk, char *out, int block)
{
    return scanBytes<true>(reinterpret_cast<const unsigned char *>(chunk.data()), chunk.size(),
                           reinterpret_cast<unsigned char *>(out), block);
}

UploadDriver::UploadDriver(collFaxOut &queue, FrameWriter writer, QObject *parent)
    : QObject(parent), m_queue(queue), m_writer(std::move(writer)), m_deliveryTimer(new QTimer(this))
{
    m_deliveryTimer->setSingleShot(true);
    connect(m_deliveryTimer, &QTimer::timeout, this, &UploadDriver::checkDelivery);
}

UploadDriver::~UploadDriver() = default;

bool UploadDriver::busy() const
{
    return !m_queue.isEmpty() || !m_unconfirmed.isEmpty();
}

void UploadDriver::awaitDelivery(const QString &key, const QString &files)
{
    if (!m_probe) {
        Q_EMIT SentFax2Server(key);
        return;
    }
    const Delivery d = m_probe();
    if (d.holding) {
        // Its frames wait for a new login: nothing of it reached a server yet.
        m_unconfirmed.append({key, files, HeldLink, 0});
        return;
    }
    m_unconfirmed.append({key, files, d.link, d.handed});
    // First look once the event loop has written the frame (a near server has acknowledged it by then).
    m_deliveryTimer->setInterval(0);
    m_deliveryTimer->start();
}

void UploadDriver::checkDelivery()
{
    if (m_unconfirmed.isEmpty() || !m_probe)
        return;
    const Delivery d = m_probe();
    if (d.holding)
        return; // decided once the kept frames went out, or were refused
    QList<Unconfirmed> lost;
    QStringList sent;
    for (qsizetype i = 0; i < m_unconfirmed.size();) {
        const Unconfirmed &u = m_unconfirmed[i];
        if (u.link == d.link && d.acknowledged >= u.mark) {
            sent << u.key;
        } else if (u.link != d.link || !d.up) {
            lost << u;
        } else {
            ++i;
            continue;
        }
        m_unconfirmed.removeAt(i);
    }
    if (!m_unconfirmed.isEmpty() && !m_deliveryTimer->isActive()) {
        // Loopback acknowledges at once, a distant server in milliseconds: poll fast first, then ease off.
        m_deliveryTimer->setInterval(qMin(20, qMax(1, m_deliveryTimer->interval() * 2)));
        m_deliveryTimer->start();
    }
    for (const QString &key : std::as_const(sent))
        Q_EMIT SentFax2Server(key);
    for (const Unconfirmed &u : std::as_const(lost))
        report(m_lossNumber ? m_lossNumber : ErrLinkState,
               m_lossNumber ? m_lossText
                            : u"Collegamento al server interrotto prima della conferma: fax non inviato."_s,
               u"SendFax : "_s + u.key + u" : "_s + u.files);
}

void UploadDriver::heldFramesHanded()
{
    if (!m_probe)
        return;
    const Delivery d = m_probe();
    bool any = false;
    for (Unconfirmed &u : m_unconfirmed) {
        if (u.link != HeldLink)
            continue;
        u.link = d.link;
        u.mark = d.handed;
        any = true;
    }
    if (any && !m_deliveryTimer->isActive()) {
        m_deliveryTimer->setInterval(0);
        m_deliveryTimer->start();
    }
}

QString UploadDriver::handOver(std::unique_ptr<faxOut> fax, qint16 code)
{
    const QString source = code == Proto::FaxCodeSend ? u"SendNewFax"_s : u"SaveFaxToRX"_s;
    if (!fax)
        return u"-1"_s;
    // A separator inside a field (as the field goes out, after the best fit) would shift the field block
    // or cut the frame: the server would file the fax under wrong fields. Refused, naming the field.
    const Proto::FaxVerdict verdict = Proto::checkFax(*fax);
    if (!verdict.ok()) {
        report(ErrInvalidCall, verdict.problem, source + u" : "_s + verdict.field);
        return u"-1"_s;
    }
    fax->setMsgCampi(Proto::BuildFaxFields(*fax, code));
    faxOut *queued = m_queue.Add(std::move(fax), stWaiting);
    if (!queued)
        return u"-1"_s;
    const QString key = queued->KeyFax();
    const QByteArray data = joinFields({Proto::bytes(queued->AllFaxFiles()), Proto::bytes(key),
                                        Proto::bytes(queued->MsgCampi()), Proto::bytes(queued->CoverPage())});
    if (!write(code == Proto::FaxCodeSend ? KwNewFax : KwNewRxFax, data)) {
        // Never announced: the server knows nothing of it, so it must not be uploaded later.
        if (!m_queue.Remove(key))
            return u"-1"_s; // already dropped (and reported) with the link
        report(ErrLinkState, u"Collegamento al server non disponibile: fax non inviato."_s,
               source + u" : "_s + key);
        return u"-1"_s;
    }
    return key;
}

QString UploadDriver::sendUpdateFile(const QString &fileName, const QString &serverKey,
                                     const QString &listKeyword)
{
    if (!LinkUtils::FileExists(fileName))
        return QString();
    const QFileInfo info(fileName);
    const QString path = LinkUtils::AddBS(info.absolutePath()) + info.fileName();
    auto fax = std::make_unique<faxOut>();
    fax->setAllFaxFiles(path);
    fax->setMsgCampi(QString());
    faxOut *queued = m_queue.Add(std::move(fax), stWaiting);
    if (!queued)
        return u"-1"_s;
    const QString key = queued->KeyFax();
    const QByteArray data = joinFields({Proto::bytes(path), Proto::bytes(key), QByteArrayView(),
                                        Proto::bytes(serverKey), Proto::bytes(listKeyword)});
    if (!write(KwAggFax, data)) {
        if (!m_queue.Remove(key))
            return u"-1"_s;
        report(ErrLinkState, u"Collegamento al server non disponibile: immagine non inviata."_s,
               u"SendUpdateFile : "_s + path);
        return u"-1"_s;
    }
    return key;
}

void UploadDriver::sendComplete()
{
    // A host handler of our events may send a frame whose completion arrives while we are still here.
    if (m_inStep) {
        m_again = true;
        return;
    }
    m_inStep = true;
    for (;;) {
        m_again = false;
        const Outcome outcome = step();
        if (m_linkLost)
            break;
        if (outcome == Outcome::Again)
            continue;
        if (outcome == Outcome::Sent && m_queued && m_queued() < QueueHighWater)
            continue; // room left in the socket: the next frame goes now
        if (!m_again)
            break;
    }
    m_inStep = false;
    if (m_linkLost) {
        m_linkLost = false;
        linkLost();
        return;
    }
    // Everything handed over is written: on a near server its acknowledgement is already in.
    if (!m_unconfirmed.isEmpty())
        checkDelivery();
}

void UploadDriver::linkLost(int number, const QString &description)
{
    m_lossNumber = number;
    m_lossText = description;
    linkLost();
}

void UploadDriver::linkLost()
{
    // Inside a step the fax in hand must stay alive: the step loop drops the queue when it is done.
    if (m_inStep) {
        m_linkLost = true;
        return;
    }
    closeFile();
    m_frameBuffers.clear();
    // Faxes written whole: those the server acknowledged before the loss are sent, the rest are not.
    checkDelivery();
    QList<QPair<QString, QString>> lost; // key, files
    for (const faxOut &fax : m_queue) {
        if (fax.status() != stOK)
            lost.append({fax.KeyFax(), fax.AllFaxFiles()});
    }
    m_queue.clear();
    const int number = std::exchange(m_lossNumber, 0);
    const QString text = std::exchange(m_lossText, {});
    for (const auto &[key, files] : lost)
        report(number ? number : ErrLinkState, number ? text : u"Collegamento al server interrotto: fax non inviato."_s,
               u"SendFax : "_s + key + u" : "_s + files);
}

faxOut *UploadDriver::sendingFax() const
{
    for (qsizetype i = 1; i <= m_queue.Count(); ++i) {
        faxOut *fax = m_queue.Item(i);
        if (fax->status() == stsending)
            return fax;
    }
    return nullptr;
}

UploadDriver::Outcome UploadDriver::step()
{
    for (qsizetype i = m_queue.Count(); i >= 1; --i) {
        if (m_queue.Item(i)->status() == stOK)
            m_queue.Remove(i);
    }
    if (m_queue.isEmpty()) {
        m_frameBuffers.clear();
        Q_EMIT SendComplete();
        return Outcome::Idle;
    }

    faxOut *fax = sendingFax();
    if (!fax) {
        fax = m_queue.Item(1);
        fax->setStatus(stsending);
        if (!write(KwNoMsg, QByteArray())) {
            dropFax(*fax, ErrLinkState, u"Collegamento al server interrotto: fax non inviato."_s, QString());
            return Outcome::Again;
        }
        Q_EMIT SendComplete();
        return Outcome::Sent;
    }

    if (fax->idxFileSending() == -1 && !fax->AllFaxFiles().isEmpty()) {
        bool isCover = false;
        const QString name = fax->NextFiletoSend(isCover);
        if (name.isEmpty())
            return Outcome::Again; // no document after all ("+" only): on to the cover page or the end
        return startFile(*fax, name, isCover);
    }

    if (fax->transferTotalBytes() != fax->transferBytesSent()) {
        const Outcome outcome = sendChunk(*fax);
        if (outcome == Outcome::Sent)
            Q_EMIT SendComplete();
        return outcome;
    }

    closeFile();
    if (fax->transferTotalBytes() != 0) {
        fax->setTransferTotalBytes(0);
        fax->setTransferBytesSent(0);
        const QString key = fax->KeyFax();
        if (!write(KwEndFile, joinFields({QByteArrayView(), "0", Proto::bytes(key)}))) {
            dropFax(*fax, ErrLinkState, u"Collegamento al server interrotto: fax non inviato."_s, QString());
            return Outcome::Again;
        }
        return Outcome::Sent;
    }

    bool isCover = false;
    const QString name = fax->NextFiletoSend(isCover);
    if (!name.isEmpty())
        return startFile(*fax, name, isCover);

    const QString key = fax->KeyFax();
    if (!write(KwFineFax, Proto::bytes(key))) {
        dropFax(*fax, ErrLinkState, u"Collegamento al server interrotto: fax non inviato."_s, QString());
        return Outcome::Again;
    }
    fax->setStatus(stOK);
    awaitDelivery(key, fax->AllFaxFiles());
    Q_EMIT SendComplete();
    return Outcome::Sent;
}

UploadDriver::Outcome UploadDriver::startFile(faxOut &fax, const QString &name, bool isCover)
{
    fax.setTransferTotalBytes(0);
    fax.setTransferBytesSent(0);
    closeFile();
    const QFileInfo info(name);
    // A document that cannot be read ends its fax: without it the server would file an incomplete fax.
    if (!info.exists() || !info.isFile()) {
        dropFax(fax, ErrFileNotFound, u"Impossibile trovare il file."_s, name);
        return Outcome::Again;
    }
    if (info.size() > std::numeric_limits<qint32>::max()) {
        dropFax(fax, ErrFileAccess, u"File troppo grande per l'invio."_s, name);
        return Outcome::Again;
    }
    m_file.setFileName(name);
    if (!m_file.open(QIODevice::ReadOnly)) {
        dropFax(fax, ErrFileAccess, u"Errore di accesso al percorso/file."_s, name);
        return Outcome::Again;
    }
    const qint32 size = qint32(m_file.size());
    const QByteArray data =
        joinFields({Proto::bytes(name), QByteArray::number(size), Proto::bytes(fax.KeyFax()),
                    isCover ? QByteArrayView("1") : QByteArrayView()});
    if (!write(KwStartFile, data)) {
        closeFile();
        dropFax(fax, ErrLinkState, u"Collegamento al server interrotto: fax non inviato."_s, name);
        return Outcome::Again;
    }
    fax.setTransferTotalBytes(size);
    fax.setTransferBytesSent(0);
    return Outcome::Sent;
}

UploadDriver::Outcome UploadDriver::sendChunk(faxOut &fax)
{
    const QString source = fax.FileSending();
    const qint64 want =
        qMin<qint64>(Upload::ChunkSize, qint64(fax.transferTotalBytes()) - fax.transferBytesSent());
    if (!m_file.isOpen() || want <= 0) {
        dropFax(fax, ErrFileAccess, u"Errore di accesso al percorso/file."_s, source);
        return Outcome::Again;
    }
    m_chunk.resize(want);
    if (m_file.read(m_chunk.data(), want) != want) {
        // The file shrank or failed under us after its size was announced: what the server would get is
        // not the file, so the fax is not reported as sent.
        closeFile();
        dropFax(fax, ErrFileAccess, u"Errore di accesso al percorso/file."_s, source);
        return Outcome::Again;
    }
    // The chunk goes as one "FILE" frame, or as several where it holds a separator, all written at once;
    // each piece is looked at while it is copied into its frame.
    QByteArray head = "FILE";
    head += Proto::AnswerSeparator;
    head += Proto::bytes(fax.KeyFax());
    head += Proto::FieldSeparator;
    QByteArray tail = Proto::FieldSeparator.toByteArray();
    tail += Proto::bytes(source);
    tail += Proto::Terminator;
    const qsizetype framing = head.size() + tail.size();
    const auto room = [framing](qsizetype bytes) { return bytes + framing * (1 + bytes / 4096); };
    QByteArray &frames = frameBuffer(room(want));
    qsizetype used = 0;
    for (qsizetype pos = 0; pos < want;) {
        if (frames.size() - used < want - pos + framing)
            frames.resize(qMax(used + room(want - pos), 2 * frames.size()));
        char *out = std::copy(head.cbegin(), head.cend(), frames.data() + used);
        const qsizetype len = Upload::copyToCut(QByteArrayView(m_chunk).sliced(pos), out);
        out = std::copy(tail.cbegin(), tail.cend(), out + len);
        used = out - frames.constData();
        pos += len;
    }
    frames.resize(used);
    fax.setTransferBytesSent(fax.transferBytesSent() + qint32(want));
    if (!m_writer || !m_writer(frames)) {
        closeFile();
        dropFax(fax, ErrLinkState, u"Collegamento al server interrotto: fax non inviato."_s, source);
        return Outcome::Again;
    }
    return Outcome::Sent;
}

QByteArray &UploadDriver::frameBuffer(qsizetype size)
{
    // A buffer the socket has written is taken again: its memory is still in the cache.
    for (QByteArray &buffer : m_frameBuffers) {
        if (buffer.isDetached() && buffer.capacity() >= size) {
            buffer.resize(size);
            return buffer;
        }
    }
    if (m_frameBuffers.size() >= MaxFrameBuffers)
        m_frameBuffers.removeFirst();
    m_frameBuffers.append(QByteArray(size, Qt::Uninitialized));
    return m_frameBuffers.last();
}

bool UploadDriver::write(QByteArrayView keyword, const QByteArray &data)
{
    const std::optional<QByteArray> frame = Proto::buildFrame(typeAns, keyword, data);
    return frame && m_writer && m_writer(*frame);
}

void UploadDriver::dropFax(faxOut &fax, int number, const QString &description, const QString &what)
{
    const QString key = fax.KeyFax();
    const QString files = fax.AllFaxFiles();
    closeFile();
    m_queue.Remove(key);
    report(number, description, u"SendFax : "_s + key + u" : "_s + (what.isEmpty() ? files : what));
}

void UploadDriver::closeFile()
{
    if (m_file.isOpen())
        m_file.close();
    m_chunk.clear();
}

void UploadDriver::report(int number, const QString &description, const QString &source)
{
    Q_EMIT Error(number, description, source);
}
