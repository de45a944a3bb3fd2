// The vector routines over whole bands beside memcpy and memset of the same destination bytes,
// timed in the same run: every timing is the least time of many rounds, taken
// alternately for the routine and for its yardstick, so both see the same machine.
//
// Counters: "ns_row" per destination row (three planes), "yardstick_ns_row" memcpy's or memset's,
// "x_memcpy" / "x_memset" the routine's time over the yardstick's, "ops" the operators of the
// compiled name. Byte-serial rows of a
// few codes, and the two ways of finishing a row that is not a multiple of 16 pixels, are
// measured beside them.
#include "render24/blit/blit_routine.h"
#include "render24/blit/code_area.h"
#include "render24/blit/serial/rop_names.h"
#include "render24/blit/vector/vector_compiler.h"
#include "render24/blit/vector/vector_pattern.h"

#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBandWidth = 4960;
constexpr uint32_t kBandRows = 64;
constexpr uint32_t kPatternWidth = 8, kPatternHeight = 8;
// Rounds go on until each side has had this much CPU time and at least kLeastRounds rounds.
constexpr double kSecondsEach = 0.03;
constexpr int kLeastRounds = 15;

// Monotonic time: a round another process interrupts is only longer, and the least round
// is kept (the thread CPU clock of a virtual machine proved too coarse for rounds this short).
double Seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct Timing {
    double Work = 1e9;      // least seconds of a round of the work
    double Yardstick = 1e9; // least seconds of a round of the yardstick
    double Ratio = 0;       // median over the rounds of work / yardstick of the same round
};

// Many rounds, each timing the work and then the yardstick. A round's two timings see the
// machine alike, so the median of their ratios is what the counters report; the least times
// give the ns per row.
Timing TimeAgainst(const std::function<void()>& work, const std::function<void()>& yardstick) {
    Timing timing;
    work();
    yardstick();
    std::vector<double> ratios;
    double spentWork = 0, spentYardstick = 0;
    for (int round = 0;
         round < kLeastRounds || spentWork < kSecondsEach || spentYardstick < kSecondsEach;
         ++round) {
        double start = Seconds();
        work();
        double middle = Seconds();
        yardstick();
        double end = Seconds();
        if (middle <= start || end <= middle) continue;
        timing.Work = std::min(timing.Work, middle - start);
        timing.Yardstick = std::min(timing.Yardstick, end - middle);
        ratios.push_back((middle - start) / (end - middle));
        spentWork += middle - start;
        spentYardstick += end - middle;
    }
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    timing.Ratio = ratios[ratios.size() / 2];
    return timing;
}

uint32_t Operators(uint32_t rop) {
    marl::CompiledRopName name = marl::CompiledNameOf(rop);
    return static_cast<uint32_t>(std::count_if(name.Text, name.Text + name.Length,
                                               [](char c) { return marl::IsRopOperator(c); }));
}

// A band of rows three planes wide, a source band like it, a one-bit source band of text-like
// bits (mostly clear, short runs set), and an 8 x 8 pattern brush with its prepared rows.
class Bands {
public:
    explicit Bands(uint32_t width) : Width(width), RowBytes(3 * width) {
        std::mt19937 random(width);
        Destination.resize(size_t{RowBytes} * kBandRows);
        Source.resize(Destination.size());
        for (auto& b : Destination)
            b = static_cast<uint8_t>(random());
        for (auto& b : Source)
            b = static_cast<uint8_t>(random());
        BitRowBytes = (width + 7) / 8;
        Bits.resize(size_t{BitRowBytes} * kBandRows);
        for (auto& b : Bits)
            b = random() % 4 == 0 ? static_cast<uint8_t>(random()) : 0;
        Brush.resize(3 * kPatternWidth * kPatternHeight);
        for (auto& b : Brush)
            b = static_cast<uint8_t>(random());
        PreparedRowBytes = 3 * marl::vec::PreparedRunLength(kPatternWidth);
        Prepared.resize(size_t{PreparedRowBytes} * kPatternHeight);
        for (uint32_t r = 0; r < kPatternHeight; ++r) {
            marl::vec::PreparePatternRow(&Brush[r * 3 * kPatternWidth], kPatternWidth, 3,
                                         &Prepared[r * PreparedRowBytes]);
        }
    }

