// Whether there is a display for Qt to open. Without one Qt aborts with a core dump and a
// paragraph about platform plugins; Kovra says so in one line instead.
#ifndef KOVRA_APP_DISPLAYCHECK_H
#define KOVRA_APP_DISPLAYCHECK_H

// True when the platform Qt will use is not a display server (QT_QPA_PLATFORM or -platform
// names e.g. offscreen), or when an X11 or Wayland display it may use accepts a connection.
bool DisplayReachable(int argc, char** argv);

#endif  // KOVRA_APP_DISPLAYCHECK_H
