// The shuffle route where the build is not for x86: never available, so the tables carry no
// quads and every row goes byte by byte.
#include "FramePathShuffle.h"

bool FramePathShuffle::Available() { return false; }

void FramePathShuffle::ConvertRow(const uint8_t*, const CFrameMemory::ScaleTables&, uint8_t*) {}
