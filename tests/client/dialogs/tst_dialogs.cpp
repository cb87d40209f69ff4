// The small windows of the fax client: folder names, login, fax properties, rules and options.
#include "DialogsTestSupport.h"
#include "FaxItem.h"
#include "FolderDialogs.h"
#include "ServerDates.h"
#include "clsLog.h"
#include "frmAuto.h"
#include "frmLogin.h"
#include "frmOptions.h"
#include "frmPropFax.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>

#include <memory>

class tst_Dialogs : public QObject
{
    Q_OBJECT

    DialogsTestHome home;

    template <typename T> static T *child(QWidget *w, const QString &name)
    {
        T *c = w->findChild<T *>(name);
        if (!c)
            qWarning() << "no child" << name;
        return c;
    }
    static void click(QWidget *w, const QString &name) { child<QPushButton>(w, name)->click(); }

private Q_SLOTS:
    void initTestCase() { home.setUp(); }
    void init() { Prompt::clearRecords(); }

    // ---- folder dialogs ----
    void folderDialog_data()
    {
        QTest::addColumn<bool>("properties");
        QTest::addColumn<QString>("startName");
        QTest::addColumn<bool>("startShared");
        QTest::addColumn<QStringList>("steps"); // "type:<text>", "toggle", "ok", "cancel"
        QTest::addColumn<bool>("expectOk");
        QTest::addColumn<QString>("expectName");
        QTest::addColumn<bool>("expectShared");
        QTest::addColumn<QString>("expectWarning");

        QTest::newRow("new: empty name refused, then typed")
            << false << QString() << false << QStringList{u"ok"_s, u"type:Fatture 2005"_s, u"ok"_s} << true
            << u"Fatture 2005"_s << false << u"Impossibile confermare! Inserire un nome cartella"_s;
        QTest::newRow("new: name kept as typed, shared")
            << false << QString() << false << QStringList{u"type:  a/b  "_s, u"toggle"_s, u"ok"_s} << true
            << u"  a/b  "_s << true << QString();
        QTest::newRow("properties: shared folder unticked")
            << true << u"Clienti"_s << true << QStringList{u"toggle"_s, u"ok"_s} << true << u"Clienti"_s
            << false << QString();
        QTest::newRow("properties: cancel after typing")
            << true << u"Clienti"_s << false << QStringList{u"type:Altro"_s, u"cancel"_s} << false
            << u"Clienti"_s << false << QString();
        QTest::newRow("separator in the name refused")
            << false << QString() << false << QStringList{u"type:a<#>b"_s, u"ok"_s} << false << QString()
            << false << u"Impossibile confermare! Il nome cartella non può contenere \"<#>\""_s;
    }
    void folderDialog()
    {
        QFETCH(bool, properties);
        QFETCH(QString, startName);
        QFETCH(bool, startShared);
        QFETCH(QStringList, steps);
        std::unique_ptr<FolderDialog> d;
        if (properties)
            d = std::make_unique<frmPropFolder>();
        else
            d = std::make_unique<frmNewFolder>();
        QCOMPARE(d->objectName(), properties ? u"frmPropFolder"_s : u"frmNewFolder"_s);
        QCOMPARE(d->windowTitle(), properties ? u"Proprietà Cartella"_s : u"Nuova Cartella"_s);
        d->NameFolder = startName;
        d->bShared = startShared;

        Prompt::setDialogHandler([&](QDialog *dialog) {
            dialog->show();
            auto *name = child<QLineEdit>(dialog, u"txtNameFolder"_s);
            auto *shared = child<QCheckBox>(dialog, u"chkShared"_s);
            [&] {
                QCOMPARE(name->text(), startName);
                QCOMPARE(shared->isChecked(), startShared);
            }();
            for (const QString &step : std::as_const(steps)) {
                if (step.startsWith(u"type:"_s))
                    name->setText(step.mid(5));
                else if (step == u"toggle"_s)
                    shared->click();
                else
                    click(dialog, step == u"ok"_s ? u"cmdOK"_s : u"cmdCancel"_s);
            }
            return dialog->result();
        });
        const int result = Prompt::exec(d.get());
        Prompt::setDialogHandler({});
        QFETCH(bool, expectOk);
        QFETCH(QString, expectWarning);
        QCOMPARE(d->ok, expectOk);
        QCOMPARE(result, expectOk ? int(QDialog::Accepted) : int(QDialog::Rejected));
        if (expectOk) {
            QFETCH(QString, expectName);
            QFETCH(bool, expectShared);
            QCOMPARE(d->NameFolder, expectName);
            QCOMPARE(d->bShared, expectShared);
        }
        const QStringList texts = promptTexts();
        QCOMPARE(texts, expectWarning.isEmpty() ? QStringList() : QStringList{expectWarning});
    }

