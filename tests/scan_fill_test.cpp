// RPFillScanRows: row positioning, empty spans, the three paint sources, pattern tiling with
// origins both ways, spans outside the band, and a differential run against a per-pixel
// reference.
#include "common/bitmap.h"
#include "render24/primitives/scan_fill.h"
#include "support/edition.h"
#include "support/guarded_memory.h"
#include "support/library.h"
#include "support/reference_contone.h"
#include "support/row_move_log.h"
#include "support/test_band.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

using marltest::RowMove;
using marltest::RowMoveLog;
using marltest::TestBand;

ScanSpan Span(int16_t y, int16_t left, int16_t right) {
    ScanSpan span{};
    span.Y = y;
    span.Left = left;
    span.Right = right;
    return span;
}

uint32_t Fill(TestBand& band, const std::vector<ScanSpan>& spans, RealizedBrush* brush,
              uint32_t code) {
    return marltest::Table().FillScanRows(band.Device(), 0xDEADBEEF,
                                          static_cast<uint32_t>(spans.size()), spans.data(), brush,
                                          0x12345678, 0x9ABCDEF0, code);
}

std::vector<RowMove> FillLogged(TestBand& band, const std::vector<ScanSpan>& spans,
                                const RealizedBrush* brush, uint32_t code) {
    RowMoveLog log;
    EXPECT_EQ(marl::FillScanRows(band.Surface(), static_cast<uint32_t>(spans.size()), spans.data(),
                                 brush, code, &log),
              0u);
    return log.Moves;
}

std::vector<uint8_t> Snapshot(TestBand& band) {
    return std::vector<uint8_t>(band.Bytes(), band.Bytes() + band.ByteCount());
}

void Scramble(TestBand& band, std::mt19937& random) {
    std::generate(band.Bytes(), band.Bytes() + band.ByteCount(), [&] { return random(); });
}

RealizedBrush SolidBrush(uint32_t colour, int16_t width = 0, int16_t height = 0) {
    RealizedBrush brush{};
    brush.Color = colour;
    brush.Width = width;
    brush.Height = height;
    return brush;
}

// A pattern whose sample for plane k, row r, column c is 64 k + 8 r + c (r, c < 8).
struct Pattern {
    std::vector<uint8_t> Bytes;
    RealizedBrush Brush{};

    Pattern(int16_t width, int16_t height, int16_t originX, int16_t originY) {
        for (int r = 0; r < height; ++r)
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < width; ++c)
                    Bytes.push_back(static_cast<uint8_t>(64 * k + 8 * r + c));
        Brush.Color = 0x00FFFFFF;
        Brush.Width = width;
        Brush.Height = height;
        Brush.OriginX = originX;
        Brush.OriginY = originY;
        Brush.Bits = Bytes.data();
    }
};

const RowMove kNext = RowMove::Advance();
RowMove Select(uint32_t row) { return RowMove::Select(row); }

TEST(FillScanRows, RowsArePositionedWithSelectRowAndNextRow) {
    TestBand band(16, 12);
    RealizedBrush brush = SolidBrush(0x445566);
    std::vector<ScanSpan> spans = {Span(5, 0, 3), Span(5, 4, 8), Span(6, 1, 2), Span(9, 0, 16)};
    EXPECT_EQ(FillLogged(band, spans, &brush, 0xF0),
              (std::vector<RowMove>{Select(5), kNext, Select(9)}));
    EXPECT_EQ(band.Surface()->RowIndex, 9);
    EXPECT_EQ(band.At(7, 5, 0), 0x66);
    EXPECT_EQ(band.At(3, 5, 0), 0x00);
    EXPECT_EQ(band.At(1, 6, 1), 0x55);
    EXPECT_EQ(band.At(15, 9, 2), 0x44);
    // A first span on row 0 is reached with SelectRow: no row is remembered yet.
    EXPECT_EQ(FillLogged(band, {Span(0, 0, 1), Span(1, 0, 1)}, &brush, 0xF0),
              (std::vector<RowMove>{Select(0), kNext}));
}

