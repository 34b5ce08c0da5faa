// The settings file layer: an INI reader and an atomic, line-preserving INI writer with the
// Windows private-profile semantics.
#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kBlanks = " \t\v\f\r";

struct Line {
    std::string body;    // the line without its ending
    std::string ending;  // "\n", "\r\n", or "" for a last line without one
};

enum class Kind { Section, Key, Other };

struct Parsed {
    Kind kind = Kind::Other;
    std::string name;     // section or key name, blanks trimmed
    size_t valuePos = 0;  // for a key: where its value starts in the body
};

std::string Trim(const std::string& s)
{
    size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos) return "";
    size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

std::vector<Line> SplitLines(const std::string& text)
{
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        size_t bodyEnd = (nl > start && text[nl - 1] == '\r') ? nl - 1 : nl;
        lines.push_back(
            {text.substr(start, bodyEnd - start), text.substr(bodyEnd, nl + 1 - bodyEnd)});
        start = nl + 1;
    }
    return lines;
}

Parsed Classify(const std::string& body)
{
    Parsed p;
    size_t first = body.find_first_not_of(kBlanks);
    if (first == std::string::npos || body[first] == ';' || body[first] == '#') return p;
    if (body[first] == '[') {
        // A '[' line without its ']' is no section header, as with the Windows reader.
        size_t close = body.find(']', first + 1);
        if (close != std::string::npos) {
            p.kind = Kind::Section;
            p.name = Trim(body.substr(first + 1, close - first - 1));
        }
        return p;
    }
    size_t eq = body.find('=');
    if (eq == std::string::npos) return p;
    p.name = Trim(body.substr(0, eq));
    if (p.name.empty()) return p;
    p.kind = Kind::Key;
    p.valuePos = eq + 1;
    return p;
}

// The first section of that name: its header line and the line after its last line. The header
// is lines.size() when the section is missing.
struct SectionRange {
    size_t header;
    size_t end;
};

SectionRange FindSection(const std::vector<Line>& lines, const std::string& name)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        Parsed p = Classify(lines[i].body);
        if (p.kind != Kind::Section || !SameName(p.name, name)) continue;
        size_t end = i + 1;
        while (end < lines.size() && Classify(lines[end].body).kind != Kind::Section) ++end;
        return {i, end};
    }
    return {lines.size(), lines.size()};
}

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file. Only a missing file reads as empty: a read error (a directory in the
// settings file's place gives EISDIR) must not let a write replace what could not be read.
ReadResult ReadText(const std::string& path, std::string& text, struct stat& info)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    bool ok = fstat(fd, &info) == 0;
    char buf[8192];
    while (ok) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ok ? ReadResult::Ok : ReadResult::Failed;
}

// The profile-integer read: blanks, an optional sign, then the leading digits; saturating.
int ParseProfileInt(const std::string& value, size_t pos)
{
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '+' || value[pos] == '-')) {
        negative = value[pos] == '-';
        ++pos;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    for (; pos < value.size() && value[pos] >= '0' && value[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (value[pos] - '0');
        if (magnitude > limit) magnitude = limit;  // keeps the sum far from int64 overflow
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The permission bits a newly created file gets; mkstemp's own 0600 when the mask is unknown.
// The mask is read from /proc rather than by umask(), which would change it for other threads.
mode_t NewFileMode()
{
    mode_t mode = 0600;
    if (FILE* f = fopen("/proc/self/status", "re")) {
        char line[256];
        while (fgets(line, sizeof line, f)) {
            unsigned mask;
            if (sscanf(line, "Umask: %o", &mask) == 1) {
                mode = 0666 & ~static_cast<mode_t>(mask);
                break;
            }
        }
        fclose(f);
    }
    return mode;
}

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes text to a temporary file beside target and renames it over target, so the settings file
// is either the old one or the whole new one. original is the old file's status, or null.
bool ReplaceFile(const std::string& target, const std::string& text, const struct stat* original)
{
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);  // with the terminating NUL
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = WriteAll(fd, text);
    if (ok) ok = fchmod(fd, original ? (original->st_mode & 07777) : NewFileMode()) == 0;
    if (ok && original && geteuid() == 0) {
        // Only root can hand the file back to its owner; not managing to is no reason to fail.
        (void)!fchown(fd, original->st_uid, original->st_gid);
    }
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(name.data(), target.c_str()) == 0;
    if (!ok) {
        unlink(name.data());
        return false;
    }
    // Makes the rename itself durable; the new file is complete either way.
    int dir = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool Storable(const std::string& section, const std::string& key, const std::string& value)
{
    auto hasBreak = [](const std::string& s) { return s.find_first_of("\r\n") != s.npos; };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return false;
    if (section.empty() || section.find(']') != section.npos) return false;
    if (key.empty() || key.find('=') != key.npos) return false;
    return key[0] != '[' && key[0] != ';' && key[0] != '#';
}

// Sets the key in the parsed file, adding it, or its section, where the Windows writer would.
void SetKey(std::vector<Line>& lines, const std::string& section, const std::string& key,
            const std::string& value)
{
    // New lines follow the file's own line ending; a new file gets "\n".
    std::string newline = "\n";
    for (const Line& line : lines) {
        if (!line.ending.empty()) {
            newline = line.ending;
            break;
        }
    }

    SectionRange range = FindSection(lines, section);
    size_t insertAt;
    std::vector<Line> added;
    if (range.header < lines.size()) {
        size_t lastKey = range.header;
        for (size_t i = range.header + 1; i < range.end; ++i) {
            Parsed p = Classify(lines[i].body);
            if (p.kind != Kind::Key) continue;
            if (SameName(p.name, key)) {
                lines[i].body = lines[i].body.substr(0, p.valuePos) + value;
                return;
            }
            lastKey = i;
        }
        insertAt = lastKey + 1;
        added.push_back({key + "=" + value, newline});
    } else {
        insertAt = lines.size();
        added.push_back({"[" + section + "]", newline});
        added.push_back({key + "=" + value, newline});
    }
    // A last line without an ending gets one before anything follows it.
    if (insertAt > 0 && lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = newline;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(), added.end());
}

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path)
{
    std::string text;
    struct stat info;
    if (ReadText(path, text, info) != ReadResult::Ok) return defaultValue;
    std::vector<Line> lines = SplitLines(text);
    SectionRange range = FindSection(lines, Trim(section));
    for (size_t i = range.header + 1; i < range.end; ++i) {
        Parsed p = Classify(lines[i].body);
        if (p.kind == Kind::Key && SameName(p.name, Trim(key))) {
            return ParseProfileInt(lines[i].body, p.valuePos);
        }
    }
    return defaultValue;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path)
{
    const std::string sectionName = Trim(section), keyName = Trim(key);
    if (path.empty() || !Storable(sectionName, keyName, value)) return false;

    // Writing through a symbolic link updates the file it points to and keeps the link.
    std::string target = path;
    if (char* real = realpath(path.c_str(), nullptr)) {
        target = real;
        free(real);
    }

    std::string text;
    struct stat info;
    ReadResult read = ReadText(target, text, info);
    if (read == ReadResult::Failed) return false;

    std::vector<Line> lines = SplitLines(text);
    SetKey(lines, sectionName, keyName, value);
    std::string out;
    for (const Line& line : lines) out += line.body + line.ending;
    return ReplaceFile(target, out, read == ReadResult::Ok ? &info : nullptr);
}
