// The main window's commands against the fake fax server: trash, restore, delete, marks, moves by drag
// and drop, forwarding, the viewer, and the windows and programs of the menus.
#include "AppPaths.h"
#include "ConfigIni.h"
#include "FRMSEND2.h"
#include "FaxItem.h"
#include "FaxListItem.h"
#include "FolderTree.h"
#include "MainWindowRig.h"
#include "Prompt.h"
#include "QuorinSock.h"
#include "StartupMain.h"
#include "TestHome.h"
#include "frmInoltra.h"
#include "frmMain.h"
#include "frmPropFax.h"
#include "frmVisualizzatore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;

namespace {

QStringList frameTexts(const FakeFaxServer &fake, const QByteArray &keyword)
{
    QStringList out;
    for (const auto &f : fake.receivedFrames(keyword))
        out << f.text();
    return out;
}

// The image requests the server received for the fax key.
int imageRequests(const FakeFaxServer &fake, const QString &key)
{
    int n = 0;
    for (const auto &f : fake.receivedFrames("FILE"))
        n += f.text().endsWith(QStringLiteral("<#>") + key) ? 1 : 0;
    return n;
}

QStringList rowKeys(const frmMain *w)
{
    QStringList keys;
    for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
        keys << static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->key();
    return keys;
}

void closePopups()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

} // namespace

class tst_MainWindowCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void listRequests_data();
    void listRequests();
    void deleteKeepsFaxesInUse();
    void trashSelectsTheNextRow();
    void trashOfALongSelection();
    void refreshKeepsTheRow();
    void viewerButtons_data();
    void viewerButtons();
    void contextMenus_data();
    void contextMenus();
    void emptyTrashFromAnotherList();
    void forward_data();
    void forward();
    void forwardAsNewFax();
    void faxDrop_data();
    void faxDrop();
    void dragScrollsAndOpens_data();
    void dragScrollsAndOpens();
    void folderDrop_data();
    void folderDrop();
    void viewerOnDoubleClick();
    void propertiesAndReport();
    void menuWindows_data();
    void menuWindows();
    void outsidePrograms_data();
    void outsidePrograms();
    void folderProperties();
    void mailOfAListedFax();
    void serverSettings();
    void statusBarAndHelp();
    void acrossRelogin_data();
    void acrossRelogin();

private:
    frmMain *startRunning(Server &server);
    void showList(frmMain *w, const QString &node);
    void rightClickRow(frmMain *w, int index, bool ctrl = false);
    QStringList promptTexts() const;

    TestHome m_dir;
    std::unique_ptr<StartupMain> m_startup;
    QStringList m_programs; // stub programs written into the program folder
};

void tst_MainWindowCommands::initTestCase()
{
    QVERIFY(m_dir.setUp());
    m_dir.useOwnSysconf();
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
    // No mail client: the mail hand-over stays off.
    qputenv("PATH", m_dir.filePath(u"tmp"_s).toLocal8Bit());
    QCoreApplication::setApplicationName(u"Quorin"_s);
    QCoreApplication::setApplicationVersion(u"1.0.0"_s);
    Prompt::setAnswering(true);
}

void tst_MainWindowCommands::init()
{
    ConfigIni = ConfigIniRecord{};
    QFile::remove(AppPaths::settingsDir() + u"/Darezi.ini"_s);
    Prompt::setAnswering(true);
}

void tst_MainWindowCommands::cleanup()
{
    closePopups();
    m_startup.reset();
    for (const QString &p : std::as_const(m_programs))
        QFile::remove(p);
    m_programs.clear();
}

frmMain *tst_MainWindowCommands::startRunning(Server &server)
{
    if (!writeServerIni(u"127.0.0.1"_s, server.fake.port()))
        return nullptr;
    m_startup = std::make_unique<StartupMain>();
    frmMain *w = runToFirstList(*m_startup);
    if (!w)
        return nullptr;
    // The first image has come: nothing asked later is overtaken by it.
    if (!QTest::qWaitFor([w] { return !w->CurrentFaxFile().isEmpty(); }, LoginTimeout))
        return nullptr;
    w->tmrRead->stop(); // the first fax stays unread
    return w;
}

void tst_MainWindowCommands::showList(frmMain *w, const QString &key)
{
    clickTreeNode(w, key);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
}

void tst_MainWindowCommands::rightClickRow(frmMain *w, int index, bool ctrl)
{
    QTreeWidgetItem *item = w->ListFax->topLevelItem(index);
    QVERIFY(item);
    const QRect r = w->ListFax->visualItemRect(item);
    QTest::mouseClick(w->ListFax->viewport(), Qt::RightButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                      QPoint(r.left() + 8, r.center().y()));
    closePopups();
}

QStringList tst_MainWindowCommands::promptTexts() const
{
    QStringList out;
    for (const auto &r : Prompt::records())
        out << r.text;
    return out;
}

void tst_MainWindowCommands::listRequests_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QList<int>>("rows"); // right-clicked, the later ones with Ctrl
    QTest::addColumn<QString>("command"); // context-menu item, or "Delete" for the key
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rowsLeft");
    QTest::addColumn<int>("unreadAfter"); // -1: as before

    QTest::newRow("trash two rows") << u"P1"_s << QList<int>{0, 1} << u"mnuEliminaFaxR"_s << true
                                    << QByteArray("CESTINA") << u"PERSONALI<#>(101,102)"_s << QStringList{}
                                    << 0;
    QTest::newRow("trash, answer No")
        << u"P1"_s << QList<int>{1} << u"mnuEliminaFaxR"_s << false << QByteArray("CESTINA") << QString()
        << QStringList{u"P101"_s, u"P102"_s} << -1;
    QTest::newRow("Delete key trashes")
        << u"P2"_s << QList<int>{1} << u"Delete"_s << true << QByteArray("CESTINA") << u"SPEDITI<#>(301)"_s
        << QStringList{u"S302"_s} << -1;
    QTest::newRow("restore") << u"P4"_s << QList<int>{0} << u"mnuCestinoRipristina"_s << true
                             << QByteArray("RIPRISTINA") << u"4<#>(401)"_s << QStringList{} << -1;
    QTest::newRow("delete for good") << u"P4"_s << QList<int>{0} << u"mnuEliminaCest"_s << true
                                     << QByteArray("ELIMINA") << u"4<#>(C401)"_s << QStringList{} << -1;
    QTest::newRow("Delete key in the trash")
        << u"P4"_s << QList<int>{0} << u"Delete"_s << true << QByteArray("ELIMINA") << u"4<#>(C401)"_s
        << QStringList{} << -1;
    QTest::newRow("delete all") << u"P4"_s << QList<int>{} << u"mnuEliminaCestAll"_s << true
                                << QByteArray("ELIMINA") << u"4<#>(C401)"_s << QStringList{} << -1;
    QTest::newRow("mark unread") << u"P3"_s << QList<int>{1} << u"mnuSetNotReadI"_s << true
                                 << QByteArray("LETTO") << u"INOLTRO<#>(R202)<#>False"_s
                                 << QStringList{u"R201"_s, u"R202"_s} << 2;
    QTest::newRow("mark not printed")
        << u"P1"_s << QList<int>{0, 1} << u"mnuSetNotPrintedR"_s << true << QByteArray("STAMPATO")
        << u"PERSONALI<#>(P101, P102)<#>False"_s << QStringList{u"P101"_s, u"P102"_s} << -1;
}

