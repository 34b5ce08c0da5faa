// Identifying properties of a listed camera, as GStreamer 1.22's V4L2 provider, PipeWire's
// provider and libcamera's provider report them, brought to one form so they can be compared.
#include "DeviceIdentity.h"

#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace {

bool AllOf(const std::string& text, const char* characters)
{
    return !text.empty() && text.find_first_not_of(characters) == std::string::npos;
}

// The device node. The V4L2 provider sets "device.path" (/dev/video0). PipeWire's provider
// hides that one where PipeWire runs; its nodes of V4L2 cameras carry "api.v4l2.path", and
// "object.path" ("v4l2:/dev/video0"). libcamera's cameras have no node of their own.
std::string DevicePath(const GstStructure* properties)
{
    for (const char* key : {"device.path", "api.v4l2.path"}) {
        const char* value = gst_structure_get_string(properties, key);
        if (value && *value) return value;
    }
    const char* object = gst_structure_get_string(properties, "object.path");
    constexpr char kV4l2[] = "v4l2:";
    if (object && std::strncmp(object, kV4l2, sizeof kV4l2 - 1) == 0 && object[sizeof kV4l2 - 1])
        return object + sizeof kV4l2 - 1;
    return {};
}

const char* FirstString(const GstStructure* properties, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const char* value = gst_structure_get_string(properties, key);
        if (value && *value) return value;
    }
    return nullptr;
}

// A vendor or product id as sysfs writes it: four lower-case hex digits ("0x046D" -> "046d").
std::string HexId(std::string id)
{
    if (id.size() > 2 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X')) id.erase(0, 2);
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return AllOf(id, "0123456789abcdef") ? id : std::string();
}

// The USB ports from V4L2's bus info ("usb-0000:00:14.0-2.4", the controller, then the ports
// from the root hub down); "" for a camera on another bus.
std::string PortsOfBusInfo(const std::string& busInfo)
{
    if (busInfo.compare(0, 4, "usb-") != 0) return {};
    const std::string ports = busInfo.substr(busInfo.rfind('-') + 1);
    return AllOf(ports, "0123456789.") ? ports : std::string();
}

// libcamera's id of a USB camera is "<controller>-<ports>:<configuration>.<interface>-
// <vendor>:<product>" ("\_SB_.PCI0.XHC_.RHUB.HS09-2.4:1.0-046d:0825"). Other cameras' ids
// (sensors on a board) name no USB device: nothing is filled in.
void ParseCameraId(const std::string& id, DeviceProperties& device)
{
    const size_t idsDash = id.rfind('-');
    if (idsDash == std::string::npos || idsDash == 0) return;
    const size_t portsDash = id.rfind('-', idsDash - 1);
    if (portsDash == std::string::npos) return;
    const std::string ids = id.substr(idsDash + 1);
    const std::string usb = id.substr(portsDash + 1, idsDash - portsDash - 1);
    const size_t idsColon = ids.find(':');
    const size_t usbColon = usb.find(':');
    if (idsColon == std::string::npos || usbColon == std::string::npos) return;
    const std::string vendor = HexId(ids.substr(0, idsColon));
    const std::string product = HexId(ids.substr(idsColon + 1));
    const std::string ports = usb.substr(0, usbColon);
    if (vendor.empty() || product.empty() || !AllOf(ports, "0123456789.")) return;
    device.usbPorts = ports;
    device.usbIds = vendor + ":" + product;
}

}  // namespace

DeviceProperties DescribeDevice(const std::string& provider, const std::string& name,
                                const GstStructure* properties)
{
    DeviceProperties device{name, {}, provider};
    if (provider == kLibcameraProvider) ParseCameraId(name, device);
    if (!properties) return device;

    device.path = DevicePath(properties);
    // GStreamer 1.22's V4L2 provider names VIDIOC_QUERYCAP's bus info "v4l2.device.bus_info";
    // PipeWire (and later GStreamer) "api.v4l2.cap.bus_info".
    if (const char* busInfo =
            FirstString(properties, {"v4l2.device.bus_info", "api.v4l2.cap.bus_info"}))
        device.usbPorts = PortsOfBusInfo(busInfo);
    // From udev, where the provider asked it.
    const char* vendor = FirstString(properties, {"device.vendor.id"});
    const char* product = FirstString(properties, {"device.product.id"});
    if (vendor && product && !HexId(vendor).empty() && !HexId(product).empty())
        device.usbIds = HexId(vendor) + ":" + HexId(product);
    // A camera PipeWire lists through libcamera.
    if (const char* cameraId = FirstString(properties, {"api.libcamera.path"}))
        ParseCameraId(cameraId, device);
    return device;
}

std::string UsbIdsOfNode(const std::string& path, const std::string& sysfs)
{
    constexpr char kDev[] = "/dev/";
    if (path.compare(0, sizeof kDev - 1, kDev) != 0) return {};
    // The node's device is the USB interface; the ids are its USB device's, one folder up.
    const std::string usbDevice =
        sysfs + "/class/video4linux/" + path.substr(sizeof kDev - 1) + "/device/../";
    std::string ids;
    for (const char* file : {"idVendor", "idProduct"}) {
        std::ifstream in(usbDevice + file);
        std::string id;
        if (!std::getline(in, id) || HexId(id).empty()) return {};
        ids += (ids.empty() ? "" : ":") + HexId(id);
    }
    return ids;
}
