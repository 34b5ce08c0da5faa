// Opening a clip or still picture safely; see ClipFile.h.
#include "ClipFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Closes a descriptor on every way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

CClipFile::~CClipFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool CClipFile::Open(const std::string& path, std::string& problem)
{
    // O_PATH opens nothing for reading: a FIFO without a writer cannot hold us, nor a device
    // answer. The file is looked at through it, then reopened through it, so a file put in
    // its place in between is never the one read.
    Descriptor looked{::open(path.c_str(), O_PATH | O_CLOEXEC)};
    if (looked.fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(looked.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        return false;
    }
    const std::string through = "/proc/self/fd/" + std::to_string(looked.fd);
    const int fd = ::open(through.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // Checked again on the descriptor read from: the same regular file.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_ino != status.st_ino ||
        opened.st_dev != status.st_dev) {
        ::close(fd);
        problem = "not a regular file";
        return false;
    }
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
    return true;
}

bool CClipFile::Removed() const
{
    struct stat status {};
    return m_fd >= 0 && ::fstat(m_fd, &status) == 0 && status.st_nlink == 0;
}

std::string CClipFile::ProcPath() const { return "/proc/self/fd/" + std::to_string(m_fd); }
