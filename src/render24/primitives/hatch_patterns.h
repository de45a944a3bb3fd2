// The hatch bit images of hatched brushes, one per hatch style and device size.
//
// Six styles (0 horizontal, 1 vertical, 2 and 3 the two diagonals, 4 cross, 5 diagonal
// cross), each drawn at five sizes (rows x columns): 8 x 8, 8 x 16, 16 x 16, 16 x 32 and
// 32 x 32, the sizes a pattern of 8 x 8 brush pixels takes under the supported device
// factors. An image holds columns / 8 bytes per row, most significant bit leftmost, rows top
// first; lines stay one device pixel thick and a diagonal steps columns / rows pixels per
// row. The images of one style take 248 bytes, in the size order above, and the styles are
// stored in the order 0, 1, 4, 2, 3, 5.
#pragma once

#include <array>
#include <cstdint>

namespace marl {

inline constexpr uint32_t kHatchStyleCount = 6;
inline constexpr uint32_t kHatchSizeCount = 5;
inline constexpr uint32_t kHatchStyleBytes = 248;

// (rows, columns) of the five sizes, in storage order.
inline constexpr std::array<std::array<int32_t, 2>, kHatchSizeCount> kHatchSizes = {
    {{8, 8}, {8, 16}, {16, 16}, {16, 32}, {32, 32}}};
// Hatch style stored at each position.
inline constexpr std::array<uint32_t, kHatchStyleCount> kHatchStorageOrder = {0, 1, 4, 2, 3, 5};

extern const std::array<uint8_t, kHatchStyleCount * kHatchStyleBytes> HatchPatterns;

// The image of hatch style `hatch` at rows x columns, or null when the style is above 5 or
// the size is not one of the five.
const uint8_t* SelectHatchPattern(uint32_t hatch, int32_t rows, int32_t columns);

} // namespace marl
