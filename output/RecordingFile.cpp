// Where a recording goes; see RecordingFile.h.
#include "RecordingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Past this many recordings in one second something else is wrong.
constexpr int kCopies = 100;

}  // namespace

std::string RecordingName(const std::tm& when, int copy)
{
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H%M%S", &when);
    std::string name = std::string("Kovra ") + stamp;
    if (copy > 1) name += " (" + std::to_string(copy) + ")";
    return name + ".mkv";
}

bool CreateRecordingFile(const std::string& videos, const std::tm& when, std::string& path,
                         std::string& error)
{
    struct stat info;
    if (videos.empty() || stat(videos.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "there is no videos folder" + (videos.empty() ? "" : " " + videos);
        return false;
    }
    const std::string folder = videos + "/Kovra";
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot make " + folder + ": " + std::strerror(errno);
        return false;
    }
    for (int copy = 1; copy <= kCopies; ++copy) {
        path = folder + "/" + RecordingName(when, copy);
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        if (errno != EEXIST) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    error = "too many recordings in " + folder + " within one second";
    return false;
}