void tst_MainWindowCommands::listRequests()
{
    QFETCH(QString, node);
    QFETCH(QList<int>, rows);
    QFETCH(QString, command);
    QFETCH(bool, confirm);
    QFETCH(QByteArray, keyword);
    QFETCH(QString, text);
    QFETCH(QStringList, rowsLeft);
    QFETCH(int, unreadAfter);

    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, node);
    for (int i = 0; i < rows.size(); ++i)
        rightClickRow(w, rows.at(i), i > 0);
    w->tmrRead->stop(); // no read mark of its own while the test runs
    const QString statusBefore = w->panelText(1);
    const int unreadBefore = w->aggDaLeggere;
    Prompt::clearRecords();
    Prompt::setNextAnswer(confirm ? QMessageBox::Yes : QMessageBox::No);
    if (command == u"Delete"_s) {
        QTest::keyClick(w->ListFax, Qt::Key_Delete);
    } else {
        QAction *action = w->listMenuFor(w->ActiveList)->findChild<QAction *>(command);
        QVERIFY2(action, qPrintable(command));
        QVERIFY(action->isEnabled());
        action->trigger();
    }
    if (text.isEmpty()) {
        QTest::qWait(200); // nothing may arrive; the fake server answers at once otherwise
        QVERIFY(server.fake.receivedFrames(keyword).isEmpty());
    } else {
        QUORIN_TRY_COMPARE(frameTexts(server.fake, keyword), QStringList{text});
    }
    QCOMPARE(rowKeys(w), rowsLeft);
    QCOMPARE(w->panelText(1), statusBefore);
    // The caption's unread count follows the rows that went.
    QCOMPARE(w->aggDaLeggere, unreadAfter < 0 ? unreadBefore : unreadAfter);
}

void tst_MainWindowCommands::deleteKeepsFaxesInUse()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, u"P4"_s);
    // The trash's fax is held by another user.
    FaxListItem *row = w->row(u"C401"_s);
    QVERIFY(row);
    row->setIconName(u"user"_s, QIcon());
    Prompt::clearRecords();
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->EliminaFaxDefinitivo(true);
    QVERIFY(promptTexts().contains(
        u"Attenzione!! Alcuni fax sono utilizzati da altri utenti, impossibile eliminarli!"_s));
    QCOMPARE(rowKeys(w), QStringList{u"C401"_s});
    // The kept row is selected again.
    QVERIFY(row->isSelected());
    QTest::qWait(200);
    QVERIFY(server.fake.receivedFrames("ELIMINA").isEmpty());
}

void tst_MainWindowCommands::trashSelectsTheNextRow()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, u"P1"_s);
    // Three more faxes after the two of the sample: five rows.
    CollFaxItem more;
    for (const QString &key : {u"P501"_s, u"P502"_s, u"P503"_s}) {
        auto fax = std::make_unique<FaxItem>();
        fax->setIdFax(key);
        fax->setIcon(u"empty"_s);
        fax->setRead(true);
        more.Add(std::move(fax));
    }
    w->GetNuovi(&more, false);
    QCOMPARE(rowKeys(w), (QStringList{u"P101"_s, u"P102"_s, u"P501"_s, u"P502"_s, u"P503"_s}));
    rightClickRow(w, 1);
    rightClickRow(w, 2, true);
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->CestinaFax();
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "CESTINA"), QStringList{u"PERSONALI<#>(102,501)"_s});
    // The row now at the second place (formerly the fourth) is selected.
    QCOMPARE(rowKeys(w), (QStringList{u"P101"_s, u"P502"_s, u"P503"_s}));
    QCOMPARE(w->CurrentKey, u"P502"_s);
    QCOMPARE(int(w->ListFax->selectedItems().size()), 1);
    // Trashing the last row selects the new last row.
    rightClickRow(w, 2);
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->CestinaFax();
    QCOMPARE(w->CurrentKey, u"P502"_s);
}

void tst_MainWindowCommands::trashOfALongSelection()
{
    // 20,000 personal faxes, every other one unread; the bench (bulkCommand) times the same road.
    constexpr int Rows = 20000;
    Server server;
    server.extra = [](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "PERSONALI" || f.answer || f.text() != u"1"_s)
            return false;
        s.sendNow(F::rawAnswer(f.keyword, manyFaxes(Rows, [](int i) { return i % 3 ? u"8"_s : u"4"_s; })));
        return true;
    };
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    showList(w, u"P1"_s);
    QCOMPARE(w->ListFax->topLevelItemCount(), Rows);
    const int unreadBefore = w->aggDaLeggere;
    QCOMPARE(unreadBefore, Rows / 2);

    // Rows 10 to 1009 with the mouse: a click on the first, Shift and a click on the last.
    const auto rowAt = [w](int i) {
        QTreeWidgetItem *row = w->ListFax->topLevelItem(i);
        w->ListFax->scrollToItem(row);
        const QRect r = w->ListFax->visualItemRect(row);
        return QPoint(r.left() + 60, r.center().y());
    };
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowAt(10));
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowAt(1009));
    QCOMPARE(int(w->ListFax->selectedItems().size()), 1000);
    w->tmrRead->stop();
    Prompt::clearRecords();
    Prompt::setNextAnswer(QMessageBox::Yes);
    QTest::keyClick(w->ListFax, Qt::Key_Delete);
    QCOMPARE(Prompt::records().size(), 1);
    QCOMPARE(Prompt::lastRecord().text, u"Sicuro di voler eliminare i fax selezionati?"_s);
    QStringList ids;
    for (int i = 10; i < 1010; ++i)
        ids << QString::number(100000 + i);
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "CESTINA"),
                       QStringList{u"PERSONALI<#>("_s + ids.join(u',') + u")"_s});
    // The rows, their keys and the link's faxes are gone; the others keep their order.
    const QStringList left = rowKeys(w);
    QCOMPARE(left.size(), Rows - 1000);
    QCOMPARE(left.at(9), u"P100009"_s);
    QCOMPARE(left.at(10), u"P101010"_s);
    QVERIFY(!w->row(u"P100500"_s) && w->row(u"P101010"_s));
    QCOMPARE(w->ClientSock->FaxItems()->Count(), Rows - 1000);
    QVERIFY(!w->ClientSock->FaxItems()->Item(u"P100010"_s));
    QCOMPARE(w->aggDaLeggere, unreadBefore - 500);
    // The row after the last that went is the one selected, and its image is asked.
    QCOMPARE(w->CurrentKey, u"P101010"_s);
    QCOMPARE(int(w->ListFax->selectedItems().size()), 1);
    QUORIN_TRY_COMPARE(w->LastAskedKey(), u"P101010"_s);
}

