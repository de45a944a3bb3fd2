// RPPixel, RPDrawLine and RPFillScanRows, a few calls on one band, with pixel and span
// results compared with a reference written from the meaning of the calls.
#include "fuzzing/fuzz_band.h"
#include "fuzzing/fuzz_cases.h"
#include "fuzzing/fuzz_input.h"
#include "fuzzing/fuzz_report.h"
#include "marlrend/marlrend.h"
#include "support/reference_contone.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace marlfuzz {
namespace {

constexpr uint32_t kCodes[] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F, 0xA0, 0xA5,
                               0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF, 0xCC, 0x01, 0x66};
constexpr int16_t kSmallSteps[] = {0, 1, -1, 2, -2, 1, 0, 1, -1, 3};

int16_t Coordinate(FuzzInput& input, int32_t size) {
    if (input.Byte() >= 240) return static_cast<int16_t>(input.U16());
    return static_cast<int16_t>(input.Between(-3, size + 3));
}

int32_t Wrap(int32_t value, int32_t size) {
    int32_t rest = value % size;
    return rest < 0 ? rest + size : rest;
}

// A brush as RPFillScanRows receives it: none, solid, a pattern in guarded memory, or a
// record whose pattern fields do not describe a usable pattern.
class SpanBrush {
public:
    explicit SpanBrush(FuzzInput& input) {
        Kind = input.Below(4);
        if (Kind == 0) return;
        RealizedBrush& brush = *Record;
        brush.Color = input.U32();
        brush.OriginX = static_cast<int16_t>(input.U16());
        brush.OriginY = static_cast<int16_t>(input.U16());
        if (Kind == 1) {
            brush.Width = static_cast<int16_t>(input.Below(2) * input.Below(9));
            brush.Height = brush.Width == 0 ? static_cast<int16_t>(input.Below(9)) : 0;
        } else if (Kind == 2) {
            // Now and then wider than 64, which spans combine between wraps, not in a tile.
            brush.Width = static_cast<int16_t>(1 + input.Below(input.Flag() ? 130 : 40));
            brush.Height = static_cast<int16_t>(1 + input.Below(40));
            size_t bytes = size_t(brush.Width) * brush.Height * 3;
            Bits = std::make_unique<marltest::GuardedBuffer>(bytes);
            for (size_t i = 0; i < bytes; ++i)
                Bits->data()[i] = static_cast<uint8_t>(i * 37 + 11);
            brush.Bits = Bits->data();
        } else {
            // Sizes a realization never leaves: negative, or positive with no pattern bits.
            brush.Width = static_cast<int16_t>(input.U16());
            brush.Height = static_cast<int16_t>(input.U16());
            if (brush.Width > 0 && brush.Height > 0) brush.Bits = nullptr;
        }
    }

    RealizedBrush* Get() { return Kind == 0 ? nullptr : Record.get(); }

    // The pattern sample of plane k at (x, y), as the fill defines it.
    uint8_t Sample(int32_t x, int32_t y, uint32_t k) {
        if (Kind == 0) return 0;
        const RealizedBrush& brush = *Record;
        const bool pattern = brush.Width > 0 && brush.Height > 0 && brush.Bits != nullptr;
        if (!pattern) return static_cast<uint8_t>(brush.Color >> (8 * k));
        const int32_t width = brush.Width;
        const int32_t row = Wrap(y - brush.OriginY, brush.Height);
        const int32_t column = Wrap(x - brush.OriginX, width);
        return brush.Bits[(size_t(row) * 3 + k) * width + column];
    }

private:
    uint32_t Kind = 0;
    GuardedRecord<RealizedBrush> Record;
    std::unique_ptr<marltest::GuardedBuffer> Bits;
};

void Combine(std::vector<uint8_t>& expected, size_t at, uint32_t code, uint8_t p) {
    if (auto result = marltest::ReferenceContone(static_cast<uint8_t>(code), expected[at], p))
        expected[at] = *result;
}

bool Handled(uint32_t code) {
    const auto& codes = marltest::ReferencePatternDestCodes();
    return std::find(codes.begin(), codes.end(), static_cast<uint8_t>(code)) != codes.end();
}

void PixelCall(FuzzInput& input, FuzzBand& band, std::vector<uint8_t>& expected,
               CaseReport& report) {
    const uint32_t x = input.Byte() >= 240 ? input.U32() : input.Below(band.Header()->Width + 4u);
    const uint32_t y = input.Byte() >= 240 ? input.U32() : input.Below(band.Header()->Height + 4u);
    const uint32_t colour = input.U32();
    const uint32_t code = input.Usually(kCodes);
    const uint32_t result = RPPixel(band.Device(), input.U32(), x, y, colour, code);
    report.Expect(result == (Handled(code) ? 0u : 1u),
                  "RPPixel answered " + std::to_string(result));
    const uint32_t column = x & 0xFFFF, row = y & 0xFFFF;
    if (column < band.DrawableColumns() && row < band.Header()->Height)
        for (uint32_t k = 0; k < 3; ++k)
            Combine(expected, band.Offset(column, row, k), code,
                    static_cast<uint8_t>(colour >> (8 * k)));
}

