// The camera frame path: colour-order conversion over padded rows, the single-precision
// nearest-neighbour stretch, and the frame-memory keys' press-order stack.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FrameMemory.h"
#include "FramePathShuffle.h"
#include "PictureSize.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;

// A camera frame w x h of B, G, R bytes, each row padded to 4 bytes with sentinels.
std::vector<uint8_t> CameraFrame(int w, int h, int& stride)
{
    stride = (w * 3 + 3) / 4 * 4;
    std::vector<uint8_t> frame(static_cast<size_t>(stride) * h, kSentinel);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &frame[y * stride + x * 3];
            p[0] = static_cast<uint8_t>(x);          // blue
            p[1] = static_cast<uint8_t>(y);          // green
            p[2] = static_cast<uint8_t>(x + y + 1);  // red
        }
    }
    return frame;
}

TEST(ConvertToRgb, SwapsBlueAndRedAndSkipsEachRowsPadding)
{
    for (int w : {160, 161, 162, 163}) {
        SCOPED_TRACE("width " + std::to_string(w));
        const int h = 3;
        int stride = 0;
        const std::vector<uint8_t> frame = CameraFrame(w, h, stride);
        if (w == 161) {
            ASSERT_EQ(stride, 484) << "483 bytes and one pad byte";
        }
        // One guard byte past the packed picture must stay untouched.
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3 + 1, 0x5A);
        CFrameMemory::ConvertToRgb(frame.data(), rgb.data(), w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = &rgb[(y * w + x) * 3];
                ASSERT_EQ(p[0], static_cast<uint8_t>(x + y + 1)) << x << "," << y;
                ASSERT_EQ(p[1], static_cast<uint8_t>(y)) << x << "," << y;
                ASSERT_EQ(p[2], static_cast<uint8_t>(x)) << x << "," << y;
            }
        }
        EXPECT_EQ(rgb.back(), 0x5A);
    }
}

// A packed RGB picture whose pixels name their own column and row.
std::vector<uint8_t> CoordinatePicture(int w, int h)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(y * w + x) * 3];
            p[0] = static_cast<uint8_t>(x & 0xFF);
            p[1] = static_cast<uint8_t>(y & 0xFF);
            p[2] = static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4));
        }
    }
    return rgb;
}

int ColumnOf(const uint8_t* p) { return p[0] | ((p[2] & 0x0F) << 8); }
int RowOf(const uint8_t* p) { return p[1] | ((p[2] >> 4) << 8); }

TEST(Scale, From640x480EveryPixelTakesOneAndAQuarterSteps)
{
    const std::vector<uint8_t> source = CoordinatePicture(640, 480);
    std::vector<uint8_t> picture(512 * 384 * 3);
    CFrameMemory::Scale(source.data(), 640, 480, picture.data(), 512, 384);
    for (int y = 0; y < 384; ++y) {
        for (int x = 0; x < 512; ++x) {
            const uint8_t* p = &picture[(y * 512 + x) * 3];
            ASSERT_EQ(ColumnOf(p), x * 5 / 4) << x << "," << y;
            ASSERT_EQ(RowOf(p), y * 5 / 4) << x << "," << y;
        }
    }
}

TEST(Scale, From320x240EverySourcePixelFillsOneOrTwo)
{
    const std::vector<uint8_t> source = CoordinatePicture(320, 240);
    std::vector<uint8_t> picture(512 * 384 * 3);
    CFrameMemory::Scale(source.data(), 320, 240, picture.data(), 512, 384);
    std::vector<int> columnUses(320), rowUses(240);
    for (int x = 0; x < 512; ++x) ++columnUses[ColumnOf(&picture[x * 3])];
    for (int y = 0; y < 384; ++y) ++rowUses[RowOf(&picture[y * 512 * 3])];
    for (int uses : columnUses) EXPECT_TRUE(uses == 1 || uses == 2) << uses;
    for (int uses : rowUses) EXPECT_TRUE(uses == 1 || uses == 2) << uses;
    // 0.625 steps: destination 8 is source 5, destination 511 source 319.
    EXPECT_EQ(ColumnOf(&picture[8 * 3]), 5);
    EXPECT_EQ(ColumnOf(&picture[511 * 3]), 319);
}

TEST(Scale, SinglePrecisionStepsDecideTheColumnAt1920Wide)
{
    // 1 / (512 / 1920) in float is just under 3.75, so destination column 4 takes source
    // column 14 where exact arithmetic would give 15.
    const std::vector<uint8_t> source = CoordinatePicture(1920, 4);
    std::vector<uint8_t> picture(512 * 2 * 3);
    CFrameMemory::Scale(source.data(), 1920, 4, picture.data(), 512, 2);
    EXPECT_EQ(ColumnOf(&picture[4 * 3]), 14);
    EXPECT_EQ(ColumnOf(&picture[0]), 0);
    EXPECT_LT(ColumnOf(&picture[511 * 3]), 1920);
}

TEST(FrameMemoryKeys, HeldKeysFormAStackByPressTime)
{
    CFrameMemory memory;
    EXPECT_EQ(memory.Shown(), -1);
    memory.KeyEvent(0, true, false);
    EXPECT_EQ(memory.Shown(), 0);
    memory.KeyEvent(3, true, false);
    EXPECT_EQ(memory.Shown(), 3);
    memory.KeyEvent(3, false, false);
    EXPECT_EQ(memory.Shown(), 0) << "release falls back to the key still held";
    memory.KeyEvent(5, true, false);
    memory.KeyEvent(0, true, false);  // pressed again while held: the newest now
    memory.KeyEvent(0, false, false);
    EXPECT_EQ(memory.Shown(), 5);
    memory.KeyEvent(5, false, false);
    EXPECT_EQ(memory.Shown(), -1) << "nothing held: the live picture";
}

