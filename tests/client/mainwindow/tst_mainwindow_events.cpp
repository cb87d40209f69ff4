// The main window driven as a user drives it: mouse presses on the tree and the list, their menus, real
// drags (the drag starts over its source and the platform's drag loop delivers the moves and the drop),
// keys, the viewer and the new-fax icon of the notification area.
#include "ConfigIni.h"
#include "ShownTip.h"
#include "FaxListItem.h"
#include "FaxListText.h"
#include "FolderDialogs.h"
#include "Lumagrid.h"
#include "MainWindowRig.h"
#include "PageView.h"
#include "Prompt.h"
#include "TestHome.h"
#include "ThumbCtl.h"
#include "TrayShell.h"
#include "frmSplash.h"
#include "frmInoltra.h"
#include "frmPropFax.h"
#include "frmVisualizzatore.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;

namespace {

// A notification area that records what it is told.
class RecordingTray : public TrayShell
{
public:
    struct Call
    {
        Message message;
        QString tip;
        bool hasIcon;
    };
    RecordingTray() { TrayShell::install(this); }
    ~RecordingTray() override { TrayShell::install(nullptr); }
    bool notifyIcon(Message message, const NotifyIconData &data) override
    {
        calls.append({message, data.szTip, !data.hIcon.isNull()});
        if (message == NIM_ADD) {
            if (shown || noArea)
                return false;
            shown = true;
            data_ = data;
        } else if (message == NIM_DELETE) {
            if (!shown)
                return false;
            shown = false;
        }
        return true;
    }
    int lastError() const override { return noArea ? TrayErrorNotAvailable : 0; }
    QList<Call> calls;
    bool shown = false;
    bool noArea = false; // no panel yet: every add is refused
    NotifyIconData data_;
};

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

QPoint nodePoint(frmMain *w, QTreeWidgetItem *node)
{
    for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    w->TVNodi->scrollToItem(node);
    const QRect r = w->TVNodi->visualItemRect(node);
    return QPoint(r.left() + 12, r.center().y());
}

QPoint rowPoint(frmMain *w, int index)
{
    const QRect r = w->ListFax->visualItemRect(w->ListFax->topLevelItem(index));
    return QPoint(r.left() + 12, r.center().y());
}

// The action of the open popup menu whose text is text, clicked with the mouse.
bool clickMenuItem(const QString &text)
{
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return false;
    for (QAction *a : menu->actions()) {
        if (a->isVisible() && a->text() == text) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            return true;
        }
    }
    return false;
}

// A drag as the platform delivers it: pressed over its source, moved past the drag distance (the
// drag's loop starts there), moved over the target in steps and released there. Returns once the drop
// (or its refusal) has ended the drag.
struct DragRun
{
    bool released = false;
    Qt::CursorShape shapeOverTarget = Qt::ArrowCursor;
};

DragRun realDrag(QWidget *from, QPoint start, QWidget *to, QPoint end)
{
    auto run = std::make_shared<DragRun>();
    QTimer::singleShot(150, from, [run, to, end] {
        // The platform answers each position in its own time: the pointer rests a little at each.
        for (const QPoint step : {end + QPoint(0, 6), end + QPoint(0, 2), end + QPoint(1, 0), end}) {
            QTest::mouseMove(to, step);
            QTest::qWait(150);
        }
        if (QCursor *c = QGuiApplication::overrideCursor())
            run->shapeOverTarget = c->shape();
        QTest::mouseRelease(to, Qt::LeftButton, {}, end);
        run->released = true;
    });
    QTest::mousePress(from, Qt::LeftButton, {}, start);
    QTest::mouseMove(from, start + QPoint(2, 0));
    QTest::mouseMove(from, start + QPoint(QApplication::startDragDistance() + 4, 2));
    QTest::mouseMove(from, start + QPoint(QApplication::startDragDistance() + 8, 4));
    QTest::qWait(100);
    if (!run->released) // no drag loop ran: the timer's release ends the press
        QTest::qWait(200);
    return *run;
}

// The tree's nodes painted in the selection colour, read from a grab of the tree.
QList<QTreeWidgetItem *> highlightedNodes(frmMain *w)
{
    const QImage shot = w->TVNodi->viewport()->grab().toImage();
    const QPalette pal = w->TVNodi->palette();
    const auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 30;
    };
    QList<QTreeWidgetItem *> out;
    for (QTreeWidgetItemIterator it(w->TVNodi); *it; ++it) {
        const QRect r = w->TVNodi->visualItemRect(*it);
        // A row wider than the pane (the tree scrolls sideways) is read at the pane's right edge.
        const QPoint at(std::min(r.right(), w->TVNodi->viewport()->width() - 1) - 3, r.center().y());
        if (r.isEmpty() || !shot.rect().contains(at))
            continue;
        const QColor c = shot.pixelColor(at);
        if (near(c, pal.color(QPalette::Active, QPalette::Highlight)) ||
            near(c, pal.color(QPalette::Inactive, QPalette::Highlight)))
            out << *it;
    }
    return out;
}

bool platformDrags()
{
    return QGuiApplication::platformName() != u"offscreen"_s && QGuiApplication::platformName() != u"minimal"_s;
}

} // namespace

class tst_MainWindowEvents : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void renameThroughTheMenu_data();
    void renameThroughTheMenu();
    void splashOverFastLogin();
    void folderDrag_data();
    void folderDrag();
    void faxDrag_data();
    void faxDrag();
    void viewerFitsThePage();
    void viewerWithoutImage();
    void newFaxIcon();
    void incompleteImageUnlocks();
    void deepFolderNames_data();
    void deepFolderNames();
    void keysAndSmallCommands();
    void noticesAndStatesAfterEvents();
    void escapeEndsTheWait();
    void lateAnswers_data();
    void lateAnswers();
    void removeThroughTheMenu();
    void rowHeightAndEmptyPreview();
    void textsFitTheirRoom();

