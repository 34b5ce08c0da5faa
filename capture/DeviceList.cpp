// The device list: the cameras the system's device monitor finds, each once and in an order
// that holds between listings, then the built-in test patterns; and their source elements.
#include "DeviceList.h"

#include <gst/gst.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>
#include <tuple>

#include "CaptureSetup.h"
#include "DeviceIdentity.h"
#include "DeviceSource.h"
#include "GstHandles.h"

namespace {

// One entry of the list: a monitored camera, or a built-in pattern when `device` is empty.
struct Entry {
    std::string name;
    DevicePtr device;
    const char* pattern = nullptr;  // videotestsrc's pattern of a built-in device
};

// The provider, by the type of device it makes (GstV4l2Device, GstPipeWireDevice...): a
// probed device has no parent provider to ask, and "device.api" names the camera's API,
// which PipeWire's nodes share with the V4L2 provider's devices.
std::string ProviderName(GstDevice* device) { return G_OBJECT_TYPE_NAME(device); }

DeviceProperties Describe(GstDevice* device)
{
    std::unique_ptr<gchar, StringFree> name(gst_device_get_display_name(device));
    std::unique_ptr<GstStructure, StructureFree> properties(gst_device_get_properties(device));
    DeviceProperties described =
        DescribeDevice(ProviderName(device), name ? name.get() : "", properties.get());
    // Without udev (a probe, as here) the V4L2 provider gives no ids: sysfs has them.
    if (!described.path.empty() && described.usbIds.empty())
        described.usbIds = UsbIdsOfNode(described.path);
    return described;
}

std::mutex g_hookLock;
std::function<void()> g_hook;

// On the posting thread; the message is ours to free.
GstBusSyncReply OnMonitorMessage(GstBus*, GstMessage* message, gpointer)
{
    MessagePtr dropped(message);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_DEVICE_ADDED && type != GST_MESSAGE_DEVICE_REMOVED &&
        type != GST_MESSAGE_DEVICE_CHANGED)
        return GST_BUS_DROP;
    std::lock_guard<std::mutex> hold(g_hookLock);
    if (g_hook) g_hook();
    return GST_BUS_DROP;
}

std::vector<Entry> ListDevices()
{
    std::vector<DevicePtr> devices;
    std::vector<DeviceProperties> properties;

    // Stopped, every provider probes the devices present now, before this returns.
    GList* found = gst_device_monitor_get_devices(VideoDeviceMonitor());
    for (GList* item = found; item; item = item->next) {
        GstDevice* device = GST_DEVICE(item->data);
        properties.push_back(Describe(device));
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

// Whether a further entry is the camera of one already kept.
bool SameCamera(const DeviceProperties& kept, const DeviceProperties& other)
{
    if (!kept.path.empty() && kept.path == other.path) return true;
    // A camera without a node (libcamera's) against a V4L2 node. Two V4L2 nodes of one USB
    // device (a camera with an infrared sensor) are two cameras.
    return !kept.path.empty() && other.path.empty() && !kept.usbPorts.empty() &&
           !kept.usbIds.empty() && kept.usbPorts == other.usbPorts && kept.usbIds == other.usbIds;
}

// Device nodes by their names, numbers as numbers: /dev/video2 before /dev/video10.
bool NodeBefore(const std::string& a, const std::string& b)
{
    const size_t aStem = a.find_last_not_of("0123456789") + 1;  // 0 when all digits
    const size_t bStem = b.find_last_not_of("0123456789") + 1;
    const int stems = a.compare(0, aStem, b, 0, bStem);
    if (stems != 0) return stems < 0;
    auto number = [](const std::string& path, size_t stem) {
        const size_t first = path.find_first_not_of('0', stem);
        return first == std::string::npos ? std::string() : path.substr(first);
    };
    const std::string aNumber = number(a, aStem), bNumber = number(b, bStem);
    if (aNumber.size() != bNumber.size()) return aNumber.size() < bNumber.size();
    if (aNumber != bNumber) return aNumber < bNumber;
    return a < b;
}

}  // namespace

std::vector<size_t> ListOrder(const std::vector<DeviceProperties>& devices)
{
    // The V4L2 provider's entries claim their cameras first, then other providers' V4L2 nodes
    // (PipeWire's, where it hides the V4L2 provider), then the rest, each in the order given.
    auto rank = [&](size_t i) {
        return devices[i].provider == kV4l2Provider ? 0 : devices[i].path.empty() ? 2 : 1;
    };
    std::vector<size_t> kept;
    for (const int claiming : {0, 1, 2}) {
        for (size_t i = 0; i < devices.size(); ++i) {
            if (rank(i) != claiming) continue;
            if (std::none_of(kept.begin(), kept.end(),
                             [&](size_t k) { return SameCamera(devices[k], devices[i]); }))
                kept.push_back(i);
        }
    }
    std::sort(kept.begin(), kept.end());
    auto withoutPath = std::stable_partition(kept.begin(), kept.end(),
                                             [&](size_t i) { return !devices[i].path.empty(); });
    std::sort(kept.begin(), withoutPath,
              [&](size_t a, size_t b) { return NodeBefore(devices[a].path, devices[b].path); });
    return kept;
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

GstDeviceMonitor* VideoDeviceMonitor()
{
    static GstDeviceMonitor* const monitor = [] {
        InitCapture();
        GstDeviceMonitor* made = gst_device_monitor_new();
        // No caps filter: a camera that offers only MJPEG is decoded in the pipeline.
        gst_device_monitor_add_filter(made, "Video/Source", nullptr);
        BusPtr bus(gst_device_monitor_get_bus(made));
        gst_bus_set_sync_handler(bus.get(), OnMonitorMessage, nullptr, nullptr);
        return made;
    }();
    return monitor;
}

void SetDeviceChangeHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> hold(g_hookLock);
    g_hook = std::move(hook);
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
