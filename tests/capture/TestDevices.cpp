// The tests' own device providers, registered on a static plugin: devices of class
// "Video/Source" whose elements push known frames from an appsrc (behind a capsfilter that
// reports their formats, as a camera does), or fail to start.
#include "TestDevices.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "DeviceList.h"

namespace {

enum class Kind { Rows, Counter, Clock, Jpeg, Undecodable, Broken };

struct Camera {
    const char* name;
    const char* path;  // null: none
    Kind kind;
    int width;
    int height;
    bool live;
    // Answers a query for its formats as a camera does; otherwise it says ANY, as a bare
    // appsrc does, and the pipeline cannot tell raw from encoded video.
    bool reportsFormats;
    bool resizable = false;     // reports raw RGB of any size, so its size may change
    bool stuck = false;         // its element refuses to leave PLAYING
    int firstFrameDelayMs = 0;  // a camera slow to send its first frame
};

// The cameras that come and go; a list, so that the devices made of them keep their address.
struct HotCamera {
    std::string name;
    Camera camera;
    bool present;
    GstDevice* device = nullptr;  // what the started provider shows of it
};
// Also orders the started provider's additions and removals.
std::mutex g_hotLock;
std::list<HotCamera> g_hot;
GstDeviceProvider* g_startedMain = nullptr;  // the main provider while started

// Probed in this order; the list orders them by path.
const Camera kMainDevices[] = {
    {kRows320, "/kovra-test/c", Kind::Rows, 320, 240, true, true},
    {kRows640, "/kovra-test/a", Kind::Rows, 640, 480, false, true},
    {kRows161, nullptr, Kind::Rows, 161, 120, true, false},
    {kCounter, nullptr, Kind::Counter, 320, 240, true, true},
    {kClock, nullptr, Kind::Clock, 640, 480, true, true},
    {kJpeg, nullptr, Kind::Jpeg, 320, 240, true, true},
    {kUndecodable, nullptr, Kind::Undecodable, 0, 0, true, true},
    {kBroken, nullptr, Kind::Broken, 320, 240, true, true},
};
const Camera kMirrorDevices[] = {
    {kRows640Mirror, "/kovra-test/a", Kind::Rows, 640, 480, false, true},
};

GstCaps* CameraCaps(const Camera& camera)
{
    if (camera.kind == Kind::Undecodable) return gst_caps_new_empty_simple("video/x-kovra-test");
    if (camera.kind == Kind::Jpeg)
        return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, camera.width, "height",
                                   G_TYPE_INT, camera.height, "framerate", GST_TYPE_FRACTION, 30, 1,
                                   nullptr);
    const char* format = camera.kind == Kind::Rows ? "RGB" : "BGR";
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, "width", G_TYPE_INT,
                               camera.width, "height", G_TYPE_INT, camera.height, "framerate",
                               GST_TYPE_FRACTION, 30, 1, nullptr);
}

// What one element pushes; shared with UnplugTestDevice.
struct Producer {
    const Camera* camera = nullptr;
    std::atomic<int> newWidth{0};  // a size asked for by ResizeTestDevice, 0 when none
    std::atomic<int> newHeight{0};
    GstBuffer* picture = nullptr;  // Rows, Jpeg: the one picture, pushed again and again
    size_t frameSize = 0;          // Counter: bytes of a frame
    uint64_t frame = 0;
    std::atomic<bool> unplugged{false};
    std::atomic<bool> reported{false};
    ~Producer()
    {
        if (picture) gst_buffer_unref(picture);
    }
};
using ProducerRef = std::shared_ptr<Producer>;

std::mutex g_producersLock;
std::map<std::string, ProducerRef> g_producers;  // the latest element of each device

// In GStreamer's default layout: rows padded to 4 bytes.
GstBuffer* RowsPicture(int width, int height)
{
    Camera camera = {};
    camera.width = width;
    camera.height = height;
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGB, camera.width, camera.height);
    const size_t size = GST_VIDEO_INFO_SIZE(&info);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    std::memset(map.data, 0xEE, size);  // row padding: any value
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    for (int y = 0; y < camera.height; ++y)
        for (int x = 0; x < camera.width; ++x) {
            const Rgb pixel = RowsPixel(x, y);
            uint8_t* out = map.data + y * stride + x * 3;
            out[0] = pixel.r;
            out[1] = pixel.g;
            out[2] = pixel.b;
        }
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

