#include "render24/primitives/pattern_expand.h"

#include "support/guarded_memory.h"
#include "support/pattern_reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

using marltest::GuardedBuffer;
using marltest::ReferencePattern;
using marltest::Rgb;

constexpr Rgb kFore = {0x11, 0x22, 0x33};
constexpr Rgb kBack = {0xEE, 0xDD, 0xCC};
constexpr uint8_t kSentinel = 0xA7;

struct Geometry {
    int32_t Width;
    int32_t Height;
    int32_t Padding; // bytes beyond what a plane row needs
    int32_t XFactor;
    int32_t YFactor;
};

const Geometry kGeometries[] = {
    {8, 8, 0, 1, 1}, {8, 8, 0, 2, 2}, {16, 3, 1, 4, 1}, {5, 7, 2, 1, 3}, {13, 2, 3, 3, 2},
    {1, 1, 0, 1, 1}, {1, 1, 0, 7, 5}, {24, 4, 0, 2, 4}, {9, 5, 1, 1, 2}, {32, 32, 0, 1, 1},
};

enum class Kind { Mono, Color, PaddedColor, Grey, PlanarMono };

// One source format: its layout, how to fill it from random data, the routine under test, and
// the pixel the reference expects.
struct Format {
    uint32_t Planes;
    bool OneBit;
    bool UsesPadding;
};

Format FormatOf(Kind kind) {
    switch (kind) {
    case Kind::Mono: return {1, true, true};
    case Kind::Color: return {3, false, false};
    case Kind::PaddedColor: return {3, false, true};
    case Kind::Grey: return {1, false, true};
    case Kind::PlanarMono: return {3, true, true};
    }
    return {};
}

// A source of one format with random content, the logical image kept for the reference.
struct Source {
    int32_t WidthBytes = 0;
    std::vector<uint8_t> Bytes;
    std::vector<std::vector<std::vector<bool>>> PlaneBits; // 1-bit formats: per plane

    Source(Kind kind, const Geometry& g, std::mt19937& random) {
        const Format format = FormatOf(kind);
        const int32_t needed = format.OneBit ? (g.Width + 7) / 8 : g.Width;
        WidthBytes = needed + (format.UsesPadding ? g.Padding : 0);
        const uint32_t rowStride = format.Planes * WidthBytes;
        Bytes.resize(static_cast<size_t>(rowStride) * g.Height);
        for (uint8_t& byte : Bytes)
            byte = static_cast<uint8_t>(random());
        if (!format.OneBit) return;
        for (uint32_t plane = 0; plane < format.Planes; ++plane) {
            PlaneBits.push_back(marltest::RandomBits(g.Width, g.Height, random));
            marltest::PackBits(PlaneBits.back(), Bytes.data() + plane * WidthBytes, rowStride);
        }
    }

    Rgb Pixel(Kind kind, int32_t width, int32_t row, int32_t x) const {
        const size_t rowStride = FormatOf(kind).Planes * static_cast<size_t>(WidthBytes);
        const uint8_t* start = Bytes.data() + row * rowStride;
        switch (kind) {
        case Kind::Mono: return PlaneBits[0][row][x] ? kFore : kBack;
        case Kind::Color: return {start[x], start[width + x], start[2 * width + x]};
        case Kind::PaddedColor: return {start[x], start[WidthBytes + x], start[2 * WidthBytes + x]};
        case Kind::Grey: return {start[x], start[x], start[x]};
        case Kind::PlanarMono: {
            auto full = [](bool set) { return static_cast<uint8_t>(set ? 255 : 0); };
            return {full(PlaneBits[0][row][x]), full(PlaneBits[1][row][x]),
                    full(PlaneBits[2][row][x])};
        }
        }
        return {};
    }
};

void Expand(Kind kind, const uint8_t* source, uint8_t* destination, int32_t width, int32_t height,
            int32_t widthBytes, int32_t xFactor, int32_t yFactor) {
    switch (kind) {
    case Kind::Mono:
        marl::ExpandMonoPattern(source, destination, width, height, widthBytes, xFactor, yFactor,
                                kFore[0], kFore[1], kFore[2], kBack[0], kBack[1], kBack[2]);
        break;
    case Kind::Color:
        marl::ExpandColorPattern(source, destination, width, height, xFactor, yFactor);
        break;
    case Kind::PaddedColor:
        marl::ExpandPaddedColorPattern(source, destination, width, height, widthBytes, xFactor,
                                       yFactor);
        break;
    case Kind::Grey:
        marl::ExpandGreyPattern(source, destination, width, height, widthBytes, xFactor, yFactor);
        break;
    case Kind::PlanarMono:
        marl::ExpandPlanarMonoPattern(source, destination, width, height, widthBytes, xFactor,
                                      yFactor);
        break;
    }
}

