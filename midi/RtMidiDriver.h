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
    // again by its name when it opens). Each back end's listing, open and disconnect may run
    // on a thread of its own (see CBoundedMidiDriver), one call per back end at a time; the
    // other calls run on the user-interface thread, and so do the receiver's: each device
    // reads on a thread of its own and hands its input over through a CMidiDelivery (see
    // MidiDelivery.h). Reset waits for that thread.
    unsigned GetNumDevs() override;
    std::string GetDeviceName(unsigned id) override;
    int Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver) override;
    int PrepareHeader(MidiHandle handle, MidiHeader* header) override;
    int AddBuffer(MidiHandle handle, MidiHeader* header) override;
    int Start(MidiHandle handle) override;
    int Reset(MidiHandle handle) override;
    int UnprepareHeader(MidiHandle handle, MidiHeader* header) override;
    int Close(MidiHandle handle) override;

    // "alsa" and "jack": ALSA's ports on one lane, JACK's on another.
    std::vector<std::string> Backends() override;
    std::string BackendOf(const std::string& name) override;
    std::vector<std::string> ListBackend(const std::string& backend) override;
    int OpenNamed(MidiHandle* handle, const std::string& name, MidiReceiver* receiver) override;
    int Detach(MidiHandle handle) override;
    int Disconnect(MidiHandle handle) override;
    void Release(MidiHandle handle) override;
    void ReleaseBackend(const std::string& backend) override;
    bool Lost(MidiHandle handle) override;
    // The output side: JACK's output port of the device's own client, connected to the
    // sending client's MIDI input (a push into its queue, drained in the process callback:
    // never waits); ALSA's writable port of the same client (the sequencer's write, which may
    // wait: the bounded driver sends it on the ALSA lane).
    bool HasOutput(MidiHandle handle) override;
    bool Send(MidiHandle handle, const uint8_t* bytes, std::size_t size) override;
    bool SendWaits(const std::string& backend) override;
    // ALSA's announce port, and JACK's port registrations and server shutdowns.
    std::vector<Notice> Notices() override;
    bool Announces() override;

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
    std::vector<Port> ListAlsa();
    std::vector<Port> ListJack();
    unsigned GetDeviceCountListed();
    // The full list from both back ends' latest parts, under m_mutex.
    void Combine();
    int OpenPort(const Port& port, MidiHandle* handle, MidiReceiver* receiver);

    // The listing's own, each used by its back end's lane alone: the announce port that
    // tells when to list ALSA again, and JACK's listing client.
    std::unique_ptr<CAlsaAnnounce> m_alsaWatch;
    std::unique_ptr<CJackPortList> m_jackPorts;
    bool m_bAlsaListed = false;

    std::mutex m_mutex;  // everything below
    std::vector<Port> m_alsaPorts;
    std::vector<Port> m_jackPortList;
    std::vector<Port> m_ports;
    std::vector<std::unique_ptr<Device>> m_devices;
    // Detached devices whose back end's part is still to go.
    std::vector<std::unique_ptr<Device>> m_closing;
    // Closed devices whose delivery is still on the user-interface thread's stack, and the
    // counts of every closed device, under the lock: a late open is closed on its back end's
    // thread (it was never started, so no delivery of it is on any stack).
    void Retire(std::unique_ptr<Device> device);
    std::vector<std::unique_ptr<Device>> m_retired;
    Counts m_counts;
};

#endif
