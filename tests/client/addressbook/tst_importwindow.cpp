#include "../compose/ComposeRig.h"
#include "frmImportaRubrica.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>

using F = FakeFaxServer;

namespace {

const QByteArray Export = "Nome;Cognome;Nome visualizzato;Indirizzo posta elettronica\r\n"
                          "Mario;Rossi;Mario Rossi;mario@rossi.it\r\n"
                          "\r\n"
                          "\"Anna\";\"Bianchi; Verdi\";x;anna@b.it\r\n";

} // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT
    TestHome m_home;
    QString m_file;

private Q_SLOTS:
    void initTestCase()
    {
        useTemporaryHome(m_home);
        m_file = writeFile(m_home, u"rubrica.csv"_s, Export);
    }
    void init() { resetConfig(m_home); }

    void validation()
    {
        frmImportaRubrica noSource(nullptr);
        click(&noSource, u"cmdImporta"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Inserire il tipo di applicazione di posta elettronica"_s);
        QCOMPARE(noSource.result(), int(QDialog::Rejected));

        frmImportaRubrica noPath(nullptr);
        noPath.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1);
        click(&noPath, u"cmdImporta"_s);
        QCOMPARE(Prompt::lastRecord().text, u"Inserire il percorso del file di rubrica da importare"_s);

        frmImportaRubrica badFile(nullptr);
        badFile.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1);
        setText(&badFile, u"txtPercorso"_s, writeFile(m_home, u"senza.csv"_s, "Nome Cognome\nMario Rossi\n"));
        click(&badFile, u"cmdImporta"_s);
        QVERIFY(Prompt::lastRecord().text.startsWith(u"Separatore"_s));
        QVERIFY(badFile.findChild<QGroupBox *>(u"frmContatti"_s)->isHidden());
    }

    // Rows read from the file, sent one by one; refusals are told per row and the rest still go.
    void sendRows_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("rights"); // delete, read, modify, add
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<int>("frames");
        QTest::newRow("personal contacts")
            << false << u"F<#>T<#>F<#>F"_s
            << QStringList{u"Operazione conclusa correttamente"_s, u"Operazione conclusa correttamente"_s}
            << 2;
        QTest::newRow("shared without the right")
            << true << u"F<#>T<#>F<#>F"_s
            << QStringList{u"Impossibile caricare il contatto!\r\nNon si dispone dei diritti per caricare contatti condivisi."_s,
                           u"Problema diritti .Errore sul contatto Mario Rossi n: 1"_s,
                           u"Impossibile caricare il contatto!\r\nNon si dispone dei diritti per caricare contatti condivisi."_s,
                           u"Problema diritti .Errore sul contatto Anna Bianchi; Verdi n: 2"_s}
            << 0;
    }
    void sendRows()
    {
        QFETCH(bool, shared);
        QFETCH(QString, rights);
        LinkRig rig(false);
        QVERIFY(rig.login(u"mario<#>T<#>T<#>T<#>T<#><#>"_s + rights));
        rig.server.clearReceived(); // the login frame is the marker used below
        frmImportaRubrica window(rig.sock.get());
        window.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1); // Outlook Express
        Prompt::setNextFileName(m_file);
        click(&window, u"cmdAskPercorso"_s);
        window.findChild<QCheckBox *>(u"chkCondiviso"_s)->setChecked(shared);
        click(&window, u"cmdImporta"_s);
        auto *list = window.findChild<QTreeWidget *>(u"list_Contatti"_s);
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(1), u"Bianchi; Verdi"_s);
        QCOMPARE(list->topLevelItem(1)->text(10), u"anna@b.it"_s);
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);
        QVERIFY(!window.findChild<QGroupBox *>(u"frmContatti"_s)->isHidden());
        Prompt::clearRecords();
        click(&window, u"cmdOk"_s);
        QTEST(promptTexts(), "told");
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(F::answer(u"USER", u"mario")));
        QTEST(int(rig.server.receivedFrames("NEW_CONTATTO").size()), "frames");
        if (!shared)
            QVERIFY(rig.server.hasReceived(F::query(
                u"NEW_CONTATTO", u"Mario<#>Rossi<#> <#> <#> <#> <#> <#> <#> <#> <#>mario@rossi.it<#>F")));
    }

    // Letters the server cannot take: the row is named and unticked; ticked anyway (space bar), it is
    // refused on its own, and the other rows still go.
    void rowsWithUnsendableLetters()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        const QString file = writeFile(m_home, u"polacco.csv"_s,
                                       u"Nome;Cognome\r\nJan;金子\r\nMario;Rossi\r\n<b>Taro</b> & <br>;山田\r\n"
                                       u"Jan;Łukasiewicz\r\nLuca;Ne<#>ri\r\nJose\u0301;Verdi\r\n"_s.toUtf8());
        frmImportaRubrica window(rig.sock.get());
        window.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1);
        setText(&window, u"txtPercorso"_s, file);
        Prompt::clearRecords();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, TestWait::bound()));
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdImporta"_s), Qt::LeftButton);
        QCOMPARE(promptTexts().size(), 2);
        const QString warning = promptTexts()[0];
        QVERIFY2(warning.contains(u"Riga 2 (Jan 金子)"_s) && warning.contains(u"金子"_s), qPrintable(warning));
        QVERIFY2(warning.contains(u"Riga 4 (<b>Taro</b> & <br> 山田)"_s), qPrintable(warning));
        // a separator of the link is named in its row, not left to a generic failure
        QVERIFY2(warning.contains(u"Riga 6 (Luca Ne<#>ri): Il campo Cognome contiene \"<#>\""_s),
                 qPrintable(warning));
        QVERIFY(!warning.contains(u"Rossi"_s));
        QVERIFY(!warning.contains(u"Verdi"_s)); // "e" and a combining accent is "é", which can be sent
        // Near letters are listed per row, the row stays ticked.
        const QString near = promptTexts()[1];
        QVERIFY2(near.contains(u"Riga 5 (Jan Łukasiewicz):"_s) && near.contains(u"Lukasiewicz"_s),
                 qPrintable(near));
        QVERIFY(!near.contains(u"Verdi"_s));
        auto *list = window.findChild<QTreeWidget *>(u"list_Contatti"_s);
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Checked);
        QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Unchecked);
        QCOMPARE(list->topLevelItem(3)->checkState(0), Qt::Checked);
        QCOMPARE(list->topLevelItem(4)->checkState(0), Qt::Unchecked);
        QCOMPARE(list->topLevelItem(5)->checkState(0), Qt::Checked);
        QCOMPARE(list->topLevelItem(5)->text(0), u"Jos\u00e9"_s);
        // Each row says why in its tooltip, its names as the file has them.
        QTextDocument tip;
        tip.setHtml(list->topLevelItem(2)->toolTip(1));
        QVERIFY(Qt::mightBeRichText(list->topLevelItem(2)->toolTip(1)));
        QVERIFY2(tip.toPlainText().startsWith(u"Riga 4 (<b>Taro</b> & <br> 山田): "_s),
                 qPrintable(tip.toPlainText()));
        QVERIFY(warning.contains(tip.toPlainText()));
        for (int row : {3, 5})
            list->topLevelItem(row)->setCheckState(0, Qt::Unchecked);

        // Keyboard: down to the first row, space ticks it, space again unticks, space ticks.
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentItem(), list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Checked);

        Prompt::clearRecords();
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdOk"_s), Qt::LeftButton);
        QCOMPARE(promptTexts().size(), 2);
        QVERIFY2(promptTexts()[0].startsWith(u"Contatto Jan 金子 n: 1 non importato"_s),
                 qPrintable(promptTexts()[0]));
        QCOMPARE(promptTexts()[1], u"Operazione conclusa correttamente"_s);
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(F::answer(u"USER", u"mario")));
        QCOMPARE(rig.server.receivedFrames("NEW_CONTATTO").size(), 1);
    }

    // A file with nothing to import says so and stays on the first page.
    void headerOnlyFile()
    {
        frmImportaRubrica window(nullptr);
        window.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1);
        setText(&window, u"txtPercorso"_s, writeFile(m_home, u"vuoto.csv"_s, "Nome;Cognome;Email\r\n"));
        Prompt::clearRecords();
        click(&window, u"cmdImporta"_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QVERIFY(Prompt::lastRecord().text.contains(u"solo la riga di intestazione"_s));
        QVERIFY(window.findChild<QGroupBox *>(u"frmContatti"_s)->isHidden());
    }

    void uncheckedRowsAreSkipped()
    {
        LinkRig rig(false);
        QVERIFY(rig.login());
        rig.server.clearReceived();
        frmImportaRubrica window(rig.sock.get());
        window.findChild<QComboBox *>(u"cboPostaElettronica"_s)->setCurrentIndex(1);
        setText(&window, u"txtPercorso"_s, m_file);
        click(&window, u"cmdImporta"_s);
        auto *list = window.findChild<QTreeWidget *>(u"list_Contatti"_s);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, TestWait::bound()));
        // A press on the row, on its box too, reverses the mark once.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                          QPoint(60, list->visualItemRect(list->topLevelItem(0)).center().y()));
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        const QRect box = list->visualItemRect(list->topLevelItem(1));
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 8, box.center().y()));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 8, box.center().y()));
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, QPoint(60, box.center().y()));
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Checked);
        click(&window, u"cmdOk"_s);
        rig.sock->SendUser(u"mario"_s);
        QVERIFY(rig.received(F::answer(u"USER", u"mario")));
        QCOMPARE(rig.server.receivedFrames("NEW_CONTATTO").size(), 1);
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
