// The capture pipeline: the device's source, a conversion to 24-bit BGR and an appsink whose
// streaming-thread callback keeps the newest frame, bottom row first, in the frame buffer.
#include "VideoCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "CaptureSetup.h"
#include "ClipFile.h"
#include "ClipLoop.h"
#include "DeviceSource.h"
#include "GstHandles.h"
#include "PropertyPages.h"
#include "SourcePad.h"
#include "StillPicture.h"

namespace {

// Starting and stopping each wait at most this many polls of this length (10 s in all).
constexpr int kPolls = 1000;
constexpr GstClockTime kPoll = 10 * GST_MSECOND;
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kBuildBound{10};
// A clip's first decoded stream within this, or it has none that plays.
constexpr std::chrono::seconds kFirstStreamBound{3};

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

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer pipeline);
GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer pipeline);

// Streaming thread: the decoder's output joins the conversion once its type is known.
void OnDecodedPad(GstElement*, GstPad* pad, gpointer convert)
{
    PadPtr sink(gst_element_get_static_pad(GST_ELEMENT(convert), "sink"));
    if (sink && !gst_pad_is_linked(sink.get())) gst_pad_link(pad, sink.get());
}

// The error's own words, for the line on standard error.
std::string ErrorText(GstMessage* message)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error && error->message ? error->message : "error";
    if (error) g_error_free(error);
    return text;
}

// True when an error was posted, with its words in `why`; every other message on the bus is
// dropped on the way.
bool ErrorPosted(GstBus* bus, std::string* why = nullptr)
{
    MessagePtr error(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR));
    if (error && why) *why = ErrorText(error.get());
    return error != nullptr;
}

void OnClipPad(GstElement*, GstPad* pad, gpointer pipeline);
void OnClipPadsDone(GstElement*, gpointer pipeline);

// Any streaming thread: an event on its way into a clip's sink, which the loop may retime.
GstPadProbeReturn OnClipSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer loop)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GstEvent* replaced = static_cast<CClipLoop*>(loop)->AtSink(event)) {
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = replaced;
    }
    return GST_PAD_PROBE_OK;
}

// Streaming thread: each decoder chosen, with the stream it decodes, noted for reverse (a
// container's own caps say nothing of its frames); the choice stands.
int OnClipDecoder(GstElement*, GstPad*, GstCaps* caps, GstElementFactory* factory, gpointer loop)
{
    if (gst_element_factory_list_is_type(factory, GST_ELEMENT_FACTORY_TYPE_DECODER))
        static_cast<CClipLoop*>(loop)->NoteStream(caps);
    return 0;  // GST_AUTOPLUG_SELECT_TRY
}

// The file's name on one line of standard error, whatever bytes it holds.
std::string OneLine(const std::string& name)
{
    std::string line;
    for (char c : name)
        line += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    return line;
}

// The frame buffer's layout for a sample's format: BGR rows padded to a multiple of 4 bytes.
struct FrameFormat {
    int width = 0;
    int height = 0;
    int stride = 0;
    int size = 0;
};

// False when the sample is not BGR video, or its frame would not fit the buffer's int size.
bool ReadFrameFormat(GstSample* sample, FrameFormat& format)
{
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    if (!caps || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR)
        return false;
    const long long stride = (static_cast<long long>(GST_VIDEO_INFO_WIDTH(&info)) * 3 + 3) & ~3LL;
    const long long size = stride * GST_VIDEO_INFO_HEIGHT(&info);
    if (size <= 0 || size > INT_MAX) return false;
    format.width = GST_VIDEO_INFO_WIDTH(&info);
    format.height = GST_VIDEO_INFO_HEIGHT(&info);
    format.stride = static_cast<int>(stride);
    format.size = static_cast<int>(size);
    return true;
}

}  // namespace

