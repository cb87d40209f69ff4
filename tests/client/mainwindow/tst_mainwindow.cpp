// The fax client from start-up to its main window, against the fake fax server on loopback.
#include "AppPaths.h"
#include "ConfigIni.h"
#include "FRMSEND2.h"
#include "FakeFaxServer.h"
#include "FaxItem.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "FaxSendWatch.h"
#include "FaxTiffFixture.h"
#include "ListIcons.h"
#include "MainWindowRig.h"
#include "ProfileFile.h"
#include "ProgramInfo.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "SampleMailbox.h"
#include "StartupMain.h"
#include "TestHome.h"
#include "UpdateWatch.h"
#include "frmMain.h"
#include "frmSendStatus.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;

namespace {} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startWithSettings();
    void startWithoutForwardRight();
    void startWithoutSettingsFindsServer();
    void serverNotAvailable();
    void tooManyUsers();
    void versions_data();
    void versions();
    void updateAccepted();
    void updateWithoutRestartProgram();
    void updateNothingToDownload();
    void updateNeverCame();
    void sentFaxFiled();
    void listKinds_data();
    void listKinds();
    void folderCaption();
    void longList_data();
    void longList();
    void sorting();
    void delayedReadMark();
    void previewOfSelectedFax();
    void progressEvents();
    void lostLink();
    void listCutHalfway();
    void serverBackThenOneAction_data();
    void serverBackThenOneAction();
    void faxOnTheWay();
    void newFax_data();
    void newFax();
    void escapeEndsAWait();
    void missingImage();
    void previewPrintAndSave();
    void folderMenu_data();
    void folderMenu();
    void folderCommands();
    void placementComesBack();
    void placementFitsTheScreen_data();
    void placementFitsTheScreen();
    void fixedWindows_data();
    void fixedWindows();
    void splashClosesItself();

private:
    void writeIni(const QString &server, int port);
    StartupMain *start();
    frmMain *startRunning(Server &server);
    void clickNode(frmMain *w, const QString &key);
    void clickRow(frmMain *w, int index);
    QStringList promptTexts() const;

    TestHome m_dir;
    std::unique_ptr<StartupMain> m_startup;
    std::unique_ptr<QSignalSpy> m_finished; // of m_startup from before its Main(): an end inside it counts
    bool m_wroteStub = false;
};

void tst_MainWindow::initTestCase()
{
    QVERIFY(m_dir.setUp());
    m_dir.useOwnSysconf();
    QCoreApplication::setApplicationName(u"Quorin"_s);
    QCoreApplication::setApplicationVersion(u"1.0.0"_s);
    Prompt::setAnswering(true);
}

void tst_MainWindow::init()
{
    ConfigIni = ConfigIniRecord{};
    QFile::remove(AppPaths::settingsDir() + u"/Darezi.ini"_s);
    QCoreApplication::setApplicationVersion(u"1.0.0"_s);
    Prompt::setAnswering(true); // also drops answers a test left unused
}

void tst_MainWindow::cleanup()
{
    m_startup.reset();
    // Only the stub this run wrote: the X display's run of this program shares the folder.
    if (std::exchange(m_wroteStub, false))
        QFile::remove(AppPaths::programDir() + u"/QVDozeza"_s);
}

void tst_MainWindow::writeIni(const QString &server, int port)
{
    QVERIFY(writeServerIni(server, port));
}

StartupMain *tst_MainWindow::start()
{
    m_startup = std::make_unique<StartupMain>();
    m_finished = std::make_unique<QSignalSpy>(m_startup.get(), &StartupMain::finished);
    m_startup->Main();
    return m_startup.get();
}

frmMain *tst_MainWindow::startRunning(Server &server)
{
    if (!writeServerIni(u"127.0.0.1"_s, server.fake.port()))
        return nullptr;
    m_startup = std::make_unique<StartupMain>();
    return runToFirstList(*m_startup);
}

void tst_MainWindow::clickNode(frmMain *w, const QString &key)
{
    clickTreeNode(w, key);
}

void tst_MainWindow::clickRow(frmMain *w, int index)
{
    QTreeWidgetItem *item = w->ListFax->topLevelItem(index);
    QVERIFY(item);
    w->ListFax->scrollToItem(item);
    const QRect r = w->ListFax->visualItemRect(item);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
}

QStringList tst_MainWindow::promptTexts() const
{
    QStringList out;
    for (const auto &r : Prompt::records())
        out << r.text;
    return out;
}

void tst_MainWindow::startWithSettings()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY(w->Connected && w->UserReceived);
    // A forward user starts on the received faxes.
    QVERIFY(w->tree().node(u"P3"_s));
    QCOMPARE(w->ActiveList, 0);
    QVERIFY(w->fraListFax->title().startsWith(u"Fax Ricevuti [ "_s));
    QCOMPARE(w->panelText(3), w->NomeUtente);
    QVERIFY(w->panelText(2).startsWith(u"Connesso al Server: "_s));
    // The login writes the server back, the port with its leading blank.
    QCOMPARE(ProfileFile::readString(ConfigIni.IniPath, u"Config"_s, u"Server"_s), u"127.0.0.1"_s);
    QFile ini(ConfigIni.IniPath);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains(QByteArray("Port= " + QByteArray::number(server.fake.port()))));
    // The first fax is selected and shown from a copy of its own.
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    QCOMPARE(w->LumagPreview->FileName(), w->CurrentFaxFile());
    QVERIFY(w->CurrentFaxFile() != w->ClientSock->NameTempFile());
    QVERIFY(QFileInfo(w->CurrentFaxFile()).size() > 0);
    QVERIFY(promptTexts().isEmpty());
    const QByteArray shot = qgetenv("QUORIN_SCREENSHOT");
    if (!shot.isEmpty())
        w->grab().save(QString::fromLocal8Bit(shot));
}

void tst_MainWindow::startWithoutForwardRight()
{
    Server server;
    server.rights = u"<#>F<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(!w->IsForwarduser);
    QVERIFY(!w->tree().node(u"P3"_s));
    QCOMPARE(w->tree().indexOf(w->tree().node(u"P4"_s)), 4);
    QCOMPARE(w->ActiveList, 1);
    QVERIFY(w->fraListFax->title().startsWith(u"Fax Personali"_s));
    // The tree is asked without the received root.
    const auto trees = server.fake.receivedFrames("CHILDRENTREE");
    QStringList asked;
    for (const auto &f : trees)
        asked << f.text();
    QCOMPARE(asked, (QStringList{u"1"_s, u"2"_s, u"4"_s}));
}

void tst_MainWindow::startWithoutSettingsFindsServer()
{
    Server server;
    // No server name: the client searches loopback for a server on the stored port.
    const QString path = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    QVERIFY(
        ProfileFile::writeString(path, u"Config"_s, u"Port"_s, u" "_s + QString::number(server.fake.port())));
    Prompt::setDialogHandler([](QDialog *) { return int(QDialog::Accepted); });
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    Prompt::setDialogHandler({});
    if (server.fake.probeCount() == 0)
        QSKIP("the link's server search is not built yet");
    QCOMPARE(s->outcome(), StartupMain::Outcome::Running);
    QCOMPARE(ProfileFile::readString(path, u"Config"_s, u"Server"_s), u"127.0.0.1"_s);
}

void tst_MainWindow::serverNotAvailable()
{
    const RefusedPort refused;
    QVERIFY(refused.port() != 0);
    writeIni(u"127.0.0.1"_s, refused.port());
    // The question is a real box, answered No with the mouse: the main window is still hidden, so it
    // opens in the middle of the screen, and offers neither minimise nor maximise.
    Prompt::setAnswering(false);
    QString asked;
    QRect placed;
    Qt::WindowFlags flags;
    QTimer answer;
    answer.setInterval(50);
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !asked.isEmpty())
            return;
        asked = box->text();
        placed = box->frameGeometry();
        flags = box->windowFlags();
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    answer.start();
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    answer.stop();
    Prompt::setAnswering(true);
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QVERIFY(!s->mainWindow());
    QVERIFY(asked.contains(u"Impossibile connettersi al server: 127.0.0.1"_s));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2((placed.center() - screen.center()).manhattanLength() <= 8,
             qPrintable(u"box centre %1,%2, screen centre %3,%4"_s.arg(placed.center().x())
                            .arg(placed.center().y())
                            .arg(screen.center().x())
                            .arg(screen.center().y())));
    QCOMPARE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint), Qt::WindowFlags());
}

