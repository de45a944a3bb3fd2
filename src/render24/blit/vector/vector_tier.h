// The vector tier: when the processor has SSE2 and the row is at least 16 pixels wide, a
// vector routine that gives the same result as the byte-serial one, faster.
//
// A row goes to the vector routine unless a source run it reads, or the brush's pattern rows,
// lie inside the row's own destination runs: there the byte-serial order of reads and writes
// shows in the result, so such a row keeps the byte-serial routine. Prepare works out once per
// transfer what it can about the rows; Takes then decides each row.
#pragma once

#include "render24/blit/routine_tier.h"
#include "render24/blit/vector/row_spans.h"
#include "render24/blit/vector/row_walk.h"
#include "render24/blit/vector/vector_pattern.h"

#include <cstdint>

namespace marl::vec {

class VectorTier final : public RoutineTier {
public:
    bool Serves(const BlitRequest& request) const override;
    bool Prepare(BlitRoutine& routine, const BlitRequest& request,
                 const TransferRows& rows) override;
    CodeArea& Area() override;

    // Prepares a routine that runs every row of the transfer in one call, walking walk, where
    // the rows allow it: they are handed in place and no source run or brush row can lie
    // inside a destination row. False (nothing prepared) leaves the transfer to Prepare.
    bool PrepareWalk(BlitRoutine& routine, const BlitRequest& request, const TransferRows& rows,
                     RowWalk& walk);

    // Whether this row can take the vector routine prepared last, and the pattern row it then
    // reads (patternRow is the brush row on entry).
    bool Takes(const void* sourceRow, const void* destinationRow, const void*& patternRow);

private:
    bool Analyse(const BlitRequest& request, const TransferRows& rows);
    bool NoRowMeetsItsDestination(const TransferRows& rows) const;
    bool DestinationMeets(const void* destinationRow, const Span& other) const;
    bool SourceMeetsDestination(const void* sourceRow, const void* destinationRow) const;

    BlitRequest Request;
    bool ReadsSource = false;
    bool PatternRows = false; // the vector routine reads prepared pattern rows
    PreparedPattern& Pattern = TransferPatternRows();
    Span Brush; // the bytes the pattern rows are prepared from
    // The bytes from the first to the last a row reads or writes, from the row's address.
    Span DestinationHull;
    Span SourceHull;
    bool RowsApart = false; // no row's source or brush can lie inside a destination row
};

} // namespace marl::vec
