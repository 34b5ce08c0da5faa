// The MIDI session; see MidiSession.h.
#include "MidiSession.h"

#include <utility>

#include "ControlMessage.h"
#include "DefaultMap.h"
#include "IniFile.h"
#include "MappingFile.h"
#include "MidiMessage.h"
#include "MidiPortNames.h"

namespace {

// The MIDI message classes the input accepts: notes, Control Change, Program Change.
constexpr unsigned kMidiFilter = 13;
// How soon a device awaited is looked for again where the driver cannot tell of it.
constexpr int kLookAgainMs = 1000;

}  // namespace

CMidiSession::CMidiSession(MidiPerformance& performance) : m_performance(performance)
{
    m_nMidiFilter = kMidiFilter;
    m_midiIn.SetFilterSource(&m_nMidiFilter);
    m_midiIn.SetDeviceIdSource(&m_nMidiDevice);
    m_look.setSingleShot(true);
    m_look.callOnTimeout([this] { Look(); });
}

CMidiSession::~CMidiSession() { SetDriver(nullptr); }

void CMidiSession::SetDriver(MidiDriver* driver)
{
    if (MidiDriver* old = m_midiIn.Driver()) old->Watch(nullptr);
    m_midiIn.SetDriver(driver);
}

void CMidiSession::SetReporter(std::function<void(int message)> report)
{
    m_midiIn.SetReporter(std::move(report));
}

void CMidiSession::SetSettingsPath(std::string path)
{
    m_settingsPath = std::move(path);
    m_bMapStale = true;
}

void CMidiSession::LoadName(const std::string* name, bool hasDevice)
{
    // A DEVICE without NAME comes from a file of before the names: its id counts in the
    // listing of then, which put ALSA's loopback ports first.
    m_strMidiName = name ? *name : std::string();
    m_bMidiOldOrder = !name && hasDevice;
    m_nMidiRemembered = m_nMidiDevice;
    m_bMidiAbsent = false;
}

void CMidiSession::Begin()
{
    OpenInput();
    m_bWatching = true;
    if (MidiDriver* driver = m_midiIn.Driver()) driver->Watch([this] { Look(); });
    ArmLook();
}

void CMidiSession::Finish()
{
    m_bWatching = false;
    m_look.stop();
    if (MidiDriver* driver = m_midiIn.Driver()) driver->Watch(nullptr);
    CloseInput();
}

void CMidiSession::BeginDialog()
{
    // Stopped and closed around the dialog, so that a new choice takes effect at once.
    m_bWatching = false;
    m_look.stop();
    CloseInput();
}

void CMidiSession::EndDialog()
{
    OpenInput();
    m_bWatching = true;
    ArmLook();
}

bool CMidiSession::BeginLearn(int device, std::function<void(uint32_t message)> take)
{
    CloseInput();
    // The input opens the id it points at: the dialog's choice for the list's while, the
    // setting itself left to the dialog's OK.
    const int kept = std::exchange(m_nMidiDevice, device);
    const bool opened = m_midiIn.Open(this);
    m_nMidiDevice = kept;
    if (!opened) return false;
    m_learnTake = std::move(take);
    m_midiIn.Start();
    return true;
}

void CMidiSession::EndLearn()
{
    // What the stop's reset still hands over goes to Learn too, never to the picture.
    CloseInput();
    m_learnTake = nullptr;
}

bool CMidiSession::InRange(unsigned n) const
{
    // An id equal to the count reaches the open, which fails and says so.
    return n != 0 && static_cast<unsigned>(m_nMidiDevice) <= n;
}

bool CMidiSession::Resolve(const std::vector<std::string>& names)
{
    if (m_bMidiOldOrder && !names.empty()) {
        // Once: the id of before becomes the same device's id now, and its name is kept.
        m_bMidiOldOrder = false;
        if (m_nMidiDevice >= 0) {
            m_nMidiDevice = static_cast<int>(IdFromOldOrder(names, m_nMidiDevice));
        }
        m_strMidiName = StoredPortName(names, static_cast<unsigned>(m_nMidiDevice));
        m_nMidiRemembered = m_nMidiDevice;
    }
    if (m_strMidiName.empty()) return true;  // no name stored: the position counts
    const int found = FindStoredPortName(names, m_strMidiName);
    m_bMidiAbsent = found < 0;
    if (m_bMidiAbsent) {
        m_nMidiDevice = 0;  // as after any failed open; the remembered position is kept
        return false;
    }
    m_nMidiDevice = m_nMidiRemembered = found;
    return true;
}

