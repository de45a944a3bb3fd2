// The reference meaning of a block-transfer row: what a row routine must leave in the
// destination, computed the slow and obvious way, sample by sample, straight from the name.
// Used only by tests, as the oracle for every routine producer.
#pragma once

#include <cstdint>
#include <string>

namespace marltest {

// One row request, in the terms of the routine producers.
struct RopRequest {
    uint8_t Rop = 0xCC;
    bool BrushPattern = false;    // pattern samples from the pattern row, else PatternColor
    uint32_t PatternColor = 0;    // byte k = plane k
    uint32_t SourcePlaneStride = 0;
    uint32_t DestPlaneStride = 0;
    uint32_t PatternWidth = 1;    // samples per pattern plane run
    uint32_t PatternPhase = 0;    // pattern column of the first pixel
    uint32_t RowWidth = 1;        // pixels
    uint32_t SourceBits = 24;     // 1: one-bit row; 24: three plane runs; else one sample/pixel
    uint32_t ClearBitColor = 0;
    uint32_t SetBitColor = 0;
    uint32_t BitPhase = 0;        // bit of the first pixel in the first byte, 0 = MSB
};

// The name a code is evaluated from: the table's own entry below 0x80, the complement's with
// a trailing "n" dropped or appended from 0x80 up. Built from an independent copy of the names.
std::string ReferenceName(uint8_t rop);

// Evaluates a reverse-Polish name on one sample triple: "a" min, "o" max, "x" bitwise
// exclusive or, "n" complement, "0" zero.
uint8_t EvaluateName(const std::string& name, uint8_t d, uint8_t s, uint8_t p);

// The samples a routine reads for pixel x of plane k.
uint8_t ReferenceSource(const RopRequest& request, const uint8_t* sourceRow, uint32_t plane,
                        uint32_t x);
uint8_t ReferencePattern(const RopRequest& request, const uint8_t* patternRow, uint32_t plane,
                         uint32_t x);

// Applies the request to one destination row in place: planes 0, 1, 2 in turn, pixels left
// to right, each D read just before it is written.
void ReferenceRow(const RopRequest& request, const uint8_t* sourceRow, uint8_t* destinationRow,
                  const uint8_t* patternRow);

} // namespace marltest
