#include "ProfileFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_ProfileFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    void put(const QByteArray &bytes)
    {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray bytes() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(u"Darezi.ini"_s);
        QFile::remove(m_path);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray file =
            "; shared settings\r\n[Other]\r\nServer=wrong\r\n[Config]\r\n  Server = faxsrv \r\n"
            "Port= 9456\r\nTo=a=b\r\nLog=s\r\nEmpty=\r\n;Name=comment\r\n[Next]\r\nName=x\r\n";
        QTest::newRow("trimmed value") << file << u"Config"_s << u"Server"_s << u"faxsrv"_s;
        QTest::newRow("section any case") << file << u"CONFIG"_s << u"server"_s << u"faxsrv"_s;
        QTest::newRow("first section wins") << file << u"other"_s << u"SERVER"_s << u"wrong"_s;
        QTest::newRow("value holding =") << file << u"Config"_s << u"To"_s << u"a=b"_s;
        QTest::newRow("port with blank") << file << u"Config"_s << u"Port"_s << u"9456"_s;
        QTest::newRow("empty value") << file << u"Config"_s << u"Empty"_s << QString();
        QTest::newRow("comment is no key") << file << u"Config"_s << u"Name"_s << u"dflt"_s;
        QTest::newRow("key of next section") << file << u"Next"_s << u"name"_s << u"x"_s;
        QTest::newRow("missing section") << file << u"Nope"_s << u"Server"_s << u"dflt"_s;
        QTest::newRow("missing key") << file << u"Config"_s << u"Nope"_s << u"dflt"_s;
        QTest::newRow("cp1252 fallback")
            << QByteArray("[Config]\nName=Citt\xE0\n") << u"Config"_s << u"Name"_s << u"Città"_s;
        QTest::newRow("utf-8") << QByteArray("[Config]\nName=Citt\xC3\xA0\n") << u"Config"_s << u"Name"_s
                               << u"Città"_s;
        QTest::newRow("utf-8 with a stray byte") << QByteArray("[Config]\nName=Citt\xC3\xA0 caff\xE8\n")
                                                 << u"Config"_s << u"Name"_s << u"Città caffè"_s;
        QTest::newRow("quoted") << QByteArray("[Config]\nName= \"a b \" \n") << u"Config"_s << u"Name"_s
                                << u"a b "_s;
        QTest::newRow("one quote stays")
            << QByteArray("[Config]\nName=\"a\n") << u"Config"_s << u"Name"_s << u"\"a"_s;
        QTest::newRow("bom") << QByteArray("\xEF\xBB\xBF[Config]\nName=n\n") << u"Config"_s << u"Name"_s
                             << u"n"_s;
        QTest::newRow("no final line end")
            << QByteArray("[Config]\nName=n") << u"Config"_s << u"Name"_s << u"n"_s;
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        put(content);
        const QString value = ProfileFile::readString(m_path, section, key, u"dflt"_s);
        QCOMPARE(value, expected.isNull() ? QString(u""_s) : expected);
    }

    void missingFile()
    {
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"Server"_s, u"d"_s), u"d"_s);
        QCOMPARE(ProfileFile::readInt(m_path, u"Config"_s, u"Port"_s, 7), 7);
        QVERIFY(!QFile::exists(m_path));
    }

    void readInt_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("leading blank") << QByteArray(" 9456") << 9456;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12;
        QTest::newRow("text") << QByteArray("abc") << 0;
        QTest::newRow("negative") << QByteArray("-3") << -3;
        QTest::newRow("empty gives default") << QByteArray("") << 42;
        QTest::newRow("huge") << QByteArray("99999999999") << INT_MAX;
    }
    void readInt()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        put("[Config]\r\nPort=" + value + "\r\n");
        QCOMPARE(ProfileFile::readInt(m_path, u"config"_s, u"PORT"_s, 42), expected);
    }

    void writeKeepsEveryOtherByte()
    {
        const QByteArray before = "; written by hand\r\n[Printer]\r\nFaxCover=c.cpe   \r\n\r\n[Config]\r\n"
                                  "Server = old\r\n# note\r\nPort=1\r\n\r\n[Tray]\r\nX=\xE0\r\n";
        put(before);
        QVERIFY(ProfileFile::writeString(m_path, u"CONFIG"_s, u"server"_s, u"new"_s));
        QByteArray expected = before;
        expected.replace("Server = old", "Server =new");
        QCOMPARE(bytes(), expected);
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"Server"_s), u"new"_s);
    }

    void writeAddsKeyToSection()
    {
        put("[Config]\nServer=s\n\n[Tray]\nA=1\n");
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"Port"_s, u" 9456"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nServer=s\nPort= 9456\n\n[Tray]\nA=1\n"));
        QCOMPARE(ProfileFile::readInt(m_path, u"Config"_s, u"Port"_s), 9456);
    }

    void writeCreatesFileAndSection()
    {
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"Name"_s, u"Città"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nName=Citt\xC3\xA0\n"));
        put("[Tray]\r\nA=1"); // no final line end
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"Log"_s, u"Y"_s));
        QCOMPARE(bytes(), QByteArray("[Tray]\r\nA=1\r\n[Config]\r\nLog=Y\r\n"));
    }

    void writeValueWithEqualsAndEmpty()
    {
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"File"_s, u"/a=b/x.tif+/c.tif"_s));
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"File"_s), u"/a=b/x.tif+/c.tif"_s);
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"File"_s, QString()));
        QVERIFY(ProfileFile::hasKey(m_path, u"Config"_s, u"File"_s));
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"File"_s, u"d"_s), QString(u""_s));
    }

    void writeRefusesLineBreaks()
    {
        put("[Config]\nA=1\n");
        QVERIFY(!ProfileFile::writeString(m_path, u"Config"_s, u"A"_s, u"x\ninjected=1"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nA=1\n"));
    }

    void writeThroughLink()
    {
        const QString target = m_dir.filePath(u"shared.ini"_s);
        QFile::remove(target);
        QVERIFY(QFile::link(target, m_path));
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"A"_s, u"1"_s));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(ProfileFile::readString(target, u"Config"_s, u"A"_s), u"1"_s);
        QVERIFY(!QFile::exists(m_path + u".lock"_s));
    }

    void removeKey()
    {
        put("[Config]\nA=1\nB=2\n");
        QVERIFY(ProfileFile::removeKey(m_path, u"config"_s, u"a"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nB=2\n"));
        QVERIFY(ProfileFile::removeKey(m_path, u"config"_s, u"missing"_s));

        // A key written twice by hand: removing it must not bring the second value back.
        put("[Config]\nA=1\nB=2\na=old\n[Other]\nA=3\n");
        QVERIFY(ProfileFile::removeKey(m_path, u"Config"_s, u"A"_s));
        QVERIFY(!ProfileFile::hasKey(m_path, u"Config"_s, u"A"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nB=2\n[Other]\nA=3\n"));
    }

    void unreadableFile()
    {
        // A folder where the file should be: reads give defaults, writes fail, nothing crashes.
        QVERIFY(QDir().mkpath(m_path));
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"Server"_s, u"d"_s), u"d"_s);
        QVERIFY(!ProfileFile::writeString(m_path, u"Config"_s, u"Server"_s, u"x"_s));
        QDir(m_path).removeRecursively();
        if (::geteuid() == 0)
            return; // root reads any file
        put("[Config]\nServer=s\n");
        QFile::setPermissions(m_path, {});
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"Server"_s, u"d"_s), u"d"_s);
        QVERIFY(!ProfileFile::writeString(m_path, u"Config"_s, u"Server"_s, u"x"_s));
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(bytes(), QByteArray("[Config]\nServer=s\n"));
    }

    void threeWritersLoseNoKey()
    {
        // Three programs write 600 keys each into one file at the same time.
        put("[Config]\nServer=s\n");
        QList<QProcess *> writers;
        for (int w = 0; w < 3; ++w) {
            auto *p = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QUORIN_TEST_PROFILE_WRITER"_s, m_path + u'|' + QString::number(w));
            p->setProcessEnvironment(env);
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(QCoreApplication::applicationFilePath(), {});
            writers << p;
        }
        for (QProcess *p : std::as_const(writers)) {
            QVERIFY(p->waitForFinished(TestWait::bound(120000)));
            QCOMPARE(p->exitCode(), 0);
            delete p;
        }
        int present = 0;
        for (int w = 0; w < 3; ++w) {
            for (int k = 0; k < WriterKeys; ++k)
                present += ProfileFile::readString(m_path, u"Config"_s, writerKey(w, k)) == writerValue(w, k);
        }
        QCOMPARE(present, 3 * WriterKeys);
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"Server"_s), u"s"_s);
        QVERIFY(!QFile::exists(m_path + u".lock"_s));
    }

    void heldLockStopsTheWrite()
    {
        // Another writer that keeps the lock: the write fails loudly and changes nothing.
        put("[Config]\nA=1\n");
        QLockFile held(m_path + u".lock"_s);
        QVERIFY(held.tryLock(0));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"locked by another writer"_s));
        QVERIFY(!ProfileFile::writeString(m_path, u"Config"_s, u"A"_s, u"2"_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"locked by another writer"_s));
        QVERIFY(!ProfileFile::removeKey(m_path, u"Config"_s, u"A"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nA=1\n"));
        held.unlock();
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"A"_s, u"2"_s));
        QCOMPARE(bytes(), QByteArray("[Config]\nA=2\n"));

        // A lock left by a writer that died is taken over.
        QFile stale(m_path + u".lock"_s);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray::number(deadPid()) + "\ntst_profilefile\n" + QSysInfo::machineHostName().toUtf8() +
                    "\n");
        stale.close();
        QVERIFY(ProfileFile::writeString(m_path, u"Config"_s, u"A"_s, u"3"_s));
        QCOMPARE(ProfileFile::readString(m_path, u"Config"_s, u"A"_s), u"3"_s);
    }

public:
    static constexpr int WriterKeys = 600;
    static QString writerKey(int writer, int k)
    {
        return u"W"_s + QString::number(writer) + u"Key"_s + QString::number(k);
    }
    static QString writerValue(int writer, int k) { return QString::number(writer * 100000 + k); }

private:
    static qint64 deadPid()
    {
        QProcess p;
        p.start(u"true"_s, {});
        p.waitForFinished();
        return p.processId() > 0 ? p.processId() : 999999; // reaped: its number is free
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A writer started by threeWritersLoseNoKey: "<file>|<writer number>".
    const QString job = qEnvironmentVariable("QUORIN_TEST_PROFILE_WRITER");
    if (!job.isEmpty()) {
        const QString path = job.section(u'|', 0, 0);
        const int writer = job.section(u'|', 1).toInt();
        for (int k = 0; k < tst_ProfileFile::WriterKeys; ++k) {
            if (!ProfileFile::writeString(path, u"Config"_s, tst_ProfileFile::writerKey(writer, k),
                                          tst_ProfileFile::writerValue(writer, k)))
                return 1;
        }
        return 0;
    }
    tst_ProfileFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_profilefile.moc"
