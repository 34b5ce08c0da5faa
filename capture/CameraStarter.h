// The cameras' work beside the window: listings (devices and clip files), starts (with the wait for
// the first frame), stops and releases run as jobs on the window's worker, one lane per camera
// device and one for the listing and the device monitor. Finished starts and listings come back to
// the user-interface thread through the event loop; a menu command may wait for its own start.
#ifndef KOVRA_CAPTURE_CAMERASTARTER_H
#define KOVRA_CAPTURE_CAMERASTARTER_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VideoCapture.h"

class CWorker;
class QObject;
struct SourceListing;

class CCameraStarter {
public:
    using Clock = std::chrono::steady_clock;

    // A finished start: the running camera (empty when it is not listed or would not start),
    // its position in the listing the start used, and the name it is remembered under.
    struct Result {
        int slot = 0;
        unsigned ticket = 0;
        std::unique_ptr<CVideoCapture> capture;
        int position = 0;
        std::string name;
    };
    // What comes back to the window, on the user-interface thread. `listed` carries the
    // listing's number (see ListingsAsked).
    struct Handlers {
        std::function<void(Result&)> started;
        std::function<void(const std::vector<std::string>&, unsigned)> listed;
    };
    // A start on its way.
    struct Pending;
    using PendingPtr = std::shared_ptr<Pending>;

    // Deliveries go to `context` (the window), which must outlive nothing of this object's.
    CCameraStarter(CWorker& worker, QObject* context, Handlers handlers);
    // Stops the device monitor on the worker; starts still on their way are released there.
    ~CCameraStarter();
    CCameraStarter(const CCameraStarter&) = delete;
    CCameraStarter& operator=(const CCameraStarter&) = delete;

    // Lists now and waits at most timeoutMs; false when no listing came (the names are then
    // the newest known, maybe none).
    bool ListNow(std::vector<std::string>& names, int timeoutMs);
    // The same with each entry's file (see SourceList.h).
    bool ListNow(SourceListing& listing, int timeoutMs);
    // The newest listing known, with its files; empty before the first.
    const SourceListing& Newest() const;
    // Asks for a listing, which comes to `listed`. At most one waits behind a running one.
    void ListLater();
    // Listings asked for so far: a delivered one of this number or less began before now.
    unsigned ListingsAsked() const;
    // Listings made so far (for tests: none while nothing is awaited).
    unsigned ListingsMade() const;

    // While set, GStreamer's device monitor watches the cameras: a camera added or removed
    // brings a listing. Where a provider tells of no changes, the cameras are looked at once
    // a second instead. Unset, nothing is listed.
    void SetWatching(bool watching);
    // Whether the once-a-second look runs (a provider without events, while watching).
    bool LooksEverySecond() const;

    // Starts, for `slot` on its camera's lane, the device remembered as `name` where a fresh
    // listing shows it now (with no name, the one at `position`). The result comes to
    // `started` unless TakeWhenDone takes it first.
    PendingPtr Start(int slot, unsigned ticket, const std::string& name, int position);
    // Plays the file at `path`, listed at `position`, on a lane of its own, a still decoded at
    // `width` x `height`; the result comes to `started` with no name.
    PendingPtr StartFile(int slot, unsigned ticket, const std::string& path, int position,
                         int width, int height);
    // Opens the device at `position` (its source only, for the format dialog) on its camera's
    // lane; TakeWhenDone gives the opened capture.
    PendingPtr Open(int slot, unsigned ticket, const std::string& name, int position);
    // Connects and runs a capture that Open opened (after its dialog), on its camera's lane.
    PendingPtr Run(int slot, unsigned ticket, const std::string& name, int position,
                   std::unique_ptr<CVideoCapture> opened);
    // Waits until `pending` has run or `deadline` has passed, and takes its result, which then
    // never reaches `started`. False when it had not run by then: it is given up, and what it
    // opens late is released on its lane.
    bool TakeWhenDone(const PendingPtr& pending, Clock::time_point deadline, Result& result);
    // Stops and releases a camera no longer shown, on the lane of the device `name` (with no
    // name, the one at `position`), behind that device's earlier jobs.
    void Dispose(const std::string& name, int position, std::unique_ptr<CVideoCapture> old);

    // How long a start may take on its lane before it counts as hung.
    static constexpr std::chrono::seconds kStartBound{12};
    // Where a provider tells of no changes: the look's period.
    static constexpr int kLookPeriodMs = 1000;

    struct Core;

private:
    std::shared_ptr<Core> m_core;
};

#endif
