// MIDI to picture on the real program: a JACK client sends Control Change messages through a
// JACK server of the bench's own (a 64-frame, 1.3 ms period) to Kovra's window, which draws
// them with the real effects library. Measured: from the JACK cycle the message went out in
// to the end of the window's handling and to the end of the first tick that drew it, the
// messages played alternately through the control map (the default map, or a mapping file's
// worth of bindings over it) and through the fixed interpretation it replaced; and floods of
// 1000 and 5000 controllers a second for 10 s, with the xruns the JACK server reports
// meanwhile and the window's tick rate (none a second: the same 10 s without MIDI, what the
// machine itself costs).
// Runs on an X display (make bench starts a virtual one).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "ControlBench.h"
#include "DefaultMap.h"
#include "JackServer.h"
#include "MainDlg.h"
#include "MappingFile.h"
#include "MidiIn.h"
#include "MidiInterpreter.h"
#include "MidiMessage.h"
#include "MidiPortNames.h"
#include "PadBindings.h"
#include "RtMidiDriver.h"

namespace {

constexpr int kCtrl1Number = 1;

uint64_t JackNow() { return jack_get_time(); }

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

// The real driver, whose device hands each Control Change of an odd value to the fixed
// interpretation onto the performance, as the window did before the control map, and every
// other message to the window's MIDI session, which plays it through the map. The two ways
// thus alternate message by message in one run, on one machine load.
class SplitDriver : public CRtMidiDriver {
public:
    CMainDlg* dlg = nullptr;

    int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override
    {
        m_split.session = receiver;
        return CRtMidiDriver::Open(handle, id, &m_split);
    }

private:
    struct Split : MidiReceiver {
        SplitDriver& driver;
        MidiReceiver* session = nullptr;
        explicit Split(SplitDriver& d) : driver(d) {}
        void PostShortMessage(uint32_t message) override
        {
            if (driver.dlg && MidiStatus(message) >> 4 == 0xB && MidiData2(message) % 2 == 1) {
                CMidiSession& midi = driver.dlg->Midi();
                const int channel = midi.Channel(), ctrl1 = midi.Ctrl1(), ctrl2 = midi.Ctrl2();
                InterpretMidiMessage(message, midi.Input().IsStarted(), midi.Input().FilterSource(),
                                     {channel, ctrl1, ctrl2}, driver.dlg->Performance());
                return;
            }
            session->PostShortMessage(message);
        }
        void PostLongData(MidiHeader* header) override { session->PostLongData(header); }
    };
    Split m_split{*this};
};

// Kovra's window listening to the sender's port, Ctrl 1 on controller 1; with `padMap`, the
// port's mapping file lays a pad controller's 512 bindings over the default map.
struct Stage {
    JackServer server{64};
    JackSender sender;
    SplitDriver driver;
    QTemporaryDir dir;
    std::unique_ptr<CMainDlg> dlg;

