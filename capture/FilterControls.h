// The controls a running source offers in the control dialog, each with the means to change
// it at once. Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_FILTERCONTROLS_H
#define KOVRA_CAPTURE_FILTERCONTROLS_H

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct SourceControl {
    enum class Kind {
        Integer,  // a value in [minimum, maximum] by step
        Boolean,  // 0 or 1
        Menu,     // one of `choices`
        Color,    // 0xAARRGGBB
    };
    std::string id;     // the property, channel or control name; the widget's object name
    std::string label;  // as shown to the user
    Kind kind = Kind::Integer;
    int64_t minimum = 0;
    int64_t maximum = 0;
    int64_t step = 1;
    int64_t value = 0;                                     // when it was discovered
    std::vector<std::pair<int64_t, std::string>> choices;  // Menu: value and its text
    // Applies a value to the source now, from the main thread; false when it was refused.
    // Keeps what it needs (the source, the device) alive for as long as it exists.
    std::function<bool(int64_t)> set;
};

// A V4L2 device's integer, boolean and menu controls (through its device node); otherwise the
// source's colour balance channels; otherwise, for a test source, its writable picture
// properties. A bin is searched for the first element that has any. Empty: none.
std::vector<SourceControl> DiscoverControls(GstElement* source);

#endif
