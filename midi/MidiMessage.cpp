// Classification of MIDI short messages against the filter word; see MidiMessage.h.
#include "MidiMessage.h"

namespace {

struct Class {
    unsigned bit;
    int length;
};

// The class and length of a status byte (and, for Control Change, its controller number).
Class ClassOf(uint8_t status, uint8_t data1)
{
    if (status < 0x80) return {0, 0};  // a data byte: no status of its own
    switch (status >> 4) {
        case 0x8:
        case 0x9:
            return {MIDI_FILTER_NOTE, 3};
        case 0xA:
            return {MIDI_FILTER_KEYPRESSURE, 3};
        case 0xB:
            return data1 < 120 ? Class{MIDI_FILTER_CONTROL, 3} : Class{MIDI_FILTER_CHANNELMODE, 3};
        case 0xC:
            return {MIDI_FILTER_PROGRAM, 2};
        case 0xD:
            return {MIDI_FILTER_CHANNELPRESSURE, 2};
        case 0xE:
            return {MIDI_FILTER_PITCHBEND, 3};
        default:
            break;
    }
    switch (status) {
        case 0xF0:
            return {0, 0};  // system exclusive comes as long data, never short
        case 0xF1:
        case 0xF3:
            return {MIDI_FILTER_SYSTEMCOMMON, 2};
        case 0xF2:
            return {MIDI_FILTER_SYSTEMCOMMON, 3};
        case 0xF4:
        case 0xF5:
        case 0xF6:
        case 0xF7:
            return {MIDI_FILTER_SYSTEMCOMMON, 1};
        default:
            return {MIDI_FILTER_REALTIME, 1};  // 0xF8..0xFF
    }
}

}  // namespace

int ShortMessageLength(uint8_t status)
{
    // Control Change and Channel Mode messages share a status and a length.
    return ClassOf(status, 0).length;
}

int ClassifyMidiMessage(uint32_t message, const unsigned* filter)
{
    const Class c = ClassOf(MidiStatus(message), MidiData1(message));
    if (c.bit == 0) return 0;
    if (filter && !(*filter & c.bit)) return 0;
    return c.length;
}
