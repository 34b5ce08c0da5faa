// The OSC input; see OscReceiver.h.
#include "OscReceiver.h"

#include <lo/lo_lowlevel.h>
#include <sys/socket.h>

#include <QSocketNotifier>
#include <cstring>

#include "OscDispatch.h"
#include "SocketAddress.h"

namespace {

// A parsed message, freed with its scope.
struct MessageDeleter {
    void operator()(lo_message message) const { lo_message_free(message); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

}  // namespace

bool OutputsAllowedFrom(const sockaddr_storage& from, bool remoteOutputs)
{
    return remoteOutputs || IsLoopback(from);
}

OscReceiver::OscReceiver(ControlTarget& target, bool remoteOutputs)
    : m_target(target), m_remoteOutputs(remoteOutputs)
{
}

OscReceiver::~OscReceiver() { Close(); }

bool OscReceiver::Open(const std::string& address, int port, std::string& error)
{
    Close();
    if (!m_socket.Bind(address, port, error)) return false;
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadSome(); });
    return true;
}

void OscReceiver::Close()
{
    m_notifier.reset();  // before the socket it watches
    m_socket.Close();
}

void OscReceiver::ReadSome()
{
    for (int i = 0; i < kPacketsPerWake; ++i) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC: the datagram's whole length, so that an oversized one is known as such.
        const ssize_t length =
            ::recvfrom(m_socket.Fd(), m_packet.data(), m_packet.size(), MSG_TRUNC | MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) return;  // nothing more waiting (or an ICMP error for a past send)
        if (static_cast<size_t>(length) > m_packet.size()) {
            ++m_counts.bad;
            continue;
        }
        HandlePacket(m_packet.data(), static_cast<size_t>(length), from);
    }
}

void OscReceiver::HandlePacket(void* data, size_t size, const sockaddr_storage& from)
{
    int result = 0;
    const Message message(size > kMaxPacketBytes ? nullptr
                                                 : lo_message_deserialise(data, size, &result));
    if (!message) {
        ++m_counts.bad;
        return;
    }
    // liblo has checked that the address is a terminated string inside the datagram.
    const char* path = static_cast<const char*>(data);
    const char* types = lo_message_get_types(message.get());
    lo_arg** argv = lo_message_get_argv(message.get());
    switch (DispatchOsc(path, types, argv, OutputsAllowedFrom(from, m_remoteOutputs), m_target)) {
        case OscResult::Acted:
            ++m_counts.acted;
            break;
        case OscResult::Refused:
            ++m_counts.refused;
            break;
        case OscResult::UnknownAddress:
        case OscResult::WrongType:
            ++m_counts.bad;
            break;
    }
}
