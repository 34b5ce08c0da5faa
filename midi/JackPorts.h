// JACK's side of the MIDI listing: whether a JACK server runs, found without libjack (a
// client of a user whose metadata store was left locked waits for good in libjack), and
// the MIDI output ports of the running server.
#ifndef KOVRA_MIDI_JACKPORTS_H
#define KOVRA_MIDI_JACKPORTS_H

#include <string>
#include <vector>

// Whether the server named by $JACK_DEFAULT_SERVER ("default" without it) accepts
// connections on its socket. A socket left by a killed server refuses them.
bool JackServerRuns();

// The server's MIDI output ports, through one client kept for the listing: a client opened
// and closed at every look would come and go in every patchbay twice a second. One listing
// at a time.
class CJackPortList {
public:
    CJackPortList() = default;
    ~CJackPortList();
    CJackPortList(const CJackPortList&) = delete;
    CJackPortList& operator=(const CJackPortList&) = delete;

    // The full names ("client:port"), in the server's order, as RtMidi lists them; empty
    // while no server runs. May wait as long as libjack does.
    std::vector<std::string> List();

private:
    void Disconnect();

    struct _jack_client* m_client = nullptr;
};

#endif
