// The settings file on disk. Everything after finding the file's folder goes through a
// descriptor of that folder, so the temporary file's short name works at any path length; the
// flock of a lock file of the user's own in that folder serialises writers (it also covers a
// file that does not exist yet, and no other user can take it).
#include "IniFileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "IniFile.h"

namespace {

void (*s_hook)(IniStage) = nullptr;

void Reached(IniStage stage)
{
    if (s_hook) s_hook(stage);
}

// Another writer normally holds the lock for a few milliseconds; one stopped in the middle of
// its write must not keep this program from ending.
constexpr std::chrono::seconds kLockWait{5};

// The temporary file of a writer: the same short name in every folder, with the writer's id.
constexpr char kTempPrefix[] = ".kovra-ini.";
constexpr char kTempSuffix[] = ".tmp";
// The writers' lock: a file, not the folder, as anyone who may read a folder can flock it.
constexpr char kLockName[] = ".kovra-ini.lock";

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string TempName(pid_t pid) { return kTempPrefix + std::to_string(pid) + kTempSuffix; }

// The writer's id in a name of the temporary files' pattern, or 0.
pid_t TempWriter(const char* name)
{
    const size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
    const size_t length = strlen(name);
    if (length <= prefix + suffix || strncmp(name, kTempPrefix, prefix) != 0 ||
        strcmp(name + length - suffix, kTempSuffix) != 0) {
        return 0;
    }
    long pid = 0;
    for (size_t i = prefix; i < length - suffix; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 1000000000) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return static_cast<pid_t>(pid);
}

// Reads an opened file when it is a regular file within the size limit; closes it.
bool ReadRegular(int opened, std::string& text, struct stat& info)
{
    Fd fd(opened);
    if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > kMaxIniFileSize + kIniGrowthRoom) {
        return false;
    }
    text.clear();
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buf, static_cast<size_t>(n));
        // A file growing while it is read counts at its size then.
        if (text.size() > kMaxIniFileSize + kIniGrowthRoom) return false;
    }
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The permission bits a newly created file gets; 0600 when the mask is unknown. The mask is
// read from /proc rather than by umask(), which would change it for other threads.
mode_t NewFileMode()
{
    mode_t mode = 0600;
    if (FILE* f = fopen("/proc/self/status", "re")) {
        char line[256];
        while (fgets(line, sizeof line, f)) {
            unsigned mask;
            if (sscanf(line, "Umask: %o", &mask) == 1) {
                mode = 0666 & ~static_cast<mode_t>(mask);
                break;
            }
        }
        fclose(f);
    }
    return mode;
}

// The file a write goes to, as its folder and its name in it: a symbolic link's target. False
// for a dangling or looping link, for a link of another user's (the rule the kernel keeps for
// links in sticky folders: one planted beside the program must not redirect the write into
// the user's own files), and for a path that names no file in a folder.
bool WriteTarget(const std::string& path, std::string& folder, std::string& name)
{
    std::string target = path;
    struct stat link;
    if (lstat(path.c_str(), &link) == 0) {
        if (S_ISLNK(link.st_mode)) {
            if (link.st_uid != geteuid() && link.st_uid != 0) return false;
            char* real = realpath(path.c_str(), nullptr);
            if (!real) return false;
            target = real;
            free(real);
        }
    } else if (errno != ENOENT) {
        return false;
    }
    const size_t slash = target.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    name = slash == std::string::npos ? target : target.substr(slash + 1);
    return !name.empty() && name != "." && name != "..";
}

// The writers' lock file in the folder, opened (made 0600 when missing); -1 when it cannot be
// made or is not a regular file of the user's own.
int OpenLock(int dir)
{
    const int fd =
        openat(dir, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
        ((info.st_mode & 077) == 0 || fchmod(fd, 0600) == 0)) {
        return fd;
    }
    if (fd >= 0) close(fd);
    return -1;
}

