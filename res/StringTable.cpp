// The string table: every text of the program that is looked up by id.
#include "Resources.h"

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "About Kovra(&A)..."},
    {IDS_MIDI_OPEN_ERROR, "Midi In Device Open Error"},
    {IDS_MIDI_CLOSE_ERROR, "Midi In Device Close Error"},
    {IDS_MIDI_PREPARE_ERROR, "Midi Prepare Header Error"},
    {IDS_MIDI_BUFFER_ERROR, "Midi Buffer Error"},
    {IDS_MIDI_UNPREPARE_ERROR, "Midi Unprepare Header Error"},
};

}  // namespace

const char* LoadResString(int id)
{
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return "";
}
