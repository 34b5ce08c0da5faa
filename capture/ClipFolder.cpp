// The clips folder and its listing; see ClipFolder.h.
#include "ClipFolder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <memory>

namespace {

struct DirClose {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string ClipsFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return movies.toStdString() + "/Kovra/Clips";
}

bool IsClipFileName(const std::string& name)
{
    static const char* const kExtensions[] = {
        // videos
        "mp4", "mkv", "webm", "avi", "mov", "mpg", "mpeg", "ogv", "m4v", "wmv", "flv", "ts",
        // pictures
        "png", "jpg", "jpeg", "bmp", "gif", "webp", "tif", "tiff"};
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* known) { return extension == known; });
}

bool IsRegularFile(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::vector<std::string> ListClipFolder(const std::string& folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
    if (!dir) return {};
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        // A stat only for the names that count: a folder of other files costs little.
        if (IsClipFileName(name) && IsRegularFile(folder + "/" + name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (std::string& name : names) name = folder + "/" + name;
    return names;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
