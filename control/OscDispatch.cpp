// The OSC addresses; see OscDispatch.h.
#include "OscDispatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr const char kPrefix[] = "/kovra/";
constexpr int kCtrlMax = 127;

bool Is(const char* types, const char* expected) { return std::strcmp(types, expected) == 0; }

// A control's value: `i` 0..127, or `f` 0.0..1.0 spread over the same range.
OscResult SetCtrl(int ctrl, const char* types, lo_arg** argv, ControlTarget& target)
{
    if (Is(types, "i")) {
        target.SetCtrl(ctrl, std::clamp(argv[0]->i, 0, kCtrlMax));
        return OscResult::Acted;
    }
    if (!Is(types, "f") || std::isnan(argv[0]->f)) return OscResult::WrongType;
    const float share = std::clamp(argv[0]->f, 0.0f, 1.0f);
    target.SetCtrl(ctrl, static_cast<int>(std::lround(share * kCtrlMax)));
    return OscResult::Acted;
}

// With no argument the toggle flips; with `i` it is set, 0 off and anything else on.
OscResult Toggle(Action action, const char* types, lo_arg** argv, ControlTarget& target)
{
    if (Is(types, ""))
        target.Toggle(action);
    else if (Is(types, "i"))
        target.SetToggle(action, argv[0]->i != 0);
    else
        return OscResult::WrongType;
    return OscResult::Acted;
}

// /kovra/memory/a/N or /kovra/memory/b/N, N 1..8: the camera and key.
bool MemoryKeyOfAddress(const char* rest, int& camera, int& key)
{
    if ((rest[0] != 'a' && rest[0] != 'b') || rest[1] != '/') return false;
    if (rest[2] < '1' || rest[2] >= '1' + kMemoryKeys || rest[3] != '\0') return false;
    camera = rest[0] == 'a' ? 0 : 1;
    key = rest[2] - '1';
    return true;
}

// /kovra/clip/a/... or /kovra/clip/b/...: speed `f` 0.25..4 (or `i`), pause and reverse as
// the other toggles, restart with no argument.
OscResult Clip(const char* rest, const char* types, lo_arg** argv, ControlTarget& target)
{
    if ((rest[0] != 'a' && rest[0] != 'b') || rest[1] != '/') return OscResult::UnknownAddress;
    const int camera = rest[0] == 'a' ? 0 : 1;
    const char* control = rest + 2;
    if (std::strcmp(control, "speed") == 0) {
        double speed = 0.0;
        if (Is(types, "f"))
            speed = argv[0]->f;
        else if (Is(types, "i"))
            speed = argv[0]->i;
        else
            return OscResult::WrongType;
        if (std::isnan(speed)) return OscResult::WrongType;
        target.SetClipSpeed(camera, std::clamp(speed, kClipMinSpeed, kClipMaxSpeed));
        return OscResult::Acted;
    }
    if (std::strcmp(control, "restart") == 0) {
        if (!Is(types, "")) return OscResult::WrongType;
        target.RestartClip(camera);
        return OscResult::Acted;
    }
    if (std::strcmp(control, "pause") == 0)
        return Toggle(ClipAction(camera, ClipControl::Pause), types, argv, target);
    if (std::strcmp(control, "reverse") == 0)
        return Toggle(ClipAction(camera, ClipControl::Reverse), types, argv, target);
    return OscResult::UnknownAddress;
}

}  // namespace

OscResult DispatchOsc(const char* path, const char* types, lo_arg** argv, bool outputsAllowed,
                      ControlTarget& target)
{
    if (std::strncmp(path, kPrefix, sizeof kPrefix - 1) != 0) return OscResult::UnknownAddress;
    const char* name = path + sizeof kPrefix - 1;

    if (std::strcmp(name, "effect") == 0) {
        if (!Is(types, "i")) return OscResult::WrongType;
        target.SetEffect(argv[0]->i);
        return OscResult::Acted;
    }
    if (std::strcmp(name, "effect/up") == 0 || std::strcmp(name, "effect/down") == 0) {
        if (!Is(types, "")) return OscResult::WrongType;
        target.StepEffect(name[7] == 'u' ? 1 : -1);
        return OscResult::Acted;
    }
    if (std::strcmp(name, "ctrl1") == 0) return SetCtrl(1, types, argv, target);
    if (std::strcmp(name, "ctrl2") == 0) return SetCtrl(2, types, argv, target);
    if (std::strncmp(name, "clip/", 5) == 0) return Clip(name + 5, types, argv, target);

    int camera = 0;
    int key = 0;
    const bool store = std::strcmp(name, "store") == 0;
    if (store ||
        (std::strncmp(name, "memory/", 7) == 0 && MemoryKeyOfAddress(name + 7, camera, key))) {
        if (!Is(types, "i")) return OscResult::WrongType;
        if (store)
            target.Store(argv[0]->i != 0);
        else
            target.Memory(camera, key, argv[0]->i != 0);
        return OscResult::Acted;
    }

    static const struct {
        const char* name;
        Action action;
        bool wayOut;
    } kToggles[] = {{"fullscreen", Action::FullScreen, false},
                    {"send", Action::Send, true},
                    {"stream", Action::Stream, true},
                    {"record", Action::Record, true}};
    for (const auto& toggle : kToggles) {
        if (std::strcmp(name, toggle.name) != 0) continue;
        // Checked before the arguments: a refused sender learns nothing about them.
        if (toggle.wayOut && !outputsAllowed) return OscResult::Refused;
        return Toggle(toggle.action, types, argv, target);
    }
    return OscResult::UnknownAddress;
}
