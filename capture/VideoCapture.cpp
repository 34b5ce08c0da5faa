// The capture pipeline: the device's source, a conversion to 24-bit BGR and an appsink whose
// streaming-thread callback keeps the newest frame, bottom row first, in the frame buffer.
#include "VideoCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "CaptureSetup.h"
#include "DeviceSource.h"
#include "GstHandles.h"
#include "PropertyPages.h"

namespace {

// Starting and stopping each wait at most this many polls of this length (10 s in all).
constexpr int kPolls = 1000;
constexpr GstClockTime kPoll = 10 * GST_MSECOND;

// A new element of our own reference, or empty when the factory is missing.
ElementPtr MakeElement(const char* factory)
{
    GstElement* element = gst_element_factory_make(factory, nullptr);
    return ElementPtr(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

// Hands one sample's bytes to the callback. GStreamer's default layout of BGR rows is what
// arrives: appsink offers no video meta, so upstream cannot choose other strides.
void DeliverSample(GstSample* sample, CGrabberCallback* callback)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const double seconds = GST_CLOCK_TIME_IS_VALID(pts) ? double(pts) / GST_SECOND : 0.0;
    callback->BufferCB(seconds, map.data, static_cast<long>(map.size));
    gst_buffer_unmap(buffer, &map);
}

// Streaming thread, for every sample the sink renders.
GstFlowReturn OnNewSample(GstAppSink* sink, gpointer callback)
{
    SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample) DeliverSample(sample.get(), static_cast<CGrabberCallback*>(callback));
    return GST_FLOW_OK;
}

// Streaming thread: the decoder's output joins the conversion once its type is known.
void OnDecodedPad(GstElement*, GstPad* pad, gpointer convert)
{
    PadPtr sink(gst_element_get_static_pad(GST_ELEMENT(convert), "sink"));
    if (sink && !gst_pad_is_linked(sink.get())) gst_pad_link(pad, sink.get());
}

// The source's output: its "src" pad, or else its first source pad.
PadPtr SourcePad(GstElement* source)
{
    if (GstPad* pad = gst_element_get_static_pad(source, "src")) return PadPtr(pad);
    GstIterator* pads = gst_element_iterate_src_pads(source);
    GValue item = G_VALUE_INIT;
    PadPtr found;
    if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK)
        found.reset(GST_PAD(gst_object_ref(g_value_get_object(&item))));
    g_value_unset(&item);
    gst_iterator_free(pads);
    return found;
}

// True when an error was posted; every other message on the bus is dropped on the way.
bool ErrorPosted(GstBus* bus)
{
    return MessagePtr(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) != nullptr;
}

}  // namespace

// The running pipeline. Its elements stay owned by the pipeline; the references here are
// the ones the build and the dialogs use.
struct CVideoCapture::Pipeline {
    ElementPtr pipeline;
    ElementPtr source;
    ElementPtr sink;
    BusPtr bus;

    // Asks for the NULL state until the pipeline reports it: once there, every streaming
    // thread has been joined. False when it never gets there.
    bool Stop()
    {
        for (int poll = 0; poll < kPolls; ++poll) {
            GstState state = GST_STATE_VOID_PENDING;
            if (gst_element_set_state(pipeline.get(), GST_STATE_NULL) != GST_STATE_CHANGE_FAILURE &&
                gst_element_get_state(pipeline.get(), &state, nullptr, 0) ==
                    GST_STATE_CHANGE_SUCCESS &&
                state == GST_STATE_NULL) {
                // The source may have been put to READY on its own for the format dialog.
                if (source) gst_element_set_state(source.get(), GST_STATE_NULL);
                return true;
            }
            g_usleep(kPoll / GST_USECOND);
        }
        return false;
    }

    ~Pipeline()
    {
        Stop();
        if (sink) {
            GstAppSinkCallbacks none = {};
            gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &none, nullptr, nullptr);
        }
    }
};

