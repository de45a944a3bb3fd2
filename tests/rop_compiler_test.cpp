#include "render24/blit/code_area.h"
#include "render24/blit/serial/code_fragments.h"
#include "render24/blit/serial/rop_compiler.h"
#include "support/row_fixture.h"

#include "support/edition.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using marltest::ByEdition;
using marltest::Hex;
using marltest::HexText;

using marltest::CompiledRunMatches;
using marltest::RopRequest;

std::vector<uint8_t> RoutineBytes(const marl::BlitRoutine& routine) {
    const uint8_t* first = reinterpret_cast<const uint8_t*>(uintptr_t(routine.Entry));
    return std::vector<uint8_t>(first, first + (routine.Cursor - routine.Entry));
}

uint32_t RoutineSize(const RopRequest& request) {
    marl::BlitRoutine routine = marltest::Compile(request);
    return routine.Cursor - routine.Entry;
}

RopRequest Request(uint8_t rop, bool patternRow, uint32_t sourceBits) {
    RopRequest request;
    request.Rop = rop;
    request.BrushPattern = patternRow;
    request.SourceBits = sourceBits;
    request.PatternWidth = 8;
    request.RowWidth = 16;
    request.SourcePlaneStride = 16;
    request.DestPlaneStride = 16;
    return request;
}

size_t CountOf(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& pattern) {
    size_t count = 0;
    for (auto at = bytes.begin();
         (at = std::search(at, bytes.end(), pattern.begin(), pattern.end())) != bytes.end(); ++at)
        ++count;
    return count;
}

// The routine's closing bytes: pop EDI, ESI, EBX; leave; ret 12 (ret 24 on x86-64).
const std::vector<uint8_t> kEpilogue =
    Hex(ByEdition("5F 5E 5B C9 C2 0C 00", "5F 5E 5B C9 C2 18 00"));
// "dec ecx; jnz rel32", the loop closing for pixel bodies out of "loop" reach.
const std::vector<uint8_t> kLongLoop = Hex(ByEdition("49 0F 85", "FF C9 0F 85"));

// The 62 codes whose names hold two or more "S".
const std::set<uint32_t> kSeveralSources = {
    0x16, 0x17, 0x19, 0x1B, 0x24, 0x26, 0x27, 0x29, 0x2B, 0x2C, 0x32, 0x34, 0x35, 0x3A, 0x3D, 0x3E,
    0x43, 0x4D, 0x53, 0x61, 0x64, 0x67, 0x68, 0x6B, 0x6E, 0x71, 0x72, 0x76, 0x79, 0x7C, 0x7E, 0x81,
    0x83, 0x86, 0x89, 0x8D, 0x8E, 0x91, 0x94, 0x97, 0x98, 0x9B, 0x9E, 0xAC, 0xB2, 0xBC, 0xC1, 0xC2,
    0xC5, 0xCA, 0xCB, 0xCD, 0xD3, 0xD4, 0xD6, 0xD8, 0xD9, 0xDB, 0xE4, 0xE6, 0xE8, 0xE9};

// ---------------------------------------------------------------------------------------
// Whole routines, byte for byte.

TEST(RopCompilerBytes, DestinationOnlyRoutine) {
    // 0xAA "D": neither source nor pattern. RowWidth and the stride are 16-bit: their upper
    // halves are dropped and the immediates' upper bytes are zero.
    RopRequest request = Request(0xAA, false, 24);
    request.RowWidth = 0xABCD1234;
    request.DestPlaneStride = 0x00015678;
    marl::BlitRoutine routine = marltest::Compile(request);
#if MARL_ROUTINE_64
    const std::string setup = "48 8B 7D 18  48 89 7D E8 ";
    const std::string plane = "B9 34 12 00 00  8A 07  88 07  48 FF C7  E2 F7 ";
    const std::string step = "48 8B 75 E0  48 8B 7D E8 48 81 C7 78 56 00 00 48 89 7D E8 ";
    const std::string end = "90  5F 5E 5B C9 C2 18 00";
#else
    const std::string setup = "8B 7D 0C  89 7D F4 ";
    const std::string plane = "B9 34 12 00 00  8A 07  88 07  47  E2 F9 ";
    const std::string step = "8B 75 F0  8B 7D F4 81 C7 78 56 00 00 89 7D F4 ";
    const std::string end = "90  5F 5E 5B C9 C2 0C 00";
#endif
    const std::vector<uint8_t> expected = Hex(setup + plane + step + plane + step + plane + end);
    ASSERT_EQ(expected.size(), ByEdition(80u, 96u));
    EXPECT_EQ(HexText(RoutineBytes(routine)), HexText(expected));
    EXPECT_EQ(routine.Entry, uintptr_t(marl::CodeBufferArea().Base));
}

