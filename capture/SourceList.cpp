// The devices, the clip files and Open File in one listing; see SourceList.h.
#include "SourceList.h"

#include <algorithm>
#include <mutex>

#include "ClipFolder.h"
#include "DeviceList.h"

namespace {

std::mutex g_rememberedLock;
std::vector<std::string> g_remembered;

}  // namespace

SourceListing ListSources()
{
    std::vector<std::string> remembered;
    {
        std::lock_guard<std::mutex> hold(g_rememberedLock);
        remembered = g_remembered;
    }
    return ListSources(ClipsFolder(), remembered);
}

SourceListing ListSources(const std::string& folder, const std::vector<std::string>& remembered)
{
    SourceListing listing;
    listing.names = VideoDeviceNames();
    listing.files.assign(listing.names.size(), std::string());
    const std::vector<std::string> clips = ListClipFolder(folder);
    auto add = [&](const std::string& path) {
        listing.names.push_back(FileNameOf(path));
        listing.files.push_back(path);
    };
    for (const std::string& path : clips) add(path);
    // A remembered file keeps its entry while it is missing: its camera waits for it there.
    for (const std::string& path : remembered) {
        if (path.empty() ||
            std::find(listing.files.begin(), listing.files.end(), path) != listing.files.end())
            continue;
        add(path);
    }
    listing.names.push_back(kOpenFileEntry);
    listing.files.emplace_back();
    return listing;
}

void SetRememberedFiles(std::vector<std::string> files)
{
    std::lock_guard<std::mutex> hold(g_rememberedLock);
    g_remembered = std::move(files);
}

int PositionOfFile(const SourceListing& listing, const std::string& path)
{
    if (path.empty()) return 0;
    const auto found = std::find(listing.files.begin(), listing.files.end(), path);
    return found == listing.files.end() ? 0 : static_cast<int>(found - listing.files.begin()) + 1;
}

bool IsOpenFileEntry(const SourceListing& listing, int position)
{
    return position >= 1 && position == static_cast<int>(listing.names.size()) &&
           listing.files.back().empty() && listing.names.back() == kOpenFileEntry;
}
