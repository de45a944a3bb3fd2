// The contone meaning of the sixteen pattern/destination codes, against the reference
// formulas, the De Morgan pairing, the S-independence of the sixteen and worked values.
#include "render24/primitives/contone_rop.h"
#include "support/reference_contone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using marl::DispatchPatternDest;
using marl::PatternDestKind;

// What the library's dispatch writes for (code, d, p); nothing for a code that writes nothing.
std::optional<uint8_t> LibraryContone(uint32_t code, uint8_t d, uint8_t p) {
    std::optional<uint8_t> result;
    DispatchPatternDest(code, [&](auto op) { result = op.Apply(d, p); });
    return result;
}

// The sample the destination holds afterwards: the result, or D when nothing is written.
uint8_t After(uint32_t code, uint8_t d, uint8_t p) {
    return LibraryContone(code, d, p).value_or(d);
}

// Every sample pair for the sixteen codes, a grid of pairs for the other 240.
TEST(ContoneRop, EveryCodeMatchesTheReference) {
    for (uint32_t code = 0; code < 256; ++code) {
        const auto& sixteen = marltest::ReferencePatternDestCodes();
        bool handled = std::find(sixteen.begin(), sixteen.end(), code) != sixteen.end();
        uint32_t stride = handled ? 1 : 17;
        int mismatches = 0;
        for (uint32_t d = 0; d < 256; d += stride) {
            for (uint32_t p = 0; p < 256; p += stride) {
                auto dd = static_cast<uint8_t>(d), pp = static_cast<uint8_t>(p);
                auto want = marltest::ReferenceContone(static_cast<uint8_t>(code), dd, pp);
                if (LibraryContone(code, dd, pp) != want && mismatches++ < 3) {
                    ADD_FAILURE() << "code " << code << " D " << d << " P " << p;
                }
            }
        }
        EXPECT_EQ(mismatches, 0) << "code " << code;
    }
}

// A ROP3 code's bit (P << 2 | S << 1 | D) is its result for those operand bits; the sixteen
// handled codes are exactly those whose bits for S = 0 and S = 1 agree.
TEST(ContoneRop, HandledCodesAreExactlyTheSourceIndependentOnes) {
    int handled = 0;
    for (uint32_t code = 0; code < 256; ++code) {
        bool sourceFree = ((code >> 2) & 0x33) == (code & 0x33);
        PatternDestKind kind = marl::ClassifyPatternDest(code);
        EXPECT_EQ(kind != PatternDestKind::NotHandled, sourceFree) << code;
        EXPECT_EQ(kind == PatternDestKind::NothingToWrite, code == 0xAA) << code;
        handled += sourceFree;
    }
    EXPECT_EQ(handled, 16);
    // Only the low 8 bits count.
    EXPECT_EQ(marl::ClassifyPatternDest(0x1F0), PatternDestKind::Writes);
    EXPECT_EQ(marl::ClassifyPatternDest(0x3AA), PatternDestKind::NothingToWrite);
    EXPECT_EQ(marl::ClassifyPatternDest(0x100), PatternDestKind::Writes);
    EXPECT_EQ(marl::ClassifyPatternDest(0x2CC), PatternDestKind::NotHandled);
}

TEST(ContoneRop, ComplementCodesSumTo255) {
    for (uint8_t code : marltest::ReferencePatternDestCodes()) {
        uint32_t complement = 255u - code;
        for (uint32_t d = 0; d < 256; d += 3) {
            for (uint32_t p = 0; p < 256; p += 5) {
                auto dd = static_cast<uint8_t>(d), pp = static_cast<uint8_t>(p);
                ASSERT_EQ(After(code, dd, pp) + After(complement, dd, pp), 255)
                    << "code " << int(code) << " D " << d << " P " << p;
            }
        }
    }
}

struct WorkedValue {
    uint8_t Code, D, P, Result;
};

TEST(ContoneRop, WorkedValues) {
    const WorkedValue cases[] = {
        {0x5A, 128, 128, 0},   {0xA5, 128, 128, 255}, {0x5A, 10, 200, 190}, {0xA5, 10, 200, 65},
        {0x50, 0, 200, 200},   {0xAF, 0, 200, 55},    {0x0A, 0, 200, 0},    {0xF5, 0, 200, 255},
        {0x5F, 30, 200, 225},  {0xA0, 30, 200, 30},   {0x05, 30, 200, 55},  {0xFA, 30, 200, 200},
        {0x00, 77, 99, 0},     {0xFF, 77, 99, 255},   {0xF0, 77, 99, 99},   {0x0F, 77, 99, 156},
        {0x5A, 250, 100, 150}, {0x5A, 150, 100, 50},  {0x55, 77, 99, 178},  {0xAA, 77, 99, 77},
    };
    for (const WorkedValue& c : cases) {
        EXPECT_EQ(After(c.Code, c.D, c.P), c.Result)
            << "code " << int(c.Code) << " D " << int(c.D) << " P " << int(c.P);
    }
    // The difference, not the bitwise exclusive or (10 ^ 200 is 194).
    static_assert(marl::ContoneRop<0x5A>::Apply(10, 200) == 190);
    static_assert(marl::ContoneRop<0xA5>::Apply(10, 200) == 65);
}

TEST(ContoneRop, RepeatedApplication) {
    for (uint32_t d = 0; d < 256; ++d) {
        auto dd = static_cast<uint8_t>(d);
        EXPECT_EQ(After(0x55, After(0x55, dd, 0), 0), dd);
    }
    EXPECT_EQ(After(0x5A, After(0x5A, 10, 200), 200), 10);
    EXPECT_EQ(After(0x5A, After(0x5A, 250, 100), 100), 50);
}

TEST(ContoneRop, DestinationFreeCodesAreMarked) {
    // A code may skip reading D exactly when no D changes its result.
    for (uint8_t code : marltest::ReferencePatternDestCodes()) {
        DispatchPatternDest(code, [&](auto op) {
            bool readsDest = false;
            for (uint32_t p = 0; p < 256; ++p)
                readsDest |=
                    op.Apply(0, static_cast<uint8_t>(p)) != op.Apply(255, static_cast<uint8_t>(p));
            EXPECT_EQ(op.kIgnoresDest, !readsDest) << int(code);
        });
    }
}

} // namespace
