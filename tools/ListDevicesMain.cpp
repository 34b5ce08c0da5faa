// kovra-devices: the video devices and clip files as Kovra numbers them in its settings file
// and Camera Device dialog, one per line ("1 Integrated Camera"), 0 being "None", with the
// files the cameras remember from outside the clips folder only given --settings FILE; with
// --midi, the MIDI input devices by their ids ("0 ALSA: ...").
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BoundedMidiDriver.h"
#include "ClipFolder.h"
#include "FileUri.h"
#include "IniFile.h"
#include "RtMidiDriver.h"
#include "SourceList.h"
#include "Worker.h"

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--midi") == 0) {
        // A JACK server that does not answer lists nothing after the bound, as in Kovra.
        // No event loop here: the listing is waited for.
        CWorker worker;
        CBoundedMidiDriver midi(worker, std::make_shared<CRtMidiDriver>());
        const unsigned n = midi.GetNumDevs();
        for (unsigned id = 0; id < n; ++id) {
            std::printf("%u %s\n", id, midi.GetDeviceName(id).c_str());
        }
        return 0;
    }
    std::vector<std::string> remembered;
    if (argc > 2 && std::strcmp(argv[1], "--settings") == 0) {
        IniProfile settings(argv[2]);
        for (const char* key : {"PATH1", "PATH2"}) {
            std::string uri, path;
            if (settings.GetString("CAMERA", key, uri) && PathOfFileUri(uri, path))
                remembered.push_back(path);
        }
    }
    const std::vector<std::string> names = ListSources(ClipsFolder(), remembered).names;
    std::printf("0 None\n");
    for (size_t i = 0; i < names.size(); ++i) std::printf("%zu %s\n", i + 1, names[i].c_str());
    return 0;
}
