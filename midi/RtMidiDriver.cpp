// The RtMidi driver; see RtMidiDriver.h. Input is read on a thread of its own (RtMidi's ALSA
// reader, or JACK's process thread) and reaches the receiver on the user-interface thread
// through each device's CMidiDelivery.
#include "RtMidiDriver.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <unistd.h>

#include <RtMidi.h>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <iostream>

#include "AlsaAnnounce.h"
#include "JackMidiInput.h"
#include "JackPorts.h"
#include "MidiDelivery.h"
#include "MidiPortNames.h"

namespace {

constexpr const char* kClientName = "Kovra";
constexpr const char* kPortName = "MIDI In";
constexpr const char* kOutPortName = "MIDI Out";
constexpr const char* kSequencerDevice = "/dev/snd/seq";

// What a device's name starts with, after its back end.
constexpr const char* kAlsaPrefix = "ALSA: ";
constexpr const char* kJackPrefix = "JACK: ";

bool Compiled(RtMidi::Api api)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// RtMidi's errors and warnings arrive here instead of on the terminal; `failed`, when
// given, learns of every error that is not a warning.
void OnRtMidiError(RtMidiError::Type type, const std::string&, void* failed)
{
    if (failed && type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
        *static_cast<bool*>(failed) = true;
    }
}

void SilentJack(const char*) {}
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

// A client of one back end, or null where that back end cannot run here (the ALSA back
// end throws where the sequencer device is missing). RtMidiIn, or RtMidiOut for the output
// side.
template <class Client = RtMidiIn>
std::unique_ptr<Client> MakeClient(RtMidi::Api api, bool* failed)
{
    if (!Compiled(api)) return nullptr;
    if (api == RtMidi::LINUX_ALSA && access(kSequencerDevice, R_OK | W_OK) != 0) return nullptr;
    // RtMidi writes its start-up failures to the standard error stream before our error
    // callback can be set; they only mean that this back end has no ports here.
    std::streambuf* terminal = std::cerr.rdbuf(nullptr);
    std::unique_ptr<Client> client;
    try {
        client = std::make_unique<Client>(api, kClientName);
        client->setErrorCallback(&OnRtMidiError, failed);
    } catch (const RtMidiError&) {
        client.reset();
    }
    std::cerr.rdbuf(terminal);
    return client;
}

}  // namespace

// One open port: the client that found it, the reader of its events (RtMidi's own for ALSA,
// ours for JACK) and the delivery that takes them to the user-interface thread.
class CRtMidiDriver::Device {
public:
    explicit Device(MidiReceiver* receiver) : m_delivery(receiver) {}

    // Starts reading port `index` of RtMidi's ALSA client.
    bool Connect(unsigned index)
    {
        if (!m_delivery.IsValid()) return false;
        m_client->ignoreTypes(false, true, true);
        m_client->setCallback(&Device::OnMessage, this);
        m_client->openPort(index, kPortName);
        return !m_bFailed && m_client->isPortOpen();
    }
    // Opens the writable port of the same ALSA client as `input` (RtMidi's name), if any: a
    // device that only sends plays on without feedback.
    void ConnectAlsaOutput(const std::string& input)
    {
        m_out = MakeClient<RtMidiOut>(RtMidi::LINUX_ALSA, &m_bOutFailed);
        if (!m_out) return;
        std::vector<std::string> outputs;
        for (unsigned i = 0, n = m_out->getPortCount(); i < n; ++i)
            outputs.push_back(m_out->getPortName(i));
        const int index = AlsaOutputOf(input, outputs);
        if (index >= 0) m_out->openPort(static_cast<unsigned>(index), kOutPortName);
        if (index < 0 || m_bOutFailed || !m_out->isPortOpen()) m_out.reset();
    }
    bool HasOutput() const { return m_out || (m_jack && m_jack->HasOutput()); }
    // JACK's: a push into its queue. ALSA's: the sequencer's write, on the ALSA lane.
    bool Send(const uint8_t* bytes, std::size_t size)
    {
        if (m_jack) return m_jack->Send(bytes, size);
        if (!m_out) return false;
        m_bOutFailed = false;
        m_out->sendMessage(bytes, size);
        return !m_bOutFailed;
    }
    // Starts reading the JACK port `source` ("client:port") through a client of our own.
    int ConnectJack(const std::string& source, int noticeFd)
    {
        if (!m_delivery.IsValid()) return kNoDriver;
        m_jack = std::make_unique<CJackMidiInput>(m_delivery, noticeFd);
        switch (m_jack->Open(kClientName, kPortName, source, kOutPortName)) {
            case CJackMidiInput::Result::kOpened:
                return MIDI_NOERROR;
            case CJackMidiInput::Result::kNoPort:
                return kBadDeviceId;
            default:
                return kNoDriver;
        }
    }
    // The readers go, which joins their threads.
    void Disconnect()
    {
        m_jack.reset();
        m_out.reset();
        m_client.reset();
    }
    // Its server went: told by the client's shutdown, or seen as a new server's socket.
    bool Lost(unsigned generation) const
    {
        return m_jack && (m_jack->Lost() || generation != m_generation);
    }

