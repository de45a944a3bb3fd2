// What a block transfer asks of its row routine: one preparation for the whole request, one
// call per destination row, and the clean-up before the transfer lock is released.
//
// The transfer driver depends on this interface rather than on BlitRoutine itself, so the
// preparation logic (colours, clipping, conversion, pattern phase, clean-up order) can be
// watched by tests through a recorder that stands in for the machine code.
#pragma once

#include <cstdint>

namespace marl {

// Where the rows of a transfer lie: row i at First + i x Stride, for Count rows; Count 0 when
// the rows do not follow one another so.
struct RowLayout {
    uintptr_t First = 0;
    uint32_t Stride = 0;
    uint32_t Count = 0;
};

// The twelve request values that Build receives, in its argument order.
struct RoutineRequest {
    uint32_t Rop = 0;
    uint32_t BrushPattern = 0; // non-zero: P comes from the pattern row
    uint32_t PatternColor = 0; // solid P, byte k = plane k
    uint32_t SourcePlaneStride = 0;
    uint32_t DestPlaneStride = 0;
    uint32_t PatternWidth = 0;
    uint32_t PatternPhase = 0;
    uint32_t RowWidth = 0;      // pixels per row, at least 1
    uint32_t SourceBits = 0;    // 1: one-bit rows; 24: three plane runs
    uint32_t ClearBitColor = 0; // S of a clear bit
    uint32_t SetBitColor = 0;   // S of a set bit
    uint32_t BitPhase = 0;
    // Not passed to Build: the brush rows the pattern rows come from (PatternHeight rows of
    // three plane runs of PatternWidth samples), for a routine that reads them in another
    // form. Null without pattern rows.
    const uint8_t* PatternBits = nullptr;
    uint32_t PatternHeight = 0;
    // Not passed to Build either: the destination and source rows Run will be given, as far
    // as the transfer knows them ahead, so that a routine can tell once for all rows whether
    // a source or the brush can lie inside a destination row.
    RowLayout DestinationRows;
    RowLayout SourceRows;
};

class RowRoutine {
public:
    // Prepares the routine. False when it cannot be prepared (no code area could hold it).
    virtual bool Prepare(const RoutineRequest& request) = 0;
    // Runs the prepared routine over one row. Rows the routine does not read may be null.
    virtual void Run(const void* sourceRow, void* destinationRow, const void* patternRow) = 0;
    // Forgets the routine before the transfer lock is released; nothing when none was made.
    virtual void Discard() = 0;

protected:
    ~RowRoutine() = default;
};

} // namespace marl
