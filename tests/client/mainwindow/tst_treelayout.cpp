// The folder tree over its widget, and the pane geometry of the main window.
#include "FolderTree.h"
#include "MainLayout.h"
#include "NodeItem.h"

#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

class tst_TreeLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fixedNodes_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("start");
        QTest::newRow("plain user") << false << QStringList{u"ROOT"_s, u"P1"_s, u"P2"_s, u"P4"_s} << u"P1"_s;
        QTest::newRow("forward user")
            << true << QStringList{u"ROOT"_s, u"P1"_s, u"P2"_s, u"P3"_s, u"P4"_s} << u"P3"_s;
    }
    void fixedNodes()
    {
        QFETCH(bool, forward);
        QFETCH(QStringList, keys);
        QFETCH(QString, start);
        QTreeWidget widget;
        FolderTree tree(&widget);
        QTreeWidgetItem *first = tree.build(u"mario"_s, forward);
        QCOMPARE(FolderTree::key(first), start);
        QCOMPARE(tree.count(), keys.size());
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(tree.indexOf(tree.node(keys.at(i))), i + 1);
        QCOMPARE(tree.root()->text(0), u"mario"_s);
        QCOMPARE(widget.topLevelItemCount(), 1);
        QCOMPARE(tree.node(u"P4"_s)->text(0), u"Cestino"_s);
    }

    void folders()
    {
        QTreeWidget widget;
        FolderTree tree(&widget);
        tree.build(u"mario"_s, true);
        collNodeItem folders;
        folders.Add(12, 30, u"Sotto"_s, false); // child before its parent
        folders.Add(2, 12, u"Clienti"_s, false);
        folders.Add(4, 13, u"Vecchi"_s, true);
        folders.Add(77, 14, u"Orfana"_s, false); // parent nowhere
        const QStringList orphans = tree.addTreeFolders(folders);
        QCOMPARE(orphans, QStringList{u"F14"_s});
        QTreeWidgetItem *sub = tree.node(u"F30"_s);
        QVERIFY(sub);
        QCOMPARE(FolderTree::key(sub->parent()), u"F12"_s);
        QCOMPARE(FolderTree::key(tree.firstParent(sub)), u"P2"_s);
        QCOMPARE(tree.listKind(sub), 2);
        QVERIFY(FolderTree::isChild(tree.node(u"P2"_s), sub));
        QVERIFY(!FolderTree::isChild(tree.node(u"P1"_s), sub));
        QVERIFY(tree.isTrash(tree.node(u"F13"_s)));
        QVERIFY(tree.node(u"F13"_s)->data(0, FolderTree::SharedRole).toBool());
        QCOMPARE(tree.listKind(tree.node(u"P3"_s)), 0);
        QCOMPARE(tree.listKind(tree.root()), -1);
        QCOMPARE(FolderTree::nodeId(u"ROOT"_s), 0);
        QCOMPARE(FolderTree::nodeId(u"F30"_s), 30);

        // The same folder reported again keeps one node.
        collNodeItem again;
        again.Add(2, 12, u"Clienti 2"_s, false);
        QVERIFY(tree.addTreeFolders(again).isEmpty());
        QCOMPARE(tree.node(u"F12"_s)->text(0), u"Clienti 2"_s);

        const int before = tree.count();
        tree.removeFolderNode(tree.node(u"F12"_s));
        QCOMPARE(tree.count(), before - 2);
        QVERIFY(!tree.node(u"F30"_s));
        QCOMPARE(FolderTree::key(widget.currentItem()), u"P2"_s);
    }

    void proportions_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.1 ignored") << 0.1 << 0.3;
        QTest::newRow("0.9 ignored") << 0.9 << 0.3;
        QTest::newRow("0.15 used") << 0.15 << 0.15;
        QTest::newRow("0.85 used") << 0.85 << 0.85;
    }
    void proportions()
    {
        QFETCH(double, stored);
        QFETCH(double, expected);
        QCOMPARE(MainLayout::acceptProportion(stored, 0.3), expected);
    }

    void layoutFromProportions()
    {
        const auto p = MainLayout::layout(9000, 6000, 0.3, 0.6, 300);
        QCOMPARE(p.fraTv, QRect(0, 0, 2700, 3600));
        QCOMPARE(p.fraListFax, QRect(2760, 0, 6300, 3600));
        QCOMPARE(p.splitterY.top(), 3620);
        QCOMPARE(p.fraPreview.top(), 3650);
        QCOMPARE(p.fraPreview.height(), 2400 - 60 - 300);
        // Without the status bar the preview reaches further down.
        QCOMPARE(MainLayout::layout(9000, 6000, 0.3, 0.6, 0).fraPreview.height(), 2400 - 60);
        const auto in = MainLayout::inner(p);
        QCOMPARE(in.splitterX.left(), p.fraListFax.left() - 60);
        QCOMPARE(in.listFax, QRect(60, 180, 6300 - 180, 3600 - 240));
    }

    // A splitter moved by the user gives a proportion that lays the panes out at the same place again,
    // however often the window is laid out, resized back, or reopened.
    void splitterPositionsComeBackExactly_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("x");
        QTest::newRow("round") << 9000 << 3000;
        QTest::newRow("odd") << 7013 << 2345;
        QTest::newRow("pixel grid") << 12345 << 4815;
    }
    void splitterPositionsComeBackExactly()
    {
        QFETCH(int, width);
        QFETCH(int, x);
        auto p = MainLayout::layout(width, 6000, 0.3, 0.6, 0);
        p = MainLayout::moveSplitterX(p, width, x);
        double prop = double(p.fraTv.width()) / width;
        for (int round = 0; round < 20; ++round) {
            const auto again = MainLayout::layout(width, 6000, prop, 0.6, 0);
            QCOMPARE(again.fraTv.width(), x);
            prop = double(again.fraTv.width()) / width;
        }
        auto q = MainLayout::moveSplitterY(p, 6000, 2222, 0);
        const double propY = double(q.fraTv.height()) / 6000;
        QCOMPARE(MainLayout::layout(width, 6000, prop, propY, 0).fraTv.height(), 2222);
    }

    void splitterBounds()
    {
        QVERIFY(!MainLayout::splitterXAllowed(0.6 * 9000 - 99, 9000));
        QVERIFY(MainLayout::splitterXAllowed(0.6 * 9000 - 100, 9000));
        QVERIFY(MainLayout::splitterXAllowed(0.2 * 9000 + 100, 9000));
        QVERIFY(!MainLayout::splitterXAllowed(0.2 * 9000 + 99, 9000));
        QVERIFY(MainLayout::splitterYAllowed(0.7 * 6000 - 200, 6000));
        QVERIFY(!MainLayout::splitterYAllowed(0.7 * 6000 - 199, 6000));
    }
};

QTEST_MAIN(tst_TreeLayout)
#include "tst_treelayout.moc"
