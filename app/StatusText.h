// The status line shown as the main window's title.
#ifndef KOVRA_APP_STATUSTEXT_H
#define KOVRA_APP_STATUSTEXT_H

#include <string>

// "Kovra 1.00 EFF:3 C1:64 C2:127 FS:29.8"
std::string StatusText(int effect, int ctrl1, int ctrl2, float fps);

#endif
