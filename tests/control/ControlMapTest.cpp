// The interpretation of messages through bindings, grouped by how each kind of action takes a
// message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlMap.h"
#include "RecordingTarget.h"

namespace {

using Calls = std::vector<std::string>;
using Kind = ControlMessage::Kind;
using Type = MessageKey::Type;

class ControlMapTest : public ::testing::Test {
protected:
    void Bind(Type type, int channel, int number, Bindings::Actions actions)
    {
        Bindings bindings = m_map.GetBindings();
        ASSERT_TRUE(bindings.Set({type, channel, number}, std::move(actions)));
        m_map.SetBindings(bindings);
    }
    Calls Send(Kind kind, int channel, int number, int value = 0)
    {
        m_map.Interpret({kind, channel, number, value}, m_target);
        return m_target.Take();
    }

    ControlMap m_map;
    RecordingTarget m_target;
};

TEST_F(ControlMapTest, ValueActionsTakeTheValueAndANoteOnlyWhenStruck)
{
    Bind(Type::Control, 2, 7, {Action::Ctrl1});
    Bind(Type::Note, 2, 40, {Action::Ctrl2});
    Bind(Type::Program, 2, 0, {Action::Effect});
    EXPECT_EQ(Send(Kind::Control, 2, 7, 33), Calls{"ctrl1 33"});
    EXPECT_EQ(Send(Kind::NoteOn, 2, 40, 100), Calls{"ctrl2 100"});
    EXPECT_EQ(Send(Kind::NoteOn, 2, 40, 0), Calls{});
    EXPECT_EQ(Send(Kind::NoteOff, 2, 40, 64), Calls{});
    EXPECT_EQ(Send(Kind::Program, 2, 9, 9), Calls{"effect 9"});
    EXPECT_EQ(Send(Kind::Control, 3, 7, 33), Calls{}) << "another channel";
}

TEST_F(ControlMapTest, ClipControlsTakeASpeedOnARatioScaleAndStepAndToggleAsTheOthers)
{
    Bind(Type::Control, 0, 20, {Action::ClipASpeed});
    Bind(Type::Note, 0, 60, {Action::ClipBRestart, Action::ClipBPause, Action::ClipAReverse});
    EXPECT_EQ(Send(Kind::Control, 0, 20, 0), Calls{"clip 0 speed 0.250"});
    EXPECT_EQ(Send(Kind::Control, 0, 20, 32), Calls{"clip 0 speed 0.500"});
    EXPECT_EQ(Send(Kind::Control, 0, 20, 64), Calls{"clip 0 speed 1.000"});
    EXPECT_EQ(Send(Kind::Control, 0, 20, 127), Calls{"clip 0 speed 4.000"});
    EXPECT_EQ(Send(Kind::NoteOn, 0, 60, 90),
              (Calls{"toggle CLIPAREVERSE", "toggle CLIPBPAUSE", "clip 1 restart"}));
    EXPECT_EQ(Send(Kind::NoteOff, 0, 60), Calls{});
    // Feedback sends a speed back as the value that set it, so the controller is not echoed.
    for (int value = 0; value < 128; ++value)
        EXPECT_EQ(ValueOfClipSpeed(ClipSpeedOfValue(value)), value);
    EXPECT_EQ(ValueOfClipSpeed(100.0), 127);
}

TEST_F(ControlMapTest, AControllerPressesWhenRisingToSixtyFourAndReleasesBelow)
{
    Bind(Type::Control, 0, 64, {Action::Store});
    Bind(Type::Control, 0, 65, {Action::EffectUp});
    EXPECT_EQ(Send(Kind::Control, 0, 64, 10), Calls{}) << "no press to release yet";
    EXPECT_EQ(Send(Kind::Control, 0, 64, 64), Calls{"store down"});
    EXPECT_EQ(Send(Kind::Control, 0, 64, 127), Calls{});
    EXPECT_EQ(Send(Kind::Control, 0, 64, 63), Calls{"store up"});
    EXPECT_EQ(Send(Kind::Control, 0, 64, 0), Calls{});
    EXPECT_EQ(Send(Kind::Control, 0, 65, 127), Calls{"effect step 1"});
    EXPECT_EQ(Send(Kind::Control, 0, 65, 100), Calls{}) << "once per press";
    EXPECT_EQ(Send(Kind::Control, 0, 65, 0), Calls{});
    EXPECT_EQ(Send(Kind::Control, 0, 65, 64), Calls{"effect step 1"});
}

TEST_F(ControlMapTest, AHeldActionOfSeveralMessagesIsOneFlagThatAnyReleaseReleases)
{
    Bind(Type::Note, 0, 36, {MemoryAction(0, 2)});
    Bind(Type::Control, 1, 20, {MemoryAction(0, 2)});
    EXPECT_EQ(Send(Kind::NoteOn, 0, 36, 90), Calls{"key 0 2 down"});
    EXPECT_EQ(Send(Kind::Control, 1, 20, 127), Calls{"key 0 2 down"});
    EXPECT_EQ(Send(Kind::NoteOn, 0, 36, 0), Calls{"key 0 2 up"}) << "velocity 0 releases";
    EXPECT_EQ(Send(Kind::Control, 1, 20, 0), Calls{"key 0 2 up"});
    EXPECT_EQ(Send(Kind::NoteOff, 0, 36, 0), Calls{"key 0 2 up"});
}

TEST_F(ControlMapTest, StepsAndTogglesActOncePerPressAndAProgramIsAPressAndItsRelease)
{
    Bind(Type::Note, 0, 60, {Action::Ctrl1Down, Action::FullScreen, Action::Ctrl2Up});
    EXPECT_EQ(Send(Kind::NoteOn, 0, 60, 1),
              (Calls{"ctrl1 step -1", "ctrl2 step 1", "toggle FULLSCREEN"}));
    EXPECT_EQ(Send(Kind::NoteOff, 0, 60), Calls{});
    Bind(Type::Program, 4, 0, {Action::Record, MemoryAction(1, 7), Action::EffectDown});
    EXPECT_EQ(Send(Kind::Program, 4, 3, 3),
              (Calls{"effect step -1", "key 1 7 down", "key 1 7 up", "toggle RECORD"}));
}

}  // namespace
