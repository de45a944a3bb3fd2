// The vector loops of span fills and line runs, 16 samples a step (SSE2), 32 (AVX2) and 64
// (AVX-512), each against the reference formulas sample by sample: every code that reads D, rows
// from one step to several groups of four with every closing overlap, solid P, a pattern row, and
// tiles of every period dividing 16. Rows end flush against an unreadable page, so a loop
// that reads or writes past its row faults.
#include "render24/blit/vector/cpu_features.h"
#include "render24/primitives/contone_rows.h"
#include "support/guarded_memory.h"
#include "support/reference_contone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// One instruction set's four loops for one code.
struct Loops {
    const char* Name;
    uint32_t Lanes;
    void (*Solid)(uint8_t*, uint32_t, uint8_t);
    void (*Row)(uint8_t*, uint32_t, const uint8_t*);
    void (*Repeating)(uint8_t*, uint32_t, const uint8_t*, uint32_t);
    void (*Store)(uint8_t*, uint32_t, const uint8_t*, uint32_t);
};

template <uint8_t Code> std::vector<Loops> LoopsOf() {
    std::vector<Loops> loops;
    if (marl::vec::CpuHasSse2()) {
        loops.push_back({"SSE2", 16, marl::CombineRowSolidSse2<Code>, marl::CombineRowSse2<Code>,
                         marl::CombineRowRepeatingSse2<Code>, marl::StoreRowRepeatingSse2});
    }
    if (marl::vec::CpuHasAvx2()) {
        loops.push_back({"AVX2", 32, marl::CombineRowSolidAvx2<Code>, marl::CombineRowAvx2<Code>,
                         marl::CombineRowRepeatingAvx2<Code>, marl::StoreRowRepeatingAvx2});
    }
    if (marl::vec::CpuHasAvx512Bw()) {
        loops.push_back({"AVX-512", 64, marl::CombineRowSolidAvx512<Code>,
                         marl::CombineRowAvx512<Code>, marl::CombineRowRepeatingAvx512<Code>,
                         marl::StoreRowRepeatingAvx512});
    }
    return loops;
}

uint8_t Expected(uint8_t code, uint8_t d, uint8_t p) {
    return marltest::ReferenceContone(code, d, p).value_or(d);
}

// The first sample where got differs from what the code makes of before and the pattern.
template <typename PatternAt>
std::string Difference(uint8_t code, const std::vector<uint8_t>& before, const uint8_t* got,
                       PatternAt patternAt) {
    for (size_t i = 0; i < before.size(); ++i) {
        const uint8_t want = Expected(code, before[i], patternAt(i));
        if (got[i] != want) {
            return "sample " + std::to_string(i) + ": " + std::to_string(got[i]) + " not " +
                   std::to_string(want);
        }
    }
    return "";
}

template <uint8_t Code> void CheckCode() {
    const uint32_t counts[] = {16,  17,  31,  32,  33,  47,  63,  64,  65, 127,
                               128, 129, 200, 255, 256, 257, 300, 511, 512};
    std::mt19937 random(Code);
    for (const Loops& loops : LoopsOf<Code>()) {
        for (uint32_t count : counts) {
            if (count < loops.Lanes) continue;
            const std::string what = std::string(loops.Name) + " code " + std::to_string(Code) +
                                     " count " + std::to_string(count);
            marltest::GuardedBuffer row(count), pattern(count);
            for (uint32_t i = 0; i < count; ++i)
                pattern.data()[i] = static_cast<uint8_t>(random());
            auto fresh = [&] {
                std::vector<uint8_t> before(count);
                for (auto& sample : before)
                    sample = static_cast<uint8_t>(random());
                std::copy(before.begin(), before.end(), row.data());
                return before;
            };
            const auto p = static_cast<uint8_t>(random());
            std::vector<uint8_t> before = fresh();
            loops.Solid(row.data(), count, p);
            EXPECT_EQ(Difference(Code, before, row.data(), [p](size_t) { return p; }), "")
                << what << " solid";
            before = fresh();
            loops.Row(row.data(), count, pattern.data());
            EXPECT_EQ(
                Difference(Code, before, row.data(), [&](size_t i) { return pattern.data()[i]; }),
                "")
                << what << " pattern row";
            for (uint32_t period : {1u, 2u, 4u, 8u, 16u}) {
                // The tile: loops.Lanes + period samples of the pattern's first period.
                marltest::GuardedBuffer tile(loops.Lanes + period);
                for (uint32_t i = 0; i < tile.size(); ++i)
                    tile.data()[i] = pattern.data()[i % period];
                auto tiled = [&](size_t i) { return pattern.data()[i % period]; };
                before = fresh();
                loops.Repeating(row.data(), count, tile.data(), period);
                EXPECT_EQ(Difference(Code, before, row.data(), tiled), "")
                    << what << " tile of period " << period;
                fresh();
                loops.Store(row.data(), count, tile.data(), period);
                for (uint32_t i = 0; i < count; ++i) {
                    if (row.data()[i] != tiled(i)) {
                        ADD_FAILURE()
                            << what << " stored tile of period " << period << " sample " << i;
                        break;
                    }
                }
            }
        }
    }
}

TEST(ContoneRows, EveryLoopOfEveryCodeThatReadsD) {
    if (!marl::vec::CpuHasSse2()) GTEST_SKIP() << "no SSE2: only the byte loops run";
    CheckCode<marl::kContoneDPon>();
    CheckCode<marl::kContoneDPna>();
    CheckCode<marl::kContonePDna>();
    CheckCode<marl::kContoneDn>();
    CheckCode<marl::kContoneDPx>();
    CheckCode<marl::kContoneDPan>();
    CheckCode<marl::kContoneDPa>();
    CheckCode<marl::kContoneDPxn>();
    CheckCode<marl::kContoneDPno>();
    CheckCode<marl::kContonePDno>();
    CheckCode<marl::kContoneDPo>();
}

} // namespace

namespace {

// The SSE2 copy of short spans: every count from one step to a few, in guarded rows (a read or
// write past either row faults), against the source samples.
TEST(ContoneRows, CopyRowCopiesEveryCountExactly) {
    if (!marl::vec::CpuHasSse2()) GTEST_SKIP() << "no SSE2";
    std::mt19937 random(11);
    for (uint32_t count = 16; count <= 80; ++count) {
        marltest::GuardedBuffer row(count), from(count);
        for (uint32_t i = 0; i < count; ++i) {
            from.data()[i] = static_cast<uint8_t>(random());
            row.data()[i] = static_cast<uint8_t>(~from.data()[i]);
        }
        marl::CopyRowSse2(row.data(), count, from.data());
        EXPECT_TRUE(std::equal(from.data(), from.data() + count, row.data())) << "count " << count;
    }
}

} // namespace
