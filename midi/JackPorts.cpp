// JACK's MIDI ports; see JackPorts.h.
#include "JackPorts.h"

#include <jack/jack.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kSocketFolder = "/dev/shm";

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

CJackPortList::CJackPortList()
    : m_noticeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      m_serverFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_serverFd >= 0 &&
        inotify_add_watch(m_serverFd, kSocketFolder, IN_CREATE | IN_DELETE | IN_MOVED_TO) < 0) {
        close(m_serverFd);
        m_serverFd = -1;
    }
}

CJackPortList::~CJackPortList()
{
    Disconnect();
    if (m_noticeFd >= 0) close(m_noticeFd);
    if (m_serverFd >= 0) close(m_serverFd);
}

void CJackPortList::Notify(int fd)
{
    const uint64_t one = 1;
    if (fd >= 0) [[maybe_unused]]
        ssize_t written = write(fd, &one, sizeof(one));
}

void CJackPortList::OnShutdown(void* self)
{
    auto& list = *static_cast<CJackPortList*>(self);
    list.m_alive.store(false);
    list.m_gone.store(true);
    Notify(list.m_noticeFd);  // the listing reads the flags after it
}

void CJackPortList::OnRegistration(unsigned, int, void* self)
{
    Notify(static_cast<CJackPortList*>(self)->m_noticeFd);
}

void CJackPortList::Disconnect()
{
    m_alive.store(false);
    // A client of a server that went is left as it is: libjack's close of it touches the
    // shared memory that a server started since under the same name has made anew, and
    // crashes ("pure virtual method called", or a fault).
    const bool sameServer = m_clientGeneration == m_generation.load() && !m_gone.load();
    if (m_client && sameServer) jack_client_close(m_client);
    m_client = nullptr;
    m_gone.store(false);
}

void CJackPortList::TakeServerChanges()
{
    // The server's socket made or removed since the last look: its clients are of a server
    // that went, told or not.
    const std::string socket = ServerSocketPath().substr(std::strlen(kSocketFolder) + 1);
    alignas(inotify_event) char buffer[4096];
    ssize_t got;
    while (m_serverFd >= 0 && (got = read(m_serverFd, buffer, sizeof(buffer))) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && socket == event->name) {
                m_generation.fetch_add(1);
                m_gone.store(true);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

std::vector<std::string> CJackPortList::List()
{
    std::vector<std::string> names;
    uint64_t notices = 0;
    if (m_noticeFd >= 0) [[maybe_unused]]
        ssize_t got = read(m_noticeFd, &notices, sizeof(notices));
    // A client of a server that has gone is let go of before any new one is tried: one
    // left behind lists nothing from then on, even once a new server runs.
    TakeServerChanges();
    const bool runs = JackServerRuns();
    if (m_gone.load() || !runs) Disconnect();
    if (!runs) return names;
    if (!m_client) {
        jack_client_t* client = jack_client_open("Kovra watch", JackNoStartServer, nullptr);
        if (!client) return names;
        jack_on_shutdown(client, &OnShutdown, this);
        jack_set_port_registration_callback(client, &OnRegistration, this);
        if (jack_activate(client) != 0) {
            jack_client_close(client);
            return names;
        }
        m_client = client;
        m_clientGeneration = m_generation.load();
        m_alive.store(true);
    }
    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    for (const char** port = ports; port && *port; ++port) names.emplace_back(*port);
    jack_free(ports);
    return names;
}
