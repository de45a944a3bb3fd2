// The core services: copy and fill, and the named lock across threads and processes.
#include "core/core_services.h"

#include "support/child_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Aquire (and then Release) on an object of its own in another thread; the future answers
// Aquire's result once it returns. A thread still waiting when the test ends is left behind.
std::future<int32_t> AquireElsewhere(const wchar_t* name) {
    auto promise = std::make_shared<std::promise<int32_t>>();
    std::future<int32_t> answer = promise->get_future();
    std::thread([name, promise] {
        CSMutex lock(name);
        int32_t result = lock.Aquire();
        if (result == 0) lock.Release();
        promise->set_value(result);
    }).detach();
    return answer;
}

bool AquiredSoon(const wchar_t* name) {
    std::future<int32_t> answer = AquireElsewhere(name);
    return answer.wait_for(10s) == std::future_status::ready && answer.get() == 0;
}

// Counts entries into the critical section and the most ever inside it at once; the counter
// is incremented by a read, a pause and a write, so two holders at once lose increments.
struct Section {
    volatile int32_t Counter;
    std::atomic<int32_t> Inside;
    std::atomic<int32_t> MostInside;
};

bool Enter(Section& section, const wchar_t* name, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        CSMutex lock(name);
        if (lock.Aquire() != 0) return false;
        int32_t inside = ++section.Inside;
        int32_t most = section.MostInside.load();
        while (inside > most && !section.MostInside.compare_exchange_weak(most, inside)) {
        }
        int32_t value = section.Counter;
        if (round % 8 == 0) std::this_thread::yield();
        section.Counter = value + 1;
        --section.Inside;
        if (lock.Release() != 0) return false;
    }
    return true;
}

TEST(CSMutex, ExcludesThreads) {
    Section section{0, {0}, {0}};
    constexpr int kThreads = 4, kRounds = 400;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            if (!Enter(section, L"MarlTestThreads", kRounds)) ++failures;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(section.MostInside.load(), 1);
    EXPECT_EQ(section.Counter, kThreads * kRounds);
}

constexpr int kProcessRounds = 300;

Section* ProcessSection() {
    return static_cast<Section*>(marltest::SharedBlock("cs-mutex-section", sizeof(Section)));
}

MARLTEST_CHILD_ROLE(EnterTheSharedSection) {
    return Enter(*ProcessSection(), L"MarlTestProcesses", kProcessRounds) ? 0 : 1;
}

TEST(CSMutex, ExcludesProcesses) {
    void* shared = ProcessSection();
    ASSERT_NE(shared, nullptr);
    auto* section = new (shared) Section{0, {0}, {0}};
    constexpr int kChildren = 2;
    std::vector<std::unique_ptr<marltest::ChildProcess>> children;
    for (int c = 0; c < kChildren; ++c) {
        children.push_back(std::make_unique<marltest::ChildProcess>("EnterTheSharedSection"));
        ASSERT_TRUE(children.back()->Started());
    }
    EXPECT_TRUE(Enter(*section, L"MarlTestProcesses", kProcessRounds));
    for (auto& child : children)
        EXPECT_EQ(child->Wait(), 0);
    EXPECT_EQ(section->MostInside.load(), 1);
    EXPECT_EQ(section->Counter, (kChildren + 1) * kProcessRounds);
}

// 'y' once the child holds the lock, 'n' when it could not have it.
std::atomic<char>* HolderState() {
    return static_cast<std::atomic<char>*>(
        marltest::SharedBlock("cs-mutex-holder", sizeof(std::atomic<char>)));
}

MARLTEST_CHILD_ROLE(HoldUntilKilled) {
    CSMutex lock(L"MarlTestAbandoned");
    HolderState()->store(lock.Aquire() == 0 ? 'y' : 'n');
    for (;;)
        std::this_thread::sleep_for(1s);
}

TEST(CSMutex, HolderKilledHandsTheLockToTheNextWaiter) {
    ASSERT_NE(HolderState(), nullptr);
    HolderState()->store(0);
    marltest::ChildProcess child("HoldUntilKilled");
    ASSERT_TRUE(child.Started());
    for (int wait = 0; wait < 1000 && HolderState()->load() == 0; ++wait)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(HolderState()->load(), 'y');

    std::future<int32_t> waiter = AquireElsewhere(L"MarlTestAbandoned");
    EXPECT_EQ(waiter.wait_for(300ms), std::future_status::timeout) << "the child holds it";
    child.Kill();
    ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 0);
}