private:
    frmMain *startRunning(Server &server);
    void showList(frmMain *w, const QString &key);

    TestHome m_dir;
    std::unique_ptr<StartupMain> m_startup;
};

void tst_MainWindowEvents::initTestCase()
{
    QVERIFY(m_dir.setUp());
    m_dir.useOwnSysconf();
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
    qputenv("PATH", m_dir.filePath(u"tmp"_s).toLocal8Bit()); // no mail client
    QCoreApplication::setApplicationName(u"Quorin"_s);
    QCoreApplication::setApplicationVersion(u"1.0.0"_s);
}

void tst_MainWindowEvents::init()
{
    ConfigIni = ConfigIniRecord{};
    Prompt::setAnswering(true);
}

void tst_MainWindowEvents::cleanup()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    m_startup.reset();
}

frmMain *tst_MainWindowEvents::startRunning(Server &server)
{
    if (!writeServerIni(u"127.0.0.1"_s, server.fake.port()))
        return nullptr;
    m_startup = std::make_unique<StartupMain>();
    frmMain *w = runToFirstList(*m_startup);
    if (!w || !QTest::qWaitFor([w] { return !w->CurrentFaxFile().isEmpty(); }, LoginTimeout))
        return nullptr;
    if (!QTest::qWaitFor([w] { return w->tree().node(u"F6"_s) && w->tree().node(u"F7"_s); }, LoginTimeout))
        return nullptr;
    w->tmrRead->stop();
    // The splash goes by itself; until then it covers the middle of the screen.
    if (!QTest::qWaitFor([this] { return !m_startup->splash(); }, TestWait::bound()))
        return nullptr;
    return w;
}

void tst_MainWindowEvents::showList(frmMain *w, const QString &key)
{
    clickTreeNode(w, key);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
}

void tst_MainWindowEvents::renameThroughTheMenu_data()
{
    QTest::addColumn<QString>("opener"); // the right button on the folder, or a key on the folder on show
    QTest::newRow("right button") << u"mouse"_s;
    QTest::newRow("Menu key") << u"Menu"_s;
    QTest::newRow("Shift+F10") << u"Shift+F10"_s;
}

void tst_MainWindowEvents::renameThroughTheMenu()
{
    QFETCH(QString, opener);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    QTreeWidgetItem *clienti = w->tree().node(u"F5"_s);
    const QPoint at = nodePoint(w, clienti);
    if (opener != u"mouse"_s) {
        showList(w, u"F5"_s);
        QCOMPARE(w->TVNodi->currentItem(), clienti);
    }
    const auto openMenu = [&] {
        if (opener == u"mouse"_s) {
            QTest::mouseClick(w->TVNodi->viewport(), Qt::RightButton, {}, at);
        } else {
            w->TVNodi->setFocus();
            if (opener == u"Menu"_s)
                QTest::keyClick(w->TVNodi, Qt::Key_Menu);
            else
                QTest::keyClick(w->TVNodi, Qt::Key_F10, Qt::ShiftModifier);
        }
    };

    // A name holding the server's field separator would rename folder 9: refused with a message.
    openMenu();
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::clearRecords();
    Prompt::setNextText(u"A<#>9"_s);
    QVERIFY(clickMenuItem(u"Rinomina"_s));
    QUORIN_TRY_COMPARE(Prompt::records().size(), 2); // the question, then the refusal
    QVERIFY(Prompt::lastRecord().text.contains(u"<#>"_s));
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    QCOMPARE(clienti->text(0), u"Clienti"_s);

    // Letters the server cannot take at all are named the same way; nothing is sent.
    openMenu();
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::clearRecords();
    Prompt::setNextText(u"顧客"_s);
    QVERIFY(clickMenuItem(u"Rinomina"_s));
    QUORIN_TRY_COMPARE(Prompt::records().size(), 2);
    QVERIFY(Prompt::lastRecord().text.contains(u"顧客"_s));
    QCOMPARE(clienti->text(0), u"Clienti"_s);
    QVERIFY(frameTexts(server.fake, "RENAMEFOLDER").isEmpty());

    // A plain name goes to the server for this folder.
    openMenu();
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::setNextText(u"Clienti esteri"_s);
    QVERIFY(clickMenuItem(u"Rinomina"_s));
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "RENAMEFOLDER"), QStringList{u"Clienti esteri<#>5"_s});
    QCOMPARE(clienti->text(0), u"Clienti esteri"_s);
}

void tst_MainWindowEvents::splashOverFastLogin()
{
    Server server;
    QVERIFY(writeServerIni(u"127.0.0.1"_s, server.fake.port()));
    m_startup = std::make_unique<StartupMain>();
    QSignalSpy finished(m_startup.get(), &StartupMain::finished);
    m_startup->Main();
    // The splash is held up past its time: the login comes first, whatever the machine's speed. The
    // main window, still hidden, is placed over it.
    QPointer<frmSplash> splash = m_startup->splash();
    QVERIFY(splash && splash->isVisible());
    splash->tmrUnload->stop();
    frmMain *w = m_startup->mainWindow();
    QVERIFY(w && !w->isVisible());
    w->setGeometry(splash->frameGeometry().adjusted(-60, -60, 60, 60));
    QVERIFY(TestWait::forSignal(finished));
    QCOMPARE(m_startup->outcome(), StartupMain::Outcome::Running);
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    QVERIFY(splash && splash->isVisible());
    QVERIFY(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    if (platformDrags()) {
        // On an X display: the splash is the window seen where both are, also once the main window is
        // raised as a window manager raises a window it maps.
        const QPoint middle = splash->mapToGlobal(splash->rect().center());
        QUORIN_TRY_COMPARE(QApplication::topLevelAt(middle), static_cast<QWidget *>(splash.data()));
        w->raise();
        QTest::qWait(100);
        QUORIN_TRY_COMPARE(QApplication::topLevelAt(middle), static_cast<QWidget *>(splash.data()));
    }
    splash->tmrUnload->start();
    QUORIN_TRY_VERIFY(!splash);
    QVERIFY(w->isVisible());
}

void tst_MainWindowEvents::folderDrag_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("moved"); // the frame's text, empty when refused

    QTest::newRow("into a folder of the same root") << u"F6"_s << u"F7"_s << u"7<#>6<#>False<#>False"_s;
    QTest::newRow("into the trash") << u"F5"_s << u"P4"_s << u"4<#>5<#>True<#>False"_s;
    QTest::newRow("onto another root") << u"F5"_s << u"P2"_s << QString();
    QTest::newRow("onto itself") << u"F7"_s << u"F7"_s << QString();
}

