// Obviously-correct references for expanded brush patterns, written from the definition of
// the layout rather than from the library's loops: device pixel (row, column) of plane p is
// sample p of source pixel (row / yFactor, column / xFactor), stored at
// row x 3 x Width + p x Width + column.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace marltest {

using Rgb = std::array<uint8_t, 3>;
using SourcePixel = std::function<Rgb(int32_t row, int32_t column)>;

std::vector<uint8_t> ReferencePattern(int32_t width, int32_t height, int32_t xFactor,
                                      int32_t yFactor, const SourcePixel& pixel);

Rgb ColorRgb(uint32_t color);

// A random 1-bit image as rows of booleans, biased neither way.
std::vector<std::vector<bool>> RandomBits(int32_t width, int32_t height, std::mt19937& random);
// Packs rows of booleans into 1-bit rows: row r of the image at r x rowStride, leftmost pixel
// in the most significant bit; bytes not covered stay as they are.
void PackBits(const std::vector<std::vector<bool>>& image, uint8_t* bits, uint32_t rowStride);

// The hatch line rule at rows x columns, as the lines are described: row 0 (horizontal),
// column 0 (vertical), the step of k = columns / rows pixels per row for the diagonals.
bool HatchRuleBit(uint32_t hatch, int32_t row, int32_t column, int32_t rows, int32_t columns);

} // namespace marltest
