// Tells a key's first press from its auto-repeats. Windows passes a "key was already down"
// bit with every key press; here it is derived from the set of keys that are down.
#ifndef KOVRA_APP_KEYREPEAT_H
#define KOVRA_APP_KEYREPEAT_H

#include <set>

class CKeyRepeat {
public:
    // A press; true when the key was already down (an auto-repeat).
    bool Press(int key, bool isAutoRepeat);
    // A release; false when it only belongs to an auto-repeat and is to be ignored.
    bool Release(int key, bool isAutoRepeat);
    // Keys released while the window had no focus never report back: forget them all.
    void Clear() { m_down.clear(); }

private:
    std::set<int> m_down;
};

// Makes the X server send a held key as presses only and one release, where it would send
// release and press pairs; nothing elsewhere (Wayland needs nothing).
void EnableDetectableAutoRepeat();

#endif
