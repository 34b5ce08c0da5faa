// The ways out's pipeline; see OutPipeline.h.
#include "OutPipeline.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cstring>

namespace {

// A consumer that falls behind by more than this many frames loses the oldest.
constexpr int kQueuedFrames = 2;
// Frames in flight: the source's queue, each branch's queue and one being sent.
constexpr unsigned kPoolFrames = 8;

GstPadProbeReturn CountSent(GstPad*, GstPadProbeInfo*, gpointer counter)
{
    static_cast<std::atomic<unsigned long long>*>(counter)->fetch_add(1);
    return GST_PAD_PROBE_OK;
}

std::string TakeError(GError* error)
{
    std::string text = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    return text;
}

}  // namespace

COutPipeline::COutPipeline(OutSize size, int intervalMs)
    : m_size(size), m_intervalMs(std::max(1, intervalMs))
{
}

COutPipeline::~COutPipeline() { Stop(); }

bool COutPipeline::Start(std::string& error)
{
    if (m_pipeline) return true;
    GError* parseError = nullptr;
    m_pipeline =
        gst_parse_launch("appsrc name=src ! tee name=split allow-not-linked=true", &parseError);
    if (!m_pipeline) {
        error = TakeError(parseError);
        return false;
    }
    if (parseError) g_error_free(parseError);
    m_source = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
    m_tee = gst_bin_get_by_name(GST_BIN(m_pipeline), "split");
    GstCaps* caps = gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "RGBx", "width", G_TYPE_INT, m_size.width, "height",
        G_TYPE_INT, m_size.height, "framerate", GST_TYPE_FRACTION, 1000, m_intervalMs, nullptr);
    // The tick never waits on the source: past two frames the oldest goes.
    g_object_set(m_source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, "block", FALSE,
                 "max-bytes", static_cast<guint64>(0), "max-buffers",
                 static_cast<guint64>(kQueuedFrames), "leaky-type", GST_APP_LEAKY_TYPE_DOWNSTREAM,
                 nullptr);
    m_pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(m_pool);
    gst_buffer_pool_config_set_params(
        config, caps, static_cast<guint>(m_size.width) * m_size.height * 4, 2, kPoolFrames);
    gst_caps_unref(caps);
    if (!gst_buffer_pool_set_config(m_pool, config) || !gst_buffer_pool_set_active(m_pool, TRUE)) {
        error = "no buffers for the frames";
        Stop();
        return false;
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = "the pipeline would not play";
        Stop();
        return false;
    }
    return true;
}

bool COutPipeline::AddBranch(const std::string& name, const std::string& chain, std::string& error)
{
    if (!m_pipeline) {
        error = "the pipeline is not playing";
        return false;
    }
    const std::string description =
        "queue name=leak leaky=downstream max-size-buffers=" + std::to_string(kQueuedFrames) +
        " max-size-bytes=0 max-size-time=0 ! " + chain;
    GError* parseError = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &parseError);
    if (!bin) {
        error = TakeError(parseError);
        return false;
    }
    if (parseError) g_error_free(parseError);
    auto branch = std::make_unique<Branch>();
    branch->name = name;
    branch->bin = bin;
    gst_element_set_name(bin, name.c_str());
    gst_bin_add(GST_BIN(m_pipeline), bin);
    GstElement* queue = gst_bin_get_by_name(GST_BIN(bin), "leak");
    GstPad* queueOut = gst_element_get_static_pad(queue, "src");
    gst_pad_add_probe(queueOut, GST_PAD_PROBE_TYPE_BUFFER, CountSent, &branch->sent, nullptr);
    gst_object_unref(queueOut);
    gst_object_unref(queue);
    branch->teePad = gst_element_request_pad_simple(m_tee, "src_%u");
    GstPad* binIn = gst_element_get_static_pad(bin, "sink");
    const bool linked = gst_pad_link(branch->teePad, binIn) == GST_PAD_LINK_OK;
    gst_object_unref(binIn);
    branch->pushedAtJoin = m_pushed.load();
    if (!linked || gst_element_set_state(bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        error = linked ? "the way out would not start" : "the way out takes no such frames";
        Remove(*branch);
        return false;
    }
    m_branches.push_back(std::move(branch));
    return true;
}

