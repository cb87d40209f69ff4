// The real Quorin program on an X display (xvfb-run), driven by xdotool as a person drives it, against
// the fake fax server inside this test: the information box opened and closed with the mouse and with
// Escape, folders opened from the keyboard, a fax selected and shown in the viewer (the page is measured
// on a screenshot), a wait for an image the server never sends ended with Escape, a folder renamed
// through its menu (a name holding the server's separator refused), a folder moved by dragging it with
// the mouse, a refused drag and a folder removal (the highlight stays on the folder shown), a fax put in
// the trash and restored, a list that comes late after another folder was opened (only the folder on
// show is listed and trashed, after a cut of the link: the trash goes after the new login), and the quit that saves the window's placement. What the server received is
// checked after each step.
#include "AppPaths.h"
#include "MainWindowRig.h"
#include "TestHome.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <optional>
#include <utility>

using namespace Qt::StringLiterals;
using F = FakeFaxServer;

namespace {

const int StepTimeout = TestWait::bound();

struct Band
{
    int top = 0, bottom = 0; // rows of the screen, inclusive
    int centre() const { return (top + bottom) / 2; }
};

// Runs a helper program; its output, or nullopt when it failed.
std::optional<QString> runTool(const QString &program, const QStringList &args,
                               int timeoutMs = TestWait::bound())
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << program << args.join(u' ') << "failed:" << p.readAllStandardError();
        p.kill();
        return std::nullopt;
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

bool isSelectionBlue(QRgb c)
{
    return qBlue(c) > 150 && qBlue(c) - qRed(c) > 70 && qGreen(c) > 90;
}

} // namespace

class tst_QuorinRoad : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void road();

private:
    bool xdo(const QStringList &args);
    QImage screenshot(const QString &window = u"root"_s);
    QString windowNamed(const QString &pattern);
    QRect geometry(const QString &window);
    std::optional<Band> selectedBand(const QRect &area);
    int framesOf(const QByteArray &keyword) const;
    QString lastText(const QByteArray &keyword) const;
    bool openNode(int id);
    QPoint blankOfTree();
    void keepShot(const QString &name);
    void key(const QString &keys);
    void aboutBox(bool byEscape);
    void dragFolder(QPoint from, QPoint to);
    void click(QPoint at, int button = 1, int repeat = 1);

    TestHome m_dir;
    std::unique_ptr<Server> m_server;
    QProcess m_quorin;
    QString m_window;
    QRect m_geometry;
    QRect m_treeArea;
    QStringList m_listKeywords = {u"INOLTRO"_s, u"PERSONALI"_s, u"SPEDITI"_s, u"CANCELLATI"_s};
    bool m_holdImages = false; // the server keeps the images asked for
    bool m_holdPersonal = false; // the server keeps the next Personali list until another list is asked
    QList<F::Frame> m_heldLists;
};

void tst_QuorinRoad::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QFAIL("no X display: run under xvfb-run -a");
    QVERIFY(runTool(u"xdotool"_s, {u"version"_s}));
    QVERIFY(m_dir.setUp());
    m_dir.useOwnSysconf();
    // The program's own home: settings, temporary files and its placement stay inside.
    qputenv("HOME", QFile::encodeName(m_dir.path()));
    qputenv("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
    m_server = std::make_unique<Server>();
    m_server->extra = [this](FakeFaxServer &s, const F::Frame &f) {
        if (m_holdImages && f.keyword == "FILE" && !f.answer)
            return true;
        if (f.answer || !m_listKeywords.contains(QString::fromLatin1(f.keyword)))
            return false;
        if (std::exchange(m_holdPersonal, false) && f.keyword == "PERSONALI" && f.text() == u"1"_s) {
            m_heldLists << f;
            return true;
        }
        // A held list is answered late, right before the list asked after it.
        for (const F::Frame &held : std::exchange(m_heldLists, {}))
            s.responder()(s, held);
        return false;
    };
    QVERIFY(writeServerIni(u"127.0.0.1"_s, m_server->fake.port()));
    // No mail client on the path: the mail hand-over stays off.
    QDir().mkpath(m_dir.filePath(u"bin"_s));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"PATH"_s, m_dir.filePath(u"bin"_s));
    env.remove(u"SESSION_MANAGER"_s);
    m_quorin.setProcessEnvironment(env);
    m_quorin.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString program = QStringLiteral(QUORIN_PROGRAM);
    QVERIFY2(QFileInfo::exists(program), qPrintable(program));
    m_quorin.start(program, {});
    QVERIFY(m_quorin.waitForStarted(TestWait::bound()));
}

