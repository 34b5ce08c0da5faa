// Clips and stills played as cameras, on files made at test time with gst-launch-1.0: the
// formats, the seamless loop, speed and reverse, and every kind of bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CaptureSetup.h"
#include "VideoCapture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_dir;  // the test clips' folder

std::string In(const std::string& name) { return g_dir + "/" + name; }

bool Launch(const std::string& line)
{
    return std::system(("gst-launch-1.0 -q " + line + " >/dev/null 2>&1").c_str()) == 0;
}

// Red, green, blue, white: `frames` frames each at `rate` a second, through `encode`.
const char* const kColours[] = {"0xffff0000", "0xff00ff00", "0xff0000ff", "0xffffffff"};
std::string ColourSequence(const std::string& encode, const std::string& file, int frames = 3,
                           int rate = 10)
{
    std::string line = "concat name=c ! videoconvert ! " + encode + " location=\"" + file + "\"";
    for (const char* colour : kColours)
        line += " videotestsrc num-buffers=" + std::to_string(frames) +
                " pattern=solid-color foreground-color=" + colour +
                " ! video/x-raw,width=64,height=48,framerate=" + std::to_string(rate) + "/1 ! c.";
    return line;
}

void MakeClips()
{
    char dir[] = "/tmp/kovra-clips-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    g_dir = dir;
    const std::string ball =
        "videotestsrc num-buffers=20 pattern=ball ! "
        "video/x-raw,width=160,height=120,framerate=20/1 ! ";
    ASSERT_TRUE(Launch(ColourSequence("jpegenc ! avimux ! filesink", In("colours.avi"))));
    ASSERT_TRUE(Launch(ColourSequence("x264enc ! mp4mux ! filesink", In("colours.mp4"))));
    // So short that its first pass may end before the capture watches for the end.
    ASSERT_TRUE(Launch(ColourSequence("jpegenc ! avimux ! filesink", In("short.avi"), 1)));
    // One frame of each colour, a quarter of a second each.
    ASSERT_TRUE(Launch(ColourSequence("x264enc ! mp4mux ! filesink", In("quarters.mp4"), 1, 4)));
    // A name with a space, UTF-8 and a line break.
    ASSERT_TRUE(Launch(ball + "x264enc ! mp4mux ! filesink location=" + In("clip.mp4")));
    ASSERT_EQ(0, std::rename(In("clip.mp4").c_str(), In("clip a\nü.mp4").c_str()));
    ASSERT_TRUE(Launch(ball + "vp8enc ! webmmux name=m ! filesink location=" + In("clip.webm") +
                       " audiotestsrc num-buffers=20 ! vorbisenc ! m."));
    ASSERT_TRUE(
        Launch("audiotestsrc num-buffers=20 ! wavenc ! filesink location=" + In("sound.wav")));
    ASSERT_TRUE(
        Launch("videotestsrc num-buffers=1 ! video/x-raw,width=320,height=200 ! "
               "pngenc ! filesink location=" +
               In("still.png")));
    ASSERT_TRUE(
        Launch("videotestsrc num-buffers=1 ! video/x-raw,width=320,height=200 ! "
               "jpegenc ! filesink location=" +
               In("still.jpg")));
    std::ofstream(In("empty.mp4"));
    // The first part of an MP4, whose index comes at its end; and garbage with a clip's name.
    std::ifstream whole(In("clip a\nü.mp4"), std::ios::binary);
    std::vector<char> bytes(4000);
    whole.read(bytes.data(), bytes.size());
    std::ofstream(In("cut.mp4"), std::ios::binary).write(bytes.data(), whole.gcount());
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
    std::ofstream(In("corrupt.webm"), std::ios::binary).write(bytes.data(), bytes.size());
}

