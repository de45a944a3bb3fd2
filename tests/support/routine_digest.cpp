#include "support/routine_digest.h"

#include <cinttypes>

namespace marltest {

uint64_t Fnv1a(const uint8_t* bytes, uint32_t length) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (uint32_t i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

void PrintDigestRequest(FILE* file, const DigestRequest& r) {
    std::fprintf(file,
                 "0x%02" PRIX32 ", %" PRIu32 ", 0x%08" PRIX32 ", %" PRIu32 ", %" PRIu32
                 ", %" PRIu32 ", %" PRIu32 ", %" PRIu32 ", %" PRIu32 ", 0x%08" PRIX32
                 ", 0x%08" PRIX32 ", %" PRIu32,
                 r.Rop, r.BrushPattern, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
                 r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor,
                 r.SetBitColor, r.BitPhase);
}

} // namespace marltest