void tst_MainWindowCommands::refreshKeepsTheRow()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    rightClickRow(w, 1);
    const QString key = w->CurrentKey;
    const qsizetype asked = server.fake.receivedFrames("INOLTRO").size();
    QTest::keyClick(w->ListFax, Qt::Key_F5);
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("INOLTRO").size(), asked + 1);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() == 2);
    QUORIN_TRY_COMPARE(w->GetCurrentKey(), key);
    // F5 with nothing selected asks no list; the first row is selected.
    w->ListFax->clearSelection();
    QTest::keyClick(w->ListFax, Qt::Key_F5);
    QTest::qWait(200);
    QCOMPARE(server.fake.receivedFrames("INOLTRO").size(), asked + 1);
    QCOMPARE(w->GetCurrentKey(), static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key());
}

void tst_MainWindowCommands::viewerButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("keyword");
    QTest::newRow("Elimina") << u"cmdElimina"_s << QByteArray("CESTINA");
    QTest::newRow("Inoltra") << u"cmdInoltra"_s << QByteArray("FRM_INOLTRO");
}

void tst_MainWindowCommands::viewerButtons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, keyword);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    rightClickRow(w, 0);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    const QString key = w->CurrentKey;
    Prompt::setDialogHandler([&](QDialog *d) {
        if (!qobject_cast<frmVisualizzatore *>(d))
            return int(QDialog::Rejected);
        d->show();
        d->findChild<QPushButton *>(button)->click();
        return d->result();
    });
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->listMenuFor(0)->findChild<QAction *>(u"mnuVisualizzaIFax"_s)->trigger();
    const QString expected =
        keyword == "CESTINA" ? u"INOLTRO<#>("_s + key.mid(1) + u")"_s : u"("_s + key + u")"_s;
    QUORIN_TRY_COMPARE(frameTexts(server.fake, keyword), QStringList{expected});
}

void tst_MainWindowCommands::contextMenus_data()
{
    QTest::addColumn<bool>("forwardUser");
    QTest::addColumn<QString>("node");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("enabled"); // visible items, enabled ones
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QString>("opener"); // the last row's menu: "mouse", or the key that opens it

    QTest::newRow("received, one row, Menu key")
        << true << u"P3"_s << 1
        << QStringList{u"mnuinoltrafax"_s, u"mnuInoltroExt"_s, u"mnuVisualizzaIFax"_s,
                       u"mnuPropriet\u00e0IFax"_s, u"mnuEliminaFaxI"_s}
        << QStringList{} << u"Menu"_s;
    QTest::newRow("received, two rows")
        << true << u"P3"_s << 2 << QStringList{u"mnuSetNotReadI"_s, u"mnuEliminaFaxI"_s}
        << QStringList{u"mnuinoltrafax"_s, u"mnuInoltroExt"_s, u"mnuVisualizzaIFax"_s,
                       u"mnuPropriet\u00e0IFax"_s} << u"mouse"_s;
    QTest::newRow("personal of a user without forward right")
        << false << u"P1"_s << 1 << QStringList{u"mnuInoltroExt2"_s, u"mnuVisualizzaRFax"_s} << QStringList{}
        << u"mouse"_s;
    QTest::newRow("sent, two rows, Shift+F10") << true << u"P2"_s << 2
                                    << QStringList{u"mnuInoltroExtS"_s, u"mnuEliminaFax"_s}
                                    << QStringList{u"mnuRep"_s, u"mnuVisualizzaFax"_s,
                                                   u"mnuPropriet\u00e0"_s}
                                    << u"Shift+F10"_s;
}

void tst_MainWindowCommands::contextMenus()
{
    QFETCH(bool, forwardUser);
    QFETCH(QString, node);
    QFETCH(int, selected);
    QFETCH(QStringList, enabled);
    QFETCH(QStringList, disabled);
    QFETCH(QString, opener);

    Server server;
    if (!forwardUser)
        server.rights = u"<#>F<#>T<#>T<#>T<#><#>T<#>T<#>T<#>T"_s;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, node);
    for (int i = 0; i < selected; ++i)
        rightClickRow(w, i, i > 0);
    QCOMPARE(int(w->ListFax->selectedItems().size()), selected);
    QMenu *menu = w->listMenuFor(w->ActiveList);
    QVERIFY(menu);
    if (opener != u"mouse"_s) {
        // The key opens the same menu, for the current row (the last one clicked), beside that row.
        QTreeWidgetItem *current = w->ListFax->currentItem();
        QVERIFY(current);
        w->ListFax->setFocus();
        if (opener == u"Menu"_s)
            QTest::keyClick(w->ListFax, Qt::Key_Menu);
        else
            QTest::keyClick(w->ListFax, Qt::Key_F10, Qt::ShiftModifier);
        QUORIN_TRY_VERIFY(QApplication::activePopupWidget() == menu);
        const QRect row = w->ListFax->visualItemRect(current);
        const QPoint rowTop = w->ListFax->viewport()->mapToGlobal(row.topLeft());
        QVERIFY2(std::abs(menu->pos().y() - rowTop.y()) <= row.height() + menu->height(),
                 qPrintable(u"menu at %1, row at %2"_s.arg(menu->pos().y()).arg(rowTop.y())));
        QCOMPARE(int(w->ListFax->selectedItems().size()), selected);
        QCOMPARE(w->ClientSock->FaxesSelected()->Count(), selected);
    }
    QStringList visible;
    for (QAction *a : menu->actions()) {
        if (a->isVisible() && !a->isSeparator())
            visible << a->objectName();
    }
    // No mail client: no mail items; the forward items only for a forward user.
    for (const QString &name : visible)
        QVERIFY2(!name.startsWith(u"mnuMail"_s), qPrintable(name));
    // The sent list has no forward-to-users item at all.
    QCOMPARE(visible.contains(u"mnuinoltrafax2"_s) || visible.contains(u"mnuinoltrafax"_s),
             forwardUser && node != u"P2"_s);
    for (const QString &name : enabled) {
        QVERIFY2(visible.contains(name), qPrintable(name));
        QVERIFY2(menu->findChild<QAction *>(name)->isEnabled(), qPrintable(name));
    }
    for (const QString &name : disabled)
        QVERIFY2(!menu->findChild<QAction *>(name)->isEnabled(), qPrintable(name));
}

