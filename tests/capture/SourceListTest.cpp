// The file entries' own rules: file URIs that keep any name, and the clips folder's listing
// (regular clip files only, by name).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "ClipFolder.h"
#include "FileUri.h"

namespace {

namespace fs = std::filesystem;

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
    QTemporaryDir temp;
    const fs::path folder = temp.path().toStdString();
    for (const char* name : {"b.mp4", "a.PNG", "c d.jpg", "notes.txt"})
        std::ofstream(folder / name) << "x";
    fs::create_directory(folder / "folder.mkv");
    ASSERT_EQ(mkfifo((folder / "fifo.webm").c_str(), 0600), 0);  // opening it would block
    fs::create_symlink(folder / "gone.avi", folder / "dangling.avi");
    fs::create_symlink(folder / "a.PNG", folder / "link.mov");

    std::vector<std::string> expected;
    for (const char* name : {"a.PNG", "b.mp4", "c d.jpg", "link.mov"})
        expected.push_back((folder / name).string());
    EXPECT_EQ(ListClipFolder(folder.string()), expected);
    EXPECT_TRUE(ListClipFolder((folder / "missing").string()).empty());
}

}  // namespace