    // RtMidi's ALSA thread: one message, one batch.
    static void OnMessage(double, std::vector<unsigned char>* message, void* self)
    {
        CMidiDelivery& delivery = static_cast<Device*>(self)->m_delivery;
        if (!message || !delivery.BeginBatch()) return;
        delivery.Receive(message->data(), message->size());
        delivery.EndBatch();
    }

    int Prepare(MidiHeader* header) { return m_delivery.Prepare(header); }
    int Add(MidiHeader* header) { return m_delivery.Add(header); }
    int Unprepare(MidiHeader* header) { return m_delivery.Unprepare(header); }
    void SetStarted(bool started) { started ? m_delivery.Start() : m_delivery.Stop(); }

    // Declared first, so that it goes last, after the readers that feed it.
    CMidiDelivery m_delivery;
    std::unique_ptr<RtMidiIn> m_client;
    std::unique_ptr<CJackMidiInput> m_jack;
    std::unique_ptr<RtMidiOut> m_out;  // ALSA's output side
    RtMidi::Api m_api = RtMidi::UNSPECIFIED;
    bool m_bFailed = false;     // RtMidi reported an error while opening
    bool m_bOutFailed = false;  // ... or while opening or writing the output side
    unsigned m_generation = 0;  // of the JACK server it was opened on
};

CRtMidiDriver::CRtMidiDriver()
{
    // Both libraries print their connection failures (no sequencer device, no JACK
    // server); here those only mean that a back end offers no ports.
    jack_set_error_function(&SilentJack);
    jack_set_info_function(&SilentJack);
    snd_lib_error_set_handler(&SilentAlsa);
    // Made here, so that their notices can be watched from the start; neither waits.
    m_alsaWatch = std::make_unique<CAlsaAnnounce>();
    if (Compiled(RtMidi::UNIX_JACK)) m_jackPorts = std::make_unique<CJackPortList>();
}

CRtMidiDriver::~CRtMidiDriver()
{
    // A device left open would call back into a receiver that may be gone.
    while (!m_devices.empty()) Close(m_devices.back().get());
    m_closing.clear();
}

std::vector<std::string> CRtMidiDriver::Backends() { return {"alsa", "jack"}; }

std::string CRtMidiDriver::BackendOf(const std::string& name)
{
    return name.rfind(kJackPrefix, 0) == 0 ? "jack" : "alsa";
}

