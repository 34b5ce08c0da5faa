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

// The full names of the server's MIDI output ports ("client:port"), in the server's order,
// as RtMidi lists them; empty when no server runs. May wait as long as libjack does.
std::vector<std::string> ListJackMidiOutputs(const char* clientName);

#endif
