// The frame loop while a camera comes and goes: a test camera unplugged and plugged in again
// and again under a real window, which waits for it by name and starts it on the cameras'
// worker. Reports the worst tick, in intervals late (the gap between two ticks beyond one
// interval, over the interval), and how long the camera took to show again after each plug.
// Run on an X display.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>

#include "CaptureSetup.h"
#include "MainDlg.h"
#include "TestDevices.h"
#include "TickGaps.h"

namespace {

constexpr const char* kCamera = "Kovra Bench Camera";

// Runs the frame loop until `done` holds or a minute has gone by; false on the minute.
template <typename Done>
bool RunUntil(CTickGaps& ticks, Done done)
{
    const qint64 end = ticks.ElapsedMs() + 60000;
    while (!done()) {
        if (ticks.ElapsedMs() > end) return false;
        ticks.Poll(50);
    }
    return true;
}

void BM_WorstTickWhileACameraComesAndGoes(benchmark::State& state)
{
    InitCapture();
    RegisterTestDevices();
    QTemporaryDir folder;
    const std::string path = folder.filePath("Kovra.ini").toStdString();
    std::ofstream(path) << "[CAMERA]\nNAME1=" << kCamera << "\n";
    AddTestDevice(kCamera);
    for (auto _ : state) {
        CMainDlg dlg;
        dlg.m_settingsPath = path;
        if (!dlg.Setup()) {
            state.SkipWithError("no OpenGL window");
            return;
        }
        dlg.show();
        if (!QTest::qWaitForWindowExposed(&dlg)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        dlg.Performance().SetEffect(
            10, ChangeSource::Dialog);  // spheres: a busy effect with both cameras
        qint64 worstReturnMs = 0;
        double totalReturnMs = 0;
        const int cycles = static_cast<int>(state.range(0));
        int done = 0;
        CTickGaps warmUp(dlg);
        RunUntil(warmUp, [&] { return dlg.m_nFrameCount > 30; });
        CTickGaps ticks(dlg);
        for (; done < cycles; ++done) {
            RemoveTestDevice(kCamera);
            if (!RunUntil(ticks, [&] { return dlg.m_cameraA.absent; })) break;
            AddTestDevice(kCamera);
            QElapsedTimer back;
            back.start();
            if (!RunUntil(ticks, [&] { return !dlg.m_cameraA.absent && dlg.m_memA.Capture(); }))
                break;
            worstReturnMs = std::max(worstReturnMs, back.elapsed());
            totalReturnMs += back.elapsed();
        }
        state.counters["cycles"] = done;
        state.counters["worst_tick_intervals_late"] = ticks.WorstIntervalsLate();
        state.counters["worst_gap_ms"] = ticks.WorstGapMs();
        state.counters["back_mean_ms"] = done ? totalReturnMs / done : 0.0;
        state.counters["back_worst_ms"] = static_cast<double>(worstReturnMs);
        if (done < cycles) state.SkipWithError("the camera did not come back within a minute");
        dlg.close();
    }
}

BENCHMARK(BM_WorstTickWhileACameraComesAndGoes)
    ->Arg(20)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
