// The POSIX kernel services of the platform layer (platform_posix.cpp): page protection and
// global memory handles, each checked against what the kernel itself says about the memory
// (the read probe has tests of its own, read_probe_test.cpp). On Win32 these services are
// kernel32's own; tests/win32/platform_test.cpp covers what MARLCORE adds to them there.
#include "core/core_services.h"
#include "platform/platform.h"
#include "support/posix/page_layout.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

using marltest::Page;
using marltest::PageLayout;

// Asks the kernel whether one byte can be written, by reading a byte from a pipe into it; the
// byte written is the one that is already there.
bool Writable(uint8_t* address) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    uint8_t current = *address;
    bool ok = write(fds[1], &current, 1) == 1 && syscall(SYS_read, fds[0], address, 1) == 1;
    close(fds[0]);
    close(fds[1]);
    return ok;
}

// Calls the `ret` at address in a child process, so a page that cannot be executed costs the
// child and not the test.
bool Executes(const uint8_t* address) {
    pid_t child = fork();
    if (child == 0) {
        reinterpret_cast<void (*)()>(const_cast<uint8_t*>(address))();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct ProtectStep {
    DWORD Protect;
    DWORD Previous; // what the call must report
    bool Write;     // the page can be written afterwards
    bool Execute;   // the page can be executed afterwards
};

// Walks an mmap page (looked up by the kernel each time) and a page of module data (the
// kind of page the code areas are) through the same protections.
void WalkProtections(uint8_t* page, DWORD initial) {
    const ProtectStep steps[] = {
        {PAGE_EXECUTE_READWRITE, initial, true, true},
        {PAGE_READWRITE, PAGE_EXECUTE_READWRITE, true, false},
        {PAGE_READONLY, PAGE_READWRITE, false, false},
        {PAGE_EXECUTE_READ, PAGE_READONLY, false, true},
        {PAGE_EXECUTE_READWRITE, PAGE_EXECUTE_READ, true, true},
        {PAGE_NOACCESS, PAGE_EXECUTE_READWRITE, false, false},
        {PAGE_READWRITE, PAGE_NOACCESS, true, false},
    };
    page[0] = 0xC3; // ret
    for (const ProtectStep& step : steps) {
        DWORD previous = 0xDEAD;
        ASSERT_NE(VirtualProtect(page, Page(), step.Protect, &previous), 0) << step.Protect;
        EXPECT_EQ(previous, step.Previous) << "setting " << step.Protect;
        bool readable = step.Protect != PAGE_NOACCESS;
        EXPECT_EQ(IsBadReadPtr(page, Page()) == 0, readable) << step.Protect;
        if (readable) {
            EXPECT_EQ(Writable(page), step.Write) << step.Protect;
        }
        // Executing a page that cannot be executed is tried on the read-write steps only: the
        // child's fault is slow to report under the sanitizers.
        if (step.Execute || step.Protect == PAGE_READWRITE) {
            EXPECT_EQ(Executes(page), step.Execute) << step.Protect;
        }
    }
}

TEST(VirtualProtect, RoundTripsOnMappedPages) {
    void* mapping =
        mmap(nullptr, Page(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    WalkProtections(static_cast<uint8_t*>(mapping), PAGE_READWRITE);
    munmap(mapping, Page());
}

alignas(4096) uint8_t ModulePage[4096];

TEST(VirtualProtect, RoundTripsOnModuleData) {
    ASSERT_EQ(Page(), sizeof ModulePage);
    WalkProtections(ModulePage, PAGE_READWRITE);
    // The page is remembered now; a transfer's set-and-restore pair still reports each other.
    DWORD previous = 0;
    ASSERT_NE(VirtualProtect(ModulePage + 100, 10, PAGE_EXECUTE_READWRITE, &previous), 0);
    EXPECT_EQ(previous, PAGE_READWRITE);
    ASSERT_NE(VirtualProtect(ModulePage, sizeof ModulePage, previous, &previous), 0);
    EXPECT_EQ(previous, PAGE_EXECUTE_READWRITE);
}

TEST(VirtualProtect, ReportsTheFirstPageAndChangesEveryPageTouched) {
    PageLayout pages;
    DWORD previous = 0;
    // From the last byte of the read-only page into the read-write one.
    ASSERT_NE(VirtualProtect(pages.At(2, static_cast<ptrdiff_t>(Page()) - 1), 2, PAGE_READWRITE,
                             &previous),
              0);
    EXPECT_EQ(previous, PAGE_READONLY);
    EXPECT_TRUE(Writable(pages.At(2)));
    ASSERT_NE(VirtualProtect(pages.At(2, 1), 2 * Page() - 1, PAGE_READONLY, &previous), 0);
    EXPECT_EQ(previous, PAGE_READWRITE);
    EXPECT_FALSE(Writable(pages.At(2)));
    EXPECT_FALSE(Writable(pages.At(3, static_cast<ptrdiff_t>(Page()) - 1)));
    // A page that starts out without access.
    ASSERT_NE(VirtualProtect(pages.At(1), 1, PAGE_READWRITE, &previous), 0);
    EXPECT_EQ(previous, PAGE_NOACCESS);
    EXPECT_EQ(IsBadReadPtr(pages.At(1), Page()), 0);
}

TEST(VirtualProtect, RefusesWhatItCannotDo) {
    PageLayout pages;
    DWORD previous = 0x77;
    EXPECT_EQ(VirtualProtect(nullptr, Page(), PAGE_READWRITE, &previous), 0);
    EXPECT_EQ(VirtualProtect(pages.At(0), 0, PAGE_READWRITE, &previous), 0);
    EXPECT_EQ(VirtualProtect(pages.At(0), Page(), 0x100, &previous), 0);
    EXPECT_EQ(VirtualProtect(pages.At(0), Page(), PAGE_READWRITE, nullptr), 0);
    EXPECT_EQ(VirtualProtect(pages.At(4), Page(), PAGE_READWRITE, &previous), 0);
    EXPECT_EQ(VirtualProtect(pages.At(0), UINTPTR_MAX, PAGE_READWRITE, &previous), 0);
    EXPECT_EQ(previous, 0x77u); // a refused call reports nothing
    EXPECT_TRUE(Writable(pages.At(0)));
}

TEST(GlobalMemory, HandlesFitSixteenBitsAndMemoryStartsZeroed) {
    std::vector<HGLOBAL> handles;
    std::set<uintptr_t> seen;
    for (uint32_t i = 0; i < 64; ++i) {
        HGLOBAL handle = GlobalAlloc(34, 1 + i * 97);
        ASSERT_NE(handle, nullptr);
        EXPECT_LE(HandleValue(handle), 0xFFFFu);
        EXPECT_TRUE(seen.insert(HandleValue(handle)).second) << "handle given twice";
        auto* bytes = static_cast<uint8_t*>(GlobalLock(handle));
        ASSERT_NE(bytes, nullptr);
        for (uint32_t k = 0; k < 1 + i * 97; ++k)
            ASSERT_EQ(bytes[k], 0) << i << " byte " << k;
        std::memset(bytes, 0xEE, 1 + i * 97); // dirty it for the blocks that come after
        GlobalUnlock(handle);
        handles.push_back(handle);
    }
    for (HGLOBAL handle : handles)
        EXPECT_EQ(GlobalFree(handle), nullptr);
    HGLOBAL again = GlobalAlloc(34, 64 * 97);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(again));
    ASSERT_NE(bytes, nullptr);
    for (uint32_t k = 0; k < 64 * 97; ++k)
        ASSERT_EQ(bytes[k], 0);
    GlobalUnlock(again);
    GlobalFree(again);
}

TEST(GlobalMemory, LockCountsAndStableAddress) {
    HGLOBAL handle = GlobalAlloc(34, 100);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GlobalUnlock(handle), 0) << "not locked yet";
    void* first = GlobalLock(handle);
    void* second = GlobalLock(handle);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_NE(GlobalUnlock(handle), 0) << "one lock is left";
    EXPECT_EQ(GlobalUnlock(handle), 0) << "now unlocked";
    EXPECT_EQ(GlobalUnlock(handle), 0) << "no lock to take away";
    EXPECT_EQ(GlobalLock(handle), first);
    EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(GlobalMemory, BadAndFreedHandlesFailQuietly) {
    HGLOBAL handle = GlobalAlloc(34, 16);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(GlobalFree(handle), nullptr);
    static uint8_t notAHandle[16];
    const HGLOBAL bad[] = {handle,
                           nullptr,
                           HandleFromValue(0xFFFF),
                           HandleFromValue(0x10000),
                           HandleFromValue(0xFFFFFFFFu),
                           notAHandle};
    for (HGLOBAL h : bad) {
        EXPECT_EQ(GlobalLock(h), nullptr) << HandleValue(h);
        EXPECT_EQ(GlobalUnlock(h), 0) << HandleValue(h);
        if (h != nullptr) {
            EXPECT_EQ(GlobalFree(h), h) << HandleValue(h);
        }
    }
}

TEST(GlobalMemory, RunsOutOfSixteenBitHandlesAndRecovers) {
    std::vector<HGLOBAL> handles;
    for (;;) {
        HGLOBAL handle = GlobalAlloc(34, 1);
        if (handle == nullptr) break;
        handles.push_back(handle);
        ASSERT_LE(handles.size(), 0xFFFFu) << "more live handles than 16 bits can name";
    }
    EXPECT_GT(handles.size(), 0xF000u);
    ASSERT_EQ(GlobalFree(handles.back()), nullptr);
    handles.pop_back();
    HGLOBAL reused = GlobalAlloc(34, 1);
    ASSERT_NE(reused, nullptr);
    handles.push_back(reused);
    for (HGLOBAL handle : handles)
        GlobalFree(handle);
}

TEST(GlobalMemory, InjectedFaults) {
    CSInjectFault(CSFaultGlobalAlloc, 1);
    HGLOBAL first = GlobalAlloc(34, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GlobalAlloc(34, 8), nullptr) << "the second call fails";
    HGLOBAL third = GlobalAlloc(34, 8);
    EXPECT_NE(third, nullptr) << "and only that one";

    CSInjectFault(CSFaultGlobalLock, 0);
    EXPECT_EQ(GlobalLock(first), nullptr);
    EXPECT_NE(GlobalLock(first), nullptr);

    CSInjectFault(CSFaultGlobalAlloc, 0);
    CSInjectFault(CSFaultGlobalAlloc, -1); // switched off before it fired
    HGLOBAL fourth = GlobalAlloc(34, 8);
    EXPECT_NE(fourth, nullptr);
    for (HGLOBAL handle : {first, third, fourth})
        GlobalFree(handle);
}

} // namespace
