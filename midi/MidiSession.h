// The MIDI session: the one input device, the settings it is chosen by (device, channel,
// controller numbers, filter), the device remembered by name, the watch that lets go of a
// controller unplugged and opens it again when it comes back, and the settings file's
// "MIDI" section. What the device plays acts through the control map: the default map of the
// section's channel and controller numbers, with the device's mapping file laid over it.
#ifndef KOVRA_MIDI_MIDISESSION_H
#define KOVRA_MIDI_MIDISESSION_H

#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ControlMap.h"
#include "ControlTarget.h"
#include "Feedback.h"
#include "MidiDriver.h"
#include "MidiIn.h"
#include "MidiPerformance.h"

class IniProfile;

// User-interface thread only: every call, every driver call it makes, and every delivery
// it receives (the driver hands them over on that thread).
class CMidiSession : public MidiReceiver {
public:
    explicit CMidiSession(MidiPerformance& performance);
    // Ends every delivery of the driver to it; the input is closed by Finish.
    ~CMidiSession();
    CMidiSession(const CMidiSession&) = delete;
    CMidiSession& operator=(const CMidiSession&) = delete;

    // The driver behind every call, and how a failure is shown.
    void SetDriver(MidiDriver* driver);
    void SetReporter(std::function<void(int message)> report);
    // What the device's messages act on (the window's); without one, the performance alone:
    // the effect, the controls, the frame memory and the record flag, with nothing to step
    // from or to toggle.
    void SetControlTarget(ControlTarget* target) { m_target = target; }
    // The settings file, beside which the controllers' mapping files lie; none without it.
    void SetSettingsPath(std::string path);
    const std::string& SettingsPath() const { return m_settingsPath; }
    CMidiIn& Input() { return m_midiIn; }
    const CMidiIn& Input() const { return m_midiIn; }

    // Set-up: the remembered device opened and started, and the watch begun.
    void Begin();
    // The end: the watch stopped, the input stopped and closed (bounded by the driver).
    void Finish();
    // The MIDI Device dialog's run: closed before it, the choice opened after it.
    void BeginDialog();
    void EndDialog();
    // The Learn list's run within the dialog: the device `device` opened and started, its
    // messages handed to `take` and played nowhere; EndLearn stops and closes it. False when
    // it could not be opened (reported as any open is).
    bool BeginLearn(int device, std::function<void(uint32_t message)> take);
    void EndLearn();
    // Whatever is open is stopped and closed first; then the remembered device of the
    // listing is opened and started (an id not past the count; see the README). Without a
    // listing, one is made.
    void OpenInput(const std::vector<std::string>* listing = nullptr);
    void CloseInput();

    // The settings the dialog edits.
    int Device() const { return m_nMidiDevice; }
    void SetDevice(int device) { m_nMidiDevice = device; }
    int Channel() const { return m_nMidiChannel; }
    void SetChannel(int channel) { m_nMidiChannel = channel; }
    int Ctrl1() const { return m_nMidiCtrl1; }
    void SetCtrl1(int number) { m_nMidiCtrl1 = number; }
    int Ctrl2() const { return m_nMidiCtrl2; }
    void SetCtrl2(int number) { m_nMidiCtrl2 = number; }
    // The remembered device's stored name, "" when none is stored yet.
    const std::string& Name() const { return m_strMidiName; }
    void SetName(const std::string& name) { m_strMidiName = name; }
    unsigned Filter() const { return m_nMidiFilter; }
    void SetFilter(unsigned filter) { m_nMidiFilter = filter; }

    // The "MIDI" section: DEVICE, CH, CTRL1, CTRL2 and NAME.
    void ExchangeSettings(IniProfile& profile, bool load);

    // Deliveries: a short message interpreted, a buffer queued again.
    void PostShortMessage(uint32_t message) override { OnData(message); }
    void PostLongData(MidiHeader* header) override { OnLongData(header); }
    void OnData(uint32_t message);
    void OnLongData(MidiHeader* header);
    // The record flag was taken by the keys (Shift): an unplug leaves it alone.
    void RecordTaken() { m_bMidiRecord = false; }

