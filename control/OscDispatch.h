// What an OSC message does: its address and arguments turned into calls on a ControlTarget,
// with the values clamped as the keys clamp them. No sockets here; the receiver feeds it.
#ifndef KOVRA_CONTROL_OSCDISPATCH_H
#define KOVRA_CONTROL_OSCDISPATCH_H

#include <lo/lo_osc_types.h>

#include "ControlTarget.h"

enum class OscResult {
    Acted,
    UnknownAddress,
    WrongType,
    Refused,  // a way out asked for by a sender that may not
};

// `types` without the leading comma, one per entry of `argv`. `outputsAllowed` false ignores
// /kovra/send, /kovra/stream and /kovra/record.
OscResult DispatchOsc(const char* path, const char* types, lo_arg** argv, bool outputsAllowed,
                      ControlTarget& target);

#endif