    // All rows of the band through a prepared routine.
    void Transfer(marl::BlitRoutine& routine, bool oneBit, bool prepared) {
        for (uint32_t r = 0; r < kBandRows; ++r) {
            const uint8_t* source = oneBit ? &Bits[r * BitRowBytes] : &Source[r * RowBytes];
            const uint8_t* pattern = prepared ? &Prepared[(r % kPatternHeight) * PreparedRowBytes]
                                              : &Brush[(r % kPatternHeight) * 3 * kPatternWidth];
            routine.Run(source, &Destination[r * RowBytes], pattern);
        }
        benchmark::ClobberMemory();
    }

    void Memcpy() {
        for (uint32_t r = 0; r < kBandRows; ++r) {
            std::memcpy(&Destination[r * RowBytes], &Source[r * RowBytes], RowBytes);
        }
        benchmark::ClobberMemory();
    }

    void Memset() {
        for (uint32_t r = 0; r < kBandRows; ++r) {
            std::memset(&Destination[r * RowBytes], 0x5A, RowBytes);
        }
        benchmark::ClobberMemory();
    }

    marl::BlitRequest Request(uint32_t rop, bool patternRow, bool oneBit) const {
        return marl::NormaliseRequest(rop, patternRow ? 1 : 0, 0x00C08040, Width, Width,
                                      kPatternWidth, 3, Width, oneBit ? 1 : 24, 0x00FFFFFF,
                                      0x00000000, 0);
    }

    uint32_t Width, RowBytes;
    uint32_t BitRowBytes = 0, PreparedRowBytes = 0;
    std::vector<uint8_t> Destination, Source, Bits, Brush, Prepared;
};

enum Operands : int64_t { Solid = 0, PatternRow = 1, OneBit = 2 };

// Times one code's vector routine over a band against memcpy (or memset) of its bytes.
void MeasureVector(benchmark::State& state, uint32_t width, uint32_t rop, int64_t operands,
                   bool againstMemset) {
    static Bands band(kBandWidth), narrow(600);
    Bands& bands = width == kBandWidth ? band : narrow;
    bool patternRow = operands & PatternRow, oneBit = operands & OneBit;
    marl::BlitRoutine routine;
    if (!marl::vec::CompileVectorRop(routine, bands.Request(rop, patternRow, oneBit))) {
        state.SkipWithError("not compiled");
        return;
    }
    auto work = [&] { bands.Transfer(routine, oneBit, true); };
    auto yardstick = [&] { againstMemset ? bands.Memset() : bands.Memcpy(); };
    for (auto _ : state)
        work();
    Timing timing = TimeAgainst(work, yardstick);
    state.SetBytesProcessed(int64_t(state.iterations()) * bands.RowBytes * kBandRows);
    state.counters["ns_row"] = timing.Work * 1e9 / kBandRows;
    state.counters["yardstick_ns_row"] = timing.Yardstick * 1e9 / kBandRows;
    state.counters[againstMemset ? "x_memset" : "x_memcpy"] = timing.Ratio;
    state.counters["ops"] = Operators(rop);
    marl::CompiledRopName name = marl::CompiledNameOf(rop);
    state.SetLabel(std::string(name.Text, name.Length));
}

// range(0) the code, range(1) the operands (solid or pattern P, 24-bit source).
void BM_VectorBand(benchmark::State& state) {
    MeasureVector(state, kBandWidth, uint32_t(state.range(0)), state.range(1), false);
}
void BM_Vector600(benchmark::State& state) {
    MeasureVector(state, 600, uint32_t(state.range(0)), state.range(1), false);
}
void BM_VectorFillAgainstMemset(benchmark::State& state) {
    MeasureVector(state, kBandWidth, 0xF0, state.range(0), true);
}
void BM_VectorText(benchmark::State& state) {
    MeasureVector(state, kBandWidth, uint32_t(state.range(0)), state.range(1), false);
}

void EveryCode(benchmark::internal::Benchmark* benchmark) {
    for (int64_t operands : {Solid, PatternRow}) {
        for (int64_t rop = 0; rop < 256; ++rop)
            benchmark->Args({rop, operands});
    }
    benchmark->ArgNames({"rop", "operands"})->Iterations(3);
}
BENCHMARK(BM_VectorBand)->Apply(EveryCode);
BENCHMARK(BM_Vector600)->Apply(EveryCode);
BENCHMARK(BM_VectorFillAgainstMemset)->Arg(Solid)->Arg(PatternRow)->Iterations(3);
// A one-bit source drawn as text: through a pattern brush (0xB8, 0xE2) and as colour
// expansion (0xCC).
BENCHMARK(BM_VectorText)
    ->Args({0xB8, OneBit | PatternRow})
    ->Args({0xE2, OneBit | PatternRow})
    ->Args({0xCC, OneBit})
    ->ArgNames({"rop", "operands"})
    ->Iterations(3);