void tst_MainWindow::tooManyUsers()
{
    Server server;
    server.maxUsers = true;
    writeIni(u"127.0.0.1"_s, server.fake.port());
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QVERIFY(!s->mainWindow()); // no hidden window stays behind
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
    QVERIFY(Prompt::lastRecord().text.contains(u"Raggiunto massimo numero di utenti connessi al server."_s));
}

void tst_MainWindow::versions_data()
{
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("announced");
    QTest::addColumn<QString>("told");
    QTest::addColumn<bool>("linkOutdated");
    // Versions compare as numbers: 1.0.10 is the newer one.
    QTest::newRow("server newer") << u"1.0.9"_s << u"1.0.10"_s << u"eseguire un aggiornamento. Eseguire"_s
                                  << false;
    QTest::newRow("client newer") << u"1.0.10"_s << u"1.0.9"_s << u"aggiornamento del Server!"_s << false;
    QTest::newRow("equal") << u"1.0.9"_s << u"1.0.9"_s << QString() << false;
    QTest::newRow("equal, link library out of date")
        << u"1.0.9"_s << u"1.0.9"_s << u"eseguire un aggiornamento. Eseguire"_s << true;
}

void tst_MainWindow::versions()
{
    QFETCH(QString, own);
    QFETCH(QString, announced);
    QFETCH(QString, told);
    QFETCH(bool, linkOutdated);
    QCoreApplication::setApplicationVersion(own);
    Server server;
    server.versions[1] = announced;
    if (linkOutdated)
        server.versions[0] = u"999.0.0"_s;
    Prompt::setNextAnswer(QMessageBox::No); // the update question is refused: the login goes on
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(!w->LanciaUpdate());
    if (told.isEmpty())
        QVERIFY(promptTexts().isEmpty());
    else
        QVERIFY2(promptTexts().join(u'|').contains(told), qPrintable(promptTexts().join(u'|')));
}

void tst_MainWindow::updateAccepted()
{
    // The restart program records its arguments.
    const QString record = m_dir.filePath(u"restart-args.txt"_s);
    const QString stub = AppPaths::programDir() + u"/QVDozeza"_s;
    QFile script(stub);
    m_wroteStub = true;
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + record.toLocal8Bit() + ".part\"\nmv \"" +
                 record.toLocal8Bit() + ".part\" \"" + record.toLocal8Bit() + "\"\n");
    script.close();
    QVERIFY(QFile::setPermissions(stub,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

    Server server;
    server.versions[1] = u"1.0.1"_s;
    const QByteArray content = "[files]\r\nQuorin\r\n";
    server.extra = [content](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "UPDATEFILES")
            return false;
        s.sendNow(F::answer(u"TBUPDATE", QString::number(content.size())));
        s.sendFile(content, u"UPDATE.RIS"_s);
        s.send(F::answer(u"FINEUPD"));
        return true;
    };
    writeIni(u"127.0.0.1"_s, server.fake.port());
    Prompt::setNextAnswer(QMessageBox::Yes);
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QVERIFY2(s->outcome() == StartupMain::Outcome::Updating, qPrintable(promptTexts().join(u'|')));
    QVERIFY(!s->mainWindow());
    QUORIN_TRY_VERIFY(QFile::exists(record));
    QFile args(record);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QString arg = QString::fromLocal8Bit(args.readAll()).trimmed();
    QVERIFY2(arg.endsWith(u"/UPDATE/UPDATE.RIS"_s), qPrintable(arg));
    QVERIFY(QFile::exists(arg));
}

void tst_MainWindow::updateWithoutRestartProgram()
{
    Server server;
    server.versions[1] = u"1.0.1"_s;
    server.extra = [](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "UPDATEFILES")
            return false;
        s.sendNow(F::answer(u"TBUPDATE", u"4"_s));
        s.sendFile("abcd", u"UPDATE.RIS"_s);
        s.send(F::answer(u"FINEUPD"));
        return true;
    };
    writeIni(u"127.0.0.1"_s, server.fake.port());
    Prompt::setNextAnswer(QMessageBox::Yes);
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QVERIFY(!s->mainWindow());
    QVERIFY(Prompt::lastRecord().text.contains(u"QVDozeza.exe non trovato"_s));
}

void tst_MainWindow::updateNothingToDownload()
{
    Server server; // the mailbox answers the update request with a total of 0
    server.versions[1] = u"1.0.1"_s;
    writeIni(u"127.0.0.1"_s, server.fake.port());
    Prompt::setNextAnswer(QMessageBox::Yes);
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QCOMPARE(s->outcome(), StartupMain::Outcome::Ended);
    QVERIFY(!s->mainWindow());
    QVERIFY(Prompt::lastRecord().text.contains(u"Impossibile effettuare l'aggiornamento"_s));
}

void tst_MainWindow::updateNeverCame()
{
    // The update is accepted, and the server drops the link before any file: the program says so and
    // goes on with the version it runs, once the server has taken it back.
    Server server;
    server.versions[1] = u"1.0.1"_s;
    server.extra = [](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "UPDATEFILES")
            return false;
        s.dropClient();
        return true;
    };
    writeIni(u"127.0.0.1"_s, server.fake.port());
    Prompt::setNextAnswer(QMessageBox::Yes);
    Prompt::setNextAnswer(QMessageBox::Ok);
    Prompt::setNextAnswer(QMessageBox::No); // offered again at the next login: declined
    StartupMain *s = start();
    QVERIFY(TestWait::forSignal(*m_finished));
    QVERIFY2(s->outcome() == StartupMain::Outcome::Running, qPrintable(promptTexts().join(u'|')));
    frmMain *w = s->mainWindow();
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->isVisible() && w->Connected);
    QCOMPARE(server.fake.receivedFrames("UPDATEFILES").size(), 1);
    QCOMPARE(server.fake.connectionCount(), 2);
    const QStringList told = promptTexts();
    QCOMPARE(told.size(), 3);
    QCOMPARE(told.at(1), UpdateWatch::notReceivedText());
    QVERIFY(!told.join(u'|').contains(u"QVDozeza"_s));
}

void tst_MainWindow::sentFaxFiled()
{
    // A fax sent from the send dialog is listed under "Spediti" as it was sent: its recipient, company
    // and number, and the pages of its two documents in the preview.
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    const QString document = m_dir.filePath(u"offerta.tif"_s), annex = m_dir.filePath(u"listino.tif"_s);
    QVERIFY(FaxTiffFixture::write(document, 3, false, u"Offerta 12"_s, {u"Spedito dal test"_s}));
    QVERIFY(FaxTiffFixture::write(annex, 2, true, u"Listino"_s));
    w->findChild<QAction *>(u"mnuSendFax"_s)->trigger();
    FRMSEND2 *dialog = nullptr;
    QUORIN_TRY_VERIFY((dialog = w->findChild<FRMSEND2 *>()) && dialog->isVisible());
    for (const QString &file : {document, annex}) {
        Prompt::setNextFileName(file);
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"cbFiles"_s), Qt::LeftButton);
    }
    QTest::keyClicks(dialog->findChild<QLineEdit *>(u"tbTo"_s), u"Mario Bianchi"_s);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(u"tbCompany"_s), u"Bianchi & Figli"_s);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(u"tbFaxNumber"_s), u"0315550101"_s);
    QTest::mouseClick(dialog->findChild<QPushButton *>(u"cbSend"_s), Qt::LeftButton);
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("FINEFAX").isEmpty());

    clickTreeNode(w, u"P2"_s);
    FaxListItem *row = nullptr;
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && (row = w->row(u"S900"_s)));
    QCOMPARE(row->text(FaxListText::ColRemote), u"Mario Bianchi"_s);
    QCOMPARE(row->text(FaxListText::ColCompany), u"Bianchi & Figli"_s);
    QCOMPARE(row->text(FaxListText::ColFaxNumber), u"0315550101"_s);
    QCOMPARE(row->text(FaxListText::ColPages), u"5"_s);
    const QString before = w->CurrentFaxFile();
    const QRect r = w->ListFax->visualItemRect(row);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
    QUORIN_TRY_VERIFY(w->CurrentFaxFile() != before && QImageReader(w->CurrentFaxFile()).imageCount() == 5);
    QImageReader shown(w->CurrentFaxFile());
    QVERIFY(shown.jumpToImage(3));
    QCOMPARE(shown.read().size(), QImage(annex).size()); // the annex's first page, at its own size
}

