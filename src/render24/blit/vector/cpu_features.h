// What the processor offers the block-transfer engine, asked once with CPUID.
#pragma once

namespace marl::vec {

// True when the processor reports SSE2 (CPUID leaf 1, EDX bit 26). The 16-sample vector
// routines use nothing beyond SSE2 and CMOV, which every SSE2 processor has.
bool CpuHasSse2();

// True when the processor reports AVX2 (CPUID leaf 7, EBX bit 5) and AVX, and the operating
// system saves the YMM registers (OSXSAVE, and XCR0 holding the SSE and AVX state): the
// 32-sample vector routines may run.
bool CpuHasAvx2();

// True when the processor reports AVX512F and AVX512BW (CPUID leaf 7, EBX bits 16 and 30) and
// the operating system saves the whole AVX-512 state (XCR0 holding the SSE, AVX, opmask and
// ZMM state): the 64-sample loops of span fills and line runs may run.
bool CpuHasAvx512Bw();

} // namespace marl::vec
