// CUPS backend of the fax printer (device URI "quorin:/").
//
// Without arguments it prints the device line CUPS lists. With "job-id user title copies options [file]"
// it copies the job (the file, or standard input) into the user's spool folder
// <spool>/<user>/job-<id>-<time>.prn, owned by the user, mode 0600. The spool is /var/spool/quorin, or
// $QUORIN_SPOOL_DIR. The user's session watches that folder and starts "Sendora -N" for each job.
//
// CUPS runs a backend as root when its file mode is 0700; it must, to give the job to its user. Run as
// another user, it can only spool jobs of that same user.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Exit codes of the CUPS backend interface.
constexpr int BackendOk = 0;
constexpr int BackendFailed = 1; // the job failed; the queue follows its error policy
// The job stays in CUPS, held, and the queue goes on for the other users: the spool cannot take it now
// (a folder that cannot be used, a full disk), nothing is wrong with the job. The sender tells the user.
constexpr int BackendHold = 3;
constexpr int BackendCancel = 5; // cancel this job, keep the queue going

const char *spoolRoot()
{
    const char *env = std::getenv("QUORIN_SPOOL_DIR");
    return env && *env ? env : "/var/spool/quorin";
}

bool plainName(const std::string &name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 255)
        return false;
    for (char c : name) {
        if (c == '/' || c == '\0' || c == '\n')
            return false;
    }
    return true;
}

bool digitsOnly(const std::string &text)
{
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// A cancelled job (CUPS sends SIGTERM) leaves no partial file behind.
char g_temp[4096] = {};

extern "C" void onTerm(int)
{
    if (g_temp[0])
        ::unlink(g_temp);
    ::_exit(BackendOk);
}

int fail(int code, const char *what, const std::string &detail)
{
    std::fprintf(stderr, "ERROR: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    return code;
}

// The user's spool folder: created when missing; an existing one must be a real folder owned by the user
// (a link or a foreign folder could send the job elsewhere).
bool userFolder(const std::string &path, uid_t uid, gid_t gid, bool asRoot)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(path.c_str(), 0700) != 0)
            return false;
        // The mode is set, not left to the umask (CUPS runs backends under umask 077).
        if ((asRoot && ::chown(path.c_str(), uid, gid) != 0) || ::chmod(path.c_str(), 0700) != 0)
            return false;
        if (::lstat(path.c_str(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0;
}

// The spool root: open for reading by everyone (each user's session watches it for its own folder to
// appear, before the first job), writable by its owner only. Under umask 077 a plain mkdir would leave it
// closed to the users, so the mode is set explicitly; a root folder left closed by an older install is
// opened again.
bool spoolFolder(const std::string &root, bool asRoot)
{
    struct stat st
    {
    };
    if (::lstat(root.c_str(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(root.c_str(), 0755) != 0)
            return errno == EEXIST;
        return ::chmod(root.c_str(), 0755) == 0;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if ((st.st_mode & 0755) != 0755 && st.st_uid == ::geteuid() && (asRoot || st.st_uid != 0))
        ::chmod(root.c_str(), (st.st_mode & 07777) | 0755);
    return true;
}

bool copyAll(int in, int out, long long &total)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n > 0)
            total += n;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
    }
}

// A note in the user's folder for a job cancelled unread: the time it was printed, then its title.
// Hidden, so the capture never takes it for a job; written beside the folders and renamed into place.
void leaveNotice(const std::string &root, const std::string &folder, const std::string &user,
                 const std::string &jobId, std::string title, uid_t uid, gid_t gid, bool asRoot)
{
    for (char &c : title) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    if (title.size() > 512)
        title.resize(512);
    const std::string text = std::to_string(long(std::time(nullptr))) + "\n" + title + "\n";
    const std::string temp = root + "/." + user + "-" + jobId + "-" + std::to_string(long(::getpid())) + ".note";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        return;
    bool ok = (!asRoot || ::fchown(out, uid, gid) == 0) && ::fchmod(out, 0600) == 0 &&
              ::write(out, text.data(), text.size()) == ssize_t(text.size());
    ok = (::close(out) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), (folder + "/.unreadable-" + jobId).c_str()) != 0)
        ::unlink(temp.c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 1) {
        std::printf("direct quorin:/ \"Quorin Fax Printer\" \"Quorin Fax Printer\"\n");
        return BackendOk;
    }
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return BackendFailed;
    }
    std::signal(SIGPIPE, SIG_IGN);

    const std::string jobId = argv[1];
    const std::string user = argv[2];
    if (!digitsOnly(jobId))
        return fail(BackendCancel, "job id not a number", jobId);
    if (!plainName(user))
        return fail(BackendCancel, "invalid user name", user);
    const passwd *pw = ::getpwnam(user.c_str());
    if (!pw)
        return fail(BackendCancel, "unknown user", user);
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot && ::geteuid() != uid)
        return fail(BackendFailed, "the backend must run as root to spool jobs of", user);

    int in = 0;
    if (argc == 7) {
        in = ::open(argv[6], O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return fail(BackendFailed, "cannot read the job file", std::strerror(errno));
    }

    const std::string root = spoolRoot();
    if (!spoolFolder(root, asRoot))
        return fail(BackendHold, "cannot prepare the spool folder", root + ": " + std::strerror(errno));
    const std::string folder = root + "/" + user;
    if (!userFolder(folder, uid, gid, asRoot))
        return fail(BackendHold, "unusable spool folder (not a folder of the user's own, mode 0700)", folder);

    // Written beside the user folders and renamed into place when whole: the user's folder only ever holds
    // complete jobs (its watcher starts the sender whenever it is not empty).
    const std::string stamp = std::to_string(long(std::time(nullptr)));
    const std::string temp =
        root + "/." + user + "-" + jobId + "-" + std::to_string(long(::getpid())) + ".part";
    std::snprintf(g_temp, sizeof g_temp, "%s", temp.c_str());
    std::signal(SIGTERM, onTerm);
    const std::string final = folder + "/job-" + jobId + "-" + stamp + ".prn";
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        return fail(BackendHold, "cannot create the job file", root + ": " + std::strerror(errno));
    long long total = 0;
    bool ok = (!asRoot || ::fchown(out, uid, gid) == 0) && ::fchmod(out, 0600) == 0 &&
              copyAll(in, out, total) && ::fsync(out) == 0;
    ok = (::close(out) == 0) && ok;
    if (in > 0)
        ::close(in);
    if (ok && total == 0) {
        // Nothing came through (a filter before this one could not read the document): an empty job is
        // no document, and printing it again would give the same nothing, so CUPS does not retry it.
        // The user learns of it from a note the sender (or the tray launcher) reads at its next start.
        ::unlink(temp.c_str());
        g_temp[0] = '\0';
        leaveNotice(root, folder, user, jobId, argv[3], uid, gid, asRoot);
        return fail(BackendCancel, "the job is empty (the document could not be read)", jobId);
    }
    if (!ok || ::rename(temp.c_str(), final.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        g_temp[0] = '\0';
        return fail(BackendHold, "cannot write the job file", folder + ": " + std::strerror(saved));
    }
    g_temp[0] = '\0';
    // Handed over: success, whatever the sender makes of it; a job printed again would come twice.
    std::fprintf(stderr, "INFO: job %s spooled for %s\n", jobId.c_str(), user.c_str());
    return BackendOk;
}