void tst_MainWindow::listKinds_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("remoteHeader");
    QTest::addColumn<QString>("caption");
    QTest::newRow("personal") << u"P1"_s << 1 << 9 << u"Mittente"_s << u"Fax Personali"_s;
    QTest::newRow("sent") << u"P2"_s << 2 << 9 << u"Destinatario"_s << u"Fax Spediti"_s;
    QTest::newRow("received") << u"P3"_s << 0 << 9 << u"Mittente"_s << u"Fax Ricevuti"_s;
    QTest::newRow("trash") << u"P4"_s << 3 << 12 << u"Mitt/Dest"_s << u"Cestino"_s;
}

void tst_MainWindow::listKinds()
{
    QFETCH(QString, node);
    QFETCH(int, kind);
    QFETCH(int, columns);
    QFETCH(QString, remoteHeader);
    QFETCH(QString, caption);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    clickNode(w, node);
    QCOMPARE(w->ActiveList, kind);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    QCOMPARE(w->ListFax->columnCount(), columns);
    QCOMPARE(w->ListFax->headerItem()->text(2), remoteHeader);
    QVERIFY(w->ListFax->isColumnHidden(8));
    const QString title = w->fraListFax->title();
    QVERIFY2(
        title.startsWith(caption + u" [ "_s + QString::number(w->ListFax->topLevelItemCount()) + u" ]"_s),
        qPrintable(title));
    // Unread rows are bold, except in the sent list.
    int bold = 0;
    for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
        bold += static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->isBold() ? 1 : 0;
    if (kind == 2)
        QCOMPARE(bold, 0);
    else
        QCOMPARE(bold, w->aggDaLeggere);
}

void tst_MainWindow::longList_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<int>("kind");
    QTest::newRow("personal") << u"P1"_s << QByteArray("PERSONALI") << 1;
    QTest::newRow("sent") << u"P2"_s << QByteArray("SPEDITI") << 2;
    QTest::newRow("received") << u"P3"_s << QByteArray("INOLTRO") << 0;
    QTest::newRow("trash") << u"P4"_s << QByteArray("CANCELLATI") << 3;
}

// A long list with every kind of value (ties in the sort key, dates and times alone, no date, states with
// and without a text, unknown icons, large and unreadable page counts, code-page letters, a repeated key,
// broken records) shows each fax as the row texts of that fax give it, in the order the list's own stable
// sort gives, with the bold state, icon, first selection and caption of each.
void tst_MainWindow::longList()
{
    QFETCH(QString, node);
    QFETCH(QByteArray, keyword);
    QFETCH(int, kind);
    constexpr int Faxes = 3000;
    const QByteArray sep = F::ListSep, end = F::RecordSep;
    QByteArray answer = QByteArray::number(Faxes) + end;
    const char *const states[] = {"1", "C", "W", " 1 ", "c", "", "b", "9"};
    const char *const icons[] = {"4", "5", "", "1", "9", "8", "2x"};
    for (int i = 0; i < Faxes; ++i) {
        QByteArray date = QByteArray::number(9000000 - (i % 37) * 1439 - (i % 5)); // many equal keys
        if (i % 41 == 0)
            date = "O" + QByteArray::number(8000000 + i % 3 * 1440);
        else if (i % 43 == 0)
            date = "D" + QByteArray::number(i % 1440);
        else if (i % 47 == 0)
            date.clear();
        else if (i % 53 == 0)
            date = "-" + QByteArray::number(i);
        const QByteArray pages =
            i % 29 == 0 ? QByteArray("tre") : QByteArray::number(i % 31 == 0 ? 1500 + i : i % 23);
        QByteArray record =
            "R" + QByteArray::number(100000 + (i == 7 ? 5 : i)) + sep + states[i % 8] + sep + icons[i % 7] +
            sep + "+39 02 " + QByteArray::number(5550000 + i % 97) + sep +
            (i % 11 ? QByteArray("Azienda ") + QByteArray::number(i % 13) : QByteArray("Citt\xE0 \x80")) +
            sep + "0255" + QByteArray::number(i % 89) + sep + date + sep + pages + sep +
            (i % 17 ? QByteArray("Oggetto ") + QByteArray::number(i % 19) : QByteArray()) + sep +
            (i % 3 ? "V" : "F");
        if (kind == 2)
            record +=
                sep + QByteArray::number(i % 4) + sep + QByteArray::number(i % 3) + sep + (i % 2 ? "0" : "1");
        answer += sep + record + end;
        if (i % 500 == 250)
            answer += sep + "R9" + QByteArray::number(i) + sep + "1" + end; // broken: left out
    }
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    server.extra = [&](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != keyword)
            return false;
        s.sendNow(F::rawAnswer(keyword, answer));
        return true;
    };
    clickNode(w, node);
    QCOMPARE(w->ActiveList, kind);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() > 100);
    CollFaxItem *faxes = w->ClientSock->FaxItems();
    QVERIFY(faxes);
    QCOMPARE(w->ListFax->topLevelItemCount(), faxes->Count());
    QCOMPARE(faxes->Count(), Faxes - 1); // the repeated key keeps its first fax

    // Newest first by the hidden key; equal keys in the order they came.
    QList<const FaxItem *> expected;
    for (const FaxItem &fax : *faxes)
        expected << &fax;
    const auto sortKey = [](const FaxItem *fax) {
        return QStringView(fax->DateOrder()).trimmed().toLongLong();
    };
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const FaxItem *a, const FaxItem *b) { return sortKey(b) < sortKey(a); });
    // The list's own sort of the same rows, put in as they came, gives that order too.
    QTreeWidget plain;
    plain.setColumnCount(w->ListFax->columnCount());
    for (const FaxItem &fax : *faxes) {
        auto *row = new FaxListItem;
        row->fill(fax, kind, ListIcons::faxIcon(fax.Icon()), fax.Icon());
        plain.addTopLevelItem(row);
    }
    FaxListItem::setSortColumn(FaxListText::ColDateOrder);
    plain.sortItems(FaxListText::ColDateOrder, Qt::DescendingOrder);

    const QAbstractItemModel *model = w->ListFax->model();
    int unread = 0;
    for (int i = 0; i < expected.size(); ++i) {
        const FaxItem &fax = *expected.at(i);
        auto *row = static_cast<FaxListItem *>(w->ListFax->topLevelItem(i));
        QCOMPARE(row->key(), fax.IdFax());
        QCOMPARE(static_cast<FaxListItem *>(plain.topLevelItem(i))->key(), fax.IdFax());
        const QStringList texts = FaxListText::RowTexts(fax, kind);
        const bool bold = kind != 2 && !fax.Read();
        unread += fax.Read() ? 0 : 1;
        QVERIFY(!model->index(i, 0).data(Qt::DisplayRole).isValid());
        for (int c = 0; c < w->ListFax->columnCount(); ++c) {
            const QModelIndex index = model->index(i, c);
            if (c >= 1 && c <= 8) {
                QCOMPARE(row->text(c), texts.at(c - 1));
                QCOMPARE(index.data(Qt::DisplayRole).toString(), texts.at(c - 1));
                QCOMPARE(index.data(Qt::EditRole).toString(), texts.at(c - 1));
            } else if (c > 8) {
                QVERIFY(row->text(c).isEmpty());
            }
            if (c <= 8)
                QCOMPARE(index.data(Qt::FontRole).isValid() && row->font(c).bold(), bold);
        }
        QCOMPARE(row->isBold(), bold);
        QCOMPARE(row->iconName(), fax.Icon());
        QCOMPARE(row->icon(0).cacheKey(), ListIcons::faxIcon(fax.Icon()).cacheKey());
        QCOMPARE(model->index(i, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 ListIcons::faxIcon(fax.Icon()).cacheKey());
    }
    // The first row is the one selected; the caption counts the rows and, outside the sent list and
    // the trash, the unread ones.
    QCOMPARE(w->ListFax->selectedItems().size(), 1);
    QCOMPARE(w->ListFax->currentItem(), w->ListFax->topLevelItem(0));
    QCOMPARE(w->CurrentKey, expected.first()->IdFax());
    QCOMPARE(w->aggDaLeggere, unread);
    QCOMPARE(w->fraListFax->title(),
             *FaxListText::ListCaption(kind, w->TestoNodo(), int(expected.size()), unread));
    QCOMPARE(w->ListFax->header()->sortIndicatorSection(), FaxListText::ColDateOrder);
    QCOMPARE(w->ListFax->header()->sortIndicatorOrder(), Qt::DescendingOrder);

    // A changed row tells the view, and its own texts follow.
    auto *first = static_cast<FaxListItem *>(w->ListFax->topLevelItem(0));
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    first->setColumnText(FaxListText::ColStatus, u"In fase di spedizione"_s);
    QCOMPARE(model->index(0, FaxListText::ColStatus).data().toString(), u"In fase di spedizione"_s);
    QVERIFY(!changed.isEmpty());
    changed.clear();
    first->setBold(!first->isBold());
    QCOMPARE(first->font(3).bold(), first->isBold());
    QVERIFY(!changed.isEmpty());
    // Sorting by another column and back by date gives the same order again.
    // Sorting by another column, then by date again: equal dates keep the order the other sort gave.
    w->OrdinaColonna(FaxListText::ColCompany);
    QList<const FaxItem *> byCompany;
    for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
        byCompany << faxes->Item(static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->key());
    QVERIFY(byCompany != expected);
    std::stable_sort(byCompany.begin(), byCompany.end(),
                     [&](const FaxItem *a, const FaxItem *b) { return sortKey(b) < sortKey(a); });
    w->OrdinaColonna(FaxListText::ColDate);
    QCOMPARE(w->SortOrder(), 1);
    for (int i = 0; i < byCompany.size(); ++i)
        QCOMPARE(static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->key(), byCompany.at(i)->IdFax());
}

