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
    std::string provider;  // the device provider that listed it (v4l2, pipewire, libcamera...)
};

// Indices into `devices` of the entries to list, in list order: each camera once (devices
// with the same non-empty path are one camera, the first provider's entry kept), ordered by
// path; devices without a path follow in the order given.
std::vector<size_t> ListOrder(const std::vector<DeviceProperties>& devices);

// The names of all devices in position order (position k is entry k - 1).
std::vector<std::string> VideoDeviceNames();

// The name of the device at a position; false when there is none.
bool GetDeviceName(int position, std::string& name);

// Names of the built-in test patterns, always the last two devices.
constexpr const char* kTestPatternBars = "Test Pattern (Bars)";
constexpr const char* kTestPatternBall = "Test Pattern (Ball)";

#endif
