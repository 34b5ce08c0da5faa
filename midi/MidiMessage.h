// MIDI short messages as they arrive packed in 32 bits (status byte lowest, then the two
// data bytes), and the filter word of message classes the input accepts.
#ifndef KOVRA_MIDI_MIDIMESSAGE_H
#define KOVRA_MIDI_MIDIMESSAGE_H

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

#endif
