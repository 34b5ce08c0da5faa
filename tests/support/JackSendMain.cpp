// kovra_jack_send: a JACK client with one MIDI output port ("<name>:out") and one input port
// ("<name>:in") for the end-to-end tests. Each line read is one event in hexadecimal bytes
// ("c0 05"); "connected" waits until an input is connected to the port and "flush" until
// everything has gone out, each answering "ok" or "timeout" on its own line; "received"
// answers with every short message received so far, in hexadecimal, separated by commas
// ("received b0 01 05,90 30 00").
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "JackServer.h"

int main(int argc, char** argv)
{
    JackSender sender(argc > 1 ? argv[1] : "sender");
    if (!sender.IsOpen()) {
        std::fprintf(stderr, "kovra_jack_send: no JACK server to connect to\n");
        return 1;
    }
    std::printf("ready %s\n", sender.PortName().c_str());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "connected" || line == "flush") {
            const bool done = line == "flush" ? sender.Flush(5000) : sender.WaitConnected(10000);
            std::printf("%s\n", done ? "ok" : "timeout");
            std::fflush(stdout);
            continue;
        }
        if (line == "received") {
            std::string answer = "received ";
            const char* separator = "";
            for (uint32_t message : sender.Received()) {
                char text[16];
                const unsigned status = message & 0xFF;
                std::snprintf(text, sizeof text, "%s%02x %02x", separator, status,
                              (message >> 8) & 0xFF);
                answer += text;
                // A Program Change and a Channel Pressure have one data byte.
                if ((status >> 4) != 0xC && (status >> 4) != 0xD) {
                    std::snprintf(text, sizeof text, " %02x", (message >> 16) & 0xFF);
                    answer += text;
                }
                separator = ",";
            }
            std::printf("%s\n", answer.c_str());
            std::fflush(stdout);
            continue;
        }
        std::istringstream in(line);
        std::vector<uint8_t> bytes;
        unsigned byte = 0;
        while (in >> std::hex >> byte) bytes.push_back(static_cast<uint8_t>(byte));
        if (!bytes.empty() && !sender.Send(bytes)) {
            std::fprintf(stderr, "kovra_jack_send: could not queue %s\n", line.c_str());
        }
    }
    sender.Flush(5000);
    return 0;
}