void tst_MainWindowCommands::emptyTrashFromAnotherList()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, u"P1"_s);
    // "Svuota Cestino" while the personal faxes are on show empties the trash, never the list on show.
    QVERIFY(w->treeMenuFor(w->tree().node(u"P4"_s)));
    Prompt::setNextAnswer(QMessageBox::Yes);
    w->mnuTreeSvuotaCestino();
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "ELIMINA"), QStringList{u"4<#>(C401)"_s});
    QCOMPARE(w->ActiveList, 3);
    QCOMPARE(w->ListFax->topLevelItemCount(), 0);
}

void tst_MainWindowCommands::forward_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("users chosen") << true;
    QTest::newRow("cancelled") << false;
}

void tst_MainWindowCommands::forward()
{
    QFETCH(bool, confirm);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QCOMPARE(w->ActiveList, 0);
    rightClickRow(w, 0);
    QCOMPARE(w->CurrentKey, u"R201"_s);
    const QString iconBefore = w->row(u"R201"_s)->iconName();
    QVERIFY(iconBefore != u"inoltrato"_s);
    int shown = 0;
    Prompt::setDialogHandler([&](QDialog *d) {
        auto *dialog = qobject_cast<frmInoltra *>(d);
        if (!dialog)
            return int(QDialog::Rejected);
        ++shown;
        d->show();
        if (!confirm) {
            dialog->cmdCancel_Click();
            return int(QDialog::Rejected);
        }
        auto *users = d->findChild<QTreeWidget *>(u"list_Users"_s);
        dialog->ToggleRow(users, users->topLevelItem(0));
        dialog->cmdOK_Click();
        return int(QDialog::Accepted);
    });
    w->listMenuFor(0)->findChild<QAction *>(u"mnuinoltrafax"_s)->trigger();
    // The window waits for the lists, locked.
    QVERIFY(!w->ListFax->isEnabled());
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "FRM_INOLTRO"), QStringList{u"(R201)"_s});
    QUORIN_TRY_COMPARE(shown, 1);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    QVERIFY(w->TVNodi->isEnabled());
    if (confirm) {
        QUORIN_TRY_COMPARE(server.fake.receivedFrames("FRM_INOLTRO_OK").size(), 1);
        // No group, the first user by name (Bianchi, id 14).
        QCOMPARE(server.fake.receivedFrames("FRM_INOLTRO_OK").constFirst().text(),
                 u"INOLTRO<\u00CC\u00CC>(R201)<\u00CC\u00CC><\u00CC\u00CC><#>14"_s);
        QCOMPARE(w->row(u"R201"_s)->iconName(), u"inoltrato"_s);
    } else {
        QTest::qWait(200);
        QVERIFY(server.fake.receivedFrames("FRM_INOLTRO_OK").isEmpty());
        QCOMPARE(w->row(u"R201"_s)->iconName(), iconBefore);
    }
}

void tst_MainWindowCommands::forwardAsNewFax()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // No image yet: "File non trovato".
    Prompt::clearRecords();
    w->InoltroEsterno(QString());
    QCOMPARE(Prompt::lastRecord().text, u"File non trovato"_s);
    QCOMPARE(Prompt::lastRecord().title, u"Attenzione"_s);
    // The image of the selected fax goes to the shared send dialog, as a file of its own.
    rightClickRow(w, 0);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    const QString shownImage = w->CurrentFaxFile();
    w->listMenuFor(0)->findChild<QAction *>(u"mnuInoltroExt"_s)->trigger();
    FRMSEND2 *send = FRMSEND2::defaultInstance(w);
    QVERIFY(send->isVisible());
    QVERIFY(!send->ItemOpen().isEmpty());
    QVERIFY(send->ItemOpen() != shownImage);
    QFile a(send->ItemOpen()), b(shownImage);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
    send->close();
}

void tst_MainWindowCommands::faxDrop_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("moved"); // the frame's text, empty when refused

    QTest::newRow("personal into its folder") << u"P1"_s << u"F5"_s << u"PERSONALI<#>5<#>F<#>1<#>(P101)"_s;
    QTest::newRow("personal into the trash") << u"P1"_s << u"P4"_s << u"PERSONALI<#>4<#>T<#>1<#>(P101)"_s;
    QTest::newRow("personal onto sent") << u"P1"_s << u"P2"_s << QString();
    QTest::newRow("onto the list on show") << u"P1"_s << u"P1"_s << QString();
    QTest::newRow("onto the user") << u"P1"_s << u"ROOT"_s << QString();
    QTest::newRow("trash into a personal folder") << u"P4"_s << u"F5"_s << QString();
}

