// The POSIX read probe (read_probe_posix.cpp): every means it answers by, on ranges around
// pages that cannot be read, checked against how the pages were made; and the faults that are
// not the probe's, which must reach whoever had them before.
#include "platform/platform.h"
#include "support/posix/page_layout.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using marltest::Page;
using marltest::PageLayout;

struct ProbeCase {
    const char* What;
    bool InFile;
    size_t Page;
    ptrdiff_t Offset;
    size_t Size;
    BOOL Bad;
};

std::vector<ProbeCase> ProbeCases() {
    const ptrdiff_t page = static_cast<ptrdiff_t>(Page());
    const size_t bytes = Page();
    return {
        {"one readable byte", false, 0, 0, 1, 0},
        {"a whole readable page", false, 0, 0, bytes, 0},
        {"the last readable byte", false, 0, page - 1, 1, 0},
        {"readable into no-access", false, 0, page - 1, 2, 1},
        {"readable page and one byte more", false, 0, 0, bytes + 1, 1},
        {"no-access page", false, 1, 0, 1, 1},
        {"no-access page, last byte", false, 1, page - 1, 1, 1},
        {"no-access into read-only", false, 1, page - 1, 2, 1},
        {"read-only page", false, 2, 0, bytes, 0},
        {"read-only into read-write", false, 2, 16, bytes, 0},
        {"read-write into unmapped", false, 3, page - 8, 9, 1},
        {"read-write, up to the unmapped page", false, 3, 0, bytes, 0},
        {"unmapped page", false, 4, 0, 1, 1},
        {"unmapped into read-write", false, 4, page - 1, 2, 1},
        {"read-write after the hole", false, 5, 0, bytes, 0},
        {"zero bytes of an unmapped page", false, 4, 0, 0, 0},
        {"zero bytes of a no-access page", false, 1, 0, 0, 0},
        {"over three pages with a hole", false, 0, 0, 3 * bytes, 1},
        {"read-only over read-write to the hole", false, 2, 0, 2 * bytes + 1, 1},
        {"a file page", true, 0, 0, bytes, 0},
        {"a file page into past its end", true, 0, page - 1, 2, 1},
        {"past the end of the file", true, 1, 0, 1, 1},
    };
}

// 0: IsBadReadPtr itself; otherwise the means of that number.
class ReadProbe : public testing::TestWithParam<uint32_t> {
protected:
    // -1 when the means cannot be used in this process.
    int32_t Probe(const void* pointer, UINT_PTR size) {
        if (GetParam() == 0) return IsBadReadPtr(pointer, size);
        return IsBadReadPtrUsing(GetParam(), pointer, size);
    }
    void SetUp() override {
        if (GetParam() != 0 && IsBadReadPtrUsing(GetParam(), nullptr, 0) < 0)
            GTEST_SKIP() << "this process cannot use the means " << GetParam();
    }
};

TEST_P(ReadProbe, AnswersWhatThePagesAllow) {
    PageLayout pages;
    for (const ProbeCase& c : ProbeCases()) {
        const uint8_t* at = c.InFile ? pages.InFile(c.Page, c.Offset) : pages.At(c.Page, c.Offset);
        EXPECT_EQ(Probe(at, c.Size), c.Bad) << c.What;
    }
}

TEST_P(ReadProbe, NullAndWrappingRanges) {
    EXPECT_EQ(Probe(nullptr, 1), 1);
    EXPECT_EQ(Probe(nullptr, 765), 1);
    EXPECT_EQ(Probe(nullptr, 0), 0);
    static const uint8_t readable[64] = {};
    EXPECT_EQ(Probe(readable, sizeof readable), 0);
    EXPECT_EQ(Probe(readable, UINTPTR_MAX), 1); // runs past the end of the address space
    EXPECT_EQ(Probe(reinterpret_cast<const void*>(uintptr_t{0xFFFFFFF0u}), 0x20), 1);
}

TEST_P(ReadProbe, ManyReadablePages) {
    // More pages than one request list of the system-call means takes.
    std::vector<uint8_t> block(300 * Page() + 123, 1);
    EXPECT_EQ(Probe(block.data(), block.size()), 0);
    EXPECT_EQ(Probe(block.data() + 5, block.size() - 5), 0);
}

