// RPBitBlt with random rectangles, sources of every depth (whole, cut short, or odd),
// palettes, colour records, brushes (solid, patterned, realized 1-bit ones that must be
// re-coloured, unreadable ones) and failing allocations. Every call must leave the band's
// undrawable bytes, the code protection, the lock and the allocator as they were; a call
// within the contract must also draw what the reference transfer draws.
#include "core/core_services.h"
#include "fuzzing/fuzz_band.h"
#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_input.h"
#include "fuzzing/fuzz_report.h"
#include "marlrend/marlrend.h"
#include "support/blit_reference.h"
#include "support/edition.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace marlfuzz {
namespace {

constexpr uint8_t kRops[] = {0xCC, 0xF0, 0x66, 0x88, 0xB8, 0xE2, 0xEE, 0x5A, 0x00, 0xFF,
                             0x55, 0x0A, 0x0F, 0x5F, 0xA0, 0xFA, 0x01, 0x17, 0x7E, 0x99};
constexpr uint32_t kColours[] = {0x000000, 0xFFFFFF, 0x123456, 0x02000000, 0xFF808080};

bool Fill(uint8_t* bytes, size_t count, uint32_t seed) {
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>((seed + i) * 2654435761u >> 13);
    return true;
}

// A source bitmap of some depth whose bits may be shorter than its header claims.
struct FuzzSource {
    GuardedRecord<BitmapHeader> Header;
    std::unique_ptr<marltest::GuardedBuffer> Bits;
    bool Whole = false; // bits as long as claimed, rows wide enough for Width

    explicit FuzzSource(FuzzInput& input) {
        struct Format {
            uint8_t Planes, BitsPixel;
        };
        static constexpr Format kFormats[] = {{3, 8}, {1, 1}, {1, 8}, {1, 4}, {3, 8}, {1, 1}};
        Format format = input.OneOf(kFormats);
        if (input.Byte() >= 240) format = {static_cast<uint8_t>(input.Below(5)), input.Byte()};
        BitmapHeader& header = *Header;
        header.Planes = format.Planes;
        header.BitsPixel = format.BitsPixel;
        header.Width = static_cast<uint16_t>(input.Byte() >= 248 ? input.U16() : input.Below(70));
        header.Height = static_cast<uint16_t>(input.Byte() >= 248 ? input.U16() : input.Below(20));
        const uint16_t needed = MarlPlaneWidthBytes(header.Width, header.BitsPixel);
        header.WidthBytes =
            input.Byte() >= 232 ? static_cast<uint16_t>(input.Below(needed + 9u)) : needed;
        header.ScanSegment = static_cast<uint16_t>(input.Flag() ? input.U16() : 0);
        const uint64_t claimed = uint64_t{header.Planes} * header.WidthBytes * header.Height;
        uint64_t actual = claimed > (1u << 20) || input.Byte() >= 232 ? input.Below(2048) : claimed;
        Bits = std::make_unique<marltest::GuardedBuffer>(static_cast<size_t>(actual));
        Fill(Bits->data(), Bits->size(), input.U32());
        header.Bits = input.Byte() >= 250 ? nullptr : Bits->data();
        header.WidthPlanes = uint32_t{header.WidthBytes} * header.Height;
        const uint64_t rowBytes = (uint64_t{header.Width} * header.BitsPixel + 7) / 8;
        Whole = actual >= claimed && header.Bits != nullptr && header.WidthBytes >= rowBytes;
    }
};

// A brush of one of the kinds a transfer meets.
struct FuzzBrush {
    enum Kind { None, Solid, Pattern, Realized, Unreadable } Type = None;
    GuardedRecord<RealizedBrush> Record;
    std::unique_ptr<marltest::GuardedBuffer> Bits;
    std::unique_ptr<marltest::GuardedBuffer> MonoBits;

    FuzzBrush(FuzzInput& input, RenderDevice* device) {
        Type = static_cast<Kind>(input.Below(5));
        RealizedBrush& brush = *Record;
        if (Type == Solid) {
            brush.Style = static_cast<uint16_t>(input.Below(4));
            brush.Color = input.Usually(kColours);
        } else if (Type == Pattern) {
            brush.Style = 3;
            brush.Width = static_cast<int16_t>(1 + input.Below(24));
            brush.Height = static_cast<int16_t>(1 + input.Below(12));
            brush.OriginX = static_cast<int16_t>(input.U16());
            brush.OriginY = static_cast<int16_t>(input.U16());
            Bits =
                std::make_unique<marltest::GuardedBuffer>(size_t(brush.Width) * brush.Height * 3);
            Fill(Bits->data(), Bits->size(), input.U32());
            brush.Bits = Bits->data();
        } else if (Type == Realized) {
            Realize(input, device);
        }
    }

