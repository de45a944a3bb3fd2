// Pattern expansion against a memcpy of the same output bytes: the expansion writes every
// first row of a group sample by sample and copies the rest, so at large vertical factors it
// should approach the copy.
#include "render24/primitives/pattern_expand.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// Arguments: source side (square), horizontal factor, vertical factor.
size_t OutputBytes(const benchmark::State& state) {
    return static_cast<size_t>(state.range(0) * state.range(1)) * state.range(0) * state.range(2) *
           3;
}

void BM_ExpandMonoPattern(benchmark::State& state) {
    const auto side = static_cast<int32_t>(state.range(0));
    const int32_t widthBytes = (side + 7) / 8;
    std::vector<uint8_t> source(static_cast<size_t>(widthBytes) * side, 0xA5);
    std::vector<uint8_t> destination(OutputBytes(state));
    for (auto _ : state) {
        marl::ExpandMonoPattern(source.data(), destination.data(), side, side, widthBytes,
                                static_cast<int32_t>(state.range(1)),
                                static_cast<int32_t>(state.range(2)), 1, 2, 3, 4, 5, 6);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * destination.size()));
}
BENCHMARK(BM_ExpandMonoPattern)->Args({8, 4, 4})->Args({32, 2, 8})->Args({64, 1, 1});

void BM_ExpandColorPattern(benchmark::State& state) {
    const auto side = static_cast<int32_t>(state.range(0));
    std::vector<uint8_t> source(static_cast<size_t>(side) * side * 3, 0x5A);
    std::vector<uint8_t> destination(OutputBytes(state));
    for (auto _ : state) {
        marl::ExpandColorPattern(source.data(), destination.data(), side, side,
                                 static_cast<int32_t>(state.range(1)),
                                 static_cast<int32_t>(state.range(2)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * destination.size()));
}
BENCHMARK(BM_ExpandColorPattern)->Args({8, 4, 4})->Args({32, 2, 8})->Args({64, 1, 1});

void BM_MemcpyPatternBytes(benchmark::State& state) {
    std::vector<uint8_t> from(OutputBytes(state), 1), to(OutputBytes(state));
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * to.size()));
}
BENCHMARK(BM_MemcpyPatternBytes)->Args({8, 4, 4})->Args({32, 2, 8})->Args({64, 1, 1});

} // namespace
