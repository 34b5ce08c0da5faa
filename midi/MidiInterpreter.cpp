// The MIDI interpretation; see MidiInterpreter.h.
#include "MidiInterpreter.h"

#include "MidiMessage.h"

bool NoteKey(int note, int& camera, int& key, bool& black)
{
    black = false;
    if (note < 48 || note > 71) return false;
    // Pitch classes C..B: white keys are frame-memory keys 0..6, the rest black.
    static const int kWhiteKey[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
    const int white = kWhiteKey[note % 12];
    if (white < 0) {
        black = true;
        return false;
    }
    camera = note < 60 ? 0 : 1;
    key = white;
    return true;
}

namespace {

void NoteEvent(int note, bool pressed, MidiPerformance& performance)
{
    int camera = 0;
    int key = 0;
    bool black = false;
    if (NoteKey(note, camera, key, black)) {
        performance.FrameKey(camera, key, pressed);
    } else if (black) {
        performance.SetRecord(
            pressed,
            ChangeSource::Midi);  // one flag: releasing either of two held black keys clears it
    }
}

}  // namespace

void InterpretMidiMessage(uint32_t message, bool started, const unsigned* filter,
                          const MidiValues& values, MidiPerformance& performance)
{
    if (!started) return;  // posted before a stop
    if (ClassifyMidiMessage(message, filter) == 0) return;
    const uint8_t status = MidiStatus(message);
    // The stored channel is compared as it is: one outside 0..15 matches nothing.
    if ((status & 0x0F) != values.channel) return;
    const int data1 = MidiData1(message);
    const int data2 = MidiData2(message);
    switch (status >> 4) {
        case 0x9:
            NoteEvent(data1, data2 != 0, performance);  // velocity 0 is a release
            break;
        case 0x8:
            NoteEvent(data1, false, performance);
            break;
        case 0xB:
            if (data1 == values.ctrl1Number) performance.SetCtrl1(data2, ChangeSource::Midi);
            if (data1 == values.ctrl2Number) performance.SetCtrl2(data2, ChangeSource::Midi);
            break;
        case 0xC:
            performance.SetEffect(data1, ChangeSource::Midi);
            break;
        default:
            break;
    }
}
