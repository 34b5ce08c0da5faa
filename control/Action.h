// What a control can do: the actions a MIDI message (and later an OSC address) is bound to,
// their names as mapping files spell them, and how each takes a message.
#ifndef KOVRA_CONTROL_ACTION_H
#define KOVRA_CONTROL_ACTION_H

#include <string>

enum class Action : int {
    Effect,
    EffectUp,
    EffectDown,
    Ctrl1,
    Ctrl2,
    Ctrl1Up,
    Ctrl1Down,
    Ctrl2Up,
    Ctrl2Down,
    MemA1,              // MEMA1..MEMA8: camera A's frame-memory keys
    MemB1 = MemA1 + 8,  // MEMB1..MEMB8: camera B's
    Store = MemB1 + 8,
    FullScreen,
    Send,
    Stream,
    Record,
    ClipASpeed,  // CLIPASPEED..CLIPAREVERSE: the clip camera A plays
    ClipAPause,
    ClipARestart,
    ClipAReverse,
    ClipBSpeed,  // CLIPBSPEED..CLIPBREVERSE: camera B's
    ClipBPause,
    ClipBRestart,
    ClipBReverse,
};
constexpr int kActionCount = static_cast<int>(Action::ClipBReverse) + 1;
constexpr int kMemoryKeys = 8;  // per camera

enum class ActionKind {
    Value,   // takes the message's value
    Step,    // one step per press
    Held,    // pressed and released
    Toggle,  // flips once per press
};

ActionKind KindOf(Action action);

// The name a mapping file spells, e.g. "CTRL1UP" or "MEMB3".
std::string ActionName(Action action);

// The action of a name, without regard to ASCII case; false for a name that is none.
bool ActionFromName(const std::string& name, Action& action);

// The frame-memory action of camera 0 (A) or 1 (B), key 0..7.
Action MemoryAction(int camera, int key);

// The camera and key of a frame-memory action; false for any other action.
bool MemoryKeyOf(Action action, int& camera, int& key);

// A clip's controls, in the order of their actions.
enum class ClipControl : int { Speed, Pause, Restart, Reverse };

// The clip action of camera 0 (A) or 1 (B).
Action ClipAction(int camera, ClipControl control);

// The camera and control of a clip action; false for any other action.
bool ClipControlOf(Action action, int& camera, ClipControl& control);

// The clip's slowest and fastest speeds.
constexpr double kClipMinSpeed = 0.25;
constexpr double kClipMaxSpeed = 4.0;

// A MIDI value 0..127 as a clip's speed: 0.25 at 0, 1 at 64, 4 at 127, evenly apart in
// ratio on each side of 64 (a value outside is clamped first).
double ClipSpeedOfValue(int value);
// The MIDI value whose speed is nearest `speed`: ValueOfClipSpeed(ClipSpeedOfValue(v)) is v.
int ValueOfClipSpeed(double speed);

#endif
