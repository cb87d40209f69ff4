// The programs as a desktop sees them: application entries, the autostart entry, the icons the toolbars
// and windows show, and what an install puts under the prefix.
#include "Autostart.h"
#include "ImgMenu.h"
#include "ProgramInfo.h"
#include "SystemUtils.h"
#include "TestHome.h"
#include "ThemeIcons.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString SourceDir = QStringLiteral(QUORIN_SOURCE_DIR);
const QStringList Entries = {u"quorin"_s, u"quorinlive"_s, u"sendora"_s};
const QStringList Programs = {u"Quorin"_s, u"QuorinLive"_s, u"Sendora"_s};

// The keys of a desktop entry's main group, as written (no locale variants).
QHash<QString, QString> readEntry(const QString &path)
{
    QHash<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    bool inEntry = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            inEntry = line == u"[Desktop Entry]"_s;
        else if (inEntry && line.contains(u'=') && !line.section(u'=', 0, 0).contains(u'['))
            keys.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1).trimmed());
    }
    return keys;
}

// desktop-file-validate's complaints (errors, warnings and hints); empty when the entry is clean.
QString validate(const QString &path)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(u"desktop-file-validate"_s, {path});
    if (!p.waitForFinished(TestWait::bound()))
        return u"desktop-file-validate did not finish"_s;
    const QString out = QString::fromUtf8(p.readAll()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return out.isEmpty() ? u"desktop-file-validate failed"_s : out;
    return out;
}

bool hasValidator()
{
    return !QStandardPaths::findExecutable(u"desktop-file-validate"_s).isEmpty();
}

// A picture somebody can see: some pixels painted and not all of one colour.
bool visible(const QIcon &icon, int size = 16)
{
    if (icon.isNull())
        return false;
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return false;
    int painted = 0;
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            if (qAlpha(px) > 32) {
                ++painted;
                colours.insert(px);
            }
        }
    return painted >= size && colours.size() >= 2;
}

} // namespace

class tst_DesktopEntries : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void applicationEntries();
    void autostartEntry();
    void toolbarAndProgramPictures();
    void installPutsEverythingUnderThePrefix();

private:
    TestHome m_home;
};

void tst_DesktopEntries::initTestCase()
{
    QVERIFY(m_home.setUp());
    // An installed copy of the suite in the user's icons, holding another picture under the fax client's
    // name: the project's names must still come from the built-in copies, and an unknown "quorin-…" must
    // not fall back by dashes to it.
    const QString hicolor = QDir::homePath() + u"/.icons/hicolor"_s;
    QVERIFY(QDir().mkpath(hicolor + u"/scalable/apps"_s));
    QVERIFY(QFile::copy(SourceDir + u"/resources/icons/hicolor/scalable/apps/sendora.svg"_s,
                        hicolor + u"/scalable/apps/quorin.svg"_s));
    QFile index(hicolor + u"/index.theme"_s);
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=Hicolor\nDirectories=scalable/apps\n\n"
                "[scalable/apps]\nSize=48\nMinSize=1\nMaxSize=512\nType=Scalable\n");
}

void tst_DesktopEntries::applicationEntries()
{
    if (!hasValidator())
        QSKIP("desktop-file-validate is not installed (scripts/setup installs desktop-file-utils)");
    for (int i = 0; i < Entries.size(); ++i) {
        const QString path = SourceDir + u"/resources/applications/"_s + Entries[i] + u".desktop"_s;
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        const QString complaints = validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
        const auto keys = readEntry(path);
        QCOMPARE(keys.value(u"Type"_s), u"Application"_s);
        // Started by name from the installed programs, with the installed icon of the same program.
        QCOMPARE(keys.value(u"Exec"_s).section(u' ', 0, 0), Programs[i]);
        QCOMPARE(keys.value(u"Icon"_s), ThemeIcons::programIconName(Programs[i]));
        QVERIFY(QFileInfo::exists(SourceDir + u"/resources/icons/hicolor/scalable/apps/"_s +
                                  keys.value(u"Icon"_s) + u".svg"_s));
        // Only the sender, started by the fax printer, stays out of the menus.
        QCOMPARE(keys.value(u"NoDisplay"_s) == u"true"_s, Programs[i] == u"Sendora"_s);
    }
}

void tst_DesktopEntries::autostartEntry()
{
    const QString name = u"QuorinLive"_s;
    Autostart::remove(name);
    EnableLiveAutostart();
    const QString path = Autostart::entryPath(name);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    const auto keys = readEntry(path);
    // The program next to the one that wrote it (the installed one, once installed), and its icon.
    QCOMPARE(keys.value(u"Exec"_s), QCoreApplication::applicationDirPath() + u"/QuorinLive"_s);
    QCOMPARE(keys.value(u"Icon"_s), u"quorinlive"_s);
    QVERIFY(QFileInfo::exists(SourceDir + u"/resources/icons/hicolor/scalable/apps/quorinlive.svg"_s));
    // A second enable keeps the entry the user has.
    QVERIFY(Autostart::write(name, u"/opt/elsewhere/QuorinLive"_s, u"quorinlive"_s));
    EnableLiveAutostart();
    QCOMPARE(Autostart::command(name), u"/opt/elsewhere/QuorinLive"_s);
    if (hasValidator()) {
        const QString complaints = validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
        // A folder with spaces and quotes still gives a valid entry that runs the same program.
        QVERIFY(Autostart::write(name, u"\"/opt/my \\\"quorin\\\"/QuorinLive\""_s, u"quorinlive"_s));
        const QString quoted = validate(path);
        QVERIFY2(quoted.isEmpty(), qPrintable(quoted));
    }
    // Without an icon the entry has no Icon key at all.
    QVERIFY(Autostart::write(name, u"/usr/bin/QuorinLive"_s));
    QVERIFY(!readEntry(path).contains(u"Icon"_s));
    DisableLiveAutostart();
    QVERIFY(!QFileInfo::exists(path));
}

