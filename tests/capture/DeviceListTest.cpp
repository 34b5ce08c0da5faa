// The device list through the system's device monitor with the tests' own devices among
// any real cameras, and the order rule on its own.
#include <gtest/gtest.h>

#include <algorithm>

#include "DeviceList.h"
#include "TestDevices.h"

namespace {

const char* const kPathless[] = {kBroken, kCounter, kJpeg, kRows161, kUndecodable};  // by name

TEST(DeviceList, ListsEveryDeviceOnceInTheSameOrderEachTime)
{
    const std::vector<std::string> names = VideoDeviceNames();
    EXPECT_EQ(VideoDeviceNames(), names);
    for (const char* device :
         {kRows320, kRows640, kRows161, kCounter, kJpeg, kUndecodable, kBroken})
        EXPECT_EQ(std::count(names.begin(), names.end(), device), 1) << device;
    // The second provider's entry of the same camera (same path) is not listed.
    EXPECT_EQ(std::count(names.begin(), names.end(), kRows640Mirror), 0);
}

TEST(DeviceList, OrdersByPathThenDevicesWithoutOne)
{
    // Probed as /kovra-test/c, /kovra-test/a, then the pathless ones not in name order.
    EXPECT_LT(DevicePosition(kRows640), DevicePosition(kRows320));
    int previous = DevicePosition(kRows320);
    for (const char* device : kPathless) {
        const int position = DevicePosition(device);
        EXPECT_GT(position, previous) << device;
        previous = position;
    }
}

TEST(DeviceList, EndsWithTheTestPatternsAndNamesEveryPosition)
{
    const std::vector<std::string> names = VideoDeviceNames();
    const int count = static_cast<int>(names.size());
    ASSERT_GE(count, 2);
    EXPECT_EQ(names[count - 2], kTestPatternBars);
    EXPECT_EQ(names[count - 1], kTestPatternBall);

    std::string name = "unchanged";
    for (int position : {0, -1, count + 1}) {
        EXPECT_FALSE(GetDeviceName(position, name)) << "position " << position;
        EXPECT_EQ(name, "unchanged");
    }
    for (int position = 1; position <= count; ++position) {
        ASSERT_TRUE(GetDeviceName(position, name));
        EXPECT_EQ(name, names[position - 1]);
    }
}

TEST(ListOrder, KeepsEachCameraOnceByPathThenThoseWithout)
{
    const std::vector<DeviceProperties> devices = {
        {"Front (pipewire)", "/dev/video2", "GstPipeWireDevice"},
        {"Unnamed", "", "GstLibcameraDevice"},
        {"Back", "/dev/video0", "GstV4l2Device"},
        {"Front (v4l2)", "/dev/video2", "GstV4l2Device"},
        {"Another", "", "GstLibcameraDevice"},
    };
    EXPECT_EQ(ListOrder(devices), (std::vector<size_t>{2, 0, 1, 4}));
    EXPECT_TRUE(ListOrder({}).empty());
}

}  // namespace
