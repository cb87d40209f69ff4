#include "ComposeRig.h"
#include "ShownTip.h"
#include "FRMSEND2.h"
#include "FaxSendWatch.h"
#include "ProfileFile.h"
#include "RUBfrmRubrica.h"
#include "VCardBook.h"
#include "frmRubCondivisa.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTreeWidget>

namespace {

const QString F = u"<\u00BF>"_s; // field separator of the fax block

QList<FakeFaxServer::Frame> newFaxFrames(const FakeFaxServer &server)
{
    return server.receivedFrames("NEWFAX");
}

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The files of fax `key` as the server put them together, in upload order; `finished` when its
// "FINEFAX" came.
QList<QByteArray> filesReceived(const FakeFaxServer &server, const QString &key, bool *finished)
{
    QList<QByteArray> got;
    *finished = false;
    const QByteArray k = key.toLatin1();
    for (const FakeFaxServer::Frame &f : server.receivedFrames()) {
        if (f.keyword == "STARTFILE" && f.data.contains(QByteArray("<#>" + k + "<#>"))) {
            got << QByteArray();
        } else if (f.keyword == "FILE" && !got.isEmpty() && f.data.startsWith(QByteArray(k + "<#>"))) {
            const qsizetype first = f.data.indexOf("<#>");
            const qsizetype last = f.data.lastIndexOf("<#>");
            got.last() += f.data.mid(first + 3, last - first - 3);
        } else if (f.keyword == "FINEFAX" && f.data == k) {
            *finished = true;
        }
    }
    return got;
}

// A server that answers every later login as the first (the link logs in again after a loss).
void answerLogins(FakeFaxServer &server)
{
    server.setResponder([](FakeFaxServer &s, const FakeFaxServer::Frame &f) {
        if (f.keyword != "USER" || !f.answer)
            return;
        s.sendNow(FakeFaxServer::answer(u"VERSIONI", u"1.0.0<#>2.1.0<#>2.2.0<#>2.3.0<#>0.9"));
        s.sendNow(FakeFaxServer::answer(u"USER", allRights()));
    });
}

FRMSEND2 *reopenedDialog(const FRMSEND2 *besides)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dlg = qobject_cast<FRMSEND2 *>(w);
        if (dlg && dlg != besides && dlg->isVisible())
            return dlg;
    }
    return nullptr;
}

void typeInto(QWidget *form, const QString &name, const QString &text)
{
    QTest::keyClicks(child<QWidget>(form, name), text);
}

void press(QWidget *form, const QString &name)
{
    QTest::mouseClick(child<QPushButton>(form, name), Qt::LeftButton);
}

} // namespace

class TestSendDialog : public QObject
{
    Q_OBJECT
    TestHome m_home;
    QString m_doc1, m_doc2, m_cover, m_big;

private Q_SLOTS:
    void initTestCase()
    {
        useTemporaryHome(m_home);
        m_doc1 = writeFile(m_home, u"uno.tif"_s, "II*\0uno");
        m_doc2 = writeFile(m_home, u"due.tif"_s, "II*\0due");
        m_cover = writeFile(m_home, u"base.cpe"_s, "cover");
        m_big = writeFile(m_home, u"grande.tif"_s, noise(8 * 1024 * 1024, 7)); // more than both ends buffer
    }
    void init() { resetConfig(m_home); }

