// The MIDI input device over a driver of the tests' own that can fail any call on purpose:
// which message each failure shows, and what is left open, started or allocated after it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "MidiIn.h"
#include "MidiMessage.h"

namespace {

// Keeps the state a real driver keeps: prepared and queued headers, an open handle.
class FaultyDriver : public MidiDriver {
public:
    unsigned GetNumDevs() override { return 2; }
    std::string GetDeviceName(unsigned id) override { return "Test " + std::to_string(id); }
    int Open(MidiHandle* handle, unsigned id, MidiReceiver*) override
    {
        if (fail == "open" || id >= GetNumDevs()) return 2;
        *handle = this;
        open = true;
        return MIDI_NOERROR;
    }
    int PrepareHeader(MidiHandle, MidiHeader* header) override
    {
        if (fail == "prepare" && ++calls > failAfter) return 11;
        prepared.insert(header);
        return MIDI_NOERROR;
    }
    int AddBuffer(MidiHandle, MidiHeader* header) override
    {
        if (fail == "add" && ++calls > failAfter) return 12;
        queued.insert(header);
        return MIDI_NOERROR;
    }
    int Start(MidiHandle) override { return MIDI_NOERROR; }
    int Reset(MidiHandle) override
    {
        queued.clear();
        return MIDI_NOERROR;
    }
    int UnprepareHeader(MidiHandle, MidiHeader* header) override
    {
        if (fail == "unprepare" && ++calls > failAfter) return 13;
        prepared.erase(header);
        return MIDI_NOERROR;
    }
    int Close(MidiHandle) override
    {
        open = false;
        return fail == "close" ? 14 : MIDI_NOERROR;
    }

    std::string fail;
    int failAfter = 0;
    int calls = 0;
    bool open = false;
    std::set<MidiHeader*> prepared, queued;
};

struct Window : MidiReceiver {
    void PostShortMessage(uint32_t) override {}
    void PostLongData(MidiHeader*) override {}
};

class MidiInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_midi.SetDriver(&m_driver);
        m_midi.SetReporter([this](int message) { m_reports.push_back(message); });
        m_midi.SetDeviceIdSource(&m_device);
        m_midi.SetFilterSource(&m_filter);
    }
    int Blocks() const
    {
        int n = 0;
        for (const MidiHeader& h : m_midi.Headers()) n += h.data != nullptr;
        return n;
    }

    FaultyDriver m_driver;
    CMidiIn m_midi;
    Window m_window;
    int m_device = 0;
    unsigned m_filter = 13;
    std::vector<int> m_reports;
};

TEST_F(MidiInput, ARunQueuesThirtyTwoBuffersAndAStopFreesThemAll)
{
    ASSERT_TRUE(m_midi.Open(&m_window));
    m_midi.Start();
    EXPECT_TRUE(m_midi.IsStarted());
    EXPECT_EQ(m_driver.queued.size(), 32u);
    EXPECT_EQ(Blocks(), 32);
    for (const MidiHeader& h : m_midi.Headers()) EXPECT_EQ(h.bufferLength, 256u);
    m_midi.Stop();
    EXPECT_FALSE(m_midi.IsStarted());
    EXPECT_EQ(Blocks(), 0);
    EXPECT_TRUE(m_driver.prepared.empty());
    EXPECT_TRUE(m_midi.Close());
    EXPECT_FALSE(m_driver.open);
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(MidiInput, WithNothingOpenStopAndCloseDoNothingAndSayNothing)
{
    m_midi.Stop();
    EXPECT_TRUE(m_midi.Close());
    EXPECT_EQ(m_midi.Start(), 0);
    EXPECT_FALSE(m_midi.IsStarted());
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(MidiInput, AFailedOpenSaysSoAndLeavesItClosed)
{
    m_device = 2;  // one past the last device
    EXPECT_FALSE(m_midi.Open(&m_window));
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_OPEN_ERROR});
    EXPECT_FALSE(m_midi.IsOpen());
    m_midi.Start();
    EXPECT_FALSE(m_midi.IsStarted()) << "nothing starts after a failed open";
}