void tst_MainWindow::folderCaption()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().count() > 5);
    QTreeWidgetItem *folder = nullptr;
    for (const auto &f : server.mailbox.folders()) {
        if (f.parent >= 1 && f.parent <= 3) {
            folder = w->tree().node(u"F"_s + QString::number(f.id));
            break;
        }
    }
    QVERIFY(folder);
    clickNode(w, FolderTree::key(folder));
    QCOMPARE(w->CurrTreeID(), FolderTree::nodeId(FolderTree::key(folder)));
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    QVERIFY2(w->fraListFax->title().contains(u" / "_s + folder->text(0) + u" [ "_s),
             qPrintable(w->fraListFax->title()));
    // The keys move to the next node and open it.
    clickNode(w, u"P1"_s);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    w->TVNodi->setFocus();
    QTest::keyClick(w->TVNodi, Qt::Key_Down);
    QCOMPARE(FolderTree::key(w->TVNodi->currentItem()),
             FolderTree::key(w->TVNodi->itemBelow(w->tree().node(u"P1"_s))));
    QCOMPARE(w->CurrTreeID(), FolderTree::nodeId(FolderTree::key(w->TVNodi->currentItem())));
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    // The top node shows the logo panel and asks nothing.
    const int lists = server.fake.receivedFrames("INOLTRO").size() +
                      server.fake.receivedFrames("PERSONALI").size() +
                      server.fake.receivedFrames("SPEDITI").size();
    clickNode(w, u"ROOT"_s);
    QCOMPARE(w->CurrTreeID(), 0);
    QVERIFY(w->fraRoot->isVisible());
    // Frames arrive in order: once a later request is in, a list request would have come before it.
    w->ClientSock->AskPhoneBook();
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("ASKRUBRICA").isEmpty());
    QCOMPARE(server.fake.receivedFrames("INOLTRO").size() + server.fake.receivedFrames("PERSONALI").size() +
                 server.fake.receivedFrames("SPEDITI").size(),
             lists);
}

void tst_MainWindow::sorting()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QVERIFY(w->ListFax->topLevelItemCount() >= 2);
    const auto column = [w](int c) {
        QStringList out;
        for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
            out << w->ListFax->topLevelItem(i)->text(c);
        return out;
    };
    // Default: newest first, by the hidden sort key, arrow on the date column.
    QCOMPARE(w->SortKey(), 8);
    QStringList keys = column(8);
    QStringList sorted = keys;
    std::sort(sorted.begin(), sorted.end(), std::greater<>());
    QCOMPARE(keys, sorted);

    w->OrdinaColonna(5); // "Data e Ora": ascending
    QCOMPARE(w->SortKey(), 8);
    QCOMPARE(w->SortOrder(), 0);
    keys = column(8);
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(keys, sorted);
    w->OrdinaColonna(5);
    QCOMPARE(w->SortOrder(), 1);

    w->OrdinaColonna(6); // pages, numerically; the order stays
    QCOMPARE(w->SortKey(), 6);
    QCOMPARE(w->SortOrder(), 1);
    const QStringList pages = column(6);
    for (int i = 1; i < pages.size(); ++i)
        QVERIFY(pages.at(i - 1).toInt() >= pages.at(i).toInt());
    w->OrdinaColonna(6);
    QCOMPARE(w->SortOrder(), 0);
}

void tst_MainWindow::delayedReadMark()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    int unreadRow = -1;
    for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i) {
        if (static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->isBold()) {
            unreadRow = i;
            break;
        }
    }
    if (unreadRow < 0) {
        clickNode(w, u"P1"_s);
        QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
        for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i) {
            if (static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->isBold())
                unreadRow = i;
        }
    }
    QVERIFY2(unreadRow >= 0, "the sample mailbox has an unread fax");
    auto *row = static_cast<FaxListItem *>(w->ListFax->topLevelItem(unreadRow));
    const int before = w->aggDaLeggere;
    server.fake.clearReceived();
    clickRow(w, unreadRow);
    // Nothing is marked at once: the fax is read once it has stayed selected.
    QVERIFY(row->isBold());
    QVERIFY(server.fake.receivedFrames("LETTO").isEmpty());
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("LETTO").isEmpty());
    const F::Frame letto = server.fake.receivedFrames("LETTO").constFirst();
    QVERIFY2(letto.text().contains(row->key()), qPrintable(letto.text()));
    QVERIFY(!row->isBold());
    QCOMPARE(w->aggDaLeggere, before - 1);
    QVERIFY(w->fraListFax->title().contains(QString::number(before - 1)) || before - 1 == 0);
}

