// The MIDI driver with bounded waits over a driver of the tests' own whose listing and open
// hang until the test lets them go; the session over it when its set-up is slow; and the
// names under which devices are remembered.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QCoreApplication>

#include "BoundedMidiDriver.h"
#include "MidiPortNames.h"
#include "MidiSession.h"
#include "Performance.h"

namespace {

using namespace std::chrono_literals;

// Two ports. While held, GetNumDevs and Open wait inside the call until released; while
// opens are held, Open alone does. Tells of its changes, as JACK's watch does.
class HangingDriver : public MidiDriver {
public:
    void HoldOpens(bool held)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bOpensHeld = held;
        m_released.notify_all();
    }
    // Opens that say no, as a device that went or a server that is stopping does.
    void RefuseOpens(bool refuse)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bRefuse = refuse;
    }
    int Opens()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nOpens;
    }
    void Hold()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHeld = true;
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHeld = false;
        m_released.notify_all();
    }
    // How many listings have started, and how many are inside the driver now.
    int Listings()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nListings;
    }
    int Inside()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nInside;
    }
    int Closes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nCloses;
    }

    unsigned GetNumDevs() override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nListings;
        Wait(lock);
        return 2;
    }
    std::string GetDeviceName(unsigned id) override { return "JACK: port" + std::to_string(id); }
    int Open(MidiHandle* handle, unsigned, MidiReceiver*) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nOpens;
        Wait(lock, true);
        if (m_bRefuse) return 6;
        *handle = this;
        return MIDI_NOERROR;
    }
    bool Announces() override { return true; }
    int PrepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int AddBuffer(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Start(MidiHandle) override { return MIDI_NOERROR; }
    int Reset(MidiHandle) override { return MIDI_NOERROR; }
    int UnprepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Close(MidiHandle) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nCloses;
        return MIDI_NOERROR;
    }

private:
    void Wait(std::unique_lock<std::mutex>& lock, bool open = false)
    {
        ++m_nInside;
        m_released.wait(lock, [&] { return !m_bHeld && !(open && m_bOpensHeld); });
        --m_nInside;
    }

    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_bHeld = false;
    bool m_bOpensHeld = false;
    bool m_bRefuse = false;
    int m_nOpens = 0;
    int m_nListings = 0;
    int m_nInside = 0;
    int m_nCloses = 0;
};

class NoReceiver : public MidiReceiver {
public:
    void PostShortMessage(uint32_t) override {}
    void PostLongData(MidiHeader*) override {}
};

// Runs the events until the condition holds (a generous deadline: the machine may be busy).
template <typename Condition>
bool Eventually(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BoundedMidiDriver, AHangingListingCountsAsNoPortsUntilItReturns)
{
    auto inner = std::make_shared<HangingDriver>();
    CWorker worker;
    CBoundedMidiDriver driver(worker, inner, 100ms);
    ASSERT_EQ(driver.GetNumDevs(), 2u);
    EXPECT_EQ(driver.GetDeviceName(1), "JACK: port1");

    inner->Hold();
    EXPECT_EQ(driver.GetNumDevs(), 0u);
    EXPECT_EQ(driver.GetDeviceName(0), "");
    // The late listing is the only one: later calls do not start another beside it, and a
    // background listing answers with no ports.
    EXPECT_EQ(driver.GetNumDevs(), 0u);
    std::vector<std::string> names = {"stale"};
    bool listed = false;
    driver.ListLater([&](const std::vector<std::string>& got) {
        names = got;
        listed = true;
    });
    EXPECT_TRUE(Eventually([&] { return listed; }));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(inner->Listings(), 2);

    // Once it has returned, the next listing runs again.
    inner->Release();
    EXPECT_TRUE(Eventually([&] { return driver.GetNumDevs() == 2u; }));
    EXPECT_EQ(inner->Listings(), 3);
}

