// MIDI to picture on the real program: a JACK client sends Control Change messages through a
// JACK server of the bench's own (a 64-frame, 1.3 ms period) to Kovra's window, which draws
// them with the real effects library. Measured: from the JACK cycle the message went out in
// to the end of the first tick that drew it, split into the hand-off to the window, the wait
// for the tick and the tick's own work; and floods of 1000 and 5000 controllers a second for
// 10 s, with the xruns the JACK server reports meanwhile and the window's tick rate (none a
// second: the same 10 s without MIDI, what the machine itself costs).
// Runs on an X display (make bench starts a virtual one).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "JackServer.h"
#include "MainDlg.h"
#include "MidiIn.h"
#include "RtMidiDriver.h"

namespace {

constexpr int kCtrl1Number = 1;

// Runs the event loop as the program's own does, waking for each posted event at once
// (QTest::qWait sleeps in steps of 10 ms between its rounds).
void RunEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * (values.size() - 1) + 0.5)];
}

// Counts the xruns the JACK server reports to its clients.
class XrunCounter {
public:
    XrunCounter()
    {
        m_client = jack_client_open("xrun-counter", JackNoStartServer, nullptr);
        if (!m_client) return;
        jack_set_xrun_callback(m_client, &OnXrun, this);
        jack_activate(m_client);
    }
    ~XrunCounter()
    {
        if (m_client) jack_client_close(m_client);
    }
    long Count() const { return m_count.load(); }

private:
    static int OnXrun(void* self)
    {
        ++static_cast<XrunCounter*>(self)->m_count;
        return 0;
    }
    jack_client_t* m_client = nullptr;
    std::atomic<long> m_count{0};
};

// Sees every event before the window does: stamps each MIDI message as the driver's wake-up
// hands it to the window and runs each frame tick itself, so that its start, its end and the
// Ctrl 1 value it drew are known. Times in microseconds of jack_get_time, the clock of the
// JACK cycle times.
class Probe : public QObject {
public:
    Probe(CMainDlg& dlg, CRtMidiDriver& driver) : m_dlg(dlg), m_driver(driver) {}

    struct Tick {
        jack_time_t start, end;
        int ctrl1;
    };
    std::vector<jack_time_t> handled;  // each MIDI message, when it was handled
    std::vector<double> handlingUs;    // how long handling it took
    std::vector<Tick> ticks;
    std::atomic<long> handledCount{0};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (qobject_cast<QSocketNotifier*>(watched) && event->type() == QEvent::SockAct) {
            const uint64_t before = m_driver.DeliveryCounts().delivered;
            const jack_time_t start = jack_get_time();
            watched->event(event);
            const jack_time_t end = jack_get_time();
            const uint64_t count = m_driver.DeliveryCounts().delivered - before;
            for (uint64_t i = 0; i < count; ++i) {
                if (handled.size() < handled.capacity()) handled.push_back(start);
                if (handlingUs.size() < handlingUs.capacity()) {
                    handlingUs.push_back(static_cast<double>(end - start) / count);
                }
            }
            handledCount += static_cast<long>(count);
            return true;
        }
        auto* timer = qobject_cast<QTimer*>(watched);
        if (timer && event->type() == QEvent::Timer && timer->timerType() == Qt::PreciseTimer &&
            timer->isSingleShot() && timer->interval() <= m_dlg.m_nInterval) {
            const Tick tick{jack_get_time(), 0, m_dlg.Performance().Ctrl1()};
            watched->event(event);  // the tick: pictures, draw, present
            if (ticks.size() < ticks.capacity())
                ticks.push_back({tick.start, jack_get_time(), tick.ctrl1});
            return true;
        }
        return false;
    }

private:
    CMainDlg& m_dlg;
    CRtMidiDriver& m_driver;
};

// Kovra's window listening to the sender's port, Ctrl 1 on controller 1.
struct Stage {
    JackServer server{64};
    JackSender sender;
    CRtMidiDriver driver;
    QTemporaryDir dir;
    std::unique_ptr<CMainDlg> dlg;

    bool Open(std::string& error)
    {
        if (!server.IsRunning() || !sender.IsOpen()) return (error = "no JACK server"), false;
        const unsigned n = driver.GetNumDevs();
        unsigned id = 0;
        while (id < n && driver.GetDeviceName(id) != "JACK: " + sender.PortName()) ++id;
        const std::string path = dir.filePath("Kovra.ini").toStdString();
        std::ofstream(path) << "[MIDI]\nDEVICE=" << id << "\nCH=0\nCTRL1=" << kCtrl1Number
                            << "\nCTRL2=2\n";
        dlg = std::make_unique<CMainDlg>();
        dlg->Midi().SetDriver(&driver);
        dlg->m_settingsPath = path;
        if (!dlg->Setup()) return (error = "no OpenGL window"), false;
        dlg->show();
        if (!QTest::qWaitForWindowExposed(dlg.get())) return (error = "window not shown"), false;
        dlg->Performance().SetEffect(10, ChangeSource::Dialog);  // spheres: a busy effect
        QTest::qWait(300);
        if (!dlg->Midi().Input().IsStarted() || !sender.WaitConnected(5000)) {
            return (error = "the sender is not connected"), false;
        }
        return true;
    }
    ~Stage()
    {
        if (dlg) dlg->close();
        if (dlg) dlg->Midi().SetDriver(nullptr);
        dlg.reset();
    }
};

