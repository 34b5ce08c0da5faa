// The OSC input: Kovra's own UDP socket, read on the thread that opens it (the window's)
// through a QSocketNotifier, each datagram parsed by liblo and dispatched onto a ControlTarget.
// liblo's server and threads are never used: they would bind every interface.
#ifndef KOVRA_CONTROL_OSCRECEIVER_H
#define KOVRA_CONTROL_OSCRECEIVER_H

#include <sys/socket.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ControlTarget.h"
#include "UdpSocket.h"

class QSocketNotifier;

class OscReceiver {
public:
    // The largest datagram taken; anything longer is oversized. Kovra's messages take < 64.
    static constexpr size_t kMaxPacketBytes = 1024;
    // Datagrams read per wake-up, so that a flood leaves the event loop its turn; the rest
    // wait in the socket for the next wake-up.
    static constexpr int kPacketsPerWake = 64;

    struct Counts {
        uint64_t acted = 0;
        // Malformed, truncated, oversized, of an unknown address or of the wrong type.
        uint64_t bad = 0;
        // The ways out asked for by a sender off the loopback interface.
        uint64_t refused = 0;
        // Dropped by the kernel while the socket was full (a flood faster than the window).
        uint64_t dropped = 0;
    };

    // `remoteOutputs` is REMOTEOUTPUTS: senders off the loopback interface may use the ways out.
    OscReceiver(ControlTarget& target, bool remoteOutputs);
    ~OscReceiver();
    OscReceiver(const OscReceiver&) = delete;
    OscReceiver& operator=(const OscReceiver&) = delete;

    // Binds ADDRESS:PORT (port 0 takes a free one) and reads on the calling thread's event
    // loop. False, reading nothing, with the line for standard error in `error`, when the
    // address is no IP address or the port is taken.
    bool Open(const std::string& address, int port, std::string& error);
    void Close();
    int Port() const { return m_socket.LocalPort(); }

    // One datagram from `from`: parsed, dispatched and counted. liblo copies it and never
    // writes to it, but takes it without const.
    void HandlePacket(void* data, size_t size, const sockaddr_storage& from);
    const Counts& GetCounts() const { return m_counts; }

private:
    void ReadSome();
    void TakeDropCount(msghdr& header);

    ControlTarget& m_target;
    const bool m_remoteOutputs;
    UdpSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    Counts m_counts;
    uint64_t m_droppedBefore = 0;  // by the sockets closed before this one
    std::array<char, kMaxPacketBytes> m_packet{};
};

// Whether a sender at `from` may use the ways out.
bool OutputsAllowedFrom(const sockaddr_storage& from, bool remoteOutputs);

#endif
