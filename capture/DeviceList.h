// The video input devices, in the order that device positions count: the cameras the
// system's device monitor finds, each once and in a stable order, then the built-in test
// patterns. Position k >= 1 is the k-th entry; 0 is "None". Every call lists afresh.
#ifndef KOVRA_CAPTURE_DEVICELIST_H
#define KOVRA_CAPTURE_DEVICELIST_H

#include <string>
#include <vector>

// What decides whether two listed devices are the same camera, and their order.
struct DeviceProperties {
    std::string name;      // the name shown to the user
    std::string path;      // the device node (/dev/video0), "" when the device has none
    std::string provider;  // the device type of the provider that listed it (GstV4l2Device...)
    // A USB camera's ports from the root hub down ("2.4") and its vendor and product ids
    // ("046d:0825"); "" where the provider does not say.
    std::string usbPorts = {};
    std::string usbIds = {};
};

// Indices into `devices` of the entries to list, in list order: each camera once, ordered by
// path with node numbers as numbers (/dev/video2 before /dev/video10); devices without a path
// follow in the order given. One camera: entries with the same non-empty path, and an entry
// without a path (libcamera's) with the same USB ports and ids as a V4L2 node. Of one camera
// the V4L2 provider's entry stays, else another V4L2 node's, else the first; where nothing
// identifies a camera, all its entries stay.
std::vector<size_t> ListOrder(const std::vector<DeviceProperties>& devices);

// The names of all devices in position order (position k is entry k - 1).
std::vector<std::string> VideoDeviceNames();

// The name of the device at a position; false when there is none.
bool GetDeviceName(int position, std::string& name);

// Names of the built-in test patterns, always the last two devices.
constexpr const char* kTestPatternBars = "Test Pattern (Bars)";
constexpr const char* kTestPatternBall = "Test Pattern (Ball)";

#endif
