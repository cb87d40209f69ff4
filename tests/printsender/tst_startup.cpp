// The program's start: the send road to the fake server, XML jobs sent without the window, and the ends.
#include "ProfileFile.h"
#include "SendoraRig.h"
#include "StringTable.h"
#include "UpdateWatch.h"
#include "FmPrinter.h"
#include "frmStatoInvio.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

class TestStartup : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QString m_doc1, m_doc2;

    void configure(FakeFaxServer &server)
    {
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(server.port()) +
                     "\r\nName=Ufficio\r\nDelayRetries=45\r\nResolution=0\r\n");
        scriptLogin(server, SystemUser::loginName(), u"2.2.0"_s);
    }
    QString writeJob(const QByteArray &xml)
    {
        const QString path = m_home.filePath(u"job.xml"_s);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(xml);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        usePrivateFolders(m_home);
        m_doc1 = m_home.filePath(u"ordine.tif"_s);
        m_doc2 = m_home.filePath(u"listino.tif"_s);
        QVERIFY(FaxTiffFixture::write(m_doc1, 1, true, u"Ordine"_s));
        QVERIFY(FaxTiffFixture::write(m_doc2, 2, false, u"Listino"_s));
    }
    void init() { Prompt::clearRecords(); }

    // "-N -H -F job": every "fax" element handed over in file order, no send window, the end once all
    // uploads are confirmed.
    void hiddenJob()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server);
        const QString job = writeJob("<?xml version=\"1.0\"?>\n<jobs>\n"
                                     "  <fax><faxfilename>" +
                                     m_doc1.toUtf8() +
                                     "</faxfilename>"
                                     "<destfax>021</destfax><destname>Rossi</destname><object>Ordine</object>"
                                     "<senddate>2027-03-05</senddate><sendtime>9:05</sendtime>"
                                     "<retries>2</retries></fax>\n"
                                     "  <note>not a fax</note>\n"
                                     "  <fax><faxfilename>" +
                                     m_doc2.toUtf8() +
                                     "</faxfilename>"
                                     "<destfax>022</destfax></fax>\n</jobs>\n");
        const QString printed = spoolJob(m_home, u"job-5-1.prn"_s, 1);
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s, u"-H"_s, u"-F"_s, job});
        QVERIFY(startup.sendWindow());
        QVERIFY(TestWait::forSignal(exit));
        QCOMPARE(startup.exitCode(), 0);
        QVERIFY(server.errors().isEmpty());
        const QList<FakeFaxServer::Frame> faxes = server.receivedFrames("NEWFAX");
        QCOMPARE(faxes.size(), 2);
        const QString block = faxBlock({u"0"_s, u"Sendora"_s, m_doc1, u"0"_s, u"2"_s, u"45"_s,
                                        u"05-03-2027"_s, u"09:05:00"_s, u"Ufficio"_s, QString(), QString(),
                                        QString(), u"Rossi"_s, QString(), u"021"_s, u"Ordine"_s, QString()},
                                       QString(), u"255"_s);
        QCOMPARE(faxes.at(0).text(), m_doc1 + u"<#>#"_s + faxes.at(0).text().section(u"<#>"_s, 1, 1).mid(1) +
                                         u"<#>"_s + block + u"<#>"_s);
        QVERIFY(faxes.at(1).text().startsWith(m_doc2 + u"<#>"_s));
        QUORIN_TRY_COMPARE(server.receivedFrames("FINEFAX").size(), 2); // the server may still be reading
        QVERIFY(!startup.sendWindow() || !startup.sendWindow()->isVisible());
        QVERIFY(startup.jobRun()->progressWindow());
        QVERIFY(!startup.jobRun()->progressWindow()->isVisible());
        QCOMPARE(startup.jobRun()->progressWindow()->pbInvio->maximum(), int(QFileInfo(job).size() + 1));
        QCOMPARE(startup.jobRun()->handedOver(), 2);
        QVERIFY(QFile::exists(printed)); // a printed document waits for a run with the window
        // The confirmations are not announced without the window.
        QVERIFY(!promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
    }

    // A fault in the file: the faxes read before it are sent, the fault is reported, the run ends.
    void malformedJob()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server);
        const QString job =
            writeJob("<jobs><fax><faxfilename>" + m_doc1.toUtf8() +
                     "</faxfilename><destfax>021</destfax></fax><fax><destfax>1</destfax></fox>");
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N -H -F "_s + job});
        QVERIFY(TestWait::forSignal(exit));
        QCOMPARE(server.receivedFrames("NEWFAX").size(), 1);
        QUORIN_TRY_COMPARE(server.receivedFrames("FINEFAX").size(), 1); // the server may still be reading
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY(Prompt::lastRecord().text.contains(u"Mismatched tag: 'fax'"_s));
        QVERIFY(Prompt::lastRecord().text.endsWith(u"Sorgente: -XMLParser"_s));
        QCOMPARE(startup.exitCode(), int(Sendora::ExitJobFile));
    }

    // Nothing to send: the run ends at once instead of waiting for ever.
    void nothingToWaitFor_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("code");
        QTest::newRow("no file name")
            << u"-N -H"_s << u"Parametro *Nome File XML* non presente.\r\nImpossibile continuare."_s
            << int(Sendora::ExitUsage);
        QTest::newRow("missing file")
            << u"-N -H -F /nonexistent/job.xml"_s << u"File: /nonexistent/job.xml non trovato."_s
            << int(Sendora::ExitJobFile);
        QTest::newRow("no fax element") << u"-N -H -F JOB"_s
                                        << u"Nessun fax nel file JOB: nessun elemento «fax» da inviare."_s
                                        << int(Sendora::ExitJobFile);
    }
    void nothingToWaitFor()
    {
        QFETCH(QString, line);
        QFETCH(QString, message);
        QFETCH(int, code);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server);
        const QString job = writeJob("<jobs><FAX><destfax>1</destfax></FAX></jobs>");
        line.replace(u"JOB"_s, job);
        message.replace(u"JOB"_s, job);
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({line});
        QUORIN_TRY_COMPARE(exit.count(), 1);
        QCOMPARE(startup.exitCode(), code);
        QCOMPARE(promptTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(server.receivedFrames("NEWFAX").isEmpty());
        QVERIFY(!startup.sendWindow() || !startup.sendWindow()->isVisible());
    }

    // "-N": the window shows once the server has accepted the user; closing it ends the program.
    void interactiveRoad()
    {
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server);
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        QVERIFY(startup.sendWindow());
        QUORIN_TRY_VERIFY(startup.sendWindow()->isVisible());
        QVERIFY(startup.sendWindow()->Connected);
        QCOMPARE(ProfileFile::readString(Sendora::ConfigIniPath(), u"Config"_s, u"Port"_s),
                 QString::number(server.port()));
        QCOMPARE(exit.count(), 0);
        QVERIFY(startup.sendWindow()->close());
        QUORIN_TRY_COMPARE(exit.count(), 1);
    }

    // An accepted update: downloaded through the link, then handed to the restart program, which gets the
    // update folder's "UPDATE.RIS" as its one argument.
    void update_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the server has nothing to send
        QTest::addColumn<bool>("restartProgram");
        QTest::addColumn<QString>("told");
        QTest::newRow("handed over") << QByteArray("[files]\r\nSendora\r\n") << true << QString();
        QTest::newRow("nothing to download")
            << QByteArray() << true << u"Impossibile effettuare l'aggiornamento. File non trovati."_s;
        QTest::newRow("restart program missing")
            << QByteArray("abcd") << false
            << u"Attenzione!! File QVDozeza.exe non trovato. \r\nImpossibile eseguire LiveUpdate."_s;
        // "drop": the link ends before any file; the window comes, on a new login, with this version.
        QTest::newRow("link dropped before any file")
            << QByteArray("drop") << true << UpdateWatch::notReceivedText();
    }
    void update()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, restartProgram);
        QFETCH(QString, told);
        const QString program = QCoreApplication::applicationDirPath() + u"/QVDozeza"_s;
        const QString record = m_home.filePath(u"restart-args.txt"_s);
        QFile::remove(program);
        QFile::remove(record);
        if (restartProgram) {
            QFile script(program);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + QFile::encodeName(record) +
                         ".part\"\nmv \"" + QFile::encodeName(record) + ".part\" \"" +
                         QFile::encodeName(record) + "\"\n");
            script.close();
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        FakeFaxServer server;
        QVERIFY(server.listen());
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=" + QByteArray::number(server.port()) + "\r\n");
        scriptLogin(server, SystemUser::loginName(), u"9.0.0"_s);
        server.setResponder([content](FakeFaxServer &s, const FakeFaxServer::Frame &f) {
            if (f.keyword == "USER" && f.answer && s.connectionCount() > 1) { // the login after a drop
                s.sendNow(FakeFaxServer::answer(u"VERSIONI", QuorinSock::LibraryVersion() +
                                                                u"<#>3.0.0<#>9.0.0<#>1.0.0<#>0.9"_s));
                s.sendNow(FakeFaxServer::answer(u"USER", f.text() + u"<#>T<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s));
            }
            if (f.keyword != "UPDATEFILES")
                return;
            if (content == "drop")
                return s.dropClient();
            s.sendNow(FakeFaxServer::answer(u"TBUPDATE", QString::number(content.size())));
            if (content.isEmpty())
                return;
            s.sendFile(content, u"UPDATE.RIS"_s);
            s.send(FakeFaxServer::answer(u"FINEUPD"));
        });
        Prompt::setNextAnswer(QMessageBox::Yes);
        if (content == "drop") {
            Prompt::setNextAnswer(QMessageBox::Ok);
            Prompt::setNextAnswer(QMessageBox::No); // offered again at the next login
        }
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        if (content == "drop") {
            QUORIN_TRY_VERIFY(startup.sendWindow() && startup.sendWindow()->isVisible());
            QCOMPARE(promptTexts().value(1), told);
            QCOMPARE(server.connectionCount(), 2);
            QVERIFY(startup.sendWindow()->close());
            return;
        }
        QVERIFY(TestWait::forSignal(exit));
        QCOMPARE(promptTexts().first(), StringTable::text(2067));
        QVERIFY(!startup.sendWindow());
        if (!told.isEmpty()) {
            QCOMPARE(Prompt::lastRecord().text, told);
            QVERIFY(!QFile::exists(record));
            return;
        }
        QCOMPARE(Prompt::records().size(), 1);
        QUORIN_TRY_VERIFY(QFile::exists(record));
        QFile args(record);
        QVERIFY(args.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLocal8Bit(args.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].endsWith(u"/UPDATE/UPDATE.RIS"_s), qPrintable(lines[0]));
        QFile ris(lines[0]);
        QVERIFY(ris.open(QIODevice::ReadOnly));
        QCOMPARE(ris.readAll(), content);
    }

    // A server that cannot be found and a search the user gives up: nothing written, the program ends.
    // A printed document is never lost to a start-up that was given up: it waits for the next run. Once
    // the window was seen and closed unsent, the user has discarded it.
    void printedJobOutlivesGivenUpStart_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("code");
        QTest::newRow("search answered No") << QByteArray("[Config]\r\nServer=127.0.0.1\r\nPort=0\r\n") << 1;
        QTest::newRow("server unreachable")
            << QByteArray("[Config]\r\nServer=127.0.0.1\r\nPort=CLOSED\r\n") << 1;
        QTest::newRow("window closed unsent") << QByteArray() << 0;
    }
    void printedJobOutlivesGivenUpStart()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, code);
        FakeFaxServer server;
        QVERIFY(server.listen());
        const RefusedPort closed; // held until the program is done with it
        if (ini.isEmpty()) {
            configure(server);
        } else {
            resetSendora(ini.replace("CLOSED", QByteArray::number(closed.port())));
        }
        const QString printed = spoolJob(m_home, u"job-8-1.prn"_s, 1);
        QVERIFY(!printed.isEmpty());
        Prompt::setNextAnswer(QMessageBox::No);
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        if (code == 0) {
            QUORIN_TRY_VERIFY(startup.sendWindow() && startup.sendWindow()->isVisible());
            QUORIN_TRY_VERIFY(startup.sendWindow()->findChild<QPushButton *>(u"cbSend"_s)->isEnabled());
            QVERIFY(startup.sendWindow()->close());
        }
        QUORIN_TRY_COMPARE(exit.count(), 1);
        QCOMPARE(startup.exitCode(), code);
        QCOMPARE(QFile::exists(printed), code != 0);
        QFile::remove(printed);
    }

    // A printed document the print system cancelled unread (its backend left a note) is told at the next
    // start: named, with the time it was printed. A start for nothing else ends there; with a job waiting
    // the window goes on.
    void cancelledPrintTold_data()
    {
        QTest::addColumn<bool>("jobWaiting");
        QTest::newRow("only the note") << false;
        QTest::newRow("a job waiting too") << true;
    }
    void cancelledPrintTold()
    {
        QFETCH(bool, jobWaiting);
        FakeFaxServer server;
        QVERIFY(server.listen());
        configure(server);
        const QString folder = m_home.filePath(u"spool/"_s) + SystemUser::loginName();
        QVERIFY(QDir().mkpath(folder));
        const QDateTime printed(QDate(2027, 3, 5), QTime(9, 5));
        {
            QFile note(folder + u"/.unreadable-41"_s);
            QVERIFY(note.open(QIODevice::WriteOnly));
            note.write(QByteArray::number(printed.toSecsSinceEpoch()) + "\nPreventivo rotto.pdf\n");
        }
        if (jobWaiting)
            QVERIFY(!spoolJob(m_home, u"job-42-1.prn"_s, 1).isEmpty());
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        QVERIFY(!promptTexts().isEmpty());
        QCOMPARE(promptTexts().first(),
                 u"Il documento «Preventivo rotto.pdf» stampato il 05/03/2027 alle 09:05 non è diventato un fax: "
                 u"il sistema di stampa non è riuscito a leggerlo e ha annullato la stampa. Stamparlo di nuovo dal "
                 u"programma che lo ha aperto, o salvarlo come PDF e stampare quello."_s);
        QCOMPARE(Prompt::records().first().icon, QMessageBox::Warning);
        QVERIFY(!QFile::exists(folder + u"/.unreadable-41"_s)); // told once
        if (!jobWaiting) {
            QUORIN_TRY_COMPARE(exit.count(), 1);
            QCOMPARE(startup.exitCode(), 0);
            QVERIFY(!startup.sendWindow());
            QCOMPARE(server.connectionCount(), 0);
            return;
        }
        QUORIN_TRY_VERIFY(startup.sendWindow() && startup.sendWindow()->isVisible());
        QUORIN_TRY_COMPARE(startup.sendWindow()->FmPrinter1->DocumentCount(), 1);
        QVERIFY(startup.sendWindow()->close());
        QUORIN_TRY_COMPARE(exit.count(), 1);
        QVERIFY(!QFile::exists(folder + u"/job-42-1.prn"_s));
    }

    void searchGivenUp()
    {
        resetSendora("[Config]\r\nServer=127.0.0.1\r\nPort=0\r\n");
        Prompt::setNextAnswer(QMessageBox::No);
        Sendora::StartupMain startup;
        QSignalSpy exit(&startup, &Sendora::StartupMain::exitRequested);
        startup.Main({u"-N"_s});
        QUORIN_TRY_COMPARE(exit.count(), 1);
        QVERIFY(!startup.sendWindow());
        QCOMPARE(ProfileFile::readString(Sendora::ConfigIniPath(), u"Config"_s, u"Port"_s), u"0"_s);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
