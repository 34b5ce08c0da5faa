// The shuffle route's tables: which 16 camera bytes each quad of picture pixels loads and
// where each of its bytes goes. Plain C++; only the row itself needs the processor's shuffles.
#include "FramePathShuffle.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int kLoadBytes = 16;
constexpr uint8_t kNoByte = 0x80;  // a shuffle index with the top bit writes zero

// One quad from its four column offsets, split over the given number of loads (pixels 0-3 from
// one, or 0-1 and 2-3 from two). False when a load's pixels span more than 16 bytes.
bool FillQuad(CFrameMemory::PixelQuad& quad, const int* columns, int loads, int rowBytes)
{
    std::memset(quad.mask, kNoByte, sizeof quad.mask);
    quad.load[0] = quad.load[1] = 0;
    const int perLoad = 4 / loads;
    for (int l = 0; l < loads; ++l) {
        const int* pixels = columns + l * perLoad;
        const int first = *std::min_element(pixels, pixels + perLoad);
        const int end = *std::max_element(pixels, pixels + perLoad) + 3;
        // Near the right edge the load starts earlier, so that no load reads past the row's
        // last pixel (nor, on the frame's last row, past the frame).
        const int load = std::min(first, rowBytes - kLoadBytes);
        if (end - load > kLoadBytes) return false;
        quad.load[l] = load;
        for (int p = 0; p < perLoad; ++p) {
            uint8_t* rgb = &quad.mask[l][(l * perLoad + p) * 3];
            const int blue = pixels[p] - load;
            rgb[0] = static_cast<uint8_t>(blue + 2);
            rgb[1] = static_cast<uint8_t>(blue + 1);
            rgb[2] = static_cast<uint8_t>(blue);
        }
    }
    return true;
}

}  // namespace

void FramePathShuffle::MakeQuads(CFrameMemory::ScaleTables& tables, int w)
{
    tables.quads.clear();
    tables.quadLoads = 0;
    const int rowBytes = w * 3;
    const size_t pictureRowBytes = tables.columnOffset.size() * 3;
    if (!tables.allColumnsInside || rowBytes < kLoadBytes || pictureRowBytes < kLoadBytes) return;

    // Each quad writes 12 bytes with a store of 16: the last store ends inside the row.
    const size_t count = (pictureRowBytes - kLoadBytes) / 12 + 1;
    for (int loads : {1, 2}) {
        std::vector<CFrameMemory::PixelQuad> quads(count);
        bool fits = true;
        for (size_t q = 0; q < count && fits; ++q)
            fits = FillQuad(quads[q], &tables.columnOffset[q * 4], loads, rowBytes);
        if (fits) {
            tables.quads = std::move(quads);
            tables.quadLoads = loads;
            return;
        }
    }
}
