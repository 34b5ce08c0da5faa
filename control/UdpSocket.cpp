// The UDP socket; see UdpSocket.h.
#include "UdpSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SocketAddress.h"

UdpSocket::~UdpSocket() { Close(); }

void UdpSocket::Close()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool UdpSocket::Open(int family, std::string& error)
{
    Close();
    m_fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd >= 0) return true;
    error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
    return false;
}

bool UdpSocket::Bind(const std::string& address, int port, std::string& error)
{
    sockaddr_storage where;
    if (!SocketAddressOf(address, port, where)) {
        error = "OSC address " + address + " is not an IP address";
        return false;
    }
    if (!Open(where.ss_family, error)) return false;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&where), SocketAddressLength(where)) == 0)
        return true;
    error = "OSC port " + std::to_string(port) + " on " + address + ": " + std::strerror(errno);
    Close();
    return false;
}

bool UdpSocket::Connect(const std::string& hostPort, std::string& error)
{
    sockaddr_storage where;
    if (!SocketAddressOfHostPort(hostPort, where)) {
        error = "OSC feedback " + hostPort + " is not an IP address and port";
        return false;
    }
    if (!Open(where.ss_family, error)) return false;
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&where), SocketAddressLength(where)) == 0)
        return true;
    error = "OSC feedback to " + hostPort + ": " + std::strerror(errno);
    Close();
    return false;
}

int UdpSocket::LocalPort() const
{
    sockaddr_storage local;
    socklen_t length = sizeof local;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    if (local.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(local).sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
}
