// What MARLCORE adds to kernel32's global memory on Win32: the fault switches of the tests
// and zeroed blocks, on handles that kernel32's own GlobalUnlock and GlobalFree take.
#include "core/core_services.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

TEST(Win32GlobalMemory, BlocksStartZeroedAndLockThroughKernelHandles) {
    std::vector<HGLOBAL> handles;
    for (uint32_t i = 0; i < 32; ++i) {
        const SIZE_T size = 1 + i * 97;
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
        ASSERT_NE(handle, nullptr);
        auto* bytes = static_cast<uint8_t*>(GlobalLock(handle));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(GlobalLock(handle), bytes) << "a moveable block stays put while locked";
        for (SIZE_T k = 0; k < size; ++k)
            ASSERT_EQ(bytes[k], 0) << i << " byte " << k;
        std::memset(bytes, 0xEE, size); // dirty it for the blocks that come after
        EXPECT_NE(GlobalUnlock(handle), 0) << "one lock is left";
        EXPECT_EQ(GlobalUnlock(handle), 0);
        handles.push_back(handle);
    }
    for (HGLOBAL handle : handles)
        EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(Win32GlobalMemory, InjectedFaults) {
    CSInjectFault(CSFaultGlobalAlloc, 1);
    HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 8), nullptr) << "the second call fails";
    HGLOBAL third = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_NE(third, nullptr) << "and only that one";

    CSInjectFault(CSFaultGlobalLock, 0);
    EXPECT_EQ(GlobalLock(first), nullptr);
    EXPECT_NE(GlobalLock(first), nullptr);
    GlobalUnlock(first);

    CSInjectFault(CSFaultGlobalAlloc, 0);
    CSInjectFault(CSFaultGlobalAlloc, -1); // switched off before it fired
    HGLOBAL fourth = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_NE(fourth, nullptr);
    for (HGLOBAL handle : {first, third, fourth})
        GlobalFree(handle);
}

} // namespace
