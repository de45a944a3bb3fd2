// The loops of contone_rows_sse2.cpp on 32 samples at a time in AVX2 registers. This file
// alone is compiled for AVX2 (and to realign the stack, which a Win32 caller keeps at 4
// bytes); nothing in it runs unless the processor and the system offer AVX2. It holds only
// its own functions and the formulas of contone_rop.h instantiated on its own 32-sample type,
// so no shared inline code is compiled with AVX2 here.
//
// The four contone operators as in the SSE2 file: AND is vpminub, OR vpmaxub, NOT an xor with
// all ones, the distance |a - b| the OR of the two saturating differences.
#include "render24/primitives/contone_rows.h"
#include "render24/primitives/contone_rows_simd.h"

#include <immintrin.h>

namespace marl {
namespace {

struct Samples32 {
    static constexpr uint32_t kLanes = 32;
    __m256i V;

    static Samples32 Load(const uint8_t* at) {
        return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))};
    }
    static void Store(uint8_t* at, Samples32 samples) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), samples.V);
    }
    static Samples32 Splat(uint8_t sample) { return {_mm256_set1_epi8(static_cast<char>(sample))}; }
};

inline Samples32 ContoneAnd(Samples32 a, Samples32 b) { return {_mm256_min_epu8(a.V, b.V)}; }
inline Samples32 ContoneOr(Samples32 a, Samples32 b) { return {_mm256_max_epu8(a.V, b.V)}; }
inline Samples32 ContoneNot(Samples32 a) { return {_mm256_xor_si256(a.V, _mm256_set1_epi8(-1))}; }
inline Samples32 ContoneDifference(Samples32 a, Samples32 b) {
    return {_mm256_or_si256(_mm256_subs_epu8(a.V, b.V), _mm256_subs_epu8(b.V, a.V))};
}

} // namespace

template <uint8_t Code> void CombineRowSolidAvx2(uint8_t* destination, uint32_t count, uint8_t p) {
    contone_simd::CombineRowSolid<Samples32, Code>(destination, count, p);
}

template <uint8_t Code>
void CombineRowAvx2(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
    contone_simd::CombineRow<Samples32, Code>(destination, count, pattern);
}

template <uint8_t Code>
void CombineRowRepeatingAvx2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period) {
    contone_simd::CombineRowRepeating<Samples32, Code>(destination, count, tile, period);
}

void StoreRowRepeatingAvx2(uint8_t* destination, uint32_t count, const uint8_t* tile,
                           uint32_t period) {
    contone_simd::StoreRowRepeating<Samples32>(destination, count, tile, period);
}

// The eleven codes that read D.
#define MARL_CONTONE_ROWS(code)                                                                    \
    template void CombineRowSolidAvx2<code>(uint8_t*, uint32_t, uint8_t);                          \
    template void CombineRowAvx2<code>(uint8_t*, uint32_t, const uint8_t*);                        \
    template void CombineRowRepeatingAvx2<code>(uint8_t*, uint32_t, const uint8_t*, uint32_t);
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
