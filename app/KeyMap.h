// Key codes of the main window's keyboard map. Letter keys use their capital's code, so
// case and the letter's position on the keyboard do not matter.
#ifndef KOVRA_APP_KEYMAP_H
#define KOVRA_APP_KEYMAP_H

class QKeyEvent;

constexpr int VK_RETURN = 13;
constexpr int VK_SHIFT = 16;
constexpr int VK_ESCAPE = 27;

// The key code of a Qt key: letters and digits their ASCII capital, Shift, Enter and
// Escape their codes above; any other key a code of its own that matches none of these.
int VirtualKeyFromQt(int qtKey);

// The key code of a key event: as VirtualKeyFromQt, except that a key which gives no Latin
// letter in the current layout (a Cyrillic or Greek one, say) counts as the letter the same
// physical key (its X11 or Wayland keycode) gives in the US layout.
int VirtualKeyOf(const QKeyEvent& event);
int VirtualKeyFromQt(int qtKey, unsigned keycode);

// Key-downs that Windows hands to the menu as system keys, which the window's own key
// handlers never see: any key while Alt is held, Alt itself, and F10.
bool IsSystemKeyDown(const QKeyEvent& event);

// True for the sixteen frame-memory keys: Q W E R T Y U I play Camera A's keys 0..7,
// A S D F G H J K Camera B's.
bool FrameMemoryKey(int virtualKey, int& camera, int& key);

#endif