void tst_MainWindow::previewOfSelectedFax()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    const QString firstFile = w->CurrentFaxFile();
    QVERIFY(w->ListFax->topLevelItemCount() >= 2);
    const QString key = static_cast<FaxListItem *>(w->ListFax->topLevelItem(1))->key();
    clickRow(w, 1);
    QCOMPARE(w->LastAskedKey(), key);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty() && w->LumagPreview->FileName() == w->CurrentFaxFile());
    // Each image has its own copy: the one shown before is not overwritten by the next download.
    QVERIFY(w->CurrentFaxFile() != firstFile);
    QVERIFY(w->CurrentFaxFile() != w->ClientSock->NameTempFile());
    QVERIFY(w->ListFax->isEnabled());
    // The program's copies go when it closes.
    const QString shown = w->CurrentFaxFile();
    QVERIFY(QFile::exists(firstFile) && QFile::exists(shown));
    QVERIFY(w->close());
    QVERIFY(!QFile::exists(firstFile));
    QVERIFY(!QFile::exists(shown));
}

void tst_MainWindow::progressEvents()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    clickNode(w, u"P2"_s);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ActiveList == 2);
    QVERIFY(w->ListFax->topLevelItemCount() > 0);
    const QString key = static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key();
    server.fake.sendNow(F::answer(u"FAXPROGRSTART", key));
    QUORIN_TRY_VERIFY(w->sendStatusWindow() && w->sendStatusWindow()->isVisible());
    frmSendStatus *status = w->sendStatusWindow();
    QCOMPARE(status->lblStatus->text(), u"Preparazione invio Fax."_s);
    QCOMPARE(status->lblRemoteID->text(), u"RemoteID"_s);
    server.fake.sendNow(F::answer(
        u"FAXPROGR", QString(u"REMOTO<#>9600<#>2<#>5<#>40<#>14<#>Rossi<#>0101<#>1<#>2<#>"_s + key)));
    QUORIN_TRY_COMPARE(status->lblPercent->text(), u"40 %"_s);
    QCOMPARE(status->lblRemoteID->text(), u"REMOTO"_s);
    QCOMPARE(status->lblSpeed->text(), u"9600"_s);
    QCOMPARE(status->lblPage->text(), u"2 / 5"_s);
    QCOMPARE(status->lblStatus->text(), u"In fase di spedizione"_s);
    QCOMPARE(status->lblDestination->text(), u"Rossi"_s);
    QCOMPARE(status->lblFaxNumber->text(), u"0101"_s);
    QCOMPARE(status->lblNumTentativo->text(), u"2 di 3"_s);
    QCOMPARE(w->row(key)->text(1), u"In fase di spedizione Pagina 2 di 5"_s);
    // A state the string table lacks shows its number, and nobody is interrupted by a box.
    server.fake.sendNow(
        F::answer(u"FAXPROGR", QString(u"REMOTO<#>9600<#>3<#>5<#>60<#>3<#>Rossi<#>0101<#>1<#>2<#>"_s + key)));
    QUORIN_TRY_COMPARE(status->lblPercent->text(), u"60 %"_s);
    QCOMPARE(status->lblStatus->text(), u"3"_s);
    QCOMPARE(w->row(key)->text(1), u"3"_s);
    QVERIFY(promptTexts().isEmpty());
    // The size is kept.
    const QSize kept = status->size();
    status->resize(kept + QSize(80, 40));
    QCOMPARE(status->size(), kept);
    // Its border offers no resizing at all, so no strip is left unpainted.
    QCOMPARE(status->minimumSize(), kept);
    QCOMPARE(status->maximumSize(), kept);
    // Nor minimise or maximise.
    QCOMPARE(status->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
             Qt::WindowFlags());
    QVERIFY(status->windowFlags().testFlag(Qt::CustomizeWindowHint));
    server.fake.sendNow(F::answer(u"FAXPROGREND", key));
    QUORIN_TRY_VERIFY(!w->sendStatusWindow());
}

void tst_MainWindow::lostLink()
{
    auto server = std::make_unique<Server>();
    frmMain *w = startRunning(*server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    // A link closed without an event of its own: the status bar follows it all the same.
    QVERIFY(w->panelText(2).startsWith(u"Connesso al Server"_s));
    w->ClientSock->ConnectClose();
    QUORIN_TRY_COMPARE(w->panelText(2), u"Connessione Chiusa"_s);
    w->ClientSock->ReConnect();
    QUORIN_TRY_VERIFY(w->panelText(2).startsWith(u"Connesso al Server"_s));
    server.reset(); // the server goes away
    QUORIN_TRY_VERIFY(w->ClientSock->State() != 7);
    QUORIN_TRY_VERIFY(!w->panelText(2).startsWith(u"Connesso al Server"_s));
    QVERIFY(w->ListFax->topLevelItemCount() >= 2);
    clickRow(w, 1);
    QUORIN_TRY_VERIFY(promptTexts().join(u'|').contains(u"Comunicazione col server non disponibile."_s));
    QVERIFY(w->ListFax->isEnabled());
    QVERIFY(w->TVNodi->isEnabled());
}

// The server ends the link half-way through a list: the wait ends with the link, the list says it
// holds what it shows, the status bar that the link is closed, and the user is told once.
void tst_MainWindow::listCutHalfway()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    server.extra = [](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "PERSONALI" || f.answer)
            return false;
        const QByteArray list = F::rawAnswer("PERSONALI", manyFaxes(4000, [](int) { return u"8"_s; }));
        s.send(list.left(list.size() / 2));
        s.closeConnection();
        return true;
    };
    Prompt::clearRecords();
    clickNode(w, u"P1"_s);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(w->fraListFax->title(), u"Fax Personali [ %1 ]"_s.arg(w->ListFax->topLevelItemCount()));
    QVERIFY(w->CurrentFaxFile().isEmpty()); // no fax of the list left stays in the preview
    QUORIN_TRY_COMPARE(w->panelText(2), u"Connessione Chiusa"_s);
    QUORIN_TRY_COMPARE(promptTexts(),
                       QStringList{u"Comunicazione col server non disponibile.\nPrego verificare."_s});
    // Nothing else tells it again while the link stays down: the next click only says so in the status bar.
    QTest::qWait(300);
    QCOMPARE(w->panelText(2), u"Connessione Chiusa"_s);
    QCOMPARE(Prompt::records().size(), 1);
}

// The server ends the link and is back at once (a restart): the one action that logs in again does
// what it asked, and no box says the server is unavailable beside "Connesso".
void tst_MainWindow::serverBackThenOneAction_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("folder click") << u"folder"_s;
    QTest::newRow("F5") << u"F5"_s;
}

void tst_MainWindow::serverBackThenOneAction()
{
    QFETCH(QString, action);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    clickNode(w, u"P1"_s);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() > 0);
    const int rows = w->ListFax->topLevelItemCount();
    clickRow(w, 0);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && !w->CurrentFaxFile().isEmpty());
    server.fake.dropClient();
    QUORIN_TRY_VERIFY(!w->panelText(2).startsWith(u"Connesso al Server"_s));
    QCOMPARE(w->panelText(2), u"Connessione Chiusa"_s);
    Prompt::clearRecords();
    const qsizetype asked = server.fake.receivedFrames("PERSONALI").size();
    if (action == u"folder"_s)
        clickNode(w, u"P1"_s);
    else
        QTest::keyClick(w->ListFax, Qt::Key_F5);
    QUORIN_TRY_COMPARE(server.fake.connectionCount(), 2);
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("PERSONALI").size(), asked + 1);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() == rows);
    QVERIFY2(w->fraListFax->title().startsWith(u"Fax Personali [ %1 ]"_s.arg(rows)),
             qPrintable(w->fraListFax->title()));
    QVERIFY(w->panelText(2).startsWith(u"Connesso al Server: 127.0.0.1"_s));
    QTest::qWait(200);
    QCOMPARE(promptTexts(), QStringList());
}

