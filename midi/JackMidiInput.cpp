// The JACK MIDI input; see JackMidiInput.h.
#include "JackMidiInput.h"

#include <jack/midiport.h>
#include <pthread.h>

#include "JackPorts.h"
#include "MidiDelivery.h"

CJackMidiInput::~CJackMidiInput()
{
    if (m_client) jack_client_close(m_client);
}

CJackMidiInput::Result CJackMidiInput::Open(const char* clientName, const char* portName,
                                            const std::string& source, const char* outName)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!m_client) return Result::kNoServer;
    jack_on_shutdown(m_client, &OnShutdown, this);
    Result result = Result::kFailed;
    m_port = jack_port_register(m_client, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    m_outPort = jack_port_register(m_client, outName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (m_outPort) m_outName = jack_port_name(m_outPort);
    if (!jack_port_by_name(m_client, source.c_str())) {
        result = Result::kNoPort;
    } else if (m_port && jack_set_process_callback(m_client, &Process, this) == 0 &&
               jack_activate(m_client) == 0) {
        // The output first: once the input is connected the sender may play, and the caller
        // starts the input only when this returns. A device that only sends plays on without
        // feedback.
        if (m_outPort && ConnectOutput(source)) m_out = m_outPort;
        if (jack_connect(m_client, source.c_str(), jack_port_name(m_port)) == 0)
            return Result::kOpened;
        m_out = nullptr;
    }
    jack_client_close(m_client);
    m_client = nullptr;
    m_port = nullptr;
    m_outPort = nullptr;
    return result;
}

bool CJackMidiInput::ConnectOutput(const std::string& source)
{
    // The source's client: its full name without ":" and the port's own name.
    jack_port_t* port = jack_port_by_name(m_client, source.c_str());
    const std::string shortName = port ? jack_port_short_name(port) : "";
    if (shortName.empty() || source.size() <= shortName.size()) return false;
    const std::string prefix = source.substr(0, source.size() - shortName.size());
    const char** inputs =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    bool connected = false;
    for (const char** name = inputs; name && *name && !connected; ++name) {
        connected = std::string(*name).rfind(prefix, 0) == 0 &&
                    jack_connect(m_client, jack_port_name(m_outPort), *name) == 0;
    }
    if (inputs) jack_free(inputs);
    return connected;
}

bool CJackMidiInput::Send(const uint8_t* bytes, std::size_t size)
{
    if (!m_out || size == 0 || size > 3) return false;
    uint32_t packed = 0;
    for (std::size_t i = 0; i < size; ++i) packed |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    if (m_outQueue.Push(packed)) return true;
    m_outDropped.fetch_add(1);
    return false;
}

void CJackMidiInput::WriteOutput(jack_nframes_t frames)
{
    // Cleared every cycle, connected or not: JACK hands the last cycle's buffer back.
    void* buffer = jack_port_get_buffer(m_outPort, frames);
    jack_midi_clear_buffer(buffer);
    // What does not fit waits for the next cycle, in the queue.
    while (jack_midi_max_event_size(buffer) >= 3) {
        uint32_t message = 0;
        if (!m_outQueue.Pop(message)) break;
        const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                                  static_cast<uint8_t>(message >> 16)};
        const int status = bytes[0] >> 4;
        const size_t size = status == 0xC || status == 0xD ? 2 : 3;
        if (jack_midi_event_write(buffer, 0, bytes, size) != 0) m_outDropped.fetch_add(1);
    }
}

int CJackMidiInput::Process(jack_nframes_t frames, void* self)
{
    auto& input = *static_cast<CJackMidiInput*>(self);
    // libjack may cancel this thread as the client closes; the write that wakes the window
    // is a cancellation point, and a batch cut off there would leave a stop waiting for good.
    int cancelState = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    if (input.m_delivery.BeginBatch()) {
        void* buffer = jack_port_get_buffer(input.m_port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0) {
                input.m_delivery.Receive(event.buffer, event.size);
            }
        }
        input.m_delivery.EndBatch();
    }
    if (input.m_outPort) input.WriteOutput(frames);
    pthread_setcancelstate(cancelState, nullptr);
    return 0;
}

void CJackMidiInput::OnShutdown(void* self)
{
    // The listing then finds the port gone, and the device is let go of.
    // The flag last: once it is seen the input may go, and this touches nothing more of it.
    auto& input = *static_cast<CJackMidiInput*>(self);
    CJackPortList::Notify(input.m_noticeFd);
    input.m_lost.store(true);
}
