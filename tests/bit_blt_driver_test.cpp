// The transfer driver's preparation, watched through the recording routine: the request it
// builds, the rows it hands over, what it converts, and the order of its clean-up.
#include "core/core_services.h"
#include "render24/blit/transfer/bit_blt.h"
#include "support/blit_harness.h"
#include "support/blit_scene.h"
#include "support/recording_routine.h"
#include "support/transfer_probes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace marltest {
namespace {

constexpr uint32_t kText = 0x0010E0A0, kBack = 0x00F02040;

struct Outcome {
    uint32_t Result;
    RecordingRoutine Routine;
};

// One transfer through the driver with a recording routine.
uint32_t Blit(TestBand& band, BlitScene& scene, RecordingRoutine& routine) {
    marl::BlitCall call = CallOf(band, scene);
    return marl::BitBlt(call, routine);
}

BlitScene Scene(uint16_t x, uint16_t y, uint16_t width, uint16_t height, uint8_t rop) {
    BlitScene scene;
    scene.X = x;
    scene.Y = y;
    scene.Width = width;
    scene.Height = height;
    scene.Rop = rop;
    scene.Colors = PhysicalColours(kText, kBack);
    return scene;
}

// ---------------------------------------------------------------------------------------
// The request handed to Build, by kind of source.

struct SourceRequestCase {
    const char* Name;
    uint8_t Planes, BitsPixel;
    uint16_t MonoExpand;
    uint32_t SourceBits;   // as Build is told
    bool StrideIsRowWidth; // converted rows: three runs of RowWidth
};

TEST(BitBltDriver, BuildIsToldHowToReadEachKindOfSource) {
    const SourceRequestCase cases[] = {
        {"24-bit", 3, 8, 0, 24, false},        {"raw 1-bit", 1, 1, 0, 1, false},
        {"1-bit expanded", 1, 1, 3, 24, true}, {"8-bit", 1, 8, 0, 24, true},
        {"4-bit", 1, 4, 0, 24, true},
    };
    for (const SourceRequestCase& c : cases) {
        TestBand band(40, 8);
        SourceImage source(20, 6, c.Planes, c.BitsPixel, 5);
        BlitScene scene = Scene(4, 1, 12, 3, 0xCC);
        scene.Source = source.Header();
        scene.MonoExpand = c.MonoExpand;
        RecordingRoutine routine;
        ASSERT_EQ(Blit(band, scene, routine), 0u) << c.Name;
        ASSERT_EQ(routine.Requests.size(), 1u) << c.Name;
        const marl::BlitRequest& request = routine.Requests[0];
        EXPECT_EQ(request.Rop, 0xCCu);
        EXPECT_EQ(request.RowWidth, 13u) << c.Name; // 4 + min(20 - 1, 12)
        EXPECT_EQ(request.SourceBits, c.SourceBits) << c.Name;
        // A stride only for three plane runs; colours and bit phase only for one-bit rows.
        const uint32_t stride = c.StrideIsRowWidth ? 13u : uint32_t{source.Header()->WidthBytes};
        const bool oneBit = c.SourceBits == 1;
        EXPECT_EQ(request.SourcePlaneStride, c.SourceBits == 24 ? stride : 0u) << c.Name;
        EXPECT_EQ(request.DestPlaneStride, uint32_t{band.Header()->WidthBytes});
        EXPECT_EQ(request.ClearBitColor, oneBit ? kText : 0u) << c.Name;
        EXPECT_EQ(request.SetBitColor, oneBit ? kBack : 0u) << c.Name;
        EXPECT_EQ(request.BitPhase, 0u);
        // Rows 1 .. 1 + min(6 - 1, 3).
        EXPECT_EQ(routine.Rows.size(), 4u) << c.Name;
        for (size_t r = 0; r < routine.Rows.size(); ++r)
            EXPECT_EQ(routine.Rows[r].Destination, band.Row(1 + r, 0) + 4) << c.Name;
    }
}

TEST(BitBltDriver, RawOneBitRowsAreHandedOverInPlace) {
    TestBand band(40, 8);
    SourceImage source(20, 6, 1, 1, 5);
    BlitScene scene = Scene(4, 1, 12, 3, 0xCC);
    scene.Source = source.Header();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    ASSERT_EQ(routine.Rows.size(), 4u);
    for (uint32_t r = 0; r < 4; ++r)
        EXPECT_EQ(routine.Rows[r].Source, source.Row(r));
    EXPECT_EQ(band.Allocator().Calls().size(), 0u); // no conversion row
}

TEST(BitBltDriver, WithoutSourceBuildSeesOneBitAndNoStride) {
    TestBand band(40, 8);
    BlitScene scene = Scene(0, 0, 10, 2, 0xF0);
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    ASSERT_EQ(routine.Requests.size(), 1u);
    EXPECT_EQ(routine.Requests[0].SourceBits, 1u);
    EXPECT_EQ(routine.Requests[0].SourcePlaneStride, 0u);
    EXPECT_FALSE(routine.Requests[0].PatternRows);
    EXPECT_EQ(routine.Requests[0].PatternColor, kText);
    for (const auto& row : routine.Rows)
        EXPECT_EQ(row.Source, nullptr);
}

// ---------------------------------------------------------------------------------------
// Clipping.

struct WidthCase {
    const char* Name;
    uint16_t SourceWidth; // 0: no source
    uint16_t X, Width;
    uint32_t RowWidth; // 0: nothing drawn, no routine built
};

TEST(BitBltDriver, RowWidthFollowsSourceAndDestination) {
    const WidthCase cases[] = {
        {"no source, width 10", 0, 0, 10, 10},
        {"50-pixel source, width 10", 50, 0, 10, 11},
        {"5-pixel source, width 10", 5, 0, 10, 5},
        {"cut at the right edge", 0, 95, 10, 5},
        {"source cut at the right edge", 50, 90, 30, 10},
        {"x equal to the width", 0, 100, 10, 0},
        {"requested width 0 at x 0", 0, 0, 0, 0},
        {"requested width 0 at x 7", 0, 7, 0, 0},
        {"source width 0", 1, 0, 10, 1},
    };
    for (const WidthCase& c : cases) {
        TestBand band(100, 4, 0x40);
        std::unique_ptr<SourceImage> source;
        BlitScene scene = Scene(c.X, 0, c.Width, 2, 0xFF);
        if (c.SourceWidth) {
            source = std::make_unique<SourceImage>(c.SourceWidth, 4, 3, 8, 9);
            scene.Source = source->Header();
        }
        RecordingRoutine routine;
        EXPECT_EQ(Blit(band, scene, routine), 0u) << c.Name;
        if (c.RowWidth == 0) {
            EXPECT_TRUE(routine.Requests.empty()) << c.Name;
            continue;
        }
        ASSERT_EQ(routine.Requests.size(), 1u) << c.Name;
        EXPECT_EQ(routine.Requests[0].RowWidth, c.RowWidth) << c.Name;
        // 0xFF draws 255 over exactly the columns x .. x + RowWidth - 1.
        for (uint32_t col = 0; col < 100; ++col) {
            bool inside = col >= c.X && col < c.X + c.RowWidth;
            EXPECT_EQ(band.At(col, 0, 2), inside ? 255 : 0x40) << c.Name << " column " << col;
        }
    }
}

TEST(BitBltDriver, ZeroSourceWidthOrHeightDrawsNothing) {
    for (auto [width, height] : {std::pair<uint16_t, uint16_t>{0, 4}, {4, 0}}) {
        TestBand band(20, 6, 0x40);
        SourceImage source(width, height, 3, 8, 3, 4);
        BlitScene scene = Scene(2, 1, 5, 3, 0xCC);
        scene.Source = source.Header();
        RecordingRoutine routine;
        EXPECT_EQ(Blit(band, scene, routine), 0u);
        EXPECT_TRUE(routine.Requests.empty());
    }
}

struct RowsCase {
    const char* Name;
    uint16_t Y, Height, SourceHeight; // SourceHeight 0: no source
    uint32_t Rows;
};

TEST(BitBltDriver, RowsFollowSourceAndDestination) {
    const RowsCase cases[] = {
        {"no source", 2, 3, 0, 3},
        {"taller source", 0, 3, 10, 4},
        {"shorter source", 0, 6, 2, 2},
        {"cut at the bottom", 8, 5, 0, 2},
        {"y equal to the height", 10, 3, 0, 0},
        {"height 0", 0, 0, 0, 0},
    };
    for (const RowsCase& c : cases) {
        TestBand band(16, 10);
        std::unique_ptr<SourceImage> source;
        BlitScene scene = Scene(1, c.Y, 4, c.Height, 0xFF);
        if (c.SourceHeight) {
            source = std::make_unique<SourceImage>(8, c.SourceHeight, 3, 8, 9);
            scene.Source = source->Header();
        }
        RecordingRoutine routine;
        EXPECT_EQ(Blit(band, scene, routine), 0u) << c.Name;
        EXPECT_EQ(routine.Rows.size(), c.Rows) << c.Name;
        EXPECT_EQ(routine.Requests.size(), c.Rows ? 1u : 0u) << c.Name;
        for (size_t r = 0; r < routine.Rows.size(); ++r)
            EXPECT_EQ(routine.Rows[r].Destination, band.Row(c.Y + r, 0) + 1) << c.Name;
    }
}

TEST(BitBltDriver, RequestsBeyondTheBandAreDoneWithoutDrawing) {
    for (auto [x, y] : {std::pair<uint16_t, uint16_t>{21, 0}, {0, 7}, {0xFFFF, 0}, {3, 0xFFFE}}) {
        TestBand band(20, 6, 0x40);
        BlitScene scene = Scene(x, y, 5, 3, 0xFF);
        RecordingRoutine routine;
        EXPECT_EQ(Blit(band, scene, routine), 0u);
        EXPECT_TRUE(routine.Events.empty());
        EXPECT_TRUE(band.Allocator().Calls().empty());
    }
}

// ---------------------------------------------------------------------------------------
// Colours.

struct ColourCase {
    const char* Name;
    uint32_t Text, Back;
    uint32_t Clear, Set, Solid; // what Build is told
};

TEST(BitBltDriver, UnmappedPhysicalColoursSwitchToTheLogicalOnes) {
    const uint32_t logicalText = 0x00C0FFEE, logicalBack = 0x00BADA55;
    const ColourCase cases[] = {
        {"both physical", kText, kBack, kText, kBack, kText},
        {"just below 2^25", 0x01FFFFFF, 0x01000000, 0x01FFFFFF, 0x01000000, 0x01FFFFFF},
        {"text with bit 25", kText | 0x02000000, kBack, logicalText, logicalBack, logicalText},
        {"back with bit 31", kText, kBack | 0x80000000, logicalText, logicalBack, kText},
    };
    for (const ColourCase& c : cases) {
        TestBand band(16, 4);
        SourceImage source(8, 2, 1, 1, 3);
        BlitScene scene = Scene(0, 0, 8, 2, 0xB8);
        scene.Source = source.Header();
        scene.Colors = PhysicalColours(c.Text, c.Back);
        RecordingRoutine routine;
        ASSERT_EQ(Blit(band, scene, routine), 0u) << c.Name;
        ASSERT_EQ(routine.Requests.size(), 1u);
        // The routine reads the three colour bytes.
        EXPECT_EQ(routine.Requests[0].ClearBitColor, c.Clear & 0xFFFFFF) << c.Name;
        EXPECT_EQ(routine.Requests[0].SetBitColor, c.Set & 0xFFFFFF) << c.Name;
        EXPECT_EQ(routine.Requests[0].PatternColor, c.Solid & 0xFFFFFF) << c.Name;
    }
}

TEST(BitBltDriver, OneBitSourceTakesItsColoursFromAReadablePalette) {
    PaletteImage palette(2, 4); // six bytes flush against an unreadable page
    uint8_t* p = palette.Data();
    const uint8_t entries[6] = {0x11, 0x22, 0x33, 0xA1, 0xB2, 0xC3};
    std::memcpy(p, entries, 6);
    for (uint16_t monoExpand : {0, 8}) {
        TestBand band(16, 4);
        SourceImage source(8, 2, 1, 1, 3);
        BlitScene scene = Scene(0, 0, 8, 2, 0xCC);
        scene.Source = source.Header();
        scene.Palette = palette.Data();
        scene.MonoExpand = monoExpand;
        scene.Colors = PhysicalColours(kText | 0x04000000, kBack);
        RecordingRoutine routine;
        ASSERT_EQ(Blit(band, scene, routine), 0u);
        if (routine.Requests[0].SourceBits == 1) { // read as one-bit rows, not converted
            EXPECT_EQ(routine.Requests[0].ClearBitColor, 0x112233u);
            EXPECT_EQ(routine.Requests[0].SetBitColor, 0xA1B2C3u);
        }
        // Converted or not, a set bit shows entry 1 and a clear bit entry 0, plane 0 taking
        // the entry's third byte.
        for (uint32_t col = 0; col < 8; ++col) {
            bool set = (source.Row(0)[0] >> (7 - col)) & 1;
            EXPECT_EQ(band.At(col, 0, 0), set ? 0xC3 : 0x33);
            EXPECT_EQ(band.At(col, 0, 2), set ? 0xA1 : 0x11);
        }
    }
}

TEST(BitBltDriver, UnreadablePaletteCountsAsNone) {
    PaletteImage palette(1, 4); // three bytes, the fourth unreadable
    TestBand band(16, 4);
    SourceImage source(8, 2, 1, 1, 3);
    BlitScene scene = Scene(0, 0, 8, 2, 0xCC);
    scene.Source = source.Header();
    scene.Palette = palette.Data();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    EXPECT_EQ(routine.Requests[0].ClearBitColor, kText);
    EXPECT_EQ(routine.Requests[0].SetBitColor, kBack);
}

// ---------------------------------------------------------------------------------------
// Source conversion.

TEST(BitBltDriver, FourBitRowGivesOneIndexPerNibble) {
    PaletteImage palette(16, 8);
    for (bool withPalette : {true, false}) {
        TestBand band(16, 4);
        SourceImage source(4, 1, 1, 4, 3);
        source.Row(0)[0] = 0xAB;
        source.Row(0)[1] = 0xCD;
        BlitScene scene = Scene(2, 1, 4, 1, 0xCC);
        scene.Source = source.Header();
        if (withPalette) scene.Palette = palette.Data();
        RecordingRoutine routine;
        ASSERT_EQ(Blit(band, scene, routine), 0u);
        ASSERT_EQ(routine.Rows.size(), 1u);
        const std::vector<uint8_t>& samples = routine.Rows[0].SourceSamples;
        ASSERT_EQ(samples.size(), 12u);
        const uint8_t* p = palette.Data();
        for (uint32_t i = 0; i < 4; ++i) {
            uint32_t index = 0xA + i;
            for (uint32_t k = 0; k < 3; ++k) {
                uint8_t wanted = withPalette ? p[3 * index + 2 - k] : uint8_t(index);
                EXPECT_EQ(samples[k * 4 + i], wanted) << "pixel " << i << " plane " << k;
            }
        }
    }
}

TEST(BitBltDriver, EightBitSourceWithoutPaletteIsGrey) {
    TestBand band(16, 4);
    SourceImage source(6, 2, 1, 8, 3);
    BlitScene scene = Scene(0, 0, 6, 2, 0xCC);
    scene.Source = source.Header();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t i = 0; i < 6; ++i)
            for (uint32_t k = 0; k < 3; ++k)
                EXPECT_EQ(band.At(i, r, k), source.Row(r)[i]);
}

