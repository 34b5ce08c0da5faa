// The messages of the feedback to a controller; see Feedback.h.
#include "Feedback.h"

namespace {

uint32_t Pack(int status, int data1, int data2)
{
    return static_cast<uint32_t>(status) | static_cast<uint32_t>(data1) << 8 |
           static_cast<uint32_t>(data2) << 16;
}

int Clamp(int value) { return value < 0 ? 0 : value > 127 ? 127 : value; }

// Whether two messages say the same: a note off says what a note on with velocity 0 says.
bool SameMessage(uint32_t a, uint32_t b)
{
    auto normal = [](uint32_t m) { return (m & 0xF0) == 0x80 ? (m & 0xFF0F) | 0x90 : m; };
    return normal(a) == normal(b);
}

}  // namespace

bool FeedbackMessage(const MessageKey& key, Action action, int value, uint32_t& message)
{
    const ActionKind kind = KindOf(action);
    if (kind == ActionKind::Step || !Bindable(key)) return false;
    const int data = kind == ActionKind::Value ? Clamp(value) : value != 0 ? 127 : 0;
    switch (key.type) {
        case MessageKey::Type::Control:
            message = Pack(0xB0 | key.channel, key.number, data);
            return true;
        case MessageKey::Type::Note:
            message = Pack(0x90 | key.channel, key.number, data);
            return true;
        case MessageKey::Type::Program:
            if (kind != ActionKind::Value) return false;
            message = Pack(0xC0 | key.channel, data, 0);
            return true;
    }
    return false;
}

void AppendFeedback(const Bindings& bindings, Action action, int value, const FeedbackEcho* echo,
                    std::vector<uint32_t>& out)
{
    const ActionKind kind = KindOf(action);
    const bool echoes = kind == ActionKind::Value || action == Action::Store;
    for (const auto& [key, actions] : bindings.All()) {
        for (Action bound : actions) {
            uint32_t message = 0;
            if (bound != action || !FeedbackMessage(key, action, value, message)) continue;
            if (echoes && echo && echo->key == key && SameMessage(message, echo->message)) continue;
            out.push_back(message);
        }
    }
}

void AppendWholeState(const Bindings& bindings, const std::function<int(Action)>& valueOf,
                      std::vector<uint32_t>& out)
{
    for (const auto& [key, actions] : bindings.All()) {
        for (Action action : actions) {
            uint32_t message = 0;
            if (FeedbackMessage(key, action, valueOf(action), message)) out.push_back(message);
        }
    }
}
