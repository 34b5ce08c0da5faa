// File URIs with percent-encoded raw bytes; see FileUri.h.
#include "FileUri.h"

namespace {

constexpr const char* kScheme = "file://";
constexpr const char* kHex = "0123456789ABCDEF";

bool Unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string FileUriOfPath(const std::string& path)
{
    std::string uri = kScheme;
    for (const char byte : path) {
        const auto c = static_cast<unsigned char>(byte);
        if (Unreserved(c)) {
            uri += byte;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

bool PathOfFileUri(const std::string& uri, std::string& path)
{
    const std::string scheme = kScheme;
    if (uri.compare(0, scheme.size(), scheme) != 0) return false;
    std::string decoded;
    for (size_t i = scheme.size(); i < uri.size(); ++i) {
        if (uri[i] != '%') {
            decoded += uri[i];
            continue;
        }
        const int high = i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(uri[i + 2]) : -1;
        if (low < 0) return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (decoded.empty() || decoded[0] != '/' || decoded.find('\0') != std::string::npos)
        return false;
    path = decoded;
    return true;
}
