// A clip's playing: the seamless loop through segment seeks, its speed, pause, restart and
// reverse. Internal to the capture subsystem; one per clip pipeline.
#ifndef KOVRA_CAPTURE_CLIPLOOP_H
#define KOVRA_CAPTURE_CLIPLOOP_H

#include <gst/gst.h>

#include <memory>
#include <mutex>

class CClipLoop : public std::enable_shared_from_this<CClipLoop> {
public:
    // Holds a reference to the pipeline for as long as a seek of its may still run.
    explicit CClipLoop(GstElement* pipeline);
    ~CClipLoop();
    CClipLoop(const CClipLoop&) = delete;
    CClipLoop& operator=(const CClipLoop&) = delete;

    // Streaming thread: the caps of each stream the decoder meets, which tell whether its
    // frames stand alone (and so may play backwards).
    void NoteStream(const GstCaps* caps);
    // The building thread, once the pipeline has prerolled: the first looping segment.
    bool Begin();
    // The bus watch (any thread): the segment ended, or the whole clip (where a segment seek
    // was not taken). The next loop is sought on GStreamer's own thread, never the caller's.
    void Ended(bool segment);

    // Any streaming thread, each event on its way into the sink: a pass that follows the last
    // without a flush is made to start where the last one ended, its whole length on. Some
    // demuxers (MP4's, Matroska's) start it at the last frame's start instead, so that the last
    // frame and the next pass's first fall due together and the last is hardly seen. Returns
    // the event to pass on in its place, or null to pass it on as it is.
    GstEvent* AtSink(GstEvent* event);

    // Before the pipeline stops: waits for a seek under way, and no later one touches the
    // pipeline (a pause undone late would set a stopped pipeline playing again).
    void Stop();

    // The performer's wishes, from any thread; each is applied on GStreamer's own thread.
    void SetSpeed(double speed);
    void TogglePause();
    void Restart();
    void ToggleReverse();
    double Speed() const;
    bool Paused() const;
    bool Reversed() const;
    // The sink's segment rate, or 0 when it does not say.
    double SegmentRate() const;

    static constexpr double kMinSpeed = 0.25;
    static constexpr double kMaxSpeed = 4.0;

private:
    enum class Job { Apply, Loop, Rewind };
    void Schedule(Job job);
    void Run(Job job);
    bool Seek(double rate, GstSeekFlags flags, gint64 start, gint64 stop);

    GstElement* const m_pipeline;
    // The wishes and what the streams allow.
    mutable std::mutex m_wishLock;
    double m_speed = 1.0;
    bool m_paused = false;
    bool m_reversed = false;
    unsigned m_restarts = 0;
    bool m_standAlone = false;  // a stream of pictures that stand alone was seen
    bool m_dependent = false;   // a stream of frames that depend on others was seen
    // What the seeks made of them: one at a time, in order.
    std::mutex m_applyLock;
    double m_rate = 1.0;
    bool m_playingPaused = false;
    unsigned m_restarted = 0;
    gint64 m_duration = -1;
    bool m_stopped = false;
    // The pass the sink plays, as it was passed on; none after a flush.
    std::mutex m_sinkLock;
    GstSegment m_pass;
    guint32 m_passSeqnum = GST_SEQNUM_INVALID;
    bool m_havePass = false;
};

#endif