TEST(BitBltDriver, MonoExpansionStartsAtTheBitPhase) {
    TestBand band(16, 4);
    SourceImage source(12, 1, 1, 1, 3);
    source.Row(0)[0] = 0x10; // only mask 0x10 set: bit position 3
    source.Row(0)[1] = 0x80;
    BlitScene scene = Scene(0, 0, 6, 1, 0xCC);
    scene.Source = source.Header();
    scene.MonoExpand = 3;
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    ASSERT_EQ(routine.Rows.size(), 1u);
    const std::vector<uint8_t>& samples = routine.Rows[0].SourceSamples;
    ASSERT_EQ(samples.size(), 3u * 7); // 0 + min(12 - 1, 6)
    // Pixel 0 is mask 0x10 (set), pixels 1..4 the rest of byte 0, pixel 5 the top of byte 1.
    const bool set[7] = {true, false, false, false, false, true, false};
    for (uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(samples[i], set[i] ? uint8_t(kBack) : uint8_t(kText)) << "pixel " << i;
    // The conversion row is one block for the whole transfer, from line 2095.
    auto calls = band.Allocator().Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Size, 3u * 7);
    EXPECT_EQ(calls[0].Flags, 1u);
    EXPECT_EQ(calls[0].File, "r:\\platf\\src\\render24\\render24");
    EXPECT_EQ(calls[0].Line, 2095u);
}

