// The x86-64 vector routines are the same bytes in every build: they read their constants
// RIP-relative and the mask row through an address in their pool, so their code depends on the
// request alone. The digests of the code CompileVectorRop writes for a fixed set of requests
// are checked into tests/data, and the x86-64 ELF and Win64 builds both compare against them.
// (The i386 routines hold the absolute addresses of their constants and have no fixed bytes.)
//
// After an intended change of the generated code, write the digests anew from the native
// 64-bit build and review the difference (from the top of the tree):
//   MARL_WRITE_VECTOR_DIGESTS=$PWD/tests/data/vector_routine_digests64.inc
//   build/default64/tests/marlrend_tests --gtest_filter='VectorRoutineBytes.*'
// (both on one line).
#include "render24/blit/blit_request.h"
#include "render24/blit/blit_routine.h"
#include "render24/blit/vector/vector_compiler.h"
#include "support/routine_digest.h"

#include <gtest/gtest.h>

#if MARL_ROUTINE_64

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Request = marltest::DigestRequest;
using marltest::Fnv1a;

struct Digest {
    Request Asked;
    uint32_t Length;
    uint64_t Hash;
};

const std::vector<Digest> kExpected = {
#define VECTOR_DIGEST(rop, brush, color, sourceStride, destStride, patternWidth, phase, width,     \
                      bits, clearBit, setBit, bitPhase, length, hash)                              \
    {{rop, brush, color, sourceStride, destStride, patternWidth, phase, width, bits, clearBit,     \
      setBit, bitPhase},                                                                           \
     length,                                                                                       \
     hash},
#include "data/vector_routine_digests64.inc"
#undef VECTOR_DIGEST
};

// Every code with each source kind and both kinds of P on a row with a closing step and a
// pattern period the routine streams; then the other forms: rows of whole steps, a period of
// 16 loaded once, string copies of the source and of a repeated result, the bit phases and
// the colour pairs whose operations are left out.
std::vector<Request> Requests() {
    std::vector<Request> requests;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (uint32_t brush : {0u, 1u}) {
            for (uint32_t bits : {1u, 8u, 24u}) {
                requests.push_back(
                    {rop, brush, 0x00336699, 37, 41, 7, 3, 37, bits, 0x0010E0F0, 0x00C08040, 5});
            }
        }
    }
    const Request edges[] = {
        {0x68, 1, 0x00336699, 32, 32, 8, 3, 32, 24, 0, 0, 0},
        {0xB8, 1, 0x00336699, 48, 48, 16, 5, 48, 8, 0, 0, 0},
        {0xE2, 1, 0x00336699, 0, 600, 24, 7, 600, 1, 0x0010E0F0, 0x00C08040, 0},
        {0xCC, 0, 0, 1000, 1000, 0, 0, 1000, 24, 0, 0, 0},
        {0xCC, 0, 0, 0, 1000, 0, 0, 1000, 8, 0, 0, 0},
        {0xF0, 1, 0x00336699, 0, 1000, 8, 2, 1000, 24, 0, 0, 0},
        {0xF0, 1, 0x00336699, 0, 1000, 33, 2, 1000, 24, 0, 0, 0},
        {0x0F, 0, 0x00336699, 0, 1000, 0, 0, 1000, 24, 0, 0, 0},
        {0x66, 0, 0, 0, 4967, 0, 0, 4967, 1, 0x00FFFFFF, 0, 3},
        {0x88, 0, 0, 0, 77, 0, 0, 77, 1, 0, 0x00FFFFFF, 0},
        {0x96, 1, 0x00010203, 4967, 4967, 100, 99, 4967, 24, 0, 0, 0},
    };
    requests.insert(requests.end(), std::begin(edges), std::end(edges));
    return requests;
}

// The digest of the routine's code, from its entry to its end; the pool before it holds the
// request's colours and the mask row's address, which the code only refers to.
Digest Compile(const Request& r) {
    const marl::BlitRequest request = marl::NormaliseRequest(
        r.Rop, r.BrushPattern, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
        r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor, r.SetBitColor,
        r.BitPhase);
    marl::BlitRoutine routine;
    Digest digest{r, 0, 0};
    if (!marl::vec::CompileVectorRop(routine, request)) return digest;
    digest.Length = static_cast<uint32_t>(routine.Cursor - routine.Entry);
    digest.Hash = Fnv1a(reinterpret_cast<const uint8_t*>(routine.Entry), digest.Length);
    return digest;
}

