// The mail hand-over: what the desktop's mail program is given (a fake xdg-email records its arguments).
#include "AppPaths.h"
#include "DialogsTestSupport.h"
#include "FaxMail.h"
#include "MailHandover.h"
#include "WriteFaults.h"
#include "clsLog.h"

#include <QDirIterator>

#include <memory>

class tst_Mail : public QObject
{
    Q_OBJECT

    DialogsTestHome home;
    QString m_bin, m_calls, m_path;

    // Arguments of each call of the fake program so far (a call still being written is not named "call-").
    QList<QStringList> calls() const
    {
        QList<QStringList> all;
        QDirIterator it(m_calls, {u"call-*"_s}, QDir::Files);
        while (it.hasNext()) {
            const QByteArray bytes = fileBytes(it.next());
            QStringList args;
            for (const QByteArray &a : bytes.split('\0'))
                args << QString::fromUtf8(a);
            args.removeLast(); // after the last NUL
            all << args;
        }
        return all;
    }
    void clearCalls()
    {
        QDir(m_calls).removeRecursively();
        QDir().mkpath(m_calls);
    }
    static QString valueOf(const QStringList &args, const QString &option)
    {
        const qsizetype i = args.indexOf(option);
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
    }
    static QStringList valuesOf(const QStringList &args, const QString &option)
    {
        QStringList values;
        for (qsizetype i = 0; i + 1 < args.size(); ++i) {
            if (args.at(i) == option)
                values << args.at(i + 1);
        }
        return values;
    }
    void setMailProgram(bool present)
    {
        qputenv("PATH", QFile::encodeName(present ? m_bin + u':' + m_path : home.dir.filePath(u"nobin"_s)));
    }
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = home.dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
        return path;
    }
    // A hand-over that must have gone out: the sentinel proves that nothing else went before it.
    void expectOnlySentinel()
    {
        MailHandover sentinel;
        QVERIFY(sentinel.SignOn());
        QVERIFY(sentinel.Send({{}, u"sentinel"_s, {}, {}}));
        QUORIN_TRY_COMPARE(calls().size(), 1);
        QCOMPARE(valueOf(calls().first(), u"--subject"_s), u"sentinel"_s);
    }

