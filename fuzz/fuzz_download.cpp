// One download as a server may send it: an announced size (exact, short, long, zero, huge, negative or not a
// number) and pieces of any size, possibly past the announcement, with other frames and ends in between.
// After each input: no file ever holds more than its announced size (nor more than the link's limit), what
// is on disk is always the start of what was sent, a refused or stopped download leaves no file, a complete
// one holds exactly the bytes sent, a stopped one is reported through Error and never as received, a finished
// file is never touched by stray pieces, and the link goes on (the next image arrives whole). The bytes go
// straight into the link's receive path, a fresh link for each input.
//
// Input: announcement mode, flags (bit 0: an update file), a parameter, then operations: one byte whose low
// four bits pick the operation, and its arguments:
//   0-3 a piece of the file's kind (length byte, a second length byte when bit 7 is set; its content a
//       pattern, or from the input when bit 4 is set), 4 a piece of the other kind, 5 an empty piece,
//   6 another frame (which one: next byte), 7 a cut (every frame so far is handled, then the disk is
//   checked), 8 "ENDFILE" (bit 6: naming the other kind of file), 9 "NOFILE", 10 "FINEUPD", 11 "STARTFILE"
//   again (bit 6: announcing more than 32 bits hold).
#include "FakeFaxServer.h"
#include "FuzzSupport.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "TestHome.h"
#include "WireNumbers.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

// The link's receive path fed directly: no socket, no timer, so a run goes the same way on any machine.
struct QuorinSockFeed
{
    static void bytes(QuorinSock &sock, QByteArrayView bytes) { sock.takeBytes(bytes); }
};

