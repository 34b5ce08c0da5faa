// The control map: interprets one MIDI message through the bindings into what it does to a
// ControlTarget. One map per input; it remembers which controllers stand at 64 or above.
#ifndef KOVRA_CONTROL_CONTROLMAP_H
#define KOVRA_CONTROL_CONTROLMAP_H

#include <bitset>
#include <utility>

#include "Bindings.h"
#include "ControlMessage.h"
#include "ControlTarget.h"

class ControlMap {
public:
    ControlMap() = default;
    explicit ControlMap(Bindings bindings) : m_bindings(std::move(bindings)) {}

    const Bindings& GetBindings() const { return m_bindings; }
    void SetBindings(Bindings bindings) { m_bindings = std::move(bindings); }

    // Value actions take the message's value (a note's velocity on note on, the program for
    // Program Change). A note on presses and a note off or a note on with velocity 0
    // releases; a Control Change presses when it rises to 64 or more and releases when it
    // falls below; a Program Change is a press and, for a held action, its release at once.
    // A controller counts as below 64 until it says otherwise.
    // Held actions take every press and release (several messages on one held action are one
    // flag: any release releases it); step and toggle actions act once per press.
    void Interpret(const ControlMessage& message, ControlTarget& target);

private:
    Bindings m_bindings;
    std::bitset<16 * 128> m_controlHigh;  // per channel and controller: last value >= 64
};

#endif