TEST(BitBltDriver, OneConversionRowServesEveryRow) {
    TestBand band(16, 8);
    SourceImage source(10, 6, 1, 8, 3);
    BlitScene scene = Scene(1, 1, 8, 5, 0xCC);
    scene.Source = source.Header();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    ASSERT_EQ(routine.Rows.size(), 6u);
    for (const auto& row : routine.Rows)
        EXPECT_EQ(row.Source, routine.Rows[0].Source);
    EXPECT_EQ(band.Allocator().Calls().size(), 1u);
    EXPECT_EQ(band.Allocator().Live(), 0u);
}

// ---------------------------------------------------------------------------------------
// Brushes.

TEST(BitBltDriver, SourceCopyIgnoresTheBrush) {
    PatternBrush pattern(4, 4, 1, 1, 3);
    TestBand band(16, 4);
    BlitScene scene = Scene(0, 0, 4, 2, 0xCC);
    SourceImage source(4, 2, 3, 8, 3);
    scene.Source = source.Header();
    scene.Brush = pattern.Record();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    EXPECT_FALSE(routine.Requests[0].PatternRows);
    EXPECT_EQ(routine.Requests[0].PatternColor, kText);
    // Dropped before it is looked at: even an unreadable brush does not matter.
    GuardedBuffer unreadable(0);
    scene.Brush = reinterpret_cast<RealizedBrush*>(const_cast<uint8_t*>(unreadable.end()));
    RecordingRoutine again;
    EXPECT_EQ(Blit(band, scene, again), 0u);
    EXPECT_EQ(again.Requests.size(), 1u);
}

