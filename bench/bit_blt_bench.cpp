// Whole RPBitBlt calls on band-size rectangles (4960 x 64 pixels, three planes), for each kind
// of source and a few codes of each kind: prebuilt (0xCC, 0xF0, 0xB8), generated (0x01, 0x68,
// and 0x05 without source) and stack form (0x17). Beside each, memcpy of the same destination
// bytes is timed in the same run: the counter "x_memcpy" is the transfer's time divided by
// the copy's, both taken as the best of five rounds of thread CPU time (on a shared machine
// wall time would mix in other processes).
#include "marlrend/marlrend.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint16_t kWidth = 4960, kHeight = 64;
constexpr size_t kBandBytes = size_t{3} * kWidth * kHeight;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <typename Work> double SecondsPerCall(Work work, int calls) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        double start = CpuSeconds();
        for (int i = 0; i < calls; ++i)
            work();
        best = std::min(best, CpuSeconds() - start);
    }
    return best / calls;
}

double MemcpySeconds() {
    static const double seconds = [] {
        std::vector<uint8_t> from(kBandBytes, 1), to(kBandBytes);
        return SecondsPerCall(
            [&] {
                std::memcpy(to.data(), from.data(), kBandBytes);
                benchmark::ClobberMemory();
            },
            20);
    }();
    return seconds;
}

class MallocAllocator final : public HostAllocator {
  public:
    void FreeBlock(void* block) override { std::free(block); }
    int32_t AllocBlock(uint32_t size, uint32_t, void** block, const char*, uint32_t) override {
        *block = std::malloc(size);
        return *block ? 0 : -1;
    }
};

enum SourceKind : int64_t { NoSource, Planes24, Raw1, Mono1, Index4, Index8 };

struct Bitmap {
    Bitmap(uint16_t width, uint16_t height, uint8_t planes, uint8_t bitsPixel)
        : Bits(size_t{planes} * MarlPlaneWidthBytes(width, bitsPixel) * height) {
        for (size_t i = 0; i < Bits.size(); ++i)
            Bits[i] = static_cast<uint8_t>(i * 37 + i / 7);
        MarlDescribeBitmap(Header, width, height, planes, bitsPixel, Bits.data());
    }
    std::vector<uint8_t> Bits;
    BitmapHeader Header{};
};

// The driver's side of one transfer: band, device, source, brush, colours, palette.
struct BandTransfer {
    explicit BandTransfer(SourceKind kind) : Band(kWidth, kHeight, 3, 8), Pattern(8 * 8 * 3) {
        MarlAttachSurface(Surface, &Band.Header);
        Device.Allocator = &Allocator;
        Device.Surface = &Surface;
        for (size_t i = 0; i < Pattern.size(); ++i)
            Pattern[i] = static_cast<uint8_t>(i * 11);
        Brush.Style = 3;
        Brush.Width = 8;
        Brush.Height = 8;
        Brush.OriginX = 3;
        Brush.Bits = Pattern.data();
        Colors.TextColor = 0x00204060;
        Colors.BackColor = 0x00E0C0A0;
        for (size_t i = 0; i < sizeof Palette; ++i)
            Palette[i] = static_cast<uint8_t>(255 - i);
        switch (kind) {
        case NoSource: break;
        case Planes24: Source = std::make_unique<Bitmap>(kWidth, kHeight, 3, 8); break;
        case Raw1: Source = std::make_unique<Bitmap>(kWidth, kHeight, 1, 1); break;
        case Mono1:
            Source = std::make_unique<Bitmap>(kWidth, kHeight, 1, 1);
            MonoExpand = 8;
            break;
        case Index4: Source = std::make_unique<Bitmap>(kWidth, kHeight, 1, 4); break;
        case Index8: Source = std::make_unique<Bitmap>(kWidth, kHeight, 1, 8); break;
        }
    }
    uint32_t Transfer(uint32_t rop) {
        return RPBitBlt(&Device, &Band.Header, 0, 0, kWidth, kHeight,
                        Source ? &Source->Header : nullptr, rop, &Brush, &Colors, 0,
                        Source ? Palette : nullptr, MonoExpand);
    }
    Bitmap Band;
    PlaneBitmap Surface{};
    RenderDevice Device{};
    MallocAllocator Allocator;
    std::unique_ptr<Bitmap> Source;
    std::vector<uint8_t> Pattern;
    RealizedBrush Brush{};
    DrawColors Colors{};
    uint8_t Palette[3 * 256];
    uint16_t MonoExpand = 0;
};

void BM_BitBltBand(benchmark::State& state) {
    BandTransfer transfer(static_cast<SourceKind>(state.range(0)));
    auto rop = static_cast<uint32_t>(state.range(1));
    if (transfer.Transfer(rop) != 0) {
        state.SkipWithError("transfer refused");
        return;
    }
    auto call = [&] {
        transfer.Transfer(rop);
        benchmark::ClobberMemory();
    };
    for (auto _ : state)
        call();
    double perCall = SecondsPerCall(call, 3);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBandBytes));
    state.counters["x_memcpy"] = perCall / MemcpySeconds();
}

void TransferArguments(benchmark::internal::Benchmark* benchmark) {
    for (int64_t rop : {0xF0, 0x05})
        benchmark->Args({NoSource, rop});
    for (int64_t kind : {Planes24, Raw1, Mono1, Index4, Index8})
        for (int64_t rop : {0xCC, 0xF0, 0xB8, 0x01, 0x68, 0x17})
            benchmark->Args({kind, rop});
    benchmark->ArgNames({"source", "rop"});
    benchmark->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_BitBltBand)->Apply(TransferArguments);

} // namespace
