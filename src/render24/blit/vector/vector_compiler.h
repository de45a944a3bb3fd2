// The vector back end of the ROP3 code generator: the same request as the byte-serial
// generator, translated into a routine that evaluates the name on 16 samples at a time in
// SSE2 registers, or 32 at a time in AVX2 registers where the request asks for wide steps.
//
// The routine keeps the row-routine contract: it is entered by BlitRoutine::Run with the
// source, destination and pattern rows in the frame slots of routine_frame.h (EBP+8, +12 and
// +16; RBP+16, +24 and +32 in the x86-64 routines), preserves EBX, ESI and EDI (RBX, RSI, RDI)
// and ends with the common epilogue, which removes the three arguments. It computes exactly what
// the byte-serial routine computes, plane 0, 1, 2 in turn and each plane from left to right,
// provided no source row overlaps the destination row (the caller keeps such rows on the
// byte-serial routine). One difference in what it is given: with BrushPattern set, the
// pattern row is a prepared row (vector_pattern.h), not a brush row.
//
// Within a plane the row is covered by 16-sample steps from the left; when the width is not a
// multiple of 16, one last step covers the final 16 samples again, computed from the
// destination samples as they were before the plane was written.
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"

#include <cstdint>

namespace marl::vec {

// The constants a routine reads lie just before its first instruction; the x86-64 pool also
// holds the address of the one-bit rows' masks.
inline constexpr uint32_t kConstantPoolBytes = MARL_ROUTINE_64 ? 208 : 192;

// The narrowest row the vector routines take.
inline constexpr uint32_t kVectorMinimumWidth = 16;

// True when a vector routine can serve the request: at least 16 pixels, and, for a name that
// reads P from the pattern row, a pattern row of at least one sample (a request without one
// stays with the byte-serial routines, whatever they make of it).
bool VectorServes(const BlitRequest& request);

// True when the request may also take 32-sample steps in AVX2 registers (kVectorWideSteps):
// at least 32 pixels, no one-bit source, and no pattern row whose period a 32-sample step
// cannot follow (one that neither divides 32 nor is 32 or more). Whether the processor has
// AVX2 is the caller's question (CpuHasAvx2). A wide request this answers false for is not
// served.
bool WideStepsServe(const BlitRequest& request);

// Writes the routine into the vector code area (VectorCodeArea) and points routine.Entry at
// it and routine.Cursor past its end. Answers false, leaving routine untouched, when the request is
// not served or the area cannot be written. Call under the transfer lock.
bool CompileVectorRop(BlitRoutine& routine, const BlitRequest& request);

// The same routine for a transfer: kept by request in the routine cache, written there only
// when it is not kept yet.
bool CompileKeptVectorRop(BlitRoutine& routine, const BlitRequest& request);

} // namespace marl::vec
