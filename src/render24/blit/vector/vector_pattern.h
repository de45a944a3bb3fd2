// Pattern rows in the form the vector routines read: for each plane, the row's samples
// rotated so that the first destination pixel's sample comes first, and repeated so that a
// 16-sample load may start at any column of one period.
//
// A plane run holds Period(width) + 16 samples, run[i] = row[(phase + i) mod width], where the
// period is the smallest multiple of width that is at least 16. A routine keeps its column
// modulo the period and loads 16 samples from there; when width divides 16 the period is 16
// and one load serves a whole plane. A prepared row holds the runs of planes 0, 1, 2 back to
// back.
#pragma once

#include "marlrend/host_allocator.h"

#include <cstdint>

namespace marl::vec {

uint32_t PatternPeriod(uint32_t width);
inline uint32_t PreparedRunLength(uint32_t width) { return PatternPeriod(width) + 16; }

// Writes the three prepared runs of one pattern row (three plane runs of width samples).
void PreparePatternRow(const uint8_t* patternRow, uint32_t width, uint32_t phase,
                       uint8_t* prepared);

// The AllocBlock line the prepared rows are tagged with, beside the conversion row's.
inline constexpr uint32_t kPreparedPatternLine = 2101;

// The prepared rows of one brush for one transfer, made on first use. Their memory is one
// block from the driver's allocator, given back by the next Reset or when the object goes.
class PreparedPattern {
public:
    PreparedPattern() = default;
    ~PreparedPattern() { Release(); }
    PreparedPattern(const PreparedPattern&) = delete;
    PreparedPattern& operator=(const PreparedPattern&) = delete;

    // bits: height rows of three plane runs of width samples. False when there is no
    // allocator, the allocator refuses the block, or it would be unreasonably large; the
    // object is then unused. Reset(nullptr, ...) only gives the block back.
    bool Reset(const uint8_t* bits, uint32_t width, uint32_t height, uint32_t phase,
               HostAllocator* allocator);

    // The prepared form of the pattern row at patternRow (a row start inside bits), or null
    // when patternRow is not one of the brush's rows.
    const uint8_t* Row(const uint8_t* patternRow);

    // Forget every prepared row: the brush samples may have changed.
    void Invalidate();

    // The bytes the brush's rows occupy.
    const uint8_t* Bits() const { return Source; }
    uint64_t SourceBytes() const { return 3ull * Width * Height; }

private:
    void Release();

    const uint8_t* Source = nullptr;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Phase = 0;
    uint32_t RowBytes = 0; // of one prepared row
    HostAllocator* Allocator = nullptr;
    uint8_t* Block = nullptr; // the prepared rows, then one ready flag per row
    uint8_t* Ready = nullptr;
};

} // namespace marl::vec
