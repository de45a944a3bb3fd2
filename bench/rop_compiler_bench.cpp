// The ROP3 code generator: how many routines it builds per second, and how fast a generated
// routine runs over one band-wide row, beside memcpy of the same bytes in the same run.
#include "render24/blit/blit_routine.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kBandWidth = 4960;
constexpr uint32_t kPatternWidth = 8;

// Thread CPU time, as the benchmark's own bytes/s counts it: on a shared machine wall time
// would mix in other processes.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// memcpy throughput for rows of the given size, over about 20 ms of CPU time.
double MemcpyBytesPerSecond(size_t bytes) {
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    size_t rounds = 0;
    const double start = CpuSeconds();
    double elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i) {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::ClobberMemory();
        }
        rounds += 64;
        elapsed = CpuSeconds() - start;
    } while (elapsed < 0.02);
    return double(rounds * bytes) / elapsed;
}

void Compile(marl::BlitRoutine& routine, uint32_t rop, bool patternRow, uint32_t sourceBits) {
    routine.CompileRop(rop, patternRow, 0x00406080, kBandWidth, kBandWidth, kPatternWidth, 3,
                       kBandWidth, sourceBits, 0x00FFFFFF, 0x00000000, 0);
}

// Builds routines for all 256 codes in turn; range(0) is the source bits, range(1) the
// pattern row flag.
void BM_CompileRop(benchmark::State& state) {
    const uint32_t sourceBits = uint32_t(state.range(0));
    const bool patternRow = state.range(1) != 0;
    marl::BlitRoutine routine;
    uint32_t rop = 0;
    for (auto _ : state) {
        Compile(routine, rop, patternRow, sourceBits);
        benchmark::DoNotOptimize(routine.Entry);
        rop = (rop + 1) & 0xFF;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("routines");
}
BENCHMARK(BM_CompileRop)->Args({24, 0})->Args({24, 1})->Args({1, 1});

// One band-wide row (three planes) through a generated routine; range(0) the code,
// range(1) the source bits, range(2) the pattern row flag.
void BM_GeneratedBandRow(benchmark::State& state) {
    const uint32_t rop = uint32_t(state.range(0));
    const uint32_t sourceBits = uint32_t(state.range(1));
    const bool patternRow = state.range(2) != 0;
    const size_t rowBytes = 3 * size_t(kBandWidth);
    std::vector<uint8_t> destination(rowBytes, 0x5A), source(rowBytes, 0xC3),
        pattern(3 * kPatternWidth, 0x96);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 37);

    const double memcpyRate = MemcpyBytesPerSecond(rowBytes);
    marl::BlitRoutine routine;
    Compile(routine, rop, patternRow, sourceBits);
    const double start = CpuSeconds();
    for (auto _ : state) {
        routine.Run(source.data(), destination.data(), pattern.data());
        benchmark::ClobberMemory();
    }
    const double elapsed = CpuSeconds() - start;

    const double bytes = double(state.iterations()) * double(rowBytes);
    state.SetBytesProcessed(int64_t(bytes));
    state.counters["memcpy_bytes_per_second"] = memcpyRate;
    state.counters["ratio_to_memcpy"] = elapsed > 0 ? bytes / elapsed / memcpyRate : 0;
}
BENCHMARK(BM_GeneratedBandRow)
    ->ArgNames({"rop", "source_bits", "pattern_row"})
    ->Args({0xAA, 24, 0})
    ->Args({0x01, 24, 0})
    ->Args({0x68, 24, 1})
    ->Args({0x17, 24, 1})
    ->Args({0x17, 1, 1})
    ->Args({0x66, 24, 0})
    ->Args({0x66, 1, 0});

} // namespace
