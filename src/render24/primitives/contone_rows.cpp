// The choice among the vector loops of the codes that read D, out of line (contone_rows.h).
// Compiled for the baseline processor: it only asks and calls.
#include "render24/primitives/contone_rows.h"

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

// The eleven codes that read D.
#define MARL_CONTONE_CHOICE(code)                                                                  \
    template void CombineRowSolidVector<code>(uint8_t*, uint32_t, uint8_t);                        \
    template void CombineRowVector<code>(uint8_t*, uint32_t, const uint8_t*);
MARL_CONTONE_CHOICE(kContoneDPon)
MARL_CONTONE_CHOICE(kContoneDPna)
MARL_CONTONE_CHOICE(kContonePDna)
MARL_CONTONE_CHOICE(kContoneDn)
MARL_CONTONE_CHOICE(kContoneDPx)
MARL_CONTONE_CHOICE(kContoneDPan)
MARL_CONTONE_CHOICE(kContoneDPa)
MARL_CONTONE_CHOICE(kContoneDPxn)
MARL_CONTONE_CHOICE(kContoneDPno)
MARL_CONTONE_CHOICE(kContonePDno)
MARL_CONTONE_CHOICE(kContoneDPo)
#undef MARL_CONTONE_CHOICE

} // namespace marl