TEST(FillScanRows, CountZeroMovesNothing) {
    TestBand band(8, 8, 0x42);
    marl::SelectRow(*band.Surface(), 3);
    std::vector<uint8_t> before = Snapshot(band);
    ScanSpan span = Span(5, 0, 8);
    const auto& table = marltest::Table();
    for (uint32_t count : {0u, 0x10000u, 0xFFFF0000u}) {
        EXPECT_EQ(table.FillScanRows(band.Device(), 0, count, &span, nullptr, 0, 0, 0xF0), 0u);
        EXPECT_EQ(band.Surface()->RowIndex, 3);
    }
    EXPECT_EQ(Snapshot(band), before);
    // Only the low 16 bits of the count are read.
    EXPECT_EQ(table.FillScanRows(band.Device(), 0, 0x10001, &span, nullptr, 0, 0, 0xF0), 0u);
    EXPECT_EQ(band.At(7, 5, 2), 0);
}

TEST(FillScanRows, EmptySpansPaintNothingButMoveTheCursor) {
    TestBand band(8, 8, 0x42);
    std::vector<uint8_t> before = Snapshot(band);
    std::vector<ScanSpan> spans = {Span(2, 4, 4), Span(3, 5, 1), Span(6, 0, -3)};
    EXPECT_EQ(FillLogged(band, spans, nullptr, 0xF0),
              (std::vector<RowMove>{Select(2), kNext, Select(6)}));
    EXPECT_EQ(band.Surface()->RowIndex, 6);
    EXPECT_EQ(Snapshot(band), before);
}

struct SolidCase {
    const char* Name;
    bool Brush;
    RealizedBrush Record;
    uint32_t Code;
    int Result[3]; // -1: the destination is left as it was
};

TEST(FillScanRows, NoBrushAndSolidBrushes) {
    const SolidCase cases[] = {
        {"no brush, 0xF0 paints 0", false, {}, 0xF0, {0, 0, 0}},
        {"no brush, 0x0F paints 255", false, {}, 0x0F, {255, 255, 255}},
        {"no brush, 0x5A leaves D", false, {}, 0x5A, {-1, -1, -1}},
        {"width 8, height 0 paints Color",
         true,
         SolidBrush(0xEE332211, 8, 0),
         0xF0,
         {0x11, 0x22, 0x33}},
        {"width 0, height 8 paints Color",
         true,
         SolidBrush(0x00332211, 0, 8),
         0xF0,
         {0x11, 0x22, 0x33}},
        {"negative width paints Color",
         true,
         SolidBrush(0x00332211, -4, 8),
         0xF0,
         {0x11, 0x22, 0x33}},
        {"pattern with null bits paints Color",
         true,
         SolidBrush(0x00332211, 4, 4),
         0xF0,
         {0x11, 0x22, 0x33}},
        {"solid colour under 0x5A", true, SolidBrush(0x0000147D), 0x5A, {-1, -1, -1}},
    };
    std::mt19937 random(5);
    for (const SolidCase& c : cases) {
        TestBand band(8, 4);
        Scramble(band, random);
        std::vector<uint8_t> before = Snapshot(band);
        RealizedBrush brush = c.Record;
        EXPECT_EQ(Fill(band, {Span(1, 2, 6)}, c.Brush ? &brush : nullptr, c.Code), 0u);
        for (uint32_t x = 0; x < 8; ++x) {
            for (uint32_t k = 0; k < 3; ++k) {
                uint8_t old = before[band.Row(1, k) + x - band.Bytes()];
                int want = x < 2 || x >= 6 || c.Result[k] < 0 ? old : c.Result[k];
                if (c.Code == 0x5A && x >= 2 && x < 6) {
                    int p = c.Brush ? static_cast<uint8_t>(c.Record.Color >> (8 * k)) : 0;
                    want = std::abs(old - p);
                }
                EXPECT_EQ(band.At(x, 1, k), want) << c.Name << " x " << x << " plane " << k;
            }
        }
    }
}

struct TileCase {
    int16_t Width, Height, OriginX, OriginY;
    int16_t X, Y;    // the pixel painted, with a span that starts there
    int Column, Row; // the pattern sample it must take
};

