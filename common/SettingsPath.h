// Where the settings file lives: beside a program run from a folder of the user's own that no one
// else may write to, otherwise in the user's configuration folder (as for an installed program).
#ifndef KOVRA_APP_SETTINGSPATH_H
#define KOVRA_APP_SETTINGSPATH_H

#include <string>

// What the choice of place depends on; gathered by SettingsPath().
struct SettingsPlace {
    std::string programPath;    // absolute, links resolved; "" when unknown
    bool folderWritable;        // the program's folder is the user's own, writable by no one else
    std::string xdgConfigHome;  // the environment's values, "" when unset
    std::string home;
};

// A program outside /usr in such a folder keeps SettingsPathBeside(programPath), as a build
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

// True for a folder the user owns and may write, and group and others may not write.
bool FolderIsOwnAndPrivate(const std::string& folder);

// SettingsPathFor() of the program and the environment's XDG_CONFIG_HOME and HOME.
std::string SettingsPathOf(const std::string& program);

// SettingsPathOf() the running program.
std::string SettingsPath();

// Makes a folder and any missing folder above it, each with mode 0700; true when it is there.
bool MakeFolders(const std::string& folder);

// Right before the settings file is written: when it is the file in the user's configuration
// folder, makes that folder. Other folders (a program's own) are never made.
void MakeSettingsFolder(const std::string& settingsPath);

#endif  // KOVRA_APP_SETTINGSPATH_H