    // ---- login ----
    void login()
    {
        frmLogin d;
        QCOMPARE(d.txtPassword->echoMode(), QLineEdit::Password);
        d.show();
        d.txtUserName->setText(u"anna"_s);
        d.txtPassword->setText(u"segreta"_s);
        click(&d, u"cmdOK"_s);
        QVERIFY(d.LoginSucceeded);
        QVERIFY(!d.isVisible());
        // The one instance keeps what was typed; a close by the window counts as Annulla.
        d.show();
        QCOMPARE(d.txtUserName->text(), u"anna"_s);
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.LoginSucceeded);
        d.show();
        click(&d, u"cmdOK"_s);
        QVERIFY(d.LoginSucceeded);
        click(&d, u"cmdCancel"_s);
        QVERIFY(!d.LoginSucceeded);
    }

    // ---- fax properties ----
    void propFax_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("nameLabel");
        QTest::addColumn<QString>("dateLabel");
        QTest::addColumn<bool>("retriesShown");
        QTest::newRow("received") << 0 << u"Mittente:"_s << u"Data/ora sped:"_s << true;
        QTest::newRow("personal") << 1 << u"Mittente:"_s << u"Data / ora"_s << false;
        QTest::newRow("sent") << 2 << u"Dest.:"_s << u"Data/ora sped:"_s << true;
        QTest::newRow("trash keeps the design") << 3 << u"Dest.:"_s << u"Data/ora sped:"_s << true;
    }
    void propFax()
    {
        QFETCH(int, kind);
        auto fax = std::make_unique<FaxItem>();
        fax->setDestName(u"Rossi Mario"_s);
        fax->setToCompany(u"Rossi Srl"_s);
        fax->setDestFax(u"+39 02 1234"_s);
        fax->setSentDate(u"non è una data 10:15:22"_s);
        fax->setPageSent(3);
        fax->setSubject(u"Ordine"_s);
        fax->setRetries(2);
        QPointer<frmPropFax> d = new frmPropFax;
        d->p_Activelist = kind;
        d->p_itemfax = *fax;
        fax.reset(); // the control replaced its items: the window keeps its own copy
        d->show();
        QFETCH(QString, nameLabel);
        QFETCH(QString, dateLabel);
        QFETCH(bool, retriesShown);
        QCOMPARE(child<QLabel>(d, u"ldlDestName"_s)->text(), nameLabel);
        QCOMPARE(child<QLabel>(d, u"lblSentDate"_s)->text(), dateLabel);
        QCOMPARE(child<QLineEdit>(d, u"txtRetries"_s)->isVisible(), retriesShown);
        QCOMPARE(child<QLabel>(d, u"lblRetries"_s)->isVisible(), retriesShown);
        QCOMPARE(child<QLineEdit>(d, u"txtDestname"_s)->text(), u"Rossi Mario"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtToCompany"_s)->text(), u"Rossi Srl"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtDestFax"_s)->text(), u"+39 02 1234"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtSentDate"_s)->text(), u"         10:15"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtPagesSent"_s)->text(), u"3"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtSubject"_s)->text(), u"Ordine"_s);
        QCOMPARE(child<QLineEdit>(d, u"txtRetries"_s)->text(), u"2"_s);
        screenshot(d, u"frmPropFax"_s + QString::number(kind));
        click(d, u"cmdOK"_s);
        QUORIN_TRY_VERIFY(d.isNull());
    }

    void propFaxDate_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("date and time")
            << u"31/12/2005 09:41:07"_s << FormatShortDate(QDate(2005, 12, 31)) + u" 09:41"_s;
        QTest::newRow("not a date") << u"ieri 10:15:22"_s << u"         10:15"_s;
        QTest::newRow("empty") << QString() << u"         "_s;
        QTest::newRow("garbled time shown as it came") << u":5 x"_s << u":5 x"_s;
    }
    void propFaxDate()
    {
        QFETCH(QString, sent);
        FaxItem fax;
        fax.setSentDate(sent);
        frmPropFax d;
        d.p_itemfax = fax;
        d.show();
        QFETCH(QString, shown);
        QCOMPARE(child<QLineEdit>(&d, u"txtSentDate"_s)->text(), shown);
        QVERIFY(promptTexts().isEmpty());
    }

    void propFaxWithoutFax()
    {
        frmPropFax d;
        d.show();
        QCOMPARE(child<QLineEdit>(&d, u"txtDestname"_s)->text(), QString());
        QCOMPARE(child<QLabel>(&d, u"ldlDestName"_s)->text(), u"Dest.:"_s);
    }

    // ---- rules for new faxes ----
    void rules_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("steps"); // "print", "mail", "type:<text>", "apply", "ok", "cancel"
        QTest::addColumn<bool>("printShown");
        QTest::addColumn<bool>("mailShown");
        QTest::addColumn<bool>("mailEnabled");
        QTest::addColumn<QString>("auto_");
        QTest::addColumn<QString>("toEmail");

        const QByteArray mailOn = "[Config]\r\nAbilitaMail=1\r\n";
        QTest::newRow("10 saved unchanged")
            << QByteArray(mailOn + "Auto=10\r\nToEmail=a@b.it\r\n") << QStringList{u"ok"_s} << true << false
            << true << u"10"_s << u"a@b.it"_s;
        QTest::newRow("mail option off keeps the mail rule")
            << QByteArray("[Config]\r\nAbilitaMail=0\r\nAuto=01\r\nToEmail=x@y.it\r\n")
            << QStringList{u"print"_s, u"ok"_s} << false << true << false << u"11"_s << u"x@y.it"_s;
        QTest::newRow("mail cleared leaves the address in the file")
            << QByteArray(mailOn + "Auto=11\r\nToEmail=old@y.it\r\n")
            << QStringList{u"mail"_s, u"type:new@y.it"_s, u"ok"_s} << true << true << true << u"10"_s
            << u"old@y.it"_s;
        QTest::newRow("mail ticked writes the address")
            << QByteArray(mailOn + "Auto=00\r\n") << QStringList{u"mail"_s, u"type:n@y.it"_s, u"ok"_s}
            << false << false << true << u"01"_s << u"n@y.it"_s;
        QTest::newRow("cancel after apply keeps the applied rules")
            << QByteArray(mailOn + "Auto=00\r\n")
            << QStringList{u"print"_s, u"apply"_s, u"mail"_s, u"cancel"_s} << false << false << true
            << u"10"_s << QString();
        QTest::newRow("short or odd value reads as off")
            << QByteArray(mailOn + "Auto=1\r\n") << QStringList{u"ok"_s} << true << false << true << u"10"_s
            << QString();
        QTest::newRow("missing key") << mailOn << QStringList{u"cancel"_s} << false << false << true
                                     << u"00"_s << QString();
    }
    void rules()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, steps);
        home.writeIni(ini);
        LoadConfig();
        frmAuto d;
        auto *print = child<QCheckBox>(&d, u"ChkPrint"_s);
        auto *mail = child<QCheckBox>(&d, u"ChkEmail"_s);
        auto *apply = child<QPushButton>(&d, u"cmdApply"_s);
        d.show();
        screenshot(&d, u"frmAuto"_s);
        QFETCH(bool, printShown);
        QFETCH(bool, mailShown);
        QFETCH(bool, mailEnabled);
        QCOMPARE(print->isChecked(), printShown);
        QCOMPARE(mail->isChecked(), mailShown);
        QCOMPARE(mail->isEnabled(), mailEnabled);
        QCOMPARE(child<QLineEdit>(&d, u"txtEmail"_s)->isEnabled(), mailEnabled);
        QVERIFY(!apply->isEnabled());
        for (const QString &step : std::as_const(steps)) {
            if (step == u"print"_s)
                print->click();
            else if (step == u"mail"_s)
                mail->setChecked(!mail->isChecked()); // also when the box is disabled
            else if (step.startsWith(u"type:"_s))
                child<QLineEdit>(&d, u"txtEmail"_s)->setText(step.mid(5));
            else if (step == u"apply"_s) {
                QVERIFY(apply->isEnabled());
                apply->click();
                QVERIFY(!apply->isEnabled());
            } else
                click(&d, step == u"ok"_s ? u"cmdOK"_s : u"cmdCancel"_s);
        }
        QFETCH(QString, auto_);
        QFETCH(QString, toEmail);
        QCOMPARE(ReadConfigKey(u"Auto"_s, u"00"_s), auto_);
        QCOMPARE(ReadConfigKey(u"ToEmail"_s), toEmail);
    }

    void rulesApplyOnlyByTicks()
    {
        home.writeIni("[Config]\r\nAbilitaMail=1\r\nAuto=00\r\n");
        LoadConfig();
        frmAuto d;
        auto *apply = child<QPushButton>(&d, u"cmdApply"_s);
        QTest::keyClicks(child<QLineEdit>(&d, u"txtEmail"_s), u"abc"_s);
        QVERIFY(!apply->isEnabled());
        child<QCheckBox>(&d, u"ChkPrint"_s)->click();
        QVERIFY(apply->isEnabled());
    }

    // ---- options ----
    // OK without a change writes nothing (the other program may have stored a value since the dialog
    // opened); the settings in memory take the boxes' meaning.
    void optionsUnchangedWritesNothing()
    {
        home.writeIni("; shared by the three programs\r\n[Config]\r\nServer=fax1\r\nPort= 9456\r\n"
                      "Name=Mario\r\nCompany=Rossi Srl\r\nFax=02 1\r\nVoice=02 2\r\nRetries=3\r\n"
                      "DelayRetries=120\r\nResolution=1\r\nAbilitaMail=0\r\nRubricaCondivisa=s\r\n"
                      "ChiediRisoluzione=S\r\nVisualizzaMsgFaxRx=\r\nLog=N\r\nLive=\r\nNoFormInvio=y\r\n"
                      "TrayIconTX=False\r\nFaxCover=cover.cpe\r\n");
        LoadConfig();
        const QByteArray before = fileBytes(ConfigIni.IniPath);
        frmOptions d;
        d.show();
        screenshot(&d, u"frmOptions"_s);
        QSignalSpy askRes(&d, &frmOptions::AskResSaveAsApplied);
        QSignalSpy mail(&d, &frmOptions::isMailApplied);
        QVERIFY(!child<QPushButton>(&d, u"cmdApply"_s)->isEnabled());
        click(&d, u"cmdOK"_s);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(fileBytes(ConfigIni.IniPath), before);
        QCOMPARE(askRes.size(), 1);
        QCOMPARE(askRes.first().first().toBool(), true);
        QCOMPARE(mail.first().first().toBool(), false);
        QCOMPARE(ConfigIni.NoFormInvio, u"Y"_s);
        QCOMPARE(ConfigIni.Retries, qint16(3));
    }

    void optionsRefuseBadRetries_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty retries") << u"txtRetries"_s << QString();
        QTest::newRow("letters in the delay") << u"txtDelayRetries"_s << u"5 minuti"_s;
        QTest::newRow("beyond 16 bits") << u"txtRetries"_s << u"40000"_s;
    }
    void optionsRefuseBadRetries()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        home.writeIni("[Config]\r\nRetries=3\r\nDelayRetries=120\r\nName=Mario\r\n");
        LoadConfig();
        const QByteArray before = fileBytes(ConfigIni.IniPath);
        frmOptions d;
        child<QLineEdit>(&d, u"txtUserID"_s)->setText(u"Luigi"_s);
        child<QLineEdit>(&d, box)->setText(text);
        click(&d, u"cmdOK"_s);
        QCOMPARE(fileBytes(ConfigIni.IniPath), before);
        QCOMPARE(d.result(), 0); // still open
        QCOMPARE(ConfigIni.Name, u"Mario"_s);
        QCOMPARE(promptTexts().size(), 1);
        QVERIFY(promptTexts().first().contains(text.isEmpty() ? u"\"\""_s : text));
        click(&d, u"cmdApply"_s);
        QVERIFY(child<QPushButton>(&d, u"cmdApply"_s)->isEnabled());
    }

    void optionsOddStoredBoxValue()
    {
        home.writeIni("[Config]\r\nResolution=2\r\nAbilitaMail=7\r\nLog=\r\nLive=\r\nTrayIconTX=Y\r\n");
        LoadConfig();
        frmOptions d;
        QVERIFY(child<QCheckBox>(&d, u"chkResolution"_s)->isChecked());
        QVERIFY(child<QCheckBox>(&d, u"chkMail"_s)->isChecked());
        QVERIFY(child<QCheckBox>(&d, u"chkTrayIconTX"_s)->isChecked()); // filled after the odd ones
        QVERIFY(promptTexts().isEmpty());
        click(&d, u"cmdOK"_s);
        // Left alone, they stay as stored; unticked, the box's meaning is written.
        QCOMPARE(ReadConfigKey(u"Resolution"_s), u"2"_s);
        QCOMPARE(ConfigIni.Resolution, qint16(1));
        frmOptions again;
        child<QCheckBox>(&again, u"chkMail"_s)->click();
        click(&again, u"cmdOK"_s);
        QCOMPARE(ReadConfigKey(u"AbilitaMail"_s), u"0"_s);
        QCOMPARE(ReadConfigKey(u"Resolution"_s), u"2"_s);
    }

    void optionsApplyEnabling_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enables");
        for (const char *box :
             {"ChkAskRes", "ChkLive", "ChkLog", "chkMail", "chkResolution", "ChkRubCond", "ChkVisMess"})
            QTest::newRow(box) << QString::fromLatin1(box) << true;
        QTest::newRow("chkNoFormInvio") << u"chkNoFormInvio"_s << false;
        QTest::newRow("chkTrayIconTX") << u"chkTrayIconTX"_s << false;
        QTest::newRow("typing txtTel") << u"txtTel"_s << true;
    }
    void optionsApplyEnabling()
    {
        QFETCH(QString, name);
        QFETCH(bool, enables);
        home.writeIni("[Config]\r\n");
        LoadConfig();
        frmOptions d;
        if (auto *box = d.findChild<QCheckBox *>(name))
            box->click();
        else
            QTest::keyClicks(child<QLineEdit>(&d, name), u"1"_s);
        QCOMPARE(child<QPushButton>(&d, u"cmdApply"_s)->isEnabled(), enables);
    }

    void optionsLiveAndLog()
    {
        home.writeIni("[Config]\r\nLive=Y\r\nLog=\r\n");
        LoadConfig();
        const QString desktop = home.dir.filePath(u"XDG_CONFIG_HOME/autostart/QuorinLive.desktop"_s);
        QVERIFY(QFile::exists(desktop));
        frmOptions d;
        auto *live = child<QCheckBox>(&d, u"ChkLive"_s);
        auto *log = child<QCheckBox>(&d, u"ChkLog"_s);
        live->click();
        log->click();
        click(&d, u"cmdApply"_s);
        QVERIFY(!QFile::exists(desktop));
        QCOMPARE(ReadConfigKey(u"Live"_s, u"-"_s), QString());
        QCOMPARE(ReadConfigKey(u"Log"_s), u"Y"_s);
        QVERIFY(AppLog().LogActive());
        live->click();
        click(&d, u"cmdApply"_s); // the log switched on a second time
        QVERIFY(QFile::exists(desktop));
        QVERIFY(promptTexts().isEmpty()); // no "Log gia aperto"
        QVERIFY(fileBytes(ConfigIni.LogPath).contains("\r\n\r\n"));
        log->click();
        click(&d, u"cmdOK"_s);
        QVERIFY(!AppLog().LogActive());
        QCOMPARE(ReadConfigKey(u"Log"_s, u"-"_s), QString());
    }

    // Another program holds the settings file's lock: OK keeps the dialog open with what was typed and says
    // why (at once, one box); once that program has ended, OK stores it.
    void optionsWhileSettingsLocked()
    {
        home.writeIni("[Config]\r\nName=Mario\r\n");
        LoadConfig();
        QProcess holder;
        holder.start(u"sleep"_s, {u"600"_s});
        QVERIFY(holder.waitForStarted(TestWait::bound()));
        {
            QFile lock(ConfigIni.IniPath + u".lock"_s);
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(holder.processId()) + "\nsleep\n" +
                       QSysInfo::machineHostName().toUtf8() + "\n");
        }
        const QByteArray before = fileBytes(ConfigIni.IniPath);
        frmOptions d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d, TestWait::bound()));
        auto *name = child<QLineEdit>(&d, u"txtUserID"_s);
        name->selectAll();
        QTest::keyClicks(name, u"Luigi"_s);
        QTest::mouseClick(child<QPushButton>(&d, u"cmdOK"_s), Qt::LeftButton);
        QVERIFY(d.isVisible());
        QCOMPARE(name->text(), u"Luigi"_s);
        QCOMPARE(promptTexts().size(), 1);
        QVERIFY2(promptTexts().first().contains(u"bloccato da un altro programma. Riprovare"_s),
                 qPrintable(promptTexts().first()));
        QCOMPARE(fileBytes(ConfigIni.IniPath), before);
        QCOMPARE(ConfigIni.Name, u"Mario"_s);
        holder.kill();
        QVERIFY(holder.waitForFinished(TestWait::bound()));
        QTest::mouseClick(child<QPushButton>(&d, u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(promptTexts().size(), 1);
        QCOMPARE(ReadConfigKey(u"Name"_s), u"Luigi"_s);
    }

    void optionsCancelSavesNothing()
    {
        home.writeIni("[Config]\r\nName=Mario\r\n");
        LoadConfig();
        const QByteArray before = fileBytes(ConfigIni.IniPath);
        frmOptions d;
        child<QLineEdit>(&d, u"txtUserID"_s)->setText(u"Luigi"_s);
        click(&d, u"cmdCancel"_s);
        QCOMPARE(fileBytes(ConfigIni.IniPath), before);
        QCOMPARE(ConfigIni.Name, u"Mario"_s);
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
