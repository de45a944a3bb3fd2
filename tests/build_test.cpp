// Build: variant choice, the worked values, patching on every call, the hand-over to the
// generator, and the requests a routine could not run as given.
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/serial/templates.h"
#include "support/build_request.h"
#include "support/guarded_memory.h"
#include "support/page_map.h"
#include "support/reference_rop.h"
#include "support/row_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using marl::BlitTemplate;
using marl::TemplateVariant;
using V = TemplateVariant;
using Bytes = std::vector<uint8_t>;

bool Reads(uint32_t rop, char operand) {
    return marltest::ReferenceName(static_cast<uint8_t>(rop)).find(operand) != std::string::npos;
}

const BlitTemplate* Routine(uint32_t rop, V variant) {
    for (const BlitTemplate& routine : marl::TemplateCatalogue())
        if (routine.Rop == rop && routine.Variant == variant) return &routine;
    return nullptr;
}

uintptr_t Address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// The variant a request should get, from what the code reads.
V ExpectedVariant(uint32_t rop, bool patternRow, bool oneBit) {
    bool p = Reads(rop, 'P'), s = Reads(rop, 'S');
    if (p && s)
        return oneBit ? (patternRow ? V::OneBitPattern : V::OneBitSolid)
                      : (patternRow ? V::PlanesPattern : V::PlanesSolid);
    if (p) return patternRow ? V::Pattern : V::Solid;
    if (s) return oneBit ? V::OneBit : V::Planes;
    return V::Plain;
}

TEST(Build, ChoosesTheVariantFromTheLowBitsOfBrushAndSourceDepth) {
    for (uint32_t rop = 0; rop < 256; ++rop) {
        if (!marl::InTemplateCatalogue(rop)) continue;
        for (uint32_t brush : {0u, 7u, 0x10000u}) {
            for (uint32_t sourceBits : {1u, 24u, 8u, 0x10001u}) {
                bool patternRow = (brush & 0xFFFF) != 0, oneBit = (sourceBits & 0xFFFF) == 1;
                const BlitTemplate* expected =
                    Routine(rop, ExpectedVariant(rop, patternRow, oneBit));
                ASSERT_NE(expected, nullptr) << std::hex << rop;
                marl::BlitRoutine routine;
                uint16_t result = 0xBEEF;
                // The code's high bits are not part of it.
                EXPECT_EQ(routine.Build(rop | 0x4400, brush, 0, 4, 4, 8, 0, 4, sourceBits, 0, 0, 0,
                                        &result),
                          &routine);
                EXPECT_EQ(result, 0);
                EXPECT_EQ(routine.Entry, Address(expected->Entry))
                    << expected->Label << " brush " << brush << " bits " << sourceBits;
            }
        }
    }
}

// ---- the worked values ----

// One row of three planes, width pixels each, stride apart, ending flush against a guard.
struct Planes {
    explicit Planes(uint32_t width, uint8_t fill = 0, uint32_t stride = 0)
        : Stride(stride ? stride : width), Memory(2 * Stride + width, fill) {}
    uint8_t* Plane(uint32_t k) { return Memory.data() + k * Stride; }
    Bytes Row(uint32_t k, uint32_t width) { return Bytes(Plane(k), Plane(k) + width); }
    uint32_t Stride;
    marltest::GuardedBuffer Memory;
};

// A transfer as RPBitBlt makes one: Build, one row, restore.
struct Transfer {
    uint32_t Rop = 0xCC, BrushPattern = 0, PatternColor = 0, SourceStride = 0, DestStride = 0;
    uint32_t PatternWidth = 0, PatternPhase = 0, Width = 1, SourceBits = 24;
    uint32_t ClearBitColor = 0, SetBitColor = 0, BitPhase = 0;

    uintptr_t Run(const void* source, void* destination, const void* pattern) const {
        marl::BlitRoutine routine;
        uint16_t result = 0xBEEF;
        routine.Build(Rop, BrushPattern, PatternColor, SourceStride, DestStride, PatternWidth,
                      PatternPhase, Width, SourceBits, ClearBitColor, SetBitColor, BitPhase,
                      &result);
        EXPECT_EQ(result, 0);
        routine.Run(source, destination, pattern);
        return routine.Entry;
    }
};

