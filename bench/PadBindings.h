// A pad controller's worth of bindings for the benchmarks: the control map with a mapping
// file's load, set against the default map.
#ifndef KOVRA_BENCH_PADBINDINGS_H
#define KOVRA_BENCH_PADBINDINGS_H

#include "Bindings.h"

// Over `defaults`: 8 channels of 32 controllers on Ctrl 2 and 2 channels of 128 notes on
// camera A's frame-memory keys, 512 bindings, with controller `ctrl1Number` of channel 0 kept
// on Ctrl 1.
Bindings PadBindings(Bindings defaults, int ctrl1Number);

#endif
