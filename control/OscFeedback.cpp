// The OSC feedback; see OscFeedback.h.
#include "OscFeedback.h"

#include <lo/lo_lowlevel.h>
#include <sys/socket.h>

#include <memory>
#include <type_traits>

namespace {

struct MessageDeleter {
    void operator()(lo_message message) const { lo_message_free(message); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageDeleter>;

constexpr size_t kMaxMessageBytes = 64;  // the longest address and one argument take 32

// The message's bytes, or 0 when it does not fit.
size_t Serialise(lo_message message, const std::string& path, char (&bytes)[kMaxMessageBytes])
{
    size_t size = 0;
    if (lo_message_length(message, path.c_str()) > sizeof bytes) return 0;
    lo_message_serialise(message, path.c_str(), bytes, &size);
    return size;
}

}  // namespace

bool OscFeedback::Open(const std::string& hostPort, std::string& error)
{
    m_socket.Close();
    return hostPort.empty() || m_socket.Connect(hostPort, error);
}

void OscFeedback::SendEffect(int effect) { Send("/kovra/effect", effect); }

void OscFeedback::SendCtrl(int ctrl, int value)
{
    Send(ctrl == 1 ? "/kovra/ctrl1" : "/kovra/ctrl2", value);
}

void OscFeedback::SendMemory(int camera, int key, bool filled)
{
    Send(std::string("/kovra/memory/") + (camera == 0 ? "a/" : "b/") + std::to_string(key + 1),
         filled ? 1 : 0);
}

void OscFeedback::SendToggle(Action action, bool on)
{
    const char* name = action == Action::FullScreen ? "fullscreen"
                       : action == Action::Send     ? "send"
                       : action == Action::Stream   ? "stream"
                       : action == Action::Record   ? "record"
                       : action == Action::Store    ? "store"
                                                    : nullptr;
    if (name != nullptr) Send(std::string("/kovra/") + name, on ? 1 : 0);
}

void OscFeedback::SendClip(int camera, ClipControl control, int value)
{
    const std::string path = std::string("/kovra/clip/") + (camera == 0 ? "a/" : "b/");
    if (control == ClipControl::Speed)
        Send(path + "speed", static_cast<float>(ClipSpeedOfValue(value)));
    else if (control != ClipControl::Restart)
        Send(path + (control == ClipControl::Pause ? "pause" : "reverse"), value != 0 ? 1 : 0);
}

void OscFeedback::Send(const std::string& path, int value)
{
    const Message message(lo_message_new());
    if (!IsOpen() || !message || lo_message_add_int32(message.get(), value) != 0) return;
    char bytes[kMaxMessageBytes];
    SendBytes(bytes, Serialise(message.get(), path, bytes));
}

void OscFeedback::Send(const std::string& path, float value)
{
    const Message message(lo_message_new());
    if (!IsOpen() || !message || lo_message_add_float(message.get(), value) != 0) return;
    char bytes[kMaxMessageBytes];
    SendBytes(bytes, Serialise(message.get(), path, bytes));
}

void OscFeedback::SendBytes(const char* bytes, size_t size)
{
    if (size == 0) return;
    // A refused or full socket drops the message: the next change sends the value again.
    if (::send(m_socket.Fd(), bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL) ==
        static_cast<ssize_t>(size))
        ++m_sent;
    else
        ++m_dropped;
}
