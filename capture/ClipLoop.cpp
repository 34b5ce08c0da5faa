// A clip's playing; see ClipLoop.h.
#include "ClipLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// One seek's call on GStreamer's pool, handed over under a lock of its own: the pool's own
// hand-over is not one ThreadSanitizer sees.
struct Call {
    std::mutex lock;
    std::shared_ptr<CClipLoop> loop;
    int job = 0;
};

}  // namespace

CClipLoop::CClipLoop(GstElement* pipeline) : m_pipeline(GST_ELEMENT(gst_object_ref(pipeline))) {}

CClipLoop::~CClipLoop() { gst_object_unref(m_pipeline); }

void CClipLoop::NoteStream(const GstCaps* caps)
{
    if (!caps || gst_caps_get_size(caps) == 0) return;
    const char* name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
    const bool picture = std::strncmp(name, "image/", 6) == 0;
    const bool video = std::strncmp(name, "video/", 6) == 0;
    std::lock_guard<std::mutex> hold(m_wishLock);
    if (picture) m_standAlone = true;
    // Raw video stands alone as well; any other coded video depends on its key frames.
    if (video && std::strcmp(name, "video/x-raw") != 0) m_dependent = true;
}

bool CClipLoop::Seek(double rate, GstSeekFlags flags, gint64 start, gint64 stop)
{
    return gst_element_seek(m_pipeline, rate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET, start,
                            stop < 0 ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET,
                            stop < 0 ? GST_CLOCK_TIME_NONE : stop);
}

bool CClipLoop::Begin()
{
    std::lock_guard<std::mutex> hold(m_applyLock);
    gint64 duration = -1;
    if (gst_element_query_duration(m_pipeline, GST_FORMAT_TIME, &duration)) m_duration = duration;
    // Each pass ends at the clip's duration, not at its last frame's start: the next pass
    // then begins after the last frame has had its time, which is not skipped.
    return Seek(1.0, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT), 0, m_duration);
}

GstEvent* CClipLoop::AtSink(GstEvent* event)
{
    std::lock_guard<std::mutex> hold(m_sinkLock);
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) m_havePass = false;
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT) return nullptr;
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    if (segment->format != GST_FORMAT_TIME) return nullptr;
    const guint32 seqnum = gst_event_get_seqnum(event);
    GstSegment pass;
    gst_segment_copy_into(segment, &pass);
    if (m_havePass && seqnum == m_passSeqnum) {
        pass.base = m_pass.base;  // the same pass told again
    } else if (m_havePass) {
        // The last pass's end: its stop going forwards, its start going backwards.
        const guint64 end = gst_segment_to_running_time(
            &m_pass, GST_FORMAT_TIME, m_pass.rate > 0 ? m_pass.stop : m_pass.start);
        if (GST_CLOCK_TIME_IS_VALID(end) && end > pass.base) pass.base = end;
    }
    gst_segment_copy_into(&pass, &m_pass);
    m_passSeqnum = seqnum;
    m_havePass = true;
    if (pass.base == segment->base) return nullptr;
    GstEvent* replaced = gst_event_new_segment(&pass);
    gst_event_set_seqnum(replaced, seqnum);
    return replaced;
}

void CClipLoop::Ended(bool segment) { Schedule(segment ? Job::Loop : Job::Rewind); }

void CClipLoop::Schedule(Job job)
{
    auto* call = new Call;
    {
        std::lock_guard<std::mutex> hold(call->lock);
        call->loop = shared_from_this();
        call->job = static_cast<int>(job);
    }
    gst_element_call_async(
        m_pipeline,
        [](GstElement*, gpointer data) {
            auto* c = static_cast<Call*>(data);
            std::shared_ptr<CClipLoop> loop;
            int job = 0;
            {
                std::lock_guard<std::mutex> hold(c->lock);
                loop = std::move(c->loop);
                job = c->job;
            }
            loop->Run(static_cast<Job>(job));
        },
        call, [](gpointer data) { delete static_cast<Call*>(data); });
}

