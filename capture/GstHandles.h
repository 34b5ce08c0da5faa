// Owning handles of GStreamer objects, so every reference taken is given back on every way
// out. Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_GSTHANDLES_H
#define KOVRA_CAPTURE_GSTHANDLES_H

#include <gst/gst.h>

#include <memory>

struct ObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct StructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};

using ElementPtr = std::unique_ptr<GstElement, ObjectUnref>;
using BusPtr = std::unique_ptr<GstBus, ObjectUnref>;
using PadPtr = std::unique_ptr<GstPad, ObjectUnref>;
using DevicePtr = std::unique_ptr<GstDevice, ObjectUnref>;
using MonitorPtr = std::unique_ptr<GstDeviceMonitor, ObjectUnref>;
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;

#endif
