// The format and control dialogs on real sources: the formats of videotestsrc and of caps as
// cameras give them, the chosen format accepted by the source, and the controls of a test
// source and a colour balance, changed while a pipeline runs.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <set>
#include <string>

#include "DeviceList.h"
#include "DeviceSource.h"
#include "FilterControls.h"
#include "PinFormats.h"
#include "PropertyPages.h"
#include "TestDevices.h"

namespace {

// An element of the test's own, brought back to NULL before it goes.
struct Element {
    explicit Element(const char* factory) : Element(gst_element_factory_make(factory, nullptr)) {}
    explicit Element(GstElement* floating) : e(floating)
    {
        if (e) gst_object_ref_sink(e);
    }
    ~Element()
    {
        if (!e) return;
        gst_element_set_state(e, GST_STATE_NULL);
        gst_object_unref(e);
    }
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    GstElement* e;
};

CapsPtr Caps(const char* text) { return CapsPtr(gst_caps_from_string(text)); }

std::vector<std::string> Labels(const GstCaps* offered)
{
    std::vector<std::string> labels;
    for (const PinFormat& f : ExpandFormats(offered)) labels.push_back(f.label);
    return labels;
}

std::vector<PinFormat> OfferedBy(GstElement* source)
{
    gst_element_set_state(source, GST_STATE_READY);
    GstPad* pad = gst_element_get_static_pad(source, "src");
    CapsPtr caps(gst_pad_query_caps(pad, nullptr));
    gst_object_unref(pad);
    return ExpandFormats(caps.get());
}

const SourceControl* Find(const std::vector<SourceControl>& controls, const std::string& id)
{
    for (const SourceControl& c : controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

// Acts on the modal dialog once it is up and closes it if the action left it open, so that
// no test hangs in its loop; Seen() tells whether one came up at all.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QDialog*)> act = {}) : m_act(std::move(act))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            m_timer.stop();
            m_seen = true;
            if (m_act) m_act(dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        m_timer.start(10);
    }
    bool Seen()
    {
        QTest::qWait(30);  // long enough for a dialog to have come up
        return m_seen;
    }

private:
    std::function<void(QDialog*)> m_act;
    QTimer m_timer;
    bool m_seen = false;
};

void Click(QDialog* dialog, QDialogButtonBox::StandardButton which)
{
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(which), Qt::LeftButton);
}

class PropertyPagesTest : public ::testing::Test {
protected:
    QWidget m_owner;
};

// ---- Formats ----

TEST(PinFormatsTest, RangesBecomeTheCommonSizesAtThirtyFrames)
{
    Element source("videotestsrc");
    const std::vector<PinFormat> formats = OfferedBy(source.e);
    std::set<std::string> sizes;
    std::set<std::string> pixelFormats;
    for (const PinFormat& f : formats) {
        ASSERT_TRUE(gst_caps_is_fixed(f.caps.get())) << f.label;
        const GstStructure* s = gst_caps_get_structure(f.caps.get(), 0);
        EXPECT_TRUE(gst_structure_has_name(s, "video/x-raw")) << f.label;  // not bayer
        const std::string format = gst_structure_get_string(s, "format");
        pixelFormats.insert(format);
        // The caps say what the label says.
        int w = 0, h = 0, num = 0, den = 0;
        gst_structure_get_int(s, "width", &w);
        gst_structure_get_int(s, "height", &h);
        gst_structure_get_fraction(s, "framerate", &num, &den);
        EXPECT_EQ(f.label, std::to_string(w) + "x" + std::to_string(h) + ", " +
                               std::to_string(num / den) + " fps, " + format);
        sizes.insert(f.label.substr(0, f.label.find(", 30 fps, ")));
    }
    EXPECT_EQ(sizes, (std::set<std::string>{"320x240", "640x480", "1280x720", "1920x1080"}));
    // The usual pixel formats, not the hundred-odd the source can make; each in every size.
    EXPECT_TRUE(pixelFormats.count("BGR") && pixelFormats.count("YUY2"));
    EXPECT_FALSE(pixelFormats.count("AYUV64") || pixelFormats.count("v210"));
    EXPECT_EQ(formats.size(), 4 * pixelFormats.size());
    EXPECT_EQ(formats.at(0).label.rfind("320x240, 30 fps, ", 0), 0u);
}

TEST(PinFormatsTest, CameraFormatsAreListedAsGivenAndOnce)
{
    CapsPtr offered = Caps(
        "video/x-raw, format=YUY2, width=640, height=480, pixel-aspect-ratio=1/1, "
        "framerate={ 30/1, 15/1 }; "
        "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1, colorimetry=bt709; "
        "image/jpeg, width=1280, height=720, framerate=30/1; "
        "video/x-raw(memory:DMABuf), format=NV12, width=640, height=480, framerate=30/1; "
        "video/x-raw, format={ NV12, YUY2 }, width=176, height=144, framerate=30000/1001; "
        "video/x-bayer, format=bggr, width=640, height=480, framerate=30/1; "
        "video/x-raw, format=GRAY8, width=[ 100, 200 ], height=[ 100, 150 ], "
        "framerate=[ 5/1, 15/1 ]");
    const std::vector<std::string> expected = {
        "640x480, 30 fps, YUY2",    "640x480, 15 fps, YUY2",    "1280x720, 30 fps, MJPG",
        "176x144, 29.97 fps, NV12", "176x144, 29.97 fps, YUY2", "200x150, 15 fps, GRAY8"};
    EXPECT_EQ(Labels(offered.get()), expected);
    // The first of two alike is kept, with what it fixes beyond the label.
    const std::vector<PinFormat> formats = ExpandFormats(offered.get());
    ASSERT_EQ(formats.size(), expected.size());
    EXPECT_TRUE(gst_caps_is_equal(formats[0].caps.get(),
                                  Caps("video/x-raw, format=YUY2, width=640, height=480, "
                                       "pixel-aspect-ratio=1/1, framerate=30/1")
                                      .get()));
    EXPECT_TRUE(gst_caps_is_equal(
        formats[2].caps.get(), Caps("image/jpeg, width=1280, height=720, framerate=30/1").get()));

    CapsPtr any(gst_caps_new_any());
    EXPECT_TRUE(Labels(any.get()).empty());
    EXPECT_TRUE(Labels(Caps("audio/x-raw, rate=48000").get()).empty());
    EXPECT_TRUE(Labels(nullptr).empty());
}

TEST(PinFormatsTest, EveryOfferedFormatIsAcceptedByTheSource)
{
    Element probe("videotestsrc");
    for (const PinFormat& f : OfferedBy(probe.e)) {
        Element pipeline(gst_pipeline_new(nullptr));
        GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
        GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(filter, "caps", f.caps.get(), nullptr);
        gst_bin_add_many(GST_BIN(pipeline.e), source, filter, sink, nullptr);
        ASSERT_TRUE(gst_element_link_many(source, filter, sink, nullptr)) << f.label;
        gst_element_set_state(pipeline.e, GST_STATE_PLAYING);
        GstState state = GST_STATE_NULL;
        gst_element_get_state(pipeline.e, &state, nullptr, 5 * GST_SECOND);
        EXPECT_EQ(state, GST_STATE_PLAYING) << f.label;
    }
}

TEST_F(PropertyPagesTest, TheFormatDialogGivesTheChosenFormatOrNothing)
{
    Element source("videotestsrc");
    const std::vector<PinFormat> formats = OfferedBy(source.e);
    gst_element_set_state(source.e, GST_STATE_NULL);
    ASSERT_GT(formats.size(), 1u);
    const int row = static_cast<int>(formats.size()) - 1;
    ModalDriver choose([&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Capture");
        EXPECT_EQ(dialog->parentWidget(), &m_owner);
        auto* list = dialog->findChild<QListWidget*>("formats");
        ASSERT_TRUE(list);
        ASSERT_EQ(list->count(), static_cast<int>(formats.size()));
        EXPECT_TRUE(list->selectedItems().isEmpty()) << "not negotiated: nothing chosen yet";
        EXPECT_EQ(list->item(row)->text().toStdString(), formats[row].label);
        list->setCurrentRow(row);
        Click(dialog, QDialogButtonBox::Ok);
    });
    CapsPtr chosen(ShowPinPages(source.e, "Capture", &m_owner));
    EXPECT_TRUE(choose.Seen());
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(gst_caps_is_equal(chosen.get(), formats[row].caps.get()));
    GstState state = GST_STATE_NULL;
    gst_element_get_state(source.e, &state, nullptr, 0);
    EXPECT_EQ(state, GST_STATE_READY);

    ModalDriver cancel([](QDialog* dialog) { Click(dialog, QDialogButtonBox::Cancel); });
    EXPECT_EQ(ShowPinPages(source.e, "Capture", &m_owner), nullptr);
    EXPECT_TRUE(cancel.Seen());

    // OK without a choice: no format, even with the first row current but unselected, as the
    // list leaves it when it takes the keyboard focus.
    ModalDriver okOnly([](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>("formats");
        ASSERT_TRUE(list);
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
        Click(dialog, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(ShowPinPages(source.e, "Capture", &m_owner), nullptr);
    EXPECT_TRUE(okOnly.Seen());

    // No video to offer: no dialog.
    Element audio("audiotestsrc");
    ModalDriver none;
    EXPECT_EQ(ShowPinPages(audio.e, "Capture", &m_owner), nullptr);
    EXPECT_EQ(ShowPinPages(nullptr, "Capture", &m_owner), nullptr);
    EXPECT_FALSE(none.Seen());
}

// ---- Controls ----

TEST(FilterControlsTest, ATestSourceOffersItsPicturePropertiesAndSetsThem)
{
    Element source("videotestsrc");
    g_object_set(source.e, "pattern", 18, "horizontal-speed", -4, "flip", TRUE, "foreground-color",
                 0xff112233u, nullptr);
    const std::vector<SourceControl> controls = DiscoverControls(source.e);
    const SourceControl* pattern = Find(controls, "pattern");
    const SourceControl* speed = Find(controls, "horizontal-speed");
    const SourceControl* flip = Find(controls, "flip");
    const SourceControl* color = Find(controls, "foreground-color");
    ASSERT_TRUE(pattern && speed && flip && color);
    EXPECT_EQ(pattern->kind, SourceControl::Kind::Menu);
    EXPECT_EQ(pattern->value, 18);
    EXPECT_GE(pattern->choices.size(), 20u);
    EXPECT_EQ(pattern->choices.at(18), std::make_pair(int64_t(18), std::string("Moving ball")));
    EXPECT_EQ(speed->kind, SourceControl::Kind::Integer);
    EXPECT_EQ(speed->value, -4);
    EXPECT_EQ(speed->maximum, G_MAXINT);
    EXPECT_EQ(flip->kind, SourceControl::Kind::Boolean);
    EXPECT_EQ(flip->value, 1);
    EXPECT_EQ(color->kind, SourceControl::Kind::Color);
    EXPECT_EQ(color->value, 0xff112233);
    // Not how the stream is set up, nor what cannot be changed.
    for (const char* id : {"is-live", "num-buffers", "do-timestamp", "name", "timestamp-offset"}) {
        EXPECT_FALSE(Find(controls, id)) << id;
    }

    EXPECT_TRUE(pattern->set(1) && speed->set(-7) && flip->set(0) && color->set(0x80ff0000));
    gint nowPattern = 0, nowSpeed = 0;
    gboolean nowFlip = TRUE;
    guint nowColor = 0;
    g_object_get(source.e, "pattern", &nowPattern, "horizontal-speed", &nowSpeed, "flip", &nowFlip,
                 "foreground-color", &nowColor, nullptr);
    EXPECT_EQ(nowPattern, 1);
    EXPECT_EQ(nowSpeed, -7);
    EXPECT_FALSE(nowFlip);
    EXPECT_EQ(nowColor, 0x80ff0000u);
}

TEST(FilterControlsTest, ColourBalanceChannelsAndBinsAreSearchedAndPlainSourcesHaveNone)
{
    Element balance("videobalance");
    const std::vector<SourceControl> channels = DiscoverControls(balance.e);
    std::set<std::string> ids;
    for (const SourceControl& c : channels) ids.insert(c.id);
    EXPECT_EQ(ids, (std::set<std::string>{"HUE", "SATURATION", "BRIGHTNESS", "CONTRAST"}));
    const SourceControl* brightness = Find(channels, "BRIGHTNESS");
    ASSERT_TRUE(brightness);
    EXPECT_TRUE(brightness->minimum < brightness->value && brightness->value < brightness->maximum);
    EXPECT_TRUE(brightness->set(brightness->maximum));
    gdouble value = 0;
    g_object_get(balance.e, "brightness", &value, nullptr);
    EXPECT_DOUBLE_EQ(value, 1.0);

    Element bin(gst_bin_new(nullptr));
    GstElement* inner = gst_element_factory_make("videotestsrc", nullptr);
    gst_bin_add_many(GST_BIN(bin.e), gst_element_factory_make("identity", nullptr), inner, nullptr);
    const std::vector<SourceControl> controls = DiscoverControls(bin.e);
    ASSERT_TRUE(Find(controls, "pattern"));
    EXPECT_TRUE(Find(controls, "pattern")->set(18));
    gint pattern = 0;
    g_object_get(inner, "pattern", &pattern, nullptr);
    EXPECT_EQ(pattern, 18);

    Element plain("fakesrc");
    EXPECT_TRUE(DiscoverControls(plain.e).empty());
    EXPECT_TRUE(DiscoverControls(nullptr).empty());
}

TEST(FilterControlsTest, AV4l2DevicesControlsAreReadAndSet)
{
    // Only where the machine has a camera; its setting is put back as it was.
    for (int node = 0; node < 16; ++node) {
        const std::string path = "/dev/video" + std::to_string(node);
        Element camera("v4l2src");
        g_object_set(camera.e, "device", path.c_str(), nullptr);
        if (gst_element_set_state(camera.e, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) continue;
        for (const SourceControl& c : DiscoverControls(camera.e)) {
            if (c.kind != SourceControl::Kind::Integer || c.maximum - c.minimum < 2 * c.step) {
                continue;
            }
            const int64_t other = c.value == c.minimum ? c.minimum + c.step : c.minimum;
            // A control that follows an automatic one may be refused while that is on.
            if (!c.set(other)) continue;
            const std::vector<SourceControl> after = DiscoverControls(camera.e);
            const SourceControl* now = Find(after, c.id);
            ASSERT_TRUE(now) << path << " " << c.label;
            EXPECT_EQ(now->value, other) << path << " " << c.label;
            c.set(c.value);
            return;
        }
    }
    GTEST_SKIP() << "no camera with an integer control";
}

TEST_F(PropertyPagesTest, TheControlDialogShowsCurrentValuesAndActsWhileThePictureRuns)
{
    Element pipeline(gst_pipeline_new(nullptr));
    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(source, "is-live", TRUE, "pattern", 18, "horizontal-speed", 3, "foreground-color",
                 0xff00ff00u, nullptr);
    std::atomic<int> frames{0};
    g_object_set(sink, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer n) {
                         ++*static_cast<std::atomic<int>*>(n);
                     }),
                     &frames);
    gst_bin_add_many(GST_BIN(pipeline.e), source, sink, nullptr);
    ASSERT_TRUE(gst_element_link(source, sink));
    ASSERT_NE(gst_element_set_state(pipeline.e, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

    ModalDriver driver([&](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Video Capture");
        EXPECT_EQ(dialog->parentWidget(), &m_owner);
        auto* pattern = dialog->findChild<QComboBox*>("pattern");
        auto* speed = dialog->findChild<QSpinBox*>("horizontal-speed");
        auto* flip = dialog->findChild<QCheckBox*>("flip");
        auto* color = dialog->findChild<QPushButton*>("foreground-color");
        ASSERT_TRUE(pattern && speed && flip && color);
        EXPECT_EQ(pattern->currentText(), "Moving ball");
        EXPECT_EQ(speed->value(), 3);
        EXPECT_FALSE(flip->isChecked());
        EXPECT_EQ(color->text(), "#ff00ff00");
        // The whole integer range is typed, not dragged.
        EXPECT_FALSE(dialog->findChild<QSlider*>("horizontal-speed/slider"));

        pattern->setCurrentIndex(pattern->findData(QVariant::fromValue<qlonglong>(1)));
        speed->selectAll();
        QTest::keyClicks(speed, "-9");
        QTest::keyClick(flip, Qt::Key_Space);
        gint nowPattern = 0, nowSpeed = 0;
        gboolean nowFlip = FALSE;
        g_object_get(source, "pattern", &nowPattern, "horizontal-speed", &nowSpeed, "flip",
                     &nowFlip, nullptr);
        EXPECT_EQ(nowPattern, 1);
        EXPECT_EQ(nowSpeed, -9);
        EXPECT_TRUE(nowFlip);

        const int before = frames;
        EXPECT_TRUE(QTest::qWaitFor([&] { return frames - before > 2; }, 30000))
            << "the picture stopped behind the dialog";
        Click(dialog, QDialogButtonBox::Close);
        EXPECT_FALSE(dialog->isVisible());
    });
    EXPECT_TRUE(ShowFilterPropertyPages(source, "Video Capture", &m_owner));
    EXPECT_TRUE(driver.Seen());
    GstState state = GST_STATE_NULL;
    gst_element_get_state(pipeline.e, &state, nullptr, GST_SECOND);
    EXPECT_EQ(state, GST_STATE_PLAYING);
}

// ---- The listed devices' own sources ----

TEST_F(PropertyPagesTest, ListedDevicesOfferTheirOwnFormatsAndControls)
{
    Element camera(CreateDeviceSource(DevicePosition(kRows320)));
    ASSERT_TRUE(camera.e);
    ModalDriver choose([](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>("formats");
        ASSERT_TRUE(list && list->count() == 1);
        EXPECT_EQ(list->item(0)->text(), "320x240, 30 fps, RGB");
        list->setCurrentRow(0);
        dialog->accept();
    });
    CapsPtr chosen(ShowPinPages(camera.e, "Capture", &m_owner));
    EXPECT_TRUE(choose.Seen());
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(gst_caps_is_equal(
        chosen.get(),
        Caps("video/x-raw, format=RGB, width=320, height=240, framerate=30/1").get()));

    // No controls; a format nothing can take: neither dialog comes up.
    ModalDriver none;
    EXPECT_FALSE(ShowFilterPropertyPages(camera.e, "Video Capture", &m_owner));
    Element undecodable(CreateDeviceSource(DevicePosition(kUndecodable)));
    ASSERT_TRUE(undecodable.e);
    EXPECT_EQ(ShowPinPages(undecodable.e, "Capture", &m_owner), nullptr);
    EXPECT_FALSE(none.Seen());

    Element ball(CreateDeviceSource(DevicePosition(kTestPatternBall)));
    ASSERT_TRUE(ball.e);
    const std::vector<SourceControl> controls = DiscoverControls(ball.e);
    const SourceControl* pattern = Find(controls, "pattern");
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->value, 18);
}

}  // namespace
