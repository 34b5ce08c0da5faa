// What names a listed camera whichever device provider lists it: its device node, and for a
// USB camera the ports it hangs on and its vendor and product ids.
#ifndef KOVRA_CAPTURE_DEVICEIDENTITY_H
#define KOVRA_CAPTURE_DEVICEIDENTITY_H

#include <string>

#include "DeviceList.h"

typedef struct _GstStructure GstStructure;

// The V4L2 provider's device type: of one camera listed by several providers, its entry stays.
constexpr const char* kV4l2Provider = "GstV4l2Device";
// libcamera's own provider's device type: its display name is libcamera's camera id.
constexpr const char* kLibcameraProvider = "GstLibcameraDevice";

// A device's properties from its provider's device type, its display name and the property
// structure the provider gave it (null when none).
DeviceProperties DescribeDevice(const std::string& provider, const std::string& name,
                                const GstStructure* properties);

// The vendor and product ids ("046d:0825") of the USB device behind a device node
// (/dev/video0), read from sysfs under the given root; "" when it is not a USB camera's node.
std::string UsbIdsOfNode(const std::string& path, const std::string& sysfs = "/sys");

#endif
