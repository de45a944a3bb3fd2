// The row routine of one block transfer: prepared once (a patched prebuilt routine or a
// generated one), then called once per destination row with three row addresses.
#pragma once

#include "render24/blit/routine_frame.h"

#include <cstdint>

namespace marl {

struct BlitRequest;

class BlitRoutine {
public:
    uintptr_t Entry = 0; // first instruction of the prepared routine
    // While the generator emits: the write position (in the writable view); after it: one
    // past the routine's last byte (in the executable view).
    uintptr_t Cursor = 0;

    // Prepares the routine for one request: a prebuilt routine for the sixteen catalogue
    // codes, the generator (CompileRop) for the others. Writes 0 into *result, or 1 (and
    // leaves Entry 0) when the code area could not be written. Returns this object.
    BlitRoutine* Build(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                       uint32_t sourcePlaneStride, uint32_t destPlaneStride, uint32_t patternWidth,
                       uint32_t patternPhase, uint32_t rowWidth, uint32_t sourceBits,
                       uint32_t clearBitColor, uint32_t setBitColor, uint32_t bitPhase,
                       uint16_t* result);

    // The ROP3 code generator: writes a routine for the request into the code buffer and
    // points Entry at it. Answers 1, or 0 (Entry 0) when the buffer could not be written.
    uint16_t CompileRop(uint32_t rop, uint32_t brushPattern, uint32_t patternColor,
                        uint32_t sourcePlaneStride, uint32_t destPlaneStride, uint32_t patternWidth,
                        uint32_t patternPhase, uint32_t rowWidth, uint32_t sourceBits,
                        uint32_t clearBitColor, uint32_t setBitColor, uint32_t bitPhase);

    // Runs the prepared routine over one row. Rows the routine does not read may be null.
    void Run(const void* sourceRow, void* destinationRow, const void* patternRow);

    // What a transfer prepares: Build's choice, with the generated routines kept by request
    // in the routine cache. False when no code area could hold or run the routine. Call
    // under the transfer lock.
    bool Prepare(const BlitRequest& request);
};
static_assert(sizeof(BlitRoutine) == 2 * sizeof(void*));

} // namespace marl

#if MARL_ROUTINE_64
// Pushes the three rows, calls the frame builder (saved RBP, 48 bytes of slots, saved RBX, RSI,
// RDI, the object in the lowest slot and Entry in the highest), which jumps to Entry; the
// routine's closing "ret 24" comes back here with the rows removed (run_routine.S). An ordinary
// function of the platform's convention: it keeps whatever that convention keeps.
extern "C" void MarlRunRoutine(marl::BlitRoutine* routine, const void* sourceRow,
                               void* destinationRow, const void* patternRow);

inline void marl::BlitRoutine::Run(const void* sourceRow, void* destinationRow,
                                   const void* patternRow) {
    MarlRunRoutine(this, sourceRow, destinationRow, patternRow);
}
#else
// Builds the routine frame (saved EBP, 24 bytes of slots, saved EBX, ESI, EDI, the object in
// the lowest slot and Entry in the highest) and jumps to Entry; the routine returns straight
// to the caller and removes the three row arguments (run_routine.S). fastcall puts the object
// in ECX (EDX is unused) and leaves exactly the three rows on the stack for the routine's
// closing "ret 12" to remove, which is the member-call contract of the routines.
extern "C" __attribute__((fastcall)) void MarlRunRoutine(marl::BlitRoutine* routine,
                                                         uint32_t unused, const void* sourceRow,
                                                         void* destinationRow,
                                                         const void* patternRow);

inline void marl::BlitRoutine::Run(const void* sourceRow, void* destinationRow,
                                   const void* patternRow) {
    MarlRunRoutine(this, 0, sourceRow, destinationRow, patternRow);
}
#endif