// The running pipeline. Its elements stay owned by the pipeline; the references here are
// the ones the build and the dialogs use.
struct CVideoCapture::Pipeline {
    ElementPtr pipeline;
    ElementPtr source;
    ElementPtr sink;
    BusPtr bus;
    CapsPtr chosen;  // the format chosen in the dialog; empty when none was
    Clock::time_point deadline = Clock::now() + kBuildBound;  // of the build

    // A clip's file, kept open as long as the pipeline reads it, and its playing.
    CClipFile file;
    std::shared_ptr<CClipLoop> loop;
    // Why a clip stopped or would not start; under the sample lock.
    std::string problem;
    GstElement* clipConvert = nullptr;  // held by the pipeline
    std::atomic<int> decodedPads{0};
    std::atomic<int> videoPads{0};
    // Every stream was found, none of them video: nothing would ever preroll.
    std::atomic<bool> noVideo{false};
    bool endedEarly = false;  // the first segment ended while starting; the building thread's

    // What the bus watch and the streaming thread report.
    std::atomic<bool> lost{false};
    std::atomic<bool> sizeChanged{false};
    // The callback, the size the pipeline was built for and the caps of the last sample,
    // under a lock of our own: set when it starts running, read by every sample (GStreamer's
    // own hand-over is not one ThreadSanitizer sees).
    std::mutex sampleLock;
    CGrabberCallback* callback = nullptr;
    int width = 0;
    int height = 0;
    CapsPtr lastCaps;

    GstBin* Bin() const { return GST_BIN(pipeline.get()); }

    // A new element of `factory` in the pipeline, or null when the factory is missing. The
    // pipeline holds it from here on.
    GstElement* Add(const char* factory)
    {
        ElementPtr element = MakeElement(factory);
        if (element) gst_bin_add(Bin(), element.get());
        return element.get();
    }