void FillCall(FuzzInput& input, FuzzBand& band, std::vector<uint8_t>& expected,
              CaseReport& report) {
    SpanBrush brush(input);
    const uint32_t count = input.Below(40);
    marltest::GuardedBuffer records(count * sizeof(ScanSpan));
    auto* spans = reinterpret_cast<ScanSpan*>(records.data());
    const int32_t width = band.Header()->Width, height = band.Header()->Height;
    for (uint32_t i = 0; i < count; ++i) {
        spans[i].Y = Coordinate(input, height);
        spans[i].Left = Coordinate(input, width);
        spans[i].Right = static_cast<int16_t>(spans[i].Left + input.Between(-2, width + 2));
    }
    const uint32_t code = input.Usually(kCodes);
    const uint32_t slot = count | (input.Flag() ? 0x10000u * input.U16() : 0);
    const uint32_t result = RPFillScanRows(band.Device(), 0, slot, spans, brush.Get(), 0, 0, code);
    report.Expect(result == 0, "RPFillScanRows answered " + std::to_string(result));

    const int32_t columns = static_cast<int32_t>(band.DrawableColumns());
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t y = spans[i].Y;
        if (y < 0 || y >= height) continue;
        for (int32_t x = std::max<int32_t>(spans[i].Left, 0);
             x < std::min<int32_t>(spans[i].Right, columns); ++x)
            for (uint32_t k = 0; k < 3; ++k)
                Combine(expected, band.Offset(x, y, k), code, brush.Sample(x, y, k));
    }
}

int16_t Step(FuzzInput& input) {
    if (input.Byte() >= 232) return static_cast<int16_t>(input.U16());
    return input.OneOf(kSmallSteps);
}

// A line walks inside the band whatever its record says; its pixels are not predicted here,
// only that it writes nowhere else. Run lengths are kept to what a band can need, so that a
// case stays fast.
void LineCall(FuzzInput& input, FuzzBand& band, CaseReport& report) {
    GuardedRecord<RunSliceLine> record;
    RunSliceLine& line = *record;
    line.StartX = Coordinate(input, band.Header()->Width);
    line.StartY = Coordinate(input, band.Header()->Height);
    line.RunStepX = Step(input);
    line.RunStepY = Step(input);
    line.SliceStepX = Step(input);
    line.SliceStepY = Step(input);
    line.ErrorTerm = static_cast<int16_t>(input.U16());
    line.ErrorAdjustLong = static_cast<int16_t>(input.U16());
    line.ErrorAdjustShort = static_cast<int16_t>(input.U16());
    line.FirstRun = static_cast<uint16_t>(input.Flag() ? input.U16() : input.Below(40));
    line.LastRun = static_cast<uint16_t>(input.Flag() ? input.U16() : input.Below(40));
    line.MiddleRuns = static_cast<uint16_t>(input.Below(input.Flag() ? 2000 : 20));
    line.BaseRun = static_cast<int16_t>(line.MiddleRuns <= 4 ? input.U16() : input.Between(-4, 40));
    const uint32_t code = input.Usually(kCodes);
    const uint32_t result = RPDrawLine(band.Device(), 0, record.get(), 0, 0, code, input.U32());
    report.Expect(result == 0, "RPDrawLine answered " + std::to_string(result));
}

} // namespace

std::string RunPrimitivesCase(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    CaseReport report;
    FuzzBand band(ReadBandShape(input), input.U32());
    const uint32_t calls = 1 + input.Below(6);
    for (uint32_t call = 0; call < calls && report.Ok(); ++call) {
        std::vector<uint8_t> expected = band.Before();
        const uint32_t kind = input.Below(3);
        const char* name = kind == 0 ? "RPPixel" : kind == 1 ? "RPFillScanRows" : "RPDrawLine";
        if (kind == 0) PixelCall(input, band, expected, report);
        if (kind == 1) FillCall(input, band, expected, report);
        if (kind == 2) LineCall(input, band, report);
        report.ExpectNoWritableCode(name);
        const std::string outside = band.CheckUndrawableUntouched();
        report.Expect(outside.empty(), std::string(name) + ": " + outside);
        if (kind != 2) {
            const bool same = std::equal(expected.begin(), expected.end(), band.Bits());
            report.Expect(same, std::string(name) + " differs from the reference");
        }
        band.Snapshot();
    }
    report.Expect(band.Allocator().Live() == 0, "blocks left allocated");
    return report.Text();
}

} // namespace marlfuzz