// One JPEG picture of kJpegColour, encoded by GStreamer's own encoder.
GstBuffer* JpegPicture(const Camera& camera)
{
    const unsigned argb = 0xFF000000u | kJpegColour.r << 16 | kJpegColour.g << 8 | kJpegColour.b;
    gchar* description = g_strdup_printf(
        "videotestsrc num-buffers=1 pattern=solid-color foreground-color=%u ! "
        "video/x-raw,width=%d,height=%d ! jpegenc ! appsink name=out",
        argb, camera.width, camera.height);
    GstElement* pipeline = gst_parse_launch(description, nullptr);
    g_free(description);
    if (!pipeline) return nullptr;
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(out));
    GstBuffer* picture = sample ? gst_buffer_ref(gst_sample_get_buffer(sample)) : nullptr;
    if (sample) gst_sample_unref(sample);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
    return picture;
}

// appsrc's streaming thread, whenever its queue is empty: push one frame.
void NeedData(GstAppSrc* source, guint, gpointer data)
{
    Producer& producer = **static_cast<ProducerRef*>(data);
    if (producer.unplugged) {
        if (!producer.reported) {
            GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                                "The device was unplugged.");
            gst_element_post_message(GST_ELEMENT(source),
                                     gst_message_new_error(GST_OBJECT(source), error, nullptr));
            g_error_free(error);
            producer.reported = true;
        }
        return;
    }
    if (const int width = producer.newWidth.exchange(0)) {
        // A camera switching its mode: new caps go down ahead of the first new picture.
        const int height = producer.newHeight;
        gst_buffer_unref(producer.picture);
        producer.picture = RowsPicture(width, height);
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGB", "width",
                                            G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                            "framerate", GST_TYPE_FRACTION, 30, 1, nullptr);
        gst_app_src_set_caps(source, caps);
        gst_caps_unref(caps);
    }
    GstBuffer* buffer = nullptr;
    switch (producer.camera->kind) {
        case Kind::Rows:
        case Kind::Jpeg:
            g_usleep(producer.frame == 0 && producer.camera->firstFrameDelayMs
                         ? producer.camera->firstFrameDelayMs * 1000
                         : 10000);
            buffer = gst_buffer_copy(producer.picture);  // shares the picture's memory
            break;
        case Kind::Counter:
            buffer = gst_buffer_new_allocate(nullptr, producer.frameSize, nullptr);
            gst_buffer_memset(buffer, 0, CounterValue(producer.frame), producer.frameSize);
            break;
        case Kind::Clock: {
            g_usleep(33333);  // a camera's pace
            buffer = gst_buffer_new_allocate(nullptr, producer.frameSize, nullptr);
            gst_buffer_memset(buffer, 0, 0, producer.frameSize);
            const uint64_t stamp = ClockNowNs();
            gst_buffer_fill(buffer, 0, &stamp, sizeof stamp);  // the top row's first pixels
            break;
        }
        default:
            g_usleep(10000);
            buffer = gst_buffer_new_allocate(nullptr, 64, nullptr);
            gst_buffer_memset(buffer, 0, 0, 64);
            break;
    }
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(producer.frame, GST_SECOND, 30);
    GST_BUFFER_DURATION(buffer) = GST_SECOND / 30;
    ++producer.frame;
    gst_app_src_push_buffer(source, buffer);
}

void ReleaseProducer(gpointer data) { delete static_cast<ProducerRef*>(data); }

