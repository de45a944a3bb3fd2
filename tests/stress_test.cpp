// Stress: eight threads in each of two processes draw at once through the exported table:
// block transfers (prebuilt and generated codes, sources of 1, 8 and 24 bits, brushes),
// span fills, lines, pixels and brush realizations, each thread on its own band with its
// own brushes. Meanwhile two more processes take the transfer lock and are killed while
// holding it: one that only sits on the lock, and one killed at a random moment of a long
// stream of large transfers. Afterwards every thread's work is replayed serially from its
// seed; band and brushes must come out identical, and the others must have gone on drawing
// after each kill.
#if !defined(_WIN32)
#include "core/core_services.h"
#include "platform/platform.h"
#include "render24/blit/serial/rop_names.h"
#include "support/blit_scene.h"
#include "support/edition.h"
#include "support/library.h"
#include "support/test_band.h"
#include "support/transfer_probes.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace marltest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kThreads = 8;
constexpr auto kRunTime = std::chrono::milliseconds(1100);
constexpr uint8_t kTransferRops[] = {0xCC, 0x66, 0x88, 0xEE, 0xB8, 0xE2, 0xF0, 0x5A, 0xFF,
                                     0x01, 0x17, 0x7E, 0x99, 0x64, 0xC0, 0x3C, 0xAA, 0x1D};
constexpr uint8_t kPrimitiveCodes[] = {0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                       0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};

