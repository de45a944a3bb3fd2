// The prebuilt routines on band-wide rows (4960 pixels in three planes), each beside memcpy and
// memset of the same bytes timed in the same run: the counters "x_memcpy" and "x_memset" are
// the routine's time per row divided by theirs, all three taken as the best of five rounds.
#include "render24/blit/blit_routine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kBandWidth = 4960;
constexpr size_t kRowBytes = 3 * size_t{kBandWidth};

using Clock = std::chrono::steady_clock;

// The best of five rounds, so that the routine and its yardsticks are measured alike even on a
// busy machine.
template <typename Work> double SecondsPerCall(Work work, int calls) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best / calls;
}

struct Yardsticks {
    double Memcpy; // seconds to copy one band row of three planes
    double Memset; // seconds to fill one
};

const Yardsticks& MeasuredYardsticks() {
    static const Yardsticks yardsticks = [] {
        std::vector<uint8_t> from(kRowBytes, 1), to(kRowBytes);
        Yardsticks measured{};
        measured.Memcpy = SecondsPerCall(
            [&] {
                std::memcpy(to.data(), from.data(), kRowBytes);
                benchmark::ClobberMemory();
            },
            2000);
        measured.Memset = SecondsPerCall(
            [&] {
                std::memset(to.data(), 0x5A, kRowBytes);
                benchmark::ClobberMemory();
            },
            2000);
        return measured;
    }();
    return yardsticks;
}

enum Operands : int64_t { SolidAndPlanes = 0, PatternRow = 1, OneBitRow = 2 };

// Arguments: the code, and where P and S come from.
void BM_TemplateBandRow(benchmark::State& state) {
    auto rop = static_cast<uint32_t>(state.range(0));
    auto operands = state.range(1);
    bool patternRow = operands & PatternRow, oneBit = operands & OneBitRow;
    const Yardsticks& yardsticks = MeasuredYardsticks();

    std::vector<uint8_t> destination(kRowBytes, 0x33), source(kRowBytes), pattern(3 * 16);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(i * 37);
    for (size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<uint8_t>(i * 11);

    marl::BlitRoutine routine;
    uint16_t result = 0;
    routine.Build(rop, patternRow ? 1 : 0, 0x00C08040, kBandWidth, kBandWidth, 16, 5, kBandWidth,
                  oneBit ? 1 : 24, 0x000000, 0xFFFFFF, 0, &result);
    auto row = [&] {
        routine.Run(source.data(), destination.data(), pattern.data());
        benchmark::ClobberMemory();
    };
    for (auto _ : state)
        row();
    double perRow = SecondsPerCall(row, 100);

    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRowBytes));
    state.counters["x_memcpy"] = perRow / yardsticks.Memcpy;
    state.counters["x_memset"] = perRow / yardsticks.Memset;
}

// The sixteen codes with a solid P and plane sources, then the pattern and one-bit variants
// of the codes that have them.
void CatalogueArguments(benchmark::internal::Benchmark* benchmark) {
    const int64_t codes[] = {0x00, 0x0A, 0x0F, 0x55, 0x5A, 0x5F, 0x66, 0x88,
                             0xA0, 0xB8, 0xCC, 0xE2, 0xEE, 0xF0, 0xFA, 0xFF};
    for (int64_t code : codes)
        benchmark->Args({code, SolidAndPlanes});
    for (int64_t code : {0x5A, 0xF0, 0xB8, 0xE2})
        benchmark->Args({code, PatternRow});
    for (int64_t code : {0x66, 0xCC, 0xB8})
        benchmark->Args({code, OneBitRow});
    benchmark->Args({0xB8, PatternRow | OneBitRow});
    benchmark->ArgNames({"rop", "operands"});
}
BENCHMARK(BM_TemplateBandRow)->Apply(CatalogueArguments);

} // namespace
