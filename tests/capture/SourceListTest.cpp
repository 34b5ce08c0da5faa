// The file entries of the device list on their own: file URIs that keep any name, the clips
// folder's listing (regular clip files only, by name) and where the files sit in the listing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ClipFolder.h"
#include "DeviceList.h"
#include "FileUri.h"
#include "SourceList.h"

namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed with everything in it.
struct TempFolder {
    fs::path path;
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "kovra-sources-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string Touch(const std::string& name) const
    {
        std::ofstream(path / name) << "x";
        return (path / name).string();
    }
};

TEST(FileUri, KeepsAnyNameThroughTheSettingsFile)
{
    const std::string path = "/clips/caf\xe9 loop\nnew%line~_.mp4";  // Latin-1, not UTF-8
    const std::string uri = FileUriOfPath(path);
    EXPECT_EQ(uri, "file:///clips/caf%E9%20loop%0Anew%25line~_.mp4");
    std::string back;
    ASSERT_TRUE(PathOfFileUri(uri, back));
    EXPECT_EQ(back, path);

    for (const char* broken :
         {"/clips/a.mp4", "file://clips/a.mp4", "file:///a%2", "file:///a%zz", "file:///a%00b"}) {
        std::string unchanged = "kept";
        EXPECT_FALSE(PathOfFileUri(broken, unchanged)) << broken;
        EXPECT_EQ(unchanged, "kept");
    }
}

TEST(ClipFolder, ListsOnlyRegularClipFilesByName)
{
    TempFolder folder;
    const std::string still = folder.Touch("a.PNG");
    const std::string clip = folder.Touch("b.mp4");
    const std::string spaced = folder.Touch("c d.jpg");
    folder.Touch("notes.txt");
    fs::create_directory(folder.path / "folder.mkv");
    ASSERT_EQ(mkfifo((folder.path / "fifo.webm").c_str(), 0600), 0);  // opening it would block
    fs::create_symlink(folder.path / "gone.avi", folder.path / "dangling.avi");
    fs::create_symlink(still, folder.path / "link.mov");

    EXPECT_EQ(ListClipFolder(folder.path.string()),
              (std::vector<std::string>{still, clip, spaced, (folder.path / "link.mov").string()}));
    EXPECT_TRUE(ListClipFolder((folder.path / "missing").string()).empty());
}

TEST(SourceList, FilesFollowTheDevicesAndARememberedFileIsFoundWhereverItMoved)
{
    TempFolder clips;
    TempFolder elsewhere;
    const std::string second = clips.Touch("b.png");
    const std::string outside = elsewhere.Touch("logo.png");
    const std::string missing = (elsewhere.path / "later.mp4").string();

    const std::vector<std::string> devices = VideoDeviceNames();
    const int first = static_cast<int>(devices.size()) + 1;
    const SourceListing listing = ListSources(clips.path.string(), {outside, "", second, missing});
    EXPECT_EQ(listing.names, [&] {
        std::vector<std::string> names = devices;
        for (const char* name : {"b.png", "logo.png", "later.mp4", kOpenFileEntry})
            names.push_back(name);
        return names;
    }());
    EXPECT_EQ(PositionOfFile(listing, second), first);
    EXPECT_EQ(PositionOfFile(listing, outside), first + 1);
    EXPECT_EQ(PositionOfFile(listing, missing), first + 2);  // waited for in its place
    EXPECT_TRUE(IsOpenFileEntry(listing, first + 3));
    EXPECT_FALSE(IsOpenFileEntry(listing, first + 2));
    EXPECT_EQ(PositionOfFile(listing, ""), 0);

    // A clip added before it in the folder moves the remembered file one down.
    clips.Touch("a.mp4");
    const SourceListing moved = ListSources(clips.path.string(), {outside});
    EXPECT_EQ(PositionOfFile(moved, outside), first + 2);
    EXPECT_TRUE(IsOpenFileEntry(moved, first + 3));
}

}  // namespace
