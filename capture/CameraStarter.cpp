// The cameras' worker thread; see CameraStarter.h.
#include "CameraStarter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "DeviceList.h"
#include "DeviceNames.h"
#include "VideoCapture.h"

namespace {

using Clock = std::chrono::steady_clock;
// How long the exit waits for a worker inside a start before it leaves it behind.
constexpr std::chrono::seconds kExitWait{3};

}  // namespace

// Shared by the worker and the object, so that a worker left behind at exit keeps what it
// uses. Everything under `lock`.
struct CCameraStarter::State {
    struct Job {
        bool start = false;
        int slot = 0;
        unsigned ticket = 0;
        std::string name;
        int position = 0;
        std::unique_ptr<CVideoCapture> old;
    };

    std::mutex lock;
    std::condition_variable wake;    // for the worker: a job, a listing asked for, the end
    std::condition_variable listed;  // for ListNow: a new listing, and for the exit: the end
    std::deque<Job> jobs;
    std::deque<Result> results;
    std::vector<std::string> names;
    unsigned generation = 0;
    bool listAsked = false;
    bool watching = false;
    bool ending = false;
    bool ended = false;

    // Worker thread, outside the lock: lists and publishes.
    std::vector<std::string> List()
    {
        std::vector<std::string> fresh = VideoDeviceNames();
        std::lock_guard<std::mutex> hold(lock);
        names = fresh;
        ++generation;
        listed.notify_all();
        return fresh;
    }

    // Worker thread, outside the lock.
    void Do(Job& job)
    {
        job.old.reset();  // stops the old pipeline: its device is free for the new one
        if (!job.start) return;
        const std::vector<std::string> fresh = List();
        Result result;
        result.slot = job.slot;
        result.ticket = job.ticket;
        result.position = job.name.empty() ? job.position : PositionOfName(fresh, job.name);
        if (result.position > 0) {
            result.name = RememberedName(fresh, result.position);
            auto capture = std::make_unique<CVideoCapture>(result.position);
            if (capture->BuildGraph(false, nullptr)) result.capture = std::move(capture);
        }
        std::lock_guard<std::mutex> hold(lock);
        results.push_back(std::move(result));
    }

    void Run()
    {
        std::unique_lock<std::mutex> hold(lock);
        Clock::time_point nextListing = Clock::now();
        while (!ending) {
            const auto period = std::chrono::milliseconds(kWatchPeriodMs);
            if (!jobs.empty()) {
                Job job = std::move(jobs.front());
                jobs.pop_front();
                hold.unlock();
                Do(job);
                hold.lock();
            } else if (listAsked || (watching && Clock::now() >= nextListing)) {
                listAsked = false;
                nextListing = Clock::now() + period;
                hold.unlock();
                List();
                hold.lock();
            } else if (watching) {
                wake.wait_until(hold, nextListing);
            } else {
                wake.wait(hold);
            }
        }
        // Cameras not handed over stop here, off the user-interface thread.
        std::deque<Job> left = std::move(jobs);
        std::deque<Result> unclaimed = std::move(results);
        hold.unlock();
        left.clear();
        unclaimed.clear();
        hold.lock();
        ended = true;
        listed.notify_all();
    }
};

CCameraStarter::CCameraStarter() : m_state(std::make_shared<State>())
{
    std::thread([state = m_state] { state->Run(); }).detach();
}

CCameraStarter::~CCameraStarter()
{
    std::unique_lock<std::mutex> hold(m_state->lock);
    m_state->ending = true;
    m_state->wake.notify_all();
    m_state->listed.wait_for(hold, kExitWait, [&] { return m_state->ended; });
}

unsigned CCameraStarter::Listing(std::vector<std::string>& names) const
{
    std::lock_guard<std::mutex> hold(m_state->lock);
    names = m_state->names;
    return m_state->generation;
}

unsigned CCameraStarter::Generation() const
{
    std::lock_guard<std::mutex> hold(m_state->lock);
    return m_state->generation;
}

bool CCameraStarter::ListNow(std::vector<std::string>& names, int timeoutMs)
{
    std::unique_lock<std::mutex> hold(m_state->lock);
    const unsigned asked = m_state->generation;
    m_state->listAsked = true;
    m_state->wake.notify_all();
    const bool fresh = m_state->listed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                                [&] { return m_state->generation != asked; });
    names = m_state->names;
    return fresh;
}

void CCameraStarter::SetWatching(bool watching)
{
    std::lock_guard<std::mutex> hold(m_state->lock);
    if (m_state->watching == watching) return;
    m_state->watching = watching;
    m_state->wake.notify_all();
}

void CCameraStarter::Start(int slot, unsigned ticket, const std::string& name, int position,
                           std::unique_ptr<CVideoCapture> old)
{
    State::Job job;
    job.start = true;
    job.slot = slot;
    job.ticket = ticket;
    job.name = name;
    job.position = position;
    job.old = std::move(old);
    std::lock_guard<std::mutex> hold(m_state->lock);
    m_state->jobs.push_back(std::move(job));
    m_state->wake.notify_all();
}

void CCameraStarter::Dispose(std::unique_ptr<CVideoCapture> old)
{
    if (!old) return;
    State::Job job;
    job.old = std::move(old);
    std::lock_guard<std::mutex> hold(m_state->lock);
    m_state->jobs.push_back(std::move(job));
    m_state->wake.notify_all();
}

bool CCameraStarter::TakeResult(Result& result)
{
    std::lock_guard<std::mutex> hold(m_state->lock);
    if (m_state->results.empty()) return false;
    result = std::move(m_state->results.front());
    m_state->results.pop_front();
    return true;
}
