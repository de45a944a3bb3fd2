// The ROP3 code generator: turns a ternary raster operation into a straight-line row routine
// of x86 code in the code buffer (32-bit code, or x86-64 code in the 64-bit edition, from the
// fragments of code_fragments.h), by copying code fragments in the order of the code's
// reverse-Polish name and writing the request's values into them.
//
// A routine does planes 0, 1, 2 one after another, each as one counted loop over the row's
// pixels. Within a pixel the name is unrolled: in the accumulator form (names in which no
// operand follows an operator) every operand but the last is pushed and the last goes to EAX;
// in the stack form every operand is pushed and every operator pops and pushes.
//
// Requests outside the routine's contract are made safe here rather than left to fault:
// - a RowWidth of 0 (or a pattern row of PatternWidth 0 for a name that reads P) gives a
//   routine that returns at once and touches nothing: the pixel counter would otherwise wrap
//   and run 4 GiB of pixels, and a pattern run of no samples has nothing to read;
// - PatternPhase is taken modulo PatternWidth, so the pattern pointer starts inside its run
//   (NormaliseRequest does this, and the next, once for every kind of routine);
// - BitPhase keeps its low three bits, the bit position within the first byte.
// A one-bit source read by several "S" of a name is stepped by the last of them only, so every
// "S" of a pixel stands for the same bit; such pixel bodies are too long for "loop rel8" and
// their loops close with "dec ecx; jnz rel32" (on x86-64, with its longer pointer steps, so do
// some long one-bit bodies with a pattern row).
#pragma once

#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/serial/rop_names.h"

#include <cstdint>

namespace marl {

// What the generator decided for one request, shared by the three planes.
struct RopPlan {
    CompiledRopName Name;
    bool StackForm;   // an operand follows an operator somewhere in the name
    bool UsesSource;  // the name reads S
    bool PatternRow;  // the name reads P and P comes from the pattern row
    bool MonoSource;  // S is a one-bit row (SourceBits 1)
    bool PlaneSource; // S is three plane runs (SourceBits 24)
    bool DrawsNothing;
    uint32_t LastSource; // position in the name of its last "S"
    BlitRequest Values;
};

RopPlan PlanRop(const BlitRequest& request);

// The immediates of one plane: its solid pattern sample and its one-bit source samples.
struct PlaneSamples {
    uint8_t Pattern;
    uint8_t ClearBit;
    uint8_t SetBit;
};

PlaneSamples SamplesOfPlane(const BlitRequest& request, uint32_t plane);

// Emits at routine.Cursor the code that evaluates the name for one sample and leaves the
// result in EAX (accumulator form) or on the stack (stack form).
void EmitPixelBody(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples);

// Emits at routine.Cursor one plane's loop: counter, pixel body, store, pointer steps, and
// the backward jump to the pixel body.
void EmitPlaneLoop(BlitRoutine& routine, const RopPlan& plan, const PlaneSamples& samples);

// The generator for a transfer: the routine of the request from the routine cache, written
// there first when it is not kept yet. False when the cache's area cannot be written or run.
// Call under the transfer lock.
bool CompileKeptRop(BlitRoutine& routine, const BlitRequest& request);

// The generator on its own: the routine written into the code buffer (CodeBufferArea), where
// the next one writes over it. False (Entry 0) when the buffer could not be written.
bool CompileRop(BlitRoutine& routine, const BlitRequest& request);

// Closes a loop whose body starts at loopTop: "loop rel8" where it reaches, otherwise
// "dec ecx; jnz rel32".
void EmitLoopBack(BlitRoutine& routine, uintptr_t loopTop);

} // namespace marl
