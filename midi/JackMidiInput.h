// A JACK client of the program's own with one MIDI input port, connected to one source port,
// whose process callback hands JACK's events to a delivery as they come; and an output port,
// connected to the source client's MIDI input where it has one, for feedback to it. RtMidi's JACK
// reader is not used for input: after a system-exclusive start without 0xF7 it holds every
// later event back until one ends with 0xF7, so a cut-off dump would deafen the input.
#ifndef KOVRA_MIDI_JACKMIDIINPUT_H
#define KOVRA_MIDI_JACKMIDIINPUT_H

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "SpscRing.h"

class CMidiDelivery;

class CJackMidiInput {
public:
    // `noticeFd` is written when the server shuts the client down (see CJackPortList).
    CJackMidiInput(CMidiDelivery& delivery, int noticeFd)
        : m_delivery(delivery), m_noticeFd(noticeFd)
    {
    }
    // Closes the client, which ends its process thread.
    ~CJackMidiInput();
    CJackMidiInput(const CJackMidiInput&) = delete;
    CJackMidiInput& operator=(const CJackMidiInput&) = delete;

    enum class Result { kOpened, kNoServer, kNoPort, kFailed };
    // The client (JACK makes the name unique), its port, and the connection from `source`
    // ("client:port"). kNoServer when no client could be made, kNoPort when the source is
    // not there.
    // The output port `outName` goes to the first MIDI input port of the source's client.
    Result Open(const char* clientName, const char* portName, const std::string& source,
                const char* outName);
    // Whether the output port is connected to the source's client.
    bool HasOutput() const { return m_out != nullptr; }
    // The output port's full name ("Kovra:MIDI Out"), which the listing leaves out: it is
    // ours, not a device; "" without one.
    const std::string& OutputName() const { return m_outName; }
    // One short message queued for the next cycle, from one thread (the user-interface
    // thread); false, and counted, when the queue is full. Never waits.
    bool Send(const uint8_t* bytes, std::size_t size);
    uint64_t OutputDropped() const { return m_outDropped.load(); }
    // Whether the server shut the client down.
    bool Lost() const { return m_lost.load(); }
    // Forgets a client whose server went, without libjack's close (see CJackPortList).
    void Abandon() { m_client = nullptr; }

private:
    // JACK's process thread: each cycle's events are one batch of the delivery.
    static int Process(jack_nframes_t frames, void* self);
    static void OnShutdown(void* self);
    // Process: the queued messages into the output port's buffer, as many as it takes.
    void WriteOutput(jack_nframes_t frames);
    // Connects the output port to the source client's first MIDI input; false without one.
    bool ConnectOutput(const std::string& source);

    CMidiDelivery& m_delivery;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    jack_port_t* m_outPort = nullptr;
    jack_port_t* m_out = nullptr;  // m_outPort once connected
    std::string m_outName;
    CSpscRing<uint32_t, 1024> m_outQueue;  // packed, status byte lowest
    std::atomic<uint64_t> m_outDropped{0};
    int m_noticeFd;
    std::atomic<bool> m_lost{false};
};

#endif
