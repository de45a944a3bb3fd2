// How a block transfer reads its source bitmap: the depth, the conversion its rows need, and
// how many pixels one row can give without reading past it.
#pragma once

#include "marlrend/records.h"
#include "render24/blit/transfer/source_conversion.h"

#include <cstdint>

namespace marl {

// The sample depth the routines are told for rows already in three-plane form.
inline constexpr uint16_t kPlaneSourceBits = 24;
inline constexpr uint32_t kUnlimitedRowPixels = 0xFFFFFFFF;

struct SourceLayout {
    uint16_t Depth = 0; // Planes x BitsPixel, a 16-bit product
    ConversionMode Mode = ConversionMode::None;
    // Rows the routines or the conversions can take: depth 1, 4 or 8, or three planes of
    // 8 bits. Anything else reaches the routine as no source at all.
    bool Readable = false;
    // Pixels one row holds from the first pixel on (for a converted 1-bit row, from the bit
    // phase on); kUnlimitedRowPixels when the rows are never read.
    uint32_t RowPixels = kUnlimitedRowPixels;
};

// monoExpand: non-zero asks for a 1-bit source in colour, its low three bits are the bit
// position of the first pixel.
SourceLayout DescribeSource(const BitmapHeader& header, uint16_t monoExpand);

// True when `rows` whole rows from the start of the pixel data can be read.
bool SourceRowsReadable(const BitmapHeader& header, uint32_t rows);

} // namespace marl
