// The normalised request: what each raw value of a twelve-value request becomes, once.
#include "render24/blit/blit_request.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Raw {
    uint32_t Rop, BrushPattern, PatternColor, SourcePlaneStride, DestPlaneStride, PatternWidth,
        PatternPhase, RowWidth, SourceBits, ClearBitColor, SetBitColor, BitPhase;
};

marl::BlitRequest Normalise(const Raw& r) {
    return marl::NormaliseRequest(r.Rop, r.BrushPattern, r.PatternColor, r.SourcePlaneStride,
                                  r.DestPlaneStride, r.PatternWidth, r.PatternPhase, r.RowWidth,
                                  r.SourceBits, r.ClearBitColor, r.SetBitColor, r.BitPhase);
}

marl::BlitRequest Record(uint8_t rop, bool patternRows, uint32_t colour, uint16_t sourceStride,
                         uint16_t destStride, uint16_t patternWidth, uint16_t phase,
                         uint16_t rowWidth, uint16_t sourceBits, uint32_t clear, uint32_t set,
                         uint8_t bitPhase) {
    marl::BlitRequest r;
    r.Rop = rop;
    r.PatternRows = patternRows;
    r.PatternColor = colour;
    r.SourcePlaneStride = sourceStride;
    r.DestPlaneStride = destStride;
    r.PatternWidth = patternWidth;
    r.PatternPhase = phase;
    r.RowWidth = rowWidth;
    r.SourceBits = sourceBits;
    r.ClearBitColor = clear;
    r.SetBitColor = set;
    r.BitPhase = bitPhase;
    return r;
}

TEST(BlitRequest, EachValueIsCutAndMadeSafeOnce) {
    struct Case {
        const char* What;
        Raw Passed;
        marl::BlitRequest Expected;
    } cases[] = {
        {"16-bit values keep their low half; the code its low byte",
         {0x1F0, 0x10000, 0xAB123456, 0x10005, 0x20006, 0x30008, 0x40003, 0x50021, 0x10018, 1, 2,
          3},
         Record(0xF0, false, 0x123456, 5, 6, 8, 0, 0x21, 24, 0, 0, 0)},
        {"the phase is taken modulo the pattern width",
         {0xF0, 7, 1, 0, 9, 5, 13, 40, 8, 0, 0, 0},
         Record(0xF0, true, 1, 0, 9, 5, 3, 40, 8, 0, 0, 0)},
        {"no phase without pattern samples",
         {0xF0, 1, 1, 0, 9, 0, 13, 40, 8, 0, 0, 0},
         Record(0xF0, true, 1, 0, 9, 0, 0, 40, 8, 0, 0, 0)},
        {"no phase without pattern rows",
         {0xF0, 0, 1, 0, 9, 5, 3, 40, 8, 0, 0, 0},
         Record(0xF0, false, 1, 0, 9, 5, 0, 40, 8, 0, 0, 0)},
        {"one-bit rows: colours of three bytes, the bit phase within a byte",
         {0xB8, 0, 0, 77, 9, 0, 0, 40, 1, 0xFF10E0F0, 0x01C08040, 13},
         Record(0xB8, false, 0, 0, 9, 0, 0, 40, 1, 0x10E0F0, 0xC08040, 5)},
        {"one run per pixel: no plane stride, no bit colours",
         {0xCC, 0, 0, 77, 9, 0, 0, 40, 8, 0x10E0F0, 0xC08040, 5},
         Record(0xCC, false, 0, 0, 9, 0, 0, 40, 8, 0, 0, 0)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Normalise(c.Passed), c.Expected) << c.What;
}

TEST(BlitRequest, APatternOfNoSamplesIsDrawnSolid) {
    const marl::BlitRequest empty = Normalise({0xF0, 1, 0x123456, 0, 9, 0, 0, 40, 24, 0, 0, 0});
    EXPECT_FALSE(empty.PatternOrSolid().PatternRows);
    EXPECT_EQ(empty.PatternOrSolid().PatternColor, 0x123456u);
    const marl::BlitRequest sampled = Normalise({0xF0, 1, 0x123456, 0, 9, 4, 1, 40, 24, 0, 0, 0});
    EXPECT_EQ(sampled.PatternOrSolid(), sampled);
}

} // namespace