    bool Open(bool padMap, std::string& error)
    {
        if (!server.IsRunning() || !sender.IsOpen()) return (error = "no JACK server"), false;
        std::vector<std::string> names;
        for (unsigned id = 0; id < driver.GetNumDevs(); ++id)
            names.push_back(driver.GetDeviceName(id));
        const auto id = std::find(names.begin(), names.end(), "JACK: " + sender.PortName());
        const std::string path = dir.filePath("Kovra.ini").toStdString();
        std::ofstream(path) << "[MIDI]\nDEVICE=" << id - names.begin()
                            << "\nCH=0\nCTRL1=" << kCtrl1Number << "\nCTRL2=2\n";
        if (padMap && id != names.end()) {
            const std::string file =
                MappingFilePath(path, StoredPortName(names, id - names.begin()));
            std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            const Bindings defaults = DefaultBindings(0, kCtrl1Number, 2);
            if (!WriteMappingFile(file, PadBindings(defaults, kCtrl1Number), defaults))
                return (error = "the mapping file was not written"), false;
        }
        dlg = OpenControlWindow(path, &driver, error);
        if (!dlg) return false;
        driver.dlg = dlg.get();
        if (!dlg->Midi().Input().IsStarted() || !sender.WaitConnected(5000)) {
            return (error = "the sender is not connected"), false;
        }
        // Controller 31 of channel 8 sets Ctrl 2 through the pad controller's bindings only;
        // controller 1 of channel 1, coming after it, sets Ctrl 1 through either map.
        sender.Send({0xB7, 31, 78});
        sender.Send({0xB0, kCtrl1Number, 56});
        if (!QTest::qWaitFor([&] { return dlg->Performance().Ctrl1() == 56; }, 5000))
            return (error = "the window does not play the sender"), false;
        if ((dlg->Performance().Ctrl2() == 78) != padMap)
            return (error = "the window plays another map"), false;
        return true;
    }
    ~Stage()
    {
        driver.dlg = nullptr;
        if (dlg) dlg->close();
        if (dlg) dlg->Midi().SetDriver(nullptr);
        dlg.reset();
    }
};

// Arg 0: the default map; 1: the mapping file. Even messages take the fixed interpretation.
void BM_MidiToPicture(benchmark::State& state)
{
    const std::size_t count = 800;
    for (auto _ : state) {
        Stage stage;
        std::string error;
        if (!stage.Open(state.range(0) == 1, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        ControlProbe probe(*stage.dlg, &JackNow,
                           [&] { return stage.driver.DeliveryCounts().delivered; });
        probe.handled.reserve(count);
        probe.ticks.reserve(count * 4);
        const std::size_t first = stage.sender.Sent();  // the stage's own messages
        stage.sender.KeepCycleTimes(first + count);
        qApp->installEventFilter(&probe);

        // Messages at random moments against the tick, each a new value.
        std::mt19937 random(7);
        std::uniform_int_distribution<int> gap(20, 60);
        for (std::size_t i = 0; i < count; ++i) {
            stage.sender.Send({0xB0, kCtrl1Number, static_cast<uint8_t>(TimedCtrl1(i))});
            RunEventLoopFor(gap(random));
        }
        RunEventLoopFor(200);
        qApp->removeEventFilter(&probe);

        std::vector<uint64_t> sent(count);
        for (std::size_t i = 0; i < count; ++i) sent[i] = stage.sender.CycleTime(first + i);
        const std::vector<ControlSample> samples = MatchToTicks(sent, probe);
        state.counters["handled"] = static_cast<double>(probe.handledCount.load());
        ReportSamples(state, "fixed_", samples,
                      [](const ControlSample& s) { return s.message % 2 == 0; });
        ReportSamples(state, "map_", samples,
                      [](const ControlSample& s) { return s.message % 2 == 1; });
        state.counters["map_added_ms_median"] =
            state.counters["map_handoff_ms_median"] - state.counters["fixed_handoff_ms_median"];
        state.counters["map_added_ms_p99"] =
            state.counters["map_handoff_ms_p99"] - state.counters["fixed_handoff_ms_p99"];
    }
}

void BM_ControllerFlood(benchmark::State& state)
{
    const int perSecond = static_cast<int>(state.range(0));
    const int seconds = 10;
    for (auto _ : state) {
        Stage stage;
        std::string error;
        if (!stage.Open(false, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        stage.driver.dlg = nullptr;  // every message through the map, as the program plays it
        ControlProbe probe(*stage.dlg, &JackNow,
                           [&] { return stage.driver.DeliveryCounts().delivered; });
        XrunCounter xruns;
        probe.handled.reserve(static_cast<std::size_t>(perSecond * seconds));
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
        std::vector<double> work, handling;
        for (const ControlProbe::Tick& tick : probe.ticks)
            work.push_back((tick.end - tick.start) / 1000.0);
        for (const ControlProbe::Handling& h : probe.handled)
            handling.insert(handling.end(), h.batch,
                            static_cast<double>(h.end - h.start) / h.batch);
        state.counters["sent"] = static_cast<double>(sent.load());
        state.counters["sent_out"] = static_cast<double>(stage.sender.Sent());  // gone out to JACK
        state.counters["handled"] = static_cast<double>(probe.handledCount.load());
        state.counters["dropped"] = static_cast<double>(stage.driver.DeliveryCounts().dropped);
        state.counters["max_backlog"] = static_cast<double>(backlog);
        state.counters["jack_xruns"] = static_cast<double>(xruns.Count());
        state.counters["ticks_per_s"] = probe.ticks.size() / elapsed;
        state.counters["handle_us_median"] = Percentile(handling, 0.5);
        state.counters["handle_us_p99"] = Percentile(handling, 0.99);
        state.counters["title_us_median"] = Percentile(title, 0.5);
        state.counters["tick_work_ms_median"] = Percentile(work, 0.5);
    }
}

BENCHMARK(BM_MidiToPicture)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ControllerFlood)
    ->Arg(0)
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
