// The default map; see DefaultMap.h.
#include "DefaultMap.h"

Bindings DefaultBindings(int channel, int ctrl1Number, int ctrl2Number)
{
    using Type = MessageKey::Type;
    Bindings bindings;
    bindings.Set({Type::Program, channel, 0}, {Action::Effect});
    if (ctrl1Number == ctrl2Number) {
        bindings.Set({Type::Control, channel, ctrl1Number}, {Action::Ctrl1, Action::Ctrl2});
    } else {
        bindings.Set({Type::Control, channel, ctrl1Number}, {Action::Ctrl1});
        bindings.Set({Type::Control, channel, ctrl2Number}, {Action::Ctrl2});
    }
    // Pitch classes C..B: white keys are frame-memory keys 0..6, the rest black.
    static const int kWhiteKey[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
    for (int note = 48; note <= 71; ++note) {
        const int key = kWhiteKey[note % 12];
        const Action action = key < 0 ? Action::Store : MemoryAction(note < 60 ? 0 : 1, key);
        bindings.Set({Type::Note, channel, note}, {action});
    }
    return bindings;
}
