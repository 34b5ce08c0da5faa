// The frame memory on a real camera pipeline (the built-in test patterns): live pictures,
// recording into the key slots, never-recorded keys, and opening and closing the camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "DeviceList.h"
#include "FrameMemory.h"

namespace {

int PositionOf(const char* name)
{
    const std::vector<std::string> names = VideoDeviceNames();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? 0 : static_cast<int>(it - names.begin()) + 1;
}

std::vector<uint8_t> Copy(const uint8_t* picture) { return {picture, picture + 512 * 384 * 3}; }

bool AllZero(const std::vector<uint8_t>& picture)
{
    return std::all_of(picture.begin(), picture.end(), [](uint8_t b) { return b == 0; });
}

class FrameMemoryLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_memory.m_nTargetWidth = 512;
        m_memory.m_nTargetHeight = 384;
    }

    // Updates until the camera has delivered a picture that is not black.
    bool WaitForPicture()
    {
        for (int i = 0; i < 300; ++i) {
            m_memory.Update();
            if (!AllZero(Copy(m_memory.Picture()))) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    CFrameMemory m_memory;
};

TEST_F(FrameMemoryLive, RecordingStoresTheCurrentPictureAndUnrecordedKeysAreBlack)
{
    ASSERT_TRUE(m_memory.Open(PositionOf(kTestPatternBars), nullptr, false));
    ASSERT_TRUE(WaitForPicture());
    const std::vector<uint8_t> live = Copy(m_memory.Picture());

    m_memory.KeyEvent(2, true, true);
    EXPECT_EQ(m_memory.Shown(), 2);
    EXPECT_TRUE(Copy(m_memory.StoredPicture(2)) == live);
    m_memory.KeyEvent(2, false, true);  // nothing else held: live again, nothing stored
    EXPECT_EQ(m_memory.Shown(), -1);

    m_memory.KeyEvent(5, true, false);
    EXPECT_EQ(m_memory.Shown(), 5);
    EXPECT_TRUE(AllZero(Copy(m_memory.StoredPicture(5)))) << "a key never recorded is black";
}

TEST_F(FrameMemoryLive, RecordingWhileAStoredPictureShowsStoresTheLastLivePicture)
{
    ASSERT_TRUE(m_memory.Open(PositionOf(kTestPatternBall), nullptr, false));
    ASSERT_TRUE(WaitForPicture());
    const std::vector<uint8_t> last = Copy(m_memory.Picture());
    m_memory.KeyEvent(1, true, false);  // from now on the frame loop does not update
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the ball moves on
    m_memory.KeyEvent(4, true, true);
    EXPECT_TRUE(Copy(m_memory.StoredPicture(4)) == last);
    m_memory.KeyEvent(4, false, true);  // falls back to key 1, storing into it on the way
    EXPECT_EQ(m_memory.Shown(), 1);
    EXPECT_TRUE(Copy(m_memory.StoredPicture(1)) == last);
}

TEST_F(FrameMemoryLive, ReopeningStartsLiveWithBlackSlotsAndBadPositionsFail)
{
    const int bars = PositionOf(kTestPatternBars);
    ASSERT_TRUE(m_memory.Open(bars, nullptr, false));
    ASSERT_TRUE(WaitForPicture());
    m_memory.KeyEvent(0, true, true);
    ASSERT_FALSE(AllZero(Copy(m_memory.StoredPicture(0))));
    m_memory.Close();
    EXPECT_FALSE(m_memory.IsOpen());
    m_memory.Close();  // twice is harmless

    ASSERT_TRUE(m_memory.Open(bars, nullptr, false));
    EXPECT_EQ(m_memory.Shown(), -1) << "held keys are forgotten";
    EXPECT_TRUE(AllZero(Copy(m_memory.StoredPicture(0))));
    m_memory.Close();

    EXPECT_FALSE(m_memory.Open(0, nullptr, false));
    EXPECT_FALSE(m_memory.Open(static_cast<int>(VideoDeviceNames().size()) + 1, nullptr, false));
    EXPECT_FALSE(m_memory.IsOpen());
}

}  // namespace
