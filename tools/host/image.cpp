#include "host/image.h"

namespace marlhost {

uint32_t Image::Index(uint32_t x, uint32_t y) const {
    const uint8_t* row = Row(y);
    switch (BitsPerPixel) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1u;
    case 4: return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0Fu;
    case 8: return row[x];
    default: return 0;
    }
}

PaletteEntry Image::Colour(uint32_t x, uint32_t y) const {
    if (BitsPerPixel == 24) {
        const uint8_t* pixel = Row(y) + size_t{x} * 3;
        return PaletteEntry{pixel[2], pixel[1], pixel[0]};
    }
    uint32_t index = Index(x, y);
    return index < Palette.size() ? Palette[index] : PaletteEntry{};
}

} // namespace marlhost
