// Feedback to the controllers: every change of what a control can show (the performance
// state, full screen, the ways out, the frame memory's filled slots) goes to the MIDI
// device's output side and to OSC's FEEDBACK address, and the whole state at their opens.
#ifndef KOVRA_APP_CONTROLFEEDBACK_H
#define KOVRA_APP_CONTROLFEEDBACK_H

#include <QMetaObject>
#include <iterator>
#include <string>

#include "Action.h"
#include "MidiPerformance.h"
#include "OscFeedback.h"

class CMainDlg;

// User-interface thread only. Never waits: the MIDI side pushes into its device's queue, the
// OSC side drops what a full socket does not take.
class CControlFeedback {
public:
    explicit CControlFeedback(CMainDlg& window) : m_window(window) {}
    // Lets go of what outlives it: the frame memories (whose close at the end empties their
    // slots), the performance state and the MIDI session. Full screen goes before it.
    ~CControlFeedback();
    CControlFeedback(const CControlFeedback&) = delete;
    CControlFeedback& operator=(const CControlFeedback&) = delete;

    // Set-up: the notifications followed, the MIDI session told where the values are, and
    // OSC's feedback opened where `oscFeedback` names one ("host:port"), with the whole
    // state sent; a bad address is one line on standard error.
    void Begin(const std::string& oscFeedback);
    void End() { m_osc.Close(); }

    // The current value of an action, as feedback carries it (see Feedback.h).
    int ValueOf(Action action) const;
    // A value changed, by `source`: told to the MIDI device, and to OSC unless it came from
    // there (its own address would hear its own value back).
    void Changed(Action action, int value, ChangeSource source);
    // Full screen or a way out may have changed: those that did are told, as made by the
    // control acting now.
    void FollowToggles();
    // A clip's speed, pause or reverse of camera 0 (A) or 1 (B) may have changed (a control,
    // or another clip or none playing now): those that did are told, as made by the control
    // acting now. A toggle that was pressed goes back even when unchanged (a refused reverse),
    // as a press carries no state.
    void FollowClips(int camera, const Action* pressed = nullptr);

    // While a control of `source` toggles (see CWindowControl), its changes are its own.
    class Acting {
    public:
        Acting(CControlFeedback& feedback, ChangeSource source)
            : m_feedback(feedback), m_was(feedback.m_acting)
        {
            feedback.m_acting = source;
        }
        ~Acting() { m_feedback.m_acting = m_was; }
        Acting(const Acting&) = delete;
        Acting& operator=(const Acting&) = delete;

    private:
        CControlFeedback& m_feedback;
        const ChangeSource m_was;
    };

    const OscFeedback& Osc() const { return m_osc; }

private:
    void SendOsc(Action action, int value);

    CMainDlg& m_window;
    QMetaObject::Connection m_performanceChanged;
    OscFeedback m_osc;
    static constexpr Action kToggles[] = {Action::FullScreen, Action::Send, Action::Stream,
                                          Action::Record};
    int m_toggles[4] = {};  // the toggles' states last told
    static constexpr ClipControl kClipStates[] = {ClipControl::Speed, ClipControl::Pause,
                                                  ClipControl::Reverse};
    int m_clips[2][std::size(kClipStates)] = {};  // each camera's clip states last told
    ChangeSource m_acting = ChangeSource::Keys;
};

#endif
