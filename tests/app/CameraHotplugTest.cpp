// The main window's cameras by name, with cameras of the tests' own that come and go while
// the window runs: names and positions in the settings file, a camera found where it moved, a
// camera waited for and started by itself, an unplug that keeps the last picture, and a
// camera rebuilt when its frame size changes.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CaptureSetup.h"
#include "DeviceList.h"
#include "FileUri.h"
#include "FileWait.h"
#include "MainDlg.h"
#include "Resources.h"
#include "TestDevices.h"
#include "VideoCapture.h"

namespace {

constexpr int kWaitMs = 60000;  // generous: the machine may be busy

std::vector<uint8_t> Picture(CFrameMemory& memory)
{
    memory.Update();
    return {memory.Picture(), memory.Picture() + 512 * 384 * 3};
}

bool Black(const std::vector<uint8_t>& picture)
{
    return std::all_of(picture.begin(), picture.end(), [](uint8_t b) { return b == 0; });
}

class CameraHotplug : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitCapture();
        // The cameras here come from providers that tell of their changes. A capture card's
        // provider that cannot (DeckLink's, among GStreamer's "bad" plugins) would rightly have
        // the window look every second while a camera is awaited: it is left out.
        if (GstPluginFeature* card =
                gst_registry_lookup_feature(gst_registry_get(), "decklinkdeviceprovider")) {
            gst_registry_remove_feature(gst_registry_get(), card);
            gst_object_unref(card);
        }
        RegisterTestDevices();
        ASSERT_TRUE(m_folder.isValid());
        m_path = m_folder.filePath("Kovra.ini").toStdString();
    }

    void TearDown() override
    {
        if (m_dlg) m_dlg->OnDestroy();
        for (const std::string& name : m_plugged) RemoveTestDevice(name);
        if (!m_home.isNull()) {
            qputenv("HOME", m_home);
            qunsetenv("XDG_CONFIG_HOME");
        }
    }

    // A camera plugged in or out while the window runs; those left in go at the end.
    void Plug(const std::string& name)
    {
        AddTestDevice(name);
        m_plugged.push_back(name);
    }
    void Unplug(const std::string& name)
    {
        RemoveTestDevice(name);
        m_plugged.erase(std::find(m_plugged.begin(), m_plugged.end(), name));
    }

    // A window started on a settings file of this text.
    void Start(const std::string& settings)
    {
        std::ofstream(m_path) << settings;
        m_dlg = std::make_unique<CMainDlg>();
        m_dlg->m_settingsPath = m_path;
        ASSERT_TRUE(m_dlg->Setup()) << "no OpenGL context on this display";
    }

    std::string Settings()
    {
        std::ifstream file(m_path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Runs the window's frame loop until `done` holds.
    template <typename Done>
    bool WaitFor(Done done)
    {
        return QTest::qWaitFor(done, kWaitMs);
    }

    // Runs the frame loop for `ticks` ticks.
    bool RunTicks(int ticks)
    {
        for (int tick = 0; tick < ticks; ++tick) {
            const int count = m_dlg->m_nFrameCount;
            if (!WaitFor([&] { return m_dlg->m_nFrameCount != count; })) return false;
        }
        return true;
    }

    // Waits until camera A shows a picture that is not black, and returns it.
    std::vector<uint8_t> LivePicture()
    {
        std::vector<uint8_t> picture;
        WaitFor([&] {
            picture = m_dlg->m_memA.IsOpen() ? Picture(m_dlg->m_memA) : std::vector<uint8_t>();
            return !picture.empty() && !Black(picture);
        });
        return picture;
    }

    QTemporaryDir m_folder;
    std::string m_path;
    std::unique_ptr<CMainDlg> m_dlg;
    std::vector<std::string> m_plugged;
    QByteArray m_home;  // HOME, while the test has moved it
};

TEST_F(CameraHotplug, ANamedCameraStartsWhereItNowSitsAndBothAreWrittenBack)
{
    Plug("Kovra Hot Gamma");
    const int before = DevicePosition("Kovra Hot Gamma");
    Plug("Kovra Hot Beta");  // listed ahead of it from now on
    ASSERT_EQ(DevicePosition("Kovra Hot Beta"), before) << "the list order did not change";
    const int gamma = DevicePosition("Kovra Hot Gamma");
    const int bars = DevicePosition(kTestPatternBars);

    // Camera B comes from a file without names: its position counts, its name is kept on.
    Start("[CAMERA]\nDEVICE1=" + std::to_string(before) +
          "\nNAME1=Kovra Hot Gamma\nDEVICE2=" + std::to_string(bars) + "\n");
    EXPECT_EQ(m_dlg->m_nDeviceA, gamma);
    EXPECT_TRUE(m_dlg->m_memA.IsOpen());
    EXPECT_EQ(m_dlg->m_nDeviceB, bars);
    // Nothing is awaited: the cameras are not listed again.
    const unsigned listings = m_dlg->CameraStarter()->ListingsMade();
    ASSERT_TRUE(RunTicks(40));
    EXPECT_EQ(m_dlg->CameraStarter()->ListingsMade(), listings);
    m_dlg->OnDestroy();
    const std::string settings = Settings();
    EXPECT_NE(settings.find("DEVICE1=" + std::to_string(gamma) + "\n"), settings.npos) << settings;
    EXPECT_NE(settings.find("NAME1=Kovra Hot Gamma\n"), settings.npos) << settings;
    EXPECT_NE(settings.find("DEVICE2=" + std::to_string(bars) + "\n"), settings.npos) << settings;
    EXPECT_NE(settings.find(std::string("NAME2=") + kTestPatternBars + "\n"), settings.npos)
        << settings;
}

TEST_F(CameraHotplug, FilesComeBackByPathOrPositionAndAMissingOneIsTakenWhenItAppears)
{
    // The videos folder is $HOME/Videos while the config folder has no user-dirs file.
    m_home = qgetenv("HOME");
    qputenv("HOME", m_folder.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_folder.filePath("config").toUtf8());
    const std::string clip = m_folder.filePath("Videos/Kovra/Clips/a.png").toStdString();
    const std::string late = m_folder.filePath("late\nclip.mp4").toStdString();
    QDir(m_folder.path()).mkpath("Videos/Kovra/Clips");
    QImage green(64, 48, QImage::Format_RGB32);
    green.fill(Qt::green);
    ASSERT_TRUE(green.save(QString::fromStdString(clip)));
    ASSERT_EQ(mkfifo(late.c_str(), 0600), 0);  // not a regular file: waited for, never opened
    const int first = static_cast<int>(VideoDeviceNames().size()) + 1;

    // The late file was written first after the devices; the clips folder's a.png is listed
    // ahead of it now. Camera B names a.png by its position.
    Start("[CAMERA]\nDEVICE1=" + std::to_string(first) + "\nPATH1=" + FileUriOfPath(late) +
          "\nDEVICE2=" + std::to_string(first) + "\n");
    EXPECT_EQ(m_dlg->m_cameraA.heldPosition, first + 1);
    EXPECT_EQ(m_dlg->m_cameraB.file, clip);
    EXPECT_TRUE(WaitFor([&] { return m_dlg->m_cameraB.filesHanded == 1; }));
    EXPECT_TRUE(WaitFor([&] { return m_dlg->m_memB.Capture() != nullptr; })) << "a.png plays";
    EXPECT_EQ(m_dlg->m_memB.Capture()->File(), clip);
    EXPECT_TRUE(WaitFor([&] { return m_dlg->m_cameraA.fileWait->Looks() >= 2; }));
    EXPECT_TRUE(m_dlg->m_cameraA.fileMissing);
    EXPECT_EQ(m_dlg->m_cameraA.filesHanded, 0u);

    std::filesystem::remove(late);
    std::ofstream(late) << "x";
    EXPECT_TRUE(WaitFor([&] { return m_dlg->m_cameraA.filesHanded == 1; }));
    // No clip inside: it cannot play, and stays chosen.
    EXPECT_TRUE(WaitFor([&] { return !m_dlg->m_cameraA.starting; }));
    EXPECT_EQ(m_dlg->m_memA.Capture(), nullptr);
    EXPECT_EQ(m_dlg->m_cameraA.file, late);
    m_dlg->OnDestroy();
    const std::string settings = Settings();
    for (const std::string& line : {"DEVICE1=" + std::to_string(first + 1),
                                    "PATH1=" + FileUriOfPath(late), "PATH2=" + FileUriOfPath(clip)})
        EXPECT_NE(settings.find(line + "\n"), settings.npos) << settings;
}

TEST_F(CameraHotplug, BothCamerasStartAtOnceWithinOneBoundAtSetUp)
{
    // One after the other they would take 12 s, past the 10 s the two have together.
    AddSlowTestDevice("Kovra Hot Slow A", 6000);
    m_plugged.push_back("Kovra Hot Slow A");
    AddSlowTestDevice("Kovra Hot Slow B", 6000);
    m_plugged.push_back("Kovra Hot Slow B");
    Start("[CAMERA]\nNAME1=Kovra Hot Slow A\nNAME2=Kovra Hot Slow B\n");
    EXPECT_TRUE(m_dlg->m_memA.IsOpen());
    EXPECT_TRUE(m_dlg->m_memB.IsOpen());
    EXPECT_EQ(m_dlg->m_nDeviceB, DevicePosition("Kovra Hot Slow B"));
}

TEST_F(CameraHotplug, AnAbsentCameraIsHeldApartAndStartsByItselfWhenItAppears)
{
    Start("[CAMERA]\nDEVICE1=2\nNAME1=Kovra Hot Delta\n");
    EXPECT_EQ(m_dlg->m_nDeviceA, 0) << "nothing opened in its place";
    EXPECT_FALSE(m_dlg->m_memA.IsOpen());
    m_dlg->ExchangeSettings(false);
    const std::string settings = Settings();
    EXPECT_NE(settings.find("DEVICE1=2\n"), settings.npos) << settings;
    EXPECT_NE(settings.find("NAME1=Kovra Hot Delta\n"), settings.npos) << settings;

    // Awaited: once the device monitor runs, every provider tells of its changes, so the
    // cameras are listed once and not again until one comes or goes.
    const CCameraStarter& starter = *m_dlg->CameraStarter();
    const unsigned atSetup = starter.ListingsMade();
    ASSERT_TRUE(WaitFor([&] { return starter.ListingsMade() > atSetup; }));
    const unsigned watched = starter.ListingsMade();
    ASSERT_TRUE(RunTicks(40));
    EXPECT_EQ(starter.ListingsMade(), watched);
    EXPECT_FALSE(starter.LooksEverySecond());

    Plug("Kovra Hot Delta");
    const int delta = DevicePosition("Kovra Hot Delta");
    ASSERT_TRUE(WaitFor([&] { return m_dlg->m_nDeviceA == delta && m_dlg->m_memA.IsOpen(); }));
    EXPECT_FALSE(LivePicture().empty());
}

TEST_F(CameraHotplug, AnUnpluggedCameraKeepsItsLastPictureAndResumesWhenItReturns)
{
    Plug("Kovra Hot Epsilon");
    Start("[CAMERA]\nNAME1=Kovra Hot Epsilon\n");
    const std::vector<uint8_t> last = LivePicture();
    ASSERT_FALSE(last.empty());
    const int position = m_dlg->m_nDeviceA;

    Unplug("Kovra Hot Epsilon");
    ASSERT_TRUE(WaitFor([&] { return m_dlg->m_cameraA.absent && !m_dlg->m_memA.Capture(); }));
    EXPECT_EQ(m_dlg->m_nDeviceA, position) << "the placeholder took the last picture's place";
    EXPECT_TRUE(Picture(m_dlg->m_memA) == last);

    Plug("Kovra Hot Epsilon");
    ASSERT_TRUE(WaitFor([&] { return !m_dlg->m_cameraA.absent && m_dlg->m_memA.Capture(); }));
    EXPECT_EQ(m_dlg->m_nDeviceA, DevicePosition("Kovra Hot Epsilon"));
    EXPECT_FALSE(LivePicture().empty());
}

TEST_F(CameraHotplug, ACameraWhoseFrameSizeChangesIsRebuiltAtTheNewSize)
{
    Plug("Kovra Hot Zeta");
    Start("[CAMERA]\nNAME1=Kovra Hot Zeta\n");
    ASSERT_TRUE(m_dlg->m_memA.Capture());
    EXPECT_EQ(m_dlg->m_memA.Capture()->GetWidth(), 320);

    ResizeTestDevice("Kovra Hot Zeta", 160, 120);
    ASSERT_TRUE(WaitFor([&] {
        const CVideoCapture* capture = m_dlg->m_memA.Capture();
        return capture && capture->GetWidth() == 160 && capture->GetHeight() == 120;
    }));
    EXPECT_FALSE(LivePicture().empty());
}

TEST_F(CameraHotplug, ThePinCommandShowsTheFormatsOfTheOpenedCameraAndStartsItAgain)
{
    Start("[CAMERA]\nDEVICE1=" + std::to_string(DevicePosition(kTestPatternBars)) + "\n");
    ASSERT_FALSE(LivePicture().empty());
    const int position = m_dlg->m_nDeviceA;

    // The dialog comes up here while the device is open on the worker; cancel keeps the
    // device's own format.
    bool shown = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            shown = true;
            dialog->reject();
        }
    });
    cancel.start(10);
    m_dlg->OnCommand(ID_CAMERAA_PIN);
    cancel.stop();
    EXPECT_TRUE(shown);
    ASSERT_TRUE(m_dlg->m_memA.Capture());
    EXPECT_EQ(m_dlg->m_nDeviceA, position);
    EXPECT_FALSE(LivePicture().empty());
}

}  // namespace
