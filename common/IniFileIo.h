// The settings file on disk: a bounded read that never blocks, and the locked, atomic
// read-modify-write of the file. The rules are those described in IniFile.h.
#ifndef KOVRA_APP_INIFILEIO_H
#define KOVRA_APP_INIFILEIO_H

#include <functional>
#include <string>

// The text of the file at path; false when it is missing or not a readable settings file.
bool ReadIniText(const std::string& path, std::string& text);

// Under the folder's lock reads the file (empty text when missing), lets edit change the text
// and replaces the file with the result; false, with the file as it was, on any failure. A file
// made anew is readable by its owner alone when `ownerOnly`, else as the umask says.
bool UpdateIniFile(const std::string& path, const std::function<void(std::string& text)>& edit,
                   bool ownerOnly = false);

#endif  // KOVRA_APP_INIFILEIO_H
