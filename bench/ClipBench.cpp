// A clip played through the capture as a camera, without a window; clips made at bench time.
// Frame age: a 1 s 640x480 H.264 clip whose colour bars scroll 8 pixels a frame, so that each
// frame tells its index. Ticks every 33 ms take the newest frame, as the frame loop does (300
// ticks after 30). A frame's age is the time since it was due by the pipeline clock (the sink
// waits for that moment, on the same monotonic clock as ours): its pass's start plus its own
// time in the clip. Where the passes start comes from 2.5 s of polling every millisecond before
// the ticks: the length of a pass as it plays, and the earliest arrival seen, so that an age
// leaves out the sink's quickest hand-over (well under a millisecond at this size).
// The seam: polling every millisecond for 10 s (about ten passes), the gap before each new frame
// at the seam (last frame to first) and elsewhere against the clip's frame duration, the length
// of a pass against the clip's, and the frames never seen.
// CPU: a 4 s 1280x720 H.264 clip: the process's CPU time per second of wall time over 10 s, the
// clip alone and with ticks every 33 ms that make the picture from it as the frame memory does,
// at PICTURE 384 and 720 (the capture decodes a clip at its own size whatever the picture size).
#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchClips.h"
#include "BenchStats.h"
#include "CaptureSetup.h"
#include "FrameMemory.h"
#include "PictureSize.h"
#include "VideoCapture.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kScrollFrames = kClipRate;  // 1 s
constexpr double kFrameMs = 1000.0 / kClipRate;
constexpr auto kTick = std::chrono::milliseconds(33);
constexpr auto kPoll = std::chrono::milliseconds(1);

double Ms(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}
Clock::duration Span(double ms)
{
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

// A pipeline of the bench's own, stopped and given back with its owner.
struct PipelineStop {
    void operator()(GstElement* pipeline) const
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

// The clip's length as the loop takes it (the pipeline's duration query), ms; 0 when unknown.
double ClipLengthMs(const std::string& path)
{
    GError* error = nullptr;
    std::unique_ptr<GstElement, PipelineStop> pipeline(gst_parse_launch(
        ("filesrc location=\"" + path + "\" ! decodebin ! fakesink").c_str(), &error));
    if (error) g_error_free(error);
    gint64 duration = 0;
    if (!pipeline ||
        gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(pipeline.get(), nullptr, nullptr, 5 * GST_SECOND) !=
            GST_STATE_CHANGE_SUCCESS ||
        !gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration))
        return 0;
    return duration / 1e6;
}

// The clips, made once by the first benchmark that needs them.
struct Clips {
    QTemporaryDir folder;
    std::string scroll, hd;
    double scrollLengthMs = 0;
    bool made = false;
};
const Clips& TheClips()
{
    static Clips clips;
    if (clips.made || !clips.folder.isValid()) return clips;
    clips.scroll = clips.folder.filePath("scroll.mp4").toStdString();
    clips.hd = clips.folder.filePath("hd.mp4").toStdString();
    clips.made = MakeClip(clips.scroll, 640, 480, kScrollFrames, "smpte", true) &&
                 MakeClip(clips.hd, 1280, 720, 4 * kClipRate, "smpte", true);
    clips.scrollLengthMs = ClipLengthMs(clips.scroll);
    return clips;
}

// The clip at `path` playing through the capture; null, with the reason, when it does not.
// The clips, or null with the benchmark skipped when they could not be made.
const Clips* MadeClips(benchmark::State& state)
{
    const Clips& clips = TheClips();
    if (clips.made) return &clips;
    state.SkipWithError("the clip could not be made (gst-launch-1.0, x264enc, mp4mux)");
    return nullptr;
}

std::unique_ptr<CVideoCapture> Play(const std::string& path, benchmark::State& state)
{
    auto capture = std::make_unique<CVideoCapture>(0);
    capture->SetFile(path);
    if (capture->BuildGraph(false, nullptr)) return capture;
    state.SkipWithError(("the clip did not play: " + capture->FileProblem()).c_str());
    return nullptr;
}

// A new frame seen while polling: its index, the pass it belongs to (counted from the first
// frame seen), and when it was seen.
struct Arrival {
    int index;
    int pass;
    Clock::time_point at;
};

// Polls the newest frame every millisecond for `ms`: every new one after the first.
std::vector<Arrival> PollArrivals(CVideoCapture& capture, std::vector<uint8_t>& frame, int ms)
{
    std::vector<Arrival> arrivals;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    int last = -1, pass = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(kPoll);
        capture.CopyFrame(frame.data());
        const Clock::time_point at = Clock::now();
        const int index = ScrollIndex(frame.data(), capture.GetWidth(), capture.GetHeight());
        if (index < 0 || index == last) continue;
        if (index < last) ++pass;
        if (last >= 0) arrivals.push_back({index, pass, at});
        last = index;
    }
    return arrivals;
}

