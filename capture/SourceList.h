// Every entry a camera can show, in the order that DEVICE positions count: the devices (the
// cameras, then the test patterns), the clip files of the clips folder, the files the cameras
// remember from elsewhere, and last "Open File...", which chooses any file.
#ifndef KOVRA_CAPTURE_SOURCELIST_H
#define KOVRA_CAPTURE_SOURCELIST_H

#include <string>
#include <vector>

constexpr const char* kOpenFileEntry = "Open File...";

struct SourceListing {
    std::vector<std::string> names;  // position k is entry k - 1
    std::vector<std::string> files;  // each entry's file path; "" for a device and Open File
};

// Lists afresh, reading the clips folder; call it beside the window (the worker).
SourceListing ListSources();
// The same, with the given clips folder and remembered files (for tools and tests).
SourceListing ListSources(const std::string& folder, const std::vector<std::string>& remembered);

// The files the cameras remember: those not in the clips folder's listing are listed after it.
void SetRememberedFiles(std::vector<std::string> files);

// The 1-based position of a file in a listing; 0 when it is not there.
int PositionOfFile(const SourceListing& listing, const std::string& path);

// Whether a position is the listing's Open File entry.
bool IsOpenFileEntry(const SourceListing& listing, int position);

#endif
