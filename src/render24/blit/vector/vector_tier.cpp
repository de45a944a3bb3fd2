#include "render24/blit/vector/vector_tier.h"

#include "render24/blit/routine_cache.h"
#include "render24/blit/serial/rop_names.h"
#include "render24/blit/vector/cpu_features.h"
#include "render24/blit/vector/vector_compiler.h"

namespace marl::vec {

bool VectorTier::Serves(const BlitRequest& request) const {
    return CpuHasSse2() && VectorServes(request);
}

bool VectorTier::Prepare(BlitRoutine& routine, const BlitRequest& request,
                         const TransferRows& rows) {
    routine = BlitRoutine{};
    return Analyse(request, rows) && CompileKeptVectorRop(routine, Request);
}

bool VectorTier::PrepareWalk(BlitRoutine& routine, const BlitRequest& request,
                             const TransferRows& rows, RowWalk& walk) {
    routine = BlitRoutine{};
    if (!rows.InPlace || rows.DestinationRows.Count == 0 || !Analyse(request, rows) || !RowsApart)
        return false;
    walk = RowWalk{};
    walk.Destination = rows.DestinationRows.First;
    walk.DestinationStride = rows.DestinationRows.Stride;
    walk.Rows = rows.DestinationRows.Count;
    if (ReadsSource) {
        walk.Source = rows.SourceRows.First;
        walk.SourceStride = rows.SourceRows.Stride;
    }
    if (PatternRows && !Pattern.Walk(rows.PatternFirstRow, rows.DestinationRows.Count, walk))
        return false;
    BlitRequest walking = Request;
    walking.VectorForm |= kVectorWalksRows;
    return CompileKeptVectorRop(routine, walking);
}

// What Prepare and PrepareWalk work out once for the transfer's rows. False when the pattern
// rows cannot be prepared.
bool VectorTier::Analyse(const BlitRequest& request, const TransferRows& rows) {
    Request = request;
    // 32 samples a step where the processor and the request allow.
    if (CpuHasAvx2() && WideStepsServe(Request)) Request.VectorForm |= kVectorWideSteps;
    ReadsSource = RopOperands().UsesSource(Request.Rop);
    DestinationHull = DestinationRowHull(Request);
    SourceHull = SourceRowHull(Request);
    PatternRows = RopOperands().UsesPattern(Request.Rop) && Request.PatternRows;
    if (PatternRows) {
        if (!Pattern.Reset(rows.PatternBits, Request.PatternWidth, rows.PatternHeight,
                           Request.PatternPhase)) {
            return false;
        }
        Brush = {reinterpret_cast<uintptr_t>(rows.PatternBits), Pattern.SourceBytes()};
    }
    RowsApart = NoRowMeetsItsDestination(rows);
    return true;
}

CodeArea& VectorTier::Area() { return VectorRoutines().Area(); }

// Where the transfer has described its rows, every destination row lies inside one range and
// every source row inside another: when neither the source range nor the brush meets the
// destination range, no row has to be looked at on its own.
bool VectorTier::NoRowMeetsItsDestination(const TransferRows& rows) const {
    auto extent = [](const RowLayout& layout, const Span& hull) {
        return Span{layout.First, uint64_t{layout.Stride} * (layout.Count - 1) + hull.Bytes};
    };
    if (rows.DestinationRows.Count == 0) return false;
    const Span destination = extent(rows.DestinationRows, DestinationHull);
    if (PatternRows && Overlap(destination, Brush)) return false;
    if (!ReadsSource) return true;
    if (rows.SourceRows.Count == 0) return false;
    return !Overlap(destination, extent(rows.SourceRows, SourceHull));
}

// Whether this row can take the vector routine, and the pattern row it then reads. A row
// whose destination covers brush samples is drawn byte-serially and may change the brush:
// the rows prepared so far are made again from the brush when next used.
bool VectorTier::Takes(const void* sourceRow, const void* destinationRow, const void*& patternRow) {
    if (RowsApart) {
        if (ReadsSource && sourceRow == nullptr) return false;
        if (PatternRows) patternRow = Pattern.Row(static_cast<const uint8_t*>(patternRow));
        return !PatternRows || patternRow != nullptr;
    }
    if (PatternRows && DestinationMeets(destinationRow, Brush)) {
        Pattern.Invalidate();
        return false;
    }
    if (ReadsSource) {
        if (sourceRow == nullptr || SourceMeetsDestination(sourceRow, destinationRow)) return false;
    }
    if (!PatternRows) return true;
    patternRow = Pattern.Row(static_cast<const uint8_t*>(patternRow));
    return patternRow != nullptr;
}

// The runs of a row lie within their hull: where the hulls do not meet, which is what rows of
// a band and of a source or brush elsewhere do, the runs themselves need not be compared.
bool VectorTier::DestinationMeets(const void* destinationRow, const Span& other) const {
    if (!Overlap(Moved(DestinationHull, destinationRow), other)) return false;
    return Overlap(DestinationSpans(Request, destinationRow), other);
}

bool VectorTier::SourceMeetsDestination(const void* sourceRow, const void* destinationRow) const {
    if (!Overlap(Moved(DestinationHull, destinationRow), Moved(SourceHull, sourceRow)))
        return false;
    return Overlap(DestinationSpans(Request, destinationRow), SourceSpans(Request, sourceRow));
}

} // namespace marl::vec