uint64_t Digest(uint64_t hash, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// One thread's drawing: everything it touches is its own, and every choice comes from its
// seed, so the same seed and number of steps give the same band and brushes.
class StressWorker {
public:
    explicit StressWorker(uint32_t seed)
        : Random(seed), Band(96, 24, 0x40), Source24(64, 16, 3, 8, seed),
          Source8(40, 12, 1, 8, seed + 1), Source1(70, 10, 1, 1, seed + 2),
          MonoImage(8, 8, 1, 1, seed + 3), ColourImage(6, 5, 3, 8, seed + 4, 6),
          Palette(256, seed + 5) {
        MonoHandle = GlobalAlloc(GMEM_MOVEABLE, sizeof(BitmapHeader));
        std::memcpy(GlobalLock(MonoHandle), MonoImage.Header(), sizeof(BitmapHeader));
        GlobalUnlock(MonoHandle);
    }
    ~StressWorker() {
        for (size_t k = 0; k < Brushes.size(); ++k)
            ReleaseBrush(k);
        GlobalFree(MonoHandle);
    }

    void Step() {
        switch (Random() % 8) {
        case 0:
        case 1:
        case 2: Transfer(); break;
        case 3: Fill(); break;
        case 4: RealizeBrush(Random() % Brushes.size()); break;
        case 5: Line(); break;
        default: Pixel(); break;
        }
        ++Steps;
    }

    uint64_t Digest() {
        uint64_t hash = marltest::Digest(1469598103934665603ull, Band.Bytes(), Band.ByteCount());
        for (const RealizedBrush& brush : Brushes)
            if (brush.Bits != nullptr)
                hash = marltest::Digest(hash, brush.Bits, size_t(brush.Width) * brush.Height * 3);
        return hash;
    }
    uint32_t StepCount() const { return Steps; }
    size_t LiveBlocks() { return Band.Allocator().Live(); }
    uint32_t Failures() const { return FailedCalls; }

private:
    const CapabilityTable& Table() { return marltest::Table(); }

    RealizedBrush* AnyBrush() {
        uint32_t pick = Random() % (Brushes.size() + 1);
        return pick == Brushes.size() ? nullptr : &Brushes[pick];
    }

    void Transfer() {
        BlitScene scene;
        scene.X = static_cast<uint16_t>(Random() % 80);
        scene.Y = static_cast<uint16_t>(Random() % 20);
        scene.Width = static_cast<uint16_t>(1 + Random() % 90);
        scene.Height = static_cast<uint16_t>(1 + Random() % 24);
        scene.Rop = kTransferRops[Random() % std::size(kTransferRops)];
        scene.Colors = PhysicalColours(Random() & 0xFFFFFF, Random() & 0xFFFFFF);
        scene.Brush = AnyBrush();
        switch (Random() % 4) {
        case 0: scene.Source = Source24.Header(); break;
        case 1:
            scene.Source = Source8.Header();
            scene.Palette = Palette.Data();
            break;
        case 2:
            scene.Source = Source1.Header();
            scene.MonoExpand = static_cast<uint16_t>(Random() % 9);
            break;
        default: break;
        }
        // A code that reads S is refused without a source; every other transfer is done.
        const bool refused = scene.Source == nullptr && marl::RopOperands().UsesSource(scene.Rop);
        if (CallBitBlt(Table().BitBlt, Band, scene) != (refused ? 1u : 0u)) ++FailedCalls;
    }

    void Fill() {
        ScanSpan spans[8] = {};
        uint32_t count = 1 + Random() % 8;
        for (uint32_t i = 0; i < count; ++i) {
            spans[i].Y = static_cast<int16_t>(Random() % 24);
            spans[i].Left = static_cast<int16_t>(Random() % 96);
            spans[i].Right = static_cast<int16_t>(spans[i].Left + Random() % 40);
        }
        Table().FillScanRows(Band.Device(), 0, count, spans, AnyBrush(), 0, 0,
                             kPrimitiveCodes[Random() % 16]);
    }

    void Line() {
        RunSliceLine line{};
        line.StartX = static_cast<int16_t>(Random() % 96);
        line.StartY = static_cast<int16_t>(Random() % 24);
        line.RunStepX = static_cast<int16_t>(int(Random() % 3) - 1);
        line.RunStepY = static_cast<int16_t>(int(Random() % 3) - 1);
        line.SliceStepX = static_cast<int16_t>(int(Random() % 3) - 1);
        line.SliceStepY = static_cast<int16_t>(int(Random() % 3) - 1);
        line.FirstRun = static_cast<uint16_t>(Random() % 9);
        line.MiddleRuns = static_cast<uint16_t>(Random() % 9);
        line.BaseRun = static_cast<int16_t>(Random() % 6);
        line.LastRun = static_cast<uint16_t>(Random() % 5);
        line.ErrorTerm = static_cast<int16_t>(int(Random() % 9) - 4);
        line.ErrorAdjustLong = -3;
        line.ErrorAdjustShort = 2;
        Table().DrawLine(Band.Device(), 0, &line, 0, 0, kPrimitiveCodes[Random() % 16], Random());
    }

    void Pixel() {
        Table().Pixel(Band.Device(), 0, Random() % 96, Random() % 24, Random(),
                      kPrimitiveCodes[Random() % 16]);
    }

    void ReleaseBrush(size_t k) {
        Table().RealizeBrush(Band.Device(), &Brushes[k], nullptr, 0, 0, 0, 0, 0);
        Brushes[k] = RealizedBrush{};
    }

    // Solid, hatched, 1-bit pattern (re-coloured by transfers) or colour pattern.
    void RealizeBrush(size_t k) {
        ReleaseBrush(k);
        LogicalBrush logical{0, static_cast<uint32_t>(Random() & 0xFFFFFF),
                             static_cast<uint16_t>(Random() % 6)};
        switch (Random() % 4) {
        case 1: logical.Style = 2; break;
        case 2:
            // Through a handle: a 1-bit pattern takes the logical Color field as its first
            // foreground, which for a header given by address would be the address itself.
            logical.Style = 3;
            logical.Color = 0;
            logical.Hatch = static_cast<uint16_t>(HandleValue(MonoHandle));
            break;
        case 3:
            logical.Style = 3;
            logical.Color = marltest::AddressField(ColourImage.Header());
            break;
        default: break;
        }
        const uint32_t factor = 1 + Random() % 2;
        const uint32_t origin = (Random() % 16) | (Random() % 16) << 16;
        if (Table().RealizeBrush(Band.Device(), &logical, &Brushes[k], origin, factor, factor, 0,
                                 Random() & 0xFFFFFF) != sizeof(RealizedBrush))
            ++FailedCalls;
    }

    std::mt19937 Random;
    TestBand Band;
    SourceImage Source24, Source8, Source1, MonoImage, ColourImage;
    PaletteImage Palette;
    HGLOBAL MonoHandle = nullptr;
    std::array<RealizedBrush, 2> Brushes{};
    uint32_t Steps = 0;
    uint32_t FailedCalls = 0;
};

struct StressResult {
    uint32_t Operations = 0;
    uint32_t Mismatches = 0;
    uint32_t FailedCalls = 0;
    uint32_t Leaks = 0;
};

// kThreads workers for `runTime` at once, then each replayed serially and compared.
// The workers run for runTime, and on while *keepGoing holds (when given).
StressResult RunWorkers(uint32_t seedBase, Clock::duration runTime,
                        std::atomic<uint32_t>* transfersDone,
                        const std::atomic<bool>* keepGoing = nullptr) {
    std::vector<std::unique_ptr<StressWorker>> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.push_back(std::make_unique<StressWorker>(seedBase + 7919u * t));
    const auto deadline = Clock::now() + runTime;
    std::vector<std::thread> threads;
    for (auto& worker : workers)
        threads.emplace_back([&worker, deadline, transfersDone, keepGoing] {
            while (Clock::now() < deadline || (keepGoing && keepGoing->load())) {
                worker->Step();
                if (transfersDone) transfersDone->fetch_add(1);
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    StressResult result;
    for (int t = 0; t < kThreads; ++t) {
        StressWorker replay(seedBase + 7919u * t);
        while (replay.StepCount() < workers[t]->StepCount())
            replay.Step();
        result.Operations += workers[t]->StepCount();
        result.FailedCalls += workers[t]->Failures();
        if (replay.Digest() != workers[t]->Digest()) ++result.Mismatches;
    }
    for (auto& worker : workers) {
        worker.reset(); // releases its brushes
    }
    return result;
}

// A helper process, forked before any thread is started (a child of a threaded process may
// inherit a lock some other thread held). It waits for a byte on `go`, then does its part.
struct Helper {
    pid_t Child = -1;
    int Go[2] = {-1, -1};
    int Ready[2] = {-1, -1};

    template <typename Part> explicit Helper(Part part) {
        if (pipe(Go) != 0 || pipe(Ready) != 0) return;
        Child = fork();
        if (Child == 0) {
            char byte = 0;
            if (read(Go[0], &byte, 1) != 1) _exit(2);
            part(Ready[1]);
            _exit(0);
        }
    }
    ~Helper() {
        for (int fd : {Go[0], Go[1], Ready[0], Ready[1]})
            if (fd >= 0) close(fd);
    }
    // Starts the part and answers the byte it reports once under way.
    char Start() {
        char go = 'G', reply = 0;
        if (write(Go[1], &go, 1) != 1 || read(Ready[0], &reply, 1) != 1) return 0;
        return reply;
    }
    void KillAndReap() {
        kill(Child, SIGKILL);
        int status = 0;
        waitpid(Child, &status, 0);
    }
};

// Takes the transfer lock, says so and waits to be killed.
void HoldTheLock(int ready) {
    CSMutex lock(L"RopMC24");
    char held = lock.Aquire() == 0 ? 'H' : 'F';
    if (write(ready, &held, 1) != 1) _exit(2);
    for (;;)
        pause();
}

// Runs large transfers one after another, each holding the lock for its whole run, until it
// is killed.
void TransferForEver(int ready) {
    TestBand band(1600, 120, 0x11);
    SourceImage source(1600, 120, 3, 8, 99);
    BlitScene scene;
    scene.Width = 1600;
    scene.Height = 120;
    scene.Source = source.Header();
    scene.Colors = PhysicalColours(0, 0xFFFFFF);
    char started = 'S';
    if (write(ready, &started, 1) != 1) _exit(2);
    for (uint8_t rop = 0x17;; rop = static_cast<uint8_t>(rop * 5 + 1)) {
        scene.Rop = rop;
        CallBitBlt(Table().BitBlt, band, scene);
    }
}

// The lock is not handed out first come, first served: on a loaded machine another process's
// threads may keep it for a while. Drawing must go on within seconds of a kill, not
// necessarily within the workers' fixed run time, so they run on until it has.
void WaitForProgress(const std::atomic<uint32_t>& operations, uint32_t mark) {
    const auto patience = Clock::now() + std::chrono::seconds(20);
    while (operations.load() <= mark && Clock::now() < patience)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(Stress, ThreadsAndProcessesMatchASerialReplayAndSurviveKilledLockHolders) {
    Table();   // loaded before any fork, so every process has it
    alarm(60); // a lock never given back would hang the test: end it instead

    // The second process of workers reports its figures through a pipe.
    int results[2];
    ASSERT_EQ(pipe(results), 0);
    pid_t second = fork();
    ASSERT_GE(second, 0);
    if (second == 0) {
        close(results[0]);
        StressResult result = RunWorkers(0xB0B0, kRunTime, nullptr);
        bool written = write(results[1], &result, sizeof result) == sizeof result;
        _exit(written ? 0 : 3);
    }
    close(results[1]);

    // The lock holders to be killed, forked before this process starts its threads.
    Helper holder(HoldTheLock), busy(TransferForEver);
    ASSERT_GT(holder.Child, 0);
    ASSERT_GT(busy.Child, 0);

    std::atomic<uint32_t> operations{0};
    std::atomic<bool> keepGoing{true};
    StressResult mine;
    std::thread workers([&] { mine = RunWorkers(0xA11CE, kRunTime, &operations, &keepGoing); });

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(holder.Start(), 'H');
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    holder.KillAndReap();
    const uint32_t afterFirstKill = operations.load();
    WaitForProgress(operations, afterFirstKill);

    EXPECT_EQ(busy.Start(), 'S');
    std::mt19937 random(static_cast<uint32_t>(getpid()));
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 150));
    busy.KillAndReap();
    const uint32_t afterSecondKill = operations.load();
    WaitForProgress(operations, afterSecondKill);
    keepGoing = false;

    workers.join();
    int status = 0;
    ASSERT_EQ(waitpid(second, &status, 0), second);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "second process failed";
    StressResult theirs;
    ASSERT_EQ(read(results[0], &theirs, sizeof theirs), ssize_t(sizeof theirs));
    close(results[0]);
    alarm(0);

    std::printf("stress: %u + %u operations, %u + %u mismatches, %u + %u refused calls\n",
                mine.Operations, theirs.Operations, mine.Mismatches, theirs.Mismatches,
                mine.FailedCalls, theirs.FailedCalls);
    EXPECT_EQ(mine.Mismatches, 0u);
    EXPECT_EQ(theirs.Mismatches, 0u);
    EXPECT_EQ(mine.FailedCalls, 0u);
    EXPECT_EQ(theirs.FailedCalls, 0u);
    EXPECT_GT(afterSecondKill, afterFirstKill) << "no drawing after the lock holder was killed";
    EXPECT_GT(mine.Operations, afterSecondKill) << "no drawing after the transfer was killed";
    EXPECT_EQ(WritableExecutableMappings(), "");
}

} // namespace
} // namespace marltest
#endif