    // The device's source in a new pipeline, opened (READY): a device then reports the
    // formats it really offers. A driver that hangs in its open holds the thread that builds
    // (the worker's lane of that camera, whose deadline bounds the caller's wait).
    bool MakeSource(int device)
    {
        pipeline = ElementPtr(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
        GstElement* made = CreateDeviceSource(device);
        if (!made) return false;
        source.reset(GST_ELEMENT(gst_object_ref_sink(made)));
        if (gst_element_set_state(source.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(source.get(), GST_STATE_NULL);
            source.reset();
            return false;
        }
        gst_bin_add(Bin(), source.get());
        return true;
    }

    // A clip's file read through the descriptor opened here, in a new pipeline, with its
    // playing; false, with the reason, when it is no regular file.
    bool MakeFileSource(const std::string& path, std::string& why)
    {
        if (!file.Open(path, why)) return false;
        pipeline = ElementPtr(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr))));
        source = MakeElement("filesrc");
        if (!source) {
            why = "no filesrc element";
            return false;
        }
        g_object_set(source.get(), "location", file.ProcPath().c_str(), nullptr);
        gst_bin_add(Bin(), source.get());
        loop = std::make_shared<CClipLoop>(pipeline.get());
        return true;
    }

    // The clip's decoder into the conversion, played at the clip's own rate.
    bool LinkClip()
    {
        GstElement* convert = AddConversion();
        GstElement* decode = Add("decodebin");
        if (!convert || !decode) return false;
        g_object_set(sink.get(), "sync", TRUE, nullptr);
        clipConvert = convert;
        g_signal_connect(decode, "pad-added", G_CALLBACK(OnClipPad), this);
        g_signal_connect(decode, "no-more-pads", G_CALLBACK(OnClipPadsDone), this);
        g_signal_connect(decode, "autoplug-select", G_CALLBACK(OnClipDecoder), loop.get());
        // The loop lives as long as the pipeline, so as long as its probe.
        PadPtr sinkPad(gst_element_get_static_pad(sink.get(), "sink"));
        if (!sinkPad) return false;
        gst_pad_add_probe(
            sinkPad.get(),
            GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
            OnClipSinkEvent, loop.get(), nullptr);
        return gst_element_link(source.get(), decode);
    }

    // Streaming thread or the building one: the first reason a clip gives stays.
    void Fail(const std::string& why)
    {
        std::lock_guard<std::mutex> hold(sampleLock);
        if (problem.empty()) problem = why;
    }

    // A clip's preroll and its first looping segment, before it plays. False on an error.
    bool PrerollClip()
    {
        bus.reset(gst_element_get_bus(pipeline.get()));
        if (gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
            return ClipError();
        // decodebin keeps back the errors of a demuxer it is still setting up (a file cut
        // before its index), so the bus may never tell: a local file that shows no stream
        // within the bound has none that plays.
        const Clock::time_point noStreamBy = Clock::now() + kFirstStreamBound;
        for (GstState state = GST_STATE_VOID_PENDING; state != GST_STATE_PAUSED;) {
            if (Clock::now() >= deadline) {
                Fail("no picture within 10 s");
                return false;
            }
            if (decodedPads == 0 && Clock::now() >= noStreamBy) {
                Fail("no playable stream");
                return false;
            }
            std::string why;
            if (ErrorPosted(bus.get(), &why) || noVideo) return ClipError(why);
            if (gst_element_get_state(pipeline.get(), &state, nullptr, kPoll) ==
                GST_STATE_CHANGE_FAILURE)
                return ClipError();
        }
        return loop->Begin() || ClipError("cannot loop");
    }

    // The reason a clip did not start: no video at all, or the pipeline's own words.
    bool ClipError(std::string why = {})
    {
        if (why.empty()) ErrorPosted(bus.get(), &why);
        Fail(noVideo || (decodedPads > 0 && videoPads == 0) ? "no video stream"
             : why.empty()                                  ? "cannot be decoded"
                                                            : why);
        return false;
    }

    // Streaming thread: a clip's decoded stream. Only video joins the conversion; the rest
    // (its sound) stays unlinked, which the demuxer takes as long as one stream is linked.
    void ClipPad(GstPad* pad)
    {
        ++decodedPads;
        CapsPtr caps(gst_pad_query_caps(pad, nullptr));
        if (!caps || gst_caps_is_empty(caps.get()) ||
            std::strncmp(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "video/",
                         6) != 0)
            return;
        ++videoPads;
        OnDecodedPad(nullptr, pad, clipConvert);
    }

    // The conversion to BGR at the device's own size (scaling is left to the program) and
    // the sink: the newest frame at most, no copy of its own, and no clock, so frames are
    // taken as they come. Returns the conversion, or null when an element is missing.
    GstElement* AddConversion()
    {
        ElementPtr convert = MakeElement("videoconvert");
        ElementPtr format = MakeElement("capsfilter");
        sink = MakeElement("appsink");
        if (!convert || !format || !sink) return nullptr;
        gst_bin_add_many(Bin(), convert.get(), format.get(), sink.get(), nullptr);
        CapsPtr bgr(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
        g_object_set(format.get(), "caps", bgr.get(), nullptr);
        g_object_set(sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals",
                     FALSE, "enable-last-sample", FALSE, nullptr);
        if (!gst_element_link_many(convert.get(), format.get(), sink.get(), nullptr))
            return nullptr;
        return convert.get();
    }

    // Links the source to the conversion: through the chosen format when there is one (it
    // governs the connection), and through a decoder where the source offers no raw video.
    bool LinkConverter(GstCaps* chosen)
    {
        PadPtr sourcePad = SourcePad(source.get());
        if (!sourcePad) return false;
        CapsPtr offered(gst_pad_query_caps(sourcePad.get(), chosen));
        if (!offered || gst_caps_is_empty(offered.get())) return false;
        GstElement* upstream = source.get();
        if (chosen) {
            GstElement* pinFormat = Add("capsfilter");
            if (!pinFormat) return false;
            g_object_set(pinFormat, "caps", chosen, nullptr);
            if (!gst_element_link(upstream, pinFormat)) return false;
            upstream = pinFormat;
        }
        GstElement* convert = AddConversion();
        if (!convert) return false;
        // A camera that offers raw video goes straight to the conversion, so one that offers
        // MJPEG as well is asked for raw. Anything else is decoded first: MJPEG only, or a
        // source that does not say what it offers (ANY), whose raw video the decoder passes on.
        CapsPtr raw(gst_caps_new_empty_simple("video/x-raw"));
        if (!gst_caps_is_any(offered.get()) && gst_caps_can_intersect(offered.get(), raw.get()))
            return gst_element_link(upstream, convert);
        GstElement* decode = Add("decodebin");
        if (!decode) return false;
        g_signal_connect(decode, "pad-added", G_CALLBACK(OnDecodedPad), convert);
        return gst_element_link(upstream, decode);
    }

    // Starts the pipeline and returns its first sample, which carries the negotiated format,
    // once the pipeline plays. A live source delivers nothing before PLAYING (NO_PREROLL);
    // any other waits for its first frame (ASYNC). Empty on an error, or when the sample or
    // the PLAYING state takes longer than the polls allow.
    SamplePtr StartAndTakeFirst()
    {
        if (loop && !PrerollClip()) return nullptr;
        bus.reset(gst_element_get_bus(pipeline.get()));
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            return nullptr;
        SamplePtr first;
        std::string why;
        while (!first && Clock::now() < deadline) {
            if (StartError(&why)) {
                if (loop) ClipError(why);
                return nullptr;
            }
            first.reset(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), kPoll));
        }
        if (!first && loop) Fail("no picture within 10 s");
        for (GstState state = GST_STATE_VOID_PENDING; state != GST_STATE_PLAYING;) {
            if (!first || Clock::now() >= deadline || StartError(nullptr)) return nullptr;
            if (gst_element_get_state(pipeline.get(), &state, nullptr, kPoll) ==
                GST_STATE_CHANGE_FAILURE)
                return nullptr;
        }
        return first;
    }

    // True when an error was posted while the pipeline starts. A short clip may end its first
    // segment before the watch is in place: that end is kept for Run, never dropped (the
    // clip would stop for good). Every other message is dropped on the way.
    bool StartError(std::string* why)
    {
        const auto types = GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_SEGMENT_DONE);
        while (MessagePtr message{gst_bus_pop_filtered(bus.get(), types)}) {
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_SEGMENT_DONE) {
                endedEarly = true;
                continue;
            }
            if (why) *why = ErrorText(message.get());
            return true;
        }
        return false;
    }

    // Hands the first sample, then every sample the sink renders, to the callback. The
    // first one is copied here, as a device that sends one still frame would otherwise never
    // show it. From here on the bus watch reads every message as it is posted, on the
    // posting thread, and drops it: an error (a camera unplugged) marks the pipeline lost,
    // and its last frame stays.
    void Run(GstSample* first, CGrabberCallback* grabber, const FrameFormat& format)
    {
        {
            std::lock_guard<std::mutex> hold(sampleLock);
            callback = grabber;
            width = format.width;
            height = format.height;
            lastCaps.reset(gst_caps_ref(gst_sample_get_caps(first)));
        }
        DeliverSample(first, grabber);
        GstAppSinkCallbacks callbacks = {};
        callbacks.new_sample = OnNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        gst_bus_set_sync_handler(bus.get(), OnBusMessage, this, nullptr);
        // Whatever was posted before the watch: an error among it counts as well.
        while (MessagePtr message{gst_bus_pop(bus.get())}) Watch(message.get());
        if (loop && endedEarly) loop->Ended(true);
    }

    // Any thread: one message of the running pipeline. An error stops the frames (the last
    // one stays); a clip's end brings its next loop.
    void Watch(GstMessage* message)
    {
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ERROR:
                if (loop) Fail(ErrorText(message));
                lost = true;
                break;
            case GST_MESSAGE_SEGMENT_DONE:
                // A file deleted or replaced plays on from what was open; at its end it stops
                // there, as an unplugged camera does, and its last frame stays.
                if (loop && file.Removed()) {
                    Fail("the file was removed");
                    lost = true;
                } else if (loop) {
                    loop->Ended(true);
                }
                break;
            case GST_MESSAGE_EOS:
                if (loop) loop->Ended(false);
                break;
            default:
                break;
        }
    }

    // Streaming thread: one sample of the running camera. A sample of another size than
    // the buffer's is not copied; the pipeline is then marked for a rebuild.
    void Deliver(GstSample* sample)
    {
        std::unique_lock<std::mutex> hold(sampleLock);
        GstCaps* caps = gst_sample_get_caps(sample);
        if (caps && caps != lastCaps.get() &&
            !(lastCaps && gst_caps_is_equal(caps, lastCaps.get()))) {
            lastCaps.reset(gst_caps_ref(caps));
            GstVideoInfo info;
            if (gst_video_info_from_caps(&info, caps) &&
                (GST_VIDEO_INFO_WIDTH(&info) != width || GST_VIDEO_INFO_HEIGHT(&info) != height))
                sizeChanged = true;
        }
        CGrabberCallback* target = sizeChanged ? nullptr : callback;
        hold.unlock();
        if (target) DeliverSample(sample, target);
    }

    // Asks for the NULL state until the pipeline reports it: once there, every streaming
    // thread has been joined. False when it never gets there.
    bool Stop()
    {
        if (!pipeline) return true;  // a file that never made one
        if (loop) loop->Stop();
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

    // Only for a pipeline that stopped (or never ran): no streaming thread is left in it.
    ~Pipeline()
    {
        if (sink) {
            GstAppSinkCallbacks none = {};
            gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &none, nullptr, nullptr);
        }
        if (bus) gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
};