TEST(BitBltDriver, PatternPhaseAndRowsStartFromTheBrushOrigin) {
    PatternBrush pattern(8, 5, 3, 2, 3);
    TestBand band(16, 6);
    BlitScene scene = Scene(1, 0, 6, 4, 0xF0);
    scene.Brush = pattern.Record();
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    const marl::BlitRequest& request = routine.Requests[0];
    EXPECT_TRUE(request.PatternRows);
    EXPECT_EQ(request.PatternWidth, 8u);
    EXPECT_EQ(request.PatternPhase, 6u); // (1 - 3) mod 8
    ASSERT_EQ(routine.Rows.size(), 4u);
    const uint32_t rows[] = {3, 4, 0, 1}; // from Height - 2 on
    for (uint32_t r = 0; r < 4; ++r)
        EXPECT_EQ(routine.Rows[r].Pattern, pattern.Bits() + rows[r] * 8 * 3) << "row " << r;
}

TEST(BitBltDriver, BrushWithoutPatternPaintsItsColourSolid) {
    PatternBrush withoutBits(4, 4, 0, 0, 3);
    withoutBits.Record()->Bits = nullptr;
    RealizedBrush hollow = SolidBrush(0x00445566, 1);
    RealizedBrush hatchedNoHeight = SolidBrush(0x00445566, 2);
    hatchedNoHeight.Width = 8;
    RealizedBrush* brushes[] = {&hollow, &hatchedNoHeight, withoutBits.Record()};
    for (RealizedBrush* brush : brushes) {
        TestBand band(16, 4);
        BlitScene scene = Scene(0, 0, 4, 2, 0xF0);
        scene.Brush = brush;
        RecordingRoutine routine;
        ASSERT_EQ(Blit(band, scene, routine), 0u);
        EXPECT_FALSE(routine.Requests[0].PatternRows);
        EXPECT_EQ(routine.Requests[0].PatternColor, uint32_t{brush->Color} & 0xFFFFFF);
        EXPECT_EQ(band.At(3, 1, 0), uint8_t(brush->Color));
        EXPECT_EQ(band.At(3, 1, 2), uint8_t(brush->Color >> 16));
    }
}

