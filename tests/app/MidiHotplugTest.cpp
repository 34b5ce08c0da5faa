// The main window's MIDI devices on a real JACK server with senders of the test's own: the
// remembered device opened by its name when it is not the first, let go of when its port
// goes (held notes and a black key's record flag released), and opened again by itself
// when it comes back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>

#include "BoundedMidiDriver.h"
#include "JackServer.h"
#include "MainDlg.h"
#include "MidiIn.h"
#include "RtMidiDriver.h"

namespace {

using namespace std::chrono_literals;

// Runs the window's events until the condition holds (a generous deadline: the JACK server
// tells of ports in its own time, and the machine may be busy).
template <typename Condition>
bool Eventually(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class MidiHotplug : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning()) << "jackd -d dummy did not start";
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override
    {
        if (m_dlg) {
            m_dlg->close();
            m_dlg->Midi().SetDriver(nullptr);
        }
        m_driver.reset();
        m_dlg.reset();
    }

    // Sends one message from the sender and waits until it has gone out.
    static void Send(JackSender& sender, std::vector<uint8_t> bytes)
    {
        ASSERT_TRUE(sender.Send(bytes));
        ASSERT_TRUE(sender.Flush(10000));
    }

    // A window whose remembered device is the sender "controller", open and connected.
    void OpenOnController(JackSender& controller)
    {
        const std::string path = QDir(m_dir.path()).filePath("Kovra.ini").toStdString();
        std::ofstream(path) << "[MIDI]\nDEVICE=0\nCH=0\nNAME=JACK: controller:out\n";
        m_dlg = std::make_unique<CMainDlg>();
        m_driver = std::make_unique<CBoundedMidiDriver>(m_dlg->Worker(),
                                                        std::make_shared<CRtMidiDriver>());
        m_dlg->Midi().SetDriver(m_driver.get());
        m_dlg->m_settingsPath = path;
        ASSERT_TRUE(Eventually([&] { return m_driver->GetNumDevs() == 1; }));
        ASSERT_TRUE(m_dlg->Setup());
        ASSERT_TRUE(m_dlg->Midi().Input().IsOpen());
        ASSERT_TRUE(controller.WaitConnected(30000));
    }

    JackServer m_server;
    std::unique_ptr<CBoundedMidiDriver> m_driver;
    QTemporaryDir m_dir;
    std::vector<int> m_reports;  // the messages a failing call would show
    std::unique_ptr<CMainDlg> m_dlg;
};

TEST_F(MidiHotplug, TheRememberedControllerIsFoundByNameLetGoOfAndFoundAgain)
{
    JackSender first("first");
    auto controller = std::make_unique<JackSender>("controller");
    ASSERT_TRUE(first.IsOpen() && controller->IsOpen());
    const std::string path = QDir(m_dir.path()).filePath("Kovra.ini").toStdString();
    std::ofstream(path) << "[MIDI]\nDEVICE=0\nCH=0\nNAME=JACK: controller:out\n";
    m_dlg = std::make_unique<CMainDlg>();
    m_driver =
        std::make_unique<CBoundedMidiDriver>(m_dlg->Worker(), std::make_shared<CRtMidiDriver>());
    m_dlg->Midi().SetDriver(m_driver.get());
    m_dlg->m_settingsPath = path;
    // The server may list a new port a moment after its client opened.
    ASSERT_TRUE(Eventually([&] {
        const unsigned n = m_driver->GetNumDevs();
        return n == 2 && m_driver->GetDeviceName(1) == "JACK: controller:out";
    }));
    ASSERT_TRUE(m_dlg->Setup());
    ASSERT_TRUE(m_dlg->Midi().Input().IsOpen());
    EXPECT_EQ(m_dlg->Midi().Device(), 1);
    ASSERT_TRUE(controller->WaitConnected(30000));
    EXPECT_FALSE(first.WaitConnected(0));

    // A frame-memory key and a black key held on the controller when it goes.
    m_dlg->m_nDeviceA = 1;  // frame memories play without a camera
    Send(*controller, {0x90, 48, 0x40});
    Send(*controller, {0x90, 49, 0x40});
    ASSERT_TRUE(
        Eventually([&] { return m_dlg->Performance().Record() && m_dlg->m_memA.Shown() == 0; }));
    controller->Close();
    ASSERT_TRUE(Eventually([&] { return !m_dlg->Midi().Input().IsOpen(); }));
    EXPECT_EQ(m_dlg->m_memA.Shown(), -1);
    EXPECT_FALSE(m_dlg->Performance().Record());
    EXPECT_EQ(m_dlg->Midi().Device(), 0);

    // Back again: opened by itself, and a Program Change acts.
    controller = std::make_unique<JackSender>("controller");
    ASSERT_TRUE(controller->IsOpen());
    ASSERT_TRUE(Eventually([&] { return m_dlg->Midi().Input().IsOpen(); }));
    ASSERT_TRUE(controller->WaitConnected(30000));
    Send(*controller, {0xC0, 0x07});
    EXPECT_TRUE(Eventually([&] { return m_dlg->Performance().Effect() == 7; }));
    m_dlg->m_nDeviceA = 0;
    m_dlg->close();
}

