// The MIDI driver with bounded waits; see BoundedMidiDriver.h.
#include "BoundedMidiDriver.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "MidiPortNames.h"

// One listing or open on its thread. The caller and the thread meet under the mutex: the
// thread marks it done, the caller marks it abandoned, and whichever comes second learns
// of the other, so an open that ends after its caller gave up is closed again.
struct CBoundedMidiDriver::Call {
    std::function<void(MidiDriver&, Call&)> work;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    std::vector<std::string> names;
    int result = 0;
    MidiHandle handle = nullptr;
};

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ListNames(MidiDriver& driver)
{
    std::vector<std::string> names;
    const unsigned n = driver.GetNumDevs();
    for (unsigned id = 0; id < n; ++id) names.push_back(driver.GetDeviceName(id));
    return names;
}

bool IsDone(CBoundedMidiDriver::Call& call)
{
    std::lock_guard<std::mutex> lock(call.mutex);
    return call.done;
}

}  // namespace

CBoundedMidiDriver::CBoundedMidiDriver(std::shared_ptr<MidiDriver> driver,
                                       std::chrono::milliseconds bound)
    : m_driver(std::move(driver)), m_bound(bound)
{
}

CBoundedMidiDriver::~CBoundedMidiDriver()
{
    // A call still running keeps the driver below alive on its own thread; nothing here
    // waits for it, but for a close begun in the background, within the bound.
    AbandonOpening();
    if (m_current) Finish(m_current, Clock::now());
    if (m_closing) Finish(m_closing, Clock::now() + m_bound);
    // The driver below closes its own clients as it goes, which may wait on a back end too:
    // its share goes on a thread of its own, which is waited for within the bound.
    auto last = std::make_shared<Call>();
    std::thread([driver = std::move(m_driver), last]() mutable {
        driver.reset();
        std::lock_guard<std::mutex> lock(last->mutex);
        last->done = true;
        last->finished.notify_all();
    }).detach();
    Finish(last, Clock::now() + m_bound);
}

void CBoundedMidiDriver::Launch(const std::shared_ptr<Call>& call)
{
    std::thread([driver = m_driver, call] {
        call->work(*driver, *call);
        std::unique_lock<std::mutex> lock(call->mutex);
        call->done = true;
        const bool abandoned = call->abandoned;
        lock.unlock();
        call->finished.notify_all();
        if (abandoned && call->handle) driver->Close(call->handle);
    }).detach();
}

std::shared_ptr<CBoundedMidiDriver::Call> CBoundedMidiDriver::Begin(std::shared_ptr<Call> call)
{
    m_current = call;
    m_bLate = false;
    Launch(call);
    return call;
}

void CBoundedMidiDriver::AbandonOpening()
{
    if (!m_opening) return;
    const std::shared_ptr<Call> call = std::move(m_opening);
    std::unique_lock<std::mutex> lock(call->mutex);
    if (!call->done) {
        call->abandoned = true;  // its thread closes it
        return;
    }
    lock.unlock();
    if (call->handle) m_driver->Close(call->handle);
}

bool CBoundedMidiDriver::Ready(Clock::time_point deadline)
{
    if (!m_current) return true;
    if (m_bLate) return IsDone(*m_current);
    std::unique_lock<std::mutex> lock(m_current->mutex);
    if (m_current->finished.wait_until(lock, deadline, [this] { return m_current->done; })) {
        return true;
    }
    m_bLate = true;
    return false;
}

bool CBoundedMidiDriver::Finish(const std::shared_ptr<Call>& call, Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(call->mutex);
    if (call->finished.wait_until(lock, deadline, [&] { return call->done; })) return true;
    call->abandoned = true;
    m_bLate = true;
    return false;
}

