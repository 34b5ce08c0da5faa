// Kovra: live video performance with two cameras, sixteen effects and MIDI control.
#include <signal.h>

#include <cstdio>

#include "DisplayCheck.h"
#include "MainApp.h"

int main(int argc, char** argv)
{
    if (!DisplayReachable(argc, argv)) {
        fputs(
            "Kovra: no display to open: neither an X11 display ($DISPLAY) nor a Wayland "
            "display ($WAYLAND_DISPLAY) is reachable\n",
            stderr);
        return 1;
    }
    // A settings file past the file-size limit is a failed write, not the end of the program.
    signal(SIGXFSZ, SIG_IGN);
    CMainApp app(argc, argv);
    return app.InitInstance();
}