void tst_MainWindowEvents::folderDrag()
{
    QFETCH(QString, folder);
    QFETCH(QString, target);
    QFETCH(QString, moved);
    if (!platformDrags())
        QSKIP("the offscreen platform has no drag loop: run on an X display");
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->tree().node(u"P4"_s)->setExpanded(true);
    QTreeWidgetItem *shown = w->TVNodi->currentItem();
    QVERIFY(shown);
    QTreeWidgetItem *dragged = w->tree().node(folder);
    QTreeWidgetItem *onto = w->tree().node(target);
    QTreeWidgetItem *parentBefore = dragged->parent();
    const QPoint from = nodePoint(w, dragged);
    const QPoint to = nodePoint(w, onto);
    const DragRun run = realDrag(w->TVNodi->viewport(), from, w->TVNodi->viewport(), to);
    QVERIFY(run.released);
    if (moved.isEmpty()) {
        QCOMPARE(run.shapeOverTarget, Qt::ForbiddenCursor);
        QTest::qWait(200);
        QCOMPARE(dragged->parent(), parentBefore);
        QVERIFY(server.fake.receivedFrames("SPOSTAFOLDER").isEmpty());
    } else {
        QUORIN_TRY_COMPARE(frameTexts(server.fake, "SPOSTAFOLDER"), QStringList{moved});
        QCOMPARE(dragged->parent(), onto);
    }
    // The press that started the drag took the highlight; the folder whose list is shown has it back.
    QUORIN_TRY_COMPARE(highlightedNodes(w), QList<QTreeWidgetItem *>{shown});
    QCOMPARE(w->TVNodi->currentItem(), shown);
}

void tst_MainWindowEvents::faxDrag_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("moved");

    QTest::newRow("into its folder") << u"F5"_s << u"PERSONALI<#>5<#>F<#>1<#>(P101)"_s;
    QTest::newRow("onto sent") << u"P2"_s << QString();
    QTest::newRow("onto its own folder") << u"P1"_s << QString();
}

void tst_MainWindowEvents::faxDrag()
{
    QFETCH(QString, target);
    QFETCH(QString, moved);
    if (!platformDrags())
        QSKIP("the offscreen platform has no drag loop: run on an X display");
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    showList(w, u"P1"_s);
    const QPoint row = rowPoint(w, 0);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, row);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    const int before = w->ListFax->topLevelItemCount();
    Prompt::clearRecords();
    const DragRun run =
        realDrag(w->ListFax->viewport(), row, w->TVNodi->viewport(), nodePoint(w, w->tree().node(target)));
    QVERIFY(run.released);
    if (moved.isEmpty()) {
        // Refused while over the node; the release there says why, and nothing moves.
        QCOMPARE(run.shapeOverTarget, Qt::ForbiddenCursor);
        QUORIN_TRY_COMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().text, u"Attenzione!! Impossibile spostare il fax nella cartella selezionata."_s);
        QVERIFY(server.fake.receivedFrames("SPOSTA").isEmpty());
        QCOMPARE(w->ListFax->topLevelItemCount(), before);
        return;
    }
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "SPOSTA"), QStringList{moved});
    QCOMPARE(w->ListFax->topLevelItemCount(), before - 1);
}

void tst_MainWindowEvents::viewerFitsThePage()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->resize(1120, 800);
    w->show();
    double firstFill = 0, resizedFill = 0, zoomKept = 0, zoomSet = 0;
    Prompt::setDialogHandler([&](QDialog *d) {
        auto *viewer = qobject_cast<frmVisualizzatore *>(d);
        if (!viewer)
            return int(QDialog::Rejected);
        viewer->resize(1120, 800);
        viewer->show();
        PageView *view = viewer->Lumagrid1->pageView();
        const auto fill = [view] {
            const QRectF page = view->pageRect();
            const QSize room = view->viewport()->size();
            return std::max(page.width() / room.width(), page.height() / room.height());
        };
        const auto fitted = [&] { return fill() > 0.9 && fill() < 1.01; };
        (void)QTest::qWaitFor(fitted, TestWait::bound());
        firstFill = fill();
        viewer->resize(700, 900);
        (void)QTest::qWaitFor([&] { return fitted() && view->viewport()->width() < 700; }, TestWait::bound());
        resizedFill = fill();
        // The user zooms: the size no longer refits the page.
        viewer->Lumagrid1->setZoom(viewer->Lumagrid1->Zoom() * 2);
        zoomSet = viewer->Lumagrid1->Zoom();
        viewer->resize(900, 700);
        QTest::qWait(100);
        zoomKept = viewer->Lumagrid1->Zoom();
        return int(QDialog::Rejected);
    });
    // Double-click on the second fax opens the viewer once its image has come.
    const QPoint at = rowPoint(w, 1);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QUORIN_TRY_VERIFY(firstFill > 0);
    // The click asked for the image; the double click opened the viewer with it.
    QCOMPARE(imageRequests(server.fake, static_cast<FaxListItem *>(w->ListFax->topLevelItem(1))->key()), 1);
    QVERIFY2(firstFill > 0.9 && firstFill < 1.01, qPrintable(QString::number(firstFill)));
    QVERIFY2(resizedFill > 0.9 && resizedFill < 1.01, qPrintable(QString::number(resizedFill)));
    QCOMPARE(zoomKept, zoomSet);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());

    // The preview pane fits its page too, and again when the window grows.
    PageView *preview = static_cast<Lumagrid *>(w->LumagPreview)->pageView();
    const auto previewFill = [preview] {
        const QRectF page = preview->pageRect();
        const QSize room = preview->viewport()->size();
        return std::max(page.width() / room.width(), page.height() / room.height());
    };
    QUORIN_TRY_VERIFY(previewFill() > 0.9);
    w->resize(1300, 900);
    QUORIN_TRY_VERIFY(previewFill() > 0.9 && previewFill() < 1.01);
}

