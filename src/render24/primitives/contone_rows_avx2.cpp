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

MARL_CONTONE_ROWS_OF(Avx2, Samples32)

} // namespace marl