TEST(FillScanRows, PatternTilesFromTheOriginBothWays) {
    const TileCase cases[] = {
        {2, 1, 1, 0, 1, 0, 0, 0},   // x 1 takes column 0
        {2, 1, 1, 0, 0, 0, 1, 0},   // x 0 takes column 1
        {4, 1, 0, 0, 5, 0, 1, 0},   // a span from x 5 starts in column 1
        {1, 3, 0, 1, 0, 1, 0, 0},   // row 1 uses pattern row 0
        {1, 3, 0, 1, 0, 0, 0, 2},   // row 0 uses pattern row 2
        {1, 3, 0, 1, 0, 4, 0, 0},   // row 4 uses pattern row 0
        {4, 3, -3, -2, 0, 0, 3, 2}, // negative origins
        {4, 3, 7, 5, 2, 1, 3, 2},   // origins past the pixel: negative remainders
        // extreme origins: (6 - 32767) mod 5, (6 + 32768) mod 7
        {5, 7, 32767, -32768, 6, 6, 4, 0},
        {8, 8, 3, 3, 2, 2, 7, 7}, // one before the origin: the last column and row
    };
    for (const TileCase& c : cases) {
        Pattern pattern(c.Width, c.Height, c.OriginX, c.OriginY);
        TestBand band(8, 8);
        EXPECT_EQ(Fill(band, {Span(c.Y, c.X, c.X + 1)}, &pattern.Brush, 0xF0), 0u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(band.At(c.X, c.Y, k), 64 * k + 8 * c.Row + c.Column)
                << "pattern " << c.Width << "x" << c.Height << " origin " << c.OriginX << ","
                << c.OriginY << " pixel " << c.X << "," << c.Y;
        }
    }
}

TEST(FillScanRows, PatternWrapsAlongASpan) {
    Pattern pattern(3, 2, 1, 0);
    TestBand band(10, 2);
    Fill(band, {Span(1, 0, 10)}, &pattern.Brush, 0xF0);
    const int columns[] = {2, 0, 1, 2, 0, 1, 2, 0, 1, 2};
    for (int x = 0; x < 10; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(band.At(x, 1, k), 64 * k + 8 + columns[x]) << x;
}

TEST(FillScanRows, UnhandledCodesWriteNothingButSelectRows) {
    for (uint32_t code : {0xCCu, 0x01u, 0x66u, 0xAAu}) {
        TestBand band(8, 8, 0x42);
        std::vector<uint8_t> before = Snapshot(band);
        RealizedBrush brush = SolidBrush(0xFFFFFF);
        EXPECT_EQ(FillLogged(band, {Span(1, 0, 8), Span(2, 0, 8), Span(7, 0, 8)}, &brush, code),
                  (std::vector<RowMove>{Select(1), kNext, Select(7)}));
        EXPECT_EQ(Fill(band, {Span(1, 0, 8), Span(4, 0, 8)}, &brush, code), 0u);
        EXPECT_EQ(band.Surface()->RowIndex, 4);
        EXPECT_EQ(Snapshot(band), before) << code;
    }
}

// A brush realized by the library tiles as its own hatch rule says: hatch 2 sets column r of
// pattern row r, and the origin shifts the pattern in both directions.
TEST(FillScanRows, RealizedHatchBrushTilesFromItsOrigin) {
    TestBand band(16, 16);
    LogicalBrush logical{};
    logical.Style = 2;
    logical.Color = 0x0000C8;
    logical.Hatch = 2;
    RealizedBrush brush{};
    const auto& table = marltest::Table();
    const uint32_t origin = (5u << 16) | 3u;
    ASSERT_EQ(table.RealizeBrush(band.Device(), &logical, &brush, origin, 1, 1, 0, 0x000014),
              marltest::kRealizedBrushBytes);
    ASSERT_EQ(brush.Width, 8);
    std::vector<ScanSpan> spans;
    for (int16_t y = 0; y < 16; ++y)
        spans.push_back(Span(y, 0, 16));
    EXPECT_EQ(Fill(band, spans, &brush, 0xF0), 0u);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool set = (x - 3 + 16) % 8 == (y - 5 + 16) % 8;
            EXPECT_EQ(band.At(x, y, 0), set ? 0xC8 : 0x14) << x << "," << y;
            EXPECT_EQ(band.At(x, y, 1), 0) << x << "," << y;
        }
    }
    table.RealizeBrush(band.Device(), &brush, nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(band.Allocator().Live(), 0u);
}

// The per-pixel reference: the sample P of plane k at (x, y) and the row moves of a list.
uint8_t ReferencePaint(const RealizedBrush* brush, int x, int y, int k) {
    if (brush == nullptr) return 0;
    if (brush->Width <= 0 || brush->Height <= 0 || brush->Bits == nullptr)
        return static_cast<uint8_t>(brush->Color >> (8 * k));
    int w = brush->Width, h = brush->Height;
    int column = ((x - brush->OriginX) % w + w) % w;
    int row = ((y - brush->OriginY) % h + h) % h;
    return brush->Bits[row * 3 * w + k * w + column];
}

struct ReferenceFill {
    std::vector<uint8_t> Bytes;
    std::vector<RowMove> Moves;
};