TEST(CSMutex, SameNameIsOneLockOtherNamesAreOthers) {
    CSMutex holder(L"MarlTestNameA");
    ASSERT_EQ(holder.Aquire(), 0);
    std::future<int32_t> sameName = AquireElsewhere(L"MarlTestNameA");
    EXPECT_TRUE(AquiredSoon(L"MarlTestNameB"));
    EXPECT_EQ(sameName.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(holder.Release(), 0);
    ASSERT_EQ(sameName.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(sameName.get(), 0);
}

TEST(CSMutex, AnswersForCallsOutOfOrder) {
    CSMutex lock(L"MarlTestOrder");
    EXPECT_NE(lock.Release(), 0) << "release without aquire";
    ASSERT_EQ(lock.Aquire(), 0);
    EXPECT_NE(lock.Aquire(), 0) << "second aquire on the holder";
    std::future<int32_t> other = AquireElsewhere(L"MarlTestOrder");
    EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout) << "still held";
    EXPECT_EQ(lock.Release(), 0);
    EXPECT_NE(lock.Release(), 0) << "second release";
    ASSERT_EQ(other.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(other.get(), 0);
}

TEST(CSMutex, NamesThatCannotBeLocksAndNamesThatCan) {
    CSMutex unnamed(nullptr);
    EXPECT_NE(unnamed.Aquire(), 0);
    EXPECT_NE(unnamed.Release(), 0);
    std::wstring tooLong(400, L'x');
    CSMutex overlong(tooLong.c_str());
    EXPECT_NE(overlong.Aquire(), 0);

    const wchar_t* odd = L"Marl/Test \u00e9\u4e2d..";
    CSMutex unusual(odd);
    ASSERT_EQ(unusual.Aquire(), 0);
    std::future<int32_t> other = AquireElsewhere(odd);
    EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout);
    EXPECT_EQ(unusual.Release(), 0);
    ASSERT_EQ(other.wait_for(10s), std::future_status::ready);
}

TEST(CSMutex, DestructorGivesTheLockUp) {
    {
        CSMutex lock(L"MarlTestScope");
        ASSERT_EQ(lock.Aquire(), 0);
    }
    EXPECT_TRUE(AquiredSoon(L"MarlTestScope"));
}

TEST(CSMutex, InjectedFaults) {
    CSMutex lock(L"MarlTestFaults");
    CSInjectFault(CSFaultAquire, 0);
    EXPECT_NE(lock.Aquire(), 0);
    EXPECT_NE(lock.Release(), 0) << "a failed aquire holds nothing";
    EXPECT_TRUE(AquiredSoon(L"MarlTestFaults"));

    CSInjectFault(CSFaultAquire, 1);
    EXPECT_EQ(lock.Aquire(), 0);
    EXPECT_EQ(lock.Release(), 0);
    EXPECT_NE(lock.Aquire(), 0) << "the second call fails";
    EXPECT_EQ(lock.Aquire(), 0) << "and only that one";
    EXPECT_EQ(lock.Release(), 0);

    ASSERT_EQ(lock.Aquire(), 0);
    CSInjectFault(CSFaultRelease, 0);
    EXPECT_NE(lock.Release(), 0);
    EXPECT_TRUE(AquiredSoon(L"MarlTestFaults")) << "a failed release still gives the lock up";
    EXPECT_NE(lock.Release(), 0);
}

struct FillCase {
    uint32_t Count;
    uint32_t Value;
    uint8_t Expected;
};

TEST(CoreMemory, FillSetsExactlyCountBytesToTheLowByte) {
    const FillCase cases[] = {
        {0, 0x11, 0}, {1, 0xFF, 0xFF}, {3, 0x1AB, 0xAB}, {4096, 0, 0}, {1000, 0xFFFFFF7Fu, 0x7F}};
    for (const FillCase& c : cases) {
        std::vector<uint8_t> block(c.Count + 2, 0xC5);
        CSSetMemory(block.data() + 1, c.Count, c.Value);
        EXPECT_EQ(block.front(), 0xC5);
        EXPECT_EQ(block.back(), 0xC5) << c.Count;
        for (uint32_t i = 0; i < c.Count; ++i)
            ASSERT_EQ(block[1 + i], c.Expected) << c.Count;
    }
    CSSetMemory(nullptr, 0, 1); // nothing to do, nothing touched
}

TEST(CoreMemory, CopyMovesExactlyCountBytes) {
    for (uint32_t count : {0u, 1u, 7u, 64u, 5000u}) {
        std::vector<uint8_t> source(count), destination(count + 2, 0xC5);
        for (uint32_t i = 0; i < count; ++i)
            source[i] = static_cast<uint8_t>(i * 7 + 3);
        CSCopyMemory(source.data(), destination.data() + 1, count);
        EXPECT_EQ(destination.front(), 0xC5);
        EXPECT_EQ(destination.back(), 0xC5);
        EXPECT_TRUE(std::equal(source.begin(), source.end(), destination.begin() + 1)) << count;
    }
    CSCopyMemory(nullptr, nullptr, 0);
}

} // namespace
