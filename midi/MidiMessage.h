// MIDI short messages as they arrive packed in 32 bits (status byte lowest, then the two
// data bytes), and the filter word of message classes the input accepts.
#ifndef KOVRA_MIDI_MIDIMESSAGE_H
#define KOVRA_MIDI_MIDIMESSAGE_H

#include <cstddef>
#include <cstdint>

constexpr unsigned MIDI_FILTER_NOTE = 0x001;
constexpr unsigned MIDI_FILTER_KEYPRESSURE = 0x002;
constexpr unsigned MIDI_FILTER_CONTROL = 0x004;
constexpr unsigned MIDI_FILTER_PROGRAM = 0x008;
constexpr unsigned MIDI_FILTER_CHANNELPRESSURE = 0x010;
constexpr unsigned MIDI_FILTER_PITCHBEND = 0x020;
constexpr unsigned MIDI_FILTER_CHANNELMODE = 0x040;
constexpr unsigned MIDI_FILTER_SYSTEMCOMMON = 0x080;
constexpr unsigned MIDI_FILTER_REALTIME = 0x100;
constexpr unsigned MIDI_FILTER_SYSEX = 0x200;

inline uint8_t MidiStatus(uint32_t message) { return static_cast<uint8_t>(message & 0xFF); }
inline uint8_t MidiData1(uint32_t message) { return static_cast<uint8_t>((message >> 8) & 0xFF); }
inline uint8_t MidiData2(uint32_t message) { return static_cast<uint8_t>((message >> 16) & 0xFF); }

// The message's length in bytes when its class is in the filter word, 0 when it is not or
// when the message is no valid short message. Without a filter word every class passes.
int ClassifyMidiMessage(uint32_t message, const unsigned* filter);

// The bytes a short message with this status byte takes, status included: 0 for a data
// byte and for the start of system-exclusive data.
int ShortMessageLength(uint8_t status);

// Calls `deliver` with each complete short message packed, in the order of the bytes of
// one delivery from the device. Running status is expanded, so every message carries its
// own status byte; real-time bytes may sit anywhere, even inside another message; data
// bytes with no status to belong to, and an unfinished message at the end, are dropped.
template <class Deliver>
void ForEachShortMessage(const uint8_t* bytes, std::size_t count, Deliver&& deliver)
{
    uint8_t status = 0;  // running status: 0 while none applies
    uint8_t data[2] = {0, 0};
    int have = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= 0xF8) {
            deliver(static_cast<uint32_t>(byte));
            continue;
        }
        if (byte >= 0x80) {
            // System common messages cancel running status; the start of system-exclusive
            // data is not a short message and cancels it as well.
            status = byte;
            have = 0;
            if (ShortMessageLength(byte) == 1) {
                deliver(static_cast<uint32_t>(byte));
                status = 0;
            } else if (byte == 0xF0) {
                status = 0;
            }
            continue;
        }
        if (status == 0) continue;
        data[have++] = byte;
        if (have + 1 == ShortMessageLength(status)) {
            deliver(static_cast<uint32_t>(status) | static_cast<uint32_t>(data[0]) << 8 |
                    static_cast<uint32_t>(have == 2 ? data[1] : 0) << 16);
            have = 0;
            if (status >= 0xF0) status = 0;
        }
    }
}

#endif
