// The status line: name, version, effect, both controls and the frame rate.
#include <gtest/gtest.h>

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

}  // namespace
