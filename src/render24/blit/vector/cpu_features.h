// What the processor offers the block-transfer engine, asked once with CPUID.
#pragma once

namespace marl::vec {

// True when the processor reports SSE2 (CPUID leaf 1, EDX bit 26). The vector routines use
// nothing beyond SSE2 and CMOV, which every SSE2 processor has.
bool CpuHasSse2();

} // namespace marl::vec
