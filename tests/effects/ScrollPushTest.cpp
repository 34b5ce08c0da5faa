// The scroll and push effects frame by frame: offsets and positions, the wrap that makes
// the scroll seamless, and the frame on which the push swaps its cameras.
#include <cmath>
#include <cstring>

#include "EffectFixture.h"

namespace {

constexpr int kScrollX = 6, kScrollY = 7, kPushX = 8, kPushY = 9;

int Px(double worldX) { return static_cast<int>(std::lround(ScreenX(worldX))); }
int Py(double worldY) { return static_cast<int>(std::lround(ScreenY(worldY))); }
bool InView(int p, int size) { return p > 6 && p < size - 6; }

class ScrollPush : public EffectTest {};

TEST_F(ScrollPush, ScrollXMovesOneUnitAFrameAndWrapsAfterTwoPictureWidths)
{
    KOVRAEFF_Reset(kScrollX);
    for (int frame = 1; frame <= 7; ++frame) {
        Draw(kScrollX, 127);
        SCOPED_TRACE("frame " + std::to_string(frame));
        const int ab = Px(2 - frame);  // first A meets B
        if (InView(ab, kWidth)) {
            EXPECT_EQ(ShowsAt(ab - 4, 100), Shows::ALowRight);
            EXPECT_EQ(ShowsAt(ab + 4, 100), Shows::BLowLeft);
        }
        const int ba = Px(6 - frame);  // B meets the second A
        if (InView(ba, kWidth)) {
            EXPECT_EQ(ShowsAt(ba - 4, 380), Shows::BUpRight);
            EXPECT_EQ(ShowsAt(ba + 4, 380), Shows::AUpLeft);
        }
    }
    // The eighth frame reaches -8 and wraps to 0: camera A alone, as at the start.
    Draw(kScrollX, 127);
    EXPECT_EQ(ShowsAt(3, 100), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(636, 100), Shows::ALowRight);
    Draw(kScrollX, 127);
    EXPECT_EQ(ShowsAt(Px(1) - 4, 100), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(Px(1) + 4, 100), Shows::BLowLeft);
}

TEST_F(ScrollPush, ScrollYMovesDownAndWrapsWhenReachingSixExactly)
{
    KOVRAEFF_Reset(kScrollY);
    for (int frame = 1; frame <= 5; ++frame) {
        Draw(kScrollY, 127);
        SCOPED_TRACE("frame " + std::to_string(frame));
        const int ab = Py(1.5 - frame);
        if (InView(ab, kHeight)) {
            EXPECT_EQ(ShowsAt(100, ab - 4), Shows::AUpLeft);
            EXPECT_EQ(ShowsAt(100, ab + 4), Shows::BLowLeft);
        }
        const int ba = Py(4.5 - frame);
        if (InView(ba, kHeight)) {
            EXPECT_EQ(ShowsAt(500, ba - 4), Shows::BUpRight);
            EXPECT_EQ(ShowsAt(500, ba + 4), Shows::ALowRight);
        }
    }
    Draw(kScrollY, 127);  // offset -6 wraps to 0
    EXPECT_EQ(ShowsAt(100, 3), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(500, 476), Shows::AUpRight);
}

TEST_F(ScrollPush, EveryMovingEffectStandsStillAtCtrl1Zero)
{
    for (int effect : {kScrollX, kScrollY, kPushX, kPushY, 10, 11, 12}) {
        KOVRAEFF_Reset(effect);
        for (int i = 0; i < 3; ++i) Draw(effect, 127, 64);
        Draw(effect, 0, 64);
        const std::vector<uint8_t> before = Frame();
        Draw(effect, 0, 64);
        Draw(effect, 0, 64);
        EXPECT_TRUE(before == Frame()) << "effect " << effect << " moved at Ctrl 1 = 0";
        Draw(effect, 127, 64);
        EXPECT_FALSE(before == Frame()) << "effect " << effect << " did not move at 127";
    }
}

// Position of the sliding picture after each frame at Ctrl 1 = 127 (0.498 a frame from 4).
constexpr double kPushXPositions[] = {3.502, 3.004, 2.506, 2.008, 1.510, 1.012, 0.514, 0.016};

TEST_F(ScrollPush, PushXSlidesAInFromTheRightOverBThenSwaps)
{
    for (int frame = 1; frame <= 8; ++frame) {
        Draw(kPushX, 127);
        SCOPED_TRACE("frame " + std::to_string(frame));
        const int edge = Px(-2 + kPushXPositions[frame - 1]);
        if (InView(edge, kWidth)) {
            EXPECT_TRUE(IsB(ShowsAt(edge - 4, 100))) << ShowsAt(edge - 4, 100);
            EXPECT_EQ(ShowsAt(edge + 4, 100), Shows::ALowLeft);
        }
    }
    // The ninth frame would go below 0: the roles swap and B starts at 4, out of view.
    Draw(kPushX, 127);
    EXPECT_EQ(ShowsAt(3, 100), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(636, 380), Shows::AUpRight);
    Draw(kPushX, 127);
    const int edge = Px(-2 + kPushXPositions[0]);
    EXPECT_EQ(ShowsAt(edge - 4, 100), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(edge + 4, 100), Shows::BLowLeft);
}

constexpr double kPushYPositions[] = {2.502, 2.004, 1.506, 1.008, 0.510, 0.012};

TEST_F(ScrollPush, PushYBringsADownFromAboveThenSwaps)
{
    for (int frame = 1; frame <= 6; ++frame) {
        Draw(kPushY, 127);
        SCOPED_TRACE("frame " + std::to_string(frame));
        const int edge = Py(-1.5 + kPushYPositions[frame - 1]);
        if (InView(edge, kHeight)) {
            EXPECT_TRUE(IsB(ShowsAt(100, edge - 4))) << ShowsAt(100, edge - 4);
            EXPECT_EQ(ShowsAt(100, edge + 4), Shows::ALowLeft);
        }
    }
    Draw(kPushY, 127);  // swap: A is the background, B waits above the view
    EXPECT_EQ(ShowsAt(100, 3), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(500, 476), Shows::AUpRight);
    Draw(kPushY, 127);
    const int edge = Py(-1.5 + kPushYPositions[0]);
    EXPECT_TRUE(IsA(ShowsAt(100, edge - 4)));
    EXPECT_EQ(ShowsAt(100, edge + 4), Shows::BLowLeft);
}

TEST_F(ScrollPush, PushShowsWholePicturesWhateverTheExtentsSay)
{
    EffectParams narrow = DefaultParams(127);
    narrow.maxSA = narrow.maxSB = 0.5f;
    narrow.maxTA = narrow.maxTB = 0.375f;
    Draw(kPushX, narrow);  // B still fills the view behind the entering A
    EXPECT_EQ(ShowsAt(3, 3), Shows::BLowLeft);
    EXPECT_EQ(ShowsAt(400, 476), Shows::BUpRight);
    // A flat effect does take the extents: only the lower-left quarter of A is shown.
    Draw(3, narrow);
    EXPECT_EQ(ShowsAt(600, 400), Shows::ALowLeft);
}

TEST_F(ScrollPush, InitPutsThePushesBackAtTheirStartPositions)
{
    for (int i = 0; i < 5; ++i) Draw(kPushX, 127);
    ASSERT_EQ(KOVRAEFF_Init(), 16);
    ASSERT_EQ(KOVRAEFF_Init(), 16);
    Draw(kPushX, 127);
    const int edge = Px(-2 + kPushXPositions[0]);
    EXPECT_TRUE(IsB(ShowsAt(edge - 4, 100)));
    EXPECT_EQ(ShowsAt(edge + 4, 100), Shows::ALowLeft);
}

}  // namespace
