// Builds the status line from the program's name and version and the performance values.
#include "StatusText.h"

#include <cstdio>

std::string StatusText(int effect, int ctrl1, int ctrl2, float fps)
{
    std::string text = "Kovra 1.00";
    char number[32];
    std::snprintf(number, sizeof number, "%d", effect);
    text += " EFF:";
    text += number;
    std::snprintf(number, sizeof number, "%d", ctrl1);
    text += " C1:";
    text += number;
    std::snprintf(number, sizeof number, "%d", ctrl2);
    text += " C2:";
    text += number;
    std::snprintf(number, sizeof number, "%.1f", static_cast<double>(fps));
    text += " FS:";
    text += number;
    return text;
}