std::vector<CRtMidiDriver::Port> CRtMidiDriver::ListAlsa()
{
    // A client of its own, never an open device's. ALSA's ports are asked for again only
    // after its announce port told of a change.
    if (m_alsaWatch && m_alsaWatch->IsOpen() && !m_alsaWatch->Changed() && m_bAlsaListed) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_alsaPorts;
    }
    std::vector<Port> ports;
    m_bAlsaListed = m_alsaWatch && m_alsaWatch->IsOpen();
    if (std::unique_ptr<RtMidiIn> alsa = MakeClient(RtMidi::LINUX_ALSA, nullptr)) {
        const unsigned n = alsa->getPortCount();
        // The output sides of Kovra's devices are readable ports too, and no devices.
        const std::string ours = std::string(kClientName) + ":" + kOutPortName + " ";
        for (unsigned i = 0; i < n; ++i) {
            Port port;
            port.api = RtMidi::LINUX_ALSA;
            port.rawName = alsa->getPortName(i);
            if (port.rawName.rfind(ours, 0) == 0) continue;
            port.name = kAlsaPrefix + port.rawName;
            ports.push_back(std::move(port));
        }
    }
    // The probe's own coming and going, announced meanwhile, is no change. A port that
    // came in the moment after the probe listed is noticed with the next change.
    if (m_alsaWatch) m_alsaWatch->Changed();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_alsaPorts = ports;
    Combine();
    return ports;
}

std::vector<CRtMidiDriver::Port> CRtMidiDriver::ListJack()
{
    // JACK is asked only while its server answers on its socket (see CJackPortList).
    std::vector<Port> ports;
    // libjack keeps one connection per process: every client of a server that went must be
    // closed before a client of the next one is made, or their closes crash. Until then
    // JACK lists nothing, so the lost device is let go of (and closed on this lane).
    bool lost = false;
    // A restart since the last look counts before the inputs are asked whether they are lost:
    // otherwise a new watch client would join the old server's connection.
    if (m_jackPorts) m_jackPorts->TakeServerChanges();
    std::vector<std::string> ours;  // our devices' output ports, which are no devices
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto* list : {&m_devices, &m_closing}) {
            for (const std::unique_ptr<Device>& device : *list) {
                lost = lost || device->Lost(m_jackPorts ? m_jackPorts->Generation() : 0);
                if (device->m_jack) ours.push_back(device->m_jack->OutputName());
            }
        }
    }
    if (lost && m_jackPorts) m_jackPorts->Disconnect();
    if (m_jackPorts && !lost) {
        for (std::string& name : m_jackPorts->List()) {
            if (std::find(ours.begin(), ours.end(), name) != ours.end()) continue;
            Port port;
            port.api = RtMidi::UNIX_JACK;
            port.name = kJackPrefix + name;
            port.rawName = std::move(name);
            ports.push_back(std::move(port));
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jackPortList = ports;
    Combine();
    return ports;
}

void CRtMidiDriver::Combine()
{
    m_ports = m_alsaPorts;
    m_ports.insert(m_ports.end(), m_jackPortList.begin(), m_jackPortList.end());
    // The loopback ports last, so that device 0 is a controller wherever one is plugged in.
    std::stable_partition(m_ports.begin(), m_ports.end(),
                          [](const Port& port) { return !IsMidiThroughPort(port.name); });
}

std::vector<std::string> CRtMidiDriver::ListBackend(const std::string& backend)
{
    std::vector<std::string> names;
    for (const Port& port : backend == "jack" ? ListJack() : ListAlsa()) {
        names.push_back(port.name);
    }
    return names;
}

unsigned CRtMidiDriver::GetNumDevs()
{
    ListAlsa();
    ListJack();
    return GetDeviceCountListed();
}

unsigned CRtMidiDriver::GetDeviceCountListed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<unsigned>(m_ports.size());
}

std::string CRtMidiDriver::GetDeviceName(unsigned id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return id < m_ports.size() ? m_ports[id].name : std::string();
}

int CRtMidiDriver::Open(MidiHandle* handle, unsigned id, MidiReceiver* receiver)
{
    if (!handle || !receiver) return kInvalidParam;
    *handle = nullptr;
    // The callers count the devices just before they open one; only an id past that list
    // makes it worth listing again.
    if (id >= GetDeviceCountListed()) GetNumDevs();
    Port port;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (id >= m_ports.size()) return kBadDeviceId;
        port = m_ports[id];
    }
    return OpenPort(port, handle, receiver);
}

