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
                                            const std::string& source)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!m_client) return Result::kNoServer;
    jack_on_shutdown(m_client, &OnShutdown, this);
    Result result = Result::kFailed;
    m_port = jack_port_register(m_client, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!jack_port_by_name(m_client, source.c_str())) {
        result = Result::kNoPort;
    } else if (m_port && jack_set_process_callback(m_client, &Process, this) == 0 &&
               jack_activate(m_client) == 0 &&
               jack_connect(m_client, source.c_str(), jack_port_name(m_port)) == 0) {
        return Result::kOpened;
    }
    jack_client_close(m_client);
    m_client = nullptr;
    m_port = nullptr;
    return result;
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
