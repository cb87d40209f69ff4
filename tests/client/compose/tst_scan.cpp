#include "ComposeRig.h"
#include "SystemUtils.h"
#include "frmScan.h"

#include <QDir>
#include <QFileInfo>

#include <QPushButton>

class TestScan : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QString m_temp;

private Q_SLOTS:
    void initTestCase()
    {
        useTemporaryHome(m_home);
        m_temp = GetTempDir();
        QVERIFY(!m_temp.isEmpty());
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
        click(&scan, u"cmdScan"_s);
        QVERIFY(scan.FileScanned().endsWith(u"/nuovo.tif"_s));
        QVERIFY(promptTexts().last().startsWith(u"Scansione non riuscita"_s));
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