// A fax the link loses on the way: the box names the recipient, the status bar leaves the closing
// state with the link, and "send again" brings the fax whole to the server. Quitting while a fax
// uploads asks, and when the user insists the fax is stopped and reported as not sent.
void tst_MainWindow::faxOnTheWay()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // Larger than what the buffers of both ends hold, as the documents that get cut off are.
    QByteArray bytes(8 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) >> 5);
    const QString big = m_dir.filePath(u"grande.tif"_s);
    {
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const auto sendDialogs = [w] {
        QList<FRMSEND2 *> open;
        for (FRMSEND2 *d : w->findChildren<FRMSEND2 *>())
            if (d->isVisible())
                open << d;
        return open;
    };
    const auto button = [](QWidget *form, const QString &name) {
        return form->findChild<QPushButton *>(name);
    };
    const auto finished = [&server](const QString &key) {
        for (const F::Frame &f : server.fake.receivedFrames("FINEFAX"))
            if (f.text() == key)
                return true;
        return false;
    };

    w->findChild<QAction *>(u"mnuSendFax"_s)->trigger();
    QUORIN_TRY_COMPARE(sendDialogs().size(), 1);
    FRMSEND2 *dlg = sendDialogs().constFirst();
    Prompt::setNextFileName(big);
    QTest::mouseClick(button(dlg, u"cbFiles"_s), Qt::LeftButton);
    QTest::keyClicks(dlg->findChild<QLineEdit *>(u"tbTo"_s), u"Rossi"_s);
    QTest::keyClicks(dlg->findChild<QLineEdit *>(u"tbFaxNumber"_s), u"021"_s);

    F::Faults cut;
    cut.cutAfterFrames = 5; // in the middle of the document
    cut.slowReadBytes = 65536;
    cut.slowReadIntervalMs = 2;
    server.fake.setFaults(cut);
    Prompt::clearRecords();
    Prompt::setNextAnswer(QMessageBox::Yes); // send it again
    QTest::mouseClick(button(dlg, u"cbSend"_s), Qt::LeftButton);
    const QString lost = dlg->IdFaxSending();
    const QString told = u"Il fax per Rossi (021) non è stato inviato.\nMotivo: il collegamento"_s;
    QUORIN_TRY_VERIFY(promptTexts().join(u'|').contains(told));
    QVERIFY(!finished(lost));
    // The link came back by itself, and the status bar says so.
    QUORIN_TRY_VERIFY(w->panelText(2).startsWith(u"Connesso al Server: "_s));
    QCOMPARE(w->ClientSock->State(), 7);

    QUORIN_TRY_COMPARE(sendDialogs().size(), 2);
    const QList<FRMSEND2 *> open = sendDialogs();
    FRMSEND2 *again = open.constFirst() == dlg ? open.constLast() : open.constFirst();
    QCOMPARE(again->findChild<QLineEdit *>(u"tbTo"_s)->text(), u"Rossi"_s);
    server.fake.clearFaults();
    Prompt::clearRecords();
    QTest::mouseClick(button(again, u"cbSend"_s), Qt::LeftButton);
    const QString key = again->IdFaxSending();
    QVERIFY(key.startsWith(u'#') && key != lost);
    QUORIN_TRY_VERIFY(promptTexts().contains(u"Il Fax è stato inoltrato al server per l'invio."_s));
    QVERIFY(finished(key));
    qsizetype uploaded = 0;
    for (const F::Frame &f : server.fake.receivedFrames("FILE"))
        if (f.text().startsWith(key + u"<#>"_s))
            uploaded += f.data.lastIndexOf("<#>") - f.data.indexOf("<#>") - 3;
    QCOMPARE(uploaded, bytes.size());

    // Quitting during a slow upload.
    F::Faults slow;
    slow.slowReadBytes = 16384;
    slow.slowReadIntervalMs = 5;
    server.fake.setFaults(slow);
    QTest::mouseClick(button(again, u"cbSend"_s), Qt::LeftButton);
    const QString last = again->IdFaxSending();
    QSignalSpy notSent(FaxSendWatch::of(w->ClientSock), &FaxSendWatch::notSent);
    Prompt::clearRecords();
    Prompt::setNextAnswer(QMessageBox::No);
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    QVERIFY(again->isVisible());
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    QCOMPARE(Prompt::lastRecord().text,
             u"Un fax è ancora in invio al server, destinatari: Rossi (021).\n"
             u"Uscendo adesso da Quorin l'invio viene interrotto e il fax non sarà spedito.\n\n"
             u"Uscire comunque?"_s);
    QCOMPARE(notSent.count(), 0);

    Prompt::setNextAnswer(QMessageBox::Yes);
    const QPointer<frmMain> window(w);
    QVERIFY(w->close());
    QCOMPARE(Prompt::records().size(), 2); // asked once, not again by the send dialog
    QCOMPARE(notSent.count(), 1);
    QCOMPARE(notSent.at(0).at(0).toString(), last);
    QCOMPARE(notSent.at(0).at(2).toString(), u"invio interrotto all'uscita dal programma."_s);
    QUORIN_TRY_VERIFY(!window);
    QUORIN_TRY_VERIFY(!server.fake.clientConnected());
    QTest::qWait(100);
    QVERIFY(!finished(last));
}

void tst_MainWindow::newFax_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("notice");
    QTest::newRow("received list on show") << u"P3"_s << true << true;
    QTest::newRow("received list with notices off") << u"P3"_s << true << false;
    QTest::newRow("a folder of the list") << u"F"_s << false << true;
}

void tst_MainWindow::newFax()
{
    QFETCH(QString, node);
    QFETCH(bool, listed);
    QFETCH(bool, notice);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    ConfigIni.VisualizzaMsgFaxRx = notice;
    if (node == u"F"_s) {
        QUORIN_TRY_VERIFY(w->tree().count() > 5);
        for (const auto &f : server.mailbox.folders()) {
            if (f.parent == 3)
                node = u"F"_s + QString::number(f.id);
        }
        QVERIFY2(node != u"F"_s, "the sample mailbox has a folder under Ricevuti");
        clickNode(w, node);
        QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    }
    QCOMPARE(w->ActiveList, 0);
    const int rows = w->ListFax->topLevelItemCount();
    const int unread = w->aggDaLeggere;
    const QStringList rec = {u"R999"_s,   u"1"_s,       u"4"_s, u"+39 06 1234"_s, u"Nuova Srl"_s,
                             u"061234"_s, u"9000000"_s, u"2"_s, u"Ordine"_s,      u"F"_s};
    QSignalSpy notices(w->ClientSock, &QuorinSock::RxNewFax);
    server.fake.sendNow(F::answer(u"RXFAX", u"\u00a6"_s + rec.join(u'\u00a6')));
    if (!listed) {
        QVERIFY(TestWait::forSignal(notices));
        QVERIFY(!w->row(u"R999"_s));
        QCOMPARE(w->aggDaLeggere, unread);
        QVERIFY(promptTexts().isEmpty());
        return;
    }
    QUORIN_TRY_VERIFY(w->row(u"R999"_s));
    QCOMPARE(w->ListFax->topLevelItemCount(), rows + 1);
    QVERIFY(w->row(u"R999"_s)->isBold());
    QCOMPARE(w->aggDaLeggere, unread + 1);
    QVERIFY(w->fraListFax->title().endsWith(u"Da leggere [ "_s + QString::number(unread + 1) + u" ]"_s));
    if (notice)
        QUORIN_TRY_COMPARE(promptTexts(), QStringList{u"Hai ricevuto un nuovo fax!"_s});
    else
        QVERIFY(promptTexts().isEmpty());
}

void tst_MainWindow::escapeEndsAWait()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    server.fake.setResponder([](FakeFaxServer &, const F::Frame &) {}); // no more answers
    w->Ask4List(1);
    QVERIFY(!w->ListFax->isEnabled());
    QVERIFY(!w->TVNodi->isEnabled());
    QTest::keyClick(w, Qt::Key_Escape);
    QVERIFY(w->ListFax->isEnabled());
    QVERIFY(w->TVNodi->isEnabled());
}

void tst_MainWindow::missingImage()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    server.answerImages([](FakeFaxServer &s, const F::Frame &f) {
        s.sendNow(F::answer(u"NOFILE", f.text().section(u"<#>"_s, 1).mid(1)));
    });
    QVERIFY(w->ListFax->topLevelItemCount() >= 2);
    clickRow(w, 1);
    QUORIN_TRY_COMPARE(w->panelText(1), u"File mancante"_s);
    QVERIFY(w->ListFax->isEnabled());
    QVERIFY(w->TVNodi->isEnabled());
    QCOMPARE(w->LumagPreview->BackColor(), QColor(128, 255, 255));
}