int CRtMidiDriver::OpenNamed(MidiHandle* handle, const std::string& name, MidiReceiver* receiver)
{
    if (!handle || !receiver) return kInvalidParam;
    *handle = nullptr;
    Port port;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_ports.begin(), m_ports.end(),
                               [&](const Port& p) { return p.name == name; });
        if (it == m_ports.end()) return kBadDeviceId;
        port = *it;
    }
    return OpenPort(port, handle, receiver);
}

int CRtMidiDriver::OpenPort(const Port& port, MidiHandle* handle, MidiReceiver* receiver)
{
    auto device = std::make_unique<Device>(receiver);
    device->m_api = static_cast<RtMidi::Api>(port.api);
    if (device->m_api == RtMidi::UNIX_JACK) {
        // The listing found the port by its name; the input's own client connects to it by
        // that name, so no client of RtMidi's is needed on this side.
        if (!m_jackPorts || !JackServerRuns()) return kNoDriver;
        device->m_generation = m_jackPorts->Generation();
        const int result = device->ConnectJack(port.rawName, m_jackPorts->NoticeFd());
        if (result != MIDI_NOERROR) return result;
    } else {
        device->m_client = MakeClient(device->m_api, &device->m_bFailed);
        if (!device->m_client) return kNoDriver;
        // The port is found again by its name: the ports may have moved since the listing.
        RtMidiIn& client = *device->m_client;
        const unsigned n = client.getPortCount();
        unsigned index = 0;
        while (index < n && client.getPortName(index) != port.rawName) ++index;
        if (index == n) return kBadDeviceId;
        if (!device->Connect(index)) return kNoDriver;
        // A loopback port would hand the feedback back to our own input, a toggle's included.
        if (!IsMidiThroughPort(port.name)) device->ConnectAlsaOutput(port.rawName);
    }
    *handle = device.get();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.push_back(std::move(device));
    return MIDI_NOERROR;
}

CRtMidiDriver::Device* CRtMidiDriver::Find(MidiHandle handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::unique_ptr<Device>& device : m_devices) {
        if (device.get() == handle) return device.get();
    }
    return nullptr;
}

int CRtMidiDriver::PrepareHeader(MidiHandle handle, MidiHeader* header)
{
    Device* device = Find(handle);
    if (!device) return kInvalidHandle;
    return header ? device->Prepare(header) : kInvalidParam;
}

int CRtMidiDriver::AddBuffer(MidiHandle handle, MidiHeader* header)
{
    Device* device = Find(handle);
    if (!device) return kInvalidHandle;
    return header ? device->Add(header) : kInvalidParam;
}

int CRtMidiDriver::Start(MidiHandle handle)
{
    Device* device = Find(handle);
    if (!device) return kInvalidHandle;
    device->SetStarted(true);
    return MIDI_NOERROR;
}

int CRtMidiDriver::Reset(MidiHandle handle)
{
    Device* device = Find(handle);
    if (!device) return kInvalidHandle;
    device->SetStarted(false);
    return MIDI_NOERROR;
}

int CRtMidiDriver::UnprepareHeader(MidiHandle handle, MidiHeader* header)
{
    Device* device = Find(handle);
    if (!device) return kInvalidHandle;
    return header ? device->Unprepare(header) : kInvalidParam;
}

int CRtMidiDriver::Close(MidiHandle handle)
{
    const int result = Detach(handle);
    if (result != MIDI_NOERROR) return result;
    Disconnect(handle);
    Release(handle);
    return MIDI_NOERROR;
}

namespace {

template <typename List>
std::unique_ptr<CRtMidiDriver::Device> Take(List& list, MidiHandle handle)
{
    auto it = std::find_if(list.begin(), list.end(),
                           [handle](const auto& d) { return d.get() == handle; });
    if (it == list.end()) return nullptr;
    std::unique_ptr<CRtMidiDriver::Device> device = std::move(*it);
    list.erase(it);
    return device;
}

}  // namespace

int CRtMidiDriver::Detach(MidiHandle handle)
{
    Device* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::unique_ptr<Device> taken = Take(m_devices, handle);
        if (!taken) return kInvalidHandle;
        device = taken.get();
        m_closing.push_back(std::move(taken));
    }
    // Buffers still queued go back first, as a reset gives them.
    device->SetStarted(false);
    return MIDI_NOERROR;
}

