// What the control map acts on: the performance state, the frame memory, full screen, the
// ways out and the clips, behind one interface that the program implements for each source of
// control. Called on the thread that interprets the messages (the window's).
#ifndef KOVRA_CONTROL_CONTROLTARGET_H
#define KOVRA_CONTROL_CONTROLTARGET_H

#include "Action.h"

class ControlTarget {
public:
    // The values are passed on as the message carried them; the implementation clamps.
    virtual void SetEffect(int value) = 0;
    virtual void StepEffect(int delta) = 0;         // +1 or -1
    virtual void SetCtrl(int ctrl, int value) = 0;  // ctrl 1 or 2
    virtual void StepCtrl(int ctrl, int delta) = 0;
    // A frame-memory key of camera 0 (A) or 1 (B), key 0..7.
    virtual void Memory(int camera, int key, bool pressed) = 0;
    virtual void Store(bool pressed) = 0;
    // FULLSCREEN, SEND, STREAM or RECORD flipped.
    virtual void Toggle(Action action) = 0;
    // The same set on or off, as OSC can ask; setting the state it has already changes nothing.
    virtual void SetToggle(Action action, bool on) = 0;
    // The clip camera 0 (A) or 1 (B) plays: its speed (0.25..4; the implementation clamps),
    // and a start from its beginning. Its pause and reverse are toggles (CLIPAPAUSE and the
    // like, through Toggle and SetToggle). Nothing where the camera plays no clip.
    virtual void SetClipSpeed(int camera, double speed) = 0;
    virtual void RestartClip(int camera) = 0;

protected:
    ~ControlTarget() = default;
};

#endif