TEST(BuildWorkedValues, ColourExpansionOfAOneBitRow) {
    marltest::GuardedBuffer source(2);
    source.data()[0] = 0xA5;
    source.data()[1] = 0x3C;
    Planes destination(16, 0x77);
    Transfer transfer{.Rop = 0xCC, .DestStride = 16, .Width = 16, .SourceBits = 1};
    transfer.ClearBitColor = 0;
    transfer.SetBitColor = 0x00FFFFFF;
    EXPECT_EQ(transfer.Run(source.data(), destination.Plane(0), nullptr),
              Address(Routine(0xCC, V::OneBit)->Entry));
    Bytes expected;
    for (uint32_t x = 0; x < 16; ++x)
        expected.push_back((0xA53C >> (15 - x)) & 1 ? 255 : 0);
    for (uint32_t k = 0; k < 3; ++k)
        EXPECT_EQ(destination.Row(k, 16), expected) << k;
}

TEST(BuildWorkedValues, XorIsBitwiseWithSolidAndPatternP) {
    struct Case {
        uint8_t D, P, Result;
    } cases[] = {{0x0F, 0xF0, 0xFF}, {200, 100, 172}};
    for (const Case& c : cases) {
        Planes destination(1, c.D);
        Transfer solid{.Rop = 0x5A, .PatternColor = c.P * 0x010101u, .DestStride = 1};
        solid.Run(nullptr, destination.Plane(0), nullptr);
        for (uint32_t k = 0; k < 3; ++k)
            EXPECT_EQ(*destination.Plane(k), c.Result);
    }
    // The same two pixels from a pattern row of width 2.
    Planes destination(2);
    for (uint32_t k = 0; k < 3; ++k) {
        destination.Plane(k)[0] = 0x0F;
        destination.Plane(k)[1] = 200;
    }
    const uint8_t pattern[] = {0xF0, 100, 0xF0, 100, 0xF0, 100};
    Transfer patterned{
        .Rop = 0x5A, .BrushPattern = 1, .DestStride = 2, .PatternWidth = 2, .Width = 2};
    patterned.Run(nullptr, destination.Plane(0), pattern);
    for (uint32_t k = 0; k < 3; ++k)
        EXPECT_EQ(destination.Row(k, 2), (Bytes{0xFF, 172}));
}

TEST(BuildWorkedValues, B8WithSolidPTakesDWhereSIsFullAndPWhereSIsEmpty) {
    const uint32_t width = 64;
    std::mt19937 random(0xB8);
    Planes source(width), destination(width);
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t x = 0; x < width; ++x) {
            source.Plane(k)[x] = x % 3 == 0 ? 255 : x % 3 == 1 ? 0 : random() & 0xFF;
            destination.Plane(k)[x] = random() & 0xFF;
        }
    Bytes before[3] = {destination.Row(0, width), destination.Row(1, width),
                       destination.Row(2, width)};
    const uint8_t p[3] = {0x10, 0x3C, 0xE7};
    Transfer transfer{.Rop = 0xB8,
                      .PatternColor = 0xE73C10,
                      .SourceStride = width,
                      .DestStride = width,
                      .Width = width};
    transfer.Run(source.Plane(0), destination.Plane(0), nullptr);
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t s = source.Plane(k)[x], d = before[k][x], got = destination.Plane(k)[x];
            if (s == 255) {
                EXPECT_EQ(got, d) << k << " " << x;
            }
            if (s == 0) {
                EXPECT_EQ(got, p[k]) << k << " " << x;
            }
            EXPECT_EQ(got, marltest::EvaluateName("PSDPxax", d, s, p[k]));
        }
}

TEST(BuildWorkedValues, PatternPhaseSixOfEight) {
    uint8_t pattern[24];
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t column = 0; column < 8; ++column)
            pattern[8 * k + column] = 16 * k + column;
    Planes destination(10);
    Transfer transfer{.Rop = 0xF0,
                      .BrushPattern = 1,
                      .DestStride = 10,
                      .PatternWidth = 8,
                      .PatternPhase = 6,
                      .Width = 10};
    transfer.Run(nullptr, destination.Plane(0), pattern);
    const uint8_t columns[10] = {6, 7, 0, 1, 2, 3, 4, 5, 6, 7};
    for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t x = 0; x < 10; ++x)
            EXPECT_EQ(destination.Plane(k)[x], 16 * k + columns[x]) << k << " " << x;
}