GstElement* MakeAppSource(const Camera& camera, const gchar* name)
{
    GstElement* element = gst_element_factory_make("appsrc", name);
    if (!element) return nullptr;
    GstCaps* caps = CameraCaps(camera);
    g_object_set(element, "caps", caps, "format", GST_FORMAT_TIME, "is-live", camera.live, nullptr);
    gst_caps_unref(caps);

    auto producer = std::make_shared<Producer>();
    producer->camera = &camera;
    if (camera.kind == Kind::Rows) producer->picture = RowsPicture(camera.width, camera.height);
    if (camera.kind == Kind::Jpeg) producer->picture = JpegPicture(camera);
    if ((camera.kind == Kind::Rows || camera.kind == Kind::Jpeg) && !producer->picture) {
        gst_object_unref(element);
        return nullptr;
    }
    if (camera.kind == Kind::Counter || camera.kind == Kind::Clock)
        producer->frameSize = size_t(camera.width) * 3 * camera.height;
    {
        std::lock_guard<std::mutex> hold(g_producersLock);
        g_producers[camera.name] = producer;
    }
    GstAppSrcCallbacks callbacks = {};
    callbacks.need_data = NeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(element), &callbacks, new ProducerRef(producer),
                              ReleaseProducer);
    return element;
}

GType StuckBinType();

// The appsrc behind a capsfilter of its formats, in a bin: its output answers format
// queries as a camera's does.
GstElement* MakeCamera(const Camera& camera, const gchar* name)
{
    GstElement* source = MakeAppSource(camera, nullptr);
    GstElement* formats = gst_element_factory_make("capsfilter", nullptr);
    if (!source || !formats) return nullptr;
    GstCaps* caps =
        camera.resizable ? gst_caps_from_string("video/x-raw,format=RGB") : CameraCaps(camera);
    g_object_set(formats, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstElement* bin = camera.stuck
                          ? GST_ELEMENT(g_object_new(StuckBinType(), "name", name, nullptr))
                          : gst_bin_new(name);
    gst_bin_add_many(GST_BIN(bin), source, formats, nullptr);
    gst_element_link(source, formats);
    GstPad* output = gst_element_get_static_pad(formats, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", output));
    gst_object_unref(output);
    return bin;
}

}  // namespace

// GObject types: a source that cannot start, the device, and the two providers.

struct KovraBrokenSrc {
    GstBaseSrc parent;
};
struct KovraBrokenSrcClass {
    GstBaseSrcClass parent_class;
};
G_DEFINE_TYPE(KovraBrokenSrc, kovra_broken_src, GST_TYPE_BASE_SRC)

static gboolean BrokenStart(GstBaseSrc*) { return FALSE; }

static void kovra_broken_src_class_init(KovraBrokenSrcClass* klass)
{
    static GstStaticPadTemplate source = GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("video/x-raw,format=BGR,width=320,height=240,framerate=30/1"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &source);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Broken camera", "Source/Video",
                                          "Fails to start", "Kovra tests");
    GST_BASE_SRC_CLASS(klass)->start = BrokenStart;
}

static void kovra_broken_src_init(KovraBrokenSrc*) {}

// A bin that will not leave PLAYING, as a driver that hangs in its stop.
struct KovraStuckBin {
    GstBin parent;
};
struct KovraStuckBinClass {
    GstBinClass parent_class;
};
G_DEFINE_TYPE(KovraStuckBin, kovra_stuck_bin, GST_TYPE_BIN)

static GstStateChangeReturn StuckChangeState(GstElement* element, GstStateChange transition)
{
    if (transition == GST_STATE_CHANGE_PLAYING_TO_PAUSED) return GST_STATE_CHANGE_FAILURE;
    return GST_ELEMENT_CLASS(kovra_stuck_bin_parent_class)->change_state(element, transition);
}

static void kovra_stuck_bin_class_init(KovraStuckBinClass* klass)
{
    GST_ELEMENT_CLASS(klass)->change_state = StuckChangeState;
}

static void kovra_stuck_bin_init(KovraStuckBin*) {}

namespace {
GType StuckBinType() { return kovra_stuck_bin_get_type(); }
}  // namespace

struct KovraTestDevice {
    GstDevice parent;
    const Camera* camera;
};
struct KovraTestDeviceClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(KovraTestDevice, kovra_test_device, GST_TYPE_DEVICE)

static GstElement* CreateTestElement(GstDevice* device, const gchar* name)
{
    const Camera& camera = *reinterpret_cast<KovraTestDevice*>(device)->camera;
    if (camera.kind == Kind::Broken)
        return GST_ELEMENT(g_object_new(kovra_broken_src_get_type(), "name", name, nullptr));
    return camera.reportsFormats ? MakeCamera(camera, name) : MakeAppSource(camera, name);
}