void tst_MainWindowEvents::viewerWithoutImage()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // The image of the next fax never comes.
    server.extra = [](FakeFaxServer &, const F::Frame &f) { return f.keyword == "FILE" && !f.answer; };
    const QPoint at = rowPoint(w, 1);
    QTest::mouseClick(w->ListFax->viewport(), Qt::RightButton, {}, at);
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::clearRecords();
    QVERIFY(clickMenuItem(u"Visualizza Fax"_s));
    QUORIN_TRY_COMPARE(Prompt::records().size(), 1);
    QCOMPARE(Prompt::lastRecord().title, u"Visualizzatore"_s);
    QCOMPARE(Prompt::lastRecord().text, u"File  non presente."_s);
    QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    QVERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
}

void tst_MainWindowEvents::newFaxIcon()
{
    RecordingTray tray;
    tray.noArea = true;
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    // The received list came with an unread fax before any panel: the add is refused, and the icon is up,
    // with its tip, once the desktop says a notification area is there.
    QUORIN_TRY_VERIFY(!tray.calls.isEmpty());
    QVERIFY(!tray.shown);
    tray.noArea = false;
    TrayShell::notifyCreated(w, 1);
    QUORIN_TRY_VERIFY(tray.shown);
    QCOMPARE(tray.calls.first().message, TrayShell::NIM_ADD);
    QCOMPARE(tray.calls.first().tip, u"Hai ricevuto un nuovo fax!"_s);
    QVERIFY(tray.calls.first().hasIcon);
    QCOMPARE(tray.data_.hWnd.data(), w);

    // Marked read through the list's menu of a selected fax: the icon goes.
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    w->tmrRead->setInterval(10);
    w->tmrRead->start();
    QUORIN_TRY_VERIFY(!tray.shown);
    QCOMPARE(tray.calls.last().message, TrayShell::NIM_DELETE);
    // Nothing unread: a panel that restarts now brings no icon back.
    const qsizetype before = tray.calls.size();
    TrayShell::notifyCreated(w, 1);
    QTest::qWait(50);
    QCOMPARE(tray.calls.size(), before);

    // A fax arrives while the window is minimised: the icon is back; its click restores the window.
    w->showMinimized();
    const QStringList rec = {u"R999"_s,   u"1"_s,       u"4"_s, u"+39 06 1234"_s, u"Nuova Srl"_s,
                             u"061234"_s, u"9000000"_s, u"2"_s, u"Ordine"_s,      u"F"_s};
    server.fake.sendNow(F::answer(u"RXFAX", u"\u00a6"_s + rec.join(u'\u00a6')));
    QUORIN_TRY_VERIFY(tray.shown);
    TrayShell::notify(tray.data_, TrayMouse::LButtonDblClk, QPoint(5, 5));
    QUORIN_TRY_VERIFY(!w->isMinimized());

    // The window closing takes the icon away.
    const int calls = int(tray.calls.size());
    m_startup.reset();
    QVERIFY(!tray.shown);
    QCOMPARE(tray.calls.size(), calls + 1);
}

void tst_MainWindowEvents::incompleteImageUnlocks()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    const QColor ownBack = w->LumagPreview->BackColor();
    // The next image comes with no bytes at all.
    server.answerImages([](FakeFaxServer &s, const F::Frame &f) {
        s.streamFile(0, [](qint64, qint64) { return QByteArray(); }, 32768,
                     f.text().section(u"<#>"_s, 1, 1));
    });
    int viewers = 0;
    Prompt::setDialogHandler([&](QDialog *) {
        ++viewers;
        return int(QDialog::Rejected);
    });
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    const qsizetype asked = server.fake.receivedFrames("FILE").size();
    const QPoint at = rowPoint(w, 1);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(w->ListFax->currentItem(), w->ListFax->topLevelItem(1));
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QUORIN_TRY_VERIFY2(w->panelText(1) == u"Immagine incompleta : riprovare"_s,
                       qPrintable(u"status \"%1\", image requests after the click: %2"_s.arg(w->panelText(1))
                                      .arg(server.fake.receivedFrames("FILE").size() - asked)));
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(viewers, 0);

    // An image that comes back short, as the server would send it: "STARTFILE" announces more than follows.
    const auto shortImage = [](const QString &key) -> QByteArray {
        return F::rawAnswer("STARTFILE", "10" + F::FieldSep) + F::rawAnswer("FILE", "abc") +
               F::rawAnswer("ENDFILE", "10" + F::FieldSep + F::FieldSep + F::latin(key));
    };
    const auto keyOf = [w](int row) {
        return static_cast<FaxListItem *>(w->ListFax->topLevelItem(row))->key();
    };
    QVERIFY(w->ListFax->topLevelItemCount() >= 2);
    const QString first = keyOf(0), second = keyOf(1);

    // The race: the first row's image comes back short after the second row was double-clicked. That
    // answer changes nothing of the second row: its whole image opens the viewer and clears the notice.
    QList<F::Frame> held;
    server.answerImages([&held](FakeFaxServer &, const F::Frame &f) {
        held << f;
    });
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QUORIN_TRY_COMPARE(held.size(), 1);
    const int secondAsked = imageRequests(server.fake, second);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 1));
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 1));
    QUORIN_TRY_COMPARE(held.size(), 2);
    server.extra = nullptr;
    server.fake.sendNow(shortImage(first));
    server.fake.responder()(server.fake, held.at(1));
    QUORIN_TRY_COMPARE(viewers, 1);
    QCOMPARE(imageRequests(server.fake, second), secondAsked + 1);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QCOMPARE(w->panelText(1), QString());
    QCOMPARE(w->LumagPreview->BackColor(), ownBack);

    // Short again, then a whole image of another row: the notice and the grey background go.
    server.answerImages([&shortImage](FakeFaxServer &s, const F::Frame &f) {
        s.sendNow(shortImage(f.text().section(u"<#>"_s, 1, 1)));
    });
    QSignalSpy shortAnswers(w->ClientSock, &QuorinSock::RxFaxIncomplete);
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QUORIN_TRY_COMPARE(w->panelText(1), u"Immagine incompleta : riprovare"_s);
    QVERIFY(w->LumagPreview->BackColor() != ownBack);
    // A double click on that row: its click asks again, and once that answer is in, the double click
    // does not ask a third time.
    const int firstAsked = imageRequests(server.fake, first);
    shortAnswers.clear();
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QVERIFY(TestWait::forSignal(shortAnswers));
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QTest::qWait(200);
    QCOMPARE(imageRequests(server.fake, first), firstAsked + 1);
    QVERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QCOMPARE(viewers, 1);
    server.extra = nullptr;
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 1));
    QUORIN_TRY_COMPARE(w->panelText(1), QString());
    QCOMPARE(w->LumagPreview->BackColor(), ownBack);
}

