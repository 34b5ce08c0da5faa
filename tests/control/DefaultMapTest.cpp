// The default map plays exactly as the fixed MIDI interpretation: both run through a broad set
// of messages against recording fakes and must do the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlMap.h"
#include "DefaultMap.h"
#include "MidiInterpreter.h"
#include "RecordingTarget.h"

namespace {

constexpr unsigned kMainFilter = 13;  // notes, Control Change, Program Change

// The fixed interpretation's calls, passed on to a RecordingTarget to be written alike.
class RecordingPerformance : public MidiPerformance {
public:
    explicit RecordingPerformance(RecordingTarget& target) : m_target(target) {}
    void SetEffect(int effect, ChangeSource) override { m_target.SetEffect(effect); }
    void SetCtrl1(int value, ChangeSource) override { m_target.SetCtrl(1, value); }
    void SetCtrl2(int value, ChangeSource) override { m_target.SetCtrl(2, value); }
    void SetRecord(bool on, ChangeSource) override { m_target.Store(on); }
    bool Record() const override { return false; }  // the interpretation never asks
    void FrameKey(int camera, int key, bool pressed) override
    {
        m_target.Memory(camera, key, pressed);
    }

private:
    RecordingTarget& m_target;
};

struct Settings {
    int channel, ctrl1, ctrl2;
};

TEST(DefaultMap, PlaysEveryMessageAsTheFixedInterpretation)
{
    // The usual settings, one number for both controls, a Channel Mode number, numbers and a
    // channel outside their ranges.
    const Settings settings[] = {{0, 7, 10}, {15, 21, 21}, {3, 120, 5}, {9, -1, 200}, {16, 1, 2}};
    std::vector<uint32_t> messages = {0xF8, 0xFE, 0xF2 | 5 << 8, 0xF1};
    const int numbers[] = {0,  1,  2,  5,  7,  10, 21, 47,  48,  49,  50,  51,  52,
                           53, 54, 55, 56, 57, 58, 59, 60,  61,  62,  63,  64,  65,
                           66, 67, 68, 69, 70, 71, 72, 100, 119, 120, 121, 123, 127};
    for (int status : {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0}) {
        for (int channel = 0; channel < 16; ++channel) {
            for (int number : numbers) {
                for (int value : {0, 1, 63, 64, 127}) {
                    messages.push_back(
                        static_cast<uint32_t>((status | channel) | number << 8 | value << 16));
                }
            }
        }
    }
    for (const Settings& s : settings) {
        RecordingTarget fixedCalls;
        RecordingPerformance fixed(fixedCalls);
        RecordingTarget mapped;
        ControlMap map(DefaultBindings(s.channel, s.ctrl1, s.ctrl2));
        const MidiValues values{s.channel, s.ctrl1, s.ctrl2};
        int acted = 0;
        for (uint32_t packed : messages) {
            InterpretMidiMessage(packed, true, &kMainFilter, values, fixed);
            ControlMessage message;
            if (ControlMessageFromShort(packed, message)) map.Interpret(message, mapped);
            const std::vector<std::string> expected = fixedCalls.Take();
            acted += !expected.empty();
            ASSERT_EQ(mapped.Take(), expected)
                << std::hex << "message 0x" << packed << std::dec << " on channel " << s.channel
                << ", controls " << s.ctrl1 << " and " << s.ctrl2;
        }
        // The comparison means something only where the fixed interpretation acts at all.
        EXPECT_EQ(acted > 0, s.channel >= 0 && s.channel < 16) << s.channel;
    }
}

}  // namespace
