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

namespace {

// The bytes a source row of one run holds: one sample per pixel, or the bytes of its bits.
uint32_t SingleRunBytes(const BlitRequest& request) {
    const uint32_t width = request.RowWidth;
    return request.SourceBits == 1 ? (width + request.BitPhase + 7) / 8 : width;
}

} // namespace

RowSpans SourceSpans(const BlitRequest& request, const void* sourceRow) {
    RowSpans spans;
    if (!RopOperands().UsesSource(request.Rop)) return spans;
    if (request.SourceBits == 24)
        return PlaneRuns(sourceRow, request.SourcePlaneStride, request.RowWidth);
    spans.Runs[0] = {Address(sourceRow), SingleRunBytes(request)};
    spans.Count = 1;
    return spans;
}

Span DestinationRowHull(const BlitRequest& request) {
    if (request.RowWidth == 0) return {};
    return {0, 2 * uint64_t{request.DestPlaneStride} + request.RowWidth};
}

Span SourceRowHull(const BlitRequest& request) {
    if (!RopOperands().UsesSource(request.Rop)) return {};
    if (request.SourceBits == 24) {
        if (request.RowWidth == 0) return {};
        return {0, 2 * uint64_t{request.SourcePlaneStride} + request.RowWidth};
    }
    const uint32_t bytes = SingleRunBytes(request);
    return bytes == 0 ? Span{} : Span{0, bytes};
}

} // namespace marl::vec