static void kovra_test_device_class_init(KovraTestDeviceClass* klass)
{
    GST_DEVICE_CLASS(klass)->create_element = CreateTestElement;
}

static void kovra_test_device_init(KovraTestDevice* device) { device->camera = nullptr; }

static GstDevice* MakeDevice(const Camera& camera)
{
    GstCaps* caps = CameraCaps(camera);
    GstStructure* properties = camera.path ? gst_structure_new("kovra-test", "device.path",
                                                               G_TYPE_STRING, camera.path, nullptr)
                                           : nullptr;
    auto* device = static_cast<KovraTestDevice*>(
        g_object_new(kovra_test_device_get_type(), "display-name", camera.name, "device-class",
                     "Video/Source", "caps", caps, "properties", properties, nullptr));
    device->camera = &camera;
    gst_caps_unref(caps);
    if (properties) gst_structure_free(properties);
    return GST_DEVICE(gst_object_ref_sink(device));
}

static GList* AppendDevice(GList* devices, const Camera& camera)
{
    return g_list_append(devices, MakeDevice(camera));
}

template <size_t N>
static void AddDevices(GstDeviceProvider* provider, const Camera (&cameras)[N])
{
    for (const Camera& camera : cameras) {
        GstDevice* device = MakeDevice(camera);
        gst_device_provider_device_add(provider, device);  // takes its own reference
        gst_object_unref(device);
    }
}

template <size_t N>
static GList* ProbeDevices(const Camera (&cameras)[N])
{
    GList* devices = nullptr;
    for (const Camera& camera : cameras) devices = AppendDevice(devices, camera);
    return devices;
}

struct KovraTestProvider {
    GstDeviceProvider parent;
};
struct KovraTestProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(KovraTestProvider, kovra_test_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* ProbeMain(GstDeviceProvider*)
{
    GList* devices = ProbeDevices(kMainDevices);
    std::lock_guard<std::mutex> hold(g_hotLock);
    for (const HotCamera& hot : g_hot)
        if (hot.present) devices = AppendDevice(devices, hot.camera);
    return devices;
}

// Started, the provider shows what a probe would list, in the same order, and then tells of
// every camera added or removed.
static gboolean StartMain(GstDeviceProvider* provider)
{
    std::lock_guard<std::mutex> hold(g_hotLock);
    AddDevices(provider, kMainDevices);
    for (HotCamera& hot : g_hot) {
        if (!hot.present) continue;
        hot.device = MakeDevice(hot.camera);
        gst_device_provider_device_add(provider, hot.device);
    }
    g_startedMain = provider;
    return TRUE;
}

static void StopMain(GstDeviceProvider*)
{
    std::lock_guard<std::mutex> hold(g_hotLock);
    g_startedMain = nullptr;
    for (HotCamera& hot : g_hot) {
        if (hot.device) gst_object_unref(hot.device);
        hot.device = nullptr;
    }
}

static void kovra_test_provider_class_init(KovraTestProviderClass* klass)
{
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = ProbeMain;
    provider->start = StartMain;
    provider->stop = StopMain;
    gst_device_provider_class_set_static_metadata(provider, "Kovra test cameras", "Video/Source",
                                                  "Cameras of the capture tests", "Kovra tests");
}

static void kovra_test_provider_init(KovraTestProvider*) {}

struct KovraMirrorProvider {
    GstDeviceProvider parent;
};
struct KovraMirrorProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(KovraMirrorProvider, kovra_mirror_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* ProbeMirror(GstDeviceProvider*) { return ProbeDevices(kMirrorDevices); }

static gboolean StartMirror(GstDeviceProvider* provider)
{
    AddDevices(provider, kMirrorDevices);
    return TRUE;
}

static void StopMirror(GstDeviceProvider*) {}

static void kovra_mirror_provider_class_init(KovraMirrorProviderClass* klass)
{
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = ProbeMirror;
    provider->start = StartMirror;
    provider->stop = StopMirror;
    gst_device_provider_class_set_static_metadata(
        provider, "Kovra test cameras, again", "Video/Source",
        "A camera of the capture tests as a second provider lists it", "Kovra tests");
}

static void kovra_mirror_provider_init(KovraMirrorProvider*) {}

static gboolean InitTestPlugin(GstPlugin* plugin)
{
    // Ranks fix the monitor's order of the two: the main provider's entry comes first.
    return gst_device_provider_register(plugin, "kovratestcameras", GST_RANK_PRIMARY,
                                        kovra_test_provider_get_type()) &&
           gst_device_provider_register(plugin, "kovratestmirror", GST_RANK_SECONDARY,
                                        kovra_mirror_provider_get_type());
}

void RegisterTestDevices()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "kovratestdevices",
                                   "Cameras of Kovra's capture tests", InitTestPlugin, "1.0",
                                   "LGPL", "tests", "kovra-tests", "tests");
    });
}

