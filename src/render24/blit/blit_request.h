// The request a row routine is made for, normalised once: the 16-bit values cut from their
// 32-bit slots, the pattern phase reduced into the pattern row, the bit phase masked to the
// bit position within a byte, and every value the routine cannot read cleared. The prebuilt
// routines, the generator and the vector compiler all read this record and cut nothing again;
// two requests that make the same routine are equal records, which is what the routine cache
// keeps routines by.
#pragma once

#include <cstdint>

namespace marl {

struct BlitRequest {
    uint32_t PatternColor = 0;      // solid P, byte k = plane k (bits 24 to 31 clear)
    uint32_t ClearBitColor = 0;     // S of a clear bit; 0 unless SourceBits is 1
    uint32_t SetBitColor = 0;       // S of a set bit; 0 unless SourceBits is 1
    uint16_t SourcePlaneStride = 0; // 0 unless SourceBits is 24 (three plane runs)
    uint16_t DestPlaneStride = 0;
    uint16_t PatternWidth = 0;
    uint16_t PatternPhase = 0; // below PatternWidth; 0 without pattern rows or samples
    uint16_t RowWidth = 0;
    uint16_t SourceBits = 0; // 1: one-bit rows; 24: three plane runs; else one run
    uint8_t Rop = 0;
    uint8_t BitPhase = 0;     // 0 to 7: the first pixel's bit within the first source byte
    bool PatternRows = false; // P comes from the pattern row (BrushPattern non-zero)
    // How the vector routine is made (kVectorWalksRows, kVectorWideSteps); 0 for the
    // byte-serial tiers. Also keeps the record free of padding: it is hashed as it lies in
    // memory.
    uint8_t VectorForm = 0;

    bool operator==(const BlitRequest&) const = default;

    // What a transfer draws: a pattern row of no samples holds nothing to read, so such a
    // request is drawn with the solid PatternColor, as a brush without a pattern is.
    BlitRequest PatternOrSolid() const;
};
static_assert(sizeof(BlitRequest) == 28);

// The vector routine runs every row of a transfer in one call, walking a RowWalk.
inline constexpr uint8_t kVectorWalksRows = 1;
// The vector routine takes 32 samples a step in AVX2 registers rather than 16 in SSE2 ones.
inline constexpr uint8_t kVectorWideSteps = 2;

// The record of the twelve values as they are passed, each in its 32-bit slot.
BlitRequest NormaliseRequest(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                             uint32_t sourcePlaneStride, uint32_t destPlaneStride,
                             uint32_t patternWidth, uint32_t patternPhase, uint32_t rowWidth,
                             uint32_t sourceBits, uint32_t clearBitColor, uint32_t setBitColor,
                             uint32_t bitPhase);

} // namespace marl
