/* The frame every row routine runs in, defined once for the assembler (run_routine.S builds
 * it, templates.S reads it), the generator's fragments and the vector emitter.
 *
 * The i386 frame: Run enters a routine with EBP pointing at the saved EBP of this frame:
 *   EBP+8, +12, +16   source row, destination row, pattern row (removed by "ret 12")
 *   EBP-4             Entry
 *   EBP-8, -12, -16   pattern, destination and source plane starts (kept by the routine)
 *   EBP-24            the BlitRoutine
 * with FRAME_SLOT_BYTES of slots below EBP, then the saved EBX, ESI and EDI. Every routine
 * ends with pop EDI, ESI, EBX; leave; ret 12: the epilogue bytes.
 *
 * The x86-64 frame keeps the same slots in the same order, each 8 bytes wide (below).
 *
 * Plain preprocessor definitions, so that the assembler files can include this too. */
#ifndef MARL_ROUTINE_FRAME_H
#define MARL_ROUTINE_FRAME_H

#if defined(__x86_64__)
/* The x86-64 frame: the same slots in the same order, 8 bytes each. Run (run_routine.S) pushes
 * the three rows and calls a frame builder, which enters the routine with RBP pointing at the
 * saved RBP:
 *   RBP+16, +24, +32  source row, destination row, pattern row (removed by "ret 24")
 *   RBP-8             Entry
 *   RBP-16, -24, -32  pattern, destination and source plane starts
 *   RBP-48            the BlitRoutine
 * then the saved RBX, RSI and RDI. Every routine ends with pop RDI, RSI, RBX; leave; ret 24,
 * which returns into Run; Run restores what else the platform's convention keeps. */
#define MARL_ROUTINE_64 1
#define MARL_FRAME_SOURCE_ROW 16
#define MARL_FRAME_DEST_ROW 24
#define MARL_FRAME_PATTERN_ROW 32
#define MARL_FRAME_ENTRY -8
#define MARL_FRAME_PATTERN_START -16
#define MARL_FRAME_DEST_START -24
#define MARL_FRAME_SOURCE_START -32
#define MARL_FRAME_ROUTINE -48
#define MARL_FRAME_SLOT_BYTES 48
#define MARL_FRAME_EPILOGUE_BYTES 0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x18, 0x00
#else
#define MARL_ROUTINE_64 0
#define MARL_FRAME_SOURCE_ROW 8
#define MARL_FRAME_DEST_ROW 12
#define MARL_FRAME_PATTERN_ROW 16
#define MARL_FRAME_ENTRY -4
#define MARL_FRAME_PATTERN_START -8
#define MARL_FRAME_DEST_START -12
#define MARL_FRAME_SOURCE_START -16
#define MARL_FRAME_ROUTINE -24
#define MARL_FRAME_SLOT_BYTES 24
#define MARL_FRAME_EPILOGUE_BYTES 0x5F, 0x5E, 0x5B, 0xC9, 0xC2, 0x0C, 0x00
#endif

#if defined(__cplusplus)
#include <cstdint>

namespace marl::frame {

inline constexpr int32_t kSourceRow = MARL_FRAME_SOURCE_ROW;
inline constexpr int32_t kDestRow = MARL_FRAME_DEST_ROW;
inline constexpr int32_t kPatternRow = MARL_FRAME_PATTERN_ROW;
inline constexpr int32_t kPatternStart = MARL_FRAME_PATTERN_START;
inline constexpr int32_t kDestStart = MARL_FRAME_DEST_START;
inline constexpr int32_t kSourceStart = MARL_FRAME_SOURCE_START;
inline constexpr uint8_t kEpilogue[] = {MARL_FRAME_EPILOGUE_BYTES};

// The one-byte EBP displacement of a frame slot, as the fragments encode it.
constexpr uint8_t Displacement(int32_t offset) { return static_cast<uint8_t>(offset & 0xFF); }

} // namespace marl::frame
#endif

#endif