void tst_QuorinRoad::cleanupTestCase()
{
    if (m_quorin.state() != QProcess::NotRunning) {
        m_quorin.terminate();
        if (!m_quorin.waitForFinished(5000))
            m_quorin.kill();
        m_quorin.waitForFinished(2000);
    }
}

bool tst_QuorinRoad::xdo(const QStringList &args)
{
    return runTool(u"xdotool"_s, args).has_value();
}

void tst_QuorinRoad::key(const QString &keys)
{
    QVERIFY(xdo(QStringList{u"key"_s, u"--delay"_s, u"80"_s} + keys.split(u' ')));
    QTest::qWait(150);
}

void tst_QuorinRoad::click(QPoint at, int button, int repeat)
{
    QVERIFY(xdo({u"mousemove"_s, QString::number(at.x()), QString::number(at.y())}));
    QTest::qWait(80);
    QVERIFY(xdo({u"click"_s, u"--repeat"_s, QString::number(repeat), u"--delay"_s, u"80"_s,
                 QString::number(button)}));
    QTest::qWait(200);
}

QImage tst_QuorinRoad::screenshot(const QString &window)
{
    const QString file = m_dir.filePath(u"shot.png"_s);
    QFile::remove(file);
    if (!runTool(u"import"_s, {u"-window"_s, window, file}))
        return {};
    QImage image(file);
    return image.convertToFormat(QImage::Format_RGB32);
}

QString tst_QuorinRoad::windowNamed(const QString &pattern)
{
    const auto out = runTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, pattern});
    if (!out)
        return {};
    const QStringList ids = out->split(u'\n', Qt::SkipEmptyParts);
    return ids.isEmpty() ? QString() : ids.last();
}

QRect tst_QuorinRoad::geometry(const QString &window)
{
    const auto out = runTool(u"xdotool"_s, {u"getwindowgeometry"_s, u"--shell"_s, window});
    if (!out)
        return {};
    QHash<QString, int> v;
    for (const QString &line : out->split(u'\n', Qt::SkipEmptyParts))
        v.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    return QRect(v.value(u"X"_s), v.value(u"Y"_s), v.value(u"WIDTH"_s), v.value(u"HEIGHT"_s));
}

std::optional<Band> tst_QuorinRoad::selectedBand(const QRect &area)
{
    const QImage shot = screenshot();
    if (shot.isNull())
        return std::nullopt;
    const QRect r = area.intersected(shot.rect());
    std::optional<Band> band;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        int blue = 0;
        for (int x = r.left(); x <= r.right(); ++x)
            blue += isSelectionBlue(shot.pixel(x, y)) ? 1 : 0;
        if (blue * 3 < r.width())
            continue;
        if (!band)
            band = Band{y, y};
        else if (y == band->bottom + 1)
            band->bottom = y;
        else
            break;
    }
    return band;
}

int tst_QuorinRoad::framesOf(const QByteArray &keyword) const
{
    return int(m_server->fake.receivedFrames(keyword).size());
}

QString tst_QuorinRoad::lastText(const QByteArray &keyword) const
{
    const auto frames = m_server->fake.receivedFrames(keyword);
    return frames.isEmpty() ? QString() : frames.constLast().text();
}

