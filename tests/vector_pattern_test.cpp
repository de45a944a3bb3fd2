// Prepared pattern rows and the row spans the vector tier checks for overlap.
#include "render24/blit/vector/row_spans.h"
#include "render24/blit/vector/vector_pattern.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using marl::vec::PatternPeriod;
using marl::vec::PreparedPattern;
using marl::vec::PreparedRunLength;
using marl::vec::PreparePatternRow;

TEST(VectorPattern, PeriodIsTheSmallestMultipleOfTheWidthFromSixteenOn) {
    struct Case {
        uint32_t Width, Period;
    } cases[] = {{1, 16},      {2, 16},  {3, 18},  {5, 20},  {7, 21},    {8, 16},
                 {15, 15 * 2}, {16, 16}, {17, 17}, {24, 24}, {100, 100}, {65535, 65535}};
    for (const Case& c : cases) {
        EXPECT_EQ(PatternPeriod(c.Width), c.Period) << c.Width;
        EXPECT_EQ(PreparedRunLength(c.Width), c.Period + 32) << c.Width;
    }
}

// run[i] = row[(phase + i) mod width] in each plane, from that plane's own run.
TEST(VectorPattern, PreparedRunsAreRotatedAndRepeatedPlaneRuns) {
    for (uint32_t width : {1u, 3u, 8u, 17u, 32u}) {
        std::vector<uint8_t> row(3 * width);
        std::iota(row.begin(), row.end(), 1);
        for (uint32_t phase = 0; phase < width; ++phase) {
            const uint32_t run = PreparedRunLength(width);
            std::vector<uint8_t> prepared(3 * run + 1, 0xEE);
            PreparePatternRow(row.data(), width, phase, prepared.data());
            for (uint32_t plane = 0; plane < 3; ++plane) {
                for (uint32_t i = 0; i < run; ++i) {
                    ASSERT_EQ(prepared[plane * run + i], row[plane * width + (phase + i) % width])
                        << "width " << width << " phase " << phase << " plane " << plane;
                }
            }
            EXPECT_EQ(prepared[3 * run], 0xEE); // nothing past the three runs
        }
    }
}

TEST(VectorPattern, RowsAreFoundByTheirBrushRowAddressOnly) {
    const uint32_t width = 5, height = 4, rowBytes = 3 * width;
    // The brush's rows with one row of other memory before and after them.
    std::vector<uint8_t> memory(rowBytes * (height + 2));
    std::iota(memory.begin(), memory.end(), 0);
    const uint8_t* bits = memory.data() + rowBytes;
    PreparedPattern pattern;
    ASSERT_TRUE(pattern.Reset(bits, width, height, 2));
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* prepared = pattern.Row(bits + row * rowBytes);
        ASSERT_NE(prepared, nullptr);
        EXPECT_EQ(prepared[0], bits[row * rowBytes + 2]);
    }
    EXPECT_EQ(pattern.Row(bits + 1), nullptr);                 // inside a row
    EXPECT_EQ(pattern.Row(bits + rowBytes * height), nullptr); // past the rows
    EXPECT_EQ(pattern.Row(memory.data()), nullptr);            // before them
    EXPECT_EQ(pattern.SourceBytes(), uint64_t{rowBytes} * height);
}

// A prepared row is made once; after Invalidate it is made again from the brush as it is.
TEST(VectorPattern, InvalidateMakesRowsAgainFromTheBrush) {
    std::vector<uint8_t> bits(3 * 8 * 2, 10);
    PreparedPattern pattern;
    ASSERT_TRUE(pattern.Reset(bits.data(), 8, 2, 0));
    EXPECT_EQ(pattern.Row(bits.data())[0], 10);
    bits[0] = 20;
    EXPECT_EQ(pattern.Row(bits.data())[0], 10);
    pattern.Invalidate();
    EXPECT_EQ(pattern.Row(bits.data())[0], 20);
}

