// GStreamer's one-time start for the cameras.
#include "CaptureSetup.h"

#include <gst/gst.h>

#include <mutex>

void InitCapture()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}
