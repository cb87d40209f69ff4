// Command line, settings keys, the error exit and the pending-send list of the print-to-fax sender.
#include "CommandLine.h"
#include "ConfigIni.h"
#include "ErrorReporting.h"
#include "FaxSending.h"
#include "ProfileFile.h"
#include "Prompt.h"
#include "SendoraConfig.h"
#include "SendoraOptions.h"
#include "TestHome.h"
#include "clsLog.h"
#include "frmOptions.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Sendora;

class TestSendoraSettings : public QObject
{
    Q_OBJECT

    TestHome m_home;

    QString ini() const { return ConfigIniPath(); }
    void writeIni(const QByteArray &text)
    {
        QFile f(ini());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray readIni()
    {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString key(const QString &k) { return ProfileFile::readString(ini(), u"Config"_s, k, u"<none>"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.setUp(TestHome::Layout::ByVariable));
        Prompt::setAnswering(true);
    }
    void init()
    {
        Prompt::clearRecords();
        Err().Clear();
        QFile::remove(ini());
        ConfigIni = ConfigIniRecord();
        G = Globals();
        AppLog().setLogActive(false);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("install");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("file");
        QTest::newRow("print job") << u"-N"_s << false << false << QString();
        QTest::newRow("no switch: installer") << QString() << true << false << QString();
        QTest::newRow("lower case -n: installer") << u"-n"_s << true << false << QString();
        QTest::newRow("-F then -H") << u"-N -F /home/u/jobs/fax.xml -H"_s << false << true
                                    << u"/home/u/jobs/fax.xml"_s;
        QTest::newRow("-F last") << u"-N -H -F /home/u/jobs/fax.xml"_s << false << true
                                 << u"/home/u/jobs/fax.xml"_s;
        QTest::newRow("hyphen inside the path")
            << u"-N -F /home/u/my-jobs/fax.xml"_s << false << false << u"/home/u/my-jobs/fax.xml"_s;
        QTest::newRow("switches glued") << u"-N-H-F/tmp/a.xml"_s << false << true << u"/tmp/a.xml"_s;
        QTest::newRow("without -N the others do nothing")
            << u"-F /tmp/a.xml -H"_s << true << true << u"/tmp/a.xml"_s;
        QTest::newRow("-H inside the value sets it")
            << u"-N -F /tmp/a-Hx.xml"_s << false << true << u"/tmp/a-Hx.xml"_s;
    }
    void commandLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, install);
        QFETCH(bool, hidden);
        QFETCH(QString, file);
        const CommandLine c = CommandLine::parse(line);
        QCOMPARE(c.InstallMode, install);
        QCOMPARE(c.HiddenMode, hidden);
        QCOMPARE(c.XmlJobFile, file);
    }

    void defaults()
    {
        Sendora::LoadConfig();
        QCOMPARE(G.Retries, u"1"_s);
        QCOMPARE(G.DelayRetries, u"300"_s);
        QCOMPARE(ConfigIni.Resolution, qint16(1));
        QCOMPARE(ConfigIni.FieldRubrica, 2);
        QCOMPARE(ConfigIni.AbilitaMail, qint16(0));
        QCOMPARE(G.RubricaCondivisa, u"False"_s);
        QVERIFY(!ConfigIni.RubricaCondivisa);
        QVERIFY(readIni().isEmpty()); // reading writes nothing
    }

    void readKeys()
    {
        writeIni(
            "[Config]\r\nName=Ufficio\r\nCompany=Alfa\r\nFax=0222\r\nVoice=0211\r\nRetries=x\r\n"
            "DelayRetries=60\r\nSalvaRicevuti=s\r\nResolution=0\r\nAbilitaMail=1\r\nRubricaCondivisa=y\r\n"
            "FieldRubrica=3\r\nNoFormInvio=Y\r\nTrayIconTX=S\r\n");
        Sendora::LoadConfig();
        QCOMPARE(ConfigIni.Name, u"Ufficio"_s);
        QCOMPARE(ConfigIni.Company, u"Alfa"_s);
        QCOMPARE(ConfigIni.Fax, u"0222"_s);
        QCOMPARE(ConfigIni.Voice, u"0211"_s);
        QCOMPARE(G.Retries, u"x"_s); // kept: the send reports it
        QCOMPARE(G.DelayRetries, u"60"_s);
        QVERIFY(IsSettingOn(G.SalvaRicevuti));
        QCOMPARE(ConfigIni.Resolution, qint16(0));
        QCOMPARE(ConfigIni.AbilitaMail, qint16(1));
        QVERIFY(ConfigIni.RubricaCondivisa);
        QCOMPARE(ConfigIni.FieldRubrica, 3);
        QVERIFY(IsSettingOn(ConfigIni.NoFormInvio));
        QVERIFY(IsSettingOn(ConfigIni.TrayIconTX));
    }

