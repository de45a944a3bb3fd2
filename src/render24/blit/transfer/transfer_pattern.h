// The pattern of a block transfer: the brush's expanded pattern tiled from the brush origin,
// or one solid colour.
#pragma once

#include "marlrend/records.h"
#include "render24/blit/transfer/transfer_colours.h"

#include <cstdint>

namespace marl {

struct TransferPattern {
    uint32_t BrushPattern = 0; // for Build: non-zero when P comes from pattern rows
    uint32_t Color = 0;        // solid P when BrushPattern is 0
    uint32_t Width = 0;        // samples per plane run of a pattern row
    uint32_t Height = 0;
    uint32_t Phase = 0; // pattern column of the first destination column
    int32_t OriginY = 0;
    const uint8_t* Bits = nullptr;

    bool FromRows() const { return BrushPattern != 0; }
    // The pattern row for destination row r: three plane runs of Width samples.
    const uint8_t* Row(uint32_t r) const;
    // The index of that row among the pattern's rows.
    uint32_t RowIndex(uint32_t r) const;
};

// position - origin brought into 0 .. size - 1 (size > 0).
uint32_t PatternIndex(int32_t position, int32_t origin, int32_t size);

// True when the brush has an expanded pattern to tile: a positive Width and Height and Bits.
bool HasPatternRows(const RealizedBrush& brush);

// The pattern for a transfer whose first column is x. brush may be null (no brush: the solid
// text colour of colors). A brush without pattern rows paints its Color. False when the
// brush's pattern cannot be read.
bool SelectPattern(const RealizedBrush* brush, uint32_t x, const DrawColors& colors,
                   TransferPattern& pattern);

// A 1-bit pattern brush last expanded with other colours than `colours` is expanded again in
// place and remembers the new colours; any other brush is left alone. Answers whether the
// pattern was expanded.
bool RecolourMonoPattern(RealizedBrush& brush, const MonoColours& colours);

} // namespace marl