void CMidiSession::OpenInput(const std::vector<std::string>* listing)
{
    CloseInput();
    std::vector<std::string> names;
    if (listing) {
        names = *listing;
    } else {
        const unsigned n = m_midiIn.GetNumDevs();
        for (unsigned id = 0; id < n; ++id) names.push_back(m_midiIn.GetDeviceName(id));
    }
    if (!Resolve(names) || !InRange(static_cast<unsigned>(names.size()))) return;
    const bool named = !m_strMidiName.empty();
    const bool opened = m_midiIn.Open(this);
    // A slow moment of its back end must not cost the controller, nor must a refusal of the
    // device remembered by name and listed: the watch tries it again.
    m_bMidiAgain = !opened && (m_midiIn.OpenWasLate() || named);
    if (!named && (opened || m_bMidiAgain)) {
        // Opened by its position (or about to be): remembered by its name from now on.
        m_strMidiName = StoredPortName(names, static_cast<unsigned>(m_nMidiDevice));
        m_nMidiRemembered = m_nMidiDevice;
    }
    if (!opened) return;
    m_midiIn.Start();
    // Its mapping file read now, which may have changed since, not on its first message.
    m_bMapStale = true;
    RefreshMap();
    SendWholeState();
}

void CMidiSession::CloseInput()
{
    // Whatever is open, whatever the device count says now: a device left open would go on
    // writing into the buffers that the next start replaces.
    m_bMidiOpening = false;  // an open on its way is given up by the driver's next call
    m_bMidiAgain = false;
    m_bLookOwed = false;
    if (!m_midiIn.IsOpen()) return;
    m_midiIn.Stop();
    m_midiIn.Close();
}

void CMidiSession::Look()
{
    // Nothing open and nothing awaited: nothing is listed at all.
    if (!m_bWatching || m_strMidiName.empty()) return;
    if (m_bMidiOpening) {
        // The notice is spent (its back end listens again only after a listing): the look
        // is made once the open has answered, which may have opened on a server that went.
        m_bLookOwed = true;
        return;
    }
    if (!m_midiIn.IsOpen() && !m_bMidiAbsent && !m_bMidiAgain) return;
    m_bListing = true;
    m_midiIn.ListLater([this](const std::vector<std::string>& names) { OnListed(names); });
    ArmLook();  // also when no answer comes (a back end still on an earlier listing)
}

void CMidiSession::OnListed(const std::vector<std::string>& names)
{
    m_bListing = false;
    if (!m_bWatching || m_strMidiName.empty()) return;
    const bool present = FindStoredPortName(names, m_strMidiName) >= 0;
    // A device whose server went is let go of even when a new server lists its name again,
    // and then opened again at once.
    const bool lost = m_midiIn.IsOpen() && m_midiIn.IsLost();
    if (m_midiIn.IsOpen() && (!present || lost)) Unplugged();
    if (lost) {
        // Its back end lists its ports again only once it is let go of, which the close
        // just queued does before the next look: no notice need come for that.
        m_look.start(0);
        return;
    }
    if (!m_midiIn.IsOpen() && !m_bMidiOpening && (m_bMidiAbsent || m_bMidiAgain) && present &&
        Resolve(names)) {
        StartLater();
    }
    ArmLook();
}

void CMidiSession::ArmLook()
{
    const MidiDriver* driver = m_midiIn.Driver();
    const bool awaited = m_bWatching && m_bMidiAbsent && !m_strMidiName.empty();
    // A listing that overran its bound never answers, and the notice that asked for it is
    // spent: a look that got no answer is asked again, whatever is open or awaited. So is an
    // open that got none, or a refusal: its back end announces nothing that would ask again.
    const bool unanswered = m_bWatching && (m_bListing || m_bMidiAgain);
    if (driver && ((awaited && !m_midiIn.Driver()->Announces()) || unanswered)) {
        if (!m_look.isActive()) m_look.start(kLookAgainMs);
    } else {
        m_look.stop();
    }
}

void CMidiSession::StartLater()
{
    // The open runs in the background, so the frame loop goes on meanwhile. One tried again
    // again after a late or refused one is not reported again: that one was.
    m_bMidiOpening = true;
    const bool again = m_bMidiAgain;
    m_midiIn.OpenLater(
        this,
        [this](bool opened) {
            if (!m_bMidiOpening) {  // given up meanwhile (the dialog, the end)
                if (opened) m_midiIn.CloseLater();
                return;
            }
            m_bMidiOpening = false;
            m_bMidiAgain = !opened;  // the device of the name: late or refused, tried again
            if (opened) m_midiIn.Start();
            m_bMapStale = true;
            RefreshMap();
            SendWholeState();
            if (std::exchange(m_bLookOwed, false)) Look();
            ArmLook();
        },
        again);
}

void CMidiSession::Unplugged()
{
    // Nothing more comes from it to let go of what it held: its notes are released here,
    // and the record flag if one of its black keys set it (Shift's stays).
    for (int camera = 0; camera < 2; ++camera) {
        for (int key = 0; key < 8; ++key) {
            if (!m_bMidiHeld[camera][key]) continue;
            m_bMidiHeld[camera][key] = false;
            m_performance.FrameKey(camera, key, false);
        }
    }
    if (m_bMidiRecord) m_performance.SetRecord(false, ChangeSource::Midi);
    m_bMidiRecord = false;
    // Its client goes in the background: closing a JACK client takes the server's time.
    m_midiIn.Stop();
    m_midiIn.CloseLater();
    m_bMidiAbsent = true;
    m_nMidiDevice = 0;
}

