// What goes back to a controller: for an action's current value, the message each of its
// bindings gets, so that LEDs and motor faders show the state.
#ifndef KOVRA_CONTROL_FEEDBACK_H
#define KOVRA_CONTROL_FEEDBACK_H

#include <cstdint>
#include <functional>
#include <vector>

#include "Action.h"
#include "Bindings.h"
#include "ControlMessage.h"

// An action's value as feedback carries it: the effect number or a control's value for the
// value actions; 1 or 0 for a memory key (its slot holds a stored picture), STORE (the record
// flag) and the toggles.
//
// The message (packed as the input delivers them: status byte lowest) that shows `value` of
// `action` on binding `key`; false when it sends nothing. A value action sends a Control
// Change with the value on a controller, a Program Change of it on Program Change, and a note
// on with it as the velocity on a note; the others send 127 for 1 and 0 for 0, as a Control
// Change or a note on (a Program Change cannot show on and off, and steps have no value).
// Values are clamped into 0..127.
bool FeedbackMessage(const MessageKey& key, Action action, int value, uint32_t& message);

// The message that caused a change while the map acted on it, so that it is not sent back.
struct FeedbackEcho {
    MessageKey key;
    uint32_t message = 0;  // packed as above
};

// Appends to `out` the messages that show `value` of `action` on each of its bindings. With
// an `echo`, the binding it came on is skipped where the message would be the very one it
// sent (a fader is not pushed back against the hand); a clamped value still goes back, so
// the controller shows where it stopped. Toggles and memory keys always go back: a press
// carries no state, and their LED shows the program's.
void AppendFeedback(const Bindings& bindings, Action action, int value, const FeedbackEcho* echo,
                    std::vector<uint32_t>& out);

// The whole state: for every binding, the current value (`valueOf`) of each of its actions.
void AppendWholeState(const Bindings& bindings, const std::function<int(Action)>& valueOf,
                      std::vector<uint32_t>& out);

#endif
