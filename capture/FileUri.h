// A file's path as a file:// URI whose every byte outside the unreserved set is
// percent-encoded, so that any name, even one that is not UTF-8, survives a settings file.
#ifndef KOVRA_CAPTURE_FILEURI_H
#define KOVRA_CAPTURE_FILEURI_H

#include <string>

// "file://" and the path's raw bytes, '/' kept and every other byte but A-Z a-z 0-9 - . _ ~
// as %XX.
std::string FileUriOfPath(const std::string& path);

// The path's raw bytes back from such a URI; false (and `path` unchanged) when `uri` is not a
// file:// URI of an absolute path or holds a broken escape or a NUL.
bool PathOfFileUri(const std::string& uri, std::string& path);

#endif
