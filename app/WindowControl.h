// What a controller or an OSC surface plays on the window: the performance state, the frame
// memory, full screen, the ways out and the cameras' clips, one of these per source of control.
#ifndef KOVRA_APP_WINDOWCONTROL_H
#define KOVRA_APP_WINDOWCONTROL_H

#include "ControlTarget.h"
#include "MidiPerformance.h"

class CMainDlg;
class CVideoCapture;

// The way out (CPictureOut::Way) of SEND, STREAM or RECORD; -1 for any other action.
int WayOutOf(Action action);

// User-interface thread only. Values are clamped by the performance state's setters, and the
// steps are the keys' own.
class CWindowControl : public ControlTarget {
public:
    CWindowControl(CMainDlg& window, ChangeSource source) : m_window(window), m_source(source) {}

    void SetEffect(int value) override;
    void StepEffect(int delta) override;
    void SetCtrl(int ctrl, int value) override;
    void StepCtrl(int ctrl, int delta) override;
    void Memory(int camera, int key, bool pressed) override;
    void Store(bool pressed) override;
    void Toggle(Action action) override;
    void SetToggle(Action action, bool on) override;
    void SetClipSpeed(int camera, double speed) override;
    void RestartClip(int camera) override;

private:
    bool IsOn(Action action) const;
    // The capture camera 0 (A) or 1 (B) runs, or null when it has none.
    CVideoCapture* Capture(int camera) const;

    CMainDlg& m_window;
    const ChangeSource m_source;
};

#endif