void tst_MainWindowEvents::deepFolderNames_data()
{
    QTest::addColumn<QString>("name"); // %1: the level
    QTest::newRow("plain") << u"L%1 - Archivio corrispondenza fornitori sede di Milano"_s;
    QTest::newRow("looks like markup")
        << u"L%1 <b>Rotto & \"x\"<br>  <img src=\"file:///nonexistent.png\"> &amp; fornitori di Milano"_s;
}

// Folder names deeper than the pane is wide: the tree scrolls sideways, and a name the pane cuts shows
// whole in a tooltip where the pointer rests, exactly as the server gave it; one that fits shows none.
void tst_MainWindowEvents::deepFolderNames()
{
    QFETCH(QString, name);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->resize(1000, 700);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    QTreeWidgetItem *parent = w->tree().node(u"P2"_s);
    QString deepest;
    for (int level = 1; level <= 8; ++level) {
        deepest = name.arg(level);
        parent = w->tree().addFolderNode(parent, deepest, u"F%1"_s.arg(900 + level), false);
    }
    w->TVNodi->scrollToItem(parent);
    QUORIN_TRY_VERIFY(w->TVNodi->horizontalScrollBar()->maximum() > 0);
    const auto hover = [w](QTreeWidgetItem *node) {
        w->TVNodi->horizontalScrollBar()->setValue(0);
        w->TVNodi->scrollToItem(node);
        const QRect r = w->TVNodi->visualItemRect(node);
        const QPoint at(qBound(0, r.left() + 30, w->TVNodi->viewport()->width() - 1), r.center().y());
        QHelpEvent help(QEvent::ToolTip, at, w->TVNodi->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w->TVNodi->viewport(), &help);
    };
    hover(parent);
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(shownTip(QToolTip::text()), deepest);
    hover(w->tree().node(u"P1"_s));
    QUORIN_TRY_VERIFY(!QToolTip::isVisible());
}

void tst_MainWindowEvents::keysAndSmallCommands()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));

    // The About item reads as its string.
    QAction *about = w->menuBar()->findChild<QAction *>(u"mnuHelpAbout"_s);
    QVERIFY(about);
    QCOMPARE(about->text(), u"&Informazioni su "_s);

    // Down in the list: the key, the image and the menus follow the row reached.
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && !w->CurrentFaxFile().isEmpty());
    QTest::qWait(200);
    const int asked = int(server.fake.receivedFrames("FILE").size());
    QTest::keyClick(w->ListFax, Qt::Key_Down);
    const QString second = static_cast<FaxListItem *>(w->ListFax->topLevelItem(1))->key();
    QUORIN_TRY_COMPARE(w->CurrentKey, second);
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("FILE").size(), asked + 1);
    QTest::qWait(200);
    QCOMPARE(server.fake.receivedFrames("FILE").size(), asked + 1);

    // F5 asks the list again and the image of the row kept selected, once.
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    QTest::qWait(100);
    const int beforeF5 = imageRequests(server.fake, second);
    const qsizetype allBeforeF5 = server.fake.receivedFrames("FILE").size();
    QTest::keyClick(w->ListFax, Qt::Key_F5);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && w->ListFax->topLevelItemCount() > 0);
    QTest::qWait(300);
    QCOMPARE(server.fake.receivedFrames("FILE").size(), allBeforeF5 + 1);
    QCOMPARE(imageRequests(server.fake, second), beforeF5 + 1);
    QCOMPARE(w->CurrentKey, second);

    // Up to the first row asks for its image once; Up on the first row asks nothing more.
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    const QString first = static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key();
    const int firstAsked = imageRequests(server.fake, first);
    QTest::keyClick(w->ListFax, Qt::Key_Up);
    QUORIN_TRY_COMPARE(w->CurrentKey, first);
    QUORIN_TRY_COMPARE(imageRequests(server.fake, first), firstAsked + 1);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled() && !w->CurrentFaxFile().isEmpty());
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(w->ListFax, Qt::Key_Up);
    QTest::qWait(300);
    QCOMPARE(imageRequests(server.fake, first), firstAsked + 1);
    QVERIFY(!w->LumagPreview->FileName().isEmpty()); // still on show

    // A sort by the sender, then another folder: only the new list's date column shows an arrow.
    const int sender = 3;
    QTest::mouseClick(w->ListFax->header()->viewport(), Qt::LeftButton, {},
                      QPoint(w->ListFax->header()->sectionViewportPosition(sender) + 5, 5));
    QVERIFY(!w->ListFax->headerItem()->icon(sender).isNull());
    showList(w, u"P2"_s);
    int arrows = 0;
    for (int i = 0; i < w->ListFax->columnCount(); ++i)
        arrows += w->ListFax->headerItem()->icon(i).isNull() ? 0 : 1;
    QCOMPARE(arrows, 1);
    QVERIFY(!w->ListFax->headerItem()->icon(FaxListText::ColDate).isNull());

    // Delete in the trash with nothing selected asks nothing.
    showList(w, u"P4"_s);
    w->ListFax->clearSelection();
    Prompt::clearRecords();
    QTest::keyClick(w->ListFax, Qt::Key_Delete);
    QTest::qWait(100);
    QVERIFY(Prompt::records().isEmpty());
    QVERIFY(server.fake.receivedFrames("ELIMINA").isEmpty());

    // A double-click on the list's or the preview's frame lays the panes out again.
    for (QGroupBox *frame : {w->fraListFax, w->fraPreview}) {
        const QRect laidOut = w->FraTv->geometry();
        w->FraTv->setGeometry(0, 0, 20, 20);
        QTest::mouseDClick(frame, Qt::LeftButton, {}, QPoint(frame->width() / 2, 3));
        QCOMPARE(w->FraTv->geometry(), laidOut);
    }
}

