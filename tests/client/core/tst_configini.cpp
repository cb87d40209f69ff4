#include "ConfigIni.h"
#include "CoreTestSupport.h"
#include "WriteFaults.h"
#include "clsLog.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_ConfigIni : public QObject
{
    Q_OBJECT

    CoreTestHome m_home;
    QString m_ini;

    void load(const QByteArray &config)
    {
        QVERIFY(putFile(m_ini, "[Config]\r\n" + config));
        ConfigIni = ConfigIniRecord();
        LocateIniFile();
        LoadConfig();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_home.setUp();
        m_ini = m_home.settings(u"Darezi.ini"_s);
    }

    void init()
    {
        QFile::remove(m_ini);
        QFile::remove(m_home.settings(u"QuorinLog.txt"_s));
        ConfigIni = ConfigIniRecord();
        AppLog().setLogActive(false);
        Prompt::setAnswering(true);
    }

    void missingFileGivesDefaults()
    {
        QCOMPARE(LocateIniFile(), m_ini);
        QString message;
        QVERIFY(!ReadServerSettings(message));
        QCOMPARE(message, u"Parametri server non impostati o non corretti, modificare?"_s);
        LoadConfig();
        QCOMPARE(ConfigIni.Retries, qint16(1));
        QCOMPARE(ConfigIni.DelayRetries, qint16(300));
        QCOMPARE(ConfigIni.Resolution, qint16(1));
        QCOMPARE(ConfigIni.AbilitaMail, qint16(0));
        QCOMPARE(ConfigIni.FieldRubrica, 2);
        QCOMPARE(ConfigIni.Auto, u"00"_s);
        QCOMPARE(ConfigIni.Log, u"False"_s);
        QVERIFY(!ConfigIni.ShowRubrica);
        QCOMPARE(ConfigIni.FileFilter,
                 u"ZuvUvu Files\0*.fmf;*.fmp\0Image Files\0*.bmp;*.tif;*.dcx\0Text Files\0"
                 u"*.txt\0\0"_s);
        QVERIFY(!QFile::exists(m_ini)); // reading creates nothing
        QVERIFY(Prompt::records().isEmpty());
    }

    void machineCopyIsTaken()
    {
        const QString etc = m_home.dir.filePath(u"etc"_s);
        QVERIFY(QDir().mkpath(etc));
        QVERIFY(putFile(etc + u"/Darezi.ini"_s, "[Config]\nServer=central\nPort=9456\n"));
        QFile::setPermissions(etc + u"/Darezi.ini"_s, QFileDevice::ReadOwner);
        LocateIniFile();
        QString message;
        QVERIFY(ReadServerSettings(message));
        QCOMPARE(ConfigIni.Server, u"central"_s);
        QVERIFY(WriteConfigKey(u"Name"_s, u"Mario"_s)); // the copy takes writes
        QVERIFY(fileBytes(etc + u"/Darezi.ini"_s).indexOf("Mario") < 0);
        QFile::remove(etc + u"/Darezi.ini"_s);
    }

    void truthKeys_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("on");
        QTest::newRow("Y") << QByteArray("Y") << true;
        QTest::newRow("y") << QByteArray("y") << true;
        QTest::newRow("S") << QByteArray("S") << true;
        QTest::newRow("s") << QByteArray("s") << true;
        QTest::newRow("1 is off") << QByteArray("1") << false;
        QTest::newRow("N") << QByteArray("N") << false;
        QTest::newRow("False") << QByteArray("False") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("Yes is off") << QByteArray("Yes") << false;
    }
    void truthKeys()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, on);
        load("RubricaCondivisa=" + value + "\r\nchiedirisoluzione=" + value +
             "\r\nVISUALIZZAMSGFAXRX=" + value + "\r\nNoFormInvio=" + value + "\r\n");
        QCOMPARE(ConfigIni.RubricaCondivisa, on);
        QCOMPARE(ConfigIni.ChiediRisoluzione, on);
        QCOMPARE(ConfigIni.VisualizzaMsgFaxRx, on);
        QCOMPARE(ConfigIni.NoFormInvio, QString::fromLatin1(value));
        QCOMPARE(IsSettingOn(ConfigIni.NoFormInvio), on);
    }

    void numberKeys_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("showRubrica");
        QTest::addColumn<qint16>("abilitaMail");
        QTest::newRow("1") << QByteArray("1") << true << qint16(1);
        QTest::newRow("0") << QByteArray("0") << false << qint16(0);
        QTest::newRow("2") << QByteArray("2") << false << qint16(2);
        QTest::newRow("Y") << QByteArray("Y") << false << qint16(0);
    }
    void numberKeys()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, showRubrica);
        QFETCH(qint16, abilitaMail);
        load("ShowRubrica=" + value + "\r\nAbilitaMail=" + value + "\r\nResolution=" + value + "\r\n");
        QCOMPARE(ConfigIni.ShowRubrica, showRubrica);
        QCOMPARE(ConfigIni.AbilitaMail, abilitaMail);
        QCOMPARE(ConfigIni.Resolution, abilitaMail);
    }

    // A bad count falls back for its key alone, is logged, and every later key is still read.
    void badCountsFallBack_data()
    {
        QTest::addColumn<QByteArray>("retries");
        QTest::addColumn<QByteArray>("delay");
        QTest::addColumn<qint16>("expectedRetries");
        QTest::addColumn<qint16>("expectedDelay");
        QTest::newRow("text") << QByteArray("tre") << QByteArray("60") << qint16(1) << qint16(60);
        QTest::newRow("empty") << QByteArray("") << QByteArray("") << qint16(1) << qint16(300);
        QTest::newRow("out of range") << QByteArray("5") << QByteArray("40000") << qint16(5) << qint16(300);
        QTest::newRow("good") << QByteArray(" 3 ") << QByteArray("-1") << qint16(3) << qint16(-1);
    }
    void badCountsFallBack()
    {
        QFETCH(QByteArray, retries);
        QFETCH(QByteArray, delay);
        QFETCH(qint16, expectedRetries);
        QFETCH(qint16, expectedDelay);
        load("Log=Y\r\nRetries=" + retries + "\r\nDelayRetries=" + delay +
             "\r\nToEmail=a@b.it\r\nFieldRubrica=3\r\n");
        QString message;
        ReadServerSettings(message); // switches the log on
        LoadConfig();
        QCOMPARE(ConfigIni.Retries, expectedRetries);
        QCOMPARE(ConfigIni.DelayRetries, expectedDelay);
        QCOMPARE(ConfigIni.ToEmail, u"a@b.it"_s);
        QCOMPARE(ConfigIni.FieldRubrica, 3);
        QVERIFY(Prompt::records().isEmpty());
        const QByteArray log = fileBytes(m_home.settings(u"QuorinLog.txt"_s));
        QCOMPARE(log.contains(QByteArray("per Retries: \"" + retries.trimmed() + '"')),
                 expectedRetries == 1 && retries != "1");
        QCOMPARE(log.contains(QByteArray("per DelayRetries: \"" + delay + '"')),
                 expectedDelay == 300 && delay != "300");
    }

    void writersKeepOtherPrograms()
    {
        const QByteArray before =
            "; Quorin\r\n[Config]\r\nServer=old\r\nFaxBanner=banner\r\nPrinterKey=1\r\n\r\n"
            "[Tray]\r\nX=1\r\n";
        QVERIFY(putFile(m_ini, before));
        LocateIniFile();
        QVERIFY(WriteServerSettings(u"faxsrv"_s, 9456));
        QVERIFY(WriteConfigFlag(u"Live"_s, false));
        QVERIFY(WriteConfigFlag(u"Log"_s, true));
        QVERIFY(WriteConfigBit(u"Resolution"_s, false));
        QCOMPARE(fileBytes(m_ini),
                 QByteArray("; Quorin\r\n[Config]\r\nServer=faxsrv\r\nFaxBanner=banner\r\n"
                            "PrinterKey=1\r\nPort= 9456\r\nLive=\r\nLog=Y\r\nResolution=0\r\n\r\n"
                            "[Tray]\r\nX=1\r\n"));
        QString message;
        QVERIFY(ReadServerSettings(message));
        QCOMPARE(ConfigIni.Port, 9456);
        QCOMPARE(ReadConfigKey(u"printerkey"_s), u"1"_s);
    }

    void writeFailureIsReported()
    {
        QVERIFY(QDir().mkpath(m_ini)); // a folder where the file should be
        LocateIniFile();
        QVERIFY(!WriteConfigKey(u"Name"_s, u"x"_s));
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QDir(m_ini).removeRecursively();
        // A settings file that may not be written says so, in the words of every writer.
        QVERIFY(WriteConfigKey(u"Name"_s, u"x"_s));
        QVERIFY(QFile::setPermissions(m_ini, QFileDevice::ReadOwner));
        const QString folder = QFileInfo(m_ini).absolutePath();
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        {
            WriteFaults::ModesHold modes;
            Prompt::clearRecords();
            QVERIFY(!WriteConfigKey(u"Name"_s, u"y"_s));
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(m_ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY2(Prompt::lastRecord().text.contains(u"Impossibile scrivere Name in "_s + m_ini +
                                                    u": il file è di sola lettura."_s),
                 qPrintable(Prompt::lastRecord().text));
        QCOMPARE(ReadConfigKey(u"Name"_s), u"x"_s);
    }

    void liveAppliedAtLoad()
    {
        const QString entry = m_home.dir.filePath(u"config/autostart/QuorinLive.desktop"_s);
        load("Live=y\r\n");
        QVERIFY(fileBytes(entry).contains("/QuorinLive\n"));
        load("Live=\r\n");
        QVERIFY(!QFile::exists(entry));
    }
};

QTEST_MAIN(tst_ConfigIni)
#include "tst_configini.moc"
