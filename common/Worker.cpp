// The worker's lanes and their threads; see Worker.h. The only file that starts a thread.
#include "Worker.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

struct CWorker::Task::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    bool finished = false;
    bool abandoned = false;
    bool refused = false;
    Clock::time_point deadline = Clock::time_point::max();

    // Under `mutex`: abandoned, or past its deadline while still running; a job that has
    // returned holds its lane no more, though its lane has yet to take the next one.
    bool Overrun(Clock::time_point now) const
    {
        return !finished && (abandoned || (running && now > deadline));
    }
};

namespace {

using TaskState = CWorker::Task::State;

struct Delivery {
    std::function<void()> fn;
    QPointer<QObject> context;  // made on the posting thread, read only on the poster's
    bool hasContext = false;
};

// Lives on the thread that made the worker and runs the deliveries there. The lanes hand
// them over under the worker's lock and wake it through an eventfd, so that nothing of Qt's
// crosses threads.
class Poster {
public:
    Poster(std::mutex& lock, std::deque<Delivery>& queue)
        : m_lock(lock), m_queue(queue), m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (m_fd < 0) return;
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
    }
    ~Poster()
    {
        m_notifier.reset();
        if (m_fd >= 0) close(m_fd);
    }
    Poster(const Poster&) = delete;
    Poster& operator=(const Poster&) = delete;

    // Under the worker's lock.
    void Wake()
    {
        const uint64_t one = 1;
        if (m_fd >= 0 && write(m_fd, &one, sizeof one) < 0) {
            // Full or gone: the reader wakes for what is queued already.
        }
    }

private:
    void Drain()
    {
        uint64_t count;
        if (read(m_fd, &count, sizeof count) < 0) {
            // Nothing to reset: an earlier drain took it.
        }
        std::deque<Delivery> taken;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            taken.swap(m_queue);
        }
        for (Delivery& delivery : taken) {
            if (!delivery.hasContext || delivery.context) delivery.fn();
        }
    }

    std::mutex& m_lock;
    std::deque<Delivery>& m_queue;
    int m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

struct Queued {
    CWorker::Job job;
    QPointer<QObject> context;  // made on the posting thread, read only on the poster's
    std::shared_ptr<TaskState> task;
};

struct Lane {
    std::string name;
    std::condition_variable wake;
    std::deque<Queued> queue;
    std::shared_ptr<TaskState> running;
    std::string runningName;
    std::thread thread;
    bool exited = false;
};

std::mutex g_hookLock;
std::function<void(const std::vector<std::string>&)> g_leftBehindHook;

void Finish(TaskState& task, bool abandoned)
{
    std::lock_guard<std::mutex> hold(task.mutex);
    task.finished = true;
    task.abandoned = task.abandoned || abandoned;
    task.changed.notify_all();
}

}  // namespace

struct CWorker::Shared {
    std::mutex lock;
    std::condition_variable exited;
    std::map<std::string, std::shared_ptr<Lane>> lanes;
    bool ending = false;
    std::deque<Delivery> deliveries;
    Poster* poster = nullptr;  // null once the worker ends: deliveries are dropped
    unsigned threads = 0;

    void Deliver(std::function<void()> fn, QPointer<QObject> context, bool hasContext)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!poster) return;
        deliveries.push_back(Delivery{std::move(fn), std::move(context), hasContext});
        poster->Wake();
    }

    // The lane's thread: runs its jobs in order until the worker ends and the queue is empty.
    static void Run(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Lane>& lane)
    {
        std::unique_lock<std::mutex> hold(shared->lock);
        for (;;) {
            lane->wake.wait(hold, [&] { return !lane->queue.empty() || shared->ending; });
            if (lane->queue.empty()) break;
            Queued item = std::move(lane->queue.front());
            lane->queue.pop_front();
            bool runs = !(shared->ending && item.job.skipAtExit);
            {
                std::lock_guard<std::mutex> taskHold(item.task->mutex);
                runs = runs && !item.task->abandoned;
                item.task->running = runs;
            }
            if (!runs) {
                Finish(*item.task, true);
                continue;
            }
            lane->running = item.task;
            lane->runningName = item.job.name;
            hold.unlock();
            RunOne(*shared, item);
            item = Queued();  // the job's shares go here, outside the lock
            hold.lock();
            lane->running.reset();
        }
        lane->exited = true;
        shared->exited.notify_all();
    }

    static void RunOne(Shared& shared, Queued& item)
    {
        if (item.job.work) item.job.work();
        bool late;
        {
            std::lock_guard<std::mutex> hold(item.task->mutex);
            late = item.task->Overrun(Clock::now());
        }
        // The caller learns of the end only after the late part, so that a late open is
        // closed before anyone may open again.
        if (late && item.job.late) item.job.late();
        Finish(*item.task, late);
        if (!late && item.job.done) {
            shared.Deliver(std::move(item.job.done), item.context, item.job.context != nullptr);
        }
    }
};

