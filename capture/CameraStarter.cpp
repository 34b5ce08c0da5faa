// The cameras' jobs on the worker and GStreamer's device monitor; see CameraStarter.h.
#include "CameraStarter.h"

#include <gst/gst.h>

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <mutex>

#include "DeviceList.h"
#include "DeviceNames.h"
#include "DeviceSource.h"
#include "SourceList.h"
#include "Worker.h"

namespace {

constexpr const char* kListLane = "camera list";

std::string CameraLane(const std::string& name, int position)
{
    return "camera:" + (name.empty() ? "#" + std::to_string(position) : name);
}

// Where the device monitor tells of a change: the user-interface thread's `notify`, through
// the event loop, while `context` is set (the starter clears it when it goes).
struct Notifier {
    std::mutex lock;
    QObject* context = nullptr;
    std::function<void()> notify;

    // On the provider's thread.
    void Changed()
    {
        std::lock_guard<std::mutex> hold(lock);
        if (context) QMetaObject::invokeMethod(context, notify, Qt::QueuedConnection);
    }
};
using NotifierPtr = std::shared_ptr<Notifier>;

// The device monitor's watch, started and stopped on the listing's lane only. A started
// provider lists what it showed at its start and what it told of since, so where one tells of
// nothing the monitor stays stopped and every listing probes afresh: false then, and the
// cameras are looked at once a second instead.
std::atomic<bool> g_watching{false};  // the monitor was started

bool StartWatch(const NotifierPtr& notifier)
{
    GstDeviceMonitor* monitor = VideoDeviceMonitor();
    bool eventless = false;
    gchar** names = gst_device_monitor_get_providers(monitor);
    for (gchar** name = names; name && *name; ++name) {
        GstDeviceProvider* provider = gst_device_provider_factory_get_by_name(*name);
        if (!provider) continue;
        eventless = eventless || !gst_device_provider_can_monitor(provider);
        gst_object_unref(provider);
    }
    g_strfreev(names);
    if (eventless) return false;
    // The devices a start shows tell nothing: the listing after the start has them.
    g_watching = gst_device_monitor_start(monitor);
    SetDeviceChangeHook([notifier] { notifier->Changed(); });
    return true;
}

void StopWatch()
{
    if (g_watching.exchange(false)) gst_device_monitor_stop(VideoDeviceMonitor());
    SetDeviceChangeHook(nullptr);
}

}  // namespace

struct CCameraStarter::Pending {
    CWorker::TaskPtr task;
    Result result;       // written by the job, read after it (its task's end orders the two)
    bool taken = false;  // user-interface thread: TakeWhenDone or the delivery had it
};

// The starter's own state, on the user-interface thread unless said otherwise. Jobs and
// deliveries hold it weakly: once the starter goes, a late delivery finds nothing.
struct CCameraStarter::Core : std::enable_shared_from_this<Core> {
    CWorker* worker = nullptr;
    QPointer<QObject> context;
    Handlers handlers;
    SourceListing newest;  // the newest listing, with its files
    unsigned asked = 0;
    int waiting = 0;  // listings asked for and not yet delivered
    std::shared_ptr<std::atomic<unsigned>> made = std::make_shared<std::atomic<unsigned>>(0);
    bool watching = false;
    bool eventless = false;
    QTimer look;
    NotifierPtr notifier = std::make_shared<Notifier>();

    // On any thread: a fresh listing of the devices and the files, counted.
    static SourceListing List(std::atomic<unsigned>& made)
    {
        SourceListing fresh = ListSources();
        ++made;
        return fresh;
    }

    void ListLater()
    {
        if (waiting >= 2) return;  // one runs, one waits behind it: that one sees any change
        const unsigned number = ++asked;
        ++waiting;
        auto fresh = std::make_shared<SourceListing>();
        CWorker::Job job;
        job.name = "camera listing";
        job.work = [fresh, made = made] { *fresh = List(*made); };
        job.context = context.data();
        job.skipAtExit = true;
        job.done = [self = weak_from_this(), fresh, number] {
            auto core = self.lock();
            if (!core) return;
            --core->waiting;
            core->newest = *fresh;
            if (core->handlers.listed) core->handlers.listed(core->newest.names, number);
        };
        if (worker->Post(kListLane, std::move(job))->Refused()) --waiting;
    }

    void UpdateLook()
    {
        if (watching && eventless) {
            if (!look.isActive()) look.start(kLookPeriodMs);
        } else {
            look.stop();
        }
    }

    PendingPtr Post(const std::string& name, int position, std::function<void(Result&)> work)
    {
        auto pending = std::make_shared<Pending>();
        CWorker::Job job;
        job.name = "camera start";
        job.work = [pending, work] { work(pending->result); };
        job.late = [pending] { pending->result.capture.reset(); };
        job.timeout = kStartBound;
        job.skipAtExit = true;
        job.context = context.data();
        job.done = [self = weak_from_this(), pending] {
            if (pending->taken) return;
            pending->taken = true;
            auto core = self.lock();
            if (core && core->handlers.started) core->handlers.started(pending->result);
        };
        pending->task = worker->Post(CameraLane(name, position), std::move(job));
        return pending;
    }
};

CCameraStarter::CCameraStarter(CWorker& worker, QObject* context, Handlers handlers)
    : m_core(std::make_shared<Core>())
{
    m_core->worker = &worker;
    m_core->context = context;
    m_core->handlers = std::move(handlers);
    QObject::connect(&m_core->look, &QTimer::timeout, [core = m_core.get()] { core->ListLater(); });
    std::lock_guard<std::mutex> hold(m_core->notifier->lock);
    m_core->notifier->context = context;
    m_core->notifier->notify = [self = std::weak_ptr<Core>(m_core)] {
        if (auto core = self.lock()) core->ListLater();
    };
}

