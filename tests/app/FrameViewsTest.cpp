// The frame loop's views on real windows with the real effects: a picture drawn through the
// offscreen framebuffer and shown in the output window equals the one drawn straight into a
// window (so the framebuffer tests depth as a window does, and the textured draw keeps out of
// the effect's state), and the preview beside it shows the same picture; while a way out is on,
// the picture read back once a tick is that picture too, and with every way out off none is.
// At PICTURE 720 and 1080 a test-pattern camera fills its texture's first rows and draws as
// its picture does at the default size.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CameraTexture.h"
#include "DeviceList.h"
#include "FrameLoop.h"
#include "FrameMemory.h"
#include "GlView.h"
#include "KovraEff.h"
#include "OutputWindow.h"
#include "PictureSize.h"

namespace {

constexpr int kW = 320;
constexpr int kH = 240;

CGlView::Events NoEvents()
{
    return {[](const QKeyEvent&) {}, [](const QKeyEvent&) {}, [] {}, [](int, int) {}, [] {}, {}};
}

QImage Grab(const QWindow& window)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The largest difference of one colour channel between two pictures of one size.
int Difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return most;
}

bool Shown(QWindow& window)
{
    window.resize(kW, kH);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

TEST(FrameViews, OffscreenPictureEqualsTheDirectOneInBothViews)
{
    CGlView main(NoEvents());
    ASSERT_TRUE(Shown(main));
    EffectParams params = {};
    params.ctrl1 = params.ctrl2 = 64;
    params.texA = kTextureA;
    params.texB = kTextureB;
    params.maxSA = params.maxSB = 1.0f;
    params.maxTA = params.maxTB = 0.75f;
    // The spheres: depth-tested meshes over both cameras, each tick their first frame.
    CFrameLoop loop(
        [&] {
            KOVRAEFF_Reset(10);
            KOVRAEFF_Draw(10, &params);
        },
        [] { return true; });
    ASSERT_TRUE(loop.Create(&main));
    ASSERT_EQ(KOVRAEFF_Init(), 16);
    CreateCameraTexture(kTextureA, kTextureSize, kTextureSize);
    CreateCameraTexture(kTextureB, kTextureSize, kTextureSize);
    UploadCameraPicture(kTextureA, MakePlaceholder(200, 200, 255).data(), 1, 0, kPictureWidth,
                        kPictureHeight);
    UploadCameraPicture(kTextureB, MakePlaceholder(255, 120, 0).data(), 1, 0, kPictureWidth,
                        kPictureHeight);

    QImage direct;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        loop.Tick();
        direct = Grab(main);
        return direct.size() == QSize(kW, kH) && direct.pixel(0, 0) != direct.pixel(kW / 2, kH / 2);
    })) << "the direct picture never showed";

    COutputWindow output(NoEvents());
    ASSERT_TRUE(Shown(output));
    loop.SetOutput(&output);
    for (const auto how : {CFrameLoop::TwoViews::Offscreen, CFrameLoop::TwoViews::CopyForPreview}) {
        loop.SetTwoViews(how);
        int outputDiff = 256;
        int previewDiff = 256;
        // Judged by the differences below once the wait ends either way.
        (void)QTest::qWaitFor([&] {
            loop.Tick();
            outputDiff = Difference(Grab(output), direct);
            previewDiff = Difference(Grab(main), direct);
            return outputDiff <= 2 && previewDiff <= 2;
        });
        EXPECT_LE(outputDiff, 2) << "output, way " << static_cast<int>(how);
        EXPECT_LE(previewDiff, 2) << "preview, way " << static_cast<int>(how);
    }
    loop.SetOutput(nullptr);

    // A way out at the window's size (drawn straight into it): what it is handed equals the
    // direct picture, a tick late (the ring), stamped with the tick's time, and the window
    // shows it.
    QImage taken;
    std::vector<long long> times;
    loop.SetOutTake([&](const uint8_t* rows, int stride, long long tickNs) {
        times.push_back(tickNs);
        taken = QImage(kW, kH, QImage::Format_RGBA8888);
        for (int y = 0; y < kH; ++y)
            std::memcpy(taken.scanLine(kH - 1 - y), rows + static_cast<size_t>(stride) * y, kW * 4);
    });
    loop.SetOutSize({kW, kH});
    for (long long tick = 1; tick <= 3; ++tick) loop.Tick(tick * 33000000);
    EXPECT_EQ(times, (std::vector<long long>{33000000, 66000000}));
    EXPECT_LE(Difference(taken.convertToFormat(QImage::Format_RGB32), direct), 2);
    int shownDiff = 256;
    (void)QTest::qWaitFor([&] {
        loop.Tick();
        shownDiff = Difference(Grab(main), direct);
        return shownDiff <= 2;
    });
    EXPECT_LE(shownDiff, 2) << "the window beside the way out";

    // Beside the output window it is drawn offscreen and shown in both: handed over the same.
    loop.SetOutput(&output);
    for (long long tick = 4; tick <= 6; ++tick) loop.Tick(tick * 33000000);
    EXPECT_EQ(times.back(), 5 * 33000000);
    EXPECT_LE(Difference(taken.convertToFormat(QImage::Format_RGB32), direct), 2)
        << "handed over beside the output window";
    loop.SetOutput(nullptr);

    loop.SetOutSize({});
    times.clear();
    loop.Tick();
    loop.Tick();
    EXPECT_TRUE(times.empty()) << "read back with every way out off";
    loop.Destroy();
}