void tst_MainWindowCommands::faxDrop()
{
    QFETCH(QString, list);
    QFETCH(QString, target);
    QFETCH(QString, moved);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().node(u"F5"_s));
    showList(w, list);
    rightClickRow(w, 0);
    const QString key = static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key();
    const int before = w->ListFax->topLevelItemCount();
    QTreeWidgetItem *node = w->tree().node(target);
    QVERIFY(node);
    // The drag of the selected rows over the node, then the drop.
    w->ListFax->setCurrentItem(w->ListFax->topLevelItem(0));
    QCOMPARE(w->TVNodi_OLEDragOver(node), !moved.isEmpty());
    Prompt::clearRecords();
    QCOMPARE(w->TVNodi_OLEDragDrop(node), !moved.isEmpty());
    if (moved.isEmpty()) {
        QCOMPARE(promptTexts(),
                 QStringList{u"Attenzione!! Impossibile spostare il fax nella cartella selezionata."_s});
        QCOMPARE(w->ListFax->topLevelItemCount(), before);
        QTest::qWait(200);
        QVERIFY(server.fake.receivedFrames("SPOSTA").isEmpty());
        return;
    }
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "SPOSTA"), QStringList{moved});
    QVERIFY(!w->row(key));
    QCOMPARE(w->ListFax->topLevelItemCount(), before - 1);
    QVERIFY(w->fraListFax->title().contains(QString::number(before - 1)));
    // The row selected in its place is asked for once.
    const QString next = static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key();
    QUORIN_TRY_COMPARE(w->LastAskedKey(), next);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    QTest::qWait(200);
    QCOMPARE(imageRequests(server.fake, next), 1);
}

void tst_MainWindowCommands::dragScrollsAndOpens_data()
{
    QTest::addColumn<int>("fromBottom"); // -1: y is taken from the top
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("near the top") << -1 << 50 << true;
    QTest::newRow("at the top edge") << -1 << 0 << false;
    QTest::newRow("at 100") << -1 << 100 << false;
    QTest::newRow("near the bottom") << 100 << 0 << true;
    QTest::newRow("200 from the bottom") << 200 << 0 << false;
    QTest::newRow("middle") << -1 << 1000 << false;
}

void tst_MainWindowCommands::dragScrollsAndOpens()
{
    QFETCH(int, fromBottom);
    QFETCH(int, y);
    QFETCH(bool, scrolls);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().node(u"F6"_s));
    const int height = w->toTwips(w->TVNodi->viewport()->height());
    QVERIFY(height > 1400);
    const int at = fromBottom < 0 ? y : height - fromBottom;
    QTreeWidgetItem *folder = w->tree().node(u"F5"_s); // holds F6
    folder->setExpanded(false);
    rightClickRow(w, 0);
    w->TVNodi_OLEDragOver(folder, at);
    QCOMPARE(w->TimerTV->isActive(), scrolls);
    QVERIFY(w->TimerOpenNode->isActive());
    // While the tree scrolls, the node under the pointer changes: the pointer rests only off the edges.
    w->TimerTV->stop();
    // A closed folder under the pointer opens after its second.
    QUORIN_TRY_VERIFY(folder->isExpanded());
    QVERIFY(!w->TimerOpenNode->isActive());
    w->TVNodi_OLEDragOver(folder, at);
    QVERIFY(!w->TimerOpenNode->isActive());
    w->TVNodi_OLEDragDrop(nullptr);
    QVERIFY(!w->TimerTV->isActive());
}

void tst_MainWindowCommands::folderDrop_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("moved"); // the frame's text, empty when refused

    QTest::newRow("into a folder of the same root") << u"F6"_s << u"F7"_s << u"7<#>6<#>False<#>False"_s;
    QTest::newRow("to the root itself") << u"F6"_s << u"P1"_s << u"1<#>6<#>False<#>False"_s;
    QTest::newRow("into the trash") << u"F5"_s << u"P4"_s << u"4<#>5<#>True<#>False"_s;
    QTest::newRow("onto another root") << u"F5"_s << u"P2"_s << QString();
    QTest::newRow("into its own subfolder") << u"F5"_s << u"F6"_s << QString();
    QTest::newRow("onto the user") << u"F5"_s << u"ROOT"_s << QString();
    QTest::newRow("a fixed root") << u"P2"_s << u"P4"_s << QString();
}

void tst_MainWindowCommands::folderDrop()
{
    QFETCH(QString, folder);
    QFETCH(QString, target);
    QFETCH(QString, moved);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().node(u"F6"_s) && w->tree().node(u"F7"_s));
    QTreeWidgetItem *dragged = w->tree().node(folder);
    QTreeWidgetItem *onto = w->tree().node(target);
    QVERIFY(dragged && onto);
    QTreeWidgetItem *parentBefore = dragged->parent();
    w->TVNodi_StartFolderDrag(dragged);
    QCOMPARE(w->TVNodi_DragOver(onto), !moved.isEmpty());
    QCOMPARE(w->TVNodi_DragDrop(onto), !moved.isEmpty());
    if (moved.isEmpty()) {
        QCOMPARE(dragged->parent(), parentBefore);
        QTest::qWait(200);
        QVERIFY(server.fake.receivedFrames("SPOSTAFOLDER").isEmpty());
        return;
    }
    QCOMPARE(dragged->parent(), onto);
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "SPOSTAFOLDER"), QStringList{moved});
}

void tst_MainWindowCommands::viewerOnDoubleClick()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QString shownFile, faxKey;
    qint64 shownSize = -1;
    Prompt::setDialogHandler([&](QDialog *d) {
        auto *viewer = qobject_cast<frmVisualizzatore *>(d);
        if (!viewer)
            return int(QDialog::Rejected);
        shownFile = viewer->ShownFile();
        shownSize = QFileInfo(shownFile).size();
        faxKey = viewer->KeyFax();
        return int(QDialog::Rejected);
    });
    QTreeWidgetItem *item = w->ListFax->topLevelItem(1);
    const QString key = static_cast<FaxListItem *>(item)->key();
    const QRect r = w->ListFax->visualItemRect(item);
    const QPoint at(r.left() + 8, r.center().y());
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QUORIN_TRY_VERIFY(!shownFile.isEmpty());
    QCOMPARE(faxKey, key);
    // The viewer showed a copy of its own of the fax's image; the window is unlocked afterwards.
    QVERIFY(shownFile != w->CurrentFaxFile());
    QVERIFY(shownFile != w->ClientSock->NameTempFile());
    QCOMPARE(shownSize, QFileInfo(w->CurrentFaxFile()).size());
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
}

