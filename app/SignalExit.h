// SIGINT and SIGTERM close the main window through the event loop, so the program ends as
// if the close box was clicked and its settings are written.
#ifndef KOVRA_APP_SIGNALEXIT_H
#define KOVRA_APP_SIGNALEXIT_H

class QWidget;

// Installs the handlers; false when the signal pipe cannot be made (signals then end the
// program the default way).
bool CloseOnSignals(QWidget* window);

#endif
