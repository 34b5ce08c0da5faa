// The stream's settings (STREAMURI and STREAMPASSPHRASE in [OUTPUT]) and what is safe about
// them: a passphrase SRT takes, and whether the listener can be reached from other machines.
#ifndef KOVRA_OUTPUT_STREAMSETTINGS_H
#define KOVRA_OUTPUT_STREAMSETTINGS_H

#include <string>

struct StreamSettings {
    std::string uri = "srt://127.0.0.1:7001";
    std::string passphrase;  // empty: no encryption
};

// Why the stream cannot start with these settings, or "" when it can.
std::string StreamRefusal(const StreamSettings& settings);

// Whether a listener on `uri` answers beyond this machine: any host but a loopback address or
// "localhost", and no host at all (every interface).
bool ListensBeyondLocalhost(const std::string& uri);

#endif