// A point of the tree's empty part below its last node: the lowest run of white on the screen in the
// tree's column, scanning up from the tree's bottom (the upper panes take 0.6 of the window).
QPoint tst_QuorinRoad::blankOfTree()
{
    const QImage shot = screenshot();
    if (shot.isNull())
        return {};
    const int x = m_treeArea.left() + 30;
    int run = 0;
    for (int y = std::min(shot.height() - 1, m_geometry.top() + int(m_geometry.height() * 0.6));
         y > m_treeArea.top(); --y) {
        run = qGray(shot.pixel(x, y)) > 250 ? run + 1 : 0;
        if (run == 14) {
            return QPoint(x, y + 7);
        }
    }
    return {};
}

// With QUORIN_ROAD_SHOTS set, a screenshot of the whole screen goes into that folder.
void tst_QuorinRoad::keepShot(const QString &name)
{
    const QString folder = qEnvironmentVariable("QUORIN_ROAD_SHOTS");
    if (!folder.isEmpty())
        screenshot().save(folder + u'/' + name + u".png"_s);
}

// Walks the tree with the Down key (each node reached opens its list) until the folder id is open. A list
// that comes takes the focus, as the program does: each step first clicks the selected node, in the same
// input burst as the keys, so the keys reach the tree before any answer (this test serves them).
bool tst_QuorinRoad::openNode(int id)
{
    const auto listFrames = [this] {
        QList<F::Frame> out;
        for (const auto &f : m_server->fake.receivedFrames()) {
            if (m_listKeywords.contains(QString::fromLatin1(f.keyword)) && !f.answer)
                out << f;
        }
        return out;
    };
    bool fromTop = true;
    for (int step = 0; step < 30; ++step) {
        const int before = int(listFrames().size());
        // Without a window manager nobody gives the window the keyboard back after a box closed; a
        // click on the tree's empty part below the nodes gives the tree the keys (a click on a node
        // would ask its list and lock the tree until the answer).
        const QPoint blank = blankOfTree();
        if (blank.isNull())
            return false;
        QStringList args = {u"windowfocus"_s, m_window, u"mousemove"_s, QString::number(blank.x()),
                            QString::number(blank.y()), u"click"_s, u"1"_s, u"key"_s, u"--delay"_s, u"80"_s};
        if (std::exchange(fromTop, false))
            args << u"Home"_s << u"asterisk"_s; // opens (or closes) every branch
        args << u"Down"_s;
        if (!xdo(args))
            return false;
        if (!QTest::qWaitFor([&] { return listFrames().size() > before; }, StepTimeout)) {
            keepShot(u"stuck"_s);
            return false;
        }
        QTest::qWait(600); // the lists and the first image come in
        const int reached = listFrames().constLast().text().toInt();
        if (reached == id)
            return true;
        if (reached == 4 && id != 4) // the trash is the last node: the branches were closed, go round again
            fromTop = true;
    }
    keepShot(u"lost"_s);
    return false;
}

