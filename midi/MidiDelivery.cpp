// The hand-off of MIDI input to the user-interface thread; see MidiDelivery.h.
#include "MidiDelivery.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cstring>
#include <thread>

#include "MidiMessage.h"
#include "RtMidiDriver.h"

namespace {

// What RtMidi's ignoreTypes(false, true, true) drops on the ALSA side: MIDI time code, clock
// and active sensing. Sent up to dozens of times a second, and no filter word of the program
// accepts them.
bool Ignored(uint32_t message)
{
    const uint8_t status = MidiStatus(message);
    return status == 0xF1 || status == 0xF8 || status == 0xFE;
}

}  // namespace

CMidiDelivery::CMidiDelivery(MidiReceiver* receiver)
    : m_receiver(receiver), m_eventFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

CMidiDelivery::~CMidiDelivery()
{
    m_notifier.reset();  // before the descriptor it watches
    if (m_eventFd >= 0) close(m_eventFd);
}

bool CMidiDelivery::BeginBatch()
{
    m_reading.store(true);
    if (!m_started.load()) {
        m_reading.store(false, std::memory_order_release);
        return false;
    }
    // Buffers queued since the last batch join the reader's own, oldest first.
    MidiHeader* header = nullptr;
    while (m_bufferCount < kMaxBuffers && m_in.Pop(header)) {
        m_buffers[(m_bufferFront + m_bufferCount++) % kMaxBuffers] = header;
    }
    m_pushed = false;
    return true;
}

void CMidiDelivery::EndBatch()
{
    // One write while the window has not yet looked: it drains everything at once.
    if (m_pushed && !m_wakePending.exchange(true, std::memory_order_acq_rel)) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_eventFd, &one, sizeof one);
    }
    m_reading.store(false, std::memory_order_release);
}

void CMidiDelivery::Receive(const uint8_t* bytes, std::size_t count)
{
    std::size_t i = m_inSysEx ? ContinueSysEx(bytes, count, 0) : 0;
    while (i < count) {
        const void* start = std::memchr(bytes + i, 0xF0, count - i);
        const std::size_t end = start ? static_cast<const uint8_t*>(start) - bytes : count;
        ForEachShortMessage(bytes + i, end - i, [this](uint32_t message) { PushShort(message); });
        if (end == count) break;
        m_inSysEx = true;
        m_sysExLost = false;
        StoreSysEx(0xF0);
        i = ContinueSysEx(bytes, count, end + 1);
    }
}

// From byte i on, data bytes belong to the open system-exclusive data and real-time bytes
// pass through it; 0xF7 or any other status byte ends it. Returns where short messages
// resume (count while the data is still open).
std::size_t CMidiDelivery::ContinueSysEx(const uint8_t* bytes, std::size_t count, std::size_t i)
{
    for (; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte < 0x80) {
            StoreSysEx(byte);
        } else if (byte >= 0xF8) {
            PushShort(byte);
        } else {
            if (byte == 0xF7) {
                StoreSysEx(byte);
                ++i;
            }
            EndSysEx();
            return i;
        }
    }
    return count;
}

// The queued buffers take the data in order; each goes back when it is full or the data
// ends. Data that finds no buffer is dropped, and the rest of it with it.
void CMidiDelivery::StoreSysEx(uint8_t byte)
{
    if (m_sysExLost) return;
    if (m_bufferCount == 0) {
        m_sysExLost = true;
        return;
    }
    MidiHeader* header = m_buffers[m_bufferFront];
    header->data[header->bytesRecorded++] = byte;
    if (header->bytesRecorded == header->bufferLength) ReturnFront();
}

void CMidiDelivery::EndSysEx()
{
    if (m_bufferCount != 0 && m_buffers[m_bufferFront]->bytesRecorded != 0) ReturnFront();
    m_inSysEx = false;
}

void CMidiDelivery::ReturnFront()
{
    // Always room: short messages leave kMaxBuffers places free, and no more buffers exist.
    m_out.Push({0, m_buffers[m_bufferFront]});
    m_bufferFront = (m_bufferFront + 1) % kMaxBuffers;
    --m_bufferCount;
    m_pushed = true;
}

