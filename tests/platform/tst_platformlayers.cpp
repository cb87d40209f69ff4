#include "AppPaths.h"
#include "Autostart.h"
#include "Processes.h"
#include "ProfileFile.h"
#include "ProgramStarter.h"
#include "Prompt.h"
#include "Registry.h"
#include "SystemUser.h"
#include "WriteFailure.h"
#include "WriteFaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_PlatformLayers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(u"config"_s).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_home.filePath(u"data"_s).toLocal8Bit());
    }

    // What a box shows of a text that grows with the data: the first lines, how many more, and the closing
    // question; the whole text is its detail. A text that fits is shown as it is, with no detail.
    void boxTextFitsTheScreen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shownEnd"); // how the shown text ends
        QTest::addColumn<bool>("cut");
        QStringList problems;
        for (int i = 1; i <= 412; ++i)
            problems << u"Riga %1: riga non valida"_s.arg(i);
        QTest::newRow("short") << u"Il file non esiste.\n\nRiprovare?"_s << u"Riprovare?"_s << false;
        QTest::newRow("412 lines, a question after them")
            << u"Problemi:\n"_s + problems.join(u'\n') + u"\n\nContinuare?"_s
            << u"\n\u2026 e altri 394\n\nContinuare?"_s << true;
        QTest::newRow("412 lines, CR LF, no question")
            << problems.join(u"\r\n"_s) << u"\n\u2026 e altri 392"_s << true;
        QTest::newRow("one line of 200 joined names")
            << QStringList(200, u"Mario Rossi"_s).join(u';') + u"\r\n\r\nSpedire comunque?"_s
            << u"\u2026\n\nSpedire comunque?"_s << true;
    }
    void boxTextFitsTheScreen()
    {
        QFETCH(QString, text);
        QFETCH(QString, shownEnd);
        QFETCH(bool, cut);
        QString detail;
        const QString shown = Prompt::fittedText(text, &detail);
        QVERIFY2(shown.endsWith(shownEnd), qPrintable(shown.right(120)));
        QCOMPARE(detail, cut ? text : QString());
        qsizetype wrapped = 0;
        for (const QString &line : shown.split(u'\n'))
            wrapped += qMax<qsizetype>(1, (line.size() + 69) / 70);
        QVERIFY2(wrapped <= 22, qPrintable(QString::number(wrapped)));
    }

    // Every way the suite writes a file says why it failed in the same words, for causes made for real:
    // a full and a read-only disk (a small tmpfs, where this process may mount one; else /dev/full for
    // the full one), a file-size limit, a read-only file, a folder closed to new files, a missing folder.
    // The reason is the same whether errno survived the failure or only the device's text tells it.
    void writeFailureReasons_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("said");
        const QString full = u"il disco è pieno (liberare spazio e riprovare)"_s;
        QTest::newRow("full disk") << u"full"_s << 200000 << full;
        // Held in the file's buffer until the commit, where QSaveFile alone would lose the refusal.
        QTest::newRow("full disk, small file") << u"full"_s << 300 << full;
        QTest::newRow("read-only disk") << u"ro-disk"_s << 300 << u"il disco che la contiene è di sola lettura"_s;
        QTest::newRow("file-size limit") << u"fsize"_s << 200000
                                         << u"il file supererebbe la dimensione massima che il sistema concede"_s;
        QTest::newRow("read-only file") << u"ro-file"_s << 300 << u"il file è di sola lettura"_s;
        QTest::newRow("folder closed") << u"ro-folder"_s << 300 << u"la cartella %1 non consente di scrivere"_s;
        QTest::newRow("folder missing") << u"missing"_s << 300
                                        << u"la cartella %1 non esiste (crearla o sceglierne un'altra)"_s;
    }
    void writeFailureReasons()
    {
        QFETCH(QString, cause);
        QFETCH(int, size);
        QFETCH(QString, said);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        QString folder = work.filePath(u"disk"_s);
        QDir().mkpath(folder);
        const QByteArray bytes(size, 'f');
        const QString source = work.filePath(u"source.bin"_s);
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        std::unique_ptr<WriteFaults::SmallDisk> disk;
        std::unique_ptr<WriteFaults::FileSizeLimit> limit;
        std::unique_ptr<WriteFaults::ModesHold> modes;
        QString target = folder + u"/fax.tif"_s;
        if (cause == u"full" || cause == u"ro-disk") {
            disk = std::make_unique<WriteFaults::SmallDisk>(folder);
            if (disk->mounted())
                QVERIFY(cause == u"full" ? disk->fill() : disk->makeReadOnly());
            else if (cause == u"full" && QFileInfo(u"/dev/full"_s).isWritable())
                target = u"/dev/full"_s, folder = u"/dev"_s;
            else
                QSKIP("no small disk can be made here");
        } else if (cause == u"fsize") {
            limit = std::make_unique<WriteFaults::FileSizeLimit>(1000);
        } else if (cause == u"ro-file") {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            modes = std::make_unique<WriteFaults::ModesHold>();
        } else if (cause == u"ro-folder") {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            modes = std::make_unique<WriteFaults::ModesHold>();
        } else {
            folder = work.filePath(u"gone"_s);
            target = folder + u"/fax.tif"_s;
        }
        const auto reopen = qScopeGuard([&] { QFile::setPermissions(folder, QFileDevice::ReadOwner |
                                                                             QFileDevice::WriteOwner |
                                                                             QFileDevice::ExeOwner); });
        if (said.contains(u"%1"))
            said = said.arg(folder);
        const bool device = target == u"/dev/full";

        // A whole file (images, the address book, the settings file, units), and what it rests on with
        // errno kept and errno lost.
        if (!device) {
            QString why;
            QVERIFY(!WriteFailure::save(target, bytes, &why));
            QCOMPARE(why, said);
            QSaveFile whole(target);
            errno = 0;
            const bool written = whole.open(QIODevice::WriteOnly) && whole.write(bytes) == bytes.size() &&
                                 whole.flush() && whole.commit();
            const int err = errno;
            QVERIFY(!written);
            QCOMPARE(WriteFailure::reason(target, WriteFailure::errorOf(whole, err), bytes.size()), said);
            QCOMPARE(WriteFailure::reason(target, WriteFailure::errorOf(whole, 0), bytes.size()), said);
            QCOMPARE(WriteFailure::sentence(target, err, bytes.size()),
                     u"Impossibile scrivere il file %1: %2."_s.arg(target, said));
        }
        // A file written as it goes (the log, a download).
        {
            QFile out(target);
            errno = 0;
            const bool written = out.open(QIODevice::WriteOnly | QIODevice::Append) &&
                                 out.write(bytes) == bytes.size() && out.flush();
            QVERIFY(!written);
            QCOMPARE(WriteFailure::reason(target, WriteFailure::errorOf(out, errno)), said);
        }
        // A copy (the mail attachment, a printed TIFF, kept documents).
        if (!device) {
            QString why;
            QVERIFY(!WriteFailure::copy(source, target, &why));
            QCOMPARE(why, u"Impossibile scrivere il file %1: %2."_s.arg(target, said));
        }
        // The settings file (its folder is made when missing).
        if (!device && cause != u"missing") {
            QVERIFY(!ProfileFile::writeString(target, u"Config"_s, u"Server"_s, QString::fromLatin1(bytes)));
            QCOMPARE(ProfileFile::lastWriteFailure(), said);
        }
    }

    void autostartEntry()
    {
        const QString path = Autostart::entryPath(u"QuorinLive"_s);
        QCOMPARE(path, m_home.filePath(u"config/autostart/QuorinLive.desktop"_s));
        QVERIFY(Autostart::command(u"QuorinLive"_s).isEmpty());
        QVERIFY(Autostart::write(u"QuorinLive"_s, u"\"/opt/my quorin/QuorinLive\""_s));
        QCOMPARE(Autostart::command(u"QuorinLive"_s), u"\"/opt/my quorin/QuorinLive\""_s);
        QVERIFY(Autostart::remove(u"QuorinLive"_s));
        QVERIFY(!QFile::exists(path));
        QVERIFY(Autostart::remove(u"QuorinLive"_s));
    }

    void registryValues_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("type");
        QTest::newRow("string") << QVariant(u"C:\\Programmi\\Quorin"_s) << int(Registry::String);
        QTest::newRow("blanks and line ends") << QVariant(u" a\r\nb=c; d% "_s) << int(Registry::String);
        QTest::newRow("accents") << QVariant(u"Città"_s) << int(Registry::String);
        QTest::newRow("empty string") << QVariant(QString(u""_s)) << int(Registry::String);
        QTest::newRow("binary") << QVariant(QByteArray("\x00\x01\xff", 3)) << int(Registry::Binary);
        QTest::newRow("dword") << QVariant(quint32(0xdeadbeef)) << int(Registry::DWord);
    }
    void registryValues()
    {
        QFETCH(QVariant, value);
        QFETCH(int, type);
        const QString key = u"SOFTWARE\\Quorin\\Test"_s;
        QVERIFY(Registry::setValue(Registry::CurrentUser, key, u"Val"_s, value, type));
        QCOMPARE(Registry::value(Registry::CurrentUser, key, u"val"_s), value);
        QVERIFY(!Registry::value(Registry::LocalMachine, key, u"Val"_s).isValid());
        QVERIFY(Registry::removeValue(Registry::CurrentUser, key, u"Val"_s));
        QVERIFY(!Registry::value(Registry::CurrentUser, key, u"Val"_s).isValid());
        QVERIFY(Registry::filePath().startsWith(m_home.path()));
    }

    void processes()
    {
        // Our own process is in the list, by its file name.
        const QString self = QCoreApplication::applicationFilePath().section(u'/', -1);
        QVERIFY(Processes::isRunning(self.left(10).toUpper()));
        QVERIFY(!Processes::isRunning(u"no-such-program-xyz"_s));
        bool found = false;
        for (const Processes::Entry &e : Processes::list())
            found = found || e.pid == QCoreApplication::applicationPid();
        QVERIFY(found);
    }

    void processesOfOtherUsersDoNotCount()
    {
        // The same program run by this user and by another one: only ours is seen.
        QTemporaryDir dir(QDir::tempPath() + u"/quorin-procs-XXXXXX"_s);
        QVERIFY(dir.isValid());
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
        const QString name = u"qvprocs"_s + QString::number(QCoreApplication::applicationPid());
        const QString program = dir.filePath(name);
        QVERIFY(QFile::copy(u"/bin/sleep"_s, program));
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadOther | QFileDevice::ExeOther);
        const auto runs = [&](const QString &prefix) { return Processes::isRunning(prefix); };
        if (::geteuid() == 0) {
            QProcess other;
            other.start(u"setpriv"_s, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                       program, u"30"_s});
            QVERIFY(other.waitForStarted(TestWait::bound()));
            const QString comm = u"/proc/"_s + QString::number(other.processId()) + u"/comm"_s;
            const auto shortName = [&] {
                QFile f(comm);
                return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
            };
            QUORIN_TRY_COMPARE(shortName(), name.left(15)); // setpriv has become the program
            QVERIFY(!runs(name));
            other.kill();
            other.waitForFinished();
        }
        QProcess mine;
        mine.start(program, {u"30"_s});
        QVERIFY(mine.waitForStarted(TestWait::bound()));
        QUORIN_TRY_VERIFY(runs(name.toUpper()));
        mine.kill();
        mine.waitForFinished();
    }

    void userName()
    {
        const passwd *pw = ::getpwuid(::geteuid());
        QVERIFY(pw);
        QCOMPARE(SystemUser::loginName(), QString::fromLocal8Bit(pw->pw_name));
    }

    void programStarter()
    {
        QCOMPARE(ProgramStarter::programPath(u"QVDozeza.exe"_s), AppPaths::programDir() + u"/QVDozeza"_s);
        QCOMPARE(ProgramStarter::programPath(u"Sendora"_s), AppPaths::programDir() + u"/Sendora"_s);
        QCOMPARE(ProgramStarter::start(u"NoSuchProgram.exe"_s), ProgramStarter::Result::NotFound);
    }
};

QTEST_GUILESS_MAIN(tst_PlatformLayers)
#include "tst_platformlayers.moc"