// A 1-bit pattern brush: 8 x 4 source, enlarged 2 x 2 into a 16 x 8 pattern.
class MonoBrush {
public:
    explicit MonoBrush(uint32_t fore, uint32_t back)
        : Mono(kMonoPatternHeaderSize + 4 * 1), Pattern(16 * 8 * 3, 0) {
        auto* mono = reinterpret_cast<MonoPattern*>(Mono.data());
        mono->ForeColor = fore;
        mono->BackColor = back;
        mono->Width = 8;
        mono->Height = 4;
        mono->WidthBytes = 1;
        const uint8_t rows[4] = {0xF0, 0x3C, 0x81, 0x55};
        std::memcpy(Mono.data() + kMonoPatternHeaderSize, rows, 4);
        Brush.Style = 3;
        Brush.Width = 16;
        Brush.Height = 8;
        Brush.Bits = Pattern.data();
        Brush.MonoSource = mono;
    }
    RealizedBrush Brush{};
    std::vector<uint8_t> Mono;
    std::vector<uint8_t> Pattern;
    MonoPattern* Source() { return reinterpret_cast<MonoPattern*>(Mono.data()); }
    // The pattern as it must look after an expansion with these colours.
    std::vector<uint8_t> Expanded(uint32_t fore, uint32_t back) const {
        std::vector<uint8_t> out(16 * 8 * 3);
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < 16; ++x) {
                bool set = (Mono[kMonoPatternHeaderSize + y / 2] >> (7 - x / 2)) & 1;
                for (uint32_t k = 0; k < 3; ++k)
                    out[(y * 3 + k) * 16 + x] = uint8_t((set ? fore : back) >> (8 * k));
            }
        return out;
    }
};

