// A still picture decoded once, already scaled to the picture's size, into the frame
// buffer's layout. Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_STILLPICTURE_H
#define KOVRA_CAPTURE_STILLPICTURE_H

#include <cstdint>
#include <memory>
#include <string>

struct StillFrame {
    std::unique_ptr<uint8_t[]> bytes;  // BGR rows padded to 4 bytes, bottom row first
    int width = 0;
    int height = 0;
    int size = 0;
};

// The size a still is decoded at: the camera pictures' own.
constexpr int kStillWidth = 512;
constexpr int kStillHeight = 384;
// The most a picture may take in memory at its own size before it is scaled.
constexpr int kStillLimitMb = 256;

// True when the open file at `fd` is a picture Qt's image reader knows (it reads only the
// header). The file's own read position is not used.
bool IsStillPicture(int fd);

// Decodes the picture at `fd` to width x height. False, with the reason, when it cannot be
// read or would take more than the limit.
bool DecodeStill(int fd, int width, int height, StillFrame& frame, std::string& problem);

#endif
