// The rules that find a remembered screen again; see ScreenMatch.h.
#include "ScreenMatch.h"

namespace {

template <typename Rule>
int FirstWhere(const std::vector<ScreenId>& screens, Rule rule)
{
    for (size_t i = 0; i < screens.size(); ++i) {
        if (rule(screens[i])) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

int MatchScreen(const std::vector<ScreenId>& screens, const ScreenId& chosen)
{
    if (chosen.name.empty() && chosen.serial.empty()) return -1;
    int found = -1;
    if (!chosen.serial.empty()) {
        found = FirstWhere(screens, [&](const ScreenId& s) { return s.serial == chosen.serial; });
    }
    // A model alone would take the wrong one of two alike projectors.
    if (found < 0 && !chosen.model.empty()) {
        found = FirstWhere(screens, [&](const ScreenId& s) {
            return s.model == chosen.model && s.name == chosen.name;
        });
    }
    if (found < 0 && !chosen.name.empty()) {
        found = FirstWhere(screens, [&](const ScreenId& s) { return s.name == chosen.name; });
    }
    return found;
}

std::string ScreenLabel(const ScreenId& screen, int width, int height)
{
    std::string label = screen.name;
    if (!screen.model.empty()) label += ": " + screen.model;
    return label + " (" + std::to_string(width) + "x" + std::to_string(height) + ")";
}
