// The driver-side benchmark: every entry point timed as a printer driver calls it, through
// the table of the dlopen'ed library, beside memcpy or memset of the same bytes in the same
// run. The band is 4960 x 64 pixels of three 8-bit planes (an A4 line at 600 dpi, 64 rows)
// with random samples; sources are random too. `make bench` runs it before the routine-level
// benchmarks of marlrend_bench; `--benchmark_filter` picks cases as usual.
#include "driver_library.h"
#include "paired_timing.h"
#include "summary_reporter.h"

#include <benchmark/benchmark.h>

#include <emmintrin.h>
#include <immintrin.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace marlbench {
namespace {

constexpr uint16_t kBandWidth = 4960;
constexpr uint16_t kBandHeight = 64;
constexpr uint32_t kTextColor = 0x00204060;
constexpr uint32_t kBackColor = 0x00E0C0A0;
constexpr uint32_t kBrushColor = 0x00C01040;
constexpr uint16_t kDiagonalCross = 5;
// A batch lasts about this long; the benchmark library decides how many batches make a case.
constexpr double kBatchSeconds = 0.5e-3;
constexpr double kMinSeconds = 0.25;

struct Rect {
    uint32_t X, Y, Width, Height;
};

// memcpy of every plane row of a rectangle from a three-plane source, as a transfer writes it.
void CopyRows(DriverBitmap& to, const Rect& r, DriverBitmap& from) {
    for (uint32_t y = 0; y < r.Height; ++y)
        for (uint32_t k = 0; k < 3; ++k)
            std::memcpy(to.Row(r.Y + y, k) + r.X, from.Row(y, k), r.Width);
}

void SetRows(DriverBitmap& to, const Rect& r, uint8_t value) {
    for (uint32_t y = 0; y < r.Height; ++y)
        for (uint32_t k = 0; k < 3; ++k)
            std::memset(to.Row(r.Y + y, k) + r.X, value, r.Width);
}

bool RowsEqual(DriverBitmap& to, const Rect& r, DriverBitmap& from) {
    for (uint32_t y = 0; y < r.Height; ++y)
        for (uint32_t k = 0; k < 3; ++k)
            if (std::memcmp(to.Row(r.Y + y, k) + r.X, from.Row(y, k), r.Width) != 0) return false;
    return true;
}

// The case being run: repetitions of a case must run the same number of calls, so each case
// keeps the batch size it found first.
std::string& CurrentCase() {
    static std::string name;
    return name;
}

int64_t KeptBatch(int64_t found) {
    static std::map<std::string, int64_t> batches;
    return batches.emplace(CurrentCase(), found).first->second;
}

// A floor (reference = true) is listed in the summary with its figure and no goal.
template <typename Fn>
void Add(const std::string& name, const std::string& what, Goal goal, Fn fn,
         bool reference = false) {
    CaseInfo info{name, what, goal};
    info.Reference = reference;
    Cases().push_back(info);
    benchmark::RegisterBenchmark(name.c_str(),
                                 [name, fn](benchmark::State& state) {
                                     CurrentCase() = name;
                                     fn(state);
                                 })
        ->UseManualTime()
        ->MinTime(kMinSeconds)
        ->Unit(benchmark::kMicrosecond);
}

// Warms up with one call whose answer must be `expected`, then times calls in batches beside
// the reference.
template <typename Call, typename Reference>
void Measure(benchmark::State& state, const Goal& goal, Call call, Reference reference,
             bool memsetReference, double pixelsPerCall, uint32_t expected = 0) {
    const uint32_t answer = call(0);
    if (answer != expected) {
        state.SkipWithError(("the call answered " + std::to_string(answer)).c_str());
        return;
    }
    auto work = [&](int64_t i) { call(i); };
    const int64_t batch = KeptBatch(BatchFor(work, kBatchSeconds));
    const PairedTimes times = RunPaired(state, work, reference, batch);
    ReportPaired(state, times, goal, memsetReference, pixelsPerCall);
}

// ---- Block transfers ----------------------------------------------------------------------

enum class BrushKind { Solid, Hatch };

struct BlitCode {
    uint32_t Rop;
    const char* Name; // the operator name: S, P, D and one letter per operator
    BrushKind Brush;
};

constexpr BlitCode kBlitCodes[] = {
    {0xCC, "S", BrushKind::Solid},       {0xF0, "P", BrushKind::Solid},
    {0xF0, "P", BrushKind::Hatch},       {0x66, "DSx", BrushKind::Solid},
    {0xB8, "PSDPxax", BrushKind::Hatch}, {0xE2, "DSPDxax", BrushKind::Hatch},
    {0x01, "DPSoon", BrushKind::Hatch},  {0x68, "DSPDSonoxxn", BrushKind::Hatch},
};

bool ReadsSource(uint32_t rop) { return ((rop >> 2) & 0x33) != (rop & 0x33); }

int Operators(const char* name) {
    int count = 0;
    for (const char* c = name; *c; ++c)
        count += (*c >= 'a' && *c <= 'z') ? 1 : 0;
    return count;
}

std::string Hex(uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string CodeLabel(const BlitCode& code) {
    std::string label = Hex(code.Rop) + " " + code.Name;
    if (code.Rop == 0xF0) label += code.Brush == BrushKind::Hatch ? " pattern" : " solid";
    return label;
}

// Everything one transfer case needs on the driver's side.
struct BlitScene {
    BlitScene(uint16_t sourceWidth, uint16_t sourceHeight, uint8_t sourceBits)
        : Band(kBandWidth, kBandHeight, 1),
          Source(sourceWidth, sourceHeight, sourceBits == 1 ? 1 : 3, sourceBits == 1 ? 1 : 8, 2),
          Solid(Band, 0, kBrushColor, 0), Hatch(Band, 2, kBrushColor, kDiagonalCross) {
        Colors.TextColor = kTextColor;
        Colors.BackColor = kBackColor;
    }
    uint32_t Transfer(const Rect& r, uint32_t rop, BrushKind brush, uint32_t monoExpand = 0) {
        return Entries().BitBlt(&Band.Device, &Band.Bitmap.Header, r.X, r.Y, r.Width, r.Height,
                                ReadsSource(rop) ? &Source.Header : nullptr, rop,
                                brush == BrushKind::Hatch ? Hatch.Get() : Solid.Get(), &Colors, 0,
                                nullptr, monoExpand);
    }
    bool BrushesRealized() const { return Solid.Realized() && Hatch.Realized(); }

    DriverBand Band;
    DriverBitmap Source;
    DriverBrush Solid;
    DriverBrush Hatch;
    DrawColors Colors{};
};

// A rectangle of 24-bit source rows at the same place every call, beside memcpy (memset for
// 0xF0) of the same plane rows.
void RowsCase(benchmark::State& state, const BlitCode& code, Rect r, Goal goal) {
    BlitScene scene(static_cast<uint16_t>(r.Width), static_cast<uint16_t>(r.Height), 24);
    if (!scene.BrushesRealized()) return state.SkipWithError("brush refused");
    const bool memsetReference = !ReadsSource(code.Rop);
    if (code.Rop == 0xCC) {
        scene.Transfer(r, code.Rop, code.Brush);
        if (!RowsEqual(scene.Band.Bitmap, r, scene.Source))
            return state.SkipWithError("0xCC did not copy its source");
    }
    Measure(
        state, goal, [&](int64_t) { return scene.Transfer(r, code.Rop, code.Brush); },
        [&](int64_t) {
            if (memsetReference)
                SetRows(scene.Band.Bitmap, r, 0x5A);
            else
                CopyRows(scene.Band.Bitmap, r, scene.Source);
        },
        memsetReference, 0);
}

Goal BandGoal(const BlitCode& code) {
    if (code.Rop == 0xF0) return {Figure::RatioToMemset, 1.1};
    return {Figure::RatioToMemcpy, Operators(code.Name) >= 5 ? 1.5 : 1.25};
}

Goal RowsGoal(const BlitCode& code) {
    return {code.Rop == 0xF0 ? Figure::RatioToMemset : Figure::RatioToMemcpy, 1.5};
}

// The rectangles of one small transfer per call, moving along the band as text does.
Rect SmallAt(int64_t i, uint32_t width, uint32_t height) {
    const uint32_t room = kBandWidth - width;
    return {static_cast<uint32_t>(i * 97) % room, (kBandHeight - height) / 2, width, height};
}

void GlyphCase(benchmark::State& state, uint32_t rop, uint32_t monoExpand) {
    BlitScene scene(16, 24, 1);
    if (!scene.BrushesRealized()) return state.SkipWithError("brush refused");
    Measure(
        state, {Figure::MicrosPerCall, 2.0},
        [&](int64_t i) {
            return scene.Transfer(SmallAt(i, 16, 24), rop, BrushKind::Hatch, monoExpand);
        },
        [&](int64_t i) { SetRows(scene.Band.Bitmap, SmallAt(i, 16, 24), 0x5A); }, true, 0);
}

void SquareCase(benchmark::State& state, const BlitCode& code) {
    BlitScene scene(64, 64, 24);
    if (!scene.BrushesRealized()) return state.SkipWithError("brush refused");
    Measure(
        state, {Figure::MicrosPerCall, 3.0},
        [&](int64_t i) { return scene.Transfer(SmallAt(i, 64, 64), code.Rop, code.Brush); },
        [&](int64_t i) { CopyRows(scene.Band.Bitmap, SmallAt(i, 64, 64), scene.Source); }, false,
        0);
}

void AddTransfers() {
    for (const BlitCode& code : kBlitCodes) {
        const std::string label = CodeLabel(code);
        const std::string id = Hex(code.Rop) + (code.Brush == BrushKind::Hatch ? "p" : "");
        Add("Driver/BitBlt/band/" + id, "RPBitBlt band 4960x64 " + label, BandGoal(code),
            [code](benchmark::State& state) {
                RowsCase(state, code, {0, 0, kBandWidth, kBandHeight}, BandGoal(code));
            });
    }
    for (const BlitCode& code : kBlitCodes) {
        const std::string label = CodeLabel(code);
        const std::string id = Hex(code.Rop) + (code.Brush == BrushKind::Hatch ? "p" : "");
        Add("Driver/BitBlt/rows600/" + id, "RPBitBlt 600x64 in band " + label, RowsGoal(code),
            [code](benchmark::State& state) {
                RowsCase(state, code, {1000, 0, 600, kBandHeight}, RowsGoal(code));
            });
    }
    Add("Driver/BitBlt/glyph16x24/0xB8p", "RPBitBlt glyph 16x24 1-bit 0xB8 pattern",
        {Figure::MicrosPerCall, 2.0}, [](benchmark::State& state) { GlyphCase(state, 0xB8, 0); });
    Add("Driver/BitBlt/glyph16x24/0xE2p", "RPBitBlt glyph 16x24 1-bit 0xE2 pattern",
        {Figure::MicrosPerCall, 2.0}, [](benchmark::State& state) { GlyphCase(state, 0xE2, 0); });
    Add("Driver/BitBlt/glyph16x24/0xCCmono", "RPBitBlt glyph 16x24 0xCC monoExpand",
        {Figure::MicrosPerCall, 2.0}, [](benchmark::State& state) { GlyphCase(state, 0xCC, 8); });
    for (const BlitCode& code :
         {kBlitCodes[0], kBlitCodes[2], kBlitCodes[3], kBlitCodes[4], kBlitCodes[7]}) {
        const std::string id = Hex(code.Rop) + (code.Brush == BrushKind::Hatch ? "p" : "");
        Add("Driver/BitBlt/64x64/" + id, "RPBitBlt 64x64 " + CodeLabel(code),
            {Figure::MicrosPerCall, 3.0},
            [code](benchmark::State& state) { SquareCase(state, code); });
    }
}

// ---- Floors of transfers that read D and S -----------------------------------------------

// The floor of a transfer that reads D and S: a plain SSE2 loop doing the same work over the
// same plane rows as the band and 600-pixel transfer cases, beside memcpy in the same run. A
// transfer that reads D and S cannot beat this ratio; it is a reference, not a goal. Each
// formula has its bytes form (checked against its code at compile time, and against the loop
// in the case's setup) and its SSE2 form.
[[gnu::target("sse2")]] inline __m128i Load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
[[gnu::target("sse2")]] inline void Store(uint8_t* at, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), value);
}

