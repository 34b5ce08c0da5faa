// A pad controller's worth of bindings; see PadBindings.h.
#include "PadBindings.h"

Bindings PadBindings(Bindings bindings, int ctrl1Number)
{
    for (int channel = 0; channel < 8; ++channel) {
        for (int number = 0; number < 32; ++number) {
            const bool ctrl1 = channel == 0 && number == ctrl1Number;
            bindings.Set({MessageKey::Type::Control, channel, number},
                         {ctrl1 ? Action::Ctrl1 : Action::Ctrl2});
        }
    }
    for (int channel = 0; channel < 2; ++channel) {
        for (int note = 0; note < 128; ++note)
            bindings.Set({MessageKey::Type::Note, channel, note}, {MemoryAction(0, note % 8)});
    }
    return bindings;
}
