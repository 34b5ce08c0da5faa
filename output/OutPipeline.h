// The ways out's own GStreamer pipeline: the frames go into an appsrc, then a tee feeds each way
// out (a branch) through a leaky queue of its own, so that a slow or stuck consumer drops
// frames, counted, and never holds up the tick or another way out. The branches that take H.264
// share one encoder, which comes with the first of them and goes with the last. Internal to
// output/.
#ifndef KOVRA_OUTPUT_OUTPIPELINE_H
#define KOVRA_OUTPUT_OUTPIPELINE_H

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OutSize.h"

class COutPipeline {
public:
    struct Counts {
        bool joined = false;  // whether the branch was there to leave
        unsigned long long sent = 0;
        unsigned long long dropped = 0;
    };
    struct Failure {
        std::string branch;  // or kEncoder
        std::string why;
    };

    // A way out: its elements after its queue, in gst-launch's words.
    struct Branch {
        std::string name;
        std::string chain;
        // Takes the shared encoder's H.264 instead of the frames themselves.
        bool encoded = false;
        // How far it may fall behind before it loses the oldest.
        int queued = 2;
        // Sets what cannot go through gst-launch's words (a file's name, a passphrase), before
        // the branch plays; false with `error` set refuses the branch.
        std::function<bool(GstBin* bin, std::string& error)> configure;
        // At leaving, its end goes down the branch and is waited for (a file's index).
        bool finish = false;
    };

    // Frames of `size`, RGBx, at one frame per `intervalMs` (the tick's rate).
    COutPipeline(OutSize size, int intervalMs);
    ~COutPipeline();
    COutPipeline(const COutPipeline&) = delete;
    COutPipeline& operator=(const COutPipeline&) = delete;

    // The name the shared encoder reports its errors under.
    static constexpr const char* kEncoder = "encoder";
    // The shared encoder's elements, in gst-launch's words, or "" when none is installed.
    static std::string EncoderChain();

    // On one thread at a time, beside Push (these may wait on the consumers): a branch joined,
    // with the pipeline started for the first; a branch left, with its counts, and the
    // pipeline stopped with the last (`failed`: its end is not waited for). False with `error`
    // set on failure.
    bool AddBranch(const Branch& branch, std::string& error);
    Counts RemoveBranch(const std::string& name, bool failed = false);
    void Stop();
    // The frames a branch has sent so far (on the thread that joins and leaves).
    unsigned long long SentSoFar(const std::string& name) const;

    // On the tick: one frame, rows bottom first as OpenGL reads them, `stride` bytes apart,
    // at `tickNs` of the tick's clock. Never waits: with no free buffer the frame is dropped.
    void Push(const uint8_t* rows, int stride, long long tickNs);

    // The names of the branches (or kEncoder) that reported an error since the last look;
    // from any thread.
    std::vector<Failure> Failures();

private:
    struct Joined;

    bool Start(std::string& error);
    bool StartEncoder(std::string& error);
    // Out of the pipeline; its end sent down and waited for when asked.
    void Remove(Joined& branch, bool finish);
    void StopEncoder();

    const OutSize m_size;
    const int m_intervalMs;
    // The tick's way in and the watch's: they take references under the lock, so a stop never
    // pulls the source, the pool or the pipeline from under them.
    mutable std::mutex m_lock;
    GstElement* m_pipeline = nullptr;
    GstElement* m_source = nullptr;
    GstBufferPool* m_pool = nullptr;
    GstElement* m_tee = nullptr;
    std::unique_ptr<Joined> m_encoder;
    GstElement* m_encodedTee = nullptr;
    std::vector<std::unique_ptr<Joined>> m_branches;  // the structure's thread's alone
    unsigned m_starts = 0;  // under the lock: which start the frames go to
    std::atomic<unsigned long long> m_pushed{0};
    // The tick thread's alone: the start its frames are timed for, the first frame's time and
    // the last frame's tick number.
    unsigned m_timedStart = 0;
    long long m_firstTickNs = 0;
    long long m_lastTick = -1;
};

#endif