ReferenceFill FillReference(TestBand& band, const std::vector<ScanSpan>& spans,
                            const RealizedBrush* brush, uint8_t code) {
    ReferenceFill result{Snapshot(band), {}};
    const int width = band.Width(), height = band.Height();
    int remembered = -10000;
    for (const ScanSpan& span : spans) {
        int y = span.Y;
        if (y != remembered) {
            bool below = y == remembered + 1 && remembered >= 0 && remembered < height;
            result.Moves.push_back(below ? RowMove::Advance()
                                         : RowMove::Select(y < 0 ? 0xFFFF : uint32_t(y)));
            remembered = y;
        }
        if (y < 0 || y >= height) continue;
        for (int x = std::max<int>(span.Left, 0); x < std::min<int>(span.Right, width); ++x) {
            for (int k = 0; k < 3; ++k) {
                size_t at = static_cast<size_t>(band.Row(y, k) + x - band.Bytes());
                auto sample = marltest::ReferenceContone(code, result.Bytes[at],
                                                         ReferencePaint(brush, x, y, k));
                if (sample) result.Bytes[at] = *sample;
            }
        }
    }
    return result;
}

// A band of 64 x 64 pixels without padding fills whole pages, so it lies flush between
// unreadable pages: a write before row 0 or after the last row faults, and a write past a
// row's end lands in the next plane, where the comparison sees it.
TEST(FillScanRows, SpansOutsideTheBandAreSkippedOrClipped) {
    Pattern pattern(5, 3, -2, 4);
    RealizedBrush solid = SolidBrush(0x102030);
    const RealizedBrush* brushes[] = {nullptr, &solid, &pattern.Brush};
    std::vector<ScanSpan> spans = {
        Span(-1, 0, 64),  Span(0, -5, 3),      Span(64, 0, 64),     Span(-30000, -9, 90),
        Span(10, -5, 70), Span(11, 60, 32767), Span(12, -32768, 2), Span(13, 64, 80),
        Span(14, -9, 0),  Span(100, 0, 64),    Span(63, 62, 32767), Span(32767, 0, 1),
        Span(-1, 0, 1),   Span(0, 0, 64),      Span(63, -1, 1),     Span(64, 0, 64),
    };
    std::mt19937 random(11);
    for (const RealizedBrush* brush : brushes) {
        for (uint8_t code : {0xF0, 0x5A, 0x55}) {
            TestBand band(64, 64);
            Scramble(band, random);
            ReferenceFill expected = FillReference(band, spans, brush, code);
            EXPECT_EQ(FillLogged(band, spans, brush, code), expected.Moves);
            EXPECT_TRUE(Snapshot(band) == expected.Bytes) << "code " << int(code);
        }
    }
}

TEST(FillScanRows, DestinationsWithoutPixelsAndNullSpans) {
    TestBand band(8, 4, 0x42);
    std::vector<uint8_t> before = Snapshot(band);
    BitmapHeader noBits = *band.Header();
    noBits.Bits = nullptr;
    PlaneBitmap surfaces[3]{};
    surfaces[1].Header = &noBits;
    surfaces[2].Header = band.Header();
    RenderDevice devices[3]{}; // no surface, no header, no bits
    devices[1].Surface = &surfaces[0];
    devices[2].Surface = &surfaces[1];
    ScanSpan span = Span(1, 0, 8);
    const auto& table = marltest::Table();
    EXPECT_EQ(table.FillScanRows(nullptr, 0, 1, &span, nullptr, 0, 0, 0xF0), 0u);
    for (RenderDevice& device : devices)
        EXPECT_EQ(table.FillScanRows(&device, 0, 1, &span, nullptr, 0, 0, 0xF0), 0u);
    EXPECT_EQ(table.FillScanRows(band.Device(), 0, 5, nullptr, nullptr, 0, 0, 0xF0), 0u);
    EXPECT_EQ(Snapshot(band), before);
}

