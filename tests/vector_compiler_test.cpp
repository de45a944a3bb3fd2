// The vector routines against the reference evaluator, sample by sample in every plane, with
// every row in guarded memory so that a read or write past a row faults.
#include "platform/platform.h"
#include "render24/blit/code_area.h"
#include "render24/blit/serial/rop_names.h"
#include "render24/blit/vector/cpu_features.h"
#include "render24/blit/vector/vector_compiler.h"
#include "render24/blit/vector/vector_pattern.h"
#include "support/reference_rop.h"
#include "support/register_watch.h"
#include "support/vector_rows.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using marltest::RopRequest;
using marltest::VectorAgainstReference;
using marltest::VectorRows;

constexpr uint32_t kPatternWidths[] = {1, 3, 8, 16, 24, 32};
constexpr uint32_t kSourceKinds[] = {24, 8, 1};

bool UsesSource(uint32_t rop) { return marl::RopOperands().UsesSource(rop); }
bool UsesPattern(uint32_t rop) { return marl::RopOperands().UsesPattern(rop); }

uint32_t Colour(std::mt19937& random) {
    return marltest::BiasedSample(random) | marltest::BiasedSample(random) << 8 |
           marltest::BiasedSample(random) << 16 | (random() & 0xFF000000u);
}

// A request with random colours; the caller sets what the case is about.
RopRequest RandomRequest(uint32_t rop, uint32_t width, uint32_t sourceBits, bool rows,
                         uint32_t patternWidth, std::mt19937& random) {
    RopRequest r;
    r.Rop = static_cast<uint8_t>(rop);
    r.RowWidth = width;
    r.SourceBits = sourceBits;
    r.BrushPattern = rows;
    r.PatternColor = Colour(random);
    r.PatternWidth = patternWidth;
    r.PatternPhase = random() % patternWidth;
    r.ClearBitColor = Colour(random);
    r.SetBitColor = Colour(random);
    r.BitPhase = random() % 8;
    return r;
}

bool WideRunsHere(const RopRequest& request) {
    return marl::vec::CpuHasAvx2() && marl::vec::WideStepsServe(marltest::Normalised(request));
}

// The routine of 16-sample steps, and where the processor has AVX2 and the request allows it,
// the routine of 32-sample steps too, over the same rows.
std::string Check(const RopRequest& request, std::mt19937& random) {
    VectorRows rows(request, random() % 18, random() % 18, random);
    std::string difference = VectorAgainstReference(rows);
    if (!difference.empty() || !WideRunsHere(request)) return difference;
    difference = VectorAgainstReference(rows, marl::kVectorWideSteps);
    return difference.empty() ? "" : "32-sample steps: " + difference;
}

// Every code with every source kind and both kinds of P, at widths 16 to 40.
TEST(VectorCompiler, EveryCodeWithEverySourceAndPatternKind) {
    std::mt19937 random(1);
    uint32_t turn = 0;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (uint32_t sourceBits : kSourceKinds) {
            for (bool rows : {false, true}) {
                uint32_t width = 16 + turn % 25;
                uint32_t patternWidth = kPatternWidths[turn % 6];
                ++turn;
                RopRequest r = RandomRequest(rop, width, sourceBits, rows, patternWidth, random);
                std::string difference = Check(r, random);
                ASSERT_TRUE(difference.empty()) << difference;
            }
        }
    }
}

// Every width from 16 to 40 (every closing-step overlap) for every code.
TEST(VectorCompiler, EveryWidthFrom16To40) {
    std::mt19937 random(2);
    uint32_t turn = 0;
    for (uint32_t width = 16; width <= 40; ++width) {
        for (uint32_t rop = 0; rop < 256; ++rop, ++turn) {
            RopRequest r = RandomRequest(rop, width, kSourceKinds[turn % 3], turn % 2 == 0,
                                         kPatternWidths[turn % 6], random);
            std::string difference = Check(r, random);
            ASSERT_TRUE(difference.empty()) << difference;
        }
    }
}

// Row starts at every offset from a 16-byte boundary, planes at strides that are no multiple
// of 16 either.
TEST(VectorCompiler, EveryStartAlignment) {
    std::mt19937 random(3);
    const uint32_t codes[] = {0x00, 0xCC, 0xF0, 0x5A, 0xB8, 0xE2, 0x68, 0x17, 0x96, 0xAA};
    for (uint32_t destGap = 0; destGap < 16; ++destGap) {
        for (uint32_t rop : codes) {
            for (uint32_t sourceBits : kSourceKinds) {
                RopRequest r =
                    RandomRequest(rop, 16 + random() % 25, sourceBits, destGap % 2 == 1, 8, random);
                VectorRows rows(r, destGap, random() % 18, random);
                std::string difference = VectorAgainstReference(rows);
                ASSERT_TRUE(difference.empty()) << difference;
            }
        }
    }
}

