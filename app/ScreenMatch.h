// Which of the screens the system lists is the one the performer chose for the output. A
// connector's name changes between machines and a serial number can be empty, so the screen
// is looked for by its serial number, then by model and name together, then by name alone.
#ifndef KOVRA_APP_SCREENMATCH_H
#define KOVRA_APP_SCREENMATCH_H

#include <string>
#include <vector>

struct ScreenId {
    std::string name;    // the connector, "HDMI-1"
    std::string model;   // "Model X"
    std::string serial;  // may be empty
};

// The position of the chosen screen in `screens`, or -1 when none of them is it (or nothing
// was chosen: an empty name means the window's own screen).
int MatchScreen(const std::vector<ScreenId>& screens, const ScreenId& chosen);

// How the Output Screen menu names a screen: "HDMI-1: Model X (1920x1080)".
std::string ScreenLabel(const ScreenId& screen, int width, int height);

#endif
