// Numeric socket addresses and the loopback test; see SocketAddress.h.
#include "SocketAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

bool SocketAddressOf(const std::string& address, int port, sockaddr_storage& result)
{
    if (port < 0 || port > 65535) return false;
    std::memset(&result, 0, sizeof result);
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        return true;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&result);
    if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        return true;
    }
    return false;
}

bool SocketAddressOfHostPort(const std::string& hostPort, sockaddr_storage& result)
{
    const size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos || colon + 1 == hostPort.size()) return false;
    std::string host = hostPort.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string portText = hostPort.substr(colon + 1);
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int port = std::stoi(portText);
    return port != 0 && SocketAddressOf(host, port, result);
}

socklen_t SocketAddressLength(const sockaddr_storage& address)
{
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

bool IsLoopback(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family != AF_INET6) return false;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}
