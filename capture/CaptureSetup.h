// Once per program, before any camera is opened.
#ifndef KOVRA_CAPTURE_CAPTURESETUP_H
#define KOVRA_CAPTURE_CAPTURESETUP_H

// Initialises GStreamer; harmless to call again.
void InitCapture();

#endif
