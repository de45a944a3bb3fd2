// Span fills and lines over a whole band, read against memset of the same bytes in the same
// run (one memset of the band, and one per plane row as a fill writes it): the codes whose
// result is P, its complement or a constant are memsets; the codes that read the destination
// read and write every sample, 16 at a time where the processor has SSE2.
#include "marlrend/marlrend.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kBandWidth = 4960; // an A4 line at 600 dpi
constexpr uint16_t kBandHeight = 64;

struct Band {
    std::vector<uint8_t> Bits;
    BitmapHeader Header{};
    PlaneBitmap Surface{};
    RenderDevice Device{};
    std::vector<ScanSpan> Spans;

    Band() {
        uint16_t widthBytes = MarlPlaneWidthBytes(kBandWidth, 8);
        Bits.assign(size_t{3} * widthBytes * kBandHeight, 0x5A);
        MarlDescribeBitmap(Header, kBandWidth, kBandHeight, 3, 8, Bits.data());
        MarlAttachSurface(Surface, &Header);
        Device.Surface = &Surface;
        for (int16_t y = 0; y < kBandHeight; ++y) {
            ScanSpan span{};
            span.Y = y;
            span.Left = 0;
            span.Right = static_cast<int16_t>(kBandWidth);
            Spans.push_back(span);
        }
    }
    // The bytes a band-wide fill writes: three planes of every row.
    int64_t PaintedBytes() const { return int64_t{3} * kBandWidth * kBandHeight; }
};

void BM_MemsetBand(benchmark::State& state) {
    Band band;
    for (auto _ : state) {
        std::memset(band.Bits.data(), 0x5A, static_cast<size_t>(band.PaintedBytes()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * band.PaintedBytes());
}
BENCHMARK(BM_MemsetBand);

// memset of each plane row of the band, as a fill writes it: 3 x 64 calls of 4960 bytes.
void BM_MemsetPlaneRows(benchmark::State& state) {
    Band band;
    const size_t rowBytes = band.Header.WidthBytes;
    for (auto _ : state) {
        for (size_t row = 0; row < size_t{3} * kBandHeight; ++row)
            std::memset(band.Bits.data() + row * rowBytes, 0x5A, kBandWidth);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * band.PaintedBytes());
}
BENCHMARK(BM_MemsetPlaneRows);

void FillBand(benchmark::State& state, RealizedBrush* brush) {
    Band band;
    uint32_t code = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        RPFillScanRows(&band.Device, 0, kBandHeight, band.Spans.data(), brush, 0, 0, code);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * band.PaintedBytes());
}

void BM_FillSolid(benchmark::State& state) {
    RealizedBrush brush{};
    brush.Color = 0x00C01040;
    FillBand(state, &brush);
}
// The sixteen codes of the primitives (0xAA writes nothing).
void SixteenCodes(benchmark::internal::Benchmark* benchmark) {
    for (int64_t code : {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F, 0xA0, 0xA5, 0xAA, 0xAF,
                         0xF0, 0xF5, 0xFA, 0xFF})
        benchmark->Arg(code);
}

BENCHMARK(BM_FillSolid)->Apply(SixteenCodes);

void BM_FillPattern8x8(benchmark::State& state) {
    std::vector<uint8_t> pattern(8 * 8 * 3);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i * 37);
    RealizedBrush brush{};
    brush.Width = 8;
    brush.Height = 8;
    brush.OriginX = 3;
    brush.Bits = pattern.data();
    FillBand(state, &brush);
}
BENCHMARK(BM_FillPattern8x8)->Apply(SixteenCodes);

// A band-wide horizontal line per row: one pixel (three samples) per step of the walk.
void BM_LineRows(benchmark::State& state) {
    Band band;
    uint32_t code = static_cast<uint32_t>(state.range(0));
    RunSliceLine line{};
    line.RunStepX = 1;
    line.SliceStepX = -static_cast<int16_t>(kBandWidth);
    line.SliceStepY = 1;
    line.FirstRun = kBandWidth;
    line.MiddleRuns = kBandHeight - 1;
    line.BaseRun = static_cast<int16_t>(kBandWidth);
    for (auto _ : state) {
        RPDrawLine(&band.Device, 0, &line, 0, 0, code, 0x00C01040);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * band.PaintedBytes());
}
BENCHMARK(BM_LineRows)->Apply(SixteenCodes);

} // namespace
