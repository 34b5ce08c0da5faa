// The one MIDI input device: opened with the main window as its receiver, 32 buffers of
// system-exclusive data queued while it runs, started, stopped and closed. Every failing
// driver call is reported by its message number (the string table's text).
#ifndef KOVRA_MIDI_MIDIIN_H
#define KOVRA_MIDI_MIDIIN_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MidiDriver.h"
#include "Resources.h"

constexpr int MIDI_BUFFER_COUNT = 32;
constexpr int MIDI_BUFFER_SIZE = 256;

// User-interface thread only: opened, started, stopped and closed by the MIDI session. What
// the device delivers reaches the session through its MidiReceiver, on that thread too.
class CMidiIn {
public:
    CMidiIn() = default;
    // Does not close the device: the session stops and closes it when it goes.
    virtual ~CMidiIn();
    CMidiIn(const CMidiIn&) = delete;
    CMidiIn& operator=(const CMidiIn&) = delete;

    // The driver behind every call, and how a failure is shown (a message box).
    void SetDriver(MidiDriver* driver) { m_pDriver = driver; }
    void SetReporter(std::function<void(int message)> report) { m_report = std::move(report); }

    void SetDeviceIdSource(const int* id) { m_pDeviceId = id; }
    void SetFilterSource(const unsigned* filter) { m_pFilter = filter; }

    bool Open(MidiReceiver* window);
    // The open of the hotplug, which never waits (see MidiDriver::OpenLater): `done` learns
    // whether it opened, on the user-interface thread; a failure is reported as Open's is,
    // unless `quiet` (an open tried again after one that was late, which was reported).
    void OpenLater(MidiReceiver* window, std::function<void(bool opened)> done, bool quiet = false);
    // Whether the last open failed only because its back end did not answer in time.
    bool OpenWasLate() const { return m_bOpenLate; }
    int Start();
    bool AddBuffers();
    void Stop();
    bool ReleaseBuffers();
    bool Close();
    // After Stop: the close of a device whose port has gone, which need not wait for it.
    bool CloseLater();
    bool RequeueBuffer(MidiHeader* header);

    bool IsStarted() const { return m_bStarted != 0; }
    bool IsOpen() const { return m_hDevice != nullptr; }
    // The open device's back end let it go (see MidiDriver::Lost).
    bool IsLost() const { return m_hDevice && m_pDriver && m_pDriver->Lost(m_hDevice); }
    int ClassifyMessage(uint32_t message) const;
    bool IsSysExEnabled() const;
    // The device's output side (see MidiDriver::HasOutput), and one short message to it,
    // packed as the input delivers them; false when dropped. Never waits.
    bool HasOutput() const { return m_hDevice && m_pDriver && m_pDriver->HasOutput(m_hDevice); }
    bool Send(uint32_t message);
    // The filter word the classification reads (null: every class passes).
    const unsigned* FilterSource() const { return m_pFilter; }
    // Device count from the driver (0 without one), and a device's display name.
    unsigned GetNumDevs() const;
    std::string GetDeviceName(unsigned id) const;
    // The driver's listing that never waits (see MidiDriver::ListLater); nothing without a
    // driver.
    void ListLater(MidiDriver::Listed done) const;
    MidiDriver* Driver() const { return m_pDriver; }

    // The buffers, for tests and the driver's hand-back.
    const std::array<MidiHeader, MIDI_BUFFER_COUNT>& Headers() const { return m_headers; }

private:
    void Report(int message) const;

    MidiHandle m_hDevice = nullptr;
    const int* m_pDeviceId = nullptr;
    std::array<MidiHeader, MIDI_BUFFER_COUNT> m_headers{};
    int m_bStarted = 0;
    bool m_bOpenLate = false;
    const unsigned* m_pFilter = nullptr;
    MidiDriver* m_pDriver = nullptr;
    std::function<void(int)> m_report;
};

#endif
