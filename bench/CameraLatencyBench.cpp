// Camera to texture: the age of the frame that a tick takes from the camera, with a test
// camera that stamps each frame with the time it was made. Ticks every 33 ms, as the frame
// loop does; a camera at 30 frames a second. Median and 99th percentile over 300 ticks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "CaptureSetup.h"
#include "TestDevices.h"
#include "VideoCapture.h"

namespace {

void BM_FrameAgeAtTick(benchmark::State& state)
{
    for (auto _ : state) {
        CVideoCapture capture(DevicePosition(kClock));
        if (!capture.BuildGraph(false, nullptr)) {
            state.SkipWithError("the stamping camera did not start");
            return;
        }
        std::vector<uint8_t> frame(static_cast<size_t>(capture.GetFrameSize()));
        std::vector<double> agesMs;
        auto due = std::chrono::steady_clock::now();
        for (int tick = 0; tick < 330; ++tick) {
            due += std::chrono::milliseconds(33);
            std::this_thread::sleep_until(due);
            capture.CopyFrame(frame.data());
            const uint64_t stamp =
                ClockStamp(frame.data(), capture.GetWidth(), capture.GetHeight());
            if (tick >= 30 && stamp != 0) agesMs.push_back((ClockNowNs() - stamp) / 1e6);
        }
        capture.StopGraph();
        std::sort(agesMs.begin(), agesMs.end());
        if (agesMs.empty()) {
            state.SkipWithError("no stamped frame arrived");
            return;
        }
        state.counters["age_median_ms"] = agesMs[agesMs.size() / 2];
        state.counters["age_p99_ms"] = agesMs[agesMs.size() * 99 / 100];
        state.counters["age_max_ms"] = agesMs.back();
    }
}

BENCHMARK(BM_FrameAgeAtTick)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    InitCapture();
    RegisterTestDevices();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