// A pattern of width 8 at every phase, over every code that reads P.
TEST(VectorCompiler, PatternWidth8AtEveryPhase) {
    std::mt19937 random(4);
    uint32_t turn = 0;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        if (!UsesPattern(rop)) continue;
        for (uint32_t phase = 0; phase < 8; ++phase, ++turn) {
            RopRequest r =
                RandomRequest(rop, 16 + turn % 25, kSourceKinds[turn % 3], true, 8, random);
            r.PatternPhase = phase;
            std::string difference = Check(r, random);
            ASSERT_TRUE(difference.empty()) << difference;
        }
    }
}

// Pattern periods of every kind: widths dividing 16, just below and above 16 and 32, and
// wider than the row.
TEST(VectorCompiler, PatternWidthsOfEveryPeriod) {
    std::mt19937 random(5);
    const uint32_t widths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 48, 100};
    const uint32_t codes[] = {0xF0, 0x0F, 0x5A, 0xA0, 0xB8, 0xE2, 0x16, 0x69, 0x7E, 0xFA};
    for (uint32_t width : widths) {
        for (uint32_t phase = 0; phase < width; phase += 1 + width / 8) {
            for (uint32_t rop : codes) {
                RopRequest r = RandomRequest(rop, 16 + random() % 25, 24, true, width, random);
                r.PatternPhase = phase;
                std::string difference = Check(r, random);
                ASSERT_TRUE(difference.empty()) << difference;
            }
        }
    }
}

// A one-bit source at every bit phase, over every code that reads S (those with several "S"
// among them), with clear-bit and set-bit colours of every kind.
TEST(VectorCompiler, OneBitSourceAtEveryBitPhase) {
    std::mt19937 random(6);
    uint32_t turn = 0;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        if (!UsesSource(rop)) continue;
        for (uint32_t bitPhase = 0; bitPhase < 8; ++bitPhase, ++turn) {
            RopRequest r = RandomRequest(rop, 16 + turn % 25, 1, turn % 2 == 0,
                                         kPatternWidths[turn % 6], random);
            r.BitPhase = bitPhase;
            // No difference between the bits; white and black either way round.
            if (turn % 4 == 0) r.ClearBitColor = r.SetBitColor;
            if (turn % 4 == 1) r.ClearBitColor = 0xFFFFFF, r.SetBitColor = 0;
            if (turn % 4 == 2) r.ClearBitColor = 0, r.SetBitColor = 0xFFFFFF;
            std::string difference = Check(r, random);
            ASSERT_TRUE(difference.empty()) << difference;
        }
    }
}

// A band-wide row for every code, with each source kind and both kinds of P in turn.
TEST(VectorCompiler, BandWideRowForEveryCode) {
    std::mt19937 random(7);
    for (uint32_t rop = 0; rop < 256; ++rop) {
        RopRequest r = RandomRequest(rop, 4960, kSourceKinds[rop % 3], rop % 2 == 1,
                                     kPatternWidths[rop % 6], random);
        std::string difference = Check(r, random);
        ASSERT_TRUE(difference.empty()) << difference;
    }
    // And a width that is no multiple of 16, with the widest pattern period.
    RopRequest r = RandomRequest(0x68, 4967, 1, true, 33, random);
    std::string difference = Check(r, random);
    EXPECT_TRUE(difference.empty()) << difference;
}

// Wider rows take other forms: a source copied as it is ("S") as a string, and a result that
// reads neither D nor S (nor streamed pattern rows) by aligned stores. Codes reading S without
// D keep the steps. Widths around where each form starts, and pattern periods of every kind.
TEST(VectorCompiler, PlaneFormsAroundTheirThresholds) {
    std::mt19937 random(12);
    const uint32_t widths[] = {127, 128, 129, 400, 601, 1000, 2047, 2048, 2049};
    const uint32_t patternWidths[] = {1, 3, 8, 24, 33, 100, 300};
    uint32_t turn = 0;
    for (uint32_t width : widths) {
        for (uint32_t rop : {0xCCu, 0x00u, 0xFFu, 0xF0u, 0x0Fu, 0x3Cu, 0x33u, 0xC0u}) {
            for (uint32_t sourceBits : kSourceKinds) {
                for (bool rows : {false, true}) {
                    uint32_t patternWidth = patternWidths[turn++ % 7];
                    RopRequest r =
                        RandomRequest(rop, width, sourceBits, rows, patternWidth, random);
                    std::string difference = Check(r, random);
                    ASSERT_TRUE(difference.empty()) << difference;
                }
            }
        }
    }
}

