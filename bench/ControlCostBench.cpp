// What interpreting one message costs the window's thread, without the window: a Control
// Change through the fixed interpretation the control map replaced, through the default map
// and through a mapping file's worth of bindings, and an OSC datagram parsed and dispatched;
// each onto the performance state alone (the title it refreshes is the window's, timed by the
// MIDI and OSC benchmarks).
#include <benchmark/benchmark.h>
#include <lo/lo_lowlevel.h>

#include <vector>

#include "ControlMap.h"
#include "DefaultMap.h"
#include "MidiInterpreter.h"
#include "OscReceiver.h"
#include "PadBindings.h"
#include "Performance.h"
#include "SocketAddress.h"

namespace {

constexpr int kCtrl1Number = 1;

// The performance state as the window's control target moves it.
class PerformanceTarget : public ControlTarget {
public:
    CPerformance performance;
    void SetEffect(int value) override { performance.SetEffect(value, ChangeSource::Midi); }
    void StepEffect(int) override {}
    void SetCtrl(int ctrl, int value) override
    {
        if (ctrl == 1) performance.SetCtrl1(value, ChangeSource::Midi);
        if (ctrl == 2) performance.SetCtrl2(value, ChangeSource::Midi);
    }
    void StepCtrl(int, int) override {}
    void Memory(int camera, int key, bool pressed) override
    {
        performance.FrameKey(camera, key, pressed);
    }
    void Store(bool pressed) override { performance.SetRecord(pressed, ChangeSource::Midi); }
    void Toggle(Action) override {}
    void SetToggle(Action, bool) override {}
    void SetClipSpeed(int, double) override {}
    void RestartClip(int) override {}
};

// Control Change 1 on channel 0, a new value each time.
uint32_t Ctrl1Message(int i)
{
    return 0xB0u | kCtrl1Number << 8 | static_cast<uint32_t>(i % 128) << 16;
}

void BM_FixedInterpretation(benchmark::State& state)
{
    PerformanceTarget target;
    const int channel = 0, ctrl1 = kCtrl1Number, ctrl2 = 2;
    const unsigned filter = 13;
    int i = 0;
    for (auto _ : state)
        InterpretMidiMessage(Ctrl1Message(i++), true, &filter, {channel, ctrl1, ctrl2},
                             target.performance);
    benchmark::DoNotOptimize(target.performance.Ctrl1());
}

// Arg 0: the default map; 1: the mapping file's 512 bindings over it.
void BM_ControlMap(benchmark::State& state)
{
    PerformanceTarget target;
    Bindings bindings = DefaultBindings(0, kCtrl1Number, 2);
    if (state.range(0) == 1) bindings = PadBindings(bindings, kCtrl1Number);
    ControlMap map(bindings);
    int i = 0;
    for (auto _ : state) {
        // As the session does: the short message made a control message, then interpreted.
        ControlMessage message;
        ControlMessageFromShort(Ctrl1Message(i++), message);
        map.Interpret(message, target);
    }
    benchmark::DoNotOptimize(target.performance.Ctrl1());
    state.counters["bindings"] = static_cast<double>(map.GetBindings().All().size());
}

void BM_OscPacket(benchmark::State& state)
{
    PerformanceTarget target;
    OscReceiver receiver(target, false);
    sockaddr_storage from{};
    SocketAddressOf("127.0.0.1", 9000, from);
    std::vector<std::vector<char>> packets;
    for (int value = 0; value < 128; ++value) {
        lo_message message = lo_message_new();
        lo_message_add_int32(message, value);
        packets.emplace_back(lo_message_length(message, "/kovra/ctrl1"));
        lo_message_serialise(message, "/kovra/ctrl1", packets.back().data(), nullptr);
        lo_message_free(message);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        std::vector<char>& packet = packets[i++ % packets.size()];
        receiver.HandlePacket(packet.data(), packet.size(), from);
    }
    if (receiver.GetCounts().acted != i) state.SkipWithError("a datagram was not acted on");
}

BENCHMARK(BM_FixedInterpretation);
BENCHMARK(BM_ControlMap)->Arg(0)->Arg(1);
BENCHMARK(BM_OscPacket);

}  // namespace

BENCHMARK_MAIN();
