// Pattern rows in the form the vector routines read: for each plane, the row's samples
// rotated so that the first destination pixel's sample comes first, and repeated so that a
// 16- or 32-sample load may start at any column of one period.
//
// A plane run holds Period(width) + 32 samples, run[i] = row[(phase + i) mod width], where the
// period is the smallest multiple of width that is at least 16. A routine keeps its column
// modulo the period and loads its step's samples from there; when the period divides the
// step, one load serves a whole plane. A prepared row holds the runs of planes 0, 1, 2 back
// to back.
#pragma once

#include <cstdint>

namespace marl::vec {

struct RowWalk;

uint32_t PatternPeriod(uint32_t width);
inline uint32_t PreparedRunLength(uint32_t width) { return PatternPeriod(width) + 32; }

// Writes the three prepared runs of one pattern row (three plane runs of width samples).
void PreparePatternRow(const uint8_t* patternRow, uint32_t width, uint32_t phase,
                       uint8_t* prepared);

// The prepared rows of one brush, made on first use. Their memory is the object's own, grown
// when a brush needs more and kept: a transfer asks the driver for none. The rows stay valid
// from one Reset to the next as long as the brush's samples are the same, so text drawn with
// one brush prepares its rows once.
class PreparedPattern {
public:
    PreparedPattern() = default;
    ~PreparedPattern() { delete[] Memory; }
    PreparedPattern(const PreparedPattern&) = delete;
    PreparedPattern& operator=(const PreparedPattern&) = delete;

    // bits: height rows of three plane runs of width samples. False when the rows would be
    // unreasonably large or their memory cannot be had; the object is then unused until the
    // next Reset.
    bool Reset(const uint8_t* bits, uint32_t width, uint32_t height, uint32_t phase);

    // The prepared form of the pattern row at patternRow (a row start inside bits), or null
    // when patternRow is not one of the brush's rows.
    const uint8_t* Row(const uint8_t* patternRow);

    // Makes ready the rows a transfer walks: count rows from row first on, wrapping after
    // the last (first below the height), and points walk's pattern fields at them. False
    // when the object is unused.
    bool Walk(uint32_t first, uint32_t count, RowWalk& walk);

    // Forget every prepared row: the brush samples may have changed.
    void Invalidate();

    // The bytes the brush's rows occupy.
    const uint8_t* Bits() const { return Source; }
    uint64_t SourceBytes() const { return 3ull * Width * Height; }
    // Rows made since the object was made, for tests and measurements.
    uint32_t RowsPrepared() const { return Prepared; }

private:
    bool Reserve(uint64_t bytes);
    uint8_t* Ensure(uint32_t index, const uint8_t* patternRow);
    bool SameBrush(const uint8_t* bits, uint32_t width, uint32_t height, uint32_t phase) const;

    const uint8_t* Source = nullptr;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t Phase = 0;
    uint32_t RowBytes = 0;     // of one prepared row
    bool Reusable = false;     // Copy holds the samples the ready rows were made from
    uint8_t* Memory = nullptr; // the prepared rows, one ready flag per row, the brush's copy
    uint64_t Capacity = 0;
    uint8_t* Ready = nullptr;
    uint8_t* Copy = nullptr;
    uint32_t Prepared = 0;
    uint32_t LastIndex = 0; // the row asked for last
};

// The prepared rows of the transfers: one object for the library, used under the transfer
// lock.
PreparedPattern& TransferPatternRows();

} // namespace marl::vec