void tst_MainWindowCommands::propertiesAndReport()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, u"P2"_s);
    rightClickRow(w, 0);
    // Properties: the window opens modeless from the answer.
    w->listMenuFor(2)->findChild<QAction *>(u"mnuPropriet\u00e0"_s)->trigger();
    QUORIN_TRY_VERIFY(w->findChild<frmPropFax *>());
    QVERIFY(w->findChild<frmPropFax *>()->isVisible());
    w->findChild<frmPropFax *>()->close();

    // Report: the print dialog, then the report on the chosen printer.
    const QString pdf = m_dir.filePath(u"tmp/report.pdf"_s);
    int dialogs = 0;
    Prompt::setDialogHandler([&](QDialog *d) {
        auto *print = qobject_cast<QPrintDialog *>(d);
        if (!print)
            return int(QDialog::Rejected);
        ++dialogs;
        print->printer()->setOutputFormat(QPrinter::PdfFormat);
        print->printer()->setOutputFileName(pdf);
        return int(QDialog::Accepted);
    });
    w->listMenuFor(2)->findChild<QAction *>(u"mnuRep"_s)->trigger();
    QUORIN_TRY_COMPARE(dialogs, 1);
    QUORIN_TRY_VERIFY(QFileInfo(pdf).size() > 0);
    QVERIFY(server.fake.receivedFrames("GETREPORT").constFirst().text().endsWith(u"(S302)"_s));
}

void tst_MainWindowCommands::menuWindows_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("modal");

    QTest::newRow("send fax") << u"mnuSendFax"_s << u"FRMSEND2"_s << false;
    QTest::newRow("local address book") << u"mnuRubrica"_s << u"RUBfrmRubrica"_s << false;
    QTest::newRow("shared address book") << u"shared:mnuRubrica"_s << u"frmRubCondivisa"_s << false;
    QTest::newRow("scan") << u"mnuScan"_s << u"frmScan"_s << true;
    QTest::newRow("options") << u"mnuToolsOptions"_s << u"frmOptions"_s << true;
    // Disabled in the menu; the commands still open their windows.
    QTest::newRow("rules") << u"disabled:mnuOpenRules"_s << u"frmAuto"_s << true;
    QTest::newRow("import") << u"disabled:mnuImportaRubrica"_s << u"frmImportaRubrica"_s << true;
    QTest::newRow("change user (hidden)") << u"disabled:mnuLogin"_s << u"frmLogin"_s << true;
    QTest::newRow("information") << u"mnuHelpAbout"_s << u"frmAbout2"_s << true;
}

void tst_MainWindowCommands::menuWindows()
{
    QFETCH(QString, item);
    QFETCH(QString, window);
    QFETCH(bool, modal);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    if (item.startsWith(u"shared:"_s)) {
        ConfigIni.RubricaCondivisa = true;
        item = item.mid(7);
    }
    const bool disabled = item.startsWith(u"disabled:"_s);
    if (disabled)
        item = item.mid(9);
    QAction *action = w->menuBar()->findChild<QAction *>(item);
    if (!action) {
        for (QMenu *menu : w->menuBar()->findChildren<QMenu *>()) {
            if ((action = menu->findChild<QAction *>(item)))
                break;
        }
    }
    Prompt::clearRecords();
    if (disabled) {
        QVERIFY2(action && !action->isEnabled(), qPrintable(item));
        if (item == u"mnuOpenRules"_s)
            w->mnuOpenRules();
        else if (item == u"mnuLogin"_s)
            w->mnuLogin();
        else
            w->mnuImportaRubrica();
    } else {
        QVERIFY2(action && action->isEnabled(), qPrintable(item));
        action->trigger();
    }
    if (modal) {
        bool found = false;
        for (const auto &r : Prompt::records())
            found = found || (r.kind == Prompt::Kind::Dialog && r.text == window);
        QVERIFY2(found, qPrintable(window));
    } else {
        QWidget *opened = w->findChild<QWidget *>(window);
        QVERIFY2(opened, qPrintable(window));
        QVERIFY(opened->isVisible());
        opened->close();
    }
}

void tst_MainWindowCommands::outsidePrograms_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("missingText");

    const QString printer =
        u"Attenzione!! File Sendora.exe non trovato. \nImpossibile installare stampante Sendora."_s;
    const QString update =
        u"Attenzione!! File QVDozeza.exe non trovato. \nImpossibile eseguire LiveUpdate."_s;
    QTest::newRow("printer installation") << u"mnuInstallaPrinter"_s << u"Sendora"_s << true << printer;
    QTest::newRow("printer installation missing")
        << u"mnuInstallaPrinter"_s << u"Sendora"_s << false << printer;
    QTest::newRow("live update") << u"mnuLiveUpdate"_s << u"Dozeza"_s << true << update;
    QTest::newRow("live update missing") << u"mnuLiveUpdate"_s << u"Dozeza"_s << false << update;
}

void tst_MainWindowCommands::outsidePrograms()
{
    QFETCH(QString, item);
    QFETCH(QString, program);
    QFETCH(bool, present);
    QFETCH(QString, missingText);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    const QString record = m_dir.filePath(u"tmp/ran-"_s + program);
    QFile::remove(record);
    const QString path = AppPaths::programDir() + u"/"_s + program;
    QFile::remove(path);
    if (present) {
        QFile stub(path);
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\necho \"$0\" > '" + record.toLocal8Bit() + "'\n");
        stub.close();
        QVERIFY(
            stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        m_programs << path;
    }
    Prompt::clearRecords();
    for (QMenu *menu : w->menuBar()->findChildren<QMenu *>()) {
        if (QAction *a = menu->findChild<QAction *>(item))
            a->trigger();
    }
    if (present) {
        QUORIN_TRY_VERIFY(QFileInfo(record).size() > 0);
        QVERIFY(Prompt::records().isEmpty());
    } else {
        QCOMPARE(promptTexts(), QStringList{missingText});
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    }
}

void tst_MainWindowCommands::folderProperties()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().node(u"F5"_s));
    QTreeWidgetItem *node = w->tree().node(u"F5"_s);
    QString newName;
    Prompt::setDialogHandler([&](QDialog *d) {
        d->show();
        if (!newName.isEmpty())
            d->findChild<QLineEdit *>(u"txtNameFolder"_s)->setText(newName);
        d->findChild<QPushButton *>(u"cmdOK"_s)->click();
        return d->result();
    });
    // Confirmed without changes: nothing is sent.
    QVERIFY(w->treeMenuFor(node));
    w->mnuProprietaCartella();
    newName = u"Clienti esteri"_s;
    QVERIFY(w->treeMenuFor(node));
    w->mnuProprietaCartella();
    QCOMPARE(node->text(0), newName);
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "UPDATEFOLDER"), QStringList{u"Clienti esteri<#>5<#>F"_s});
}