TEST(BitBltDriver, OneBitPatternBrushIsReExpandedOnlyWhenColoursChange) {
    const uint32_t firstText = 0x00010203, firstBack = 0x00A0B0C0;
    MonoBrush brush(firstText, firstBack);
    std::vector<uint8_t> first = brush.Expanded(firstText, firstBack);
    std::copy(first.begin(), first.end(), brush.Pattern.begin()); // Bits points at it
    TestBand band(32, 8);
    auto transfer = [&](uint32_t text, uint32_t back) {
        BlitScene scene = Scene(0, 0, 16, 8, 0xF0);
        scene.Brush = &brush.Brush;
        scene.Colors = PhysicalColours(text, back);
        RecordingRoutine routine;
        return Blit(band, scene, routine);
    };
    const uint32_t newText = 0x00F1F2F3, newBack = 0x00090807;
    // New colours: expanded with them, and remembered.
    ASSERT_EQ(transfer(newText, newBack), 0u);
    EXPECT_EQ(brush.Pattern, brush.Expanded(newText, newBack));
    EXPECT_EQ(uint32_t{brush.Source()->ForeColor}, newText);
    EXPECT_EQ(uint32_t{brush.Source()->BackColor}, newBack);
    EXPECT_EQ(band.At(0, 0, 0), 0xF3); // row 0 starts with set bits
    // The same colours again: the pattern is not touched.
    std::fill(brush.Pattern.begin(), brush.Pattern.end(), 0x5A);
    ASSERT_EQ(transfer(newText, newBack), 0u);
    EXPECT_EQ(brush.Pattern, std::vector<uint8_t>(16 * 8 * 3, 0x5A));
    // The first colours: expanded again.
    ASSERT_EQ(transfer(firstText, firstBack), 0u);
    EXPECT_EQ(brush.Pattern, brush.Expanded(firstText, firstBack));
    EXPECT_EQ(uint32_t{brush.Source()->ForeColor}, firstText);
}