TEST_P(ReadProbe, AHoleFarIntoALongRange) {
    const size_t pages = 600;
    void* mapping =
        mmap(nullptr, pages * Page(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(mapping);
    for (size_t hole : {size_t{299}, size_t{300}, size_t{599}}) {
        ASSERT_EQ(mprotect(base + hole * Page(), Page(), PROT_NONE), 0);
        EXPECT_EQ(Probe(base, pages * Page()), 1) << hole;
        EXPECT_EQ(Probe(base, hole * Page()), 0) << hole;
        ASSERT_EQ(mprotect(base + hole * Page(), Page(), PROT_READ | PROT_WRITE), 0);
    }
    munmap(mapping, pages * Page());
}

std::string MeansName(const testing::TestParamInfo<uint32_t>& info) {
    static const char* const names[] = {"IsBadReadPtr", "ByFault", "ByVmRead", "ByPipe"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryMeans, ReadProbe,
                         testing::Values(0u, uint32_t{ReadProbeByFault},
                                         uint32_t{ReadProbeByVmRead}, uint32_t{ReadProbeByPipe}),
                         MeansName);

TEST(ReadProbeMeans, FaultIsTheMeansInUse) {
    EXPECT_EQ(ReadProbeMethodInUse(), uint32_t{ReadProbeByFault});
    static const uint8_t byte = 0;
    EXPECT_EQ(IsBadReadPtrUsing(99, &byte, 1), -1);
}

// Threads probing readable and unreadable pages at once each get their own answer: the
// handler resumes the thread that faulted, at its own failure exit. The unreadable page is the
// no-access one: the unmapped page's hole may be taken by any one-page mapping the threads'
// start makes (the sanitizers' allocators make such mappings).
TEST(ReadProbeMeans, ThreadsAnswerEachForItself) {
    PageLayout pages;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&pages, &wrong, t] {
            for (int i = 0; i < 3000; ++i) {
                bool bad = (i + t) % 2 == 0;
                size_t page = bad ? 1 : (i % 3 == 0 ? 5 : 0);
                if (IsBadReadPtr(pages.At(page, i % 64), 16) != (bad ? 1 : 0)) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// How a child ended: the signal that ended it, or 1000 + its exit code.
int Ending(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child) return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : 1000 + WEXITSTATUS(status);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerHandlesFaults = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizerHandlesFaults = true;
#else
constexpr bool kSanitizerHandlesFaults = false;
#endif
#else
constexpr bool kSanitizerHandlesFaults = false;
#endif

// A fault outside the probe, after the probe's handler is in place, ends the child as it
// would have without it: of the signal, or through the sanitizer's report (an exit or an
// abort), whose handler was there first.
TEST(ReadProbeFaults, FaultsElsewhereEndTheProcessAsBefore) {
    PageLayout pages;
    ASSERT_EQ(IsBadReadPtr(pages.At(1), 1), 1); // the handler is installed
    struct Fault {
        const volatile uint8_t* At;
        int Signal;
    };
    const Fault faults[] = {
        {pages.At(1), SIGSEGV}, {pages.At(4), SIGSEGV}, {pages.InFile(1), SIGBUS}};
    for (const Fault& fault : faults) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDERR_FILENO); // a sanitizer's report of the fault is no news here
            if (IsBadReadPtr(const_cast<const uint8_t*>(fault.At), 1) != 1) _exit(3);
            uint8_t value = *fault.At;
            _exit(value == 0 ? 4 : 5); // not reached: the load faults
        }
        int ending = Ending(child);
        if (kSanitizerHandlesFaults)
            EXPECT_TRUE(ending == fault.Signal || ending == SIGABRT ||
                        (ending > 1000 && ending != 1003 && ending != 1004 && ending != 1005))
                << ending;
        else
            EXPECT_EQ(ending, fault.Signal);
    }
}

std::atomic<int> DriverHandlerCalls{0};
struct sigaction BeforeDriver;

// A driver's handler installed after the probe's, that hands on what it does not own.
void ChainingDriverHandler(int signal, siginfo_t* info, void* context) {
    ++DriverHandlerCalls;
    BeforeDriver.sa_sigaction(signal, info, context);
}

TEST(ReadProbeFaults, ADriverHandlerThatChainsKeepsTheProbeWorking) {
    PageLayout pages;
    ASSERT_EQ(IsBadReadPtr(pages.At(1), 1), 1);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct sigaction action {};
        action.sa_sigaction = ChainingDriverHandler;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        if (sigaction(SIGSEGV, &action, &BeforeDriver) != 0) _exit(2);
        if (!(BeforeDriver.sa_flags & SA_SIGINFO)) _exit(3);
        if (IsBadReadPtr(pages.At(1), 1) != 1 || IsBadReadPtr(pages.At(0), 1) != 0) _exit(4);
        _exit(DriverHandlerCalls.load() == 1 ? 0 : 5);
    }
    EXPECT_EQ(Ending(child), 1000);
}

// Runs one test of this program in a fresh process (exec, not fork), so that the probe's
// handler is installed there for the first time after whatever the test installs first.
int RunFreshTest(const char* test) {
    pid_t child = fork();
    if (child == 0) {
        std::string filter = std::string("--gtest_filter=") + test;
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl("/proc/self/exe", "marlrend_tests", filter.c_str(), "--gtest_also_run_disabled_tests",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return child < 0 ? -1 : Ending(child);
}

void DriverHandlerFirst(int, siginfo_t*, void*) { _exit(42); }

// Run by the next test in a process of its own: a handler that was there before the probe's
// still gets every fault that is not the probe's.
TEST(ReadProbeFreshProcess, DISABLED_HandlerInstalledBeforeTheFirstProbe) {
    PageLayout pages;
    struct sigaction action {};
    action.sa_sigaction = DriverHandlerFirst;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGSEGV, &action, nullptr) != 0) _exit(2);
    if (IsBadReadPtr(pages.At(1), 1) != 1 || IsBadReadPtr(pages.At(0), 1) != 0) _exit(3);
    volatile const uint8_t* unreadable = pages.At(4);
    _exit(*unreadable == 0 ? 4 : 5); // the handler above ends the process with 42
}

TEST(ReadProbeFaults, AHandlerInstalledFirstStillGetsOtherFaults) {
    EXPECT_EQ(RunFreshTest("ReadProbeFreshProcess.DISABLED_HandlerInstalledBeforeTheFirstProbe"),
              1000 + 42);
}

} // namespace
