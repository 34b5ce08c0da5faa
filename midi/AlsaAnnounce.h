// ALSA's side of noticing a controller plugged in or out: a sequencer client of its own
// subscribed to the system's announce port, which tells of every client and port that
// comes or goes. Read without waiting, so the listing asks ALSA for its ports again only
// after a change.
#ifndef KOVRA_MIDI_ALSAANNOUNCE_H
#define KOVRA_MIDI_ALSAANNOUNCE_H

struct _snd_seq;

class CAlsaAnnounce {
public:
    // Opens the client and subscribes; where the sequencer is missing it stays closed.
    CAlsaAnnounce();
    ~CAlsaAnnounce();
    CAlsaAnnounce(const CAlsaAnnounce&) = delete;
    CAlsaAnnounce& operator=(const CAlsaAnnounce&) = delete;

    bool IsOpen() const { return m_seq != nullptr; }
    // Readable while announcements wait (-1 when closed).
    int Fd() const { return m_fd; }
    // Whether a client or port came, went or changed since the last call (or the client
    // could not tell, having lost events). Takes every announcement waiting.
    bool Changed();

private:
    _snd_seq* m_seq = nullptr;
    int m_fd = -1;
};

#endif
