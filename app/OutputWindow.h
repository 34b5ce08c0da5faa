// The output window: the show, frameless and full screen on the screen chosen for it, while
// the main window beside it keeps its menus and shows the performer's preview. Its keys and
// its click act as the main window's do; the pointer is hidden over it.
#ifndef KOVRA_APP_OUTPUTWINDOW_H
#define KOVRA_APP_OUTPUTWINDOW_H

#include "GlView.h"

class QScreen;

class COutputWindow : public CGlView {
public:
    explicit COutputWindow(Events events);

    // Shows it full screen on `screen` (once: a move is a new window). Wayland has no global
    // positions: the compositor puts a full-screen window on the output it was given.
    void ShowOn(QScreen* screen);
};

#endif
