// The input driver on a real JACK server with a second client that sends: device listing,
// whole short messages, system-exclusive data in the queued buffers and where it ends, stop
// and close with data in flight, and a device or server that goes away while open. What the
// driver delivers arrives on this test's main thread, whose event loop the waits run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "JackServer.h"
#include "MidiIn.h"
#include "RtMidiDriver.h"

namespace {

using namespace std::chrono_literals;

// Collects what the driver delivers, on the user-interface thread (this test's main thread,
// whose event loop the waits run).
class Collector : public MidiReceiver {
public:
    void PostShortMessage(uint32_t message) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        m_messages.push_back(message);
    }
    void PostLongData(MidiHeader* header) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        m_long.push_back(
            {header, header->bytesRecorded,
             std::vector<uint8_t>(header->data, header->data + header->bytesRecorded)});
    }

    struct LongData {
        MidiHeader* header;
        uint32_t bytes;
        std::vector<uint8_t> data;
    };

    std::vector<uint32_t> WaitMessages(std::size_t count)
    {
        [[maybe_unused]] const bool arrived =
            QTest::qWaitFor([&] { return m_messages.size() >= count; }, 30000);
        return m_messages;
    }
    std::vector<LongData> WaitLong(std::size_t count)
    {
        [[maybe_unused]] const bool arrived =
            QTest::qWaitFor([&] { return m_long.size() >= count; }, 30000);
        return m_long;
    }
    // What has arrived, once whatever is waiting to be handled has been.
    std::size_t Messages()
    {
        QCoreApplication::processEvents();
        return m_messages.size();
    }
    std::size_t Long()
    {
        QCoreApplication::processEvents();
        return m_long.size();
    }

private:
    std::vector<uint32_t> m_messages;
    std::vector<LongData> m_long;
};

std::vector<uint8_t> SysEx(std::size_t length)
{
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i % 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

class JackDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsRunning()) << "jackd -d dummy did not start";
        m_sender = std::make_unique<JackSender>();
        ASSERT_TRUE(m_sender->IsOpen());
    }

    // The names of one listing that shows the port. A listing on a machine this busy can
    // find no server for a moment (its connection times out), as a program's next look
    // would not; the device ids of the last listing are the ones an open takes.
    std::vector<std::string> ListingWith(const std::string& port)
    {
        const auto end = std::chrono::steady_clock::now() + 30s;
        std::vector<std::string> names;
        do {
            names.clear();
            const unsigned n = m_driver.GetNumDevs();
            for (unsigned id = 0; id < n; ++id) names.push_back(m_driver.GetDeviceName(id));
            if (std::count(names.begin(), names.end(), port) != 0) break;
            std::this_thread::sleep_for(100ms);
        } while (std::chrono::steady_clock::now() < end);
        return names;
    }

    // The sender's device id in the last listing, or kNotListed.
    static constexpr unsigned kNotListed = ~0u;
    unsigned ListedSenderId()
    {
        const std::vector<std::string> names = ListingWith("JACK: " + m_sender->PortName());
        const auto found = std::find(names.begin(), names.end(), "JACK: " + m_sender->PortName());
        return found == names.end() ? kNotListed : static_cast<unsigned>(found - names.begin());
    }

    // Opens the sender's port and waits until JACK has connected it.
    void OpenSender()
    {
        const unsigned id = ListedSenderId();
        ASSERT_NE(id, kNotListed);
        ASSERT_EQ(m_driver.Open(&m_handle, id, &m_collector), MIDI_NOERROR);
        ASSERT_TRUE(m_sender->WaitConnected(30000));
    }

    void Queue(MidiHeader& header, uint8_t* block)
    {
        header = MidiHeader();
        header.data = block;
        header.bufferLength = MIDI_BUFFER_SIZE;
        ASSERT_EQ(m_driver.PrepareHeader(m_handle, &header), MIDI_NOERROR);
        ASSERT_EQ(m_driver.AddBuffer(m_handle, &header), MIDI_NOERROR);
    }

    JackServer m_server;
    std::unique_ptr<JackSender> m_sender;
    // Declared before the driver, so they outlive it: a test that stops early leaves the
    // device open, and the driver gives its buffers back to the collector as it closes.
    Collector m_collector;
    uint8_t m_blocks[3][MIDI_BUFFER_SIZE] = {};
    MidiHeader m_headers[3];
    CRtMidiDriver m_driver;
    MidiHandle m_handle = nullptr;
};

