// What a block transfer asks of its row routine: one preparation for the whole request, one
// call per destination row, and the clean-up before the transfer lock is released.
//
// The transfer driver depends on this interface rather than on BlitRoutine itself, so the
// preparation logic (colours, clipping, conversion, pattern phase, clean-up order) can be
// watched by tests through a recorder that stands in for the machine code.
#pragma once

#include "render24/blit/blit_request.h"

#include <cstdint>

namespace marl {

// Where the rows of a transfer lie: row i at First + i x Stride, for Count rows; Count 0 when
// the rows do not follow one another so.
struct RowLayout {
    uintptr_t First = 0;
    uint32_t Stride = 0;
    uint32_t Count = 0;
};

// What a transfer knows beside the routine's values: the brush rows the pattern rows come from
// (PatternHeight rows of three plane runs of PatternWidth samples, null without pattern
// rows), for a routine that reads them in another form; and the destination and source rows
// Run will be given, as far as the transfer knows them ahead, so that a routine can tell once
// for all rows whether a source or the brush can lie inside a destination row.
struct TransferRows {
    const uint8_t* PatternBits = nullptr;
    uint32_t PatternHeight = 0;
    uint32_t PatternFirstRow = 0; // the brush row of the first destination row
    RowLayout DestinationRows;
    RowLayout SourceRows;
    // Run would be handed exactly these rows, in order, made by nothing per row (no source
    // conversion, no row cursors): a routine may then run them all at once (RunAllRows).
    bool InPlace = false;
};

class RowRoutine {
public:
    // Prepares the routine. False when it cannot be prepared (no code area could hold it).
    virtual bool Prepare(const BlitRequest& request, const TransferRows& rows) = 0;
    // Runs the prepared routine over one row. Rows the routine does not read may be null.
    virtual void Run(const void* sourceRow, void* destinationRow, const void* patternRow) = 0;
    // Forgets the routine before the transfer lock is released; nothing when none was made.
    virtual void Discard() = 0;
    // Runs every row Prepare was told of (TransferRows InPlace) in one go, where the routine
    // was prepared to; false, with nothing run, leaves the rows to Run one by one.
    virtual bool RunAllRows() { return false; }

protected:
    ~RowRoutine() = default;
};

} // namespace marl
