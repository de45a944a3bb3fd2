// The loops of contone_rows_sse2.cpp on 64 samples at a time in AVX-512 registers (the byte
// operations of AVX512BW). This file alone is compiled for AVX512BW (and to realign the
// stack, which a Win32 caller keeps at 4 bytes); nothing in it runs unless the processor and
// the system offer it. It holds only its own functions and the formulas of contone_rop.h
// instantiated on its own 64-sample type, so no shared inline code is compiled for AVX-512
// here.
//
// The four contone operators as in the SSE2 file: AND is vpminub, OR vpmaxub, NOT an xor with
// all ones, the distance |a - b| the OR of the two saturating differences.
#include "render24/primitives/contone_rows.h"
#include "render24/primitives/contone_rows_simd.h"

#include <immintrin.h>

namespace marl {
namespace {

struct Samples64 {
    static constexpr uint32_t kLanes = 64;
    __m512i V;

    static Samples64 Load(const uint8_t* at) { return {_mm512_loadu_si512(at)}; }
    static void Store(uint8_t* at, Samples64 samples) { _mm512_storeu_si512(at, samples.V); }
    static Samples64 Splat(uint8_t sample) { return {_mm512_set1_epi8(static_cast<char>(sample))}; }
};

inline Samples64 ContoneAnd(Samples64 a, Samples64 b) { return {_mm512_min_epu8(a.V, b.V)}; }
inline Samples64 ContoneOr(Samples64 a, Samples64 b) { return {_mm512_max_epu8(a.V, b.V)}; }
inline Samples64 ContoneNot(Samples64 a) { return {_mm512_xor_si512(a.V, _mm512_set1_epi8(-1))}; }
inline Samples64 ContoneDifference(Samples64 a, Samples64 b) {
    return {_mm512_or_si512(_mm512_subs_epu8(a.V, b.V), _mm512_subs_epu8(b.V, a.V))};
}

} // namespace

MARL_CONTONE_ROWS_OF(Avx512, Samples64)

} // namespace marl