// The least a code reading D and S can cost: a plain SSE2 loop (compiled, not generated) that
// reads both rows and writes the destination, d = min(d, s), over the same band.
__attribute__((target("sse2"), noinline)) void MinRows(uint8_t* d, const uint8_t* s, size_t n) {
    for (size_t i = 0; i + 16 <= n; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_min_epu8(a, b));
    }
}

void BM_ThreeStreamFloor(benchmark::State& state) {
    static Bands bands(kBandWidth);
    auto work = [&] {
        for (uint32_t r = 0; r < kBandRows; ++r) {
            MinRows(&bands.Destination[r * bands.RowBytes], &bands.Source[r * bands.RowBytes],
                    bands.RowBytes);
        }
        benchmark::ClobberMemory();
    };
    for (auto _ : state)
        work();
    Timing timing = TimeAgainst(work, [&] { bands.Memcpy(); });
    state.counters["ns_row"] = timing.Work * 1e9 / kBandRows;
    state.counters["x_memcpy"] = timing.Ratio;
}
BENCHMARK(BM_ThreeStreamFloor)->Iterations(3);

// The byte-serial routine of a code over the same band, for comparison.
void BM_ByteSerialBand(benchmark::State& state) {
    static Bands bands(kBandWidth);
    auto rop = uint32_t(state.range(0));
    bool patternRow = state.range(1) & PatternRow, oneBit = state.range(1) & OneBit;
    marl::BlitRequest r = bands.Request(rop, patternRow, oneBit);
    marl::BlitRoutine routine;
    uint16_t result = 0;
    routine.Build(r.Rop, r.PatternRows, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
                  r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor,
                  r.SetBitColor, r.BitPhase, &result);
    auto work = [&] { bands.Transfer(routine, oneBit, false); };
    for (auto _ : state)
        work();
    Timing timing = TimeAgainst(work, [&] { bands.Memcpy(); });
    state.SetBytesProcessed(int64_t(state.iterations()) * bands.RowBytes * kBandRows);
    state.counters["ns_row"] = timing.Work * 1e9 / kBandRows;
    state.counters["x_memcpy"] = timing.Ratio;
}
BENCHMARK(BM_ByteSerialBand)
    ->Args({0xCC, Solid})
    ->Args({0xF0, Solid})
    ->Args({0x5A, PatternRow})
    ->Args({0x68, PatternRow})
    ->Args({0xB8, OneBit | PatternRow})
    ->ArgNames({"rop", "operands"})
    ->Iterations(1);

// Finishing a row of 600 pixels: the vector routine's overlapping closing step costs the
// difference between 600 and 592 pixels (37 steps either way, one more step at 600); the
// byte-serial alternative would cost 8 byte-serial samples per plane, a 600th of the
// byte-serial row of 600.
void BM_RowEnd(benchmark::State& state) {
    static Bands bands600(600), bands592(592);
    auto rop = uint32_t(state.range(0));
    bool byteSerial = state.range(1) == 0;
    Bands& bands = state.range(1) == 592 ? bands592 : bands600;
    marl::BlitRequest r = bands.Request(rop, true, false);
    marl::BlitRoutine routine;
    if (byteSerial) {
        uint16_t result = 0;
        routine.Build(r.Rop, r.PatternRows, r.PatternColor, r.SourcePlaneStride, r.DestPlaneStride,
                      r.PatternWidth, r.PatternPhase, r.RowWidth, r.SourceBits, r.ClearBitColor,
                      r.SetBitColor, r.BitPhase, &result);
    } else {
        marl::vec::CompileVectorRop(routine, r);
    }
    auto work = [&] { bands.Transfer(routine, false, !byteSerial); };
    for (auto _ : state)
        work();
    Timing timing = TimeAgainst(work, [&] { bands.Memcpy(); });
    state.counters["ns_row"] = timing.Work * 1e9 / kBandRows;
    state.counters["x_memcpy"] = timing.Ratio;
}
BENCHMARK(BM_RowEnd)
    ->ArgsProduct({{0xCC, 0x5A, 0xB8, 0x68}, {592, 600, 0}})
    ->ArgNames({"rop", "pixels_or_byte_serial"})
    ->Iterations(1);

} // namespace
