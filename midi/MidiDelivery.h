// The way of one open MIDI device's input from the reader's thread (JACK's process thread,
// or RtMidi's ALSA thread) to the user-interface thread: short messages and filled
// system-exclusive buffers through a lock-free ring, the window woken by an eventfd.
#ifndef KOVRA_MIDI_MIDIDELIVERY_H
#define KOVRA_MIDI_MIDIDELIVERY_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "MidiDriver.h"
#include "SpscRing.h"

class QSocketNotifier;

class CMidiDelivery {
public:
    // Deliveries waiting for the user-interface thread: eight seconds of a MIDI cable at its
    // full rate. What finds the ring full is dropped and counted.
    static constexpr std::size_t kRingSize = 8192;
    // System-exclusive buffers the driver holds at once (the input queues 32).
    static constexpr std::size_t kMaxBuffers = 64;

    explicit CMidiDelivery(MidiReceiver* receiver);
    ~CMidiDelivery();
    CMidiDelivery(const CMidiDelivery&) = delete;
    CMidiDelivery& operator=(const CMidiDelivery&) = delete;

    // False when the eventfd could not be made: nothing would wake the window.
    bool IsValid() const { return m_eventFd >= 0; }

    // The reader's thread, one thread at a time: a batch of events (one JACK cycle, one RtMidi
    // callback). None of these takes a lock, allocates or calls Qt; the end of a batch writes
    // the eventfd at most once. Receive only between a BeginBatch that returned true and
    // EndBatch; BeginBatch returning false (not started) means the batch is to be dropped.
    bool BeginBatch();
    // One event's bytes as the device sent them. A status byte other than a real-time one
    // ends system-exclusive data, as MIDI's rules say, whether 0xF7 came or not. MIDI clock,
    // time code and active sensing are dropped here.
    void Receive(const uint8_t* bytes, std::size_t count);
    void EndBatch();

    // The user-interface thread. The buffer calls keep the driver's flags on each header.
    int Prepare(MidiHeader* header);
    int Add(MidiHeader* header);
    int Unprepare(MidiHeader* header);
    // Input on; the first start sets up the window's wake-up (where a Qt application runs).
    void Start();
    // Input off. Waits until the reader has left any batch it was in, so nothing that comes
    // later is delivered; then hands the receiver what came before, in order, and gives back
    // every buffer still queued (a part-filled one with what it holds).
    void Stop();
    // Hands everything queued to the receiver, in order: each short message, each buffer
    // given back. Run by the wake-up; callable by hand where no event loop runs.
    void Drain();
    // Whether a Drain is on the stack (a receiver's call may lead to a close).
    bool Draining() const { return m_drainDepth > 0; }

    uint64_t Delivered() const { return m_delivered; }
    uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    struct Delivery {
        uint32_t message;
        MidiHeader* header;  // a buffer given back, or null for a short message
    };

    // Reader's side.
    void PushShort(uint32_t message);
    std::size_t ContinueSysEx(const uint8_t* bytes, std::size_t count, std::size_t i);
    void StoreSysEx(uint8_t byte);
    void EndSysEx();
    void ReturnFront();
    // User-interface side.
    void GiveBack(MidiHeader* header);

    MidiReceiver* m_receiver;
    int m_eventFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;

    // The hand-shake of a stop: the reader marks its batch, the stopper clears `started`
    // and waits for the mark to go (both sequentially consistent, so one sees the other).
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_reading{false};
    std::atomic<bool> m_wakePending{false};
    std::atomic<uint64_t> m_dropped{0};

    CSpscRing<Delivery, kRingSize> m_out;      // reader to user-interface thread
    CSpscRing<MidiHeader*, kMaxBuffers> m_in;  // buffers queued, the other way

    // The reader's own, and the stopper's while stopped: the buffers taken in, oldest first,
    // and where system-exclusive data stands.
    MidiHeader* m_buffers[kMaxBuffers] = {};
    std::size_t m_bufferFront = 0;
    std::size_t m_bufferCount = 0;
    bool m_inSysEx = false;
    bool m_sysExLost = false;  // it found no buffer: the rest of it goes too
    bool m_pushed = false;     // this batch queued something

    // The user-interface thread's own.
    std::size_t m_held = 0;  // buffers added and not yet given back
    uint64_t m_delivered = 0;
    int m_drainDepth = 0;
};

#endif
