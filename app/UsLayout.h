// The letter a physical key gives in the US layout, whatever layout the keyboard has now:
// the keyboard map's letters stay where they are under a Cyrillic or Greek layout.
#ifndef KOVRA_APP_USLAYOUT_H
#define KOVRA_APP_USLAYOUT_H

// The capital letter ('A'..'Z') of the key with this keycode (X11's and Wayland's keycodes
// alike: the kernel's key number plus 8) in the US layout; 0 for a key that gives no letter
// there, or when no keyboard description is installed.
char UsLayoutLetter(unsigned keycode);

#endif