TEST(RopCompilerBytes, OneBitSourceRoutine) {
    // 0x33 "Sn" from a one-bit row: the sample goes to EAX and is complemented there. Each
    // plane gets its own set-bit and clear-bit bytes; the bit phase keeps its low 3 bits.
    RopRequest request = Request(0x33, false, 1);
    request.RowWidth = 5;
    request.DestPlaneStride = 0x20;
    request.SetBitColor = 0xFF332211;
    request.ClearBitColor = 0xEECCBBAA;
    request.BitPhase = 0x0B;
    marl::BlitRoutine routine = marltest::Compile(request);
#if MARL_ROUTINE_64
    auto plane = [](const char* set, const char* clear) {
        return std::string("B9 05 00 00 00 "
                           "8B C7 2B 45 E8 05 03 00 00 00 83 E0 07 BA 07 00 00 00 2B D0 8A 06 "
                           "0F A3 D0 0F 83 0A 00 00 00 B8 ") +
               set + " 00 00 00 E9 05 00 00 00 B8 " + clear +
               " 00 00 00 83 FA 00 0F 85 04 00 00 00 48 83 C6 01 "
               "F7 D0  88 07  48 FF C7  E2 BC ";
    };
    const std::string setup = "48 8B 7D 18 48 8B 75 10  48 89 7D E8 48 89 75 E0 ";
    const std::string step = "48 8B 75 E0  48 8B 7D E8 48 81 C7 20 00 00 00 48 89 7D E8 ";
    const std::string end = "90 90  5F 5E 5B C9 C2 18 00";
#else
    auto plane = [](const char* set, const char* clear) {
        return std::string("B9 05 00 00 00 "
                           "8B C7 2B 45 F4 05 03 00 00 00 83 E0 07 BA 07 00 00 00 2B D0 8A 06 "
                           "0F A3 D0 0F 83 0A 00 00 00 B8 ") +
               set + " 00 00 00 E9 05 00 00 00 B8 " + clear +
               " 00 00 00 83 FA 00 0F 85 01 00 00 00 46 "
               "F7 D0  88 07  47  E2 C1 ";
    };
    const std::string setup = "8B 7D 0C 8B 75 08  89 7D F4 89 75 F0 ";
    const std::string step = "8B 75 F0  8B 7D F4 81 C7 20 00 00 00 89 7D F4 ";
    const std::string end = "90 90  5F 5E 5B C9 C2 0C 00";
#endif
    const std::vector<uint8_t> expected =
        Hex(setup + plane("11", "AA") + step + plane("22", "BB") + step + plane("33", "CC") + end);
    EXPECT_EQ(HexText(RoutineBytes(routine)), HexText(expected));
}