TEST_F(JackDriver, ListsTheSendersPortByItsJackName)
{
    const unsigned id = ListedSenderId();
    ASSERT_NE(id, kNotListed);
    EXPECT_EQ(m_driver.GetDeviceName(id), "JACK: sender:out");
    EXPECT_EQ(m_driver.GetDeviceName(m_driver.GetNumDevs()), "");

    // Our own ports are no devices (the output side, to the sender's input, included), and
    // a second sender comes after the first.
    OpenSender();
    EXPECT_TRUE(m_driver.HasOutput(m_handle));
    JackSender second("second");
    ASSERT_TRUE(second.IsOpen());
    const std::vector<std::string> names = ListingWith("JACK: second:out");
    EXPECT_EQ(std::count(names.begin(), names.end(), "JACK: Kovra:MIDI In"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "JACK: Kovra:MIDI Out"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "JACK: second:out"), 1);
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
}

TEST_F(JackDriver, OpeningAnIdPastTheListFails)
{
    MidiHandle handle = &m_collector;
    EXPECT_NE(m_driver.Open(&handle, m_driver.GetNumDevs(), &m_collector), MIDI_NOERROR);
    EXPECT_EQ(handle, nullptr);
    EXPECT_NE(m_driver.Close(&m_collector), MIDI_NOERROR) << "not a handle of ours";
}

TEST_F(JackDriver, ShortMessagesArriveWholeAndOnlyWhileStarted)
{
    OpenSender();
    m_sender->Send({0xC0, 0x05});  // before the start: not delivered
    ASSERT_TRUE(m_sender->Flush(10000));
    ASSERT_TRUE(m_sender->WaitCycles(3, 10000));

    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);
    m_sender->Send({0xC0, 0x05});
    m_sender->Send({0xB3, 0x07, 0x64});
    m_sender->Send({0x90, 0x30, 0x7F, 0x32, 0x40});  // a second note by running status
    m_sender->Send({0x45});                          // a stray data byte
    m_sender->Send({0x90, 0x30});                    // cut short
    m_sender->Send({0xF8});  // clock and active sensing are dropped where they arrive
    m_sender->Send({0xFE});
    m_sender->Send({0x80, 0x30, 0x00});
    ASSERT_TRUE(m_sender->Flush(10000));
    const std::vector<uint32_t> expected = {0x05C0, 0x6407B3, 0x7F3090, 0x403290, 0x003080};
    EXPECT_EQ(m_collector.WaitMessages(expected.size()), expected);

    ASSERT_EQ(m_driver.Reset(m_handle), MIDI_NOERROR);
    m_sender->Send({0xC0, 0x07});
    ASSERT_TRUE(m_sender->Flush(10000));
    ASSERT_TRUE(m_sender->WaitCycles(3, 10000));
    EXPECT_EQ(m_collector.Messages(), expected.size()) << "nothing after a reset";
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
}