    void optionsStoreExactKeys()
    {
        writeIni("; shared with the fax client\r\n[Config]\r\nServer=fax1\r\nPort=9456\r\nSalvaRicevuti=s\r\n"
                 "Live=Y\r\nChiediRisoluzione=Y\r\n");
        Sendora::LoadConfig();
        SendoraOptions dlg(nullptr);
        QVERIFY(dlg.findChild<QCheckBox *>(u"ChkSaveRx"_s)->isChecked());
        QVERIFY(!dlg.findChild<QPushButton *>(u"cmdApply"_s)->isEnabled());
        QTest::keyClicks(dlg.findChild<QLineEdit *>(u"txtUserID"_s), u"Mario"_s);
        QVERIFY(dlg.findChild<QPushButton *>(u"cmdApply"_s)->isEnabled());
        dlg.findChild<QLineEdit *>(u"txtRetries"_s)->setText(u"4"_s);
        dlg.findChild<QCheckBox *>(u"chkResolution"_s)->setChecked(false);
        dlg.findChild<QCheckBox *>(u"ChkRubCond"_s)->setChecked(true);
        dlg.findChild<QCheckBox *>(u"chkNoFormInvio"_s)->setChecked(true);
        dlg.findChild<QPushButton *>(u"cmdApply"_s)->click();
        QVERIFY(!dlg.findChild<QPushButton *>(u"cmdApply"_s)->isEnabled());
        QCOMPARE(key(u"Name"_s), u"Mario"_s);
        QCOMPARE(key(u"Retries"_s), u"4"_s);
        QCOMPARE(key(u"Resolution"_s), u"0"_s);
        QCOMPARE(key(u"RubricaCondivisa"_s), u"Y"_s);
        QCOMPARE(key(u"NoFormInvio"_s), u"Y"_s);
        // What the user left alone is not written, not even in its usual spelling.
        QCOMPARE(key(u"DelayRetries"_s), u"<none>"_s);
        QCOMPARE(key(u"AbilitaMail"_s), u"<none>"_s);
        QCOMPARE(key(u"Log"_s), u"<none>"_s);
        QCOMPARE(key(u"SalvaRicevuti"_s), u"s"_s);
        QCOMPARE(key(u"TrayIconTX"_s), u"<none>"_s);
        // The fax client's own keys are neither read nor written here.
        QCOMPARE(key(u"Live"_s), u"Y"_s);
        QCOMPARE(key(u"ChiediRisoluzione"_s), u"Y"_s);
        QCOMPARE(key(u"Server"_s), u"fax1"_s);
        QVERIFY(readIni().startsWith("; shared with the fax client\r\n"));
        QCOMPARE(G.Retries, u"4"_s);
        QVERIFY(ConfigIni.RubricaCondivisa);
        QVERIFY(!AppLog().LogActive());

        // Logging switched on goes to "PrinterLog.txt".
        dlg.findChild<QCheckBox *>(u"ChkLog"_s)->setChecked(true);
        dlg.SaveServerOptions();
        QCOMPARE(key(u"Log"_s), u"Y"_s);
        QVERIFY(AppLog().LogActive());
        QCOMPARE(AppLog().FileName(), ProgramFolder() + u"PrinterLog.txt"_s);
        AppLog().setLogActive(false);
    }