TEST(FrameMemoryKeys, RecordingWithoutACameraTouchesNoBuffer)
{
    CFrameMemory memory;  // closed: no pictures at all
    memory.KeyEvent(2, true, true);
    memory.KeyEvent(2, false, true);
    memory.KeyEvent(9, true, true);  // not a key
    EXPECT_EQ(memory.Shown(), -1);
    memory.Close();
    memory.Close();
}

}  // namespace

namespace {

TEST(ConvertAndScale, OnePassGivesTheTwoStepPictureByteForByte)
{
    const int sizes[][2] = {{320, 240},  {640, 480},   {161, 120},
                            {1280, 720}, {1920, 1080}, {100, 500}};
    // Every PICTURE size; at 1080 from a 1920x1080 camera the pass is the colour reorder alone.
    const int pictures[][2] = {{512, 384}, {1280, 720}, {1920, 1080}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        int stride = 0;
        std::vector<uint8_t> frame = CameraFrame(w, h, stride);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] ^= static_cast<uint8_t>(i * 7);
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        CFrameMemory::ConvertToRgb(frame.data(), rgb.data(), w, h);
        for (const auto& picture : pictures) {
            const int tw = picture[0], th = picture[1];
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " into " +
                         std::to_string(tw) + "x" + std::to_string(th));
            std::vector<uint8_t> twoStep(static_cast<size_t>(tw) * th * 3, 0x11);
            CFrameMemory::Scale(rgb.data(), w, h, twoStep.data(), tw, th);

            std::vector<uint8_t> onePass(twoStep.size(), 0x11);
            CFrameMemory::ConvertAndScale(frame.data(), CFrameMemory::MakeScaleTables(w, h, tw, th),
                                          onePass.data());
            EXPECT_TRUE(onePass == twoStep);
            if (w == tw && h == th) {
                EXPECT_TRUE(onePass == rgb);
            }
        }
    }
}

TEST(PictureSize, OnlyTheThreeHeightsAreReadAndTheTextureIsFourThirdsHigh)
{
    EXPECT_EQ(ParsePictureSize("384"), (PictureSize{512, 384}));
    EXPECT_EQ(ParsePictureSize("720"), (PictureSize{1280, 720}));
    EXPECT_EQ(ParsePictureSize("1080"), (PictureSize{1920, 1080}));
    for (const char* other : {"", "0", "480", "1080p", "0720", "+720", "2160", "1920x1080"})
        EXPECT_EQ(ParsePictureSize(other), (PictureSize{512, 384})) << '"' << other << '"';

    // The picture fills the texture's first 3/4 of rows: 512x512 as always, and past a power
    // of two above it.
    const PictureSize sizes[] = {{512, 384}, {1280, 720}, {1920, 1080}};
    const int textures[][2] = {{512, 512}, {1280, 960}, {1920, 1440}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sizes[i].TextureWidth(), textures[i][0]);
        EXPECT_EQ(sizes[i].TextureHeight(), textures[i][1]);
        EXPECT_EQ(sizes[i].height * 4, sizes[i].TextureHeight() * 3) << "maxT stays 0.75";
    }
}

// Where the processor has SSSE3, ConvertAndScale shuffles quads of pixels; its picture must
// match the byte-at-a-time route for wide and narrow cameras, odd widths (padded rows), steps
// that need one or two loads per quad or are too wide for either, and pictures of other sizes.
TEST(ConvertAndScale, ShuffleRouteGivesThePortablePictureByteForByte)
{
    const int cameras[][2] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}, {161, 120},
                              {163, 7},   {5, 4},     {6, 3},      {2047, 9},    {2600, 5}};
    const int pictures[][2] = {{512, 384}, {333, 250}, {7, 5}};
    for (const auto& camera : cameras) {
        for (const auto& picture : pictures) {
            const int w = camera[0], h = camera[1], tw = picture[0], th = picture[1];
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " into " +
                         std::to_string(tw) + "x" + std::to_string(th));
            int stride = 0;
            std::vector<uint8_t> frame = CameraFrame(w, h, stride);
            for (size_t i = 0; i < frame.size(); ++i) frame[i] ^= static_cast<uint8_t>(i * 13);
            const CFrameMemory::ScaleTables tables = CFrameMemory::MakeScaleTables(w, h, tw, th);

            std::vector<uint8_t> portable(static_cast<size_t>(tw) * th * 3, 0x11);
            std::vector<uint8_t> fastest(portable);
            CFrameMemory::ConvertAndScalePortable(frame.data(), tables, portable.data());
            CFrameMemory::ConvertAndScale(frame.data(), tables, fastest.data());
            EXPECT_TRUE(fastest == portable);
        }
    }
    if (!FramePathShuffle::Available()) GTEST_SKIP() << "no SSSE3: only the portable route ran";
    EXPECT_EQ(CFrameMemory::MakeScaleTables(640, 480, 512, 384).quadLoads, 1);
    EXPECT_EQ(CFrameMemory::MakeScaleTables(1920, 1080, 512, 384).quadLoads, 2);
    EXPECT_EQ(CFrameMemory::MakeScaleTables(2600, 5, 512, 384).quadLoads, 0) << "steps too wide";
    EXPECT_EQ(CFrameMemory::MakeScaleTables(1920, 1080, 1920, 1080).quadLoads, 1)
        << "the colour reorder at 1080 takes one load per quad";
}

}  // namespace