TEST(RopCompilerBytes, PlaneSourceAndPatternRowRoutine) {
    // 0x01 "DPSoon", 24-bit source, pattern row of width 8 at phase 13 (taken modulo 8).
    RopRequest request = Request(0x01, true, 24);
    request.RowWidth = 3;
    request.SourcePlaneStride = 0x40;
    request.DestPlaneStride = 0x30;
    request.PatternPhase = 13;
    marl::BlitRoutine routine = marltest::Compile(request);
    const std::string operators = "5A 3A C2 0F 87 02 00 00 00 8B C2  5A 3A C2 0F 87 02 00 00 00 "
                                  "8B C2  F7 D0  88 07 ";
#if MARL_ROUTINE_64
    const std::string plane = "B9 03 00 00 00  8A 07 50  8A 03 50  8A 06 " + operators +
                              "48 FF C7  48 FF C6 "
                              "48 FF C3 48 8B 45 F0 48 05 08 00 00 00 48 3B D8 0F 85 04 00 00 00 "
                              "48 8B 5D F0 "
                              "E2 BC ";
    const std::string setup = "48 8B 7D 18 48 8B 75 10 48 8B 5D 20  48 89 7D E8 48 89 75 E0 "
                              "48 89 5D F0 48 81 C3 05 00 00 00 ";
    const std::string step = "48 8B 75 E0 48 81 C6 40 00 00 00 48 89 75 E0 "
                             "48 8B 7D E8 48 81 C7 30 00 00 00 48 89 7D E8 "
                             "48 8B 5D F0 48 81 C3 08 00 00 00 48 89 5D F0 48 81 C3 05 00 00 00 ";
    const std::string end = "90 90 90  5F 5E 5B C9 C2 18 00";
#else
    const std::string plane = "B9 03 00 00 00  8A 07 50  8A 03 50  8A 06 " + operators +
                              "47  46 "
                              "43 8B 45 F8 05 08 00 00 00 3B D8 0F 85 03 00 00 00 8B 5D F8 "
                              "E2 C6 ";
    const std::string setup = "8B 7D 0C 8B 75 08 8B 5D 10  89 7D F4 89 75 F0 89 5D F8 81 C3 05 "
                              "00 00 00 ";
    const std::string step = "8B 75 F0 81 C6 40 00 00 00 89 75 F0 "
                             "8B 7D F4 81 C7 30 00 00 00 89 7D F4 "
                             "8B 5D F8 81 C3 08 00 00 00 89 5D F8 81 C3 05 00 00 00 ";
    const std::string end = "90 90 90  5F 5E 5B C9 C2 0C 00";
#endif
    const std::vector<uint8_t> expected = Hex(setup + plane + step + plane + step + plane + end);
    ASSERT_EQ(expected.size(), ByEdition(307u, 364u));
    EXPECT_EQ(HexText(RoutineBytes(routine)), HexText(expected));
}

TEST(RopCompilerBytes, SeveralOneBitSourcesStepOnceAndLoopFar) {
    // 0x17 "SSPxDSxaxn" (stack form) from a one-bit row with a pattern row: the first two
    // "S" read the source bit without stepping (the closing 46 becomes 90), the last one
    // steps, and the loop closes with "dec ecx; jnz rel32".
    RopRequest request = Request(0x17, true, 1);
    request.RowWidth = 9;
    request.SetBitColor = 0x000000F1;
    request.ClearBitColor = 0x000000C1;
    request.BitPhase = 2;
    marl::BlitRoutine routine = marltest::Compile(request);
#if MARL_ROUTINE_64
    // The x86-64 step is "add rsi, 1", and "add rsi, 0" for the "S" that do not step.
    auto mono = [](const char* step) {
        return std::string("8B C7 2B 45 E8 05 02 00 00 00 83 E0 07 BA 07 00 00 00 2B D0 8A 06 "
                           "0F A3 D0 0F 83 0A 00 00 00 68 F1 00 00 00 E9 05 00 00 00 68 C1 00 "
                           "00 00 83 FA 00 0F 85 04 00 00 00 48 83 C6 ") +
               step + " ";
    };
    const char *still = "00", *steps = "01";
    const std::string pointerSteps = "48 FF C7  48 FF C3 48 8B 45 F0 48 05 08 00 00 00 48 3B D8 "
                                     "0F 85 04 00 00 00 48 8B 5D F0";
#else
    auto mono = [](const char* step) {
        return std::string("8B C7 2B 45 F4 05 02 00 00 00 83 E0 07 BA 07 00 00 00 2B D0 8A 06 "
                           "0F A3 D0 0F 83 0A 00 00 00 68 F1 00 00 00 E9 05 00 00 00 68 C1 00 "
                           "00 00 83 FA 00 0F 85 01 00 00 00 ") +
               step + " ";
    };
    const char *still = "90", *steps = "46";
    const std::string pointerSteps =
        "47  43 8B 45 F8 05 08 00 00 00 3B D8 0F 85 03 00 00 00 8B 5D F8";
#endif
    const std::string xorStack = "58 5A 32 C2 50 ";
    const std::vector<uint8_t> body =
        Hex(mono(still) + mono(still) + "8A 03 50 " + xorStack + "8A 07 50 " + mono(steps) +
            xorStack + "58 5A 3A C2 0F 82 02 00 00 00 8B C2 50 " + xorStack + "58 F7 D0 50 " +
            "58 88 07 " + pointerSteps);
    ASSERT_EQ(body.size(), ByEdition(230u, 247u));
    const size_t longLoopBack = kLongLoop.size() + 4;
    const uint32_t back = uint32_t(-int32_t(body.size() + longLoopBack));
    std::vector<uint8_t> plane0 = Hex("B9 09 00 00 00");
    plane0.insert(plane0.end(), body.begin(), body.end());
    plane0.insert(plane0.end(), kLongLoop.begin(), kLongLoop.end());
    plane0.insert(plane0.end(),
                  {uint8_t(back), uint8_t(back >> 8), uint8_t(back >> 16), uint8_t(back >> 24)});
    const std::vector<uint8_t> bytes = RoutineBytes(routine);
    const size_t setup = ByEdition(24u, 31u);
    ASSERT_GE(bytes.size(), setup + plane0.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + setup, bytes.begin() + setup + plane0.size()),
              plane0);
}