TEST_F(JackDriver, SystemExclusiveFillsTheQueuedBuffersInOrder)
{
    OpenSender();
    auto& blocks = m_blocks;
    auto& headers = m_headers;
    for (int i = 0; i < 3; ++i) Queue(headers[i], blocks[i]);
    EXPECT_EQ(m_driver.AddBuffer(m_handle, &headers[0]), CRtMidiDriver::kStillPlaying);
    EXPECT_EQ(m_driver.UnprepareHeader(m_handle, &headers[0]), CRtMidiDriver::kStillPlaying)
        << "a queued buffer still belongs to the driver";
    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);

    const std::vector<uint8_t> data = SysEx(300);
    m_sender->Send(data);
    m_sender->Send({0x90, 0x30, 0x7F});
    ASSERT_TRUE(m_sender->Flush(10000));
    std::vector<Collector::LongData> back = m_collector.WaitLong(2);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].header, &headers[0]);
    EXPECT_EQ(back[0].bytes, 256u);
    EXPECT_EQ(back[1].header, &headers[1]);
    EXPECT_EQ(back[1].bytes, 44u);
    std::vector<uint8_t> joined = back[0].data;
    joined.insert(joined.end(), back[1].data.begin(), back[1].data.end());
    EXPECT_EQ(joined, data);
    EXPECT_TRUE(headers[0].flags & CRtMidiDriver::kDone);
    EXPECT_EQ(m_collector.WaitMessages(1), std::vector<uint32_t>{0x7F3090});

    // The reset gives back the one still queued, with nothing in it.
    ASSERT_EQ(m_driver.Reset(m_handle), MIDI_NOERROR);
    back = m_collector.WaitLong(3);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[2].header, &headers[2]);
    EXPECT_EQ(back[2].bytes, 0u);
    for (MidiHeader& header : headers) {
        EXPECT_EQ(m_driver.UnprepareHeader(m_handle, &header), MIDI_NOERROR);
    }
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
}

TEST_F(JackDriver, SystemExclusiveWithNoBufferQueuedIsDroppedAndNotesGoOn)
{
    OpenSender();
    uint8_t* block = m_blocks[0];
    MidiHeader& header = m_headers[0];
    Queue(header, block);
    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);
    m_sender->Send(SysEx(600));  // 256 bytes reach the one buffer, the rest is dropped
    m_sender->Send(SysEx(10));
    m_sender->Send({0xB0, 0x01, 0x10});
    ASSERT_TRUE(m_sender->Flush(10000));
    EXPECT_EQ(m_collector.WaitMessages(1), std::vector<uint32_t>{0x1001B0});
    ASSERT_TRUE(m_sender->WaitCycles(3, 10000));
    ASSERT_EQ(m_collector.Long(), 1u);
    EXPECT_EQ(m_collector.WaitLong(1)[0].bytes, 256u);
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
}

TEST_F(JackDriver, AnyStatusByteEndsSystemExclusiveSoACutOffDumpDeafensNothing)
{
    OpenSender();
    for (int i = 0; i < 3; ++i) Queue(m_headers[i], m_blocks[i]);
    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);
    m_sender->Send({0xF0, 0x01, 0x02, 0x03});  // cut off: no 0xF7 follows, ever
    m_sender->Send({0xC0, 0x05});
    ASSERT_TRUE(m_sender->Flush(10000));
    EXPECT_EQ(m_collector.WaitMessages(1), std::vector<uint32_t>{0x05C0}) << "waits for no 0xF7";
    std::vector<Collector::LongData> back = m_collector.WaitLong(1);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].data, (std::vector<uint8_t>{0xF0, 0x01, 0x02, 0x03}));

    // Whole data after a note in one event; data over two events, a real-time byte between.
    m_sender->Send({0x90, 0x30, 0x40, 0xF0, 0x05, 0xF7});
    m_sender->Send({0xF0, 0x07});
    m_sender->Send({0xFA});
    m_sender->Send({0x08, 0xF7});
    ASSERT_TRUE(m_sender->Flush(10000));
    EXPECT_EQ(m_collector.WaitMessages(3), (std::vector<uint32_t>{0x05C0, 0x403090, 0xFA}));
    back = m_collector.WaitLong(3);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].data, (std::vector<uint8_t>{0xF0, 0x05, 0xF7}));
    EXPECT_EQ(back[2].data, (std::vector<uint8_t>{0xF0, 0x07, 0x08, 0xF7}));
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
}

