// Mapping files through the settings file layer; see MappingFile.h.
#include "MappingFile.h"

#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
#include <vector>

#include "IniFile.h"
#include "SettingsPath.h"

namespace {

constexpr const char* kSection = "BINDINGS";
constexpr size_t kMaxNameBytes = 100;

bool Kept(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '-' || c == '_' || c == '.' || c == '(' || c == ')';
}

// The bytes one UTF-8 character starting with `lead` takes; 1 for a byte that starts none.
size_t Utf8Length(unsigned char lead)
{
    if (lead >= 0xC0 && lead < 0xE0) return 2;
    if (lead >= 0xE0 && lead < 0xF0) return 3;
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    return 1;
}

uint32_t Fnv1a(const std::string& bytes)
{
    uint32_t hash = 2166136261u;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

// A decimal number of at most three digits, nothing else.
bool ParseNumber(const std::string& text, int& number)
{
    if (text.empty() || text.size() > 3) return false;
    number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    return true;
}

std::string Trim(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string MappingFileName(const std::string& deviceName)
{
    std::string clean;
    for (size_t i = 0; i < deviceName.size() && clean.size() < kMaxNameBytes;) {
        const unsigned char c = static_cast<unsigned char>(deviceName[i]);
        if (Kept(c)) {
            clean += static_cast<char>(c);
            ++i;
            continue;
        }
        // One '_' for a whole character, however many bytes it takes.
        clean += '_';
        size_t length = Utf8Length(c);
        ++i;
        while (--length > 0 && i < deviceName.size() &&
               (static_cast<unsigned char>(deviceName[i]) & 0xC0) == 0x80)
            ++i;
    }
    char hash[9];
    std::snprintf(hash, sizeof hash, "%08x", static_cast<unsigned>(Fnv1a(deviceName)));
    return clean + "-" + hash + ".ini";
}

std::string MappingFilePath(const std::string& settingsPath, const std::string& deviceName)
{
    const size_t slash = settingsPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : settingsPath.substr(0, slash + 1);
    return folder + "controllers/" + MappingFileName(deviceName);
}

std::string BindingKeyText(const MessageKey& key)
{
    const std::string channel = std::to_string(key.channel + 1);
    switch (key.type) {
        case MessageKey::Type::Note:
            return "NOTE " + channel + " " + std::to_string(key.number);
        case MessageKey::Type::Control:
            return "CC " + channel + " " + std::to_string(key.number);
        case MessageKey::Type::Program:
            break;
    }
    return "PC " + channel;
}

std::string BindingValueText(const Bindings::Actions& actions)
{
    if (actions.empty()) return "NONE";
    std::string text;
    for (Action action : actions) text += (text.empty() ? "" : ",") + ActionName(action);
    return text;
}

bool ParseBindingKey(const std::string& text, MessageKey& key)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) return false;
    const std::string& type = words[0];
    size_t expected = 3;
    if (SameText(type, "NOTE")) {
        key.type = MessageKey::Type::Note;
    } else if (SameText(type, "CC")) {
        key.type = MessageKey::Type::Control;
    } else if (SameText(type, "PC")) {
        key.type = MessageKey::Type::Program;
        expected = 2;
    } else {
        return false;
    }
    int channel = 0;
    key.number = 0;
    if (words.size() != expected || !ParseNumber(words[1], channel)) return false;
    if (expected == 3 && !ParseNumber(words[2], key.number)) return false;
    key.channel = channel - 1;
    return Bindable(key);
}

bool ParseBindingValue(const std::string& text, Bindings::Actions& actions)
{
    actions.clear();
    if (SameText(Trim(text), "NONE")) return true;
    std::istringstream in(text);
    for (std::string name; std::getline(in, name, ',');) {
        Action action;
        if (!ActionFromName(Trim(name), action)) return false;
        actions.push_back(action);
    }
    return !actions.empty();
}

// The binding of the line `name` in the file, false for a line Kovra does not know.
static bool ReadBindingLine(IniProfile& profile, const std::string& name, MessageKey& key,
                            Bindings::Actions& actions)
{
    std::string value;
    return ParseBindingKey(name, key) && profile.GetString(kSection, name, value) &&
           ParseBindingValue(value, actions);
}

Bindings ReadMappingFile(const std::string& path, const Bindings& defaults)
{
    Bindings bindings = defaults;
    IniProfile profile(path);
    std::set<MessageKey> seen;
    for (const std::string& name : profile.Keys(kSection)) {
        MessageKey key;
        Bindings::Actions actions;
        if (ReadBindingLine(profile, name, key, actions) && seen.insert(key).second)
            bindings.Set(key, actions);
    }
    return bindings;
}

bool WriteMappingFile(const std::string& path, const Bindings& bindings, const Bindings& defaults)
{
    // The messages whose actions differ from the defaults'.
    std::set<MessageKey> differing;
    for (const auto* side : {&bindings, &defaults}) {
        for (const auto& entry : side->All()) {
            if (bindings.Of(entry.first) != defaults.Of(entry.first)) differing.insert(entry.first);
        }
    }
    IniProfile profile(path);
    bool removing = false;
    for (const std::string& name : profile.Keys(kSection)) {
        MessageKey key;
        Bindings::Actions actions;
        if (!ReadBindingLine(profile, name, key, actions))
            continue;  // a line Kovra does not know stays
        // A line that will be set again under the same name is replaced in place.
        if (differing.count(key) == 0 || !SameText(name, BindingKeyText(key)))
            removing = profile.Remove(kSection, name) || removing;
    }
    if (differing.empty() && !removing) return true;
    for (const MessageKey& key : differing)
        profile.Set(kSection, BindingKeyText(key), BindingValueText(bindings.Of(key)));
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
    return profile.Commit();
}
