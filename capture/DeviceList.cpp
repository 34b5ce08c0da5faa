// The device list: the cameras the system's device monitor finds, each once and in an order
// that holds between listings, then the built-in test patterns; and their source elements.
#include "DeviceList.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <set>
#include <tuple>

#include "CaptureSetup.h"
#include "DeviceSource.h"
#include "GstHandles.h"

namespace {

// One entry of the list: a monitored camera, or a built-in pattern when `device` is empty.
struct Entry {
    std::string name;
    DevicePtr device;
    const char* pattern = nullptr;  // videotestsrc's pattern of a built-in device
};

// The device node. The V4L2 provider sets "device.path" (/dev/video0). PipeWire's provider
// hides that one where PipeWire runs; its nodes of V4L2 cameras carry "api.v4l2.path", and
// "object.path" ("v4l2:/dev/video0"). libcamera's devices carry no properties: no path, so
// such a camera cannot be matched with its V4L2 entry and may be listed twice.
// "device.bus_path" is not used: it names the USB port, which PipeWire's nodes lack.
std::string DevicePath(GstDevice* device)
{
    std::unique_ptr<GstStructure, StructureFree> properties(gst_device_get_properties(device));
    if (!properties) return {};
    for (const char* key : {"device.path", "api.v4l2.path"}) {
        const char* value = gst_structure_get_string(properties.get(), key);
        if (value && *value) return value;
    }
    const char* object = gst_structure_get_string(properties.get(), "object.path");
    constexpr char kV4l2[] = "v4l2:";
    if (object && std::strncmp(object, kV4l2, sizeof kV4l2 - 1) == 0 && object[sizeof kV4l2 - 1])
        return object + sizeof kV4l2 - 1;
    return {};
}

// The provider, by the type of device it makes (GstV4l2Device, GstPipeWireDevice...): a
// probed device has no parent provider to ask, and "device.api" names the camera's API,
// which PipeWire's nodes share with the V4L2 provider's devices.
std::string ProviderName(GstDevice* device) { return G_OBJECT_TYPE_NAME(device); }

std::vector<Entry> ListDevices()
{
    InitCapture();
    std::vector<DevicePtr> devices;
    std::vector<DeviceProperties> properties;

    MonitorPtr monitor(gst_device_monitor_new());
    // No caps filter: a camera that offers only MJPEG is decoded in the pipeline.
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    // Not started: every provider probes the devices present now, before this returns.
    GList* found = gst_device_monitor_get_devices(monitor.get());
    for (GList* item = found; item; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        std::unique_ptr<gchar, StringFree> name(gst_device_get_display_name(device));
        properties.push_back({name ? name.get() : "", DevicePath(device), ProviderName(device)});
        devices.emplace_back(device);  // takes the list's reference
    }
    g_list_free(found);

    // Probing order is the providers' own: devices without a path get a fixed one, by name
    // and provider, before ListOrder keeps them in the order given.
    std::vector<size_t> order(devices.size());
    std::iota(order.begin(), order.end(), 0);
    auto pathless = std::stable_partition(order.begin(), order.end(),
                                          [&](size_t i) { return !properties[i].path.empty(); });
    std::stable_sort(pathless, order.end(), [&](size_t a, size_t b) {
        return std::tie(properties[a].name, properties[a].provider) <
               std::tie(properties[b].name, properties[b].provider);
    });
    std::vector<DeviceProperties> ordered;
    for (size_t i : order) ordered.push_back(properties[i]);

    std::vector<Entry> list;
    for (size_t i : ListOrder(ordered))
        list.push_back({ordered[i].name, std::move(devices[order[i]]), nullptr});
    list.push_back({kTestPatternBars, nullptr, "smpte100"});
    list.push_back({kTestPatternBall, nullptr, "ball"});
    return list;
}

}  // namespace

std::vector<size_t> ListOrder(const std::vector<DeviceProperties>& devices)
{
    std::vector<size_t> withPath;
    std::vector<size_t> withoutPath;
    std::set<std::string> paths;
    for (size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].path.empty())
            withoutPath.push_back(i);
        else if (paths.insert(devices[i].path).second)
            withPath.push_back(i);
    }
    std::sort(withPath.begin(), withPath.end(),
              [&](size_t a, size_t b) { return devices[a].path < devices[b].path; });
    withPath.insert(withPath.end(), withoutPath.begin(), withoutPath.end());
    return withPath;
}

std::vector<std::string> VideoDeviceNames()
{
    std::vector<std::string> names;
    for (const Entry& entry : ListDevices()) names.push_back(entry.name);
    return names;
}

bool GetDeviceName(int position, std::string& name)
{
    std::vector<Entry> list = ListDevices();
    if (position < 1 || position > static_cast<int>(list.size())) return false;
    name = list[position - 1].name;
    return true;
}

GstElement* CreateDeviceSource(int position)
{
    if (position < 1) return nullptr;
    std::vector<Entry> list = ListDevices();
    if (position > static_cast<int>(list.size())) return nullptr;
    const Entry& entry = list[position - 1];
    if (entry.device) return gst_device_create_element(entry.device.get(), nullptr);

    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    if (!source) return nullptr;
    // Live, as a camera is: frames at the pattern's own rate, none before PLAYING.
    g_object_set(source, "is-live", TRUE, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "pattern", entry.pattern);
    return source;
}
