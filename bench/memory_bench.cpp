// The yardsticks every other benchmark is read against: memcpy and memset of band rows.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void BM_MemcpyBandRow(benchmark::State& state) {
    size_t bytes = static_cast<size_t>(state.range(0)) * 3;
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_MemcpyBandRow)->Arg(600)->Arg(4960);

void BM_MemsetBandRow(benchmark::State& state) {
    size_t bytes = static_cast<size_t>(state.range(0)) * 3;
    std::vector<unsigned char> to(bytes);
    for (auto _ : state) {
        std::memset(to.data(), 0x5A, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_MemsetBandRow)->Arg(600)->Arg(4960);

} // namespace

BENCHMARK_MAIN();