void CGrabberCallback::BufferCB(double, const uint8_t* buffer, long length)
{
    if (!buffer || length <= 0 || !m_pLock) return;
    std::lock_guard<std::mutex> hold(*m_pLock);
    if (!m_pBuffer || m_nStride <= 0 || m_nBufferSize < m_nStride) return;
    // Row r of the sample (top first) is row rows - 1 - r of the buffer (bottom first).
    const long rows = m_nBufferSize / m_nStride;
    const long bytes = std::min(length, rows * m_nStride);
    for (long row = 0; row * m_nStride < bytes; ++row) {
        const long count = std::min<long>(m_nStride, bytes - row * m_nStride);
        std::memcpy(m_pBuffer + (rows - 1 - row) * m_nStride, buffer + row * m_nStride, count);
    }
}

void CGrabberCallback::SetBuffer(uint8_t* buffer, long size, int stride, std::mutex* lock)
{
    m_pBuffer = buffer;
    m_nBufferSize = size;
    m_nStride = stride;
    m_pLock = lock;
}

CVideoCapture::CVideoCapture(int device)
    : m_pCallback(std::make_unique<CGrabberCallback>()), m_nDevice(device)
{
}

CVideoCapture::~CVideoCapture()
{
    // The pipeline goes first: no sample may reach the callback, the lock or the buffer
    // once they are freed.
    m_pGraph.reset();
    m_pCallback->SetBuffer(nullptr, 0, 0, nullptr);
}

