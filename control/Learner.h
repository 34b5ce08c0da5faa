// MIDI learn: binds the next message a controller sends to the action chosen, on a copy of
// the bindings that the Learn list keeps or drops. Time comes in from the caller.
#ifndef KOVRA_CONTROL_LEARNER_H
#define KOVRA_CONTROL_LEARNER_H

#include <cstdint>
#include <vector>

#include "Bindings.h"

class Learner {
public:
    // Messages this soon after the one taken belong to its gesture: a pad sends a note and a
    // Control Change together.
    static constexpr int64_t kGestureMs = 300;

    // Starts from `bindings`; Default puts `defaults` back.
    Learner(Bindings bindings, Bindings defaults);

    const Bindings& Current() const { return m_bindings; }
    // The action the next message binds to, until one does.
    void Arm(Action action);
    void Disarm() { m_armed = false; }
    bool Armed() const { return m_armed; }
    Action ArmedAction() const { return m_action; }

    struct Learned {
        MessageKey key;
        Action action = Action::Effect;
        Bindings::Actions movedFrom;  // the other actions the message drove until now
    };
    // A short message (status byte lowest, as the input delivers it) at `timeMs`. A note on
    // with a velocity, a Control Change other than the Channel Mode ones, or a Program Change
    // binds to the armed action, and then drives that action alone; the action keeps its other
    // messages. False, and nothing changed, for any other message, one within the gesture of
    // the last taken, or when nothing is armed.
    bool Take(uint32_t message, int64_t timeMs, Learned& learned);

    // The action drives nothing any more.
    void Clear(Action action);
    // The default map back, nothing armed.
    void Default();
    // The messages that drive the action, in the bindings' order.
    std::vector<MessageKey> KeysOf(Action action) const;

private:
    Bindings m_bindings;
    Bindings m_defaults;
    bool m_armed = false;
    Action m_action = Action::Effect;
    bool m_taken = false;  // a message was taken, at m_takenMs
    int64_t m_takenMs = 0;
};

#endif
