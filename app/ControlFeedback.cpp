// Feedback to the controllers; see ControlFeedback.h.
#include "ControlFeedback.h"

#include <cstdio>

#include "MainDlg.h"

void CControlFeedback::Begin(const std::string& oscFeedback)
{
    CPerformance& performance = m_window.Performance();
    m_performanceChanged =
        QObject::connect(&performance, &CPerformance::Changed, &performance,
                         [this](CPerformance::Value value, int newValue, ChangeSource source) {
                             static constexpr Action kActions[] = {Action::Effect, Action::Ctrl1,
                                                                   Action::Ctrl2, Action::Store};
                             Changed(kActions[static_cast<int>(value)], newValue, source);
                         });
    for (int camera = 0; camera < 2; ++camera) {
        CFrameMemory& memory = camera == 0 ? m_window.m_memA : m_window.m_memB;
        // The slot's flag is the program's, whatever pressed the key.
        memory.SetFilledHandler([this, camera](int key, bool filled) {
            Changed(MemoryAction(camera, key), filled ? 1 : 0, ChangeSource::Keys);
        });
        for (size_t i = 0; i < std::size(kClipStates); ++i)
            m_clips[camera][i] = ValueOf(ClipAction(camera, kClipStates[i]));
        memory.SetCaptureHandler([this, camera] { FollowClips(camera); });
    }
    m_window.FullScreen().SetChanged([this] { FollowToggles(); });
    for (int i = 0; i < 4; ++i) m_toggles[i] = ValueOf(kToggles[i]);
    m_window.Midi().SetFeedbackState([this](Action action) { return ValueOf(action); });

    std::string error;
    if (!m_osc.Open(oscFeedback, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());  // and the show goes on without it
        return;
    }
    for (int i = 0; i < kActionCount; ++i) {
        const Action action = static_cast<Action>(i);
        if (KindOf(action) != ActionKind::Step) SendOsc(action, ValueOf(action));
    }
}

CControlFeedback::~CControlFeedback()
{
    QObject::disconnect(m_performanceChanged);
    for (CFrameMemory* memory : {&m_window.m_memA, &m_window.m_memB}) {
        memory->SetFilledHandler(nullptr);
        memory->SetCaptureHandler(nullptr);
    }
    m_window.Midi().SetFeedbackState(nullptr);
}

int CControlFeedback::ValueOf(Action action) const
{
    const CPerformance& p = m_window.Performance();
    int camera = 0;
    int key = 0;
    if (MemoryKeyOf(action, camera, key))
        return (camera == 0 ? m_window.m_memA : m_window.m_memB).Filled(key) ? 1 : 0;
    ClipControl clip = ClipControl::Speed;
    if (ClipControlOf(action, camera, clip)) {
        const CVideoCapture* capture = (camera == 0 ? m_window.m_memA : m_window.m_memB).Capture();
        if (clip == ClipControl::Speed) return ValueOfClipSpeed(capture ? capture->ClipSpeed() : 1);
        const bool on = capture && (clip == ClipControl::Pause ? capture->ClipPaused()
                                                               : capture->ClipReversed());
        return on ? 1 : 0;
    }
    switch (action) {
        case Action::Effect:
            return p.Effect();
        case Action::Ctrl1:
            return p.Ctrl1();
        case Action::Ctrl2:
            return p.Ctrl2();
        case Action::Store:
            return p.Record() ? 1 : 0;
        case Action::FullScreen:
            return m_window.m_bFullScreen ? 1 : 0;
        default: {
            const int way = WayOutOf(action);
            return way >= 0 && m_window.PictureOut().Wanted(static_cast<CPictureOut::Way>(way)) ? 1
                                                                                                : 0;
        }
    }
}

void CControlFeedback::Changed(Action action, int value, ChangeSource source)
{
    m_window.Midi().SendFeedback(action, value);
    if (source != ChangeSource::Osc) SendOsc(action, value);
}

void CControlFeedback::FollowToggles()
{
    for (int i = 0; i < 4; ++i) {
        const int value = ValueOf(kToggles[i]);
        if (value == m_toggles[i]) continue;
        m_toggles[i] = value;
        Changed(kToggles[i], value, m_acting);
    }
}

void CControlFeedback::FollowClips(int camera, const Action* pressed)
{
    for (size_t i = 0; i < std::size(kClipStates); ++i) {
        const Action action = ClipAction(camera, kClipStates[i]);
        const int value = ValueOf(action);
        if (value == m_clips[camera][i] && !(pressed && *pressed == action)) continue;
        m_clips[camera][i] = value;
        Changed(action, value, m_acting);
    }
}

void CControlFeedback::SendOsc(Action action, int value)
{
    if (!m_osc.IsOpen()) return;
    int camera = 0;
    int key = 0;
    ClipControl clip = ClipControl::Speed;
    if (action == Action::Effect) {
        m_osc.SendEffect(value);
    } else if (action == Action::Ctrl1 || action == Action::Ctrl2) {
        m_osc.SendCtrl(action == Action::Ctrl1 ? 1 : 2, value);
    } else if (MemoryKeyOf(action, camera, key)) {
        m_osc.SendMemory(camera, key, value != 0);
    } else if (ClipControlOf(action, camera, clip)) {
        m_osc.SendClip(camera, clip, value);
    } else {
        m_osc.SendToggle(action, value != 0);
    }
}
