// The calls a MIDI input driver offers the program, as small as the input needs: device
// count and names, open with a receiver, buffers for system-exclusive data, start, reset
// and close. Results are 0 for success and a driver error code otherwise. The real driver
// sits on RtMidi; tests bring drivers of their own that can fail any call on purpose.
#ifndef KOVRA_MIDI_MIDIDRIVER_H
#define KOVRA_MIDI_MIDIDRIVER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr int MIDI_NOERROR = 0;
// An open whose back end did not answer in time: neither opened nor refused, and worth
// trying again once that back end is free.
constexpr int MIDI_LATE = 12;

// One buffer for system-exclusive data. While queued it belongs to the driver, which fills
// it and hands it back through the receiver.
struct MidiHeader {
    uint8_t* data = nullptr;
    uint32_t bufferLength = 0;
    uint32_t bytesRecorded = 0;
    uint32_t flags = 0;  // the driver's own (prepared, queued, done)
};

using MidiHandle = void*;

// Where an open device delivers. The driver calls these on the user-interface thread only
// (it carries the input over from its reader's thread itself), in the order of the input,
// and also from within Reset and Close, for what came before them.
class MidiReceiver {
public:
    // One whole short message, packed: status byte lowest, then the two data bytes.
    virtual void PostShortMessage(uint32_t message) = 0;
    // A system-exclusive buffer given back, filled or (after a reset) not.
    virtual void PostLongData(MidiHeader* header) = 0;

protected:
    ~MidiReceiver() = default;
};

class MidiDriver {
public:
    virtual ~MidiDriver() = default;
    virtual unsigned GetNumDevs() = 0;
    // The device's display name; "" for an id that has none.
    virtual std::string GetDeviceName(unsigned id) = 0;
    virtual int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) = 0;
    virtual int PrepareHeader(MidiHandle handle, MidiHeader* header) = 0;
    virtual int AddBuffer(MidiHandle handle, MidiHeader* header) = 0;
    virtual int Start(MidiHandle handle) = 0;
    // Stops input and gives every queued buffer back.
    virtual int Reset(MidiHandle handle) = 0;
    virtual int UnprepareHeader(MidiHandle handle, MidiHeader* header) = 0;
    virtual int Close(MidiHandle handle) = 0;

    // The back ends whose calls may wait for good, each apart from the others: the bounded
    // driver gives each a lane of its own. A driver with one back end has one.
    virtual std::vector<std::string> Backends() { return {"midi"}; }
    // The back end of a device, by its display name.
    virtual std::string BackendOf(const std::string& name)
    {
        (void)name;
        return Backends().front();
    }
    // Lists one back end's ports afresh and gives their display names, in id order; the
    // full listing is GetNumDevs'. May wait as long as that back end does.
    virtual std::vector<std::string> ListBackend(const std::string& backend)
    {
        (void)backend;
        std::vector<std::string> names;
        const unsigned n = GetNumDevs();
        for (unsigned id = 0; id < n; ++id) names.push_back(GetDeviceName(id));
        return names;
    }
    // Opens the device of that display name in the latest listing of its back end.
    virtual int OpenNamed(MidiHandle* handle, const std::string& name, MidiReceiver* receiver)
    {
        const unsigned n = GetNumDevs();
        for (unsigned id = 0; id < n; ++id) {
            if (GetDeviceName(id) == name) return Open(handle, id, receiver);
        }
        return 2;  // a bad device id
    }
    // A close in three parts, for a back end that may hang in it. Detach: user-interface
    // thread, input stopped and buffers given back, nothing reaches the receiver afterwards.
    // Disconnect: any one thread, the back end's part, which may wait. Release: user-interface
    // thread, what is left of the device goes. A driver that cannot hang closes in Detach.
    virtual int Detach(MidiHandle handle) { return Close(handle); }
    virtual int Disconnect(MidiHandle handle)
    {
        (void)handle;
        return MIDI_NOERROR;
    }
    virtual void Release(MidiHandle handle) { (void)handle; }
    // Whether an open device's back end let it go (its server went): it reads nothing more,
    // though a port of its name may be listed again.
    virtual bool Lost(MidiHandle handle)
    {
        (void)handle;
        return false;
    }
    // The output side of an open device, where its client has one (feedback to the
    // controller): whether it was opened with the device, and one short message (1 to 3
    // bytes) sent to it; false when it was dropped. Send never waits unless SendWaits says so
    // for the device's back end (the bounded driver then sends on that back end's lane).
    virtual bool HasOutput(MidiHandle handle)
    {
        (void)handle;
        return false;
    }
    virtual bool Send(MidiHandle handle, const uint8_t* bytes, std::size_t size)
    {
        (void)handle, (void)bytes, (void)size;
        return false;
    }
    virtual bool SendWaits(const std::string& backend)
    {
        (void)backend;
        return true;
    }

    // What a back end lets go of before the driver goes, on that back end's thread.
    virtual void ReleaseBackend(const std::string& backend) { (void)backend; }

    // Descriptors, one per back end that tells of ports coming and going (or of its server
    // going), readable from then until that back end's next listing.
    struct Notice {
        std::string backend;
        int fd;
    };
    virtual std::vector<Notice> Notices() { return {}; }
    // Whether every back end tells of its changes by itself just now; without, a caller that
    // waits for a device looks again now and then.
    virtual bool Announces() { return false; }

    // The calls that never make the caller wait. A driver whose calls cannot hang answers
    // at once; the bounded driver answers on the user-interface thread through the event
    // loop. ListLater may answer more than once (as each back end answers); the names are
    // the whole listing in id order each time.
    using Listed = std::function<void(const std::vector<std::string>& names)>;
    virtual void ListLater(Listed done)
    {
        std::vector<std::string> names;
        const unsigned n = GetNumDevs();
        for (unsigned id = 0; id < n; ++id) names.push_back(GetDeviceName(id));
        done(names);
    }
    using Opened = std::function<void(int result, MidiHandle handle)>;
    virtual void OpenLater(unsigned id, MidiReceiver* receiver, Opened done)
    {
        MidiHandle handle = nullptr;
        const int result = Open(&handle, id, receiver);
        done(result, result == MIDI_NOERROR ? handle : nullptr);
    }
    // Calls `changed` on the user-interface thread when a notice comes (see Notices).
    // Watch(nullptr): the caller goes, and nothing more is delivered to it (the watch,
    // listings and an open on their way).
    virtual void Watch(std::function<void()> changed) { (void)changed; }
    // For a device already reset: a close that need not make the caller wait for the back
    // end; the device may go a moment after the call.
    virtual int CloseLater(MidiHandle handle) { return Close(handle); }
};

#endif
