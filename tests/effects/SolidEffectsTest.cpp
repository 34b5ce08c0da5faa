// What the solid effects show: the gradient backdrop, which camera lines which object,
// their sizes and spin steps, and which animations restart when an effect is chosen.
#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "EffectFixture.h"

namespace {

constexpr int kCube = 0, kSpheres = 10, kPyramid = 11, kFloorCeiling = 12, kSlats = 14, kTitle = 15;

// Screen x of a point at x in a plane `distance` units in front of the eye.
int PxAt(double x, double distance)
{
    return static_cast<int>(std::lround(320 + x / (distance * std::tan(M_PI / 8) * 4 / 3) * 320));
}

class SolidEffects : public EffectTest {
protected:
    // The backdrop runs from nearly white at the bottom to nearly black at the top.
    void ExpectBackdropColumn(int x)
    {
        const Rgb bottom = At(x, 1), middle = At(x, 240), top = At(x, 478);
        EXPECT_GT(bottom.r, 230);
        EXPECT_NEAR(middle.r, 128, 12);
        EXPECT_LT(top.r, 25);
        EXPECT_EQ(bottom.r, bottom.b) << "the backdrop is grey";
        int last = 256;
        for (int y = 0; y < kHeight; y += 40) {
            EXPECT_LE(At(x, y).r, last) << "row " << y;
            last = At(x, y).r;
        }
    }
};

TEST_F(SolidEffects, CubeStandsOnTheGradientBackdropWithCameraAFacing)
{
    KOVRAEFF_Reset(kCube);
    Draw(kCube, 0, 0);
    ExpectBackdropColumn(3);
    ExpectBackdropColumn(636);
    EXPECT_EQ(ShowsAt(270, 190), Shows::ALowLeft);
    EXPECT_EQ(ShowsAt(370, 190), Shows::ALowRight);
    EXPECT_EQ(ShowsAt(270, 290), Shows::AUpLeft);
    EXPECT_EQ(ShowsAt(370, 290), Shows::AUpRight);
    EXPECT_FALSE(IsA(ShowsAt(300, 390))) << "an edge-2 cube leaves the backdrop above it";
}

TEST_F(SolidEffects, CubeGrowsWithCtrl2AndTurnsCameraBIntoViewWithCtrl1)
{
    KOVRAEFF_Reset(kCube);
    Draw(kCube, 0, 127);  // edge 4: the front face now reaches past the top of the view
    EXPECT_EQ(ShowsAt(300, 390), Shows::AUpLeft);
    Draw(kCube, 42, 0);  // turned about 90 degrees: a side face, camera B, faces the viewer
    EXPECT_TRUE(IsB(ShowsAt(300, 200))) << ShowsAt(300, 200);
    EXPECT_TRUE(IsB(ShowsAt(340, 280))) << ShowsAt(340, 280);
}

TEST_F(SolidEffects, CubeSpinRestartsWhenTheEffectIsChosenAgain)
{
    KOVRAEFF_Reset(kCube);
    Draw(kCube, 0, 0);
    const std::vector<uint8_t> first = Frame();
    const EffectParams params = DefaultParams();
    for (int i = 0; i < 449; ++i) KOVRAEFF_Draw(kCube, &params);
    Draw(kCube, 0, 0);  // a quarter turn about the view axis
    EXPECT_FALSE(first == Frame());
    KOVRAEFF_Reset(3);
    Draw(3, 64);
    KOVRAEFF_Reset(kCube);
    Draw(kCube, 0, 0);
    EXPECT_TRUE(first == Frame()) << "the spin did not start again from 0";
}

TEST_F(SolidEffects, TitleTumbleCarriesOnAcrossReset)
{
    Draw(kTitle, 64, 0);  // Ctrl 2 = 0 holds the tumble wherever it stands
    const std::vector<uint8_t> before = Frame();
    Draw(kTitle, 64, 127);
    Draw(kTitle, 64, 0);
    const std::vector<uint8_t> turned = Frame();
    ASSERT_FALSE(before == turned) << "Ctrl 2 = 127 did not tumble the word";
    KOVRAEFF_Reset(3);
    Draw(3, 64);
    KOVRAEFF_Reset(kTitle);
    ASSERT_EQ(KOVRAEFF_Init(), 16);
    Draw(kTitle, 64, 0);
    EXPECT_TRUE(turned == Frame()) << "the tumble was reset";
    ExpectBackdropColumn(3);
}

// The library's state is zero only when it is loaded, so a first-frame check of the
// tumbling word loads a private copy of the library.
class FreshLibrary {
public:
    FreshLibrary()
    {
        char path[] = "/tmp/kovraeff-XXXXXX";
        const int fd = mkstemp(path);
        if (fd < 0) return;
        close(fd);
        m_path = path;
        std::filesystem::copy_file(KOVRAEFF_PATH, m_path,
                                   std::filesystem::copy_options::overwrite_existing);
        m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) return;
        init = reinterpret_cast<int (*)()>(dlsym(m_handle, "KOVRAEFF_Init"));
        draw =
            reinterpret_cast<void (*)(int, const EffectParams*)>(dlsym(m_handle, "KOVRAEFF_Draw"));
    }
    ~FreshLibrary()
    {
        if (m_handle) dlclose(m_handle);
        if (!m_path.empty()) std::filesystem::remove(m_path);
    }
    int (*init)() = nullptr;
    void (*draw)(int, const EffectParams*) = nullptr;

private:
    std::string m_path;
    void* m_handle = nullptr;
};