struct DSx {
    static constexpr uint32_t Rop = 0x66;
    static constexpr uint8_t Bytes(uint8_t d, uint8_t s, uint8_t) {
        return static_cast<uint8_t>(d ^ s);
    }
    [[gnu::target("sse2")]] static __m128i Vector(__m128i d, __m128i s, __m128i) {
        return _mm_xor_si128(d, s);
    }
};

struct PSDPxax {
    static constexpr uint32_t Rop = 0xB8;
    static constexpr uint8_t Bytes(uint8_t d, uint8_t s, uint8_t p) {
        return static_cast<uint8_t>(p ^ (s & (d ^ p)));
    }
    [[gnu::target("sse2")]] static __m128i Vector(__m128i d, __m128i s, __m128i p) {
        return _mm_xor_si128(p, _mm_and_si128(s, _mm_xor_si128(d, p)));
    }
};

struct DSPDSonoxxn {
    static constexpr uint32_t Rop = 0x68;
    static constexpr uint8_t Bytes(uint8_t d, uint8_t s, uint8_t p) {
        return static_cast<uint8_t>(~(d ^ (s ^ (p | ~(d | s)))));
    }
    // The same function in four operations, with no not to spell as a xor with all ones:
    // not(D xor S xor (P or not(D or S))) is D xor S xor (not P and (D or S)).
    [[gnu::target("sse2")]] static __m128i Vector(__m128i d, __m128i s, __m128i p) {
        return _mm_xor_si128(_mm_xor_si128(d, s), _mm_andnot_si128(p, _mm_or_si128(d, s)));
    }
};

