// The status line, the tick spacing and the keyboard's key codes and repeat detection.
#include <gtest/gtest.h>

#include <Qt>

#include "FrameClock.h"
#include "KeyMap.h"
#include "KeyRepeat.h"
#include "StatusText.h"

namespace {

TEST(StatusText, ReadsNameVersionEffectControlsAndRate)
{
    EXPECT_EQ(StatusText(3, 64, 127, 29.8f), "Kovra 1.00 EFF:3 C1:64 C2:127 FS:29.8");
    EXPECT_EQ(StatusText(0, 0, 0, 0.0f), "Kovra 1.00 EFF:0 C1:0 C2:0 FS:0.0");
    EXPECT_EQ(StatusText(15, 127, 5, 30.4f), "Kovra 1.00 EFF:15 C1:127 C2:5 FS:30.4");
    // 152 ticks in a window: 152 x 0.2 in single precision.
    EXPECT_EQ(StatusText(1, 2, 3, 152 * 0.2f), "Kovra 1.00 EFF:1 C1:2 C2:3 FS:30.4");
}

TEST(TickSpacing, TicksStayOneIntervalApartAgainstThePlan)
{
    // On time: the rest of the 33 ms.
    TickPlan plan = PlanNextTick(1000, 1005, 33);
    EXPECT_EQ(plan.delayMs, 28);
    EXPECT_EQ(plan.nextDue, 1033u);
    // The handler ran 2 ms after its plan and worked 5 ms: the lag is not carried on.
    plan = PlanNextTick(1033, 1040, 33);
    EXPECT_EQ(plan.delayMs, 26);
    EXPECT_EQ(plan.nextDue, 1066u);
    // A tick exactly one interval late goes at once and keeps the plan.
    plan = PlanNextTick(1066, 1099, 33);
    EXPECT_EQ(plan.delayMs, 0);
    EXPECT_EQ(plan.nextDue, 1099u);
    // Across the clock's wrap.
    plan = PlanNextTick(0xFFFFFFF0u, 0x00000005u, 33);
    EXPECT_EQ(plan.delayMs, 12);
    EXPECT_EQ(plan.nextDue, 0x00000011u);
}

TEST(TickSpacing, WorkOfFortyMillisecondsRearmsWithZeroAndStartsAfresh)
{
    const TickPlan plan = PlanNextTick(2000, 2040, 33);
    EXPECT_EQ(plan.delayMs, 0);
    EXPECT_EQ(plan.nextDue, 2040u) << "no burst of catch-up ticks after a long frame";
}

TEST(KeyCodes, LettersAreTheirCapitalsAndTheSpecialKeysTheirCodes)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_C), 67);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_X), 88);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Shift), VK_SHIFT);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape), VK_ESCAPE);
    // Keys outside the map must not alias a mapped one.
    for (int qtKey : {Qt::Key_F1, Qt::Key_Control, Qt::Key_Space, Qt::Key_Up}) {
        const int vk = VirtualKeyFromQt(qtKey);
        EXPECT_TRUE(vk != VK_SHIFT && vk != VK_RETURN && vk != VK_ESCAPE &&
                    !(vk >= 'A' && vk <= 'Z'))
            << qtKey;
    }
}

TEST(KeyCodes, SixteenFrameMemoryKeysInTwoRows)
{
    int camera = -1, key = -1;
    const char* rowA = "QWERTYUI";
    const char* rowB = "ASDFGHJK";
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(FrameMemoryKey(rowA[i], camera, key));
        EXPECT_EQ(camera, 0);
        EXPECT_EQ(key, i);
        ASSERT_TRUE(FrameMemoryKey(rowB[i], camera, key));
        EXPECT_EQ(camera, 1);
        EXPECT_EQ(key, i);
    }
    for (int other : {int('C'), int('V'), int('Z'), int('X'), int('O'), int('L'), VK_SHIFT})
        EXPECT_FALSE(FrameMemoryKey(other, camera, key));
}

TEST(KeyRepeat, APressOfAKeyAlreadyDownIsARepeat)
{
    CKeyRepeat keys;
    EXPECT_FALSE(keys.Press('Q', false));
    EXPECT_TRUE(keys.Press('Q', false)) << "X with detectable auto-repeat: presses only";
    EXPECT_FALSE(keys.Press('W', false)) << "another key is a first press";
    EXPECT_TRUE(keys.Release('W', false));
    EXPECT_TRUE(keys.Press('Q', true));
    EXPECT_FALSE(keys.Release('Q', true)) << "an auto-repeat's release is no release";
    EXPECT_TRUE(keys.Press('Q', false)) << "so Q is still down";
    EXPECT_TRUE(keys.Release('Q', false));
    EXPECT_FALSE(keys.Press('Q', false)) << "up again: a new press";
    keys.Clear();
    EXPECT_FALSE(keys.Press('Q', false)) << "focus lost: keys are forgotten";
}

}  // namespace
