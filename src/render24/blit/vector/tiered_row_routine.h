// The row routine RPBitBlt runs: the byte-serial routine (prebuilt or generated) for every
// request, and beside it, when the processor has SSE2 and the row is at least 16 pixels wide,
// a vector routine that gives the same result faster.
//
// Each row goes to the vector routine unless a source run it reads, or the brush's pattern
// rows, lie inside the row's own destination runs: there the byte-serial order of reads and
// writes shows in the result, so such a row keeps the byte-serial routine.
#pragma once

#include "render24/blit/blit_routine.h"
#include "render24/blit/machine_row_routine.h"
#include "render24/blit/row_routine.h"
#include "render24/blit/vector/row_spans.h"
#include "render24/blit/vector/vector_pattern.h"

#include <cstdint>

namespace marl::vec {

class TieredRowRoutine final : public RowRoutine {
public:
    TieredRowRoutine() = default;
    TieredRowRoutine(const TieredRowRoutine&) = delete;
    TieredRowRoutine& operator=(const TieredRowRoutine&) = delete;
    ~TieredRowRoutine() { Discard(); }

    bool Prepare(const BlitRequest& request, const TransferRows& rows) override;
    void Run(const void* sourceRow, void* destinationRow, const void* patternRow) override;
    void Discard() override;

    // Whether the current request has a vector routine, and how the rows went so far.
    bool VectorPrepared() const { return Ready; }
    uint32_t VectorRowCount() const { return VectorRows; }
    uint32_t ByteSerialRowCount() const { return ByteSerialRows; }

private:
    bool PrepareVector(const TransferRows& rows);
    bool VectorTakes(const void* sourceRow, const void* destinationRow, const void*& patternRow);
    bool NoRowMeetsItsDestination(const TransferRows& rows) const;
    bool DestinationMeets(const void* destinationRow, const Span& other) const;
    bool SourceMeetsDestination(const void* sourceRow, const void* destinationRow) const;

    MachineRowRoutine ByteSerial;
    BlitRoutine Vector;
    bool Ready = false;
    BlitRequest Request;
    bool ReadsSource = false;
    bool PatternRows = false; // the vector routine reads prepared pattern rows
    PreparedPattern& Pattern = TransferPatternRows();
    Span Brush; // the bytes the pattern rows are prepared from
    // The bytes from the first to the last a row reads or writes, from the row's address.
    Span DestinationHull;
    Span SourceHull;
    bool RowsApart = false; // no row's source or brush can lie inside a destination row
    uint32_t VectorRows = 0;
    uint32_t ByteSerialRows = 0;
};

} // namespace marl::vec
