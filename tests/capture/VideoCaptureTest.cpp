// The capture pipeline on the tests' own devices: sizes and strides, bottom-up BGR rows,
// whole-frame copies against a fast producer, failed builds, stopping and unplugging.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "CaptureSetup.h"
#include "DeviceList.h"
#include "TestDevices.h"
#include "VideoCapture.h"

namespace {

using namespace std::chrono_literals;

// A running capture of the named device, or null when it is not listed or did not start.
std::unique_ptr<CVideoCapture> Start(const std::string& name)
{
    const int position = DevicePosition(name);
    auto capture = std::make_unique<CVideoCapture>(position);
    if (position > 0 && capture->BuildGraph(false, nullptr)) return capture;
    ADD_FAILURE() << name << (position > 0 ? " did not start" : " is not listed");
    return nullptr;
}

std::vector<uint8_t> Copy(CVideoCapture& capture)
{
    std::vector<uint8_t> frame(capture.GetFrameSize());
    EXPECT_TRUE(capture.CopyFrame(frame.data()));
    return frame;
}

// Copies frames until `done` holds for one, for at most 5 seconds.
template <typename Done>
bool CopyUntil(CVideoCapture& capture, Done done)
{
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(5ms))
        if (done(Copy(capture))) return true;
    return false;
}

bool NotBlack(const std::vector<uint8_t>& frame)
{
    for (uint8_t byte : frame)
        if (byte) return true;
    return false;
}

// The value of every byte of the frame, or -1 when it holds more than one.
int UniformValue(const std::vector<uint8_t>& frame)
{
    // All bytes are alike when each equals the next (fast in a sanitizer build too).
    if (frame.empty() || std::memcmp(frame.data(), frame.data() + 1, frame.size() - 1) != 0)
        return -1;
    return frame.front();
}

TEST(CaptureFormat, SizeAndStrideComeFromTheDevice)
{
    struct Case {
        const char* device;
        int width, height, frameSize;
    };
    // Rows of width x 3 bytes padded to 4: 960, 1920 and 484 (483 + 1) bytes.
    for (Case c : {Case{kRows320, 320, 240, 230400}, Case{kRows640, 640, 480, 921600},
                   Case{kRows161, 161, 120, 484 * 120}}) {
        SCOPED_TRACE(c.device);
        auto capture = Start(c.device);
        if (!capture) continue;
        EXPECT_EQ(capture->GetWidth(), c.width);
        EXPECT_EQ(capture->GetHeight(), c.height);
        EXPECT_EQ(capture->GetFrameSize(), c.frameSize);
    }
}

