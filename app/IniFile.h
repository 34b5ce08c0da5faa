// The settings file layer: reads integers from and writes strings to an INI file the way the
// Windows private-profile calls do, so the settings file keeps its familiar format.
#ifndef KOVRA_APP_INIFILE_H
#define KOVRA_APP_INIFILE_H

#include <string>

// Returns the integer under [section] key in the file at path, or defaultValue when the file,
// the section or the key is missing. Names match without regard to ASCII case or surrounding
// blanks; the first matching section, and its first matching key, count. The value is read as
// leading blanks, an optional sign and the leading decimal digits ("12abc" is 12, "abc" is 0),
// saturating at INT_MAX and INT_MIN.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// Sets [section] key=value in the file at path, creating the key, the section or the file as
// needed; every other line is kept byte for byte. The file is replaced atomically, keeping its
// permission bits, so a failure leaves the old file untouched. Returns false on any failure,
// names or values the file cannot hold (an empty name, a line break, '=' in the key, ']' in the
// section, or a key that would read back as a comment or a section line).
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

#endif  // KOVRA_APP_INIFILE_H