// Waits for the lock; false when another writer keeps it too long. A file system without
// flock is written without the lock.
bool Lock(int lock)
{
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    bool busy = false;
    for (;;) {
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return true;
        if (!busy) Reached(IniStage::LockBusy);
        busy = true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Only our own regular file, within the size limit, whose owner's write bit is set and which
// we may write: never a read-only file (root may write one), another user's, a device or a FIFO.
bool OursToReplace(int dir, const std::string& name, const struct stat& info)
{
    return S_ISREG(info.st_mode) &&
           static_cast<unsigned long long>(info.st_size) <= kMaxIniFileSize + kIniGrowthRoom &&
           info.st_uid == geteuid() && (info.st_mode & S_IWUSR) != 0 &&
           faccessat(dir, name.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes text to the temporary file beside name and renames it over name, so the file is either
// the old one or the whole new one. old is the old file's status, or null; a new file gets
// `mode`.
bool Replace(int dir, const std::string& name, const std::string& text, const struct stat* old,
             mode_t mode)
{
    const std::string temp = TempName(getpid());
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(dir, temp.c_str(), flags, 0600);
    if (fd < 0 && errno == EEXIST) {
        // Under the lock a file with this program's own id is a dead writer's whose id came back.
        unlinkat(dir, temp.c_str(), 0);
        fd = openat(dir, temp.c_str(), flags, 0600);
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, text);
    struct stat made;
    if (ok && old) {
        // A file whose owner or group cannot be kept is not replaced; fchown comes before fchmod,
        // which it would otherwise undo for set-id bits.
        ok = fstat(fd, &made) == 0;
        if (ok && (made.st_uid != old->st_uid || made.st_gid != old->st_gid)) {
            ok = fchown(fd, old->st_uid, old->st_gid) == 0;
        }
    }
    if (ok) ok = fchmod(fd, old ? (old->st_mode & 07777) : mode) == 0;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) {
        Reached(IniStage::TempWritten);
        ok = renameat(dir, temp.c_str(), dir, name.c_str()) == 0;
    }
    if (!ok) {
        unlinkat(dir, temp.c_str(), 0);
        return false;
    }
    // Makes the rename itself durable; the new file is complete either way.
    fsync(dir);
    Reached(IniStage::Replaced);
    return true;
}

}  // namespace

bool ReadIniText(const std::string& path, std::string& text)
{
    // Looked at before opening, so that a device is never opened at all.
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return ReadRegular(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), text, info);
}

bool UpdateIniFile(const std::string& path, const std::function<void(std::string& text)>& edit,
                   bool ownerOnly)
{
    std::string folder, name;
    if (path.empty() || !WriteTarget(path, folder, name)) return false;
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return false;
    Fd lock(OpenLock(dir.get()));
    if (lock.get() < 0 || !Lock(lock.get())) return false;

    std::string text;
    struct stat info;
    const bool exists = fstatat(dir.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) return false;
    if (exists) {
        // O_NOFOLLOW: a link put in the file's place since it was found is not followed.
        struct stat opened;
        if (!OursToReplace(dir.get(), name, info) ||
            !ReadRegular(
                openat(dir.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC),
                text, opened) ||
            opened.st_ino != info.st_ino || opened.st_dev != info.st_dev) {
            return false;
        }
    }
    Reached(IniStage::Read);
    edit(text);
    // The limit keeps out what never was a settings file; one read as such is written back
    // even when its new keys take it past the limit.
    if (!exists && text.size() > kMaxIniFileSize) return false;
    return Replace(dir.get(), name, text, exists ? &info : nullptr,
                   ownerOnly ? NewFileMode() & 0600 : NewFileMode());
}

void RemoveStaleIniTempFiles(const std::string& path)
{
    std::string folder, name;
    if (!WriteTarget(path, folder, name)) return;
    Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return;
    // A writer at work now holds the lock; what it found stale goes at a later start.
    Fd lock(OpenLock(dir.get()));
    if (lock.get() < 0 || flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return;
    int listed = dup(dir.get());
    DIR* entries = listed >= 0 ? fdopendir(listed) : nullptr;
    if (!entries) {
        if (listed >= 0) close(listed);
        return;
    }
    while (const dirent* entry = readdir(entries)) {
        const pid_t writer = TempWriter(entry->d_name);
        if (writer > 0 && kill(writer, 0) != 0 && errno == ESRCH) {
            unlinkat(dir.get(), entry->d_name, 0);
        }
    }
    closedir(entries);
}

void SetIniStageHook(void (*hook)(IniStage stage)) { s_hook = hook; }