TEST(VectorPattern, ResetRefusesWhatCannotBePrepared) {
    std::vector<uint8_t> bits(3 * 8);
    PreparedPattern pattern;
    EXPECT_FALSE(pattern.Reset(nullptr, 8, 1, 0));
    EXPECT_FALSE(pattern.Reset(bits.data(), 0, 1, 0));
    EXPECT_FALSE(pattern.Reset(bits.data(), 8, 0, 0));
    EXPECT_FALSE(pattern.Reset(bits.data(), 8, 1, 8));
    EXPECT_FALSE(pattern.Reset(bits.data(), 65535, 65535, 0)); // far too large to copy
    EXPECT_EQ(pattern.Row(bits.data()), nullptr);
    EXPECT_TRUE(pattern.Reset(bits.data(), 8, 1, 7));
    EXPECT_NE(pattern.Row(bits.data()), nullptr);
}

// The rows are the object's own memory and stay made from one Reset to the next while the
// brush holds the same samples with the same width, height and phase, wherever it lies.
TEST(VectorPattern, RowsAreKeptWhileTheBrushIsTheSame) {
    std::vector<uint8_t> bits(3 * 5 * 4, 7), moved(bits);
    PreparedPattern pattern;
    ASSERT_TRUE(pattern.Reset(bits.data(), 5, 4, 1));
    for (uint32_t row = 0; row < 4; ++row)
        ASSERT_NE(pattern.Row(bits.data() + 15 * row), nullptr);
    EXPECT_EQ(pattern.RowsPrepared(), 4u);

    struct Step {
        const char* What;
        std::vector<uint8_t>* Bits;
        uint32_t Width, Height, Phase;
        uint8_t Changed; // written into sample 0 of row 0 first, unless 0
        bool Remade;
    } steps[] = {
        {"the same brush again", &bits, 5, 4, 1, 0, false},
        {"the same samples elsewhere", &moved, 5, 4, 1, 0, false},
        {"another phase", &bits, 5, 4, 2, 0, true},
        {"fewer rows", &bits, 5, 3, 2, 0, true},
        {"a changed sample", &bits, 5, 3, 2, 9, true},
        {"as it was last", &bits, 5, 3, 2, 0, false},
    };
    for (const Step& step : steps) {
        if (step.Changed) (*step.Bits)[0] = step.Changed;
        const uint32_t before = pattern.RowsPrepared();
        ASSERT_TRUE(pattern.Reset(step.Bits->data(), step.Width, step.Height, step.Phase))
            << step.What;
        const uint8_t* first = pattern.Row(step.Bits->data());
        ASSERT_NE(first, nullptr) << step.What;
        EXPECT_EQ(first[0], (*step.Bits)[step.Phase]) << step.What;
        EXPECT_EQ(pattern.RowsPrepared() - before, step.Remade ? 1u : 0u) << step.What;
    }
    // Rows made again after Invalidate come from other samples: the next Reset starts afresh
    // even when the brush holds the samples the copy was taken from.
    const uint32_t before = pattern.RowsPrepared();
    pattern.Invalidate();
    bits[3] = 1;
    EXPECT_EQ(pattern.Row(bits.data())[1], 1);
    bits[3] = 7;
    ASSERT_TRUE(pattern.Reset(bits.data(), 5, 3, 2));
    EXPECT_EQ(pattern.Row(bits.data())[1], 7);
    EXPECT_EQ(pattern.RowsPrepared() - before, 2u);
}

TEST(RowSpans, OverlapOfByteRanges) {
    using marl::vec::Overlap;
    using marl::vec::Span;
    struct Case {
        Span A, B;
        bool Overlaps;
    } cases[] = {
        {{100, 10}, {110, 5}, false},
        {{100, 10}, {109, 5}, true},
        {{100, 10}, {90, 10}, false},
        {{100, 10}, {90, 11}, true},
        {{100, 10}, {102, 2}, true},
        {{100, 0}, {100, 5}, false},
        {{0xFFFFFFF0u, 0x20}, {0x100000005ull, 1}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Overlap(c.A, c.B), c.Overlaps) << c.A.Begin << "+" << c.A.Bytes;
        EXPECT_EQ(Overlap(c.B, c.A), c.Overlaps);
    }
}

