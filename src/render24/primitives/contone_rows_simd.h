// The vector loops of the contone codes that read D, over a vector of samples V that the file
// including this one defines with the instructions it is compiled for: V::kLanes samples, the
// static members Load, Store and Splat, and ContoneAnd, ContoneOr, ContoneNot and
// ContoneDifference on V (found beside V). Included by contone_rows_sse2.cpp,
// contone_rows_avx2.cpp and contone_rows_avx512.cpp, each of which defines its V in an unnamed
// namespace (and by contone_rows.cpp for the list of codes alone): everything here
// is a template on V, so each file's instances are its own and no code compiled for one
// instruction set is shared with code that runs without it.
#pragma once

#include "render24/primitives/contone_rop.h"

#include <cstdint>

namespace marl::contone_simd {

// count >= V::kLanes. The steps cover the row from its start, step i combining with
// patternAt(i); a row that is not a whole number of steps ends with one more step over its
// last samples, combined with lastPattern. That step overlaps samples already written, so
// those destination samples are read before the first store and the last step combines them
// as they were. Four steps are loaded before any is stored, and a row of whole steps reads
// nothing ahead of its start: the hardware sees one ascending stream per row, and the loads
// of a group overlap.
template <typename V, typename Op, typename PatternAt>
void CombineSteps(uint8_t* destination, uint32_t count, PatternAt patternAt, V lastPattern) {
    constexpr uint32_t n = V::kLanes;
    const uint32_t last = count - n;
    const bool ragged = count % n != 0;
    V lastDest{};
    if (ragged) lastDest = V::Load(destination + last);
    uint32_t i = 0;
    for (; i + 4 * n <= count; i += 4 * n) {
        const V d0 = V::Load(destination + i), d1 = V::Load(destination + i + n);
        const V d2 = V::Load(destination + i + 2 * n), d3 = V::Load(destination + i + 3 * n);
        V::Store(destination + i, Op::Apply(d0, patternAt(i)));
        V::Store(destination + i + n, Op::Apply(d1, patternAt(i + n)));
        V::Store(destination + i + 2 * n, Op::Apply(d2, patternAt(i + 2 * n)));
        V::Store(destination + i + 3 * n, Op::Apply(d3, patternAt(i + 3 * n)));
    }
    for (; i + n <= count; i += n)
        V::Store(destination + i, Op::Apply(V::Load(destination + i), patternAt(i)));
    if (ragged) V::Store(destination + last, Op::Apply(lastDest, lastPattern));
}

// The tile column of a row's last, overlapping step: (count - lanes) mod period, where a
// period dividing 16 is a power of two.
template <typename V> uint32_t LastStepColumn(uint32_t count, uint32_t period) {
    return (count - V::kLanes) & (period - 1);
}

template <typename V, uint8_t Code>
void CombineRowSolid(uint8_t* destination, uint32_t count, uint8_t p) {
    const V pattern = V::Splat(p);
    CombineSteps<V, ContoneRop<Code>>(
        destination, count, [pattern](uint32_t) { return pattern; }, pattern);
}

template <typename V, uint8_t Code>
void CombineRow(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
    CombineSteps<V, ContoneRop<Code>>(
        destination, count, [pattern](uint32_t i) { return V::Load(pattern + i); },
        V::Load(pattern + count - V::kLanes));
}

template <typename V, uint8_t Code>
void CombineRowRepeating(uint8_t* destination, uint32_t count, const uint8_t* tile,
                         uint32_t period) {
    const V repeated = V::Load(tile);
    CombineSteps<V, ContoneRop<Code>>(
        destination, count, [repeated](uint32_t) { return repeated; },
        V::Load(tile + LastStepColumn<V>(count, period)));
}

template <typename V>
void StoreRowRepeating(uint8_t* destination, uint32_t count, const uint8_t* tile, uint32_t period) {
    constexpr uint32_t n = V::kLanes;
    const V repeated = V::Load(tile);
    uint32_t i = 0;
    for (; i + 4 * n <= count; i += 4 * n) {
        V::Store(destination + i, repeated);
        V::Store(destination + i + n, repeated);
        V::Store(destination + i + 2 * n, repeated);
        V::Store(destination + i + 3 * n, repeated);
    }
    for (; i + n <= count; i += n)
        V::Store(destination + i, repeated);
    if (i < count)
        V::Store(destination + count - n, V::Load(tile + LastStepColumn<V>(count, period)));
}

// count >= V::kLanes samples from `from` on (apart from destination), the last step
// overlapping where count is no whole number of steps.
template <typename V> void CopyRow(uint8_t* destination, uint32_t count, const uint8_t* from) {
    constexpr uint32_t n = V::kLanes;
    for (uint32_t i = 0; i + n <= count; i += n)
        V::Store(destination + i, V::Load(from + i));
    if (count % n != 0) V::Store(destination + count - n, V::Load(from + count - n));
}

} // namespace marl::contone_simd

// The eleven codes that read D, each given to X with the argument a.
#define MARL_CONTONE_CODES_THAT_READ_D(X, a)                                                       \
    X(a, kContoneDPon)                                                                             \
    X(a, kContoneDPna)                                                                             \
    X(a, kContonePDna)                                                                             \
    X(a, kContoneDn)                                                                               \
    X(a, kContoneDPx)                                                                              \
    X(a, kContoneDPan)                                                                             \
    X(a, kContoneDPa)                                                                              \
    X(a, kContoneDPxn)                                                                             \
    X(a, kContoneDPno)                                                                             \
    X(a, kContonePDno)                                                                             \
    X(a, kContoneDPo)

#define MARL_CONTONE_ROWS_INSTANCE(Suffix, code)                                                   \
    template void CombineRowSolid##Suffix<code>(uint8_t*, uint32_t, uint8_t);                      \
    template void CombineRow##Suffix<code>(uint8_t*, uint32_t, const uint8_t*);                    \
    template void CombineRowRepeating##Suffix<code>(uint8_t*, uint32_t, const uint8_t*, uint32_t);

// Inside namespace marl: the four loops contone_rows.h declares with the name suffix Suffix,
// on the vector type V, and their instances for the eleven codes that read D.
#define MARL_CONTONE_ROWS_OF(Suffix, V)                                                            \
    template <uint8_t Code>                                                                        \
    void CombineRowSolid##Suffix(uint8_t* destination, uint32_t count, uint8_t p) {                \
        contone_simd::CombineRowSolid<V, Code>(destination, count, p);                             \
    }                                                                                              \
    template <uint8_t Code>                                                                        \
    void CombineRow##Suffix(uint8_t* destination, uint32_t count, const uint8_t* pattern) {        \
        contone_simd::CombineRow<V, Code>(destination, count, pattern);                            \
    }                                                                                              \
    template <uint8_t Code>                                                                        \
    void CombineRowRepeating##Suffix(uint8_t* destination, uint32_t count, const uint8_t* tile,    \
                                     uint32_t period) {                                            \
        contone_simd::CombineRowRepeating<V, Code>(destination, count, tile, period);              \
    }                                                                                              \
    void StoreRowRepeating##Suffix(uint8_t* destination, uint32_t count, const uint8_t* tile,      \
                                   uint32_t period) {                                              \
        contone_simd::StoreRowRepeating<V>(destination, count, tile, period);                      \
    }                                                                                              \
    MARL_CONTONE_CODES_THAT_READ_D(MARL_CONTONE_ROWS_INSTANCE, Suffix)
