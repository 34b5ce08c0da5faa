// The one place work runs beside the window. Jobs go on lanes, one per back end (JACK, ALSA,
// each camera device), each lane one thread: a driver that hangs holds only its own lane, and
// threads never pile up. Results come back through the event loop, or a caller waits for them
// with a deadline.
#ifndef KOVRA_COMMON_WORKER_H
#define KOVRA_COMMON_WORKER_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

class CWorker {
public:
    using Clock = std::chrono::steady_clock;

    struct Job {
        // For the line on standard error when the job is left behind at exit.
        std::string name;
        // On the lane's thread.
        std::function<void()> work;
        // On the lane's thread, after `work`, instead of the delivery, when the job was
        // abandoned: closes again what a late open opened.
        std::function<void()> late;
        // On the user-interface thread, through the event loop, after `work`, unless the job
        // was abandoned or `context` (when given) is gone by then.
        std::function<void()> done;
        QObject* context = nullptr;
        // How long the job may take from its post; zero for no bound. One that overruns is
        // abandoned: its lane is hung, and takes no new job, until it returns.
        std::chrono::milliseconds timeout{0};
        // A job not begun when the worker ends is dropped (a start); otherwise it still runs
        // (a stop or a release).
        bool skipAtExit = false;
    };

    // A job on its way, shared by its caller and its lane.
    class Task {
    public:
        // Waits until the job has run or `deadline` has passed; false when it had not run by
        // then (the job is then abandoned) or was refused.
        bool Wait(Clock::time_point deadline);
        // Waits until the job's own deadline (for ever without one).
        bool Wait();
        // Gives the job up: it does not run if it has not begun, and its delivery never comes.
        void Abandon();
        // Whether it has run (or was refused or dropped).
        bool Done() const;
        // Refused at once: its lane was hung or the worker was ending.
        bool Refused() const;

        struct State;
        explicit Task(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    private:
        std::shared_ptr<State> m_state;
    };
    using TaskPtr = std::shared_ptr<Task>;

    // The exit waits at most `exitBudget` in all for the lanes' jobs. Deliveries come through
    // the event loop of the thread that makes the worker, after the application object.
    explicit CWorker(std::chrono::milliseconds exitBudget = std::chrono::seconds(2));
    // Joins every lane that finishes within the budget; those still inside a job are left,
    // holding shares of what they use, and named in one line on standard error. A lane whose
    // job has already overrun its own deadline is left at once.
    ~CWorker();
    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Queues `job` on `lane`, in order behind the lane's earlier jobs. Refused at once when
    // the lane's running job has overrun or was abandoned and has not yet returned.
    TaskPtr Post(const std::string& lane, Job job);
    // Whether the lane's running job has overrun its deadline or was abandoned.
    bool Hung(const std::string& lane) const;
    // Threads this worker has started so far.
    unsigned ThreadsStarted() const;
    // The lanes that were still inside a job when the exit's budget ran out (set by the
    // destructor; for tests, through the hook below).
    static void SetLeftBehindHook(std::function<void(const std::vector<std::string>&)> hook);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    std::chrono::milliseconds m_exitBudget;
};

#endif
