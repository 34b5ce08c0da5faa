// Clips for the benchmarks; see BenchClips.h.
#include "BenchClips.h"

#include <algorithm>
#include <cstdlib>

bool MakeClip(const std::string& path, int width, int height, int frames, const char* pattern,
              bool scroll)
{
    const std::string line =
        "gst-launch-1.0 -q videotestsrc num-buffers=" + std::to_string(frames) +
        " pattern=" + pattern +
        (scroll ? " horizontal-speed=" + std::to_string(kScrollStep) : std::string()) +
        " ! video/x-raw,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
        ",framerate=" + std::to_string(kClipRate) + "/1 ! x264enc ! mp4mux ! filesink location='" +
        path + "' >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

int ScrollIndex(const uint8_t* frame, int width, int height)
{
    // A row through the upper bars (white, yellow, cyan, green, magenta, red, blue); the white
    // bar starts where blue ends, kScrollStep pixels further left each frame. The coded picture's
    // colour is shared by pairs of pixels, hence the look 3 pixels back.
    const int stride = (width * 3 + 3) & ~3;
    const uint8_t* row = frame + static_cast<size_t>(height - 1 - height / 5) * stride;
    const auto pixel = [&](int x) { return row + ((x + width) % width) * 3; };  // B, G, R
    for (int x = 0; x < width; ++x) {
        const uint8_t* here = pixel(x);
        const uint8_t* before = pixel(x - 3);
        const bool white = std::min({here[0], here[1], here[2]}) > 190;
        const bool blue = before[0] > 190 && before[1] < 70 && before[2] < 70;
        if (white && blue) {
            const int frames = width / kScrollStep;
            return ((width - x) % width + kScrollStep / 2) / kScrollStep % frames;
        }
    }
    return -1;
}
