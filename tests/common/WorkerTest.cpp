// The worker: lanes in order, deliveries through the event loop, overruns that hold only
// their own lane, and an exit that leaves a hung job behind without waiting for it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <future>
#include <thread>

#include "Worker.h"

namespace {

using namespace std::chrono_literals;

// A gate a job waits at until the test opens it.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
};

// Runs the event loop until `ready` holds; the ctest timeout bounds a result that never comes.
template <typename Ready>
void ProcessUntil(Ready ready)
{
    while (!ready()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(Worker, RunsALanesJobsInOrderOnOneThreadAndDeliversOnTheCallersThread)
{
    CWorker worker;
    std::vector<int> ran;
    std::vector<std::thread::id> threads;
    int delivered = 0;
    QObject context;
    for (int i = 0; i < 3; ++i) {
        CWorker::Job job;
        job.work = [&, i] {
            ran.push_back(i);
            threads.push_back(std::this_thread::get_id());
        };
        job.context = &context;
        job.done = [&] {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            ++delivered;
        };
        worker.Post("alsa", std::move(job));
    }
    ProcessUntil([&] { return delivered == 3; });
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(threads[0], threads[2]);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(worker.ThreadsStarted(), 1u);
}

TEST(Worker, DropsTheDeliveryOfAContextThatWent)
{
    CWorker worker;
    auto context = std::make_unique<QObject>();
    bool delivered = false;
    CWorker::Job job;
    job.work = [] {};
    job.context = context.get();
    job.done = [&] { delivered = true; };
    CWorker::TaskPtr task = worker.Post("jack", std::move(job));
    ASSERT_TRUE(task->Wait(CWorker::Clock::now() + 60s));
    context.reset();
    // A later job on the same lane is delivered after the first would have been.
    bool later = false;
    CWorker::Job next;
    next.done = [&] { later = true; };
    worker.Post("jack", std::move(next));
    ProcessUntil([&] { return later; });
    EXPECT_FALSE(delivered);
}

TEST(Worker, AnOverrunHoldsOnlyItsLaneUntilItReturnsAndItsLatePartUndoesIt)
{
    CWorker worker;
    Gate gate;
    std::atomic<bool> opened{false}, closedAgain{false}, delivered{false};
    CWorker::Job open;
    open.work = [&] {
        gate.opened.wait();
        opened = true;
    };
    open.late = [&] { closedAgain = true; };
    open.done = [&] { delivered = true; };
    open.timeout = 50ms;
    CWorker::TaskPtr task = worker.Post("jack", std::move(open));
    EXPECT_FALSE(task->Wait());
    EXPECT_TRUE(worker.Hung("jack"));

    CWorker::TaskPtr refused = worker.Post("jack", CWorker::Job{});
    EXPECT_TRUE(refused->Refused());
    EXPECT_FALSE(refused->Wait(CWorker::Clock::now() + 60s));
    CWorker::TaskPtr other = worker.Post("alsa", CWorker::Job{});
    EXPECT_TRUE(other->Wait(CWorker::Clock::now() + 60s));

    gate.open.set_value();
    while (!task->Done()) std::this_thread::yield();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(closedAgain);
    EXPECT_FALSE(worker.Hung("jack"));
    CWorker::TaskPtr again = worker.Post("jack", CWorker::Job{});
    EXPECT_TRUE(again->Wait(CWorker::Clock::now() + 60s));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
    EXPECT_EQ(worker.ThreadsStarted(), 2u);
}

TEST(Worker, ExitLeavesAHungJobBehindNamedAndItsLaneThenDropsStartsButRunsReleases)
{
    Gate gate;
    std::vector<std::string> left;
    CWorker::SetLeftBehindHook([&](const std::vector<std::string>& names) { left = names; });
    auto released = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> inside{false};
    bool joined = false;
    {
        CWorker worker(200ms);
        CWorker::Job hang;
        hang.name = "jack_client_close";
        hang.work = [&inside, opened = gate.opened] {
            inside = true;
            opened.wait();
        };
        worker.Post("jack", std::move(hang));
        CWorker::Job start;
        start.skipAtExit = true;
        start.work = [started] { *started = true; };
        worker.Post("jack", std::move(start));
        CWorker::Job release;
        release.work = [released] { *released = true; };
        worker.Post("jack", std::move(release));
        CWorker::Job quick;
        quick.work = [&joined] { joined = true; };
        worker.Post("camera:/dev/video0", std::move(quick));
        while (!inside) std::this_thread::yield();
    }
    CWorker::SetLeftBehindHook(nullptr);
    EXPECT_TRUE(joined);
    EXPECT_EQ(left, (std::vector<std::string>{"jack (jack_client_close)"}));
    gate.open.set_value();
    while (!*released) std::this_thread::yield();
    EXPECT_FALSE(*started);
}

TEST(Worker, ExitDoesNotWaitAgainForAJobPastItsDeadline)
{
    Gate gate;
    std::vector<std::string> left;
    CWorker::SetLeftBehindHook([&](const std::vector<std::string>& names) { left = names; });
    CWorker::Clock::time_point ending;
    {
        CWorker worker(60s);
        CWorker::Job hang;
        hang.name = "jack_client_close";
        hang.work = [opened = gate.opened] { opened.wait(); };
        hang.timeout = 10ms;
        worker.Post("jack", std::move(hang));
        while (!worker.Hung("jack")) std::this_thread::yield();
        ending = CWorker::Clock::now();
    }
    EXPECT_LT(CWorker::Clock::now() - ending, 30s) << "not the exit's 60 s";
    CWorker::SetLeftBehindHook(nullptr);
    EXPECT_EQ(left, (std::vector<std::string>{"jack (jack_client_close)"}));
    gate.open.set_value();
}

}  // namespace