TEST_F(SolidEffects, TitleShowsTheWordFacingTheViewerWhenFirstLoaded)
{
    FreshLibrary lib;
    ASSERT_TRUE(lib.init && lib.draw);
    ASSERT_EQ(lib.init(), 16);
    const EffectParams params = DefaultParams(64, 0);
    lib.draw(kTitle, &params);
    const std::vector<uint8_t> frame = s_gl->ReadPixels();
    // The word spans x -100.8..100.8 and y -30.6..30.6 at about 248 units.
    int inWord = 0, cameraB = 0, total = 0;
    for (int y = 180; y < 300; y += 3) {
        for (int x = 90; x < 550; x += 3) {
            const uint8_t* p = &frame[(y * kWidth + x) * 4];
            const Shows s = Classify({p[0], p[1], p[2]});
            inWord += IsA(s);
            cameraB += IsB(s) && s != Shows::BUpRight && s != Shows::BUpLeft;
            ++total;
        }
    }
    EXPECT_GT(inWord, total / 6) << "too little of camera A on the word's face";
    EXPECT_LT(inWord, total * 5 / 6) << "the word should leave backdrop between its letters";
    EXPECT_EQ(cameraB, 0);
    // Far left and right of the word only the backdrop shows.
    for (int y = 0; y < kHeight; y += 20) {
        const uint8_t* p = &frame[(y * kWidth + 20) * 4];
        EXPECT_FALSE(IsA(Classify({p[0], p[1], p[2]}))) << "row " << y;
    }
}

TEST_F(SolidEffects, SphereGridFromInsideAndFromAfar)
{
    Draw(kSpheres, 0, 0);  // the eye is inside the centre sphere
    // Away from the picture's centre lines, where linear filtering blends the quarters.
    for (int y : {60, 150, 330, 420}) {
        for (int x : {60, 200, 440, 580}) {
            EXPECT_TRUE(IsA(ShowsAt(x, y))) << x << "," << y << ": " << ShowsAt(x, y);
        }
    }
    Draw(kSpheres, 0, 127);  // 50 units back: centre sphere 53.6 units from the eye
    // Off each sphere's centre, which lies on the picture's seam and centre line.
    EXPECT_TRUE(IsA(ShowsAt(350, 280)));
    EXPECT_TRUE(IsB(ShowsAt(PxAt(-20, 53.6) + 30, 280))) << "the left sphere shows camera B";
    EXPECT_TRUE(IsA(ShowsAt(PxAt(20, 53.6) + 30, 280))) << "the right sphere shows camera A";
    EXPECT_EQ(ShowsAt(430, 350), Shows::Black) << "space between the spheres";
}

TEST_F(SolidEffects, SpinStepsAreTenTwentyAndTwentyDegreesAtFullCtrl1)
{
    // At its full step each spin comes round to the same picture after exactly one turn.
    const struct {
        int effect, framesPerTurn;
    } spins[] = {{kSpheres, 36}, {kPyramid, 18}, {kFloorCeiling, 18}};
    for (const auto& spin : spins) {
        KOVRAEFF_Reset(spin.effect);
        Draw(spin.effect, 127, 32);
        const std::vector<uint8_t> first = Frame();
        Draw(spin.effect, 127, 32);
        EXPECT_FALSE(first == Frame()) << "effect " << spin.effect << " did not turn";
        for (int i = 1; i < spin.framesPerTurn; ++i) Draw(spin.effect, 127, 32);
        EXPECT_TRUE(first == Frame())
            << "effect " << spin.effect << " not round in " << spin.framesPerTurn << " frames";
    }
}

TEST_F(SolidEffects, PyramidIsLinedWithCameraA)
{
    for (int ctrl2 : {0, 64, 127}) {
        Draw(kPyramid, 30, ctrl2);
        EXPECT_TRUE(IsA(ShowsAt(330, 250))) << "Ctrl 2 " << ctrl2;
        for (int x = 0; x < kWidth; x += 9) EXPECT_FALSE(IsB(ShowsAt(x, 240)));
    }
}

TEST_F(SolidEffects, FloorShowsCameraAAndCeilingCameraBWhenLevel)
{
    Draw(kFloorCeiling, 0, 64);
    for (int x = 40; x < kWidth; x += 80) {
        EXPECT_TRUE(IsA(ShowsAt(x, 30))) << x << ": " << ShowsAt(x, 30);
        EXPECT_TRUE(IsB(ShowsAt(x, 450))) << x << ": " << ShowsAt(x, 450);
    }
}

TEST_F(SolidEffects, SlatsAlternateBetweenTheCamerasAtMidCtrl1)
{
    Draw(kSlats, 64, 0);
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE("slat " + std::to_string(k));
        const int a = PxAt(-93.75 + 25 * k, 240.79);
        const int b = PxAt(-81.75 + 25 * k, 239.21);
        EXPECT_EQ(ShowsAt(a, 150), k < 4 ? Shows::ALowLeft : Shows::ALowRight);
        EXPECT_EQ(ShowsAt(b, 150), k < 4 ? Shows::BLowLeft : Shows::BLowRight);
        EXPECT_EQ(ShowsAt(a, 330), k < 4 ? Shows::AUpLeft : Shows::AUpRight);
    }
}

}  // namespace