    // The sender's and the fax client's dialogs open at once on the shared file: what one stores survives
    // an unrelated change stored by the other, whichever goes first and with Apply in between.
    void twoOptionsDialogs_data()
    {
        QTest::addColumn<bool>("clientFirst");
        QTest::newRow("fax number from the client, telephone from the sender") << true;
        QTest::newRow("fax number from the sender, telephone from the client") << false;
    }
    void twoOptionsDialogs()
    {
        QFETCH(bool, clientFirst);
        writeIni("[Config]\r\nName=Mario\r\nFax=\r\nVoice=\r\nRetries=3\r\nLog=\r\n");
        Sendora::LoadConfig();
        SendoraOptions sender(nullptr);
        frmOptions client;
        auto type = [](QDialog &d, const QString &box, const QString &text) {
            auto *edit = d.findChild<QLineEdit *>(box);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        QDialog &first = clientFirst ? static_cast<QDialog &>(client) : sender;
        QDialog &second = clientFirst ? static_cast<QDialog &>(sender) : client;
        type(first, u"txtNumberFax"_s, u"02904139"_s);
        QTest::mouseClick(first.findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(first.result(), int(QDialog::Accepted));
        QCOMPARE(key(u"Fax"_s), u"02904139"_s);

        type(second, u"txtTel"_s, u"02 555"_s);
        QTest::mouseClick(second.findChild<QPushButton *>(u"cmdApply"_s), Qt::LeftButton);
        QCOMPARE(key(u"Voice"_s), u"02 555"_s);
        QCOMPARE(key(u"Fax"_s), u"02904139"_s);
        // A second store from the same dialog (after Apply) writes only the new change.
        second.findChild<QCheckBox *>(u"ChkRubCond"_s)->click();
        QTest::mouseClick(second.findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(key(u"RubricaCondivisa"_s), u"Y"_s);
        QCOMPARE(key(u"Fax"_s), u"02904139"_s);
        QCOMPARE(key(u"Voice"_s), u"02 555"_s);
        QCOMPARE(key(u"Name"_s), u"Mario"_s);
        QCOMPARE(key(u"Retries"_s), u"3"_s);
        QVERIFY(Prompt::records().isEmpty());
    }

    // Another program holds the settings file's lock: OK keeps the dialog open with what was typed and says
    // why; once that program has ended, OK stores it.
    void optionsWhileSettingsLocked()
    {
        writeIni("[Config]\r\nName=Vecchio\r\nRetries=3\r\n");
        Sendora::LoadConfig();
        QProcess holder; // the other program: a lock file naming a living process of its own
        holder.start(u"sleep"_s, {u"600"_s});
        QVERIFY(holder.waitForStarted(TestWait::bound()));
        {
            QFile lock(ini() + u".lock"_s);
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(holder.processId()) + "\nsleep\n" +
                       QSysInfo::machineHostName().toUtf8() + "\n");
        }
        SendoraOptions dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, TestWait::bound()));
        auto *name = dlg.findChild<QLineEdit *>(u"txtUserID"_s);
        name->selectAll();
        QTest::keyClicks(name, u"Mario Rossi"_s);
        QTest::mouseClick(dlg.findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(name->text(), u"Mario Rossi"_s);
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
        QVERIFY2(Prompt::lastRecord().text.contains(u"bloccato da un altro programma. Riprovare"_s),
                 qPrintable(Prompt::lastRecord().text));
        QVERIFY(Prompt::lastRecord().text.contains(ini()));
        QCOMPARE(key(u"Name"_s), u"Vecchio"_s);
        QCOMPARE(ConfigIni.Name, u"Vecchio"_s);
        // "Applica" too: still enabled, nothing written.
        QTest::mouseClick(dlg.findChild<QPushButton *>(u"cmdApply"_s), Qt::LeftButton);
        QVERIFY(dlg.findChild<QPushButton *>(u"cmdApply"_s)->isEnabled());
        QCOMPARE(key(u"Name"_s), u"Vecchio"_s);

        holder.kill();
        QVERIFY(holder.waitForFinished(TestWait::bound()));
        Prompt::clearRecords();
        QTest::mouseClick(dlg.findChild<QPushButton *>(u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QVERIFY(Prompt::records().isEmpty());
        QCOMPARE(key(u"Name"_s), u"Mario Rossi"_s);
        QCOMPARE(ConfigIni.Name, u"Mario Rossi"_s);
        QVERIFY(!QFile::exists(ini() + u".lock"_s));
    }

    void reportError()
    {
        // Nothing pending: nothing shown.
        ReportError(u"SendFax"_s);
        QVERIFY(Prompt::records().isEmpty());

        Err().Raise(13, u"Sendora"_s, u"Tipo non corrispondente"_s);
        ReportError(u"SendFax"_s);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Critical);
        QCOMPARE(Prompt::lastRecord().text,
                 u"Si è verificato il seguente errore:\r\n\r\nTipo non corrispondente\r\n\r\n"
                 u"Numero: 13\r\nSorgente: SendFax-Sendora"_s);
        QCOMPARE(Err().Number, 13);                                       // still pending
        QVERIFY(!QFile::exists(ProgramFolder() + u"QuorinSrvLog.txt"_s)); // logging off: no line

        // Logging on: the line goes to QuorinSrvLog.txt, and so do later lines; a second error shows one box.
        AppLog().setLogActive(true);
        Prompt::clearRecords();
        ReportError(QString());
        ReportError(QString());
        QCOMPARE(Prompt::records().size(), 2);
        QVERIFY(Prompt::lastRecord().text.endsWith(u"Sorgente: -Sendora"_s));
        AppLog().WriteLog(u"dopo"_s);
        QFile log(ProgramFolder() + u"QuorinSrvLog.txt"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QCOMPARE(text.count(u"Error: Si è verificato il seguente errore:"_s), 2);
        QVERIFY(text.contains(u" - dopo"_s));
        AppLog().setLogActive(false);
        Err().Clear();
    }

    void pendingList()
    {
        collFaxSending list;
        QVERIFY(!list.anyPending());
        QVERIFY(list.Add(u"#1"_s, u"/a.tif"_s));
        QVERIFY(list.Add(u"#2"_s, u"/b.tif"_s));
        QVERIFY(!list.Add(u"#1"_s, u"/c.tif"_s)); // a key already there
        QVERIFY(list.Add(QString(), u"/d.tif"_s));
        QVERIFY(list.Add(QString(), u"/e.tif"_s)); // empty keys are kept without a key
        QCOMPARE(list.Count(), 4);
        QCOMPARE(list.item(2)->StrFiles(), u"/b.tif"_s);
        QVERIFY(!list.item(5));
        QVERIFY(!list.item(QString()));
        list.item(u"#1"_s)->setSent(true);
        list.item(u"#2"_s)->setFailed(true);
        QVERIFY(list.anyPending()); // the entries without a key
        list.Remove(4);
        list.Remove(3);
        QVERIFY(!list.anyPending());
        QStringList keys;
        for (const auto &e : list)
            keys << e->IdFax();
        QCOMPARE(keys, (QStringList{u"#1"_s, u"#2"_s}));
    }
};

QTEST_MAIN(TestSendoraSettings)
#include "tst_sendorasettings.moc"