COutPipeline::Counts COutPipeline::RemoveBranch(const std::string& name)
{
    Counts counts;
    auto it = std::find_if(m_branches.begin(), m_branches.end(),
                           [&name](const auto& branch) { return branch->name == name; });
    if (it == m_branches.end()) return counts;
    Branch& branch = **it;
    Remove(branch);
    counts.sent = branch.sent.load();
    const unsigned long long handed = m_pushed.load() - branch.pushedAtJoin;
    counts.dropped = handed > counts.sent ? handed - counts.sent : 0;
    m_branches.erase(it);
    return counts;
}

unsigned long long COutPipeline::SentSoFar(const std::string& name) const
{
    for (const auto& branch : m_branches)
        if (branch->name == name) return branch->sent.load();
    return 0;
}

void COutPipeline::Remove(Branch& branch)
{
    // Unlinked first: the tee skips a pad that is not linked, so the frames flow on to the
    // other ways out while this one stops.
    if (branch.teePad) {
        GstPad* peer = gst_pad_get_peer(branch.teePad);
        if (peer) {
            gst_pad_unlink(branch.teePad, peer);
            gst_object_unref(peer);
        }
        gst_element_release_request_pad(m_tee, branch.teePad);
        gst_object_unref(branch.teePad);
        branch.teePad = nullptr;
    }
    gst_element_set_state(branch.bin, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), branch.bin);
    branch.bin = nullptr;
}

void COutPipeline::Stop()
{
    if (!m_pipeline) return;
    while (!m_branches.empty()) RemoveBranch(m_branches.back()->name);
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    if (m_pool) {
        gst_buffer_pool_set_active(m_pool, FALSE);
        gst_object_unref(m_pool);
        m_pool = nullptr;
    }
    gst_object_unref(m_tee);
    gst_object_unref(m_source);
    gst_object_unref(m_pipeline);
    m_tee = m_source = m_pipeline = nullptr;
    m_firstTickNs = -1;
}

void COutPipeline::Push(const uint8_t* rows, int stride, long long tickNs)
{
    if (!m_pipeline) return;
    m_pushed.fetch_add(1);
    GstBufferPoolAcquireParams params = {};
    params.flags = GST_BUFFER_POOL_ACQUIRE_FLAG_DONTWAIT;
    GstBuffer* buffer = nullptr;
    if (gst_buffer_pool_acquire_buffer(m_pool, &buffer, &params) != GST_FLOW_OK) return;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return;
    }
    // Top row first, as video frames go.
    const size_t rowBytes = static_cast<size_t>(m_size.width) * 4;
    for (int y = 0; y < m_size.height; ++y)
        std::memcpy(map.data + rowBytes * y,
                    rows + static_cast<size_t>(stride) * (m_size.height - 1 - y), rowBytes);
    gst_buffer_unmap(buffer, &map);
    if (m_firstTickNs < 0) m_firstTickNs = tickNs;
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(tickNs - m_firstTickNs);
    GST_BUFFER_DURATION(buffer) = static_cast<GstClockTime>(m_intervalMs) * GST_MSECOND;
    gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer);
}

std::string COutPipeline::FailedBranch()
{
    if (!m_pipeline) return {};
    GstBus* bus = gst_element_get_bus(m_pipeline);
    std::string failed;
    while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        // The branch is the bin right below the pipeline that holds the failing element;
        // parents are taken with their lock, since a branch may be leaving on the worker.
        GstObject* object = GST_OBJECT(gst_object_ref(GST_MESSAGE_SRC(message)));
        while (GstObject* parent = gst_object_get_parent(object)) {
            const bool top = parent == GST_OBJECT(m_pipeline);
            if (top && failed.empty()) failed = GST_OBJECT_NAME(object);
            gst_object_unref(object);
            object = parent;
            if (top) break;
        }
        gst_object_unref(object);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return failed;
}
