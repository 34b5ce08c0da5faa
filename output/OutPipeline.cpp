// The ways out's pipeline; see OutPipeline.h.
#include "OutPipeline.h"

#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>

namespace {

// Frames in flight: the source's queue, each branch's queue and one being sent.
constexpr unsigned kPoolFrames = 8;
// How long a leaving branch that writes a file waits for its end to be written; within the
// exit's budget of 2 s.
constexpr std::chrono::milliseconds kFinishWait(900);

// A branch that joins a running encoder begins at a key frame: what comes before cannot be
// decoded.
GstPadProbeReturn DropUntilKeyFrame(GstPad*, GstPadProbeInfo* info, gpointer)
{
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT)) return GST_PAD_PROBE_DROP;
    return GST_PAD_PROBE_REMOVE;
}

std::string TakeError(GError* error)
{
    std::string text = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    return text;
}

// The system's own word on a failed write, where the details give one: " (File too large)".
std::string SystemWord(const char* debug)
{
    const std::string text = debug ? debug : "";
    const size_t line = text.rfind('\n');
    const std::string last = text.substr(line == std::string::npos ? 0 : line + 1);
    const size_t colon = last.rfind(": ");
    if (last.rfind("Error while writing", 0) != 0 || colon == std::string::npos) return {};
    return " (" + last.substr(colon + 2) + ")";
}

bool Installed(const char* element)
{
    GstElementFactory* factory = gst_element_factory_find(element);
    if (factory) gst_object_unref(factory);
    return factory != nullptr;
}

}  // namespace

// A branch in the pipeline, or the encoder.
struct COutPipeline::Joined {
    std::string name;
    bool encoded = false;
    bool finish = false;
    GstElement* bin = nullptr;  // owned by the pipeline while it is in it
    GstElement* tee = nullptr;  // the tee it hangs on
    GstPad* teePad = nullptr;
    unsigned long long pushedAtJoin = 0;
    unsigned long long pushedAtLeave = 0;  // frames pushed until it was taken off its tee
    // Its frames sent and its end, seen on its streaming threads; under a lock of their own,
    // which also hands the new branch to those threads where GLib's locks do it unseen.
    mutable std::mutex lock;
    std::condition_variable ended;
    unsigned long long sent = 0;
    bool end = false;
    bool failed = false;

    unsigned long long Sent() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return sent;
    }

    static GstPadProbeReturn CountSent(GstPad*, GstPadProbeInfo*, gpointer self)
    {
        auto* joined = static_cast<Joined*>(self);
        std::lock_guard<std::mutex> hold(joined->lock);
        ++joined->sent;
        return GST_PAD_PROBE_OK;
    }

    // A branch whose consumer failed takes nothing more from its tee: the failure it would
    // return would stop the tee, and with it every other way out. It is marked as its error is
    // posted, before the failure comes back up.
    static GstPadProbeReturn DropOnceFailed(GstPad*, GstPadProbeInfo*, gpointer self)
    {
        auto* joined = static_cast<Joined*>(self);
        std::lock_guard<std::mutex> hold(joined->lock);
        return joined->failed ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    }

    static GQuark Key() { return g_quark_from_static_string("kovra-way-out"); }

    // On the thread that posts the error.
    static GstBusSyncReply MarkFailed(GstBus*, GstMessage* message, gpointer pipeline)
    {
        if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return GST_BUS_PASS;
        GstObject* object = GST_OBJECT(gst_object_ref(GST_MESSAGE_SRC(message)));
        while (GstObject* parent = gst_object_get_parent(object)) {
            const bool top = parent == pipeline;
            if (top) {
                if (auto* joined =
                        static_cast<Joined*>(g_object_get_qdata(G_OBJECT(object), Key()))) {
                    std::lock_guard<std::mutex> hold(joined->lock);
                    joined->failed = true;
                }
            }
            gst_object_unref(object);
            object = parent;
            if (top) break;
        }
        gst_object_unref(object);
        return GST_BUS_PASS;
    }

    // Linked to its tee, with the guard above.
    bool Hang()
    {
        {
            // What was set so far is seen by the streaming threads' first lock of it.
            std::lock_guard<std::mutex> hold(lock);
            failed = false;
        }
        teePad = gst_element_request_pad_simple(tee, "src_%u");
        gst_pad_add_probe(teePad,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_BUFFER_LIST),
                          DropOnceFailed, this, nullptr);
        GstPad* binIn = gst_element_get_static_pad(bin, "sink");
        const bool linked = gst_pad_link(teePad, binIn) == GST_PAD_LINK_OK;
        gst_object_unref(binIn);
        return linked;
    }

    static GstPadProbeReturn SeeEnd(GstPad*, GstPadProbeInfo* info, gpointer self)
    {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
            auto* joined = static_cast<Joined*>(self);
            std::lock_guard<std::mutex> hold(joined->lock);
            joined->end = true;
            joined->ended.notify_all();
        }
        return GST_PAD_PROBE_OK;
    }
};

