// The render size and the two views on a real window under X, both cameras on the test patterns,
// Ctrl 1 = Ctrl 2 = 64: for every effect the ticks a second and the tick's parts (draw, upscale,
// swap) at 1920x1080 drawn directly, at 2560x1440 and 3840x2160 with the default cap and at
// 3840x2160 without it; the wall at 3840x2160 (the upscale and the swap alone) and the rate each
// effect would reach if the wall were all; and effect 10 in an output window of 1920x1080 beside
// the performer's preview, shown through the offscreen picture or copied for the preview, with
// what each way's own pass costs alone and what presenting two views costs alone, from one
// context or from one per window.
// Needs a screen larger than 3840x2160 with the main window's frame and menus
// (KOVRA_SCREEN=4000x2400x24 scripts/on-virtual-display).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "CaptureSetup.h"
#include "DeviceList.h"
#include "MainDlg.h"
#include "OutputWindow.h"
#include "RenderTarget.h"

// Last: its macros (Status, Bool) clash with names in Qt's headers.
#include <X11/Xlib.h>

namespace {

constexpr int kEffects = 16;
constexpr int kWarmUpMs = 700;   // a newly chosen effect or size settles
constexpr int kRateWindows = 3;  // the rate is the median of these windows' rates
constexpr int kRateWindowMs = 1500;
constexpr int kTimedTicks = 21;   // the parts are medians of these ticks
constexpr int kWallRepeats = 30;  // the wall's parts are medians of these

// Milliseconds of one part, the renderer finished before and after it.
template <typename Part>
double FinishedMs(Part part)
{
    glFinish();
    QElapsedTimer clock;
    clock.start();
    part();
    glFinish();
    return clock.nsecsElapsed() / 1e6;
}

// The main window, kept open across the benchmarks: opening one and starting both cameras
// costs seconds each time. Made by the first benchmark, closed by main before Qt goes.
struct Stage {
    QTemporaryDir folder;
    std::unique_ptr<CMainDlg> dlg;
    std::string error;
};
std::unique_ptr<Stage> g_stage;

CMainDlg* OpenStage(std::string& error)
{
    if (g_stage) {
        error = g_stage->error;
        return g_stage->dlg.get();
    }
    g_stage = std::make_unique<Stage>();
    Stage& stage = *g_stage;
    const std::vector<std::string> names = VideoDeviceNames();
    const int bars = DevicePosition(names, kTestPatternBars);
    const int ball = DevicePosition(names, kTestPatternBall);
    const std::string path = stage.folder.filePath("Kovra.ini").toStdString();
    std::ofstream(path) << "[CAMERA]\nDEVICE1=" << bars << "\nDEVICE2=" << ball << "\n";
    auto dlg = OpenBenchWindow(path, error);
    if (!dlg) {
        stage.error = error;
        return nullptr;
    }
    stage.dlg = std::move(dlg);
    return stage.dlg.get();
}

struct Figures {
    double ticksPerSecond = 0;
    double draw = 0, upscale = 0, swap = 0, work = 0;  // ms, medians of timed ticks
};

// The rate of the running frame loop, then the parts of timed ticks (each part finished
// before the next starts, which slows the loop: the two are measured apart).
Figures Measure(CMainDlg& dlg)
{
    Figures figures;
    TicksPerSecond(dlg, kWarmUpMs);
    std::vector<double> rates;
    for (int window = 0; window < kRateWindows; ++window)
        rates.push_back(TicksPerSecond(dlg, kRateWindowMs));
    figures.ticksPerSecond = Median(rates);

    CFrameLoop& loop = dlg.FrameLoop();
    loop.SetTimed(true);
    std::vector<double> draw, upscale, swap, work;
    int last = dlg.m_nFrameCount;
    bool first = true;  // the tick under way when timing began may be untimed
    QElapsedTimer clock;
    clock.start();
    while (static_cast<int>(draw.size()) < kTimedTicks && clock.elapsed() < 30000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (dlg.m_nFrameCount == last) continue;
        last = dlg.m_nFrameCount;
        if (first) {
            first = false;
            continue;
        }
        const CFrameLoop::Times& times = loop.LastTimes();
        draw.push_back(times.draw);
        upscale.push_back(times.upscale);
        swap.push_back(times.swap);
        work.push_back(times.draw + times.upscale + times.swap);
    }
    loop.SetTimed(false);
    figures.draw = Median(draw);
    figures.upscale = Median(upscale);
    figures.swap = Median(swap);
    figures.work = Median(work);
    return figures;
}

void Report(benchmark::State& state, const Figures& figures)
{
    state.counters["ticks_per_s"] = figures.ticksPerSecond;
    state.counters["draw_ms"] = figures.draw;
    state.counters["upscale_ms"] = figures.upscale;
    state.counters["swap_ms"] = figures.swap;
    state.counters["work_ms"] = figures.work;
}

// The wall at 3840x2160: the upscale of a 1920x1080 picture and the swap, alone (the frame
// loop's ticks held meanwhile), medians in ms. Measured once.
struct Wall {
    double upscale = 0, swap = 0;
    double serverAfterSwap = 0;  // the X server's work left when the swap has returned
};
std::unique_ptr<Wall> g_wall;

const Wall* MeasureWall(CMainDlg& dlg)
{
    if (g_wall) return g_wall.get();
    const PixelSize output{3840, 2160};
    if (!SizePicture(dlg, output.width, output.height)) return nullptr;
    TicksPerSecond(dlg, kWarmUpMs);
    dlg.m_bRunning = false;  // the timer's ticks draw nothing meanwhile
    std::vector<double> upscale, swap, server;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (dlg.FrameLoop().MakeCurrent()) {
        QOpenGLContext* context = QOpenGLContext::currentContext();
        QSurface* surface = context->surface();
        CRenderTarget picture;
        if (picture.Ensure(RenderSizeFor(output, kDefaultRenderCap))) {
            QElapsedTimer clock;
            for (int repeat = 0; repeat < kWallRepeats; ++repeat) {
                CRenderTarget::BindWindow(output);
                upscale.push_back(FinishedMs([&] { picture.Show(); }));
                swap.push_back(FinishedMs([&] { context->swapBuffers(surface); }));
                if (!x11) continue;
                clock.start();
                XSync(x11->display(), False);  // a round trip: the server is done with the picture
                server.push_back(clock.nsecsElapsed() / 1e6);
            }
        }
        picture.Free();  // while the context is current
    }
    dlg.m_bRunning = true;
    if (upscale.empty()) return nullptr;
    g_wall = std::make_unique<Wall>(Wall{Median(upscale), Median(swap), Median(server)});
    return g_wall.get();
}

// One effect at one picture size and cap: its rate and its parts.
void BM_Picture(benchmark::State& state, int effect, int width, int height, int cap)
{
    std::string error;
    CMainDlg* dlg = OpenStage(error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (!SizePicture(*dlg, width, height)) {
        state.SkipWithError("the screen is too small for this picture");
        return;
    }
    const Wall* wall = nullptr;
    if (width == 3840 && cap == kDefaultRenderCap) wall = MeasureWall(*dlg);
    dlg->FrameLoop().SetRenderCap(cap);
    dlg->Performance().SetEffect(effect, ChangeSource::Dialog);
    for (auto _ : state) {
        const Figures figures = Measure(*dlg);
        Report(state, figures);
        // With the draw at 1080 lines as it is, and only the wall's parts besides it.
        if (wall)
            state.counters["wall_rate"] = 1000.0 / (figures.draw + wall->upscale + wall->swap);
    }
    const PixelSize render = RenderSizeFor({width, height}, cap);
    state.SetLabel("drawn at " + std::to_string(render.width) + "x" +
                   std::to_string(render.height));
    dlg->FrameLoop().SetRenderCap(kDefaultRenderCap);
}

void BM_Wall(benchmark::State& state)
{
    std::string error;
    CMainDlg* dlg = OpenStage(error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        const Wall* wall = MeasureWall(*dlg);
        if (!wall) {
            state.SkipWithError("no 3840x2160 picture or no offscreen picture");
            return;
        }
        state.counters["upscale_alone_ms"] = wall->upscale;
        state.counters["swap_alone_ms"] = wall->swap;
        state.counters["x_server_after_swap_ms"] = wall->serverAfterSwap;
        state.counters["wall_ms"] = wall->upscale + wall->swap;
        state.counters["wall_only_rate"] = 1000.0 / (wall->upscale + wall->swap);
    }
}

// What each two-views way adds to the output's draw, alone at 1920x1080 in one window (the frame
// loop held): the offscreen picture shown over the window, or the window's picture copied for the
// preview. ms, medians.
void BM_TwoViewsOutputPassAlone(benchmark::State& state)
{
    std::string error;
    CMainDlg* dlg = OpenStage(error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return;
    }
    const PixelSize size{1920, 1080};
    if (!SizePicture(*dlg, size.width, size.height)) {
        state.SkipWithError("the main window did not take 1920x1080");
        return;
    }
    TicksPerSecond(*dlg, kWarmUpMs);
    dlg->m_bRunning = false;  // the timer's ticks draw nothing meanwhile
    std::vector<double> show, copy;
    if (dlg->FrameLoop().MakeCurrent()) {
        CRenderTarget picture;
        if (picture.Ensure(size)) {
            for (int repeat = 0; repeat < kWallRepeats; ++repeat) {
                CRenderTarget::BindWindow(size);
                show.push_back(FinishedMs([&] { picture.Show(); }));
                copy.push_back(FinishedMs([&] { picture.CopyFromBound(); }));
            }
        }
        picture.Free();  // while the context is current
    }
    dlg->m_bRunning = true;
    if (show.empty()) {
        state.SkipWithError("no offscreen picture");
        return;
    }
    for (auto _ : state) {
        state.counters["show_ms"] = Median(show);
        state.counters["copy_ms"] = Median(copy);
    }
}

// An output window of 1920x1080 beside the main window's preview of 640x480; null (and the
// benchmark skipped) when either does not show at its size.
std::unique_ptr<COutputWindow> ShowOutput(benchmark::State& state, CMainDlg*& dlg)
{
    std::string error;
    dlg = OpenStage(error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    if (!SizePicture(*dlg, 640, 480)) {
        state.SkipWithError("the main window did not take 640x480");
        return nullptr;
    }
    const auto nothing = [] {};
    const auto noKey = [](const QKeyEvent&) {};
    auto output = std::make_unique<COutputWindow>(
        CGlView::Events{noKey, noKey, nothing, [](int, int) {}, nothing, {}});
    output->setGeometry(0, 0, 1920, 1080);
    dlg->move(2000, 0);  // beside the output, not under it
    output->show();
    if (!QTest::qWaitForWindowExposed(output.get()) ||
        !QTest::qWaitFor([&] { return output->width() == 1920 && output->height() == 1080; },
                         5000)) {
        state.SkipWithError("the output window did not show at 1920x1080");
        return nullptr;
    }
    return output;
}

// Effect 10 in the output window beside the preview, shown one way or the other.
void BM_TwoViews(benchmark::State& state, CFrameLoop::TwoViews how)
{
    CMainDlg* dlg = nullptr;
    const std::unique_ptr<COutputWindow> output = ShowOutput(state, dlg);
    if (!output) return;
    CFrameLoop& loop = dlg->FrameLoop();
    loop.SetTwoViews(how);
    loop.SetOutput(output.get());
    dlg->Performance().SetEffect(10, ChangeSource::Dialog);
    for (auto _ : state) Report(state, Measure(*dlg));
    loop.SetOutput(nullptr);
    loop.MakeCurrent();  // off the output window before it goes
    loop.SetTwoViews(CFrameLoop::TwoViews::CopyForPreview);
    dlg->move(0, 0);
}

// A view's own presenting: made current, cleared, swapped and finished; ms.
double ClearAndSwap(QOpenGLContext& context, QSurface* surface, QSize size)
{
    QElapsedTimer clock;
    clock.start();
    if (!context.makeCurrent(surface)) return 0;
    glViewport(0, 0, size.width(), size.height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    context.swapBuffers(surface);
    glFinish();
    return clock.nsecsElapsed() / 1e6;
}

// The two views' presenting alone, the frame loop held: with the program's one context moving
// between the two windows each tick, or with a second context sharing its objects that stays
// on the output window. Nothing is drawn, so what is left is what the move costs.
void BM_TwoViewsPresentAlone(benchmark::State& state, bool contextPerWindow)
{
    CMainDlg* dlg = nullptr;
    const std::unique_ptr<COutputWindow> output = ShowOutput(state, dlg);
    if (!output) return;
    CFrameLoop& loop = dlg->FrameLoop();
    TicksPerSecond(*dlg, kWarmUpMs);
    dlg->m_bRunning = false;  // the timer's ticks draw nothing meanwhile
    if (!loop.MakeCurrent()) {
        dlg->m_bRunning = true;
        state.SkipWithError("no OpenGL context");
        return;
    }
    QOpenGLContext* context = QOpenGLContext::currentContext();
    QSurface* main = context->surface();
    const QSize mainSize = static_cast<QWindow*>(main)->size();
    QOpenGLContext second;
    second.setFormat(CGlView::Format());
    second.setShareContext(context);
    if (contextPerWindow && !second.create()) {
        dlg->m_bRunning = true;
        state.SkipWithError("no second OpenGL context");
        return;
    }
    QOpenGLContext& forOutput = contextPerWindow ? second : *context;
    for (auto _ : state) {
        std::vector<double> outputMs, previewMs;
        for (int repeat = 0; repeat < kWallRepeats; ++repeat) {
            outputMs.push_back(ClearAndSwap(forOutput, output.get(), output->size()));
            previewMs.push_back(ClearAndSwap(*context, main, mainSize));
        }
        state.counters["output_ms"] = Median(outputMs);
        state.counters["preview_ms"] = Median(previewMs);
    }
    if (contextPerWindow) second.doneCurrent();
    loop.MakeCurrent();  // off the output window before it goes
    dlg->m_bRunning = true;
    dlg->move(0, 0);
}

void RegisterAll()
{
    struct Size {
        int width, height, cap;
    };
    // 1080 lines drawn directly, the two large screens with the default cap, 4K without it.
    const Size sizes[] = {{1920, 1080, kDefaultRenderCap},
                          {2560, 1440, kDefaultRenderCap},
                          {3840, 2160, kDefaultRenderCap},
                          {3840, 2160, 0}};
    for (const Size& size : sizes) {
        if (size.width == 3840 && size.cap) {
            benchmark::RegisterBenchmark("BM_Wall/3840x2160", BM_Wall)
                ->Iterations(1)
                ->Unit(benchmark::kSecond)
                ->UseRealTime();
        }
        for (int effect = 0; effect < kEffects; ++effect) {
            const std::string name =
                "BM_Picture/" + std::to_string(size.width) + "x" + std::to_string(size.height) +
                "/cap:" + std::to_string(size.cap) + "/effect:" + std::to_string(effect);
            benchmark::RegisterBenchmark(name.c_str(), BM_Picture, effect, size.width, size.height,
                                         size.cap)
                ->Iterations(1)
                ->Unit(benchmark::kSecond)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark("BM_TwoViews/1920x1080/Offscreen", BM_TwoViews,
                                 CFrameLoop::TwoViews::Offscreen)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_TwoViews/1920x1080/CopyForPreview", BM_TwoViews,
                                 CFrameLoop::TwoViews::CopyForPreview)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_TwoViewsOutputPassAlone/1920x1080", BM_TwoViewsOutputPassAlone)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_TwoViewsPresentAlone/1920x1080/OneContext",
                                 BM_TwoViewsPresentAlone, false)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_TwoViewsPresentAlone/1920x1080/ContextPerWindow",
                                 BM_TwoViewsPresentAlone, true)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitCapture();
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_stage && g_stage->dlg) g_stage->dlg->OnDestroy();
    g_stage.reset();  // the window and its cameras go before Qt does
    return 0;
}
