// quorin-fakeserver: a fax server on 127.0.0.1 serving a sample mailbox.
//   --port N          port to listen on (0: any free port)
//   --port-file PATH  write the chosen port there once listening
//   --mailbox sample  the mailbox to serve (only "sample")
//   --fragmented      send a few bytes at a time
//   --log             print each frame read on stderr (all of them, a cut's too), and each cut
//   fault modes: --slow-read N, --cut-after N, --cut-reset, --lose-unread, --notice-after KEYWORD,
//                --silent-login, --cut-every-login, --announce-fewer N
#include "FakeFaxServer.h"
#include "SampleMailbox.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    // Drawing the fax pages needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    app.setApplicationName(u"quorin-fakeserver"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Fake fax server on 127.0.0.1 with a sample mailbox"_s);
    parser.addHelpOption();
    const QCommandLineOption portOption(u"port"_s, u"Port to listen on (0: any)."_s, u"N"_s, u"0"_s);
    const QCommandLineOption portFileOption(u"port-file"_s, u"Write the chosen port to this file."_s,
                                            u"PATH"_s);
    const QCommandLineOption mailboxOption(u"mailbox"_s, u"Mailbox to serve: sample."_s, u"NAME"_s,
                                           u"sample"_s);
    const QCommandLineOption fragmentedOption(u"fragmented"_s, u"Send a few bytes at a time."_s);
    const QCommandLineOption logOption(u"log"_s, u"Print each frame received on stderr."_s);
    // Fault modes (FakeFaxServer::Faults): a slow reader, a link cut after the client's N-th frame.
    const QCommandLineOption slowReadOption(u"slow-read"_s,
                                            u"Read at most N bytes of the client's every 5 ms."_s, u"N"_s);
    const QCommandLineOption cutAfterOption(u"cut-after"_s,
                                            u"End the first link right after the client's N-th frame."_s,
                                            u"N"_s);
    const QCommandLineOption cutResetOption(u"cut-reset"_s, u"Cut with a reset instead of a close."_s);
    const QCommandLineOption loseUnreadOption(u"lose-unread"_s,
                                              u"At a cut, what was not read yet is lost (the close resets)."_s);
    const QCommandLineOption noticeOption(u"notice-after"_s,
                                          u"Write a progress notice after each frame of this keyword."_s, u"KEYWORD"_s);
    const QCommandLineOption silentLoginOption(u"silent-login"_s, u"Never answer anything, the login included."_s);
    const QCommandLineOption cutLoginOption(u"cut-every-login"_s, u"Cut every connection at its login frame."_s);
    const QCommandLineOption announceFewerOption(u"announce-fewer"_s,
                                                 u"Downloads announce N bytes fewer than they send."_s, u"N"_s);
    parser.addOptions({portOption, portFileOption, mailboxOption, fragmentedOption, logOption, slowReadOption,
                       cutAfterOption, cutResetOption, loseUnreadOption, noticeOption, silentLoginOption,
                       cutLoginOption, announceFewerOption});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "quorin-fakeserver: invalid port \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }
    if (parser.value(mailboxOption) != u"sample"_s) {
        std::fprintf(stderr, "quorin-fakeserver: unknown mailbox \"%s\"\n",
                     qPrintable(parser.value(mailboxOption)));
        return 2;
    }

    SampleMailbox mailbox;
    if (!mailbox.isValid()) {
        std::fprintf(stderr, "quorin-fakeserver: could not make the sample fax images\n");
        return 1;
    }
    FakeFaxServer server;
    server.setFragmented(parser.isSet(fragmentedOption));
    mailbox.attach(&server);
    FakeFaxServer::Faults faults;
    faults.slowReadBytes = parser.value(slowReadOption).toInt();
    faults.cutAfterFrames = parser.value(cutAfterOption).toInt();
    faults.cutWithReset = parser.isSet(cutResetOption);
    faults.keepUnreadAtCut = !parser.isSet(loseUnreadOption);
    faults.noticeAfter = parser.value(noticeOption).toLatin1();
    faults.silentLogin = parser.isSet(silentLoginOption);
    faults.cutEveryLogin = parser.isSet(cutLoginOption);
    faults.announceFewer = parser.value(announceFewerOption).toLongLong();
    server.setFaults(faults);
    if (parser.isSet(logOption)) {
        QObject::connect(&server, &FakeFaxServer::frameReceived, [](const FakeFaxServer::Frame &f) {
            std::fprintf(stderr, "<- %s%s%s\n", f.keyword.constData(), f.answer ? " (answer) " : " (query) ",
                         qPrintable(f.text().left(200)));
        });
        QObject::connect(&server, &FakeFaxServer::linkCut, [](int frames, bool reset, qint64 dropped) {
            std::fprintf(stderr, "-- link cut (%s): %d frames read in all, %lld unread bytes dropped\n",
                         reset ? "reset" : "close", frames, static_cast<long long>(dropped));
        });
    }
    if (!server.listen(quint16(port))) {
        std::fprintf(stderr, "quorin-fakeserver: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    if (parser.isSet(portFileOption)) {
        QSaveFile file(parser.value(portFileOption));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(server.port()) + '\n') < 0 ||
            !file.commit()) {
            std::fprintf(stderr, "quorin-fakeserver: cannot write %s\n",
                         qPrintable(parser.value(portFileOption)));
            return 1;
        }
    }
    std::printf("quorin-fakeserver: listening on 127.0.0.1:%u\n", server.port());
    std::fflush(stdout);
    return app.exec();
}
