// The fixed size of the ways out (OUTSIZE in [OUTPUT]): receivers cannot take a size change in
// mid-stream, so it never follows the window.
#ifndef KOVRA_OUTPUT_OUTSIZE_H
#define KOVRA_OUTPUT_OUTSIZE_H

#include <string>

struct OutSize {
    int width = 1920;
    int height = 1080;
    bool operator==(const OutSize& other) const
    {
        return width == other.width && height == other.height;
    }
};

// "WIDTHxHEIGHT" with both even, positive and at most 1920x1080; anything else (signs, spaces,
// odd sizes, "1080p", empty) means the default 1920x1080.
OutSize ParseOutSize(const std::string& text);

#endif