TEST(BoundedMidiDriver, AnOpenThatReturnsTooLateIsClosedAgain)
{
    auto inner = std::make_shared<HangingDriver>();
    CWorker worker;
    CBoundedMidiDriver driver(worker, inner, 100ms);
    NoReceiver receiver;
    ASSERT_EQ(driver.GetNumDevs(), 2u);
    inner->Hold();
    MidiHandle handle = &receiver;
    EXPECT_EQ(driver.Open(&handle, 1, &receiver), MIDI_LATE);
    EXPECT_EQ(handle, nullptr);
    inner->Release();
    EXPECT_TRUE(Eventually([&] { return inner->Closes() == 1; }));

    // In time, the device is opened.
    EXPECT_TRUE(Eventually([&] { return driver.GetNumDevs() == 2u; }));
    EXPECT_EQ(driver.Open(&handle, 1, &receiver), MIDI_NOERROR);
    EXPECT_EQ(handle, inner.get());

    // An open begun in the background and given up by the next listing goes the same way.
    inner->Hold();
    bool answered = false;
    driver.OpenLater(1, &receiver, [&](int, MidiHandle) { answered = true; });
    ASSERT_TRUE(Eventually([&] { return inner->Inside() == 1; })) << "the open has begun";
    EXPECT_EQ(driver.GetNumDevs(), 0u);
    inner->Release();
    EXPECT_TRUE(Eventually([&] { return inner->Closes() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered) << "an open given up is never handed over";
}

TEST(BoundedMidiDriver, TheBackgroundListingNeverWaitsAndAHungOneIsLeftBehindAtTheEnd)
{
    auto inner = std::make_shared<HangingDriver>();
    CWorker worker;
    auto driver = std::make_unique<CBoundedMidiDriver>(worker, inner, 100ms);
    std::vector<std::string> names;
    bool listed = false;
    driver->ListLater([&](const std::vector<std::string>& got) {
        names = got;
        listed = true;
    });
    EXPECT_FALSE(listed) << "it never waits";
    ASSERT_TRUE(Eventually([&] { return listed; }));
    EXPECT_EQ(names, (std::vector<std::string>{"JACK: port0", "JACK: port1"}));

    // A listing that hangs does not hold up the end of the driver above it.
    inner->Hold();
    listed = false;
    driver->ListLater([&](const std::vector<std::string>&) { listed = true; });
    ASSERT_TRUE(Eventually([&] { return inner->Inside() == 1; }));
    const auto before = std::chrono::steady_clock::now();
    driver.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    inner->Release();
    EXPECT_TRUE(Eventually([&] { return inner.use_count() == 1; })) << "its thread let go";
    EXPECT_FALSE(listed) << "nothing is handed to a driver that went";
}

// The session over the bounded driver, whose back end is slow while the program sets up:
// the remembered device is port 1, and no port ever comes or goes.
class SlowSetUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_session.SetDriver(&m_driver);
        m_session.SetReporter([this](int message) { m_reports.push_back(message); });
        m_session.SetName(StoredPortName({"JACK: port0", "JACK: port1"}, 1));
    }
    void TearDown() override
    {
        m_inner->Release();
        m_inner->HoldOpens(false);
        m_session.Finish();
    }
    // Until every job posted on the lane so far has run and handed its result over.
    void Settle()
    {
        CWorker::Job job;
        ASSERT_TRUE(m_worker.Post("midi", job)->Wait(std::chrono::steady_clock::now() + 30s));
        QCoreApplication::processEvents();
    }

    std::shared_ptr<HangingDriver> m_inner = std::make_shared<HangingDriver>();
    CWorker m_worker;
    CBoundedMidiDriver m_driver{m_worker, m_inner, 100ms};
    CPerformance m_performance;
    CMidiSession m_session{m_performance};
    std::vector<int> m_reports;
};

TEST_F(SlowSetUp, AnOpenThatWasLateIsTriedAgainOnceItsLaneIsFreeAndReportedOnlyOnce)
{
    m_inner->HoldOpens(true);
    m_session.Begin();
    EXPECT_FALSE(m_session.Input().IsOpen());
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_OPEN_ERROR});
    m_inner->HoldOpens(false);
    ASSERT_TRUE(Eventually([&] { return m_session.Input().IsStarted(); }));
    EXPECT_EQ(m_inner->Opens(), 2);
    EXPECT_EQ(m_inner->Closes(), 1) << "the late open is closed again, the second one kept";
    EXPECT_EQ(m_reports.size(), 1u);

    // Late again, and then the device says no: that answer raises no second message.
    m_session.Finish();
    m_inner->HoldOpens(true);
    m_session.Begin();
    EXPECT_EQ(m_reports.size(), 2u);
    m_inner->RefuseOpens(true);
    m_inner->HoldOpens(false);
    ASSERT_TRUE(Eventually([&] { return m_inner->Opens() == 4; }));
    Settle();
    EXPECT_FALSE(m_session.Input().IsOpen());
    EXPECT_EQ(m_reports.size(), 2u);
}

