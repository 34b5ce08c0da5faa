// What a camera slot of the main window remembers of its device beyond its position, and
// where it stands in finding that device again after an unplug. The main window's functions
// that use it are in CameraWatch.cpp.
#ifndef KOVRA_APP_CAMERAWATCH_H
#define KOVRA_APP_CAMERAWATCH_H

#include <memory>
#include <string>

class CFileWait;

struct CameraMemo {
    std::string name;         // the remembered name; "" when none (None chosen, or not known)
    bool nameInFile = false;  // the settings file had the key, so a cleared name is written
    int heldPosition = 0;     // written back as the position while the device is absent
    bool absent = false;      // the remembered device is not there: waiting for it
    bool armed = false;       // a listing may start it (none tried since it was last missing)
    bool starting = false;    // a start is on the worker
    unsigned ticket = 0;      // of the start in flight; an answer with another one is stale
    unsigned seen = 0;        // listings of this number or less tell nothing new
    // A chosen clip or still instead of a device: its path's raw bytes, "" for a device.
    std::string file;
    bool fileInFile = false;   // the settings file had its key, so a cleared file is written
    bool fileMissing = false;  // not a regular file at the last look: waited for
    unsigned filesHanded = 0;  // times the file went to the capture (for tests)
    std::shared_ptr<CFileWait> fileWait;  // from set-up: the look for a missing file
};

// The wait for a device listing on the user-interface thread, at start and for a command.
constexpr int kCameraListWaitMs = 3000;

#endif
