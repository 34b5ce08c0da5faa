// Turns one MIDI short message into a change of the performance: Program Change picks the
// effect, two Control Change numbers set Ctrl 1 and Ctrl 2, and two octaves of notes play
// the cameras' frame memories (white keys) and hold the record flag (black keys).
#ifndef KOVRA_MIDI_MIDIINTERPRETER_H
#define KOVRA_MIDI_MIDIINTERPRETER_H

#include <cstdint>

// What the interpreter acts on in the main window, which implements it. Called on the
// user-interface thread only.
class MidiPerformance {
public:
    // A frame-memory key of camera 0 (A) or 1 (B), key 0..6 from the notes.
    virtual void FrameKey(int camera, int key, bool pressed) = 0;
    // The values changed (or a Control Change came): rebuild the status line.
    virtual void UpdateTitle() = 0;

protected:
    ~MidiPerformance() = default;
};

// The values the interpreter reads and writes in place.
struct MidiValues {
    const int& channel;      // the channel listened on, 0..15
    const int& ctrl1Number;  // controller whose Control Change sets Ctrl 1
    const int& ctrl2Number;
    int& ctrl1;
    int& ctrl2;
    int& effect;
    const int& effectCount;
    bool& record;
};

// One message, handled only while the input is started and its class passes the filter.
void InterpretMidiMessage(uint32_t message, bool started, const unsigned* filter,
                          MidiValues& values, MidiPerformance& performance);

// The frame-memory key of a note: true with camera and key for the white keys 48..59
// (camera A) and 60..71 (camera B); `black` set for their black keys instead.
bool NoteKey(int note, int& camera, int& key, bool& black);

#endif