namespace {

using PipelinePtr = std::unique_ptr<CVideoCapture::Pipeline>;

// A pipeline that would not stop, with the callback its streaming thread may still be in:
// kept until the program ends. Never freed, so nothing at exit waits for them either.
struct Stuck {
    PipelinePtr pipeline;
    std::unique_ptr<CGrabberCallback> callback;
};
std::mutex g_stuckLock;
std::vector<Stuck>* g_stuck = nullptr;

void KeepUntilExit(PipelinePtr pipeline, std::unique_ptr<CGrabberCallback> callback)
{
    std::lock_guard<std::mutex> hold(g_stuckLock);
    if (!g_stuck) g_stuck = new std::vector<Stuck>;
    g_stuck->push_back({std::move(pipeline), std::move(callback)});
}

// Stops and frees a pipeline that no callback of a CVideoCapture's is attached to, or keeps
// it when it would not stop.
void Dismantle(PipelinePtr pipeline)
{
    if (pipeline && !pipeline->Stop()) KeepUntilExit(std::move(pipeline), nullptr);
}

void OnClipPad(GstElement*, GstPad* pad, gpointer pipeline)
{
    static_cast<CVideoCapture::Pipeline*>(pipeline)->ClipPad(pad);
}

void OnClipPadsDone(GstElement*, gpointer pipeline)
{
    auto* graph = static_cast<CVideoCapture::Pipeline*>(pipeline);
    if (graph->videoPads == 0) graph->noVideo = true;
}

// Streaming thread, for every sample the sink renders.
GstFlowReturn OnNewSample(GstAppSink* sink, gpointer pipeline)
{
    SamplePtr sample(gst_app_sink_pull_sample(sink));
    if (sample) static_cast<CVideoCapture::Pipeline*>(pipeline)->Deliver(sample.get());
    return GST_FLOW_OK;
}

// The bus watch: on the thread that posts, for every message of the running pipeline. A
// message dropped here is ours to free: one kept would hold its element, and so the whole
// pipeline with its bus, for good.
GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer pipeline)
{
    MessagePtr dropped(message);
    static_cast<CVideoCapture::Pipeline*>(pipeline)->Watch(message);
    return GST_BUS_DROP;
}

}  // namespace

