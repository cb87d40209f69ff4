// The link's whole receive path: a logged-in control fed the server's bytes over a loopback connection.
// Nothing may crash, hang or write outside the control's private temporary folder, and the link must
// still answer afterwards. Built three times: the raw byte stream, and the data of one login ("USER")
// or one versions ("VERSIONI") answer.
#include "AppPaths.h"
#include "FakeFaxServer.h"
#include "FuzzSupport.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "TestHome.h"

#include <QApplication>
#include <QDirIterator>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

struct Rig
{
    std::unique_ptr<QTemporaryDir> sandbox;
    std::unique_ptr<TestHome> home;
    std::unique_ptr<FakeFaxServer> server;
    std::unique_ptr<QuorinSock> sock;
    QString temp;
    QSet<QString> baseline;
};

// Every file and folder in the sandbox, except those in the control's temporary folder.
QSet<QString> filesOutside(const QString &root, const QString &temp)
{
    QSet<QString> found;
    QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!temp.isEmpty() && (path == temp || path.startsWith(temp + u'/')))
            continue;
        found.insert(path);
    }
    return found;
}

int userFrames(const FakeFaxServer &server)
{
    return int(server.receivedFrames("USER").size());
}

// A fresh control logged in to a fresh server.
void login(Rig &rig)
{
    rig.sock.reset();
    rig.server = std::make_unique<FakeFaxServer>();
    rig.sock = std::make_unique<QuorinSock>();
    rig.sock->setTimeCheckServer(5000);
    Fuzz::check(rig.server->listen(), "the loopback server did not listen");
    rig.server->expect(FakeFaxServer::answer(u"USER", u"mario"));
    rig.server->send(FakeFaxServer::answer(u"VERSIONI", u"1.0.0<#>2.1.0<#>2.2.0<#>2.3.0<#>0.9"));
    rig.server->send(FakeFaxServer::answer(u"USER", u"mario<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"));
    QSignalSpy connected(rig.sock.get(), &QuorinSock::Connected);
    rig.sock->Connect(QStringLiteral("127.0.0.1"), rig.server->port(), QStringLiteral("mario"));
    Fuzz::check(Fuzz::waitFor([&] { return connected.count() > 0; }, 10000), "login did not complete");
    if (rig.temp.isEmpty()) {
        rig.temp = QDir::cleanPath(AppPaths::tempDir());
        rig.baseline = filesOutside(rig.sandbox->path(), rig.temp);
    }
}

Rig &rig()
{
    static Rig r = [] {
        Rig made;
        Fuzz::application<QApplication>();
        made.sandbox = std::make_unique<QTemporaryDir>();
        Fuzz::check(made.sandbox->isValid(), "no sandbox folder");
        // The private folders sit two levels down, so "../.." from them still lands in the sandbox.
        const QString nest = made.sandbox->filePath(QStringLiteral("a/b"));
        QDir().mkpath(nest);
        qputenv("TMPDIR", QFile::encodeName(nest));
        qputenv("HOME", QFile::encodeName(nest));
        made.home = std::make_unique<TestHome>();
        Fuzz::check(made.home->setUp(TestHome::Layout::ByVariable), "no private folders");
        Prompt::setAnswering(true);
        return made;
    }();
    return r;
}

QByteArray framed(QByteArrayView data)
{
#ifdef QUORIN_FUZZ_KEYWORD
    QByteArray clean = data.toByteArray();
    clean.replace(FakeFaxServer::Terminator, QByteArray());
    return FakeFaxServer::rawAnswer(QUORIN_FUZZ_KEYWORD, clean);
#else
    return data.toByteArray();
#endif
}

} // namespace

// Logged in before the first input: the login's turns (how the kernel hands over its bytes, when the
// connection is announced) are not counted as the first input's coverage.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    login(rig());
    Fuzz::settle();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig &r = rig();
    // Relative paths land in the sandbox too; set here, as the fuzzer reads its own relative paths first.
    static const bool inSandbox = QDir::setCurrent(r.home->path());
    Q_UNUSED(inSandbox);
    if (!r.sock || !r.server->clientConnected() || r.sock->State() != 7)
        login(r);

    // The stream, then a terminator to end any partial frame, then a query the control must answer:
    // when the answer arrives, every byte before it has been dispatched.
    const int before = userFrames(*r.server);
    r.server->sendNow(framed(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size))) +
                      FakeFaxServer::Terminator + FakeFaxServer::rawQuery("USER", QByteArray()));
    const bool answered = Fuzz::waitFor(
        [&] { return userFrames(*r.server) > before || !r.server->clientConnected(); }, 10000);
    Fuzz::check(answered, "the link stopped answering");
    Fuzz::settle();

    const QSet<QString> added = filesOutside(r.sandbox->path(), r.temp) - r.baseline;
    if (!added.isEmpty())
        Fuzz::fail("files written outside the private temporary folder",
                   QStringList(added.cbegin(), added.cend()).join(u'\n'));
    return 0;
}
