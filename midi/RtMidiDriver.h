// The MIDI input driver of the running program, on RtMidi: the ALSA sequencer's readable
// ports of other programs first (where the sequencer exists), then JACK's MIDI output ports
// (where a JACK server runs), then ALSA's "Midi Through" ports, each a device id in that order.
#ifndef KOVRA_MIDI_RTMIDIDRIVER_H
#define KOVRA_MIDI_RTMIDIDRIVER_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MidiDriver.h"

class CAlsaAnnounce;
class CJackPortList;

class CRtMidiDriver : public MidiDriver {
public:
    CRtMidiDriver();
    ~CRtMidiDriver() override;
    CRtMidiDriver(const CRtMidiDriver&) = delete;
    CRtMidiDriver& operator=(const CRtMidiDriver&) = delete;

    // Lists the ports afresh; names and opens refer to the latest list (the port is found
    // again by its name when it opens). Listing and opening may run on a thread of their own
    // (see CBoundedMidiDriver), one call at a time; the other calls run on the user-interface
    // thread, and so do the receiver's: each device reads on a thread of its own and hands its
    // input over through a CMidiDelivery (see MidiDelivery.h). Reset waits for that thread.
    unsigned GetNumDevs() override;
    std::string GetDeviceName(unsigned id) override;
    int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override;
    int PrepareHeader(MidiHandle handle, MidiHeader* header) override;
    int AddBuffer(MidiHandle handle, MidiHeader* header) override;
    int Start(MidiHandle handle) override;
    int Reset(MidiHandle handle) override;
    int UnprepareHeader(MidiHandle handle, MidiHeader* header) override;
    int Close(MidiHandle handle) override;

    // Result codes, after the platform's own.
    static constexpr int kBadDeviceId = 2;
    static constexpr int kInvalidHandle = 5;
    static constexpr int kNoDriver = 6;
    static constexpr int kNoMemory = 7;  // more buffers queued than the driver holds
    static constexpr int kInvalidParam = 11;
    static constexpr int kUnprepared = 64;
    static constexpr int kStillPlaying = 65;

    // Header flags.
    static constexpr uint32_t kDone = 0x1;
    static constexpr uint32_t kPrepared = 0x2;
    static constexpr uint32_t kInQueue = 0x4;

    // One device id: a port of one back end, under RtMidi's name for it.
    struct Port {
        int api = 0;
        std::string rawName;  // as RtMidi names it
        std::string name;     // with the back end before it: "ALSA: ...", "JACK: ..."
    };
    class Device;

    // Short messages handed to receivers and dropped for a full ring, since the driver began.
    struct Counts {
        uint64_t delivered = 0;
        uint64_t dropped = 0;
    };
    Counts DeliveryCounts();

private:
    Device* Find(MidiHandle handle);
    // Touches nothing of the open devices, so it may run beside their calls.
    std::vector<Port> ListPorts();
    unsigned GetDeviceCountListed();

    // The listing's own, used by one listing at a time: ALSA's ports as last listed, the
    // announce port that tells when to list them again, and JACK's listing client.
    std::unique_ptr<CAlsaAnnounce> m_alsaWatch;
    std::unique_ptr<CJackPortList> m_jackPorts;
    std::vector<Port> m_alsaPorts;
    bool m_bAlsaListed = false;

    std::mutex m_mutex;  // the list and the set of open devices
    std::vector<Port> m_ports;
    std::vector<std::unique_ptr<Device>> m_devices;

    // User-interface thread only: closed devices whose delivery is still on the stack, and
    // the counts of every closed device.
    void Retire(std::unique_ptr<Device> device);
    std::vector<std::unique_ptr<Device>> m_retired;
    Counts m_counts;
};

#endif