void CMidiSession::RefreshMap()
{
    // Compared in place: a message's way allocates nothing once the map is built.
    if (!m_bMapStale && m_mapSource.channel == m_nMidiChannel &&
        m_mapSource.ctrl1 == m_nMidiCtrl1 && m_mapSource.ctrl2 == m_nMidiCtrl2 &&
        m_mapSource.name == m_strMidiName)
        return;
    m_bMapStale = false;
    m_mapSource = {m_nMidiChannel, m_nMidiCtrl1, m_nMidiCtrl2, m_strMidiName};
    Bindings defaults = DefaultBindings(m_nMidiChannel, m_nMidiCtrl1, m_nMidiCtrl2);
    if (m_settingsPath.empty() || m_strMidiName.empty()) {
        m_map.SetBindings(std::move(defaults));
        return;
    }
    m_map.SetBindings(ReadMappingFile(MappingFilePath(m_settingsPath, m_strMidiName), defaults));
}

void CMidiSession::OnData(uint32_t message)
{
    if (!m_midiIn.IsStarted()) return;  // posted before a stop
    if (m_learnTake) {
        m_learnTake(message);
        return;
    }
    if (ClassifyMidiMessage(message, m_midiIn.FilterSource()) == 0) return;
    ControlMessage control;
    if (!ControlMessageFromShort(message, control)) return;
    RefreshMap();
    const bool record = m_performance.Record();
    Interpret(control, message);
    // A held STORE set or cleared it.
    if (m_performance.Record() != record) m_bMidiRecord = m_performance.Record();
}

void CMidiSession::Interpret(const ControlMessage& control, uint32_t message)
{
    m_bInterpreting = KeyOf(control, m_echo.key);
    m_echo.message = message & 0xFFFFFF;
    m_map.Interpret(control, m_player);
    m_bInterpreting = false;
}

void CMidiSession::SendFeedback(Action action, int value)
{
    // The Learn list's device is heard by the list alone, and the map is not its own.
    if (m_learnTake || !m_midiIn.IsStarted() || !m_midiIn.HasOutput()) return;
    m_feedback.clear();
    AppendFeedback(m_map.GetBindings(), action, value, m_bInterpreting ? &m_echo : nullptr,
                   m_feedback);
    SendQueued();
}

void CMidiSession::SendWholeState()
{
    if (m_learnTake || !m_valueOf || !m_midiIn.IsStarted() || !m_midiIn.HasOutput()) return;
    m_feedback.clear();
    AppendWholeState(m_map.GetBindings(), m_valueOf, m_feedback);
    SendQueued();
}

void CMidiSession::SendQueued()
{
    for (uint32_t message : m_feedback) m_midiIn.Send(message);
}

void CMidiSession::OnLongData(MidiHeader* header)
{
    // After a stop these are the buffers its reset gave back, already released. With system
    // exclusive not accepted, a filled buffer stays with us until the next stop.
    if (!m_midiIn.IsStarted() || !m_midiIn.IsSysExEnabled()) return;
    m_midiIn.RequeueBuffer(header);
}

void CMidiSession::PerformanceTarget::SetEffect(int value)
{
    m_performance.SetEffect(value, ChangeSource::Midi);
}

void CMidiSession::PerformanceTarget::SetCtrl(int ctrl, int value)
{
    if (ctrl == 1) m_performance.SetCtrl1(value, ChangeSource::Midi);
    if (ctrl == 2) m_performance.SetCtrl2(value, ChangeSource::Midi);
}

void CMidiSession::PerformanceTarget::Memory(int camera, int key, bool pressed)
{
    m_performance.FrameKey(camera, key, pressed);
}

void CMidiSession::PerformanceTarget::Store(bool pressed)
{
    m_performance.SetRecord(pressed, ChangeSource::Midi);
}

ControlTarget& CMidiSession::Player::Target()
{
    return m_session.m_target ? *m_session.m_target : m_session.m_performanceTarget;
}

void CMidiSession::Player::Memory(int camera, int key, bool pressed)
{
    if (camera >= 0 && camera < 2 && key >= 0 && key < 8) {
        m_session.m_bMidiHeld[camera][key] = pressed;
    }
    Target().Memory(camera, key, pressed);
}

void CMidiSession::ExchangeSettings(IniProfile& profile, bool load)
{
    struct Setting {
        const char* key;
        int* value;
    };
    const Setting settings[] = {{"DEVICE", &m_nMidiDevice},
                                {"CH", &m_nMidiChannel},
                                {"CTRL1", &m_nMidiCtrl1},
                                {"CTRL2", &m_nMidiCtrl2}};
    if (load) {
        for (const Setting& s : settings) *s.value = profile.GetInt("MIDI", s.key, 0);
        std::string name, device;
        const bool hasName = profile.GetString("MIDI", "NAME", name);
        LoadName(hasName ? &name : nullptr, profile.GetString("MIDI", "DEVICE", device));
        return;
    }
    for (const Setting& s : settings) profile.Set("MIDI", s.key, std::to_string(*s.value));
    // While the remembered device is absent, its position goes back as it was read.
    if (m_bMidiAbsent) profile.Set("MIDI", "DEVICE", std::to_string(m_nMidiRemembered));
    if (!m_strMidiName.empty()) profile.Set("MIDI", "NAME", m_strMidiName);
}