TEST(RowSpans, SpansFollowTheSourceForm) {
    marl::BlitRequest request;
    request.Rop = 0x66; // reads S
    request.RowWidth = 20;
    request.DestPlaneStride = 100;
    request.SourcePlaneStride = 40;
    const uint8_t* row = reinterpret_cast<const uint8_t*>(0x10000);
    marl::vec::RowSpans dest = marl::vec::DestinationSpans(request, row);
    ASSERT_EQ(dest.Count, 3u);
    EXPECT_EQ(dest.Runs[2].Begin, 0x10000u + 200);
    EXPECT_EQ(dest.Runs[2].Bytes, 20u);
    request.SourceBits = 24;
    marl::vec::RowSpans planes = marl::vec::SourceSpans(request, row);
    ASSERT_EQ(planes.Count, 3u);
    EXPECT_EQ(planes.Runs[1].Begin, 0x10000u + 40);
    request.SourceBits = 8;
    EXPECT_EQ(marl::vec::SourceSpans(request, row).Count, 1u);
    EXPECT_EQ(marl::vec::SourceSpans(request, row).Runs[0].Bytes, 20u);
    request.SourceBits = 1;
    request.BitPhase = 5;
    EXPECT_EQ(marl::vec::SourceSpans(request, row).Runs[0].Bytes, 4u); // bits 5 to 24
    request.Rop = 0x5A;                                                // reads no S
    EXPECT_EQ(marl::vec::SourceSpans(request, row).Count, 0u);
}

// The hulls a transfer works out directly are those of the runs, for every source form,
// planes that overlap (a stride below the width) and a bit phase.
TEST(RowSpans, RowHullsAreTheHullsOfTheRuns) {
    using marl::vec::Hull;
    struct Case {
        uint32_t Rop, Width, DestStride, SourceStride, SourceBits, BitPhase;
    };
    const Case cases[] = {{0x66, 20, 100, 40, 24, 0},     {0x66, 20, 8, 0, 24, 0},
                          {0xCC, 4960, 4960, 4960, 8, 0}, {0xB8, 16, 64, 0, 1, 7},
                          {0xB8, 17, 64, 0, 1, 0},        {0x5A, 600, 4960, 4960, 24, 0},
                          {0x66, 0, 100, 40, 24, 0},      {0xB8, 0, 64, 0, 1, 3}};
    for (const Case& c : cases) {
        marl::BlitRequest request;
        request.Rop = c.Rop;
        request.RowWidth = c.Width;
        request.DestPlaneStride = c.DestStride;
        request.SourcePlaneStride = c.SourceStride;
        request.SourceBits = c.SourceBits;
        request.BitPhase = c.BitPhase;
        const marl::vec::Span dest = marl::vec::DestinationRowHull(request);
        const marl::vec::Span destRuns = Hull(marl::vec::DestinationSpans(request, nullptr));
        EXPECT_EQ(dest.Begin, destRuns.Begin) << "code " << c.Rop << " width " << c.Width;
        EXPECT_EQ(dest.Bytes, destRuns.Bytes) << "code " << c.Rop << " width " << c.Width;
        const marl::vec::Span source = marl::vec::SourceRowHull(request);
        const marl::vec::Span sourceRuns = Hull(marl::vec::SourceSpans(request, nullptr));
        EXPECT_EQ(source.Begin, sourceRuns.Begin) << "code " << c.Rop << " width " << c.Width;
        EXPECT_EQ(source.Bytes, sourceRuns.Bytes) << "code " << c.Rop << " width " << c.Width;
    }
}

} // namespace