void tst_MainWindowCommands::mailOfAListedFax()
{
    // A mail client that records its arguments, one per line.
    const QString bin = m_dir.filePath(u"tmp"_s);
    const QString record = bin + u"/mail-call"_s;
    QFile::remove(record);
    QFile client(bin + u"/xdg-email"_s);
    QVERIFY(client.open(QIODevice::WriteOnly));
    const QByteArray path = record.toLocal8Bit();
    client.write("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + path + ".part'\n/bin/mv '" + path +
                 ".part' '" + path + "'\n");
    client.close();
    QVERIFY(client.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    m_programs << client.fileName();

    Server server;
    const QString ini = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    frmMain *w = nullptr;
    {
        // The option is read from the settings at start-up.
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Config]\r\nServer=127.0.0.1\r\nPort= " + QByteArray::number(server.fake.port()) +
                   "\r\nAbilitaMail=1\r\n");
    }
    m_startup = std::make_unique<StartupMain>();
    QSignalSpy finished(m_startup.get(), &StartupMain::finished);
    m_startup->Main();
    QVERIFY(TestWait::forSignal(finished));
    w = m_startup->mainWindow();
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && !w->CurrentFaxFile().isEmpty());
    QVERIFY(w->isMail);
    rightClickRow(w, 0);
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    QAction *mail = w->listMenuFor(0)->findChild<QAction *>(u"mnuMailI"_s);
    QVERIFY(mail->isVisible() && mail->isEnabled());
    mail->trigger();
    QUORIN_TRY_VERIFY(QFileInfo::exists(record));
    QFile out(record);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QString args = QString::fromUtf8(out.readAll());
    QVERIFY2(args.contains(u"--attach"_s), qPrintable(args));
    QVERIFY2(args.contains(u"--subject"_s), qPrintable(args));
}

void tst_MainWindowCommands::serverSettings()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    int asked = 0;
    w->ClientSock->setServerConfDialog([&](QWidget *, QString &, int &, int modal) {
        ++asked;
        Q_UNUSED(modal);
        return false; // the user cancels
    });
    const QString ini = AppPaths::settingsDir() + u"/Darezi.ini"_s;
    QFile::remove(ini);
    for (QMenu *menu : w->menuBar()->findChildren<QMenu *>()) {
        if (QAction *a = menu->findChild<QAction *>(u"mnuServerConf"_s))
            a->trigger();
    }
    QCOMPARE(asked, 1);
    // The server in use is written back, the port with its leading blank; the link stays.
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("Server=127.0.0.1"), text.constData());
    const QByteArray port = "Port= " + QByteArray::number(server.fake.port());
    QVERIFY2(text.contains(port), text.constData());
    QCOMPARE(w->ClientSock->State(), 7);
}

void tst_MainWindowCommands::statusBarAndHelp()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QAction *status = nullptr;
    for (QMenu *menu : w->menuBar()->findChildren<QMenu *>()) {
        if (!status)
            status = menu->findChild<QAction *>(u"mnuViewStatusBar"_s);
    }
    QVERIFY(status);
    const int listHeight = w->fraListFax->height();
    status->trigger();
    QVERIFY(!status->isChecked());
    QVERIFY(!w->sbStatusBar->isVisible());
    // The space goes to the panes at once.
    QVERIFY(w->fraListFax->height() + w->fraPreview->height() > listHeight);
    status->trigger();
    QVERIFY(w->sbStatusBar->isVisible());

    Prompt::clearRecords();
    w->HelpFile.clear();
    w->mnuHelpContents();
    QCOMPARE(
        promptTexts(),
        QStringList{
            u"Impossibile visualizzare il Sommario della Guida. Nessun file della Guida associato al progetto."_s});
}

QTEST_MAIN(tst_MainWindowCommands)
// A command given once the link has ended: the server restarted on the same port, the link cut with
// the server up, or the server gone. The request reaches the server once, after the new login; or,
// when no login comes, it is refused with the link-lost message and the window shows what the server
// holds. Each row logs what the server received and what the window showed ("relogin ...").
void tst_MainWindowCommands::acrossRelogin_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QString>("cell");
    const struct
    {
        const char *command, *list, *keyword;
    } commands[] = {
        {"folder click", "P1", "SPEDITI"},     {"F5", "P1", "PERSONALI"},
        {"row click", "P1", "FILE"},           {"new folder", "P1", "NEWFOLDER"},
        {"rename folder", "P1", "RENAMEFOLDER"}, {"remove folder", "P1", "CESTINAFOLDER"},
        {"folder drag", "P1", "SPOSTAFOLDER"}, {"fax drag", "P1", "SPOSTA"},
        {"trash", "P1", "CESTINA"},            {"restore", "P4", "RIPRISTINA"},
        {"delete", "P4", "ELIMINA"},           {"read mark", "P1", "LETTO"},
        {"printed mark", "P1", "STAMPATO"},    {"forward", "P1", "FRM_INOLTRO"},
        {"properties", "P1", "GETINFO"},       {"report", "P2", "GETREPORT"},
    };
    for (const auto &c : commands) {
        for (const char *cell : {"restarted", "cut", "gone"})
            QTest::addRow("%s, %s", c.command, cell)
                << QString::fromLatin1(c.command) << QString::fromLatin1(c.list) << QByteArray(c.keyword)
                << QString::fromLatin1(cell);
    }
}

