// A MIDI message as the control map sees it, and the key a binding is made on: a note, a
// Control Change number or Program Change, each on one channel.
#ifndef KOVRA_CONTROL_CONTROLMESSAGE_H
#define KOVRA_CONTROL_CONTROLMESSAGE_H

#include <cstdint>
#include <tuple>

struct ControlMessage {
    enum class Kind { NoteOn, NoteOff, Control, Program };
    Kind kind = Kind::NoteOn;
    int channel = 0;  // 0..15
    int number = 0;   // note or controller number; the program for Program Change
    int value = 0;    // velocity or controller value; the program for Program Change
};

// The message of a short message packed in 32 bits (status byte lowest, then the two data
// bytes, as the MIDI input delivers them); false for any other than the four kinds above. The
// data bytes are taken as they are: the value's clamp is the performance state's.
bool ControlMessageFromShort(uint32_t packed, ControlMessage& message);

struct MessageKey {
    enum class Type { Note, Control, Program };
    Type type = Type::Note;
    int channel = 0;  // 0..15
    int number = 0;   // 0 for Program Change

    bool operator<(const MessageKey& o) const
    {
        return std::tie(type, channel, number) < std::tie(o.type, o.channel, o.number);
    }
    bool operator==(const MessageKey& o) const
    {
        return type == o.type && channel == o.channel && number == o.number;
    }
};

// A channel 0..15, a number 0..127, and for Control Change none of the Channel Mode
// controllers 120..127, which never bind.
bool Bindable(const MessageKey& key);

// The key of a message; false when that key cannot bind.
bool KeyOf(const ControlMessage& message, MessageKey& key);

#endif
