// The size of the ways out, read as text; see OutSize.h.
#include "OutSize.h"

namespace {

constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1080;

// A whole number of at most five digits, nothing else; -1 otherwise.
int WholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 5) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool Fits(int value, int most) { return value > 0 && value <= most && value % 2 == 0; }

}  // namespace

OutSize ParseOutSize(const std::string& text)
{
    const std::string::size_type x = text.find('x');
    if (x == std::string::npos) return {};
    const int width = WholeNumber(text.substr(0, x));
    const int height = WholeNumber(text.substr(x + 1));
    if (!Fits(width, kMaxWidth) || !Fits(height, kMaxHeight)) return {};
    return {width, height};
}