void tst_MainWindowCommands::acrossRelogin()
{
    QFETCH(QString, command);
    QFETCH(QString, list);
    QFETCH(QByteArray, keyword);
    QFETCH(QString, cell);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QUORIN_TRY_VERIFY(w->tree().node(u"F6"_s) && w->tree().node(u"F7"_s));
    showList(w, list);
    rightClickRow(w, 0);
    w->tmrRead->stop();
    const auto treeTexts = [w] {
        QStringList out;
        for (const QString &key : {u"F5"_s, u"F6"_s, u"F7"_s}) {
            QTreeWidgetItem *node = w->tree().node(key);
            out << (node ? FolderTree::key(node->parent()) + u'/' + node->text(0) : u"-"_s);
        }
        return out;
    };
    const QStringList rowsBefore = rowKeys(w);
    const QStringList treeBefore = treeTexts();
    const bool boldBefore = w->row(rowsBefore.value(0)) && w->row(rowsBefore.value(0))->isBold();
    const QString captionBefore = w->fraListFax->title();

    // Nothing asked before the cut is still on its way: a lost answer would rightly be told.
    QUORIN_TRY_VERIFY(!w->waitsForServer());
    const quint16 port = server.fake.port();
    if (cell == u"cut"_s) {
        server.fake.dropClient();
    } else {
        server.fake.stopListening();
        if (cell == u"restarted"_s)
            QVERIFY(server.fake.listen(port));
    }
    QUORIN_TRY_COMPARE(w->panelText(2), u"Connessione Chiusa"_s);
    server.fake.clearReceived();
    Prompt::clearRecords();
    QStringList dialogs;
    Prompt::setDialogHandler([&dialogs](QDialog *d) {
        if (auto *name = d->findChild<QLineEdit *>(u"txtNameFolder"_s)) {
            d->show();
            name->setText(u"Nuova"_s);
            d->findChild<QPushButton *>(u"cmdOK"_s)->click();
            return d->result();
        }
        dialogs << (qobject_cast<frmInoltra *>(d) ? u"frmInoltra"_s : d->objectName());
        return int(QDialog::Rejected);
    });
    const auto trigger = [w](const QString &name) {
        QAction *action = w->listMenuFor(w->ActiveList)->findChild<QAction *>(name);
        QVERIFY2(action && action->isEnabled(), qPrintable(name));
        action->trigger();
    };
    if (command == u"folder click"_s) {
        clickTreeNode(w, u"P2"_s);
    } else if (command == u"F5"_s) {
        QTest::keyClick(w->ListFax, Qt::Key_F5);
    } else if (command == u"row click"_s) {
        const QRect r = w->ListFax->visualItemRect(w->ListFax->topLevelItem(1));
        QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 8, r.center().y()));
    } else if (command == u"new folder"_s) {
        QVERIFY(w->treeMenuFor(w->tree().node(u"P1"_s)));
        w->mnuTreeNew();
    } else if (command == u"rename folder"_s) {
        QVERIFY(w->treeMenuFor(w->tree().node(u"F5"_s)));
        Prompt::setNextText(u"Clienti esteri"_s);
        w->mnuTreeName();
    } else if (command == u"remove folder"_s) {
        QVERIFY(w->treeMenuFor(w->tree().node(u"F6"_s)));
        Prompt::setNextAnswer(QMessageBox::Yes);
        w->mnuTreeRemove();
    } else if (command == u"folder drag"_s) {
        w->TVNodi_StartFolderDrag(w->tree().node(u"F6"_s));
        QVERIFY(w->TVNodi_DragOver(w->tree().node(u"F7"_s)));
        QVERIFY(w->TVNodi_DragDrop(w->tree().node(u"F7"_s)));
    } else if (command == u"fax drag"_s) {
        w->ListFax->setCurrentItem(w->ListFax->topLevelItem(0));
        QVERIFY(w->TVNodi_OLEDragOver(w->tree().node(u"F5"_s)));
        QVERIFY(w->TVNodi_OLEDragDrop(w->tree().node(u"F5"_s)));
    } else if (command == u"trash"_s) {
        Prompt::setNextAnswer(QMessageBox::Yes);
        trigger(u"mnuEliminaFaxR"_s);
    } else if (command == u"restore"_s) {
        Prompt::setNextAnswer(QMessageBox::Yes);
        trigger(u"mnuCestinoRipristina"_s);
    } else if (command == u"delete"_s) {
        Prompt::setNextAnswer(QMessageBox::Yes);
        trigger(u"mnuEliminaCest"_s);
    } else if (command == u"read mark"_s) {
        trigger(u"mnuSetNotRead"_s);
    } else if (command == u"printed mark"_s) {
        trigger(u"mnuSetNotPrintedR"_s);
    } else if (command == u"forward"_s) {
        trigger(u"mnuinoltrafax2"_s);
    } else if (command == u"properties"_s) {
        trigger(u"mnuPropriet\u00e0RFax"_s);
    } else if (command == u"report"_s) {
        trigger(u"mnuRep"_s);
    }
    const QString lost = u"Comunicazione col server non disponibile.\nPrego verificare."_s;
    if (cell == u"gone"_s) {
        QUORIN_TRY_VERIFY(promptTexts().contains(lost));
    } else {
        QUORIN_TRY_COMPARE(server.fake.receivedFrames(keyword).size(), 1);
    }
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QTest::qWait(300); // nothing more may come
    const auto frames = server.fake.receivedFrames();
    QStringList received;
    for (const auto &f : frames)
        received << QString::fromLatin1(f.keyword);
    QStringList shown = {u"rows "_s + rowKeys(w).join(u','), u"folders "_s + treeTexts().join(u','),
                         u"caption \""_s + w->fraListFax->title() + u'"'};
    if (!dialogs.isEmpty())
        shown << u"dialogs "_s + dialogs.join(u',');
    if (!w->findChildren<frmPropFax *>().isEmpty())
        shown << u"frmPropFax"_s;
    if (!promptTexts().isEmpty())
        shown << u"boxes \""_s + promptTexts().join(u" | "_s).replace(u'\n', u' ') + u'"';
    qInfo().noquote() << u"relogin | %1 | %2 | server: %3 | window: %4"_s.arg(command, cell, received.join(u' '),
                                                                           shown.join(u"; "_s));
    if (cell == u"gone"_s) {
        QCOMPARE(received.count(QString::fromLatin1(keyword)), 0);
        // What the server holds: the rows, folders, marks and caption of before the command.
        QCOMPARE(rowKeys(w), rowsBefore);
        QCOMPARE(treeTexts(), treeBefore);
        QCOMPARE(w->row(rowsBefore.value(0)) && w->row(rowsBefore.value(0))->isBold(), boldBefore);
        QCOMPARE(w->fraListFax->title(), captionBefore);
        QCOMPARE(promptTexts().count(lost), 1);
        QVERIFY(dialogs.isEmpty() && w->findChildren<frmPropFax *>().isEmpty());
        return;
    }
    // Once, after the new login, and nothing refused.
    QCOMPARE(server.fake.connectionCount(), 2);
    QCOMPARE(received.value(0), u"USER"_s);
    QCOMPARE(received.count(QString::fromLatin1(keyword)), 1);
    QVERIFY(!promptTexts().contains(lost));
    // A window waiting for its answer gets it.
    if (command == u"forward"_s)
        QCOMPARE(dialogs, QStringList{u"frmInoltra"_s});
    if (command == u"report"_s)
        QCOMPARE(dialogs, QStringList{u"dlgCommonDialog"_s});
    if (command == u"properties"_s)
        QCOMPARE(w->findChildren<frmPropFax *>().size(), 1);
    if (command == u"rename folder"_s)
        QCOMPARE(w->tree().node(u"F5"_s)->text(0), u"Clienti esteri"_s);
}

#include "tst_mainwindow_commands.moc"
