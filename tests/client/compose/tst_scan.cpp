#include "ComposeRig.h"
#include "Lumagrid.h"
#include "SystemUtils.h"
#include "frmScan.h"

#include <QDir>
#include <QFileInfo>

#include <QPushButton>

class TestScan : public QObject
{
    Q_OBJECT
    TestHome m_home;
    QString m_temp;

private Q_SLOTS:
    void initTestCase()
    {
        useTemporaryHome(m_home);
        m_temp = GetTempDir();
        QVERIFY(!m_temp.isEmpty());
        // SANE reads its configuration from our folder: only its test backend, one black 1-bit page.
        const QString conf = m_home.filePath(u"sane"_s);
        QVERIFY(QDir().mkpath(conf));
        writeFile(m_home, u"sane/dll.conf"_s, "test\n");
        writeFile(m_home, u"sane/test.conf"_s,
                  "number_of_devices 1\nmode Gray\ndepth 1\nresolution 100.0\ntest-picture \"Solid black\"\n"
                  "tl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n");
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(conf));
    }
    void init() { resetConfig(m_home); }

    void autoName_data()
    {
        QTest::addColumn<QList<int>>("draws");
        QTest::addColumn<QString>("name");
        QTest::newRow("last six of 1869F2A") << QList<int>{99999, 42} << u"869F2A.tif"_s;
        QTest::newRow("shorter than six") << QList<int>{16, 1} << u"101.tif"_s;
        QTest::newRow("a taken name is drawn again") << QList<int>{1, 1, 2, 2} << u"22.tif"_s;
    }
    void autoName()
    {
        QFETCH(QList<int>, draws);
        QDir().mkpath(m_home.filePath(u"taken"_s));
        writeFile(m_home, u"taken/11.tif"_s, "x");
        qsizetype i = 0;
        const QString path =
            frmScan::AutoFileName(m_home.filePath(u"taken"_s), [&] { return draws.value(i++); });
        QTEST(QFileInfo(path).fileName(), "name");
    }

    void noFreeNameAfterTenTries()
    {
        QDir().mkpath(m_home.filePath(u"full"_s));
        writeFile(m_home, u"full/11.tif"_s, "x");
        QCOMPARE(frmScan::AutoFileName(m_home.filePath(u"full"_s), [] { return 1; }), QString());
    }

    // Typed names: an existing one asks again, Cancel ends, a path is refused, a failed scan is told.
    void typedName()
    {
        QFile taken(m_temp + u"esiste.tif"_s);
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        frmScan scan;
        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);     // no automatic name
        Prompt::setNextText(u"../fuori"_s);         // refused
        Prompt::setNextAnswer(QMessageBox::Ok);     // the refusal box
        Prompt::setNextText(u"esiste"_s);           // taken
        Prompt::setNextAnswer(QMessageBox::Cancel); // give up
        click(&scan, u"cmdScan"_s);
        const QStringList told = promptTexts();
        QVERIFY(told.contains(u"Nome non valido: indicare solo il nome del file, senza cartelle."_s));
        QVERIFY(told.contains(u"File già esistente.\r\nSpecificare un altro nome"_s));
        QCOMPARE(scan.FileScanned(), QString());

        Prompt::clearRecords();
        Prompt::setNextAnswer(QMessageBox::No);
        Prompt::setNextText(u"nuovo"_s);
        QSignalSpy finished(scan.Lumagrid1(), &Lumagrid::scanFinished);
        click(&scan, u"cmdScan"_s);
        QVERIFY(scan.FileScanned().endsWith(u"/nuovo.tif"_s));
        QVERIFY(TestWait::forSignal(finished));
    }

    // Automatic name, a scan through SANE's test backend, "&Invia per Fax": the file is there for the
    // send dialog.
    void scanToFax()
    {
        frmScan scan;
        QSignalSpy finished(scan.Lumagrid1(), &Lumagrid::scanFinished);
        Prompt::setNextAnswer(QMessageBox::Yes);
        click(&scan, u"cmdScan"_s);
        QVERIFY(scan.FileScanned().startsWith(m_temp));
        QVERIFY(scan.FileScanned().endsWith(u".tif"_s));
        QVERIFY(scan.Lumagrid1()->Scanning());
        Prompt::clearRecords();
        click(&scan, u"cmdSend"_s); // not while the scanner runs
        QCOMPARE(Prompt::lastRecord().text, u"Scansione in corso: attendere la fine."_s);
        QVERIFY(!scan.bFax());
        QVERIFY(TestWait::forSignal(finished));
        if (!finished.at(0).at(0).toBool())
            QSKIP("SANE's test backend is not available here");
        click(&scan, u"cmdSend"_s);
        QVERIFY(scan.bFax());
        QVERIFY(QFileInfo(scan.FileScanned()).size() > 0);
        QString faxed;
        QCOMPARE(ScanHandOff(scan, nullptr, {}, [&](const QString &f) { faxed = f; }), scan.FileScanned());
        QCOMPARE(faxed, scan.FileScanned());
    }

    void mailButtonFollowsSetting()
    {
        ConfigIni.AbilitaMail = 0;
        QVERIFY(frmScan().findChild<QPushButton *>(u"cmdEmail"_s)->isHidden());
        ConfigIni.AbilitaMail = 1;
        QVERIFY(!frmScan().findChild<QPushButton *>(u"cmdEmail"_s)->isHidden());
    }

    void handOffWithoutFile()
    {
        frmScan scan;
        click(&scan, u"cmdSend"_s);
        QVERIFY(scan.bFax());
        bool faxed = false;
        QCOMPARE(ScanHandOff(scan, nullptr, {}, [&](const QString &) { faxed = true; }), QString());
        QVERIFY(!faxed);
        QCOMPARE(Prompt::lastRecord().text, u"Nessun salvataggio"_s);
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
