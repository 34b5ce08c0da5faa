// The feedback's messages: what each kind of action sends on each kind of binding, the echo
// left out, and the whole state.
#include <gtest/gtest.h>

#include <vector>

#include "Feedback.h"

namespace {

using Type = MessageKey::Type;
using Messages = std::vector<uint32_t>;

uint32_t Msg(int status, int data1, int data2 = 0)
{
    return static_cast<uint32_t>(status | data1 << 8 | data2 << 16);
}

TEST(FeedbackTest, EachKindOfActionOnEachKindOfBinding)
{
    struct Case {
        Action action;
        MessageKey key;
        int value;
        bool sends;
        uint32_t message;
    };
    const Case cases[] = {
        {Action::Ctrl1, {Type::Control, 2, 7}, 99, true, Msg(0xB2, 7, 99)},
        {Action::Ctrl2, {Type::Control, 0, 1}, 300, true, Msg(0xB0, 1, 127)},  // clamped
        {Action::Effect, {Type::Control, 0, 20}, 5, true, Msg(0xB0, 20, 5)},
        {Action::Effect, {Type::Program, 3, 0}, 5, true, Msg(0xC3, 5)},
        {Action::Ctrl1, {Type::Note, 1, 60}, 40, true, Msg(0x91, 60, 40)},
        {Action::MemA1, {Type::Note, 0, 48}, 1, true, Msg(0x90, 48, 127)},
        {MemoryAction(0, 2), {Type::Control, 4, 30}, 1, true, Msg(0xB4, 30, 127)},
        {Action::FullScreen, {Type::Note, 9, 36}, 1, true, Msg(0x99, 36, 127)},
        {Action::Record, {Type::Control, 0, 64}, 0, true, Msg(0xB0, 64, 0)},
        {Action::Send, {Type::Program, 0, 0}, 1, false, 0},  // no on and off in a program
        {Action::Ctrl1Up, {Type::Note, 0, 50}, 1, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ActionName(c.action));
        uint32_t message = 0;
        EXPECT_EQ(FeedbackMessage(c.key, c.action, c.value, message), c.sends);
        if (c.sends) {
            EXPECT_EQ(message, c.message);
        }
    }
}

TEST(FeedbackTest, EveryBindingOfTheActionButTheEchoOfTheMessageThatSetIt)
{
    Bindings bindings;
    ASSERT_TRUE(bindings.Set({Type::Control, 0, 7}, {Action::Ctrl1}));
    ASSERT_TRUE(bindings.Set({Type::Control, 1, 7}, {Action::Ctrl1, Action::Ctrl2}));
    ASSERT_TRUE(bindings.Set({Type::Note, 0, 36}, {Action::FullScreen}));
    ASSERT_TRUE(bindings.Set({Type::Note, 0, 37}, {Action::Store}));

    Messages out;
    AppendFeedback(bindings, Action::Ctrl1, 64, nullptr, out);
    EXPECT_EQ(out, (Messages{Msg(0xB0, 7, 64), Msg(0xB1, 7, 64)}));

    // The first fader moved: the second follows, the first is not pushed back.
    const FeedbackEcho fader{{Type::Control, 0, 7}, Msg(0xB0, 7, 64)};
    out.clear();
    AppendFeedback(bindings, Action::Ctrl1, 64, &fader, out);
    EXPECT_EQ(out, Messages{Msg(0xB1, 7, 64)});
    // A value that stopped elsewhere than the message asked goes back to it.
    out.clear();
    AppendFeedback(bindings, Action::Ctrl1, 60, &fader, out);
    EXPECT_EQ(out, (Messages{Msg(0xB0, 7, 60), Msg(0xB1, 7, 60)}));

    // A held note's own state is not echoed, its release included (note off or velocity 0).
    const FeedbackEcho released{{Type::Note, 0, 37}, Msg(0x80, 37, 64)};
    out.clear();
    AppendFeedback(bindings, Action::Store, 0, &released, out);
    EXPECT_TRUE(out.empty());
    // A toggle's LED shows the program's state, whatever the pad sent.
    const FeedbackEcho pad{{Type::Note, 0, 36}, Msg(0x90, 36, 127)};
    out.clear();
    AppendFeedback(bindings, Action::FullScreen, 1, &pad, out);
    EXPECT_EQ(out, Messages{Msg(0x90, 36, 127)});
}

TEST(FeedbackTest, TheWholeStateGivesEveryBindingItsActionsValue)
{
    Bindings bindings;
    ASSERT_TRUE(bindings.Set({Type::Program, 0, 0}, {Action::Effect}));
    ASSERT_TRUE(bindings.Set({Type::Control, 0, 1}, {Action::Ctrl1, Action::Ctrl2}));
    ASSERT_TRUE(bindings.Set({Type::Note, 0, 48}, {Action::MemA1}));
    ASSERT_TRUE(bindings.Set({Type::Note, 0, 50}, {Action::EffectUp}));
    auto valueOf = [](Action action) { return action == Action::Ctrl2 ? 20 : 1; };
    Messages out;
    AppendWholeState(bindings, valueOf, out);
    EXPECT_EQ(out, (Messages{Msg(0x90, 48, 127), Msg(0xB0, 1, 1), Msg(0xB0, 1, 20), Msg(0xC0, 1)}));
}

}  // namespace