// A sender in a process of its own, as a real one is: libjack keeps one connection to a
// server per process, so a sender in this process would share Kovra's across a restart.
class SenderProcess {
public:
    explicit SenderProcess(const char* name)
    {
        m_process.start(QStringLiteral(KOVRA_JACK_SEND), {QString::fromLatin1(name)});
    }
    ~SenderProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool Ready()
    {
        return m_process.waitForReadyRead(30000) && m_process.readLine().startsWith("ready");
    }
    void Send(const char* line) { m_process.write(QByteArray(line) + "\n"); }

private:
    QProcess m_process;
};

TEST_F(MidiHotplug, AfterAQuickRestartOfTheServerThePortComesBackAndExitIsClean)
{
    const std::string path = QDir(m_dir.path()).filePath("Kovra.ini").toStdString();
    std::ofstream(path) << "[MIDI]\nDEVICE=0\nCH=0\nNAME=JACK: controller:out\n";
    auto sender = std::make_unique<SenderProcess>("controller");
    ASSERT_TRUE(sender->Ready());
    m_dlg = std::make_unique<CMainDlg>();
    m_driver =
        std::make_unique<CBoundedMidiDriver>(m_dlg->Worker(), std::make_shared<CRtMidiDriver>());
    m_dlg->Midi().SetDriver(m_driver.get());
    m_dlg->Midi().SetReporter([this](int message) { m_reports.push_back(message); });
    m_dlg->m_settingsPath = path;
    ASSERT_TRUE(m_dlg->Setup());
    for (int round = 0; round < 3; ++round) {
        // Played until it acts: the port is open and connected again.
        const int effect = 3 + round;
        const std::string change = "c0 0" + std::to_string(effect);
        ASSERT_TRUE(Eventually([&] {
            if (m_dlg->Midi().Input().IsOpen()) sender->Send(change.c_str());
            return m_dlg->Performance().Effect() == effect;
        })) << "round "
            << round << " open " << m_dlg->Midi().Input().IsOpen() << " lost "
            << (m_dlg->Midi().Input().IsOpen() && m_dlg->Midi().Input().IsLost()) << " device "
            << m_dlg->Midi().Device() << " started " << m_dlg->Midi().Input().IsStarted()
            << " messages " << m_reports.size() << " listed " << m_driver->GetNumDevs();
        if (round == 2) break;
        // Killed and started again at once, and the sender with it.
        ASSERT_TRUE(m_server.Restart(round == 0 ? SIGKILL : SIGTERM, 100ms));
        sender = std::make_unique<SenderProcess>("controller");
        ASSERT_TRUE(sender->Ready());
    }
    // The exit after restarts: the test ends, with no crash.
}

TEST_F(MidiHotplug, ExitEndsWithinItsBudgetWhileTheServerIsStopped)
{
    JackSender controller("controller");
    ASSERT_TRUE(controller.IsOpen());
    OpenOnController(controller);
    m_server.Pause(true);
    // Let go whatever happens, so that a close that waits for good ends with the test.
    std::atomic<bool> closed{false};
    std::thread watchdog([&] {
        const auto end = std::chrono::steady_clock::now() + 15s;
        while (!closed && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(10ms);
        m_server.Pause(false);
    });
    const auto before = std::chrono::steady_clock::now();
    m_dlg->close();
    m_dlg->Midi().SetDriver(nullptr);
    m_driver.reset();
    m_dlg.reset();
    const auto took = std::chrono::steady_clock::now() - before;
    closed = true;
    watchdog.join();
    EXPECT_LT(took, 3500ms) << "the exit's 2 s budget, with room for a busy machine";
}

}  // namespace