bool WriteDigests(const char* path, const std::vector<Digest>& digests) {
    FILE* file = std::fopen(path, "w");
    if (!file) return false;
    std::fprintf(file,
                 "// Digests of the x86-64 vector routines CompileVectorRop writes, one per request,\n"
                 "// made by tests/vector_routine_bytes_test.cpp (see there how to write them anew):\n"
                 "// VECTOR_DIGEST(the twelve request values, code bytes, FNV-1a 64)\n");
    for (const Digest& d : digests) {
        std::fprintf(file, "VECTOR_DIGEST(");
        marltest::PrintDigestRequest(file, d.Asked);
        std::fprintf(file, ", %" PRIu32 ", 0x%016" PRIX64 "ull)\n", d.Length, d.Hash);
    }
    return std::fclose(file) == 0;
}

TEST(VectorRoutineBytes, RoutinesMatchTheCheckedInDigests) {
    std::vector<Digest> digests;
    for (const Request& request : Requests())
        digests.push_back(Compile(request));
    if (const char* path = std::getenv("MARL_WRITE_VECTOR_DIGESTS")) {
        ASSERT_TRUE(WriteDigests(path, digests)) << path;
        GTEST_SKIP() << "digests written to " << path;
    }

    ASSERT_EQ(kExpected.size(), digests.size())
        << "tests/data/vector_routine_digests64.inc lists other requests: write it anew";
    int differences = 0;
    for (size_t i = 0; i < digests.size(); ++i) {
        const Digest& want = kExpected[i];
        const Digest& got = digests[i];
        ASSERT_TRUE(want.Asked == got.Asked) << "request " << i;
        ASSERT_NE(got.Length, 0u) << "request " << i << ": not compiled";
        if (want.Length == got.Length && want.Hash == got.Hash) continue;
        if (++differences > 8) continue;
        ADD_FAILURE() << "rop 0x" << std::hex << got.Asked.Rop << std::dec << " brush "
                      << got.Asked.BrushPattern << " bits " << got.Asked.SourceBits << " width "
                      << got.Asked.RowWidth << ": " << got.Length << " bytes, digest 0x" << std::hex
                      << got.Hash << "; expected " << std::dec << want.Length << " bytes, digest 0x"
                      << std::hex << want.Hash;
    }
    EXPECT_EQ(differences, 0) << "routines differ from tests/data/vector_routine_digests64.inc";
}

// Nothing of where the routine lies reaches its code: written again after another routine, or
// into a kept slot of the routine cache, a routine is the same bytes.
TEST(VectorRoutineBytes, TheSameRequestGivesTheSameBytesAnywhere) {
    const Request first = {0xE2, 1, 0x00336699, 37, 41, 7, 3, 37, 1, 0x0010E0F0, 0x00C08040, 5};
    const Request other = {0x96, 1, 0x00010203, 4967, 4967, 100, 99, 4967, 24, 0, 0, 0};
    const Digest before = Compile(first);
    Compile(other);
    const Digest after = Compile(first);
    EXPECT_EQ(before.Length, after.Length);
    EXPECT_EQ(before.Hash, after.Hash);

    const marl::BlitRequest request = marl::NormaliseRequest(
        first.Rop, first.BrushPattern, first.PatternColor, first.SourcePlaneStride,
        first.DestPlaneStride, first.PatternWidth, first.PatternPhase, first.RowWidth,
        first.SourceBits, first.ClearBitColor, first.SetBitColor, first.BitPhase);
    marl::BlitRoutine kept;
    ASSERT_TRUE(marl::vec::CompileKeptVectorRop(kept, request));
    EXPECT_EQ(kept.Cursor - kept.Entry, before.Length);
    EXPECT_EQ(Fnv1a(reinterpret_cast<const uint8_t*>(kept.Entry),
                    static_cast<uint32_t>(kept.Cursor - kept.Entry)),
              before.Hash);
}

} // namespace

#endif
