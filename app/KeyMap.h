// Key codes of the main window's keyboard map. Letter keys use their capital's code, so
// case and the letter's position on the keyboard do not matter.
#ifndef KOVRA_APP_KEYMAP_H
#define KOVRA_APP_KEYMAP_H

constexpr int VK_RETURN = 13;
constexpr int VK_SHIFT = 16;
constexpr int VK_ESCAPE = 27;

// The key code of a Qt key: letters and digits their ASCII capital, Shift, Enter and
// Escape their codes above; any other key a code of its own that matches none of these.
int VirtualKeyFromQt(int qtKey);

// True for the sixteen frame-memory keys: Q W E R T Y U I play Camera A's keys 0..7,
// A S D F G H J K Camera B's.
bool FrameMemoryKey(int virtualKey, int& camera, int& key);

#endif
