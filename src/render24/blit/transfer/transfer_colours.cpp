#include "render24/blit/transfer/transfer_colours.h"

namespace marl {
namespace {

bool Unmapped(uint32_t colour) { return (colour & kUnmappedColourBits) != 0; }

} // namespace

MonoColours SelectMonoColours(const DrawColors& colors) {
    if (Unmapped(colors.TextColor) || Unmapped(colors.BackColor))
        return {colors.LogicalTextColor, colors.LogicalBackColor};
    return {colors.TextColor, colors.BackColor};
}

uint32_t SolidTextColour(const DrawColors& colors) {
    return Unmapped(colors.TextColor) ? colors.LogicalTextColor : colors.TextColor;
}

uint32_t PaletteColour(const uint8_t* palette, uint32_t index) {
    const uint8_t* entry = palette + 3 * index;
    return (uint32_t{entry[0]} << 16) | (uint32_t{entry[1]} << 8) | entry[2];
}

} // namespace marl