// An 8 x 8 pattern of each plane, each row repeated into a 16-byte run. The samples are
// arbitrary: the loop costs the same whatever they are.
struct PatternRuns {
    PatternRuns() {
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t k = 0; k < 3; ++k)
                for (uint32_t i = 0; i < 16; ++i)
                    Runs[y][k][i] = static_cast<uint8_t>(0x9D * (y * 24 + k * 8 + i % 8) + 0x37);
    }
    const uint8_t* Run(uint32_t y, uint32_t plane) const { return Runs[y % 8][plane]; }
    uint8_t At(uint32_t x, uint32_t y, uint32_t plane) const { return Runs[y % 8][plane][x % 8]; }
    uint8_t Runs[8][3][16];
};

// 64 bytes a step (eight loads before four stores), then 16, then 8: the rectangles' widths
// are multiples of 8. The pattern run is loaded once per plane row; every 16 samples of a row
// see the same run because the rectangles start on a multiple of 8.
template <typename Formula>
[[gnu::target("sse2")]] void TransferRowsSse2(DriverBitmap& band, const Rect& r,
                                              DriverBitmap& source, const PatternRuns& pattern) {
    static_assert(Formula::Bytes(0xAA, 0xCC, 0xF0) == Formula::Rop);
    const uint32_t width = r.Width; // the stores could reach r, as far as the compiler knows
    for (uint32_t y = 0; y < r.Height; ++y) {
        for (uint32_t k = 0; k < 3; ++k) {
            uint8_t* const d = band.Row(r.Y + y, k) + r.X;
            const uint8_t* const s = source.Row(y, k);
            const __m128i p = Load(pattern.Run(r.Y + y, k));
            uint32_t i = 0;
            for (; i + 64 <= width; i += 64) {
                const __m128i d0 = Load(d + i), d1 = Load(d + i + 16);
                const __m128i d2 = Load(d + i + 32), d3 = Load(d + i + 48);
                const __m128i s0 = Load(s + i), s1 = Load(s + i + 16);
                const __m128i s2 = Load(s + i + 32), s3 = Load(s + i + 48);
                Store(d + i, Formula::Vector(d0, s0, p));
                Store(d + i + 16, Formula::Vector(d1, s1, p));
                Store(d + i + 32, Formula::Vector(d2, s2, p));
                Store(d + i + 48, Formula::Vector(d3, s3, p));
            }
            for (; i + 16 <= width; i += 16)
                Store(d + i, Formula::Vector(Load(d + i), Load(s + i), p));
            if (i + 8 <= width) {
                const __m128i d0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(d + i));
                const __m128i s0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), Formula::Vector(d0, s0, p));
            }
        }
    }
}

