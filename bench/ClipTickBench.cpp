// Two 1280x720 H.264 clips (4 s, 30 frames a second, made at bench time) as cameras A and B of
// the main window under X, chosen by the settings file, effect 10 (spheres: both cameras) at
// Ctrl 1 = Ctrl 2 = 64, on a 1920x1080 picture area, at PICTURE 384, 720 and 1080 (a window of
// its own for each, as the size is read at the start): once both clips play, the ticks a second
// (the median of four 2 s windows), the tick's own work (median and 99th percentile of every
// tick seen meanwhile), the process's CPU share with the rest of the machine's beside it, and
// the frame path's part of the work (both pictures made from the clips' frames, timed alone).
// Needs a screen larger than 1920x1080 with the window's frame and menus:
// KOVRA_SCREEN=2000x1300x24 scripts/on-virtual-display ...
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchClips.h"
#include "BenchWindow.h"
#include "CaptureSetup.h"
#include "FileUri.h"
#include "MainDlg.h"

namespace {

constexpr int kEffect = 10;
constexpr int kSettleMs = 1000;
constexpr int kRateWindows = 4;
constexpr int kRateWindowMs = 2000;

struct Clips {
    QTemporaryDir folder;
    std::string a, b;
    bool made = false;
};
const Clips& TheClips()
{
    static Clips clips;
    if (clips.made || !clips.folder.isValid()) return clips;
    clips.a = clips.folder.filePath("a.mp4").toStdString();
    clips.b = clips.folder.filePath("b.mp4").toStdString();
    clips.made = MakeClip(clips.a, 1280, 720, 4 * kClipRate, "smpte", true) &&
                 MakeClip(clips.b, 1280, 720, 4 * kClipRate, "ball", false);
    return clips;
}

// Turns the event loop for `ms`, noting every tick's rate window and own work.

// The frame path's share of a tick: both cameras' newest frames made into pictures (the copy
// out of the capture, the conversion and the scaling to PICTURE), between ticks, ms, median.
double FramePathMs(CMainDlg& dlg)
{
    std::vector<double> times;
    while (times.size() < 21) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QElapsedTimer clock;
        clock.start();
        dlg.m_memA.Update();
        dlg.m_memB.Update();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    return Median(times);
}

void BM_TwoClips(benchmark::State& state, const char* picture)
{
    const Clips& clips = TheClips();
    if (!clips.made) {
        state.SkipWithError("the clips could not be made (gst-launch-1.0, x264enc, mp4mux)");
        return;
    }
    QTemporaryDir folder;
    const std::string settings = folder.filePath("Kovra.ini").toStdString();
    std::ofstream(settings) << "[CAMERA]\nPICTURE=" << picture
                            << "\nPATH1=" << FileUriOfPath(clips.a)
                            << "\nPATH2=" << FileUriOfPath(clips.b) << "\n";
    std::string error;
    std::unique_ptr<CMainDlg> dlg = OpenBenchWindow(settings, error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return;
    }
    // Both cameras are the clips (not a device that came first in their place).
    if (dlg->m_memA.Capture()->File() != clips.a || dlg->m_memB.Capture()->File() != clips.b) {
        state.SkipWithError("the cameras are not the clips");
        dlg->OnDestroy();
        return;
    }
    if (!SizePicture(*dlg, 1920, 1080)) {
        state.SkipWithError("the screen is too small for a 1920x1080 picture");
        dlg->OnDestroy();
        return;
    }
    dlg->Performance().SetEffect(kEffect, ChangeSource::Dialog);
    QTest::qWait(kSettleMs);
    for (auto _ : state) {
        const RunningFigures figures = MeasureRunning(*dlg, kRateWindows, kRateWindowMs);
        state.counters["ticks_per_s"] = figures.ticksPerSecond;
        state.counters["tick_work_median_ms"] = figures.workMedian;
        state.counters["tick_work_p99_ms"] = figures.workP99;
        state.counters["cpu_percent"] = figures.cpuPercent;
        state.counters["other_cpu_percent"] = figures.otherCpuPercent;
        state.counters["frame_path_ms"] = FramePathMs(*dlg);
    }
    // The size the frame memory makes the picture at (the GL's, from the set-up on).
    state.SetLabel("picture " + std::to_string(dlg->m_memA.m_nTargetWidth) + "x" +
                   std::to_string(dlg->m_memA.m_nTargetHeight));
    dlg->OnDestroy();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitCapture();
    benchmark::Initialize(&argc, argv);
    for (const char* picture : {"384", "720", "1080"}) {
        benchmark::RegisterBenchmark(
            ("BM_TwoClips/1920x1080/picture:" + std::string(picture)).c_str(), BM_TwoClips, picture)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