namespace {

using F = FakeFaxServer;

constexpr qint64 LinkLimit = qint64(512) << 20; // the most any download may announce
constexpr qint64 MostSent = qint64(1) << 20;    // what one input may send in all
const QString UpdateName = QStringLiteral("FUZZ.BIN");

struct Rig
{
    std::unique_ptr<TestHome> home;
    std::unique_ptr<QuorinSock> sock;
    int marker = 1000; // "NUMFAX" counts that mark how far the link has got
};

Rig &rig()
{
    static Rig r = [] {
        Rig made;
        Fuzz::application<QApplication>();
        made.home = std::make_unique<TestHome>();
        Fuzz::check(made.home->setUp(TestHome::Layout::ByVariable), "no private folders");
        qputenv("HOME", QFile::encodeName(made.home->path()));
        QDir::setCurrent(made.home->path());
        Prompt::setAnswering(true);
        return made;
    }();
    return r;
}

// Hands the bytes to the link, then a marker, and returns once every frame up to the marker was handled.
void feed(Rig &r, const QByteArray &bytes)
{
    const int marker = ++r.marker;
    bool reached = false;
    const auto seen = QObject::connect(r.sock.get(), &QuorinSock::RxNumFax, r.sock.get(),
                                       [&](int count) { reached = reached || count == marker; });
    QuorinSockFeed::bytes(*r.sock, QByteArray(bytes + F::rawAnswer("NUMFAX", "\xA6" + QByteArray::number(marker))));
    const bool handled = Fuzz::waitFor([&] { return reached; }, 20000);
    QObject::disconnect(seen);
    Fuzz::check(handled, "the link stopped handling frames");
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// File content as a server sends it: never holding a frame separator (it splits those across frames).
QByteArray piece(QByteArrayView from, qsizetype length, qint64 offset)
{
    QByteArray bytes = from.first(qMin(length, from.size())).toByteArray();
    for (qsizetype i = bytes.size(); i < length; ++i)
        bytes.append(char((offset + i) * 7 % 251));
    for (QByteArrayView sep : {Proto::Terminator, Proto::AnswerSeparator, Proto::QuerySeparator})
        bytes.replace(sep.toByteArray(), QByteArrayLiteral("<?>"));
    return bytes;
}

// What the link must have done with the file, worked out from the frames alone.
struct Model
{
    enum class State { Open, Refused, Closed };
    enum class OnDisk { Absent, Exact, Prefix };
    State state = State::Closed;
    OnDisk disk = OnDisk::Absent;
    qint64 announced = 0; // of the download in hand
    qint64 received = 0;
    QByteArray written;   // the bytes the file may hold, in order
    qint64 bound = 0;     // the announcement of the download those bytes belong to
    QList<QByteArray> successes; // RxFaxOk or ReceivingUpdate due, with the file's bytes at that point
    bool stoppedPast = false;    // a piece went past its announcement
    bool refusedStart = false;

    void start(QByteArrayView announcement)
    {
        // A download still in hand was never ended: it leaves nothing behind.
        if (state == State::Open)
            disk = OnDisk::Absent;
        bool ok = false;
        const qint64 n = Wire::toLong(announcement, &ok);
        if (!ok || n < 0 || n > LinkLimit) {
            state = State::Refused;
            refusedStart = true;
            return;
        }
        state = State::Open;
        disk = OnDisk::Prefix;
        announced = bound = n;
        received = 0;
        written.clear();
    }
    void piece(const QByteArray &bytes)
    {
        if (state != State::Open || bytes.isEmpty())
            return;
        if (received + bytes.size() > announced) {
            state = State::Refused;
            disk = OnDisk::Absent;
            stoppedPast = true;
            return;
        }
        received += bytes.size();
        written += bytes;
    }
    void end(bool otherKind)
    {
        if (state == State::Open) {
            const bool complete = !otherKind && received == announced && announced > 0;
            disk = complete ? OnDisk::Exact : OnDisk::Absent;
            if (complete)
                successes.append(written);
        } else if (state == State::Closed && disk == OnDisk::Exact) {
            disk = OnDisk::Prefix; // a second end may discard the image; it never grows it
        }
        state = State::Closed;
    }
    // "NOFILE" (the image asked for is missing) or "FINEUPD" (no more update files).
    void stop(bool noFile, bool update)
    {
        if (state == State::Open || (noFile && !update))
            disk = OnDisk::Absent;
        if (noFile || state != State::Refused)
            state = State::Closed;
    }
};

struct Observed
{
    int successes = 0;
    QStringList errorSources;
};

void checkDisk(const QString &target, const Model &m, const char *when)
{
    const QString where = QString::fromLatin1(when);
    const QFileInfo info(target);
    if (m.disk == Model::OnDisk::Absent) {
        Fuzz::check(!info.exists(), "a refused or stopped download left a file", where + u": "_s + target);
        return;
    }
    if (!info.exists()) {
        Fuzz::check(m.disk != Model::OnDisk::Exact, "a complete download is gone", where);
        return;
    }
    const QByteArray got = readAll(target);
    Fuzz::check(got.size() <= m.bound && got.size() <= LinkLimit, "a file holds more than announced",
                u"%1: %2 bytes on disk, %3 announced"_s.arg(where).arg(got.size()).arg(m.bound));
    Fuzz::check(m.written.startsWith(got), "a file holds bytes that were not sent in order", where);
    if (m.disk == Model::OnDisk::Exact)
        Fuzz::check(got == m.written, "a complete download does not hold exactly the bytes sent",
                    u"%1: %2 of %3 bytes"_s.arg(where).arg(got.size()).arg(m.written.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &r = rig();
    r.sock = std::make_unique<QuorinSock>();
    Fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t flags = in.byte();
    const uint8_t param = in.byte();
    const bool update = flags & 1;
    const QString target =
        update ? QDir(r.sock->NameUpdateFolder()).filePath(UpdateName) : r.sock->NameTempFile();
    QFile::remove(target);

    // The operations first, so "exact" and the sizes around it know the total before the first end.
    struct Op
    {
        int kind;
        QByteArray bytes;
        bool other;
    };
    QList<Op> ops;
    qint64 sent = 0;
    qint64 total = -1;
    QByteArray garbage;
    if (mode % 8 == 6) {
        for (int i = param % 12; i > 0; --i)
            garbage.append(char(in.byte()));
    }
    while (in.rest().size() > 0) {
        const uint8_t op = in.byte();
        Op next{(op & 0x0F) % 12, {}, (op & 0x40) != 0};
        if (next.kind <= 4) {
            qsizetype length = in.byte();
            if (op & 0x80)
                length += qsizetype(in.byte()) << 8;
            if (sent + length > MostSent)
                break;
            const QByteArrayView from = (op & 0x10) ? in.rest() : QByteArrayView();
            next.bytes = piece(from, length, sent);
            for (qsizetype i = 0; i < qMin(length, from.size()); ++i)
                in.byte();
            sent += next.bytes.size();
        } else if (next.kind == 6) {
            next.bytes = QByteArray(1, char(in.byte()));
        } else if (next.kind >= 8 && total < 0) {
            total = sent;
        }
        ops.append(next);
    }
    if (total < 0)
        total = sent;

    QByteArray announcement;
    switch (mode % 8) {
    case 0: announcement = QByteArray::number(total); break;
    case 1: announcement = QByteArray::number(total - 1 - param); break;
    case 2: announcement = QByteArray::number(total + 1 + param); break;
    case 3: announcement = "0"; break;
    case 4: {
        static const QByteArray huge[] = {QByteArray::number(LinkLimit + 1), "2147483647", "2147483648",
                                          "4294967296", "99999999999999999999"};
        announcement = huge[param % 5];
        break;
    }
    case 5: {
        const QByteArray negative[] = {"-1", "-" + QByteArray::number(total), "-2147483648", "-0"};
        announcement = negative[param % 4];
        break;
    }
    case 6: announcement = piece(garbage, garbage.size(), 0).replace("<#>", "#"); break;
    default: announcement = QByteArray::number(LinkLimit - param % 2); break;
    }

    Model m;
    Observed seen;
    const QByteArray name = update ? F::latin(UpdateName) : QByteArray();
    const QByteArray otherName = update ? QByteArray() : F::latin(UpdateName);
    QList<QMetaObject::Connection> links;
    // The model runs ahead of the link: when the host hears of a success, the file must already hold
    // exactly the bytes announced.
    auto success = [&] {
        Fuzz::check(seen.successes < m.successes.size() && readAll(target) == m.successes.at(seen.successes),
                    "a download was reported received without holding exactly the bytes announced");
        ++seen.successes;
    };
    links << QObject::connect(r.sock.get(), &QuorinSock::RxFaxOk, r.sock.get(), success);
    links << QObject::connect(r.sock.get(), &QuorinSock::ReceivingUpdate, r.sock.get(), success);
    links << QObject::connect(r.sock.get(), &QuorinSock::Error, r.sock.get(),
                              [&](int, const QString &, int, const QString &source) { seen.errorSources << source; });

    // The frames, and the model stepped along with them.
    QByteArray stream = F::rawAnswer("STARTFILE", announcement + F::FieldSep + name);
    m.start(announcement);
    for (const Op &op : std::as_const(ops)) {
        switch (op.kind) {
        case 0: case 1: case 2: case 3: case 4: case 5: {
            const bool sameKind = op.kind != 4;
            stream += F::rawAnswer(update == sameKind ? "FILEUPD" : "FILE", op.bytes);
            m.piece(op.bytes);
            break;
        }
        case 6: {
            static const QByteArray others[] = {F::rawAnswer("NOMSG", {}), F::rawAnswer("STATUS", "1"),
                                                F::answer(u"NUMFAX", u"\u00A63"), F::rawAnswer("ZZUNKNOWN", "x"),
                                                F::rawAnswer("NUMFAX", "x")};
            stream += others[uint8_t(op.bytes.at(0)) % 5];
            break;
        }
        case 7:
            feed(r, std::exchange(stream, {}));
            checkDisk(target, m, "at a cut");
            break;
        case 8:
            stream += F::rawAnswer("ENDFILE", QByteArray::number(m.announced) + F::FieldSep +
                                                  (op.other ? otherName : name) + F::FieldSep + "P1");
            m.end(op.other);
            break;
        case 9:
            stream += F::rawAnswer("NOFILE", "7");
            m.stop(true, update);
            break;
        case 10:
            stream += F::rawAnswer("FINEUPD", {});
            m.stop(false, update);
            break;
        default: {
            // The same download started again, or one announcing more than a 32-bit size.
            const QByteArray again = op.other ? QByteArray("2147483648") : announcement;
            stream += F::rawAnswer("STARTFILE", again + F::FieldSep + name);
            m.start(again);
            break;
        }
        }
    }
    feed(r, stream);
    checkDisk(target, m, "at the end");
    for (const auto &link : std::as_const(links))
        QObject::disconnect(link);

    Fuzz::check(seen.successes == m.successes.size(), "downloads reported received",
                u"%1 reported, %2 due"_s.arg(seen.successes).arg(m.successes.size()));
    if (m.stoppedPast)
        Fuzz::check(seen.errorSources.contains(u"DataArrival.FILE"_s) ||
                        seen.errorSources.contains(u"DataArrival.FILEUPD"_s),
                    "a download past its announced size was not reported", seen.errorSources.join(u", "));
    if (m.refusedStart)
        Fuzz::check(std::any_of(seen.errorSources.cbegin(), seen.errorSources.cend(),
                                [](const QString &s) { return s.startsWith(u"DataArrival.STARTFILE"_s); }),
                    "a refused announcement was not reported", QString::fromLatin1(announcement));

    // The link goes on: the next image arrives whole.
    const QByteArray next = piece({}, 300, 11);
    QString nextFile;
    bool nextDone = false;
    auto done = QObject::connect(r.sock.get(), &QuorinSock::RxFaxOkKey, r.sock.get(),
                                 [&](const QString &file, const QString &key) {
                                     if (key == u"NEXT"_s) {
                                         nextFile = file;
                                         nextDone = true;
                                     }
                                 });
    feed(r, F::rawAnswer("STARTFILE", QByteArray::number(next.size()) + F::FieldSep) +
                F::rawAnswer("FILE", next.first(120)) + F::rawAnswer("FILE", next.sliced(120)) +
                F::rawAnswer("ENDFILE", QByteArray::number(next.size()) + F::FieldSep + F::FieldSep + "NEXT"));
    QObject::disconnect(done);
    Fuzz::check(nextDone, "the link did not take the next download");
    Fuzz::check(readAll(nextFile) == next, "the next download arrived changed");
    r.sock.reset();
    QFile::remove(nextFile);
    QFile::remove(target);
    return 0;
}
