// The prepared routines are the same bytes in every build of an edition: the digests of the
// code that CompileRop writes, and of the prebuilt routines as Build patches them, for a
// fixed set of requests are checked into tests/data, and the i386 ELF build and the Win32
// build both compare against routine_digests.inc, the x86-64 builds against
// routine_digests64.inc. The code is position independent and patched only with request
// values, so nothing in it may depend on the compiler, the object format or where the code
// buffer lies.
//
// The x86-64 digests were written once the differential suites passed in that edition (every
// code and variant against the reference evaluator): like the i386 ones they guard the
// routines' stability, not their correctness.
//
// After an intended change of the generated code, write the digests anew from the native
// build of the edition and review the difference (from the top of the tree):
//   MARL_WRITE_ROUTINE_DIGESTS=$PWD/tests/data/routine_digests.inc
//   build/default/tests/marlrend_tests --gtest_filter='RoutineBytes.*'
// (both on one line; routine_digests64.inc and build/default64 for x86-64).
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/serial/templates.h"
#include "support/routine_digest.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Request = marltest::DigestRequest;
using marltest::Fnv1a;

const char* const kDigestFile = MARL_ROUTINE_64 ? "routine_digests64.inc" : "routine_digests.inc";

enum class Producer : uint32_t { Generator = 0, Prebuilt = 1 };

struct Digest {
    Producer Made;
    Request Asked;
    uint32_t Length;
    uint64_t Hash;
};

const std::vector<Digest> kExpected = {
#define ROUTINE_DIGEST(made, rop, brush, color, sourceStride, destStride, patternWidth, phase,     \
                       width, bits, clearBit, setBit, bitPhase, length, hash)                      \
    {Producer(made),                                                                               \
     {rop, brush, color, sourceStride, destStride, patternWidth, phase, width, bits, clearBit,     \
      setBit, bitPhase},                                                                           \
     length,                                                                                       \
     hash},
#if MARL_ROUTINE_64
#include "data/routine_digests64.inc"
#else
#include "data/routine_digests.inc"
#endif
#undef ROUTINE_DIGEST
};

// Every code with a pattern row or a solid colour and a one-bit or a plane source, and the
// requests that the generator makes safe before it emits (empty rows, empty pattern runs,
// phases past their ranges, the widest fields).
std::vector<Request> Requests() {
    std::vector<Request> requests;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (uint32_t brush : {0u, 1u}) {
            for (uint32_t bits : {1u, 24u}) {
                requests.push_back(
                    {rop, brush, 0x00336699, 37, 41, 7, 3, 33, bits, 0x0010E0F0, 0x00C08040, 5});
            }
        }
    }
    const Request edges[] = {
        {0x17, 1, 0x00336699, 37, 41, 7, 3, 0, 1, 0x0010E0F0, 0x00C08040, 5},
        {0xF0, 1, 0x00336699, 37, 41, 0, 3, 33, 24, 0, 0, 0},
        {0xB8, 1, 0x00336699, 37, 41, 7, 19, 33, 24, 0, 0, 0},
        {0xE2, 0, 0x00336699, 37, 41, 7, 3, 33, 1, 0x0010E0F0, 0x00C08040, 13},
        {0x96, 1, 0xFF010203, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE, 0xFFFF, 24, 0, 0, 0},
        {0x2D, 0, 0x12345678, 0x12345678, 0x12345678, 1, 0, 0x10001, 8, 0x12345678, 0x12345678,
         0x12345678},
        {0x1E, 1, 0, 8, 8, 16, 0, 1, 1, 0xFFFFFFFF, 0, 7},
    };
    requests.insert(requests.end(), std::begin(edges), std::end(edges));
    return requests;
}

Digest Generate(const Request& r) {
    marl::BlitRoutine routine;
    routine.CompileRop(r.Rop, r.BrushPattern, r.PatternColor, r.SourcePlaneStride,
                       r.DestPlaneStride, r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits,
                       r.ClearBitColor, r.SetBitColor, r.BitPhase);
    const uint8_t* start = marl::CodeBufferArea().Base;
    const auto length = static_cast<uint32_t>(routine.Cursor - routine.Entry);
    Digest digest{Producer::Generator, r, length, Fnv1a(start, length)};
    return digest;
}

