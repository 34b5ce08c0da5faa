// Kovra's own work in a tick (each camera's picture, its upload, the reset and draw calls)
// allocates nothing: every buffer exists from set-up on; nor does a MIDI message on its way
// from the driver's reader to the frame memory. Counted with the program's operator new, armed only
// around that work, on a real window and the real effects.
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <cstdlib>
#include <new>

#include <dlfcn.h>
#include <execinfo.h>

#include <cstring>
#include <initializer_list>

#include <algorithm>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "KovraEff.h"
#include "MainDlg.h"
#include "MidiDelivery.h"
#include "MidiIn.h"

namespace {

// Armed on the frame loop's own thread only: the renderer's worker threads are not ours.
thread_local bool t_armed = false;
thread_local bool t_inside = false;
std::atomic<long> s_allocations{0};
const void* s_programBase = nullptr;
const void* s_effectsBase = nullptr;

const void* BaseOf(const void* address)
{
    Dl_info info;
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

bool IsRuntime(const char* file)
{
    return std::strstr(file, "libstdc++") || std::strstr(file, "libc.so") ||
           std::strstr(file, "libgcc_s");
}

// An allocation is the program's own when the nearest caller outside the C and C++
// runtimes is the program or the effects library; one that the OpenGL driver (Mesa's
// shader compiler is C++) makes inside a GL call is not.
bool IsOurs(const void* address)
{
    Dl_info info;
    return dladdr(address, &info) &&
           (info.dli_fbase == s_programBase || info.dli_fbase == s_effectsBase);
}

bool MadeByOurCode(const void* caller)
{
    Dl_info info;
    if (!dladdr(caller, &info) || !info.dli_fname) return false;
    if (!IsRuntime(info.dli_fname)) return IsOurs(caller);
    // Called from inside the runtime (a std::string grown, say): look further up.
    void* frames[32];
    const int count = backtrace(frames, 32);
    int i = 0;
    while (i < count && frames[i] != caller) ++i;
    for (++i; i < count; ++i) {
        if (!dladdr(frames[i], &info) || !info.dli_fname) continue;
        if (!IsRuntime(info.dli_fname)) return IsOurs(frames[i]);
    }
    return false;
}

void* Allocate(std::size_t size, const void* caller)
{
    if (t_armed && !t_inside) {
        t_inside = true;
        if (MadeByOurCode(caller)) s_allocations.fetch_add(1);
        t_inside = false;
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

// The counting operator new is not shared by the runtime's other forms of new (aligned,
// nothrow), so AddressSanitizer must not call a pairing across them a mismatch.
extern "C" const char* __asan_default_options() { return "alloc_dealloc_mismatch=0"; }

void* operator new(std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return Allocate(size, __builtin_return_address(0)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(TickAllocation, ATicksOwnWorkAllocatesNothingWhateverTheEffect)
{
    CMainDlg dlg;
    dlg.m_settingsPath = "/nonexistent-folder/kovra-test.ini";
    ASSERT_TRUE(dlg.Setup());
    dlg.m_bRunning = false;  // the timer's own ticks stay out of the count
    s_programBase = BaseOf(reinterpret_cast<const void*>(&BaseOf));
    s_effectsBase = BaseOf(reinterpret_cast<const void*>(&KOVRAEFF_Draw));
    ASSERT_NE(s_effectsBase, s_programBase);
    void* warmUp[4];
    backtrace(warmUp, 4);  // loads the unwinder before counting starts

    // The counter sees our allocations, direct or through the C++ runtime.
    t_armed = true;
    // (direct calls: new-expressions may be optimised away, these may not)
    ::operator delete(::operator new(16));
    std::string grown(100, 'x');
    t_armed = false;
    ASSERT_EQ(s_allocations.exchange(0), 2);

    for (int tick = 0; tick < 320; ++tick) {
        dlg.Performance().SetEffect(tick / 20,
                                    ChangeSource::Dialog);  // every effect, each chosen anew
        dlg.Performance().SetCtrl1(tick % 128, ChangeSource::Dialog);
        t_armed = true;
        dlg.DrawFrame();
        t_armed = false;
    }
    EXPECT_EQ(s_allocations.load(), 0) << "with the placeholders";

    // A live camera on A (copy out, convert, scale) and a stored picture held on B.
    const std::vector<std::string> names = VideoDeviceNames();
    const auto ball = std::find(names.begin(), names.end(), kTestPatternBall);
    const auto bars = std::find(names.begin(), names.end(), kTestPatternBars);
    ASSERT_TRUE(ball != names.end() && bars != names.end());
    dlg.m_nDeviceA = static_cast<int>(ball - names.begin()) + 1;
    dlg.m_nDeviceB = static_cast<int>(bars - names.begin()) + 1;
    ASSERT_TRUE(dlg.m_memA.Open(dlg.m_nDeviceA, &dlg, false));
    ASSERT_TRUE(dlg.m_memB.Open(dlg.m_nDeviceB, &dlg, false));
    dlg.FrameKey(1, 3, true);
    for (int tick = 0; tick < 200; ++tick) {
        dlg.Performance().SetEffect(tick % 16, ChangeSource::Dialog);
        t_armed = true;
        dlg.DrawFrame();
        t_armed = false;
    }
    EXPECT_EQ(s_allocations.load(), 0) << "with live and stored camera pictures";
}

// One device that opens and takes every buffer.
class QuietDriver : public MidiDriver {
public:
    unsigned GetNumDevs() override { return 1; }
    std::string GetDeviceName(unsigned) override { return "Port"; }
    int Open(MidiHandle* handle, unsigned, MidiReceiver*) override
    {
        *handle = this;
        return MIDI_NOERROR;
    }
    int PrepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int AddBuffer(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Start(MidiHandle) override { return MIDI_NOERROR; }
    int Reset(MidiHandle) override { return MIDI_NOERROR; }
    int UnprepareHeader(MidiHandle, MidiHeader*) override { return MIDI_NOERROR; }
    int Close(MidiHandle) override { return MIDI_NOERROR; }
};

TEST(TickAllocation, AMidiMessagesWayToTheFrameMemoryAllocatesNothing)
{
    QuietDriver driver;
    {
        CMainDlg dlg;
        dlg.Midi().SetDriver(&driver);
        dlg.m_settingsPath = "/nonexistent-folder/kovra-test.ini";
        ASSERT_TRUE(dlg.Setup());
        ASSERT_TRUE(dlg.Midi().Input().IsStarted());
        const std::vector<std::string> names = VideoDeviceNames();
        const auto bars = std::find(names.begin(), names.end(), kTestPatternBars);
        ASSERT_TRUE(bars != names.end());
        dlg.m_nDeviceA = static_cast<int>(bars - names.begin()) + 1;
        ASSERT_TRUE(dlg.m_memA.Open(dlg.m_nDeviceA, &dlg, false));
        s_programBase = BaseOf(reinterpret_cast<const void*>(&BaseOf));
        QCoreApplication::processEvents();

        // Notes of both octaves, black keys among them, other notes and ignored messages:
        // read as the driver's reader reads them, then handed to the window. (A controller
        // or a program change also rebuilds the title, whose text is a new string each time.)
        CMidiDelivery delivery(&dlg);
        delivery.Start();
        const auto receive = [&delivery](std::initializer_list<uint8_t> bytes) {
            delivery.Receive(bytes.begin(), bytes.size());
        };
        constexpr int kRounds = 50;
        s_allocations = 0;
        for (int round = 0; round < kRounds; ++round) {
            t_armed = true;
            const bool began = delivery.BeginBatch();
            for (int note = 40; note < 80; ++note) {
                receive({0x90, static_cast<uint8_t>(note), 0x40});
                receive({0x80, static_cast<uint8_t>(note), 0x00});
            }
            receive({0xE0, 0x00, 0x40});
            receive({0xF8});  // dropped on arrival
            delivery.EndBatch();
            // Only the delivery: the frame timer's tick (whose rate window refreshes the
            // title every five seconds) is not this way and stays out of the count.
            delivery.Drain();
            t_armed = false;
            ASSERT_TRUE(began);
        }
        EXPECT_EQ(s_allocations.load(), 0);
        EXPECT_EQ(delivery.Delivered(), kRounds * (2u * 40 + 1)) << "every message was handled";
        dlg.close();
        dlg.Midi().SetDriver(nullptr);
    }
}

}  // namespace