COutPipeline::COutPipeline(OutSize size, int intervalMs)
    : m_size(size), m_intervalMs(std::max(1, intervalMs))
{
    gst_init(nullptr, nullptr);
}

COutPipeline::~COutPipeline() { Stop(); }

std::string COutPipeline::EncoderChain()
{
    gst_init(nullptr, nullptr);
    // Key frames every 2 s, so that a receiver joining mid-stream waits no longer.
    if (Installed("x264enc"))
        return "x264enc speed-preset=ultrafast tune=zerolatency key-int-max=60 bitrate=6000";
    if (Installed("openh264enc")) return "openh264enc gop-size=60 bitrate=6000000";
    return {};
}

bool COutPipeline::Start(std::string& error)
{
    if (m_pipeline) return true;
    GError* parseError = nullptr;
    GstElement* pipeline =
        gst_parse_launch("appsrc name=src ! tee name=split allow-not-linked=true", &parseError);
    if (!pipeline) {
        error = TakeError(parseError);
        return false;
    }
    if (parseError) g_error_free(parseError);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    m_tee = gst_bin_get_by_name(GST_BIN(pipeline), "split");
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, Joined::MarkFailed, pipeline, nullptr);
    gst_object_unref(bus);
    GstCaps* caps = gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "RGBx", "width", G_TYPE_INT, m_size.width, "height",
        G_TYPE_INT, m_size.height, "framerate", GST_TYPE_FRACTION, 1000, m_intervalMs, nullptr);
    // The tick never waits on the source: past two frames the oldest goes.
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, "block", FALSE,
                 "max-bytes", static_cast<guint64>(0), "max-buffers", static_cast<guint64>(2),
                 "leaky-type", GST_APP_LEAKY_TYPE_DOWNSTREAM, nullptr);
    GstBufferPool* pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(
        config, caps, static_cast<guint>(m_size.width) * m_size.height * 4, 2, kPoolFrames);
    gst_caps_unref(caps);
    m_pipeline = pipeline;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_source = source;
        m_pool = pool;
        ++m_starts;
    }
    if (!gst_buffer_pool_set_config(pool, config) || !gst_buffer_pool_set_active(pool, TRUE)) {
        error = "no buffers for the frames";
        Stop();
        return false;
    }
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the pipeline would not play";
        Stop();
        return false;
    }
    return true;
}

bool COutPipeline::StartEncoder(std::string& error)
{
    if (m_encoder) return true;
    const std::string encoder = EncoderChain();
    if (encoder.empty()) {
        error = "no H.264 encoder is installed (x264enc or openh264enc)";
        return false;
    }
    // I420 forced: left alone, the converter offers the encoder 4:4:4, which many players
    // reject. The headers go with every key frame, for receivers that join later.
    const std::string description =
        "queue name=leak leaky=downstream max-size-buffers=2 max-size-bytes=0 max-size-time=0 ! "
        "videoconvert ! video/x-raw,format=I420 ! " +
        encoder + " ! h264parse config-interval=-1";
    GError* parseError = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &parseError);
    if (!bin) {
        error = TakeError(parseError);
        return false;
    }
    if (parseError) g_error_free(parseError);
    gst_element_set_name(bin, kEncoder);
    m_encodedTee = GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("tee", "encoded")));
    g_object_set(m_encodedTee, "allow-not-linked", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(m_pipeline), bin, m_encodedTee, nullptr);
    m_encoder = std::make_unique<Joined>();
    m_encoder->name = kEncoder;
    m_encoder->bin = bin;
    m_encoder->tee = m_tee;
    g_object_set_qdata(G_OBJECT(bin), Joined::Key(), m_encoder.get());
    if (!gst_element_link(bin, m_encodedTee) || !gst_element_sync_state_with_parent(m_encodedTee) ||
        gst_element_set_state(bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the encoder would not start";
        StopEncoder();
        return false;
    }
    if (!m_encoder->Hang()) {
        error = "the encoder takes no such frames";
        StopEncoder();
        return false;
    }
    return true;
}

