// The output window; see OutputWindow.h.
#include "OutputWindow.h"

#include <QCursor>
#include <QScreen>
#include <utility>

COutputWindow::COutputWindow(Events events) : CGlView(std::move(events))
{
    setTitle("Kovra Output");
    setFlags(Qt::Window | Qt::FramelessWindowHint);
    setCursor(Qt::BlankCursor);
}

void COutputWindow::ShowOn(QScreen* screen)
{
    setScreen(screen);
    // On X the window manager makes full screen the monitor the window is on.
    setGeometry(screen->geometry());
    showFullScreen();
}