void CGrabberCallback::BufferCB(double, const uint8_t* buffer, long length)
{
    if (!buffer || length <= 0) return;
    std::lock_guard<std::mutex> target(m_target);
    if (!m_pLock) return;
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
    std::lock_guard<std::mutex> target(m_target);
    m_pBuffer = buffer;
    m_nBufferSize = size;
    m_nStride = stride;
    m_pLock = lock;
}

void CVideoCapture::PipelineDismantler::operator()(Pipeline* pipeline) const
{
    Dismantle(PipelinePtr(pipeline));
}

CVideoCapture::CVideoCapture(int device)
    : m_pCallback(std::make_unique<CGrabberCallback>()), m_nDevice(device)
{
}

CVideoCapture::~CVideoCapture()
{
    // The pipeline goes first (or is kept, detached): no sample may reach the callback, the
    // lock or the buffer once they are freed.
    StopGraph();
}

bool CVideoCapture::BuildGraph(bool showPinPages, QWidget* owner)
{
    if (!OpenSource()) return false;
    if (showPinPages) ChooseFormat(owner);
    return StartGraph();
}

bool CVideoCapture::OpenSource()
{
    InitCapture();
    if (!StopGraph()) return false;
    m_pFrame.reset();
    m_nWidth = m_nHeight = m_nFrameSize = 0;
    m_bStill = false;
    m_problem.clear();
    std::unique_ptr<Pipeline, PipelineDismantler> graph(new Pipeline);
    if (!m_file.empty()) return OpenFile(std::move(graph));
    if (!graph->MakeSource(m_nDevice)) return false;
    m_pOpened.reset(graph.release());
    return true;
}