void tst_MainWindow::previewPrintAndSave()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    auto *row = static_cast<FaxListItem *>(w->ListFax->currentItem());
    QVERIFY(row);
    const QString icon = row->iconName();
    QVERIFY(!icon.endsWith(u"pr"_s));
    // Printed from the preview: the row shows it and, in the received list, the server is told.
    Q_EMIT w->LumagPreview->AfterPrint();
    QCOMPARE(row->iconName(), icon + u"pr"_s);
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("STAMPATO").isEmpty());
    QVERIFY(server.fake.receivedFrames("STAMPATO").constFirst().text().contains(row->key()));
    Q_EMIT w->LumagPreview->AfterPrint(); // a second print changes nothing more
    QCOMPARE(row->iconName(), icon + u"pr"_s);

    // Saved in the preview: the preview's own copy goes up as the fax's new image, and the notice that
    // a fax was handed to the server stays away.
    QFile copy(w->CurrentFaxFile());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    const QByteArray image = copy.readAll();
    Q_EMIT w->LumagPreview->AfterSave();
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("FINEFAX").isEmpty());
    const QString agg = server.fake.receivedFrames("AGGFAX").value(0).text();
    QVERIFY2(agg.startsWith(w->CurrentFaxFile() + u"<#>"_s) && agg.contains(row->key()), qPrintable(agg));
    QByteArray uploaded;
    for (const auto &f : server.fake.receivedFrames("FILE")) {
        if (f.answer && f.data.startsWith('#')) // an upload piece: the queue key, "<#>", the bytes
            uploaded += f.data.mid(f.data.indexOf("<#>") + 3);
    }
    QVERIFY(uploaded.startsWith(image));
    QVERIFY(promptTexts().isEmpty());
}

void tst_MainWindow::folderMenu_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("personal") << u"P1"_s << QStringList{u"mnuTreeNew"_s};
    QTest::newRow("trash") << u"P4"_s << QStringList{u"mnuTreeSvuotaCestino"_s};
    QTest::newRow("folder") << u"folder"_s
                            << QStringList{u"mnuTreeNew"_s, u"mnuTreeName"_s, u"mnuTreeRemove"_s,
                                           u"mnuProprietaCartella"_s};
    QTest::newRow("folder in the trash") << u"trashfolder"_s
                                         << QStringList{u"mnuTreeSvuotaCestino"_s, u"mnuTreeName"_s,
                                                        u"mnuTreeRemove"_s, u"mnuProprietaCartella"_s};
    QTest::newRow("top node") << u"ROOT"_s << QStringList{};
}

void tst_MainWindow::folderMenu()
{
    QFETCH(QString, node);
    QFETCH(QStringList, items);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().count() > 5);
    QTreeWidgetItem *item = nullptr;
    for (const auto &f : server.mailbox.folders()) {
        QTreeWidgetItem *n = w->tree().node(u"F"_s + QString::number(f.id));
        if (n && w->tree().isTrash(n) == (node == u"trashfolder"_s))
            item = n;
    }
    if (node == u"trashfolder"_s) // the sample trash has no folder: one as the server would report it
        item = w->tree().addFolderNode(w->tree().node(u"P4"_s), u"Vecchi"_s, u"F777"_s, false);
    if (node != u"folder"_s && node != u"trashfolder"_s)
        item = w->tree().node(node);
    QVERIFY(item);
    QMenu *menu = w->treeMenuFor(item);
    QStringList shown;
    if (menu) {
        for (QAction *a : menu->actions()) {
            if (a->isVisible())
                shown << a->objectName();
        }
    }
    QCOMPARE(shown, items);
}

void tst_MainWindow::folderCommands()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().count() > 5);
    // New folder under "Spediti": it appears when the server confirms it, under that node.
    QVERIFY(w->treeMenuFor(w->tree().node(u"P2"_s)));
    Prompt::setDialogHandler([](QDialog *d) {
        d->show();
        d->findChild<QLineEdit *>(u"txtNameFolder"_s)->setText(u"Clienti nuovi"_s);
        d->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return d->result();
    });
    w->mnuTreeNew();
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("NEWFOLDER").isEmpty());
    QCOMPARE(server.fake.receivedFrames("NEWFOLDER").constFirst().text(), u"Clienti nuovi<#>2<#>F"_s);
    QTreeWidgetItem *added = nullptr;
    QUORIN_TRY_VERIFY((added = [&]() -> QTreeWidgetItem * {
        for (int i = 0; i < w->tree().node(u"P2"_s)->childCount(); ++i) {
            if (w->tree().node(u"P2"_s)->child(i)->text(0) == u"Clienti nuovi"_s)
                return w->tree().node(u"P2"_s)->child(i);
        }
        return nullptr;
    }()));
    const QString id = QString::number(FolderTree::nodeId(FolderTree::key(added)));

    // Rename.
    QVERIFY(w->treeMenuFor(added));
    Prompt::setNextText(u"Fornitori"_s);
    w->mnuTreeName();
    QCOMPARE(added->text(0), u"Fornitori"_s);
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("RENAMEFOLDER").isEmpty());
    QCOMPARE(server.fake.receivedFrames("RENAMEFOLDER").constFirst().text(), u"Fornitori<#>"_s + id);

    // Remove outside the trash moves it to the trash on the server; the node goes at once.
    QVERIFY(w->treeMenuFor(added));
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->mnuTreeRemove();
    QVERIFY(!w->tree().node(u"F"_s + id));
    QUORIN_TRY_VERIFY(!server.fake.receivedFrames("CESTINAFOLDER").isEmpty());
    QCOMPARE(server.fake.receivedFrames("CESTINAFOLDER").constFirst().text(), id);
    QVERIFY(server.fake.receivedFrames("ELIMINAFOLDER").isEmpty());
}

void tst_MainWindow::placementComesBack()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // Move the vertical splitter as the mouse would.
    w->splitterXDown();
    const int W = w->toTwips(w->centralWidget()->width());
    const int target = int(0.45 * W);
    w->splitterXMove(target);
    w->splitterXUp();
    const int treeWidth = w->panes().fraTv.width();
    const double prop = w->ProporzioneX();
    // A resize keeps the user's proportion.
    w->resize(w->size() + QSize(30, 20));
    w->resize(w->size() - QSize(30, 20));
    QCOMPARE(w->ProporzioneX(), prop);
    QCOMPARE(w->panes().fraTv.width(), treeWidth);
    m_startup.reset(); // closes the window, which stores its placement

    // The proportions are written to two decimals; what comes back then stays, start after start.
    const double rounded = std::round(prop * 100) / 100;
    QSettings store(u"Quorin"_s, ProgramTitle());
    static const QRegularExpression twoDecimals(u"^0[.,]\\d{1,2}$"_s);
    for (const QString &key : {u"Settings/InLeft"_s, u"Settings/InTop"_s})
        QVERIFY2(twoDecimals.match(store.value(key).toString()).hasMatch(),
                 qPrintable(key + u" = "_s + store.value(key).toString()));
    QCOMPARE(store.value(u"Settings/InLeft"_s).toString(), QLocale().toString(rounded));
    int keptWidth = -1;
    for (int round = 0; round < 3; ++round) {
        Server again;
        frmMain *w2 = startRunning(again);
        QVERIFY(w2);
        QCOMPARE(w2->ProporzioneX(), rounded);
        QVERIFY(std::abs(w2->panes().fraTv.width() - treeWidth) <=
                w2->toTwips(2) + 0.01 * w2->toTwips(w2->centralWidget()->width()));
        if (keptWidth >= 0)
            QCOMPARE(w2->panes().fraTv.width(), keptWidth);
        keptWidth = w2->panes().fraTv.width();
        m_startup.reset();
    }
}