// Runs the loop once and compares its first nine rows (every pattern row, then the first
// again) with the formula's bytes form, sample by sample; a floor that does other work than
// the transfer's would measure nothing.
template <typename Formula>
void CheckTransferFloor(DriverBitmap& band, const Rect& r, DriverBitmap& source,
                        const PatternRuns& pattern) {
    const std::vector<uint8_t> before = band.Bits;
    TransferRowsSse2<Formula>(band, r, source, pattern);
    for (uint32_t y = 0; y < 9; ++y) {
        for (uint32_t k = 0; k < 3; ++k) {
            const size_t row = static_cast<size_t>(band.Row(r.Y + y, k) + r.X - band.Bits.data());
            for (uint32_t x = 0; x < r.Width; ++x) {
                const uint8_t expected = Formula::Bytes(before[row + x], source.Row(y, k)[x],
                                                        pattern.At(r.X + x, r.Y + y, k));
                if (band.Bits[row + x] == expected) continue;
                std::fprintf(stderr, "floor %s: row %u plane %u sample %u is 0x%02X, not 0x%02X\n",
                             Hex(Formula::Rop).c_str(), y, k, x, band.Bits[row + x], expected);
                std::abort();
            }
        }
    }
}

template <typename Formula> void TransferFloorCase(benchmark::State& state, Rect r) {
    DriverBand band(kBandWidth, kBandHeight, 1);
    DriverBitmap source(static_cast<uint16_t>(r.Width), static_cast<uint16_t>(r.Height), 3, 8, 2);
    const PatternRuns pattern;
    CheckTransferFloor<Formula>(band.Bitmap, r, source, pattern);
    Measure(
        state, {Figure::RatioToMemcpy, 0},
        [&](int64_t) {
            TransferRowsSse2<Formula>(band.Bitmap, r, source, pattern);
            return 0u;
        },
        [&](int64_t) { CopyRows(band.Bitmap, r, source); }, false, 0);
}

template <typename Formula> void AddTransferFloor() {
    const Goal goal{Figure::RatioToMemcpy, 0};
    const std::string code = Hex(Formula::Rop);
    Add(
        "Driver/BitBlt/floor/band/" + code, "plain SSE2 loop band " + code + " (floor)", goal,
        [](benchmark::State& state) {
            TransferFloorCase<Formula>(state, {0, 0, kBandWidth, kBandHeight});
        },
        true);
    Add(
        "Driver/BitBlt/floor/rows600/" + code, "plain SSE2 loop 600x64 " + code + " (floor)", goal,
        [](benchmark::State& state) {
            TransferFloorCase<Formula>(state, {1000, 0, 600, kBandHeight});
        },
        true);
}

void AddTransferFloors() {
    AddTransferFloor<DSx>();
    AddTransferFloor<PSDPxax>();
    AddTransferFloor<DSPDSonoxxn>();
}

// ---- Span fills ---------------------------------------------------------------------------