// ---------------------------------------------------------------------------------------
// Sizes.

TEST(RopCompilerSizes, WorkedRoutines) {
    EXPECT_EQ(RoutineSize(Request(0xAA, false, 24)), ByEdition(80u, 96u));
    EXPECT_EQ(RoutineSize(Request(0xAA, true, 24)), ByEdition(80u, 96u)); // reads no pattern
    EXPECT_EQ(RoutineSize(Request(0x01, false, 24)), ByEdition(204u, 232u));
    EXPECT_EQ(RoutineSize(Request(0x01, true, 24)), ByEdition(307u, 364u));
}

TEST(RopCompilerSizes, LargestRoutinesOverAllCodesAndModes) {
    uint32_t largestPlanar = 0, largestOneBit = 0;
    std::set<std::pair<uint32_t, bool>> largestOneBitAt;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (bool patternRow : {false, true}) {
            for (uint32_t bits : {24u, 8u}) {
                uint32_t size = RoutineSize(Request(uint8_t(rop), patternRow, bits));
                largestPlanar = std::max(largestPlanar, size);
            }
            uint32_t size = RoutineSize(Request(uint8_t(rop), patternRow, 1));
            if (size > largestOneBit) largestOneBitAt.clear();
            if (size >= largestOneBit) largestOneBitAt.insert({rop, patternRow});
            largestOneBit = std::max(largestOneBit, size);
        }
    }
    EXPECT_EQ(largestPlanar, ByEdition(355u, 412u));
    // 0x17 and 0x4D with a pattern row. The fragments as stored add up to 811 bytes (885 on
    // x86-64); each of the three plane loops closes with the long jump instead of the 2-byte
    // "loop".
    EXPECT_EQ(largestOneBit, ByEdition(826u, 903u));
    const uint32_t extraPerLoop =
        marl::fragment::LongLoopBack.Length - marl::fragment::LoopBack.Length;
    EXPECT_EQ(largestOneBit - 3 * extraPerLoop, ByEdition(811u, 885u));
    EXPECT_EQ(largestOneBitAt, (std::set<std::pair<uint32_t, bool>>{{0x17, true}, {0x4D, true}}));
    EXPECT_LE(largestOneBit, marl::kCodeBufferSize);
}

// On x86-64 the longer fragments also take ten one-bit bodies with a single "S" out of "loop"
// reach: long names (D or P read twice) with a pattern row, whose step is 26 bytes there.
const std::set<uint32_t> kFarWithPatternRow64 = {0x25, 0x49, 0x6D, 0x85, 0x92,
                                                 0xA1, 0xA4, 0xB6, 0xBD, 0xE7};

