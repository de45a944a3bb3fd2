// The memory one run of a row routine reads and writes, as byte ranges: the three
// destination plane runs, and the source runs the routine reads. Used to keep rows whose
// source lies inside their own destination on the byte-serial routine, where the order in
// which samples are read and written is visible in the result.
#pragma once

#include "render24/blit/blit_request.h"

#include <cstdint>

namespace marl::vec {

struct Span {
    uint64_t Begin = 0;
    uint64_t Bytes = 0;
};

struct RowSpans {
    Span Runs[3];
    uint32_t Count = 0;
};

// The smallest span that holds every run, and a span moved by the address of a row.
Span Hull(const RowSpans& spans);
inline Span Moved(const Span& span, const void* row) {
    return {span.Begin + reinterpret_cast<uintptr_t>(row), span.Bytes};
}

inline bool Overlap(const Span& a, const Span& b) {
    if (a.Bytes == 0 || b.Bytes == 0) return false;
    return a.Begin < b.Begin + b.Bytes && b.Begin < a.Begin + a.Bytes;
}
bool Overlap(const RowSpans& a, const Span& b);
bool Overlap(const RowSpans& a, const RowSpans& b);

// The plane runs of a destination row.
RowSpans DestinationSpans(const BlitRequest& request, const void* destinationRow);
// What the routine reads of a source row: three plane runs (SourceBits 24), one run of one
// sample per pixel, or the bytes holding the row's bits (SourceBits 1). None for a code that
// does not read S.
RowSpans SourceSpans(const BlitRequest& request, const void* sourceRow);

// Hull(DestinationSpans(request, nullptr)) and Hull(SourceSpans(request, nullptr)), worked out
// directly: the runs start at the row and at one and two strides on, so the last plane's run
// ends the hull. A transfer asks for these once; the runs themselves only for rows whose hulls
// meet.
Span DestinationRowHull(const BlitRequest& request);
Span SourceRowHull(const BlitRequest& request);

} // namespace marl::vec