struct SpanScene {
    SpanScene()
        : Band(kBandWidth, kBandHeight, 3), Solid(Band, 0, kBrushColor, 0),
          Hatch(Band, 2, kBrushColor, kDiagonalCross) {}
    uint32_t Fill(uint32_t code, bool pattern) {
        return Entries().FillScanRows(&Band.Device, 0, static_cast<uint32_t>(Spans.size()),
                                      Spans.data(), pattern ? Hatch.Get() : Solid.Get(), 0, 0,
                                      code);
    }
    void AddSpan(int16_t y, int16_t left, int16_t right) {
        ScanSpan span{};
        span.Y = y;
        span.Left = left;
        span.Right = right;
        Spans.push_back(span);
    }
    // memset of the samples every span paints.
    void Reference() {
        for (const ScanSpan& span : Spans)
            for (uint32_t k = 0; k < 3; ++k)
                std::memset(Band.Bitmap.Row(static_cast<uint32_t>(span.Y), k) + span.Left, 0x5A,
                            static_cast<size_t>(span.Right - span.Left));
    }
    DriverBand Band;
    DriverBrush Solid;
    DriverBrush Hatch;
    std::vector<ScanSpan> Spans;
};

// 1000 spans of 20 pixels in row order, about 16 on each row of the band, as a polygon's
// spans come.
constexpr int kShortSpans = 1000;
constexpr int16_t kShortSpanWidth = 20;

void SpanCase(benchmark::State& state, uint32_t code, bool pattern, bool shortSpans, Goal goal) {
    SpanScene scene;
    if (!scene.Solid.Realized() || !scene.Hatch.Realized())
        return state.SkipWithError("brush refused");
    if (shortSpans) {
        for (int i = 0; i < kShortSpans; ++i) {
            const auto left = static_cast<int16_t>(7 + (i % 16) * 307);
            scene.AddSpan(static_cast<int16_t>(i * kBandHeight / kShortSpans), left,
                          static_cast<int16_t>(left + kShortSpanWidth));
        }
    } else {
        for (int16_t y = 0; y < kBandHeight; ++y)
            scene.AddSpan(y, 0, static_cast<int16_t>(kBandWidth));
    }
    Measure(
        state, goal, [&](int64_t) { return scene.Fill(code, pattern); },
        [&](int64_t) { scene.Reference(); }, true, 0);
}

// The floor of a fill that reads D: a plain SSE2 loop doing the same read-modify-write on the
// same band rows (0x5A as the distance |D - P|, 0xA0 as the minimum), beside memset in the
// same run. A fill that reads D cannot beat this ratio; it is a reference, not a goal.
[[gnu::target("sse2")]] inline __m128i Distance(__m128i d, __m128i p) {
    return _mm_or_si128(_mm_subs_epu8(d, p), _mm_subs_epu8(p, d));
}
[[gnu::target("sse2")]] inline __m128i Minimum(__m128i d, __m128i p) { return _mm_min_epu8(d, p); }

// 64 bytes a step, four loads before four stores.
template <__m128i (*Combine)(__m128i, __m128i)>
[[gnu::target("sse2")]] void CombineBandRowsSse2(DriverBitmap& band, uint8_t p) {
    const __m128i pattern = _mm_set1_epi8(static_cast<char>(p));
    static_assert(kBandWidth % 64 == 32);
    for (uint32_t y = 0; y < kBandHeight; ++y) {
        for (uint32_t k = 0; k < 3; ++k) {
            auto* row = reinterpret_cast<__m128i*>(band.Row(y, k));
            uint32_t i = 0;
            for (; i + 4 <= kBandWidth / 16; i += 4) {
                const __m128i d0 = _mm_loadu_si128(row + i), d1 = _mm_loadu_si128(row + i + 1);
                const __m128i d2 = _mm_loadu_si128(row + i + 2), d3 = _mm_loadu_si128(row + i + 3);
                _mm_storeu_si128(row + i, Combine(d0, pattern));
                _mm_storeu_si128(row + i + 1, Combine(d1, pattern));
                _mm_storeu_si128(row + i + 2, Combine(d2, pattern));
                _mm_storeu_si128(row + i + 3, Combine(d3, pattern));
            }
            for (; i < kBandWidth / 16; ++i)
                _mm_storeu_si128(row + i, Combine(_mm_loadu_si128(row + i), pattern));
        }
    }
}

// The same with 32-byte AVX2 vectors (128 bytes a step), the floor of the library's AVX2
// loops; only where the processor has AVX2.
[[gnu::target("avx2")]] __m256i DistanceAvx2(__m256i d, __m256i p) {
    return _mm256_or_si256(_mm256_subs_epu8(d, p), _mm256_subs_epu8(p, d));
}
[[gnu::target("avx2")]] __m256i MinimumAvx2(__m256i d, __m256i p) { return _mm256_min_epu8(d, p); }

