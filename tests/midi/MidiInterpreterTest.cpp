// The MIDI classification and interpretation at their edges, grouped by what they decide.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MidiInterpreter.h"
#include "MidiMessage.h"
#include "Performance.h"

namespace {

constexpr unsigned kMainFilter = 13;  // notes, Control Change, Program Change

uint32_t Pack(int status, int data1 = 0, int data2 = 0)
{
    return static_cast<uint32_t>(status | data1 << 8 | data2 << 16);
}

TEST(MidiClassification, StatusBytesAndClassLengths)
{
    EXPECT_EQ(ClassifyMidiMessage(Pack(0x7F, 1, 2), nullptr), 0) << "a data byte has no class";
    EXPECT_EQ(ClassifyMidiMessage(Pack(0x80, 60), nullptr), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0x9F, 60, 1), nullptr), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xA0), nullptr), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xC3, 5), nullptr), 2);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xD0), nullptr), 2);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xE0), nullptr), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xF0), nullptr), 0) << "system exclusive is never short";
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xF1), nullptr), 2);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xF2), nullptr), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xF3), nullptr), 2);
    for (int status = 0xF4; status <= 0xFF; ++status) {
        EXPECT_EQ(ClassifyMidiMessage(Pack(status), nullptr), 1) << status;
    }
    // Bits above the second data byte carry nothing.
    EXPECT_EQ(ClassifyMidiMessage(Pack(0x90, 60, 1) | 0xAB000000u, nullptr), 3);
}

TEST(MidiClassification, TheMainWindowsFilterPassesNotesControllersAndProgramsOnly)
{
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xB0, 119, 5), &kMainFilter), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xB0, 120, 5), &kMainFilter), 0) << "a channel mode message";
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xB0, 120, 5), nullptr), 3);
    const unsigned modes = MIDI_FILTER_CHANNELMODE;
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xB0, 127), &modes), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xB0, 7), &modes), 0);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0x80, 60), &kMainFilter), 3);
    EXPECT_EQ(ClassifyMidiMessage(Pack(0xC0, 60), &kMainFilter), 2);
    for (int status : {0xA0, 0xD0, 0xE0, 0xF1, 0xF2, 0xF6, 0xF8, 0xFE}) {
        EXPECT_EQ(ClassifyMidiMessage(Pack(status), &kMainFilter), 0) << status;
    }
}

// The real performance state, with what it passes on recorded: a change of what the title
// shows is "title", a frame-memory key is "key <camera> <key> down|up".
class MidiInterpretation : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_performance.SetEffectCount(16);
        m_performance.SetFrameKeyHandler([this](int camera, int key, bool pressed) {
            m_calls.push_back("key " + std::to_string(camera) + " " + std::to_string(key) +
                              (pressed ? " down" : " up"));
        });
        QObject::connect(&m_performance, &CPerformance::Changed,
                         [this](CPerformance::Value value, int, ChangeSource source) {
                             EXPECT_EQ(source, ChangeSource::Midi);
                             if (value != CPerformance::Value::Record) m_calls.push_back("title");
                         });
    }
    void Send(uint32_t message, bool started = true)
    {
        InterpretMidiMessage(message, started, &kMainFilter, m_values, m_performance);
    }
    std::vector<std::string> Calls() { return std::exchange(m_calls, {}); }

    int m_channel = 15;
    int m_ctrl1Number = 7;
    int m_ctrl2Number = 10;
    MidiValues m_values{m_channel, m_ctrl1Number, m_ctrl2Number};
    CPerformance m_performance;
    std::vector<std::string> m_calls;
};

TEST_F(MidiInterpretation, OnlyTheChannelListenedOnWhileStarted)
{
    Send(Pack(0xCF, 5));
    EXPECT_EQ(m_performance.Effect(), 5) << "channel 15 is status low nibble 15";
    Send(Pack(0xCE, 6));
    Send(Pack(0xCF, 7), false);
    EXPECT_EQ(m_performance.Effect(), 5);
    m_channel = 16;  // a stored channel out of range matches nothing
    Send(Pack(0xCF, 8));
    Send(Pack(0xC0, 8));
    EXPECT_EQ(m_performance.Effect(), 5);
    EXPECT_EQ(Calls(), std::vector<std::string>{"title"});
}