// How long one pass of the loop really takes, ms: the median time between a frame's arrival and
// its arrival in the next pass; 0 when no frame was seen twice.
double PassMs(const std::vector<Arrival>& arrivals)
{
    std::vector<double> periods;
    for (const Arrival& first : arrivals) {
        for (const Arrival& again : arrivals) {
            if (again.index == first.index && again.pass == first.pass + 1)
                periods.push_back(Ms(again.at - first.at));
        }
    }
    return Median(periods);
}

// The scrolling clip's frames on the pipeline clock, from the arrivals seen: where the first
// pass began and how long a pass takes, so when frame n of the pass that holds a moment was due.
class Timeline {
public:
    explicit Timeline(const std::vector<Arrival>& arrivals) : m_passMs(PassMs(arrivals))
    {
        // The earliest arrival, less its frame's time since the first pass began.
        m_origin = Clock::time_point::max();
        for (const Arrival& arrival : arrivals)
            m_origin = std::min(
                m_origin, arrival.at - Span(arrival.pass * m_passMs + arrival.index * kFrameMs));
    }
    bool Known() const { return m_passMs > 0; }
    // The latest moment at or before `now` (with a little slack for the origin's own error)
    // when frame n was due.
    Clock::time_point Due(int n, Clock::time_point now) const
    {
        const double sinceOrigin = Ms(now - m_origin) + 1.0 - n * kFrameMs;
        const double passes = sinceOrigin > 0 ? std::floor(sinceOrigin / m_passMs) : 0;
        return m_origin + Span(passes * m_passMs + n * kFrameMs);
    }

private:
    double m_passMs;
    Clock::time_point m_origin;
};

void BM_ClipFrameAgeAtTick(benchmark::State& state)
{
    const Clips* made = MadeClips(state);
    if (!made) return;
    const Clips& clips = *made;
    for (auto _ : state) {
        const std::unique_ptr<CVideoCapture> capture = Play(clips.scroll, state);
        if (!capture) return;
        std::vector<uint8_t> frame(static_cast<size_t>(capture->GetFrameSize()));
        const Timeline timeline(PollArrivals(*capture, frame, 2500));
        if (!timeline.Known()) {
            state.SkipWithError("the clip did not loop, or its frames told no index");
            return;
        }
        std::vector<double> agesMs;
        auto due = Clock::now();
        for (int tick = 0; tick < 330; ++tick) {
            due += kTick;
            std::this_thread::sleep_until(due);
            capture->CopyFrame(frame.data());
            const Clock::time_point now = Clock::now();
            const int index = ScrollIndex(frame.data(), capture->GetWidth(), capture->GetHeight());
            if (tick >= 30 && index >= 0) agesMs.push_back(Ms(now - timeline.Due(index, now)));
        }
        state.counters["age_median_ms"] = Median(agesMs);
        state.counters["age_p99_ms"] = Percentile99(agesMs);
        state.counters["ticks_read"] = static_cast<double>(agesMs.size());
    }
}

