// Linked into every test program: before anything else runs, the process gets a machine of its own.
// A temporary folder holds its home, its per-user folders (settings, data, cache, state, runtime) and
// empty machine-wide ones; the language is fixed, and the machine's CUPS scheduler, session bus, SANE
// backends, installed programs and installed copy of the suite are out of reach. Whatever the user who
// runs the tests has set up (language, icon theme, settings, an installed suite) changes no result.
// A test wanting something else (another language, its own scheduler) sets it itself.
//
// A test program started by another test program (a copy of itself, as writer or as another user)
// keeps the environment it was given: its parent chose it. The folder is removed when the process
// that made it exits.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr const char *Marker = "QUORIN_TEST_HOME";

// Plain storage: no destructor of its own may run before the removal at exit.
char g_root[4096];
pid_t g_owner = 0;

void removeRoot()
{
    if (!g_root[0] || ::getpid() != g_owner)
        return; // a forked child leaves its parent's folder alone
    std::error_code ignored;
    std::filesystem::remove_all(g_root, ignored);
}

void set(const char *name, const std::string &value)
{
    ::setenv(name, value.c_str(), 1);
}

bool folder(const std::string &path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// PATH without the folders an installed copy lives in (/usr/local, the user's own bin folders):
// the tests start the build's programs by their full path, and nothing found by name may be ours.
std::string cleanPath(const char *path, const char *home)
{
    const std::string homePrefix = home && *home ? std::string(home) + '/' : std::string();
    std::string result;
    std::string rest = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(':', start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string entry = rest.substr(start, end - start);
        const bool local = entry == "/usr/local" || entry.rfind("/usr/local/", 0) == 0;
        const bool users = !homePrefix.empty() && (entry + '/').rfind(homePrefix, 0) == 0;
        if (!entry.empty() && !local && !users)
            result += (result.empty() ? "" : ":") + entry;
        start = end + 1;
    }
    return result.empty() ? std::string("/usr/bin:/bin") : result;
}

void unsetLocaleAndDesktop()
{
    std::vector<std::string> names;
    for (char **e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name.rfind("LC_", 0) == 0)
            names.push_back(name);
    }
    for (const char *name : {"LANGUAGE", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                             "KDE_FULL_SESSION", "KDE_SESSION_VERSION", "GNOME_DESKTOP_SESSION_ID", "GTK_THEME",
                             "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR",
                             "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_ENABLE_HIGHDPI_SCALING",
                             "QT_FONT_DPI", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
        names.emplace_back(name);
    for (const std::string &name : names)
        ::unsetenv(name.c_str());
}

void setUp()
{
    if (const char *given = std::getenv(Marker); given && *given)
        return;
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorin-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("test environment: cannot make a temporary folder");
        std::_Exit(2);
    }
    if (pattern.size() >= sizeof g_root) {
        std::fputs("test environment: the temporary folder's name is too long\n", stderr);
        std::_Exit(2);
    }
    std::memcpy(g_root, pattern.c_str(), pattern.size() + 1);
    g_owner = ::getpid();
    std::atexit(removeRoot);

    const std::string root = pattern;
    const std::string home = root + "/home";
    const std::string run = root + "/run";
    const std::string machine = root + "/machine";
    for (const std::string &path : {home, root + "/config", root + "/data", root + "/cache", root + "/state",
                                    run, machine, machine + "/xdg", machine + "/sane"}) {
        if (!folder(path)) {
            std::perror(path.c_str());
            std::_Exit(2);
        }
    }

    const std::string path = cleanPath(std::getenv("PATH"), std::getenv("HOME"));
    unsetLocaleAndDesktop();
    set(Marker, root);
    set("PATH", path);
    set("HOME", home);
    set("XDG_CONFIG_HOME", root + "/config");
    set("XDG_DATA_HOME", root + "/data");
    set("XDG_CACHE_HOME", root + "/cache");
    set("XDG_STATE_HOME", root + "/state");
    set("XDG_RUNTIME_DIR", run);
    // The distribution's shared data only (the icon themes, MIME types and fonts the tests draw with),
    // never /usr/local/share, where an installed suite puts its icons; no machine-wide settings.
    set("XDG_DATA_DIRS", "/usr/share");
    set("XDG_CONFIG_DIRS", machine + "/xdg");
    set("LANG", "C.UTF-8");
    set("TZ", "UTC");
    // The suite's machine-wide settings, the fax printer's spool, CUPS backend and PPD: as on a machine
    // where the suite is not installed (the build's PPD).
    set("QUORIN_SYSCONF_DIR", machine + "/etc-quorin");
    set("QUORIN_SPOOL_DIR", machine + "/spool");
    set("QUORIN_CUPS_SERVERBIN", machine + "/cups");
#ifdef QUORIN_TEST_PPD
    set("QUORIN_PPD", QUORIN_TEST_PPD);
#endif
    // No scheduler, session bus or scanner of the machine's answers.
    set("CUPS_SERVER", run + "/cups.sock");
    set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + run + "/bus");
    set("SANE_CONFIG_DIR", machine + "/sane");
    set("QUORIN_DISCOVERY_HOSTS", "127.0.0.1");
}

// Before any other static object of the program, so nothing reads the environment before it is set.
struct SetUp
{
    SetUp() { setUp(); }
} setUpFirst __attribute__((init_priority(101)));

} // namespace
