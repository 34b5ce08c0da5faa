// The ALSA announce port; see AlsaAnnounce.h.
#include "AlsaAnnounce.h"

#include <alsa/asoundlib.h>

CAlsaAnnounce::CAlsaAnnounce()
{
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return;
    snd_seq_set_client_name(seq, "Kovra watch");
    const int port = snd_seq_create_simple_port(seq, "announce",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 ||
        snd_seq_connect_from(seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
        snd_seq_close(seq);
        return;
    }
    m_seq = seq;
    pollfd descriptor{};
    if (snd_seq_poll_descriptors(seq, &descriptor, 1, POLLIN) == 1) m_fd = descriptor.fd;
}

CAlsaAnnounce::~CAlsaAnnounce()
{
    if (m_seq) snd_seq_close(m_seq);
}

bool CAlsaAnnounce::Changed()
{
    if (!m_seq) return false;
    bool changed = false;
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int result = snd_seq_event_input(m_seq, &event);
        if (result == -EAGAIN) break;
        if (result < 0) {  // -ENOSPC: announcements were lost, so anything may have changed
            changed = true;
            if (result != -ENOSPC) break;
            continue;
        }
        if (!event) continue;
        switch (event->type) {
            case SND_SEQ_EVENT_CLIENT_START:
            case SND_SEQ_EVENT_CLIENT_EXIT:
            case SND_SEQ_EVENT_CLIENT_CHANGE:
            case SND_SEQ_EVENT_PORT_START:
            case SND_SEQ_EVENT_PORT_EXIT:
            case SND_SEQ_EVENT_PORT_CHANGE:
                changed = true;
                break;
            default:
                break;
        }
    }
    return changed;
}