bool CVideoCapture::OpenFile(std::unique_ptr<Pipeline, PipelineDismantler> graph)
{
    std::string why;
    if (!graph->MakeFileSource(m_file, why)) return FileFailed(why);
    if (!IsStillPicture(graph->file.Fd())) {
        m_pOpened.reset(graph.release());
        return true;
    }
    // A still: decoded here, once; no pipeline runs for it.
    StillFrame still;
    if (!DecodeStill(graph->file.Fd(), m_nStillWidth, m_nStillHeight, still, why))
        return FileFailed(why);
    std::lock_guard<std::mutex> hold(m_lock);
    m_pFrame = std::move(still.bytes);
    m_nWidth = still.width;
    m_nHeight = still.height;
    m_nFrameSize = still.size;
    m_bStill = true;
    return true;
}

bool CVideoCapture::FileFailed(const std::string& why)
{
    m_problem = why;
    std::fprintf(stderr, "Cannot play \"%s\": %s\n", OneLine(m_file).c_str(), why.c_str());
    return false;
}

void CVideoCapture::SetFile(const std::string& path) { m_file = path; }

std::string CVideoCapture::FileProblem() const
{
    if (!m_problem.empty() || !m_pGraph) return m_problem;
    std::lock_guard<std::mutex> hold(m_pGraph->sampleLock);
    return m_pGraph->problem;
}

void CVideoCapture::SetClipSpeed(double speed)
{
    if (m_pGraph && m_pGraph->loop) m_pGraph->loop->SetSpeed(speed);
}

void CVideoCapture::ToggleClipPause()
{
    if (m_pGraph && m_pGraph->loop) m_pGraph->loop->TogglePause();
}

void CVideoCapture::RestartClip()
{
    if (m_pGraph && m_pGraph->loop) m_pGraph->loop->Restart();
}

void CVideoCapture::ToggleClipReverse()
{
    if (m_pGraph && m_pGraph->loop) m_pGraph->loop->ToggleReverse();
}

