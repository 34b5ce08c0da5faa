// The keyboard map's letters under another layout: the physical key counts, as the US
// layout names it, wherever the current layout gives no Latin letter.
#include <gtest/gtest.h>

#include <Qt>

#include "KeyMap.h"
#include "UsLayout.h"

namespace {

// X11's and Wayland's keycodes of three keys on a pc105 keyboard.
constexpr unsigned kKeyX = 53;
constexpr unsigned kKeyQ = 24;
constexpr unsigned kApostrophe = 48;

int KeyOf(int qtKey, unsigned keycode) { return VirtualKeyFromQt(qtKey, keycode); }

TEST(KeyLayout, AnotherScriptsLetterCountsAsTheUsLetterOfTheSameKey)
{
    EXPECT_EQ(UsLayoutLetter(kKeyX), 'X');
    EXPECT_EQ(UsLayoutLetter(kApostrophe), 0) << "a key with no letter in the US layout";
    EXPECT_EQ(KeyOf(0x0427, kKeyX), 'X') << "Cyrillic Che on the X key";
    EXPECT_EQ(KeyOf(0x03C2, kKeyQ), 'Q') << "Greek final sigma on the Q key";
    // A Latin layout's own letters stand (German Z sits where the US layout has Y), and a
    // letter with no US letter on its key keeps its own code.
    EXPECT_EQ(KeyOf(Qt::Key_Z, 29), 'Z');
    EXPECT_EQ(KeyOf(Qt::Key_Adiaeresis, kApostrophe), Qt::Key_Adiaeresis);
    EXPECT_EQ(KeyOf(Qt::Key_Escape, 9), 27) << "special keys as before";
}

}  // namespace