    // Every check that stops the send, and what the user is told.
    void checks_data()
    {
        QTest::addColumn<bool>("document");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("told");
        QTest::newRow("no document, no cover") << false << false << QString() << u"021"_s << QString()
                                               << u"E' obbligatorio definire un fax o una copertina"_s;
        QTest::newRow("cover only, no note") << false << true << QString() << u"021"_s << QString()
                                             << u"Si deve specificare un fax o una nota"_s;
        QTest::newRow("no fax number") << true << false << QString() << QString() << QString()
                                       << u"E' obbligatorio inserire un numero di fax"_s;
        QTest::newRow("bad number, send cancelled")
            << true << false << QString() << u"02 1234 5678"_s << QString()
            << u"Trovati 1 numeri fax a cui sarà impossibile spedire.\r\n«02 1234 5678»\r\nAnnullare la spedizione?"_s;
        QTest::newRow("bad date") << true << false << QString() << u"021"_s << u"31/02/x"_s
                                  << u"Si è verificato il seguente errore:"_s;
    }
    void checks()
    {
        QFETCH(bool, document);
        QFETCH(bool, cover);
        QFETCH(QString, note);
        QFETCH(QString, number);
        QFETCH(QString, date);
        QFETCH(QString, told);
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived(); // the login frame is the marker used below
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        if (document)
            dlg.setItemOpen(m_doc1);
        dlg.Load();
        if (cover) {
            Prompt::setNextFileName(m_cover);
            click(&dlg, u"chbCoverPage"_s);
        }
        child<QPlainTextEdit>(&dlg, u"tbNote"_s)->setPlainText(note);
        setText(&dlg, u"tbFaxNumber"_s, number);
        if (!date.isEmpty())
            setText(&dlg, u"tbDate"_s, date);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::Yes); // "Annullare la spedizione?" - yes
        click(&dlg, u"cbSend"_s);
        QVERIFY(!Prompt::records().isEmpty());
        QVERIFY2(Prompt::lastRecord().text.startsWith(told), qPrintable(Prompt::lastRecord().text));
        QCOMPARE(dlg.IdFaxSending(), QString());
        QCOMPARE(child<QPushButton>(&dlg, u"cbCancel"_s)->text(), u"&Annulla"_s);
        rig.sock->SendUser(u"mario"_s); // marker: everything sent before it has arrived
        QVERIFY(rig.received(FakeFaxServer::answer(u"USER", u"mario")));
        QVERIFY(newFaxFrames(rig.server).isEmpty());
    }

    // Text the server would cut at a separator, or receive with "?" for letters it cannot take: the field
    // is named, nothing is handed over.
    void textTheServerWouldMisread_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("told");
        QTest::newRow("separator in the subject")
            << u"tbSubj"_s << u"prezzi <#> sconti"_s
            << u"Il campo oggetto contiene \"<#>\", che il server usa per separare i dati"_s;
        QTest::newRow("separator in the recipient") << u"tbTo"_s << u"Rossi<#>"_s << u"Il campo destinatario contiene \"<#>\""_s;
        QTest::newRow("Chinese in the sender")
            << u"tbFrom"_s << u"Ufficio 東京"_s
            << u"Il campo mittente contiene caratteri che non possono essere inviati al server: 東京"_s;
        QTest::newRow("Japanese in the note") << u"tbNote"_s << u"山田さん"_s << u"Il campo note contiene caratteri"_s;
        QTest::newRow("Italian and Euro sign go through") << u"tbSubj"_s << u"Città € più"_s << QString();
        // "e" then a combining accent, as some keyboards and pastes give it: one composed letter.
        QTest::newRow("decomposed letters go through")
            << u"tbFrom"_s << u"Jose\u0301 Citta\u0300"_s << QString();
    }
    void textTheServerWouldMisread()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, told);
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        QTest::keyClicks(child<QLineEdit>(&dlg, u"tbFaxNumber"_s), u"021"_s);
        QWidget *box = dlg.findChild<QWidget *>(field);
        QVERIFY(box);
        if (auto *edit = qobject_cast<QLineEdit *>(box))
            edit->clear();
        for (const QChar c : typed) // key by key, letters beyond ASCII included
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        Prompt::clearRecords();
        QTest::mouseClick(child<QPushButton>(&dlg, u"cbSend"_s), Qt::LeftButton);
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(FakeFaxServer::answer(u"USER", u"mario")));
        if (told.isEmpty()) {
            QCOMPARE(newFaxFrames(rig.server).size(), 1);
            QVERIFY(newFaxFrames(rig.server)
                        .first()
                        .text()
                        .contains(typed.normalized(QString::NormalizationForm_C)));
            return;
        }
        QVERIFY(!Prompt::records().isEmpty());
        QVERIFY2(Prompt::lastRecord().text.startsWith(told), qPrintable(Prompt::lastRecord().text));
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY(newFaxFrames(rig.server).isEmpty());
        QCOMPARE(dlg.IdFaxSending(), QString());
    }

    // Letters with a near Windows-1252 letter: the user is told what the server will read, and decides.
    void bestFitLettersAreAnnounced()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        QTest::keyClicks(child<QLineEdit>(&dlg, u"tbFaxNumber"_s), u"021"_s);
        auto *from = child<QLineEdit>(&dlg, u"tbFrom"_s);
        from->clear();
        for (const QChar c : u"Ufficio Łódź"_s)
            QTest::sendKeyEvent(QTest::Click, from, Qt::Key_unknown, QString(c), Qt::NoModifier);

        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);
        QTest::mouseClick(child<QPushButton>(&dlg, u"cbSend"_s), Qt::LeftButton);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Question);
        QVERIFY2(Prompt::lastRecord().text.startsWith(u"Il campo \u00ABmittente\u00BB sar\u00E0 inviato come "
                                                      u"\u00ABUfficio L\u00F3dz\u00BB"_s),
                 qPrintable(Prompt::lastRecord().text));
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(FakeFaxServer::answer(u"USER", u"mario")));
        QVERIFY(newFaxFrames(rig.server).isEmpty());

        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::mouseClick(child<QPushButton>(&dlg, u"cbSend"_s), Qt::LeftButton);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        QVERIFY(newFaxFrames(rig.server).constFirst().text().contains(u"Ufficio L\u00F3dz"_s));
    }

    void missingDocumentStaysSelected()
    {
        ConfigIni.File = m_doc1 + u'+' + m_doc2;
        FRMSEND2 dlg;
        dlg.Load();
        auto *list = child<QListWidget>(&dlg, u"lbFiles"_s);
        QCOMPARE(list->count(), 2);
        list->addItem(m_home.filePath(u"sparito.tif"_s));
        setText(&dlg, u"tbFaxNumber"_s, u"021"_s);
        click(&dlg, u"cbSend"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Il file "_s + m_home.filePath(u"sparito.tif"_s) +
                                                u" non è più presente! Impossibile proseguire"_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(list->currentRow(), 2);
    }

    // The whole NEWFAX frame the server receives for a filled dialog.
    void exactFrame()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        ConfigIni.File = m_doc1 + u'+' + m_home.filePath(u"manca.tif"_s) + u'+' + m_doc2;
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.Load();
        QCOMPARE(child<QListWidget>(&dlg, u"lbFiles"_s)->count(), 2); // the missing file is dropped
        QVERIFY(child<QCheckBox>(&dlg, u"chHiRes"_s)->isChecked());
        setText(&dlg, u"tbTo"_s, u"Mario Rossi"_s);
        setText(&dlg, u"tbCompany"_s, u"Rossi; Figli"_s);
        setText(&dlg, u"tbFaxNumber"_s, u" 021234567 "_s);
        setText(&dlg, u"tbDate"_s, u"2027-03-05"_s);
        setText(&dlg, u"tbTime"_s, u"9:05"_s);
        setText(&dlg, u"tbSubj"_s, u"Offerta n° 12"_s);
        child<QPlainTextEdit>(&dlg, u"tbNote"_s)->setPlainText(u"Come d'accordo"_s);
        Prompt::setNextFileName(m_cover);
        click(&dlg, u"chbCoverPage"_s);
        QCOMPARE(child<QLineEdit>(&dlg, u"tbCover"_s)->text(), m_cover);

        click(&dlg, u"cbSend"_s);
        QVERIFY(dlg.IdFaxSending().startsWith(u'#'));
        QCOMPARE(child<QPushButton>(&dlg, u"cbCancel"_s)->text(), u"&Chiudi"_s);
        const QString key = dlg.IdFaxSending();
        const QString files = m_doc1 + u'+' + m_doc2;
        const QString block = QStringList{u"0"_s,
                                          u"FaxClient"_s,
                                          files,
                                          u"1"_s,
                                          u"3"_s,
                                          u"60"_s,
                                          u"05-03-2027"_s,
                                          u"09:05:00"_s,
                                          u"Ufficio Acquisti"_s,
                                          u"Alfa S.r.l."_s,
                                          u"0211"_s,
                                          u"0222"_s,
                                          u"Mario Rossi"_s,
                                          u"Rossi, Figli"_s,
                                          u"021234567"_s,
                                          u"Offerta n° 12"_s,
                                          u"Come d'accordo"_s,
                                          m_cover,
                                          u"False"_s,
                                          u"1"_s,
                                          u"1"_s,
                                          u"255"_s,
                                          u"True"_s,
                                          QString(),
                                          QString(),
                                          u"0"_s,
                                          QString(),
                                          QString(),
                                          u"F"_s}
                                  .join(F);
        const QByteArray frame =
            FakeFaxServer::answer(u"NEWFAX", files + u"<#>"_s + key + u"<#>"_s + block + u"<#>"_s + m_cover);
        QVERIFY(rig.received(frame));
        QCOMPARE(newFaxFrames(rig.server).size(), 1);

        // A second press sends the fax again.
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 2);
    }

    // Forwarding a listed fax: the user sees it in the file list; it cannot be removed there and is sent
    // once, ahead of the documents added beside it.
    void forwardedFaxIsShownAndSentOnce()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        ConfigIni.File = m_doc2;
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        auto *files = child<QListWidget>(&dlg, u"lbFiles"_s);
        QCOMPARE(files->count(), 1);
        QCOMPARE(files->item(0)->text(), m_doc1);

        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(files->item(0)).center());
        click(&dlg, u"cbDelFiles"_s);
        click(&dlg, u"Command1"_s);
        QCOMPARE(files->count(), 1);

        Prompt::setNextFileName(m_doc2);
        click(&dlg, u"cbFiles"_s);
        QCOMPARE(files->count(), 2);
        setText(&dlg, u"tbFaxNumber"_s, u"021"_s);
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QString frame = newFaxFrames(rig.server).constFirst().text();
        QVERIFY2(frame.startsWith(m_doc1 + u'+' + m_doc2 + u"<#>"_s), qPrintable(frame));
        QUORIN_TRY_VERIFY(!FaxSendWatch::of(rig.sock.get())->uploading()); // closing earlier would ask
        dlg.close();
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"File"_s), m_doc2);
    }

    // A picked contact whose name the server would cut: the contact is named, nothing is handed over.
    void pickedNameTheServerWouldMisread()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        dlg.applyPick({{u"Verdi"_s, u"022"_s, QString()}, {u"Rossi <#> Bianchi"_s, u"021111"_s, QString()}});
        Prompt::clearRecords();
        click(&dlg, u"cbSend"_s);
        QVERIFY2(Prompt::lastRecord().text.startsWith(
                     u"Contatto «Rossi <#> Bianchi» della rubrica: Il campo destinatario contiene \"<#>\""_s),
                 qPrintable(Prompt::lastRecord().text));
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(FakeFaxServer::answer(u"USER", u"mario")));
        QVERIFY(newFaxFrames(rig.server).isEmpty());
    }

    // Recipient fields of the fax block for typed and picked recipients.
    void recipients_data()
    {
        QTest::addColumn<bool>("pick");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("destination"); // DestName, ToCompany, DestFax
        QTest::newRow("two picked contacts")
            << true << QString()
            << QStringList{u"Daviv Azivo;Viverov Aroz"_s, u";Beta"_s, u"021111;022222"_s};
        QTest::newRow("picked plus a typed number and an unknown name")
            << true << u"Ignoto; 033333"_s
            << QStringList{u";Daviv Azivo;Viverov Aroz"_s, u";;Beta"_s, u"033333;021111;022222"_s};
    }
    void recipients()
    {
        QFETCH(bool, pick);
        QFETCH(QString, typed);
        LinkRig rig(false);
        QVERIFY(rig.login());
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        setText(&dlg, u"tbFaxNumber"_s, typed);
        if (pick)
            dlg.applyPick(
                {{u"Daviv Azivo"_s, u"021111"_s, QString()}, {u"Viverov Aroz"_s, u"022222"_s, u"Beta"_s}});
        QVERIFY(!child<QLineEdit>(&dlg, u"tbTo"_s)->isEnabled());
        Prompt::setNextAnswer(QMessageBox::No); // go on without the unusable entries
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QStringList block = newFaxFrames(rig.server).first().text().split(u"<#>"_s).value(2).split(F);
        QTEST((QStringList{block.value(12), block.value(13), block.value(14)}), "destination");
    }

    // "Rubrica" with the local book: the chosen names go into the number box and resolve when sending.
    void pickFromLocalBook()
    {
        LocalAddressBook book;
        LocalContact a;
        a.displayName = u"Daviv Azivo"_s;
        a.businessFax = u"021111"_s;
        LocalContact b;
        b.displayName = u"Viverov Aroz"_s;
        b.businessFax = u"022222"_s;
        b.homeFax = u"033333"_s;
        b.company = u"Beta"_s;
        book.add(a);
        book.add(b);
        QVERIFY(book.save());
        ConfigIni.FieldRubrica = 3; // home fax
        LinkRig rig(false);
        QVERIFY(rig.login());
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        Prompt::setDialogHandler([](QDialog *d) {
            auto *form = qobject_cast<RUBfrmRubrica *>(d);
            if (!form || form->OpenMode() != 3 || form->Showing() != 1)
                return int(QDialog::Rejected);
            auto *list = form->findChild<QListWidget *>(u"lstContacts"_s);
            for (int row : {0, 1}) {
                list->setCurrentRow(row);
                form->cmdA_Click();
            }
            form->CmdOk_Click();
            return int(QDialog::Accepted);
        });
        click(&dlg, u"cmdRub"_s);
        Prompt::setDialogHandler({});
        QCOMPARE(child<QLineEdit>(&dlg, u"tbFaxNumber"_s)->text(), u"Daviv Azivo; Viverov Aroz"_s);
        Prompt::setNextAnswer(QMessageBox::No); // Daviv Azivo has no home fax
        click(&dlg, u"cbSend"_s);
        QCOMPARE(
            Prompt::records().last().text,
            u"Trovati 1 numeri fax a cui sarà impossibile spedire.\r\nDaviv Azivo (nessun numero fax)\r\n"
            u"Annullare la spedizione?"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QStringList block = newFaxFrames(rig.server).first().text().split(u"<#>"_s).value(2).split(F);
        QCOMPARE((QStringList{block.value(12), block.value(13), block.value(14)}),
                 (QStringList{u"Viverov Aroz"_s, u"Beta"_s, u"033333"_s}));
    }

    // 212 contacts picked, 12 without a fax and one whose name needs near letters: each question names
    // only what matters (the first refused entries, the one changed name), the rest is in its detail
    // area, and the real boxes with their buttons fit a 1024x768 screen, the detail area opened too.
    void manyPickedRecipientsBoxesFit()
    {
        QFile::remove(LocalAddressBook::defaultPath());
        LocalAddressBook book;
        for (int i = 0; i < 212; ++i) {
            LocalContact c;
            c.displayName = i < 12
                                ? u"Senza Fax %1"_s.arg(i, 2, 10, QChar(u'0'))
                                : (i == 57 ? u"\u0141ukasz \u0141\u00F3d\u017A"_s
                                           : u"Contatto %1 con un nome lungo"_s.arg(i, 3, 10, QChar(u'0')));
            if (i >= 12)
                c.businessFax = u"02%1"_s.arg(i, 4, 10, QChar(u'0'));
            c.company = u"Azienda %1"_s.arg(i);
            book.add(c);
        }
        QVERIFY(book.save());
        ConfigIni.FieldRubrica = 2;
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        Prompt::setDialogHandler([](QDialog *d) {
            auto *form = qobject_cast<RUBfrmRubrica *>(d);
            if (!form)
                return int(QDialog::Rejected);
            auto *list = form->findChild<QListWidget *>(u"lstContacts"_s);
            for (int row = 0; row < list->count(); ++row) {
                list->setCurrentRow(row);
                form->cmdA_Click();
            }
            form->CmdOk_Click();
            return int(QDialog::Accepted);
        });
        click(&dlg, u"cmdRub"_s);
        Prompt::setDialogHandler({});

        const QList<ShownBox> boxes =
            meetRealBoxes([&] { QTest::mouseClick(child<QPushButton>(&dlg, u"cbSend"_s), Qt::LeftButton); },
                          {QMessageBox::No, QMessageBox::No}); // go on without the 12; then do not send
        QCOMPARE(boxes.size(), 2);
        for (const ShownBox &b : boxes)
            QVERIFY2(b.misfit.isEmpty(), qPrintable(b.misfit + u'\n' + b.text));
        QVERIFY2(boxes[0].text.startsWith(u"Trovati 12 numeri fax"_s), qPrintable(boxes[0].text));
        QVERIFY(boxes[0].text.contains(u"Senza Fax 09 (nessun numero fax)\r\n\u2026 e altri 2\r\n"_s));
        QVERIFY(boxes[0].text.endsWith(u"Annullare la spedizione?"_s));
        QVERIFY(boxes[0].detail.contains(u"Senza Fax 11 (nessun numero fax)"_s));
        QCOMPARE(
            boxes[1].text,
            u"Il campo \u00ABdestinatario\u00BB sar\u00E0 inviato come \u00ABLukasz L\u00F3dz\u00BB (era "
            u"\u00AB\u0141ukasz \u0141\u00F3d\u017A\u00BB).\r\n\r\nSpedire comunque?"_s);
        QVERIFY(boxes[1].detail.isEmpty());
        QVERIFY(newFaxFrames(rig.server).isEmpty());

        // Sent after all: the 200 numbers, the changed name as the server reads it.
        Prompt::setNextAnswer(QMessageBox::No);
        Prompt::setNextAnswer(QMessageBox::Yes);
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QStringList block = newFaxFrames(rig.server).first().text().split(u"<#>"_s).value(2).split(F);
        QCOMPARE(block.value(14).split(u';').size(), 200);
        QVERIFY(block.value(12).contains(u";Lukasz L\u00F3dz;"_s));
    }


    // Two contacts named alike, or two cards sharing a UID: the picked rows' own numbers go to the
    // server, never a twin's.
    void sameNamePicksKeepTheirNumbers_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("uid"); // shared by both cards; empty: each its own
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("destName");
        QTest::addColumn<QString>("destFax");
        QTest::newRow("same name, both picked") << QStringList{u"Rossi"_s, u"Rossi"_s} << QString() << QList<int>{0, 1}
                                               << u"Rossi; Rossi"_s << u"Rossi;Rossi"_s << u"011;012"_s;
        QTest::newRow("same UID, the second picked")
            << QStringList{u"Primo Dup"_s, u"Secondo Dup"_s} << u"dup-1"_s << QList<int>{1} << u"Secondo Dup"_s
            << u"Secondo Dup"_s << u"012"_s;
    }
    void sameNamePicksKeepTheirNumbers()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, uid);
        QFETCH(QList<int>, rows);
        QFile::remove(LocalAddressBook::defaultPath());
        LocalAddressBook book;
        for (int i = 0; i < 2; ++i) {
            LocalContact c;
            c.uid = uid;
            c.displayName = names[i];
            c.businessFax = i == 0 ? u"011"_s : u"012"_s;
            book.add(c);
        }
        QVERIFY(book.save());
        ConfigIni.FieldRubrica = 2;
        LinkRig rig(false);
        QVERIFY(rig.login());
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        Prompt::setDialogHandler([&rows](QDialog *d) {
            auto *form = qobject_cast<RUBfrmRubrica *>(d);
            if (!form)
                return int(QDialog::Rejected);
            form->show();
            auto *list = form->findChild<QListWidget *>(u"lstContacts"_s);
            for (int row : rows) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                                  list->visualItemRect(list->item(row)).center());
                QTest::mouseClick(form->findChild<QPushButton *>(u"cmdA"_s), Qt::LeftButton);
            }
            QTest::mouseClick(form->findChild<QPushButton *>(u"CmdOk"_s), Qt::LeftButton);
            return form->result();
        });
        click(&dlg, u"cmdRub"_s);
        Prompt::setDialogHandler({});
        QTEST(child<QLineEdit>(&dlg, u"tbFaxNumber"_s)->text(), "typed");
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QStringList block = newFaxFrames(rig.server).first().text().split(u"<#>"_s).value(2).split(F);
        QTEST(block.value(12), "destName");
        QTEST(block.value(14), "destFax");
    }

    // "Rubrica" with the shared book: the window fills itself when the book arrives, without blocking.
    void pickFromSharedBook()
    {
        ConfigIni.RubricaCondivisa = true;
        LinkRig rig(false);
        QVERIFY(rig.login());
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        const QString LS = u"\u00A6"_s, RS = u"<\u00CC\u00CC>"_s;
        const QString bookData = QStringList{u"Anna"_s, u"Rossi"_s, {},        {}, {},      {},    {},
                                             {},        u"0622"_s,  u"Beta"_s, {}, u"12"_s, u"F"_s}
                                     .join(LS) +
                                 RS;
        Prompt::setDialogHandler([&](QDialog *d) {
            auto *book = qobject_cast<frmRubCondivisa *>(d);
            if (!book || book->ShowMode() != 0)
                return int(QDialog::Rejected);
            QSignalSpy filled(book, &frmRubCondivisa::BookFilled);
            if (!rig.received(FakeFaxServer::query(u"ASKRUBRICA")))
                return int(QDialog::Rejected);
            rig.server.send(FakeFaxServer::answer(u"RUBRICA", bookData));
            if (!TestWait::forSignal(filled))
                return int(QDialog::Rejected);
            book->cmdA_Click(); // the first row is selected
            book->findChild<QPushButton *>(u"CmdOk"_s)->click();
            return int(QDialog::Accepted);
        });
        click(&dlg, u"cmdRub"_s);
        Prompt::setDialogHandler({});
        QCOMPARE(child<QLineEdit>(&dlg, u"tbFaxNumber"_s)->text(), u"Rossi Anna"_s);
        click(&dlg, u"cbSend"_s);
        QUORIN_TRY_COMPARE(newFaxFrames(rig.server).size(), 1);
        const QStringList block = newFaxFrames(rig.server).first().text().split(u"<#>"_s).value(2).split(F);
        QCOMPARE((QStringList{block.value(12), block.value(13), block.value(14)}),
                 (QStringList{u"Rossi Anna"_s, u"Beta"_s, u"0622"_s}));
    }

    // Nothing usable left: the fax is not handed over with an empty recipient list.
    void noUsableNumberSendsNothing()
    {
        FRMSEND2 dlg;
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        setText(&dlg, u"tbFaxNumber"_s, u"02-1234"_s);
        Prompt::setNextAnswer(QMessageBox::No);
        click(&dlg, u"cbSend"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Nessun numero fax valido: il fax non è stato spedito."_s);
        QCOMPARE(dlg.IdFaxSending(), QString());
    }

    // A link that cannot take the fax is reported, not shown as sent.
    void refusedHandOverIsReported()
    {
        QuorinSock sock; // never connected
        FRMSEND2 dlg;
        dlg.setClientSock(&sock);
        dlg.setItemOpen(m_doc1);
        dlg.Load();
        setText(&dlg, u"tbFaxNumber"_s, u"021"_s);
        click(&dlg, u"cbSend"_s);
        QCOMPARE(dlg.IdFaxSending(), u"-1"_s);
        // The recipient and the link's reason; the dialog keeps everything for another try.
        QVERIFY2(promptTexts().last().startsWith(u"Il fax per 021 non è stato consegnato al server.\r\n"
                                                 u"Motivo: Collegamento al server"_s),
                 qPrintable(promptTexts().last()));
        QCOMPARE(child<QPushButton>(&dlg, u"cbCancel"_s)->text(), u"&Annulla"_s);
    }

    // The link cut in the middle of the upload: the user is told who the fax was for and why, and
    // "send again" opens the dialog as it was; from there the fax reaches the server whole.
    // Or the server keeps the link and stops reading: after the stall bound (60 s; 0.5 s here) the reason says so.
    void faxLostOnTheWayIsOfferedAgain_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<bool>("stopReading");
        QTest::newRow("link closed") << false << false;
        QTest::newRow("link reset") << true << false;
        QTest::newRow("server stops reading") << false << true;
    }
    void faxLostOnTheWayIsOfferedAgain()
    {
        QFETCH(bool, reset);
        QFETCH(bool, stopReading);
        LinkRig rig(false);
        QVERIFY(rig.login());
        answerLogins(rig.server);
        FakeFaxServer::Faults faults;
        faults.cutAfterFrames = stopReading ? 0 : 6; // "NEWFAX", "NOMSG", "STARTFILE" and three pieces
        faults.cutWithReset = reset;
        faults.slowReadBytes = stopReading ? 0 : 65536; // the server's buffers cannot take the whole fax before the cut
        faults.slowReadIntervalMs = 2;
        faults.stopReading = stopReading;
        rig.server.setFaults(faults);
        rig.sock->setUploadStallBound(stopReading ? 500 : QuorinSock::DefaultUploadStallMs);

        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_big);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        Prompt::setNextFileName(m_doc2);
        press(&dlg, u"cbFiles"_s);
        Prompt::setNextFileName(m_cover);
        QTest::keyClick(child<QCheckBox>(&dlg, u"chbCoverPage"_s), Qt::Key_Space);
        typeInto(&dlg, u"tbTo"_s, u"Rossi"_s);
        typeInto(&dlg, u"tbCompany"_s, u"Beta"_s);
        typeInto(&dlg, u"tbFaxNumber"_s, u"021"_s);
        typeInto(&dlg, u"tbSubj"_s, u"Ordine"_s);
        typeInto(&dlg, u"tbNote"_s, u"Urgente"_s);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::Yes); // send it again
        QSignalSpy loggedInAgain(rig.sock.get(), &QuorinSock::ReConnected);
        press(&dlg, u"cbSend"_s);
        const QString first = dlg.IdFaxSending();
        QVERIFY(first.startsWith(u'#'));

        QUORIN_TRY_VERIFY(promptTexts().join(u'|').contains(u"non è stato inviato"_s));
        const Prompt::Record told = Prompt::lastRecord();
        QCOMPARE(told.icon, QMessageBox::Critical);
        QVERIFY2(told.text.startsWith(u"Il fax per Rossi (021) non è stato inviato.\n"_s +
                                      (stopReading ? u"Motivo: il server non riceve più dati: nessun byte accettato "
                                                     u"da 0.5 s."_s
                                                   : u"Motivo: il collegamento al server si è interrotto prima della "
                                                     u"fine dell'invio."_s)),
                 qPrintable(told.text));
        QVERIFY(told.text.contains(u"Inviarlo di nuovo?"_s));
        QVERIFY(rig.server.cutDone() || stopReading);
        rig.sock->setUploadStallBound(QuorinSock::DefaultUploadStallMs);
        bool finished = true;
        filesReceived(rig.server, first, &finished);
        QVERIFY(!finished);

        // The dialog again, with the same recipients, texts and documents.
        FRMSEND2 *again = nullptr;
        QUORIN_TRY_VERIFY((again = reopenedDialog(&dlg)) != nullptr);
        const auto dropAgain = qScopeGuard([p = QPointer<FRMSEND2>(again)] { delete p.data(); });
        QCOMPARE(child<QLineEdit>(again, u"tbTo"_s)->text(), u"Rossi"_s);
        QCOMPARE(child<QLineEdit>(again, u"tbCompany"_s)->text(), u"Beta"_s);
        QCOMPARE(child<QLineEdit>(again, u"tbFaxNumber"_s)->text(), u"021"_s);
        QCOMPARE(child<QLineEdit>(again, u"tbSubj"_s)->text(), u"Ordine"_s);
        QCOMPARE(child<QPlainTextEdit>(again, u"tbNote"_s)->toPlainText(), u"Urgente"_s);
        auto *files = child<QListWidget>(again, u"lbFiles"_s);
        QCOMPARE(files->count(), 2);
        QCOMPARE(files->item(0)->text(), m_big);
        QVERIFY(IsForwardedItem(files->item(0)));
        QCOMPARE(files->item(1)->text(), m_doc2);
        QVERIFY(child<QCheckBox>(again, u"chbCoverPage"_s)->isChecked());
        QCOMPARE(child<QLineEdit>(again, u"tbCover"_s)->text(), m_cover);
        QCOMPARE(child<QPushButton>(again, u"cbCancel"_s)->text(), u"&Annulla"_s);

        // The link logged in again by itself; the fax goes whole this time.
        QUORIN_TRY_COMPARE(loggedInAgain.count(), 1);
        rig.server.clearFaults();
        Prompt::clearRecords();
        press(again, u"cbSend"_s);
        const QString second = again->IdFaxSending();
        QVERIFY(second.startsWith(u'#') && second != first);
        const QList<QByteArray> expected{contentOf(m_big), contentOf(m_doc2), contentOf(m_cover)};
        QUORIN_TRY_VERIFY(filesReceived(rig.server, second, &finished) == expected && finished);
        QUORIN_TRY_VERIFY(!FaxSendWatch::of(rig.sock.get())->uploading());
        press(again, u"cbCancel"_s); // sent: closes without a question
        QVERIFY(!again->isVisible());
        QVERIFY(!promptTexts().join(u'|').contains(u"non è stato inviato"_s));
    }

    // A document gone before its turn ends the fax: the box names it, the link stays up.
    void unreadableDocumentIsTold()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        const QString doomed = writeFile(m_home, u"sparisce.tif"_s, noise(5000, 3));
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_big);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        Prompt::setNextFileName(doomed);
        press(&dlg, u"cbFiles"_s);
        typeInto(&dlg, u"tbFaxNumber"_s, u"021; 022"_s);
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No); // not again
        press(&dlg, u"cbSend"_s);
        const QString key = dlg.IdFaxSending();
        QVERIFY(QFile::remove(doomed));
        QUORIN_TRY_VERIFY(promptTexts().join(u'|').contains(u"non è stato inviato"_s));
        QVERIFY2(Prompt::lastRecord().text.startsWith(u"Il fax per 021, 022 non è stato inviato.\nMotivo: il "
                                                      u"documento "_s +
                                                      doomed + u" non è più presente."_s),
                 qPrintable(Prompt::lastRecord().text));
        QTest::qWait(50);
        QVERIFY(!reopenedDialog(&dlg));
        QCOMPARE(rig.sock->State(), 7);
        bool finished = true;
        filesReceived(rig.server, key, &finished);
        QVERIFY(!finished);
    }

    // Closing the dialog while its fax uploads asks first; the upload goes on unless the user insists,
    // and then the fax is stopped and reported as not sent.
    void closingWhileUploadingAsks()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        answerLogins(rig.server);
        FakeFaxServer::Faults slow;
        slow.slowReadBytes = 65536;
        slow.slowReadIntervalMs = 5;
        rig.server.setFaults(slow);
        FRMSEND2 dlg;
        dlg.setClientSock(rig.sock.get());
        dlg.setItemOpen(m_big);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        typeInto(&dlg, u"tbFaxNumber"_s, u"021"_s);
        press(&dlg, u"cbSend"_s);
        const QString first = dlg.IdFaxSending();
        QCOMPARE(child<QPushButton>(&dlg, u"cbCancel"_s)->text(), u"&Chiudi"_s);

        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No); // stay
        press(&dlg, u"cbCancel"_s);
        QVERIFY(dlg.isVisible());
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().text,
                 u"Un fax è ancora in invio al server, destinatari: 021.\n"
                 u"Chiudendo adesso la finestra di spedizione l'invio viene interrotto e il fax non sarà "
                 u"spedito.\n\nChiudere comunque?"_s);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        Prompt::setNextAnswer(QMessageBox::No);
        QApplication::sendEvent(&dlg, &escape); // Escape asks as well
        QVERIFY(dlg.isVisible());
        QCOMPARE(Prompt::records().size(), 2);
        bool finished = false;
        QUORIN_TRY_VERIFY(filesReceived(rig.server, first, &finished).value(0) == contentOf(m_big) &&
                          finished);
        QUORIN_TRY_VERIFY(!FaxSendWatch::of(rig.sock.get())->uploading());
        press(&dlg, u"cbCancel"_s); // delivered: no question
        QVERIFY(!dlg.isVisible());
        QCOMPARE(Prompt::records().size(), 2);

        // Once more, and this time the user insists.
        dlg.setItemOpen(m_big);
        dlg.show(); // the recipients stay from before
        press(&dlg, u"cbSend"_s);
        const QString second = dlg.IdFaxSending();
        QVERIFY(second != first);
        QSignalSpy loggedInAgain(rig.sock.get(), &QuorinSock::ReConnected);
        QSignalSpy notSent(FaxSendWatch::of(rig.sock.get()), &FaxSendWatch::notSent);
        Prompt::setNextAnswer(QMessageBox::Yes); // close anyway
        Prompt::setNextAnswer(QMessageBox::No);  // and do not send it again
        press(&dlg, u"cbCancel"_s);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(notSent.count(), 1);
        QCOMPARE(notSent.at(0).at(0).toString(), second);
        const QString stopped = u"Il fax per 021 non è stato inviato.\n"
                                u"Motivo: invio interrotto alla chiusura della finestra di spedizione."_s;
        QUORIN_TRY_VERIFY2(promptTexts().join(u'|').contains(stopped), qPrintable(promptTexts().join(u'|')));
        QUORIN_TRY_COMPARE(loggedInAgain.count(), 1); // the link is back for the next fax
        QTest::qWait(100);
        filesReceived(rig.server, second, &finished);
        QVERIFY(!finished);
        QVERIFY(!reopenedDialog(&dlg));
    }

    void fileNamesWithPlusAreRefused()
    {
        const QString plus = writeFile(m_home, u"a+b.tif"_s, "x");
        FRMSEND2 dlg;
        dlg.setItemOpen(plus);
        dlg.Load();
        setText(&dlg, u"tbFaxNumber"_s, u"021"_s);
        click(&dlg, u"cbSend"_s);
        QVERIFY(Prompt::lastRecord().text.contains(u"contiene il carattere '+'"_s));
    }

    void coverPicker()
    {
        FRMSEND2 dlg;
        dlg.Load();
        auto *check = child<QCheckBox>(&dlg, u"chbCoverPage"_s);
        auto *cover = child<QLineEdit>(&dlg, u"tbCover"_s);
        Prompt::setNextFileName(QString()); // cancelled
        check->click();
        QVERIFY(!check->isChecked());
        QCOMPARE(cover->text(), u"nessuna"_s);
        Prompt::setNextFileName(m_cover);
        check->click();
        QCOMPARE(cover->text(), m_cover);
        QCOMPARE(Prompt::lastRecord().kind, Prompt::Kind::OpenFile);
        check->click();
        QCOMPARE(cover->text(), u"nessuna"_s);

        // File names show in the tooltips as they are, even where they look like markup.
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        const QString marked = m_home.filePath(u"<b>Rotto & \"x\"<br>  <img src=\"x.png\"> &amp;.cpe"_s);
        Prompt::setNextFileName(marked);
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(cover->text(), marked);
        QCOMPARE(shownTip(check->toolTip()), marked);
        QCOMPARE(shownTip(cover->toolTip()), marked);
        const QString document = m_home.filePath(u"<i>Fattura</i> <br>.tif"_s);
        Prompt::setNextFileName(document);
        press(&dlg, u"cbFiles"_s);
        auto *files = child<QListWidget>(&dlg, u"lbFiles"_s);
        QListWidgetItem *added = files->item(files->count() - 1);
        QCOMPARE(added->text(), document);
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(added).center());
        QCOMPARE(shownTip(files->toolTip()), document);
    }

    // The remembered document list: written at close, left alone by a dialog opened for one fax.
    void fileListPersistence()
    {
        ConfigIni.File = m_doc1;
        {
            FRMSEND2 dlg;
            dlg.show();
            Prompt::setNextFileName(m_doc2);
            click(&dlg, u"cbFiles"_s);
            Prompt::setNextFileName(m_doc2); // the same file twice is allowed
            click(&dlg, u"cbFiles"_s);
            QCOMPARE(child<QListWidget>(&dlg, u"lbFiles"_s)->currentRow(), 2);
            Prompt::setNextFileName(QString());
            click(&dlg, u"cbFiles"_s);
            QCOMPARE(child<QListWidget>(&dlg, u"lbFiles"_s)->count(), 3);
            dlg.close();
        }
        const QString stored = m_doc1 + u'+' + m_doc2 + u'+' + m_doc2;
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"File"_s), stored);
        {
            FRMSEND2 dlg;
            dlg.setItemOpen(m_doc1);
            dlg.show();
            QCOMPARE(child<QListWidget>(&dlg, u"lbFiles"_s)->count(), 1); // the forwarded fax alone
            dlg.close();
            QCOMPARE(dlg.ItemOpen(), QString());
        }
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"File"_s), stored);
        {
            FRMSEND2 dlg;
            dlg.show();
            click(&dlg, u"Command1"_s);
            dlg.close();
        }
        QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"File"_s), QString());
    }
};

QTEST_MAIN(TestSendDialog)
#include "tst_senddialog.moc"