template <__m256i (*Combine)(__m256i, __m256i)>
[[gnu::target("avx2")]] void CombineBandRowsAvx2(DriverBitmap& band, uint8_t p) {
    const __m256i pattern = _mm256_set1_epi8(static_cast<char>(p));
    static_assert(kBandWidth % 32 == 0);
    for (uint32_t y = 0; y < kBandHeight; ++y) {
        for (uint32_t k = 0; k < 3; ++k) {
            auto* row = reinterpret_cast<__m256i*>(band.Row(y, k));
            uint32_t i = 0;
            for (; i + 4 <= kBandWidth / 32; i += 4) {
                const __m256i d0 = _mm256_loadu_si256(row + i);
                const __m256i d1 = _mm256_loadu_si256(row + i + 1);
                const __m256i d2 = _mm256_loadu_si256(row + i + 2);
                const __m256i d3 = _mm256_loadu_si256(row + i + 3);
                _mm256_storeu_si256(row + i, Combine(d0, pattern));
                _mm256_storeu_si256(row + i + 1, Combine(d1, pattern));
                _mm256_storeu_si256(row + i + 2, Combine(d2, pattern));
                _mm256_storeu_si256(row + i + 3, Combine(d3, pattern));
            }
            for (; i < kBandWidth / 32; ++i)
                _mm256_storeu_si256(row + i, Combine(_mm256_loadu_si256(row + i), pattern));
        }
    }
    _mm256_zeroupper();
}

// One floor case: loop(band, p) over the band rows beside memset of the same spans.
using FloorLoop = void (*)(DriverBitmap&, uint8_t);

void AddFillFloor(const std::string& name, const std::string& what, FloorLoop loop) {
    const Goal goal{Figure::RatioToMemset, 0};
    Add(
        name, what, goal,
        [loop, goal](benchmark::State& state) {
            SpanScene scene;
            for (int16_t y = 0; y < kBandHeight; ++y)
                scene.AddSpan(y, 0, static_cast<int16_t>(kBandWidth));
            Measure(
                state, goal,
                [&](int64_t) {
                    loop(scene.Band.Bitmap, 0x40);
                    return 0u;
                },
                [&](int64_t) { scene.Reference(); }, true, 0);
        },
        true);
}

void AddFillFloors() {
    if (__builtin_cpu_supports("avx2")) {
        AddFillFloor("Driver/FillScanRows/floor-avx2/0x5A",
                     "plain AVX2 read-modify-write 0x5A (floor)",
                     CombineBandRowsAvx2<DistanceAvx2>);
        AddFillFloor("Driver/FillScanRows/floor-avx2/0xA0",
                     "plain AVX2 read-modify-write 0xA0 (floor)", CombineBandRowsAvx2<MinimumAvx2>);
    }
    AddFillFloor("Driver/FillScanRows/floor/0x5A", "plain SSE2 read-modify-write 0x5A (floor)",
                 CombineBandRowsSse2<Distance>);
    AddFillFloor("Driver/FillScanRows/floor/0xA0", "plain SSE2 read-modify-write 0xA0 (floor)",
                 CombineBandRowsSse2<Minimum>);
}

void AddSpanFills() {
    for (bool shortSpans : {false, true}) {
        for (uint32_t code : {0xF0u, 0x5Au, 0xA0u}) {
            for (bool pattern : {false, true}) {
                const Goal goal{Figure::RatioToMemset, shortSpans ? 3.0 : 1.3};
                const std::string kind = pattern ? "pattern" : "solid";
                const std::string name = std::string("Driver/FillScanRows/") +
                                         (shortSpans ? "1000x20/" : "band/") + Hex(code) + "/" +
                                         kind;
                const std::string what = std::string("RPFillScanRows ") +
                                         (shortSpans ? "1000 spans of 20 " : "band spans ") +
                                         Hex(code) + " " + kind;
                Add(name, what, goal, [=](benchmark::State& state) {
                    SpanCase(state, code, pattern, shortSpans, goal);
                });
            }
        }
    }
}

// ---- Lines and pixels ---------------------------------------------------------------------

enum class LineShape { DiagonalSlices, DiagonalRun, Horizontal };

// A 45-degree diagonal over the band's 64 rows as the host cuts it (64 runs of one pixel along
// the row, each followed by a slice step of one row down), the same diagonal as one run that
// steps a column and a row with each pixel, or a horizontal line across the band.
RunSliceLine LineRecord(LineShape shape, int16_t x, int16_t y) {
    RunSliceLine line{};
    line.StartX = x;
    line.StartY = y;
    switch (shape) {
    case LineShape::DiagonalSlices:
        line.RunStepX = 1;
        line.SliceStepY = 1;
        line.FirstRun = 1;
        line.MiddleRuns = kBandHeight - 2;
        line.BaseRun = 1;
        line.ErrorTerm = -1;
        line.LastRun = 1;
        break;
    case LineShape::DiagonalRun:
        line.RunStepX = 1;
        line.RunStepY = 1;
        line.FirstRun = kBandHeight;
        break;
    case LineShape::Horizontal:
        line.RunStepX = 1;
        line.FirstRun = kBandWidth;
        break;
    }
    return line;
}

