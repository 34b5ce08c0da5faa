// Where the settings file lives: the program's own path from /proc, and the ".ini" name beside it.
#include "SettingsPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

std::string SettingsPathFor(const std::string& programPath)
{
    size_t slash = programPath.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Leading dots belong to a hidden file's name, not to an extension.
    size_t stem = programPath.find_first_not_of('.', nameStart);
    size_t dot = programPath.rfind('.');
    if (stem == std::string::npos || dot == std::string::npos || dot < stem) {
        return programPath + ".ini";
    }
    return programPath.substr(0, dot) + ".ini";
}

std::string ProgramPath()
{
    // The link's length is unknown beforehand; a result that fills the buffer may be cut short.
    std::vector<char> buf(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "";
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            // The kernel marks a program file removed or replaced (an update while playing)
            // with this suffix; the settings file is still the one beside the original path.
            const std::string deleted = " (deleted)";
            struct stat info;
            if (path.size() > deleted.size() &&
                path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0 &&
                lstat(path.c_str(), &info) != 0) {
                path.erase(path.size() - deleted.size());
            }
            return path;
        }
        buf.resize(buf.size() * 2);
    }
}
