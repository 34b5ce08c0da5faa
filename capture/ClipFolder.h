// The clips folder (Kovra/Clips in the user's videos folder) and which of its files the
// device list offers: regular files whose extension names a video or a picture.
#ifndef KOVRA_CAPTURE_CLIPFOLDER_H
#define KOVRA_CAPTURE_CLIPFOLDER_H

#include <string>
#include <vector>

// The clips folder's path; it need not exist.
std::string ClipsFolder();

// Whether a file name's extension (any case) is one of a video or a picture.
bool IsClipFileName(const std::string& name);

// The paths of the clip files directly in `folder`, sorted by file name (bytes); only regular
// files (a link counts as what it points to, a dangling one not at all). Nothing is opened,
// so a FIFO or a device never blocks the reading. None when the folder cannot be read.
std::vector<std::string> ListClipFolder(const std::string& folder);

// Whether `path` is a regular file now (following links).
bool IsRegularFile(const std::string& path);

// The last part of a path, as the list shows a file.
std::string FileNameOf(const std::string& path);

#endif