void LineCase(benchmark::State& state, LineShape shape, uint32_t code) {
    DriverBand band(kBandWidth, kBandHeight, 4);
    const bool horizontal = shape == LineShape::Horizontal;
    const uint32_t pixels = horizontal ? kBandWidth : kBandHeight;
    std::vector<RunSliceLine> lines;
    for (int i = 0; i < 64; ++i) {
        lines.push_back(horizontal ? LineRecord(shape, 0, static_cast<int16_t>(i))
                                   : LineRecord(shape, static_cast<int16_t>(i * 73), 0));
    }
    auto at = [&](int64_t i) -> const RunSliceLine& { return lines[static_cast<size_t>(i % 64)]; };
    Measure(
        state, {Figure::NanosPerPixel, 10.0},
        [&](int64_t i) {
            return Entries().DrawLine(&band.Device, 0, &at(i), 0, 0, code, kBrushColor);
        },
        [&](int64_t i) {
            const RunSliceLine& line = at(i);
            const auto x = static_cast<uint32_t>(line.StartX);
            const auto y = static_cast<uint32_t>(line.StartY);
            for (uint32_t k = 0; k < 3; ++k) {
                if (horizontal) {
                    std::memset(band.Bitmap.Row(y, k), 0x5A, kBandWidth);
                } else {
                    for (uint32_t p = 0; p < kBandHeight; ++p)
                        std::memset(band.Bitmap.Row(y + p, k) + x + p, 0x5A, 1);
                }
            }
        },
        true, pixels);
}

void PixelCase(benchmark::State& state, uint32_t code) {
    DriverBand band(kBandWidth, kBandHeight, 5);
    auto x = [](int64_t i) { return static_cast<uint32_t>(i * 131) % kBandWidth; };
    auto y = [](int64_t i) { return static_cast<uint32_t>(i * 7) % kBandHeight; };
    Measure(
        state, {Figure::NanosPerCall, 50.0},
        [&](int64_t i) { return Entries().Pixel(&band.Device, 0, x(i), y(i), kBrushColor, code); },
        [&](int64_t i) {
            for (uint32_t k = 0; k < 3; ++k)
                std::memset(band.Bitmap.Row(y(i), k) + x(i), 0x5A, 1);
        },
        true, 1);
}

void RealizeCase(benchmark::State& state, bool pattern) {
    DriverBand band(64, 8, 6);
    // An 8 x 8 one-bit pattern bitmap, realized at factors 2 and 2 (16 x 16 expanded, with
    // its MonoPattern copy), or a diagonal-cross hatch at factors 1 and 1.
    DriverBitmap bitmap(8, 8, 1, 1, 7);
    const LogicalBrush logical =
        pattern ? LogicalBrush{3, reinterpret_cast<uintptr_t>(&bitmap.Header), 0}
                : LogicalBrush{2, kBrushColor, kDiagonalCross};
    const uint32_t factor = pattern ? 2 : 1;
    const size_t patternBytes = size_t{3} * 64 * factor * factor;
    std::vector<uint8_t> referenceBytes(patternBytes);
    const CapabilityTable& table = Entries();
    Measure(
        state, {Figure::MicrosPerCall, 5.0},
        [&](int64_t) {
            RealizedBrush brush{};
            LogicalBrush in = logical;
            const uint32_t answer =
                table.RealizeBrush(&band.Device, &in, &brush, 0, factor, factor, 0, kBackColor);
            table.RealizeBrush(&band.Device, &brush, nullptr, 0, 0, 0, 0, 0);
            return answer;
        },
        [&](int64_t) {
            std::memset(referenceBytes.data(), 0x5A, patternBytes);
            benchmark::ClobberMemory();
        },
        true, 0, sizeof(RealizedBrush));
}

void AddPrimitives() {
    const struct {
        LineShape Shape;
        const char* Id;
        const char* What;
    } shapes[] = {{LineShape::DiagonalSlices, "diagonal_slices", "diagonal, runs of 1"},
                  {LineShape::DiagonalRun, "diagonal_run", "diagonal, one run"},
                  {LineShape::Horizontal, "horizontal", "horizontal 4960"}};
    for (const auto& shape : shapes) {
        for (uint32_t code : {0xF0u, 0x5Au}) {
            const LineShape kind = shape.Shape;
            Add(std::string("Driver/DrawLine/") + shape.Id + "/" + Hex(code),
                std::string("RPDrawLine ") + shape.What + " " + Hex(code),
                {Figure::NanosPerPixel, 10.0},
                [kind, code](benchmark::State& state) { LineCase(state, kind, code); });
        }
    }
    for (uint32_t code : {0xF0u, 0x5Au}) {
        Add("Driver/Pixel/" + Hex(code), "RPPixel " + Hex(code), {Figure::NanosPerCall, 50.0},
            [code](benchmark::State& state) { PixelCase(state, code); });
    }
    Add("Driver/RealizeBrush/hatch", "RPRealizeBrush+release hatch 8x8",
        {Figure::MicrosPerCall, 5.0}, [](benchmark::State& state) { RealizeCase(state, false); });
    Add("Driver/RealizeBrush/mono8x8x2", "RPRealizeBrush+release 1-bit 8x8 at 2x2",
        {Figure::MicrosPerCall, 5.0}, [](benchmark::State& state) { RealizeCase(state, true); });
}

// ---- Two callers at once ------------------------------------------------------------------