// What the crossfade at camera A alone draws from a picture w x h in a texture of 4/3 its
// height, read back as a way out takes it (RGBA rows).
std::vector<uint8_t> Drawn(CFrameLoop& loop, const uint8_t* picture, int w, int h)
{
    std::vector<uint8_t> taken;
    if (!loop.MakeCurrent() ||
        !CreateCameraTexture(kTextureA, w, PictureSize{w, h}.TextureHeight()))
        return taken;
    UploadCameraPicture(kTextureA, picture, 1, 0, w, h);
    loop.SetOutTake([&](const uint8_t* rows, int stride, long long) {
        taken.assign(rows, rows + static_cast<size_t>(stride) * kH);
    });
    loop.SetOutSize({kW, kH});
    for (int tick = 0; tick < 3; ++tick) loop.Tick();  // handed over a tick late
    loop.SetOutSize({});
    return taken;
}

// A picture of three bands, bottom to top red, green and blue, at w x h.
std::vector<uint8_t> Bands(int w, int h)
{
    std::vector<uint8_t> picture(static_cast<size_t>(w) * h * 3, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) picture[(static_cast<size_t>(y) * w + x) * 3 + y * 3 / h] = 255;
    return picture;
}

TEST(FrameViews, SharpPicturesAreStoredFillTheirTextureAndDrawAsTheDefaultPictureDoes)
{
    CGlView main(NoEvents());
    ASSERT_TRUE(Shown(main));
    EffectParams params = {};
    params.ctrl1 = 127;  // the crossfade shows camera A alone
    params.texA = kTextureA;
    params.texB = kTextureB;
    params.maxSA = params.maxSB = 1.0f;
    params.maxTA = params.maxTB = 0.75f;
    CFrameLoop loop([&] { KOVRAEFF_Draw(1, &params); }, [] { return true; });
    ASSERT_TRUE(loop.Create(&main));
    ASSERT_EQ(KOVRAEFF_Init(), 16);
    CreateCameraTexture(kTextureB, kTextureSize, kTextureSize);
    const std::vector<std::string> names = VideoDeviceNames();
    const int bars =
        static_cast<int>(std::find(names.begin(), names.end(), kTestPatternBars) - names.begin()) +
        1;
    const std::vector<uint8_t> today =
        Drawn(loop, Bands(kPictureWidth, kPictureHeight).data(), kPictureWidth, kPictureHeight);
    ASSERT_EQ(today.size(), static_cast<size_t>(kW) * kH * 4);

    for (const char* text : {"720", "1080"}) {
        SCOPED_TRACE(std::string("PICTURE ") + text);
        const PictureSize size = UsablePictureSize(ParsePictureSize(text));
        ASSERT_EQ(size, ParsePictureSize(text)) << "this OpenGL takes any texture size";
        const int w = size.width, h = size.height;
        CFrameMemory memory;
        memory.m_nTargetWidth = w;
        memory.m_nTargetHeight = h;
        ASSERT_TRUE(memory.Open(bars, nullptr, false));
        std::vector<uint8_t> picture;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            memory.Update();
            picture.assign(memory.Picture(), memory.Picture() + static_cast<size_t>(w) * h * 3);
            return std::any_of(picture.begin(), picture.end(), [](uint8_t b) { return b != 0; });
        }));
        // The seven bars span the picture, bottom row and top: white first, blue last.
        for (const size_t row : {size_t{0}, static_cast<size_t>(h - 1)}) {
            const uint8_t* white = &picture[row * w * 3];
            const uint8_t* blue = white + (w - 1) * 3;
            EXPECT_TRUE(white[0] > 200 && white[1] > 200 && white[2] > 200) << "row " << row;
            EXPECT_TRUE(blue[0] < 50 && blue[1] < 50 && blue[2] > 200) << "row " << row;
        }
        memory.KeyEvent(3, true, true);
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), memory.StoredPicture(3)));

        // The texture holds the stored picture in its first rows and black above it.
        ASSERT_FALSE(Drawn(loop, memory.StoredPicture(3), w, h).empty());
        std::vector<uint8_t> texture(static_cast<size_t>(w) * size.TextureHeight() * 3, 0x11);
        glBindTexture(GL_TEXTURE_2D, kTextureA);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texture.data());
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), texture.begin()));
        EXPECT_TRUE(std::all_of(texture.begin() + static_cast<std::ptrdiff_t>(picture.size()),
                                texture.end(), [](uint8_t b) { return b == 0; }));

        // Bands draw where they do at the default size (but for their edges): the effects'
        // extents hold.
        const std::vector<uint8_t> sharp = Drawn(loop, Bands(w, h).data(), w, h);
        ASSERT_EQ(sharp.size(), today.size());
        size_t unlike = 0;
        for (size_t i = 0; i < sharp.size(); i += 4)
            unlike += sharp[i] != today[i] || sharp[i + 1] != today[i + 1] ||
                      sharp[i + 2] != today[i + 2];
        EXPECT_LT(unlike, sharp.size() / 4 / 50) << unlike << " pixels of " << sharp.size() / 4;
    }
    loop.Destroy();
}

}  // namespace
