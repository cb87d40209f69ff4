#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Real write failures for tests: a small disk that fills up (a tmpfs where this process may mount one,
// which can also be made read-only), a file-size limit, and file modes that hold for root too.
namespace WriteFaults {

// A 64 KiB tmpfs over `folder` while it lives (root only; mounted() says whether it is there).
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder) : m_folder(folder)
    {
        QDir().mkpath(folder);
        m_mounted = ::geteuid() == 0 &&
                    QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                QStringLiteral("-o"), QStringLiteral("size=64k,mode=0700"),
                                                                QStringLiteral("tmpfs"), folder}) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_folder});
    }
    bool mounted() const { return m_mounted; }
    // Fills the disk to its last byte.
    bool fill() const
    {
        QFile ballast(m_folder + QStringLiteral("/.ballast"));
        if (!m_mounted || !ballast.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        while (ballast.write(block) == block.size()) {
        }
        while (ballast.write("x", 1) == 1) {
        }
        ballast.close();
        return true;
    }
    bool makeReadOnly() const
    {
        return m_mounted && QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"),
                                                                       QStringLiteral("remount,ro"), m_folder}) == 0;
    }

private:
    QString m_folder;
    bool m_mounted = false;
};

// Files of this process grow to `bytes` at most while it lives; a write past it fails with EFBIG.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_before;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_before); }

private:
    rlimit m_before{};
};

// While it lives, this thread obeys file modes as an ordinary user does: for root, the capabilities that
// override them are taken out of its effective set (and given back at the end).
class ModesHold
{
public:
    ModesHold()
    {
        if (::geteuid() != 0 || !get(m_saved))
            return;
        __user_cap_data_struct less[2] = {m_saved[0], m_saved[1]};
        less[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        m_dropped = set(less);
    }
    ~ModesHold()
    {
        if (m_dropped)
            set(m_saved);
    }

private:
    static bool get(__user_cap_data_struct *data)
    {
        __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &head, data) == 0;
    }
    static bool set(__user_cap_data_struct *data)
    {
        __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &head, data) == 0;
    }
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace WriteFaults
