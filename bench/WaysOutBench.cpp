// The ways out of the picture on a real window under X, both cameras on the test patterns, effect
// 10 at Ctrl 1 = Ctrl 2 = 64, the picture area at the ways out's size: nothing on, Send to Other
// Programs (read by a pipewiresrc client), Stream (received by an srtsrc client on 127.0.0.1) and
// Record (into a temporary videos folder) each alone, and all three at once, at 1280x720 and
// 1920x1080; then nothing and Record at 1920x1080 beside the window's starting picture area of
// 640x480. For each: the ticks a second, the tick's own work (median and 99th percentile), the
// frames the ways out dropped by their lines at the stop, the process's CPU share (and the rest
// of the machine's, for how noisy the figures are), and the tick's parts timed apart (the draw,
// the show in the window, the read-back with the hand-off to the pipeline, the swap).
// Needs a screen larger than 1920x1080 with the window's frame and menus, and a PipeWire daemon
// for Send: KOVRA_SCREEN=2000x1300x24 scripts/on-virtual-display scripts/with-pipewire ...
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <gst/gst.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "BenchWindow.h"
#include "CaptureSetup.h"
#include "DeviceList.h"
#include "IniFile.h"
#include "MainDlg.h"

namespace {

constexpr int kEffect = 10;
constexpr int kSettleMs = 1000;  // a way newly on, or a new size, settles
constexpr int kRateWindows = 4;  // the rate is the median of these windows' rates
constexpr int kRateWindowMs = 2000;
constexpr int kStateWaitMs = 30000;  // a way's join or leave, a client's first frame
constexpr int kTimedTicks = 21;      // the tick's parts are medians of these ticks

using Way = CPictureOut::Way;
const char* const kWayNames[CPictureOut::kWays] = {"send", "stream", "record"};
// The way's line at its stop, as the program gives it.
const char* const kWayDone[CPictureOut::kWays] = {"sent to other programs", "streamed", "recorded"};

// Standard error caught in a file while the benchmark runs, so that the ways' lines of frames
// sent and dropped can be read; each case's part goes on to the real standard error after it.
class StderrCatch {
public:
    StderrCatch() : m_path(m_folder.filePath("stderr.txt").toStdString())
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int file = open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (m_saved >= 0 && file >= 0) dup2(file, STDERR_FILENO);
        if (file >= 0) close(file);
    }
    ~StderrCatch()
    {
        PassOn();
        if (m_saved < 0) return;
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    StderrCatch(const StderrCatch&) = delete;
    StderrCatch& operator=(const StderrCatch&) = delete;

    // What came since the last PassOn.
    std::string Fresh() const
    {
        std::fflush(stderr);
        std::ifstream file(m_path);
        file.seekg(static_cast<std::streamoff>(m_passed));
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }
    // What came since the last call, written to the real standard error.
    void PassOn()
    {
        const std::string text = Fresh();
        if (m_saved >= 0 && !text.empty() && write(m_saved, text.data(), text.size()) < 0) return;
        m_passed += text.size();
    }

private:
    QTemporaryDir m_folder;
    std::string m_path;
    int m_saved = -1;
    size_t m_passed = 0;
};
std::unique_ptr<StderrCatch> g_stderr;

// A GStreamer client of a way out in a process of its own, its frames' arrival printed by its
// sink; stopped when it goes.
class Client {
public:
    explicit Client(const QStringList& source)
        : m_arguments(QStringList{"-v"} + source + QStringList{"!", "fakesink", "silent=false"})
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("gst-launch-1.0", m_arguments);
    }
    ~Client() { Stop(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Waits until the sink has taken a buffer; false when none came. A pipewiresrc that
    // connects while the node is still settling may lose its stream at once and wait for good
    // ("clear format", then unconnected), so a client without frames is started afresh.
    bool WaitForFrames()
    {
        constexpr int kTries = 3;
        for (int attempt = 0; attempt < kTries; ++attempt) {
            if (attempt) {
                ++m_restarts;
                Stop();
                m_seen.clear();
                m_process.start("gst-launch-1.0", m_arguments);
            }
            const bool ended = QTest::qWaitFor(
                [this] {
                    m_seen += m_process.readAll();
                    if (m_seen.size() > 65536) m_seen = m_seen.right(1024);
                    return m_seen.contains("chain") || m_process.state() == QProcess::NotRunning;
                },
                kStateWaitMs / kTries);
            if (ended && m_seen.contains("chain")) return true;
        }
        return false;
    }
    // How often it was started afresh.
    int Restarts() const { return m_restarts; }
    // The end of what it printed, for a failure's reason.
    std::string Said() const { return m_seen.right(600).toStdString(); }
    // Reads what it printed, so that its output never fills the pipe.
    void Drain() { m_process.readAll(); }

private:
    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    const QStringList m_arguments;
    QProcess m_process;
    QByteArray m_seen;
    int m_restarts = 0;
};

bool Installed(const char* element)
{
    GstElementFactory* factory = gst_element_factory_find(element);
    if (factory) gst_object_unref(factory);
    return factory != nullptr;
}

// A UDP port of 127.0.0.1 that nothing holds now, for the stream's listener.
int FreeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 7001;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 7001;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// The main window, kept open across the cases: opening one and starting both cameras costs
// seconds each time. Made by the first case, closed by main before Qt goes.
struct Stage {
    QTemporaryDir folder;
    std::string settings;
    int bars = 0, ball = 0;
    int port = 0;
    std::unique_ptr<CMainDlg> dlg;
    std::string error;
};
std::unique_ptr<Stage> g_stage;

void WriteSettings(const Stage& stage, int width, int height)
{
    std::ofstream(stage.settings) << "[CAMERA]\nDEVICE1=" << stage.bars
                                  << "\nDEVICE2=" << stage.ball << "\n[OUTPUT]\nOUTSIZE=" << width
                                  << "x" << height << "\nSTREAMURI=srt://127.0.0.1:" << stage.port
                                  << "\n";
}

CMainDlg* OpenStage(int width, int height, std::string& error)
{
    if (g_stage) {
        error = g_stage->error;
        return g_stage->dlg.get();
    }
    g_stage = std::make_unique<Stage>();
    Stage& stage = *g_stage;
    const std::vector<std::string> names = VideoDeviceNames();
    stage.bars = DevicePosition(names, kTestPatternBars);
    stage.ball = DevicePosition(names, kTestPatternBall);
    stage.port = FreeUdpPort();
    stage.settings = stage.folder.filePath("Kovra.ini").toStdString();
    WriteSettings(stage, width, height);
    auto dlg = OpenBenchWindow(stage.settings, error);
    if (!dlg) {
        stage.error = error;
        return nullptr;
    }
    dlg->Performance().SetEffect(kEffect, ChangeSource::Dialog);
    stage.dlg = std::move(dlg);
    return stage.dlg.get();
}

// The ways out's size from the settings file, as the program reads it at its start; only while
// every way is off, as then.
void SetOutSize(CMainDlg& dlg, int width, int height)
{
    const OutSize now = dlg.PictureOut().Size();
    if (now.width == width && now.height == height) return;
    WriteSettings(*g_stage, width, height);
    IniProfile profile(g_stage->settings);
    dlg.PictureOut().ExchangeSettings(profile, true);
}

// Where a tick's time goes, ms, medians of timed ticks: each part finished before the next
// starts, which slows those ticks, so they are measured apart from the rate.
struct Parts {
    double draw = 0, show = 0, readback = 0, swap = 0;
};

Parts MeasureParts(CMainDlg& dlg, const std::vector<Client*>& clients)
{
    CFrameLoop& loop = dlg.FrameLoop();
    loop.SetTimed(true);
    std::vector<double> draw, show, readback, swap;
    int last = dlg.m_nFrameCount;
    bool first = true;  // the tick under way when timing began may be untimed
    QElapsedTimer clock;
    clock.start();
    while (static_cast<int>(draw.size()) < kTimedTicks && clock.elapsed() < kStateWaitMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        for (Client* client : clients) client->Drain();
        if (dlg.m_nFrameCount == last) continue;
        last = dlg.m_nFrameCount;
        if (first) {
            first = false;
            continue;
        }
        const CFrameLoop::Times& times = loop.LastTimes();
        draw.push_back(times.draw);
        show.push_back(times.upscale);
        readback.push_back(times.readback);
        swap.push_back(times.swap);
    }
    loop.SetTimed(false);
    return {Median(draw), Median(show), Median(readback), Median(swap)};
}

// The frames a way sent and dropped, by its line at the stop in `text`; false without one.
bool StopCounts(const std::string& text, Way way, unsigned long long& sent,
                unsigned long long& dropped)
{
    const std::regex line(std::string("Kovra: ") + kWayDone[way] +
                          R"(: (\d+) frames sent, (\d+) dropped)");
    std::smatch match;
    if (!std::regex_search(text, match, line)) return false;
    sent = std::stoull(match[1]);
    dropped = std::stoull(match[2]);
    return true;
}

// Why a way cannot be measured here, or "" when it can.
std::string Missing(Way way)
{
    if (way == Way::Send) {
        if (!CPictureOut::SendAvailable())
            return "no PipeWire daemon answers (run under scripts/with-pipewire)";
        if (!Installed("pipewiresink") || !Installed("pipewiresrc"))
            return "no PipeWire plugin for GStreamer (gstreamer1.0-pipewire)";
        return {};
    }
    if (!CPictureOut::EncoderAvailable()) return "no H.264 encoder (x264enc or openh264enc)";
    if (way == Way::Stream && (!Installed("srtsink") || !Installed("srtsrc")))
        return "no SRT plugin for GStreamer (gstreamer1.0-plugins-bad)";
    if (way == Way::Record && !Installed("matroskamux"))
        return "no Matroska muxer (gstreamer1.0-plugins-good)";
    return {};
}

// The stop lines of the ways turned off, waited for, and their counts added up.
struct Drops {
    unsigned long long sent = 0, dropped = 0;
    std::string label;
};
bool TurnOff(CPictureOut& out, const std::vector<Way>& ways, Drops& drops, std::string& error)
{
    unsigned long long sent = 0, dropped = 0;
    const bool stopped = QTest::qWaitFor(
        [&] {
            const std::string text = g_stderr->Fresh();
            return std::all_of(ways.begin(), ways.end(), [&](Way way) {
                return !out.On(way) && StopCounts(text, way, sent, dropped);
            });
        },
        kStateWaitMs);
    if (!stopped) {
        error = "a way out gave no line of frames sent and dropped at its stop";
        return false;
    }
    const std::string text = g_stderr->Fresh();
    for (Way way : ways) {
        StopCounts(text, way, sent, dropped);
        drops.sent += sent;
        drops.dropped += dropped;
        drops.label += std::string(drops.label.empty() ? "" : ", ") + kWayNames[way] + " " +
                       std::to_string(dropped) + "/" + std::to_string(sent + dropped) + " dropped";
    }
    return true;
}

// A size, in pixels.
struct Size {
    int width, height;
};

// One case: the ways given turned on at the ways out's size `outSize` with the window's picture
// area at `picture`, their clients reading, the frame loop measured, the ways turned off.
void BM_WaysOut(benchmark::State& state, std::vector<Way> ways, Size outSize, Size picture)
{
    std::string error;
    CMainDlg* dlg = OpenStage(outSize.width, outSize.height, error);
    if (!dlg) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (Way way : ways) {
        const std::string missing = Missing(way);
        if (!missing.empty()) {
            state.SkipWithError((std::string(kWayNames[way]) + ": " + missing).c_str());
            return;
        }
    }
    if (!SizePicture(*dlg, picture.width, picture.height)) {
        state.SkipWithError("the screen is too small for this picture");
        return;
    }
    SetOutSize(*dlg, outSize.width, outSize.height);
    g_stderr->PassOn();
    CPictureOut& out = dlg->PictureOut();
    for (Way way : ways) out.Set(way, true);
    // Each way on, or one refused (its wish dropped, with its line on standard error).
    const auto settled = [&] {
        return std::all_of(ways.begin(), ways.end(),
                           [&](Way way) { return out.On(way) || !out.Wanted(way); });
    };
    std::vector<std::unique_ptr<Client>> clients;
    if (!QTest::qWaitFor(settled, kStateWaitMs) ||
        !std::all_of(ways.begin(), ways.end(), [&](Way way) { return out.On(way); }))
        error = "a way out did not start: " + g_stderr->Fresh();
    for (Way way : ways) {
        if (!error.empty()) break;
        // Raw video asked for: offered any caps, pipewiresrc settles on no format and takes
        // nothing.
        if (way == Way::Send)
            clients.push_back(std::make_unique<Client>(
                QStringList{"pipewiresrc", "target-object=kovra", "!", "video/x-raw"}));
        if (way == Way::Stream)
            clients.push_back(std::make_unique<Client>(
                QStringList{"srtsrc", QString("uri=srt://127.0.0.1:%1").arg(g_stage->port)}));
    }
    std::vector<Client*> reading;
    int restarts = 0;
    for (const auto& client : clients) {
        if (error.empty() && !client->WaitForFrames())
            error = "a client took no frame from a way out; it said: " + client->Said();
        restarts += client->Restarts();
        reading.push_back(client.get());
    }
    RunningFigures figures;
    Parts parts;
    if (error.empty()) {
        const auto drain = [&reading] {
            for (Client* client : reading) client->Drain();
        };
        MeasureRunning(*dlg, 1, kSettleMs, drain);
        figures = MeasureRunning(*dlg, kRateWindows, kRateWindowMs, drain);
        parts = MeasureParts(*dlg, reading);
    }
    // Only the ways that came on give a line at their stop.
    std::vector<Way> on;
    std::copy_if(ways.begin(), ways.end(), std::back_inserter(on),
                 [&](Way way) { return out.On(way); });
    for (Way way : ways) out.Set(way, false);
    Drops drops;
    std::string stopError;
    const bool stopped = TurnOff(out, on, drops, stopError);
    clients.clear();
    g_stderr->PassOn();
    if (!error.empty() || !stopped) {
        state.SkipWithError((error.empty() ? stopError : error).c_str());
        return;
    }
    for (auto _ : state) {
        state.counters["ticks_per_s"] = figures.ticksPerSecond;
        state.counters["tick_work_median_ms"] = figures.workMedian;
        state.counters["tick_work_p99_ms"] = figures.workP99;
        state.counters["frames_dropped"] = static_cast<double>(drops.dropped);
        const unsigned long long handed = drops.sent + drops.dropped;
        state.counters["dropped_pct"] =
            handed ? 100.0 * static_cast<double>(drops.dropped) / static_cast<double>(handed) : 0.0;
        state.counters["cpu_pct_of_one_core"] = figures.cpuPercent;
        state.counters["others_cpu_pct_of_one_core"] = figures.otherCpuPercent;
        state.counters["draw_ms"] = parts.draw;
        state.counters["show_ms"] = parts.show;
        state.counters["readback_ms"] = parts.readback;
        state.counters["swap_ms"] = parts.swap;
    }
    if (restarts) drops.label += "; a client started again " + std::to_string(restarts) + "x";
    state.SetLabel(drops.label.empty() ? "nothing out" : drops.label);
}

void RegisterAll()
{
    struct Case {
        const char* name;
        std::vector<Way> ways;
    };
    const Case cases[] = {{"nothing", {}},
                          {"send", {Way::Send}},
                          {"stream", {Way::Stream}},
                          {"record", {Way::Record}},
                          {"all", {Way::Send, Way::Stream, Way::Record}}};
    const auto add = [](const std::string& name, const Case& each, Size outSize, Size picture) {
        benchmark::RegisterBenchmark(name.c_str(), BM_WaysOut, each.ways, outSize, picture)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
    };
    // The picture area at the ways out's size, as on a screen of that size.
    for (const Size size : {Size{1280, 720}, Size{1920, 1080}}) {
        for (const Case& each : cases)
            add("BM_WaysOut/" + std::to_string(size.width) + "x" + std::to_string(size.height) +
                    "/" + each.name,
                each, size, size);
    }
    // The recording beside the window's starting picture area, which costs the window less.
    add("BM_WaysOut/1920x1080/nothing/picture:640x480", cases[0], {1920, 1080}, {640, 480});
    add("BM_WaysOut/1920x1080/record/picture:640x480", cases[3], {1920, 1080}, {640, 480});
}

}  // namespace

int main(int argc, char** argv)
{
    // The recordings go to a videos folder of the benchmark's own, as user-dirs.dirs names it.
    QTemporaryDir config;
    QTemporaryDir videos;
    std::ofstream(config.filePath("user-dirs.dirs").toStdString())
        << "XDG_VIDEOS_DIR=\"" << videos.path().toStdString() << "\"\n";
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    InitCapture();
    gst_init(nullptr, nullptr);
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    g_stderr = std::make_unique<StderrCatch>();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_stage && g_stage->dlg) g_stage->dlg->OnDestroy();
    g_stage.reset();  // the window and its cameras go before Qt does
    g_stderr.reset();
    return 0;
}
