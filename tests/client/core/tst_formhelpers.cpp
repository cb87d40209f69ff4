#include "ConfigIni.h"
#include "CoreTestSupport.h"
#include "FormHelpers.h"
#include "StringTable.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

class tst_FormHelpers : public QObject
{
    Q_OBJECT

    CoreTestHome m_home;

private Q_SLOTS:
    void initTestCase() { m_home.setUp(); }
    void init() { Prompt::setAnswering(true); }

    void strings_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("1058") << 1058 << u"Opzioni"_s;
        QTest::newRow("1121") << 1121 << u"Spedisci Fax..."_s;
        QTest::newRow("1036 trailing blank") << 1036 << u"&Informazioni su "_s;
        QTest::newRow("2006") << 2006 << u"Chiamata in corso, attesa risposta."_s;
        QTest::newRow("2068 trailing blank") << 2068 << u"Attenzione!! File QVDozeza.exe non trovato. "_s;
        QTest::newRow("2092 accent") << 2092 << u"Il Fax è stato inoltrato al server per l'invio."_s;
        QTest::newRow("2054") << 2054 << u"chiamata voce/command timeout"_s;
        QTest::newRow("absent 1999") << 1999 << QString();
        QTest::newRow("absent 2003") << 2003 << QString();
        QTest::newRow("absent 2094") << 2094 << QString();
        QTest::newRow("absent 1001") << 1001 << QString();
    }
    void strings()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(StringTable::contains(id), !text.isNull());
        QCOMPARE(LoadResString(id), text);
        QCOMPARE(StringTable::text(id, u"d"_s), text.isNull() ? u"d"_s : text);
        QVERIFY(Prompt::records().isEmpty());
    }

    void programStringsOverlay()
    {
        StringTable::addStrings({{9003, u"Connesso al server: "_s}});
        QCOMPARE(LoadResString(9003), u"Connesso al server: "_s);
        QCOMPARE(LoadResString(1058), u"Opzioni"_s);
    }

    void localizeForm()
    {
        QWidget form;
        form.setProperty("Tag", u"1058"_s);
        form.setWindowTitle(u"designed"_s);
        auto *layout = new QVBoxLayout(&form);
        auto add = [&](QWidget *w, const char *name, const QString &tag) {
            w->setObjectName(QLatin1StringView(name));
            if (!tag.isNull())
                w->setProperty("Tag", tag);
            layout->addWidget(w);
            return w;
        };
        auto *lblOpt = static_cast<QLabel *>(add(new QLabel(u"x"_s), "lblOpt", u"1058"_s));
        auto *lblEmpty = static_cast<QLabel *>(add(new QLabel(u"designed"_s), "lblEmpty", u""_s));
        auto *lblAbsent = static_cast<QLabel *>(add(new QLabel(u"designed"_s), "lblAbsent", u"1999"_s));
        auto *lblText = static_cast<QLabel *>(add(new QLabel(u"designed"_s), "lblText", u"abc"_s));
        auto *cmdOK = static_cast<QPushButton *>(add(new QPushButton(u"x"_s), "cmdOK", u"1065"_s));
        cmdOK->setToolTip(u"1064"_s);
        auto *fra = static_cast<QGroupBox *>(add(new QGroupBox(u"x"_s), "fraSample1", u"1058"_s));
        auto *lv = static_cast<QTreeWidget *>(add(new QTreeWidget, "lvFax", {}));
        lv->setHeaderLabels({u"a"_s, u"b"_s});
        lv->headerItem()->setData(1, Qt::UserRole, u"2029"_s);
        auto *tabs = static_cast<QTabWidget *>(add(new QTabWidget, "tabs", {}));
        tabs->addTab(new QWidget, u"t"_s);
        tabs->tabBar()->setTabData(0, u"1125"_s);
        tabs->setTabToolTip(0, u"1126"_s);
        auto *tb = static_cast<QToolBar *>(add(new QToolBar, "tbTools", {}));
        QAction *tool = tb->addAction(u"x"_s);
        tool->setToolTip(u"1121"_s);
        auto *bar = new QMenuBar(&form);
        QMenu *file = bar->addMenu(u"1000"_s);
        QAction *send = file->addAction(u"1121"_s);
        QAction *plain = file->addAction(u"Plain"_s);
        QAction *absent = file->addAction(u"2094"_s);

        LocalizeForm(&form);

        QCOMPARE(form.windowTitle(), u"Opzioni"_s);
        QCOMPARE(lblOpt->text(), u"Opzioni"_s);
        QCOMPARE(lblEmpty->text(), u"designed"_s);
        QCOMPARE(lblAbsent->text(), u"designed"_s);
        QCOMPARE(lblText->text(), u"designed"_s);
        QCOMPARE(cmdOK->text(), u"OK"_s);
        QCOMPARE(cmdOK->toolTip(), u"Annulla"_s);
        QCOMPARE(fra->title(), u"Opzioni"_s);
        QCOMPARE(lv->headerItem()->text(0), u"a"_s);
        QCOMPARE(lv->headerItem()->text(1), u"Elimina Selezione"_s);
        QCOMPARE(tabs->tabText(0), u"Rubrica"_s);
        QCOMPARE(tabs->tabToolTip(0), u"Acquisizione da scanner..."_s);
        QCOMPARE(tool->toolTip(), u"Spedisci Fax..."_s);
        QCOMPARE(file->title(), u"&File"_s);
        QCOMPARE(send->text(), u"Spedisci Fax..."_s);
        QCOMPARE(plain->text(), u"Plain"_s);
        QCOMPARE(absent->text(), u"2094"_s);
        QVERIFY(Prompt::records().isEmpty());
    }

    void loadFilesToSend()
    {
        const QString a = m_home.dir.filePath(u"a.tif"_s);
        const QString b = m_home.dir.filePath(u"gone.tif"_s);
        const QString c = m_home.dir.filePath(u"c d.pdf"_s);
        QVERIFY(putFile(a, "x"));
        QVERIFY(putFile(c, "x"));
        QListWidget list;
        list.addItem(u"old"_s);
        ConfigIni.File = a + u'+' + b + u"++" + c + u'+' + m_home.dir.path();
        LoadFilesToSend(&list);
        QCOMPARE(list.count(), 2);
        QCOMPARE(list.item(0)->text(), a);
        QCOMPARE(list.item(1)->text(), c);
        QCOMPARE(ConfigIni.File, a + u'+' + b + u"++" + c + u'+' + m_home.dir.path());
        ConfigIni.File.clear();
        LoadFilesToSend(&list);
        QCOMPARE(list.count(), 0);
    }

    void openFileDialog()
    {
        LocateIniFile();
        LoadConfig();
        Prompt::setNextFileName(u"/tmp/x.tif"_s);
        QCOMPARE(ShowOpenFileDialog(ConfigIni.FileFilter), u"/tmp/x.tif"_s);
        const Prompt::Record r = Prompt::lastRecord();
        QCOMPARE(r.kind, Prompt::Kind::OpenFile);
        QCOMPARE(r.title, u"Open Image File"_s);
        QCOMPARE(r.text,
                 u"ZuvUvu Files (*.fmf *.fmp);;Image Files (*.bmp *.tif *.dcx);;Text Files (*.txt)"_s);
        QCOMPARE(ShowOpenFileDialog(ConfigIni.FileFilter), QString()); // cancelled
    }

    void formHelpers()
    {
        QCOMPARE(AddBackslash(u"/opt/quorin"_s), u"/opt/quorin/"_s);
        QCOMPARE(AddBackslash(u"/opt/quorin/"_s), u"/opt/quorin/"_s);
        QWidget w;
        w.setObjectName(u"frmSendStatus"_s);
        QVERIFY(IsFormLoaded(u"frmSendStatus"_s));
        QVERIFY(!IsFormLoaded(u"frmsendstatus"_s));
        w.resize(200, 100);
        PlaceFormAtScreenEdge(&w);
        const QRect screen = w.screen()->geometry();
        QCOMPARE(w.frameGeometry().bottomRight(), screen.bottomRight());
        CenterForm(&w);
        QVERIFY(qAbs(w.frameGeometry().center().x() - screen.center().x()) <= 1);
    }
};

QTEST_MAIN(tst_FormHelpers)
#include "tst_formhelpers.moc"
