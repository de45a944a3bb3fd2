// What a driver can hand RPBitBlt that must neither crash it nor make it read or write
// outside the band and the source: unreadable records, headers that do not describe their
// memory, sources the routines cannot read, short rows and short palettes. Each case runs
// through the driver with the recording routine and through the exported table; both must
// agree on the result and on every byte of the band.
#include "core/core_services.h"
#include "render24/blit/transfer/bit_blt.h"
#include "support/blit_harness.h"
#include "support/heap_faults.h"
#include "support/library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace marltest {
namespace {

constexpr uint32_t kText = 0x0010E0A0, kBack = 0x00F02040;
constexpr uint8_t kFill = 0x4B;

// A copy of a record whose last byte lies on an unreadable page.
class TruncatedRecord {
public:
    template <typename Record>
    explicit TruncatedRecord(const Record& record)
        : Memory(std::make_unique<GuardedBuffer>(sizeof(Record) - 1)) {
        std::memcpy(Memory->data(), &record, sizeof(Record) - 1);
    }
    template <typename Record> Record* As() { return reinterpret_cast<Record*>(Memory->data()); }

private:
    std::unique_ptr<GuardedBuffer> Memory;
};

// Everything one case needs, kept alive for both runs.
struct SafetyWorld {
    std::unique_ptr<TestBand> Band = std::make_unique<TestBand>(24, 6, kFill);
    std::vector<std::unique_ptr<SourceImage>> Sources;
    std::vector<std::unique_ptr<PaletteImage>> Palettes;
    std::vector<std::unique_ptr<TruncatedRecord>> Records;
    std::vector<std::unique_ptr<PatternBrush>> Brushes;
    RenderDevice* Device = nullptr; // the band's own unless a case replaces it
    BitmapHeader* Destination = nullptr;
    DrawColors* Colors = nullptr;
    BitmapHeader OtherHeader{}; // a destination header apart from the surface's
    BlitScene Scene;

