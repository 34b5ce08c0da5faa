// The settings file's "OSC" section: where OSC listens (PORT 0, the default, is off), and
// whether senders off this machine may use the ways out, and where the feedback goes.
#ifndef KOVRA_CONTROL_OSCSETTINGS_H
#define KOVRA_CONTROL_OSCSETTINGS_H

#include <string>

class IniProfile;

struct OscSettings {
    int port = 0;
    std::string address = "127.0.0.1";
    bool remoteOutputs = false;
    std::string feedback;  // FEEDBACK, "host:port"; empty for none

    // The MIDI Device dialog changes the port alone; the file keeps the rest as it holds it.
    void Load(IniProfile& profile);
    // PORT, where the file has one or the port is on: a file without the section stays so.
    void Save(IniProfile& profile) const;
};

#endif