void BM_ClipSeam(benchmark::State& state)
{
    const Clips* made = MadeClips(state);
    if (!made) return;
    const Clips& clips = *made;
    for (auto _ : state) {
        const std::unique_ptr<CVideoCapture> capture = Play(clips.scroll, state);
        if (!capture) return;
        std::vector<uint8_t> frame(static_cast<size_t>(capture->GetFrameSize()));
        const std::vector<Arrival> arrivals = PollArrivals(*capture, frame, 10000);
        std::vector<double> seamGaps, otherGaps;
        long unseen = 0;
        for (size_t i = 1; i < arrivals.size(); ++i) {
            const Arrival& last = arrivals[i - 1];
            const Arrival& now = arrivals[i];
            (now.pass > last.pass ? seamGaps : otherGaps).push_back(Ms(now.at - last.at));
            unseen += (now.index - last.index - 1 + kScrollFrames) % kScrollFrames;
        }
        if (seamGaps.empty() || otherGaps.empty()) {
            state.SkipWithError("the clip did not loop");
            return;
        }
        state.counters["frame_ms"] = kFrameMs;
        state.counters["clip_ms"] = clips.scrollLengthMs;
        state.counters["pass_ms"] = PassMs(arrivals);
        state.counters["seams"] = static_cast<double>(seamGaps.size());
        state.counters["seam_gap_median_ms"] = Median(seamGaps);
        state.counters["seam_gap_max_ms"] = *std::max_element(seamGaps.begin(), seamGaps.end());
        state.counters["gap_median_ms"] = Median(otherGaps);
        state.counters["gap_max_ms"] = *std::max_element(otherGaps.begin(), otherGaps.end());
        state.counters["frames_unseen"] = static_cast<double>(unseen);
    }
}

// `picture`: the PICTURE the ticks make the picture at, or null for the clip alone.
void BM_ClipCpu(benchmark::State& state, const char* picture)
{
    const Clips* made = MadeClips(state);
    if (!made) return;
    const Clips& clips = *made;
    for (auto _ : state) {
        std::unique_ptr<CVideoCapture> capture = Play(clips.hd, state);
        if (!capture) return;
        CFrameMemory memory;
        if (picture) {
            const PictureSize size = ParsePictureSize(picture);
            memory.m_nTargetWidth = size.width;
            memory.m_nTargetHeight = size.height;
            if (!memory.Open(std::move(capture))) {
                state.SkipWithError("no frame memory");
                return;
            }
        }
        // A second to settle, then 10 s measured.
        auto due = Clock::now();
        const Clock::time_point settled = due + std::chrono::seconds(1);
        const Clock::time_point end = settled + std::chrono::seconds(10);
        double cpuStart = 0;
        Clock::time_point start;
        bool measuring = false;
        while (due < end) {
            due += kTick;
            std::this_thread::sleep_until(due);
            if (!measuring && due >= settled) {
                measuring = true;
                cpuStart = CpuSeconds();
                start = Clock::now();
            }
            memory.Update();  // nothing without the frame memory: the clip alone
        }
        const double cpu = CpuSeconds() - cpuStart;
        state.counters["cpu_percent"] = 100.0 * cpu / (Ms(Clock::now() - start) / 1000.0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    InitCapture();
    benchmark::Initialize(&argc, argv);
    for (benchmark::internal::Benchmark* bench :
         {benchmark::RegisterBenchmark("BM_ClipFrameAgeAtTick", BM_ClipFrameAgeAtTick),
          benchmark::RegisterBenchmark("BM_ClipSeam", BM_ClipSeam),
          benchmark::RegisterBenchmark("BM_ClipCpu/1280x720/alone", BM_ClipCpu, nullptr),
          benchmark::RegisterBenchmark("BM_ClipCpu/1280x720/picture:384", BM_ClipCpu, "384"),
          benchmark::RegisterBenchmark("BM_ClipCpu/1280x720/picture:720", BM_ClipCpu, "720")})
        bench->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
