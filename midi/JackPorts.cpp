// JACK's MIDI ports; see JackPorts.h.
#include "JackPorts.h"

#include <jack/jack.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Where jackd (JACK 2) listens: /dev/shm/jack_<server>_<uid>_0.
std::string ServerSocketPath()
{
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    if (!server || !*server) server = "default";
    return "/dev/shm/jack_" + std::string(server) + "_" + std::to_string(getuid()) + "_0";
}

}  // namespace

bool JackServerRuns()
{
    const std::string path = ServerSocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path)) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // The server takes an unanswered connection as a client that left at once. A full
    // backlog (EAGAIN) still means that it listens.
    const int result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const bool runs = result == 0 || errno == EAGAIN;
    close(fd);
    return runs;
}

CJackPortList::~CJackPortList() { Disconnect(); }

void CJackPortList::Disconnect()
{
    if (m_client) jack_client_close(m_client);
    m_client = nullptr;
}

std::vector<std::string> CJackPortList::List()
{
    std::vector<std::string> names;
    // A client of a server that has gone is let go of before any new one is tried.
    if (!JackServerRuns()) {
        Disconnect();
        return names;
    }
    // Not activated: listing needs no process callback and changes nothing in the graph.
    if (!m_client) m_client = jack_client_open("Kovra watch", JackNoStartServer, nullptr);
    if (!m_client) return names;
    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    for (const char** port = ports; port && *port; ++port) names.emplace_back(*port);
    jack_free(ports);
    return names;
}