void tst_MainWindowEvents::noticesAndStatesAfterEvents()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));

    // The list's caption is drawn whole above the list.
    QStyleOptionGroupBox option;
    option.initFrom(w->fraListFax);
    option.text = w->fraListFax->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label =
        w->fraListFax->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w->fraListFax);
    QVERIFY2(w->ListFax->geometry().top() > label.bottom(),
             qPrintable(u"%1 %2"_s.arg(w->ListFax->geometry().top()).arg(label.bottom())));

    // The about box opens in the middle of the screen at the size it is shown with.
    QRect aboutAt;
    Prompt::setDialogHandler([&](QDialog *d) {
        d->show();
        aboutAt = d->geometry();
        return int(QDialog::Rejected);
    });
    w->menuBar()->findChild<QAction *>(u"mnuHelpAbout"_s)->trigger();
    QVERIFY(aboutAt.isValid());
    const QPoint middle = w->screen()->geometry().center();
    QVERIFY2((aboutAt.center() - middle).manhattanLength() <= 4,
             qPrintable(u"%1,%2 vs %3,%4"_s.arg(aboutAt.center().x()).arg(aboutAt.center().y()).arg(middle.x())
                            .arg(middle.y())));

    // The server's answer to an image saved from the preview tells nothing; the next send does.
    Prompt::clearRecords();
    w->bSalvataggioFax = true;
    Q_EMIT w->ClientSock->SentFax2Server(u"1"_s);
    QTest::qWait(50);
    QVERIFY(Prompt::records().isEmpty());
    QVERIFY(!w->bSalvataggioFax);
    Q_EMIT w->ClientSock->SentFax2Server(u"2"_s);
    QUORIN_TRY_COMPARE(Prompt::records().size(), 1);
    QCOMPARE(Prompt::lastRecord().text, u"Il Fax è stato inoltrato al server per l'invio."_s);

    // A link error or a lost link stops the rows dragging until the next login.
    QVERIFY(w->ListFax->dragEnabled());
    Q_EMIT w->ClientSock->Error(10053, u"reset"_s, 0, u"sock"_s, QString(), 0, false);
    QVERIFY(!w->ListFax->dragEnabled());
    Q_EMIT w->ClientSock->ReConnected(u"127.0.0.1"_s, server.fake.port(), true);
    QVERIFY(w->ListFax->dragEnabled());
}

void tst_MainWindowEvents::escapeEndsTheWait()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    // The server keeps the images it is asked for until told otherwise.
    QList<F::Frame> held;
    server.answerImages([&held](FakeFaxServer &, const F::Frame &f) {
        held << f;
    });
    int viewers = 0;
    Prompt::setDialogHandler([&](QDialog *) {
        ++viewers;
        return int(QDialog::Rejected);
    });
    const QPoint at = rowPoint(w, 1);
    const QString key = static_cast<FaxListItem *>(w->ListFax->topLevelItem(1))->key();
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w->ListFax->viewport(), Qt::LeftButton, {}, at);
    QUORIN_TRY_VERIFY(!held.isEmpty() && !w->ListFax->isEnabled() && !w->TVNodi->isEnabled());
    QTest::qWait(100);
    QVERIFY(!w->ListFax->isEnabled());
    // The list gave up the focus; the preview that took it swallows every key. Escape still ends the wait.
    PageView *page = static_cast<Lumagrid *>(w->LumagPreview)->pageView();
    page->setFocus();
    QTest::keyClick(page, Qt::Key_Escape);
    QVERIFY(w->ListFax->isEnabled() && w->TVNodi->isEnabled());
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    // The image that comes late is previewed; the viewer asked by the double click stays shut.
    server.extra = nullptr;
    server.fake.responder()(server.fake, held.constLast());
    QUORIN_TRY_VERIFY(!w->CurrentFaxFile().isEmpty());
    QTest::qWait(200);
    QCOMPARE(viewers, 0);
    QCOMPARE(w->LastAskedKey(), key);
    // A click after it is served as any other.
    const qsizetype asked = server.fake.receivedFrames("FILE").size();
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("FILE").size(), asked + 1);
    QUORIN_TRY_COMPARE(w->LastAskedKey(), static_cast<FaxListItem *>(w->ListFax->topLevelItem(0))->key());
}

void tst_MainWindowEvents::lateAnswers_data()
{
    // Two requests of a kind on their way, their answers held by the server and let go in order: only
    // the answer to the last one acts.
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<QString>("list");      // folder on show before
    QTest::addColumn<QString>("menuItem");  // the command on rows 0 then 1; empty: folder clicks
    QTest::newRow("list of another folder") << QByteArray("PERSONALI") << u"P2"_s << QString();
    QTest::newRow("forward lists") << QByteArray("FRM_INOLTRO") << u"P1"_s << u"Inoltra agli altri utenti"_s;
    QTest::newRow("properties") << QByteArray("GETINFO") << u"P1"_s << u"Propriet\u00e0"_s;
    QTest::newRow("transmission report") << QByteArray("GETREPORT") << u"P2"_s << u"Rapporto di trasmissione"_s;
}

