// Whether a PipeWire daemon answers on the user's socket, asked without waiting: a connect to
// a local socket returns at once, so the View menu may ask whenever it opens.
#ifndef KOVRA_OUTPUT_PIPEWIRESOCKET_H
#define KOVRA_OUTPUT_PIPEWIRESOCKET_H

#include <string>

// The daemon's socket as PipeWire's clients find it: PIPEWIRE_REMOTE (a name, or a path), in
// PIPEWIRE_RUNTIME_DIR or else XDG_RUNTIME_DIR; empty when neither folder is set.
std::string PipeWireSocketPath();
// True when something listens there.
bool PipeWireAnswers(const std::string& path);

#endif
