// The MIDI input device; see MidiIn.h.
#include "MidiIn.h"

#include <new>

#include "MidiMessage.h"

CMidiIn::~CMidiIn()
{
    // Blocks still held (a stop that never came, an unprepare that failed) go with us.
    for (MidiHeader& header : m_headers) delete[] header.data;
}

void CMidiIn::Report(int message) const
{
    if (m_report) m_report(message);
}

unsigned CMidiIn::GetNumDevs() const { return m_pDriver ? m_pDriver->GetNumDevs() : 0; }

std::string CMidiIn::GetDeviceName(unsigned id) const
{
    return m_pDriver ? m_pDriver->GetDeviceName(id) : std::string();
}

void CMidiIn::ListLater(MidiDriver::Listed done) const
{
    if (m_pDriver) m_pDriver->ListLater(std::move(done));
}

bool CMidiIn::Open(MidiReceiver* window)
{
    const unsigned id = m_pDeviceId ? static_cast<unsigned>(*m_pDeviceId) : 0;
    const int result = m_pDriver ? m_pDriver->Open(&m_hDevice, id, window) : -1;  // no driver
    m_bOpenLate = result == MIDI_LATE;
    if (result != MIDI_NOERROR) {
        m_hDevice = nullptr;
        Report(IDS_MIDI_OPEN_ERROR);
        return false;
    }
    return true;
}

void CMidiIn::OpenLater(MidiReceiver* window, std::function<void(bool opened)> done, bool quiet)
{
    const unsigned id = m_pDeviceId ? static_cast<unsigned>(*m_pDeviceId) : 0;
    m_hDevice = nullptr;
    m_bOpenLate = false;
    if (!m_pDriver) {
        if (!quiet) Report(IDS_MIDI_OPEN_ERROR);
        done(false);
        return;
    }
    m_pDriver->OpenLater(id, window, [this, done, quiet](int result, MidiHandle handle) {
        m_bOpenLate = result == MIDI_LATE;
        if (result != MIDI_NOERROR) {
            if (!quiet) Report(IDS_MIDI_OPEN_ERROR);
            done(false);
            return;
        }
        m_hDevice = handle;
        done(true);
    });
}

int CMidiIn::Start()
{
    if (!m_hDevice) return 0;
    m_bStarted = 1;
    AddBuffers();  // fewer buffers only limit system-exclusive data
    return m_pDriver->Start(m_hDevice);
}

bool CMidiIn::AddBuffers()
{
    for (MidiHeader& header : m_headers) {
        delete[] header.data;  // a block kept by a failed unprepare
        header = MidiHeader();
        header.data = new (std::nothrow) uint8_t[MIDI_BUFFER_SIZE]();
        if (!header.data) return false;
        header.bufferLength = MIDI_BUFFER_SIZE;
        if (m_pDriver->PrepareHeader(m_hDevice, &header) != MIDI_NOERROR) {
            Report(IDS_MIDI_PREPARE_ERROR);
            return false;
        }
        if (m_pDriver->AddBuffer(m_hDevice, &header) != MIDI_NOERROR) {
            Report(IDS_MIDI_BUFFER_ERROR);
            return false;
        }
    }
    return true;
}

void CMidiIn::Stop()
{
    if (!m_hDevice) return;
    m_bStarted = 0;
    m_pDriver->Reset(m_hDevice);
    ReleaseBuffers();
}

bool CMidiIn::ReleaseBuffers()
{
    bool failed = false;
    for (MidiHeader& header : m_headers) {
        if (m_pDriver->UnprepareHeader(m_hDevice, &header) == MIDI_NOERROR) {
            delete[] header.data;
            header.data = nullptr;
        } else {
            failed = true;  // the block stays: the driver may still write to it
        }
    }
    if (failed) Report(IDS_MIDI_UNPREPARE_ERROR);
    return !failed;
}

bool CMidiIn::Close()
{
    if (!m_hDevice) return true;
    const int result = m_pDriver->Close(m_hDevice);
    m_hDevice = nullptr;
    if (result != MIDI_NOERROR) {
        Report(IDS_MIDI_CLOSE_ERROR);
        return false;
    }
    return true;
}

bool CMidiIn::CloseLater()
{
    if (!m_hDevice) return true;
    const int result = m_pDriver->CloseLater(m_hDevice);
    m_hDevice = nullptr;
    if (result != MIDI_NOERROR) {
        Report(IDS_MIDI_CLOSE_ERROR);
        return false;
    }
    return true;
}

bool CMidiIn::RequeueBuffer(MidiHeader* header)
{
    if (m_pDriver->UnprepareHeader(m_hDevice, header) != MIDI_NOERROR) {
        Report(IDS_MIDI_UNPREPARE_ERROR);
        return false;
    }
    if (m_pDriver->PrepareHeader(m_hDevice, header) != MIDI_NOERROR) {
        Report(IDS_MIDI_PREPARE_ERROR);
        return false;
    }
    if (m_pDriver->AddBuffer(m_hDevice, header) != MIDI_NOERROR) {
        Report(IDS_MIDI_BUFFER_ERROR);
        return false;
    }
    return true;
}

int CMidiIn::ClassifyMessage(uint32_t message) const
{
    return ClassifyMidiMessage(message, m_pFilter);
}

bool CMidiIn::IsSysExEnabled() const { return !m_pFilter || (*m_pFilter & MIDI_FILTER_SYSEX); }

bool CMidiIn::Send(uint32_t message)
{
    if (!m_hDevice || !m_pDriver) return false;
    const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                              static_cast<uint8_t>(message >> 16)};
    const int status = bytes[0] >> 4;
    return m_pDriver->Send(m_hDevice, bytes, status == 0xC || status == 0xD ? 2 : 3);
}
