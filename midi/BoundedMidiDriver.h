// The MIDI driver as the program uses it: the calls that may wait on a back end for good
// (listing and opening: a JACK client's open waits as long as libjack's metadata store is
// locked) run on a thread of their own, and the caller waits for them at most a bound. A
// back end that does not answer in time counts as having no ports, and the program plays on.
#ifndef KOVRA_MIDI_BOUNDEDMIDIDRIVER_H
#define KOVRA_MIDI_BOUNDEDMIDIDRIVER_H

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "MidiDriver.h"

// User-interface thread only. One listing or open runs at a time, each on a new thread that
// holds a share of the driver below: a call that never returns is left behind with it (at
// exit too), and the next listing is tried only once that call has returned.
class CBoundedMidiDriver : public MidiDriver {
public:
    explicit CBoundedMidiDriver(std::shared_ptr<MidiDriver> driver,
                                std::chrono::milliseconds bound = std::chrono::seconds(2));
    ~CBoundedMidiDriver() override;
    CBoundedMidiDriver(const CBoundedMidiDriver&) = delete;
    CBoundedMidiDriver& operator=(const CBoundedMidiDriver&) = delete;

    // 0 when the listing is late, or while a late call has not returned.
    unsigned GetNumDevs() override;
    // From the last listing this driver handed out (GetNumDevs or PollDeviceNames).
    std::string GetDeviceName(unsigned id) override;
    // Opens the device of that listing, found again by its stored name in a fresh listing
    // below; kNoDriver when late (an open that succeeds afterwards is closed again).
    int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override;
    int PrepareHeader(MidiHandle handle, MidiHeader* header) override;
    int AddBuffer(MidiHandle handle, MidiHeader* header) override;
    int Start(MidiHandle handle) override;
    int Reset(MidiHandle handle) override;
    int UnprepareHeader(MidiHandle handle, MidiHeader* header) override;
    int Close(MidiHandle handle) override;
    // Starts a listing in the background when none runs; true, with its names, once one
    // started so has finished.
    bool PollDeviceNames(std::vector<std::string>& names) override;
    // The open of Open, begun in the background; an open still on its way when another
    // listing or open begins, or when this driver goes, is closed again once it returns.
    int PollOpen(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override;
    // Closes on a thread of its own. At its end this driver waits for that close, and for
    // its share of the driver below to go, each at most the bound.
    int CloseLater(MidiHandle handle) override;

    static constexpr int kBadDeviceId = 2;
    static constexpr int kNoDriver = 6;

    struct Call;

private:
    // Runs the call on a new thread; Begin makes it the one call in flight.
    void Launch(const std::shared_ptr<Call>& call);
    std::shared_ptr<Call> Begin(std::shared_ptr<Call> call);
    std::shared_ptr<Call> MakeOpen(unsigned id, MidiReceiver* receiver);
    // Gives up the open begun by PollOpen, if its result was never taken.
    void AbandonOpening();
    // Whether a new call may begin before `deadline`: one on its way is waited for, one
    // that outlasted a bound already is not.
    bool Ready(std::chrono::steady_clock::time_point deadline);
    // Waits for the call until `deadline`; a call still running then is abandoned.
    bool Finish(const std::shared_ptr<Call>& call, std::chrono::steady_clock::time_point deadline);

    std::shared_ptr<MidiDriver> m_driver;
    std::chrono::milliseconds m_bound;
    std::shared_ptr<Call> m_current;  // the last call begun
    std::shared_ptr<Call> m_poll;     // the background listing, until its names are taken
    std::shared_ptr<Call> m_opening;  // the background open, until its result is taken
    std::shared_ptr<Call> m_closing;  // the last close in the background
    bool m_bLate = false;             // m_current outlasted a bound
    std::vector<std::string> m_names;
};

#endif
