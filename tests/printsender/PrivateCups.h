#pragma once

// A private CUPS scheduler for the print road's test and benchmark: its own configuration, spool, log,
// printcap and server-bin folders under one root (nothing of the machine's scheduler touched), listening
// on a loopback port only, with the fax backend installed into its server-bin folder as an installation
// would (root's, mode 0700) and CUPS's own filters beside.
// It needs root (cupsd runs its backends as root only when it runs as root itself).
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>

class PrivateCups
{
public:
    // root: an empty folder; spool: where the backend puts the jobs (QUORIN_SPOOL_DIR of the backend).
    // adminClosed: only an authenticated administrator may create or change queues, as an ordinary user
    // meets a system's scheduler.
    PrivateCups(const QString &root, const QString &spool, bool adminClosed = false)
        : m_root(root), m_spool(spool), m_adminClosed(adminClosed)
    {
    }
    ~PrivateCups() { stop(); }

    static int run(const QString &program, const QStringList &args, QByteArray *output = nullptr,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                   int timeout = TestWait::bound())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForStarted(TestWait::bound()) || !p.waitForFinished(timeout)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (output)
            *output = p.readAll();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    int port() const { return m_port; }
    // The environment that sends CUPS's clients (lp, lpstat, lpadmin) to this scheduler.
    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("CUPS_SERVER"), QStringLiteral("127.0.0.1:") + QString::number(m_port));
        return e;
    }

    // The port is one the system had free a moment before; should another program (another test run
    // on the machine) take it in between, the scheduler, which then goes on deaf, is stopped and started
    // again on a new one.
    bool start(const QString &backendProgram)
    {
        if (!prepare(backendProgram))
            return false;
        for (int attempt = 0; attempt < 5; ++attempt) {
            switch (startOnFreePort()) {
            case Started::Yes:
                return true;
            case Started::No:
                return false;
            case Started::PortTaken:
                break;
            }
        }
        return false;
    }

private:
    enum class Started { Yes, No, PortTaken };

    bool prepare(const QString &backendProgram)
    {
        const QString root = m_root;
        for (const char *d :
             {"conf/ppd", "conf/ssl", "bin/backend", "requests", "cache", "state", "tmp", "log"})
            if (!QDir().mkpath(root + u'/' + QString::fromLatin1(d)))
                return false;
        for (const char *d : {"filter", "daemon", "cgi-bin", "notifier", "monitor"})
            QFile::link(QStringLiteral("/usr/lib/cups/") + QString::fromLatin1(d),
                        root + QStringLiteral("/bin/") + QString::fromLatin1(d));
        const QString backend = root + QStringLiteral("/bin/backend/quorin");
        if (!QFile::copy(backendProgram, backend) ||
            ::chmod(QFile::encodeName(backend).constData(), 0700) != 0)
            return false;
        // The filters run as "lp" and write their temporary files here.
        ::chmod(QFile::encodeName(root + QStringLiteral("/tmp")).constData(), 01777);
        const QByteArray r = QFile::encodeName(root);
        const QByteArray files = "User lp\nGroup lp\nSystemGroup root\nServerRoot " + r +
                                 "/conf\nServerBin " + r + "/bin\nRequestRoot " + r + "/requests\nCacheDir " +
                                 r + "/cache\nStateDir " + r + "/state\nTempDir " + r + "/tmp\nAccessLog " +
                                 r + "/log/access_log\nErrorLog " + r + "/log/error_log\nPageLog " + r +
                                 "/log/page_log\nPrintcap " + r + "/printcap\nDataDir /usr/share/cups\nFileDevice No\n"
                                 "SetEnv QUORIN_SPOOL_DIR " +
                                 QFile::encodeName(m_spool) + "\n";
        return write(root + QStringLiteral("/conf/cups-files.conf"), files);
    }

    Started startOnFreePort()
    {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost))
                return Started::No;
            m_port = probe.serverPort();
        }
        const QString root = m_root;
        QFile::remove(root + QStringLiteral("/log/error_log"));
        const QByteArray conf =
            "Listen 127.0.0.1:" + QByteArray::number(m_port) +
            "\nLogLevel info\nWebInterface No\nBrowsing No\n"
            "BrowseLocalProtocols none\n"
            "<Location />\n  Order allow,deny\n  Allow 127.0.0.1\n</Location>\n"
            "<Policy default>\n" +
            QByteArray(m_adminClosed ? "  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer CUPS-Add-Modify-Class "
                                       "CUPS-Delete-Class CUPS-Set-Default>\n    AuthType Basic\n    Require user @SYSTEM\n"
                                       "    Order deny,allow\n"
                                       "  </Limit>\n"
                                     : "") +
            "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        if (!write(root + QStringLiteral("/conf/cupsd.conf"), conf))
            return Started::No;
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        // The scheduler goes with its starter, also when that is killed.
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStandardPaths::findExecutable(QStringLiteral("cupsd")),
                      {QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/conf/cupsd.conf"),
                       QStringLiteral("-s"), root + QStringLiteral("/conf/cups-files.conf")});
        if (!m_cupsd.waitForStarted(TestWait::bound()))
            return Started::No;
        const QDeadlineTimer deadline(TestWait::bound()); // only against a hang
        while (!deadline.hasExpired()) {
            // Whoever answers on the port is ours only once ours says it listens there.
            const QString said = log();
            if (said.contains(QStringLiteral("Unable to open listen socket"))) {
                stop();
                return Started::PortTaken;
            }
            if (m_cupsd.waitForFinished(0) || m_cupsd.state() != QProcess::Running)
                return Started::No;
            if (said.contains(QStringLiteral("Listening to 127.0.0.1:%1 ").arg(m_port)) &&
                run(QStringLiteral("lpstat"), {QStringLiteral("-r")}, nullptr, env(), 5000) == 0)
                return Started::Yes;
            QThread::msleep(100);
        }
        return Started::No;
    }

public:
    // The fax queue on the backend with the project's PPD; the scheduler may answer before it takes
    // printers, hence a few tries.
    bool addQueue(const QStringList &lpadminArguments, QByteArray *output = nullptr)
    {
        for (int i = 0; i < 10; ++i) {
            if (i > 0)
                QThread::msleep(500);
            if (run(QStringLiteral("lpadmin"), lpadminArguments, output, env()) == 0)
                return true;
        }
        return false;
    }

    void stop()
    {
        if (m_cupsd.state() == QProcess::NotRunning)
            return;
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000)) {
            m_cupsd.kill();
            m_cupsd.waitForFinished();
        }
    }

    QString log() const
    {
        QFile f(m_root + QStringLiteral("/log/error_log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(4000)) : QString();
    }
    QString output() { return QString::fromLocal8Bit(m_cupsd.readAll()); }

private:
    static bool write(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush();
    }

    QString m_root, m_spool;
    QProcess m_cupsd;
    int m_port = 0;
    bool m_adminClosed = false;
};
