// A real offscreen OpenGL context (Mesa, surfaceless EGL) of 640x480 with the two camera
// textures made as the main program makes them, plus pictures that tell the cameras apart
// and show which way up they are, and helpers to read back and name what a pixel shows.
#ifndef KOVRA_TESTS_EFFECTS_EFFECTFIXTURE_H
#define KOVRA_TESTS_EFFECTS_EFFECTFIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CameraTexture.h"
#include "KovraEff.h"
#include "OffscreenGl.h"

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Rgb {
    int r, g, b;
};

// Camera A: red lower left, green lower right, blue upper left, yellow upper right.
// Camera B: magenta lower left, cyan lower right, white upper left, grey upper right.
// "Lower" is the picture's first rows, which the effects draw at the bottom.
enum class Shows {
    Black,
    ALowLeft,
    ALowRight,
    AUpLeft,
    AUpRight,
    BLowLeft,
    BLowRight,
    BUpLeft,
    BUpRight,
    Other
};

inline bool IsA(Shows s) { return s >= Shows::ALowLeft && s <= Shows::AUpRight; }
inline bool IsB(Shows s) { return s >= Shows::BLowLeft && s <= Shows::BUpRight; }

std::string ToString(Shows shows);
inline std::ostream& operator<<(std::ostream& os, Shows shows) { return os << ToString(shows); }

// A 512x384 packed RGB picture, first row at the bottom.
using Picture = std::vector<uint8_t>;
Picture QuadrantPicture(Rgb lowLeft, Rgb lowRight, Rgb upLeft, Rgb upRight);
Picture UniformPicture(Rgb colour);
Picture PictureA();
Picture PictureB();

EffectParams DefaultParams(int ctrl1 = 0, int ctrl2 = 0);

// Screen position of a point of the z = 0 plane seen at the usual 3.6 units' distance.
double ScreenX(double worldX);
double ScreenY(double worldY);

class EffectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static void LoadA(const Picture& picture);
    static void LoadB(const Picture& picture);

    // Draws the effect once and reads the frame back.
    void Draw(int effect, const EffectParams& params);
    void Draw(int effect, int ctrl1 = 0, int ctrl2 = 0)
    {
        Draw(effect, DefaultParams(ctrl1, ctrl2));
    }

    Rgb At(int x, int y) const;  // y counts from the bottom row
    Shows ShowsAt(int x, int y) const { return Classify(At(x, y)); }
    static Shows Classify(Rgb colour);
    const std::vector<uint8_t>& Frame() const { return m_frame; }

    static std::unique_ptr<OffscreenGl> s_gl;

private:
    std::vector<uint8_t> m_frame;
};

#endif
