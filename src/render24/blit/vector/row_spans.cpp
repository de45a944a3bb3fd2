#include "render24/blit/vector/row_spans.h"

#include "render24/blit/serial/rop_names.h"

#include <algorithm>

namespace marl::vec {
namespace {

uintptr_t Address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

RowSpans PlaneRuns(const void* row, uint32_t stride, uint32_t bytes) {
    RowSpans spans;
    for (uint32_t plane = 0; plane < 3; ++plane) {
        spans.Runs[plane] = {Address(row) + uint64_t{plane} * stride, bytes};
    }
    spans.Count = 3;
    return spans;
}

} // namespace

Span Hull(const RowSpans& spans) {
    uint64_t begin = UINT64_MAX, end = 0;
    for (uint32_t i = 0; i < spans.Count; ++i) {
        const Span& run = spans.Runs[i];
        if (run.Bytes == 0) continue;
        begin = std::min(begin, run.Begin);
        end = std::max(end, run.Begin + run.Bytes);
    }
    if (end == 0) return {};
    return {begin, end - begin};
}

bool Overlap(const RowSpans& a, const Span& b) {
    for (uint32_t i = 0; i < a.Count; ++i) {
        if (Overlap(a.Runs[i], b)) return true;
    }
    return false;
}

bool Overlap(const RowSpans& a, const RowSpans& b) {
    for (uint32_t i = 0; i < b.Count; ++i) {
        if (Overlap(a, b.Runs[i])) return true;
    }
    return false;
}

RowSpans DestinationSpans(const BlitRequest& request, const void* destinationRow) {
    return PlaneRuns(destinationRow, request.DestPlaneStride, request.RowWidth);
}

RowSpans SourceSpans(const BlitRequest& request, const void* sourceRow) {
    RowSpans spans;
    if (!RopOperands().UsesSource(request.Rop)) return spans;
    const uint32_t width = request.RowWidth;
    if (request.SourceBits == 24) return PlaneRuns(sourceRow, request.SourcePlaneStride, width);
    const uint32_t bytes = request.SourceBits == 1 ? (width + request.BitPhase + 7) / 8 : width;
    spans.Runs[0] = {Address(sourceRow), bytes};
    spans.Count = 1;
    return spans;
}

} // namespace marl::vec
