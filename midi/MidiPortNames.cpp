// The stored names of MIDI devices; see MidiPortNames.h.
#include "MidiPortNames.h"

namespace {

constexpr char kAlsaPrefix[] = "ALSA: ";
constexpr char kThroughPrefix[] = "ALSA: Midi Through";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// RtMidi ends an ALSA port's name with " client:port" ("... 24:0"); those numbers follow the
// plug order, so they are left out of what is remembered.
std::string WithoutAlsaNumbers(const std::string& name)
{
    if (!StartsWith(name, kAlsaPrefix)) return name;
    const std::size_t space = name.rfind(' ');
    if (space == std::string::npos) return name;
    const std::string tail = name.substr(space + 1);
    const std::size_t colon = tail.find(':');
    const auto digits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (colon == std::string::npos || !digits(tail.substr(0, colon)) ||
        !digits(tail.substr(colon + 1))) {
        return name;
    }
    return name.substr(0, space);
}

}  // namespace

std::string StoredPortName(const std::vector<std::string>& names, unsigned id)
{
    if (id >= names.size()) return std::string();
    const std::string plain = WithoutAlsaNumbers(names[id]);
    unsigned k = 1;
    for (unsigned i = 0; i < id; ++i) {
        if (WithoutAlsaNumbers(names[i]) == plain) ++k;
    }
    return k == 1 ? plain : plain + " #" + std::to_string(k);
}

int FindStoredPortName(const std::vector<std::string>& names, const std::string& stored)
{
    if (stored.empty()) return -1;
    for (unsigned id = 0; id < names.size(); ++id) {
        if (StoredPortName(names, id) == stored) return static_cast<int>(id);
    }
    return -1;
}

bool IsMidiThroughPort(const std::string& displayName)
{
    return StartsWith(displayName, kThroughPrefix);
}

unsigned IdFromOldOrder(const std::vector<std::string>& names, unsigned oldId)
{
    if (oldId >= names.size()) return oldId;
    std::vector<unsigned> old;  // new ids in the old order
    for (unsigned id = 0; id < names.size(); ++id) {
        if (IsMidiThroughPort(names[id])) old.push_back(id);
    }
    for (unsigned id = 0; id < names.size(); ++id) {
        if (StartsWith(names[id], kAlsaPrefix) && !IsMidiThroughPort(names[id])) old.push_back(id);
    }
    for (unsigned id = 0; id < names.size(); ++id) {
        if (!StartsWith(names[id], kAlsaPrefix)) old.push_back(id);
    }
    return old[oldId];
}

namespace {

// RtMidi's ALSA names end in the client and port numbers, "20:0"; "" when they do not.
std::string AlsaAddress(const std::string& name)
{
    const size_t space = name.rfind(' ');
    const std::string address = space == std::string::npos ? "" : name.substr(space + 1);
    const size_t colon = address.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) return "";
    return address.find_first_not_of("0123456789:") == std::string::npos ? address : "";
}

}  // namespace

int AlsaOutputOf(const std::string& input, const std::vector<std::string>& outputs)
{
    const std::string address = AlsaAddress(input);
    if (address.empty()) return -1;
    const std::string client = address.substr(0, address.find(':') + 1);
    int sameClient = -1;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string other = AlsaAddress(outputs[i]);
        if (other == address) return static_cast<int>(i);
        if (sameClient < 0 && other.rfind(client, 0) == 0) sameClient = static_cast<int>(i);
    }
    return sameClient;
}
