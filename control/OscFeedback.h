// The OSC feedback: the current values sent, on the addresses the receiver takes, to FEEDBACK
// (`host:port`) over a UDP socket of its own. A send never waits: when the socket is full the
// message is dropped and counted.
#ifndef KOVRA_CONTROL_OSCFEEDBACK_H
#define KOVRA_CONTROL_OSCFEEDBACK_H

#include <cstdint>
#include <string>

#include "Action.h"
#include "UdpSocket.h"

class OscFeedback {
public:
    // An empty `hostPort` means no feedback, and is no failure. False, sending nothing, with
    // the line for standard error in `error` when it is no numeric host and port.
    bool Open(const std::string& hostPort, std::string& error);
    void Close() { m_socket.Close(); }
    bool IsOpen() const { return m_socket.Fd() >= 0; }

    void SendEffect(int effect);
    void SendCtrl(int ctrl, int value);  // ctrl 1 or 2, value 0..127
    // A frame-memory key of camera 0 (A) or 1 (B), key 0..7: 1 when its slot holds a picture.
    void SendMemory(int camera, int key, bool filled);
    // FULLSCREEN, SEND, STREAM, RECORD or STORE (the record flag): `i` 1 on, 0 off.
    void SendToggle(Action action, bool on);
    // A clip's speed (`f`, from its MIDI value 0..127), or its pause or reverse (`i` 1 on).
    void SendClip(int camera, ClipControl control, int value);

    uint64_t Sent() const { return m_sent; }
    uint64_t Dropped() const { return m_dropped; }

private:
    void Send(const std::string& path, int value);
    void Send(const std::string& path, float value);
    void SendBytes(const char* bytes, size_t size);

    UdpSocket m_socket;
    uint64_t m_sent = 0;
    uint64_t m_dropped = 0;
};

#endif
