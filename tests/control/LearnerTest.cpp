// MIDI learn on the bindings: which messages bind, the gesture that follows one, a message
// moving from the actions it drove, Clear and Default, and what Learn's map writes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DefaultMap.h"
#include "Learner.h"
#include "MappingFile.h"

namespace {

using Type = MessageKey::Type;
using Actions = Bindings::Actions;

// On channel 1 with Ctrl 1 on controller 7 and Ctrl 2 on 10.
const Bindings kDefaults = DefaultBindings(0, 7, 10);

TEST(Learner, OnlyANoteOnAControlChangeOrAProgramChangeBinds)
{
    Learner learner(kDefaults, kDefaults);
    Learner::Learned learned;
    int64_t now = 0;
    // Each comes long after the one before, so no gesture hides it.
    const auto take = [&](uint32_t message) { return learner.Take(message, now += 1000, learned); };
    EXPECT_FALSE(take(0x403092)) << "nothing armed";
    learner.Arm(Action::Ctrl2);
    for (const uint32_t never : {0xF8u, 0xFEu, 0xFFu, 0x7FF0u, 0x02F2u,  // clock, sensing, ...
                                 0x403082u, 0x003092u,                   // note off, velocity 0
                                 0x4040E2u, 0x4030A2u, 0x30D2u,          // bend, pressure
                                 0x0078B2u, 0x7F79B2u, 0x007FB2u}) {     // Channel Mode 120..127
        EXPECT_FALSE(take(never)) << std::hex << never;
        EXPECT_TRUE(learner.Armed());
    }
    EXPECT_TRUE(learner.Current() == kDefaults);

    ASSERT_TRUE(take(0x4007B2));  // CC 7 on channel 3
    EXPECT_EQ(learned.key, (MessageKey{Type::Control, 2, 7}));
    EXPECT_EQ(learned.action, Action::Ctrl2);
    EXPECT_FALSE(learner.Armed()) << "one message per Learn";
    EXPECT_FALSE(take(0x4008B2));
    learner.Arm(MemoryAction(0, 2));
    ASSERT_TRUE(take(0x013C92));  // the lightest touch of note 60 on channel 3
    learner.Arm(Action::Effect);
    ASSERT_TRUE(take(0x05C4));  // Program Change on channel 5
    EXPECT_EQ(learned.key, (MessageKey{Type::Program, 4, 0}));

    Bindings expected = kDefaults;
    expected.Set({Type::Control, 2, 7}, {Action::Ctrl2});
    expected.Set({Type::Note, 2, 60}, {MemoryAction(0, 2)});
    expected.Set({Type::Program, 4, 0}, {Action::Effect});
    EXPECT_TRUE(learner.Current() == expected);
    // The action keeps the messages it had: Ctrl 2 still on controller 10 of channel 1.
    EXPECT_EQ(learner.KeysOf(Action::Ctrl2),
              (std::vector<MessageKey>{{Type::Control, 0, 10}, {Type::Control, 2, 7}}));
}

TEST(Learner, WhatFollowsWithinTheGestureIsIgnored)
{
    Learner learner(kDefaults, kDefaults);
    Learner::Learned learned;
    learner.Arm(Action::Store);
    ASSERT_TRUE(learner.Take(0x7F2490, 5000, learned));  // a pad's note 36 ...
    learner.Arm(Action::FullScreen);
    EXPECT_FALSE(learner.Take(0x7F10B0, 5000, learned));  // ... its Control Change
    EXPECT_FALSE(learner.Take(0x7F11B0, 5299, learned));
    EXPECT_TRUE(learner.Armed());
    EXPECT_TRUE(learner.Take(0x7F11B0, 5300, learned)) << "a new gesture";
    EXPECT_EQ(learned.key, (MessageKey{Type::Control, 0, 17}));
    EXPECT_EQ(learner.Current().Of({Type::Control, 0, 16}), Actions{});
}

TEST(Learner, ALearnedMessageLeavesTheActionsItDroveAndSaysWhich)
{
    // Ctrl 1 and Ctrl 2 share controller 7.
    const Bindings shared = DefaultBindings(0, 7, 7);
    Learner learner(shared, shared);
    Learner::Learned learned;
    learner.Arm(Action::Ctrl2);
    ASSERT_TRUE(learner.Take(0x2007B0, 0, learned));
    EXPECT_EQ(learned.movedFrom, Actions{Action::Ctrl1}) << "not the action it binds to";
    EXPECT_EQ(learner.Current().Of({Type::Control, 0, 7}), Actions{Action::Ctrl2});
    EXPECT_TRUE(learner.KeysOf(Action::Ctrl1).empty());

    learner.Arm(Action::Ctrl2);
    ASSERT_TRUE(learner.Take(0x7F3090, 1000, learned));  // note 48, camera A's first key
    EXPECT_EQ(learned.movedFrom, Actions{Action::MemA1});
}

TEST(Learner, ClearUnbindsAnActionAndDefaultPutsTheDefaultMapBack)
{
    Learner learner(kDefaults, kDefaults);
    Learner::Learned learned;
    learner.Clear(Action::Store);
    EXPECT_TRUE(learner.KeysOf(Action::Store).empty());
    EXPECT_EQ(learner.Current().Of({Type::Note, 0, 49}), Actions{});
    EXPECT_EQ(learner.Current().Of({Type::Note, 0, 48}), Actions{Action::MemA1}) << "others stay";

    const Bindings shared = DefaultBindings(0, 7, 7);
    Learner both(shared, kDefaults);
    both.Clear(Action::Ctrl1);
    EXPECT_EQ(both.Current().Of({Type::Control, 0, 7}), Actions{Action::Ctrl2});

    learner.Arm(Action::Ctrl1);
    ASSERT_TRUE(learner.Take(0x1015B0, 0, learned));
    learner.Arm(Action::Ctrl2);
    learner.Default();
    EXPECT_TRUE(learner.Current() == kDefaults);
    EXPECT_FALSE(learner.Armed());
    both.Default();
    EXPECT_TRUE(both.Current() == kDefaults) << "the defaults given, not the start";
}

TEST(Learner, ItsMapWritesOnlyItsChangesAndReadsBackTheSame)
{
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / "kovra-learn-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    const std::string path = MappingFilePath(dir + "/Kovra.ini", "JACK: pads:out");

    Learner learner(ReadMappingFile(path, kDefaults), kDefaults);
    Learner::Learned learned;
    learner.Arm(Action::Ctrl2);
    ASSERT_TRUE(learner.Take(0x4007B2, 0, learned));
    learner.Arm(MemoryAction(0, 2));
    ASSERT_TRUE(learner.Take(0x7F3C92, 1000, learned));
    learner.Clear(Action::Effect);
    ASSERT_TRUE(WriteMappingFile(path, learner.Current(), kDefaults));
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "[BINDINGS]\nNOTE 3 60=MEMA3\nCC 3 7=CTRL2\nPC 1=NONE\n");
    EXPECT_TRUE(ReadMappingFile(path, kDefaults) == learner.Current());
    fs::remove_all(dir);
}

}  // namespace