// Build for a catalogue code patches its prebuilt routine in place: the digest covers the
// routine from its entry to its end, patch slots included.
Digest Prebuild(const Request& r) {
    marl::BlitRoutine routine;
    uint16_t result = 0;
    routine.Build(r.Rop, r.BrushPattern, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
                  r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor,
                  r.SetBitColor, r.BitPhase, &result);
    Digest digest{Producer::Prebuilt, r, 0, 0};
    for (const marl::BlitTemplate& prebuilt : marl::TemplateCatalogue()) {
        if (reinterpret_cast<uintptr_t>(prebuilt.Entry) != routine.Entry) continue;
        digest.Length = static_cast<uint32_t>(prebuilt.End - prebuilt.Entry);
        digest.Hash = Fnv1a(prebuilt.Entry, digest.Length);
    }
    return digest;
}

std::vector<Digest> AllDigests() {
    std::vector<Digest> digests;
    for (const Request& request : Requests()) {
        digests.push_back(Generate(request));
        if (marl::InTemplateCatalogue(request.Rop)) digests.push_back(Prebuild(request));
    }
    return digests;
}

bool WriteDigests(const char* path, const std::vector<Digest>& digests) {
    FILE* file = std::fopen(path, "w");
    if (!file) return false;
    std::fprintf(
        file,
        "// Digests of the routines CompileRop writes and Build patches, one per request, made by\n"
        "// tests/routine_bytes_test.cpp (see there how to write them anew):\n"
        "// ROUTINE_DIGEST(0 generated by CompileRop or 1 prebuilt and patched by\n"
        "// Build, the twelve request values, code bytes, FNV-1a 64)\n");
    for (const Digest& d : digests) {
        std::fprintf(file, "ROUTINE_DIGEST(%" PRIu32 ", ", static_cast<uint32_t>(d.Made));
        marltest::PrintDigestRequest(file, d.Asked);
        std::fprintf(file, ", %" PRIu32 ", 0x%016" PRIX64 "ull)\n", d.Length, d.Hash);
    }
    return std::fclose(file) == 0;
}

TEST(RoutineBytes, GeneratedRoutinesMatchTheCheckedInDigests) {
    const std::vector<Digest> digests = AllDigests();
    if (const char* path = std::getenv("MARL_WRITE_ROUTINE_DIGESTS")) {
        ASSERT_TRUE(WriteDigests(path, digests)) << path;
        GTEST_SKIP() << "digests written to " << path;
    }
    ASSERT_EQ(kExpected.size(), digests.size())
        << "tests/data/" << kDigestFile << " lists other requests: write it anew";
    int differences = 0;
    for (size_t i = 0; i < digests.size(); ++i) {
        const Digest& want = kExpected[i];
        const Digest& got = digests[i];
        ASSERT_TRUE(want.Made == got.Made && want.Asked == got.Asked) << "request " << i;
        ASSERT_NE(got.Length, 0u) << "request " << i << ": no routine found";
        if (want.Length == got.Length && want.Hash == got.Hash) continue;
        if (++differences > 8) continue;
        ADD_FAILURE() << (got.Made == Producer::Prebuilt ? "prebuilt" : "generated") << " rop 0x"
                      << std::hex << got.Asked.Rop << std::dec << " brush "
                      << got.Asked.BrushPattern << " bits " << got.Asked.SourceBits << " width "
                      << got.Asked.RowWidth << ": " << got.Length << " bytes, digest 0x" << std::hex
                      << got.Hash << "; expected " << std::dec << want.Length << " bytes, digest 0x"
                      << std::hex << want.Hash;
    }
    EXPECT_EQ(differences, 0) << "routines differ from tests/data/" << kDigestFile;
}

TEST(RoutineBytes, TheSameRequestGivesTheSameBytesAgain) {
    // The buffer is rewritten from its first byte, whatever the routine before it left there.
    const Request first = {0x17, 1, 0x00336699, 37, 41, 7, 3, 33, 1, 0x0010E0F0, 0x00C08040, 5};
    const Request longer = {0xB8, 1, 0xFF010203, 0xFFFF, 0xFFFF, 9, 4, 0xFFFF, 24, 0, 0, 0};
    const Digest before = Generate(first);
    Generate(longer);
    const Digest after = Generate(first);
    EXPECT_EQ(before.Length, after.Length);
    EXPECT_EQ(before.Hash, after.Hash);
}

} // namespace
