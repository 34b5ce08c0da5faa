// A JACK server of the test's own (the dummy back end, no sound hardware), under a name of
// its own so that tests running side by side never share one, and a second JACK client
// with one MIDI output port that sends what the test gives it and one MIDI input port
// ("<name>:in") that keeps what it receives.
#ifndef KOVRA_TESTS_JACKSERVER_H
#define KOVRA_TESTS_JACKSERVER_H

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class JackServer {
public:
    // Starts `jackd -d dummy` with the given period and waits until clients can connect.
    // Every JACK client of this process connects to it afterwards (JACK_DEFAULT_SERVER).
    explicit JackServer(int period = 256);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool IsRunning() const { return m_bReady; }
    const std::string& Name() const { return m_name; }
    // Ends the server now, by its own process id only, and waits for it to go.
    void Stop();
    // Kills the server with `signal`, waits for it to go, and after `gap` starts it again
    // under the same name; false when it did not come back.
    bool Restart(int signal, std::chrono::milliseconds gap);
    // Stops the server's process (SIGSTOP), or lets it go on (SIGCONT).
    void Pause(bool paused);

private:
    // Starts one server and waits for it until `end`; false when it exited or never came up.
    bool Spawn(int period, std::chrono::steady_clock::time_point end);

    std::string m_name;
    int m_period = 256;
    pid_t m_pid = -1;
    bool m_bReady = false;
};

class JackSender {
public:
    explicit JackSender(const std::string& clientName = "sender");
    ~JackSender();
    JackSender(const JackSender&) = delete;
    JackSender& operator=(const JackSender&) = delete;

    bool IsOpen() const { return m_client != nullptr; }
    // The full name of the output port, "sender:out".
    std::string PortName() const;
    // Whether some input is connected to the port, waiting up to the timeout for it.
    bool WaitConnected(int timeoutMs);
    // Queues one JACK MIDI event, sent whole at the start of a coming cycle. False when the
    // queue is full or the event is too long.
    bool Send(const std::vector<uint8_t>& bytes);
    // Waits until every queued event has gone out.
    bool Flush(int timeoutMs);
    // Waits until the server has run this client's cycle `cycles` more times. Clients fed
    // by the port run after it in each cycle, and a cycle starts only once the one before
    // has finished, so two cycles after a flush every receiver has been handed the events.
    bool WaitCycles(int cycles, int timeoutMs);
    // Events sent so far, and (for the first ones, as many as `KeepCycleTimes` asked for)
    // when the cycle each went out in ran, in microseconds of jack_get_time.
    uint64_t Sent() const { return m_sent.load(); }
    void KeepCycleTimes(std::size_t count) { m_cycleTimes.assign(count, 0); }
    jack_time_t CycleTime(std::size_t event) const { return m_cycleTimes[event]; }
    // The short messages received on the input port so far (up to kKept of them), each
    // packed with its status byte lowest.
    std::vector<uint32_t> Received() const;
    static constexpr std::size_t kKept = 4096;
    // Closes the client: its port disappears, as an unplugged device's does.
    void Close();

private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    jack_port_t* m_inPort = nullptr;
    // Written by the process callback alone, each place before the count that shows it.
    std::vector<uint32_t> m_received = std::vector<uint32_t>(kKept);
    std::atomic<std::size_t> m_receivedCount{0};
    jack_ringbuffer_t* m_queue = nullptr;
    // Held by Send while it writes the queue; the process callback only tries it and leaves
    // the queue for the next cycle when it is taken, so it never waits. The lock also makes
    // the hand-off visible to ThreadSanitizer, which cannot see libjack's own barriers.
    std::mutex m_queueLock;
    std::atomic<bool> m_bServerGone{false};
    std::atomic<uint64_t> m_queued{0};
    std::atomic<uint64_t> m_sent{0};
    std::atomic<uint64_t> m_cycles{0};
    std::vector<jack_time_t> m_cycleTimes;
};

#endif