    // A 1-bit pattern brush made by the library, so that it carries a MonoPattern.
    void Realize(FuzzInput& input, RenderDevice* device) {
        GuardedRecord<BitmapHeader> header;
        const uint16_t width = static_cast<uint16_t>(1 + input.Below(16));
        const uint16_t height = static_cast<uint16_t>(1 + input.Below(8));
        MonoBits = std::make_unique<marltest::GuardedBuffer>(size_t{height} * 4);
        Fill(MonoBits->data(), MonoBits->size(), input.U32());
        MarlDescribeBitmap(*header, width, height, 1, 1, MonoBits->data());
        LogicalBrush logical{3, marltest::AddressField(header.get()), 0};
        RPRealizeBrush(device, &logical, Record.get(), input.U32(), 1 + input.Below(3),
                       1 + input.Below(3), 0, input.Usually(kColours));
    }

    RealizedBrush* Get() {
        if (Type == None) return nullptr;
        if (Type == Unreadable)
            return reinterpret_cast<RealizedBrush*>(reinterpret_cast<uint8_t*>(Record.get()) + 8);
        return Record.get();
    }
    void Release(RenderDevice* device) {
        if (Type == Realized) RPRealizeBrush(device, Record.get(), nullptr, 0, 0, 0, 0, 0);
    }
};

struct FuzzPalette {
    std::unique_ptr<marltest::GuardedBuffer> Memory;
    uint32_t Entries = 0;
    const uint8_t* Address = nullptr;

    explicit FuzzPalette(FuzzInput& input) {
        static constexpr uint32_t kEntries[] = {0, 2, 16, 256, 2, 16, 256, 1, 5};
        Entries = input.OneOf(kEntries);
        Memory = std::make_unique<marltest::GuardedBuffer>(3 * size_t{Entries});
        Fill(Memory->data(), Memory->size(), input.U32());
        Address = Entries == 0 && input.Flag() ? nullptr : Memory->data();
        if (Entries == 0 && Address != nullptr) Address = Memory->end();
    }
};

// Within the contract, where the reference transfer says exactly what must be drawn.
bool Predictable(FuzzBand& band, const BitmapHeader* destination, const FuzzSource* source,
                 const FuzzBrush& brush, const FuzzPalette& palette, bool allocationsFail,
                 uint16_t monoExpand) {
    const BitmapHeader& drawn = *band.Header();
    if (destination != band.Header() || allocationsFail) return false;
    // A band without rows of pixels is refused as no surface at all.
    if (drawn.Planes != 3 || drawn.BitsPixel != 8 || drawn.WidthBytes == 0 ||
        drawn.WidthBytes < drawn.Width)
        return false;
    if (brush.Type == FuzzBrush::Realized || brush.Type == FuzzBrush::Unreadable) return false;
    if (source == nullptr) return true;
    const BitmapHeader& header = *source->Header;
    const uint32_t depth = uint32_t{header.Planes} * header.BitsPixel;
    if (!source->Whole || header.ScanSegment != 0) return false;
    if (depth == 24) return header.Planes == 3;
    if (depth == 4) return palette.Entries >= 16 || palette.Address == nullptr;
    if (depth == 8) return palette.Entries >= 256 || palette.Address == nullptr;
    // A 1-bit row expanded from bit position p holds 8 x WidthBytes - p pixels: the transfer
    // reads no bit past its row (the last row's would lie past the bitmap) and stops there.
    const uint32_t phase = monoExpand != 0 ? monoExpand & 7 : 0;
    return depth == 1 && uint32_t{header.Width} + phase <= 8u * header.WidthBytes;
}

// The request in words, for the report of a difference.
std::string Describe(const BitmapHeader& drawn, const marltest::BlitScene& scene,
                     const FuzzBrush& brush) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "band %ux%u stride %u; rect %u,%u %ux%u rop 0x%02X mono %u text %08X back "
                  "%08X palette %u; brush kind %d",
                  drawn.Width, drawn.Height, drawn.WidthBytes, scene.X, scene.Y, scene.Width,
                  scene.Height, scene.Rop, scene.MonoExpand, scene.Colors.TextColor,
                  scene.Colors.BackColor, scene.PaletteEntries, static_cast<int>(brush.Type));
    std::string words = text;
    if (scene.Source != nullptr) {
        const BitmapHeader& source = *scene.Source;
        std::snprintf(text, sizeof text, "; source %ux%u planes %u bits %u stride %u", source.Width,
                      source.Height, source.Planes, source.BitsPixel, source.WidthBytes);
        words += text;
    }
    return words;
}