CCameraStarter::~CCameraStarter()
{
    {
        std::lock_guard<std::mutex> hold(m_core->notifier->lock);
        m_core->notifier->context = nullptr;
    }
    SetWatching(false);
}

bool CCameraStarter::ListNow(std::vector<std::string>& names, int timeoutMs)
{
    SourceListing listing;
    const bool listed = ListNow(listing, timeoutMs);
    names = std::move(listing.names);
    return listed;
}

bool CCameraStarter::ListNow(SourceListing& listing, int timeoutMs)
{
    auto fresh = std::make_shared<SourceListing>();
    CWorker::Job job;
    job.name = "camera listing";
    job.work = [fresh, made = m_core->made] { *fresh = Core::List(*made); };
    job.timeout = std::chrono::milliseconds(timeoutMs);
    job.skipAtExit = true;
    const bool listed = m_core->worker->Post(kListLane, std::move(job))->Wait();
    if (listed) m_core->newest = *fresh;
    listing = m_core->newest;
    return listed;
}

const SourceListing& CCameraStarter::Newest() const { return m_core->newest; }

void CCameraStarter::ListLater() { m_core->ListLater(); }

unsigned CCameraStarter::ListingsAsked() const { return m_core->asked; }

unsigned CCameraStarter::ListingsMade() const { return *m_core->made; }

void CCameraStarter::SetWatching(bool watching)
{
    Core& core = *m_core;
    if (core.watching == watching) return;
    core.watching = watching;
    CWorker::Job job;
    if (watching) {
        job.name = "camera monitor start";
        auto eventless = std::make_shared<bool>(false);
        job.work = [notifier = core.notifier, eventless] { *eventless = !StartWatch(notifier); };
        job.skipAtExit = true;
        job.context = core.context.data();
        job.done = [self = std::weak_ptr<Core>(m_core), eventless] {
            auto live = self.lock();
            if (!live || !live->watching) return;
            live->eventless = *eventless;
            live->UpdateLook();
            live->ListLater();  // what came or went before the monitor ran
        };
    } else {
        job.name = "camera monitor stop";
        job.work = [] { StopWatch(); };
        core.eventless = false;
    }
    core.worker->Post(kListLane, std::move(job));
    core.UpdateLook();
}

bool CCameraStarter::LooksEverySecond() const { return m_core->look.isActive(); }

CCameraStarter::PendingPtr CCameraStarter::Start(int slot, unsigned ticket, const std::string& name,
                                                 int position)
{
    return m_core->Post(name, position,
                        [slot, ticket, name, position, made = m_core->made](Result& result) {
                            const std::vector<std::string> fresh = Core::List(*made).names;
                            result.slot = slot;
                            result.ticket = ticket;
                            result.position = name.empty() ? position : PositionOfName(fresh, name);
                            if (result.position <= 0) return;
                            result.name = RememberedName(fresh, result.position);
                            auto capture = std::make_unique<CVideoCapture>(result.position);
                            if (capture->BuildGraph(false, nullptr))
                                result.capture = std::move(capture);
                        });
}

CCameraStarter::PendingPtr CCameraStarter::StartFile(int slot, unsigned ticket,
                                                     const std::string& path, int position,
                                                     int width, int height)
{
    return m_core->Post("file:" + path, position, [=](Result& result) {
        result.slot = slot;
        result.ticket = ticket;
        result.position = position;
        auto capture = std::make_unique<CVideoCapture>(0);
        capture->SetFile(path);
        capture->SetStillSize(width, height);
        if (capture->BuildGraph(false, nullptr)) result.capture = std::move(capture);
    });
}

CCameraStarter::PendingPtr CCameraStarter::Open(int slot, unsigned ticket, const std::string& name,
                                                int position)
{
    return m_core->Post(name, position, [slot, ticket, name, position](Result& result) {
        result.slot = slot;
        result.ticket = ticket;
        result.position = position;
        result.name = name;
        auto capture = std::make_unique<CVideoCapture>(position);
        if (capture->OpenSource()) result.capture = std::move(capture);
    });
}

CCameraStarter::PendingPtr CCameraStarter::Run(int slot, unsigned ticket, const std::string& name,
                                               int position, std::unique_ptr<CVideoCapture> opened)
{
    auto capture = std::make_shared<std::unique_ptr<CVideoCapture>>(std::move(opened));
    return m_core->Post(name, position, [slot, ticket, name, position, capture](Result& result) {
        result.slot = slot;
        result.ticket = ticket;
        result.position = position;
        result.name = name;
        if (*capture && (*capture)->StartGraph()) result.capture = std::move(*capture);
        capture->reset();  // one that would not start stops here, off the window's thread
    });
}

bool CCameraStarter::TakeWhenDone(const PendingPtr& pending, Clock::time_point deadline,
                                  Result& result)
{
    const bool ran = pending->task->Wait(deadline);
    pending->taken = true;
    if (ran) result = std::move(pending->result);
    return ran;
}

void CCameraStarter::Dispose(const std::string& name, int position,
                             std::unique_ptr<CVideoCapture> old)
{
    if (!old) return;
    auto capture = std::make_shared<std::unique_ptr<CVideoCapture>>(std::move(old));
    CWorker::Job job;
    job.name = "camera release";
    job.work = [capture] { capture->reset(); };
    // A device lane that hangs in an open refuses it: the release then goes on a lane of its
    // own, so that a pipeline slow to stop never holds the window.
    const std::string lane = CameraLane(name, position);
    if (m_core->worker->Post(lane, job)->Refused()) {
        m_core->worker->Post(lane + " release", std::move(job));
    }
}