TEST(CaptureFormat, RowsArriveBottomUpAsBlueGreenRed)
{
    for (const char* device : {kRows320, kRows640, kRows161}) {
        SCOPED_TRACE(device);
        auto capture = Start(device);
        if (!capture) continue;
        std::vector<uint8_t> frame;
        ASSERT_TRUE(CopyUntil(*capture, [&](std::vector<uint8_t> f) {
            frame = std::move(f);
            return NotBlack(frame);
        }));
        const int width = capture->GetWidth();
        const int height = capture->GetHeight();
        const int stride = (width * 3 + 3) & ~3;
        int wrong = 0;
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x) {
                const Rgb want = RowsPixel(x, height - 1 - row);
                const uint8_t* got = &frame[row * stride + x * 3];
                if ((got[0] != want.b || got[1] != want.g || got[2] != want.r) && wrong++ == 0)
                    ADD_FAILURE() << "first wrong pixel: buffer row " << row << ", column " << x;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(CaptureFormat, MjpegOnlyCameraIsDecoded)
{
    auto capture = Start(kJpeg);
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->GetWidth(), 320);
    EXPECT_EQ(capture->GetHeight(), 240);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(CopyUntil(*capture, [&](std::vector<uint8_t> f) {
        frame = std::move(f);
        return NotBlack(frame);
    }));
    // JPEG is lossy: each channel near the picture's one colour.
    int wrong = 0;
    for (size_t i = 0; i < frame.size(); i += 3)
        if (std::abs(frame[i] - kJpegColour.b) > 12 ||
            std::abs(frame[i + 1] - kJpegColour.g) > 12 ||
            std::abs(frame[i + 2] - kJpegColour.r) > 12)
            ++wrong;
    EXPECT_EQ(wrong, 0);
}

// A sample of rows 0, 1, 2... (top first) whose byte i is i + 1.
std::vector<uint8_t> NumberedSample(size_t bytes)
{
    std::vector<uint8_t> sample(bytes);
    for (size_t i = 0; i < bytes; ++i) sample[i] = static_cast<uint8_t>(i + 1);
    return sample;
}

TEST(GrabberCallback, CopiesRowsInReverseAndNeverPastTheBuffer)
{
    constexpr int kStride = 8, kRows = 3, kSize = kStride * kRows, kGuard = 16;
    std::mutex lock;
    CGrabberCallback callback;
    const std::vector<uint8_t> sample = NumberedSample(kSize * 2);

    // Longer than the buffer: three rows land, the guard bytes after it stay.
    std::vector<uint8_t> buffer(kSize + kGuard, 0xA5);
    callback.SetBuffer(buffer.data(), kSize, kStride, &lock);
    callback.BufferCB(0.0, sample.data(), static_cast<long>(sample.size()));
    for (int row = 0; row < kRows; ++row)
        for (int i = 0; i < kStride; ++i)
            EXPECT_EQ(buffer[row * kStride + i], sample[(kRows - 1 - row) * kStride + i]);
    for (int i = kSize; i < kSize + kGuard; ++i) EXPECT_EQ(buffer[i], 0xA5) << "byte " << i;

    // Shorter: one and a half rows, the top of the picture, at the end of the buffer.
    std::fill(buffer.begin(), buffer.end(), 0xA5);
    callback.BufferCB(0.0, sample.data(), kStride + kStride / 2);
    for (int i = 0; i < kStride; ++i) EXPECT_EQ(buffer[2 * kStride + i], sample[i]);
    for (int i = 0; i < kStride; ++i)
        EXPECT_EQ(buffer[kStride + i], i < kStride / 2 ? sample[kStride + i] : 0xA5);
    for (int i = 0; i < kStride; ++i) EXPECT_EQ(buffer[i], 0xA5);
}

TEST(GrabberCallback, CopiesNothingForAnEmptySample)
{
    std::mutex lock;
    CGrabberCallback callback;
    std::vector<uint8_t> buffer(32, 0xA5);
    const std::vector<uint8_t> sample = NumberedSample(32);
    callback.SetBuffer(buffer.data(), 32, 8, &lock);
    callback.BufferCB(0.0, sample.data(), 0);
    callback.BufferCB(0.0, sample.data(), -8);
    EXPECT_EQ(buffer, std::vector<uint8_t>(32, 0xA5));
}

TEST(CaptureCopy, NeverTearsAgainstAFastProducer)
{
    auto capture = Start(kCounter);
    ASSERT_TRUE(capture);
    std::set<int> seen;
    int torn = 0;
    // Thousands of copies, over enough of the producer's frames even when both share one
    // processor; a busy machine takes longer to get there, not a different answer.
    const auto end = std::chrono::steady_clock::now() + 120s;
    for (int copy = 0; (copy < 3000 || seen.size() < 50) && std::chrono::steady_clock::now() < end;
         ++copy) {
        const int value = UniformValue(Copy(*capture));
        if (value <= 0) ++torn;  // a mix of two samples, or black
        seen.insert(value);
    }
    EXPECT_EQ(torn, 0);
    // The producer really ran during the copies.
    EXPECT_GE(seen.size(), 50u);
}

TEST(BuildGraph, FailsWithoutADeviceAtThePosition)
{
    const int count = static_cast<int>(VideoDeviceNames().size());
    for (int position : {0, -1, count + 1}) {
        CVideoCapture capture(position);
        EXPECT_FALSE(capture.BuildGraph(false, nullptr)) << "position " << position;
        EXPECT_EQ(capture.GetFrameSize(), 0);
        EXPECT_TRUE(capture.StopGraph());
    }
}

TEST(BuildGraph, FailsForADeviceThatCannotDeliverBgr)
{
    // Destroyed right after the failure: a streaming thread left behind would write into
    // freed memory, which the sanitizer build reports.
    for (const char* device : {kUndecodable, kBroken}) {
        SCOPED_TRACE(device);
        const int position = DevicePosition(device);
        ASSERT_GT(position, 0);
        auto started = std::chrono::steady_clock::now();
        auto capture = std::make_unique<CVideoCapture>(position);
        EXPECT_FALSE(capture->BuildGraph(false, nullptr));
        EXPECT_EQ(capture->GetFrameSize(), 0);
        capture.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "an error must end the wait";
    }
}

TEST(StopGraph, StopsDeliveryAndRepeats)
{
    CVideoCapture none(0);
    EXPECT_TRUE(none.StopGraph());

    auto capture = Start(kCounter);
    ASSERT_TRUE(capture);
    ASSERT_TRUE(capture->StopGraph());
    // The last frame stays, and nothing writes it any more.
    const std::vector<uint8_t> last = Copy(*capture);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Copy(*capture), last);
    EXPECT_GT(UniformValue(last), 0);
    EXPECT_TRUE(capture->StopGraph());
}