void tst_MainWindowEvents::lateAnswers()
{
    QFETCH(QByteArray, keyword);
    QFETCH(QString, list);
    QFETCH(QString, menuItem);
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    showList(w, list);
    QVERIFY(w->ListFax->topLevelItemCount() >= (menuItem.isEmpty() ? 1 : 2));
    QList<F::Frame> held;
    server.extra = [&held, keyword](FakeFaxServer &, const F::Frame &f) {
        if (f.keyword != keyword)
            return false;
        held << f;
        return true;
    };
    QStringList dialogs; // what the modal windows were opened for
    Prompt::setDialogHandler([&dialogs](QDialog *d) {
        if (auto *forward = qobject_cast<frmInoltra *>(d))
            dialogs << forward->chiave;
        else
            dialogs << d->objectName();
        return int(QDialog::Rejected);
    });
    QString wanted;
    if (menuItem.isEmpty()) {
        // Personali is asked, the user gives up waiting and opens its folder Clienti.
        clickTreeNode(w, u"P1"_s);
        QUORIN_TRY_COMPARE(held.size(), 1);
        QVERIFY(!w->ListFax->isEnabled());
        QVERIFY2(!w->fraListFax->title().contains(u'['), qPrintable(w->fraListFax->title()));
        QTest::keyClick(w, Qt::Key_Escape);
        clickTreeNode(w, u"F5"_s);
    } else {
        for (int row : {0, 1}) {
            QTest::mouseClick(w->ListFax->viewport(), Qt::RightButton, {}, rowPoint(w, row));
            QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
            QVERIFY(clickMenuItem(menuItem));
            QUORIN_TRY_COMPARE(held.size(), row + 1);
            QTest::keyClick(w, Qt::Key_Escape);
        }
        wanted = static_cast<FaxListItem *>(w->ListFax->topLevelItem(1))->key();
    }
    QUORIN_TRY_COMPARE(held.size(), 2);
    server.extra = nullptr;
    // The late answer is taken on its own before the next one comes.
    for (const F::Frame &f : held) {
        server.fake.responder()(server.fake, f);
        QTest::qWait(200);
    }
    if (menuItem.isEmpty()) {
        QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
        QTest::qWait(200);
        QStringList keys;
        for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
            keys << static_cast<FaxListItem *>(w->ListFax->topLevelItem(i))->key();
        QCOMPARE(keys, QStringList{u"P103"_s});
        QVERIFY2(w->fraListFax->title().startsWith(u"Fax Personali / Clienti [ 1 ]"_s), qPrintable(w->fraListFax->title()));
        // Everything selected and trashed is Clienti's.
        QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
        QTest::keyClick(w->ListFax, Qt::Key_A, Qt::ControlModifier);
        Prompt::setNextAnswer(QMessageBox::Yes);
        QTest::keyClick(w->ListFax, Qt::Key_Delete);
        QUORIN_TRY_COMPARE(frameTexts(server.fake, "CESTINA"), QStringList{u"PERSONALI<#>(103)"_s});
        return;
    }
    QTest::qWait(300);
    if (keyword == "GETINFO") {
        const QList<frmPropFax *> shown = w->findChildren<frmPropFax *>();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first()->p_itemfax);
        QCOMPARE(shown.first()->p_itemfax->IdFax(), wanted);
        delete shown.first();
    } else if (keyword == "FRM_INOLTRO") {
        QCOMPARE(dialogs, QStringList{wanted});
    } else {
        QCOMPARE(dialogs, QStringList{u"dlgCommonDialog"_s});
    }
    QVERIFY(w->ListFax->isEnabled());
}

void tst_MainWindowEvents::removeThroughTheMenu()
{
    Server server;
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    showList(w, u"F7"_s);
    QTreeWidgetItem *fornitori = w->tree().node(u"F7"_s);
    QCOMPARE(highlightedNodes(w), QList<QTreeWidgetItem *>{fornitori});

    // A folder not on show goes: the folder on show keeps the highlight (not the removed one's parent).
    QTest::mouseClick(w->TVNodi->viewport(), Qt::RightButton, {}, nodePoint(w, w->tree().node(u"F6"_s)));
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::setNextAnswer(QMessageBox::Yes);
    QVERIFY(clickMenuItem(u"Elimina"_s));
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "CESTINAFOLDER"), QStringList{u"6"_s});
    QVERIFY(!w->tree().node(u"F6"_s));
    QCOMPARE(highlightedNodes(w), QList<QTreeWidgetItem *>{fornitori});
    QCOMPARE(w->TVNodi->currentItem(), fornitori);

    // The folder on show goes: its parent is highlighted and its list shown.
    const qsizetype lists = server.fake.receivedFrames("PERSONALI").size();
    QTest::mouseClick(w->TVNodi->viewport(), Qt::RightButton, {}, nodePoint(w, fornitori));
    QUORIN_TRY_VERIFY(QApplication::activePopupWidget());
    Prompt::setNextAnswer(QMessageBox::Yes);
    QVERIFY(clickMenuItem(u"Elimina"_s));
    QUORIN_TRY_COMPARE(frameTexts(server.fake, "CESTINAFOLDER"), (QStringList{u"6"_s, u"7"_s}));
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("PERSONALI").size(), lists + 1);
    QCOMPARE(server.fake.receivedFrames("PERSONALI").constLast().text(), u"1"_s);
    QUORIN_TRY_VERIFY(w->ListFax->isEnabled());
    QTreeWidgetItem *personali = w->tree().node(u"P1"_s);
    QCOMPARE(w->TVNodi->currentItem(), personali);
    QCOMPARE(highlightedNodes(w), QList<QTreeWidgetItem *>{personali});
}

