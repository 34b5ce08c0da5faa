// The cameras' worker: lists the cameras and starts them on a thread of its own, so that
// neither a driver that hangs nor the wait for a camera's first frame holds up the frame loop.
// The user-interface thread asks, and takes the answers when it comes by.
#ifndef KOVRA_CAPTURE_CAMERASTARTER_H
#define KOVRA_CAPTURE_CAMERASTARTER_H

#include <memory>
#include <string>
#include <vector>

#include "VideoCapture.h"

class CCameraStarter {
public:
    // A finished start: the running camera (empty when it is not listed or would not start),
    // its position in the listing the start used, and the name it is remembered under.
    struct Result {
        int slot = 0;
        unsigned ticket = 0;
        std::unique_ptr<CVideoCapture> capture;
        int position = 0;
        std::string name;
    };

    CCameraStarter();
    // Asks the worker to end and waits a short while for it; a worker stuck in a driver is
    // left behind, so that it cannot hold up the exit.
    ~CCameraStarter();
    CCameraStarter(const CCameraStarter&) = delete;
    CCameraStarter& operator=(const CCameraStarter&) = delete;

    // The newest listing (names in position order) and its number, which grows with every
    // listing; 0 before the first. Does not wait for the worker.
    unsigned Listing(std::vector<std::string>& names) const;
    // The newest listing's number alone: cheap, so the frame loop may ask every tick.
    unsigned Generation() const;
    // Asks for a listing now and waits at most timeoutMs for it: false when none came (the
    // names are then the newest the worker had, maybe none).
    bool ListNow(std::vector<std::string>& names, int timeoutMs);
    // While set, the worker lists the cameras about twice a second, so that one that is
    // plugged in is seen.
    void SetWatching(bool watching);

    // Queues a start for `slot`: `old` (may be empty) is stopped and freed first, then the
    // device remembered as `name` (or, with no name, the one at `position`) is started.
    void Start(int slot, unsigned ticket, const std::string& name, int position,
               std::unique_ptr<CVideoCapture> old);
    // Queues the stop and release of a camera that is no longer shown.
    void Dispose(std::unique_ptr<CVideoCapture> old);
    // Takes one finished start; false when none is waiting. Does not wait for the worker.
    bool TakeResult(Result& result);

    // For tests and benchmarks: the worker's listing period in milliseconds.
    static constexpr int kWatchPeriodMs = 500;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

#endif
