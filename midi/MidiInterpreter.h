// Turns one MIDI short message into a change of the performance: Program Change picks the
// effect, two Control Change numbers set Ctrl 1 and Ctrl 2, and two octaves of notes play
// the cameras' frame memories (white keys) and hold the record flag (black keys).
#ifndef KOVRA_MIDI_MIDIINTERPRETER_H
#define KOVRA_MIDI_MIDIINTERPRETER_H

#include <cstdint>

#include "MidiPerformance.h"

// The MIDI settings the interpreter reads.
struct MidiValues {
    const int& channel;      // the channel listened on, 0..15
    const int& ctrl1Number;  // controller whose Control Change sets Ctrl 1
    const int& ctrl2Number;
};

// One message, handled only while the input is started and its class passes the filter.
void InterpretMidiMessage(uint32_t message, bool started, const unsigned* filter,
                          const MidiValues& values, MidiPerformance& performance);

// The frame-memory key of a note: true with camera and key for the white keys 48..59
// (camera A) and 60..71 (camera B); `black` set for their black keys instead.
bool NoteKey(int note, int& camera, int& key, bool& black);

#endif
