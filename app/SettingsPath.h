// Where the settings file lives: beside the program, named after it with the extension ".ini".
#ifndef KOVRA_APP_SETTINGSPATH_H
#define KOVRA_APP_SETTINGSPATH_H

#include <string>

// The program path with its file name's extension replaced by ".ini", or ".ini" appended when the
// file name has none. Dots in directory names and a file name's leading dots do not count.
std::string SettingsPathFor(const std::string& programPath);

// The running program's absolute path with symbolic links resolved, or "" when it cannot be
// found. A program file replaced or removed while running still gives its original path.
std::string ProgramPath();

#endif  // KOVRA_APP_SETTINGSPATH_H
