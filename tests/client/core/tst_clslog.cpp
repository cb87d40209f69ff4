#include "ConfigIni.h"
#include "CoreTestSupport.h"
#include "ErrorReporting.h"
#include "clsLog.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_clsLog : public QObject
{
    Q_OBJECT

    CoreTestHome m_home;
    QString m_path;

private Q_SLOTS:
    void initTestCase()
    {
        m_home.setUp();
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        m_path = m_home.dir.filePath(u"log.txt"_s);
    }

    void init()
    {
        QFile::remove(m_path);
        Prompt::setAnswering(true);
        Err().Clear();
    }

    void nothingWhileInactive()
    {
        clsLog log;
        log.setFileName(m_path);
        QVERIFY(!log.WriteLog(u"Prima Connect"_s));
        QVERIFY(!log.WriteLine());
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(Prompt::records().isEmpty());
    }

    void lineFormat()
    {
        clsLog log;
        log.setFileName(m_path);
        log.setLogActive(true);
        QVERIFY(log.WriteLog(u"Connessione al server: faxsrv"_s));
        QVERIFY(log.WriteLog(u"Dopo Connect"_s));
        QVERIFY(!log.isOpen());
        const QString text = QString::fromUtf8(fileBytes(m_path));
        static const QRegularExpression line(
            uR"(^\d{2}/\d{2}/\d{4}:\d{2}:\d{2}:\d{2} - Connessione al server: faxsrv\r\n)"
            uR"(\d{2}/\d{2}/\d{4}:\d{2}:\d{2}:\d{2} - Dopo Connect\r\n$)"_s);
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
        QVERIFY(text.contains(QString::number(QDate::currentDate().year())));
    }

    void noLineEndAndAccents()
    {
        clsLog log;
        log.setFileName(m_path);
        log.setLogActive(true);
        QVERIFY(log.WriteLog(u"è"_s, true));
        QVERIFY(fileBytes(m_path).endsWith(" - \xC3\xA8"));
    }

    void writeModeKeepsLastLineOnly()
    {
        clsLog log;
        log.setFileName(m_path);
        log.setOpenMode(0);
        log.setLogActive(true);
        QVERIFY(log.WriteLog(u"uno"_s));
        QVERIFY(log.WriteLog(u"due"_s));
        const QByteArray bytes = fileBytes(m_path);
        QVERIFY(bytes.endsWith(" - due\r\n"));
        QVERIFY(!bytes.contains("uno"));
    }

    void errors_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<bool>("suppress");
        QTest::addColumn<QString>("message");
        QTest::newRow("open twice") << 0 << false << u"Log gia aperto 511"_s;
        QTest::newRow("no file name") << 1 << false << u"Specificare il nome del File!"_s;
        QTest::newRow("empty text") << 2 << false << u"Nessun dato da scrivere sul file!"_s;
        QTest::newRow("cannot open") << 3 << false << u"Errore di apertura del file di LOG "_s;
        QTest::newRow("suppressed") << 2 << true << u"Nessun dato da scrivere sul file!"_s;
    }
    void errors()
    {
        QFETCH(int, scenario);
        QFETCH(bool, suppress);
        QFETCH(QString, message);
        clsLog log;
        log.setSupressErrors(suppress);
        log.setLogActive(true);
        log.setFileName(m_path);
        switch (scenario) {
        case 0:
            QVERIFY(log.OpenLog());
            QVERIFY(!log.OpenLog());
            QCOMPARE(log.FileNumber(), qint16(511));
            break;
        case 1:
            log.setFileName({});
            QVERIFY(!log.WriteLog(u"x"_s));
            break;
        case 2:
            QVERIFY(!log.WriteLog(QString()));
            QVERIFY(fileBytes(m_path).isEmpty());
            break;
        case 3:
            QVERIFY(QDir().mkpath(m_path));
            QVERIFY(!log.WriteLog(u"x"_s));
            QDir(m_path).removeRecursively();
            message += m_path + u". Impossibile scrivere il file "_s + m_path + u": al suo posto c'è una cartella."_s;
            break;
        }
        QCOMPARE(Err().Description, message);
        if (suppress) {
            QVERIFY(Prompt::records().isEmpty());
            return;
        }
        QCOMPARE(Prompt::records().size(), 1);
        QCOMPARE(Prompt::lastRecord().title, u"Error"_s);
        QCOMPARE(Prompt::lastRecord().text, message);
        QCOMPARE(Prompt::lastRecord().icon, QMessageBox::Warning);
    }

    // A full disk fails every line: one box for the run that says why, the rest to standard error only.
    void fullFolderToldOnce()
    {
        if (!QFileInfo(u"/dev/full"_s).isWritable())
            QSKIP("no /dev/full");
        clsLog log;
        log.setLogActive(true);
        log.setFileName(u"/dev/full"_s);
        for (int i = 0; i < 30; ++i)
            QVERIFY(!log.WriteLog(u"riga %1"_s.arg(i)));
        QCOMPARE(Prompt::records().size(), 1);
        const QString told = u"Errore durante la scrittura del log! Impossibile scrivere il file /dev/full: il disco "
                             u"è pieno (liberare spazio e riprovare)."_s;
        QCOMPARE(Prompt::lastRecord().text, told);
        QCOMPARE(Err().Description, told);
        QVERIFY(!log.isOpen());
    }

    // Switching the log on twice before any line is written (start-up, then the options dialog) used to
    // leave the file held open and fail with "already open".
    void switchOnTwiceBeforeAnyLine()
    {
        AppLog().setLogActive(false);
        ApplyLogSetting(true);
        QVERIFY(!AppLog().isOpen());
        AppLog().setLogActive(false);
        ApplyLogSetting(true);
        ApplyLogSetting(true);
        QVERIFY(AppLog().WriteLog(u"Dopo Connect"_s));
        QVERIFY(Prompt::records().isEmpty());
        const QByteArray bytes = fileBytes(ConfigIni.LogPath);
        QVERIFY(bytes.startsWith("\r\n\r\n"));
        QVERIFY(bytes.endsWith(" - Dopo Connect\r\n"));
        QCOMPARE(ConfigIni.LogPath, m_home.settings(u"QuorinLog.txt"_s));
        ApplyLogSetting(false);
        QVERIFY(!AppLog().WriteLog(u"off"_s));
        QVERIFY(!fileBytes(ConfigIni.LogPath).contains("off"));
    }

    void version() { QCOMPARE(clsLog().Version(), u"0,1.1"_s); }
};

QTEST_MAIN(tst_clsLog)
#include "tst_clslog.moc"
