// The vector loops of the contone codes that read D. This file alone is compiled for SSE2
// (and to realign the stack, which a Win32 caller keeps at 4 bytes); nothing in it runs unless
// the processor has SSE2. It holds only its own functions and the formulas of contone_rop.h
// instantiated on sixteen samples, so no shared inline code is compiled with SSE2 here.
//
// The four contone operators on sixteen 8-bit samples: AND is pminub, OR pmaxub, NOT an xor
// with all ones, and the distance |a - b| is the OR of the two saturating differences, one of
// which is always 0.
#include "render24/primitives/contone_rows.h"
#include "render24/primitives/contone_rows_simd.h"

#include <emmintrin.h>

namespace marl {
namespace {

struct Samples16 {
    static constexpr uint32_t kLanes = 16;
    __m128i V;

    static Samples16 Load(const uint8_t* at) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
    }
    static void Store(uint8_t* at, Samples16 samples) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), samples.V);
    }
    static Samples16 Splat(uint8_t sample) { return {_mm_set1_epi8(static_cast<char>(sample))}; }
};

inline Samples16 ContoneAnd(Samples16 a, Samples16 b) { return {_mm_min_epu8(a.V, b.V)}; }
inline Samples16 ContoneOr(Samples16 a, Samples16 b) { return {_mm_max_epu8(a.V, b.V)}; }
inline Samples16 ContoneNot(Samples16 a) { return {_mm_xor_si128(a.V, _mm_set1_epi8(-1))}; }
inline Samples16 ContoneDifference(Samples16 a, Samples16 b) {
    return {_mm_or_si128(_mm_subs_epu8(a.V, b.V), _mm_subs_epu8(b.V, a.V))};
}

} // namespace

MARL_CONTONE_ROWS_OF(Sse2, Samples16)

void CopyRowSse2(uint8_t* destination, uint32_t count, const uint8_t* from) {
    contone_simd::CopyRow<Samples16>(destination, count, from);
}

} // namespace marl
