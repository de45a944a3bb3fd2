// The writing loops of the contone codes over one plane of a row: span fills and horizontal
// line runs share them. Codes that read D go 64 samples at a time where the processor has
// AVX512BW, 32 where it has AVX2, else sixteen where it has SSE2; the codes whose result is P,
// its complement or a constant are a memset.
#pragma once

#include "render24/blit/vector/cpu_features.h"
#include "render24/primitives/contone_rop.h"

#include <cstdint>
#include <cstring>

namespace marl {

// Rows shorter than one vector stay with the byte loops.
inline constexpr uint32_t kLeastVectorRow = 16;

// True when the processor reports SSE2 (asked once; inline, since short spans ask for every
// plane row).
inline bool VectorRowsAvailable() {
    static const bool available = vec::CpuHasSse2();
    return available;
}

// Rows of at least these many samples take the 32-sample (64-sample) loops where they run.
inline constexpr uint32_t kLeastWideRow = 32;
inline constexpr uint32_t kLeastWidestRow = 64;

// True when the processor and the system offer AVX2 (AVX512BW); asked once.
inline bool WideRowsAvailable() {
    static const bool available = vec::CpuHasAvx2();
    return available;
}
inline bool WidestRowsAvailable() {
    static const bool available = vec::CpuHasAvx512Bw();
    return available;
}

// The loops of one instruction set, for the codes that read D and rows of at least one step:
// the suffix Sse2 (16 samples a step), Avx2 (32) or Avx512 (64). Each set lives in a file of
// its own compiled for it (contone_rows_simd.h holds the loops) and is called only where the
// processor offers it. The result is the byte loop's, sample for sample.
//
// The Repeating pair takes a pattern whose period divides 16: tile[i] is the pattern sample of
// column i for i < step + period, so every step from the row's start reads the same samples.
// StoreRowRepeating writes the tile's samples as they are (for the codes whose result depends
// on P alone, the tile holds the results), a memset of a step-wide value.
#define MARL_CONTONE_ROWS_DECLARED(Suffix)                                                         \
    template <uint8_t Code>                                                                        \
    void CombineRowSolid##Suffix(uint8_t* destination, uint32_t count, uint8_t p);                 \
    template <uint8_t Code>                                                                        \
    void CombineRow##Suffix(uint8_t* destination, uint32_t count, const uint8_t* pattern);         \
    template <uint8_t Code>                                                                        \
    void CombineRowRepeating##Suffix(uint8_t* destination, uint32_t count, const uint8_t* tile,    \
                                     uint32_t period);                                             \
    void StoreRowRepeating##Suffix(uint8_t* destination, uint32_t count, const uint8_t* tile,      \
                                   uint32_t period);
MARL_CONTONE_ROWS_DECLARED(Sse2)
MARL_CONTONE_ROWS_DECLARED(Avx2)
MARL_CONTONE_ROWS_DECLARED(Avx512)
#undef MARL_CONTONE_ROWS_DECLARED

// A copy of count >= 16 samples from `from` on (apart from destination) in 16-byte steps, the
// last overlapping. For short rows: a memcpy of a size the compiler does not know may be
// expanded into a string move, whose start-up costs more than a row of a few steps.
void CopyRowSse2(uint8_t* destination, uint32_t count, const uint8_t* from);

// The same four with the widest loops the processor runs for a row of count samples (at least
// 16, and VectorRowsAvailable()), chosen out of line (contone_rows.cpp). The loops of spans and
// runs inline the two functions below, so a short row (a glyph's, a thousand short spans')
// pays for no more than one comparison before its SSE2 call. Tiles hold 64 + period samples.
template <uint8_t Code> void CombineRowSolidVector(uint8_t* destination, uint32_t count, uint8_t p);
template <uint8_t Code>
void CombineRowVector(uint8_t* destination, uint32_t count, const uint8_t* pattern);
template <uint8_t Code>
void CombineRowRepeatingVector(uint8_t* destination, uint32_t count, const uint8_t* tile,
                               uint32_t period);
void StoreRowRepeatingVector(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period);

// destination[i] = Apply(destination[i], p) for i < count.
// Inlined always: a short span pays for no call but the loop's.
template <typename Op>
[[gnu::always_inline]] inline void CombineSolidRow(uint8_t* destination, uint32_t count,
                                                   uint8_t p) {
    if constexpr (Op::kIgnoresDest) {
        std::memset(destination, Op::Apply(uint8_t{0}, p), count);
    } else {
        if (count >= kLeastVectorRow && VectorRowsAvailable()) {
            if (count < kLeastWideRow) {
                CombineRowSolidSse2<Op::kCode>(destination, count, p);
            } else {
                CombineRowSolidVector<Op::kCode>(destination, count, p);
            }
            return;
        }
        for (uint32_t i = 0; i < count; ++i)
            destination[i] = Op::Apply(destination[i], p);
    }
}

// destination[i] = Apply(destination[i], pattern[i]) for i < count; the pattern samples lie
// apart from the destination.
template <typename Op>
[[gnu::always_inline]] inline void CombinePatternRow(uint8_t* destination, uint32_t count,
                                                     const uint8_t* pattern) {
    if constexpr (!Op::kIgnoresDest) {
        if (count >= kLeastVectorRow && VectorRowsAvailable()) {
            if (count < kLeastWideRow) {
                CombineRowSse2<Op::kCode>(destination, count, pattern);
            } else {
                CombineRowVector<Op::kCode>(destination, count, pattern);
            }
            return;
        }
    }
    for (uint32_t i = 0; i < count; ++i)
        destination[i] = Op::Apply(destination[i], pattern[i]);
}

} // namespace marl
