// A JACK server and a sending client for the MIDI tests; see JackServer.h.
#include "JackServer.h"

#include <fcntl.h>
#include <glob.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void Quiet(const char*) {}

bool Exited(pid_t pid, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

constexpr std::size_t kQueueBytes = 1 << 16;
constexpr uint32_t kLongestEvent = 4096;

}  // namespace

JackServer::JackServer(int period) : m_period(period)
{
    jack_set_error_function(&Quiet);
    jack_set_info_function(&Quiet);
    static std::atomic<int> counter{0};
    m_name = "kovra-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
    // A server that cannot start exits at once. Each user may have only a few servers
    // registered at a time, so one that lost the race for a place is started again while
    // others come and go.
    const auto end = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < end && !Spawn(period, end)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

bool JackServer::Spawn(int period, std::chrono::steady_clock::time_point end)
{
    const std::string periodText = std::to_string(period);
    const char* argv[] = {"jackd", "-n", m_name.c_str(),     "-d",   "dummy", "-r",
                          "48000", "-p", periodText.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned =
        posix_spawnp(&m_pid, "jackd", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = -1;
        return false;
    }
    // Ready once a client can connect.
    while (Clock::now() < end) {
        jack_status_t status;
        jack_client_t* probe = jack_client_open("probe", JackNoStartServer, &status);
        if (probe) {
            jack_client_close(probe);
            m_bReady = true;
            return true;
        }
        int exitStatus = 0;
        if (waitpid(m_pid, &exitStatus, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

JackServer::~JackServer() { Stop(); }

bool JackServer::Restart(int signal, std::chrono::milliseconds gap)
{
    if (m_pid <= 0) return false;
    kill(m_pid, signal);
    Exited(m_pid, 30000);
    m_pid = -1;
    m_bReady = false;
    std::this_thread::sleep_for(gap);
    return Spawn(m_period, Clock::now() + std::chrono::seconds(60));
}

void JackServer::Pause(bool paused)
{
    if (m_pid > 0) kill(m_pid, paused ? SIGSTOP : SIGCONT);
}

void JackServer::Stop()
{
    m_bReady = false;
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    // It takes two to three seconds to go after SIGTERM, longer on a busy machine. A killed
    // server keeps its place among the user's registered servers, so it is killed only late.
    if (!Exited(m_pid, 30000)) {
        kill(m_pid, SIGKILL);
        Exited(m_pid, 5000);
    }
    m_pid = -1;
    // The server takes its own semaphores along, not those of its clients.
    const std::string pattern =
        "/dev/shm/jack_sem." + std::to_string(getuid()) + "_" + m_name + "_*";
    glob_t found = {};
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) unlink(found.gl_pathv[i]);
    }
    globfree(&found);
}

JackSender::JackSender(const std::string& clientName)
{
    jack_status_t status;
    m_client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!m_client) return;
    m_queue = jack_ringbuffer_create(kQueueBytes);
    m_port = jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_inPort = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_on_shutdown(
        m_client, [](void* self) { static_cast<JackSender*>(self)->m_bServerGone = true; }, this);
    if (!m_queue || !m_port || !m_inPort ||
        jack_set_process_callback(m_client, &Process, this) != 0 || jack_activate(m_client) != 0) {
        Close();
    }
}

JackSender::~JackSender()
{
    Close();
    if (m_queue) jack_ringbuffer_free(m_queue);
}

void JackSender::Close()
{
    if (!m_client) return;
    // libjack crashes on a client whose server has gone once another client of the process
    // has closed since; such a client is left as it is.
    if (!m_bServerGone) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
    m_client = nullptr;
    m_port = nullptr;
    m_inPort = nullptr;
}

std::vector<uint32_t> JackSender::Received() const
{
    const std::size_t count = m_receivedCount.load(std::memory_order_acquire);
    return std::vector<uint32_t>(m_received.begin(), m_received.begin() + count);
}

std::string JackSender::PortName() const { return m_port ? jack_port_name(m_port) : ""; }

bool JackSender::WaitConnected(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_port && Clock::now() < end) {
        if (jack_port_connected(m_port) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool JackSender::Send(const std::vector<uint8_t>& bytes)
{
    const uint32_t length = static_cast<uint32_t>(bytes.size());
    if (!m_client || length == 0 || length > kLongestEvent) return false;
    std::lock_guard<std::mutex> hold(m_queueLock);
    if (jack_ringbuffer_write_space(m_queue) < sizeof length + length) return false;
    jack_ringbuffer_write(m_queue, reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(m_queue, reinterpret_cast<const char*>(bytes.data()), length);
    ++m_queued;
    return true;
}

bool JackSender::Flush(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (m_sent.load() == m_queued.load()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool JackSender::WaitCycles(int cycles, int timeoutMs)
{
    const uint64_t until = m_cycles.load() + static_cast<uint64_t>(cycles);
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (m_cycles.load() >= until) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

int JackSender::Process(jack_nframes_t frames, void* self)
{
    JackSender& sender = *static_cast<JackSender*>(self);
    ++sender.m_cycles;
    void* input = jack_port_get_buffer(sender.m_inPort, frames);
    for (uint32_t i = 0, n = jack_midi_get_event_count(input); i < n; ++i) {
        jack_midi_event_t event;
        const std::size_t kept = sender.m_receivedCount.load(std::memory_order_relaxed);
        if (jack_midi_event_get(&event, input, i) != 0 || event.size > 3 || kept == kKept) continue;
        uint32_t packed = 0;
        for (std::size_t b = 0; b < event.size; ++b) packed |= uint32_t{event.buffer[b]} << (8 * b);
        sender.m_received[kept] = packed;
        sender.m_receivedCount.store(kept + 1, std::memory_order_release);
    }
    void* buffer = jack_port_get_buffer(sender.m_port, frames);
    jack_midi_clear_buffer(buffer);
    // When this cycle ran here; the server's own cycle times are smoothed estimates that
    // may lie ahead of the moment.
    const jack_time_t cycleStart = jack_get_time();
    std::unique_lock<std::mutex> queue(sender.m_queueLock, std::try_to_lock);
    if (!queue.owns_lock()) return 0;  // Send is writing: the events go next cycle
    // Every queued event goes out at the start of this cycle, as long as the port's
    // buffer has room; the rest waits for the next cycle.
    uint32_t length = 0;
    while (jack_ringbuffer_peek(sender.m_queue, reinterpret_cast<char*>(&length), sizeof length) ==
               sizeof length &&
           jack_ringbuffer_read_space(sender.m_queue) >= sizeof length + length) {
        jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, length);
        if (!event) {
            if (jack_midi_get_event_count(buffer) != 0) break;  // the rest goes next cycle
            // Longer than any cycle can carry: it never goes out.
            jack_ringbuffer_read_advance(sender.m_queue, sizeof length + length);
            --sender.m_queued;
            continue;
        }
        jack_ringbuffer_read_advance(sender.m_queue, sizeof length);
        jack_ringbuffer_read(sender.m_queue, reinterpret_cast<char*>(event), length);
        const uint64_t sent = sender.m_sent.load();
        if (sent < sender.m_cycleTimes.size()) sender.m_cycleTimes[sent] = cycleStart;
        sender.m_sent.store(sent + 1);
    }
    return 0;
}