void tst_MainWindowEvents::rowHeightAndEmptyPreview()
{
    Server server;
    // The personal list: 30 faxes, the newest (first shown) without a picture.
    QString firstIcon;
    server.extra = [&firstIcon](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "PERSONALI" || f.answer || f.text() != u"1"_s)
            return false;
        s.sendNow(F::rawAnswer(f.keyword, manyFaxes(30, [&](int i) { return i == 0 ? firstIcon : u"4"_s; })));
        return true;
    };
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    const auto rowHeights = [w] {
        QList<int> out;
        for (int i = 0; i < w->ListFax->topLevelItemCount(); ++i)
            out << w->ListFax->visualItemRect(w->ListFax->topLevelItem(i)).height();
        return out;
    };
    // The pictures of the rows after the first, as grabbed from the screen.
    const auto laterPictures = [w] {
        const QRect second = w->ListFax->visualItemRect(w->ListFax->topLevelItem(1));
        const QRect last = w->ListFax->visualItemRect(w->ListFax->topLevelItem(6));
        return w->ListFax->viewport()->grab(QRect(0, second.top(), w->ListFax->columnWidth(0), last.bottom() - second.top() + 1)).toImage();
    };
    firstIcon = u"4"_s; // "user"
    showList(w, u"P1"_s);
    QCOMPARE(w->ListFax->topLevelItemCount(), 30);
    const QList<int> withPicture = rowHeights();
    const QImage picturesBefore = laterPictures();
    firstIcon = u"8"_s; // "empty": nobody holds the fax, no picture
    showList(w, u"P1"_s);
    QVERIFY(w->ListFax->topLevelItem(0)->icon(0).isNull());
    const QList<int> firstEmpty = rowHeights();
    QCOMPARE(firstEmpty, withPicture);
    const int iconHeight = w->ListFax->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, w->ListFax);
    QVERIFY2(firstEmpty.constFirst() >= iconHeight + 2, qPrintable(QString::number(firstEmpty.constFirst())));
    // On the screen the other rows' pictures are drawn as whole as when the first row had one.
    QCOMPARE(laterPictures(), picturesBefore);
    // An empty folder empties the preview: no page, "0/0", no thumbnails.
    auto *preview = static_cast<Lumagrid *>(w->LumagPreview);
    const auto emptyPreview = [preview] {
        for (const ThumbCtl *cell : preview->thumbCells()) {
            if (cell->isVisible())
                return false;
        }
        return preview->counterText() == u"0/0"_s && preview->FileName().isEmpty();
    };
    showList(w, u"F7"_s);
    QCOMPARE(w->ListFax->topLevelItemCount(), 0);
    QVERIFY(emptyPreview());

    // The previewed fax leaves the list: trashed with its folder's other faxes, the preview empties too.
    showList(w, u"P2"_s);
    QUORIN_TRY_VERIFY(!emptyPreview());
    QTest::mouseClick(w->ListFax->viewport(), Qt::LeftButton, {}, rowPoint(w, 0));
    QTest::keyClick(w->ListFax, Qt::Key_A, Qt::ControlModifier);
    Prompt::setNextAnswer(QMessageBox::Yes);
    QTest::keyClick(w->ListFax, Qt::Key_Delete);
    QUORIN_TRY_COMPARE(server.fake.receivedFrames("CESTINA").size(), 1);
    QCOMPARE(w->ListFax->topLevelItemCount(), 0);
    QVERIFY(emptyPreview());
    // A screenshot of the preview: nothing but the empty pane under the counter.
    const QImage pane = preview->grab().toImage();
    QVERIFY(!pane.isNull());
}

void tst_MainWindowEvents::textsFitTheirRoom()
{
    Server server;
    server.extra = [](FakeFaxServer &s, const F::Frame &f) {
        if (f.keyword != "PERSONALI" || f.answer || f.text() != u"1"_s)
            return false;
        s.sendNow(F::rawAnswer(f.keyword, manyFaxes(3, [](int) { return u"4"_s; })));
        return true;
    };
    frmMain *w = startRunning(server);
    QVERIFY(w);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w, TestWait::bound()));
    showList(w, u"P1"_s);
    // An unread (bold) row's sender, number, date and pages are shown whole at the columns' widths.
    FaxListItem *bold = w->row(u"P100000"_s);
    QVERIFY(bold && bold->isBold());
    const QFontMetrics fm(bold->font(1));
    for (int column : {2, 4, 5, 6}) {
        const int room = w->ListFax->columnWidth(column) - 8;
        QVERIFY2(fm.horizontalAdvance(bold->text(column)) <= room,
                 qPrintable(u"column %1: \"%2\" %3 px in %4"_s.arg(column).arg(bold->text(column))
                                .arg(fm.horizontalAdvance(bold->text(column))).arg(room)));
    }

    // The page counter holds a three-digit count.
    auto *counter = w->LumagPreview->findChild<QLineEdit *>(u"txtPag"_s);
    QVERIFY(counter);
    QVERIFY(counter->width() - 6 >= counter->fontMetrics().horizontalAdvance(u"200/200"_s));

    // The logo of the user's node is drawn at the size it is shown at, not stretched.
    clickTreeNode(w, u"ROOT"_s);
    QUORIN_TRY_VERIFY(w->fraRoot->isVisible());
    QVERIFY(w->picLogo->width() > 50);
    QCOMPARE(w->picLogo->pixmap().deviceIndependentSize().toSize(), w->picLogo->size());

    // A folder dialog's title fits its title bar; every window carries the program's icon.
    frmPropFolder folder(w);
    folder.adjustSize();
    QFont bold2 = QApplication::font();
    bold2.setBold(true);
    QVERIFY(folder.width() > QFontMetrics(bold2).horizontalAdvance(folder.windowTitle()) + 60);
    QVERIFY(!QApplication::windowIcon().isNull());
    QWidget plain;
    QCOMPARE(plain.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
}

QTEST_MAIN(tst_MainWindowEvents)
#include "tst_mainwindow_events.moc"
