// The cameras' jobs on the worker and GStreamer's device monitor; see CameraStarter.h.
#include "CameraStarter.h"

#include <gst/gst.h>

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <mutex>

#include "CaptureSetup.h"
#include "DeviceList.h"
#include "DeviceNames.h"
#include "GstHandles.h"
#include "Worker.h"

namespace {

constexpr const char* kListLane = "camera list";

std::string CameraLane(const std::string& name, int position)
{
    return "camera:" + (name.empty() ? "#" + std::to_string(position) : name);
}

// Where the device monitor's bus tells of a change: the user-interface thread's `notify`,
// through the event loop, while `context` is set (the starter clears it when it goes).
struct Notifier {
    std::mutex lock;
    QObject* context = nullptr;
    std::function<void()> notify;
};
using NotifierPtr = std::shared_ptr<Notifier>;

// On whichever thread the provider posts from. Every message is dropped, and so freed here.
GstBusSyncReply OnMonitorMessage(GstBus*, GstMessage* message, gpointer data)
{
    MessagePtr dropped(message);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_DEVICE_ADDED && type != GST_MESSAGE_DEVICE_REMOVED &&
        type != GST_MESSAGE_DEVICE_CHANGED)
        return GST_BUS_DROP;
    Notifier& notifier = **static_cast<NotifierPtr*>(data);
    std::lock_guard<std::mutex> hold(notifier.lock);
    if (notifier.context)
        QMetaObject::invokeMethod(notifier.context, notifier.notify, Qt::QueuedConnection);
    return GST_BUS_DROP;
}

void FreeNotifier(gpointer data) { delete static_cast<NotifierPtr*>(data); }

// The running device monitor: made, started, stopped and freed on the listing's lane only.
struct Watch {
    MonitorPtr monitor;
    BusPtr bus;

    // True when some provider of the monitor tells of no changes.
    bool Start(const NotifierPtr& notifier)
    {
        InitCapture();
        monitor.reset(gst_device_monitor_new());
        gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
        bus.reset(gst_device_monitor_get_bus(monitor.get()));
        gst_bus_set_sync_handler(bus.get(), OnMonitorMessage, new NotifierPtr(notifier),
                                 FreeNotifier);
        gst_device_monitor_start(monitor.get());
        bool eventless = false;
        gchar** names = gst_device_monitor_get_providers(monitor.get());
        for (gchar** name = names; name && *name; ++name) {
            GstDeviceProvider* provider = gst_device_provider_factory_get_by_name(*name);
            if (!provider) continue;
            eventless = eventless || !gst_device_provider_can_monitor(provider);
            gst_object_unref(provider);
        }
        g_strfreev(names);
        return eventless;
    }

    void Stop()
    {
        if (!monitor) return;
        gst_device_monitor_stop(monitor.get());
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        bus.reset();
        monitor.reset();
    }
};

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
    std::vector<std::string> names;  // the newest listing
    unsigned asked = 0;
    int waiting = 0;  // listings asked for and not yet delivered
    std::shared_ptr<std::atomic<unsigned>> made = std::make_shared<std::atomic<unsigned>>(0);
    bool watching = false;
    bool eventless = false;
    QTimer look;
    NotifierPtr notifier = std::make_shared<Notifier>();
    std::shared_ptr<Watch> watch = std::make_shared<Watch>();

    // On any thread: a fresh listing, counted.
    static std::vector<std::string> List(std::atomic<unsigned>& made)
    {
        std::vector<std::string> fresh = VideoDeviceNames();
        ++made;
        return fresh;
    }

    void ListLater()
    {
        if (waiting >= 2) return;  // one runs, one waits behind it: that one sees any change
        const unsigned number = ++asked;
        ++waiting;
        auto fresh = std::make_shared<std::vector<std::string>>();
        CWorker::Job job;
        job.name = "camera listing";
        job.work = [fresh, made = made] { *fresh = List(*made); };
        job.context = context.data();
        job.skipAtExit = true;
        job.done = [self = weak_from_this(), fresh, number] {
            auto core = self.lock();
            if (!core) return;
            --core->waiting;
            core->names = *fresh;
            if (core->handlers.listed) core->handlers.listed(core->names, number);
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
    auto fresh = std::make_shared<std::vector<std::string>>();
    CWorker::Job job;
    job.name = "camera listing";
    job.work = [fresh, made = m_core->made] { *fresh = Core::List(*made); };
    job.timeout = std::chrono::milliseconds(timeoutMs);
    job.skipAtExit = true;
    const bool listed = m_core->worker->Post(kListLane, std::move(job))->Wait();
    if (listed) m_core->names = *fresh;
    names = m_core->names;
    return listed;
}

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
        job.work = [watch = core.watch, notifier = core.notifier, eventless] {
            *eventless = watch->Start(notifier);
        };
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
        job.work = [watch = core.watch] { watch->Stop(); };
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
                            const std::vector<std::string> fresh = Core::List(*made);
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
    m_core->worker->Post(CameraLane(name, position), std::move(job));
}
