// What the MIDI and OSC benchmarks share: Kovra's window drawing effect 10 on the placeholders,
// a probe that stamps each message as the window handles it and each tick as it runs, and the
// way from a message's sending to the end of the first tick that drew it.
#ifndef KOVRA_BENCH_CONTROLBENCH_H
#define KOVRA_BENCH_CONTROLBENCH_H

#include <benchmark/benchmark.h>

#include <QObject>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CMainDlg;
class MidiDriver;

// Runs the event loop as the program's own does, waking for each posted event at once
// (QTest::qWait sleeps in steps of 10 ms between its rounds).
void RunEventLoopFor(int ms);

double Percentile(std::vector<double> values, double p);

// The Ctrl 1 value the i-th timed message sets: each a new one, so that the tick that drew it
// is known by it.
inline int TimedCtrl1(std::size_t i) { return 1 + static_cast<int>(i % 126); }

// The window on the settings file at `settings`, playing through `driver` (none: no MIDI),
// shown with effect 10 (spheres, a busy one); null with `error` set otherwise.
std::unique_ptr<CMainDlg> OpenControlWindow(const std::string& settings, MidiDriver* driver,
                                            std::string& error);

// Sees every event before the window does: times each socket wake-up that handled messages
// and runs each frame tick itself, so that its start, its end and the Ctrl 1 value it drew
// are known. Times in microseconds of the sender's clock.
class ControlProbe : public QObject {
public:
    using Clock = uint64_t (*)();
    // The messages the window has handled so far.
    using Count = std::function<uint64_t()>;
    ControlProbe(CMainDlg& dlg, Clock now, Count handled);

    // A wake-up that handled messages, and the Ctrl 1 value it left.
    struct Handling {
        uint64_t start, end;
        uint64_t batch;  // the messages it handled
        int ctrl1;
    };
    struct Tick {
        uint64_t start, end;
        int ctrl1;
    };
    // Filled up to the capacity reserved beforehand: the probe allocates nothing meanwhile.
    std::vector<Handling> handled;
    std::vector<Tick> ticks;
    std::atomic<long> handledCount{0};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CMainDlg& m_dlg;
    const Clock m_now;
    const Count m_count;
};

// One timed message's way, ms: to the end of the tick that drew it (total), to the end of the
// window's handling (hand-off: the performance holds its value), the wait from there for the
// tick and the tick's own work; and the handling alone, µs.
struct ControlSample {
    std::size_t message;
    double total, handOff, wait, work, handlingUs;
};

// The samples of the messages sent at `sent[i]` (0: not known) that a wake-up of their own
// handled (the first after the sending that left Ctrl 1 at TimedCtrl1(i)) and whose value the
// first tick after it drew. Known by their values, not by their order: a message handled
// beside another, or drawn together with a later one, is left out and the rest still match.
std::vector<ControlSample> MatchToTicks(const std::vector<uint64_t>& sent,
                                        const ControlProbe& probe);

// Counters `<prefix>handoff_ms_p99` and so on (messages, hand-off and total median and 99th
// percentile, handling median and 99th percentile, tick wait and work medians) for the samples
// that `take` keeps.
void ReportSamples(benchmark::State& state, const std::string& prefix,
                   const std::vector<ControlSample>& samples,
                   const std::function<bool(const ControlSample&)>& take);

#endif
