// The device list through the system's device monitor with the tests' own devices among
// any real cameras, and the order and sameness rules on their own.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "DeviceIdentity.h"
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

TEST(ListOrder, KeepsEachCameraOnceByNodeNumberThenThoseWithout)
{
    const std::vector<DeviceProperties> devices = {
        {"Front (pipewire)", "/dev/video2", "GstPipeWireDevice"},
        {"Unnamed", "", "GstLibcameraDevice"},
        {"Back", "/dev/video10", "GstV4l2Device"},
        {"Front (v4l2)", "/dev/video2", "GstV4l2Device"},
        {"Another", "", "GstLibcameraDevice"},
        {"Side", "/dev/video1", "GstPipeWireDevice"},
    };
    // Of one node the V4L2 entry stays, wherever it was probed; video10 comes after video2.
    EXPECT_EQ(ListOrder(devices), (std::vector<size_t>{5, 3, 2, 1, 4}));
    EXPECT_TRUE(ListOrder({}).empty());
}

// A structure as a provider gives it, from GStreamer's text form.
DeviceProperties Described(const char* provider, const char* name, const char* properties)
{
    GstStructure* structure = properties ? gst_structure_from_string(properties, nullptr) : nullptr;
    if (properties) {
        EXPECT_NE(structure, nullptr) << properties;
    }
    DeviceProperties device = DescribeDevice(provider, name, structure);
    if (structure) gst_structure_free(structure);
    return device;
}

TEST(ListOrder, ListsAUsbCameraOnceThroughItsV4l2EntryWhateverElseListsIt)
{
    // Through the V4L2 provider of GStreamer 1.22 (bus info from VIDIOC_QUERYCAP, ids from
    // udev), through libcamera's provider (its display name is the camera id) and through
    // PipeWire's libcamera node.
    const std::vector<DeviceProperties> devices = {
        Described("GstLibcameraDevice", "\\_SB_.PCI0.XHC_.RHUB.HS02-2.4:1.0-046d:0825", nullptr),
        Described("GstV4l2Device", "HD Webcam",
                  "v4l2deviceprovider, device.path=(string)/dev/video0, "
                  "v4l2.device.bus_info=(string)usb-0000:00:14.0-2.4, "
                  "device.vendor.id=(string)046d, device.product.id=(string)0825"),
        Described("GstPipeWireDevice", "HD Webcam (libcamera)",
                  "pipewire-proplist, object.path=(string)\"libcamera:\\\\_SB_.PCI0.XHC_.RHUB."
                  "HS02-2.4:1.0-046d:0825\", api.libcamera.path=(string)\"\\\\_SB_.PCI0.XHC_."
                  "RHUB.HS02-2.4:1.0-046d:0825\""),
        // The same model on another port, a sensor on the board, the camera's infrared node.
        Described("GstLibcameraDevice", "\\_SB_.PCI0.XHC_.RHUB.HS03-3:1.0-046d:0825", nullptr),
        Described("GstLibcameraDevice", "/base/soc/i2c0mux/i2c@1/imx219@10", nullptr),
        Described("GstV4l2Device", "HD Webcam IR",
                  "v4l2deviceprovider, device.path=(string)/dev/video2, "
                  "v4l2.device.bus_info=(string)usb-0000:00:14.0-2.4, "
                  "device.vendor.id=(string)046d, device.product.id=(string)0825"),
    };
    EXPECT_EQ(devices[0].usbPorts, "2.4");
    EXPECT_EQ(devices[0].usbIds, "046d:0825");
    EXPECT_EQ(devices[2].usbPorts, "2.4");
    EXPECT_EQ(devices[1].path, "/dev/video0");
    EXPECT_EQ(ListOrder(devices), (std::vector<size_t>{1, 5, 3, 4}));

    // Where PipeWire hides the V4L2 provider, its node of the camera is the V4L2 entry.
    DeviceProperties node = Described("GstPipeWireDevice", "HD Webcam (V4L2)",
                                      "pipewire-proplist, api.v4l2.path=(string)/dev/video0, "
                                      "api.v4l2.cap.bus_info=(string)usb-0000:00:14.0-2.4");
    node.usbIds = "046d:0825";  // from sysfs
    EXPECT_EQ(ListOrder({devices[0], devices[2], node}), (std::vector<size_t>{2}));

    // Without ids on the V4L2 side nothing ties the two: both stay.
    node.usbIds.clear();
    EXPECT_EQ(ListOrder({devices[0], node}).size(), 2u);
}

TEST(UsbIdsOfNode, ReadsTheIdsOfTheUsbDeviceAboveTheNodesInterface)
{
    // A sysfs tree as the kernel lays it out: the node's device is the USB interface.
    char folder[] = "/tmp/kovra-sysfs-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::filesystem::path sysfs = folder;
    const std::filesystem::path usbDevice = sysfs / "devices/usb1/1-2";
    std::filesystem::create_directories(usbDevice / "1-2:1.0");
    std::filesystem::create_directories(sysfs / "class/video4linux/video3");
    std::filesystem::create_directory_symlink("../../../devices/usb1/1-2/1-2:1.0",
                                              sysfs / "class/video4linux/video3/device");
    std::ofstream(usbDevice / "idVendor") << "046D\n";
    std::ofstream(usbDevice / "idProduct") << "0825\n";

    EXPECT_EQ(UsbIdsOfNode("/dev/video3", sysfs), "046d:0825");
    EXPECT_EQ(UsbIdsOfNode("/dev/video4", sysfs), "") << "no such node";
    EXPECT_EQ(UsbIdsOfNode("/kovra-test/a", sysfs), "") << "not a device node";
    std::filesystem::remove_all(sysfs);
}

}  // namespace
