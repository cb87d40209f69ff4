// The send window of the print-to-fax sender against the fake fax server: capture, hand-over, the
// pending sends that hold the window open, store as received, progress and version check.
#include "FmPrinter.h"
#include "ShownTip.h"
#include "ProfileFile.h"
#include "RUBfrmRubrica.h"
#include "SendoraRig.h"
#include "StringTable.h"
#include "VCardBook.h"
#include "frmMail.h"
#include "frmSendStatus.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>

class TestSendWindow : public QObject
{
    Q_OBJECT

    TestHome m_home;
    FakeFaxServer *m_server = nullptr;
    frmPrint *m_w = nullptr;

    template <typename T> T *child(QObject *form, const QString &name)
    {
        T *w = form->findChild<T *>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    void setText(const QString &name, const QString &text) { child<QLineEdit>(m_w, name)->setText(text); }

    bool login(const QString &printerVersion = u"2.2.0"_s)
    {
        if (!m_server->listen())
            return false;
        scriptLogin(*m_server, u"mario"_s, printerVersion);
        m_w->ClientSock->Connect(u"127.0.0.1"_s, m_server->port(), u"mario"_s);
        return QTest::qWaitFor([this] { return m_w->Connected || m_w->LanciaUpdate(); }, TestWait::bound()) &&
               m_server->errors().isEmpty();
    }
    // "Salva nei Ricevuti" pressed: the store dialog it opens.
    frmMail *openStoreDialog()
    {
        QTest::mouseClick(child<QPushButton>(m_w, u"CbSaveRx"_s), Qt::LeftButton);
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *d = qobject_cast<frmMail *>(w))
                return d;
        }
        return nullptr;
    }
    QString capture(int pages = 2)
    {
        spoolJob(m_home, u"job-1-1.prn"_s, pages);
        if (!QTest::qWaitFor([this] { return child<QPushButton>(m_w, u"cbSend"_s)->isEnabled(); },
                             TestWait::bound()))
            return {};
        return m_w->FilenamePrint;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        usePrivateFolders(m_home);
    }
    void init()
    {
        resetSendora("[Config]\r\nName=Ufficio Acquisti\r\nCompany=Alfa S.r.l.\r\nVoice=0211\r\nFax=0222\r\n"
                     "Retries=3\r\nDelayRetries=60\r\nSalvaRicevuti=y\r\nResolution=1\r\n");
        m_server = new FakeFaxServer;
        m_w = new frmPrint;
        m_w->Form_Load();
    }
    void cleanup()
    {
        qunsetenv("QUORIN_TEST_TIME_DIVISOR");
        Sendora::G.HiddenMode = false;
        Prompt::setAnswering(true);
        if (m_w) {
            Sendora::G.HiddenMode = true; // nothing may hold the window now
            m_w->close();
        }
        delete m_w;
        m_w = nullptr;
        delete m_server;
        m_server = nullptr;
        QDir(m_home.filePath(u"spool"_s)).removeRecursively();
        QDir().mkpath(m_home.filePath(u"spool"_s)); // the printer's spool stays, emptied
    }

    void startsWithoutJob()
    {
        QVERIFY(!child<QPushButton>(m_w, u"cbSend"_s)->isEnabled());
        QVERIFY(!child<QPushButton>(m_w, u"CbSaveRx"_s)->isEnabled());
        QVERIFY(!child<QPushButton>(m_w, u"CbSaveRx"_s)->isHidden()); // SalvaRicevuti "y"
        QCOMPARE(child<QLineEdit>(m_w, u"txtServer"_s)->text(), u"Connessione al server in corso..."_s);
        QCOMPARE(child<QLineEdit>(m_w, u"tbFrom"_s)->text(), u"Ufficio Acquisti"_s);
        QCOMPARE(child<QLineEdit>(m_w, u"tbCover"_s)->text(), u"nessuna"_s);
        QVERIFY(child<QCheckBox>(m_w, u"chHiRes"_s)->isChecked());
        QCOMPARE(m_w->mnuTools->title(), u"&Strumenti"_s);
        QCOMPARE(m_w->mnuServerConf->text(), u"Configurazione Server..."_s);
        QVERIFY(m_w->mnuToolsBar0->isSeparator());
        QCOMPARE(m_w->mnuToolsBar0->text(), QString()); // drawn as a line, with no stray "-" beside it
        // The queue and port captions read whole from their start (never ":oda di Default:").
        m_w->show();
        for (const QString &name : {u"cmbQueue"_s, u"cmbPort"_s}) {
            const QLineEdit *edit = child<QComboBox>(m_w, name)->lineEdit();
            QVERIFY2(edit->cursorPosition() == 0 &&
                         edit->width() > edit->fontMetrics().horizontalAdvance(edit->text()),
                     qPrintable(edit->text()));
        }
        // Closing before any job arrived deletes nothing and is not refused.
        QVERIFY(m_w->close());
    }

    // The whole hand-over of a captured job: the exact frames, the pending entry that holds the window,
    // the confirmation, and the captured file deleted at the close.
    void sendCapturedJob()
    {
        QVERIFY(login());
        QCOMPARE(child<QLineEdit>(m_w, u"txtServer"_s)->text(), u"Connesso al Server: 127.0.0.1"_s);
        const QString job = capture(2);
        QVERIFY(!job.isEmpty());
        QCOMPARE(m_w->FaxPages, qint16(2));
        QCOMPARE(Sendora::G.CapturedJobFile, job);
        QCOMPARE(child<QLineEdit>(m_w, u"txtStatus"_s)->text(), u"Preparazione completata."_s);
        QVERIFY(QFileInfo(job).isFile());
        // The printed job stays in the spool until the server holds the fax.
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        QVERIFY(QFile::exists(spooled));

        setText(u"tbTo"_s, u"Mario Rossi"_s);
        setText(u"tbCompany"_s, u"Rossi; Figli"_s);
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        setText(u"tbDate"_s, u"2027-03-05"_s);
        setText(u"tbTime"_s, u"9:05"_s);
        setText(u"tbSubj"_s, u"Offerta"_s);
        child<QPlainTextEdit>(m_w, u"tbNote"_s)->setPlainText(u"Come d'accordo"_s);
        m_server->clearReceived();
        QSignalSpy sent(m_w->ClientSock, &QuorinSock::SentFax2Server);
        child<QPushButton>(m_w, u"cbSend"_s)->click();
        const QString key = m_w->IdFaxSending;
        QVERIFY(key.startsWith(u'#'));
        QCOMPARE(child<QPushButton>(m_w, u"cbCancel"_s)->text(), u"&Chiudi"_s);
        QCOMPARE(m_w->cFaxSending->Count(), 1);
        QVERIFY(!m_w->cFaxSending->item(key)->Sent());
        QCOMPARE(m_w->cFaxSending->item(key)->StrFiles(), job);

        const QString block =
            faxBlock({u"0"_s, u"Sendora"_s, job, u"1"_s, u"3"_s, u"60"_s, u"05-03-2027"_s, u"09:05:00"_s,
                      u"Ufficio Acquisti"_s, u"Alfa S.r.l."_s, u"0211"_s, u"0222"_s, u"Mario Rossi"_s,
                      u"Rossi, Figli"_s, u"021234567"_s, u"Offerta"_s, u"Come d'accordo"_s},
                     QString(), u"255"_s);
        const QByteArray newFax =
            FakeFaxServer::answer(u"NEWFAX", job + u"<#>"_s + key + u"<#>"_s + block + u"<#>"_s);
        QUORIN_TRY_VERIFY(m_server->hasReceived(newFax));

        // Until the link confirms the upload, the window refuses to close.
        m_w->show();
        if (sent.isEmpty()) {
            Prompt::clearRecords();
            QVERIFY(!m_w->close());
            QCOMPARE(Prompt::lastRecord().text, u"Attendere!! Spedizione file in corso..."_s);
            QVERIFY(m_w->isVisible());
        }
        // The server's TCP took it all; delivered only once the server ended the link after our end of
        // stream (it read every byte before it). Then the window logs in again for what comes next.
        QUORIN_TRY_COMPARE(sent.count(), 1);
        QUORIN_TRY_VERIFY(m_w->cFaxSending->item(key)->Sent());
        QUORIN_TRY_COMPARE(m_server->connectionCount(), 2);
        scriptLogin(*m_server, u"mario"_s, u"2.2.0"_s);
        QVERIFY(spooledNow(spooled).isEmpty());
        QFile f(job);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        f.close();
        // The confirmation comes when the last frame left; the server may not have read it yet.
        QUORIN_TRY_VERIFY(m_server->hasReceived(FakeFaxServer::rawAnswer("FINEFAX", key.toLatin1())));
        const QList<FakeFaxServer::Frame> starts = m_server->receivedFrames("STARTFILE");
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts.first().data, FakeFaxServer::latin(job) + "<#>" + QByteArray::number(content.size()) +
                                          "<#>" + key.toLatin1() + "<#>");
        QByteArray uploaded;
        // "FILE": key, piece, file name.
        const QByteArray head = key.toLatin1() + "<#>", tail = "<#>" + FakeFaxServer::latin(job);
        for (const FakeFaxServer::Frame &frame : m_server->receivedFrames("FILE")) {
            QVERIFY(frame.data.startsWith(head) && frame.data.endsWith(tail));
            uploaded += frame.data.mid(head.size(), frame.data.size() - head.size() - tail.size());
        }
        QCOMPARE(uploaded, content);
        QVERIFY(m_server->hasReceived(FakeFaxServer::rawAnswer("FINEFAX", key.toLatin1())));
        QUORIN_TRY_VERIFY(promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Information);

        // A second press hands the same job over again, under a new key, on the new link.
        QUORIN_TRY_VERIFY(m_w->Connected);
        child<QPushButton>(m_w, u"cbSend"_s)->click();
        QCOMPARE(m_w->cFaxSending->Count(), 2);
        QVERIFY(m_w->IdFaxSending != key);
        QUORIN_TRY_COMPARE(sent.count(), 2);
        QUORIN_TRY_VERIFY(m_w->cFaxSending->item(m_w->IdFaxSending)->Sent());

        QVERIFY(m_w->close());
        QVERIFY(!QFile::exists(job));
    }

    // The server takes the whole fax and then resets the link before it read the end of it (what it had not
    // read is lost): the window says the fax may not have arrived, keeps the printed job, and "send again"
    // sends the same fax, whole, on a new link.
    void resetBeforeTheServerReadIt()
    {
        QVERIFY(login());
        const QString job = capture(1);
        QVERIFY(!job.isEmpty());
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        setText(u"tbTo"_s, u"Mario Rossi"_s);
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        FakeFaxServer::Faults faults;
        faults.cutAfterKeyword = "STARTFILE";
        faults.cutWithReset = true;
        faults.keepUnreadAtCut = false;
        m_server->setFaults(faults);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::Yes); // "Inviarlo di nuovo?"
        QTest::mouseClick(child<QPushButton>(m_w, u"cbSend"_s), Qt::LeftButton);
        QUORIN_TRY_VERIFY(m_server->cutDone());
        QUORIN_TRY_VERIFY(
            std::any_of(Prompt::records().cbegin(), Prompt::records().cend(),
                        [](const Prompt::Record &r) { return r.text.contains(u"Inviarlo di nuovo?"_s); }));
        QVERIFY(!promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
        QVERIFY(spooledNow(spooled).contains(u".handed-"_s));
        // Whatever the server made of the first one, the same fax goes again on the new link, whole.
        const qsizetype before = m_server->filedFaxes().size();
        QUORIN_TRY_COMPARE(m_server->connectionCount(), 2);
        m_server->clearFaults();
        scriptLogin(*m_server, u"mario"_s, u"2.2.0"_s);
        QUORIN_TRY_COMPARE(m_server->filedFaxes().size(), before + 1);
        QCOMPARE(m_server->filedFaxes().last().documents.value(FakeFaxServer::latin(job)).size(), QFileInfo(job).size());
        QUORIN_TRY_VERIFY(promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
        QUORIN_TRY_VERIFY(spooledNow(spooled).isEmpty());
    }

    // The server reads and files the fax but never ends the link: the window says the delivery is not
    // confirmed and that the fax may already be filed before it offers to send it again (never
    // "interrupted"); the printed job stays. A document handed over to be stored is spoken of as such, and is
    // never offered to be sent as a fax. (Bounds divided by 10: the close waits 3 s.)
    void serverKeepsTheLinkOpen_data()
    {
        QTest::addColumn<bool>("store");
        QTest::newRow("Spedisci") << false;
        QTest::newRow("Salva nei Ricevuti") << true;
    }
    void serverKeepsTheLinkOpen()
    {
        QFETCH(bool, store);
        qputenv("QUORIN_TEST_TIME_DIVISOR", "10");
        QVERIFY(login());
        const QString job = capture(1);
        QVERIFY(!job.isEmpty());
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        setText(u"tbTo"_s, u"Mario Rossi"_s);
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        FakeFaxServer::Faults faults;
        faults.neverClose = true;
        m_server->setFaults(faults);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);
        frmMail *dlg = nullptr;
        if (store) {
            m_w->show();
            dlg = openStoreDialog();
            QVERIFY(dlg);
            QTest::mouseClick(dlg->cmdSalva, Qt::LeftButton);
        } else {
            QTest::mouseClick(child<QPushButton>(m_w, u"cbSend"_s), Qt::LeftButton);
        }
        const QString ending = store ? u"Per salvarlo di nuovo"_s : u"Inviarlo di nuovo?"_s;
        auto question = [&ending] {
            for (const Prompt::Record &r : Prompt::records()) {
                if (r.text.contains(ending))
                    return r.text;
            }
            return QString();
        };
        QUORIN_TRY_VERIFY(!question().isEmpty());
        const QString text = question();
        QVERIFY2(text.startsWith(
                     u"Consegna non confermata: il sistema del server ha accettato tutti i dati del "_s +
                     (store ? u"documento"_s : u"fax"_s)) &&
                     text.contains(u"entro 3 s"_s) && text.contains(frmPrint::mayBeFiledAlready(store)),
                 qPrintable(text));
        QVERIFY2(!text.contains(u"interrott"_s), qPrintable(text));
        QCOMPARE(m_server->filedFaxes().size(), 1);
        QVERIFY(!promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
        QVERIFY(spooledNow(spooled).contains(u".handed-"_s));
        if (store) {
            QVERIFY(!promptTexts().join(u'|').contains(u"Inviarlo di nuovo?"_s));
            QVERIFY(m_server->receivedFrames("NEWFAX").isEmpty());
            dlg->close();
        }
    }

    // The server goes away while the window is up and logged in: the status line says the link is lost (no
    // longer "Connesso"); "Spedisci" then says the fax was not sent and the printed document is kept, and the
    // window stays. Closed now, the job stays in the spool; left open, the window logs in again by itself
    // once the server is back on its port, and the same press sends. The store dialog's "Salva" says the
    // document was not stored.
    void serverKilledAndRestarted_data()
    {
        QTest::addColumn<bool>("closeWhileDown");
        QTest::addColumn<bool>("store");
        QTest::newRow("closed while the server is down") << true << false;
        QTest::newRow("stored while the server is down") << true << true;
        QTest::newRow("sent once the server is back") << false << false;
    }
    void serverKilledAndRestarted()
    {
        QFETCH(bool, closeWhileDown);
        QFETCH(bool, store);
        QVERIFY(login());
        const QString job = capture(1);
        QVERIFY(!job.isEmpty());
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        m_w->show();
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        auto *status = child<QLineEdit>(m_w, u"txtServer"_s);
        auto *send = child<QPushButton>(m_w, u"cbSend"_s);
        const quint16 port = m_server->port();
        delete m_server; // its links end with it
        m_server = nullptr;
        QUORIN_TRY_VERIFY(status->text().startsWith(u"Collegamento col server interrotto"_s));
        QVERIFY(!m_w->Connected);

        Prompt::clearRecords();
        frmMail *dlg = nullptr;
        if (store) {
            dlg = openStoreDialog();
            QVERIFY(dlg);
            QTest::mouseClick(dlg->cmdSalva, Qt::LeftButton);
        } else {
            QTest::mouseClick(send, Qt::LeftButton);
        }
        QCOMPARE(Prompt::records().size(), 1);
        const QString told = Prompt::lastRecord().text;
        QVERIFY2(told.contains(store ? u"il documento non è stato salvato nei Ricevuti"_s
                                     : u"il fax non è stato inviato"_s) &&
                     told.contains(store ? u"salvare di nuovo"_s : u"spedire di nuovo"_s) &&
                     told.contains(u"conservato"_s) && told.contains(u"prossimo avvio"_s),
                 qPrintable(told));
        if (dlg)
            dlg->close();
        QVERIFY(m_w->isVisible());
        QCOMPARE(m_w->cFaxSending->Count(), 0);
        QVERIFY(QFile::exists(spooled));
        if (closeWhileDown) {
            QVERIFY(m_w->close());
            QVERIFY(QFile::exists(spooled));
            return;
        }
        m_server = new FakeFaxServer;
        QVERIFY(m_server->listen(port));
        scriptLogin(*m_server, u"mario"_s, u"2.2.0"_s);
        QUORIN_TRY_VERIFY(m_w->Connected);
        QCOMPARE(status->text(), u"Connesso al Server: 127.0.0.1"_s);
        QTest::mouseClick(send, Qt::LeftButton);
        QUORIN_TRY_COMPARE(m_server->filedFaxes().size(), 1);
        QUORIN_TRY_VERIFY(promptTexts().contains(u"Il Fax è stato inoltrato al server."_s));
        QUORIN_TRY_VERIFY(spooledNow(spooled).isEmpty());
    }

    // A printed job an earlier run handed over and never saw confirmed (the run killed): the window says so,
    // and "Spedisci" (the store dialog's "Salva") asks first, No by default; "No" sends nothing, "Sì" sends
    // it and, once delivered, the job goes.
    void handedOverByAnEarlierRun_data()
    {
        QTest::addColumn<bool>("store");
        QTest::newRow("Spedisci") << false;
        QTest::newRow("Salva nei Ricevuti") << true;
    }
    void handedOverByAnEarlierRun()
    {
        QFETCH(bool, store);
        QVERIFY(login());
        const QString spooled = spoolJob(m_home, u"job-1-1.prn.handed-1765400000"_s, 1);
        QVERIFY(!spooled.isEmpty());
        QUORIN_TRY_VERIFY(child<QPushButton>(m_w, u"cbSend"_s)->isEnabled());
        QVERIFY2(child<QLineEdit>(m_w, u"txtStatus"_s)->text().contains(u"già consegnato al server il"_s),
                 qPrintable(child<QLineEdit>(m_w, u"txtStatus"_s)->text()));
        m_w->show();
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        frmMail *dlg = nullptr;
        if (store) {
            dlg = openStoreDialog();
            QVERIFY(dlg);
        }
        QPushButton *press = store ? dlg->cmdSalva : child<QPushButton>(m_w, u"cbSend"_s);
        const QByteArray keyword = store ? "NEWRXFAX" : "NEWFAX";
        Prompt::clearRecords();
        QTest::mouseClick(press, Qt::LeftButton);
        QCOMPARE(Prompt::records().size(), 1);
        const Prompt::Record asked = Prompt::lastRecord();
        QVERIFY2(asked.text.startsWith(u"Questo documento stampato è già stato consegnato al server il"_s) &&
                     asked.text.contains(frmPrint::mayBeFiledAlready(store)) &&
                     asked.text.endsWith(store ? u"Salvarlo di nuovo?"_s : u"Inviarlo di nuovo?"_s),
                 qPrintable(asked.text));
        QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::No); // answered by default: No
        QTest::qWait(200);
        QVERIFY(m_server->receivedFrames(keyword).isEmpty());
        QCOMPARE(m_w->cFaxSending->Count(), 0);
        QVERIFY(QFile::exists(spooled));

        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(press, Qt::LeftButton);
        QUORIN_TRY_COMPARE(m_server->receivedFrames(keyword).size(), 1);
        QUORIN_TRY_VERIFY(
            spooledNow(m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s).isEmpty());
        if (dlg)
            dlg->close();
    }

    // While the server is asked to confirm what it read (our end of the link sent after the last byte, the
    // server keeping its side open), both hand-over buttons wait: a second press reaches no link that is
    // going, the window stays, and the one fax handed over is the only one. The server's verdict (none within
    // the bound: 3 s here) frees them again.
    void secondPressWhileConfirming()
    {
        qputenv("QUORIN_TEST_TIME_DIVISOR", "10");
        QVERIFY(login());
        QVERIFY(!capture(1).isEmpty());
        m_w->show();
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        FakeFaxServer::Faults faults;
        faults.neverClose = true;
        m_server->setFaults(faults);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No); // "Inviarlo di nuovo?"
        auto *send = child<QPushButton>(m_w, u"cbSend"_s);
        QTest::mouseClick(send, Qt::LeftButton);
        QUORIN_TRY_COMPARE(child<QLineEdit>(m_w, u"txtStatus"_s)->text(),
                           u"Conferma della ricezione dal server..."_s);
        QVERIFY(!send->isEnabled());
        QVERIFY(!child<QPushButton>(m_w, u"CbSaveRx"_s)->isEnabled());
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(m_w->isVisible());
        QCOMPARE(m_w->cFaxSending->Count(), 1);
        QUORIN_TRY_VERIFY(promptTexts().join(u'|').contains(u"Inviarlo di nuovo?"_s));
        QVERIFY(send->isEnabled());
        QVERIFY(m_w->isVisible());
        QCOMPARE(m_server->receivedFrames("NEWFAX").size(), 1);
    }

    // The server answers the login, then reads nothing more, under a long print (its document far larger than
    // the system's buffers): after the stall bound (60 s; 0.3 s here) the window says the server takes no more
    // data, never that the link was cut, and offers to send it again; the printed job stays.
    void serverStopsReading()
    {
        QVERIFY(login());
        QVERIFY(!capture(1).isEmpty());
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        QFile big(m_home.filePath(u"long-print.tif"_s));
        QVERIFY(big.open(QIODevice::WriteOnly));
        for (int i = 0; i < 24; ++i)
            big.write(QByteArray(1 << 20, char('a' + i)));
        big.close();
        m_w->FilenamePrint = big.fileName();
        m_w->ClientSock->setUploadStallBound(300);
        setText(u"tbFaxNumber"_s, u"021234567"_s);
        FakeFaxServer::Faults faults;
        faults.stopReading = true;
        m_server->setFaults(faults);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);
        QTest::mouseClick(child<QPushButton>(m_w, u"cbSend"_s), Qt::LeftButton);
        QUORIN_TRY_VERIFY(!m_w->cFaxSending->anyPending());
        QVERIFY(m_w->cFaxSending->item(m_w->IdFaxSending)->Failed());
        QUORIN_TRY_VERIFY(promptTexts().contains(u"Il fax non è arrivato al server: il server non riceve più dati: nessun "
                                           u"byte accettato da 0.3 s.\r\nInviarlo di nuovo?"_s));
        QVERIFY(!promptTexts().join(u'|').contains(u"interrott"_s));
        QVERIFY(m_server->receivedFrames("FINEFAX").isEmpty());
        QVERIFY(spooledNow(spooled).contains(u".handed-"_s));
    }

    // "Rubrica" with the local book: FieldRubrica is read again from the file; the typed name and company
    // stay, locked; the picked names resolve to their numbers when sending.
    void pickFromLocalBook()
    {
        LocalAddressBook book;
        LocalContact a;
        a.displayName = u"Daviv Azivo"_s;
        a.businessFax = u"021111"_s;
        a.homeFax = u"031111"_s;
        LocalContact b;
        b.displayName = u"Viverov Aroz"_s;
        b.homeFax = u"033333"_s;
        b.company = u"Beta"_s;
        book.add(a);
        book.add(b);
        QVERIFY(book.save());
        QVERIFY(login());
        QVERIFY(!capture().isEmpty());
        QCOMPARE(ConfigIni.FieldRubrica, 2);
        QVERIFY(ProfileFile::writeString(Sendora::ConfigIniPath(), u"Config"_s, u"FieldRubrica"_s, u"3"_s));
        setText(u"tbTo"_s, u"Tizio"_s);
        int openMode = 0;
        Prompt::setDialogHandler([&openMode](QDialog *d) {
            auto *form = qobject_cast<RUBfrmRubrica *>(d);
            if (!form)
                return int(QDialog::Rejected);
            openMode = form->OpenMode();
            auto *list = form->findChild<QListWidget *>(u"lstContacts"_s);
            for (int row : {0, 1}) {
                list->setCurrentRow(row);
                form->cmdA_Click();
            }
            form->CmdOk_Click();
            return int(QDialog::Accepted);
        });
        child<QPushButton>(m_w, u"cmdRub"_s)->click();
        Prompt::setDialogHandler({});
        QCOMPARE(openMode, 3);
        QCOMPARE(child<QLineEdit>(m_w, u"tbFaxNumber"_s)->text(), u"Daviv Azivo; Viverov Aroz"_s);
        QCOMPARE(child<QLineEdit>(m_w, u"tbTo"_s)->text(), u"Tizio"_s);
        QVERIFY(!child<QLineEdit>(m_w, u"tbTo"_s)->isEnabled());
        QVERIFY(!child<QLineEdit>(m_w, u"tbCompany"_s)->isEnabled());
        m_server->clearReceived();
        m_w->SendFax();
        QUORIN_TRY_COMPARE(m_server->receivedFrames("NEWFAX").size(), 1);
        const QStringList block =
            m_server->receivedFrames("NEWFAX").first().text().split(u"<#>"_s).value(2).split(FieldSep);
        QCOMPARE((QStringList{block.value(12), block.value(13), block.value(14)}),
                 (QStringList{u"Daviv Azivo;Viverov Aroz"_s, u";Beta"_s, u"031111;033333"_s}));
    }

    void checks_data()
    {
        QTest::addColumn<bool>("job");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("no job, no cover") << false << false << QString() << u"021"_s << QString()
                                          << u"E' obbligatorio definire un fax o una copertina"_s;
        QTest::newRow("cover without note")
            << false << true << QString() << u"021"_s << QString() << u"Si deve specificare un fax o una nota"_s;
        QTest::newRow("no number") << true << false << QString() << QString() << QString()
                                   << u"E' obbligatorio inserire un numero di fax"_s;
        // The refusal names the field by what it is, not by its label ("A").
        QTest::newRow("separator in the recipient")
            << true << false << QString() << u"021"_s << u"Rossi<#>"_s
            << u"Il campo «destinatario» contiene «<#>», che il server usa come separatore: toglierlo prima di "
               u"inviare."_s;
    }
    void checks()
    {
        QFETCH(bool, job);
        QFETCH(bool, cover);
        QFETCH(QString, note);
        QFETCH(QString, number);
        QFETCH(QString, to);
        QFETCH(QString, message);
        QVERIFY(login());
        if (job)
            QVERIFY(!capture().isEmpty());
        if (cover) {
            Prompt::setNextFileName(m_home.filePath(u"cover.cpe"_s));
            child<QCheckBox>(m_w, u"chbCoverPage"_s)->click();
        }
        setText(u"tbFaxNumber"_s, number);
        setText(u"tbTo"_s, to);
        m_server->clearReceived();
        Prompt::clearRecords();
        m_w->SendFax();
        QCOMPARE(promptTexts(), QStringList{message});
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        QCOMPARE(m_w->cFaxSending->Count(), 0);
        QVERIFY(m_server->receivedFrames("NEWFAX").isEmpty());
    }

    // Names from outside (the cover file chosen, a printed document's file) show in tooltips as they are.
    void outsideNamesInTips()
    {
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w, TestWait::bound()));
        const QString cover = m_home.filePath(u"<b>Rotto & \"x\"<br>  <img src=\"x.png\"> &amp;.cpe"_s);
        Prompt::setNextFileName(cover);
        QTest::keyClick(child<QCheckBox>(m_w, u"chbCoverPage"_s), Qt::Key_Space);
        QCOMPARE(child<QLineEdit>(m_w, u"tbCover"_s)->text(), cover);
        QCOMPARE(shownTip(child<QCheckBox>(m_w, u"chbCoverPage"_s)->toolTip()), cover);
        QCOMPARE(shownTip(child<QLineEdit>(m_w, u"tbCover"_s)->toolTip()), cover);

        // A printed document nothing can read: the status line and its tooltip say where it was kept.
        const QString job = u"<i>Fattura & \"x\"<br>.prn"_s;
        const QString dir = m_home.filePath(u"spool/"_s) + SystemUser::loginName();
        QVERIFY(QDir().mkpath(dir));
        Prompt::clearRecords();
        QFile file(dir + u'/' + job);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x01\x02 not a document");
        file.close();
        QUORIN_TRY_VERIFY(!promptTexts().isEmpty());
        const QString told = promptTexts().constLast();
        QVERIFY2(told.endsWith(u'/' + job + u'.'), qPrintable(told));
        QCOMPARE(child<QLineEdit>(m_w, u"txtStatus"_s)->text(), told);
        QCOMPARE(shownTip(child<QLineEdit>(m_w, u"txtStatus"_s)->toolTip()), told);
    }

    // Every typed entry unusable and the user goes on: nothing would reach anybody, so nothing is sent.
    void noUsableNumber()
    {
        QVERIFY(login());
        QVERIFY(!capture().isEmpty());
        setText(u"tbFaxNumber"_s, u"Ufficio"_s);
        m_server->clearReceived();
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);
        m_w->SendFax();
        QCOMPARE(
            promptTexts(),
            (QStringList{
                u"Trovati 1 numeri fax a cui sarà impossibile spedire.\r\n«Ufficio»\r\nAnnullare la spedizione?"_s,
                u"E' obbligatorio inserire un numero di fax"_s}));
        QCOMPARE(m_w->cFaxSending->Count(), 0);
    }

    void notConnectedSendsNothing()
    {
        m_w->FilenamePrint = u"/tmp/x.tif"_s;
        setText(u"tbFaxNumber"_s, u"021"_s);
        m_w->SendFax();
        QVERIFY(Prompt::records().isEmpty());
        QCOMPARE(m_w->cFaxSending->Count(), 0);
    }

    void badRetriesReported()
    {
        QVERIFY(login());
        QVERIFY(!capture().isEmpty());
        Sendora::G.Retries = u"x"_s;
        setText(u"tbFaxNumber"_s, u"021"_s);
        m_server->clearReceived();
        Prompt::clearRecords();
        m_w->SendFax();
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY(Prompt::lastRecord().text.endsWith(u"Sorgente: SendFax-Sendora"_s));
        QCOMPARE(m_w->cFaxSending->Count(), 0);
        QTest::qWait(50);
        QVERIFY(m_server->receivedFrames("NEWFAX").isEmpty());
    }

    // A fax whose upload the link gives up (the link drops) no longer holds the window.
    void droppedUploadEndsTheWait()
    {
        QVERIFY(login());
        QVERIFY(!capture().isEmpty());
        setText(u"tbFaxNumber"_s, u"021"_s);
        m_server->pause(); // nothing more from the server
        m_w->SendFax();
        const QString key = m_w->IdFaxSending;
        QVERIFY(m_w->cFaxSending->anyPending() || m_w->cFaxSending->item(key)->Sent());
        if (m_w->cFaxSending->item(key)->Sent())
            QSKIP("the upload finished before the link could be dropped");
        m_server->dropClient();
        m_w->ClientSock->ConnectClose();
        QUORIN_TRY_VERIFY(!m_w->cFaxSending->anyPending());
        QVERIFY(m_w->cFaxSending->item(key)->Failed());
        // The fax never reached the server: its printed job stays for the next run, window seen or not.
        const QString spooled = m_home.filePath(u"spool/"_s) + SystemUser::loginName() + u"/job-1-1.prn"_s;
        m_w->show();
        QVERIFY(m_w->close());
        QVERIFY(spooledNow(spooled).contains(u".handed-"_s));
    }

    void storeAsReceived()
    {
        QVERIFY(login());
        const QString job = capture(3);
        QVERIFY(!job.isEmpty());
        QVERIFY(child<QPushButton>(m_w, u"CbSaveRx"_s)->isEnabled());
        frmMail *dlg = openStoreDialog();
        QVERIFY(dlg);
        QCOMPARE(dlg->windowTitle(), u"Salva nei Ricevuti di Quorin"_s);
        QCOMPARE(dlg->CboStato->count(), 5);
        QCOMPARE(dlg->CboStato->currentText(), u"Posta Elettronica"_s);
        QCOMPARE(dlg->CboStato->itemData(3).toInt(), 4);
        dlg->CboStato->setCurrentIndex(2);
        dlg->tbFrom->setText(u"Studio Bianchi"_s);
        dlg->tbCompany->setText(u"Bianchi S.p.A."_s);
        dlg->tbSubj->setText(u"Contratto"_s);
        dlg->tbDate->setText(u"2027-03-05"_s);
        dlg->tbTime->setText(u"9:05"_s);
        m_server->clearReceived();
        dlg->cmdSalva->click();
        const QString key = m_w->IdFaxSending;
        QVERIFY(key.startsWith(u'#'));
        QCOMPARE(dlg->cbCancel->text(), u"&Chiudi"_s);
        const QString block =
            faxBlock({u"0"_s, u"Sendora"_s, job, u"1"_s, u"0"_s, u"0"_s, u"05-03-2027"_s, u"09:05:00"_s,
                      QString(), QString(), QString(), QString(), QString(), u"Bianchi S.p.A."_s, QString(),
                      u"Contratto"_s, QString()},
                     QString(), u"4"_s,
                     {u"05-03-2027"_s, u"09:05:00"_s, u"3"_s, u"Studio Bianchi"_s, u"Ms Word®"_s, u"V"_s});
        QUORIN_TRY_VERIFY(m_server->hasReceived(
            FakeFaxServer::answer(u"NEWRXFAX", job + u"<#>"_s + key + u"<#>"_s + block + u"<#>"_s)));
        QCOMPARE(m_w->cFaxSending->Count(), 1);
        // Settled by the close that confirms the server read it; then the window logs in again.
        QUORIN_TRY_VERIFY(m_w->cFaxSending->item(key)->Sent());
        QUORIN_TRY_COMPARE(m_server->connectionCount(), 2);
        scriptLogin(*m_server, u"mario"_s, u"2.2.0"_s);
        QUORIN_TRY_VERIFY(m_w->Connected);
        // Stored twice: two entries.
        dlg->cmdSalva->click();
        QCOMPARE(m_w->cFaxSending->Count(), 2);
        QUORIN_TRY_VERIFY(!m_w->cFaxSending->anyPending());
        dlg->close();
    }

    // A second window for the job the first one holds says that it waits; when the first ends, the second
    // takes the job it left, or says nothing is left and closes.
    void secondWindowForOneJob_data()
    {
        QTest::addColumn<bool>("cancelInFirst");
        QTest::newRow("\"Annulla\" in the first: job discarded") << true;
        QTest::newRow("first ends unshown: job kept") << false;
    }
    void secondWindowForOneJob()
    {
        QFETCH(bool, cancelInFirst);
        QVERIFY(login());
        QVERIFY(!capture(1).isEmpty());
        const QString spooled = m_w->FmPrinter1->jobFile();
        if (cancelInFirst) {
            m_w->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_w, TestWait::bound()));
        }
        Prompt::clearRecords();
        auto second = std::make_unique<frmPrint>();
        QSignalSpy secondGone(second.get(), &frmPrint::unloaded);
        second->Form_Load();
        const QString waits = u"Il documento stampato è già aperto in un'altra finestra di invio: questa finestra "
                              u"attende che quella termini, poi prende il documento o si chiude."_s;
        QCOMPARE(second->txtStatus->text(), waits); // not "Attendere!! Preparazione file appoggio..."
        QUORIN_TRY_COMPARE(promptTexts(), QStringList{waits});
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Information);
        QTest::qWait(1500); // it looks again now and then: still held
        QCOMPARE(second->FmPrinter1->DocumentCount(), 0);
        if (cancelInFirst) {
            QTest::mouseClick(child<QPushButton>(m_w, u"cbCancel"_s), Qt::LeftButton);
            QVERIFY(!m_w->isVisible());
            QVERIFY(!QFile::exists(spooled)); // discarded
            QUORIN_TRY_COMPARE(secondGone.count(), 1);
            QCOMPARE(promptTexts().last(), u"L'altra finestra di invio ha finito con il documento e nessun altro "
                                           u"documento stampato è in attesa: questa finestra si chiude."_s);
            QCOMPARE(second->FmPrinter1->DocumentCount(), 0);
        } else {
            delete m_w; // never shown: the job stays for the next window
            m_w = nullptr;
            QVERIFY(QFile::exists(spooled));
            QUORIN_TRY_COMPARE(second->FmPrinter1->DocumentCount(), 1);
            QCOMPARE(second->FmPrinter1->jobFile(), spooled);
            QUORIN_TRY_COMPARE(second->txtStatus->text(), u"Preparazione completata."_s);
            QCOMPARE(secondGone.count(), 0);
            second->show();
            QVERIFY(second->close()); // seen and closed unsent: the job goes
            QVERIFY(!QFile::exists(spooled));
        }
    }

    // Not connected: a pending fax does not hold the window (the link will not confirm it any more).
    void closeWhileNotConnected()
    {
        QVERIFY(m_w->cFaxSending->Add(u"#99"_s, u"/tmp/x.tif"_s));
        m_w->show();
        QVERIFY(m_w->close());
        QVERIFY(Prompt::records().isEmpty());
    }

    // The options store the sender keys and the open window follows them.
    void optionsRefreshTheWindow()
    {
        Prompt::setDialogHandler([](QDialog *d) {
            if (d->objectName() != u"frmOptions")
                return int(QDialog::Rejected);
            d->findChild<QLineEdit *>(u"txtUserID"_s)->setText(u"Ufficio Vendite"_s);
            d->findChild<QCheckBox *>(u"chkResolution"_s)->setChecked(false);
            d->findChild<QCheckBox *>(u"ChkSaveRx"_s)->setChecked(false);
            d->findChild<QPushButton *>(u"cmdOK"_s)->click();
            return int(QDialog::Accepted);
        });
        m_w->mnuToolsOptions->trigger();
        Prompt::setDialogHandler({});
        QCOMPARE(child<QLineEdit>(m_w, u"tbFrom"_s)->text(), u"Ufficio Vendite"_s);
        QVERIFY(!child<QCheckBox>(m_w, u"chHiRes"_s)->isChecked());
        QVERIFY(child<QPushButton>(m_w, u"CbSaveRx"_s)->isHidden());
        QCOMPARE(ProfileFile::readString(Sendora::ConfigIniPath(), u"Config"_s, u"Name"_s),
                 u"Ufficio Vendite"_s);
        QCOMPARE(ProfileFile::readString(Sendora::ConfigIniPath(), u"Config"_s, u"SalvaRicevuti"_s),
                 QString());
    }

    void saveRxHiddenWhenOff()
    {
        resetSendora("[Config]\r\nSalvaRicevuti=N\r\n");
        frmPrint w;
        QVERIFY(child<QPushButton>(&w, u"CbSaveRx"_s)->isHidden());
    }

    void progressWindow_data()
    {
        QTest::addColumn<QString>("noFormInvio");
        QTest::newRow("shown") << QString();
        QTest::newRow("NoFormInvio y") << u"y"_s;
    }
    void progressWindow()
    {
        QFETCH(QString, noFormInvio);
        ConfigIni.NoFormInvio = noFormInvio;
        m_w->ClientSock_ProgressStatusStart(u"#1"_s);
        frmSendStatus *status = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *s = qobject_cast<frmSendStatus *>(w); s && s->isVisible())
                status = s;
        }
        if (!noFormInvio.isEmpty()) {
            QVERIFY(!status);
            return;
        }
        QVERIFY(status);
        QCOMPARE(status->lblStatus->text(), u"Preparazione invio Fax."_s);
        m_w->ClientSock_ProgressStatusTX(u"REMOTE"_s, 14400, 2, 5, 40, 6, u"Rossi"_s, u"021"_s, 1, 2,
                                         u"#1"_s);
        QCOMPARE(status->lblStatus->text(), u"In attesa di risposta"_s);
        QCOMPARE(status->lblPage->text(), u"2 / 5"_s);
        QCOMPARE(status->lblPercent->text(), u"40 %"_s);
        QCOMPARE(status->lblNumTentativo->text(), u"2 di 3"_s);
        // A status without a text: reported, the labels set before stay.
        Prompt::clearRecords();
        m_w->ClientSock_ProgressStatusTX(u"OTHER"_s, 9600, 3, 5, 60, 3, u"Bianchi"_s, u"022"_s, 0, 2,
                                         u"#1"_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(status->lblRemoteID->text(), u"OTHER"_s);
        QCOMPARE(status->lblDestination->text(), u"Rossi"_s);
        QPointer<frmSendStatus> guard(status);
        m_w->ClientSock_ProgressStatusEnd(u"#1"_s);
        QUORIN_TRY_VERIFY(!guard || !guard->isVisible());
    }

    // Versions compare number by number: 3.1.12 is newer than 3.1.9.
    void versionCheck_data()
    {
        QTest::addColumn<QString>("own");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("updating");
        QTest::newRow("equal") << u"2.2.0"_s << u"2.2.0"_s << 0 << QString() << false;
        QTest::newRow("own newer by number")
            << u"3.1.12"_s << u"3.1.9"_s << 0 << StringTable::text(2066) << false;
        QTest::newRow("older: declined")
            << u"3.1.9"_s << u"3.1.12"_s << int(QMessageBox::No) << StringTable::text(2067) << false;
        QTest::newRow("older: accepted")
            << u"3.1.9"_s << u"3.1.12"_s << int(QMessageBox::Yes) << StringTable::text(2067) << true;
    }
    void versionCheck()
    {
        QFETCH(QString, own);
        QFETCH(QString, server);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, updating);
        QCoreApplication::setApplicationVersion(own);
        if (answer)
            Prompt::setNextAnswer(QMessageBox::StandardButton(answer));
        const bool ok = login(server);
        QCoreApplication::setApplicationVersion(u"2.2.0"_s);
        QVERIFY(ok);
        QCOMPARE(promptTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(m_w->LanciaUpdate(), updating);
        QCOMPARE(m_w->Connected, !updating);
        QCOMPARE(m_w->UserReceived, !updating);
        if (updating)
            QUORIN_TRY_VERIFY(!m_server->receivedFrames("UPDATEFILES").isEmpty());
    }

    // The server refuses the user, or the user gives up a server that went away: the start is abandoned.
    void givenUp_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<QString>("told");
        QTest::newRow("user limit reached")
            << 0
            << u"Impossibile aprire QuorinPrinter!\r\nRaggiunto massimo numero di utenti connessi al server.\r\n"_s;
        QTest::newRow("server gone, no other")
            << 1 << u"Impossibile connettersi al server: fax1\rVuoi collegarti ad un altro server?"_s;
    }
    void givenUp()
    {
        QFETCH(int, event);
        QFETCH(QString, told);
        Sendora::G.CurrentServer = u"fax1"_s;
        QSignalSpy changed(m_w, &frmPrint::startStateChanged);
        Prompt::setNextAnswer(QMessageBox::No);
        if (event == 0)
            m_w->ClientSock_MaxUsersLimit();
        else
            m_w->ClientSock_ServerNotAvailable(u"fax1"_s, 9456);
        QUORIN_TRY_VERIFY(m_w->AbortCmd());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(promptTexts(), QStringList{told});
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(Prompt::lastRecord().title, event == 0 ? u"Sendora"_s : u"Quorin"_s);
    }

    void updateWithoutFiles()
    {
        m_w->ClientSock_ReceivingUpdate(0, 0);
        QVERIFY(m_w->UpdateError());
        QVERIFY(m_w->UpdateRX());
    }
};

QTEST_MAIN(TestSendWindow)
#include "tst_sendwindow.moc"
