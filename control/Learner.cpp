// MIDI learn; see Learner.h.
#include "Learner.h"

#include <algorithm>
#include <utility>

#include "ControlMessage.h"

Learner::Learner(Bindings bindings, Bindings defaults)
    : m_bindings(std::move(bindings)), m_defaults(std::move(defaults))
{
}

void Learner::Arm(Action action)
{
    m_armed = true;
    m_action = action;
}

bool Learner::Take(uint32_t message, int64_t timeMs, Learned& learned)
{
    if (m_taken && timeMs - m_takenMs < kGestureMs) return false;
    if (!m_armed) return false;
    ControlMessage control;
    // Clock, active sensing and every other system message are none of the four kinds.
    if (!ControlMessageFromShort(message, control)) return false;
    // A release says nothing about which control the performer means to bind.
    if (control.kind == ControlMessage::Kind::NoteOff) return false;
    if (control.kind == ControlMessage::Kind::NoteOn && control.value == 0) return false;
    MessageKey key;
    if (!KeyOf(control, key)) return false;  // the Channel Mode controllers

    learned.key = key;
    learned.action = m_action;
    learned.movedFrom = m_bindings.Of(key);
    auto& moved = learned.movedFrom;
    moved.erase(std::remove(moved.begin(), moved.end(), m_action), moved.end());
    m_bindings.Set(key, {m_action});
    m_armed = false;
    m_taken = true;
    m_takenMs = timeMs;
    return true;
}

void Learner::Clear(Action action)
{
    for (const MessageKey& key : KeysOf(action)) {
        Bindings::Actions actions = m_bindings.Of(key);
        actions.erase(std::remove(actions.begin(), actions.end(), action), actions.end());
        m_bindings.Set(key, std::move(actions));
    }
}

void Learner::Default()
{
    m_bindings = m_defaults;
    m_armed = false;
}

std::vector<MessageKey> Learner::KeysOf(Action action) const
{
    std::vector<MessageKey> keys;
    for (const auto& [key, actions] : m_bindings.All()) {
        if (std::find(actions.begin(), actions.end(), action) != actions.end()) keys.push_back(key);
    }
    return keys;
}
