// The tiers of the block-transfer engine: which requests each serves, that each prepares its
// routine in its own code area, and the order in which a transfer's chain asks them.
#include "render24/blit/routine_cache.h"
#include "render24/blit/serial/generated_tier.h"
#include "render24/blit/serial/prebuilt_tier.h"
#include "render24/blit/tier_chain.h"
#include "render24/blit/vector/cpu_features.h"
#include "render24/blit/vector/vector_tier.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct TierCase {
    const char* What;
    uint32_t Rop, RowWidth, BrushPattern, PatternWidth;
    bool Prebuilt; // the prebuilt tier serves it
    bool Vector;   // the vector tier serves it (with SSE2)
};

const TierCase kCases[] = {
    {"catalogue code, wide", 0xCC, 64, 0, 0, true, true},
    {"catalogue code, narrow", 0xB8, 15, 0, 0, true, false},
    {"generated code, wide", 0x2D, 64, 0, 0, false, true},
    {"generated code with pattern rows", 0x2D, 64, 1, 8, false, true},
    {"generated code, narrow", 0x2D, 3, 0, 0, false, false},
    {"row of no pixels, any code", 0x2D, 0, 0, 0, true, false},
    {"pattern rows of no samples", 0x5A, 64, 1, 0, true, false},
};

marl::BlitRequest RequestOf(const TierCase& c) {
    return marl::NormaliseRequest(c.Rop, c.BrushPattern, 0x00336699, 70, 70, c.PatternWidth, 0,
                                  c.RowWidth, 24, 0, 0, 0);
}

bool InArea(const marl::CodeArea& area, uintptr_t entry) {
    const auto base = reinterpret_cast<uintptr_t>(area.Base);
    return entry >= base && entry < base + area.Size;
}

TEST(RoutineTiers, EachServesWhatItSaysAndPreparesInItsOwnArea) {
    marl::PrebuiltTier prebuilt;
    marl::GeneratedTier generated(true);
    marl::vec::VectorTier vector;
    const bool sse2 = marl::vec::CpuHasSse2();
    for (const TierCase& c : kCases) {
        const marl::BlitRequest request = RequestOf(c);
        EXPECT_EQ(prebuilt.Serves(request), c.Prebuilt) << c.What;
        EXPECT_TRUE(generated.Serves(request)) << c.What;
        EXPECT_EQ(vector.Serves(request), sse2 && c.Vector) << c.What;
        marl::RoutineTier* tiers[] = {&prebuilt, &generated, &vector};
        for (marl::RoutineTier* tier : tiers) {
            if (!tier->Serves(request) || request.PatternRows) continue;
            marl::BlitRoutine routine;
            ASSERT_TRUE(tier->Prepare(routine, request, marl::TransferRows{})) << c.What;
            EXPECT_TRUE(InArea(tier->Area(), routine.Entry)) << c.What;
        }
    }
}

// The chain gives a transfer the byte-serial routine of the first byte-serial tier that serves
// the request, and a vector routine beside it where the vector tier serves it.
TEST(RoutineTiers, TheChainAsksTheTiersInOrder) {
    marl::PrebuiltTier prebuilt;
    marl::GeneratedTier generated(true);
    const bool sse2 = marl::vec::CpuHasSse2();
    for (const TierCase& c : kCases) {
        if (c.BrushPattern != 0) continue; // pattern rows need the brush the transfer describes
        const marl::BlitRequest request = RequestOf(c);
        marl::TierChain chain;
        ASSERT_TRUE(chain.Prepare(request, marl::TransferRows{})) << c.What;
        EXPECT_EQ(chain.VectorPrepared(), sse2 && c.Vector) << c.What;
        marl::BlitRoutine expected;
        marl::RoutineTier& first =
            prebuilt.Serves(request) ? static_cast<marl::RoutineTier&>(prebuilt) : generated;
        ASSERT_TRUE(first.Prepare(expected, request, marl::TransferRows{})) << c.What;
        marl::BlitRoutine serial;
        ASSERT_TRUE(serial.Prepare(request)) << c.What;
        EXPECT_EQ(serial.Entry, expected.Entry) << c.What;
    }
}

} // namespace
