// Conversion of 1-, 4- and 8-bit source rows into the three-plane form the row routines read.
//
// Only rows that need colour are converted, one at a time, into one ConversionRow that the
// whole transfer reuses: three plane runs of Pixels bytes (plane k at k x Pixels).
#pragma once

#include "render24/blit/transfer/transfer_colours.h"

#include <cstdint>

namespace marl {

enum class ConversionMode : uint8_t { None, Mono, Index4, Index8 };

struct ConversionRow {
    uint8_t* Bytes = nullptr;
    uint32_t Pixels = 0;
};

// A palette bounded by what can be read of it. An index at or beyond Count has no entry and
// is written as grey (the index itself in all three planes), as without a palette.
struct SourcePalette {
    const uint8_t* Entries = nullptr;
    uint32_t Count = 0;
};

// The first `wanted` entries of the palette, or as many of them as are readable.
SourcePalette ReadablePalette(const uint8_t* palette, uint32_t wanted);

// Pixel i takes Back when its bit is set, Text when clear. Pixel 0 is at bit position
// bitPhase (0 = most significant bit) of the first byte; after position 7 comes the next byte.
void ConvertMonoRow(const uint8_t* bits, uint32_t bitPhase, const MonoColours& colours,
                    const ConversionRow& row);
// One index per byte.
void ConvertIndex8Row(const uint8_t* indices, const SourcePalette& palette,
                      const ConversionRow& row);
// Two indices per byte, the first pixel in the high nibble.
void ConvertIndex4Row(const uint8_t* nibbles, const SourcePalette& palette,
                      const ConversionRow& row);

// Converts one source row by mode; nothing for ConversionMode::None.
void ConvertSourceRow(ConversionMode mode, const uint8_t* sourceRow, uint32_t bitPhase,
                      const MonoColours& colours, const SourcePalette& palette,
                      const ConversionRow& row);

} // namespace marl