double CVideoCapture::ClipSpeed() const
{
    return m_pGraph && m_pGraph->loop ? m_pGraph->loop->Speed() : 1.0;
}

bool CVideoCapture::ClipPaused() const
{
    return m_pGraph && m_pGraph->loop && m_pGraph->loop->Paused();
}

bool CVideoCapture::ClipReversed() const
{
    return m_pGraph && m_pGraph->loop && m_pGraph->loop->Reversed();
}

double CVideoCapture::ClipSegmentRate() const
{
    return m_pGraph && m_pGraph->loop ? m_pGraph->loop->SegmentRate() : 0.0;
}

void CVideoCapture::ChooseFormat(QWidget* owner)
{
    if (!m_pOpened || !m_file.empty()) return;  // a file has its one format
    const Clock::time_point shown = Clock::now();
    m_pOpened->chosen.reset(ShowPinPages(m_pOpened->source.get(), "Capture", owner));
    m_pOpened->deadline += Clock::now() - shown;  // the performer's time is not the device's
}

bool CVideoCapture::StartGraph()
{
    // Any return before the end dismantles `graph`.
    std::unique_ptr<Pipeline, PipelineDismantler> graph(m_pOpened.release());
    if (m_bStill) return true;
    if (!graph) return false;
    const bool clip = graph->loop != nullptr;
    if (!(clip ? graph->LinkClip() : graph->LinkConverter(graph->chosen.get()))) {
        if (clip) graph->Fail("cannot be decoded");
        return ClipFailed(*graph);
    }
    SamplePtr first = graph->StartAndTakeFirst();
    FrameFormat format;
    if (!first || !ReadFrameFormat(first.get(), format)) return ClipFailed(*graph);
    m_pFrame.reset(new (std::nothrow) uint8_t[format.size]());  // black until the first copy
    if (!m_pFrame) return false;
    m_nWidth = format.width;
    m_nHeight = format.height;
    m_nFrameSize = format.size;

    // The buffer is set before any sample can be copied.
    m_pCallback->SetBuffer(m_pFrame.get(), m_nFrameSize, format.stride, &m_lock);
    graph->Run(first.get(), m_pCallback.get(), format);
    m_pGraph.reset(graph.release());
    return true;
}

bool CVideoCapture::ClipFailed(Pipeline& graph)
{
    if (!graph.loop) return false;
    std::string why;
    {
        std::lock_guard<std::mutex> hold(graph.sampleLock);
        why = graph.problem.empty() ? "cannot be decoded" : graph.problem;
    }
    return FileFailed(why);
}

bool CVideoCapture::StopGraph()
{
    Dismantle(std::move(m_pOpened));
    if (!m_pGraph) return true;
    const bool stopped = m_pGraph->Stop();
    // The last frame stays for CopyFrame; nothing writes it any more. Once detached, the
    // callback waits for no lock or buffer of ours, so only it and the pipeline must live on
    // where the pipeline would not stop.
    m_pCallback->SetBuffer(nullptr, 0, 0, nullptr);
    if (stopped) {
        m_pGraph.reset();
        return true;
    }
    KeepUntilExit(std::move(m_pGraph), std::move(m_pCallback));
    m_pCallback = std::make_unique<CGrabberCallback>();
    return false;
}

bool CVideoCapture::Lost() const { return m_pGraph && m_pGraph->lost; }

bool CVideoCapture::SizeChanged() const { return m_pGraph && m_pGraph->sizeChanged; }

bool CVideoCapture::CopyFrame(uint8_t* destination)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_pFrame && destination) std::memcpy(destination, m_pFrame.get(), m_nFrameSize);
    return true;
}

bool CVideoCapture::ShowFilterPages(QWidget* owner)
{
    // A file's reader has no controls for the performer.
    if (m_pGraph && m_file.empty())
        ShowFilterPropertyPages(m_pGraph->source.get(), "Video Capture", owner);
    return true;
}
