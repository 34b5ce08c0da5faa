// Where the settings file lives: beside a program run from a writable folder of the user's own,
// otherwise in the user's configuration folder (an installed program cannot write beside itself).
#ifndef KOVRA_APP_SETTINGSPATH_H
#define KOVRA_APP_SETTINGSPATH_H

#include <string>

// What the choice of place depends on; gathered by SettingsPath().
struct SettingsPlace {
    std::string programPath;    // absolute, links resolved; "" when unknown
    bool folderWritable;        // the program's folder can take a new file
    std::string xdgConfigHome;  // the environment's values, "" when unset
    std::string home;
};

// A program outside /usr in a writable folder keeps SettingsPathBeside(programPath), as a build
// or a copy in one's home folder does; any other gets "Kovra.ini" in the "kovra" folder of
// $XDG_CONFIG_HOME, or of ~/.config when that is unset, empty or relative. With neither
// variable usable it stays beside the program, where a write may fail.
std::string SettingsPathFor(const SettingsPlace& place);

// The program path with its file name's extension replaced by ".ini", or ".ini" appended when the
// file name has none. Dots in directory names and a file name's leading dots do not count.
std::string SettingsPathBeside(const std::string& programPath);

// The running program's absolute path with symbolic links resolved, or "" when it cannot be
// found. A program file replaced or removed while running still gives its original path.
std::string ProgramPath();

// The settings file in the user's configuration folder, by the rule of SettingsPathFor(); ""
// when neither value is usable.
std::string UserSettingsPath(const std::string& xdgConfigHome, const std::string& home);

// SettingsPathFor() of the running program and the environment's XDG_CONFIG_HOME and HOME.
std::string SettingsPath();

// Makes a folder and any missing folder above it, each with mode 0700; true when it is there.
bool MakeFolders(const std::string& folder);

// Right before the settings file is written: when it is the file in the user's configuration
// folder, makes that folder. Other folders (a program's own) are never made.
void MakeSettingsFolder(const std::string& settingsPath);

#endif  // KOVRA_APP_SETTINGSPATH_H
