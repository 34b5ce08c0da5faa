// The frame loop while a MIDI controller comes and goes: a JACK client's output port is
// registered and unregistered again and again on a JACK server of the bench's own, and the
// window (remembering that port by its name) lets go of it and opens it again by itself.
// Measured: the worst tick, in frame intervals late, and how often the device was opened
// again; beside it the same run with the port left alone, for the machine's own noise.
// Runs on an X display (make bench starts a virtual one).
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "BoundedMidiDriver.h"
#include "JackServer.h"
#include "MainDlg.h"
#include "MidiIn.h"
#include "RtMidiDriver.h"
#include "TickGaps.h"

namespace {

constexpr int kSeconds = 30;
constexpr auto kPlugged = std::chrono::milliseconds(1500);  // each state held this long

void BM_TickWhileAControllerComesAndGoes(benchmark::State& state)
{
    JackServer server;
    if (!server.IsRunning()) {
        state.SkipWithError("jackd -d dummy did not start");
        return;
    }
    QTemporaryDir dir;
    const std::string path = dir.filePath("Kovra.ini").toStdString();
    std::ofstream(path) << "[MIDI]\nDEVICE=0\nNAME=JACK: controller:out\n";

    for (auto _ : state) {
        CMainDlg dlg;
        CBoundedMidiDriver driver(dlg.Worker(), std::make_shared<CRtMidiDriver>());
        dlg.Midi().SetDriver(&driver);
        dlg.m_settingsPath = path;
        if (!dlg.Setup()) {
            state.SkipWithError("no OpenGL window");
            break;
        }
        dlg.show();
        if (!QTest::qWaitForWindowExposed(&dlg)) {
            state.SkipWithError("the window was never shown");
            break;
        }
        dlg.Performance().SetEffect(10, ChangeSource::Dialog);  // a busy effect

        const bool comesAndGoes = state.range(0) != 0;
        std::atomic<bool> stop{false};
        std::thread plugger([&] {
            if (!comesAndGoes) {
                JackSender controller("controller");
                while (!stop) std::this_thread::sleep_for(kPlugged);
            }
            while (!stop) {
                {
                    JackSender controller("controller");
                    std::this_thread::sleep_for(kPlugged);
                }
                std::this_thread::sleep_for(kPlugged);
            }
        });

        QTest::qWait(500);
        CTickGaps ticks(dlg);
        int opens = 0;
        bool wasOpen = dlg.Midi().Input().IsOpen();
        while (ticks.ElapsedMs() < kSeconds * 1000) {
            ticks.Poll(2);
            if (dlg.Midi().Input().IsOpen() && !wasOpen) ++opens;
            wasOpen = dlg.Midi().Input().IsOpen();
        }
        stop = true;
        plugger.join();
        state.counters["worst_tick_intervals_late"] = ticks.WorstIntervalsLate();
        state.counters["worst_gap_ms"] = ticks.WorstGapMs();
        state.counters["ticks_per_s"] = ticks.Ticks() / static_cast<double>(kSeconds);
        state.counters["reopened"] = opens;
        dlg.close();
        dlg.Midi().SetDriver(nullptr);
    }
}

BENCHMARK(BM_TickWhileAControllerComesAndGoes)
    ->ArgName("comes_and_goes")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
