// The ways out's own GStreamer pipeline: the frames go into an appsrc, then a tee feeds each way
// out (a branch) through a leaky queue of its own, so that a slow or stuck consumer drops
// frames, counted, and never holds up the tick or another way out. Internal to output/.
#ifndef KOVRA_OUTPUT_OUTPIPELINE_H
#define KOVRA_OUTPUT_OUTPIPELINE_H

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OutSize.h"

class COutPipeline {
public:
    struct Counts {
        unsigned long long sent = 0;
        unsigned long long dropped = 0;
    };

    // Frames of `size`, RGBx, at one frame per `intervalMs` (the tick's rate).
    COutPipeline(OutSize size, int intervalMs);
    ~COutPipeline();
    COutPipeline(const COutPipeline&) = delete;
    COutPipeline& operator=(const COutPipeline&) = delete;

    // On the worker (these may wait on the consumers): the source and the tee, playing; a
    // branch joined (`chain` is its elements after its queue, in gst-launch's words) or left,
    // with its counts; everything stopped. False with `error` set on failure.
    bool Start(std::string& error);
    bool AddBranch(const std::string& name, const std::string& chain, std::string& error);
    Counts RemoveBranch(const std::string& name);
    void Stop();
    // The frames a branch has sent so far, where no branch joins or leaves meanwhile.
    unsigned long long SentSoFar(const std::string& name) const;

    // On the tick: one frame, rows bottom first as OpenGL reads them, `stride` bytes apart,
    // at `tickNs` of the tick's clock. Never waits: with no free buffer the frame is dropped.
    void Push(const uint8_t* rows, int stride, long long tickNs);

    // The name of a branch that reported an error on the bus since the last look, else "".
    std::string FailedBranch();

private:
    struct Branch {
        std::string name;
        GstElement* bin = nullptr;  // owned by the pipeline while it is in it
        GstPad* teePad = nullptr;
        std::atomic<unsigned long long> sent{0};
        unsigned long long pushedAtJoin = 0;
    };

    void Remove(Branch& branch);

    const OutSize m_size;
    const int m_intervalMs;
    GstElement* m_pipeline = nullptr;
    GstElement* m_source = nullptr;
    GstElement* m_tee = nullptr;
    GstBufferPool* m_pool = nullptr;
    std::vector<std::unique_ptr<Branch>> m_branches;
    std::atomic<unsigned long long> m_pushed{0};
    long long m_firstTickNs = -1;  // the tick thread's alone
};

#endif
