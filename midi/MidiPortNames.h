// How the MIDI devices are remembered between runs: the name stored for a device of a listing
// (without ALSA's client:port numbers, "name #k" for the k-th of several of one name), the
// device of a stored name, the order of the listing (ALSA's "Midi Through" last), and an
// ALSA device's output side.
#ifndef KOVRA_MIDI_MIDIPORTNAMES_H
#define KOVRA_MIDI_MIDIPORTNAMES_H

#include <string>
#include <vector>

// The name stored for device `id` of the listing `names` (display names in id order); "" for
// an id past the list.
std::string StoredPortName(const std::vector<std::string>& names, unsigned id);

// The id of the device whose stored name is `stored`, or -1 when none has it.
int FindStoredPortName(const std::vector<std::string>& names, const std::string& stored);

// ALSA's loopback port ("ALSA: Midi Through:..."), which the listing puts last.
bool IsMidiThroughPort(const std::string& displayName);

// A device id of the listing before the loopback ports went last (they came first then,
// ahead of every other ALSA port and of JACK's): the id of the same device now. Ids past the
// list stay as they are.
unsigned IdFromOldOrder(const std::vector<std::string>& names, unsigned oldId);

// Among RtMidi's names of the ALSA ports that can be written to ("client:port c:p"), the
// index of the output side of the readable port `input`: the same client and port numbers,
// else the client's first port; -1 when the client has none.
int AlsaOutputOf(const std::string& input, const std::vector<std::string>& outputs);

#endif
