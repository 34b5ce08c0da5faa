// The OSC input; see OscReceiver.h.
#include "OscReceiver.h"

#include <lo/lo_lowlevel.h>
#include <sys/socket.h>

#include <QSocketNotifier>
#include <cstring>
#include <type_traits>

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
    // The kernel counts the datagrams a full socket dropped, and hands the count with the next.
    const int on = 1;
    ::setsockopt(m_socket.Fd(), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.Fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadSome(); });
    return true;
}

void OscReceiver::Close()
{
    m_notifier.reset();  // before the socket it watches
    m_droppedBefore = m_counts.dropped;
    m_socket.Close();
}

void OscReceiver::ReadSome()
{
    for (int i = 0; i < kPacketsPerWake; ++i) {
        sockaddr_storage from{};
        iovec buffer{m_packet.data(), m_packet.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint32_t))];
        msghdr header{};
        header.msg_name = &from;
        header.msg_namelen = sizeof from;
        header.msg_iov = &buffer;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        // MSG_TRUNC: the datagram's whole length, so that an oversized one is known as such.
        const ssize_t length = ::recvmsg(m_socket.Fd(), &header, MSG_TRUNC | MSG_DONTWAIT);
        if (length < 0) return;  // nothing more waiting
        TakeDropCount(header);
        if (static_cast<size_t>(length) > m_packet.size()) {
            ++m_counts.bad;
            continue;
        }
        HandlePacket(m_packet.data(), static_cast<size_t>(length), from);
    }
}

void OscReceiver::TakeDropCount(msghdr& header)
{
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SO_RXQ_OVFL) continue;
        uint32_t dropped = 0;
        std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
        m_counts.dropped = m_droppedBefore + dropped;  // the kernel's count is the socket's
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