void CMidiDelivery::PushShort(uint32_t message)
{
    if (Ignored(message)) return;
    if (m_out.Free() > kMaxBuffers && m_out.Push({message, nullptr})) {
        m_pushed = true;
    } else {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
    }
}

int CMidiDelivery::Prepare(MidiHeader* header)
{
    if (!header->data || header->bufferLength == 0) return CRtMidiDriver::kInvalidParam;
    if (header->flags & CRtMidiDriver::kInQueue) return CRtMidiDriver::kStillPlaying;
    header->flags |= CRtMidiDriver::kPrepared;
    return MIDI_NOERROR;
}

int CMidiDelivery::Add(MidiHeader* header)
{
    if (!(header->flags & CRtMidiDriver::kPrepared)) return CRtMidiDriver::kUnprepared;
    if (header->flags & CRtMidiDriver::kInQueue) return CRtMidiDriver::kStillPlaying;
    if (m_held == kMaxBuffers) return CRtMidiDriver::kNoMemory;
    header->flags = (header->flags & ~CRtMidiDriver::kDone) | CRtMidiDriver::kInQueue;
    header->bytesRecorded = 0;
    m_in.Push(header);  // room: it holds kMaxBuffers
    ++m_held;
    return MIDI_NOERROR;
}

int CMidiDelivery::Unprepare(MidiHeader* header)
{
    if (header->flags & CRtMidiDriver::kInQueue) return CRtMidiDriver::kStillPlaying;
    header->flags &= ~CRtMidiDriver::kPrepared;
    return MIDI_NOERROR;
}

void CMidiDelivery::Start()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!m_notifier && IsValid() && app && QThread::currentThread() == app->thread()) {
        m_notifier = std::make_unique<QSocketNotifier>(m_eventFd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
    }
    m_started.store(true);
}

void CMidiDelivery::Stop()
{
    m_started.store(false);
    // A batch that saw `started` still set ends within microseconds; any later one sees it
    // cleared and touches nothing.
    while (m_reading.load()) std::this_thread::yield();
    Drain();
    // The reader's side is ours until the next start.
    while (m_bufferCount != 0) {
        MidiHeader* header = m_buffers[m_bufferFront];
        m_bufferFront = (m_bufferFront + 1) % kMaxBuffers;
        --m_bufferCount;
        GiveBack(header);
    }
    MidiHeader* header = nullptr;
    while (m_in.Pop(header)) GiveBack(header);
    m_inSysEx = false;
    m_sysExLost = false;
    // The notifier belongs to the user-interface thread; a stopped device may be closed and
    // destroyed on another (a controller that went is closed in the background).
    // A stop from inside the notifier's own signal leaves its deletion to the event loop.
    if (m_notifier && m_notifier->thread() == QThread::currentThread()) {
        m_notifier->setEnabled(false);
        QObject::disconnect(m_notifier.get(), nullptr, nullptr, nullptr);
        if (m_drainDepth > 0) {
            m_notifier.release()->deleteLater();
        } else {
            m_notifier.reset();
        }
    }
}

void CMidiDelivery::Drain()
{
    ++m_drainDepth;
    // Read before the flag is cleared: a batch that finds it set has queued its deliveries
    // before, and the exchange below makes them visible here.
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(m_eventFd, &count, sizeof count);
    m_wakePending.exchange(false, std::memory_order_acq_rel);
    Delivery delivery{};
    while (m_out.Pop(delivery)) {
        if (delivery.header) {
            GiveBack(delivery.header);
        } else {
            ++m_delivered;
            m_receiver->PostShortMessage(delivery.message);
        }
    }
    --m_drainDepth;
}

void CMidiDelivery::GiveBack(MidiHeader* header)
{
    header->flags = (header->flags & ~CRtMidiDriver::kInQueue) | CRtMidiDriver::kDone;
    --m_held;
    m_receiver->PostLongData(header);
}