// The program's own input object on the real driver: 32 buffers while started, a flood of
// data in flight when it stops and closes, nothing delivered afterwards, every block freed.
TEST_F(JackDriver, StopAndCloseWithDataInFlight)
{
    CMidiIn midi;
    std::vector<int> reports;
    const unsigned listed = ListedSenderId();
    ASSERT_NE(listed, kNotListed);
    int device = static_cast<int>(listed);
    unsigned filter = 0x20D;  // notes, controllers, programs and system exclusive
    midi.SetDriver(&m_driver);
    midi.SetReporter([&](int message) { reports.push_back(message); });
    midi.SetDeviceIdSource(&device);
    midi.SetFilterSource(&filter);
    ASSERT_TRUE(midi.Open(&m_collector));
    ASSERT_TRUE(m_sender->WaitConnected(30000));
    midi.Start();
    for (const MidiHeader& header : midi.Headers()) EXPECT_NE(header.data, nullptr);

    std::atomic<bool> stop{false};
    std::thread flood([&] {
        for (int i = 0; !stop; ++i) {
            m_sender->Send({0x90, static_cast<uint8_t>(48 + i % 24), 0x40});
            if (i % 8 == 0) m_sender->Send(SysEx(100));
            std::this_thread::sleep_for(1ms);
        }
    });
    // Stopped while notes and data are flowing, not after a fixed time.
    m_collector.WaitMessages(20);
    m_collector.WaitLong(2);
    midi.Stop();
    EXPECT_TRUE(midi.Close());
    const std::size_t messages = m_collector.Messages();
    const std::size_t longData = m_collector.Long();
    ASSERT_TRUE(m_sender->WaitCycles(3, 10000));
    stop = true;
    flood.join();

    EXPECT_GT(messages, 0u);
    EXPECT_GE(longData, 32u) << "every buffer comes back, filled or by the reset";
    EXPECT_EQ(m_collector.Messages(), messages) << "nothing after the close";
    EXPECT_EQ(m_collector.Long(), longData);
    EXPECT_TRUE(reports.empty());
    for (const MidiHeader& header : midi.Headers()) EXPECT_EQ(header.data, nullptr);
}

TEST_F(JackDriver, ASenderThatGoesAwayLeavesTheDeviceUsable)
{
    OpenSender();
    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);
    m_sender->Send({0xC0, 0x02});
    ASSERT_TRUE(m_sender->Flush(10000));
    EXPECT_EQ(m_collector.WaitMessages(1).size(), 1u);
    const std::string port = "JACK: " + m_sender->PortName();
    m_sender->Close();
    EXPECT_EQ(m_driver.Reset(m_handle), MIDI_NOERROR);
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
    // The server tells other clients of a port's going in its own time.
    const auto listed = [&] {
        const unsigned n = m_driver.GetNumDevs();
        for (unsigned id = 0; id < n; ++id) {
            if (m_driver.GetDeviceName(id) == port) return true;
        }
        return false;
    };
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (listed() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(listed()) << "its port is listed no more";
}

TEST_F(JackDriver, AServerThatGoesAwayWhileOpen)
{
    OpenSender();
    ASSERT_EQ(m_driver.Start(m_handle), MIDI_NOERROR);
    m_server.Stop();
    const auto start = std::chrono::steady_clock::now();
    // As the main window does at its close: the count first (what the dead client still
    // knows), then the stop and close.
    m_driver.GetNumDevs();
    EXPECT_EQ(m_driver.Reset(m_handle), MIDI_NOERROR);
    EXPECT_EQ(m_driver.Close(m_handle), MIDI_NOERROR);
    EXPECT_EQ(m_driver.GetNumDevs(), 0u);
    MidiHandle handle = nullptr;
    EXPECT_NE(m_driver.Open(&handle, 0, &m_collector), MIDI_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "nothing waits on the server";
}

}  // namespace