TEST_F(MidiInterpretation, ProgramChangeChoosesTheEffectUpToTheLast)
{
    Send(Pack(0xCF, 15));
    EXPECT_EQ(m_performance.Effect(), 15);
    Send(Pack(0xCF, 3));
    Send(Pack(0xCF, 16));
    EXPECT_EQ(m_performance.Effect(), 15);
    Send(Pack(0xCF, 0));
    Send(Pack(0xCF, 127));
    EXPECT_EQ(m_performance.Effect(), 15);
    EXPECT_EQ(Calls().size(), 5u) << "every Program Change refreshes the title";
}

TEST_F(MidiInterpretation, ControlChangeSetsTheControlsOfItsNumbers)
{
    Send(Pack(0xBF, 7, 100));
    Send(Pack(0xBF, 10, 33));
    EXPECT_EQ(m_performance.Ctrl1(), 100);
    EXPECT_EQ(m_performance.Ctrl2(), 33);
    Send(Pack(0xBF, 11, 1));  // neither number: nothing changes, so nothing is redrawn
    EXPECT_EQ(m_performance.Ctrl1(), 100);
    EXPECT_EQ(m_performance.Ctrl2(), 33);
    EXPECT_EQ(Calls().size(), 2u);
    m_ctrl2Number = 7;  // the same number sets both
    Send(Pack(0xBF, 7, 0));
    EXPECT_EQ(m_performance.Ctrl1(), 0);
    EXPECT_EQ(m_performance.Ctrl2(), 0);
    m_ctrl1Number = m_ctrl2Number = 120;  // channel mode numbers never pass the filter
    Calls();
    Send(Pack(0xBF, 120, 99));
    EXPECT_EQ(m_performance.Ctrl1(), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(MidiInterpretation, TwoOctavesOfWhiteKeysPlayTheCamerasAndNothingElseDoes)
{
    for (int note : {47, 48, 59, 60, 71, 72}) Send(Pack(0x9F, note, 100));
    EXPECT_EQ(Calls(), (std::vector<std::string>{"key 0 0 down", "key 0 6 down", "key 1 0 down",
                                                 "key 1 6 down"}));
    Send(Pack(0x9F, 52, 0));   // velocity 0 is a release
    Send(Pack(0x8F, 65, 64));  // so is Note Off, whatever its velocity
    EXPECT_EQ(Calls(), (std::vector<std::string>{"key 0 2 up", "key 1 3 up"}));
    EXPECT_FALSE(m_performance.Record());
}

TEST_F(MidiInterpretation, EveryBlackKeyHoldsTheRecordFlagAsOneFlag)
{
    for (int note : {49, 51, 54, 56, 58, 61, 63, 66, 68, 70}) {
        Send(Pack(0x9F, note, 90));
        EXPECT_TRUE(m_performance.Record()) << note;
        Send(Pack(0x8F, note, 0));
        EXPECT_FALSE(m_performance.Record()) << note;
    }
    Send(Pack(0x9F, 49, 90));
    Send(Pack(0x9F, 70, 90));
    Send(Pack(0x9F, 49, 0));  // releasing either of two held black keys clears it
    EXPECT_FALSE(m_performance.Record());
    EXPECT_TRUE(Calls().empty()) << "notes never refresh the title";
}

TEST_F(MidiInterpretation, OtherMessagesChangeAndRefreshNothing)
{
    for (uint32_t message : {Pack(0xEF, 0, 64), Pack(0xAF, 48, 10), Pack(0xDF, 10), Pack(0xF8),
                             Pack(0xF2, 1, 2), Pack(0x3F, 7, 9)}) {
        Send(message);
    }
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(m_performance.Effect(), 0);
    EXPECT_EQ(m_performance.Ctrl1(), 0);
}

}  // namespace
