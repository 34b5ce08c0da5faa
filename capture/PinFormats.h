// The formats a source offers, expanded into the concrete entries of the format dialog.
// Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_PINFORMATS_H
#define KOVRA_CAPTURE_PINFORMATS_H

#include <gst/gst.h>

#include <string>
#include <vector>

#include "GstHandles.h"

struct PinFormat {
    std::string label;  // "640x480, 30 fps, YUY2"; "1280x720, 30 fps, MJPG"
    CapsPtr caps;       // fixed: exactly this format
};

// Where a source accepts a range of sizes or rates, these are offered.
constexpr int kCommonSizes[][2] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
constexpr int kCommonRate = 30;

// Every concrete raw-video or MJPEG format in `offered`, in its order and each once: fixed
// sizes and rates as given, lists expanded, ranges replaced by the common sizes and the
// common rate (a range holding none of them by its value nearest to 640x480 or 30 fps).
// Where sizes are ranges only the usual pixel formats are listed, if the caps allow any of
// them. Formats that are not in system memory, or do not come out fixed, are left out.
std::vector<PinFormat> ExpandFormats(const GstCaps* offered);

#endif