    SourceImage* AddSource(uint16_t w, uint16_t h, uint8_t planes, uint8_t bits,
                           uint16_t widthBytes = 0) {
        Sources.push_back(std::make_unique<SourceImage>(w, h, planes, bits, 11, widthBytes));
        return Sources.back().get();
    }
    template <typename Record> Record* Truncate(const Record& record) {
        Records.push_back(std::make_unique<TruncatedRecord>(record));
        return Records.back()->As<Record>();
    }
};

struct SafetyCase {
    const char* Name;
    uint32_t Result;
    std::function<void(SafetyWorld&)> Setup;
    // Pixels of row 0 the transfer must change, from column 0 on (0: none are checked).
    uint32_t DrawnColumns = 0;
};

uint32_t RunCase(const SafetyCase& c, bool throughTable, std::vector<uint8_t>& bytes,
                 uint32_t& widthBytes) {
    SafetyWorld world;
    world.Scene.X = 0;
    world.Scene.Y = 0;
    world.Scene.Width = 20;
    world.Scene.Height = 3;
    world.Scene.Rop = 0xFF;
    world.Scene.Colors = PhysicalColours(kText, kBack);
    world.Device = world.Band->Device();
    world.Destination = world.Band->Header();
    world.Colors = &world.Scene.Colors;
    c.Setup(world);
    BlitScene& s = world.Scene;
    uint32_t result;
    if (throughTable) {
        result =
            Table().BitBlt(world.Device, world.Destination, s.X, s.Y, s.Width, s.Height, s.Source,
                           s.Rop, s.Brush, world.Colors, 0, s.Palette, s.MonoExpand) &
            0xFFFF;
    } else {
        marl::BlitCall call = CallOf(*world.Band, s);
        call.Device = world.Device;
        call.Destination = world.Destination;
        call.Colors = world.Colors;
        RecordingRoutine routine;
        result = marl::BitBlt(call, routine);
    }
    EXPECT_EQ(world.Band->Allocator().Live(), 0u) << c.Name;
    bytes = BandBytes(*world.Band);
    widthBytes = world.Band->Header()->WidthBytes;
    return result;
}

std::vector<SafetyCase> Cases() {
    std::vector<SafetyCase> cases = {
        {"unreadable device", 1, [](SafetyWorld& w) { w.Device = w.Truncate(*w.Band->Device()); }},
        {"unreadable destination header", 1,
         [](SafetyWorld& w) { w.Destination = w.Truncate(*w.Band->Header()); }},
        {"unreadable colours", 1, [](SafetyWorld& w) { w.Colors = w.Truncate(w.Scene.Colors); }},
        {"unreadable source header", 1,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.Truncate(*w.AddSource(20, 3, 3, 8)->Header());
         }},
        {"unreadable brush", 1,
         [](SafetyWorld& w) {
             RealizedBrush brush = SolidBrush(0x123456);
             w.Scene.Rop = 0xF0;
             w.Scene.Brush = w.Truncate(brush);
         }},
        {"device without surface", 1, [](SafetyWorld& w) { w.Band->Device()->Surface = nullptr; }},
        {"surface without header", 1, [](SafetyWorld& w) { w.Band->Surface()->Header = nullptr; }},
        {"surface of one plane", 1, [](SafetyWorld& w) { w.Band->Header()->Planes = 1; }},
        {"destination rows spaced unlike the surface's", 1,
         [](SafetyWorld& w) {
             w.OtherHeader = *w.Band->Header();
             w.OtherHeader.WidthBytes += 4;
             w.Destination = &w.OtherHeader;
         }},
        {"surface header taller than its memory", 1,
         [](SafetyWorld& w) {
             w.Band->Header()->Height = 60;
             w.Scene.Y = 4;
         }},
        {"destination header wider than the surface", 0,
         [](SafetyWorld& w) {
             w.OtherHeader = *w.Band->Header();
             w.OtherHeader.Width = 400;
             w.Destination = &w.OtherHeader;
             w.Scene.Width = 400;
             w.Band->Header()->Width = 6; // the surface itself is 6 wide
         },
         6},
        {"source-reading code without source", 1, [](SafetyWorld& w) { w.Scene.Rop = 0x66; }},
        {"source of 16 bits", 1,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0x66;
             w.Scene.Source = w.AddSource(20, 3, 2, 8)->Header();
         }},
        {"source of 16 bits under a code that does not read it", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xF0;
             w.Scene.Source = w.AddSource(20, 3, 2, 8)->Header();
         },
         20},
        {"one plane of 24 bits", 1,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 3, 1, 24)->Header();
         }},
        {"source without bits", 1,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xF0;
             w.Scene.Source = w.AddSource(20, 3, 3, 8)->Header();
             w.Scene.Source->Bits = nullptr;
         }},
        {"source header taller than its memory", 1,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 3, 3, 8)->Header();
             w.Scene.Source->Height = 40;
             w.Scene.Height = 40;
         }},
        {"1-bit row of 32 pixels from bit 3", 0,
         [](SafetyWorld& w) {
             w.Band = std::make_unique<TestBand>(40, 4, kFill);
             w.Device = w.Band->Device();
             w.Destination = w.Band->Header();
             w.Scene.Rop = 0xCC;
             w.Scene.Width = 40;
             w.Scene.Source = w.AddSource(32, 1, 1, 1)->Header(); // 4 bytes, flush
             w.Scene.MonoExpand = 3;
         },
         29},
        {"8-bit row shorter than its width", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 1, 1, 8, 8)->Header();
         },
         8},
        {"24-bit row shorter than its width", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 1, 3, 8, 8)->Header();
         },
         8},
        {"4-bit row shorter than its width", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 1, 1, 4, 4)->Header();
         },
         8},
        {"8-bit source with a 16-entry palette", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             SourceImage* source = w.AddSource(20, 2, 1, 8);
             for (uint32_t i = 0; i < 20; ++i)
                 source->Row(0)[i] = uint8_t(250 - i);
             w.Scene.Source = source->Header();
             w.Palettes.push_back(std::make_unique<PaletteImage>(16, 3));
             w.Scene.Palette = w.Palettes.back()->Data();
         },
         20},
        {"4-bit source without palette", 0,
         [](SafetyWorld& w) {
             w.Scene.Rop = 0xCC;
             w.Scene.Source = w.AddSource(20, 2, 1, 4)->Header();
         }},
        {"pattern shorter than the brush says", 1,
         [](SafetyWorld& w) {
             w.Brushes.push_back(std::make_unique<PatternBrush>(4, 4, 0, 0, 3));
             w.Scene.Rop = 0xF0;
             w.Scene.Brush = w.Brushes.back()->Record();
             w.Scene.Brush->Height = 9;
         }},
        {"pattern of negative width", 0,
         [](SafetyWorld& w) {
             w.Brushes.push_back(std::make_unique<PatternBrush>(4, 4, 0, 0, 3));
             w.Scene.Rop = 0xF0;
             w.Scene.Brush = w.Brushes.back()->Record();
             w.Scene.Brush->Width = -4;
         },
         20},
    };
    return cases;
}

