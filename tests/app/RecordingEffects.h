// A stand-in for the effects library that records the calls it gets, for the frame-loop
// tests: which effect was reset and drawn, and in which order.
#ifndef KOVRA_TESTS_APP_RECORDINGEFFECTS_H
#define KOVRA_TESTS_APP_RECORDINGEFFECTS_H

#include <string>
#include <vector>

// "init", "reset 5", "draw 5 c1 c2" in call order.
std::vector<std::string>& RecordedEffectCalls();

#endif