bool COutPipeline::AddBranch(const Branch& way, std::string& error)
{
    if (!Start(error) || (way.encoded && !StartEncoder(error))) {
        if (m_branches.empty()) Stop();
        return false;
    }
    const std::string description = "queue name=leak leaky=downstream max-size-buffers=" +
                                    std::to_string(std::max(1, way.queued)) +
                                    " max-size-bytes=0 max-size-time=0 ! " + way.chain;
    GError* parseError = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &parseError);
    if (!bin) {
        error = TakeError(parseError);
        if (m_branches.empty()) Stop();
        return false;
    }
    if (parseError) g_error_free(parseError);
    auto branch = std::make_unique<Joined>();
    branch->name = way.name;
    branch->encoded = way.encoded;
    branch->finish = way.finish;
    branch->bin = bin;
    branch->tee = way.encoded ? m_encodedTee : m_tee;
    g_object_set_qdata(G_OBJECT(bin), Joined::Key(), branch.get());
    gst_element_set_name(bin, way.name.c_str());
    gst_bin_add(GST_BIN(m_pipeline), bin);

    GstElement* queue = gst_bin_get_by_name(GST_BIN(bin), "leak");
    GstPad* queueOut = gst_element_get_static_pad(queue, "src");
    gst_pad_add_probe(queueOut, GST_PAD_PROBE_TYPE_BUFFER, Joined::CountSent, branch.get(),
                      nullptr);
    gst_object_unref(queueOut);
    if (way.encoded) {
        GstPad* queueIn = gst_element_get_static_pad(queue, "sink");
        gst_pad_add_probe(queueIn, GST_PAD_PROBE_TYPE_BUFFER, DropUntilKeyFrame, nullptr, nullptr);
        gst_object_unref(queueIn);
    }
    gst_object_unref(queue);
    if (way.finish) {
        GstIterator* sinks = gst_bin_iterate_sinks(GST_BIN(bin));
        GValue item = G_VALUE_INIT;
        if (gst_iterator_next(sinks, &item) == GST_ITERATOR_OK) {
            GstPad* last =
                gst_element_get_static_pad(GST_ELEMENT(g_value_get_object(&item)), "sink");
            gst_pad_add_probe(last, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, Joined::SeeEnd,
                              branch.get(), nullptr);
            gst_object_unref(last);
            g_value_unset(&item);
        }
        gst_iterator_free(sinks);
    }

    bool ok = !way.configure || way.configure(GST_BIN(bin), error);
    // Playing before it is linked: a tee pushing into a branch that is not yet playing would
    // stop every other way out.
    if (ok && gst_element_set_state(bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the way out would not start";
        ok = false;
    }
    if (ok) {
        branch->pushedAtJoin = m_pushed.load();
        ok = branch->Hang();
        if (!ok) error = "the way out takes no such frames";
        if (ok && way.encoded)
            gst_pad_send_event(branch->teePad, gst_video_event_new_upstream_force_key_unit(
                                                   GST_CLOCK_TIME_NONE, TRUE, 0));
    }
    if (!ok) {
        Remove(*branch, false);
        if (m_branches.empty()) Stop();
        return false;
    }
    m_branches.push_back(std::move(branch));
    return true;
}

COutPipeline::Counts COutPipeline::RemoveBranch(const std::string& name, bool failed)
{
    Counts counts;
    auto it = std::find_if(m_branches.begin(), m_branches.end(),
                           [&name](const auto& branch) { return branch->name == name; });
    if (it == m_branches.end()) return counts;
    Joined& branch = **it;
    Remove(branch, !failed);
    counts.joined = true;
    counts.sent = branch.Sent();
    // Not what others took while a recording's end was written.
    const unsigned long long handed = branch.pushedAtLeave - branch.pushedAtJoin;
    counts.dropped = handed > counts.sent ? handed - counts.sent : 0;
    m_branches.erase(it);
    if (m_encoder && std::none_of(m_branches.begin(), m_branches.end(),
                                  [](const auto& other) { return other->encoded; }))
        StopEncoder();
    if (m_branches.empty()) Stop();
    return counts;
}

unsigned long long COutPipeline::SentSoFar(const std::string& name) const
{
    for (const auto& branch : m_branches)
        if (branch->name == name) return branch->Sent();
    return 0;
}