// "?" then "Informazioni su" with the mouse; the box is closed with its "Chiudi" button or with Escape.
void tst_QuorinRoad::aboutBox(bool byEscape)
{
    // "?" is the last title of the menu bar: the rightmost dark pixels of the bar's row.
    const QImage shot = screenshot();
    QVERIFY(!shot.isNull());
    int rightmost = -1;
    for (int y = m_geometry.top() + 4; y < m_geometry.top() + 18; ++y) {
        for (int x = m_geometry.left() + 2; x < std::min(shot.width(), m_geometry.right() - 4); ++x) {
            if (qGray(shot.pixel(x, y)) < 110)
                rightmost = std::max(rightmost, x);
        }
    }
    QVERIFY(rightmost > m_geometry.left());
    // The menu opens below the title: one more window on the screen.
    const auto windows = [] {
        const auto out = runTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u""_s});
        return out ? out->split(u'\n', Qt::SkipEmptyParts).size() : 0;
    };
    const qsizetype before = windows();
    click(QPoint(rightmost - 2, m_geometry.top() + 11));
    QVERIFY(QTest::qWaitFor([&] { return windows() > before; }, StepTimeout));
    keepShot(byEscape ? u"help-menu"_s : u"help-menu-mouse"_s);
    // Its one item, just below the bar.
    click(QPoint(rightmost + 20, m_geometry.top() + 24 + 14));
    // Its title is the program's, as the main window's (the search ignores case): the other one.
    const auto aboutWindow = [this] {
        const auto out = runTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^QUORIN$"_s});
        const QStringList ids = out ? out->split(u'\n', Qt::SkipEmptyParts) : QStringList();
        for (const QString &id : ids) {
            if (id.toULongLong() != m_window.toULongLong())
                return id;
        }
        return QString();
    };
    QString about;
    QVERIFY(QTest::qWaitFor([&] { return !(about = aboutWindow()).isEmpty(); }, StepTimeout));
    QTest::qWait(400);
    keepShot(byEscape ? u"about-escape"_s : u"about"_s);
    const QRect box = geometry(about);
    // Centred on the screen at its laid-out size.
    const QImage screen = screenshot();
    QVERIFY(std::abs(box.center().x() - screen.width() / 2) <= 8);
    QVERIFY(std::abs(box.center().y() - screen.height() / 2) <= 8);
    if (byEscape) {
        QVERIFY(xdo({u"windowfocus"_s, about, u"key"_s, u"Escape"_s}));
    } else {
        // "Chiudi" sits in the bottom right corner.
        click(QPoint(box.right() - 40, box.bottom() - 20));
    }
    QVERIFY(QTest::qWaitFor([&] { return aboutWindow().isEmpty(); }, StepTimeout));
    QTest::qWait(300);
    QCOMPARE(m_quorin.state(), QProcess::Running);
    QVERIFY(!windowNamed(u"^Quorin$"_s).isEmpty());
}

void tst_QuorinRoad::dragFolder(QPoint from, QPoint to)
{
    QVERIFY(xdo({u"mousemove"_s, QString::number(from.x()), QString::number(from.y())}));
    QTest::qWait(100);
    QVERIFY(xdo({u"mousedown"_s, u"1"_s}));
    for (int i = 1; i <= 10; ++i) {
        const QPoint p = from + (to - from) * i / 10 + QPoint(i < 10 ? 6 : 0, 0);
        QVERIFY(xdo({u"mousemove"_s, QString::number(p.x()), QString::number(p.y())}));
        QTest::qWait(60);
    }
    QTest::qWait(200);
    QVERIFY(xdo({u"mouseup"_s, u"1"_s}));
}

