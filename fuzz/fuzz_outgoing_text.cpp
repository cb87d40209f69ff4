// Text a person, a shared book or a job file puts into a request: any text in any field of a fax, a contact
// or a folder request is either refused (with Error, nothing sent) or goes out as a frame that cuts back
// into exactly the fields given, each as the best fit makes it (composed, fitted to Windows-1252).
// Input: a selector byte, then the fields' texts in UTF-8, separated by NUL bytes.
#include "Cp1252.h"
#include "FakeFaxServer.h"
#include "FrameCutter.h"
#include "FuzzSupport.h"
#include "Prompt.h"
#include "Protocol.h"
#include "QuorinSock.h"
#include "TestHome.h"
#include "UploadDriver.h"
#include "collFaxOut.h"
#include "faxOut.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>

namespace {

QByteArray wireOf(const QString &text)
{
    return Proto::bytes(Cp1252::check(text).wire);
}

QList<QByteArray> split(const QByteArray &data, QByteArrayView separator)
{
    QList<QByteArray> parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = data.indexOf(separator, from);
        if (at < 0)
            break;
        parts.append(data.mid(from, at - from));
        from = at + separator.size();
    }
    parts.append(data.mid(from));
    return parts;
}

// The one frame the bytes hold, cut as the server cuts it.
ServerMessage onlyFrame(const QByteArray &bytes)
{
    FrameCutter cutter;
    cutter.append(bytes);
    ServerMessage msg;
    if (cutter.next(msg) != FrameCutter::Result::Frame)
        Fuzz::fail("the request is not one whole frame", QString::fromLatin1(bytes.toHex(' ')));
    ServerMessage more;
    if (cutter.next(more) != FrameCutter::Result::NeedMore)
        Fuzz::fail("the request cuts into more than one frame", QString::fromLatin1(bytes.toHex(' ')));
    return msg;
}

void expectFields(const QList<QByteArray> &got, const QList<QByteArray> &want, const char *what)
{
    if (got != want) {
        QStringList lines;
        for (const QByteArray &g : got)
            lines << QString::fromLatin1(g.toHex(' '));
        lines << u"--- expected"_s;
        for (const QByteArray &w : want)
            lines << QString::fromLatin1(w.toHex(' '));
        Fuzz::fail(what, lines.join(u'\n'));
    }
}

// A fax through the upload driver alone: the announcement it writes.
void fax(const QStringList &t, bool received)
{
    collFaxOut queue;
    QByteArray written;
    UploadDriver driver(queue, [&written](const QByteArray &frame) {
        written += frame;
        return true;
    });
    int errors = 0;
    QObject::connect(&driver, &UploadDriver::Error, [&errors] { ++errors; });
    auto f = std::make_unique<faxOut>();
    f->setAppName(t.value(0));
    f->setAllFaxFiles(t.value(1));
    f->setFromLine(t.value(2));
    f->setFromComp(t.value(3));
    f->setFromPhon(t.value(4));
    f->setFromFax(t.value(5));
    f->setDestName(t.value(6));
    f->setToCompany(t.value(7));
    f->setDestFax(t.value(8));
    f->setSubject(t.value(9));
    f->setF_Extra(t.value(10));
    f->setCoverPage(t.value(11));
    f->setRemoteID(t.value(12));
    f->setStatusFax(t.value(13));
    f->setSendDate(t.value(14));
    f->setSendTime(t.value(15));
    const faxOut copy = *f;
    const QString problem = QuorinSock::FaxProblem(copy);
    const QString key = driver.handOver(std::move(f), received ? Proto::FaxCodeReceived : Proto::FaxCodeSend);
    if (key == u"-1") {
        if (errors == 0 || !written.isEmpty() || problem.isEmpty())
            Fuzz::fail("a refused fax must raise Error, send nothing, and be the forms' verdict too");
        return;
    }
    if (!problem.isEmpty())
        Fuzz::fail("the forms' verdict refuses a fax the link sends", problem);
    const ServerMessage msg = onlyFrame(written);
    if (msg.keyword != (received ? "NEWRXFAX" : "NEWFAX"))
        Fuzz::fail("wrong keyword", QString::fromLatin1(msg.keyword));
    const QList<QByteArray> parts = split(msg.data, Proto::FieldSeparator);
    if (parts.size() != 4)
        Fuzz::fail("the announcement does not cut into its four parts", QString::fromLatin1(msg.data.toHex(' ')));
    expectFields({parts[0], parts[3]}, {wireOf(copy.AllFaxFiles()), wireOf(copy.CoverPage())}, "files or cover");
    const QList<QByteArray> block = split(parts[2], Proto::FaxFieldSeparator);
    if (block.size() != 29)
        Fuzz::fail("the field block does not cut into 29 fields", QString::fromLatin1(parts[2].toHex(' ')));
    expectFields({block[1], block[2], block[6], block[7], block[8], block[9], block[10], block[11], block[12],
                  block[13], block[14], block[15], block[16], block[17], block[26], block[27]},
                 {wireOf(t.value(0)), wireOf(t.value(1)), wireOf(t.value(14)), wireOf(t.value(15)),
                  wireOf(t.value(2)), wireOf(t.value(3)), wireOf(t.value(4)), wireOf(t.value(5)),
                  wireOf(t.value(6)), wireOf(t.value(7)), wireOf(t.value(8)), wireOf(t.value(9)),
                  wireOf(t.value(10)), wireOf(t.value(11)), wireOf(t.value(12)), wireOf(t.value(13))},
                 "fax fields");
}