    // Feedback to the device's output side, where it has one. The value of an action changed
    // (from any source; see Feedback.h for what a value is): each of its bindings is told,
    // except the one whose message is being interpreted, where that message said the same.
    void SendFeedback(Action action, int value);
    // Where the current values come from (the window's), for the whole state that is sent
    // at each open; without one, nothing is sent at an open.
    void SetFeedbackState(std::function<int(Action)> valueOf) { m_valueOf = std::move(valueOf); }

private:
    // What the map acts on when the window gave nothing.
    class PerformanceTarget : public ControlTarget {
    public:
        explicit PerformanceTarget(MidiPerformance& performance) : m_performance(performance) {}
        void SetEffect(int value) override;
        void StepEffect(int) override {}
        void SetCtrl(int ctrl, int value) override;
        void StepCtrl(int, int) override {}
        void Memory(int camera, int key, bool pressed) override;
        void Store(bool pressed) override;
        void Toggle(Action) override {}
        void SetToggle(Action, bool) override {}
        void SetClipSpeed(int, double) override {}  // no window, no cameras
        void RestartClip(int) override {}

    private:
        MidiPerformance& m_performance;
    };
    // Forwards to the target, noting the frame-memory keys that the device holds.
    class Player : public ControlTarget {
    public:
        explicit Player(CMidiSession& session) : m_session(session) {}
        void SetEffect(int value) override { Target().SetEffect(value); }
        void StepEffect(int delta) override { Target().StepEffect(delta); }
        void SetCtrl(int ctrl, int value) override { Target().SetCtrl(ctrl, value); }
        void StepCtrl(int ctrl, int delta) override { Target().StepCtrl(ctrl, delta); }
        void Memory(int camera, int key, bool pressed) override;
        void Store(bool pressed) override { Target().Store(pressed); }
        void Toggle(Action action) override { Target().Toggle(action); }
        void SetToggle(Action action, bool on) override { Target().SetToggle(action, on); }
        void SetClipSpeed(int camera, double speed) override
        {
            Target().SetClipSpeed(camera, speed);
        }
        void RestartClip(int camera) override { Target().RestartClip(camera); }

    private:
        ControlTarget& Target();
        CMidiSession& m_session;
    };

    // The bindings built again when the settings they come from changed or a device opened
    // (which reads its mapping file).
    void RefreshMap();

    bool InRange(unsigned n) const;
    // Points the device id at the remembered device in `names`; false when a name is
    // stored and no device of it is present.
    bool Resolve(const std::vector<std::string>& names);
    // A notice or the look-again timer: a listing, when anything is open or awaited (absent,
    // or its open had no answer in time or said no).
    void Look();
    void OnListed(const std::vector<std::string>& names);
    // The look again in a second, while a device is awaited and the driver does not tell, and
    // while an open had no answer or said no (its back end tells of nothing new).
    void ArmLook();
    void Unplugged();
    void StartLater();
    void LoadName(const std::string* name, bool hasDevice);
    // The map acts on one message, which is then the echo of what it changes.
    void Interpret(const ControlMessage& control, uint32_t message);
    // At each open, once the map is built: every binding's current value.
    void SendWholeState();
    void SendQueued();

    MidiPerformance& m_performance;
    PerformanceTarget m_performanceTarget{m_performance};
    ControlTarget* m_target = nullptr;
    Player m_player{*this};
    ControlMap m_map;
    std::string m_settingsPath;
    // What the map was built from; the open of a device builds it again.
    struct MapSource {
        int channel, ctrl1, ctrl2;
        std::string name;
    };
    MapSource m_mapSource{-1, -1, -1, {}};
    bool m_bMapStale = true;
    std::function<void(uint32_t)> m_learnTake;  // set while the Learn list listens
    CMidiIn m_midiIn;
    int m_nMidiDevice = 0;
    int m_nMidiChannel = 0;
    int m_nMidiCtrl1 = 0;
    int m_nMidiCtrl2 = 0;
    unsigned m_nMidiFilter = 0;
    std::string m_strMidiName;
    int m_nMidiRemembered = 0;     // its position, written back unchanged while it is absent
    bool m_bMidiAbsent = false;    // a device of the stored name was not present at the last look
    bool m_bMidiOldOrder = false;  // DEVICE came without NAME: an id of the listing of before
    bool m_bWatching = false;      // between Begin and Finish, outside the dialog
    bool m_bMidiOpening = false;   // the watch's open is on its way
    bool m_bMidiAgain = false;     // the last open was late, or the named one said no: again
    bool m_bListing = false;       // a look was asked for and its names have not come
    bool m_bLookOwed = false;      // a notice came while the open was on its way
    bool m_bMidiHeld[2][8] = {};   // frame-memory keys that MIDI notes hold down
    bool m_bMidiRecord = false;    // the record flag is on because a black key set it
    QTimer m_look;
    // Feedback: the message the map is acting on, and the messages to send (kept, so that
    // after the first few nothing allocates).
    std::function<int(Action)> m_valueOf;
    FeedbackEcho m_echo;
    bool m_bInterpreting = false;
    std::vector<uint32_t> m_feedback;
};

#endif