// The codes whose result reads neither D nor S store at aligned addresses between a first and
// a last step on rows of eight steps or more: every row start against a 32-byte boundary (the
// plane gap moves it), widths around eight steps of either size, and pattern periods that
// repeat within a step (whose phase at the first aligned address depends on the address) or
// stream.
TEST(VectorCompiler, AlignedStoresFromEveryRowStart) {
    std::mt19937 random(13);
    const uint32_t widths[] = {127, 128, 129, 255, 256, 257, 303, 600};
    const uint32_t patternWidths[] = {1, 2, 4, 8, 16, 32, 3, 24, 40};
    uint32_t turn = 0;
    for (uint32_t width : widths) {
        for (uint32_t destGap = 0; destGap < 32; ++destGap) {
            for (uint32_t rop : {0x00u, 0xFFu, 0xF0u, 0x0Fu}) {
                const uint32_t patternWidth = patternWidths[turn++ % 9];
                RopRequest r = RandomRequest(rop, width, 24, turn % 4 != 0, patternWidth, random);
                VectorRows rows(r, destGap, 0, random);
                std::string difference = VectorAgainstReference(rows);
                ASSERT_TRUE(difference.empty()) << difference;
                if (!WideRunsHere(r)) continue;
                difference = VectorAgainstReference(rows, marl::kVectorWideSteps);
                ASSERT_TRUE(difference.empty()) << "32-sample steps: " << difference;
            }
        }
    }
}

// Plane runs that overlap each other (a stride below the row width) are still done plane
// after plane: plane 1 combines what plane 0 left.
TEST(VectorCompiler, OverlappingDestinationPlanesFollowThePlaneOrder) {
    std::mt19937 random(8);
    for (uint32_t rop : {0x55u, 0x5Au, 0x66u, 0xB8u, 0x68u, 0xF0u, 0xCCu}) {
        for (uint32_t stride : {0u, 5u, 16u, 23u, 300u}) {
            const uint32_t width = stride == 300 ? 500 : 29;
            RopRequest r = RandomRequest(rop, width, 24, rop == 0xB8 || rop == 0xF0, 3, random);
            r.SourcePlaneStride = width;
            // Lay the rows out by hand: the destination planes share one guarded run.
            r.DestPlaneStride = stride;
            marltest::GuardedBuffer dest(2 * stride + width), source(3 * width);
            marltest::GuardedBuffer brush(9), prepared(3 * marl::vec::PreparedRunLength(3));
            for (auto* b : {&dest, &source, &brush}) {
                for (size_t i = 0; i < b->size(); ++i)
                    b->data()[i] = marltest::BiasedSample(random);
            }
            marl::vec::PreparePatternRow(brush.data(), 3, r.PatternPhase, prepared.data());
            std::vector<uint8_t> expected(dest.data(), dest.data() + dest.size());
            marltest::ReferenceRow(r, source.data(), expected.data(), brush.data());
            marl::BlitRoutine routine;
            ASSERT_TRUE(marl::vec::CompileVectorRop(routine, marltest::Normalised(r)));
            routine.Run(source.data(), dest.data(), prepared.data());
            EXPECT_EQ(std::vector<uint8_t>(dest.data(), dest.data() + dest.size()), expected)
                << marltest::Describe(r);
        }
    }
}

// Every shape of routine (closing step or none, each source and pattern form) keeps the
// row-call contract.
TEST(VectorCompiler, RoutinesKeepTheRowCallContract) {
    std::mt19937 random(11);
    for (uint32_t width : {32u, 37u}) {
        for (uint32_t sourceBits : kSourceKinds) {
            for (uint32_t patternWidth : {8u, 24u}) {
                RopRequest r = RandomRequest(0x68, width, sourceBits, true, patternWidth, random);
                VectorRows rows(r, 3, 5, random);
                std::vector<uint8_t> expected = rows.Expected();
                marl::BlitRoutine routine;
                ASSERT_TRUE(
                    marl::vec::CompileVectorRop(routine, marltest::Normalised(rows.Request())));
                EXPECT_EQ(CallWatchingRegisters(&routine, rows.Source(), rows.Destination(),
                                                rows.PreparedRow()),
                          1u)
                    << marltest::Describe(rows.Request());
                EXPECT_EQ(rows.Difference(expected), "");
            }
        }
    }
}

