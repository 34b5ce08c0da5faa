// The file entries' work beside the window: a big clips folder is read on the worker while
// the event loop runs on, and a missing file is picked up once a regular file appears there.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <filesystem>
#include <fstream>
#include <future>

#include "CameraStarter.h"
#include "FileWait.h"
#include "SourceList.h"
#include "Worker.h"

namespace {

namespace fs = std::filesystem;

template <typename Ready>
void ProcessUntil(Ready ready)
{
    while (!ready()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct TempHome {
    fs::path path;
    std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
    TempHome()
    {
        std::string pattern = (fs::temp_directory_path() / "kovra-home-XXXXXX").string();
        path = mkdtemp(pattern.data());
        // The videos folder is then $HOME/Videos: no user-dirs file under this config folder.
        setenv("HOME", path.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path / "config").c_str(), 1);
    }
    ~TempHome()
    {
        setenv("HOME", oldHome.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(path);
    }
};

TEST(SourceWait, ABigClipsFolderIsReadOnTheWorker)
{
    TempHome home;
    const fs::path clips = home.path / "Videos/Kovra/Clips";
    fs::create_directories(clips);
    for (int i = 0; i < 10000; ++i) std::ofstream(clips / ("clip" + std::to_string(i) + ".png"));

    CWorker worker;
    QObject window;
    std::vector<std::string> delivered;
    CCameraStarter::Handlers handlers;
    handlers.listed = [&](const std::vector<std::string>& names, unsigned) { delivered = names; };
    CCameraStarter starter(worker, &window, handlers);

    // The listing's lane held: asking for a listing must come back without one.
    std::promise<void> release;
    CWorker::Job hold;
    hold.name = "hold";
    hold.work = [gate = release.get_future().share()] { gate.wait(); };
    worker.Post("camera list", std::move(hold));
    starter.ListLater();
    EXPECT_EQ(starter.ListingsMade(), 0u);
    release.set_value();

    ProcessUntil([&] { return !delivered.empty(); });
    const SourceListing& listing = starter.Newest();
    EXPECT_EQ(listing.names, delivered);
    ASSERT_GE(listing.names.size(), 10001u);
    EXPECT_EQ(listing.names.back(), kOpenFileEntry);
    EXPECT_EQ(listing.files[listing.files.size() - 10001], (clips / "clip0.png").string());
    EXPECT_EQ(listing.files[listing.files.size() - 2], (clips / "clip9999.png").string());
}

TEST(SourceWait, AMissingFileIsPickedUpWhenARegularFileAppears)
{
    const fs::path folder = fs::temp_directory_path() / ("kovra-wait-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path path = folder / "late clip.mp4";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // never opened: a FIFO does not count

    CWorker worker;
    QObject window;
    CFileWait wait(worker, &window);
    int appeared = 0;
    wait.Wait(path.string(), [&] { ++appeared; });
    ProcessUntil([&] { return wait.Looks() >= 2; });  // the second a timed look, not the first
    EXPECT_EQ(appeared, 0);
    EXPECT_TRUE(wait.Waiting());

    std::ofstream(folder / "made") << "x";
    fs::rename(folder / "made", path);
    ProcessUntil([&] { return appeared > 0; });
    EXPECT_EQ(appeared, 1);
    EXPECT_FALSE(wait.Waiting());
    fs::remove_all(folder);
}

}  // namespace