void tst_QuorinRoad::road()
{
    // Log-in and the first list.
    QVERIFY(QTest::qWaitFor([this] { return framesOf("CHILDRENTREE") > 0; }, StepTimeout));
    QVERIFY(QTest::qWaitFor([this] { return !(m_window = windowNamed(u"^Quorin$"_s)).isEmpty(); }, StepTimeout));
    QVERIFY(QTest::qWaitFor([this] { return framesOf("FILE") > 0; }, StepTimeout));
    QTest::qWait(500);
    m_geometry = geometry(m_window);
    QVERIFY(m_geometry.width() > 300 && m_geometry.height() > 300);
    m_treeArea = QRect(m_geometry.left() + 4, m_geometry.top() + 30, int(m_geometry.width() * 0.25),
                       int(m_geometry.height() * 0.55));
    const QRect treeArea = m_treeArea;
    const QRect listArea(m_geometry.left() + int(m_geometry.width() * 0.35), m_geometry.top() + 30,
                         int(m_geometry.width() * 0.6), int(m_geometry.height() * 0.55));

    // The information box, closed with its button and with Escape: the program goes on.
    QTest::qWait(1500); // the splash window has gone by itself
    aboutBox(false);
    aboutBox(true);

    // The personal list (1) from the keys, and its first fax.
    std::optional<Band> band;
    QVERIFY(openNode(1));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(listArea)).has_value(); }, StepTimeout));
    const QString asked = lastText("FILE");
    QVERIFY(!asked.isEmpty());

    // The viewer: a double-click on the selected row; the page fills the window.
    click(QPoint(listArea.left() + 40, band->centre()), 1, 2);
    QString viewer;
    QVERIFY(QTest::qWaitFor([&] { return !(viewer = windowNamed(u"QVPREVIEW"_s)).isEmpty(); }, StepTimeout));
    QTest::qWait(800);
    const QImage page = screenshot(viewer);
    QVERIFY(!page.isNull());
    // The fax page is the white area; measure its extent across the middle of the window.
    int whiteRows = 0, whiteCols = 0;
    for (int y = 0; y < page.height() - 60; ++y)
        whiteRows += qGray(page.pixel(page.width() / 2, y)) > 245 ? 1 : 0;
    for (int x = 0; x < page.width(); ++x)
        whiteCols += qGray(page.pixel(x, page.height() / 3)) > 245 ? 1 : 0;
    if (const QString folder = qEnvironmentVariable("QUORIN_ROAD_SHOTS"); !folder.isEmpty())
        page.save(folder + u"/viewer.png"_s);
    QVERIFY2(whiteRows > page.height() * 0.75 || whiteCols > page.width() * 0.75,
             qPrintable(u"page %1x%2 px in a %3x%4 window"_s.arg(whiteCols).arg(whiteRows).arg(page.width())
                            .arg(page.height())));
    key(u"Escape"_s);
    QVERIFY(QTest::qWaitFor([&] { return windowNamed(u"QVPREVIEW"_s).isEmpty(); }, StepTimeout));

    // A double click on the other fax while the server never sends its image: tree and list wait,
    // Escape ends the wait, and a click on the first fax is served.
    QVERIFY(xdo({u"windowfocus"_s, m_window}));
    const QPoint otherRow(listArea.left() + 40, band->centre() + (band->bottom - band->top + 1));
    const int filesBefore = framesOf("FILE");
    m_holdImages = true;
    click(otherRow, 1, 2);
    QVERIFY(QTest::qWaitFor([&] { return framesOf("FILE") > filesBefore; }, StepTimeout));
    const QString heldKey = lastText("FILE");
    // Locked: the list greys its selection.
    QVERIFY(QTest::qWaitFor([&] { return !selectedBand(listArea).has_value(); }, StepTimeout));
    const int whileLocked = framesOf("FILE");
    click(QPoint(listArea.left() + 40, band->centre())); // locked: nothing is asked
    QTest::qWait(400);
    QCOMPARE(framesOf("FILE"), whileLocked);
    keepShot(u"waiting"_s);
    QVERIFY(xdo({u"windowfocus"_s, m_window}));
    key(u"Escape"_s);
    m_holdImages = false;
    // Unlocked: the selection is shown again before the next click.
    QVERIFY(QTest::qWaitFor([&] { return selectedBand(listArea).has_value(); }, StepTimeout));
    click(QPoint(listArea.left() + 40, band->centre()));
    QVERIFY(QTest::qWaitFor([&] { return framesOf("FILE") > whileLocked; }, StepTimeout));
    QVERIFY(lastText("FILE") != heldKey);
    QTest::qWait(800);
    QVERIFY(windowNamed(u"QVPREVIEW"_s).isEmpty()); // the double click's viewer never opens
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(listArea)).has_value(); }, StepTimeout));

    // Trash the selected fax with the Delete key and confirm.
    const int trashFrames = framesOf("CESTINA");
    click(QPoint(listArea.left() + 40, band->centre()));
    key(u"Delete"_s);
    QTest::qWait(500);
    key(u"Return"_s);
    QVERIFY(QTest::qWaitFor([&] { return framesOf("CESTINA") > trashFrames; }, StepTimeout));
    QVERIFY(lastText("CESTINA").startsWith(u"PERSONALI<#>("_s));

    // Restore it from the trash: its row's menu from the Menu key, second item.
    QVERIFY(openNode(4));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(listArea)).has_value(); }, StepTimeout));
    click(QPoint(listArea.left() + 40, band->centre()));
    key(u"Menu"_s);
    QTest::qWait(300);
    keepShot(u"row-menu-key"_s);
    key(u"Down Down Return"_s);
    QTest::qWait(500);
    key(u"Return"_s); // "Sicuro di voler ripristinare i fax selezionati?": Sì
    QVERIFY(QTest::qWaitFor([&] { return framesOf("RIPRISTINA") > 0; }, StepTimeout));
    QVERIFY(lastText("RIPRISTINA").startsWith(u"4<#>"_s));

    // Personali's list comes late: the user ends the wait with Escape and opens its folder "Clienti" (5)
    // with the keys, and the late list comes just before Clienti's. Only Clienti's fax is listed, and
    // Ctrl+A, Delete trashes that one alone.
    m_holdPersonal = true;
    QVERIFY(openNode(1));
    QCOMPARE(m_heldLists.size(), 1);
    keepShot(u"late-list-waiting"_s);
    QVERIFY(xdo({u"windowfocus"_s, m_window}));
    key(u"Escape"_s);
    const QPoint treeBlank = blankOfTree();
    QVERIFY(!treeBlank.isNull());
    click(treeBlank);
    key(u"KP_Add Down"_s); // Personali opened, then its first folder
    QVERIFY(QTest::qWaitFor([&] { return lastText("PERSONALI") == u"5"_s; }, StepTimeout));
    QVERIFY(m_heldLists.isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return selectedBand(listArea).has_value(); }, StepTimeout));
    QTest::qWait(500);
    keepShot(u"late-list-clienti"_s);
    // The link is cut with the server up before the trash: it goes once, after the new login.
    const int logins = framesOf("USER");
    m_server->fake.dropClient();
    QVERIFY(QTest::qWaitFor([this] { return !m_server->fake.clientConnected(); }, StepTimeout));
    const int trashedBefore = framesOf("CESTINA");
    key(u"ctrl+a Delete"_s);
    QTest::qWait(500);
    key(u"Return"_s);
    QVERIFY(QTest::qWaitFor([&] { return framesOf("CESTINA") > trashedBefore; }, StepTimeout));
    QCOMPARE(lastText("CESTINA"), u"PERSONALI<#>(103)"_s);
    QCOMPARE(framesOf("USER"), logins + 1);
    QCOMPARE(m_server->fake.connectionCount(), 2);
    const auto all = m_server->fake.receivedFrames();
    qsizetype login = -1, trashed = -1;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (all.at(i).keyword == "USER")
            login = i;
        if (all.at(i).keyword == "CESTINA")
            trashed = i;
    }
    QVERIFY(login >= 0 && login < trashed);
    QTest::qWait(400);
    keepShot(u"trashed-after-relogin"_s);
    QCOMPARE(framesOf("CESTINA"), trashedBefore + 1);

    // Rename "Clienti" (5) through its menu: a name with the separator is refused, a plain one goes.
    QVERIFY(openNode(5));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(treeArea)).has_value(); }, StepTimeout));
    const QPoint clienti(treeArea.left() + 40, band->centre());
    click(clienti, 3);
    key(u"Down Down Return"_s);
    QTest::qWait(400);
    key(u"ctrl+a"_s);
    QVERIFY(xdo({u"type"_s, u"--delay"_s, u"40"_s, u"A<#>9"_s}));
    key(u"Return"_s);
    QTest::qWait(500);
    key(u"Return"_s); // the refusal's box
    QTest::qWait(300);
    QCOMPARE(framesOf("RENAMEFOLDER"), 0);
    // Again from the keyboard: the tree takes the keys, Shift+F10 opens the menu of the folder on show.
    click(blankOfTree());
    key(u"shift+F10"_s);
    QTest::qWait(300);
    keepShot(u"folder-menu-key"_s);
    key(u"Down Down Return"_s);
    QTest::qWait(400);
    key(u"ctrl+a"_s);
    QVERIFY(xdo({u"type"_s, u"--delay"_s, u"40"_s, u"Clienti Nord"_s}));
    key(u"Return"_s);
    QVERIFY(QTest::qWaitFor([&] { return framesOf("RENAMEFOLDER") > 0; }, StepTimeout));
    QCOMPARE(lastText("RENAMEFOLDER"), u"Clienti Nord<#>5"_s);

    // Drag "Rossi S.p.A." (6) onto "Fornitori" (7) with the mouse.
    QVERIFY(openNode(6));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(treeArea)).has_value(); }, StepTimeout));
    const QPoint rossi(treeArea.left() + 50, band->centre());
    QVERIFY(openNode(7));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(treeArea)).has_value(); }, StepTimeout));
    const QPoint fornitori(treeArea.left() + 40, band->centre());
    dragFolder(rossi, fornitori);
    QVERIFY(QTest::qWaitFor([&] { return framesOf("SPOSTAFOLDER") > 0; }, StepTimeout));
    QCOMPARE(lastText("SPOSTAFOLDER"), u"7<#>6<#>False<#>False"_s);

    // With "Clienti Nord" (5) on show, "Fornitori" (7) dragged onto its own "Rossi S.p.A." (6) is refused:
    // the highlight goes back to the folder on show.
    QVERIFY(openNode(6));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(treeArea)).has_value(); }, StepTimeout));
    const QPoint rossiNow(treeArea.left() + 60, band->centre());
    QVERIFY(openNode(7));
    QVERIFY(QTest::qWaitFor([&] { return (band = selectedBand(treeArea)).has_value(); }, StepTimeout));
    const QPoint fornitoriNow(treeArea.left() + 80, band->centre()); // its name, clear of its branch arrow
    QVERIFY(openNode(5));
    std::optional<Band> shown;
    QVERIFY(QTest::qWaitFor([&] { return (shown = selectedBand(treeArea)).has_value(); }, StepTimeout));
    dragFolder(fornitoriNow, rossiNow);
    QTest::qWait(600);
    keepShot(u"refused-drop"_s);
    QCOMPARE(framesOf("SPOSTAFOLDER"), 1);
    band = selectedBand(treeArea);
    QVERIFY(band.has_value());
    QVERIFY2(std::abs(band->centre() - shown->centre()) <= 2,
             qPrintable(u"highlight at %1, folder on show at %2"_s.arg(band->centre()).arg(shown->centre())));

    // "Rossi S.p.A." (6), not on show, removed through its menu: the highlight stays where it was.
    click(rossiNow, 3);
    key(u"Down Down Down Return"_s); // "Elimina"
    QTest::qWait(500);
    key(u"Return"_s); // "Eliminare le cartella, ...?": Sì
    QVERIFY(QTest::qWaitFor([&] { return framesOf("CESTINAFOLDER") > 0; }, StepTimeout));
    QCOMPARE(lastText("CESTINAFOLDER"), u"6"_s);
    QTest::qWait(500);
    keepShot(u"folder-removed"_s);
    band = selectedBand(treeArea);
    QVERIFY(band.has_value());
    QVERIFY2(std::abs(band->centre() - shown->centre()) <= 2,
             qPrintable(u"highlight at %1, folder on show at %2"_s.arg(band->centre()).arg(shown->centre())));

    // The program is still there; "File", "Esci" ends it, and its placement is saved.
    QCOMPARE(m_quorin.state(), QProcess::Running);
    keepShot(u"end"_s);
    const auto windows = [] {
        const auto out = runTool(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u""_s});
        return out ? out->split(u'\n', Qt::SkipEmptyParts).size() : 0;
    };
    const qsizetype before = windows();
    click(QPoint(m_geometry.left() + 17, m_geometry.top() + 11)); // "File"
    QVERIFY(QTest::qWaitFor([&] { return windows() > before; }, StepTimeout));
    key(u"Up Return"_s); // its last item, "Esci"
    QVERIFY(QTest::qWaitFor([this] { return m_quorin.state() == QProcess::NotRunning; }, StepTimeout));
    QCOMPARE(m_quorin.exitStatus(), QProcess::NormalExit);
    QString placement;
    QDirIterator it(m_dir.path(), {u"*.conf"_s, u"*.ini"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains("MainLeft"))
            placement = file.fileName();
    }
    QVERIFY2(!placement.isEmpty(), "no placement saved");
}

QTEST_MAIN(tst_QuorinRoad)
#include "tst_quorin_road.moc"