Rgb RowsPixel(int x, int y)
{
    // Red and green: the low bits of column and row; blue: their high bits and a mix, so
    // that no two pixels of a picture up to 1024 x 1024 are alike.
    const int blue = ((x >> 8) << 4) | ((y >> 8) << 6) | ((x + 2 * y) & 0x0F);
    return {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(blue)};
}

uint64_t ClockNowNs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t ClockStamp(const uint8_t* frame, int width, int height)
{
    // The sample's top row is the frame buffer's last one.
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    uint64_t stamp = 0;
    std::memcpy(&stamp, frame + stride * (height - 1), sizeof stamp);
    return stamp;
}

uint8_t CounterValue(uint64_t frame) { return static_cast<uint8_t>(frame % 255 + 1); }

int DevicePosition(const std::string& name)
{
    const std::vector<std::string> names = VideoDeviceNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i) + 1;
    return 0;
}

void UnplugTestDevice(const std::string& name)
{
    std::lock_guard<std::mutex> hold(g_producersLock);
    auto found = g_producers.find(name);
    if (found != g_producers.end()) found->second->unplugged = true;
}

bool WaitUnplugReported(const std::string& name, int timeoutMs)
{
    ProducerRef producer;
    {
        std::lock_guard<std::mutex> hold(g_producersLock);
        auto found = g_producers.find(name);
        if (found == g_producers.end()) return false;
        producer = found->second;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!producer->reported && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return producer->reported;
}

void AddTestDevice(const std::string& name)
{
    std::lock_guard<std::mutex> hold(g_hotLock);
    g_hot.push_back({name, {}, true});
    HotCamera& hot = g_hot.back();
    hot.camera = {hot.name.c_str(), nullptr, Kind::Rows, 320, 240, true, true, true};
    if (!g_startedMain) return;
    hot.device = MakeDevice(hot.camera);
    gst_device_provider_device_add(g_startedMain, hot.device);
}

void RemoveTestDevice(const std::string& name)
{
    {
        std::lock_guard<std::mutex> hold(g_hotLock);
        for (HotCamera& hot : g_hot) {
            if (hot.present && hot.name == name) {
                hot.present = false;
                if (hot.device && g_startedMain)
                    gst_device_provider_device_remove(g_startedMain, hot.device);
                if (hot.device) gst_object_unref(hot.device);
                hot.device = nullptr;
                break;
            }
        }
    }
    UnplugTestDevice(name);
}

void ResizeTestDevice(const std::string& name, int width, int height)
{
    {
        // New elements start at the new size, as a camera reopened in its new mode does.
        std::lock_guard<std::mutex> hold(g_hotLock);
        for (HotCamera& hot : g_hot) {
            if (hot.present && hot.name == name) {
                hot.camera.width = width;
                hot.camera.height = height;
            }
        }
    }
    std::lock_guard<std::mutex> hold(g_producersLock);
    auto found = g_producers.find(name);
    if (found == g_producers.end()) return;
    found->second->newHeight = height;
    found->second->newWidth = width;
}

void AddSlowTestDevice(const std::string& name, int firstFrameDelayMs)
{
    AddTestDevice(name);
    std::lock_guard<std::mutex> hold(g_hotLock);
    g_hot.back().camera.firstFrameDelayMs = firstFrameDelayMs;
}

void AddStuckTestDevice(const std::string& name)
{
    AddTestDevice(name);
    std::lock_guard<std::mutex> hold(g_hotLock);
    g_hot.back().camera.stuck = true;
}
