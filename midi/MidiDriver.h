// The calls a MIDI input driver offers the program, as small as the input needs: device
// count and names, open with a receiver, buffers for system-exclusive data, start, reset
// and close. Results are 0 for success and a driver error code otherwise. The real driver
// sits on RtMidi; tests bring drivers of their own that can fail any call on purpose.
#ifndef KOVRA_MIDI_MIDIDRIVER_H
#define KOVRA_MIDI_MIDIDRIVER_H

#include <cstdint>
#include <string>
#include <vector>

constexpr int MIDI_NOERROR = 0;

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

    // A listing that never makes the caller wait: true, with the display names in id order,
    // when one is at hand; false while one is still on its way. A driver whose listing
    // cannot hang lists at once.
    virtual bool PollDeviceNames(std::vector<std::string>& names)
    {
        names.clear();
        const unsigned n = GetNumDevs();
        for (unsigned id = 0; id < n; ++id) names.push_back(GetDeviceName(id));
        return true;
    }
    // An open that never makes the caller wait: kOpenPending while it is on its way, and
    // its result on a later call. A driver whose open cannot hang opens at once.
    static constexpr int kOpenPending = -1;
    virtual int PollOpen(MidiHandle* handle, unsigned id, MidiReceiver* receiver)
    {
        return Open(handle, id, receiver);
    }
    // For a device already reset: a close that need not make the caller wait for the back
    // end; the device may go a moment after the call.
    virtual int CloseLater(MidiHandle handle) { return Close(handle); }
};

#endif
