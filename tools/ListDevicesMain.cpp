// kovra-devices: the video devices as Kovra numbers them in its settings file and Camera
// Device dialog, one per line ("1 Integrated Camera"), 0 being "None"; with --midi, the MIDI
// input devices by their ids ("0 ALSA: ...").
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BoundedMidiDriver.h"
#include "DeviceList.h"
#include "RtMidiDriver.h"
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
    const std::vector<std::string> names = VideoDeviceNames();
    std::printf("0 None\n");
    for (size_t i = 0; i < names.size(); ++i) std::printf("%zu %s\n", i + 1, names[i].c_str());
    return 0;
}
