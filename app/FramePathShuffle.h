// The frame path's shuffle route: four picture pixels per SSSE3 byte shuffle where the
// processor has SSSE3 (asked at run time: the amd64 package assumes no more than SSE2).
#ifndef KOVRA_APP_FRAMEPATHSHUFFLE_H
#define KOVRA_APP_FRAMEPATHSHUFFLE_H

#include <cstddef>
#include <cstdint>

#include "FrameMemory.h"

namespace FramePathShuffle {

// True when this processor can take the route (built for x86 and the processor has SSSE3).
bool Available();

// Fills the tables' quads for a camera w pixels wide from their column offsets, or leaves
// them empty where the format does not suit (a column outside the frame, a camera or picture
// row too narrow, a step too wide for two loads of 16 bytes).
void MakeQuads(CFrameMemory::ScaleTables& tables, int w);

// Writes the leading 4 * tables.quads.size() pixels of a picture row from the camera row
// starting at row. Reads only that row's pixel bytes; writes 4 bytes past those pixels, which
// the rest of the row then overwrites.
void ConvertRow(const uint8_t* row, const CFrameMemory::ScaleTables& tables, uint8_t* out);

}  // namespace FramePathShuffle

#endif
