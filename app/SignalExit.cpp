// A signal handler may do next to nothing: it writes one byte into a pipe, and the event
// loop, watching the pipe, closes the window.
#include "SignalExit.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <utility>

namespace {

int s_pipe[2] = {-1, -1};

// Set before main runs, so these outlive the exit handler that reads them.
std::function<void()> s_finish;
pid_t s_finishProcess = 0;

void Finish()
{
    // A child forked without exec that calls exit() is not the program ending.
    if (!s_finish || getpid() != s_finishProcess) return;
    std::function<void()> finish = std::move(s_finish);
    s_finish = nullptr;
    finish();
}

void OnSignal(int)
{
    const char byte = 1;
    const ssize_t written = write(s_pipe[1], &byte, 1);
    (void)written;  // a full pipe already holds a wake-up
}

}  // namespace

bool CloseOnSignals(QWidget* window)
{
    if (s_pipe[0] < 0 && pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto* notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        while (read(s_pipe[0], bytes, sizeof bytes) > 0) {
        }
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal or a session's end closes the window like SIGTERM.
    sigaction(SIGHUP, &action, nullptr);
    return true;
}

void FinishOnExit(std::function<void()> finish)
{
    static const bool registered = std::atexit(Finish) == 0 && at_quick_exit(Finish) == 0;
    (void)registered;
    s_finish = std::move(finish);
    s_finishProcess = getpid();
}
