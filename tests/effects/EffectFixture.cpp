// The offscreen context and camera pictures shared by the effects' pixel tests.
#include "EffectFixture.h"

#include "PinLibraries.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

std::unique_ptr<OffscreenGl> EffectTest::s_gl;

namespace {

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};
const Rgb kMagenta{255, 0, 255}, kCyan{0, 255, 255}, kWhite{255, 255, 255}, kGrey{128, 128, 128};

// Half the visible width and height of the z = 0 plane 3.6 units away.
const double kHalfHeight = 3.6 * std::tan(22.5 * M_PI / 180.0);
const double kHalfWidth = kHalfHeight * 4.0 / 3.0;

}  // namespace

std::string ToString(Shows shows)
{
    static const char* const names[] = {"black",      "A low-left", "A low-right", "A up-left",
                                        "A up-right", "B low-left", "B low-right", "B up-left",
                                        "B up-right", "other"};
    return names[static_cast<int>(shows)];
}

Picture QuadrantPicture(Rgb lowLeft, Rgb lowRight, Rgb upLeft, Rgb upRight)
{
    Picture picture(512 * 384 * 3);
    for (int y = 0; y < 384; ++y) {
        for (int x = 0; x < 512; ++x) {
            const Rgb& c = y < 192 ? (x < 256 ? lowLeft : lowRight) : (x < 256 ? upLeft : upRight);
            uint8_t* p = &picture[(y * 512 + x) * 3];
            p[0] = static_cast<uint8_t>(c.r);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.b);
        }
    }
    return picture;
}

Picture UniformPicture(Rgb colour) { return QuadrantPicture(colour, colour, colour, colour); }
Picture PictureA() { return QuadrantPicture(kRed, kGreen, kBlue, kYellow); }
Picture PictureB() { return QuadrantPicture(kMagenta, kCyan, kWhite, kGrey); }

EffectParams DefaultParams(int ctrl1, int ctrl2)
{
    return EffectParams{ctrl1, ctrl2, 0, 0, kTextureA, 1.0f, 0.75f, kTextureB, 1.0f, 0.75f};
}

double ScreenX(double worldX) { return kWidth / 2.0 + worldX / kHalfWidth * kWidth / 2.0; }
double ScreenY(double worldY) { return kHeight / 2.0 + worldY / kHalfHeight * kHeight / 2.0; }

void EffectTest::SetUpTestSuite()
{
    s_gl = std::make_unique<OffscreenGl>(kWidth, kHeight);
    PinLoadedLibraries();
    if (!s_gl->Ok()) return;
    CreateCameraTexture(kTextureA, 512, 512);
    CreateCameraTexture(kTextureB, 512, 512);
}

void EffectTest::TearDownTestSuite() { s_gl.reset(); }

void EffectTest::SetUp()
{
    ASSERT_TRUE(s_gl && s_gl->Ok()) << (s_gl ? s_gl->Error() : "no context");
    LoadA(PictureA());
    LoadB(PictureB());
    ASSERT_EQ(KOVRAEFF_Init(), 16);
}

void EffectTest::LoadA(const Picture& picture)
{
    UploadCameraPicture(kTextureA, picture.data(), 1, 0, 512, 384);
}
void EffectTest::LoadB(const Picture& picture)
{
    UploadCameraPicture(kTextureB, picture.data(), 1, 0, 512, 384);
}

void EffectTest::Draw(int effect, const EffectParams& params)
{
    KOVRAEFF_Draw(effect, &params);
    m_frame = s_gl->ReadPixels();
}

Rgb EffectTest::At(int x, int y) const
{
    const uint8_t* p = &m_frame[(static_cast<size_t>(y) * kWidth + x) * 4];
    return Rgb{p[0], p[1], p[2]};
}

Shows EffectTest::Classify(Rgb c)
{
    struct Named {
        Rgb colour;
        Shows shows;
    };
    static const Named palette[] = {
        {{0, 0, 0}, Shows::Black}, {kRed, Shows::ALowLeft},    {kGreen, Shows::ALowRight},
        {kBlue, Shows::AUpLeft},   {kYellow, Shows::AUpRight}, {kMagenta, Shows::BLowLeft},
        {kCyan, Shows::BLowRight}, {kWhite, Shows::BUpLeft},   {kGrey, Shows::BUpRight},
    };
    for (const Named& n : palette) {
        if (std::abs(c.r - n.colour.r) <= 24 && std::abs(c.g - n.colour.g) <= 24 &&
            std::abs(c.b - n.colour.b) <= 24) {
            return n.shows;
        }
    }
    return Shows::Other;
}
