// Expansion of brush patterns into the device form that fills and transfers tile with:
// Height rows of 3 x Width bytes, each row holding the plane 0, plane 1 and plane 2 runs of
// Width samples one after the other, already enlarged by the device factors.
//
// Every routine builds the first row of each enlarged row group pixel by pixel and makes the
// other rows of the group with block copies. The destination must hold
// (height x yFactor) rows of (width x xFactor x 3) bytes. Sizes that PatternSizeFits refuses
// (non-positive counts or factors, 16-bit products that overflow) are not expanded at all:
// the routines then write nothing.
#pragma once

#include "marlrend/records.h"

#include <cstdint>

namespace marl {

// True when a width x height source enlarged by the factors gives a pattern the brush
// record can describe: every count and factor positive, the row byte count
// width x xFactor x 3 below 32768, the height height x yFactor a positive signed 16-bit
// value, and the whole pattern (Width x Height x 3 bytes) a positive 32-bit size.
bool PatternSizeFits(int32_t width, int32_t height, int32_t xFactor, int32_t yFactor);

// A 1-bit source (rows of widthBytes bytes, most significant bit leftmost) in two colours:
// set bits take the fore samples, clear bits the back samples.
void ExpandMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                       int32_t widthBytes, int32_t xFactor, int32_t yFactor, uint8_t fore0,
                       uint8_t fore1, uint8_t fore2, uint8_t back0, uint8_t back1, uint8_t back2);

// A three-plane 8-bit source whose rows are 3 x width bytes with the planes width bytes
// apart (the expanded layout itself). Factors 1 and 1 make a plain copy.
void ExpandColorPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                        int32_t xFactor, int32_t yFactor);

// A three-plane 8-bit bitmap whose planes are widthBytes apart (rows 3 x widthBytes bytes),
// for bitmaps padded beyond their width, where ExpandColorPattern would read padding as
// pixels. widthBytes must be at least width.
void ExpandPaddedColorPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                              int32_t height, int32_t widthBytes, int32_t xFactor, int32_t yFactor);

// A single 8-bit plane (rows of widthBytes bytes) as grey: each sample goes to all three
// planes.
void ExpandGreyPattern(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
                       int32_t widthBytes, int32_t xFactor, int32_t yFactor);

// Three 1-bit planes (rows of 3 x widthBytes bytes, plane k at + k x widthBytes): each plane's
// bit gives 255 (set) or 0 (clear) in the same plane of the pattern.
void ExpandPlanarMonoPattern(const uint8_t* source, uint8_t* destination, int32_t width,
                             int32_t height, int32_t widthBytes, int32_t xFactor, int32_t yFactor);

// A hatch bit table already of device size (rows rows of columns / 8 bytes, most significant
// bit leftmost) in the brush's Color (set bits) and BackColor (clear bits); no enlargement.
void ExpandHatch(int32_t rows, int32_t columns, const uint8_t* table, const RealizedBrush& brush,
                 uint8_t* destination);

} // namespace marl
