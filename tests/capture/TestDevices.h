// Devices of the tests' own, which the system's device monitor lists like any camera: their
// elements push pictures the tests know, as fast as they can, or fail on purpose.
#ifndef KOVRA_TESTS_CAPTURE_TESTDEVICES_H
#define KOVRA_TESTS_CAPTURE_TESTDEVICES_H

#include <cstdint>
#include <string>

// Registers the devices' providers in GStreamer's registry: once, after InitCapture().
void RegisterTestDevices();

// Live devices of RGB pictures whose pixels are RowsPixel(x, y), at about 100 frames a
// second; a path of their own as shown. The 161 one, like a bare appsrc, does not say what
// it offers when asked.
inline constexpr const char* kRows320 = "Kovra Test Rows 320x240";  // path /kovra-test/c
inline constexpr const char* kRows161 = "Kovra Test Rows 161x120";  // no path
// Not live (the pipeline prerolls), pictures as above; listed a second time by another
// provider under kRows640Mirror with the same path.
inline constexpr const char* kRows640 = "Kovra Test Rows 640x480";  // path /kovra-test/a
inline constexpr const char* kRows640Mirror = "Kovra Test Rows 640x480 (mirror)";
// Live BGR 320x240 frames as fast as they are taken, frame n filled with CounterValue(n).
inline constexpr const char* kCounter = "Kovra Test Counter";
// Live BGR 640x480 at 30 frames a second, each stamped with ClockNowNs() when it was made.
inline constexpr const char* kClock = "Kovra Test Clock";
// Live MJPEG only, 320x240, every frame the one colour kJpegColour.
inline constexpr const char* kJpeg = "Kovra Test MJPEG";
// A format nothing decodes to raw video.
inline constexpr const char* kUndecodable = "Kovra Test Undecodable";
// Offers BGR 320x240 but fails to start.
inline constexpr const char* kBroken = "Kovra Test Broken";

struct Rgb {
    uint8_t r, g, b;
};
inline constexpr Rgb kJpegColour = {0xC0, 0x80, 0x40};
// The Rows devices' pixel at column x, row y counted from the top.
Rgb RowsPixel(int x, int y);
// The Counter device's value for every byte of its n-th frame: never 0, so never black.
uint8_t CounterValue(uint64_t frame);

// A monotonic clock in nanoseconds, and the stamp a Clock frame carries, read from Kovra's
// bottom-up frame buffer of that frame.
uint64_t ClockNowNs();
uint64_t ClockStamp(const uint8_t* frame, int width, int height);

// The 1-based position of the device named `name` in the device list; 0 when not listed.
int DevicePosition(const std::string& name);

// Cameras that come and go while the program runs: listed by the tests' provider from
// AddTestDevice until RemoveTestDevice, which also unplugs the element that runs it (as
// UnplugTestDevice). While a device monitor has the provider started, it tells of each
// addition and removal on its bus, as a camera's provider does. Live RGB pictures of
// RowsPixel at 320x240, about 100 a second, no path (so they follow the cameras with a path,
// by name). Several may share a name; a removal takes the first of that name.
void AddTestDevice(const std::string& name);
void RemoveTestDevice(const std::string& name);
// The same, a camera whose pipeline cannot be stopped: its element refuses to leave PLAYING.
void AddStuckTestDevice(const std::string& name);
// The same, a camera whose first frame comes only after `firstFrameDelayMs`.
void AddSlowTestDevice(const std::string& name, int firstFrameDelayMs);
// The named device sends its pictures at width x height from now on: its latest element and
// every one made later.
void ResizeTestDevice(const std::string& name, int width, int height);

// The named device's latest element stops delivering and posts an error, as a camera that
// is unplugged while it runs.
void UnplugTestDevice(const std::string& name);
// Waits until the unplugged device's element has asked for its next frame and reported the
// error instead: every frame it pushed before has then gone down the pipeline.
bool WaitUnplugReported(const std::string& name, int timeoutMs);

#endif
