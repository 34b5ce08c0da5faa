// The size the picture is drawn at for an output: the output's own size, up to a cap on its
// height, so that a large screen keeps the tick rate and gets one linear upscale instead.
#ifndef KOVRA_APP_RENDERSIZE_H
#define KOVRA_APP_RENDERSIZE_H

#include <string>

constexpr int kDefaultRenderCap = 1080;
// Lower caps are taken for typing errors, not for a wish to draw a blurred picture.
constexpr int kLowestRenderCap = 240;

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize& other) const
    {
        return width == other.width && height == other.height;
    }
    bool operator!=(const PixelSize& other) const { return !(*this == other); }
};

// The cap as the settings file keeps it: exactly "0" turns it off; a whole number of 240 or
// more is taken; anything else (empty, "abc", "-5", "100", "720p") means the default.
int ParseRenderCap(const std::string& text);

// The output's size where its height is within the cap (or there is none), else the cap's
// height with the output's aspect ratio.
PixelSize RenderSizeFor(PixelSize output, int cap);

#endif
