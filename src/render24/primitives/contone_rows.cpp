// The choice among the vector loops of the codes that read D, out of line (contone_rows.h).
// Compiled for the baseline processor: it only asks and calls.
#include "render24/primitives/contone_rows.h"
#include "render24/primitives/contone_rows_simd.h"

namespace marl {

template <uint8_t Code>
void CombineRowSolidVector(uint8_t* destination, uint32_t count, uint8_t p) {
    if (count >= kLeastWidestRow && WidestRowsAvailable()) {
        CombineRowSolidAvx512<Code>(destination, count, p);
    } else if (count >= kLeastWideRow && WideRowsAvailable()) {
        CombineRowSolidAvx2<Code>(destination, count, p);
    } else {
        CombineRowSolidSse2<Code>(destination, count, p);
    }
}

template <uint8_t Code>
void CombineRowVector(uint8_t* destination, uint32_t count, const uint8_t* pattern) {
    if (count >= kLeastWidestRow && WidestRowsAvailable()) {
        CombineRowAvx512<Code>(destination, count, pattern);
    } else if (count >= kLeastWideRow && WideRowsAvailable()) {
        CombineRowAvx2<Code>(destination, count, pattern);
    } else {
        CombineRowSse2<Code>(destination, count, pattern);
    }
}

#define MARL_CONTONE_CHOICE(unused, code)                                                          \
    template void CombineRowSolidVector<code>(uint8_t*, uint32_t, uint8_t);                        \
    template void CombineRowVector<code>(uint8_t*, uint32_t, const uint8_t*);
MARL_CONTONE_CODES_THAT_READ_D(MARL_CONTONE_CHOICE, 0)
#undef MARL_CONTONE_CHOICE

} // namespace marl
