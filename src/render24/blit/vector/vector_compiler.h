// The vector back end of the ROP3 code generator: the same request as the byte-serial
// generator, translated into a routine that evaluates the name on 16 samples at a time in
// SSE2 registers.
//
// The routine keeps the row-routine contract: it is entered by BlitRoutine::Run with the
// source, destination and pattern rows at EBP+8, +12 and +16, preserves EBX, ESI and EDI and
// ends with the common epilogue, which removes the three arguments. It computes exactly what
// the byte-serial routine computes, plane 0, 1, 2 in turn and each plane from left to right,
// provided no source row overlaps the destination row (the caller keeps such rows on the
// byte-serial routine). One difference in what it is given: with BrushPattern set, the
// pattern row is a prepared row (vector_pattern.h), not a brush row.
//
// Within a plane the row is covered by 16-sample steps from the left; when the width is not a
// multiple of 16, one last step covers the final 16 samples again, computed from the
// destination samples as they were before the plane was written.
#pragma once

#include "render24/blit/blit_routine.h"

#include <cstdint>

namespace marl::vec {

// The generator's twelve request values, with the same meanings and the same low bits read.
struct VectorRequest {
    uint32_t Rop = 0;
    uint32_t BrushPattern = 0;
    uint32_t PatternColor = 0;
    uint32_t SourcePlaneStride = 0;
    uint32_t DestPlaneStride = 0;
    uint32_t PatternWidth = 0;
    uint32_t PatternPhase = 0;
    uint32_t RowWidth = 0;
    uint32_t SourceBits = 0;
    uint32_t ClearBitColor = 0;
    uint32_t SetBitColor = 0;
    uint32_t BitPhase = 0;
};

// The constants a routine reads lie just before its first instruction.
inline constexpr uint32_t kConstantPoolBytes = 192;

// The narrowest row the vector routines take.
inline constexpr uint32_t kVectorMinimumWidth = 16;

// True when a vector routine can serve the request: at least 16 pixels, and the pattern and
// bit phase within the limits the byte-serial routines are defined for (a request outside
// them stays with the byte-serial routines, whatever they make of it).
bool VectorServes(const VectorRequest& request);

// Writes the routine into the vector code area (VectorCodeArea) and points routine.Entry at
// it and routine.Cursor past its end. Answers false, leaving routine untouched, when the request is
// not served or the area cannot be written. Call under the transfer lock.
bool CompileVectorRop(BlitRoutine& routine, const VectorRequest& request);

// The same routine for a transfer: kept by request in the routine cache, written there only
// when it is not kept yet.
bool CompileKeptVectorRop(BlitRoutine& routine, const VectorRequest& request);

} // namespace marl::vec
