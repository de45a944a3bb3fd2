// The two colours a block transfer gives to monochrome data, and the solid colour it paints
// when it has no brush.
//
// A physical colour never uses the top seven bits; a value with any of them set is one the
// driver could not map, and the logical colours of its drawing record are used instead.
#pragma once

#include "marlrend/records.h"

#include <cstdint>

namespace marl {

inline constexpr uint32_t kUnmappedColourBits = 0xFE000000;

// Text stands for clear source bits, Back for set bits.
struct MonoColours {
    uint32_t Text = 0;
    uint32_t Back = 0;
};

// The physical pair, or the logical pair when either physical colour is unmapped.
MonoColours SelectMonoColours(const DrawColors& colors);

// The text colour alone decides here: the physical one, or the logical one when unmapped.
uint32_t SolidTextColour(const DrawColors& colors);

// Palette entry `index` as a colour: byte 3i+2 is the plane 0 sample, 3i+1 plane 1, 3i plane 2.
uint32_t PaletteColour(const uint8_t* palette, uint32_t index);

// Byte k of a colour: the sample of plane k.
inline uint8_t PlaneSample(uint32_t colour, uint32_t plane) {
    return static_cast<uint8_t>(colour >> (8 * plane));
}

} // namespace marl