TEST(RopCompilerSizes, OnlyNamesWithSeveralOneBitSourcesLoopFar) {
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (bool patternRow : {false, true}) {
            for (uint32_t bits : {1u, 24u, 8u}) {
                marl::BlitRoutine routine =
                    marltest::Compile(Request(uint8_t(rop), patternRow, bits));
                bool far = bits == 1 &&
                           (kSeveralSources.count(rop) ||
                            (MARL_ROUTINE_64 && patternRow && kFarWithPatternRow64.count(rop)));
                EXPECT_EQ(CountOf(RoutineBytes(routine), kLongLoop), far ? 3u : 0u)
                    << std::hex << rop << " pattern row " << patternRow << " bits " << bits;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Names and forms.

TEST(RopCompilerPlan, NamesAndForms) {
    struct Case {
        uint32_t Rop;
        const char* Name;
        bool StackForm;
    } cases[] = {{0x80, "DPSaa", false},   {0xAA, "D", false},       {0x99, "DSxn", false},
                 {0x7D, "DPSxnan", false}, {0x82, "DPSxna", false},  {0x7E, "SPxDSxo", true},
                 {0x81, "SPxDSxon", true}, {0x64, "SDPSoax", false}, {0x17, "SSPxDSxaxn", true}};
    for (const Case& c : cases) {
        marl::BlitRequest values{};
        values.Rop = static_cast<uint8_t>(c.Rop);
        values.RowWidth = 1;
        marl::RopPlan plan = marl::PlanRop(values);
        EXPECT_STREQ(plan.Name.Text, c.Name);
        EXPECT_EQ(plan.StackForm, c.StackForm) << c.Name;
    }
    int stackForms = 0;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        marl::BlitRequest values{};
        values.Rop = static_cast<uint8_t>(rop);
        stackForms += marl::PlanRop(values).StackForm;
    }
    EXPECT_EQ(stackForms, 16);
}

// Worked values, one pixel, 24-bit source and solid pattern in all planes.
TEST(RopCompilerRun, WorkedValues) {
    struct Case {
        uint8_t Rop, D, S, P, Result;
    } cases[] = {
        {0x80, 30, 20, 10, 10},       {0x7F, 30, 20, 10, 245},       {0x7D, 100, 0x0C, 0xF0, 252},
        {0x82, 100, 0x0C, 0xF0, 3},   {0x99, 0x0F, 0xF0, 0, 0x00},   {0x7E, 0x10, 0x30, 0x0C, 0x3C},
        {0x64, 100, 40, 70, 40 ^ 70}, {0x76, 100, 40, 70, 40 ^ 100}, {0xAA, 77, 1, 2, 77},
        {0x01, 10, 20, 30, 225},
    };
    for (const Case& c : cases) {
        marltest::GuardedBuffer destination(3, c.D), source(3, c.S);
        RopRequest request = Request(c.Rop, false, 24);
        request.RowWidth = 1;
        request.SourcePlaneStride = 1;
        request.DestPlaneStride = 1;
        request.PatternColor = c.P * 0x010101u;
        marl::BlitRoutine routine = marltest::Compile(request);
        routine.Run(source.data(), destination.data(), nullptr);
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_EQ(destination.data()[plane], c.Result) << std::hex << int(c.Rop);
    }
}

TEST(RopCompilerRun, PatternAndBitPhases) {
    // 0xF0 "P" from a pattern row of width 8 at phase 5 over 10 pixels.
    marltest::GuardedBuffer pattern(24), destination(30);
    for (int i = 0; i < 24; ++i)
        pattern.data()[i] = uint8_t(i);
    RopRequest request = Request(0xF0, true, 24);
    request.RowWidth = 10;
    request.DestPlaneStride = 10;
    request.PatternPhase = 5;
    marl::BlitRoutine routine = marltest::Compile(request);
    routine.Run(nullptr, destination.data(), pattern.data());
    const int columns[10] = {5, 6, 7, 0, 1, 2, 3, 4, 5, 6};
    for (int plane = 0; plane < 3; ++plane)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(destination.data()[plane * 10 + x], plane * 8 + columns[x]);

    // 0xCC "S" from a one-bit row at bit phase 3: pixel 0 is bit 4 of byte 0, pixel 4 bit 0,
    // pixel 5 bit 7 of byte 1.
    marltest::GuardedBuffer bits(2), out(18);
    bits.data()[0] = 0x11; // bits 4 and 0: pixels 0 and 4
    bits.data()[1] = 0x80; // bit 7: pixel 5
    RopRequest mono = Request(0xCC, false, 1);
    mono.RowWidth = 6;
    mono.DestPlaneStride = 6;
    mono.BitPhase = 3;
    mono.SetBitColor = 0x00302010;
    mono.ClearBitColor = 0x00F1E1D1;
    routine = marltest::Compile(mono);
    routine.Run(bits.data(), out.data(), nullptr);
    const bool set[6] = {true, false, false, false, true, true};
    for (int plane = 0; plane < 3; ++plane)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(out.data()[plane * 6 + x],
                      uint8_t((set[x] ? mono.SetBitColor : mono.ClearBitColor) >> (8 * plane)));
}

// ---------------------------------------------------------------------------------------
// Differential runs against the reference evaluator.

struct PatternMode {
    bool Row;
    uint32_t Width, Phase;
};
const PatternMode kPatternModes[] = {
    {false, 1, 0}, {true, 1, 0}, {true, 8, 0}, {true, 8, 5}, {true, 13, 11}};
struct SourceMode {
    uint32_t Bits, BitPhase;
};
const SourceMode kSourceModes[] = {{24, 0}, {1, 0}, {1, 3}, {8, 0}};

RopRequest RandomRequest(uint8_t rop, const PatternMode& pattern, const SourceMode& source,
                         uint32_t width, std::mt19937& random) {
    RopRequest request;
    request.Rop = rop;
    request.BrushPattern = pattern.Row;
    request.PatternWidth = pattern.Width;
    request.PatternPhase = pattern.Phase;
    request.PatternColor = marltest::BiasedColour(random);
    request.SourceBits = source.Bits;
    request.BitPhase = source.BitPhase;
    request.SetBitColor = marltest::BiasedColour(random);
    request.ClearBitColor = marltest::BiasedColour(random);
    request.RowWidth = width;
    request.DestPlaneStride = width + random() % 4;
    request.SourcePlaneStride = width + random() % 4;
    return request;
}

TEST(RopCompilerDifferential, EveryCodeEveryModeShortRows) {
    std::mt19937 random(0x5EED01);
    marltest::RowArena arena(64);
    int failures = 0;
    for (uint32_t rop = 0; rop < 256 && failures < 10; ++rop)
        for (const PatternMode& pattern : kPatternModes)
            for (const SourceMode& source : kSourceModes)
                for (uint32_t width : {1u, 7u, 8u, 9u}) {
                    RopRequest request =
                        RandomRequest(uint8_t(rop), pattern, source, width, random);
                    auto result = CompiledRunMatches(request, random, arena);
                    if (!result) ++failures;
                    EXPECT_TRUE(result);
                }
}

TEST(RopCompilerDifferential, BandWideRows) {
    // Band-wide rows exercise what short rows cannot: counts and strides above 8 bits, many
    // pattern wraps, a one-bit source stepping over hundreds of bytes. The names themselves
    // are covered by the short rows, so a subset of codes runs here: every eighth code with
    // the modes taken in turn, and each code whose one-bit routine loops far, from a one-bit
    // row.
    std::mt19937 random(0x5EED02);
    marltest::RowArena arena(3 * 4960 + 8);
    const size_t patternModes = std::size(kPatternModes);
    const size_t modes = patternModes * std::size(kSourceModes);
    int failures = 0, runs = 0;
    for (uint32_t rop = 0; rop < 256 && failures < 10; ++rop) {
        std::set<size_t> chosen;
        if (rop % 8 == 0) chosen.insert(rop / 8 % modes);
        if (kSeveralSources.count(rop)) chosen.insert(patternModes + rop % (2 * patternModes));
        for (size_t mode : chosen) {
            const PatternMode& pattern = kPatternModes[mode % patternModes];
            const SourceMode& source = kSourceModes[mode / patternModes];
            RopRequest request = RandomRequest(uint8_t(rop), pattern, source, 4960, random);
            auto result = CompiledRunMatches(request, random, arena);
            if (!result) ++failures;
            EXPECT_TRUE(result);
            ++runs;
        }
    }
    EXPECT_EQ(runs, 32 + 62);
}

// ---------------------------------------------------------------------------------------
// Requests outside the routine's contract.

TEST(RopCompilerGuards, EmptyRowsGiveARoutineThatTouchesNothing) {
    for (uint32_t rop = 0; rop < 256; ++rop) {
        for (uint32_t rowWidth : {0u, 0x10000u}) {
            RopRequest request = Request(uint8_t(rop), true, 24);
            request.RowWidth = rowWidth;
            marl::BlitRoutine routine = marltest::Compile(request);
            EXPECT_EQ(RoutineBytes(routine), kEpilogue) << std::hex << rop;
            routine.Run(nullptr, nullptr, nullptr); // any access would fault
        }
        // A pattern row of no samples: nothing to read for a name with P.
        RopRequest request = Request(uint8_t(rop), true, 24);
        request.PatternWidth = 0;
        marl::BlitRoutine routine = marltest::Compile(request);
        bool readsPattern = marltest::ReferenceName(uint8_t(rop)).find('P') != std::string::npos;
        EXPECT_EQ(RoutineBytes(routine) == kEpilogue, readsPattern) << std::hex << rop;
    }
    marltest::GuardedBuffer destination(3, 7);
    RopRequest request = Request(0xF0, true, 24);
    request.PatternWidth = 0x10000; // 16-bit: 0
    request.RowWidth = 1;
    request.DestPlaneStride = 1;
    marl::BlitRoutine routine = marltest::Compile(request);
    routine.Run(nullptr, destination.data(), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(destination.data(), destination.data() + 3),
              std::vector<uint8_t>(3, 7));
}

TEST(RopCompilerGuards, OutOfRangeValuesAreCutToTheirWidth) {
    // Each case compiles the raw values and is checked against the reference on the values
    // they stand for; rows are flush against guard pages, so a pointer that left its row
    // would fault.
    std::mt19937 random(0x5EED03);
    marltest::RowArena arena(64);
    struct Case {
        const char* What;
        void (*Raw)(RopRequest&);
        void (*Meant)(RopRequest&);
    } cases[] = {
        {"phase beyond the width", [](RopRequest& r) { r.PatternPhase = 13; },
         [](RopRequest& r) { r.PatternPhase = 13 % 5; }},
        {"16-bit phase", [](RopRequest& r) { r.PatternPhase = 0x10003; },
         [](RopRequest& r) { r.PatternPhase = 0x10003 % 0x10000 % 5; }},
        {"bit phase above 7", [](RopRequest& r) { r.BitPhase = 0xFB; },
         [](RopRequest& r) { r.BitPhase = 3; }},
        {"16-bit row width", [](RopRequest& r) { r.RowWidth = 0x30009; },
         [](RopRequest& r) { r.RowWidth = 9; }},
        {"16-bit source bits", [](RopRequest& r) { r.SourceBits = 0x20001; },
         [](RopRequest& r) { r.SourceBits = 1; }},
    };
    for (const Case& c : cases) {
        for (uint32_t rop : {0x16u, 0x17u, 0x5Au, 0xB4u, 0xE2u}) {
            RopRequest meant = RandomRequest(uint8_t(rop), {true, 5, 0}, {1, 0}, 9, random);
            c.Meant(meant);
            RopRequest raw = meant;
            c.Raw(raw);
            marltest::RowFixture rows(meant, random, arena);
            marl::BlitRoutine routine = marltest::Compile(raw);
            rows.Run(routine);
            EXPECT_TRUE(rows.MatchesReference()) << c.What;
        }
    }
    // A code's upper bits and a brush flag's upper half are not part of the request.
    RopRequest meant = RandomRequest(0x5A, {false, 1, 0}, {24, 0}, 9, random);
    marltest::RowFixture rows(meant, random, arena);
    marl::BlitRoutine routine;
    routine.CompileRop(0x15A, 0x10000, meant.PatternColor, meant.SourcePlaneStride,
                       meant.DestPlaneStride, 1, 0, 9, 24, 0, 0, 0);
    rows.Run(routine);
    EXPECT_TRUE(rows.MatchesReference());
}

// ---------------------------------------------------------------------------------------
// One routine after another.

TEST(RopCompilerRun, SecondRoutineReplacesTheFirst) {
    std::mt19937 random(0x5EED04);
    marltest::RowArena arena(64);
    RopRequest longRequest = RandomRequest(0x17, {true, 8, 3}, {1, 0}, 40, random);
    marl::BlitRoutine first = marltest::Compile(longRequest);
    ASSERT_EQ(first.Cursor - first.Entry, ByEdition(826u, 903u));

    RopRequest shortRequest = RandomRequest(0x55, {false, 1, 0}, {24, 0}, 9, random);
    marltest::RowFixture rows(shortRequest, random, arena);
    marl::BlitRoutine second = marltest::Compile(shortRequest);
    EXPECT_EQ(second.Entry, first.Entry);
    std::vector<uint8_t> bytes = RoutineBytes(second);
    ASSERT_EQ(bytes.size(), ByEdition(86u, 102u)); // "Dn"
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 7, bytes.end()), kEpilogue);
    rows.Run(second);
    EXPECT_TRUE(rows.MatchesReference());
}

} // namespace
