// The vector loops of the contone codes that read D. This file alone is compiled for SSE2
// (and to realign the stack, which a Win32 caller keeps at 4 bytes); nothing in it runs unless
// the processor has SSE2. It holds only its own functions and the formulas of contone_rop.h
// instantiated on sixteen samples, so no shared inline code is compiled with SSE2 here.
//
// The four contone operators on sixteen 8-bit samples: AND is pminub, OR pmaxub, NOT an xor
// with all ones, and the distance |a - b| is the OR of the two saturating differences, one of
// which is always 0.
#include "render24/primitives/contone_rows.h"

#include <emmintrin.h>

namespace marl {
namespace {

struct Samples16 {
    __m128i V;
};

inline Samples16 ContoneAnd(Samples16 a, Samples16 b) { return {_mm_min_epu8(a.V, b.V)}; }
inline Samples16 ContoneOr(Samples16 a, Samples16 b) { return {_mm_max_epu8(a.V, b.V)}; }
inline Samples16 ContoneNot(Samples16 a) { return {_mm_xor_si128(a.V, _mm_set1_epi8(-1))}; }
inline Samples16 ContoneDifference(Samples16 a, Samples16 b) {
    return {_mm_or_si128(_mm_subs_epu8(a.V, b.V), _mm_subs_epu8(b.V, a.V))};
}

inline Samples16 Load(const uint8_t* at) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
}
inline void Store(uint8_t* at, Samples16 samples) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), samples.V);
}

// count >= 16. The steps cover the row from its start, step i combining with patternAt(i); a
// row that is not a whole number of steps ends with one more step over its last 16 samples,
// combined with lastPattern. That step overlaps samples already written, so those 16
// destination samples are read before the first store and the last step combines them as
// they were. Four steps are loaded before any is stored, and a row of whole steps reads
// nothing ahead of its start: the hardware sees one ascending stream per row, and the loads
// of a group overlap.
template <typename Op, typename PatternAt>
void CombineSteps(uint8_t* destination, uint32_t count, PatternAt patternAt,
                  Samples16 lastPattern) {
    const uint32_t last = count - 16;
    const bool ragged = count % 16 != 0;
    Samples16 lastDest{};
    if (ragged) lastDest = Load(destination + last);
    uint32_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const Samples16 d0 = Load(destination + i), d1 = Load(destination + i + 16);
        const Samples16 d2 = Load(destination + i + 32), d3 = Load(destination + i + 48);
        Store(destination + i, Op::Apply(d0, patternAt(i)));
        Store(destination + i + 16, Op::Apply(d1, patternAt(i + 16)));
        Store(destination + i + 32, Op::Apply(d2, patternAt(i + 32)));
        Store(destination + i + 48, Op::Apply(d3, patternAt(i + 48)));
    }
    for (; i + 16 <= count; i += 16)
        Store(destination + i, Op::Apply(Load(destination + i), patternAt(i)));
    if (ragged) Store(destination + last, Op::Apply(lastDest, lastPattern));
}

} // namespace

// The tile column of a row's last, overlapping step: (count - 16) mod period, where a period
// dividing 16 is a power of two.
inline uint32_t LastStepColumn(uint32_t count, uint32_t period) {
    return (count - 16) & (period - 1);
}

template <uint8_t Code> void CombineRowSolidSse2(uint8_t* destination, uint32_t count, uint8_t p) {
    const Samples16 pattern{_mm_set1_epi8(static_cast<char>(p))};
    CombineSteps<ContoneRop<Code>>(
        destination, count, [pattern](uint32_t) { return pattern; }, pattern);
}

template <uint8_t Code>
void CombineRowSse2(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
    CombineSteps<ContoneRop<Code>>(
        destination, count, [pattern](uint32_t i) { return Load(pattern + i); },
        Load(pattern + count - 16));
}

template <uint8_t Code>
void CombineRowRepeatingSse2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period) {
    const Samples16 repeated = Load(tile);
    CombineSteps<ContoneRop<Code>>(
        destination, count, [repeated](uint32_t) { return repeated; },
        Load(tile + LastStepColumn(count, period)));
}

void StoreRowRepeatingSse2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                           uint32_t period) {
    const Samples16 repeated = Load(tile);
    uint32_t i = 0;
    for (; i + 64 <= count; i += 64) {
        Store(destination + i, repeated);
        Store(destination + i + 16, repeated);
        Store(destination + i + 32, repeated);
        Store(destination + i + 48, repeated);
    }
    for (; i + 16 <= count; i += 16)
        Store(destination + i, repeated);
    if (i < count) Store(destination + count - 16, Load(tile + LastStepColumn(count, period)));
}

// The eleven codes that read D.
#define MARL_CONTONE_ROWS(code)                                                                    \
    template void CombineRowSolidSse2<code>(uint8_t*, uint32_t, uint8_t);                          \
    template void CombineRowSse2<code>(uint8_t*, uint32_t, const uint8_t*);                        \
    template void CombineRowRepeatingSse2<code>(uint8_t*, uint32_t, const uint8_t*, uint32_t);
MARL_CONTONE_ROWS(kContoneDPon)
MARL_CONTONE_ROWS(kContoneDPna)
MARL_CONTONE_ROWS(kContonePDna)
MARL_CONTONE_ROWS(kContoneDn)
MARL_CONTONE_ROWS(kContoneDPx)
MARL_CONTONE_ROWS(kContoneDPan)
MARL_CONTONE_ROWS(kContoneDPa)
MARL_CONTONE_ROWS(kContoneDPxn)
MARL_CONTONE_ROWS(kContoneDPno)
MARL_CONTONE_ROWS(kContonePDno)
MARL_CONTONE_ROWS(kContoneDPo)
#undef MARL_CONTONE_ROWS

} // namespace marl
