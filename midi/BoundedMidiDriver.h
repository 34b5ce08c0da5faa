// The MIDI driver as the program uses it: the calls that may wait on a back end for good
// (listing, opening and closing: a JACK client's open waits as long as libjack's metadata
// store is locked, its close as long as a stopped server) run as jobs of the worker, on a
// lane per back end, and the caller waits for them at most a bound or not at all. A back end
// that does not answer in time counts as having no ports, and the others play on.
#ifndef KOVRA_MIDI_BOUNDEDMIDIDRIVER_H
#define KOVRA_MIDI_BOUNDEDMIDIDRIVER_H

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "MidiDriver.h"
#include "Worker.h"

class QSocketNotifier;

// User-interface thread only. Each job holds a share of the driver below: one that never
// returns keeps it alive on its lane (at exit too), and its back end is asked again only
// once it has returned (the worker refuses a hung lane's jobs at once).
class CBoundedMidiDriver : public MidiDriver {
public:
    CBoundedMidiDriver(CWorker& worker, std::shared_ptr<MidiDriver> driver,
                       std::chrono::milliseconds bound = std::chrono::seconds(2));
    // Lets each back end go on its lane, waiting at most the bound in all.
    ~CBoundedMidiDriver() override;
    CBoundedMidiDriver(const CBoundedMidiDriver&) = delete;
    CBoundedMidiDriver& operator=(const CBoundedMidiDriver&) = delete;

    // Every back end listed on its lane at once, waited for at most the bound in all; one
    // late or hung counts as no ports.
    unsigned GetNumDevs() override;
    // From the last listing this driver handed out (GetNumDevs or ListLater).
    std::string GetDeviceName(unsigned id) override;
    // Opens the device of that listing, found again by its stored name in a fresh listing
    // of its back end; MIDI_LATE when late or its lane is still hung (an open that succeeds
    // afterwards is closed again).
    int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override;
    int PrepareHeader(MidiHandle handle, MidiHeader* header) override;
    int AddBuffer(MidiHandle handle, MidiHeader* header) override;
    int Start(MidiHandle handle) override;
    int Reset(MidiHandle handle) override;
    int UnprepareHeader(MidiHandle handle, MidiHeader* header) override;
    // Detached here; the back end's part on its lane, waited for at most the bound.
    int Close(MidiHandle handle) override;
    // Each back end listed on its lane; `done` gets the whole listing as each answers (one
    // refused as hung counts as no ports). A back end whose listing is still on its way is
    // listed once more after it.
    void ListLater(Listed done) override;
    // The open of Open in the background (MIDI_LATE when its lane is hung); given up (and
    // closed again once it returns) when another listing or open begins, or when this driver
    // goes.
    void OpenLater(unsigned id, MidiReceiver* receiver, Opened done) override;
    // Close's back end part in the background, bounded like the rest.
    int CloseLater(MidiHandle handle) override;
    // Watches the driver's notices on this thread's event loop.
    void Watch(std::function<void()> changed) override;
    // Also false while a notice waits for its back end's listing, and while a back end's
    // last listing did not answer in time: one that overran never hands its names over, and
    // the caller then looks again by itself.
    bool Announces() override;
    bool Lost(MidiHandle handle) override { return m_driver->Lost(handle); }
    bool HasOutput(MidiHandle handle) override { return m_driver->HasOutput(handle); }
    // Straight to the driver below where its Send never waits; otherwise queued (at most
    // kOutQueue messages a device, beyond that dropped and counted) and sent on the device's
    // lane, behind that lane's earlier jobs and before its close.
    bool Send(MidiHandle handle, const uint8_t* bytes, std::size_t size) override;
    bool SendWaits(const std::string&) override { return false; }
    // Messages a full output queue or a hung lane dropped, since this driver began.
    uint64_t OutputDropped() const { return m_outDropped; }
    static constexpr std::size_t kOutQueue = 256;

    static constexpr int kBadDeviceId = 2;
    static constexpr int kNoDriver = 6;

private:
    struct Lane {
        CWorker::TaskPtr listing;  // the background listing on its way
        bool again = false;        // a change came meanwhile
        bool unanswered = false;   // its last listing was late or refused: names unknown
        std::vector<std::string> names;
        std::vector<QSocketNotifier*> notices;
    };
    void List(const std::string& backend);
    // The lanes' latest names as one listing, in id order.
    void Combine();
    void AbandonOpening();
    CWorker::Job MakeOpen(const std::string& backend, unsigned id, MidiReceiver* receiver,
                          std::shared_ptr<struct OpenResult> result);
    // The back end's part of a close, on the device's lane (left in m_closeLane).
    CWorker::Job CloseJob(MidiHandle handle);

    CWorker& m_worker;
    std::shared_ptr<MidiDriver> m_driver;
    std::chrono::milliseconds m_bound;
    std::vector<std::string> m_backends;
    std::map<std::string, Lane> m_lanes;
    std::map<MidiHandle, std::string> m_open;                       // each open device's back end
    std::map<MidiHandle, std::shared_ptr<struct OutQueue>> m_outs;  // queued feedback
    uint64_t m_outDropped = 0;
    std::vector<std::string> m_names;
    Listed m_listed;
    std::function<void()> m_changed;
    CWorker::TaskPtr m_opening;         // the background open, until it is handed over
    std::shared_ptr<int> m_openTicket;  // gone once that open is given up
    std::string m_closeLane;
    bool m_bWatching = false;  // the notifiers are made
    QObject m_context;         // deliveries that come after this driver went are dropped
};

#endif
