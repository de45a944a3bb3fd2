// RPBitBlt with the vector routines: whole transfers against the whole-transfer reference, and
// the rows the vector tier must leave to the byte-serial routine (sources and brushes inside
// the destination row) against the byte-serial routine alone.
#include "render24/blit/machine_row_routine.h"
#include "render24/blit/tier_chain.h"
#include "render24/blit/transfer/bit_blt.h"
#include "render24/blit/vector/cpu_features.h"
#include "render24/blit/vector/vector_pattern.h"
#include "support/blit_harness.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace marltest {
namespace {

constexpr uint16_t kBandWidth = 120, kBandHeight = 10;

struct RowCounts {
    uint32_t Vector = 0;
    uint32_t ByteSerial = 0;
};

// The driver with the tiered routine, counting the rows each tier drew.
BlitUnderTest ThroughTiered(RowCounts& counts) {
    return [&counts](TestBand& band, BlitScene& scene) {
        marl::TierChain routine;
        marl::BlitCall call = CallOf(band, scene);
        uint32_t result = marl::BitBlt(call, routine);
        counts.Vector += routine.VectorRowCount();
        counts.ByteSerial += routine.ByteSerialRowCount();
        return result;
    };
}

// The band after the transfer, drawn by the tiered routine and by the byte-serial one alone
// from the same start.
struct Outcome {
    std::vector<uint8_t> Tiered, ByteSerial;
    RowCounts Counts;
    // "" when both ways left the same band, else where they first differ.
    std::string Difference() const {
        for (size_t i = 0; i < Tiered.size(); ++i) {
            if (Tiered[i] != ByteSerial[i]) {
                return "band byte " + std::to_string(i) + ": " + std::to_string(Tiered[i]) +
                       " not " + std::to_string(ByteSerial[i]);
            }
        }
        return "";
    }
};

Outcome DrawBothWays(TestBand& band, BlitScene& scene, uint32_t seed) {
    Outcome outcome;
    FillRandom(band.Bytes(), band.ByteCount(), seed);
    std::vector<uint8_t> start = BandBytes(band);
    {
        marl::TierChain routine;
        marl::BlitCall call = CallOf(band, scene);
        EXPECT_EQ(marl::BitBlt(call, routine), 0u);
        outcome.Counts = {routine.VectorRowCount(), routine.ByteSerialRowCount()};
    }
    outcome.Tiered = BandBytes(band);
    std::copy(start.begin(), start.end(), band.Bytes());
    marl::MachineRowRoutine routine;
    marl::BlitCall call = CallOf(band, scene);
    EXPECT_EQ(marl::BitBlt(call, routine), 0u);
    outcome.ByteSerial = BandBytes(band);
    return outcome;
}

BlitScene Scene(uint8_t rop, uint16_t x, uint16_t y, uint16_t width, uint16_t height) {
    BlitScene scene;
    scene.X = x;
    scene.Y = y;
    scene.Width = width;
    scene.Height = height;
    scene.Rop = rop;
    scene.Colors = PhysicalColours(0x0010E0A0, 0x00F02040);
    return scene;
}

class VectorBlit : public testing::Test {
protected:
    void SetUp() override {
        if (!marl::vec::CpuHasSse2()) GTEST_SKIP() << "no SSE2: the vector tier is not used";
    }
};

// Every code, with a 24-bit, a raw one-bit and a colour-expanded one-bit source, and with
// each kind of brush: the whole band equals the reference, and the vector tier drew rows.
TEST_F(VectorBlit, EveryCodeMatchesTheReference) {
    TestBand band(kBandWidth, kBandHeight);
    SourceImage planes(100, 8, 3, 8, 11), bits(100, 8, 1, 1, 12);
    RealizedBrush solid = SolidBrush(0x0055AA33);
    PatternBrush pattern(8, 3, 3, 5, 13), wide(24, 2, 1, 0, 14);
    RealizedBrush* brushes[] = {nullptr, &solid, pattern.Record(), wide.Record()};
    RowCounts counts;
    for (uint32_t rop = 0; rop < 256; ++rop) {
        BlitScene scene = Scene(static_cast<uint8_t>(rop), 5 + rop % 7, 1, 17 + rop % 60, 6);
        switch (rop % 3) {
        case 0: scene.Source = planes.Header(); break;
        case 1: scene.Source = bits.Header(); break;
        default:
            scene.Source = bits.Header();
            scene.MonoExpand = static_cast<uint16_t>(8 + rop % 8);
        }
        scene.Brush = brushes[rop % 4];
        std::string difference =
            CompareWithReference(ThroughTiered(counts), band, scene, 100 + rop);
        EXPECT_EQ(difference, "") << "rop 0x" << std::hex << rop;
    }
    EXPECT_GT(counts.Vector, 200u * 6);
    EXPECT_EQ(counts.ByteSerial, 0u);
}

// Rows handed in place, with no source or brush inside the destination, are drawn by one
// call of a routine that walks them: destination, source and prepared pattern rows stepped
// by their strides, the pattern wrapping after its last row from whatever row the transfer
// starts on. Rows that need work of their own (a converted source, rows that meet their
// destination) still go one by one. Each case is checked whole against the reference.
TEST_F(VectorBlit, RowsInPlaceAreWalkedInOneCall) {
    constexpr uint16_t kTall = 40;
    TestBand band(kBandWidth, kTall);
    SourceImage planes(110, kTall, 3, 8, 51), bits(110, kTall, 1, 1, 52);
    PatternBrush eight(8, 8, 0, 0, 53), odd(5, 3, 2, 1, 54), wide(24, 7, 3, 6, 55);
    RealizedBrush solid = SolidBrush(0x00336699);
    enum Source { kNone, kPlanes, kBits, kExpanded };
    struct Case {
        uint8_t Rop;
        Source From;
        RealizedBrush* Brush;
        uint16_t X, Y, Width, Height;
        bool Walked;
    } cases[] = {
        {0xB8, kPlanes, eight.Record(), 3, 0, 100, 40, true},
        {0xB8, kPlanes, eight.Record(), 1, 5, 97, 30, true}, // pattern starts on row 5
        {0x68, kPlanes, odd.Record(), 2, 1, 61, 33, true},   // a period of 20 samples
        {0xE2, kBits, wide.Record(), 7, 3, 90, 29, true},    // one-bit rows, bit phase 7
        {0xE2, kBits, eight.Record(), 0, 0, 33, 40, true},
        {0x5A, kNone, odd.Record(), 4, 2, 100, 37, true},
        {0xF0, kNone, wide.Record(), 0, 9, 119, 31, true},
        {0xF0, kNone, &solid, 0, 0, 120, 40, true},
        {0x66, kPlanes, nullptr, 9, 4, 17, 35, true}, // one step and a closing step
        {0x00, kNone, nullptr, 0, 0, 16, 1, true},
        {0xB8, kExpanded, eight.Record(), 3, 0, 100, 40, false},
    };
    for (const Case& c : cases) {
        BlitScene scene = Scene(c.Rop, c.X, c.Y, c.Width, c.Height);
        scene.Brush = c.Brush;
        if (c.From == kPlanes) scene.Source = planes.Header();
        if (c.From == kBits || c.From == kExpanded) scene.Source = bits.Header();
        if (c.From == kExpanded) scene.MonoExpand = 9;
        bool walked = false;
        RowCounts counts;
        BlitUnderTest tiered = [&](TestBand& drawn, BlitScene& drawnScene) {
            marl::TierChain routine;
            marl::BlitCall call = CallOf(drawn, drawnScene);
            uint32_t result = marl::BitBlt(call, routine);
            walked = routine.RowsWalked();
            counts = {routine.VectorRowCount(), routine.ByteSerialRowCount()};
            return result;
        };
        const std::string what = "rop " + std::to_string(c.Rop) + " at row " + std::to_string(c.Y);
        EXPECT_EQ(CompareWithReference(tiered, band, scene, c.Rop + c.Y), "") << what;
        EXPECT_EQ(walked, c.Walked) << what;
        EXPECT_EQ(counts.ByteSerial, 0u) << what;
        EXPECT_GT(counts.Vector, 0u) << what;
    }
}

// The prepared pattern rows are the library's own memory: a transfer with a pattern brush
// asks the driver's allocator for nothing (a converted source asks only for its conversion
// row), whether the brush is new or drawn with again, and is drawn by the vector routine.
TEST_F(VectorBlit, PatternRowsAskTheDriversAllocatorForNothing) {
    TestBand band(kBandWidth, kBandHeight);
    SourceImage planes(100, 8, 3, 8, 41), bits(100, 8, 1, 1, 44), indexed(100, 8, 1, 8, 45);
    PatternBrush pattern(8, 3, 3, 5, 42), other(5, 7, 2, 1, 46);
    struct Case {
        uint8_t Rop;
        BitmapHeader* Source;
        RealizedBrush* Brush;
        size_t ConversionRows;
    } cases[] = {
        {0xB8, planes.Header(), pattern.Record(), 0}, {0xB8, planes.Header(), pattern.Record(), 0},
        {0xE2, bits.Header(), pattern.Record(), 0},   {0xF0, nullptr, other.Record(), 0},
        {0x5A, nullptr, pattern.Record(), 0},         {0xB8, indexed.Header(), other.Record(), 1},
    };
    for (const Case& c : cases) {
        RowCounts counts;
        BlitScene scene = Scene(c.Rop, 3, 1, 90, 6);
        scene.Source = c.Source;
        scene.Brush = c.Brush;
        band.Allocator().ClearLog();
        EXPECT_EQ(CompareWithReference(ThroughTiered(counts), band, scene, 43), "") << c.Rop;
        size_t calls = 0;
        for (const AllocCall& call : band.Allocator().Calls()) {
            EXPECT_EQ(call.Line, marl::kConversionRowLine) << c.Rop;
            ++calls;
        }
        EXPECT_EQ(calls, c.ConversionRows) << c.Rop;
        EXPECT_GT(counts.Vector, 0u) << c.Rop;
        EXPECT_EQ(counts.ByteSerial, 0u) << c.Rop;
        EXPECT_EQ(band.Allocator().Live(), 0u) << c.Rop;
    }
}

// The exported entry point takes the vector routines too.
TEST_F(VectorBlit, ThroughTheTableMatchesTheReference) {
    TestBand band(kBandWidth, kBandHeight);
    SourceImage planes(110, 9, 3, 8, 21);
    PatternBrush pattern(5, 4, 2, 1, 22);
    for (uint32_t rop : {0x00u, 0x0Fu, 0x17u, 0x5Au, 0x66u, 0x68u, 0xB8u, 0xCCu, 0xE2u, 0xF0u}) {
        BlitScene scene = Scene(static_cast<uint8_t>(rop), 3, 0, 105, 9);
        scene.Source = planes.Header();
        scene.Brush = pattern.Record();
        EXPECT_EQ(CompareWithReference(ThroughTable(), band, scene, rop), "") << rop;
    }
}

// Below 16 pixels rows stay byte-serial. (With a source the row has one pixel more than the
// requested width: columns x to x + min(source width - 1, width).)
TEST_F(VectorBlit, NarrowRowsStayByteSerial) {
    TestBand band(kBandWidth, kBandHeight);
    SourceImage planes(100, 8, 3, 8, 31);
    for (uint16_t width : {1, 7, 14}) {
        RowCounts counts;
        BlitScene scene = Scene(0x96, 4, 2, width, 5);
        scene.Source = planes.Header();
        EXPECT_EQ(CompareWithReference(ThroughTiered(counts), band, scene, width), "");
        EXPECT_EQ(counts.Vector, 0u);
        EXPECT_EQ(counts.ByteSerial, 6u);
    }
}

// A source whose rows lie inside the destination rows, shifted by 1 to 17 bytes: every row
// overlaps its own destination and is drawn byte-serially, so the result is the byte-serial
// routine's, with its left-to-right reads of samples it has just written.
TEST_F(VectorBlit, SourceInsideTheDestinationRowGivesTheByteSerialResult) {
    TestBand band(kBandWidth, kBandHeight);
    for (uint32_t shift = 1; shift <= 17; ++shift) {
        for (uint8_t rop : {uint8_t{0xCC}, uint8_t{0x66}, uint8_t{0xB8}, uint8_t{0x8E}}) {
            BitmapHeader inside = *band.Header();
            inside.Bits = band.Header()->Bits + shift;
            inside.Width = static_cast<uint16_t>(kBandWidth - shift);
            PatternBrush pattern(3, 2, 0, 0, shift);
            BlitScene scene = Scene(rop, 0, 0, 90, 7);
            scene.Source = &inside;
            scene.Brush = pattern.Record();
            Outcome outcome = DrawBothWays(band, scene, shift * 3 + rop);
            EXPECT_EQ(outcome.Difference(), "") << "shift " << shift << " rop " << int(rop);
            EXPECT_EQ(outcome.Counts.Vector, 0u);
            EXPECT_EQ(outcome.Counts.ByteSerial, 8u);
        }
    }
    // The same source moved to the left of the destination overlaps too.
    BitmapHeader inside = *band.Header();
    inside.Bits = band.Header()->Bits + 20;
    BlitScene scene = Scene(0xCC, 24, 0, 90, 5);
    scene.Source = &inside;
    Outcome outcome = DrawBothWays(band, scene, 99);
    EXPECT_EQ(outcome.Difference(), "");
    EXPECT_EQ(outcome.Counts.Vector, 0u);
}

// A source in the same band but on other rows does not overlap the rows it is drawn into:
// the vector tier takes them, and the rows are still done top to bottom, each reading what
// the rows above it left.
TEST_F(VectorBlit, SourceOnOtherRowsOfTheBandIsDrawnRowAfterRow) {
    TestBand band(kBandWidth, kBandHeight);
    // Source row r - 1 is band row r + 1: each row reads one the transfer has not reached.
    BitmapHeader below = *band.Header();
    below.Bits = band.Header()->Bits + 2 * 3u * band.Header()->WidthBytes;
    below.Height = static_cast<uint16_t>(kBandHeight - 2);
    for (uint8_t rop : {uint8_t{0xCC}, uint8_t{0x5A}, uint8_t{0x68}}) {
        PatternBrush pattern(8, 8, 0, 0, rop);
        BlitScene scene = Scene(rop, 2, 1, 100, 8);
        scene.Source = &below;
        scene.Brush = pattern.Record();
        Outcome outcome = DrawBothWays(band, scene, rop);
        EXPECT_EQ(outcome.Difference(), "") << int(rop);
        EXPECT_EQ(outcome.Counts.Vector, 8u);
    }
    // Source row r - 1 is band row r - 1: each row reads the one the transfer drew before it.
    BitmapHeader above = *band.Header();
    BlitScene scene = Scene(0x66, 0, 1, 100, 8);
    scene.Source = &above;
    Outcome outcome = DrawBothWays(band, scene, 7);
    EXPECT_EQ(outcome.Difference(), "");
    EXPECT_GT(outcome.Counts.Vector, 0u);
    EXPECT_EQ(outcome.Counts.ByteSerial, 0u);
}

// A brush whose pattern rows lie in the band: rows that cover brush samples are drawn
// byte-serially, and the rows after them read the brush as those rows left it.
TEST_F(VectorBlit, BrushInsideTheBandGivesTheByteSerialResult) {
    TestBand band(kBandWidth, kBandHeight);
    PatternBrush pattern(8, 2, 0, 0, 41);
    RealizedBrush inBand = *pattern.Record();
    // Two pattern rows of 24 bytes each, in band row 3 from column 40 of plane 0.
    inBand.Bits = band.Row(3, 0) + 40;
    for (uint8_t rop : {uint8_t{0xF0}, uint8_t{0x5A}, uint8_t{0xB8}}) {
        BlitScene scene = Scene(rop, 0, 0, 110, 9);
        SourceImage planes(110, 9, 3, 8, rop);
        scene.Source = planes.Header();
        scene.Brush = &inBand;
        Outcome outcome = DrawBothWays(band, scene, rop + 1);
        EXPECT_EQ(outcome.Difference(), "") << int(rop);
        EXPECT_EQ(outcome.Counts.ByteSerial, 1u) << int(rop); // band row 3 only
        EXPECT_EQ(outcome.Counts.Vector, 8u) << int(rop);
    }
}

} // namespace
} // namespace marltest
