// The default map: the fixed interpretation the [MIDI] section's channel and two controller
// numbers give, which a controller without a mapping file plays with.
#ifndef KOVRA_CONTROL_DEFAULTMAP_H
#define KOVRA_CONTROL_DEFAULTMAP_H

#include "Bindings.h"

// On the channel (0..15; any other binds nothing): Program Change sets the effect; Control
// Change ctrl1Number sets Ctrl 1 and ctrl2Number Ctrl 2 (one number may set both; a Channel
// Mode number or one outside 0..127 binds nothing); the white keys C3..B3 (notes 48..59) play
// camera A's frame-memory keys 1..7 and C4..B4 (60..71) camera B's, and all ten black keys
// between them hold STORE.
Bindings DefaultBindings(int channel, int ctrl1Number, int ctrl2Number);

#endif
