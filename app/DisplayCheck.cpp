// Tries the displays Qt would try, before QApplication exists: an X11 connection to $DISPLAY
// and a connection to the Wayland socket, each closed again at once.
#include "DisplayCheck.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <X11/Xlib.h>

namespace {

bool X11Reachable()
{
    const char* name = getenv("DISPLAY");
    if (!name || !*name) return false;
    Display* display = XOpenDisplay(name);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

bool WaylandReachable()
{
    if (getenv("WAYLAND_SOCKET")) return true;  // a socket handed over by the compositor
    const char* name = getenv("WAYLAND_DISPLAY");
    std::string path = name && *name ? name : "wayland-0";
    if (path[0] != '/') {
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address = {};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A full backlog (EAGAIN) still means a compositor is there.
    const bool reached =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno == EAGAIN;
    close(fd);
    return reached;
}

}  // namespace

bool DisplayReachable(int argc, char** argv)
{
    std::string platform;
    if (const char* env = getenv("QT_QPA_PLATFORM")) platform = env;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "-platform") == 0 || strcmp(argv[i], "--platform") == 0) {
            platform = argv[i + 1];
        }
    }
    const bool x11 = platform.empty() || platform.find("xcb") != std::string::npos;
    const bool wayland = platform.empty() || platform.find("wayland") != std::string::npos;
    if (!x11 && !wayland) return true;  // offscreen, vnc, eglfs...: not ours to judge
    return (x11 && X11Reachable()) || (wayland && WaylandReachable());
}
