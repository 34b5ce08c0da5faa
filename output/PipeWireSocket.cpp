// The PipeWire daemon's socket; see PipeWireSocket.h.
#include "PipeWireSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string PipeWireSocketPath()
{
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    std::string name = remote && *remote ? remote : "pipewire-0";
    if (name[0] == '/') return name;
    const char* dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
    if (!dir || !*dir) dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir) return {};
    return std::string(dir) + "/" + name;
}

bool PipeWireAnswers(const std::string& path)
{
    sockaddr_un address = {};
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    // A listener with a full backlog still answers.
    const bool answers = result == 0 || errno == EAGAIN || errno == EINPROGRESS;
    close(fd);
    return answers;
}
