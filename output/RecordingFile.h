// Where a recording goes: "Kovra YYYY-MM-DD HHMMSS.mkv" in Kovra/ under the user's videos
// folder, with " (2)" and on for a second recording within the same second.
#ifndef KOVRA_OUTPUT_RECORDINGFILE_H
#define KOVRA_OUTPUT_RECORDINGFILE_H

#include <ctime>
#include <string>

// The file's name for a recording begun at `when` (local time); `copy` 1 for the first.
std::string RecordingName(const std::tm& when, int copy);

// Makes a new, empty file for a recording begun at `when` in `videos`/Kovra (the folder made
// when missing; the videos folder itself must be there), so that no two recordings share one.
// False with `error` set when there is no such folder or it cannot be written.
bool CreateRecordingFile(const std::string& videos, const std::tm& when, std::string& path,
                         std::string& error);

#endif
