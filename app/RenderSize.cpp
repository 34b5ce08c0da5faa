// The render size and its cap; see RenderSize.h.
#include "RenderSize.h"

#include <algorithm>
#include <cmath>

int ParseRenderCap(const std::string& text)
{
    if (text == "0") return 0;
    if (text.empty() || text.size() > 6) return kDefaultRenderCap;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return kDefaultRenderCap;
        value = value * 10 + (c - '0');
    }
    return value < kLowestRenderCap ? kDefaultRenderCap : value;
}

PixelSize RenderSizeFor(PixelSize output, int cap)
{
    if (cap <= 0 || output.height <= cap) return output;
    const double width = static_cast<double>(output.width) * cap / output.height;
    return {std::max(1, static_cast<int>(std::lround(width))), cap};
}
