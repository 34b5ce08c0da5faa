// Auto-repeat detection from the keys that are down; see KeyRepeat.h.
#include "KeyRepeat.h"

bool CKeyRepeat::Press(int key, bool isAutoRepeat)
{
    // Under X with detectable auto-repeat a repeat is a press of a key already down;
    // elsewhere Qt's own flag tells.
    const bool wasDown = !m_down.insert(key).second;
    return wasDown || isAutoRepeat;
}

bool CKeyRepeat::Release(int key, bool isAutoRepeat)
{
    if (isAutoRepeat) return false;
    m_down.erase(key);
    return true;
}
