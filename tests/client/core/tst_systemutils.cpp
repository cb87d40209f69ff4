#include "CoreTestSupport.h"
#include "ErrorReporting.h"
#include "SystemUtils.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

class tst_SystemUtils : public QObject
{
    Q_OBJECT

    CoreTestHome m_home;
    QString m_entry;

private Q_SLOTS:
    void initTestCase()
    {
        m_home.setUp();
        m_entry = m_home.dir.filePath(u"config/autostart/QuorinLive.desktop"_s);
        QVERIFY(putFile(m_home.dir.filePath(u"fax.tif"_s), "x"));
        QVERIFY(putFile(m_home.dir.filePath(u".hidden.tif"_s), "x"));
        QVERIFY(QDir().mkpath(m_home.dir.filePath(u"folder"_s)));
    }
    void init()
    {
        Prompt::setAnswering(true);
        Err().Clear();
    }

    void fileTests_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("dir");
        QTest::newRow("file") << u"fax.tif"_s << true << true;
        QTest::newRow("folder") << u"folder"_s << false << true;
        QTest::newRow("missing") << u"none.tif"_s << false << false;
        QTest::newRow("wildcard") << u"*.tif"_s << true << true;
        QTest::newRow("wildcard folder") << u"fold?r"_s << false << true;
        QTest::newRow("wildcard no match") << u"*.pdf"_s << false << false;
    }
    void fileTests()
    {
        QFETCH(QString, name);
        QFETCH(bool, file);
        QFETCH(bool, dir);
        const QString path = m_home.dir.filePath(name);
        QCOMPARE(FileExists(path), file);
        QCOMPARE(DirExists(path), dir);
        QVERIFY(!FileExists(QString()));
        QVERIFY(!DirExists(u"  "_s));
    }

    void paths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("withSeparator");
        QTest::newRow("path") << u"/tmp/a/x.tif"_s << u"x.tif"_s << u"/tmp/a"_s << u"/tmp/a/x.tif/"_s;
        QTest::newRow("url") << u"file://srv/fax/x.tif"_s << u"x.tif"_s << u"file://srv/fax"_s
                             << u"file://srv/fax/x.tif/"_s;
        QTest::newRow("folder") << u"/opt/quorin/  "_s << u"  "_s << u"/opt/quorin"_s << u"/opt/quorin/"_s;
        QTest::newRow("backslash end")
            << u"C:\\Quorin\\"_s << u"C:\\Quorin\\"_s << QString() << u"C:\\Quorin\\"_s;
        QTest::newRow("empty") << QString() << QString() << QString() << u"/"_s;
    }
    void paths()
    {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, folder);
        QFETCH(QString, withSeparator);
        QCOMPARE(GetFileName(path), fileName);
        QCOMPARE(AddPathSeparator(path), withSeparator);
        QCOMPARE(GetPath(path), folder);
        // A path without a separator is reported.
        QCOMPARE(Prompt::records().size(), path.contains(u'/') ? 0 : 1);
    }

    void tempDir()
    {
        const QString dir = GetTempDir();
        QVERIFY(dir.endsWith(u'/'));
        QVERIFY(dir.startsWith(m_home.dir.path()));
    }

    void liveAutostart()
    {
        QFile::remove(m_entry);
        DisableLiveAutostart(); // missing: nothing
        QVERIFY(!QFile::exists(m_entry));
        EnableLiveAutostart();
        QVERIFY(fileBytes(m_entry).contains(
            QByteArray("Exec=" + QFile::encodeName(QApplication::applicationDirPath()) + "/QuorinLive\n")));
        // An existing entry stays as it is.
        QVERIFY(putFile(m_entry, "[Desktop Entry]\nExec=/custom/QuorinLive\n"));
        EnableLiveAutostart();
        QCOMPARE(fileBytes(m_entry), QByteArray("[Desktop Entry]\nExec=/custom/QuorinLive\n"));
        // An entry without a command counts as missing.
        QVERIFY(putFile(m_entry, "[Desktop Entry]\nExec=\n"));
        EnableLiveAutostart();
        QVERIFY(fileBytes(m_entry).contains("/QuorinLive\n"));
        DisableLiveAutostart();
        QVERIFY(!QFile::exists(m_entry));
        QVERIFY(Prompt::records().isEmpty());
    }

    void liveAutostartWriteFailureIsSilent()
    {
        const QString autostart = m_home.dir.filePath(u"config/autostart"_s);
        QDir(autostart).removeRecursively();
        QVERIFY(putFile(autostart, "not a folder"));
        EnableLiveAutostart();
        DisableLiveAutostart();
        QVERIFY(Prompt::records().isEmpty());
        QFile::remove(autostart);
    }

    void registryCalls()
    {
        const QString key = u"SOFTWARE\\Quorin"_s;
        QCOMPARE(RegistryGetKeyValue(0x80000002u, key, u"X"_s).toString(), QString());
        RegistrySetKeyValue(0x80000002u, key, u"X"_s, u"valore"_s, 1);
        QCOMPARE(RegistryGetKeyValue(0x80000002u, key, u"X"_s).toString(), u"valore"_s);
        RegistrySetKeyValue(0x80000002u, key, u"N"_s, 7, 4);
        QCOMPARE(RegistryGetKeyValue(0x80000002u, key, u"N"_s).toUInt(), 7u);
        RegistryDeleteValue(0x80000002u, key, u"X"_s);
        QVERIFY(!RegistryGetKeyValue(0x80000002u, key, u"X"_s).isValid());
    }

    void processesAndPrograms()
    {
        const QString self = QCoreApplication::applicationFilePath().section(u'/', -1);
        QVERIFY(IsProcessRunning(self.toUpper()));
        QVERIFY(!IsProcessRunning(u"QUORINLIVE-NOT-HERE"_s));
        QVERIFY(!StartProgram(u"QVDozeza.exe"_s, {u"/tmp/UPDATE/UPDATE.RIS"_s}));
        QCOMPARE(Err().Number, 53);
        QVERIFY(!GetUserName().isEmpty());
    }

    void sortArrow_data()
    {
        QTest::addColumn<int>("arrowColumn");
        QTest::addColumn<int>("sortKey");
        QTest::newRow("same column") << 2 << 2;
        QTest::newRow("arrow on date, key on hidden order") << 5 << 8;
    }
    void sortArrow()
    {
        QFETCH(int, arrowColumn);
        QFETCH(int, sortKey);
        QTreeWidget list;
        list.setColumnCount(9);
        SetColumnHeaderImage(&list, 0, 1, 0x2000, 0x800);
        ShowSortArrow(&list, arrowColumn, 1, sortKey);
        for (int c = 0; c < 9; ++c)
            QCOMPARE(!list.headerItem()->icon(c).isNull(), c == arrowColumn);
        SetColumnHeaderImage(&list, 42, 0, 0x2000, 0x800); // out of range: nothing
    }

    void treeNavigation()
    {
        QTreeWidget tree;
        auto *root = new QTreeWidgetItem(&tree, {u"Quorin"_s});
        auto *p1 = new QTreeWidgetItem(root, {u"Personali"_s});
        auto *p4 = new QTreeWidgetItem(root, {u"Cestino"_s});
        auto *f5 = new QTreeWidgetItem(p1, {u"Clienti"_s});
        auto *f6 = new QTreeWidgetItem(f5, {u"2026"_s});
        QCOMPARE(TreeView_GetRoot(&tree), root);
        QCOMPARE(TreeView_GetParent(&tree, f6), f5);
        QCOMPARE(TreeView_GetParent(&tree, root), nullptr);
        QCOMPARE(TreeView_GetNextItem(&tree, p1, TVGN_NEXT), p4);
        QCOMPARE(TreeView_GetNextItem(&tree, p4, TVGN_NEXT), nullptr);
        QCOMPARE(TreeView_GetNextItem(&tree, p4, TVGN_PREVIOUS), p1);
        QCOMPARE(TreeView_GetNextItem(&tree, root, TVGN_CHILD), p1);
        QCOMPARE(TreeView_GetTopParent(&tree, f6), p1);
        QCOMPARE(TreeView_GetTopParent(&tree, p4), p4);
        QCOMPARE(TreeView_GetTopParent(&tree, root), root);
        QCOMPARE(GetTopParentNode(f6), p1);
        QCOMPARE(GetTopParentNode(p4), p4);
        QCOMPARE(GetTopParentNode(root), nullptr);
        tree.setCurrentItem(f5);
        QCOMPARE(TreeView_GetSelection(&tree), f5);
        QCOMPARE(TreeView_GetDropHilight(&tree), nullptr);
        TreeView_SetDropHilight(&tree, f6);
        QCOMPARE(TreeView_GetDropHilight(&tree), f6);
        delete f6; // a removed drop target is not reported
        QCOMPARE(TreeView_GetDropHilight(&tree), nullptr);
    }

    void trayRecord()
    {
        QWidget form;
        InitTrayIcon(QIcon(), &form);
        QCOMPARE(TrayIconData.window.data(), &form);
        QCOMPARE(TrayIconData.flags, 7);
        QCOMPARE(TrayIconData.callbackMessage, 512);
        QCOMPARE(TrayIconData.iconId, 1);
        QVERIFY(TrayIconData.tip.isEmpty());
    }
};

QTEST_MAIN(tst_SystemUtils)
#include "tst_systemutils.moc"