TEST(FillScanRows, RandomSpansMatchTheReference) {
    std::mt19937 random(99);
    auto in = [&](int low, int high) {
        return static_cast<int16_t>(std::uniform_int_distribution<int>(low, high)(random));
    };
    const int width = 13, height = 9;
    for (int trial = 0; trial < 1500; ++trial) {
        Pattern pattern(in(1, 6), in(1, 5), in(-20, 20), in(-20, 20));
        RealizedBrush solid = SolidBrush(random(), in(-1, 1) * 8, 0);
        const RealizedBrush* brushes[] = {nullptr, &solid, &pattern.Brush, &pattern.Brush};
        const RealizedBrush* brush = brushes[random() % 4];
        std::vector<ScanSpan> spans;
        int row = in(-2, height);
        for (int i = in(0, 8); i > 0; --i) {
            row += in(0, 3) == 0 ? in(-3, 3) : in(0, 1);
            int16_t left = in(-3, width + 1);
            spans.push_back(Span(static_cast<int16_t>(row), left, in(left - 2, width + 3)));
        }
        uint8_t code = marltest::PickCode(random());
        TestBand band(width, height);
        Scramble(band, random);
        ReferenceFill expected = FillReference(band, spans, brush, code);
        if (trial % 4 == 0) {
            ASSERT_EQ(Fill(band, spans, const_cast<RealizedBrush*>(brush), code), 0u);
        } else {
            ASSERT_EQ(FillLogged(band, spans, brush, code), expected.Moves) << "trial " << trial;
        }
        ASSERT_TRUE(Snapshot(band) == expected.Bytes) << "trial " << trial << " code " << int(code);
    }
}

// A pattern of random samples in guarded memory, so that a read past its last row faults.
struct GuardedPattern {
    marltest::GuardedBuffer Bytes;
    RealizedBrush Brush{};

    GuardedPattern(int16_t width, int16_t height, int16_t originX, std::mt19937& random)
        : Bytes(size_t{3} * width * height) {
        std::generate(Bytes.data(), Bytes.data() + Bytes.size(), [&] { return random(); });
        Brush.Width = width;
        Brush.Height = height;
        Brush.OriginX = originX;
        Brush.OriginY = 1;
        Brush.Bits = Bytes.data();
    }
};

// Spans of every length from 0 to 80 from odd and even starts, lengths around two to four
// groups of four vector steps with every kind of remainder, spans clipped at either edge and
// a row wider than the band, spread over the band's rows.
std::vector<ScanSpan> LongSpans(int width, int height) {
    std::vector<ScanSpan> spans;
    std::vector<int> all;
    for (int length = 0; length <= 80; ++length)
        all.push_back(length);
    for (int length : {127, 128, 129, 143, 144, 175, 191, 192, 200, 255, 257})
        all.push_back(length);
    for (int length : all) {
        int left = (37 * length + 1) % (width - length);
        spans.push_back(Span(static_cast<int16_t>(length % height), static_cast<int16_t>(left),
                             static_cast<int16_t>(left + length)));
    }
    spans.push_back(Span(0, -7, 40));
    spans.push_back(Span(1, static_cast<int16_t>(width - 45), static_cast<int16_t>(width + 9)));
    spans.push_back(Span(2, -5, static_cast<int16_t>(width + 5)));
    return spans;
}

// Long spans go through the vector loops for the codes that read D: solid colours, patterns
// narrow enough to be tiled and wide enough to be combined between wraps, and every phase of
// an 8-wide pattern, against the per-pixel reference in every plane.
TEST(FillScanRows, LongSpansMatchTheReferenceForEveryCode) {
    std::mt19937 random(4960);
    const int width = 4960, height = 3;
    struct Brush {
        int16_t Width;
        int16_t OriginX;
    };
    std::vector<Brush> brushes = {{0, 0},  {1, 0},  {3, 2},  {16, 5},   {24, 7},
                                  {32, 1}, {63, 9}, {64, 0}, {100, -3}, {200, 77}};
    for (int16_t phase = 0; phase < 8; ++phase)
        brushes.push_back({8, phase});
    const std::vector<ScanSpan> spans = LongSpans(width, height);
    for (uint8_t code : marltest::ReferencePatternDestCodes()) {
        for (const Brush& kind : brushes) {
            RealizedBrush solid = SolidBrush(random());
            std::unique_ptr<GuardedPattern> pattern;
            if (kind.Width > 0)
                pattern = std::make_unique<GuardedPattern>(kind.Width, 2, kind.OriginX, random);
            const RealizedBrush* brush = pattern ? &pattern->Brush : &solid;
            TestBand band(width, height);
            Scramble(band, random);
            ReferenceFill expected = FillReference(band, spans, brush, code);
            ASSERT_EQ(Fill(band, spans, const_cast<RealizedBrush*>(brush), code), 0u);
            ASSERT_TRUE(Snapshot(band) == expected.Bytes)
                << "code " << int(code) << " pattern width " << kind.Width << " origin "
                << kind.OriginX;
        }
    }
}

