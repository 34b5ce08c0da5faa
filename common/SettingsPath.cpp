// Where the settings file lives: the program's own path from /proc, the ".ini" name beside it, or
// the user's configuration folder.
#include "SettingsPath.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

bool IsUnderUsr(const std::string& path) { return path.compare(0, 5, "/usr/") == 0; }

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

}  // namespace

std::string SettingsPathFor(const SettingsPlace& place)
{
    if (!place.programPath.empty() && place.folderWritable && !IsUnderUsr(place.programPath)) {
        return SettingsPathBeside(place.programPath);
    }
    const std::string user = UserSettingsPath(place.xdgConfigHome, place.home);
    return user.empty() ? SettingsPathBeside(place.programPath) : user;
}

std::string UserSettingsPath(const std::string& xdgConfigHome, const std::string& home)
{
    // Relative values are invalid by the XDG base directory rules and are ignored.
    std::string config;
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') {
        config = xdgConfigHome;
    } else if (!home.empty() && home.front() == '/') {
        config = home + (home.back() == '/' ? "" : "/") + ".config";
    } else {
        return "";
    }
    if (config.back() != '/') config += '/';
    return config + "kovra/Kovra.ini";
}

std::string SettingsPathBeside(const std::string& programPath)
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

bool FolderIsOwnAndPrivate(const std::string& folder)
{
    // Write access alone is not enough: in a folder others may write to, another user could
    // put a file or a link in the settings file's place.
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && access(folder.c_str(), W_OK) == 0;
}

std::string SettingsPathOf(const std::string& program)
{
    const bool beside = !program.empty() && FolderIsOwnAndPrivate(FolderOf(program));
    return SettingsPathFor({program, beside, Env("XDG_CONFIG_HOME"), Env("HOME")});
}

std::string SettingsPath() { return SettingsPathOf(ProgramPath()); }

bool MakeFolders(const std::string& folder)
{
    // Each folder from the top down; one that is there already is fine.
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (end == std::string::npos) break;
    }
    struct stat info;
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MakeSettingsFolder(const std::string& settingsPath)
{
    const std::string user = UserSettingsPath(Env("XDG_CONFIG_HOME"), Env("HOME"));
    if (!user.empty() && settingsPath == user) MakeFolders(FolderOf(user));
}
