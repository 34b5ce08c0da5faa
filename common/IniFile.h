// The settings file layer: reads integers from and writes strings to an INI file the way the
// Windows private-profile calls do, so the settings file keeps its familiar format.
#ifndef KOVRA_APP_INIFILE_H
#define KOVRA_APP_INIFILE_H

#include <cstddef>
#include <string>
#include <vector>

// A settings file larger than this is no settings file: it reads as missing and is never
// written, so a wrong file in its place costs neither memory nor time.
constexpr size_t kMaxIniFileSize = 1024 * 1024;
// Except that a file read as the settings file is written back whatever its keys add, and
// still read at the next start when that took it past the limit by at most this much (far more
// than all of the program's keys and names together).
constexpr size_t kIniGrowthRoom = 64 * 1024;

// Only a regular file of at most kMaxIniFileSize + kIniGrowthRoom bytes is read, opened without
// blocking (a FIFO or a device in its place reads as missing). A file is written only when it is a
// regular file of ours that we may write (owner's write bit set, and write access), or is missing
// in a folder we may write; a symbolic link of ours or root's is written through to its target and
// stays a link, a dangling one or another user's is left alone. The new file replaces the old
// atomically under an advisory lock on a file of our own in the folder (".kovra-ini.lock",
// mode 0600), keeping the old file's permission bits and group; a failure leaves the old file
// and no temporary file behind.

// Returns the integer under [section] key in the file at path, or defaultValue when the file,
// the section or the key is missing. Names match without regard to ASCII case or surrounding
// blanks; the first matching section, and its first matching key, count. The value is read as
// leading blanks, an optional sign and the leading decimal digits ("12abc" is 12, "abc" is 0),
// saturating at INT_MAX and INT_MIN.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path);

// Sets [section] key=value in the file at path, creating the key, the section or the file as
// needed; every other line is kept byte for byte. Returns false on any failure (see above),
// names or values the file cannot hold (an empty name, a line break, '=' in the key, ']' in the
// section, or a key that would read back as a comment or a section line).
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path);

// Several settings in one read and one write: the file is read once for all GetInt calls, and
// Commit applies every Set in one read-modify-write of the file as it is then, so keys another
// writer stored meanwhile survive and a kill at any moment leaves the old or the whole new file.
class IniProfile {
public:
    explicit IniProfile(std::string path);

    int GetInt(const std::string& section, const std::string& key, int defaultValue);
    // The text after '=' without surrounding blanks; false, and value unchanged, when the file,
    // section or key is missing.
    bool GetString(const std::string& section, const std::string& key, std::string& value);
    // The names of the keys of the first section of that name, in file order, as the file
    // spells them without surrounding blanks; empty when the file or the section is missing.
    // Like the reads, it sees the file as it was read, not the queued changes.
    std::vector<std::string> Keys(const std::string& section);
    // Queues the value; false, and nothing queued, when the file cannot hold the names or value.
    bool Set(const std::string& section, const std::string& key, const std::string& value);
    // Queues the removal of every line of that key in the section; one that is missing is no
    // failure. False, and nothing queued, for names the file cannot hold.
    bool Remove(const std::string& section, const std::string& key);
    // Writes the queued values; false when the file could not be written.
    bool Commit();
    // A file this profile's commit makes is readable by its owner alone (it holds a secret).
    void KeepPrivate() { m_private = true; }
    const std::string& Path() const { return m_path; }

private:
    void Load();
    bool FindValue(const std::string& section, const std::string& key, std::string& body,
                   size_t& valuePos);

    struct Entry {
        std::string section, key, value;
        bool remove = false;
    };
    std::string m_path;
    bool m_loaded = false;
    std::string m_text;
    std::vector<Entry> m_pending;
    bool m_private = false;
};

// Removes the temporary files that writers of the settings file in path's folder left when they
// were killed; a temporary file whose writer still runs is kept.
void RemoveStaleIniTempFiles(const std::string& path);

// For tests: points of a commit at which a hook is called, so a test can stop or kill a writer
// at a chosen moment.
enum class IniStage {
    LockBusy,     // another writer holds the folder's lock; called once per commit
    Read,         // inside the lock, the file read
    TempWritten,  // the new file complete beside the old, not yet renamed over it
    Replaced,     // the new file in place, lock still held
};
void SetIniStageHook(void (*hook)(IniStage stage));

#endif  // KOVRA_APP_INIFILE_H
