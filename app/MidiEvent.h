// A MIDI delivery posted to the main window from the driver's thread: one short message, or
// one system-exclusive buffer given back. Events come from a fixed pool, so a message costs
// no allocation on its way.
#ifndef KOVRA_APP_MIDIEVENT_H
#define KOVRA_APP_MIDIEVENT_H

#include <QEvent>
#include <cstddef>
#include <cstdint>

struct MidiHeader;

class CMidiEvent : public QEvent {
public:
    static constexpr QEvent::Type kMidiInData = static_cast<QEvent::Type>(QEvent::User + 0x3C3);
    static constexpr QEvent::Type kMidiInLongData = static_cast<QEvent::Type>(QEvent::User + 0x3C4);

    explicit CMidiEvent(uint32_t message) : QEvent(kMidiInData), m_message(message) {}
    explicit CMidiEvent(MidiHeader* header) : QEvent(kMidiInLongData), m_pHeader(header) {}

    uint32_t Message() const { return m_message; }
    MidiHeader* Header() const { return m_pHeader; }

    // Qt deletes posted events through QEvent's virtual destructor, which comes back here.
    // When the pool is used up (the user-interface thread held up for seconds), events
    // come from the heap instead, so none is lost.
    static void* operator new(std::size_t size);
    static void operator delete(void* block, std::size_t size);

    // Pooled events not yet given back (for tests).
    static int InUse();

private:
    uint32_t m_message = 0;
    MidiHeader* m_pHeader = nullptr;
};

#endif