TEST(BitBltSafety, DriverAndTableAgreeAndStayInBounds) {
    for (const SafetyCase& c : Cases()) {
        std::vector<uint8_t> recorded, machine;
        uint32_t widthBytes = 0;
        EXPECT_EQ(RunCase(c, false, recorded, widthBytes), c.Result) << c.Name;
        EXPECT_EQ(RunCase(c, true, machine, widthBytes), c.Result) << c.Name;
        EXPECT_EQ(machine, recorded) << c.Name;
        bool untouched =
            std::all_of(recorded.begin(), recorded.end(), [](uint8_t b) { return b == kFill; });
        if (c.Result != 0) {
            EXPECT_TRUE(untouched) << c.Name;
        }
        if (c.DrawnColumns != 0) {
            // Row 0, plane 0: nothing changed beyond the first DrawnColumns samples.
            uint32_t changed = 0;
            for (uint32_t i = 0; i < widthBytes; ++i)
                if (recorded[i] != kFill) changed = i + 1;
            EXPECT_EQ(changed, c.DrawnColumns) << c.Name;
        }
    }
}

// A transfer takes nothing from the library's heap, whatever it draws: text, pattern brushes,
// generated and prebuilt routines. The first transfers may map the code areas and size the
// pattern rows' memory once; the lock's own object is counted apart. (A converted source's
// row comes from the driver's allocator, whose log would count here, so none is drawn.)
TEST(BitBltSafety, TransfersTakeNothingFromTheHeap) {
    TestBand band(64, 30, kFill);
    SourceImage glyph(16, 24, 1, 1, 3), planes(20, 24, 3, 8, 4);
    PatternBrush pattern(8, 8, 1, 2, 6);
    const DrawColors colours = PhysicalColours(kText, kBack);
    struct Case {
        uint8_t Rop;
        BitmapHeader* Source;
        uint16_t MonoExpand;
    } cases[] = {{0xB8, glyph.Header(), 0},  {0xE2, glyph.Header(), 0}, {0xCC, planes.Header(), 0},
                 {0x01, planes.Header(), 0}, {0x68, glyph.Header(), 0}, {0xF0, nullptr, 0},
                 {0x5A, nullptr, 0}};
    auto transfer = [&](const Case& c) {
        BlitScene scene;
        scene.X = 3;
        scene.Y = 2;
        scene.Width = 16;
        scene.Height = 24;
        scene.Rop = c.Rop;
        scene.Source = c.Source;
        scene.Brush = pattern.Record();
        scene.Colors = colours;
        scene.MonoExpand = c.MonoExpand;
        return CallBitBlt(&RPBitBlt, band, scene);
    };
    for (const Case& c : cases)
        ASSERT_EQ(transfer(c), 0u) << int(c.Rop);
    size_t before = HeapAllocations();
    {
        CSMutex lock(marl::kTransferLockName);
        ASSERT_EQ(lock.Aquire(), 0);
        ASSERT_EQ(lock.Release(), 0);
    }
    const size_t perLock = HeapAllocations() - before;
    before = HeapAllocations();
    const int rounds = 3;
    for (int round = 0; round < rounds; ++round) {
        for (const Case& c : cases)
            ASSERT_EQ(transfer(c), 0u) << int(c.Rop);
    }
    EXPECT_EQ(HeapAllocations() - before, rounds * std::size(cases) * perLock);
    EXPECT_EQ(band.Allocator().Live(), 0u);
}

} // namespace
} // namespace marltest