void BM_MidiToPicture(benchmark::State& state)
{
    const std::size_t count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        Stage stage;
        std::string error;
        if (!stage.Open(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        Probe probe(*stage.dlg, stage.driver);
        probe.handled.reserve(count);
        probe.handlingUs.reserve(count);
        probe.ticks.reserve(count * 4);
        stage.sender.KeepCycleTimes(count);
        qApp->installEventFilter(&probe);

        // Messages at random moments against the tick, each a new value.
        std::mt19937 random(7);
        std::uniform_int_distribution<int> gap(20, 60);
        for (std::size_t i = 0; i < count; ++i) {
            const int value = 1 + static_cast<int>(i % 126);
            stage.sender.Send({0xB0, kCtrl1Number, static_cast<uint8_t>(value)});
            RunEventLoopFor(gap(random));
        }
        RunEventLoopFor(200);
        qApp->removeEventFilter(&probe);

        std::vector<double> total, handOff, wait, work;
        std::size_t tick = 0;
        for (std::size_t i = 0; i < count && i < probe.handled.size(); ++i) {
            const jack_time_t sent = stage.sender.CycleTime(i);
            const jack_time_t handled = probe.handled[i];
            while (tick < probe.ticks.size() && probe.ticks[tick].start < handled) ++tick;
            if (tick == probe.ticks.size() || sent == 0) break;
            const Probe::Tick& drawn = probe.ticks[tick];
            if (drawn.ctrl1 != 1 + static_cast<int>(i % 126)) continue;  // a later one drew it
            const auto ms = [](jack_time_t from, jack_time_t to) {
                return (static_cast<double>(to) - static_cast<double>(from)) / 1000.0;
            };
            total.push_back(ms(sent, drawn.end));
            handOff.push_back(ms(sent, handled));
            wait.push_back(ms(handled, drawn.start));
            work.push_back(ms(drawn.start, drawn.end));
        }
        state.counters["messages"] = static_cast<double>(total.size());
        state.counters["total_ms_median"] = Percentile(total, 0.5);
        state.counters["total_ms_p99"] = Percentile(total, 0.99);
        state.counters["handoff_ms_median"] = Percentile(handOff, 0.5);
        state.counters["handoff_ms_p99"] = Percentile(handOff, 0.99);
        state.counters["tick_wait_ms_median"] = Percentile(wait, 0.5);
        state.counters["tick_work_ms_median"] = Percentile(work, 0.5);
        state.counters["tick_work_ms_p99"] = Percentile(work, 0.99);
    }
}

void BM_ControllerFlood(benchmark::State& state)
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
        Probe probe(*stage.dlg, stage.driver);
        XrunCounter xruns;
        probe.handlingUs.reserve(static_cast<std::size_t>(perSecond * seconds));
        probe.ticks.reserve(static_cast<std::size_t>(seconds * 40));
        qApp->installEventFilter(&probe);

        std::atomic<bool> done{false};
        std::atomic<long> sent{0};
        std::thread flood([&] {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < perSecond * seconds; ++i) {
                std::this_thread::sleep_until(start +
                                              std::chrono::microseconds(1000000LL * i / perSecond));
                if (stage.sender.Send({0xB0, kCtrl1Number, static_cast<uint8_t>(i % 128)})) ++sent;
            }
            std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
            done = true;
        });
        long backlog = 0;
        QElapsedTimer clock;
        clock.start();
        while (!done) {
            RunEventLoopFor(5);
            backlog = std::max(backlog, sent.load() - probe.handledCount.load());
        }
        const double elapsed = clock.elapsed() / 1000.0;
        flood.join();
        RunEventLoopFor(200);
        qApp->removeEventFilter(&probe);

        // The title alone: what each controller's refresh costs.
        std::vector<double> title;
        for (int i = 0; i < 2000; ++i) {
            const jack_time_t start = jack_get_time();
            stage.dlg->Performance().SetCtrl1(i % 128, ChangeSource::Midi);
            title.push_back(static_cast<double>(jack_get_time() - start));
        }
        std::vector<double> work;
        for (const Probe::Tick& tick : probe.ticks)
            work.push_back((tick.end - tick.start) / 1000.0);
        state.counters["sent"] = static_cast<double>(sent.load());
        state.counters["sent_out"] = static_cast<double>(stage.sender.Sent());  // gone out to JACK
        state.counters["handled"] = static_cast<double>(probe.handledCount.load());
        state.counters["dropped"] = static_cast<double>(stage.driver.DeliveryCounts().dropped);
        state.counters["max_backlog"] = static_cast<double>(backlog);
        state.counters["jack_xruns"] = static_cast<double>(xruns.Count());
        state.counters["ticks_per_s"] = probe.ticks.size() / elapsed;
        state.counters["handle_us_median"] = Percentile(probe.handlingUs, 0.5);
        state.counters["handle_us_p99"] = Percentile(probe.handlingUs, 0.99);
        state.counters["title_us_median"] = Percentile(title, 0.5);
        state.counters["tick_work_ms_median"] = Percentile(work, 0.5);
    }
}

BENCHMARK(BM_MidiToPicture)->Arg(300)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ControllerFlood)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