TEST(BitBltDriver, OneBitPatternBrushWithEmptySourceIsNotReExpanded) {
    MonoBrush brush(1, 2);
    brush.Source()->Width = 0;
    std::fill(brush.Pattern.begin(), brush.Pattern.end(), 0x5A);
    TestBand band(32, 8);
    BlitScene scene = Scene(0, 0, 16, 8, 0xF0);
    scene.Brush = &brush.Brush;
    RecordingRoutine routine;
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    EXPECT_EQ(brush.Pattern, std::vector<uint8_t>(16 * 8 * 3, 0x5A));
    EXPECT_EQ(uint32_t{brush.Source()->ForeColor}, 1u);
    EXPECT_EQ(band.At(5, 5, 1), 0x5A); // drawn with the pattern as it is
}

// ---------------------------------------------------------------------------------------
// Locking and clean-up.

TEST(BitBltDriver, RoutineIsPreparedRunAndDiscardedUnderTheLock) {
    TestBand band(16, 6);
    SourceImage source(8, 3, 1, 8, 3);
    BlitScene scene = Scene(0, 0, 8, 3, 0xCC);
    scene.Source = source.Header();
    RecordingRoutine routine;
    std::vector<std::string> unlocked;
    std::vector<size_t> liveBlocks;
    routine.OnEvent = [&](const std::string& event) {
        if (!TransferLockHeld()) unlocked.push_back(event);
        liveBlocks.push_back(band.Allocator().Live());
    };
    ASSERT_EQ(Blit(band, scene, routine), 0u);
    EXPECT_EQ(routine.Events,
              (std::vector<std::string>{"prepare", "run", "run", "run", "discard"}));
    EXPECT_TRUE(unlocked.empty());
    // The conversion row lives until after the routine is gone.
    EXPECT_EQ(liveBlocks, (std::vector<size_t>{1, 1, 1, 1, 1}));
    EXPECT_EQ(band.Allocator().Live(), 0u);
    EXPECT_EQ(band.Allocator().BadFrees(), 0u);
}

struct FailureCase {
    const char* Name;
    std::function<void(TestBand&, RecordingRoutine&)> Inject;
    uint32_t Result;
    bool Drawn;
};

TEST(BitBltDriver, FailuresAnswerOneAndCleanUp) {
    const FailureCase cases[] = {
        {"conversion row refused",
         [](TestBand& band, RecordingRoutine&) { band.Allocator().FailLine(2095); }, 1, false},
        {"conversion row with a positive answer",
         [](TestBand& band, RecordingRoutine&) { band.Allocator().SucceedWith(7); }, 0, true},
        {"lock refused", [](TestBand&, RecordingRoutine&) { CSInjectFault(CSFaultAquire, 0); }, 1,
         false},
        {"routine not created",
         [](TestBand&, RecordingRoutine& routine) { routine.FailPrepare = true; }, 1, false},
        {"lock release refused",
         [](TestBand&, RecordingRoutine&) { CSInjectFault(CSFaultRelease, 0); }, 1, true},
    };
    for (const FailureCase& c : cases) {
        TestBand band(16, 6, 0x40);
        SourceImage source(8, 4, 1, 8, 3);
        BlitScene scene = Scene(0, 0, 8, 3, 0xFF);
        scene.Source = source.Header();
        RecordingRoutine routine;
        c.Inject(band, routine);
        EXPECT_EQ(Blit(band, scene, routine), c.Result) << c.Name;
        CSInjectFault(CSFaultAquire, -1);
        CSInjectFault(CSFaultRelease, -1);
        EXPECT_EQ(band.At(7, 2, 1), c.Drawn ? 255 : 0x40) << c.Name;
        EXPECT_EQ(band.Allocator().Live(), 0u) << c.Name;
        EXPECT_EQ(band.Allocator().BadFrees(), 0u) << c.Name;
        // The lock is free again: the next transfer goes through.
        TestBand fresh(16, 6);
        RecordingRoutine next;
        EXPECT_EQ(Blit(fresh, scene, next), 0u) << c.Name;
    }
}

} // namespace
} // namespace marltest