// Short spans share the repeated row of their pattern row: several spans on one row, of
// growing and shrinking lengths (the row is made longer when a span needs it), rows left and
// come back to, spans longer than one repeated row, spans clipped at either edge, for narrow
// patterns of every kind of width, origins both ways and every code.
TEST(FillScanRows, ShortSpansSharingPatternRowsMatchTheReference) {
    std::mt19937 random(20);
    const int width = 1200, height = 6;
    const int16_t lengths[] = {1, 20, 5, 40, 17, 64, 3, 1100, 20, 2, 1030, 15};
    const int16_t rows[] = {2, 2, 2, 3, 3, 1, 2, 2, 5, 0, 0, 4};
    std::vector<ScanSpan> spans;
    for (size_t i = 0; i < std::size(lengths); ++i) {
        const int left = static_cast<int>(random() % static_cast<uint32_t>(width - lengths[i]));
        spans.push_back(
            Span(rows[i], static_cast<int16_t>(left), static_cast<int16_t>(left + lengths[i])));
    }
    spans.push_back(Span(2, -9, 11));
    spans.push_back(Span(2, width - 7, width + 30));
    spans.push_back(Span(3, -40, width + 40));
    spans.push_back(Span(2, 500, 519));
    for (uint8_t code : marltest::ReferencePatternDestCodes()) {
        for (int16_t patternWidth : {1, 2, 3, 5, 7, 8, 13, 16, 31, 63}) {
            const auto originX = static_cast<int16_t>(static_cast<int>(random() % 81) - 40);
            GuardedPattern pattern(patternWidth, 3, originX, random);
            TestBand band(width, height);
            Scramble(band, random);
            ReferenceFill expected = FillReference(band, spans, &pattern.Brush, code);
            ASSERT_EQ(FillLogged(band, spans, &pattern.Brush, code), expected.Moves);
            ASSERT_TRUE(Snapshot(band) == expected.Bytes)
                << "code " << int(code) << " pattern width " << patternWidth << " origin "
                << originX;
        }
    }
}

// The pattern column of a span's first pixel at the extremes of the 16-bit values: widths
// around the largest one whose column is found by multiplying, origins at both ends, spans
// at every start of a row.
TEST(FillScanRows, PatternColumnsAtExtremeWidthsAndOrigins) {
    std::mt19937 random(16384);
    const int width = 640;
    std::vector<ScanSpan> spans;
    for (int16_t left = 0; left < width; left = static_cast<int16_t>(left + 1 + left / 8))
        spans.push_back(Span(0, left, static_cast<int16_t>(left + 3)));
    spans.push_back(Span(0, -32768, 2));
    for (int16_t patternWidth : {2, 3, 63, 64, 1000, 16383, 16384, 32767}) {
        for (int16_t originX : {-32768, -32767, -1, 0, 1, 639, 32767}) {
            for (uint8_t code : {0xF0, 0x5A}) {
                GuardedPattern pattern(patternWidth, 1, originX, random);
                TestBand band(width, 1);
                Scramble(band, random);
                ReferenceFill expected = FillReference(band, spans, &pattern.Brush, code);
                ASSERT_EQ(Fill(band, spans, &pattern.Brush, code), 0u);
                ASSERT_TRUE(Snapshot(band) == expected.Bytes)
                    << "pattern width " << patternWidth << " origin " << originX << " code "
                    << int(code);
            }
        }
    }
}

// The pattern column without a division against the plain remainder, for every pattern width
// a brush can have: at both ends of the difference left - OriginX, around 0, at the largest
// difference that leaves the remainder width - 1 (where a reciprocal too coarse for the width
// would be off by one) and at random differences.
TEST(FillScanRows, PatternColumnIsTheRemainderForEveryWidth) {
    std::mt19937 random(7);
    auto check = [](int32_t width, int32_t difference) {
        // A span start and an origin that differ by `difference`, within their 16 bits.
        const int32_t origin = std::clamp(-difference, -32768, 32767);
        const int32_t left = difference + origin;
        const int32_t rest = ((difference % width) + width) % width;
        return marl::PatternColumns(width, origin).Of(left) == static_cast<uint32_t>(rest);
    };
    for (int32_t width = 1; width <= 32767; ++width) {
        std::vector<int32_t> differences = {-32767, -1, 0, 1, 98303};
        differences.push_back((98303 + 1) / width * width - 1);
        for (int i = 0; i < 8; ++i)
            differences.push_back(static_cast<int32_t>(random() % 131071) - 32767);
        for (int32_t difference : differences)
            ASSERT_TRUE(check(width, difference))
                << "width " << width << " difference " << difference;
    }
}

} // namespace
