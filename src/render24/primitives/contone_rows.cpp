// The choice among the vector loops of the codes that read D, out of line (contone_rows.h).
// Compiled for the baseline processor: it only asks and calls.
#include "render24/primitives/contone_rows.h"
#include "render24/primitives/contone_rows_simd.h"

namespace marl {
namespace {

enum class Loops { Sse2, Avx2, Avx512 };

// The widest loops that run here for a row of count samples (at least 16, SSE2 available).
Loops LoopsFor(uint32_t count) {
    if (count >= kLeastWidestRow && WidestRowsAvailable()) return Loops::Avx512;
    if (count >= kLeastWideRow && WideRowsAvailable()) return Loops::Avx2;
    return Loops::Sse2;
}

} // namespace

template <uint8_t Code>
void CombineRowSolidVector(uint8_t* destination, uint32_t count, uint8_t p) {
    switch (LoopsFor(count)) {
    case Loops::Avx512: CombineRowSolidAvx512<Code>(destination, count, p); return;
    case Loops::Avx2: CombineRowSolidAvx2<Code>(destination, count, p); return;
    case Loops::Sse2: CombineRowSolidSse2<Code>(destination, count, p); return;
    }
}

template <uint8_t Code>
void CombineRowVector(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
    switch (LoopsFor(count)) {
    case Loops::Avx512: CombineRowAvx512<Code>(destination, count, pattern); return;
    case Loops::Avx2: CombineRowAvx2<Code>(destination, count, pattern); return;
    case Loops::Sse2: CombineRowSse2<Code>(destination, count, pattern); return;
    }
}

template <uint8_t Code>
void CombineRowRepeatingVector(uint8_t* destination, uint32_t count, const uint8_t* tile,
                               uint32_t period) {
    switch (LoopsFor(count)) {
    case Loops::Avx512: CombineRowRepeatingAvx512<Code>(destination, count, tile, period); return;
    case Loops::Avx2: CombineRowRepeatingAvx2<Code>(destination, count, tile, period); return;
    case Loops::Sse2: CombineRowRepeatingSse2<Code>(destination, count, tile, period); return;
    }
}

void StoreRowRepeatingVector(uint8_t* destination, uint32_t count, const uint8_t* tile,
                             uint32_t period) {
    switch (LoopsFor(count)) {
    case Loops::Avx512: StoreRowRepeatingAvx512(destination, count, tile, period); return;
    case Loops::Avx2: StoreRowRepeatingAvx2(destination, count, tile, period); return;
    case Loops::Sse2: StoreRowRepeatingSse2(destination, count, tile, period); return;
    }
}

#define MARL_CONTONE_CHOICE(unused, code)                                                          \
    template void CombineRowSolidVector<code>(uint8_t*, uint32_t, uint8_t);                        \
    template void CombineRowVector<code>(uint8_t*, uint32_t, const uint8_t*);                      \
    template void CombineRowRepeatingVector<code>(uint8_t*, uint32_t, const uint8_t*, uint32_t);
MARL_CONTONE_CODES_THAT_READ_D(MARL_CONTONE_CHOICE, 0)
#undef MARL_CONTONE_CHOICE

} // namespace marl
