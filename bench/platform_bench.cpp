// The fixed costs every block transfer pays around its rows: the named lock taken and given
// back, and the code area made executable and set back.
#include "core/core_services.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

alignas(4096) uint8_t CodePage[4096];

void BM_LockRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        CSMutex lock(L"MarlBenchLock");
        if (lock.Aquire() != 0 || lock.Release() != 0) state.SkipWithError("lock refused");
    }
}
BENCHMARK(BM_LockRoundTrip);

void BM_ProtectRoundTrip(benchmark::State& state) {
    DWORD previous = 0;
    for (auto _ : state) {
        VirtualProtect(CodePage, sizeof CodePage, PAGE_EXECUTE_READWRITE, &previous);
        VirtualProtect(CodePage, sizeof CodePage, previous, &previous);
    }
}
BENCHMARK(BM_ProtectRoundTrip);

void BM_ReadProbe(benchmark::State& state) {
    static const uint8_t device[765] = {};
    for (auto _ : state) benchmark::DoNotOptimize(IsBadReadPtr(device, sizeof device));
}
BENCHMARK(BM_ReadProbe);

} // namespace