struct Rig
{
    std::unique_ptr<QTemporaryDir> sandbox;
    std::unique_ptr<TestHome> home;
    std::unique_ptr<FakeFaxServer> server;
    std::unique_ptr<QuorinSock> sock;
};

Rig &rig()
{
    static Rig r = [] {
        Rig made;
        Fuzz::application<QApplication>();
        made.sandbox = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(made.sandbox->path()));
        made.home = std::make_unique<TestHome>();
        Fuzz::check(made.home->setUp(TestHome::Layout::ByVariable), "no private folders");
        Prompt::setAnswering(true);
        return made;
    }();
    if (!r.sock || !r.server->clientConnected() || r.sock->State() != 7) {
        r.sock.reset();
        r.server = std::make_unique<FakeFaxServer>();
        r.sock = std::make_unique<QuorinSock>();
        Fuzz::check(r.server->listen(), "the loopback server did not listen");
        r.server->expect(FakeFaxServer::answer(u"USER", u"mario"));
        r.server->send(FakeFaxServer::answer(u"USER", u"mario<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"));
        QSignalSpy connected(r.sock.get(), &QuorinSock::Connected);
        r.sock->Connect(QStringLiteral("127.0.0.1"), r.server->port(), QStringLiteral("mario"));
        Fuzz::check(Fuzz::waitFor([&] { return connected.count() > 0; }, 10000), "login did not complete");
    }
    return r;
}

// One request through the control: refused with Error and nothing sent, or its one frame, as the server
// reads it, with exactly the fields given.
void request(const std::function<void(QuorinSock &)> &call, const QByteArray &keyword, const QList<QByteArray> &want)
{
    Rig &r = rig();
    QSignalSpy errors(r.sock.get(), &QuorinSock::Error);
    const qsizetype before = r.server->receivedFrames().size();
    call(*r.sock);
    // A marker: once it arrived, everything sent before it has.
    r.sock->MoveFolderToFolder(5, 9, true, false);
    Fuzz::check(Fuzz::waitFor([&] { return !r.server->receivedFrames("SPOSTAFOLDER").isEmpty() &&
                                     r.server->receivedFrames().constLast().keyword == "SPOSTAFOLDER"; },
                        10000),
                "the marker did not arrive");
    Fuzz::settle();
    const QList<FakeFaxServer::Frame> frames = r.server->receivedFrames().mid(before);
    r.server->clearReceived();
    if (!errors.isEmpty()) {
        if (frames.size() != 1)
            Fuzz::fail("a refused request still sent something");
        return;
    }
    if (frames.size() != 2 || frames[0].keyword != keyword)
        Fuzz::fail("the request did not go out as one frame");
    expectFields(split(frames[0].data, Proto::FieldSeparator), want, keyword.constData());
}

} // namespace

// Logged in before the first input, so the login's turns do not count as that input's coverage.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    rig();
    Fuzz::settle();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Fuzz::application<QApplication>();
    const int kind = data[0] % 4;
    QStringList t;
    for (const QByteArray &piece :
         QByteArray(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1).split('\0'))
        t << QString::fromUtf8(piece);
    switch (kind) {
    case 0:
    case 1:
        fax(t, kind == 1);
        break;
    case 2: {
        QList<QByteArray> want;
        for (int i = 0; i < 11; ++i)
            want << wireOf(t.value(i));
        want << "F";
        request(
            [&t](QuorinSock &s) {
                s.SendNewContact(t.value(0), t.value(1), t.value(2), t.value(3), t.value(4), t.value(5), t.value(6),
                                 t.value(7), t.value(8), t.value(9), t.value(10), false);
            },
            "NEW_CONTATTO", want);
        break;
    }
    default:
        request([&t](QuorinSock &s) { s.AddNewFolder(t.value(0), 12, true); }, "NEWFOLDER",
                {wireOf(t.value(0)), "12", "T"});
        request([&t](QuorinSock &s) { s.RenameFolder(t.value(0), t.value(1)); }, "RENAMEFOLDER",
                {wireOf(t.value(0)), wireOf(t.value(1))});
        break;
    }
    return 0;
}
