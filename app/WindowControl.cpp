// What a controller or an OSC surface plays on the window; see WindowControl.h.
#include "WindowControl.h"

#include "MainDlg.h"
#include "VideoCapture.h"

int WayOutOf(Action action)
{
    switch (action) {
        case Action::Send:
            return CPictureOut::Send;
        case Action::Stream:
            return CPictureOut::Stream;
        case Action::Record:
            return CPictureOut::Record;
        default:
            return -1;
    }
}

void CWindowControl::SetEffect(int value) { m_window.Performance().SetEffect(value, m_source); }

void CWindowControl::StepEffect(int delta)
{
    CPerformance& p = m_window.Performance();
    p.SetEffect(p.Effect() + delta, m_source);
}

void CWindowControl::SetCtrl(int ctrl, int value)
{
    CPerformance& p = m_window.Performance();
    if (ctrl == 1) p.SetCtrl1(value, m_source);
    if (ctrl == 2) p.SetCtrl2(value, m_source);
}

void CWindowControl::StepCtrl(int ctrl, int delta)
{
    CPerformance& p = m_window.Performance();
    if (ctrl == 1) p.SetCtrl1(p.Ctrl1() + delta, m_source);
    if (ctrl == 2) p.SetCtrl2(p.Ctrl2() + delta, m_source);
}

void CWindowControl::Memory(int camera, int key, bool pressed)
{
    m_window.Performance().FrameKey(camera, key, pressed);
}

void CWindowControl::Store(bool pressed) { m_window.Performance().SetRecord(pressed, m_source); }

CVideoCapture* CWindowControl::Capture(int camera) const
{
    return (camera == 0 ? m_window.m_memA : m_window.m_memB).Capture();
}

void CWindowControl::SetClipSpeed(int camera, double speed)
{
    CVideoCapture* capture = Capture(camera);
    if (!capture) return;
    const CControlFeedback::Acting acting(m_window.Feedback(), m_source);
    capture->SetClipSpeed(speed);
    m_window.Feedback().FollowClips(camera);
}

void CWindowControl::RestartClip(int camera)
{
    if (CVideoCapture* capture = Capture(camera)) capture->RestartClip();
}

bool CWindowControl::IsOn(Action action) const
{
    if (action == Action::FullScreen) return m_window.m_bFullScreen;
    int camera = 0;
    ClipControl clip = ClipControl::Speed;
    if (ClipControlOf(action, camera, clip)) {
        const CVideoCapture* capture = Capture(camera);
        if (!capture) return false;
        return clip == ClipControl::Pause ? capture->ClipPaused() : capture->ClipReversed();
    }
    const int way = WayOutOf(action);
    return way >= 0 && m_window.PictureOut().Wanted(static_cast<CPictureOut::Way>(way));
}

void CWindowControl::Toggle(Action action) { SetToggle(action, !IsOn(action)); }

void CWindowControl::SetToggle(Action action, bool on)
{
    if (IsOn(action) == on) return;
    int camera = 0;
    ClipControl clip = ClipControl::Speed;
    if (ClipControlOf(action, camera, clip)) {
        // The capture tells no one of its clip's state: the feedback follows it from here.
        CVideoCapture* capture = Capture(camera);
        if (!capture) return;
        const CControlFeedback::Acting acting(m_window.Feedback(), m_source);
        if (clip == ClipControl::Pause) capture->ToggleClipPause();
        if (clip == ClipControl::Reverse) capture->ToggleClipReverse();
        m_window.Feedback().FollowClips(camera, &action);
        return;
    }
    const CControlFeedback::Acting acting(m_window.Feedback(), m_source);
    if (action == Action::FullScreen) {
        m_window.ToggleFullScreen();
        return;
    }
    const int way = WayOutOf(action);
    if (way < 0) return;
    m_window.PictureOut().Set(static_cast<CPictureOut::Way>(way), on);
    m_window.ShowWaysOut(false);
}
