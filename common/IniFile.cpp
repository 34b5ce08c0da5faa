// The settings file layer: an INI reader and a line-preserving INI editor with the Windows
// private-profile semantics; IniFileIo does the reading and replacing on disk.
#include "IniFile.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "IniFileIo.h"
#include "LeadingDigits.h"

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

// The profile-integer read: blanks, an optional sign, then the leading digits; saturating.
int ParseProfileInt(const std::string& value, size_t pos)
{
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
    const int64_t beyondMax = static_cast<int64_t>(INT_MAX) + 1;
    const LeadingDigits read = ReadLeadingDigits(value.data(), value.size(), pos, beyondMax);
    return static_cast<int>(read.negative ? -read.magnitude
                                          : std::min<int64_t>(read.magnitude, INT_MAX));
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

// Removes every line of the key from the first section of that name.
void RemoveKey(std::vector<Line>& lines, const std::string& section, const std::string& key)
{
    SectionRange range = FindSection(lines, section);
    if (range.header >= lines.size()) return;
    for (size_t i = range.end; i-- > range.header + 1;) {
        Parsed p = Classify(lines[i].body);
        if (p.kind == Kind::Key && SameName(p.name, key))
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

}  // namespace

IniProfile::IniProfile(std::string path) : m_path(std::move(path)) {}

void IniProfile::Load()
{
    if (m_loaded) return;
    // Anything that is not a readable settings file reads as a missing one.
    if (!ReadIniText(m_path, m_text)) m_text.clear();
    m_loaded = true;
}

bool IniProfile::FindValue(const std::string& section, const std::string& key, std::string& body,
                           size_t& valuePos)
{
    Load();
    std::vector<Line> lines = SplitLines(m_text);
    SectionRange range = FindSection(lines, Trim(section));
    for (size_t i = range.header + 1; i < range.end; ++i) {
        Parsed p = Classify(lines[i].body);
        if (p.kind == Kind::Key && SameName(p.name, Trim(key))) {
            body = lines[i].body;
            valuePos = p.valuePos;
            return true;
        }
    }
    return false;
}

int IniProfile::GetInt(const std::string& section, const std::string& key, int defaultValue)
{
    std::string body;
    size_t pos = 0;
    return FindValue(section, key, body, pos) ? ParseProfileInt(body, pos) : defaultValue;
}

bool IniProfile::GetString(const std::string& section, const std::string& key, std::string& value)
{
    std::string body;
    size_t pos = 0;
    if (!FindValue(section, key, body, pos)) return false;
    value = Trim(body.substr(std::min(pos, body.size())));
    return true;
}

std::vector<std::string> IniProfile::Keys(const std::string& section)
{
    Load();
    std::vector<std::string> keys;
    std::vector<Line> lines = SplitLines(m_text);
    SectionRange range = FindSection(lines, Trim(section));
    for (size_t i = range.header + 1; i < range.end; ++i) {
        Parsed p = Classify(lines[i].body);
        if (p.kind == Kind::Key) keys.push_back(p.name);
    }
    return keys;
}

bool IniProfile::Set(const std::string& section, const std::string& key, const std::string& value)
{
    Entry entry{Trim(section), Trim(key), value};
    if (!Storable(entry.section, entry.key, entry.value)) return false;
    m_pending.push_back(std::move(entry));
    return true;
}

bool IniProfile::Remove(const std::string& section, const std::string& key)
{
    Entry entry{Trim(section), Trim(key), "", true};
    if (!Storable(entry.section, entry.key, entry.value)) return false;
    m_pending.push_back(std::move(entry));
    return true;
}

bool IniProfile::Commit()
{
    if (m_path.empty()) return false;
    if (m_pending.empty()) return true;
    const bool written = UpdateIniFile(
        m_path,
        [this](std::string& text) {
            std::vector<Line> lines = SplitLines(text);
            for (const Entry& e : m_pending) {
                if (e.remove)
                    RemoveKey(lines, e.section, e.key);
                else
                    SetKey(lines, e.section, e.key, e.value);
            }
            text.clear();
            for (const Line& line : lines) text += line.body + line.ending;
        },
        m_private);
    if (written) m_pending.clear();
    return written;
}

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& path)
{
    return IniProfile(path).GetInt(section, key, defaultValue);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path)
{
    IniProfile profile(path);
    return profile.Set(section, key, value) && profile.Commit();
}
