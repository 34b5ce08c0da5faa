// Opening a clip or still picture safely: only a regular file is ever opened for reading, and
// nothing here blocks. Internal to the capture subsystem.
#ifndef KOVRA_CAPTURE_CLIPFILE_H
#define KOVRA_CAPTURE_CLIPFILE_H

#include <string>

// An open regular file, closed with its owner.
class CClipFile {
public:
    CClipFile() = default;
    ~CClipFile();
    CClipFile(const CClipFile&) = delete;
    CClipFile& operator=(const CClipFile&) = delete;

    // Looks at `path` without opening it for reading (a FIFO, a folder, a device or a link
    // loop is refused there), then opens that same file, non-blocking, for reading. False,
    // with the reason in `problem`, when it is missing or no regular file.
    bool Open(const std::string& path, std::string& problem);
    int Fd() const { return m_fd; }
    // True once the file has no name left: deleted, or replaced by another under its name.
    bool Removed() const;
    // The name under which any reader reaches this same open file (not the path again, which
    // may have been replaced since).
    std::string ProcPath() const;

private:
    int m_fd = -1;
};

#endif