TEST(VectorCompiler, DeclinesWhatItDoesNotServe) {
    std::mt19937 random(9);
    struct Case {
        const char* What;
        RopRequest Request;
    } cases[] = {
        {"15 pixels", RandomRequest(0xCC, 15, 24, false, 8, random)},
        {"width 0", RandomRequest(0xCC, 0, 24, false, 8, random)},
        {"65536 pixels read as 0", RandomRequest(0xCC, 0x10000, 24, false, 8, random)},
        {"pattern width 0", RandomRequest(0xF0, 64, 24, true, 8, random)},
    };
    cases[3].Request.PatternWidth = 0;
    cases[3].Request.PatternPhase = 0;
    for (const Case& c : cases) {
        marl::BlitRoutine routine;
        routine.Entry = 0x1234;
        EXPECT_FALSE(marl::vec::CompileVectorRop(routine, marltest::Normalised(c.Request)))
            << c.What;
        EXPECT_EQ(routine.Entry, 0x1234u) << c.What;
    }
    // What the 32-sample steps do not take: narrower rows, one-bit sources, and pattern
    // periods a step of 32 cannot follow (below 32 and no divisor of it).
    struct Wide {
        const char* What;
        RopRequest Request;
        bool Served;
    } wide[] = {
        {"31 pixels", RandomRequest(0x66, 31, 24, false, 8, random), false},
        {"32 pixels", RandomRequest(0x66, 32, 24, false, 8, random), true},
        {"one-bit source", RandomRequest(0xB8, 64, 1, true, 8, random), false},
        {"one-bit source, no S", RandomRequest(0xF0, 64, 1, true, 8, random), true},
        {"period 16", RandomRequest(0xB8, 64, 8, true, 8, random), true},
        {"period 32", RandomRequest(0xB8, 64, 8, true, 32, random), true},
        {"period 20", RandomRequest(0xB8, 64, 8, true, 5, random), false},
        {"period 20, no P", RandomRequest(0x66, 64, 8, true, 5, random), true},
        {"period 33", RandomRequest(0xB8, 64, 24, true, 33, random), true},
    };
    for (const Wide& c : wide) {
        marl::BlitRequest request = marltest::Normalised(c.Request);
        EXPECT_EQ(marl::vec::WideStepsServe(request), c.Served) << c.What;
        request.VectorForm = marl::kVectorWideSteps;
        EXPECT_EQ(marl::vec::VectorServes(request), c.Served) << c.What;
    }
    // The same limits do not matter where the name does not read the operand.
    RopRequest noPattern = RandomRequest(0xCC, 64, 24, true, 8, random);
    noPattern.PatternWidth = 0;
    EXPECT_TRUE(marl::vec::VectorServes(marltest::Normalised(noPattern)));
}

// A phase past the pattern row and a bit phase past 7 are read as the byte-serial routines
// read them (modulo the width, modulo 8): the vector routine of such a request is the one of
// the reduced request, and draws what the byte-serial routine draws.
TEST(VectorCompiler, PhasesPastTheirRangeAreReducedOnce) {
    if (!marl::vec::CpuHasSse2()) GTEST_SKIP() << "no SSE2";
    std::mt19937 random(10);
    struct Case {
        const char* What;
        RopRequest InRange;
        uint32_t RopRequest::*Phase;
    } cases[] = {
        {"pattern phase", RandomRequest(0xF0, 64, 24, true, 8, random), &RopRequest::PatternPhase},
        {"bit phase", RandomRequest(0xCC, 64, 1, false, 8, random), &RopRequest::BitPhase},
    };
    for (const Case& c : cases) {
        marltest::VectorRows rows(c.InRange, 3, 5, random);
        RopRequest distant = rows.Request();
        distant.*c.Phase += 8;
        ASSERT_EQ(marltest::Normalised(distant), marltest::Normalised(rows.Request())) << c.What;
        marl::BlitRoutine distantRoutine, reducedRoutine;
        ASSERT_TRUE(marl::vec::CompileVectorRop(distantRoutine, marltest::Normalised(distant)))
            << c.What;
        const std::vector<uint8_t> distantBytes(
            reinterpret_cast<const uint8_t*>(distantRoutine.Entry),
            reinterpret_cast<const uint8_t*>(distantRoutine.Cursor));
        ASSERT_TRUE(
            marl::vec::CompileVectorRop(reducedRoutine, marltest::Normalised(rows.Request())));
        EXPECT_EQ(distantBytes,
                  std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(reducedRoutine.Entry),
                                       reinterpret_cast<const uint8_t*>(reducedRoutine.Cursor)))
            << c.What;
        const std::vector<uint8_t> expected = rows.Expected();
        rows.RunVector(distantRoutine);
        EXPECT_EQ(rows.Difference(expected), "") << c.What;
    }
}

} // namespace
