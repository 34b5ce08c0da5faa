// The actions' names and kinds; see Action.h.
#include "Action.h"

#include <cctype>

namespace {

constexpr int kMemA = static_cast<int>(Action::MemA1);
constexpr int kMemB = static_cast<int>(Action::MemB1);

}  // namespace

ActionKind KindOf(Action action)
{
    switch (action) {
        case Action::Effect:
        case Action::Ctrl1:
        case Action::Ctrl2:
            return ActionKind::Value;
        case Action::EffectUp:
        case Action::EffectDown:
        case Action::Ctrl1Up:
        case Action::Ctrl1Down:
        case Action::Ctrl2Up:
        case Action::Ctrl2Down:
            return ActionKind::Step;
        case Action::FullScreen:
        case Action::Send:
        case Action::Stream:
        case Action::Record:
            return ActionKind::Toggle;
        default:
            return ActionKind::Held;  // the frame-memory keys and STORE
    }
}

std::string ActionName(Action action)
{
    static const char* const kFixed[] = {"EFFECT",  "EFFECTUP",  "EFFECTDOWN", "CTRL1",    "CTRL2",
                                         "CTRL1UP", "CTRL1DOWN", "CTRL2UP",    "CTRL2DOWN"};
    static const char* const kAfterMemory[] = {"STORE", "FULLSCREEN", "SEND", "STREAM", "RECORD"};
    int camera = 0;
    int key = 0;
    if (MemoryKeyOf(action, camera, key))
        return std::string(camera == 0 ? "MEMA" : "MEMB") + std::to_string(key + 1);
    const int index = static_cast<int>(action);
    if (index < kMemA) return kFixed[index];
    return kAfterMemory[index - static_cast<int>(Action::Store)];
}

bool ActionFromName(const std::string& name, Action& action)
{
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int i = 0; i < kActionCount; ++i) {
        if (ActionName(static_cast<Action>(i)) == upper) {
            action = static_cast<Action>(i);
            return true;
        }
    }
    return false;
}

Action MemoryAction(int camera, int key)
{
    return static_cast<Action>((camera == 0 ? kMemA : kMemB) + key);
}

bool MemoryKeyOf(Action action, int& camera, int& key)
{
    const int index = static_cast<int>(action);
    if (index < kMemA || index >= kMemB + kMemoryKeys) return false;
    camera = index < kMemB ? 0 : 1;
    key = index - (camera == 0 ? kMemA : kMemB);
    return true;
}