bool CWorker::Task::Wait(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> hold(m_state->mutex);
    if (!m_state->changed.wait_until(hold, deadline, [&] { return m_state->finished; })) {
        m_state->abandoned = true;
        return false;
    }
    return !m_state->abandoned && !m_state->refused;
}

bool CWorker::Task::Wait()
{
    Clock::time_point deadline;
    {
        std::lock_guard<std::mutex> hold(m_state->mutex);
        deadline = m_state->deadline;
    }
    return Wait(deadline);
}

void CWorker::Task::Abandon()
{
    std::lock_guard<std::mutex> hold(m_state->mutex);
    if (!m_state->finished) m_state->abandoned = true;
}

bool CWorker::Task::Done() const
{
    std::lock_guard<std::mutex> hold(m_state->mutex);
    return m_state->finished;
}

bool CWorker::Task::Refused() const
{
    std::lock_guard<std::mutex> hold(m_state->mutex);
    return m_state->refused;
}

CWorker::CWorker(std::chrono::milliseconds exitBudget)
    : m_shared(std::make_shared<Shared>()), m_exitBudget(exitBudget)
{
    m_shared->poster = new Poster(m_shared->lock, m_shared->deliveries);
}

CWorker::~CWorker()
{
    Poster* poster;
    std::deque<Delivery> undelivered;  // their shares go outside the lock
    {
        std::lock_guard<std::mutex> hold(m_shared->lock);
        m_shared->ending = true;
        poster = m_shared->poster;
        m_shared->poster = nullptr;
        undelivered.swap(m_shared->deliveries);
        for (auto& entry : m_shared->lanes) entry.second->wake.notify_all();
    }
    delete poster;

    const Clock::time_point deadline = Clock::now() + m_exitBudget;
    std::vector<std::string> left;
    std::unique_lock<std::mutex> hold(m_shared->lock);
    for (auto& entry : m_shared->lanes) {
        Lane& lane = *entry.second;
        if (!lane.thread.joinable()) continue;
        // A job already past its own deadline is not waited for a second time.
        bool overrun = false;
        if (lane.running) {
            std::lock_guard<std::mutex> taskHold(lane.running->mutex);
            overrun = lane.running->Overrun(Clock::now());
        }
        if (!overrun) m_shared->exited.wait_until(hold, deadline, [&] { return lane.exited; });
        if (lane.exited) {
            hold.unlock();
            lane.thread.join();
            hold.lock();
            continue;
        }
        // It holds shares of its lane and of what its job uses: nothing it touches goes.
        left.push_back(lane.name + " (" + (lane.runningName.empty() ? "a job" : lane.runningName) +
                       ")");
        lane.thread.detach();
    }
    hold.unlock();
    if (left.empty()) return;
    std::string line;
    for (const std::string& name : left) line += (line.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "Kovra: left behind at exit, still inside a call: %s\n", line.c_str());
    std::lock_guard<std::mutex> hookHold(g_hookLock);
    if (g_leftBehindHook) g_leftBehindHook(left);
}

CWorker::TaskPtr CWorker::Post(const std::string& lane, Job job)
{
    auto task = std::make_shared<TaskState>();
    if (job.timeout.count() > 0) task->deadline = Clock::now() + job.timeout;
    std::lock_guard<std::mutex> hold(m_shared->lock);
    std::shared_ptr<Lane>& entry = m_shared->lanes[lane];
    if (!entry) {
        entry = std::make_shared<Lane>();
        entry->name = lane;
    }
    bool refused = m_shared->ending;
    if (!refused && entry->running) {
        std::lock_guard<std::mutex> taskHold(entry->running->mutex);
        refused = entry->running->Overrun(Clock::now());
    }
    if (refused) {
        task->refused = true;
        task->finished = true;
        return std::make_shared<Task>(task);
    }
    QPointer<QObject> context(job.context);
    entry->queue.push_back(Queued{std::move(job), std::move(context), task});
    if (!entry->thread.joinable()) {
        entry->thread = std::thread(&Shared::Run, m_shared, entry);
        ++m_shared->threads;
    }
    entry->wake.notify_all();
    return std::make_shared<Task>(task);
}

bool CWorker::Hung(const std::string& lane) const
{
    std::lock_guard<std::mutex> hold(m_shared->lock);
    auto found = m_shared->lanes.find(lane);
    if (found == m_shared->lanes.end() || !found->second->running) return false;
    std::lock_guard<std::mutex> taskHold(found->second->running->mutex);
    return found->second->running->Overrun(Clock::now());
}

unsigned CWorker::ThreadsStarted() const
{
    std::lock_guard<std::mutex> hold(m_shared->lock);
    return m_shared->threads;
}

void CWorker::SetLeftBehindHook(std::function<void(const std::vector<std::string>&)> hook)
{
    std::lock_guard<std::mutex> hold(g_hookLock);
    g_leftBehindHook = std::move(hook);
}