private Q_SLOTS:
    void initTestCase()
    {
        home.setUp();
        m_path = qEnvironmentVariable("PATH");
        m_bin = home.dir.filePath(u"bin"_s);
        m_calls = home.dir.filePath(u"calls"_s);
        QDir().mkpath(m_bin);
        QDir().mkpath(home.dir.filePath(u"nobin"_s));
        qputenv("QUORIN_TEST_MAIL_CALLS", QFile::encodeName(m_calls));
        const QString fake = writeFile(u"bin/xdg-email"_s, "#!/bin/sh\n"
                                                           "dir=\"$QUORIN_TEST_MAIL_CALLS\"\n"
                                                           "printf '%s\\0' \"$@\" > \"$dir/.part-$$\"\n"
                                                           "mv \"$dir/.part-$$\" \"$dir/call-$$\"\n");
        QFile::setPermissions(fake, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        home.writeIni("[Config]\r\nAbilitaMail=1\r\n");
        LoadConfig();
    }
    void init()
    {
        clearCalls();
        setMailProgram(true);
        Prompt::clearRecords();
        ConfigIni.AbilitaMail = 1;
        ConfigIni.ShowRubrica = false;
    }

    void signOnNeedsTheMailProgram()
    {
        MailHandover mail;
        QVERIFY(mail.SignOn());
        QVERIFY(mail.SessionID() != 0);
        mail.SignOff();
        QCOMPARE(mail.SessionID(), 0);
        QString error;
        QVERIFY(!mail.Send({{}, u"x"_s, {}, {}}, &error));
        setMailProgram(false);
        QVERIFY(!mail.SignOn(&error));
        QVERIFY(!error.isEmpty());
    }

    void handOverArgumentsAndAttachmentCopy()
    {
        const QString fax = writeFile(u"TMPFAX.TIF"_s, "II*-first image");
        MailHandover mail;
        QVERIFY(mail.SignOn());
        MailHandover::Message message{
            {{u"SMTP:rossi@example.com"_s, u"Rossi"_s}, {u"--attach=/etc/passwd"_s, u"odd"_s}},
            u"Inoltro Fax"_s,
            u"Fax da Rossi\r\nPagine: 2 – è"_s,
            fax};
        QVERIFY(mail.Send(message));
        writeFile(u"TMPFAX.TIF"_s, "II*-the next download");
        QUORIN_TRY_COMPARE(calls().size(), 1);
        const QStringList args = calls().first();
        QCOMPARE(args.first(), u"--utf8"_s);
        QCOMPARE(valueOf(args, u"--subject"_s), u"Inoltro Fax"_s);
        QCOMPARE(valueOf(args, u"--body"_s), u"Fax da Rossi\r\nPagine: 2 – è"_s);
        // Addresses travel only as values of --to, whatever they look like.
        QCOMPARE(valuesOf(args, u"--to"_s), (QStringList{u"rossi@example.com"_s, u"--attach=/etc/passwd"_s}));
        QCOMPARE(valuesOf(args, u"--attach"_s).size(), 1);
        const QString copy = valueOf(args, u"--attach"_s);
        QVERIFY(copy != fax);
        QVERIFY(copy.startsWith(home.dir.filePath(u"XDG_RUNTIME_DIR/quorin/"_s)));
        QVERIFY(copy.endsWith(u"/TMPFAX.TIF"_s));
        QCOMPARE(fileBytes(copy), QByteArray("II*-first image"));
    }

    // An attachment whose copy does not fit says why in the box and starts no mail program: a full disk
    // where the test may mount a small one over the private folder, else the file-size limit.
    void attachmentCopyThatDoesNotFit()
    {
        writeFile(u"QVPREVIEW0.TIF"_s, QByteArray(200000, 'x'));
        WriteFaults::SmallDisk disk(AppPaths::tempDir());
        std::unique_ptr<WriteFaults::FileSizeLimit> limit;
        if (!disk.mounted())
            limit = std::make_unique<WriteFaults::FileSizeLimit>(1000);
        FaxMail mail;
        mail.SpedisciMail(u"P101"_s, {}, home.dir.filePath(u"QVPREVIEW0.TIF"_s), u"t"_s);
        limit.reset();
        const QString told = promptTexts().join(u'\n');
        QVERIFY2(told.contains(u"Impossibile scrivere il file "_s + AppPaths::tempDir()) &&
                     told.contains(disk.mounted() ? u": il disco è pieno"_s : u": il file supererebbe"_s),
                 qPrintable(told));
        QVERIFY(calls().isEmpty());
    }

    void spedisciMail_data()
    {
        QTest::addColumn<int>("abilitaMail");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<bool>("showRubrica");
        QTest::addColumn<QString>("subject"); // empty: nothing handed over
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<QString>("message");

        const QString missing = u"Attenzione!! Non esiste il file associato al fax, impossibile inviare."_s;
        QTest::newRow("fax of the list") << 1 << u"P101"_s << true << false << u"Inoltro Fax"_s
                                         << u"testo del fax"_s << QStringList() << QString();
        QTest::newRow("scanned document")
            << 1 << u"-1"_s << true << false << u"Invio Fax"_s
            << u"Invio di documento acquisito da scanner."_s << QStringList() << QString();
        QTest::newRow("picked contacts")
            << 1 << u"P101"_s << true << true << u"Inoltro Fax"_s << u"testo del fax"_s
            << QStringList{u"anna@example.com"_s} << QString();
        QTest::newRow("scanned file gone")
            << 1 << u"-1"_s << false << false << QString() << QString() << QStringList() << missing;
        QTest::newRow("fax file gone")
            << 1 << u"P101"_s << false << false << QString() << QString() << QStringList() << missing;
        QTest::newRow("empty key") << 1 << QString() << true << false << QString() << QString()
                                   << QStringList() << QString();
        QTest::newRow("mail option off")
            << 0 << u"P101"_s << true << true << QString() << QString() << QStringList() << QString();
    }
    void spedisciMail()
    {
        QFETCH(int, abilitaMail);
        QFETCH(QString, key);
        QFETCH(bool, fileThere);
        QFETCH(bool, showRubrica);
        QFETCH(QString, subject);
        ConfigIni.AbilitaMail = qint16(abilitaMail);
        ConfigIni.ShowRubrica = showRubrica;
        const QString faxFile = home.dir.filePath(u"QVPREVIEW0.TIF"_s);
        const QString scanFile = home.dir.filePath(u"scan.tif"_s);
        QFile::remove(faxFile);
        QFile::remove(scanFile);
        if (fileThere) {
            writeFile(u"QVPREVIEW0.TIF"_s, "II*-fax");
            writeFile(u"scan.tif"_s, "II*-scan");
        }
        const QString logFile = home.dir.filePath(u"mail-log.txt"_s);
        QFile::remove(logFile);
        AppLog().setFileName(logFile);
        AppLog().setLogActive(true);

        FaxMail mail;
        int picks = 0;
        mail.setRecipientPicker([&](QWidget *) {
            ++picks;
            return QList<MailHandover::Recipient>{{u"anna@example.com"_s, u"Anna"_s}};
        });
        QCOMPARE(mail.StartMail(), abilitaMail != 0);
        mail.SpedisciMail(key, scanFile, faxFile, u"testo del fax"_s);
        AppLog().setLogActive(false);

        QFETCH(QString, message);
        QCOMPARE(promptTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(fileBytes(logFile).contains("SpedisciMail"), abilitaMail != 0);
        QCOMPARE(picks, abilitaMail != 0 && showRubrica ? 1 : 0);
        if (subject.isEmpty()) {
            expectOnlySentinel();
            return;
        }
        QFETCH(QString, body);
        QFETCH(QStringList, to);
        QUORIN_TRY_COMPARE(calls().size(), 1);
        const QStringList args = calls().first();
        QCOMPARE(valueOf(args, u"--subject"_s), subject);
        QCOMPARE(valueOf(args, u"--body"_s), body);
        QCOMPARE(valuesOf(args, u"--to"_s), to);
        QCOMPARE(fileBytes(valueOf(args, u"--attach"_s)),
                 key == u"-1"_s ? QByteArray("II*-scan") : QByteArray("II*-fax"));
    }

    void noMailProgram()
    {
        setMailProgram(false);
        FaxMail mail;
        QVERIFY(!mail.StartMail());
        QCOMPARE(promptTexts().size(), 1);
        QVERIFY(promptTexts().first().startsWith(u"Impossibile spedire e-mail: ("_s));
        Prompt::clearRecords();
        writeFile(u"QVPREVIEW0.TIF"_s, "II*-fax");
        mail.SpedisciMail(u"P101"_s, {}, home.dir.filePath(u"QVPREVIEW0.TIF"_s), u"t"_s);
        const QStringList texts = promptTexts();
        QCOMPARE(texts.size(), 2); // the retry's sign-on, then no session
        QCOMPARE(texts.last(), u"Impossibile inizializzare Mapi"_s);
        setMailProgram(true);
        expectOnlySentinel();
    }

    void onlyPlainAddressesReachTheMailProgram()
    {
        // Server text becomes a recipient only when it is a plain address: the mail client may quote it
        // inside a command of its own, where a quote or a comma would add an attachment of its own.
        const QString fax = writeFile(u"TMPFAX.TIF"_s, "II*-forwarded");
        const QString attack = u"u@x',attachment='file:///home/mario/.ssh/id_rsa',cc='x"_s;
        const QStringList bad{attack, u"a b@x.it"_s, u"\"q\"@x.it"_s, u"<l@x.it>"_s, u"c\u0001d@x.it"_s};
        FaxMail mail;
        QVERIFY(mail.StartMail());
        QVERIFY(mail.SendForwardMails(u"ok@example.com;"_s + bad.join(u';'), u"z,y@x.it"_s, u"testo"_s, fax));
        QUORIN_TRY_COMPARE(calls().size(), 1);
        const QStringList args = calls().first();
        QCOMPARE(valuesOf(args, u"--to"_s), QStringList{u"ok@example.com"_s});
        QVERIFY(!args.contains(u"--attach"_s)); // the list with the attachment held no usable address
        for (const QString &a : args)
            QVERIFY2(!a.contains(u'\'') && !a.contains(u','), qPrintable(a));
        // The user is told which addresses were left out.
        const QString told = promptTexts().join(u'\n');
        for (const QString &a : bad)
            QVERIFY2(told.contains(a), qPrintable(told));
        QVERIFY(told.contains(u"z,y@x.it"_s));
        for (const QString &good : {u"ok@example.com"_s, u"--attach=/etc/passwd"_s, u"nome.cognome+fax@example.it"_s})
            QVERIFY(MailHandover::isPlainAddress(good));
        for (const QString &no : {u"a;b@x.it"_s, u"a\tb@x.it"_s, u"a`b@x.it"_s, u"a\u200bb@x.it"_s, QString()})
            QVERIFY2(!MailHandover::isPlainAddress(no), qPrintable(no));
    }

    void forwardMails()
    {
        const QString fax = writeFile(u"TMPFAX.TIF"_s, "II*-forwarded");
        FaxMail mail;
        QVERIFY(mail.StartMail());
        QVERIFY(mail.SendForwardMails(u";bianchi@example.com;verdi@example.com"_s, u";rossi@example.com"_s,
                                      u"testo"_s, fax));
        QUORIN_TRY_COMPARE(calls().size(), 2);
        QList<QStringList> all = calls();
        if (valueOf(all.first(), u"--attach"_s).isEmpty())
            std::swap(all[0], all[1]);
        QCOMPARE(valuesOf(all[0], u"--to"_s), QStringList{u"rossi@example.com"_s});
        QCOMPARE(fileBytes(valueOf(all[0], u"--attach"_s)), QByteArray("II*-forwarded"));
        QCOMPARE(valuesOf(all[1], u"--to"_s),
                 (QStringList{u"bianchi@example.com"_s, u"verdi@example.com"_s}));
        QVERIFY(!all[1].contains(u"--attach"_s));
        for (const QStringList &args : std::as_const(all)) {
            QCOMPARE(valueOf(args, u"--subject"_s), u"Inoltro Fax"_s);
            QCOMPARE(valueOf(args, u"--body"_s), u"testo"_s);
        }
        // Empty lists send nothing.
        clearCalls();
        QVERIFY(mail.SendForwardMails(QString(), u";"_s, u"testo"_s, fax));
        expectOnlySentinel();
    }
};

QTEST_MAIN(tst_Mail)
#include "tst_mail.moc"
