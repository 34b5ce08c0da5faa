// The source element of a listed device, for the capture pipeline. Internal to the capture
// subsystem, the one part that includes GStreamer.
#ifndef KOVRA_CAPTURE_DEVICESOURCE_H
#define KOVRA_CAPTURE_DEVICESOURCE_H

#include <gst/gst.h>

// A new source element (floating reference) for the device at a 1-based position of the
// device list, or null when there is none there or it cannot make one.
GstElement* CreateDeviceSource(int position);

#endif
