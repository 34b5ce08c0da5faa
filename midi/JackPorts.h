// JACK's side of the MIDI listing: whether a JACK server runs, found without libjack (a
// client of a user whose metadata store was left locked waits for good in libjack), and
// the MIDI output ports of the running server.
#ifndef KOVRA_MIDI_JACKPORTS_H
#define KOVRA_MIDI_JACKPORTS_H

#include <atomic>
#include <string>
#include <vector>

// Whether the server named by $JACK_DEFAULT_SERVER ("default" without it) accepts
// connections on its socket. A socket left by a killed server refuses them.
bool JackServerRuns();

// The server's MIDI output ports, through one client kept for the listing: a client opened
// and closed at every look would come and go in every patchbay. The client is activated,
// with no ports and no process callback, because JACK tells only an active client of ports
// that come and go (so it shows in patchbays as "Kovra watch"). A registration, or the
// server going, makes the notice descriptor readable until the next listing. One listing at
// a time; the callbacks run on libjack's threads.
class CJackPortList {
public:
    CJackPortList();
    ~CJackPortList();
    CJackPortList(const CJackPortList&) = delete;
    CJackPortList& operator=(const CJackPortList&) = delete;

    // The full names ("client:port"), in the server's order, as RtMidi lists them; empty
    // while no server runs. A client whose server went is let go of first. May wait as long
    // as libjack does.
    std::vector<std::string> List();
    // An eventfd, written by the callbacks (and by the inputs' own shutdown callbacks).
    int NoticeFd() const { return m_noticeFd; }
    // Whether the listing's client is connected to a running server, so that it will tell.
    bool Alive() const { return m_alive.load(); }
    // Readable when something comes or goes in /dev/shm, where the server's socket is (-1
    // without inotify): a server that starts, or one killed and started again at once, whose
    // clients' shutdown callbacks need not come.
    int ServerFd() const { return m_serverFd; }
    // Counts the server's socket made or removed, as the listing saw; a JACK client opened
    // under an older count belongs to a server that went.
    unsigned Generation() const { return m_generation.load(); }

    // Takes the server's socket made or removed since the last look into Generation(), so
    // that the inputs of a server that went are known before a new client is made.
    void TakeServerChanges();
    // Lets go of the client (before the program ends, on the listing's thread).
    void Disconnect();
    // Writes the notice; for libjack's threads.
    static void Notify(int fd);

private:
    static void OnShutdown(void* self);
    static void OnRegistration(unsigned port, int registered, void* self);

    struct _jack_client* m_client = nullptr;
    int m_noticeFd = -1;
    int m_serverFd = -1;
    unsigned m_clientGeneration = 0;  // the server's count when the client was made
    std::atomic<unsigned> m_generation{0};
    std::atomic<bool> m_alive{false};
    std::atomic<bool> m_gone{false};  // the server shut the client down
};

#endif
