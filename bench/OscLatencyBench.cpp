// OSC to picture on the real program: a sender thread sends /kovra/ctrl1 datagrams over the
// loopback to Kovra's window at random moments, which draws them with the real effects library.
// Measured as the MIDI bench measures: from the send to the end of the window's handling and
// to the end of the first tick that drew it. And a flood of 5000 messages a second for 10 s
// (and none: what the machine itself costs): the ticks a second, the worst tick's lateness,
// and what the OSC input handled, counted bad, and lost in the full socket.
// Runs on an X display (make bench starts a virtual one).
#include <benchmark/benchmark.h>
#include <lo/lo_lowlevel.h>
#include <sys/socket.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "ControlBench.h"
#include "MainDlg.h"
#include "TickGaps.h"
#include "UdpSocket.h"

namespace {

uint64_t SteadyMicroseconds()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::vector<char> Ctrl1Datagram(int value)
{
    lo_message message = lo_message_new();
    lo_message_add_int32(message, value);
    std::vector<char> packet(lo_message_length(message, "/kovra/ctrl1"));
    lo_message_serialise(message, "/kovra/ctrl1", packet.data(), nullptr);
    lo_message_free(message);
    return packet;
}

// Kovra's window listening for OSC on a free loopback port, and a socket sending to it.
struct Stage {
    QTemporaryDir dir;
    UdpSocket out;
    std::unique_ptr<CMainDlg> dlg;

    bool Open(std::string& error)
    {
        int port = 0;
        {
            UdpSocket free;
            if (!free.Bind("127.0.0.1", 0, error)) return false;
            port = free.LocalPort();
        }
        const std::string path = dir.filePath("Kovra.ini").toStdString();
        std::ofstream(path) << "[OSC]\nPORT=" << port << "\n";
        dlg = OpenControlWindow(path, nullptr, error);
        if (!dlg) return false;
        if (!dlg->Osc()) return (error = "OSC is not listening"), false;
        return out.Connect("127.0.0.1:" + std::to_string(port), error);
    }
    bool Send(const std::vector<char>& packet) const
    {
        return ::send(out.Fd(), packet.data(), packet.size(), 0) ==
               static_cast<ssize_t>(packet.size());
    }
    uint64_t Acted() const { return dlg->Osc()->GetCounts().acted; }
    ~Stage()
    {
        if (dlg) dlg->close();
        dlg.reset();
    }
};

void BM_OscToPicture(benchmark::State& state)
{
    const std::size_t count = 400;
    for (auto _ : state) {
        Stage stage;
        std::string error;
        if (!stage.Open(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        ControlProbe probe(*stage.dlg, &SteadyMicroseconds, [&] { return stage.Acted(); });
        probe.handled.reserve(count);
        probe.ticks.reserve(count * 4);
        std::vector<std::vector<char>> packets;
        for (std::size_t i = 0; i < count; ++i) packets.push_back(Ctrl1Datagram(TimedCtrl1(i)));
        qApp->installEventFilter(&probe);

        // Sent at random moments against the tick from a thread of their own, as a surface's
        // datagrams come whatever the window is doing.
        std::vector<uint64_t> sent(count, 0);
        std::atomic<bool> done{false};
        std::thread sender([&] {
            std::mt19937 random(7);
            std::uniform_int_distribution<int> gap(20, 60);
            for (std::size_t i = 0; i < count; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
                const uint64_t now = SteadyMicroseconds();
                if (stage.Send(packets[i])) sent[i] = now;
            }
            done = true;
        });
        while (!done) RunEventLoopFor(5);
        sender.join();
        RunEventLoopFor(200);
        qApp->removeEventFilter(&probe);

        ReportSamples(state, "", MatchToTicks(sent, probe),
                      [](const ControlSample&) { return true; });
        state.counters["bad"] = static_cast<double>(stage.dlg->Osc()->GetCounts().bad);
    }
}

void BM_OscFlood(benchmark::State& state)
{
    const int perSecond = static_cast<int>(state.range(0));
    const int seconds = 10;
    for (auto _ : state) {
        Stage stage;
        std::string error;
        if (!stage.Open(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::vector<std::vector<char>> packets;
        for (int value = 0; value < 128; ++value) packets.push_back(Ctrl1Datagram(value));

        std::atomic<bool> done{false};
        long sent = 0;
        std::thread flood([&] {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < perSecond * seconds; ++i) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(1000000LL * i / perSecond));
                if (stage.Send(packets[static_cast<std::size_t>(i % 128)])) ++sent;
            }
            std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
            done = true;
        });
        CTickGaps gaps(*stage.dlg);
        while (!done) gaps.Poll(5);
        const double elapsed = gaps.ElapsedMs() / 1000.0;
        flood.join();
        // The kernel tells of the datagrams a full socket dropped with the next one it hands
        // over: one more, once the flood is read, brings the last count.
        QTest::qWait(200);
        const uint64_t acted = stage.Acted();
        stage.Send(packets[64]);
        if (!QTest::qWaitFor([&] { return stage.Acted() > acted; }, 5000)) {
            state.SkipWithError("the message after the flood was not handled");
            return;
        }
        const OscReceiver::Counts& counts = stage.dlg->Osc()->GetCounts();
        state.counters["sent"] = static_cast<double>(sent);
        state.counters["handled"] = static_cast<double>(counts.acted - 1);
        state.counters["bad"] = static_cast<double>(counts.bad);
        state.counters["dropped"] = static_cast<double>(counts.dropped);
        state.counters["ticks_per_s"] = gaps.Ticks() / elapsed;
        state.counters["worst_tick_intervals_late"] = gaps.WorstIntervalsLate();
    }
}

BENCHMARK(BM_OscToPicture)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_OscFlood)->Arg(0)->Arg(5000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