TEST(StopGraph, UnpluggedDeviceKeepsItsLastFrame)
{
    auto capture = Start(kCounter);
    ASSERT_TRUE(capture);
    UnplugTestDevice(kCounter);
    ASSERT_TRUE(WaitUnplugReported(kCounter, 30000));
    const std::vector<uint8_t> last = Copy(*capture);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Copy(*capture), last);
    EXPECT_GT(UniformValue(last), 0);
    EXPECT_TRUE(capture->StopGraph());
}

TEST(StopGraph, APipelineThatWillNotStopIsKeptWhileTheCaptureGoes)
{
    AddStuckTestDevice("Kovra Test Stuck");
    std::unique_ptr<CVideoCapture> capture = Start("Kovra Test Stuck");
    ASSERT_TRUE(capture);
    ASSERT_TRUE(CopyUntil(*capture, NotBlack));
    EXPECT_FALSE(capture->StopGraph()) << "the pipeline stopped after all";
    EXPECT_TRUE(capture->StopGraph()) << "the kept pipeline still belongs to the capture";
    // The last frame stays with the capture; the kept pipeline writes it no more.
    EXPECT_TRUE(NotBlack(Copy(*capture)));
    // Its frame buffer and lock go now, the kept pipeline with its callback stays: a
    // sanitizer build sees any use of what is freed, and GStreamer would warn of a pipeline
    // disposed while not stopped.
    capture.reset();
}

TEST(TestPatterns, RunWithoutACamera)
{
    auto bars = Start(kTestPatternBars);
    ASSERT_TRUE(bars);
    EXPECT_GT(bars->GetWidth(), 0);
    EXPECT_GT(bars->GetHeight(), 0);
    std::vector<uint8_t> still;
    ASSERT_TRUE(CopyUntil(*bars, [&](std::vector<uint8_t> f) {
        still = std::move(f);
        return NotBlack(still);
    }));
    // The bars, the top of the picture and so the end of the buffer, stand still (the
    // pattern's bottom corner is noise).
    std::this_thread::sleep_for(100ms);
    const std::vector<uint8_t> later = Copy(*bars);
    EXPECT_TRUE(std::equal(still.begin() + still.size() / 2, still.end(),
                           later.begin() + later.size() / 2));

    auto ball = Start(kTestPatternBall);
    ASSERT_TRUE(ball);
    const std::vector<uint8_t> first = Copy(*ball);
    EXPECT_TRUE(CopyUntil(*ball, [&](const std::vector<uint8_t>& f) { return f != first; }))
        << "the ball does not move";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    InitCapture();
    RegisterTestDevices();
    return RUN_ALL_TESTS();
}
