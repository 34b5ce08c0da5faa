// The MIDI driver with bounded waits, on the worker; see BoundedMidiDriver.h.
#include "BoundedMidiDriver.h"

#include <QSocketNotifier>
#include <algorithm>
#include <atomic>

#include "MidiPortNames.h"
#include "SpscRing.h"

// What an open on a lane hands back; read by the user-interface thread only after the job
// has run (the worker's task orders the two).
struct OpenResult {
    int result = CBoundedMidiDriver::kNoDriver;
    MidiHandle handle = nullptr;
};

// A device's feedback on its way to a back end whose sends may wait: filled on the
// user-interface thread, emptied by one job on the device's lane at a time.
struct OutQueue {
    CSpscRing<uint32_t, CBoundedMidiDriver::kOutQueue> ring;  // packed, status byte lowest
    std::atomic<bool> draining{false};                        // a job is posted and not yet begun
};

namespace {

using Clock = std::chrono::steady_clock;

// A close of a device that no one waits for any more, on its back end's lane.
void CloseHere(MidiDriver& driver, MidiHandle handle)
{
    if (driver.Detach(handle) != MIDI_NOERROR) return;
    driver.Disconnect(handle);
    driver.Release(handle);
}

}  // namespace

CBoundedMidiDriver::CBoundedMidiDriver(CWorker& worker, std::shared_ptr<MidiDriver> driver,
                                       std::chrono::milliseconds bound)
    : m_worker(worker), m_driver(std::move(driver)), m_bound(bound)
{
    m_backends = m_driver->Backends();
    for (const std::string& backend : m_backends) m_lanes[backend];
}

CBoundedMidiDriver::~CBoundedMidiDriver()
{
    AbandonOpening();
    for (auto& entry : m_lanes) {
        for (QSocketNotifier* notice : entry.second.notices) delete notice;
        entry.second.notices.clear();
    }
    // Each back end lets go of its clients on its own lane, which may wait on it: at most
    // the bound in all. One hung keeps its share of the driver below until it returns.
    const Clock::time_point deadline = Clock::now() + m_bound;
    std::vector<CWorker::TaskPtr> tasks;
    for (const std::string& backend : m_backends) {
        CWorker::Job job;
        job.name = "MIDI release (" + backend + ")";
        job.work = [driver = m_driver, backend] { driver->ReleaseBackend(backend); };
        job.timeout = m_bound;
        tasks.push_back(m_worker.Post(backend, std::move(job)));
    }
    for (const CWorker::TaskPtr& task : tasks) task->Wait(deadline);
}

void CBoundedMidiDriver::AbandonOpening()
{
    if (m_opening) m_opening->Abandon();  // its late part closes what it opens
    m_opening.reset();
    m_openTicket.reset();
}

void CBoundedMidiDriver::Combine()
{
    m_names.clear();
    for (const std::string& backend : m_backends) {
        if (m_worker.Hung(backend)) continue;  // a back end that hangs has no ports
        const std::vector<std::string>& names = m_lanes[backend].names;
        m_names.insert(m_names.end(), names.begin(), names.end());
    }
    // The loopback ports last, so that device 0 is a controller wherever one is plugged in.
    std::stable_partition(m_names.begin(), m_names.end(),
                          [](const std::string& name) { return !IsMidiThroughPort(name); });
}

unsigned CBoundedMidiDriver::GetNumDevs()
{
    AbandonOpening();
    const Clock::time_point deadline = Clock::now() + m_bound;
    std::vector<std::pair<std::string, CWorker::TaskPtr>> tasks;
    std::vector<std::shared_ptr<std::vector<std::string>>> parts;
    for (const std::string& backend : m_backends) {
        auto names = std::make_shared<std::vector<std::string>>();
        CWorker::Job job;
        job.name = "MIDI listing (" + backend + ")";
        job.work = [driver = m_driver, backend, names] { *names = driver->ListBackend(backend); };
        job.timeout = m_bound;
        job.skipAtExit = true;
        tasks.emplace_back(backend, m_worker.Post(backend, std::move(job)));
        parts.push_back(names);
    }
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        Lane& lane = m_lanes[tasks[i].first];
        lane.unanswered = !tasks[i].second->Wait(deadline);
        if (!lane.unanswered) {
            lane.names = std::move(*parts[i]);
            // What its notices told of is taken.
            for (QSocketNotifier* notice : lane.notices) notice->setEnabled(true);
        } else {
            lane.names.clear();
        }
    }
    Combine();
    return static_cast<unsigned>(m_names.size());
}

