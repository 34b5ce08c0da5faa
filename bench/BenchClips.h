// Clips made at bench time with gst-launch-1.0 (H.264 in MP4, 30 frames a second), and the
// index of its frame that a scrolling clip carries in its picture.
#ifndef KOVRA_BENCH_BENCHCLIPS_H
#define KOVRA_BENCH_BENCHCLIPS_H

#include <cstdint>
#include <string>

constexpr int kClipRate = 30;  // frames a second
// A scrolling clip moves its colour bars this many pixels left each frame.
constexpr int kScrollStep = 8;

// A clip of `frames` frames of width x height at `path`: videotestsrc's `pattern`, scrolling
// when `scroll` is set. False when gst-launch-1.0 or x264enc failed.
bool MakeClip(const std::string& path, int width, int height, int frames, const char* pattern,
              bool scroll);

// The index (0 .. width / kScrollStep - 1) of a scrolling SMPTE clip's frame, read from the
// place of its white bar in the frame buffer (BGR rows padded to 4 bytes, bottom row first);
// -1 where no bar is found.
int ScrollIndex(const uint8_t* frame, int width, int height);

#endif
