// The writing loops of the contone codes over one plane of a row: span fills and horizontal
// line runs share them. Codes that read D go 32 samples at a time where the processor has
// AVX2 (64 where it has AVX512BW), else sixteen where it has SSE2; the codes whose result is P, its
// complement or a constant are a memset.
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

// Rows of at least this many samples take the 32-sample loops where they run.
inline constexpr uint32_t kLeastWideRow = 32;

// True when the processor and the system offer AVX2 (asked once).
inline bool WideRowsAvailable() {
    static const bool available = vec::CpuHasAvx2();
    return available;
}

// Sixteen samples at a time, for the codes that read D and rows of at least kLeastVectorRow
// samples. They live in a file of their own compiled for SSE2 and are called only when
// VectorRowsAvailable(). The result is the byte loop's, sample for sample.
template <uint8_t Code> void CombineRowSolidSse2(uint8_t* destination, uint32_t count, uint8_t p);
template <uint8_t Code>
void CombineRowSse2(uint8_t* destination, uint32_t count, const uint8_t* pattern);

// A pattern whose period divides 16: tile[i] is the pattern sample of column i for i < 16 +
// period, so every step from the row's start reads the same 16 samples.
// StoreRowRepeatingSse2 writes the tile's samples as they are (for the codes whose result
// depends on P alone, the tile holds the results), a memset of a 16-byte value.
void StoreRowRepeatingSse2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                           uint32_t period);
template <uint8_t Code>
void CombineRowRepeatingSse2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period);

// Rows of at least this many samples take the 64-sample loops where they run.
inline constexpr uint32_t kLeastWidestRow = 64;

// True when the processor and the system offer the byte operations of AVX-512 (asked once).
inline bool WidestRowsAvailable() {
    static const bool available = vec::CpuHasAvx512Bw();
    return available;
}

// The same four on 32 samples at a time, in a file of their own compiled for AVX2 and called
// only when WideRowsAvailable(), for rows of at least kLeastWideRow samples. A tile of
// StoreRowRepeatingAvx2 and CombineRowRepeatingAvx2 holds 32 + period samples.
template <uint8_t Code> void CombineRowSolidAvx2(uint8_t* destination, uint32_t count, uint8_t p);
// And on 64 samples at a time, compiled for AVX512BW, called only when WidestRowsAvailable()
// for rows of at least kLeastWidestRow samples; their tiles hold 64 + period samples.
template <uint8_t Code> void CombineRowSolidAvx512(uint8_t* destination, uint32_t count, uint8_t p);
template <uint8_t Code>
void CombineRowAvx512(uint8_t* destination, uint32_t count, const uint8_t* pattern);
void StoreRowRepeatingAvx512(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period);
template <uint8_t Code>
void CombineRowRepeatingAvx512(uint8_t* destination, uint32_t count, const uint8_t* tile,
                               uint32_t period);
template <uint8_t Code>
void CombineRowAvx2(uint8_t* destination, uint32_t count, const uint8_t* pattern);
void StoreRowRepeatingAvx2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                           uint32_t period);
template <uint8_t Code>
void CombineRowRepeatingAvx2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period);

// The widest loops the processor runs for a row of count samples (at least kLeastWideRow, and
// VectorRowsAvailable()), chosen out of line: the loops of spans and runs inline the two
// functions below, and a short row (a glyph's, a thousand short spans') pays for no more than
// one comparison before its SSE2 call.
template <uint8_t Code> void CombineRowSolidVector(uint8_t* destination, uint32_t count, uint8_t p);
template <uint8_t Code>
void CombineRowVector(uint8_t* destination, uint32_t count, const uint8_t* pattern);

// destination[i] = Apply(destination[i], p) for i < count.
template <typename Op> void CombineSolidRow(uint8_t* destination, uint32_t count, uint8_t p) {
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
void CombinePatternRow(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
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