void COutPipeline::Remove(Joined& branch, bool finish)
{
    // Unlinked first: the tee skips a pad that is not linked, so the frames flow on to the
    // other ways out while this one stops.
    if (branch.teePad) {
        GstPad* peer = gst_pad_get_peer(branch.teePad);
        if (peer) {
            gst_pad_unlink(branch.teePad, peer);
            gst_object_unref(peer);
        }
        gst_element_release_request_pad(branch.tee, branch.teePad);
        gst_object_unref(branch.teePad);
        branch.teePad = nullptr;
        branch.pushedAtLeave = m_pushed.load();
        if (finish && branch.finish) {
            // What is queued goes out before the end, which a muxer turns into its index.
            GstPad* binIn = gst_element_get_static_pad(branch.bin, "sink");
            gst_pad_send_event(binIn, gst_event_new_eos());
            gst_object_unref(binIn);
            std::unique_lock<std::mutex> hold(branch.lock);
            branch.ended.wait_for(hold, kFinishWait, [&branch] { return branch.end; });
        }
    }
    gst_element_set_state(branch.bin, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), branch.bin);
    branch.bin = nullptr;
}

void COutPipeline::StopEncoder()
{
    if (!m_encoder) return;
    Remove(*m_encoder, false);
    m_encoder.reset();
    gst_element_set_state(m_encodedTee, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), m_encodedTee);
    gst_object_unref(m_encodedTee);
    m_encodedTee = nullptr;
}

void COutPipeline::Stop()
{
    if (!m_pipeline) return;
    while (!m_branches.empty()) {
        Remove(*m_branches.back(), true);
        m_branches.pop_back();
    }
    StopEncoder();
    GstElement* source = nullptr;
    GstBufferPool* pool = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        std::swap(source, m_source);
        std::swap(pool, m_pool);
    }
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    gst_buffer_pool_set_active(pool, FALSE);
    gst_object_unref(pool);
    gst_object_unref(source);
    gst_object_unref(m_tee);
    gst_object_unref(m_pipeline);
    m_tee = m_pipeline = nullptr;
}

void COutPipeline::Push(const uint8_t* rows, int stride, long long tickNs)
{
    GstElement* source = nullptr;
    GstBufferPool* pool = nullptr;
    unsigned start = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_source) return;
        source = GST_ELEMENT(gst_object_ref(m_source));
        pool = GST_BUFFER_POOL(gst_object_ref(m_pool));
        start = m_starts;
    }
    m_pushed.fetch_add(1);
    // Times in whole ticks from the first frame, rising strictly: a tick that came late keeps
    // its place, and one planned afresh after a stall never shares another's.
    const long long intervalNs = static_cast<long long>(m_intervalMs) * 1000000;
    if (start != m_timedStart) {
        m_timedStart = start;
        m_firstTickNs = tickNs;
        m_lastTick = -1;
    }
    const long long tick = std::max(
        m_lastTick + 1, std::llround(static_cast<double>(tickNs - m_firstTickNs) / intervalNs));
    m_lastTick = tick;
    GstBufferPoolAcquireParams params = {};
    params.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    GstBuffer* buffer = nullptr;
    GstMapInfo map;
    if (gst_buffer_pool_acquire_buffer(pool, &buffer, &params) == GST_FLOW_OK &&
        gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        // Top row first, as video frames go.
        const size_t rowBytes = static_cast<size_t>(m_size.width) * 4;
        for (int y = 0; y < m_size.height; ++y)
            std::memcpy(map.data + rowBytes * y,
                        rows + static_cast<size_t>(stride) * (m_size.height - 1 - y), rowBytes);
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(tick * intervalNs);
        GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(intervalNs);
        gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
    } else if (buffer) {
        gst_buffer_unref(buffer);
    }
    gst_object_unref(pool);
    gst_object_unref(source);
}

std::vector<COutPipeline::Failure> COutPipeline::Failures()
{
    std::vector<Failure> failed;
    GstElement* pipeline = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_source) return failed;
        pipeline = GST_ELEMENT(gst_object_ref(m_pipeline));
    }
    GstBus* bus = gst_element_get_bus(pipeline);
    while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        // The branch is the bin right below the pipeline that holds the failing element;
        // parents are taken with their lock, since a branch may be leaving meanwhile.
        GstObject* object = GST_OBJECT(gst_object_ref(GST_MESSAGE_SRC(message)));
        while (GstObject* parent = gst_object_get_parent(object)) {
            const bool top = parent == GST_OBJECT(pipeline);
            if (top) {
                GError* error = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(message, &error, &debug);
                std::string why = TakeError(error);
                why += SystemWord(debug);
                g_free(debug);
                gchar* name = gst_object_get_name(object);
                failed.push_back({name, why});
                g_free(name);
            }
            gst_object_unref(object);
            object = parent;
            if (top) break;
        }
        gst_object_unref(object);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return failed;
}