void tst_MainWindow::placementFitsTheScreen_data()
{
    // Stored placements in pixels of this screen's available area (x, y, width, height), with or without
    // the maximised mark.
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<bool>("maximized");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QTest::newRow("larger than the screen")
        << QRect(area.topLeft() + QPoint(66, 66), area.size() * 2) << false;
    QTest::newRow("beyond the right and bottom edges")
        << QRect(area.bottomRight() + QPoint(200, 100), QSize(500, 400)) << false;
    QTest::newRow("left of the screen") << QRect(area.left() - 900, area.top() + 20, 500, 400) << false;
    QTest::newRow("maximised") << QRect(area.topLeft() + QPoint(40, 30), QSize(520, 420)) << true;
}

void tst_MainWindow::placementFitsTheScreen()
{
    QFETCH(QRect, stored);
    QFETCH(bool, maximized);
    const auto twips = [](int px) { return QString::number(qRound(px * 1440.0 / qApp->primaryScreen()->logicalDotsPerInchX())); };
    {
        QSettings store(u"Quorin"_s, ProgramTitle());
        store.beginGroup(u"Settings"_s);
        store.setValue(u"MainLeft"_s, twips(stored.x()));
        store.setValue(u"MainTop"_s, twips(stored.y()));
        store.setValue(u"MainWidth"_s, twips(stored.width()));
        store.setValue(u"MainHeight"_s, twips(stored.height()));
        store.setValue(u"MainMaximized"_s, maximized ? u"1"_s : u"0"_s);
    }
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->isVisible());
    if (maximized) {
        QUORIN_TRY_VERIFY(w->isMaximized());
        QCOMPARE(w->normalGeometry().size(), stored.size());
    } else {
        QVERIFY(!w->isMaximized());
        QVERIFY2(area.contains(w->frameGeometry()),
                 qPrintable(u"%1,%2 %3x%4"_s.arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())));
        if (stored.size().width() <= area.width() && stored.size().height() <= area.height())
            QCOMPARE(w->size(), stored.size()); // moved, not shrunk
    }
    m_startup.reset(); // closes the window, which stores its placement
    QSettings store(u"Quorin"_s, ProgramTitle());
    store.beginGroup(u"Settings"_s);
    QCOMPARE(store.value(u"MainMaximized"_s).toString(), maximized ? u"1"_s : u"0"_s);
    if (maximized) {
        // Its normal size is what it keeps, not the size of the screen.
        QCOMPARE(store.value(u"MainWidth"_s).toString(), twips(stored.width()));
        QCOMPARE(store.value(u"MainHeight"_s).toString(), twips(stored.height()));
    } else {
        QVERIFY(store.value(u"MainWidth"_s).toString().toInt() <= twips(area.width()).toInt());
    }
}

// Windows of fixed size keep it: minimum and maximum are the same (on the X display: in the hints the
// window manager reads), there is no maximise, and those placed in the middle of the screen are there
// at the size they show at.
void tst_MainWindow::fixedWindows_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("centred");
    QTest::newRow("information") << u"mnuHelpAbout"_s << u"frmAbout2"_s << true;
    QTest::newRow("options") << u"mnuToolsOptions"_s << u"frmOptions"_s << false;
    QTest::newRow("fax properties") << u"mnuProprieta"_s << u"frmPropFax"_s << false;
    QTest::newRow("folder properties") << u"mnuProprietaCartella"_s << u"frmPropFolder"_s << false;
    QTest::newRow("server settings") << u"mnuServerConf"_s << u"frmServerConf"_s << true;
}

void tst_MainWindow::fixedWindows()
{
    QFETCH(QString, command);
    QFETCH(QString, window);
    QFETCH(bool, centred);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    if (command == u"mnuProprietaCartella"_s) {
        clickNode(w, u"F5"_s);
        QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    }
    const bool x11 = QGuiApplication::platformName() == u"xcb"_s;
    QString failure;
    bool seen = false;
    const auto look = [&](QWidget *d) {
        seen = true;
        d->show();
        if (!QTest::qWaitForWindowExposed(d, TestWait::bound())) {
            failure = u"not shown"_s;
            return;
        }
        if (!QTest::qWaitFor([d] { return d->minimumSize() == d->maximumSize(); }, TestWait::bound())) {
            failure = u"minimum %1x%2, maximum %3x%4"_s.arg(d->minimumWidth())
                          .arg(d->minimumHeight())
                          .arg(d->maximumWidth())
                          .arg(d->maximumHeight());
            return;
        }
        if (d->windowFlags() & Qt::WindowMaximizeButtonHint) {
            failure = u"maximise offered"_s;
            return;
        }
        if (centred) {
            const QRect screen = d->screen()->geometry();
            const QRect placed = d->frameGeometry();
            if ((placed.center() - screen.center()).manhattanLength() > 8)
                failure = u"centre %1,%2 on a screen centred at %3,%4"_s.arg(placed.center().x())
                              .arg(placed.center().y())
                              .arg(screen.center().x())
                              .arg(screen.center().y());
        }
        if (!x11 || !failure.isEmpty())
            return;
        // What the window manager is told: the size hints of the window on the display.
        QProcess xprop;
        xprop.start(u"xprop"_s, {u"-id"_s, QString::number(d->winId()), u"WM_NORMAL_HINTS"_s});
        if (!xprop.waitForFinished(TestWait::bound())) {
            failure = u"xprop did not run"_s;
            return;
        }
        const QString hints = QString::fromLocal8Bit(xprop.readAllStandardOutput());
        static const QRegularExpression minimum(u"minimum size: (\\d+) by (\\d+)"_s);
        static const QRegularExpression maximum(u"maximum size: (\\d+) by (\\d+)"_s);
        const auto mi = minimum.match(hints), ma = maximum.match(hints);
        if (!mi.hasMatch() || !ma.hasMatch() || mi.captured(1) != ma.captured(1) ||
            mi.captured(2) != ma.captured(2))
            failure = u"hints: "_s + hints;
    };
    Prompt::setDialogHandler([&](QDialog *d) {
        if (d->objectName() == window)
            look(d);
        return int(QDialog::Rejected);
    });
    if (command == u"mnuProprieta"_s) {
        clickRow(w, 0);
        w->mnuProprieta();
        QWidget *props = nullptr;
        QUORIN_TRY_VERIFY((props = w->findChild<QWidget *>(window)) && props->isVisible());
        look(props);
        props->close();
    } else if (command == u"mnuProprietaCartella"_s) {
        // The folder's own menu, opened with the right button on it.
        QTreeWidgetItem *node = w->tree().node(u"F5"_s);
        const QRect r = w->TVNodi->visualItemRect(node);
        QTest::mouseClick(w->TVNodi->viewport(), Qt::RightButton, {}, QPoint(r.left() + 8, r.center().y()));
        QMenu *menu = nullptr;
        QUORIN_TRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        QAction *item = nullptr;
        for (QAction *a : menu->actions())
            if (a->isVisible() && a->text() == u"Propriet\u00e0"_s)
                item = a;
        QVERIFY(item);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    } else {
        QAction *action = w->findChild<QAction *>(command);
        QVERIFY2(action, qPrintable(command));
        action->trigger();
    }
    Prompt::setDialogHandler({});
    QVERIFY2(seen, qPrintable(window));
    QVERIFY2(failure.isEmpty(), qPrintable(window + u": "_s + failure));
}

void tst_MainWindow::splashClosesItself()
{
    Server server;
    writeIni(u"127.0.0.1"_s, server.fake.port());
    server.fake.setResponder([](FakeFaxServer &, const F::Frame &) {}); // the login never ends
    StartupMain *s = start();
    QVERIFY(s->splash());
    QVERIFY(s->splash()->isVisible());
    QVERIFY(s->waiting());
    QUORIN_TRY_VERIFY(!s->splash());
    QVERIFY(s->waiting());
    QVERIFY(!s->mainWindow()->isVisible());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