TEST_F(MidiInput, AFailingBufferCallEndsTheQueueButInputRuns)
{
    for (const char* call : {"prepare", "add"}) {
        SCOPED_TRACE(call);
        m_reports.clear();
        m_driver.fail = call;
        m_driver.failAfter = 5;
        m_driver.calls = 0;
        ASSERT_TRUE(m_midi.Open(&m_window));
        m_midi.Start();
        EXPECT_TRUE(m_midi.IsStarted());
        EXPECT_EQ(m_reports,
                  std::vector<int>{std::string(call) == "prepare" ? IDS_MIDI_PREPARE_ERROR
                                                                  : IDS_MIDI_BUFFER_ERROR});
        EXPECT_EQ(m_driver.queued.size(), 5u);
        m_driver.fail.clear();
        m_midi.Stop();
        EXPECT_EQ(Blocks(), 0) << "every block made is freed at the stop";
        m_midi.Close();
    }
}

TEST_F(MidiInput, AFailedUnprepareKeepsItsBlockAndIsReportedOnce)
{
    ASSERT_TRUE(m_midi.Open(&m_window));
    m_midi.Start();
    m_driver.fail = "unprepare";
    m_driver.failAfter = 30;  // the last two fail
    m_midi.Stop();
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_UNPREPARE_ERROR});
    EXPECT_EQ(Blocks(), 2);
    m_driver.fail.clear();
    m_midi.Start();  // the kept blocks are reused, not leaked (the sanitizer would tell)
    EXPECT_EQ(Blocks(), 32);
    m_midi.Stop();
    EXPECT_EQ(Blocks(), 0);
}

TEST_F(MidiInput, AFailedCloseSaysSoAndForgetsTheHandle)
{
    ASSERT_TRUE(m_midi.Open(&m_window));
    m_driver.fail = "close";
    EXPECT_FALSE(m_midi.Close());
    EXPECT_EQ(m_reports, std::vector<int>{IDS_MIDI_CLOSE_ERROR});
    EXPECT_FALSE(m_midi.IsOpen());
}

TEST_F(MidiInput, ARequeueStopsAtItsFirstFailingCall)
{
    ASSERT_TRUE(m_midi.Open(&m_window));
    m_midi.Start();
    MidiHeader* header = const_cast<MidiHeader*>(&m_midi.Headers()[3]);
    EXPECT_TRUE(m_midi.RequeueBuffer(header));
    const struct {
        const char* call;
        int message;
    } cases[] = {{"unprepare", IDS_MIDI_UNPREPARE_ERROR},
                 {"prepare", IDS_MIDI_PREPARE_ERROR},
                 {"add", IDS_MIDI_BUFFER_ERROR}};
    for (const auto& c : cases) {
        m_reports.clear();
        m_driver.fail = c.call;
        m_driver.failAfter = 0;
        m_driver.calls = 0;
        EXPECT_FALSE(m_midi.RequeueBuffer(header)) << c.call;
        EXPECT_EQ(m_reports, std::vector<int>{c.message}) << c.call;
    }
    m_driver.fail.clear();
    m_midi.Stop();
}

TEST_F(MidiInput, TheFilterWordDecidesClassesAndSystemExclusive)
{
    EXPECT_EQ(m_midi.ClassifyMessage(0x00403C90), 3);
    EXPECT_EQ(m_midi.ClassifyMessage(0x000040E0), 0) << "pitch bend is not in 13";
    EXPECT_FALSE(m_midi.IsSysExEnabled());
    m_filter = 13 | MIDI_FILTER_SYSEX;
    EXPECT_TRUE(m_midi.IsSysExEnabled());
    m_midi.SetFilterSource(nullptr);  // no filter word: everything passes
    EXPECT_TRUE(m_midi.IsSysExEnabled());
    EXPECT_EQ(m_midi.ClassifyMessage(0x000040E0), 3);
}

}  // namespace