std::string CBoundedMidiDriver::GetDeviceName(unsigned id)
{
    return id < m_names.size() ? m_names[id] : std::string();
}

void CBoundedMidiDriver::ListLater(Listed done)
{
    m_listed = std::move(done);
    for (const std::string& backend : m_backends) List(backend);
}

void CBoundedMidiDriver::List(const std::string& backend)
{
    Lane& lane = m_lanes[backend];
    if (lane.listing && !lane.listing->Done()) {
        lane.again = true;
        return;
    }
    auto names = std::make_shared<std::vector<std::string>>();
    CWorker::Job job;
    job.name = "MIDI listing (" + backend + ")";
    job.work = [driver = m_driver, backend, names] { *names = driver->ListBackend(backend); };
    job.done = [this, backend, names] {
        Lane& lane = m_lanes[backend];
        lane.listing.reset();
        lane.unanswered = false;
        lane.names = std::move(*names);
        for (QSocketNotifier* notice : lane.notices) notice->setEnabled(true);  // taken
        Combine();
        if (m_listed) m_listed(m_names);
        if (lane.again) {
            lane.again = false;
            List(backend);
        }
    };
    job.context = &m_context;
    job.timeout = m_bound;
    job.skipAtExit = true;
    lane.again = false;
    lane.listing = m_worker.Post(backend, std::move(job));
    if (!lane.listing->Refused()) return;
    // Hung: no ports from it until it has returned, told now, on the event loop's turn.
    lane.listing.reset();
    lane.unanswered = true;
    lane.names.clear();
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            Combine();
            if (m_listed) m_listed(m_names);
        },
        Qt::QueuedConnection);
}

CWorker::Job CBoundedMidiDriver::MakeOpen(const std::string& backend, unsigned id,
                                          MidiReceiver* receiver,
                                          std::shared_ptr<OpenResult> result)
{
    CWorker::Job job;
    job.name = "MIDI open (" + backend + ")";
    // The ports may have moved since the listing: the device is found again by its name.
    job.work = [driver = m_driver, backend, stored = StoredPortName(m_names, id), receiver,
                result] {
        const std::vector<std::string> names = driver->ListBackend(backend);
        const int found = FindStoredPortName(names, stored);
        result->result =
            found < 0
                ? kBadDeviceId
                : driver->OpenNamed(&result->handle, names[static_cast<unsigned>(found)], receiver);
        if (result->result != MIDI_NOERROR) result->handle = nullptr;
    };
    job.late = [driver = m_driver, result] {
        if (result->handle) CloseHere(*driver, result->handle);
    };
    job.skipAtExit = true;
    return job;
}

int CBoundedMidiDriver::Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver)
{
    if (!handle || !receiver) return kNoDriver;
    *handle = nullptr;
    AbandonOpening();
    if (id >= m_names.size()) return kBadDeviceId;
    const std::string backend = m_driver->BackendOf(m_names[id]);
    auto result = std::make_shared<OpenResult>();
    CWorker::Job job = MakeOpen(backend, id, receiver, result);
    job.timeout = m_bound;
    if (!m_worker.Post(backend, std::move(job))->Wait(Clock::now() + m_bound)) return MIDI_LATE;
    *handle = result->handle;
    if (result->handle) m_open[result->handle] = backend;
    return result->result;
}

void CBoundedMidiDriver::OpenLater(unsigned id, MidiReceiver* receiver, Opened done)
{
    AbandonOpening();
    if (!receiver || id >= m_names.size()) {
        done(kBadDeviceId, nullptr);
        return;
    }
    const std::string backend = m_driver->BackendOf(m_names[id]);
    auto result = std::make_shared<OpenResult>();
    // No bound: the caller does not wait, and the next listing or open gives it up.
    CWorker::Job job = MakeOpen(backend, id, receiver, result);
    m_openTicket = std::make_shared<int>();
    job.done = [this, backend, result, done, ticket = std::weak_ptr<int>(m_openTicket)] {
        if (result->handle) m_open[result->handle] = backend;
        if (ticket.expired()) {  // given up after it had run: closed again
            if (result->handle) CloseLater(result->handle);
            return;
        }
        AbandonOpening();
        done(result->result, result->handle);
    };
    job.context = &m_context;
    m_opening = m_worker.Post(backend, std::move(job));
    if (m_opening->Refused()) {
        AbandonOpening();
        done(MIDI_LATE, nullptr);
    }
}