// Band transfers (0xCC from a 24-bit band source) by one caller, then by two at once, each
// with its own band, source and device; the figure is the two callers' throughput over the
// one caller's. Wall time, since that is what the callers share.
constexpr int kContendedTransfers = 64;

double ThreadsSeconds(int callers) {
    std::vector<std::unique_ptr<BlitScene>> scenes;
    for (int i = 0; i < callers; ++i) {
        scenes.push_back(std::make_unique<BlitScene>(kBandWidth, kBandHeight, 24));
        scenes.back()->Transfer({0, 0, kBandWidth, kBandHeight}, 0xCC, BrushKind::Solid);
    }
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::yield();
            for (int n = 0; n < kContendedTransfers; ++n)
                scenes[static_cast<size_t>(i)]->Transfer({0, 0, kBandWidth, kBandHeight}, 0xCC,
                                                         BrushKind::Solid);
        });
    }
    while (ready.load() < callers)
        std::this_thread::yield();
    const double start = WallSeconds();
    go.store(true);
    for (std::thread& thread : threads)
        thread.join();
    return WallSeconds() - start;
}

// Each child prepares its own band and source, says it is ready, waits for the start (the
// parent closes the start pipe), transfers, and sends the monotonic time of its last
// transfer's end before it exits: the figure is the time from the start to the later of the
// two, without the processes' exit and the parent's wake-up, which are no transfer's cost.
double ProcessesSeconds(int callers) {
    int readyPipe[2], startPipe[2];
    if (pipe(readyPipe) != 0 || pipe(startPipe) != 0) return 0;
    std::vector<pid_t> children;
    for (int i = 0; i < callers; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            close(readyPipe[0]);
            close(startPipe[1]);
            BlitScene scene(kBandWidth, kBandHeight, 24);
            scene.Transfer({0, 0, kBandWidth, kBandHeight}, 0xCC, BrushKind::Solid);
            char byte = 1;
            if (write(readyPipe[1], &byte, 1) != 1) _exit(3);
            if (read(startPipe[0], &byte, 1) != 0) _exit(3);
            for (int n = 0; n < kContendedTransfers; ++n)
                scene.Transfer({0, 0, kBandWidth, kBandHeight}, 0xCC, BrushKind::Solid);
            const double finished = WallSeconds();
            if (write(readyPipe[1], &finished, sizeof finished) != sizeof finished) _exit(3);
            _exit(0);
        }
        if (child > 0) children.push_back(child);
    }
    close(readyPipe[1]);
    close(startPipe[0]);
    char byte = 0;
    for (size_t i = 0; i < children.size(); ++i)
        if (read(readyPipe[0], &byte, 1) != 1) break;
    const double start = WallSeconds();
    close(startPipe[1]);
    double last = start;
    for (size_t i = 0; i < children.size(); ++i) {
        double finished = 0;
        if (read(readyPipe[0], &finished, sizeof finished) != sizeof finished) break;
        last = std::max(last, finished);
    }
    bool allDone = children.size() == static_cast<size_t>(callers);
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        allDone = allDone && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    close(readyPipe[0]);
    return allDone ? last - start : 0;
}

// One caller's time and two callers' time are each taken as the median of their rounds, and
// the figure is their ratio: a round in which the single caller (a fresh process, or a thread
// on a busy machine) happened to run slowly moves one median, not every ratio it is paired in.
void ContentionCase(benchmark::State& state, double (*seconds)(int)) {
    std::vector<double> ones, twos;
    for (auto _ : state) {
        const double one = seconds(1);
        const double two = seconds(2);
        if (one <= 0 || two <= 0) return state.SkipWithError("a caller failed");
        state.SetIterationTime(two);
        ones.push_back(one);
        twos.push_back(two);
    }
    state.counters["x_one"] = 2 * Median(ones) / Median(twos);
    state.counters["transfers"] = 2 * kContendedTransfers;
}

void AddContention() {
    const Goal goal{Figure::RatioToOneCaller, 0.95};
    Cases().push_back({"Driver/Contended/threads", "two threads, band 0xCC (vs one)", goal});
    benchmark::RegisterBenchmark(
        "Driver/Contended/threads",
        [](benchmark::State& state) { ContentionCase(state, ThreadsSeconds); })
        ->UseManualTime()
        ->Iterations(11)
        ->Unit(benchmark::kMillisecond);
    Cases().push_back({"Driver/Contended/processes", "two processes, band 0xCC (vs one)", goal});
    benchmark::RegisterBenchmark(
        "Driver/Contended/processes",
        [](benchmark::State& state) { ContentionCase(state, ProcessesSeconds); })
        ->UseManualTime()
        ->Iterations(11)
        ->Unit(benchmark::kMillisecond);
}

} // namespace
} // namespace marlbench

int main(int argc, char** argv) {
    marlbench::Entries(); // load the library before anything is timed
    marlbench::AddTransfers();
    marlbench::AddTransferFloors();
    marlbench::AddSpanFills();
    marlbench::AddFillFloors();
    marlbench::AddPrimitives();
    marlbench::AddContention();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    marlbench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
