// What the routine digest tests share: the twelve values of a request as the digest files list
// them, the FNV-1a 64 hash of a routine's bytes, and the request's values written as the
// digest files spell them.
#pragma once

#include <cstdint>
#include <cstdio>

namespace marltest {

struct DigestRequest {
    uint32_t Rop, BrushPattern, PatternColor, SourcePlaneStride, DestPlaneStride, PatternWidth,
        PatternPhase, RowWidth, SourceBits, ClearBitColor, SetBitColor, BitPhase;

    bool operator==(const DigestRequest&) const = default;
};

uint64_t Fnv1a(const uint8_t* bytes, uint32_t length);

// Writes the twelve values, comma-separated, as a digest file's record lists them.
void PrintDigestRequest(FILE* file, const DigestRequest& request);

} // namespace marltest
