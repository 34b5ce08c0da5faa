// The ways the program ends other than through its own window: SIGINT, SIGTERM and SIGHUP
// close the main window through the event loop, so the program ends as if the close box was
// clicked and its settings are written; an exit() from inside a library can still finish.
#ifndef KOVRA_APP_SIGNALEXIT_H
#define KOVRA_APP_SIGNALEXIT_H

#include <functional>

class QWidget;

// Installs the handlers; false when the signal pipe cannot be made (signals then end the
// program the default way).
bool CloseOnSignals(QWidget* window);

// Runs finish once if this process ends through exit() or quick_exit() while it is set: Qt's
// X11 plugin calls exit(1) when the display goes away, and Xlib does on a broken connection.
// finish runs with the program's objects still in place but with Qt partly torn down, so it may
// touch no Qt. Passing nullptr clears it.
void FinishOnExit(std::function<void()> finish);

#endif
