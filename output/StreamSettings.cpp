// The stream's settings; see StreamSettings.h.
#include "StreamSettings.h"

#include <arpa/inet.h>

namespace {

const char kScheme[] = "srt://";
// SRT's bounds for a passphrase.
constexpr size_t kShortestPassphrase = 10;
constexpr size_t kLongestPassphrase = 79;

// The host of an srt:// address: "[::1]" without its brackets, "" for none.
std::string Host(const std::string& uri)
{
    const size_t begin = sizeof kScheme - 1;
    const size_t end = uri.find_first_of("/?", begin);
    std::string authority = uri.substr(begin, end == std::string::npos ? end : end - begin);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return close == std::string::npos ? authority : authority.substr(1, close - 1);
    }
    return authority.substr(0, authority.rfind(':'));
}

}  // namespace

std::string StreamRefusal(const StreamSettings& settings)
{
    if (settings.uri.compare(0, sizeof kScheme - 1, kScheme) != 0)
        return "STREAMURI \"" + settings.uri + "\" is not an srt:// address";
    const size_t length = settings.passphrase.size();
    if (length != 0 && (length < kShortestPassphrase || length > kLongestPassphrase))
        return "STREAMPASSPHRASE must be 10 to 79 characters long";
    return {};
}

bool ListensBeyondLocalhost(const std::string& uri)
{
    const std::string host = Host(uri);
    in_addr v4;
    in6_addr v6;
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) != 127;
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return !IN6_IS_ADDR_LOOPBACK(&v6);
    return host != "localhost";
}
