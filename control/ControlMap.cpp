// The interpretation of a message through the bindings; see ControlMap.h.
#include "ControlMap.h"

namespace {

enum class Edge { None, Press, Release };

void Act(Action action, const ControlMessage& message, Edge edge, ControlTarget& target)
{
    using Kind = ControlMessage::Kind;
    switch (KindOf(action)) {
        case ActionKind::Value: {
            // A note sets its velocity when struck; its release sets nothing.
            if (message.kind == Kind::NoteOff ||
                (message.kind == Kind::NoteOn && edge != Edge::Press))
                return;
            int camera = 0;
            ClipControl clip = ClipControl::Speed;
            if (ClipControlOf(action, camera, clip))
                target.SetClipSpeed(camera, ClipSpeedOfValue(message.value));
            else if (action == Action::Effect)
                target.SetEffect(message.value);
            else
                target.SetCtrl(action == Action::Ctrl1 ? 1 : 2, message.value);
            return;
        }
        case ActionKind::Step: {
            if (edge != Edge::Press) return;
            int camera = 0;
            ClipControl clip = ClipControl::Speed;
            if (ClipControlOf(action, camera, clip)) {
                target.RestartClip(camera);
                return;
            }
            const int delta = (action == Action::EffectUp || action == Action::Ctrl1Up ||
                               action == Action::Ctrl2Up)
                                  ? 1
                                  : -1;
            if (action == Action::EffectUp || action == Action::EffectDown)
                target.StepEffect(delta);
            else
                target.StepCtrl(action == Action::Ctrl1Up || action == Action::Ctrl1Down ? 1 : 2,
                                delta);
            return;
        }
        case ActionKind::Toggle:
            if (edge == Edge::Press) target.Toggle(action);
            return;
        case ActionKind::Held: {
            if (edge == Edge::None) return;
            int camera = 0;
            int key = 0;
            const bool memory = MemoryKeyOf(action, camera, key);
            auto hold = [&](bool pressed) {
                if (memory)
                    target.Memory(camera, key, pressed);
                else
                    target.Store(pressed);
            };
            hold(edge == Edge::Press);
            if (message.kind == Kind::Program) hold(false);  // no release ever follows one
            return;
        }
    }
}

}  // namespace

void ControlMap::Interpret(const ControlMessage& message, ControlTarget& target)
{
    MessageKey key;
    if (!KeyOf(message, key)) return;
    Edge edge = Edge::None;
    switch (message.kind) {
        case ControlMessage::Kind::NoteOn:
            edge = message.value != 0 ? Edge::Press : Edge::Release;
            break;
        case ControlMessage::Kind::NoteOff:
            edge = Edge::Release;
            break;
        case ControlMessage::Kind::Control: {
            // Tracked for every controller, bound or not, so a binding made while a pedal is
            // down does not take its release for a press.
            const size_t index = static_cast<size_t>(key.channel * 128 + key.number);
            const bool high = message.value >= 64;
            if (high != m_controlHigh[index]) edge = high ? Edge::Press : Edge::Release;
            m_controlHigh[index] = high;
            break;
        }
        case ControlMessage::Kind::Program:
            edge = Edge::Press;
            break;
    }
    for (Action action : m_bindings.Of(key)) Act(action, message, edge, target);
}