// PNG's chunk check, so that the edited header is read as written.
uint32_t Crc32(const unsigned char* bytes, size_t count)
{
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The centre's colour of a frame: 'R', 'G', 'B', 'W', 'K' for black, '?' for none of them.
char ColourAt(CVideoCapture& capture)
{
    std::vector<uint8_t> frame(capture.GetFrameSize());
    capture.CopyFrame(frame.data());
    const int stride = (capture.GetWidth() * 3 + 3) & ~3;
    const uint8_t* p = &frame[(capture.GetHeight() / 2) * stride + capture.GetWidth() / 2 * 3];
    auto on = [](uint8_t v) { return v > 160; };
    auto off = [](uint8_t v) { return v < 90; };
    if (off(p[0]) && off(p[1]) && off(p[2])) return 'K';
    if (on(p[0]) && on(p[1]) && on(p[2])) return 'W';
    if (off(p[0]) && off(p[1]) && on(p[2])) return 'R';
    if (off(p[0]) && on(p[1]) && off(p[2])) return 'G';
    if (on(p[0]) && off(p[1]) && off(p[2])) return 'B';
    return '?';
}

// The colours the clip shows, each change once, until `count` changes were seen (the clip is
// 1.2 s long; the bound is for a clip that stops, not for a slow machine).
std::string Changes(CVideoCapture& capture, size_t count)
{
    std::string seen(1, ColourAt(capture));
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (seen.size() < count + 1 && Clock::now() < deadline) {
        const char now = ColourAt(capture);
        if (now != seen.back()) seen += now;
    }
    return seen;
}

std::unique_ptr<CVideoCapture> Play(const std::string& name)
{
    auto capture = std::make_unique<CVideoCapture>(0);
    capture->SetFile(In(name));
    return capture;
}

TEST(Clip, EachFormatPlaysAsACameraAndStillsComeAtThePictureSize)
{
    for (const char* name : {"colours.avi", "colours.mp4", "clip a\nü.mp4", "clip.webm"}) {
        auto clip = Play(name);
        ASSERT_TRUE(clip->BuildGraph(false, nullptr)) << name << ": " << clip->FileProblem();
        EXPECT_GT(clip->GetWidth(), 0) << name;
        EXPECT_FALSE(clip->Lost()) << name;
        EXPECT_TRUE(clip->FileProblem().empty()) << name;
    }
    // At the default picture size, and at a sharper one.
    for (const char* name : {"still.png", "still.jpg"}) {
        auto still = Play(name);
        const bool sharp = name[6] == 'j';
        if (sharp) still->SetStillSize(1280, 720);
        ASSERT_TRUE(still->BuildGraph(false, nullptr)) << name << ": " << still->FileProblem();
        EXPECT_EQ(sharp ? 1280 : 512, still->GetWidth());
        EXPECT_EQ(sharp ? 720 : 384, still->GetHeight());
        EXPECT_NE('K', ColourAt(*still)) << name;
    }
}

TEST(Clip, LoopsFromItsLastFrameToItsFirstWithNoBlackBetween)
{
    // Frames that stand alone, and H.264's that depend on a key frame at the start.
    for (const char* name : {"colours.avi", "colours.mp4", "short.avi"}) {
        auto clip = Play(name);
        ASSERT_TRUE(clip->BuildGraph(false, nullptr)) << clip->FileProblem();
        const std::string seen = Changes(*clip, 9);
        EXPECT_EQ(std::string::npos, seen.find('K')) << name << ": " << seen;
        EXPECT_EQ(std::string::npos, seen.find('?')) << name << ": " << seen;
        // Twice round: every change goes to the next colour, white to red at the loop.
        ASSERT_EQ(10u, seen.size()) << name << ": " << seen;
        const std::string order = "RGBWRGBWRGBW";
        EXPECT_NE(std::string::npos, order.find(seen)) << name << ": " << seen;
    }
}

TEST(Clip, ItsLastFrameShowsForItsWholeTimeBeforeTheFirstComesRound)
{
    // H.264 in MP4, whose demuxer would start each pass at the last frame's start: the last
    // frame and the next pass's first would then fall due together.
    auto clip = Play("quarters.mp4");
    ASSERT_TRUE(clip->BuildGraph(false, nullptr)) << clip->FileProblem();
    std::vector<double> whiteMs;  // from white's arrival to red's, each time round
    char last = ColourAt(*clip);
    Clock::time_point whiteSince;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (whiteMs.size() < 2 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const char now = ColourAt(*clip);
        if (now == last) continue;
        const Clock::time_point at = Clock::now();
        if (now == 'W') whiteSince = at;
        if (now == 'R' && last == 'W' && whiteSince != Clock::time_point())
            whiteMs.push_back(std::chrono::duration<double, std::milli>(at - whiteSince).count());
        last = now;
    }
    ASSERT_EQ(2u, whiteMs.size()) << "the clip went round twice";
    // When both fall due together white shows for about 2 ms. The bound leaves 200 ms of its
    // 250 to a poll that sees white late on a loaded machine.
    for (double shown : whiteMs) EXPECT_GT(shown, 50.0) << "white's 250 ms";
}

TEST(Clip, ADeletedClipStopsAtItsEndWithItsLastFrame)
{
    ASSERT_TRUE(std::filesystem::copy_file(In("colours.avi"), In("doomed.avi")));
    auto clip = Play("doomed.avi");
    ASSERT_TRUE(clip->BuildGraph(false, nullptr)) << clip->FileProblem();
    ASSERT_EQ(0, unlink(In("doomed.avi").c_str()));
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (!clip->Lost() && Clock::now() < deadline) {
    }
    EXPECT_TRUE(clip->Lost());
    // The demuxer ends its segment ahead of the sink, which shows what it holds up to the
    // last frame, and that stays.
    while (ColourAt(*clip) != 'W' && Clock::now() < deadline) {
    }
    EXPECT_EQ('W', ColourAt(*clip)) << "the last frame stays";
    EXPECT_NE(std::string::npos, clip->FileProblem().find("removed"));
}

TEST(Clip, SpeedTwoGivesSegmentRateTwoAndReversePlaysMjpegBackwards)
{
    auto clip = Play("colours.avi");
    ASSERT_TRUE(clip->BuildGraph(false, nullptr)) << clip->FileProblem();
    clip->SetClipSpeed(2.0);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (clip->ClipSegmentRate() != 2.0 && Clock::now() < deadline) {
    }
    EXPECT_EQ(2.0, clip->ClipSegmentRate());

    clip->ToggleClipReverse();
    EXPECT_TRUE(clip->ClipReversed());
    while (clip->ClipSegmentRate() != -2.0 && Clock::now() < deadline) {
    }
    ASSERT_EQ(-2.0, clip->ClipSegmentRate());
    const std::string seen = Changes(*clip, 9).substr(1);  // the first may predate the seek
    const std::string backwards = "WBGRWBGRWBGR";
    EXPECT_NE(std::string::npos, backwards.find(seen)) << seen;

    // H.264's frames depend on others: reverse is refused, and it plays on forwards.
    auto h264 = Play("colours.mp4");
    ASSERT_TRUE(h264->BuildGraph(false, nullptr)) << h264->FileProblem();
    h264->ToggleClipReverse();
    EXPECT_FALSE(h264->ClipReversed());
    EXPECT_NE(std::string::npos, std::string("RGBWRGBWRGBW").find(Changes(*h264, 4)));
}

TEST(Clip, BadInputFailsWithItsReasonAndNeverBlocks)
{
    ASSERT_EQ(0, mkfifo(In("fifo.mp4").c_str(), 0600));
    ASSERT_EQ(0, mkdir(In("folder.mp4").c_str(), 0700));
    ASSERT_EQ(0, symlink(In("loop.mp4").c_str(), In("loop.mp4").c_str()));
    // A PNG header asking for 30000 x 30000.
    {
        QImage small(1, 1, QImage::Format_RGB32);
        small.fill(Qt::red);
        ASSERT_TRUE(small.save(QString::fromStdString(In("huge.png"))));
        std::fstream png(In("huge.png"), std::ios::in | std::ios::out | std::ios::binary);
        unsigned char header[17];  // "IHDR" and its 13 bytes
        png.seekg(12);
        png.read(reinterpret_cast<char*>(header), sizeof header);
        const unsigned char size[] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};
        std::copy(size, size + sizeof size, header + 4);
        const uint32_t crc = Crc32(header, sizeof header);
        const unsigned char check[] = {
            static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
            static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
        png.seekp(12);
        png.write(reinterpret_cast<const char*>(header), sizeof header);
        png.write(reinterpret_cast<const char*>(check), sizeof check);
    }
    const struct {
        const char* name;
        const char* says;  // a part of the reason
    } kBad[] = {
        {"fifo.mp4", "regular"},
        {"folder.mp4", "regular"},
        {"loop.mp4", "symbolic links"},
        {"missing.mp4", "No such"},
        {"sound.wav", "no video"},
        {"empty.mp4", ""},
        {"cut.mp4", ""},
        {"corrupt.webm", ""},
        {"huge.png", "too large"},
    };
    for (const auto& bad : kBad) {
        auto clip = Play(bad.name);
        // One that blocked (a FIFO opened for reading) would hang here until the test's timeout.
        EXPECT_FALSE(clip->BuildGraph(false, nullptr)) << bad.name;
        EXPECT_NE(std::string::npos, clip->FileProblem().find(bad.says))
            << bad.name << ": " << clip->FileProblem();
        EXPECT_FALSE(clip->FileProblem().empty()) << bad.name;
        EXPECT_EQ(0, clip->GetFrameSize()) << bad.name;
    }
}

// The clips are made when the tests run, not when they are listed; and removed after.
class Clips : public ::testing::Environment {
public:
    void SetUp() override { MakeClips(); }
    void TearDown() override
    {
        if (!g_dir.empty()) std::system(("rm -rf '" + g_dir + "'").c_str());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);  // Qt's image plugins
    InitCapture();
    ::testing::AddGlobalTestEnvironment(new Clips);
    return RUN_ALL_TESTS();
}