TEST(BuildWorkedValues, BitPhaseThreeStartsAtMask10AndMovesOnAfterPixelFour) {
    // 13 pixels after 3 skipped bits use exactly the two bytes, which end at the guard page.
    marltest::GuardedBuffer source(2);
    source.data()[0] = 0x10; // pixel 0 only
    source.data()[1] = 0x80; // pixel 5 only
    Planes destination(13, 0x77);
    Transfer transfer{.Rop = 0xCC,
                      .DestStride = 13,
                      .Width = 13,
                      .SourceBits = 1,
                      .ClearBitColor = 0,
                      .SetBitColor = 0xFFFFFF,
                      .BitPhase = 3};
    transfer.Run(source.data(), destination.Plane(0), nullptr);
    Bytes expected(13, 0);
    expected[0] = expected[5] = 255;
    for (uint32_t k = 0; k < 3; ++k)
        EXPECT_EQ(destination.Row(k, 13), expected) << k;
}

TEST(BuildWorkedValues, EveryPlaneOfAOneBitRowReadsTheSameBitsWithItsOwnColours) {
    const uint8_t bits[] = {0xC3};
    Planes destination(8);
    for (uint32_t rop : {0xCCu, 0x66u}) {
        std::memset(destination.Memory.data(), 0, destination.Memory.size());
        Transfer transfer{.Rop = rop,
                          .DestStride = 8,
                          .Width = 8,
                          .SourceBits = 1,
                          .ClearBitColor = 0x665544,
                          .SetBitColor = 0x332211};
        transfer.Run(bits, destination.Plane(0), nullptr);
        for (uint32_t k = 0; k < 3; ++k) {
            uint8_t set = 0x11 * (k + 1), clear = 0x11 * (k + 4);
            EXPECT_EQ(destination.Row(k, 8),
                      (Bytes{set, set, clear, clear, clear, clear, set, set}))
                << std::hex << rop << " plane " << k;
        }
    }
}

// ---- patching on every call, and the generator ----

TEST(Build, PatchesTheRoutineAgainForASecondTransferOfTheSameCode) {
    Planes first(10), second(10);
    Transfer wide{.Rop = 0x5A, .PatternColor = 0x010101, .DestStride = 10, .Width = 10};
    Transfer narrow{.Rop = 0x5A, .PatternColor = 0x020202, .DestStride = 10, .Width = 3};
    EXPECT_EQ(wide.Run(nullptr, first.Plane(0), nullptr),
              narrow.Run(nullptr, second.Plane(0), nullptr));
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(first.Row(k, 10), Bytes(10, 1));
        EXPECT_EQ(second.Row(k, 10), (Bytes{2, 2, 2, 0, 0, 0, 0, 0, 0, 0}));
    }
}

TEST(Build, CodesOutsideTheCatalogueGoToTheGenerator) {
    int generated = 0;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        if (marl::InTemplateCatalogue(rop)) continue;
        marl::BlitRoutine routine;
        uint16_t result = 0xBEEF;
        routine.Build(rop, 0, 0, 4, 4, 8, 0, 4, 24, 0, 0, 0, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(routine.Entry, Address(marl::CodeBufferArea().Base)) << std::hex << rop;
        ++generated;
    }
    EXPECT_EQ(generated, 240);
}

// The two producers of routines give one meaning to every catalogue code: the prebuilt routine
// and the one the generator compiles for the same request leave the same rows.
TEST(Build, PrebuiltAndGeneratedRoutinesLeaveTheSameRows) {
    std::mt19937 random(0x3C);
    marltest::RowArena templateArena(3 * 4963), generatorArena(3 * 4963);
    for (const BlitTemplate& routine : marl::TemplateCatalogue()) {
        bool pattern = routine.Variant == V::Pattern || routine.Variant == V::OneBitPattern ||
                       routine.Variant == V::PlanesPattern;
        bool oneBit = routine.Variant == V::OneBit || routine.Variant == V::OneBitSolid ||
                      routine.Variant == V::OneBitPattern;
        for (uint32_t width : {1u, 9u, 4960u}) {
            for (uint32_t phase : {0u, 3u, 7u}) {
                marltest::RopRequest request;
                request.Rop = routine.Rop;
                request.BrushPattern = pattern;
                request.SourceBits = oneBit ? 1 : phase == 7 ? 8 : 24; // 8: one run for all planes
                request.RowWidth = width;
                request.DestPlaneStride = width + random() % 4;
                request.SourcePlaneStride = width + random() % 4;
                request.PatternWidth = 8;
                request.PatternPhase = phase;
                request.BitPhase = phase;
                request.PatternColor = random();
                request.ClearBitColor = random();
                request.SetBitColor = random();
                SCOPED_TRACE(std::string(routine.Label) + " width " + std::to_string(width) +
                             " phase " + std::to_string(phase));
                // The same random rows twice, one for each producer.
                std::mt19937 same = random;
                marltest::RowFixture forTemplate(request, random, templateArena);
                marltest::RowFixture forGenerator(request, same, generatorArena);

                marl::BlitRoutine prebuilt;
                marltest::BuildFor(prebuilt, request);
                ASSERT_EQ(prebuilt.Entry, Address(routine.Entry));
                forTemplate.Run(prebuilt);

                marl::BlitRoutine generated = marltest::Compile(request);
                ASSERT_EQ(generated.Entry, Address(marl::CodeBufferArea().Base));
                forGenerator.Run(generated);

                size_t bytes = 2 * size_t{request.DestPlaneStride} + width;
                ASSERT_EQ(Bytes(forTemplate.Destination(), forTemplate.Destination() + bytes),
                          Bytes(forGenerator.Destination(), forGenerator.Destination() + bytes));
                ASSERT_TRUE(forTemplate.MatchesReference());
            }
        }
    }
}