void tst_DesktopEntries::toolbarAndProgramPictures()
{
    // Every toolbar command has a picture from the theme or of our own, and the toolbar shows it.
    ImgMenu menu;
    const QStringList keys = ImgMenu::commandKeys();
    QVERIFY(keys.size() >= 20);
    for (const QString &key : keys) {
        QVERIFY2(!ThemeIcons::nameForToolbarKey(key).isEmpty(), qPrintable(key));
        const QIcon icon = ThemeIcons::forToolbarKey(key);
        QVERIFY2(visible(icon), qPrintable(key + u": no picture for "_s + ThemeIcons::nameForToolbarKey(key)));
        QAction *action = menu.action(key);
        QVERIFY2(action, qPrintable(key));
        QCOMPARE(action->icon().pixmap(16, 16).toImage(), icon.pixmap(16, 16).toImage());
        QVERIFY(!action->toolTip().isEmpty());
    }
    // The project's own pictures render (the SVG icon engine is there) and are not all alike.
    const QImage black = ThemeIcons::named(u"quorin-black-rectangle"_s).pixmap(16, 16).toImage();
    const QImage white = ThemeIcons::named(u"quorin-white-rectangle"_s).pixmap(16, 16).toImage();
    QVERIFY(!black.isNull() && black != white);
    QVERIFY(ThemeIcons::named(u"quorin-no-such-picture"_s).isNull());
    QCOMPARE(ThemeIcons::named(u"quorin"_s).pixmap(32, 32).toImage(),
             QIcon(u":/quorin-icons/hicolor/scalable/apps/quorin.svg"_s).pixmap(32, 32).toImage());
    // So does every menu entry given a picture.
    const QStringList entries = ThemeIcons::menuEntriesWithPictures();
    QVERIFY(entries.contains(u"mnuSendFax"_s));
    for (const QString &entry : entries)
        QVERIFY2(visible(ThemeIcons::forMenuEntry(entry)),
                 qPrintable(entry + u": no picture for "_s + ThemeIcons::nameForMenuEntry(entry)));
    // The three programs have icons of their own; the windows show the running program's.
    QList<QImage> seen;
    for (const QString &program : Programs) {
        const QIcon icon = ThemeIcons::program(program);
        QVERIFY2(visible(icon, 32), qPrintable(program));
        const QImage image = icon.pixmap(32, 32).toImage();
        QVERIFY2(!seen.contains(image), qPrintable(program));
        seen << image;
    }
    QCoreApplication::setApplicationName(u"Sendora"_s);
    QCOMPARE(ProgramIcon().pixmap(32, 32).toImage(), ThemeIcons::program(u"Sendora"_s).pixmap(32, 32).toImage());
}

void tst_DesktopEntries::installPutsEverythingUnderThePrefix()
{
    for (const QString &program : Programs) {
        if (!QFileInfo(QStringLiteral(QUORIN_BINARY_DIR) + u"/bin/"_s + program).isExecutable())
            QSKIP("the programs are not all built");
    }
    const QString destdir = m_home.filePath(u"dest"_s);
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DESTDIR"_s, destdir);
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(u"cmake"_s, {u"--install"_s, QStringLiteral(QUORIN_BINARY_DIR)});
    QVERIFY(install.waitForFinished(TestWait::bound(120000)));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());

    const QString prefix = destdir + QStringLiteral(QUORIN_INSTALL_PREFIX);
    const QString bin = prefix + u'/' + QStringLiteral(QUORIN_INSTALL_BINDIR);
    const QString share = prefix + u'/' + QStringLiteral(QUORIN_INSTALL_DATADIR);
    for (int i = 0; i < Programs.size(); ++i) {
        QVERIFY2(QFileInfo(bin + u'/' + Programs[i]).isExecutable(), qPrintable(Programs[i]));
        const QString entry = share + u"/applications/"_s + Entries[i] + u".desktop"_s;
        QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
        const auto keys = readEntry(entry);
        QVERIFY(QFileInfo(bin + u'/' + keys.value(u"TryExec"_s)).isExecutable());
        const QString icon = share + u"/icons/hicolor/scalable/apps/"_s + keys.value(u"Icon"_s) + u".svg"_s;
        QVERIFY2(QFileInfo::exists(icon), qPrintable(icon));
        if (hasValidator()) {
            const QString complaints = validate(entry);
            QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
        }
    }
    // The toolbar's own pictures go along, for themes and other programs to find.
    QVERIFY(QFileInfo::exists(share + u"/icons/hicolor/scalable/actions/quorin-highlight.svg"_s));
    // Nothing of the tests or the fake server is installed.
    QVERIFY(!QFileInfo::exists(bin + u"/quorin-fakeserver"_s));
    QVERIFY(QDir(bin).entryList({u"tst_*"_s}, QDir::Files).isEmpty());
}

QTEST_MAIN(tst_DesktopEntries)
#include "tst_desktopentries.moc"
