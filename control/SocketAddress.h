// IP addresses as the [OSC] settings spell them: numeric only, so that opening OSC never waits
// on a name server; and whether a sender is on the loopback interface.
#ifndef KOVRA_CONTROL_SOCKETADDRESS_H
#define KOVRA_CONTROL_SOCKETADDRESS_H

#include <sys/socket.h>

#include <string>

// The socket address of a numeric IPv4 or IPv6 address and a port; false for anything else
// (a host name, a port outside 0..65535).
bool SocketAddressOf(const std::string& address, int port, sockaddr_storage& result);

// `host:port` or `[v6 address]:port`, as FEEDBACK has it; false for anything else.
bool SocketAddressOfHostPort(const std::string& hostPort, sockaddr_storage& result);

socklen_t SocketAddressLength(const sockaddr_storage& address);

// 127.0.0.0/8, ::1, and an IPv4 loopback address mapped into IPv6 (how a socket bound to ::
// sees a local IPv4 sender; the kernel drops such sources arriving from outside).
bool IsLoopback(const sockaddr_storage& address);

#endif