TEST_F(SlowSetUp, ARefusedOpenOfTheListedDeviceIsTriedAgainQuietlyUntilItOpens)
{
    m_inner->RefuseOpens(true);
    m_session.Begin();
    EXPECT_FALSE(m_session.Input().IsOpen());
    ASSERT_TRUE(Eventually([&] { return m_inner->Opens() >= 3; })) << "not tried again";
    m_inner->RefuseOpens(false);
    ASSERT_TRUE(Eventually([&] { return m_session.Input().IsStarted(); }));
    EXPECT_EQ(m_session.Device(), 1);
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_OPEN_ERROR});
}

TEST_F(SlowSetUp, AListingThatWasLateIsAskedAgainAndItsDeviceOpens)
{
    m_inner->Hold();
    m_session.Begin();
    EXPECT_FALSE(m_session.Input().IsOpen());
    m_inner->Release();
    ASSERT_TRUE(Eventually([&] { return m_session.Input().IsStarted(); }));
    EXPECT_EQ(m_session.Device(), 1);
    EXPECT_EQ(m_inner->Opens(), 1);
    EXPECT_TRUE(m_reports.empty()) << "a device not yet listed is awaited, not an error";
}

// ALSA's and JACK's ports, each back end on a lane of its own; JACK's listing hangs while
// held. Records each call and whether it ran on the test's (user-interface) thread.
class TwoBackendDriver : public MidiDriver {
public:
    void Hold(bool held)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHeld = held;
        m_released.notify_all();
    }
    int JackListings()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_nJackListings;
    }
    // The calls of that name, and how many of them ran off the user-interface thread.
    std::pair<int, int> Calls(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::pair<int, int> count;
        for (const auto& call : m_calls) {
            if (call.first != name) continue;
            ++count.first;
            count.second += call.second ? 0 : 1;
        }
        return count;
    }

    // The calls' names in the order they came.
    std::vector<std::string> Order()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> names;
        for (const auto& call : m_calls) names.push_back(call.first);
        return names;
    }
    // Feedback: ALSA's sends wait inside the call while held, and are kept, packed.
    void HoldSends(bool held)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSendHeld = held;
        m_released.notify_all();
    }
    std::vector<uint32_t> Sent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }
    bool HasOutput(MidiHandle) override { return true; }
    bool SendWaits(const std::string& backend) override { return backend != "jack"; }
    bool Send(MidiHandle, const uint8_t* bytes, std::size_t size) override
    {
        Note("send");
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released.wait(lock, [this] { return !m_bSendHeld; });
        uint32_t packed = 0;
        for (std::size_t i = 0; i < size; ++i) packed |= uint32_t{bytes[i]} << (8 * i);
        m_sent.push_back(packed);
        return true;
    }

    std::vector<std::string> Backends() override { return {"alsa", "jack"}; }
    std::string BackendOf(const std::string& name) override
    {
        return name.rfind("JACK: ", 0) == 0 ? "jack" : "alsa";
    }
    std::vector<std::string> ListBackend(const std::string& backend) override
    {
        Note("list");
        if (backend != "jack") return {"ALSA: Pad:Pad MIDI 1 24:0"};
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_nJackListings;
        m_released.wait(lock, [this] { return !m_bHeld; });
        return {"JACK: keys:out"};
    }
    int OpenNamed(MidiHandle* handle, const std::string&, MidiReceiver* receiver) override
    {
        Note("open");
        m_receiver = receiver;
        *handle = this;
        return MIDI_NOERROR;
    }
    int Detach(MidiHandle) override
    {
        Note("detach");
        m_receiver->PostLongData(&m_header);  // what a stop gives back
        return MIDI_NOERROR;
    }
    int Disconnect(MidiHandle) override
    {
        Note("disconnect");
        return MIDI_NOERROR;
    }
    void Release(MidiHandle) override { Note("release"); }
    unsigned GetNumDevs() override { return 0; }
    std::string GetDeviceName(unsigned) override { return {}; }
    int Open(MidiHandle*, unsigned, MidiReceiver*) override { return 2; }
    int PrepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int AddBuffer(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Start(MidiHandle) override { return MIDI_NOERROR; }
    int Reset(MidiHandle) override { return MIDI_NOERROR; }
    int UnprepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Close(MidiHandle) override { return 2; }

private:
    void Note(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.emplace_back(call, std::this_thread::get_id() == m_main);
    }

    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_bHeld = false;
    bool m_bSendHeld = false;
    std::vector<uint32_t> m_sent;
    int m_nJackListings = 0;
    std::vector<std::pair<std::string, bool>> m_calls;
    std::thread::id m_main = std::this_thread::get_id();
    MidiReceiver* m_receiver = nullptr;
    MidiHeader m_header;
};

