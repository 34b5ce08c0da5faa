// A non-blocking UDP socket that closes itself: bound for the OSC receiver, connected for the
// OSC feedback. Failures come back as the line the caller prints.
#ifndef KOVRA_CONTROL_UDPSOCKET_H
#define KOVRA_CONTROL_UDPSOCKET_H

#include <string>

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Bound to a numeric address and a port (0 takes a free one).
    bool Bind(const std::string& address, int port, std::string& error);
    // Sends go to `host:port` (numeric host).
    bool Connect(const std::string& hostPort, std::string& error);
    void Close();

    int Fd() const { return m_fd; }
    // The port it is bound to, 0 when it is not.
    int LocalPort() const;

private:
    bool Open(int family, std::string& error);
    int m_fd = -1;
};

#endif
