// What the flat picture effects show: cross-fade and echo mixes, the split and centre
// boundaries at several control values, and the fold's mirror and depth.
#include <cmath>

#include "EffectFixture.h"

namespace {

constexpr int kCrossFade = 1, kSplitX = 2, kSplitY = 3, kQuadShift = 4, kFold = 5, kEcho = 13;

float Frac(int ctrl) { return static_cast<float>(ctrl) * 0.007874016f; }

class FlatEffects : public EffectTest {};

TEST_F(FlatEffects, CrossFadeMixesCameraAOverBByCtrl1)
{
    LoadA(UniformPicture({200, 0, 0}));
    LoadB(UniformPicture({0, 0, 200}));
    for (int ctrl1 : {0, 32, 64, 127}) {
        Draw(kCrossFade, ctrl1, 99);  // Ctrl 2 has no say
        const Rgb c = At(320, 240);
        EXPECT_NEAR(c.r, 200 * Frac(ctrl1), 2.0) << "Ctrl 1 " << ctrl1;
        EXPECT_NEAR(c.b, 200 * (1 - Frac(ctrl1)), 2.0) << "Ctrl 1 " << ctrl1;
        EXPECT_EQ(c.g, 0);
    }
}

TEST_F(FlatEffects, CrossFadeOverBlackCameraBShowsAAtCtrl1Strength)
{
    LoadA(UniformPicture({240, 120, 60}));
    LoadB(UniformPicture({0, 0, 0}));
    Draw(kCrossFade, 64);
    const Rgb c = At(100, 400);
    EXPECT_NEAR(c.r, 240 * Frac(64), 2.0);
    EXPECT_NEAR(c.g, 120 * Frac(64), 2.0);
    EXPECT_NEAR(c.b, 60 * Frac(64), 2.0);
}

TEST_F(FlatEffects, SplitXSqueezesEachCameraWholeBesideTheBoundary)
{
    Draw(kSplitX, 0);
    EXPECT_EQ(ShowsAt(3, 100), Shows::BLowLeft) << "at Ctrl 1 = 0 camera B fills the view";
    EXPECT_EQ(ShowsAt(636, 380), Shows::BUpRight);
    Draw(kSplitX, 127);
    EXPECT_EQ(ShowsAt(3, 100), Shows::ALowLeft) << "at 127 camera A fills the view";
    EXPECT_EQ(ShowsAt(636, 380), Shows::AUpRight);

    for (int ctrl1 : {32, 64, 100}) {
        Draw(kSplitX, ctrl1);
        const float x = Frac(ctrl1) * 4 - 2;
        const int edge = static_cast<int>(std::lround(ScreenX(x)));
        SCOPED_TRACE("Ctrl 1 " + std::to_string(ctrl1));
        EXPECT_EQ(ShowsAt(edge - 4, 100), Shows::ALowRight);
        EXPECT_EQ(ShowsAt(edge + 4, 100), Shows::BLowLeft);
        EXPECT_EQ(ShowsAt(edge + 4, 380), Shows::BUpLeft);
        // Both pictures are squeezed, not cropped: each shows its own two halves.
        const int midA = static_cast<int>(ScreenX((x - 2) / 2));
        const int midB = static_cast<int>(ScreenX((x + 2) / 2));
        EXPECT_EQ(ShowsAt(midA - 4, 100), Shows::ALowLeft);
        EXPECT_EQ(ShowsAt(midA + 4, 100), Shows::ALowRight);
        EXPECT_EQ(ShowsAt(midB - 4, 380), Shows::BUpLeft);
        EXPECT_EQ(ShowsAt(midB + 4, 380), Shows::BUpRight);
    }
}

TEST_F(FlatEffects, SplitYPutsCameraABelowAndBAboveTheBoundary)
{
    Draw(kSplitY, 0);
    EXPECT_EQ(ShowsAt(100, 3), Shows::BLowLeft) << "at Ctrl 1 = 0 camera B fills the view";
    EXPECT_EQ(ShowsAt(500, 476), Shows::BUpRight);
    Draw(kSplitY, 127);
    EXPECT_EQ(ShowsAt(100, 3), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(500, 476), Shows::AUpRight);

    for (int ctrl1 : {32, 64, 100}) {
        Draw(kSplitY, ctrl1);
        const float y = Frac(ctrl1) * 3 - 1.5f;
        const int edge = static_cast<int>(std::lround(ScreenY(y)));
        SCOPED_TRACE("Ctrl 1 " + std::to_string(ctrl1));
        EXPECT_EQ(ShowsAt(100, edge - 4), Shows::AUpLeft);
        EXPECT_EQ(ShowsAt(500, edge - 4), Shows::AUpRight);
        EXPECT_EQ(ShowsAt(100, edge + 4), Shows::BLowLeft);
        EXPECT_EQ(ShowsAt(100, 3), Shows::ALowLeft) << "camera A's bottom row at the bottom";
        EXPECT_EQ(ShowsAt(500, 476), Shows::BUpRight) << "camera B's last row at the top";
    }
}

TEST_F(FlatEffects, QuadShiftPinsCameraACentreToTheControls)
{
    const int cases[][2] = {{64, 64}, {20, 100}, {110, 30}};
    for (const auto& c : cases) {
        Draw(kQuadShift, c[0], c[1]);
        const int cx = static_cast<int>(std::lround(ScreenX(c[0] * 0.03125 - 2)));
        const int cy = static_cast<int>(std::lround(ScreenY(Frac(c[1]) * 3 - 1.5)));
        SCOPED_TRACE("Ctrl " + std::to_string(c[0]) + ", " + std::to_string(c[1]));
        EXPECT_EQ(ShowsAt(cx - 5, cy - 5), Shows::ALowLeft);
        EXPECT_EQ(ShowsAt(cx + 5, cy - 5), Shows::ALowRight);
        EXPECT_EQ(ShowsAt(cx - 5, cy + 5), Shows::AUpLeft);
        EXPECT_EQ(ShowsAt(cx + 5, cy + 5), Shows::AUpRight);
    }
}

TEST_F(FlatEffects, QuadShiftLeftQuartersVanishAtZeroButRightQuartersNever)
{
    Draw(kQuadShift, 0, 64);
    EXPECT_EQ(ShowsAt(2, 100), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(2, 380), Shows::AUpRight);
    Draw(kQuadShift, 127, 64);  // the centre stops at x = 1.96875, just inside the view
    EXPECT_EQ(ShowsAt(630, 100), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(639, 100), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(639, 380), Shows::AUpRight);
}

// Columns in four colour bands show how the picture is mapped across.
Picture Stripes()
{
    Picture p(512 * 384 * 3);
    const Rgb bands[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    for (int y = 0; y < 384; ++y) {
        for (int x = 0; x < 512; ++x) {
            const Rgb& c = bands[x / 128];
            uint8_t* px = &p[(y * 512 + x) * 3];
            px[0] = static_cast<uint8_t>(c.r);
            px[1] = static_cast<uint8_t>(c.g);
            px[2] = static_cast<uint8_t>(c.b);
        }
    }
    return p;
}

TEST_F(FlatEffects, FoldMirrorsTheLeftHalfOfCameraA)
{
    LoadA(Stripes());
    Draw(kFold, 64);  // nearly flat
    for (int y : {20, 240, 460}) {
        SCOPED_TRACE("row " + std::to_string(y));
        EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(-1.5)), y), Shows::ALowLeft);   // red band
        EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(-0.5)), y), Shows::ALowRight);  // green
        EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(0.5)), y), Shows::ALowRight);
        EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(1.5)), y), Shows::ALowLeft);
    }
    // The right half of the picture (blue, yellow bands) is never shown.
    for (int x = 0; x < kWidth; x += 7) {
        EXPECT_NE(ShowsAt(x, 240), Shows::AUpLeft);
        EXPECT_NE(ShowsAt(x, 240), Shows::AUpRight);
    }
}

