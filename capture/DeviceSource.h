// The source element of a listed device, for the capture pipeline. Internal to the capture
// subsystem, the one part that includes GStreamer.
#ifndef KOVRA_CAPTURE_DEVICESOURCE_H
#define KOVRA_CAPTURE_DEVICESOURCE_H

#include <gst/gst.h>

#include <functional>

// A new source element (floating reference) for the device at a 1-based position of the
// device list, or null when there is none there or it cannot make one.
GstElement* CreateDeviceSource(int position);

// The one device monitor of video sources behind every listing, kept for the program's life.
// GStreamer's providers are shared between monitors, and a second monitor that ends stops the
// events of one that runs; so the watch starts and stops this one, and a listing while it
// runs takes what its providers show (no probe).
GstDeviceMonitor* VideoDeviceMonitor();
// Called on the provider's thread for each device added, removed or changed while the monitor
// runs; empty for none. Every message of the monitor's bus is dropped.
void SetDeviceChangeHook(std::function<void()> hook);

#endif
