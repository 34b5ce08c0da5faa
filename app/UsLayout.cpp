// The US layout's letters through libxkbcommon, compiled once from the system's keyboard
// descriptions; see UsLayout.h.
#include "UsLayout.h"

#include <xkbcommon/xkbcommon.h>

namespace {

class UsKeyboard {
public:
    UsKeyboard()
    {
        m_context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        if (!m_context) return;
        xkb_rule_names names = {};
        names.rules = "evdev";
        names.model = "pc105";
        names.layout = "us";
        m_keymap = xkb_keymap_new_from_names(m_context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (m_keymap) m_state = xkb_state_new(m_keymap);
    }
    ~UsKeyboard()
    {
        if (m_state) xkb_state_unref(m_state);
        if (m_keymap) xkb_keymap_unref(m_keymap);
        if (m_context) xkb_context_unref(m_context);
    }
    UsKeyboard(const UsKeyboard&) = delete;
    UsKeyboard& operator=(const UsKeyboard&) = delete;

    char Letter(unsigned keycode) const
    {
        if (!m_state) return 0;
        // The state has no modifier down, so a letter key gives its small letter.
        const xkb_keysym_t sym = xkb_state_key_get_one_sym(m_state, keycode);
        if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return static_cast<char>('A' + (sym - XKB_KEY_a));
        return 0;
    }

private:
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
};

}  // namespace

char UsLayoutLetter(unsigned keycode)
{
    // Used on the user-interface thread only, from the first key on.
    static const UsKeyboard keyboard;
    return keyboard.Letter(keycode);
}
