// A decoded picture file: rows top down, pixels as the file packs them, and its palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace marlhost {

struct PaletteEntry {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
};

struct Image {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t BitsPerPixel = 0; // 1, 4, 8 (palette indices) or 24 (blue, green, red bytes)
    uint32_t Stride = 0;       // bytes from one row to the next
    std::vector<uint8_t> Pixels;
    std::vector<PaletteEntry> Palette; // 1, 4 and 8 bits only

    const uint8_t* Row(uint32_t y) const { return Pixels.data() + size_t{y} * Stride; }
    // The palette index of pixel (x, y) of a 1-, 4- or 8-bit image; the first pixel of a byte
    // is its most significant bit or nibble.
    uint32_t Index(uint32_t x, uint32_t y) const;
    // The colour of pixel (x, y); an index past the palette reads as black.
    PaletteEntry Colour(uint32_t x, uint32_t y) const;
};

} // namespace marlhost