// Counts the deliveries that came on another thread than the test's.
class ThreadReceiver : public MidiReceiver {
public:
    void PostShortMessage(uint32_t) override { Note(); }
    void PostLongData(MidiHeader*) override { Note(); }
    int offThread = 0;
    int calls = 0;

private:
    void Note()
    {
        ++calls;
        if (std::this_thread::get_id() != m_main) ++offThread;
    }
    std::thread::id m_main = std::this_thread::get_id();
};

TEST(BoundedMidiDriver, BackEndsRunOnTheirLanesAndDevicesAndReceiversOnTheCallersThread)
{
    auto inner = std::make_shared<TwoBackendDriver>();
    CWorker worker;
    CBoundedMidiDriver driver(worker, inner);
    ThreadReceiver receiver;
    ASSERT_EQ(driver.GetNumDevs(), 2u);
    MidiHandle handle = nullptr;
    ASSERT_EQ(driver.Open(&handle, 1, &receiver), MIDI_NOERROR);
    // A quick unplug and replug: the close in the background, the open again at once.
    EXPECT_EQ(driver.CloseLater(handle), MIDI_NOERROR);
    ASSERT_EQ(driver.Open(&handle, 1, &receiver), MIDI_NOERROR);
    EXPECT_EQ(driver.Close(handle), MIDI_NOERROR);
    ASSERT_TRUE(Eventually([&] { return inner->Calls("release").first == 2; }));

    EXPECT_EQ(inner->Calls("list").second, inner->Calls("list").first);
    EXPECT_EQ(inner->Calls("open"), std::make_pair(2, 2));
    EXPECT_EQ(inner->Calls("disconnect"), std::make_pair(2, 2));
    EXPECT_EQ(inner->Calls("detach"), std::make_pair(2, 0));
    EXPECT_EQ(inner->Calls("release"), std::make_pair(2, 0)) << "what is left goes here";
    EXPECT_EQ(receiver.calls, 2);
    EXPECT_EQ(receiver.offThread, 0);
}

TEST(BoundedMidiDriver, AHungJackTakesOnlyJackOutAndIsAskedAgainOnceItReturns)
{
    auto inner = std::make_shared<TwoBackendDriver>();
    inner->Hold(true);
    CWorker worker;
    CBoundedMidiDriver driver(worker, inner, 100ms);
    ASSERT_EQ(driver.GetNumDevs(), 1u);
    EXPECT_EQ(driver.GetDeviceName(0), "ALSA: Pad:Pad MIDI 1 24:0");
    ThreadReceiver receiver;
    MidiHandle handle = nullptr;
    ASSERT_EQ(driver.Open(&handle, 0, &receiver), MIDI_NOERROR) << "ALSA still opens";
    EXPECT_EQ(driver.Close(handle), MIDI_NOERROR);

    // The background listing too: ALSA's ports, JACK refused at once while it hangs.
    std::vector<std::string> names;
    driver.ListLater([&](const std::vector<std::string>& got) { names = got; });
    EXPECT_TRUE(Eventually([&] { return names.size() == 1; }));
    EXPECT_EQ(inner->JackListings(), 1);

    // Once the hung call has returned, JACK is asked again, on the same lane.
    inner->Hold(false);
    EXPECT_TRUE(Eventually([&] { return driver.GetNumDevs() == 2u; }));
    EXPECT_EQ(driver.GetDeviceName(1), "JACK: keys:out");
    EXPECT_EQ(worker.ThreadsStarted(), 2u) << "one thread per back end, never more";
}

