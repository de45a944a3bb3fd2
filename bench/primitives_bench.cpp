// Span fills and lines over a whole band, read against memset of the same bytes in the same
// run: a band-wide solid fill under 0xF0 should come close to memset; the codes that read the
// destination show what the per-sample operations cost.
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
BENCHMARK(BM_FillSolid)->Arg(0xF0)->Arg(0x00)->Arg(0x5A)->Arg(0xA0)->Arg(0xFA)->Arg(0x55);

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
BENCHMARK(BM_FillPattern8x8)->Arg(0xF0)->Arg(0x5A);

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
BENCHMARK(BM_LineRows)->Arg(0xF0)->Arg(0x5A);

} // namespace