CWorker::Job CBoundedMidiDriver::CloseJob(MidiHandle handle)
{
    auto found = m_open.find(handle);
    const std::string backend = found != m_open.end() ? found->second : m_backends.front();
    if (found != m_open.end()) m_open.erase(found);
    m_outs.erase(handle);  // what is queued is sent before the close, on the same lane
    CWorker::Job job;
    job.name = "MIDI close (" + backend + ")";
    job.work = [driver = m_driver, handle] { driver->Disconnect(handle); };
    job.timeout = m_bound;
    m_closeLane = backend;
    return job;
}

int CBoundedMidiDriver::Close(MidiHandle handle)
{
    const int result = m_driver->Detach(handle);
    if (result != MIDI_NOERROR) return result;
    CWorker::Job job = CloseJob(handle);
    // A close that does not come back in time leaves the device to its lane.
    if (m_worker.Post(m_closeLane, std::move(job))->Wait(Clock::now() + m_bound)) {
        m_driver->Release(handle);
    }
    return MIDI_NOERROR;
}

int CBoundedMidiDriver::CloseLater(MidiHandle handle)
{
    const int result = m_driver->Detach(handle);
    if (result != MIDI_NOERROR) return result;
    CWorker::Job job = CloseJob(handle);
    job.done = [driver = m_driver, handle] { driver->Release(handle); };
    job.context = &m_context;
    m_worker.Post(m_closeLane, std::move(job));
    return MIDI_NOERROR;
}

bool CBoundedMidiDriver::Announces()
{
    if (!m_driver->Announces()) return false;
    for (const auto& entry : m_lanes) {
        if (entry.second.unanswered) return false;
        for (const QSocketNotifier* notice : entry.second.notices) {
            if (!notice->isEnabled()) return false;
        }
    }
    return true;
}

void CBoundedMidiDriver::Watch(std::function<void()> changed)
{
    m_changed = std::move(changed);
    if (!m_changed) {
        m_listed = nullptr;
        AbandonOpening();
        return;
    }
    if (m_bWatching) return;
    m_bWatching = true;
    for (const Notice& notice : m_driver->Notices()) {
        Lane& lane = m_lanes[notice.backend];
        auto* notifier = new QSocketNotifier(notice.fd, QSocketNotifier::Read, &m_context);
        lane.notices.push_back(notifier);
        QObject::connect(notifier, &QSocketNotifier::activated, &m_context, [this, notifier] {
            // Readable until that back end's next listing takes it.
            notifier->setEnabled(false);
            if (m_changed) m_changed();
        });
    }
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

bool CBoundedMidiDriver::Send(MidiHandle handle, const uint8_t* bytes, std::size_t size)
{
    const auto open = m_open.find(handle);
    if (open == m_open.end() || size == 0 || size > 3) return false;
    if (!m_driver->SendWaits(open->second)) return m_driver->Send(handle, bytes, size);
    std::shared_ptr<OutQueue>& queue = m_outs[handle];
    if (!queue) queue = std::make_shared<OutQueue>();
    uint32_t packed = 0;
    for (std::size_t i = 0; i < size; ++i) packed |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    if (!queue->ring.Push(packed)) {
        ++m_outDropped;
        return false;
    }
    // Cleared by the job before it empties the ring: a message pushed after that is taken
    // by it or by the next job, never left behind.
    if (queue->draining.exchange(true)) return true;
    CWorker::Job job;
    job.name = "MIDI feedback (" + open->second + ")";
    job.work = [driver = m_driver, queue, handle] {
        queue->draining.store(false);
        uint32_t message = 0;
        while (queue->ring.Pop(message)) {
            const uint8_t out[3] = {static_cast<uint8_t>(message),
                                    static_cast<uint8_t>(message >> 8),
                                    static_cast<uint8_t>(message >> 16)};
            // A Program Change and a Channel Pressure have one data byte.
            const int status = out[0] >> 4;
            driver->Send(handle, out, status == 0xC || status == 0xD ? 2 : 3);
        }
    };
    job.timeout = m_bound;
    job.skipAtExit = true;
    if (m_worker.Post(open->second, std::move(job))->Refused()) {
        // A hung lane: the ring fills and drops until the lane returns.
        queue->draining.store(false);
    }
    return true;
}
