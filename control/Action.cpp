// The actions' names and kinds; see Action.h.
#include "Action.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

constexpr int kMemA = static_cast<int>(Action::MemA1);
constexpr int kMemB = static_cast<int>(Action::MemB1);
constexpr int kClipA = static_cast<int>(Action::ClipASpeed);
constexpr int kClipControls = 4;  // per camera

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
        case Action::ClipAPause:
        case Action::ClipBPause:
        case Action::ClipAReverse:
        case Action::ClipBReverse:
            return ActionKind::Toggle;
        case Action::ClipASpeed:
        case Action::ClipBSpeed:
            return ActionKind::Value;
        case Action::ClipARestart:
        case Action::ClipBRestart:
            return ActionKind::Step;
        default:
            return ActionKind::Held;  // the frame-memory keys and STORE
    }
}

std::string ActionName(Action action)
{
    static const char* const kFixed[] = {"EFFECT",  "EFFECTUP",  "EFFECTDOWN", "CTRL1",    "CTRL2",
                                         "CTRL1UP", "CTRL1DOWN", "CTRL2UP",    "CTRL2DOWN"};
    static const char* const kAfterMemory[] = {"STORE", "FULLSCREEN", "SEND", "STREAM", "RECORD"};
    static const char* const kClip[] = {"SPEED", "PAUSE", "RESTART", "REVERSE"};
    int camera = 0;
    int key = 0;
    if (MemoryKeyOf(action, camera, key))
        return std::string(camera == 0 ? "MEMA" : "MEMB") + std::to_string(key + 1);
    ClipControl control = ClipControl::Speed;
    if (ClipControlOf(action, camera, control))
        return std::string(camera == 0 ? "CLIPA" : "CLIPB") + kClip[static_cast<int>(control)];
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

Action ClipAction(int camera, ClipControl control)
{
    return static_cast<Action>(kClipA + camera * kClipControls + static_cast<int>(control));
}

bool ClipControlOf(Action action, int& camera, ClipControl& control)
{
    const int index = static_cast<int>(action) - kClipA;
    if (index < 0 || index >= 2 * kClipControls) return false;
    camera = index / kClipControls;
    control = static_cast<ClipControl>(index % kClipControls);
    return true;
}

double ClipSpeedOfValue(int value)
{
    const int v = std::clamp(value, 0, 127);
    // 64 steps down to a quarter, 63 up to four times.
    const double octaves = v < 64 ? (v - 64) / 64.0 : (v - 64) / 63.0;
    return std::pow(kClipMaxSpeed, octaves);
}

int ValueOfClipSpeed(double speed)
{
    if (!(speed > 0)) return 64;
    const double octaves =
        std::log(std::clamp(speed, kClipMinSpeed, kClipMaxSpeed)) / std::log(kClipMaxSpeed);
    return 64 + static_cast<int>(std::lround(octaves * (octaves < 0 ? 64 : 63)));
}