uint32_t Coordinate(FuzzInput& input, uint32_t size) {
    if (input.Byte() >= 240) return input.U32();
    return input.Below(size + 6);
}

} // namespace

std::string RunBitBltCase(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    CaseReport report;
    FuzzBand band(ReadBandShape(input), input.U32());
    FuzzAllocator& allocator = band.Allocator();
    FuzzBrush brush(input, band.Device());
    const size_t brushBlocks = allocator.Live();
    const bool allocationsFail = input.Byte() >= 224;
    if (allocationsFail) allocator.FailCalls(input.U32());

    GuardedRecord<BitmapHeader> described;
    *described = *band.Header();
    BitmapHeader* destination = band.Header();
    if (input.Byte() >= 232) {
        described->Width = input.U16();
        described->Height = input.U16();
        destination = described.get();
    }
    std::unique_ptr<FuzzSource> source;
    if (input.Below(4) != 0) source = std::make_unique<FuzzSource>(input);
    FuzzPalette palette(input);
    GuardedRecord<DrawColors> colors;
    colors->TextColor = input.Usually(kColours);
    colors->BackColor = input.Usually(kColours);
    colors->LogicalTextColor = input.U32();
    colors->LogicalBackColor = input.U32();

    const BitmapHeader& drawn = *band.Header();
    marltest::BlitScene scene;
    const uint32_t x = Coordinate(input, drawn.Width), y = Coordinate(input, drawn.Height);
    const uint32_t width = Coordinate(input, drawn.Width), height = Coordinate(input, drawn.Height);
    scene.X = static_cast<uint16_t>(x);
    scene.Y = static_cast<uint16_t>(y);
    scene.Width = static_cast<uint16_t>(width);
    scene.Height = static_cast<uint16_t>(height);
    scene.Source = source ? source->Header.get() : nullptr;
    scene.Rop = input.Usually(kRops);
    scene.Brush = brush.Get();
    scene.Colors = *colors;
    scene.Palette = palette.Address;
    scene.PaletteEntries = palette.Entries;
    const uint32_t monoExpand = input.Flag() ? input.Below(9) : input.U32();
    scene.MonoExpand = static_cast<uint16_t>(monoExpand);

    const bool predictable = Predictable(band, destination, source.get(), brush, palette,
                                         allocationsFail, scene.MonoExpand);
    std::vector<uint8_t> expected = band.Before();
    marltest::BlitScene reference = scene;
    if (source) reference.Source = source->Header.get();
    uint32_t expectedResult = 0;
    if (predictable) {
        // The reference reads the header as the transfer leaves it: Attach normalises its
        // segment fields, which changes nothing for an unsegmented source.
        expectedResult = marltest::ReferenceBitBlt(
            reference, {drawn.Width, drawn.Height, drawn.WidthBytes}, expected);
    }

    const uint32_t result = RPBitBlt(band.Device(), destination, x, y, width, height, scene.Source,
                                     scene.Rop | (input.U32() & 0xFFFFFF00u), scene.Brush,
                                     colors.get(), input.U32(), scene.Palette, monoExpand);
    report.ExpectNoWritableCode("RPBitBlt");
    report.Expect(result == 0 || result == 1, "RPBitBlt answered " + std::to_string(result));
    // The lock is the whole machine's, so another process may hold it for a moment; one left
    // held by this process would make this wait for ever, which the fuzzer reports as a hang.
    CSMutex lock(L"RopMC24");
    report.Expect(lock.Aquire() == 0 && lock.Release() == 0, "the transfer lock cannot be had");
    const std::string outside = band.CheckUndrawableUntouched();
    report.Expect(outside.empty(), "RPBitBlt: " + outside);
    report.Expect(allocator.Live() == brushBlocks, "RPBitBlt left a block allocated");
    if (predictable) {
        report.Expect(result == expectedResult,
                      "RPBitBlt answered " + std::to_string(result) + ", the reference " +
                          std::to_string(expectedResult) + ": " + Describe(drawn, scene, brush));
        if (result == expectedResult && result == 0)
            report.Expect(std::equal(expected.begin(), expected.end(), band.Bits()),
                          "RPBitBlt differs from the reference transfer: " +
                              Describe(drawn, scene, brush));
    }
    brush.Release(band.Device());
    report.Expect(allocator.Live() == 0, "blocks left allocated after the brush release");
    report.Expect(allocator.BadFrees() == 0, "a block was freed that was not live");
    return report.Text();
}

} // namespace marlfuzz
