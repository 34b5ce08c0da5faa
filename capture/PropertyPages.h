// The device's own settings in modal dialogs: its offered formats before the connection
// ("Pin") and its controls while it runs ("Filter"). Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_PROPERTYPAGES_H
#define KOVRA_CAPTURE_PROPERTYPAGES_H

#include <gst/gst.h>

class QWidget;

// Lists the formats the source offers (size, rate, pixel format; where it offers ranges,
// 320x240, 640x480, 1280x720 and 1920x1080 at 30 frames a second) in a modal dialog
// captioned `caption`, with the source in the READY state. Returns the chosen format as
// fixed caps (the caller owns them), or null when the user cancelled, chose nothing (OK
// with no format selected; one is selected only where the source has already negotiated
// it) or there is nothing to choose: the connection then takes the source's own format.
GstCaps* ShowPinPages(GstElement* source, const char* caption, QWidget* owner);

// Shows the running source's own controls (V4L2 controls, colour balance channels, or a
// test source's properties) in a modal dialog captioned `caption` that acts live. Shows
// nothing for a source without controls. False when nothing was shown.
bool ShowFilterPropertyPages(GstElement* source, const char* caption, QWidget* owner);

#endif