unsigned CBoundedMidiDriver::GetNumDevs()
{
    const Clock::time_point deadline = Clock::now() + m_bound;
    AbandonOpening();
    m_names.clear();
    if (!Ready(deadline)) return 0;
    m_poll.reset();  // older than the listing about to run
    auto call = std::make_shared<Call>();
    call->work = [](MidiDriver& driver, Call& self) { self.names = ListNames(driver); };
    if (!Finish(Begin(call), deadline)) return 0;
    m_names = std::move(call->names);
    return static_cast<unsigned>(m_names.size());
}

std::string CBoundedMidiDriver::GetDeviceName(unsigned id)
{
    return id < m_names.size() ? m_names[id] : std::string();
}

std::shared_ptr<CBoundedMidiDriver::Call> CBoundedMidiDriver::MakeOpen(unsigned id,
                                                                       MidiReceiver* receiver)
{
    auto call = std::make_shared<Call>();
    // The ports may have moved since the listing: the device is found again by its name.
    call->work = [stored = StoredPortName(m_names, id), receiver](MidiDriver& driver, Call& self) {
        const int found = FindStoredPortName(ListNames(driver), stored);
        self.result = found < 0 ? kBadDeviceId
                                : driver.Open(&self.handle, static_cast<unsigned>(found), receiver);
        if (self.result != MIDI_NOERROR) self.handle = nullptr;
    };
    return call;
}

int CBoundedMidiDriver::Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver)
{
    if (!handle || !receiver) return kNoDriver;
    *handle = nullptr;
    AbandonOpening();
    if (id >= m_names.size()) return kBadDeviceId;
    const Clock::time_point deadline = Clock::now() + m_bound;
    if (!Ready(deadline)) return kNoDriver;
    m_poll.reset();
    const std::shared_ptr<Call> call = Begin(MakeOpen(id, receiver));
    if (!Finish(call, deadline)) return kNoDriver;
    *handle = call->handle;
    return call->result;
}

int CBoundedMidiDriver::PollOpen(MidiHandle* handle, unsigned id, MidiReceiver* receiver)
{
    if (!handle || !receiver) return kNoDriver;
    *handle = nullptr;
    if (m_opening) {
        if (!IsDone(*m_opening)) return kOpenPending;
        const std::shared_ptr<Call> call = std::move(m_opening);
        *handle = call->handle;
        return call->result;
    }
    if (id >= m_names.size()) return kBadDeviceId;
    if (m_current && !IsDone(*m_current)) return kOpenPending;  // begun on a later call
    m_opening = Begin(MakeOpen(id, receiver));
    return kOpenPending;
}

int CBoundedMidiDriver::CloseLater(MidiHandle handle)
{
    auto call = std::make_shared<Call>();
    call->work = [handle](MidiDriver& driver, Call& self) { self.result = driver.Close(handle); };
    Launch(call);
    m_closing = call;
    return MIDI_NOERROR;
}

bool CBoundedMidiDriver::PollDeviceNames(std::vector<std::string>& names)
{
    if (m_poll) {
        if (!IsDone(*m_poll)) return false;
        m_names = std::move(m_poll->names);
        m_poll.reset();
        names = m_names;
        return true;
    }
    if (m_current && !IsDone(*m_current)) return false;
    auto call = std::make_shared<Call>();
    call->work = [](MidiDriver& driver, Call& self) { self.names = ListNames(driver); };
    m_poll = Begin(call);
    return false;
}

int CBoundedMidiDriver::PrepareHeader(MidiHandle handle, MidiHeader* header)
{
    return m_driver->PrepareHeader(handle, header);
}

int CBoundedMidiDriver::AddBuffer(MidiHandle handle, MidiHeader* header)
{
    return m_driver->AddBuffer(handle, header);
}

int CBoundedMidiDriver::Start(MidiHandle handle) { return m_driver->Start(handle); }

int CBoundedMidiDriver::Reset(MidiHandle handle) { return m_driver->Reset(handle); }

int CBoundedMidiDriver::UnprepareHeader(MidiHandle handle, MidiHeader* header)
{
    return m_driver->UnprepareHeader(handle, header);
}

int CBoundedMidiDriver::Close(MidiHandle handle) { return m_driver->Close(handle); }
