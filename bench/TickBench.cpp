// The main window's frame loop on a real window, under X or Wayland (the label names Qt's
// platform): the cost of one tick's own work (two picture uploads, the draw call,
// presenting), the tick rate the timer holds over 30 s, and what Qt and Mesa allocate per
// tick besides. At 640x480 and 1920x1080.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <cstdlib>

#include "MainDlg.h"

// Every allocation of the process, by any library on any thread.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
namespace {
std::atomic<long> s_allocations{0};
}
extern "C" void* malloc(size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size)
{
    s_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

namespace {

// A main window whose picture area is exactly width x height.
std::unique_ptr<CMainDlg> OpenWindow(int width, int height)
{
    auto dlg = std::make_unique<CMainDlg>();
    dlg->m_settingsPath = "/nonexistent-folder/kovra-bench.ini";
    if (!dlg->Setup()) return nullptr;
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get())) return nullptr;
    QWidget* picture = dlg->centralWidget();
    dlg->resize(dlg->width() + width - picture->width(),
                dlg->height() + height - picture->height());
    QTest::qWait(300);
    dlg->Performance().SetEffect(10,
                                 ChangeSource::Dialog);  // spheres: a busy effect with both cameras
    dlg->Performance().SetCtrl1(64, ChangeSource::Dialog);
    dlg->Performance().SetCtrl2(64, ChangeSource::Dialog);
    return dlg;
}

void BM_TickWork(benchmark::State& state)
{
    auto dlg = OpenWindow(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!dlg) {
        state.SkipWithError("no OpenGL window");
        return;
    }
    dlg->m_bRunning = true;
    for (auto _ : state) {
        dlg->OnTimer();  // pictures, upload, draw, present, re-arm
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
    dlg->close();
}

void BM_TickRateOver30s(benchmark::State& state)
{
    for (auto _ : state) {
        auto dlg = OpenWindow(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
        if (!dlg) {
            state.SkipWithError("no OpenGL window");
            return;
        }
        // The frame loop runs on its own timer; count its ticks through the frame counter.
        QTest::qWait(1000);
        long ticks = 0;
        int last = dlg->m_nFrameCount;
        const long allocationsBefore = s_allocations.load();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            const int now = dlg->m_nFrameCount;
            // The counter restarts every 5 s at the tick that ends the 5 s, which counts as 0.
            ticks += now >= last ? now - last : now + 1;
            last = now;
        }
        const double seconds = clock.elapsed() / 1000.0;
        state.counters["ticks_per_s"] = ticks / seconds;
        state.counters["allocs_per_tick"] =
            static_cast<double>(s_allocations.load() - allocationsBefore) / ticks;
        state.SetLabel(QGuiApplication::platformName().toStdString() + ": " +
                       dlg->windowTitle().toStdString());
        dlg->close();
    }
}

BENCHMARK(BM_TickWork)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TickRateOver30s)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
