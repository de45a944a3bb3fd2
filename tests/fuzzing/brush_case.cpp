// RPRealizeBrush with every record the driver passes (device, logical brush, output record,
// pattern header directly or behind a global-memory handle) readable or not, and allocations
// that fail. A realized brush is compared with the reference expansion, drawn over a band,
// and released; afterwards nothing may be left allocated or locked.
#include "fuzzing/fuzz_band.h"
#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_input.h"
#include "fuzzing/fuzz_report.h"
#include "marlrend/marlrend.h"
#include "platform/platform.h"
#include "support/edition.h"
#include "support/global_blocks.h"
#include "support/pattern_reference.h"

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace marlfuzz {
namespace {

constexpr uint32_t kRealizedSize = sizeof(RealizedBrush);
constexpr uint16_t kStyles[] = {0, 1, 2, 3, 2, 3, 3, 5};
constexpr uint32_t kFactors[] = {1, 2, 4, 1, 2, 3, 8, 0};

// Where a record pointer points: a whole record, nothing, an unreadable page, or a record
// whose last bytes lie on an unreadable page.
enum class Placement { Whole, Null, Unreadable, Cut };

Placement ReadPlacement(FuzzInput& input) {
    const uint8_t pick = input.Byte();
    if (pick < 208) return Placement::Whole;
    if (pick < 224) return Placement::Null;
    if (pick < 240) return Placement::Unreadable;
    return Placement::Cut;
}

// Readable memory ending at a guard page; pointers into it for each placement.
class PlacedRecord {
public:
    PlacedRecord(size_t recordSize, Placement placement)
        : Memory(recordSize), Size(recordSize), Where(placement) {}
    void* Address() {
        switch (Where) {
        case Placement::Whole: return Memory.data();
        case Placement::Null: return nullptr;
        case Placement::Unreadable: return const_cast<uint8_t*>(Memory.end());
        case Placement::Cut: return Memory.data() + Size / 2;
        }
        return nullptr;
    }
    uint8_t* Bytes() { return Memory.data(); }
    bool Whole() const { return Where == Placement::Whole; }

private:
    marltest::GuardedBuffer Memory;
    size_t Size;
    Placement Where;
};

// The pattern bitmap of a style-3 brush: its header in guarded memory, its bits in guarded
// memory that may be shorter than the header claims.
struct PatternBitmap {
    GuardedRecord<BitmapHeader> Header;
    std::unique_ptr<marltest::GuardedBuffer> Bits;
    HGLOBAL Handle = nullptr;
    bool BitsWhole = false;

    explicit PatternBitmap(FuzzInput& input) {
        BitmapHeader& header = *Header;
        header.Planes = input.Usually(kPlaneChoices);
        header.BitsPixel = input.Usually(kDepthChoices);
        header.Width = static_cast<uint16_t>(input.Byte() >= 240 ? input.U16() : input.Below(40));
        header.Height = static_cast<uint16_t>(input.Byte() >= 240 ? input.U16() : input.Below(40));
        header.WidthBytes = MarlPlaneWidthBytes(header.Width, header.BitsPixel);
        if (input.Byte() >= 224) header.WidthBytes = input.U16();
        const uint64_t claimed = uint64_t{header.Planes} * header.WidthBytes * header.Height;
        uint64_t actual = claimed;
        if (input.Byte() >= 224 || claimed > (1u << 20)) actual = input.Below(4096);
        BitsWhole = actual >= claimed;
        Bits = std::make_unique<marltest::GuardedBuffer>(static_cast<size_t>(actual));
        const uint32_t seed = input.U32();
        for (size_t i = 0; i < actual; ++i)
            Bits->data()[i] = static_cast<uint8_t>((seed >> (i % 24)) * 131 + i * 7);
        header.Bits = input.Byte() >= 248 ? nullptr : Bits->data();
    }
    ~PatternBitmap() {
        if (Handle) GlobalFree(Handle);
    }

    // A global-memory block holding a copy of the header, as a driver's handle would.
    uint16_t MakeHandle() {
        Handle = GlobalAlloc(GMEM_MOVEABLE, sizeof(BitmapHeader));
        if (Handle == nullptr) return 0;
        void* block = GlobalLock(Handle);
        std::memcpy(block, Header.get(), sizeof(BitmapHeader));
        GlobalUnlock(Handle);
        return static_cast<uint16_t>(HandleValue(Handle));
    }
    // True when the handle carries no lock any more.
    bool HandleUnlocked() {
        if (Handle == nullptr) return true;
        GlobalLock(Handle);
        return GlobalUnlock(Handle) == 0;
    }

    static constexpr uint8_t kPlaneChoices[] = {1, 3, 1, 3, 2};
    static constexpr uint8_t kDepthChoices[] = {1, 8, 1, 8, 4, 24};
};

void FillLogicalBrush(FuzzInput& input, LogicalBrush& brush, PatternBitmap& pattern,
                      const uint8_t* unreadable) {
    brush.Style = input.Usually(kStyles);
    brush.Color = input.U32();
    brush.Hatch = static_cast<uint16_t>(input.Below(8));
    if (brush.Style != 3) return;
    // No arbitrary address: one that happens to be mapped would be read as a header, which is
    // the driver's promise to keep, and under AddressSanitizer may even be its shadow memory.
    switch (input.Below(3)) {
    case 0: brush.Color = marltest::AddressField(pattern.Header.get()); break;
    case 1: brush.Color = input.Below(0x10000); break;
    default: brush.Color = marltest::AddressField(unreadable); break;
    }
    // Handles this process never hands out (slots are numbered from 1 up) stand for stale ones.
    switch (input.Below(3)) {
    case 0: brush.Hatch = pattern.MakeHandle(); break;
    case 1: brush.Hatch = 0; break;
    default: brush.Hatch = static_cast<uint16_t>(0xF000 | input.U16()); break;
    }
}

bool BitAt(const uint8_t* row, int32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

// The pattern a realization must produce, for the brushes whose meaning is fixed: hatches
// at the five sizes, and pattern bitmaps of the four accepted formats that could be read.
std::optional<std::vector<uint8_t>> ExpectedPattern(const LogicalBrush& brush,
                                                    const BitmapHeader* header, int32_t xFactor,
                                                    int32_t yFactor, uint32_t backColor) {
    using marltest::Rgb;
    const Rgb fore = marltest::ColorRgb(brush.Color), back = marltest::ColorRgb(backColor);
    if (brush.Style == 2) {
        const int32_t columns = xFactor * 8, rows = yFactor * 8;
        return marltest::ReferencePattern(columns, rows, 1, 1, [&](int32_t r, int32_t c) {
            return marltest::HatchRuleBit(brush.Hatch, r, c, rows, columns) ? fore : back;
        });
    }
    if (header == nullptr) return std::nullopt;
    const uint8_t* bits = header->Bits;
    const int32_t stride = header->WidthBytes;
    const int32_t planes = header->Planes;
    const bool mono = header->BitsPixel == 1;
    return marltest::ReferencePattern(
        header->Width, header->Height, xFactor, yFactor, [&](int32_t r, int32_t c) {
            const uint8_t* row = bits + size_t(r) * planes * stride;
            Rgb samples{};
            if (mono && planes == 1) return BitAt(row, c) ? fore : back;
            for (int32_t k = 0; k < 3; ++k) {
                const uint8_t* plane = row + (planes == 3 ? k * stride : 0);
                samples[k] = mono ? (BitAt(plane, c) ? 255 : 0) : plane[c];
            }
            return samples;
        });
}

void CheckRealized(const RealizedBrush& out, FuzzAllocator& allocator, CaseReport& report) {
    size_t held = (out.Bits != nullptr) + (out.MonoSource != nullptr);
    report.Expect(allocator.Live() == held, "the brush holds blocks it does not record");
    if (out.Width > 0 && out.Height > 0) {
        const size_t bytes = size_t(out.Width) * out.Height * 3;
        report.Expect(out.Bits != nullptr && allocator.SizeOf(out.Bits) >= bytes,
                      "pattern bits missing or smaller than Width x Height x 3");
    } else {
        report.Expect(out.Bits == nullptr && out.MonoSource == nullptr,
                      "a brush without pattern holds pattern memory");
    }
    if (out.MonoSource != nullptr) {
        const MonoPattern& mono = *out.MonoSource;
        const size_t bytes = kMonoPatternHeaderSize + size_t(mono.Height) * mono.WidthBytes;
        report.Expect(allocator.SizeOf(out.MonoSource) >= bytes, "MonoPattern block too small");
    }
}

// Paints the whole band with the brush, so that every pattern byte the fill reads is read.
void DrawWith(RealizedBrush* brush, CaseReport& report) {
    FuzzBand band(BandShape{40, 6, 40, 3, 8}, 7);
    ScanSpan spans[6] = {};
    for (int16_t y = 0; y < 6; ++y)
        spans[y] = ScanSpan{y, 0, 40, {}};
    RPFillScanRows(band.Device(), 0, 6, spans, brush, 0, 0, 0xF0);
    report.ExpectNoWritableCode("RPFillScanRows with a realized brush");
    report.Expect(band.CheckUndrawableUntouched().empty(), "fill with a realized brush strayed");
}

} // namespace

std::string RunBrushCase(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    CaseReport report;
    const uint32_t liveHandles = marltest::LiveGlobalBlocks();
    FuzzBand band(BandShape{8, 2, 8, 3, 8}, 1);
    FuzzAllocator& allocator = band.Allocator();
    if (input.Byte() >= 192) allocator.FailCalls(input.Byte());

    const Placement devicePlace = ReadPlacement(input);
    PlacedRecord deviceMemory(sizeof(RenderDevice), devicePlace);
    std::memcpy(deviceMemory.Bytes(), band.Device(), sizeof(RenderDevice));
    if (input.Byte() >= 240)
        reinterpret_cast<RenderDevice*>(deviceMemory.Bytes())->Allocator = nullptr;
    auto* device = static_cast<RenderDevice*>(deviceMemory.Address());
    const bool allocatorGiven =
        reinterpret_cast<RenderDevice*>(deviceMemory.Bytes())->Allocator != nullptr;

    PatternBitmap pattern(input);
    PlacedRecord inMemory(sizeof(LogicalBrush), ReadPlacement(input));
    LogicalBrush logical{};
    FillLogicalBrush(input, logical, pattern, pattern.Bits->end());
    std::memcpy(inMemory.Bytes(), &logical, sizeof logical);
    PlacedRecord outMemory(kRealizedSize, ReadPlacement(input));
    auto* out = static_cast<RealizedBrush*>(outMemory.Address());

    const uint32_t origin = input.U32();
    const uint32_t xFactor = input.Usually(kFactors), yFactor = input.Usually(kFactors);
    const uint32_t backColor = input.U32();
    const uint32_t result = RPRealizeBrush(device, inMemory.Address(), out, origin, xFactor,
                                           yFactor, input.U32(), backColor);
    report.ExpectNoWritableCode("RPRealizeBrush");
    report.Expect(result == 0 || result == kRealizedSize,
                  "RPRealizeBrush answered " + std::to_string(result));
    report.Expect(pattern.HandleUnlocked(), "the pattern handle was left locked");

    const bool realized = result == kRealizedSize && out != nullptr && outMemory.Whole();
    if (result == 0 || out == nullptr)
        report.Expect(allocator.Live() == 0, "a refused brush holds memory");
    if (realized && devicePlace == Placement::Whole && allocatorGiven) {
        CheckRealized(*out, allocator, report);
        const BitmapHeader* header = nullptr;
        if (logical.Style == 3 &&
            logical.Color == reinterpret_cast<uintptr_t>(pattern.Header.get()))
            header = pattern.Header.get();
        if (out->Bits != nullptr && (logical.Style == 2 || header != nullptr) && inMemory.Whole()) {
            std::optional<std::vector<uint8_t>> expected =
                ExpectedPattern(logical, header, xFactor & 0xFF, yFactor & 0xFF, backColor);
            report.Expect(expected && expected->size() == size_t(out->Width) * out->Height * 3 &&
                              std::memcmp(expected->data(), out->Bits, expected->size()) == 0,
                          "realized pattern differs from the reference expansion");
        }
        DrawWith(out, report);
        report.Expect(RPRealizeBrush(band.Device(), out, nullptr, 0, 0, 0, 0, 0) == 0,
                      "release did not answer 0");
        RPRealizeBrush(band.Device(), out, nullptr, 0, 0, 0, 0, 0); // a second release is harmless
        report.Expect(out->Bits == nullptr && out->MonoSource == nullptr,
                      "a released brush still points at its memory");
    }
    report.Expect(allocator.Live() == 0, "blocks left allocated after release");
    report.Expect(allocator.BadFrees() == 0, "a block was freed that was not live");
    if (pattern.Handle) {
        GlobalFree(pattern.Handle);
        pattern.Handle = nullptr;
    }
    report.Expect(marltest::LiveGlobalBlocks() == liveHandles, "global memory left allocated");
    return report.Text();
}

} // namespace marlfuzz