std::vector<uint8_t> Bytes(const GuardedBuffer& buffer) {
    return {buffer.data(), buffer.data() + buffer.size()};
}

class PatternExpansion : public testing::TestWithParam<Kind> {};

// Source and destination end flush against unreadable pages, so any access past either
// faults; the result must equal the reference byte for byte.
TEST_P(PatternExpansion, MatchesReferenceAtEveryGeometry) {
    const Kind kind = GetParam();
    std::mt19937 random(1234);
    for (const Geometry& g : kGeometries) {
        SCOPED_TRACE(testing::Message() << g.Width << "x" << g.Height << " pad " << g.Padding
                                        << " factors " << g.XFactor << "," << g.YFactor);
        const Source source(kind, g, random);
        GuardedBuffer from(source.Bytes.size());
        std::memcpy(from.data(), source.Bytes.data(), source.Bytes.size());
        const auto expected =
            ReferencePattern(g.Width, g.Height, g.XFactor, g.YFactor, [&](int32_t r, int32_t x) {
                return source.Pixel(kind, g.Width, r, x);
            });
        GuardedBuffer to(expected.size(), kSentinel);
        Expand(kind, from.data(), to.data(), g.Width, g.Height, source.WidthBytes, g.XFactor,
               g.YFactor);
        EXPECT_EQ(Bytes(to), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PatternExpansion,
                         testing::Values(Kind::Mono, Kind::Color, Kind::PaddedColor, Kind::Grey,
                                         Kind::PlanarMono));

TEST(PatternExpansion, MonoEightByEightDoubledGivesPairedRowsAndSamples) {
    const uint8_t source[8] = {0xF0, 0x0F, 0xAA, 0x55, 0x81, 0x7E, 0x00, 0xFF};
    GuardedBuffer to(16 * 48, kSentinel);
    marl::ExpandMonoPattern(source, to.data(), 8, 8, 1, 2, 2, 1, 2, 3, 201, 202, 203);
    for (int row = 0; row < 16; ++row) {
        const uint8_t* out = to.data() + row * 48;
        for (int plane = 0; plane < 3; ++plane)
            for (int column = 0; column < 16; ++column) {
                const bool set = (source[row / 2] >> (7 - column / 2)) & 1;
                ASSERT_EQ(out[plane * 16 + column], set ? 1 + plane : 201 + plane)
                    << "row " << row << " plane " << plane << " column " << column;
            }
    }
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(std::memcmp(to.data() + 2 * i * 48, to.data() + (2 * i + 1) * 48, 48), 0);
}

TEST(PatternExpansion, MonoSecondSourceByteHoldsPixelsEightToFifteen) {
    const uint8_t source[2] = {0x00, 0x81}; // pixels 8 and 15 set
    uint8_t to[16 * 3];
    marl::ExpandMonoPattern(source, to, 16, 1, 2, 1, 1, 9, 9, 9, 0, 0, 0);
    for (int plane = 0; plane < 3; ++plane)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(to[plane * 16 + x], (x == 8 || x == 15) ? 9 : 0) << plane << " " << x;
}

TEST(PatternExpansion, ColorAtFactorsOneIsAPlainCopy) {
    GuardedBuffer from(5 * 7 * 3);
    for (size_t i = 0; i < from.size(); ++i)
        from.data()[i] = static_cast<uint8_t>(i * 37 + 1);
    GuardedBuffer to(from.size(), kSentinel);
    marl::ExpandColorPattern(from.data(), to.data(), 7, 5, 1, 1);
    EXPECT_EQ(Bytes(to), Bytes(from));
}

TEST(PatternSizeFits, AdmitsExactlyWhatSixteenBitCountsHold) {
    const struct {
        int32_t Width, Height, XFactor, YFactor;
        bool Fits;
    } cases[] = {
        {8, 8, 1, 1, true},         {5461, 1, 2, 1, true},   {5462, 1, 2, 1, false},
        {10922, 1, 1, 1, true},     {10923, 1, 1, 1, false}, {1, 32767, 1, 1, true},
        {1, 16384, 1, 2, false},    {1, 8191, 255, 1, true}, {43, 1, 255, 1, false},
        {10922, 32767, 1, 1, true}, {0, 8, 1, 1, false},     {8, 0, 1, 1, false},
        {8, 8, 0, 1, false},        {8, 8, 1, 0, false},     {-8, 8, 1, 1, false},
        {8, -8, 1, 1, false},       {8, 8, -1, -1, false},   {65536, 1, 65536, 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(marl::PatternSizeFits(c.Width, c.Height, c.XFactor, c.YFactor), c.Fits)
            << c.Width << "x" << c.Height << " factors " << c.XFactor << "," << c.YFactor;
}

// Refused sizes write nothing: the destination is far too small for what the sizes
// describe, so a routine that went ahead would change the sentinel or fault.
TEST(PatternExpansion, RefusedSizesWriteNothing) {
    const struct {
        int32_t Width, Height, WidthBytes, XFactor, YFactor;
    } refused[] = {
        {8, 0, 8, 1, 1},       {8, -1, 8, 2, 2},    {0, 8, 8, 1, 1},
        {8, 8, 8, 0, 1},       {8, 8, 8, 1, 0},     {8, 8, 8, -2, 1},
        {5462, 1, 5462, 2, 1}, {1, 16384, 1, 1, 2}, {16, 2, 1, 1, 1}, // last: rows too narrow
    };
    GuardedBuffer from(64 * 1024, 0x5A);
    for (const auto& c : refused)
        for (Kind kind :
             {Kind::Mono, Kind::Color, Kind::PaddedColor, Kind::Grey, Kind::PlanarMono}) {
            const bool strideOnly = c.Width == 16 && c.Height == 2;
            if (strideOnly && kind == Kind::Color) continue; // has no stride of its own
            GuardedBuffer to(64, kSentinel);
            Expand(kind, from.data(), to.data(), c.Width, c.Height, c.WidthBytes, c.XFactor,
                   c.YFactor);
            EXPECT_EQ(Bytes(to), std::vector<uint8_t>(64, kSentinel))
                << static_cast<int>(kind) << ": " << c.Width << "x" << c.Height;
        }
}

RealizedBrush BrushWithColors(uint32_t color, uint32_t backColor) {
    RealizedBrush brush{};
    brush.Color = color;
    brush.BackColor = backColor;
    return brush;
}

TEST(ExpandHatch, DrawsTableBitsInTheBrushColoursAtEveryHatchSize) {
    std::mt19937 random(99);
    const RealizedBrush brush = BrushWithColors(0xAA123456, 0x55ABCDEF);
    const Rgb fore = marltest::ColorRgb(0x123456), back = marltest::ColorRgb(0xABCDEF);
    const int32_t sizes[][2] = {{8, 8}, {8, 16}, {16, 16}, {16, 32}, {32, 32}, {24, 40}};
    for (const auto& size : sizes) {
        const int32_t rows = size[0], columns = size[1];
        const auto image = marltest::RandomBits(columns, rows, random);
        GuardedBuffer table(static_cast<size_t>(rows) * columns / 8);
        marltest::PackBits(image, table.data(), columns / 8);
        const auto expected = ReferencePattern(
            columns, rows, 1, 1, [&](int32_t r, int32_t x) { return image[r][x] ? fore : back; });
        GuardedBuffer to(expected.size(), kSentinel);
        marl::ExpandHatch(rows, columns, table.data(), brush, to.data());
        EXPECT_EQ(Bytes(to), expected) << rows << "x" << columns;
    }
}

TEST(ExpandHatch, EqualColoursGiveAUniformPattern) {
    const uint8_t table[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    uint8_t to[8 * 24];
    marl::ExpandHatch(8, 8, table, BrushWithColors(0x00405060, 0xFF405060), to);
    for (int row = 0; row < 8; ++row)
        for (int plane = 0; plane < 3; ++plane)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(to[row * 24 + plane * 8 + x], plane == 0   ? 0x60
                                                        : plane == 1 ? 0x50
                                                                     : 0x40);
}

TEST(ExpandHatch, RefusesTablesItCannotRead) {
    const uint8_t table[16] = {0xFF};
    const RealizedBrush brush = BrushWithColors(1, 2);
    uint8_t to[64];
    std::memset(to, kSentinel, sizeof to);
    marl::ExpandHatch(8, 8, nullptr, brush, to);
    marl::ExpandHatch(2, 12, table, brush, to);
    marl::ExpandHatch(0, 8, table, brush, to);
    marl::ExpandHatch(8, -8, table, brush, to);
    EXPECT_EQ(std::vector<uint8_t>(to, to + 64), std::vector<uint8_t>(64, kSentinel));
}

} // namespace