int CRtMidiDriver::Disconnect(MidiHandle handle)
{
    Device* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::unique_ptr<Device>& d : m_closing) {
            if (d.get() == handle) device = d.get();
        }
    }
    if (!device) return kInvalidHandle;
    // The readers go, which joins their threads (a JACK client's close waits on its server).
    if (device->Lost(m_jackPorts ? m_jackPorts->Generation() : 0)) device->m_jack->Abandon();
    device->Disconnect();
    return MIDI_NOERROR;
}

void CRtMidiDriver::Release(MidiHandle handle)
{
    std::unique_ptr<Device> device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        device = Take(m_closing, handle);
    }
    if (device) Retire(std::move(device));
}

bool CRtMidiDriver::HasOutput(MidiHandle handle)
{
    const Device* device = Find(handle);
    return device && device->HasOutput();
}

bool CRtMidiDriver::Send(MidiHandle handle, const uint8_t* bytes, std::size_t size)
{
    // An open device only: one being closed is on its lane, behind what is queued for it.
    Device* device = Find(handle);
    return device && bytes && device->Send(bytes, size);
}

bool CRtMidiDriver::SendWaits(const std::string& backend) { return backend != "jack"; }

bool CRtMidiDriver::Lost(MidiHandle handle)
{
    const Device* device = Find(handle);
    return device && device->Lost(m_jackPorts ? m_jackPorts->Generation() : 0);
}

void CRtMidiDriver::ReleaseBackend(const std::string& backend)
{
    // ALSA's announce client cannot hang; it goes with the driver.
    if (backend == "jack" && m_jackPorts) m_jackPorts->Disconnect();
}

std::vector<MidiDriver::Notice> CRtMidiDriver::Notices()
{
    std::vector<Notice> notices;
    if (m_alsaWatch && m_alsaWatch->IsOpen()) notices.push_back({"alsa", m_alsaWatch->Fd()});
    if (m_jackPorts && m_jackPorts->NoticeFd() >= 0) {
        notices.push_back({"jack", m_jackPorts->NoticeFd()});
    }
    if (m_jackPorts && m_jackPorts->ServerFd() >= 0) {
        notices.push_back({"jack", m_jackPorts->ServerFd()});
    }
    return notices;
}

bool CRtMidiDriver::Announces()
{
    // Where the sequencer exists its announce port is open. JACK tells only while the
    // listing's client is alive; without one, the server's socket tells only of a server that
    // comes. A running server without our client (one let go of while an input of the server
    // before it was still being released) must be looked at.
    const bool alsa = !m_alsaWatch || m_alsaWatch->IsOpen() || access(kSequencerDevice, F_OK) != 0;
    const bool jack =
        !m_jackPorts || m_jackPorts->Alive() || (m_jackPorts->ServerFd() >= 0 && !JackServerRuns());
    return alsa && jack;
}

void CRtMidiDriver::Retire(std::unique_ptr<Device> device)
{
    std::vector<std::unique_ptr<Device>> gone;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_counts.delivered += device->m_delivery.Delivered();
        m_counts.dropped += device->m_delivery.Dropped();
        // Draining is the user-interface thread's to read; elsewhere only a device that was
        // never started is closed.
        const QCoreApplication* app = QCoreApplication::instance();
        if (app && QThread::currentThread() != app->thread()) return;
        // A receiver's call inside a delivery can close the device: it goes once that returns.
        for (auto it = m_retired.begin(); it != m_retired.end();) {
            if ((*it)->m_delivery.Draining()) {
                ++it;
            } else {
                gone.push_back(std::move(*it));
                it = m_retired.erase(it);
            }
        }
        if (device->m_delivery.Draining()) m_retired.push_back(std::move(device));
    }
}

CRtMidiDriver::Counts CRtMidiDriver::DeliveryCounts()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Counts counts = m_counts;
    for (const std::unique_ptr<Device>& device : m_devices) {
        counts.delivered += device->m_delivery.Delivered();
        counts.dropped += device->m_delivery.Dropped();
    }
    return counts;
}
