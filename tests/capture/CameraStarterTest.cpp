// The cameras' work on the worker with a provider that tells of no changes (as libcamera's):
// while a camera is awaited it is looked for once a second, and when none is, nothing is
// listed.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "CameraStarter.h"
#include "CaptureSetup.h"
#include "TestDevices.h"
#include "Worker.h"

namespace {

constexpr const char* kQuiet = "Kovra Quiet Camera";
std::atomic<bool> g_quietPresent{false};

}  // namespace

// A device of its own type (GstDevice is abstract), and a provider that only probes: no
// start, so no events.
struct KovraQuietDevice {
    GstDevice parent;
};
struct KovraQuietDeviceClass {
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(KovraQuietDevice, kovra_quiet_device, GST_TYPE_DEVICE)
static void kovra_quiet_device_class_init(KovraQuietDeviceClass*) {}
static void kovra_quiet_device_init(KovraQuietDevice*) {}

struct KovraQuietProvider {
    GstDeviceProvider parent;
};
struct KovraQuietProviderClass {
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(KovraQuietProvider, kovra_quiet_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* ProbeQuiet(GstDeviceProvider*)
{
    if (!g_quietPresent) return nullptr;
    GstCaps* caps = gst_caps_from_string("video/x-raw");
    GstDevice* device = GST_DEVICE(
        gst_object_ref_sink(g_object_new(kovra_quiet_device_get_type(), "display-name", kQuiet,
                                         "device-class", "Video/Source", "caps", caps, nullptr)));
    gst_caps_unref(caps);
    return g_list_append(nullptr, device);
}

static void kovra_quiet_provider_class_init(KovraQuietProviderClass* klass)
{
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = ProbeQuiet;
    gst_device_provider_class_set_static_metadata(provider, "Kovra quiet cameras", "Video/Source",
                                                  "Cameras that announce nothing", "Kovra tests");
}

static void kovra_quiet_provider_init(KovraQuietProvider*) {}

static gboolean InitQuietPlugin(GstPlugin* plugin)
{
    return gst_device_provider_register(plugin, "kovraquietcameras", GST_RANK_MARGINAL,
                                        kovra_quiet_provider_get_type());
}

namespace {

template <typename Ready>
void ProcessUntil(Ready ready)
{
    while (!ready()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool Listed(const std::vector<std::string>& names)
{
    return std::find(names.begin(), names.end(), kQuiet) != names.end();
}

TEST(CameraStarter, ACameraOfAProviderWithoutEventsIsLookedForOnlyWhileAwaited)
{
    CWorker worker;
    QObject window;
    std::vector<std::string> newest;
    CCameraStarter::Handlers handlers;
    handlers.listed = [&](const std::vector<std::string>& names, unsigned) { newest = names; };
    CCameraStarter starter(worker, &window, handlers);
    EXPECT_FALSE(starter.LooksEverySecond());

    starter.SetWatching(true);
    ProcessUntil([&] { return starter.LooksEverySecond(); });
    g_quietPresent = true;  // announced to nobody: only a look finds it (ctest's timeout bounds it)
    ProcessUntil([&] { return Listed(newest); });

    starter.SetWatching(false);
    EXPECT_FALSE(starter.LooksEverySecond());
    g_quietPresent = false;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    InitCapture();
    RegisterTestDevices();
    gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "kovraquietdevices",
                               "Cameras that announce nothing", InitQuietPlugin, "1.0", "LGPL",
                               "tests", "kovra-tests", "tests");
    return RUN_ALL_TESTS();
}
