#include "support/pattern_reference.h"

namespace marltest {

std::vector<uint8_t> ReferencePattern(int32_t width, int32_t height, int32_t xFactor,
                                      int32_t yFactor, const SourcePixel& pixel) {
    const int32_t outWidth = width * xFactor;
    const int32_t outHeight = height * yFactor;
    std::vector<uint8_t> pattern(static_cast<size_t>(outWidth) * outHeight * 3);
    for (int32_t row = 0; row < outHeight; ++row)
        for (int32_t column = 0; column < outWidth; ++column) {
            Rgb samples = pixel(row / yFactor, column / xFactor);
            for (int32_t plane = 0; plane < 3; ++plane)
                pattern[static_cast<size_t>(row) * 3 * outWidth + plane * outWidth + column] =
                    samples[plane];
        }
    return pattern;
}

Rgb ColorRgb(uint32_t color) {
    return {static_cast<uint8_t>(color & 0xFF), static_cast<uint8_t>((color >> 8) & 0xFF),
            static_cast<uint8_t>((color >> 16) & 0xFF)};
}

std::vector<std::vector<bool>> RandomBits(int32_t width, int32_t height, std::mt19937& random) {
    std::vector<std::vector<bool>> image(height, std::vector<bool>(width));
    for (auto& row : image)
        for (int32_t x = 0; x < width; ++x)
            row[x] = (random() & 1) != 0;
    return image;
}

void PackBits(const std::vector<std::vector<bool>>& image, uint8_t* bits, uint32_t rowStride) {
    for (size_t r = 0; r < image.size(); ++r)
        for (size_t x = 0; x < image[r].size(); ++x) {
            uint8_t& byte = bits[r * rowStride + x / 8];
            const uint8_t mask = static_cast<uint8_t>(1u << (7 - x % 8));
            byte = image[r][x] ? (byte | mask) : (byte & ~mask);
        }
}

bool HatchRuleBit(uint32_t hatch, int32_t row, int32_t column, int32_t rows, int32_t columns) {
    const int32_t k = columns / rows;
    const int32_t fallingFirst = row * k;
    const int32_t fallingLast = row * k + k - 1;
    const int32_t risingFirst = columns - 1 - (row * k + k - 1);
    const int32_t risingLast = columns - 1 - row * k;
    const bool horizontal = row == 0;
    const bool vertical = column == 0;
    const bool falling = column >= fallingFirst && column <= fallingLast;
    const bool rising = column >= risingFirst && column <= risingLast;
    if (hatch == 0) return horizontal;
    if (hatch == 1) return vertical;
    if (hatch == 2) return falling;
    if (hatch == 3) return rising;
    if (hatch == 4) return horizontal || vertical;
    if (hatch == 5) return falling || rising;
    return false;
}

} // namespace marltest
