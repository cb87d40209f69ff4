#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Fresh per-user folders inside one temporary folder, for a test that wants them empty or its own
// (every test process already runs on folders of its own: TestEnvironment.cpp).
// It is the temporary folder itself, so helpers taking a QTemporaryDir take it too.
class TestHome : public QTemporaryDir
{
public:
    // How the four folders inside are named.
    enum class Layout {
        Short,      // config, data, run, tmp
        ByVariable, // XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR, TMPDIR
    };

    // Makes the folders, private to the user as a session's runtime folder is, and points
    // XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR at them.
    bool setUp(Layout layout = Layout::Short)
    {
        if (!isValid())
            return false;
        static const char *const variables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR",
                                                "TMPDIR"};
        static const char *const shortNames[] = {"config", "data", "run", "tmp"};
        for (int i = 0; i < 4; ++i) {
            const QString folder =
                filePath(QString::fromLatin1(layout == Layout::Short ? shortNames[i] : variables[i]));
            if (!QDir().mkpath(folder) ||
                !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner))
                return false;
            qputenv(variables[i], QFile::encodeName(folder));
        }
        return true;
    }

    // The machine-wide settings folder at "etc" inside, which is left for the test to make.
    void useOwnSysconf() const
    {
        qputenv("QUORIN_SYSCONF_DIR", QFile::encodeName(filePath(QStringLiteral("etc"))));
    }
};
