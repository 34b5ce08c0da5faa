// kovra_jack_server: a JACK server of its own for tests that are not C++ (the end-to-end
// tests), started and stopped exactly as JackServer does it for the C++ tests. Prints
// "ready <server name>" once clients can connect; stops the server when its input closes or
// on SIGTERM, SIGINT or SIGHUP. Exits 1 when no server would start.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "JackServer.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void Interrupt(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv)
{
    // Set before the server starts, so that a signal while it starts still stops it; without
    // SA_RESTART, so that it ends the read below.
    struct sigaction action = {};
    action.sa_handler = &Interrupt;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);

    JackServer server(argc > 1 ? std::atoi(argv[1]) : 256);
    if (!server.IsRunning()) {
        std::fprintf(stderr, "kovra_jack_server: jackd did not start\n");
        return 1;
    }
    std::printf("ready %s\n", server.Name().c_str());
    std::fflush(stdout);
    char byte = 0;
    while (!g_stop && read(STDIN_FILENO, &byte, 1) > 0) {
    }
    server.Stop();
    return 0;
}