// ---- requests a routine could not run as given ----

TEST(BuildFaults, ARowOfNoPixelsReturnsAtOnceWhateverTheCode) {
    marltest::GuardedBuffer destination(1, 0x5A);
    for (uint32_t rop : {0xCCu, 0x00u, 0xB8u, 0x01u, 0x96u}) {
        for (uint32_t width : {0u, 0x10000u}) {
            marl::BlitRoutine routine;
            uint16_t result = 0xBEEF;
            routine.Build(rop, 0, 0x123456, 1, 1, 1, 0, width, 24, 0, 0, 0, &result);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(routine.Entry, Address(marl::ReturnAtOnceRoutine())) << std::hex << rop;
            routine.Run(destination.data(), destination.data(), destination.data());
            EXPECT_EQ(destination.data()[0], 0x5A);
        }
    }
}

TEST(BuildFaults, APatternRowOfWidthZeroIsDrawnWithTheSolidColour) {
    // The prebuilt routines and, through Build, the generator alike.
    for (uint32_t rop : {0xF0u, 0x5Au, 0xB8u, 0xE2u, 0x01u, 0x3Cu}) {
        Planes source(5, 0x3C), destination(5, 0xA5);
        Transfer transfer{.Rop = rop,
                          .BrushPattern = 3,
                          .PatternColor = 0x302010,
                          .SourceStride = 5,
                          .DestStride = 5,
                          .PatternWidth = 0,
                          .PatternPhase = 2,
                          .Width = 5};
        const BlitTemplate* solid = Routine(rop, ExpectedVariant(rop, false, false));
        // No pattern row at all: the routine must not read one.
        EXPECT_EQ(transfer.Run(source.Plane(0), destination.Plane(0), nullptr),
                  solid ? Address(solid->Entry) : Address(marl::CodeBufferArea().Base));
        std::string name = marltest::ReferenceName(static_cast<uint8_t>(rop));
        for (uint32_t k = 0; k < 3; ++k)
            EXPECT_EQ(destination.Row(k, 5),
                      Bytes(5, marltest::EvaluateName(name, 0xA5, 0x3C, 0x10 * (k + 1))))
                << std::hex << rop << " plane " << k;
    }
}

TEST(BuildFaults, APatternPhasePastTheWidthIsTakenModuloTheWidth) {
    std::mt19937 random(8);
    marltest::RowArena arena(60);
    for (uint32_t rop : {0xF0u, 0xE2u}) {
        for (uint32_t phase : {8u, 11u, 23u, 0xFFFFu, 0x10003u}) {
            marltest::RopRequest request;
            request.Rop = static_cast<uint8_t>(rop);
            request.BrushPattern = true;
            request.PatternWidth = 8;
            request.PatternPhase = (phase & 0xFFFF) % 8;
            request.RowWidth = 20;
            request.SourcePlaneStride = request.DestPlaneStride = 20;
            marltest::RowFixture rows(request, random, arena);
            marl::BlitRoutine routine;
            uint16_t result = 0;
            routine.Build(rop, 1, 0, 20, 20, 8, phase, 20, 24, 0, 0, 0, &result);
            rows.Run(routine);
            EXPECT_TRUE(rows.MatchesReference()) << "phase " << phase;
        }
    }
}

} // namespace