TEST_F(FlatEffects, FoldLineRecedesAtZeroAndComesNearAt127)
{
    LoadA(Stripes());
    // Flat, the red/green band edge is at x = -1; receding squeezes it towards the centre,
    // coming nearer pushes it outwards.
    Draw(kFold, 0);
    EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(-0.9)), 240), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(0.9)), 240), Shows::ALowLeft);
    EXPECT_NE(ShowsAt(300, 470), Shows::Black) << "the band above fills the view's top";
    Draw(kFold, 127);
    EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(-1.1)), 240), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(static_cast<int>(ScreenX(1.1)), 240), Shows::ALowRight);
}

TEST_F(FlatEffects, EchoCopiesAddUpByOpacity)
{
    LoadA(UniformPicture({60, 60, 60}));
    Draw(kEcho, 0, 127);  // three copies on top of each other
    EXPECT_NEAR(At(320, 240).r, 180, 3);
    Draw(kEcho, 0, 64);
    EXPECT_NEAR(At(320, 240).r, 3 * 60 * Frac(64), 3);
    Draw(kEcho, 64, 127);  // spread by about one unit: three overlap in the middle only
    EXPECT_NEAR(At(320, 240).r, 180, 3);
    EXPECT_NEAR(At(static_cast<int>(ScreenX(1.5)), 240).r, 120, 3);
    EXPECT_NEAR(At(static_cast<int>(ScreenX(-1.5)), 240).r, 120, 3);
    Draw(kEcho, 64, 0);
    EXPECT_EQ(ShowsAt(320, 240), Shows::Black) << "opacity 0 leaves the frame black";
}

TEST_F(FlatEffects, EchoClipsAtWhite)
{
    LoadA(UniformPicture({200, 200, 200}));
    Draw(kEcho, 0, 127);
    EXPECT_EQ(At(320, 240).r, 255);
}

}  // namespace