TEST(BoundedMidiDriver, FeedbackToAlsaGoesOnItsLaneInOrderNeverWaitsAndGoesBeforeTheClose)
{
    auto inner = std::make_shared<TwoBackendDriver>();
    CWorker worker;
    CBoundedMidiDriver driver(worker, inner);
    ThreadReceiver receiver;
    ASSERT_EQ(driver.GetNumDevs(), 2u);
    MidiHandle handle = nullptr;
    ASSERT_EQ(driver.Open(&handle, 0, &receiver), MIDI_NOERROR);  // ALSA's
    ASSERT_TRUE(driver.HasOutput(handle));

    // The sequencer stalls: the caller goes on, the queue fills, and the rest is dropped.
    inner->HoldSends(true);
    constexpr int kMessages = static_cast<int>(CBoundedMidiDriver::kOutQueue) + 50;
    int taken = 0;
    for (int i = 0; i < kMessages; ++i) {
        const uint8_t bytes[3] = {0xB0, 7, static_cast<uint8_t>(i & 0x7F)};
        if (driver.Send(handle, bytes, 3)) ++taken;
    }
    EXPECT_GE(taken, static_cast<int>(CBoundedMidiDriver::kOutQueue));
    EXPECT_EQ(driver.OutputDropped(), static_cast<uint64_t>(kMessages - taken));
    inner->HoldSends(false);
    EXPECT_EQ(driver.Close(handle), MIDI_NOERROR);

    // Those taken arrive whole, in order, on the lane, and before the close's own part.
    const std::vector<uint32_t> sent = inner->Sent();
    ASSERT_EQ(sent.size(), static_cast<size_t>(taken));
    for (int i = 0; i < taken; ++i) EXPECT_EQ(sent[i], 0xB0u | 7u << 8 | uint32_t(i & 0x7F) << 16);
    EXPECT_EQ(inner->Calls("send"), std::make_pair(taken, taken));
    const std::vector<std::string> order = inner->Order();
    const auto lastSend = std::find(order.rbegin(), order.rend(), "send");
    const auto disconnect = std::find(order.begin(), order.end(), "disconnect");
    ASSERT_NE(disconnect, order.end());
    EXPECT_LT(order.rend() - lastSend - 1, disconnect - order.begin());
    const uint8_t again[3] = {0xB0, 7, 1};
    EXPECT_FALSE(driver.Send(handle, again, 3)) << "nothing goes to a closed device";
}

TEST(MidiPortNames, StoredWithoutAlsaNumbersAndCountedAmongEqualNames)
{
    const std::vector<std::string> names = {
        "ALSA: Pad:Pad MIDI 1 24:0", "JACK: keys:out", "ALSA: Pad:Pad MIDI 1 28:0",
        "ALSA: Midi Through:Midi Through Port-0 14:0", "JACK: Port 2:3"};
    EXPECT_EQ(StoredPortName(names, 0), "ALSA: Pad:Pad MIDI 1");
    EXPECT_EQ(StoredPortName(names, 2), "ALSA: Pad:Pad MIDI 1 #2");
    EXPECT_EQ(StoredPortName(names, 4), "JACK: Port 2:3") << "JACK's names are kept whole";
    EXPECT_EQ(StoredPortName(names, 5), "");
    EXPECT_EQ(FindStoredPortName(names, "ALSA: Pad:Pad MIDI 1 #2"), 2);
    EXPECT_EQ(FindStoredPortName(names, "ALSA: Pad:Pad MIDI 1 #3"), -1);
    EXPECT_EQ(FindStoredPortName(names, ""), -1);

    // Before, the loopback port came first among ALSA's, and JACK's after all of them.
    EXPECT_EQ(IdFromOldOrder(names, 0), 3u);
    EXPECT_EQ(IdFromOldOrder(names, 1), 0u);
    EXPECT_EQ(IdFromOldOrder(names, 2), 2u);
    EXPECT_EQ(IdFromOldOrder(names, 3), 1u);
    EXPECT_EQ(IdFromOldOrder(names, 4), 4u);
    EXPECT_EQ(IdFromOldOrder(names, 7), 7u);

    // An ALSA device's output side: its own client and port first, else its client's first.
    const std::vector<std::string> outputs = {"Synth:In 128:0", "Pad:Pad MIDI 2 24:1",
                                              "Pad:Pad MIDI 1 24:0"};
    EXPECT_EQ(AlsaOutputOf("Pad:Pad MIDI 1 24:0", outputs), 2);
    EXPECT_EQ(AlsaOutputOf("Pad:Pad MIDI 3 24:2", outputs), 1);
    EXPECT_EQ(AlsaOutputOf("Keys:Keys 32:0", outputs), -1);
    EXPECT_EQ(AlsaOutputOf("Pad:Pad MIDI 1 124:0", outputs), -1) << "not 24's";
}

}  // namespace
