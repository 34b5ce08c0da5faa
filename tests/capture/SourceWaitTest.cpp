// A big clips folder is read on the worker: asking for a listing never holds the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <future>

#include "CameraStarter.h"
#include "SourceList.h"
#include "Worker.h"

namespace {

TEST(SourceWait, ABigClipsFolderIsReadOnTheWorker)
{
    // The videos folder is $HOME/Videos while the config folder has no user-dirs file.
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    const std::filesystem::path clips = home.filePath("Videos/Kovra/Clips").toStdString();
    std::filesystem::create_directories(clips);
    for (int i = 0; i < 10000; ++i) std::ofstream(clips / ("clip" + std::to_string(i) + ".png"));
    {
        CWorker worker;
        QObject window;
        std::vector<std::string> delivered;
        CCameraStarter starter(
            worker, &window,
            {nullptr, [&](const std::vector<std::string>& names, unsigned) { delivered = names; }});
        // With the listing's lane held, asking for a listing comes back without one.
        std::promise<void> release;
        CWorker::Job hold;
        hold.work = [gate = release.get_future().share()] { gate.wait(); };
        worker.Post("camera list", std::move(hold));
        starter.ListLater();
        EXPECT_EQ(starter.ListingsMade(), 0u);
        release.set_value();

        while (delivered.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const SourceListing& listing = starter.Newest();
        ASSERT_GE(listing.files.size(), 10001u);
        EXPECT_EQ(listing.names.back(), kOpenFileEntry);
        EXPECT_EQ(listing.files[listing.files.size() - 10001], (clips / "clip0.png").string());
        EXPECT_EQ(listing.files[listing.files.size() - 2], (clips / "clip9999.png").string());
    }
    qputenv("HOME", oldHome);
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
