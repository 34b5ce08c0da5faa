// The keyboard's key codes and the frame memory keys.
#include <gtest/gtest.h>

#include <Qt>

#include "KeyMap.h"

namespace {

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

}  // namespace