bool CVideoCapture::BuildGraph(bool showPinPages, QWidget* owner)
{
    InitCapture();
    if (!StopGraph()) return false;
    m_pFrame.reset();
    m_nWidth = m_nHeight = m_nFrameSize = 0;

    // Any return before the end releases `graph`, which stops it and detaches the sink.
    auto graph = std::make_unique<Pipeline>();
    graph->pipeline = ElementPtr(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
    GstElement* source = CreateDeviceSource(m_nDevice);
    if (!source) return false;
    graph->source = ElementPtr(GST_ELEMENT(gst_object_ref_sink(source)));
    GstBin* bin = GST_BIN(graph->pipeline.get());
    gst_bin_add(bin, source);

    // READY opens the device, so it reports the formats it really offers.
    if (gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) return false;
    CapsPtr chosen(showPinPages ? ShowPinPages(source, "Capture", owner) : nullptr);
    PadPtr sourcePad = SourcePad(source);
    if (!sourcePad) return false;
    CapsPtr offered(gst_pad_query_caps(sourcePad.get(), chosen.get()));
    if (!offered || gst_caps_is_empty(offered.get())) return false;

    GstElement* upstream = source;
    ElementPtr pinFormat;
    if (chosen) {
        // The chosen format governs the connection.
        pinFormat = MakeElement("capsfilter");
        if (!pinFormat) return false;
        g_object_set(pinFormat.get(), "caps", chosen.get(), nullptr);
        gst_bin_add(bin, pinFormat.get());
        if (!gst_element_link(upstream, pinFormat.get())) return false;
        upstream = pinFormat.get();
    }

    ElementPtr convert = MakeElement("videoconvert");
    ElementPtr format = MakeElement("capsfilter");
    graph->sink = MakeElement("appsink");
    if (!convert || !format || !graph->sink) return false;
    gst_bin_add_many(bin, convert.get(), format.get(), graph->sink.get(), nullptr);

    // A camera that offers raw video goes straight to the conversion, so one that offers
    // MJPEG as well is asked for raw. Anything else is decoded first: MJPEG only, or a
    // source that does not say what it offers (ANY), whose raw video the decoder passes on.
    CapsPtr raw(gst_caps_new_empty_simple("video/x-raw"));
    ElementPtr decode;
    if (!gst_caps_is_any(offered.get()) && gst_caps_can_intersect(offered.get(), raw.get())) {
        if (!gst_element_link(upstream, convert.get())) return false;
    } else {
        decode = MakeElement("decodebin");
        if (!decode) return false;
        gst_bin_add(bin, decode.get());
        g_signal_connect(decode.get(), "pad-added", G_CALLBACK(OnDecodedPad), convert.get());
        if (!gst_element_link(upstream, decode.get())) return false;
    }

    // BGR at the device's own size: scaling is left to the program.
    CapsPtr bgr(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
    g_object_set(format.get(), "caps", bgr.get(), nullptr);
    // One frame at most, the newest, and no copy of its own; no clock: frames as they come.
    g_object_set(graph->sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals",
                 FALSE, "enable-last-sample", FALSE, nullptr);
    if (!gst_element_link_many(convert.get(), format.get(), graph->sink.get(), nullptr))
        return false;

    // Start. A live source delivers nothing before PLAYING (NO_PREROLL); any other waits
    // for its first frame (ASYNC). The first sample carries the negotiated format.
    graph->bus.reset(gst_element_get_bus(graph->pipeline.get()));
    if (gst_element_set_state(graph->pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return false;
    GstAppSink* sink = GST_APP_SINK(graph->sink.get());
    SamplePtr first;
    int poll = 0;
    for (; poll < kPolls && !first; ++poll) {
        if (ErrorPosted(graph->bus.get())) return false;
        first.reset(gst_app_sink_try_pull_sample(sink, kPoll));
    }
    for (GstState state = GST_STATE_VOID_PENDING; state != GST_STATE_PLAYING; ++poll) {
        if (!first || poll >= kPolls || ErrorPosted(graph->bus.get())) return false;
        if (gst_element_get_state(graph->pipeline.get(), &state, nullptr, kPoll) ==
            GST_STATE_CHANGE_FAILURE)
            return false;
    }

    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(first.get());
    if (!caps || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR)
        return false;
    const long long stride = (static_cast<long long>(GST_VIDEO_INFO_WIDTH(&info)) * 3 + 3) & ~3LL;
    const long long size = stride * GST_VIDEO_INFO_HEIGHT(&info);
    if (size <= 0 || size > INT_MAX) return false;
    m_pFrame.reset(new (std::nothrow) uint8_t[size]());  // black until the first copy
    if (!m_pFrame) return false;
    m_nWidth = GST_VIDEO_INFO_WIDTH(&info);
    m_nHeight = GST_VIDEO_INFO_HEIGHT(&info);
    m_nFrameSize = static_cast<int>(size);

    // The buffer is set before any sample can be copied; the first one is copied here, as
    // a device that sends one still frame would otherwise never show it.
    m_pCallback->SetBuffer(m_pFrame.get(), m_nFrameSize, static_cast<int>(stride), &m_lock);
    DeliverSample(first.get(), m_pCallback.get());
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_sample = OnNewSample;
    gst_app_sink_set_callbacks(sink, &callbacks, m_pCallback.get(), nullptr);

    // Nobody reads the bus while it runs: drop its messages. A camera unplugged now posts
    // an error that goes nowhere; its last frame stays in the buffer.
    gst_bus_set_flushing(graph->bus.get(), TRUE);
    m_pGraph = std::move(graph);
    return true;
}

bool CVideoCapture::StopGraph()
{
    if (!m_pGraph) return true;
    if (!m_pGraph->Stop()) return false;
    m_pGraph.reset();
    // The last frame stays for CopyFrame; nothing writes it any more.
    m_pCallback->SetBuffer(nullptr, 0, 0, nullptr);
    return true;
}

bool CVideoCapture::CopyFrame(uint8_t* destination)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_pFrame && destination) std::memcpy(destination, m_pFrame.get(), m_nFrameSize);
    return true;
}

bool CVideoCapture::ShowFilterPages(QWidget* owner)
{
    if (m_pGraph) ShowFilterPropertyPages(m_pGraph->source.get(), "Video Capture", owner);
    return true;
}
