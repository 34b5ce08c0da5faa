// The shuffle route's rows on x86: SSSE3's byte shuffle, compiled for that one function and
// taken only when the processor reports SSSE3.
#include <tmmintrin.h>

#include "FramePathShuffle.h"

namespace {

__attribute__((target("ssse3"))) __m128i Load(const uint8_t* bytes)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("ssse3"))) void OneLoadPerQuad(const uint8_t* row,
                                                     const CFrameMemory::PixelQuad* quad,
                                                     const CFrameMemory::PixelQuad* end,
                                                     uint8_t* out)
{
    for (; quad != end; ++quad, out += 12) {
        const __m128i rgb = _mm_shuffle_epi8(Load(row + quad->load[0]), Load(quad->mask[0]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), rgb);
    }
}

__attribute__((target("ssse3"))) void TwoLoadsPerQuad(const uint8_t* row,
                                                      const CFrameMemory::PixelQuad* quad,
                                                      const CFrameMemory::PixelQuad* end,
                                                      uint8_t* out)
{
    for (; quad != end; ++quad, out += 12) {
        const __m128i left = _mm_shuffle_epi8(Load(row + quad->load[0]), Load(quad->mask[0]));
        const __m128i right = _mm_shuffle_epi8(Load(row + quad->load[1]), Load(quad->mask[1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(left, right));
    }
}

}  // namespace

bool FramePathShuffle::Available()
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    return ssse3;
}

void FramePathShuffle::ConvertRow(const uint8_t* row, const CFrameMemory::ScaleTables& tables,
                                  uint8_t* out)
{
    const CFrameMemory::PixelQuad* first = tables.quads.data();
    const CFrameMemory::PixelQuad* end = first + tables.quads.size();
    if (tables.quadLoads == 1)
        OneLoadPerQuad(row, first, end, out);
    else
        TwoLoadsPerQuad(row, first, end, out);
}