void CClipLoop::Stop()
{
    std::lock_guard<std::mutex> apply(m_applyLock);
    m_stopped = true;
}

void CClipLoop::Run(Job job)
{
    std::lock_guard<std::mutex> apply(m_applyLock);
    if (m_stopped) return;
    double speed = 1.0;
    bool paused = false;
    bool reversed = false;
    unsigned restarts = 0;
    {
        std::lock_guard<std::mutex> hold(m_wishLock);
        speed = m_speed;
        paused = m_paused;
        restarts = m_restarts;
        reversed = m_reversed && m_standAlone && !m_dependent;
    }
    const double rate = reversed ? -speed : speed;
    // The loop: a segment seek without a flush, so the last frame stays and the first
    // follows it with no gap. Backwards, the segment runs from the end to the start.
    if (job == Job::Loop) {
        Seek(m_rate, GST_SEEK_FLAG_SEGMENT, 0, m_duration);
        return;
    }
    if (job == Job::Rewind) {
        Seek(m_rate, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT), 0, m_duration);
        return;
    }
    if (paused != m_playingPaused) {
        gst_element_set_state(m_pipeline, paused ? GST_STATE_PAUSED : GST_STATE_PLAYING);
        m_playingPaused = paused;
    }
    if (rate == m_rate && restarts == m_restarted) return;
    gint64 position = 0;
    const bool restart = restarts != m_restarted;
    if (!restart && !gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &position))
        position = 0;
    // A rate seek from where it is now: forwards to the end, backwards to the start.
    const GstSeekFlags flags =
        GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT | GST_SEEK_FLAG_ACCURATE);
    const bool sought = rate > 0 ? Seek(rate, flags, restart ? 0 : position, m_duration)
                                 : Seek(rate, flags, 0, restart ? m_duration : position);
    if (sought) {
        m_rate = rate;
        m_restarted = restarts;
    }
}

void CClipLoop::SetSpeed(double speed)
{
    if (std::isnan(speed)) return;
    {
        std::lock_guard<std::mutex> hold(m_wishLock);
        m_speed = std::clamp(speed, kMinSpeed, kMaxSpeed);
    }
    Schedule(Job::Apply);
}

void CClipLoop::TogglePause()
{
    {
        std::lock_guard<std::mutex> hold(m_wishLock);
        m_paused = !m_paused;
    }
    Schedule(Job::Apply);
}

void CClipLoop::Restart()
{
    {
        std::lock_guard<std::mutex> hold(m_wishLock);
        ++m_restarts;
    }
    Schedule(Job::Apply);
}

void CClipLoop::ToggleReverse()
{
    {
        std::lock_guard<std::mutex> hold(m_wishLock);
        m_reversed = !m_reversed;
        if (m_reversed && (!m_standAlone || m_dependent)) {
            m_reversed = false;
            std::fprintf(stderr,
                         "Reverse needs a clip whose frames stand alone (MJPEG or pictures); "
                         "this one plays forwards.\n");
            return;
        }
    }
    Schedule(Job::Apply);
}

double CClipLoop::Speed() const
{
    std::lock_guard<std::mutex> hold(m_wishLock);
    return m_speed;
}

bool CClipLoop::Paused() const
{
    std::lock_guard<std::mutex> hold(m_wishLock);
    return m_paused;
}

bool CClipLoop::Reversed() const
{
    std::lock_guard<std::mutex> hold(m_wishLock);
    return m_reversed;
}

double CClipLoop::SegmentRate() const
{
    GstQuery* query = gst_query_new_segment(GST_FORMAT_TIME);
    double rate = 0.0;
    if (gst_element_query(m_pipeline, query))
        gst_query_parse_segment(query, &rate, nullptr, nullptr, nullptr);
    gst_query_unref(query);
    return rate;
}
