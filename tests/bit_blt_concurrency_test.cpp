// Transfers from several threads and several processes at once, and the state of the code
// areas after each transfer.
#include "core/core_services.h"
#include "render24/blit/code_area.h"
#include "render24/blit/routine_cache.h"
#include "support/blit_harness.h"
#include "support/child_process.h"
#include "support/library.h"
#include "support/page_map.h"
#include "support/transfer_probes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace marltest {
namespace {

// One thread's or process's own transfer: its band, source and brush.
struct Worker {
    Worker(uint8_t rop, uint8_t planes, uint8_t bits, uint16_t monoExpand, uint32_t seed)
        : Band(96, 12), Source(80, 12, planes, bits, seed), Pattern(7, 5, 2, 3, seed + 1),
          Seed(seed) {
        Scene.X = 5;
        Scene.Y = 1;
        Scene.Width = 85;
        Scene.Height = 9;
        Scene.Source = Source.Header();
        Scene.Rop = rop;
        Scene.Brush = Pattern.Record();
        Scene.Colors = PhysicalColours(0x00305070, 0x00E0C0A0);
        Scene.MonoExpand = monoExpand;
    }
    // One transfer onto the band as the seed fills it; answers the band.
    std::vector<uint8_t> Transfer(RPBitBltFn bitBlt) {
        FillRandom(Band.Bytes(), Band.ByteCount(), Seed);
        Result = CallBitBlt(bitBlt, Band, Scene);
        return BandBytes(Band);
    }
    TestBand Band;
    SourceImage Source;
    PatternBrush Pattern;
    BlitScene Scene;
    uint32_t Seed;
    uint32_t Result = 0;
};

// The areas transfers write and run routines in.
std::vector<const marl::CodeArea*> CodeAreas() {
    return {&marl::TemplateArea(), &marl::GeneratedRoutines().Area(),
            &marl::VectorRoutines().Area()};
}

std::vector<std::unique_ptr<Worker>> Workers() {
    std::vector<std::unique_ptr<Worker>> workers;
    workers.push_back(std::make_unique<Worker>(0x01, 3, 8, 0, 1)); // generated
    workers.push_back(std::make_unique<Worker>(0xB8, 1, 1, 0, 2)); // prebuilt, raw 1-bit
    workers.push_back(std::make_unique<Worker>(0x17, 1, 8, 0, 3)); // stack form, converted
    workers.push_back(std::make_unique<Worker>(0x68, 1, 1, 5, 4)); // generated, expanded
    workers.push_back(std::make_unique<Worker>(0xCC, 1, 4, 0, 5)); // prebuilt, converted
    return workers;
}

TEST(BitBltConcurrency, ThreadsGiveTheSingleThreadedResults) {
    auto workers = Workers();
    std::vector<std::vector<uint8_t>> alone;
    for (auto& worker : workers) {
        alone.push_back(worker->Transfer(Table().BitBlt));
        ASSERT_EQ(worker->Result, 0u);
    }
    std::vector<int> mismatches(workers.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < workers.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 40; ++round) {
                if (workers[i]->Transfer(Table().BitBlt) != alone[i] || workers[i]->Result != 0)
                    ++mismatches[i];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (size_t i = 0; i < workers.size(); ++i)
        EXPECT_EQ(mismatches[i], 0) << "worker " << i;
    // And the single-threaded results are the reference's.
    for (auto& worker : workers)
        EXPECT_EQ(CompareWithReference(ThroughTable(), worker->Band, worker->Scene, worker->Seed),
                  "");
}

// The bands the workers' transfers give in one process alone, for the children to compare.
struct AloneBands {
    static constexpr size_t kBytes = 96 * 12 * 3;
    uint8_t Band[5][kBytes];
};

AloneBands* SharedAloneBands() {
    return static_cast<AloneBands*>(SharedBlock("blit-alone-bands", sizeof(AloneBands)));
}

// Child `child` of two repeats every second worker's transfer; answers 0 when every result
// equals the single-process one.
int RepeatTransfers(size_t child) {
    auto workers = Workers();
    const AloneBands& alone = *SharedAloneBands();
    int mismatches = 0;
    for (int round = 0; round < 30; ++round) {
        for (size_t i = child; i < workers.size(); i += 2) {
            std::vector<uint8_t> band = workers[i]->Transfer(Table().BitBlt);
            if (band.size() != AloneBands::kBytes ||
                !std::equal(band.begin(), band.end(), alone.Band[i]))
                ++mismatches;
        }
    }
    return mismatches == 0 ? 0 : 1;
}

MARLTEST_CHILD_ROLE(RepeatEvenTransfers) { return RepeatTransfers(0); }
MARLTEST_CHILD_ROLE(RepeatOddTransfers) { return RepeatTransfers(1); }

TEST(BitBltConcurrency, ProcessesGiveTheSingleProcessResults) {
    auto workers = Workers();
    AloneBands* alone = SharedAloneBands();
    ASSERT_NE(alone, nullptr);
    for (size_t i = 0; i < workers.size(); ++i) {
        std::vector<uint8_t> band = workers[i]->Transfer(Table().BitBlt);
        ASSERT_EQ(band.size(), AloneBands::kBytes);
        std::copy(band.begin(), band.end(), alone->Band[i]);
    }
    ChildProcess even("RepeatEvenTransfers"), odd("RepeatOddTransfers");
    ASSERT_TRUE(even.Started() && odd.Started());
    EXPECT_EQ(even.Wait(), 0) << "even workers";
    EXPECT_EQ(odd.Wait(), 0) << "odd workers";
}

// After every transfer, prebuilt or generated, done or failed, no page is writable and
// executable, and no code area can be written through the view its routines run from.
TEST(BitBltConcurrency, NoCodeAreaIsWritableWhereItRuns) {
    TestBand band(40, 6);
    SourceImage planes(30, 4, 3, 8, 3), bits(30, 4, 1, 1, 4);
    PatternBrush pattern(6, 2, 1, 1, 5);
    for (uint32_t rop = 0; rop < 256; ++rop) {
        {
            BitmapHeader* source = rop % 2 ? bits.Header() : planes.Header();
            BlitScene scene;
            scene.X = 2;
            scene.Y = 1;
            scene.Width = 30;
            scene.Height = 4;
            scene.Source = source;
            scene.Rop = static_cast<uint8_t>(rop);
            scene.Brush = pattern.Record();
            scene.Colors = PhysicalColours(1, 2);
            if (rop % 64 == 7) CSInjectFault(CSFaultRelease, 0);
            EXPECT_EQ(CallBitBlt(Table().BitBlt, band, scene), rop % 64 == 7 ? 1u : 0u);
            EXPECT_EQ(CallBitBlt(&RPBitBlt, band, scene), 0u);
            ASSERT_EQ(WritableExecutableMappings(), "") << "rop " << rop;
            for (const marl::CodeArea* area : CodeAreas()) {
                ASSERT_EQ(PagePermissions(area->Base).substr(0, 3), "r-x") << "rop " << rop;
                if (area->Views == marl::CodeViews::Twin) {
                    ASSERT_EQ(PagePermissions(area->Writable).substr(0, 3), "rw-") << "rop " << rop;
                }
            }
        }
    }
}

// While transfers run on one thread, another reads the process's page map again and again:
// no sample may show a page that is writable and executable. The transfers generate new
// routines (a new width for every code), patch prebuilt ones and compile vector ones.
TEST(BitBltConcurrency, NoPageIsWritableAndExecutableWhileTransfersRun) {
    TestBand band(120, 6);
    SourceImage planes(100, 4, 3, 8, 6), bits(100, 4, 1, 1, 7);
    PatternBrush pattern(6, 2, 1, 1, 8);
    std::atomic<bool> done{false};
    std::atomic<uint32_t> samples{0};
    std::string seen;
    std::thread sampler([&] {
        while (!done.load()) {
            std::vector<std::string> ranges = WritableExecutableRanges();
            if (!ranges.empty() && seen.empty()) seen = ranges[0];
            samples.fetch_add(1);
        }
    });
    // The transfers go on until the map has been read a few times while they ran: on a fast
    // machine three rounds can end before the sampler has read it once.
    while (samples.load() == 0)
        std::this_thread::yield();
    const uint32_t before = samples.load();
    for (uint32_t round = 0; round < 3 || samples.load() - before < 3; ++round) {
        for (uint32_t rop = 0; rop < 256; ++rop) {
            BlitScene scene;
            scene.X = 2;
            scene.Y = 1;
            scene.Width = static_cast<uint16_t>(8 + (rop * 7 + round * 31) % 90);
            scene.Height = 4;
            scene.Source = rop % 2 ? bits.Header() : planes.Header();
            scene.Rop = static_cast<uint8_t>(rop);
            scene.Brush = pattern.Record();
            scene.Colors = PhysicalColours(0x102030, 0x405060 + round);
            EXPECT_EQ(CallBitBlt(Table().BitBlt, band, scene), 0u) << "rop " << rop;
        }
    }
    done = true;
    sampler.join();
    EXPECT_GT(samples.load(), 3u);
    EXPECT_EQ(seen, "");
}

} // namespace
} // namespace marltest
